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

// --- Reading a composed formula back into rows -------------------------------------------------------

struct SplitCall {
  std::u16string funcName;
  std::vector<std::u16string> args;  // as written, commas inside texts and brackets kept
};

// A formula that is one call NAME(…): its name and its argument texts, split at the commas outside
// quotes and brackets. nullopt when the text is not one call (or its quotes or brackets are open).
std::optional<SplitCall> SplitFormula(std::u16string_view formula);

// The text a user types into a row so that the row composes to `arg`: the composition's quotes
// taken off, TRUE and FALSE for yes/no, "[B7]" for a reference to a cell of the current sheet;
// anything else (a nested call, a reference to another sheet) as it stands. `mode` is the function's
// name (DATEDIFF and REF_F compose by their own rules). An argument that is the row's default text
// as composed gives an empty row; an empty one where the row has a default, a blank.
std::u16string RowText(const std::u16string& arg, std::int32_t type, const std::u16string& mode,
                       std::int32_t sheetIndex, const std::u16string& defaultText = {});

}  // namespace editor
