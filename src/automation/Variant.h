// The automation variant: one value of any automation type, with the platform's type codes.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

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
  Variant(NullValue) : kind_(kNull) {}
  Variant(std::int16_t v) { emplacePlain(kInteger, v); }
  Variant(std::int32_t v) { emplacePlain(kLong, v); }
  Variant(float v) { emplacePlain(kSingle, v); }
  Variant(double v) { emplacePlain(kDouble, v); }
  Variant(Currency v) { emplacePlain(kCurrency, v); }
  Variant(Date v) { emplacePlain(kDate, v); }
  Variant(std::u16string v) : kind_(kString) { new (raw_) std::u16string(std::move(v)); }
  Variant(std::u16string_view v) : kind_(kString) { new (raw_) std::u16string(v); }
  Variant(const char16_t* v) : kind_(kString) { new (raw_) std::u16string(v); }
  Variant(ObjectRef v) : kind_(kObject) { new (raw_) ObjectRef(std::move(v)); }
  Variant(ErrorValue v) { emplacePlain(kError, v); }
  Variant(bool v) { emplacePlain(kBoolean, v); }
  Variant(Decimal v) { emplacePlain(kDecimal, v); }
  Variant(std::uint8_t v) { emplacePlain(kByte, v); }
  Variant(VariantArray array);
  // Narrow strings are not automation strings: convert with fromUtf8 first.
  Variant(const char*) = delete;

  Variant(const Variant& other) { copyFrom(other); }
  // A moved-from text stays a String, empty, as callers expect; a moved-from object or array is
  // only fit to be assigned or destroyed.
  Variant(Variant&& other) noexcept { moveFrom(other); }
  Variant& operator=(const Variant& other) {
    if (this == &other) return *this;
    if (kind_ == kString && other.kind_ == kString) {
      held<std::u16string>() = other.held<std::u16string>();  // reuses this text's buffer
      return *this;
    }
    if (owning(other.kind_) || owning(kind_)) {
      // Through a copy: `other` may live inside what this variant holds.
      Variant copy(other);
      return *this = std::move(copy);
    }
    std::memcpy(raw_, other.raw_, sizeof raw_);
    kind_ = other.kind_;
    return *this;
  }
  Variant& operator=(Variant&& other) noexcept {
    if (this == &other) return *this;
    if (kind_ == kString) {
      if (other.kind_ == kString) {
        held<std::u16string>() = std::move(other.held<std::u16string>());
        return *this;
      }
      release();  // a text holds no variant: `other` is not inside it
      moveFrom(other);
    } else if (kind_ == kObject && other.kind_ == kObject) {
      // A shared pointer takes the new before it lets go of the old, inside which `other` may live.
      held<ObjectRef>() = std::move(other.held<ObjectRef>());
    } else if (owning(kind_)) {
      // `other` may live inside what this variant holds: take it before letting go.
      Variant taken(std::move(other));
      release();
      moveFrom(taken);
    } else {
      moveFrom(other);
    }
    return *this;
  }
  ~Variant() {
    if (owning(kind_)) release();
  }

  static Variant null() { return Variant(NullValue{}); }
  static Variant missing() { return Variant(ErrorValue{kParamNotFound}); }

  // The type code; an array answers Array or'ed with its element type.
  VarType type() const {
    // The kinds are declared in the order of their codes here.
    static constexpr VarType kCodes[] = {
        VarType::Empty,  VarType::Null,     VarType::Integer, VarType::Long,   VarType::Single,
        VarType::Double, VarType::Currency, VarType::Date,    VarType::String, VarType::Object,
        VarType::Error,  VarType::Boolean,  VarType::Decimal, VarType::Byte};
    return kind_ < kArray ? kCodes[kind_] : arrayType();
  }

  bool isEmpty() const { return kind_ == kEmpty; }
  bool isNull() const { return kind_ == kNull; }
  bool isMissing() const { return kind_ == kError && held<ErrorValue>().scode == kParamNotFound; }
  bool isObject() const { return kind_ == kObject; }
  bool isArray() const { return kind_ == kArray; }
  bool isString() const { return kind_ == kString; }

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
  using ArrayRef = std::shared_ptr<VariantArray>;
  // What the variant holds, numbered as the type codes are ordered in type().
  enum Kind : std::uint8_t {
    kEmpty,
    kNull,
    kInteger,
    kLong,
    kSingle,
    kDouble,
    kCurrency,
    kDate,
    kString,
    kObject,
    kError,
    kBoolean,
    kDecimal,
    kByte,
    kArray
  };
  template <class T>
  static constexpr Kind kindOf();
  // Texts, objects and arrays own what they hold; every other kind is plain bytes, copied as such.
  static constexpr bool owning(Kind k) { return k == kString || k == kObject || k == kArray; }

  template <class T>
  T& held() {
    return *std::launder(reinterpret_cast<T*>(raw_));
  }
  template <class T>
  const T& held() const {
    return *std::launder(reinterpret_cast<const T*>(raw_));
  }
  template <class T>
  void emplacePlain(Kind kind, T value) {
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= sizeof raw_ &&
                  alignof(T) <= alignof(Variant));
    new (raw_) T(value);
    kind_ = kind;
  }
  template <class T>
  const T& get() const {
    if (kind_ != kindOf<T>()) mismatch();
    return held<T>();
  }
  [[noreturn]] static void mismatch();
  VarType arrayType() const;

  void copyFrom(const Variant& other) {
    switch (other.kind_) {
      case kString:
        new (raw_) std::u16string(other.held<std::u16string>());
        break;
      case kObject:
        new (raw_) ObjectRef(other.held<ObjectRef>());
        break;
      case kArray:
        new (raw_) ArrayRef(other.held<ArrayRef>());
        break;
      default:
        std::memcpy(raw_, other.raw_, sizeof raw_);
    }
    kind_ = other.kind_;
  }
  // This variant holds nothing owned on entry.
  void moveFrom(Variant& other) noexcept {
    switch (other.kind_) {
      case kString:
        new (raw_) std::u16string(std::move(other.held<std::u16string>()));
        break;
      case kObject:
        new (raw_) ObjectRef(std::move(other.held<ObjectRef>()));
        break;
      case kArray:
        new (raw_) ArrayRef(std::move(other.held<ArrayRef>()));
        break;
      default:
        std::memcpy(raw_, other.raw_, sizeof raw_);
    }
    kind_ = other.kind_;
  }
  // Destroys what an owning kind holds and leaves the variant Empty.
  void release() noexcept {
    const Kind held_kind = kind_;
    kind_ = kEmpty;  // Empty already while a destructor runs that might look at this variant
    switch (held_kind) {
      case kString:
        held<std::u16string>().~basic_string();
        break;
      case kObject:
        held<ObjectRef>().~ObjectRef();
        break;
      case kArray:
        held<ArrayRef>().~ArrayRef();
        break;
      default:
        break;
    }
  }

  // Plain kinds are copied as the whole buffer; zeroed at first, it never has a byte not written.
  alignas(std::u16string) std::byte raw_[sizeof(std::u16string)]{};
  Kind kind_ = kEmpty;
  static_assert(sizeof(std::u16string) >= sizeof(ObjectRef) && sizeof(std::u16string) >= sizeof(ArrayRef) &&
                sizeof(std::u16string) >= sizeof(Decimal));
  static_assert(alignof(std::u16string) >= alignof(ObjectRef) &&
                alignof(std::u16string) >= alignof(ArrayRef));
};

