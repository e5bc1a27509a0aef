// Typed values read front to back from a fuzzer's bytes. Running out of bytes is never an error:
// every read then answers zero, an empty text or the first choice, so any input builds something
// and a short input builds something small.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/Collection.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/Variant.h"
#include "automation/VariantArray.h"

namespace fuzzing {

// A property that does not hold: says which and stops the run, so libFuzzer keeps the input.
// A text as a failure message quotes it.
inline std::string show(const std::u16string& text) {
  return "\"" + automation::toUtf8(text) + "\"";
}

[[noreturn]] inline void fail(const char* target, const std::string& what) {
  std::fprintf(stderr, "\n%s: %s\n", target, what.c_str());
  std::fflush(stderr);
  std::abort();
}

// Texts that the readers give a meaning to, mixed into generated texts and values.
inline constexpr std::u16string_view kTexts[] = {
    u"",
    u" ",
    u"0",
    u"-1",
    u"1.5",
    u"1E+15",
    u"1e999",
    u"-1e-999",
    u"&HFFFF",
    u"&O777&",
    u"(12)",
    u"$1,000",
    u"12-",
    u"True",
    u"FALSE",
    u"2024-02-29",
    u"2024-13-01 25:00:00",
    u"\u3000",
    u"资产负债表",
    u"利润表",
    u"本地账套",
    u"华南账套",
    u"C4",
    u"$B$3",
    u"XFD1048576",
    u"@2",
    u"[A1]",
    u"]",
    u"\"",
    u"=REF(\"B3\",1)",
    u"Up",
    u"%",
    u"\t",
    u"\n",
    u"\uFFFF",
    u"\xD800",
};

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t remaining() const { return size_ - at_; }
  bool empty() const { return at_ >= size_; }

  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool flag() { return (byte() & 1) != 0; }

  // sizeof(T) bytes as they stand (zeros past the end).
  template <class T>
  T raw() {
    unsigned char bytes[sizeof(T)] = {};
    const std::size_t n = std::min(sizeof(T), size_ - at_);
    if (n > 0) std::memcpy(bytes, data_ + at_, n);
    at_ += n;
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }

  // A whole number from lo to hi, small ones from few bytes.
  std::int64_t inRange(std::int64_t lo, std::int64_t hi) {
    if (hi <= lo) return lo;
    const auto span = static_cast<std::uint64_t>(hi - lo);
    std::uint64_t n = 0;
    for (std::uint64_t reach = 0; reach < span && !empty(); reach = (reach << 8) | 0xFF)
      n = (n << 8) | byte();
    return lo +
           static_cast<std::int64_t>(span == std::numeric_limits<std::uint64_t>::max() ? n : n % (span + 1));
  }

  template <class T, std::size_t N>
  const T& pick(const T (&choices)[N]) {
    return choices[static_cast<std::size_t>(inRange(0, static_cast<std::int64_t>(N) - 1))];
  }

  // Up to `maxBytes` bytes as UTF-8, the count first; ill-formed bytes become U+FFFD.
  std::u16string utf8(std::size_t maxBytes) {
    const auto n = static_cast<std::size_t>(inRange(0, static_cast<std::int64_t>(maxBytes)));
    return automation::fromUtf8(bytes(n));
  }

  // Up to `maxUnits` UTF-16 code units as they stand, lone surrogates included.
  std::u16string units(std::size_t maxUnits) {
    const auto n = static_cast<std::size_t>(inRange(0, static_cast<std::int64_t>(maxUnits)));
    std::u16string out;
    for (std::size_t i = 0; i < n && !empty(); ++i) out.push_back(raw<char16_t>());
    return out;
  }

  // A text: one of the meaningful ones, a UTF-8 text, raw code units, or two of them joined.
  std::u16string text(std::size_t maxLength = 24) {
    switch (byte() % 5) {
      case 0:
        return std::u16string(pick(kTexts));
      case 1:
        return units(maxLength);
      case 2:
        return std::u16string(pick(kTexts)) + utf8(maxLength);
      default:
        return utf8(maxLength);
    }
  }

