// The expression text composed from the rows: FUNC(param,param,…), by the type, quoting and
// reference rules of the three modes (general, REF_F, DATEDIFF).
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "editor/FrmCalcEqual.h"
#include "outside/FuncInfo.h"

namespace editor {

using automation::ignoreErrors;

namespace {

std::u16string quoted(const std::u16string& text) {
  return u"\"" + text + u"\"";
}

// The Boolean rule: a number (true when not zero) or exactly TRUE / FALSE; anything else is False.
std::u16string booleanText(const std::u16string& text) {
  const bool numeric = automation::isNumeric(automation::Variant(text));
  if (!numeric && text != u"TRUE" && text != u"FALSE") return u"False";
  return automation::toBoolean(automation::Variant(text)) ? u"True" : u"False";
}

}  // namespace

std::u16string FrmCalcEqual::GetParamValue(std::int16_t index) {
  const automation::ClearErrOnExit clearErr;
  std::u16string text;
  ignoreErrors([&] { text = txtParam(index).Text(); });
  if (text.empty()) {
    std::u16string fallback;
    ignoreErrors([&] { fallback = component::GetParamDefaultText(index); });
    return fallback;
  }
  std::int32_t type = 0;
  ignoreErrors([&] {
    const auto& types = component::paramTable().DataType;
    const bool fixed = outside::FuncDescriptorCalls(component::componentState().g_oCurFunc).fixParamNum();
    type = automation::toLong(types(fixed ? index : types.lbound()));
  });
  switch (type) {
    case 3:
    case 5:
    case 6:
    case 14:
      return text;
    case 7:
    case 8:
      return quoted(text);
    case 11: {
      std::u16string out;
      ignoreErrors([&] { out = booleanText(text); });
      return out;
    }
    case 12:
      return automation::isNumeric(automation::Variant(text)) ? text : quoted(text);
    default:
      return {};
  }
}

std::u16string FrmCalcEqual::BuildFormula() {
  const outside::FuncDescriptorCalls function(component::componentState().g_oCurFunc);
  const std::int16_t lo = txtParam.LBound();
  std::int16_t hi = txtParam.UBound();
  // A variable list leaves out its last row when that is the empty row kept for the next parameter;
  // a last row holding text (the list could grow no further) is the user's value and stays.
  if (!function.fixParamNum() && hi > lo && txtParam(hi).Text().empty()) --hi;
  const std::u16string name = function.funcName();
  const std::u16string mode = automation::trim(name);
  std::u16string expr = name + u"(";

  if (mode == u"REF_F") {
    for (std::int16_t i = lo; i < hi; ++i) expr += GetParamValue(i) + u",";
    const std::u16string last = GetParamValue(hi);
    const std::u16string t = automation::trim(last);
    if (t.size() > 1 && t[1] == u'@') {
      // "@n" picks a sheet by number: the number goes in as a quoted text.
      if (t.size() < 3) automation::raise(automation::errors::InvalidProcedureCall);
      const std::u16string middle = t.substr(2, t.size() - 3);
      if (automation::val(middle) > 0) return expr + quoted(middle) + u")";
    }
    return expr + last + u")";
  }

  for (std::int16_t i = lo; i <= hi; ++i) {
    const std::u16string separator = i == hi ? u")" : u",";
    if (mode == u"DATEDIFF") {
      expr += quoted(GetParamValue(i)) + separator;
      continue;
    }
    std::u16string t = automation::trim(automation::upper(GetParamValue(i)));
    const std::size_t close = t.find(u']');
    if (close != std::u16string::npos) {
      // A cell reference typed between brackets becomes REF("address",sheet).
      const std::size_t open = t.find(u'[');
      const std::size_t start = open == std::u16string::npos ? 0 : open + 1;
      if (close < start) automation::raise(automation::errors::InvalidProcedureCall);
      t = u"REF(\"" + t.substr(start, close - start) + u"\"," + automation::decimalText(m_CurSheetIndex) +
          u")";
    } else if (t.find(u')') != std::u16string::npos && t.find(u"REF") != std::u16string::npos && !t.empty() &&
               t.front() == u'"') {
      // A reference call typed into a text row loses the quotes around it.
      t = t.size() >= 2 ? t.substr(1, t.size() - 2) : std::u16string{};
    }
    expr += t + separator;
  }
  return expr;
}

}  // namespace editor
