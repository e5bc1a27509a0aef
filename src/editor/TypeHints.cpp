#include "editor/TypeHints.h"

#include <algorithm>
#include <string_view>

#include "automation/Conversions.h"
#include "automation/Text.h"
#include "automation/Variant.h"
#include "environment/Localisation.h"

namespace editor {

ValueKind valueKindOf(std::int32_t type) {
  using automation::VarType;
  switch (static_cast<VarType>(type)) {
    case VarType::Long:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Decimal:
      return ValueKind::Number;
    case VarType::String:
      return ValueKind::Text;
    case VarType::Date:
      return ValueKind::Date;
    case VarType::Boolean:
      return ValueKind::YesNo;
    case VarType::Variant:
      return ValueKind::Anything;
    default:
      return ValueKind::Unlisted;
  }
}

namespace {

// A cell address: up to three column letters and a row number, each perhaps fixed by a $.
bool IsCellAddress(std::u16string_view t) {
  std::size_t i = 0;
  if (i < t.size() && t[i] == u'$') ++i;
  const std::size_t letters = i;
  while (i < t.size() && ((t[i] >= u'A' && t[i] <= u'Z') || (t[i] >= u'a' && t[i] <= u'z'))) ++i;
  if (i == letters || i - letters > 3) return false;
  if (i < t.size() && t[i] == u'$') ++i;
  const std::size_t digits = i;
  while (i < t.size() && t[i] >= u'0' && t[i] <= u'9') ++i;
  return i > digits && i == t.size() && t[digits] != u'0';
}

}  // namespace

bool StandsForValue(const std::u16string& text) {
  const std::u16string t = automation::trim(text);
  if (t.find_first_of(u"[(") != std::u16string::npos) return true;
  // Arithmetic over cells and numbers (B3+1, -B3, B3*1.1): the host computes it.
  bool cell = false;
  std::size_t start = 0;
  while (start <= t.size()) {
    const std::size_t end = std::min(t.find_first_of(u"+-*/^ ", start), t.size());
    const std::u16string_view token = std::u16string_view(t).substr(start, end - start);
    if (!token.empty()) {
      if (IsCellAddress(token)) {
        cell = true;
      } else if (!automation::isNumeric(automation::Variant(std::u16string(token)))) {
        return false;
      }
    }
    start = end + 1;
  }
  return cell;
}

bool DoesNotFit(const std::u16string& text, std::int32_t type) {
  const std::u16string t = automation::trim(text);
  if (t.empty() || StandsForValue(t)) return false;
  switch (valueKindOf(type)) {
    case ValueKind::Number:
      return !automation::isNumeric(automation::Variant(t));
    case ValueKind::Date:
      return !automation::parseDate(t).has_value();
    case ValueKind::YesNo:
      return !automation::isNumeric(automation::Variant(t)) && !automation::equalsIgnoreCase(t, u"TRUE") &&
             !automation::equalsIgnoreCase(t, u"FALSE");
    case ValueKind::Text:
    case ValueKind::Anything:
    case ValueKind::Unlisted:
      break;
  }
  return false;
}

std::u16string TypeHint(const std::u16string& text, std::int32_t type) {
  using environment::L;
  std::u16string hint;
  switch (valueKindOf(type)) {
    case ValueKind::Number:
      hint = L(u"数值");
      break;
    case ValueKind::Text:
      hint = L(u"文本");
      break;
    case ValueKind::Date:
      hint = L(u"日期");
      break;
    case ValueKind::YesNo:
      hint = L(u"是/否");
      break;
    case ValueKind::Anything:
      hint = L(u"任意值");
      break;
    case ValueKind::Unlisted:
      return {};
  }
  if (DoesNotFit(text, type)) hint += u"  ⚠ " + L(u"与类型不符");
  return hint;
}

}  // namespace editor