  std::string bytes(std::size_t n) {
    n = std::min(n, remaining());
    std::string out(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return out;
  }
  std::string rest() { return bytes(remaining()); }

  // A double that is often a plain figure and sometimes any bit pattern (infinities and NaN too).
  double number() {
    switch (byte() % 4) {
      case 0:
        return static_cast<double>(raw<std::int32_t>()) / 100.0;
      case 1:
        return raw<double>();
      default:
        return static_cast<double>(raw<std::int16_t>());
    }
  }

  automation::Date date() {
    // Mostly inside the platform's range (years 100 to 9999), with a time of day now and then.
    const double day = static_cast<double>(inRange(-657434, 2958465));
    return automation::Date{flag() ? day : day + static_cast<double>(byte()) / 256.0};
  }

  automation::Decimal decimal() {
    automation::Decimal d;
    d.lo = raw<std::uint64_t>();
    d.hi = raw<std::uint32_t>();
    d.scale = static_cast<std::uint8_t>(byte() % 29);
    d.negative = flag();
    return d;
  }

  // A value of any type code: scalars, error values and the missing argument, a Collection
  // object, and arrays (nested while depth lasts).
  automation::Variant variant(int depth = 2) {
    using automation::Variant;
    switch (byte() % 18) {
      case 0:
        return Variant{};
      case 1:
        return Variant::null();
      case 2:
        return Variant(raw<std::int16_t>());
      case 3:
        return Variant(static_cast<std::int32_t>(inRange(-100000, 100000)));
      case 4:
        return Variant(static_cast<float>(number()));
      case 5:
        return Variant(number());
      case 6:
        return Variant(automation::currencyOf(raw<std::int64_t>()));
      case 7:
        return Variant(date());
      case 8:
        return flag() ? Variant::missing() : automation::cvErr(static_cast<std::int32_t>(inRange(0, 70000)));
      case 9:
        return Variant(flag());
      case 10:
        return Variant(decimal());
      case 11:
        return Variant(byte());
      case 12: {
        auto items = std::make_shared<automation::Collection>();
        const auto count = inRange(0, 2);
        for (std::int64_t i = 0; i < count; ++i) items->Add(depth > 0 ? variant(depth - 1) : Variant(byte()));
        return Variant(automation::ObjectRef(std::move(items)));
      }
      case 13:
      case 14:
        if (depth > 0) return Variant(array(depth - 1));
        return Variant(text());
      default:
        return Variant(text());
    }
  }

  // Bounds for one dimension of at most `extent` elements: near zero as a host writes them, or at
  // the ends of the 32-bit range.
  automation::Bounds bounds(std::int32_t extent) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const auto count = static_cast<std::int32_t>(inRange(0, extent));
    std::int32_t lower;
    switch (byte() % 8) {
      case 0:
        lower = static_cast<std::int32_t>(std::int64_t{kMax} - std::max(count, 1) + 1);
        break;
      case 1:
        lower = count == 0 ? kMin + 1 : kMin;  // an empty dimension needs room for upper = lower - 1
        break;
      case 2:
        lower = static_cast<std::int32_t>(inRange(-100000, 100000));
        break;
      default:
        lower = static_cast<std::int32_t>(inRange(-2, 2));
    }
    return automation::Bounds{lower, static_cast<std::int32_t>(std::int64_t{lower} + count - 1)};
  }

  // An array of one to three dimensions (now and then none, or an undimensioned one), of Variant
  // or of a fixed element type, with at most 64 elements.
  automation::VariantArray array(int depth) {
    using automation::VarType;
    static constexpr VarType kElementTypes[] = {
        VarType::Variant, VarType::Variant, VarType::String, VarType::Long,     VarType::Double,
        VarType::Integer, VarType::Boolean, VarType::Date,   VarType::Currency, VarType::Byte,
        VarType::Decimal, VarType::Single,  VarType::Object};
    const auto dimensions = static_cast<std::size_t>(inRange(0, 3));
    if (dimensions == 0 && flag()) return automation::VariantArray();
    std::vector<automation::Bounds> dims;
    std::int64_t total = 1;
    for (std::size_t d = 0; d < dimensions; ++d) {
      dims.push_back(bounds(static_cast<std::int32_t>(std::max<std::int64_t>(0, 64 / total))));
      total *= std::max<std::int64_t>(1, std::int64_t{dims.back().upper} - dims.back().lower + 1);
    }
    automation::VariantArray array(dims, pick(kElementTypes));
    fill(array, depth);
    return array;
  }

  // Sets the elements of an array, in storage order, from the input; a value its element type
  // cannot take leaves the element as it was.
  void fill(automation::VariantArray& array, int depth) {
    std::vector<std::int32_t> index;
    for (std::int32_t d = 1; d <= array.dimensions(); ++d) index.push_back(array.lbound(d));
    for (std::size_t n = 0; n < array.size() && !empty(); ++n) {
      try {
        array.set(index, variant(depth));
      } catch (const automation::AutomationError&) {
      }
      // The leftmost index varies fastest.
      for (std::size_t d = 0; d < index.size(); ++d) {
        if (index[d] < array.ubound(static_cast<std::int32_t>(d + 1))) {
          ++index[d];
          break;
        }
        index[d] = array.lbound(static_cast<std::int32_t>(d + 1));
      }
    }
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace fuzzing
