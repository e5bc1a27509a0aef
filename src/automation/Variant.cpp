#include "automation/Variant.h"

#include "automation/Error.h"
#include "automation/VariantArray.h"

namespace automation {

Variant::Variant(VariantArray array) : value_(std::make_shared<VariantArray>(std::move(array))) {}

VarType Variant::arrayType() const {
  return VarType::Array | std::get<std::shared_ptr<VariantArray>>(value_)->elementType();
}

template <class T>
const T& Variant::get() const {
  if (const T* p = std::get_if<T>(&value_)) return *p;
  raise(errors::TypeMismatch);
}

template const std::int16_t& Variant::get() const;
template const std::int32_t& Variant::get() const;
template const float& Variant::get() const;
template const double& Variant::get() const;
template const Currency& Variant::get() const;
template const Date& Variant::get() const;
template const std::u16string& Variant::get() const;
template const ObjectRef& Variant::get() const;
template const ErrorValue& Variant::get() const;
template const bool& Variant::get() const;
template const Decimal& Variant::get() const;
template const std::uint8_t& Variant::get() const;

const VariantArray& Variant::array() const {
  return *get<std::shared_ptr<VariantArray>>();
}

std::u16string Variant::takeString() && {
  if (!isString()) raise(errors::TypeMismatch);
  std::u16string text = std::move(std::get<std::u16string>(value_));
  value_ = std::monostate{};
  return text;
}

VariantArray& Variant::mutableArray() {
  if (!isArray()) raise(errors::TypeMismatch);
  auto& shared = std::get<std::shared_ptr<VariantArray>>(value_);
  if (shared.use_count() > 1) shared = std::make_shared<VariantArray>(*shared);
  return *shared;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.isArray() && b.isArray()) return a.array() == b.array();
  return a.value_ == b.value_;
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
