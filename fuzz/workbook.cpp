// The sample system's stored-report loader over arbitrary workbook text.
//
// Reading gives a workbook or the platform's error 5 saying why; nothing else may come out. A
// workbook read must hold what the format promises: at least one sheet, sheet names not empty and
// different in more than letter case, each found at its own position; cells at addresses that
// print and read back as themselves and are found there; a formula cell's call as its formula
// reads. Reading the same text again answers the same workbook.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "sample/Workbook.h"

namespace {

using fuzzing::fail;

constexpr const char* kTarget = "workbook";

void check(const sample::Workbook& book) {
  if (book.sheets.empty()) fail(kTarget, "a workbook without sheets");
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    const sample::Sheet& sheet = book.sheets[i];
    const std::string name = automation::toUtf8(sheet.name);
    if (sheet.name.empty()) fail(kTarget, "a sheet without a name");
    if (sample::sheetPosition(book, sheet.name) != static_cast<std::int32_t>(i + 1))
      fail(kTarget, "sheet " + name + " is not found at its own position");
    if (&sample::sheetAt(book, static_cast<std::int32_t>(i + 1)) != &sheet)
      fail(kTarget, "sheet " + name + " is not the sheet at its position");
    for (const auto& [at, cell] : sheet.cells) {
      const std::u16string address = sample::addressText(at);
      if (sample::parseCellAddress(address) != at)
        fail(kTarget, "cell " + automation::toUtf8(address) + " does not read back as its address");
      if (&sample::cellAt(sheet, address) != &cell)
        fail(kTarget, "cell " + automation::toUtf8(address) + " is not found at its address");
      if (cell.formula.empty() && cell.call) fail(kTarget, "a constant cell with a call");
      const auto call = sample::parseFunctionCall(cell.formula);
      if (call.has_value() != cell.call.has_value() ||
          (call && (call->name != cell.call->name || call->args != cell.call->args)))
        fail(kTarget, "cell " + automation::toUtf8(address) + " holds a call its formula does not read as");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::shared_ptr<const sample::Workbook> book;
  try {
    book = sample::parseWorkbook(text);
  } catch (const automation::AutomationError& e) {
    if (e.number() != automation::errors::InvalidProcedureCall)
      fail(kTarget, "reading raised " + std::to_string(e.number()) + " instead of 5: " + e.what());
    return 0;
  }
  check(*book);
  if (sample::parseWorkbook(text) != book) fail(kTarget, "the same text read again gave another workbook");
  // A formula text on its own: reading it never fails, whatever it holds.
  sample::parseFunctionCall(automation::fromUtf8(text));
  return 0;
}