template <class T>
constexpr Variant::Kind Variant::kindOf() {
  if constexpr (std::is_same_v<T, std::int16_t>)
    return kInteger;
  else if constexpr (std::is_same_v<T, std::int32_t>)
    return kLong;
  else if constexpr (std::is_same_v<T, float>)
    return kSingle;
  else if constexpr (std::is_same_v<T, double>)
    return kDouble;
  else if constexpr (std::is_same_v<T, Currency>)
    return kCurrency;
  else if constexpr (std::is_same_v<T, Date>)
    return kDate;
  else if constexpr (std::is_same_v<T, std::u16string>)
    return kString;
  else if constexpr (std::is_same_v<T, ObjectRef>)
    return kObject;
  else if constexpr (std::is_same_v<T, ErrorValue>)
    return kError;
  else if constexpr (std::is_same_v<T, bool>)
    return kBoolean;
  else if constexpr (std::is_same_v<T, Decimal>)
    return kDecimal;
  else if constexpr (std::is_same_v<T, std::uint8_t>)
    return kByte;
  else {
    static_assert(std::is_same_v<T, ArrayRef>, "not a kind a variant holds");
    return kArray;
  }
}

// The name of a type code as the platform's TypeName answers it ("Long", "String", "Long()" …).
std::u16string typeName(VarType type);

}  // namespace automation
