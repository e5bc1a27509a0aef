#include "automation/Conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/NumberText.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"

namespace automation {

using detail::ascii;
using detail::checkedDate;
using detail::decimalDigits;
using detail::decimalFromDouble;
using detail::decimalFromText;
using detail::decimalScaled;
using detail::decimalToDouble;
using detail::formatCurrency;
using detail::formatFloating;
using detail::isDigit;
using detail::makeDecimal;
using detail::mismatch;
using detail::NumberText;
using detail::overflow;
using detail::Parse;
using detail::parseNumberText;
using detail::parseOrRaise;
using detail::radixValue;
using detail::readRadix;
using detail::textToDouble;
using detail::toDoubleChecked;
using detail::u128;

namespace {

constexpr std::int64_t kCurrencyScale = 10000;

template <class Int>
Int roundToInt(double v) {
  if (!std::isfinite(v)) overflow();
  const double r = std::nearbyint(v);  // the default rounding mode rounds half to even
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
      r > static_cast<double>(std::numeric_limits<Int>::max()))
    overflow();
  return static_cast<Int>(r);
}

template <class Int>
Int scaledToInt(std::int64_t scaled, std::int64_t unit) {
  std::int64_t q = scaled / unit;
  const std::int64_t r = scaled % unit;
  const std::int64_t twice = 2 * (r < 0 ? -r : r);
  if (twice > unit || (twice == unit && (q % 2) != 0)) q += scaled < 0 ? -1 : 1;
  if (q < std::numeric_limits<Int>::min() || q > std::numeric_limits<Int>::max()) overflow();
  return static_cast<Int>(q);
}

// The value the conversion starts from: an object answers its default member; Null and errors,
// objects not set and arrays fail as the platform fails them.
const Variant& scalar(const Variant& value, Variant& holder) {
  if (value.isObject()) {
    holder = defaultValue(value.asObject());
    if (holder.isObject()) mismatch();
    return holder;
  }
  if (value.isNull()) raise(errors::InvalidUseOfNull);
  if (value.isArray() || value.type() == VarType::Error) mismatch();
  return value;
}

template <class Int>
Int toInt(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  const auto fromDecimal = [](const Decimal& d) {
    const auto scaled = decimalScaled(d, 0);
    if (!scaled) overflow();
    return scaledToInt<Int>(*scaled, 1);
  };
  switch (v.type()) {
    case VarType::Currency:
      return scaledToInt<Int>(v.asCurrency().scaled, kCurrencyScale);
    case VarType::Decimal:
      return fromDecimal(v.asDecimal());
    case VarType::String: {
      // Text rounds from its exact digits, not from a double near them.
      const NumberText n = parseOrRaise(v.asString());
      if (n.radix) {
        const auto wrapped = radixValue(*n.radix, sizeof(Int) == 2 && std::is_signed_v<Int> ? 16 : 32);
        return roundToInt<Int>(*wrapped);
      }
      return fromDecimal(decimalFromText(n));
    }
    default:
      return roundToInt<Int>(toDouble(v));
  }
}

}  // namespace

double toDouble(const Variant& value) {
  if (value.type() == VarType::Double) return value.asDouble();
  Variant holder;
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Empty:
      return 0;
    case VarType::Integer:
      return v.asInteger();
    case VarType::Long:
      return v.asLong();
    case VarType::Byte:
      return v.asByte();
    case VarType::Single:
      return v.asSingle();
    case VarType::Double:
      return v.asDouble();
    case VarType::Currency:
      return static_cast<double>(v.asCurrency().scaled) / kCurrencyScale;
    case VarType::Date:
      return v.asDate().value;
    case VarType::Boolean:
      return v.asBoolean() ? -1.0 : 0.0;
    case VarType::Decimal:
      return decimalToDouble(v.asDecimal());
    case VarType::String:
      return textToDouble(v.asString());
    default:
      mismatch();
  }
}

