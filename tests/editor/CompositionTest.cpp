// The composition rules as a pure function of the rows: one table, every mode.
#include "editor/Composition.h"

#include <gtest/gtest.h>

#include <optional>

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
