// How the designer reads what a user types into a cell. A formula starts with "=" and is arithmetic
// (muParser's) over numbers, cells of the report and calls of report functions:
//
//   =QMYE("1002",2024,12)-QCYE("1002",2024,1)      two report-function calls
//   =B3*1.1   =REF("B3",2)+1                        cells: of this sheet, or of a sheet by number
//   =max(C4,C5)                                     muParser's own functions keep their meaning
//
// A report function's arguments are texts in quotes (a doubled quote inside stands for one),
// TRUE and FALSE, blanks, or expressions of the same kind; a single cell passes its value as it is,
// so a text in a cell can be an account code. PAGENAME() and PAGENO() are the sheet's name and
// number. Every other name followed by "(" is a report function: its calls are what the designer
// hands to the component in batches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/Variant.h"
#include "sample/Workbook.h"

namespace designer {

struct CellRef {
  std::int32_t sheet = 0;  // position in the report, from 0
  sample::CellAddress at;
  friend auto operator<=>(const CellRef&, const CellRef&) = default;
};

struct Expr;

// One call of a report function inside a formula.
struct ReportCall {
  std::u16string name;     // in upper case
  std::vector<Expr> args;  // in order; a blank argument is Empty
  // Where each argument's text starts and ends in the formula, blanks around it included.
  std::vector<std::pair<std::size_t, std::size_t>> argSpans;
  std::size_t begin = 0;  // where its text starts and ends in the formula (after "=")
  std::size_t end = 0;
};

struct Expr {
  // SheetName and SheetNumber are PAGENAME() and PAGENO(), which the designer answers itself: the
  // name of the sheet holding the formula, and its number from 1.
  enum class Kind { Empty, Constant, Cell, Call, Arithmetic, SheetName, SheetNumber };
  Kind kind = Kind::Empty;
  automation::Variant constant;  // Constant
  CellRef cell;                  // Cell; SheetName and SheetNumber: the sheet in `cell.sheet`
  std::size_t call = 0;          // Call: index into Formula::calls
  // Arithmetic: muParser text whose variables _0, _1 … are the operands in order.
  std::string text;
  std::vector<Expr> operands;  // each a Cell or a Call
};

struct Formula {
  Expr root;
  std::vector<ReportCall> calls;  // inner calls before the calls holding them
  std::u16string error;           // why the formula cannot be read, in the user's language; empty when it can
};

// Reads a cell's formula (the text after "="); `sheet` is the position of the sheet holding it.
Formula readFormula(std::u16string_view text, std::int32_t sheet);

// A text of the designer in the user's language, with `part` (a name, a character of the
// formula, a number) put in for its %1.
std::u16string localText(std::u16string_view key, std::u16string_view part);

// The call the wizard re-opens on: the innermost one holding `caret` (a position in the formula,
// either end of a call counting as in it), else the first call that is not inside another.
// Null when the formula has no report call.
const ReportCall* callAt(const Formula& formula, std::optional<std::size_t> caret);

// Whether two texts of one report call ask the same: the same function (in any case) and the same
// argument texts, blanks around them aside, "" the same as nothing, trailing blanks dropped. The
// editor writes every argument of the function; a call the user confirmed unchanged must not grow.
bool sameCall(std::u16string_view a, std::u16string_view b);

// A number as the platform keeps it: rounded to 15 significant digits, as spreadsheets do, so that
// the binary noise of a sum never reaches a cell or a file.
double significant15(double value);
// A number as a user would type it: up to 15 significant digits, no trailing zeros.
std::u16string numberText(double value);

}  // namespace designer
