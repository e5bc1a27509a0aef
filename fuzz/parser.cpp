// Reading a composed formula back into rows (SplitFormula, RowText), the inverse of the
// composition: any text is split or refused without failing, and for rows of every type code in
// the three modes and both kinds of list, compose → read back → compose gives the same formula.
// Row texts holding a quote, a comma or a round bracket of their own are left out, as are control
// characters and a "]" with no "[" before it (whose reference would take the quote of a text row):
// the composed formula cannot tell them from the argument list, and a user types none of them.
#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "editor/Composition.h"

namespace {

using editor::ComposedRow;
using editor::ComposeFormula;
using editor::FormulaRows;
using fuzzing::show;

constexpr const char* kTarget = "parser";
constexpr std::int32_t kTypeCodes[] = {2, 3, 5, 6, 7, 8, 11, 12, 14, 17};
constexpr std::u16string_view kNames[] = {u"QMYE", u"REF_F", u"DATEDIFF", u"HJQM"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput in(data, size);

  // Any text: split or refused, and each argument read back for any type.
  const std::u16string any = in.text(64);
  if (const auto call = editor::SplitFormula(any)) {
    for (const std::u16string& arg : call->args) editor::RowText(arg, in.pick(kTypeCodes), call->funcName, 2, u"0");
  }

  FormulaRows rows;
  rows.funcName = std::u16string(in.pick(kNames));
  rows.fixedCount = in.flag();
  rows.sheetIndex = static_cast<std::int32_t>(in.inRange(0, 5));
  const std::int32_t listType = in.pick(kTypeCodes);
  const auto count = in.inRange(1, 8);
  for (std::int64_t i = 0; i < count && !in.empty(); ++i) {
    ComposedRow row;
    row.type = rows.fixedCount ? in.pick(kTypeCodes) : listType;
    row.text = in.flag() ? std::u16string(in.pick(fuzzing::kTexts)) : in.text(16);
    const bool outside = std::any_of(row.text.begin(), row.text.end(), [](char16_t c) {
      return c < u' ' || c == u'"' || c == u',' || c == u'(' || c == u')';
    });
    const std::size_t close = row.text.find(u']');
    if (outside || (close != std::u16string::npos && row.text.find(u'[') > close)) row.text.clear();
    const bool unlisted = row.type == 2 || row.type == 17;
    row.defaultText = unlisted || in.flag() ? u"" : u"0";
    rows.rows.push_back(std::move(row));
  }
  if (rows.rows.empty()) return 0;
  if (!rows.fixedCount) rows.rows.back().text.clear();
  const auto formula = ComposeFormula(rows);
  if (!formula) return 0;

  auto call = editor::SplitFormula(*formula);
  if (!call) fuzzing::fail(kTarget, "the composed formula " + show(*formula) + " cannot be split");
  FormulaRows back{call->funcName, rows.fixedCount, {}, rows.sheetIndex};
  if (call->args.empty() && !rows.rows.front().defaultText.empty()) call->args.emplace_back();
  const std::size_t n = rows.fixedCount ? rows.rows.size() : call->args.size() + 1;
  for (std::size_t i = 0; i < n; ++i) {
    const ComposedRow& like = rows.rows[std::min(i, rows.rows.size() - 1)];
    const std::u16string text =
        i < call->args.size() ? editor::RowText(call->args[i], like.type, call->funcName, rows.sheetIndex, like.defaultText)
                              : std::u16string();
    back.rows.push_back({text, like.type, like.defaultText});
  }
  const auto again = ComposeFormula(back);
  if (again != formula)
    fuzzing::fail(kTarget, "read back, " + show(*formula) + " composes to " + (again ? show(*again) : "nothing"));
  return 0;
}
