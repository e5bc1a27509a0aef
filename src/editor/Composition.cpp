#include "editor/Composition.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "component/ParamTypes.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "editor/FrmCalcEqual.h"
#include "outside/FuncInfo.h"

namespace editor {

namespace {

using component::ParamTextKind;

std::u16string quoted(const std::u16string& text) {
  return u"\"" + text + u"\"";
}

bool numeric(const std::u16string& text) {
  return automation::isNumeric(automation::Variant(text));
}

// The Boolean rule: a number (true when not zero) or exactly TRUE / FALSE; anything else is False.
std::u16string booleanText(const std::u16string& text) {
  if (!numeric(text) && text != u"TRUE" && text != u"FALSE") return u"False";
  return automation::toBoolean(automation::Variant(text)) ? u"True" : u"False";
}

// General mode: upper case and trimmed; "[A1]" becomes REF("A1",sheet) and a quoted reference call
// loses its quotes. nullopt when a "]" comes before the first "[".
std::optional<std::u16string> generalText(const std::u16string& param, std::int32_t sheetIndex) {
  std::u16string t = automation::trim(automation::upper(param));
  const std::size_t close = t.find(u']');
  if (close != std::u16string::npos) {
    const std::size_t open = t.find(u'[');
    const std::size_t start = open == std::u16string::npos ? 0 : open + 1;
    if (close < start) return std::nullopt;
    return u"REF(\"" + t.substr(start, close - start) + u"\"," + automation::decimalText(sheetIndex) + u")";
  }
  if (t.find(u')') != std::u16string::npos && t.find(u"REF") != std::u16string::npos && !t.empty() &&
      t.front() == u'"') {
    return t.size() >= 2 ? t.substr(1, t.size() - 2) : std::u16string{};
  }
  return t;
}

// REF_F's last parameter: "@n" with n above zero picks a sheet by number and goes in as the quoted
// number. nullopt for a trimmed text of exactly two characters with "@" second.
std::optional<std::u16string> sheetChoice(const std::u16string& param) {
  const std::u16string t = automation::trim(param);
  if (t.size() > 1 && t[1] == u'@') {
    if (t.size() < 3) return std::nullopt;
    const std::u16string middle = t.substr(2, t.size() - 3);
    if (automation::val(middle) > 0) return quoted(middle);
  }
  return param;
}

std::optional<std::u16string> compose(const FormulaRows& input) {
  std::size_t count = input.rows.size();
  if (!input.fixedCount && count > 1 && input.rows.back().text.empty()) --count;
  const std::u16string mode = automation::trim(input.funcName);
  std::u16string expr = input.funcName + u"(";
  for (std::size_t i = 0; i < count; ++i) {
    const bool last = i + 1 == count;
    std::optional<std::u16string> text = ParamText(input.rows[i]);
    if (mode == u"DATEDIFF") {
      text = quoted(*text);
    } else if (mode == u"REF_F") {
      if (last) text = sheetChoice(*text);
    } else {
      text = generalText(*text, input.sheetIndex);
    }
    if (!text) return std::nullopt;
    expr += *text + (last ? u")" : u",");
  }
  if (count == 0) expr += u")";
  return expr;
}

}  // namespace

std::u16string ParamText(const ComposedRow& row) {
  if (row.text.empty()) return row.defaultText;
  switch (component::paramTextKind(row.type)) {
    case ParamTextKind::Verbatim:
      return row.text;
    case ParamTextKind::Quoted:
      return quoted(row.text);
    case ParamTextKind::Boolean:
      return booleanText(row.text);
    case ParamTextKind::NumberOrQuoted:
      return numeric(row.text) ? row.text : quoted(row.text);
    case ParamTextKind::Unlisted:
      break;
  }
  return {};
}

std::optional<std::u16string> ComposeFormula(const FormulaRows& input) {
  try {
    return compose(input);
  } catch (const automation::AutomationError&) {
    return std::nullopt;  // a number that does not fit (an "@1e999" sheet) cannot be composed either
  }
}

// --- Reading a composed formula back ----------------------------------------------------------------

namespace {

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

bool quotedText(const std::u16string& t) {
  return t.size() >= 2 && t.front() == u'"' && t.back() == u'"';
}

// REF("B7",n) with n the current sheet: the cell's address.
std::optional<std::u16string> currentSheetCell(const std::u16string& arg, std::int32_t sheetIndex) {
  const std::u16string prefix = u"REF(\"";
  const std::u16string suffix = u"\"," + automation::decimalText(sheetIndex) + u")";
  if (arg.size() <= prefix.size() + suffix.size() || arg.compare(0, prefix.size(), prefix) != 0 ||
      arg.compare(arg.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return std::nullopt;
  }
  std::u16string cell = arg.substr(prefix.size(), arg.size() - prefix.size() - suffix.size());
  if (cell.find_first_of(u"\"[]") != std::u16string::npos) return std::nullopt;
  return cell;
}

}  // namespace

std::optional<SplitCall> SplitFormula(std::u16string_view formula) {
  std::size_t b = 0, e = formula.size();
  while (b < e && isBlank(formula[b])) ++b;
  while (e > b && isBlank(formula[e - 1])) --e;
  if (b < e && formula[b] == u'=') ++b;
  const std::size_t open = formula.find(u'(', b);
  if (open == std::u16string_view::npos || open >= e || formula[e - 1] != u')') return std::nullopt;
  SplitCall call{automation::trim(std::u16string(formula.substr(b, open - b))), {}};
  if (call.funcName.empty() || call.funcName.find_first_of(u"\"(),") != std::u16string::npos) return std::nullopt;
  std::size_t start = open + 1;
  int depth = 0;
  bool inText = false;
  for (std::size_t i = open + 1; i + 1 < e; ++i) {
    const char16_t c = formula[i];
    if (c == u'"') {
      inText = !inText;
    } else if (inText) {
      continue;
    } else if (c == u'(') {
      ++depth;
    } else if (c == u')') {
      if (--depth < 0) return std::nullopt;  // the call closed before its end
    } else if (c == u',' && depth == 0) {
      call.args.emplace_back(formula.substr(start, i - start));
      start = i + 1;
    }
  }
  if (inText || depth != 0) return std::nullopt;
  const std::u16string last(formula.substr(start, e - 1 - start));
  if (!call.args.empty() || !last.empty()) call.args.push_back(last);
  return call;
}

std::u16string RowText(const std::u16string& arg, std::int32_t type, const std::u16string& mode,
                       std::int32_t sheetIndex, const std::u16string& defaultText) {
  const std::u16string m = automation::trim(mode);
  // An empty argument where the row has a default came from blanks, which the general mode trims.
  if (arg.empty() && !defaultText.empty() && m != u"DATEDIFF" && m != u"REF_F") return u" ";
  if (!defaultText.empty()) {
    const std::u16string asComposed = m == u"DATEDIFF" ? quoted(defaultText)
                                      : m == u"REF_F"  ? defaultText
                                                       : automation::trim(automation::upper(defaultText));
    if (arg == asComposed) return {};
  }
  std::u16string text = arg;
  if (m == u"DATEDIFF") {
    // Every parameter went in between quotes, over what its type made of it.
    if (!quotedText(text)) return text;
    text = text.substr(1, text.size() - 2);
  } else if (m != u"REF_F") {
    if (auto cell = currentSheetCell(text, sheetIndex)) return u"[" + *cell + u"]";
  }
  switch (component::paramTextKind(type)) {
    case ParamTextKind::Quoted:
      return quotedText(text) ? text.substr(1, text.size() - 2) : text;
    case ParamTextKind::NumberOrQuoted:
      if (!quotedText(text)) return text;
      if (!numeric(text.substr(1, text.size() - 2))) return text.substr(1, text.size() - 2);
      // A number between quotes is REF_F's sheet chosen by number, typed as "@n".
      return m == u"REF_F" ? u"@" + text.substr(1, text.size() - 2) : text;
    case ParamTextKind::Boolean:
      if (automation::equalsIgnoreCase(text, u"True")) return u"TRUE";
      if (automation::equalsIgnoreCase(text, u"False")) return u"FALSE";
      return text;
    case ParamTextKind::Verbatim:
    case ParamTextKind::Unlisted:
      break;
  }
  return text;
}

// --- The editor's routines over the rows -----------------------------------------------------------

ComposedRow FrmCalcEqual::RowForComposition(std::int16_t index) {
  const automation::ClearErrOnExit clearErr;
  ComposedRow row;
  if (txtParam.exists(index)) row.text = txtParam(index).Text();
  row.defaultText = component::GetParamDefaultText(index);
  automation::ignoreErrors([&] {
    const auto& types = component::paramTable().DataType;
    const bool fixed = outside::FuncDescriptorCalls(component::componentState().g_oCurFunc).fixParamNum();
    row.type = automation::toLong(types(fixed ? index : types.lbound()));
  });
  return row;
}

std::u16string FrmCalcEqual::GetParamValue(std::int16_t index) {
  return ParamText(RowForComposition(index));
}

std::u16string FrmCalcEqual::BuildFormula() {
  const outside::FuncDescriptorCalls function(component::componentState().g_oCurFunc);
  FormulaRows input{function.funcName(), function.fixParamNum(), {}, m_CurSheetIndex};
  const std::size_t rows = g_cParamCol().size();
  input.rows.reserve(rows);
  if (input.fixedCount) {
    for (std::size_t i = 0; i < rows; ++i)
      input.rows.push_back(RowForComposition(static_cast<std::int16_t>(i)));
  } else if (rows > 0) {
    // Every row of a variable list has the first row's type and default: they are read once.
    ComposedRow first = RowForComposition(0);
    first.text.clear();  // each row brings its own
    for (std::size_t i = 0; i < rows; ++i) {
      input.rows.push_back(first);
      input.rows.back().text = g_cParamCol()[i]->Text();
    }
  }
  auto expr = ComposeFormula(input);
  if (!expr) automation::raise(automation::errors::InvalidProcedureCall);
  return *expr;
}

}  // namespace editor
