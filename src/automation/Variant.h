// The automation variant: one value of any automation type, with the platform's type codes.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace automation {

class Dispatch;
class VariantArray;

// The platform's variant type codes. An array carries its element type or'ed with Array.
enum class VarType : std::uint16_t {
  Empty = 0,
  Null = 1,
  Integer = 2,
  Long = 3,
  Single = 4,
  Double = 5,
  Currency = 6,
  Date = 7,
  String = 8,
  Object = 9,
  Error = 10,
  Boolean = 11,
  Variant = 12,
  Decimal = 14,
  Byte = 17,
  Array = 0x2000,
};

constexpr VarType operator|(VarType a, VarType b) {
  return static_cast<VarType>(static_cast<std::uint16_t>(a) | static_cast<std::uint16_t>(b));
}
constexpr std::int32_t code(VarType t) {
  return static_cast<std::int32_t>(t);
}

using ObjectRef = std::shared_ptr<Dispatch>;

// Currency: a 64-bit integer of ten-thousandths.
struct Currency {
  std::int64_t scaled = 0;
  friend bool operator==(Currency, Currency) = default;
};

// Date: days since 1899-12-30; the fraction is the time of day.
struct Date {
  double value = 0;
  friend bool operator==(Date, Date) = default;
};

// Decimal: a 96-bit unsigned mantissa, a sign and a power-of-ten scale from 0 to 28.
struct Decimal {
  std::uint32_t hi = 0;
  std::uint64_t lo = 0;
  std::uint8_t scale = 0;
  bool negative = false;
  friend bool operator==(const Decimal&, const Decimal&) = default;
};

// An error value (the platform's SCODE). The "missing argument" marker is one of them.
struct ErrorValue {
  std::int32_t scode = 0;
  friend bool operator==(ErrorValue, ErrorValue) = default;
};
inline constexpr std::int32_t kParamNotFound = static_cast<std::int32_t>(0x80020004u);

struct NullValue {
  friend bool operator==(NullValue, NullValue) = default;
};

class Variant {
 public:
  Variant() = default;
  Variant(NullValue) : value_(NullValue{}) {}
  Variant(std::int16_t v) : value_(v) {}
  Variant(std::int32_t v) : value_(v) {}
  Variant(float v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(Currency v) : value_(v) {}
  Variant(Date v) : value_(v) {}
  Variant(std::u16string v) : value_(std::move(v)) {}
  Variant(std::u16string_view v) : value_(std::u16string(v)) {}
  Variant(const char16_t* v) : value_(std::u16string(v)) {}
  Variant(ObjectRef v) : value_(std::move(v)) {}
  Variant(ErrorValue v) : value_(v) {}
  Variant(bool v) : value_(v) {}
  Variant(Decimal v) : value_(v) {}
  Variant(std::uint8_t v) : value_(v) {}
  Variant(VariantArray array);
  // Narrow strings are not automation strings: convert with fromUtf8 first.
  Variant(const char*) = delete;

  static Variant null() { return Variant(NullValue{}); }
  static Variant missing() { return Variant(ErrorValue{kParamNotFound}); }

  // The type code; an array answers Array or'ed with its element type.
  VarType type() const {
    // The alternatives are declared in the order of their codes below.
    static constexpr VarType kCodes[] = {
        VarType::Empty,  VarType::Null,     VarType::Integer, VarType::Long,   VarType::Single,
        VarType::Double, VarType::Currency, VarType::Date,    VarType::String, VarType::Object,
        VarType::Error,  VarType::Boolean,  VarType::Decimal, VarType::Byte};
    const std::size_t i = value_.index();
    return i < std::size(kCodes) ? kCodes[i] : arrayType();
  }

  bool isEmpty() const { return value_.index() == 0; }
  bool isNull() const { return std::holds_alternative<NullValue>(value_); }
  bool isMissing() const {
    const auto* e = std::get_if<ErrorValue>(&value_);
    return e != nullptr && e->scode == kParamNotFound;
  }
  bool isObject() const { return std::holds_alternative<ObjectRef>(value_); }
  bool isArray() const { return std::holds_alternative<std::shared_ptr<VariantArray>>(value_); }
  bool isString() const { return std::holds_alternative<std::u16string>(value_); }

  // Typed access; the caller must have checked the type (other types raise 13).
  std::int16_t asInteger() const { return get<std::int16_t>(); }
  std::int32_t asLong() const { return get<std::int32_t>(); }
  float asSingle() const { return get<float>(); }
  double asDouble() const { return get<double>(); }
  Currency asCurrency() const { return get<Currency>(); }
  Date asDate() const { return get<Date>(); }
  const std::u16string& asString() const { return get<std::u16string>(); }
  // Moves a String out, leaving the variant Empty.
  std::u16string takeString() &&;
  const ObjectRef& asObject() const { return get<ObjectRef>(); }
  ErrorValue asError() const { return get<ErrorValue>(); }
  bool asBoolean() const { return get<bool>(); }
  Decimal asDecimal() const { return get<Decimal>(); }
  std::uint8_t asByte() const { return get<std::uint8_t>(); }

  // Arrays have value semantics: copies share the elements until one of them is changed.
  const VariantArray& array() const;
  VariantArray& mutableArray();

  // Same type and same value (arrays element by element, objects by identity).
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  template <class T>
  const T& get() const;
  VarType arrayType() const;

  std::variant<std::monostate, NullValue, std::int16_t, std::int32_t, float, double, Currency, Date,
               std::u16string, ObjectRef, ErrorValue, bool, Decimal, std::uint8_t,
               std::shared_ptr<VariantArray>>
      value_;
  static_assert(std::variant_size_v<decltype(value_)> == 15, "type() maps the first 14 alternatives");
};

// The name of a type code as the platform's TypeName answers it ("Long", "String", "Long()" …).
std::u16string typeName(VarType type);

}  // namespace automation
