// A report as the designer edits it: sheets of cells, each holding what the user typed (a constant
// or a formula) and what it computed to, and the report context the report is made for. It is kept
// as a workbook of the sample report system, so the report store and other reports' REF_F read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "automation/Variant.h"
#include "designer/Formula.h"
#include "sample/Workbook.h"

namespace designer {

// The report context a host hands the component (and writes into the report's defined names).
struct Context {
  std::u16string dataSource = u"本地账套";
  std::int32_t company = 1;
  std::int32_t year = 2024;
  std::int32_t period = 12;
  std::u16string currency = u"RMB";

  // The property string that names the data source: DSN=…;COMPANY=…
  std::u16string propsString() const;
  // The first and the last day of the period, as yyyy-mm-dd.
  std::string beginDate() const;
  std::string endDate() const;
  friend bool operator==(const Context&, const Context&) = default;
};

// What a cell shows: a value, or the text of what went wrong.
struct Value {
  automation::Variant value;
  std::u16string error;
};

struct Cell {
  std::u16string input;  // a formula starts with "="
  Value shown;
  // The formula read from `input` (when it is one), kept until the input changes.
  std::optional<Formula> formula;

  bool isFormula() const { return !input.empty() && input.front() == u'='; }
};

struct SheetData {
  std::u16string name;
  std::map<sample::CellAddress, Cell> cells;
};

class Report {
 public:
  Report();  // one empty sheet

  std::u16string name;
  Context context;
  std::vector<SheetData> sheets;

  // Sets what the user typed into a cell; an empty text empties it. A constant is shown at once
  // (a number as a number), a formula once recalculated.
  void setInput(std::int32_t sheet, sample::CellAddress at, const std::u16string& input);
  const Cell* cell(std::int32_t sheet, sample::CellAddress at) const;

  // The workbook text (see sample/Workbook.h): formulas with their last values, constants, and the
  // context as defined names. `written` hears now and then how many cells of how many are written.
  std::string toWorkbook(const std::function<void(std::size_t done, std::size_t total)>& written = {}) const;
  // Reads a workbook text; raises the workbook reader's error for a malformed one.
  static Report fromWorkbook(const std::u16string& name, const std::string& workbook);
};

// A constant as a cell holds it: a number when the whole text reads as one, else the text.
automation::Variant constantOf(const std::u16string& input);
// What a cell shows for a value: a number as typed (numberText), a text, TRUE or FALSE, or the error.
std::u16string displayText(const Value& value);

}  // namespace designer
