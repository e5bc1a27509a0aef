// How the designer reads what a user types into a cell. A formula starts with "=" and is arithmetic
// (muParser's) over numbers, cells of the report and calls of report functions:
//
//   =QMYE("1002",2024,12)-QCYE("1002",2024,1)      two report-function calls
//   =B3*1.1   =REF("B3",2)+1                        cells: of this sheet, or of a sheet by number
//   =max(C4,C5)                                     muParser's own functions keep their meaning
//
// A report function's arguments are texts in quotes (a doubled quote inside stands for one),
// TRUE and FALSE, blanks, or expressions of the same kind; a single cell passes its value as it is,
// so a text in a cell can be an account code. Every other name followed by "(" is a report
// function: its calls are what the designer hands to the component in batches.
#pragma once

#include <cstddef>
#include <cstdint>
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
  std::u16string name;      // in upper case
  std::vector<Expr> args;   // in order; a blank argument is Empty
  std::size_t begin = 0;    // where its text starts and ends in the formula (after "=")
  std::size_t end = 0;
};

struct Expr {
  enum class Kind { Empty, Constant, Cell, Call, Arithmetic };
  Kind kind = Kind::Empty;
  automation::Variant constant;  // Constant
  CellRef cell;                  // Cell
  std::size_t call = 0;          // Call: index into Formula::calls
  // Arithmetic: muParser text whose variables _0, _1 … are the operands in order.
  std::string text;
  std::vector<Expr> operands;  // each a Cell or a Call
};

struct Formula {
  Expr root;
  std::vector<ReportCall> calls;  // inner calls before the calls holding them
  std::u16string error;           // why the formula cannot be read; empty when it can
};

// Reads a cell's formula (the text after "="); `sheet` is the position of the sheet holding it.
Formula readFormula(std::u16string_view text, std::int32_t sheet);

// The text of a number as a cell shows it: up to two decimals, none for a whole number.
std::u16string numberText(double value);

}  // namespace designer
