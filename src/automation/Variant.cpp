#include "automation/Variant.h"

#include "automation/Error.h"
#include "automation/VariantArray.h"

namespace automation {

Variant::Variant(VariantArray array) : kind_(kArray) {
  new (raw_) ArrayRef(std::make_shared<VariantArray>(std::move(array)));
}

VarType Variant::arrayType() const {
  return VarType::Array | held<ArrayRef>()->elementType();
}

void Variant::mismatch() {
  raise(errors::TypeMismatch);
}

const VariantArray& Variant::array() const {
  return *get<ArrayRef>();
}

std::u16string Variant::takeString() && {
  if (!isString()) raise(errors::TypeMismatch);
  std::u16string text = std::move(held<std::u16string>());
  release();
  return text;
}

VariantArray& Variant::mutableArray() {
  if (!isArray()) raise(errors::TypeMismatch);
  ArrayRef& shared = held<ArrayRef>();
  if (shared.use_count() > 1) shared = std::make_shared<VariantArray>(*shared);
  return *shared;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case Variant::kEmpty:
    case Variant::kNull:
      return true;
    case Variant::kInteger:
      return a.held<std::int16_t>() == b.held<std::int16_t>();
    case Variant::kLong:
      return a.held<std::int32_t>() == b.held<std::int32_t>();
    case Variant::kSingle:
      return a.held<float>() == b.held<float>();
    case Variant::kDouble:
      return a.held<double>() == b.held<double>();
    case Variant::kCurrency:
      return a.held<Currency>() == b.held<Currency>();
    case Variant::kDate:
      return a.held<Date>() == b.held<Date>();
    case Variant::kString:
      return a.held<std::u16string>() == b.held<std::u16string>();
    case Variant::kObject:
      return a.held<ObjectRef>() == b.held<ObjectRef>();
    case Variant::kError:
      return a.held<ErrorValue>() == b.held<ErrorValue>();
    case Variant::kBoolean:
      return a.held<bool>() == b.held<bool>();
    case Variant::kDecimal:
      return a.held<Decimal>() == b.held<Decimal>();
    case Variant::kByte:
      return a.held<std::uint8_t>() == b.held<std::uint8_t>();
    case Variant::kArray:
      return a.array() == b.array();
  }
  return false;
}

std::u16string typeName(VarType type) {
  const auto raw = static_cast<std::uint16_t>(type);
  if ((raw & 0x2000) != 0) return typeName(static_cast<VarType>(raw & ~0x2000)) + u"()";
  switch (type) {
    case VarType::Empty:
      return u"Empty";
    case VarType::Null:
      return u"Null";
    case VarType::Integer:
      return u"Integer";
    case VarType::Long:
      return u"Long";
    case VarType::Single:
      return u"Single";
    case VarType::Double:
      return u"Double";
    case VarType::Currency:
      return u"Currency";
    case VarType::Date:
      return u"Date";
    case VarType::String:
      return u"String";
    case VarType::Object:
      return u"Object";
    case VarType::Error:
      return u"Error";
    case VarType::Boolean:
      return u"Boolean";
    case VarType::Variant:
      return u"Variant";
    case VarType::Decimal:
      return u"Decimal";
    case VarType::Byte:
      return u"Byte";
    default:
      return u"Unknown";
  }
}

}  // namespace automation
