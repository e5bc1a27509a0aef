// The composition rules as a pure function of the rows: one table, every mode.
#include "editor/Composition.h"

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <random>

namespace {

using editor::ComposedRow;
using editor::ComposeFormula;
using editor::FormulaRows;

struct Case {
  const char* what;
  std::u16string funcName;
  bool fixedCount;
  std::vector<ComposedRow> rows;
  std::optional<std::u16string> expected;  // nullopt: the rows cannot be composed
  std::int32_t sheet = 2;
};

ComposedRow row(std::u16string text, std::int32_t type, std::u16string defaultText = {}) {
  return {std::move(text), type, std::move(defaultText)};
}

TEST(CompositionTest, EveryRuleOfTheThreeModes) {
  const Case cases[] = {
      // The general mode: upper case, trimmed, typed by code.
      {"typed rows", u"FN", true, {row(u"abc", 8), row(u"12", 3), row(u"1", 11)}, u"FN(\"ABC\",12,TRUE)"},
      {"cell reference and variants",
       u"FN",
       true,
       {row(u"[a1]", 8), row(u"x", 12), row(u"2.5", 12)},
       u"FN(REF(\"A1\",2),\"X\",2.5)"},
      {"quoted reference call unwrapped",
       u"FN",
       true,
       {row(u"ref(\"r1\",\"b2\")", 8)},
       u"FN(REF(\"R1\",\"B2\"))"},
      {"text around brackets dropped", u"FN", true, {row(u"Sheet [c3] total", 3)}, u"FN(REF(\"C3\",2))"},
      {"empty brackets", u"FN", true, {row(u"[]", 3)}, u"FN(REF(\"\",2))"},
      {"empty reference call", u"FN", true, {row(u"REF(\"\",)", 8)}, u"FN(REF(\"\",))"},
      {"] first takes nothing", u"FN", true, {row(u"]x", 3)}, u"FN(REF(\"\",2))"},
      {"] before [ fails", u"FN", true, {row(u"a]b[c", 8)}, std::nullopt},
      {"spaces are text", u"FN", true, {row(u"   ", 8)}, u"FN(\"   \")"},
      {"Boolean rule",
       u"FN",
       true,
       {row(u"true", 11), row(u"-2", 11), row(u"0", 11), row(u" 1E3 ", 11)},
       u"FN(FALSE,TRUE,FALSE,TRUE)"},
      {"unlisted type codes give nothing",
       u"FN",
       true,
       {row(u"1", 3), row(u"x", 2), row(u"3", 17)},
       u"FN(1,,)"},
      {"numbers unchecked", u"FN", true, {row(u"12abc", 3), row(u"-3", 8)}, u"FN(12ABC,\"-3\")"},
      {"negative sheet", u"FN", true, {row(u"[b7]", 3)}, u"FN(REF(\"B7\",-1))", -1},
      {"empty rows take their default text",
       u"FN",
       true,
       {row(u"1", 3), row(u"", 8, u"\"2023\"")},
       u"FN(1,\"2023\")"},
      {"no parameters", u"TODAY", true, {}, u"TODAY()"},
      // A variable list: its last row is the growing row unless it holds text.
      {"variable list", u"VAR", false, {row(u"1", 3), row(u"2", 3), row(u"", 3)}, u"VAR(1,2)"},
      {"variable list with one row", u"VAR", false, {row(u"7", 3)}, u"VAR(7)"},
      {"variable list with one empty row", u"VAR", false, {row(u"", 3)}, u"VAR()"},
      {"variable list full", u"VAR", false, {row(u"1", 3), row(u"2", 3), row(u"3", 3)}, u"VAR(1,2,3)"},
      {"variable list, empty middle row",
       u"VAR",
       false,
       {row(u"1", 3), row(u"", 3, u"0"), row(u"3", 3)},
       u"VAR(1,0,3)"},
      // REF_F: no case change, no reference rules; "@n" picks a sheet by number.
      {"sheet by number",
       u"REF_F",
       true,
       {row(u"rpt", 8), row(u"a1", 8), row(u"@3", 8)},
       u"REF_F(\"rpt\",\"a1\",\"3\")"},
      {"sheet zero is a name",
       u"REF_F",
       true,
       {row(u"rpt", 8), row(u"a1", 8), row(u"@0", 8)},
       u"REF_F(\"rpt\",\"a1\",\"@0\")"},
      {"x@ fails", u"REF_F", true, {row(u"r", 8), row(u"c", 8), row(u"x@", 3)}, std::nullopt},
      {"an overflowing sheet number fails",
       u"REF_F",
       true,
       {row(u"r", 8), row(u"c", 8), row(u"@1e999", 8)},
       std::nullopt},
      {"names keep their spaces",
       u" REF_F ",
       true,
       {row(u"r", 8), row(u"c", 8), row(u"@2", 8)},
       u" REF_F (\"r\",\"c\",\"2\")"},
      {"no reference rules",
       u"REF_F",
       true,
       {row(u"[a1]", 8), row(u"b", 8), row(u"c", 8)},
       u"REF_F(\"[a1]\",\"b\",\"c\")"},
      // DATEDIFF: every parameter text between quotes, as it is.
      {"date difference",
       u"DATEDIFF",
       true,
       {row(u"d", 3), row(u"1", 3), row(u"5", 3)},
       u"DATEDIFF(\"d\",\"1\",\"5\")"},
      {"quoted types are quoted twice",
       u"DATEDIFF",
       true,
       {row(u"m", 8), row(u"", 7), row(u"x", 3)},
       u"DATEDIFF(\"\"m\"\",\"\",\"x\")"},
  };
  for (const Case& c : cases) {
    const FormulaRows input{c.funcName, c.fixedCount, c.rows, c.sheet};
    EXPECT_EQ(ComposeFormula(input), c.expected) << c.what;
  }
}

}  // namespace

