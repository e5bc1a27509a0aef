// Report workbooks as the sample report system stores them: sheets with names, cells by address
// holding a number, a text or a report-function formula with the value it had when last computed,
// and defined names of the workbook and of each sheet.
//
// The stored form is JSON text:
//
//   {"names": {"__SelfDsn__": "DSN=本地账套;COMPANY=1;DB=LEDGER", "__RptYear__": 2024},
//    "sheets": [
//      {"name": "资产",
//       "names": {"__RptPeriod__": 12},
//       "cells": {"A1": "资产负债表", "B6": 31930.9,
//                 "C4": {"formula": "=QMYE(\"1001\",2024,12)", "value": 116389.67}}}]}
//
// "names" may be left out. A cell or a name holds a number (read as a Double), a text, true or
// false, or null (an empty value); a formula cell holds its formula text and its last value (left
// out: empty). A workbook has at least one sheet; sheet names are not empty and differ in more than
// letter case. Cell addresses are a column of one to three letters and a row from 1 (A1, c12,
// $B$3), each written once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/Variant.h"

namespace sample {

struct CellAddress {
  std::int32_t row = 0;     // from 1
  std::int32_t column = 0;  // from 1: A is 1
  friend auto operator<=>(const CellAddress&, const CellAddress&) = default;
};

// A cell address in any letter case, surrounding blanks and $ signs aside; nullopt for anything else.
std::optional<CellAddress> parseCellAddress(std::u16string_view text);
std::u16string addressText(CellAddress address);

// A formula that is one call of a function with literal arguments: =QMYE("1001",2024,12). Texts are
// quoted, a doubled quote standing for one quote inside; numbers are Doubles; TRUE and FALSE are
// Booleans; a blank argument is Empty.
struct FunctionCall {
  std::u16string name;  // in upper case
  std::vector<automation::Variant> args;
};
std::optional<FunctionCall> parseFunctionCall(std::u16string_view formula);

struct Cell {
  automation::Variant value;
  std::u16string formula;            // "" for a constant
  std::optional<FunctionCall> call;  // when the formula is one function call
};

// Defined names in the order they were read, found in any letter case.
class DefinedNames {
 public:
  void add(std::u16string name, automation::Variant value);
  const automation::Variant* find(std::u16string_view name) const;
  const std::vector<std::pair<std::u16string, automation::Variant>>& all() const { return names_; }

 private:
  std::vector<std::pair<std::u16string, automation::Variant>> names_;
};

struct Sheet {
  std::u16string name;
  std::map<CellAddress, Cell> cells;  // row by row, left to right
  DefinedNames names;
};

struct Workbook {
  DefinedNames names;
  std::vector<Sheet> sheets;
};

// Reads workbook text; raises 5 saying where and why when it is malformed. Each text is read once:
// asking again with the same text answers the workbook read before (the most recently used few
// hundred texts are kept), so loading a stored report again costs no parsing.
std::shared_ptr<const Workbook> parseWorkbook(const std::string& text);

// Lookups with clear errors (9) for what the workbook does not have.
// `position` counts from 1.
const Sheet& sheetAt(const Workbook& book, std::int32_t position);
// The 1-based position of the sheet of that name (any letter case); 0 when there is none.
std::int32_t sheetPosition(const Workbook& book, std::u16string_view name);
// The cell at an address the sheet holds; 5 for a text that is no address, 9 for an empty cell.
const Cell& cellAt(const Sheet& sheet, std::u16string_view address);

}  // namespace sample
