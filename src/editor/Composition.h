// The expression text composed from the editor's rows: FUNC(param,param,…) by the type, quoting and
// reference rules of the three modes (general, REF_F, DATEDIFF). A pure function of plain values, so
// the rules can be read and tested without a dialog; FrmCalcEqual::BuildFormula feeds it the rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace editor {

struct ComposedRow {
  std::u16string text;         // as typed, not trimmed
  std::int32_t type = 0;       // the automation type code of the row's parameter
  std::u16string defaultText;  // what stands for the row when its text is empty
};

struct FormulaRows {
  std::u16string funcName;  // as the catalogue gives it
  bool fixedCount = true;   // false: a variable list, whose last row is the empty row kept for growth
  std::vector<ComposedRow> rows;
  std::int32_t sheetIndex = 0;  // the host's current sheet, for "[A1]" references
};

// The parameter text of one row: its default text when empty, else shaped by its type code.
std::u16string ParamText(const ComposedRow& row);

// The expression, or nullopt when the rows cannot be composed (a "]" before the first "[" in the
// general mode, a last REF_F parameter of the form "x@").
std::optional<std::u16string> ComposeFormula(const FormulaRows& input);

}  // namespace editor