std::int16_t toInteger(const Variant& value) {
  return toInt<std::int16_t>(value);
}
std::int32_t toLong(const Variant& value) {
  if (value.type() == VarType::Long) return value.asLong();  // the usual case, without a conversion
  return toInt<std::int32_t>(value);
}
std::int32_t addLong(std::int32_t a, std::int32_t b) {
  std::int32_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) overflow();
  return sum;
}
std::int32_t subtractLong(std::int32_t a, std::int32_t b) {
  std::int32_t difference = 0;
  if (__builtin_sub_overflow(a, b, &difference)) overflow();
  return difference;
}

std::uint8_t toByte(const Variant& value) {
  return toInt<std::uint8_t>(value);
}

float toSingle(const Variant& value) {
  const double d = toDouble(value);
  if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) overflow();
  return static_cast<float>(d);
}

Currency toCurrency(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  if (v.type() == VarType::Currency) return v.asCurrency();
  if (v.type() == VarType::Decimal || v.type() == VarType::String) {
    const auto scaled = decimalScaled(toDecimal(v), 4);
    if (!scaled) overflow();
    return Currency{*scaled};
  }
  const double scaled = std::nearbyint(toDouble(v) * kCurrencyScale);
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2233720368547758e18) overflow();
  return Currency{static_cast<std::int64_t>(scaled)};
}

Decimal toDecimal(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Decimal:
      return v.asDecimal();
    case VarType::String:
      return decimalFromText(parseOrRaise(v.asString()));
    case VarType::Currency: {
      const std::int64_t s = v.asCurrency().scaled;
      const u128 magnitude = s < 0 ? u128(-(s + 1)) + 1 : u128(s);
      return makeDecimal(magnitude, 4, s < 0);
    }
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
    case VarType::Boolean:
    case VarType::Empty: {
      const auto i = static_cast<std::int64_t>(toDouble(v));
      return makeDecimal(static_cast<u128>(i < 0 ? -i : i), 0, i < 0);
    }
    default:
      return decimalFromDouble(toDouble(v));
  }
}

bool toBoolean(const Variant& value) {
  if (value.type() == VarType::Boolean) return value.asBoolean();
  Variant holder;
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Boolean:
      return v.asBoolean();
    case VarType::String: {
      const std::u16string t = trim(v.asString());
      if (equalsIgnoreCase(t, u"True")) return true;
      if (equalsIgnoreCase(t, u"False")) return false;
      return textToDouble(v.asString()) != 0;
    }
    case VarType::Currency:
      return v.asCurrency().scaled != 0;
    case VarType::Decimal:
      return decimalToDouble(v.asDecimal()) != 0;
    default:
      return toDouble(v) != 0;
  }
}

Date toDate(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Date:
      return v.asDate();
    case VarType::String: {
      if (auto d = parseDate(v.asString())) return *d;
      NumberText n;
      if (parseNumberText(v.asString(), n) != Parse::Ok) mismatch();
      return checkedDate(toDoubleChecked(n));
    }
    default:
      return checkedDate(toDouble(v));
  }
}

std::u16string toText(Variant&& value) {
  if (value.isString()) return std::move(value).takeString();
  return toText(static_cast<const Variant&>(value));
}

std::u16string toText(const Variant& value) {
  if (value.isString()) return value.asString();
  Variant holder;
  if (value.type() == VarType::Error) {
    return u"Error " + ascii(std::to_string(errorNumberOf(value.asError())));
  }
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Empty:
      return {};
    case VarType::Integer:
      return ascii(std::to_string(v.asInteger()));
    case VarType::Long:
      return ascii(std::to_string(v.asLong()));
    case VarType::Byte:
      return ascii(std::to_string(v.asByte()));
    case VarType::Single:
      return formatFloating(v.asSingle(), 7);
    case VarType::Double:
      return formatFloating(v.asDouble(), 15);
    case VarType::Currency:
      return formatCurrency(v.asCurrency());
    case VarType::Date:
      return dateToText(v.asDate());
    case VarType::String:
      return v.asString();
    case VarType::Boolean:
      return v.asBoolean() ? u"True" : u"False";
    case VarType::Decimal:
      return ascii(decimalDigits(v.asDecimal()));
    default:
      mismatch();
  }
}