namespace {

using editor::RowText;
using editor::SplitFormula;

// The rows a formula reads back into, as the editor fills them: each argument by its row's type;
// a variable list keeps an empty row after the last argument, a fixed one its own count of rows.
FormulaRows readBack(const std::u16string& formula, const FormulaRows& shape) {
  auto call = SplitFormula(formula);
  EXPECT_TRUE(call.has_value()) << std::string(formula.begin(), formula.end());
  if (call && call->args.empty() && !shape.rows.front().defaultText.empty()) call->args.emplace_back();
  FormulaRows rows{call ? call->funcName : u"", shape.fixedCount, {}, shape.sheetIndex};
  const std::size_t count = shape.fixedCount ? shape.rows.size() : (call ? call->args.size() : 0) + 1;
  for (std::size_t i = 0; i < count; ++i) {
    const ComposedRow& like = shape.rows[std::min(i, shape.rows.size() - 1)];
    const bool given = call && i < call->args.size();
    rows.rows.push_back(row(given ? RowText(call->args[i], like.type, call->funcName, shape.sheetIndex, like.defaultText) : u"",
                            like.type, like.defaultText));
  }
  return rows;
}

TEST(CompositionTest, AFormulaReadsBackIntoRowsThatComposeToItAgain) {
  // Every worked example that composes.
  const std::vector<FormulaRows> examples = {
      {u"FN", true, {row(u"abc", 8), row(u"12", 3), row(u"1", 11)}, 2},
      {u"FN", true, {row(u"[a1]", 8), row(u"x", 12), row(u"2.5", 12)}, 2},
      {u"FN", true, {row(u"ref(\"r1\",\"b2\")", 8)}, 2},
      {u"FN", true, {row(u"Sheet [c3] total", 3)}, 2},
      {u"FN", true, {row(u"   ", 8)}, 2},
      {u"FN", true, {row(u"true", 11), row(u"-2", 11), row(u"0", 11), row(u" 1E3 ", 11)}, 2},
      {u"FN", true, {row(u"1", 3), row(u"", 8, u"\"2023\"")}, 2},
      {u"VAR", false, {row(u"1", 3), row(u"", 3, u"0"), row(u"3", 3)}, 2},
      {u"VAR", false, {row(u"", 3)}, 2},
      {u"REF_F", true, {row(u"rpt", 8), row(u"a1", 8), row(u"@3", 8)}, 2},
      {u"REF_F", true, {row(u"[a1]", 8), row(u"b", 8), row(u"c", 8)}, 2},
      {u"DATEDIFF", true, {row(u"m", 8), row(u"", 7), row(u"x", 3)}, 2},
      {u"QMYE", true, {row(u"[b7]", 8), row(u"2024", 3), row(u"QCYE(\"1001\",2024,1)", 3), row(u"", 8), row(u"", 8)}, 2},
  };
  for (const FormulaRows& rows : examples) {
    const auto formula = ComposeFormula(rows);
    ASSERT_TRUE(formula.has_value());
    EXPECT_EQ(ComposeFormula(readBack(*formula, rows)), formula) << std::string(formula->begin(), formula->end());
  }
  // A reference to the current sheet comes back as the user typed it; other sheets keep the call.
  EXPECT_EQ(RowText(u"REF(\"B7\",2)", 8, u"QMYE", 2), u"[B7]");
  EXPECT_EQ(RowText(u"REF(\"B7\",3)", 8, u"QMYE", 2), u"REF(\"B7\",3)");
  EXPECT_EQ(RowText(u"\"1002\"", 8, u"QMYE", 2), u"1002");
  EXPECT_EQ(RowText(u"FALSE", 11, u"QMYE", 2), u"FALSE");

  // Random rows of every type code, in all three modes and both kinds of list, with a fixed seed.
  // Texts with a quote or a comma of their own are left out: the composed formula does not tell
  // them apart from the argument list.
  const std::u16string texts[] = {u"",     u"  ",  u"abc", u"12",   u"-3.5",        u"true",    u"False", u"[b7]",
                                  u"报表", u" x y ", u"1e3", u"@2",         u"sheet [c3]", u"[]", u"0",
                                  u"QCYE(\"1001\",2024,1)", u"ref(\"a1\",3)", u"x@y",  u"余额 1002"};
  const std::int32_t types[] = {2, 3, 5, 6, 7, 8, 11, 12, 14, 17};
  const std::u16string names[] = {u"FN", u"REF_F", u"DATEDIFF"};
  std::mt19937 random(20261208);
  const auto pick = [&](auto& list) -> const auto& { return list[random() % std::size(list)]; };
  int composed = 0;
  for (int n = 0; n < 3000; ++n) {
    FormulaRows rows{pick(names), random() % 3 != 0, {}, static_cast<std::int32_t>(random() % 4)};
    const std::size_t count = 1 + random() % 5;
    const std::int32_t listType = pick(types);
    for (std::size_t i = 0; i < count; ++i) {
      const std::int32_t type = rows.fixedCount ? pick(types) : listType;
      // An unlisted type composes to nothing whatever it holds: only an empty default reads back.
      const bool unlisted = type == 2 || type == 17;
      rows.rows.push_back(row(pick(texts), type, unlisted || random() % 2 ? u"" : u"0"));
    }
    if (!rows.fixedCount) rows.rows.back().text.clear();
    const auto formula = ComposeFormula(rows);
    if (!formula) continue;
    ++composed;
    ASSERT_EQ(ComposeFormula(readBack(*formula, rows)), formula) << std::string(formula->begin(), formula->end());
  }
  EXPECT_GT(composed, 2000);
}

TEST(CompositionTest, OnlyOneWholeCallSplits) {
  const auto call = SplitFormula(u"=QMYE(\"10,02\",2024,,REF(\"B7\",2), \"a(b\")");
  ASSERT_TRUE(call.has_value());
  EXPECT_EQ(call->funcName, u"QMYE");
  EXPECT_EQ(call->args,
            (std::vector<std::u16string>{u"\"10,02\"", u"2024", u"", u"REF(\"B7\",2)", u" \"a(b\""}));
  EXPECT_EQ(SplitFormula(u"TODAY()")->args.size(), 0u);
  EXPECT_FALSE(SplitFormula(u"QMYE(\"1002\""));           // open
  EXPECT_FALSE(SplitFormula(u"QMYE(\"1002)"));            // an open quote
  EXPECT_FALSE(SplitFormula(u"QMYE(1)+QCYE(2)"));         // two calls
  EXPECT_FALSE(SplitFormula(u"(1)"));                     // no name
  EXPECT_FALSE(SplitFormula(u"1002"));
}

}  // namespace
