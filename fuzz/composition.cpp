// The composition of a formula from the editor's rows (ComposeFormula), over rows of every type
// code, in the three modes (general, REF_F, DATEDIFF) and for fixed and variable lists.
//
// Checked, besides never failing:
//   - a formula is FUNC( … ) around the rows;
//   - no formula only for the reasons the rules give: a "]" in a general row, a REF_F sheet choice
//     written "x@…", or a number too large for its row (a Boolean row, an "@1e999" sheet);
//   - a variable list drops only its trailing empty row: it composes as the fixed list without it;
//   - the same rows compose to the same formula again.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "editor/Composition.h"

namespace {

using editor::ComposedRow;
using editor::ComposeFormula;
using editor::FormulaRows;
using fuzzing::fail;
using fuzzing::show;

constexpr const char* kTarget = "composition";

std::string describe(const FormulaRows& input) {
  std::string out = automation::toUtf8(input.funcName) + (input.fixedCount ? " (fixed)" : " (variable)");
  for (const ComposedRow& row : input.rows)
    out +=
        "\n  type " + std::to_string(row.type) + ": " + show(row.text) + " default " + show(row.defaultText);
  return out;
}

// The type codes of the platform and a few that are not, as a catalogue may give them.
constexpr std::int32_t kTypeCodes[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,      9,      10,     11, 12,
                                       13, 14, 16, 17, 18, 19, 20, 21, 0x2008, 0x200C, 0xFFFF, -1};
constexpr std::u16string_view kNames[] = {u"REF_F", u"DATEDIFF", u" REF_F ", u"ref_f",   u"QMYE",
                                          u"REF",   u"HJQM",     u"",        u"CASHFLOW"};

bool hasReason(const FormulaRows& input) {
  const std::u16string mode = automation::trim(input.funcName);
  for (const ComposedRow& row : input.rows) {
    std::u16string text;
    try {
      text = editor::ParamText(row);
    } catch (const automation::AutomationError&) {
      return true;  // a number too large for its row
    }
    if (mode != u"DATEDIFF" && mode != u"REF_F" && text.find(u']') != std::u16string::npos) return true;
    const std::u16string trimmed = automation::trim(text);
    if (mode == u"REF_F" && trimmed.size() > 1 && trimmed[1] == u'@') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput in(data, size);
  FormulaRows input;
  input.funcName = in.flag() ? std::u16string(in.pick(kNames)) : in.text(12);
  input.fixedCount = in.flag();
  input.sheetIndex = in.flag() ? static_cast<std::int32_t>(in.inRange(-2, 20)) : in.raw<std::int32_t>();
  const auto count = in.inRange(0, 40);
  for (std::int64_t i = 0; i < count && !in.empty(); ++i) {
    ComposedRow row;
    row.type = in.flag() ? in.pick(kTypeCodes) : static_cast<std::int32_t>(in.raw<std::uint16_t>());
    row.text = in.flag() ? std::u16string() : in.text();
    row.defaultText = in.flag() ? std::u16string() : in.text(8);
    input.rows.push_back(std::move(row));
  }

  const auto formula = ComposeFormula(input);
  if (!formula) {
    if (!hasReason(input)) fail(kTarget, "no formula, for no reason the rules give:\n" + describe(input));
  } else if (!formula->starts_with(input.funcName + u"(") || !formula->ends_with(u")")) {
    fail(kTarget,
         "the formula " + show(*formula) + " is not " + show(input.funcName) + "( … ):\n" + describe(input));
  }
  if (ComposeFormula(input) != formula)
    fail(kTarget, "the same rows composed differently:\n" + describe(input));

  if (!input.fixedCount) {
    FormulaRows fixed = input;
    fixed.fixedCount = true;
    if (fixed.rows.size() > 1 && fixed.rows.back().text.empty()) fixed.rows.pop_back();
    if (ComposeFormula(fixed) != formula)
      fail(kTarget, "a variable list composes unlike the fixed list of its rows:\n" + describe(input));
  }
  return 0;
}
