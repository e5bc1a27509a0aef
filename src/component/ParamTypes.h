// How a parameter's type code (an automation type code) shapes the text that stands for it in a
// formula. The composition of typed rows and the default texts both start from this one table.
#pragma once

#include <cstdint>

#include "automation/Variant.h"

namespace component {

enum class ParamTextKind {
  Verbatim,        // Long, Double, Currency, Decimal: the text as it stands
  Quoted,          // Date, String: between double quotes
  Boolean,         // Boolean: True or False
  NumberOrQuoted,  // Variant: as it stands when numeric, else quoted
  Unlisted,        // any other code: no text at all
};

constexpr ParamTextKind paramTextKind(std::int32_t typeCode) {
  using automation::VarType;
  switch (static_cast<VarType>(typeCode)) {
    case VarType::Long:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Decimal:
      return ParamTextKind::Verbatim;
    case VarType::Date:
    case VarType::String:
      return ParamTextKind::Quoted;
    case VarType::Boolean:
      return ParamTextKind::Boolean;
    case VarType::Variant:
      return ParamTextKind::NumberOrQuoted;
    default:
      return ParamTextKind::Unlisted;
  }
}

}  // namespace component