Variant changeType(const Variant& value, VarType type) {
  if (type == VarType::Variant || value.type() == type) return value;
  switch (type) {
    case VarType::Empty:
      return Variant{};
    case VarType::Integer:
      return toInteger(value);
    case VarType::Long:
      return toLong(value);
    case VarType::Single:
      return toSingle(value);
    case VarType::Double:
      return toDouble(value);
    case VarType::Currency:
      return toCurrency(value);
    case VarType::Date:
      return toDate(value);
    case VarType::String:
      return toText(value);
    case VarType::Boolean:
      return toBoolean(value);
    case VarType::Decimal:
      return toDecimal(value);
    case VarType::Byte:
      return toByte(value);
    case VarType::Object:
      if (value.isObject()) return value;
      mismatch();
    default:
      mismatch();
  }
}

bool isNumeric(const Variant& value) {
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Boolean:
    case VarType::Decimal:
    case VarType::Byte:
      return true;
    case VarType::String: {
      NumberText n;
      return parseNumberText(value.asString(), n) == Parse::Ok;
    }
    default:
      return false;
  }
}

double val(std::u16string_view text) {
  std::u16string s;
  s.reserve(text.size());
  for (char16_t c : text) {
    if (c != u' ' && c != u'\t' && c != u'\n') s.push_back(c);
  }
  std::size_t i = 0;
  if (i + 1 < s.size() && s[i] == u'&' &&
      (s[i + 1] == u'H' || s[i + 1] == u'h' || s[i + 1] == u'O' || s[i + 1] == u'o')) {
    const int base = (s[i + 1] == u'H' || s[i + 1] == u'h') ? 16 : 8;
    i += 2;
    const std::uint64_t magnitude = readRadix(s, i, base);
    // A trailing "&" marks a Long: then only the 32-bit range wraps.
    const bool isLong = i < s.size() && s[i] == u'&';
    const auto v = radixValue(magnitude, isLong ? 32 : 16);
    if (!v) overflow();
    return *v;
  }
  std::string number;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) number.push_back(static_cast<char>(s[i++]));
  bool point = false;
  bool anyDigit = false;
  for (; i < s.size(); ++i) {
    if (isDigit(s[i])) {
      number.push_back(static_cast<char>(s[i]));
      anyDigit = true;
    } else if (s[i] == u'.' && !point) {
      number.push_back('.');
      point = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return 0;
  if (i + 1 < s.size() && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (s[j] == u'+' || s[j] == u'-') exponent.push_back(static_cast<char>(s[j++]));
    if (j < s.size() && isDigit(s[j])) {
      for (; j < s.size() && isDigit(s[j]); ++j) exponent.push_back(static_cast<char>(s[j]));
      number += exponent;
    }
  }
  if (number[0] == '+') number.erase(0, 1);
  double v = 0;
  const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    if (number.find("e-") != std::string::npos) return 0.0;
    overflow();
  }
  return v;
}

double round(double value, std::int32_t digits) {
  if (digits < 0) raise(errors::InvalidProcedureCall);
  if (!std::isfinite(value) || digits > 22) return value;
  if (digits == 0) return std::nearbyint(value);
  const double scale = std::pow(10.0, digits);
  const double scaled = value * scale;
  if (!std::isfinite(scaled)) return value;
  return std::nearbyint(scaled) / scale;
}

Variant cvErr(std::int32_t number) {
  return Variant(
      ErrorValue{static_cast<std::int32_t>(0x800A0000u | (static_cast<std::uint32_t>(number) & 0xFFFFu))});
}

std::int32_t errorNumberOf(ErrorValue error) {
  const auto scode = static_cast<std::uint32_t>(error.scode);
  if ((scode & 0xFFFF0000u) == 0x800A0000u) return static_cast<std::int32_t>(scode & 0xFFFFu);
  if (error.scode == kParamNotFound) return 448;
  return error.scode;
}

}  // namespace automation
