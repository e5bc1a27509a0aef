// The formula editor on the headless backend.
#include "editor/FrmCalcEqual.h"

#include <gtest/gtest.h>

#include "automation/Conversions.h"
#include "automation/Text.h"
#include "component/ReportContext.h"
#include "environment/Reg.h"
#include "forms/headless/HeadlessBackend.h"
#include "platform/Registry.h"
#include "support/FakeCatalogue.h"
#include "support/Fakes.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using editor::FrmCalcEqual;
using fakes::FakeFunction;
using fakes::FakeParam;
namespace hl = forms::headless;

class EditorTest : public ::testing::Test {
 protected:
  EditorTest() {
    ui.messageBoxes.clear();
    ui.clearScript();
    ui.keysDown.clear();
  }
  ~EditorTest() override {
    if (editor.isLoaded()) editor.Unload();
  }

  // Loads the editor for a function, as GetFuncExpr does, and shows it (not modally).
  void open(const std::u16string& name, std::int32_t sheet = 2) {
    editor.Load();
    ASSERT_TRUE(editor.RefreshFunc(name));
    editor.m_CurSheetIndex = sheet;
    editor.Show();
  }
  // Types into row i (entering it first, so that variable lists grow as they do for a user).
  void typeInto(std::int16_t row, std::u16string_view text) {
    editor.g_cParamCol()[static_cast<std::size_t>(row)]->SetFocus();
    hl::type(editor, text);
  }
  std::u16string composed(const FakeFunction& f, const std::vector<std::u16string>& rows,
                          std::int32_t sheet = 2) {
    catalogue.add(f);
    open(f.name, sheet);
    for (std::size_t i = 0; i < rows.size(); ++i) typeInto(static_cast<std::int16_t>(i), rows[i]);
    const std::u16string expr = editor.m_sFormula;
    EXPECT_EQ(editor.lblFuncName.Caption(), expr);
    editor.Unload();
    return expr;
  }

  hl::HeadlessBackend& ui = hl::installed();
  fakes::FakeEnvironment env;
  fakes::FakeCatalogue catalogue;
  testing_support::TempConfig config;
  FrmCalcEqual editor;
};

FakeFunction fixed(std::u16string name, std::vector<std::int32_t> types) {
  FakeFunction f{std::move(name), true, 0, {}};
  for (std::size_t i = 0; i < types.size(); ++i) {
    f.params.push_back({u"参数" + std::u16string(1, static_cast<char16_t>(u'1' + i)), types[i], Variant{}});
  }
  return f;
}

// The rules are tested on the pure composition; these cases go through the rows of the form.
TEST_F(EditorTest, TheExpressionFollowsWhatIsTypedIntoTheRows) {
  EXPECT_EQ(composed(fixed(u"FN", {8, 3, 11}), {u"abc", u"12", u"1"}), u"FN(\"ABC\",12,TRUE)");
  EXPECT_EQ(composed(fixed(u"FN", {8, 12, 12}), {u"[a1]", u"x", u"2.5"}), u"FN(REF(\"A1\",2),\"X\",2.5)");
  EXPECT_EQ(composed(fixed(u"FN", {8}), {u"a]b[c"}), u"");  // composition fails: shown and kept empty
  FakeFunction var{u"VAR", false, 40, {{u"值", 3, Variant{}}}};
  EXPECT_EQ(composed(var, {u"1", u"2"}), u"VAR(1,2)");
  EXPECT_EQ(composed(fixed(u"REF_F", {8, 8, 8}), {u"rpt", u"a1", u"@3"}), u"REF_F(\"rpt\",\"a1\",\"3\")");
  EXPECT_EQ(composed(fixed(u"DATEDIFF", {3, 3, 3}), {u"d", u"1", u"5"}), u"DATEDIFF(\"d\",\"1\",\"5\")");
  EXPECT_EQ(composed(fixed(u"FN", {3}), {u"[b7]"}, -1), u"FN(REF(\"B7\",-1))");
  // A fixed list keeps its empty last row, whose default text stands in for it.
  FakeFunction withDefault = fixed(u"FN", {3, 8});
  withDefault.params[1].def = Variant(u"2023");
  EXPECT_EQ(composed(withDefault, {u"1"}), u"FN(1,\"2023\")");
}

TEST_F(EditorTest, RowsStandOneBelowTheOther) {
  catalogue.add(fixed(u"ACCT", {8, 3, 8}));
  open(u"ACCT");
  ASSERT_EQ(editor.g_cParamCol().size(), 3u);
  for (std::int16_t i = 0; i < 3; ++i) {
    EXPECT_EQ(editor.lblParam(i).Top(), 510 + 330 * i);
    EXPECT_EQ(editor.txtParam(i).Top(), 465 + 330 * i);
    EXPECT_EQ(editor.lblExp(i).Top(), 510 + 330 * i);
    EXPECT_EQ(editor.lblParam(i).Left() + editor.lblParam(i).Width(), 2175);  // right edge fixed
    EXPECT_EQ(editor.txtParam(i).Tag(), std::u16string(1, static_cast<char16_t>(u'0' + i)));
  }
  EXPECT_EQ(editor.Height(), 4185);
  EXPECT_EQ(editor.m_sFormula, u"ACCT(\"\",,\"\")");  // composed from the empty rows' defaults at once
  EXPECT_EQ(editor.lblExplain.Caption(), u"函数说明");
  EXPECT_EQ(editor.ActiveControl(), &editor.txtParam(0));  // the user can type at once
  // Building the rows again unloads the run-time elements first.
  editor.LoadParam(u"ACCT");
  EXPECT_EQ(editor.txtParam.Count(), 3);
  EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(EditorTest, AFunctionWithoutParametersComposesNameAndEmptyParentheses) {
  catalogue.add(fixed(u"TODAY", {}));
  editor.Load();
  const forms::Twips height = editor.Height();
  ASSERT_TRUE(editor.RefreshFunc(u"TODAY"));
  EXPECT_EQ(editor.m_sFormula, u"TODAY()");
  EXPECT_EQ(editor.lblFuncName.Caption(), u"TODAY()");
  EXPECT_TRUE(editor.g_cParamCol().empty());
  EXPECT_EQ(editor.Height(), height);
  EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(EditorTest, AnUnknownFunctionLeavesTheDialogUntouched) {
  editor.Load();
  EXPECT_FALSE(editor.RefreshFunc(u"NOSUCH"));
  EXPECT_EQ(editor.lblExplain.Caption(), u"");
  EXPECT_EQ(editor.lblFuncName.Caption(), u"函数表达式：");
}

TEST_F(EditorTest, GrowthToTheNinthAndTwentiethRowsAndScrollingBack) {
  catalogue.add(FakeFunction{u"SUMOF", false, 40, {{u"数值", 5, Variant{}}}});
  open(u"SUMOF");
  // Entering the last row appends one.
  EXPECT_EQ(editor.g_cParamCol().size(), 2u);  // the first row got the focus on opening
  EXPECT_EQ(editor.lblParam(1).Caption(), u"数值2");
  EXPECT_EQ(editor.lblParam(1).Top(), 840);
  EXPECT_EQ(editor.txtParam(1).Top(), 795);
  std::vector<forms::Twips> firstTops;
  for (std::int16_t k = 1; editor.g_cParamCol().size() < 9; ++k) {
    editor.g_cParamCol()[static_cast<std::size_t>(k)]->SetFocus();
  }
  for (std::int16_t i = 0; i < 8; ++i) firstTops.push_back(510 + 330 * i);
  EXPECT_TRUE(editor.vsParam.Visible());
  EXPECT_EQ(editor.vsParam.Max(), 1);
  EXPECT_EQ(editor.vsParam.Value(), 1);
  EXPECT_FALSE(editor.txtParam(0).Visible());
  for (std::int16_t i = 1; i <= 8; ++i)
    EXPECT_EQ(editor.lblParam(i).Top(), firstTops[static_cast<std::size_t>(i - 1)]);
  const forms::Twips height = editor.Height();
  EXPECT_EQ(height, firstTops[7] + 2 * 180 + editor.picFunction.Height());
  while (editor.g_cParamCol().size() < 20) editor.g_cParamCol().back()->SetFocus();
  EXPECT_EQ(editor.vsParam.Max(), 12);
  EXPECT_EQ(editor.vsParam.Value(), 12);
  for (std::int16_t i = 0; i < 20; ++i) EXPECT_EQ(editor.txtParam(i).Visible(), i >= 12) << i;
  EXPECT_EQ(editor.Height(), height);
  EXPECT_EQ(editor.btnOK(0).Tag(), u"20");
  EXPECT_EQ(editor.btnCancel(0).Tag(), u"21");
  editor.vsParam.setValue(0);
  for (std::int16_t i = 0; i < 8; ++i) {
    EXPECT_EQ(editor.lblParam(i).Top(), firstTops[static_cast<std::size_t>(i)]);
    EXPECT_EQ(editor.txtParam(i).Top(), firstTops[static_cast<std::size_t>(i)] - 45);
    EXPECT_TRUE(editor.txtParam(i).Visible());
  }
  EXPECT_FALSE(editor.txtParam(8).Visible());
  // Any window shows its eight rows and nothing else, however the list scrolled before, and
  // another function's long list starts at its top.
  const auto expectWindow = [&](std::int32_t v, std::int16_t rows) {
    for (std::int16_t i = 0; i < rows; ++i) {
      const bool shown = i >= v && i < v + 8;
      EXPECT_EQ(editor.txtParam(i).Visible(), shown) << v << " " << i;
      EXPECT_EQ(editor.lblParam(i).Visible(), shown) << v << " " << i;
      EXPECT_EQ(editor.lblExp(i).Visible(), shown) << v << " " << i;
    }
  };
  for (const std::int32_t v : {5, 12, 3, 12}) {
    editor.vsParam.setValue(v);
    expectWindow(v, 20);
  }
  std::vector<FakeParam> twenty(20, FakeParam(u"值", 8, Variant{}));
  catalogue.add(FakeFunction{u"TWENTY", true, 20, twenty});
  ASSERT_TRUE(editor.RefreshFunc(u"TWENTY"));
  expectWindow(0, 20);
}

TEST_F(EditorTest, AListThatStartsLongScrollsTheSameWay) {
  catalogue.add(fixed(u"WIDE", {3, 3, 3, 3, 3, 3, 3, 3, 3, 3}));
  open(u"WIDE");
  EXPECT_TRUE(editor.vsParam.Visible());
  EXPECT_EQ(editor.vsParam.Max(), 2);
  EXPECT_EQ(editor.vsParam.Value(), 0);
  EXPECT_TRUE(editor.txtParam(7).Visible());
  EXPECT_FALSE(editor.txtParam(8).Visible());
  EXPECT_EQ(editor.Height(), 510 + 330 * 7 + 2 * 180 + editor.picFunction.Height());
  // Tab from the bottom visible row scrolls down by one.
  editor.txtParam(7).SetFocus();
  hl::press(editor, forms::keys::Tab);
  EXPECT_EQ(editor.vsParam.Value(), 1);
  EXPECT_EQ(editor.ActiveControl(), &editor.txtParam(8));
  EXPECT_EQ(editor.txtParam(8).Top(), 510 + 330 * 7 - 45);
}

TEST_F(EditorTest, TabGoesThroughTheRowsAndTheButtons) {
  catalogue.add(fixed(u"FN", {3, 3}));
  open(u"FN");
  const auto step = [&](int shiftState) {
    hl::press(editor, forms::keys::Tab, shiftState);
    return editor.ActiveControl();
  };
  EXPECT_EQ(step(0), &editor.txtParam(1));
  EXPECT_EQ(step(0), &editor.btnOK(0));
  EXPECT_EQ(step(0), &editor.btnCancel(0));
  EXPECT_EQ(step(0), &editor.txtParam(0));
  EXPECT_EQ(step(forms::shift::Shift), &editor.btnCancel(0));
  EXPECT_EQ(step(forms::shift::Shift), &editor.btnOK(0));
  EXPECT_EQ(step(forms::shift::Shift), &editor.txtParam(1));
  EXPECT_TRUE(editor.Visible());  // Tab never reached a button's click
}

TEST_F(EditorTest, FocusShowsTheParameterInTheLowerPanel) {
  catalogue.add(fixed(u"FN", {3, 8, 8}));
  open(u"FN");
  editor.txtParam(2).SetFocus();
  EXPECT_EQ(editor.g_GetParam, 3);
  EXPECT_EQ(editor.lblParamName.Caption(), u"参数3:");
  EXPECT_EQ(editor.lblParamDes.Caption(), u"参数3的说明");
  hl::click(editor.btnCancel(0));
  EXPECT_EQ(editor.g_GetParam, 0);
  editor.Unload();
  catalogue.add(
      FakeFunction{u"VAR", false, 5, {FakeParam(u"值", 3, Variant{}, false, false, false, u"每个值")}});
  open(u"VAR");
  editor.txtParam(1).SetFocus();
  EXPECT_EQ(editor.lblParamDes.Caption(), u"每个值");  // every row shares the first description
  EXPECT_EQ(editor.lblParamName.Caption(), u"值2:");
}

TEST_F(EditorTest, TypingADataSourceUpdatesTheReportContext) {
  FakeFunction f = fixed(u"ACCT", {8, 8});
  f.params[1].isDsn = true;
  catalogue.add(f);
  component::SetContextValue(u"CurPropsString", Variant(u"old"));
  open(u"ACCT");
  EXPECT_EQ(component::componentState().context.CurPropsString, u"");  // cleared on loading
  typeInto(1, u"ds");
  EXPECT_EQ(editor.g_CurDsn, u"ds");
  EXPECT_EQ(component::componentState().context.CurPropsString, u"ds");
}

TEST_F(EditorTest, TheCashFlowSchemeIsStoredForThisTerminal) {
  FakeFunction f{u"CASHFLOW", true, 0, {{u"报表方案", 3, Variant{}}, {u"项目", 8, Variant{}}}};
  catalogue.add(f);
  open(u"CASHFLOW");
  const auto stored = [&]() -> std::u16string {
    environment::Reg reg;
    Variant value(u"none");
    std::int32_t type = 1;
    reg.GetValue(static_cast<std::int32_t>(platform::HKEY_CURRENT_USER),
                 u"SoftWare\\Torvane\\TAV\\PA\\PASetting\\" + FrmCalcEqual::GetClientKeyName() + u"\\",
                 u"ClsID_CASHFLOW", value, type);
    return toText(value);
  };
  typeInto(0, u"12");
  EXPECT_EQ(stored(), u"12");
  EXPECT_EQ(editor.m_sFormula, u"CASHFLOW(12,\"\")");
  hl::type(editor, u"abc");
  EXPECT_EQ(stored(), u"12");  // 12abc reads as 12
  editor.txtParam(0).setText(u"abc");
  EXPECT_EQ(stored(), u"0");
  editor.txtParam(0).setText(u"2.5");
  EXPECT_EQ(stored(), u"2");  // ties to even
  editor.txtParam(0).setText(u"");
  EXPECT_EQ(stored(), u"2");  // emptied: nothing stored, the expression composed anew
  EXPECT_EQ(editor.m_sFormula, u"CASHFLOW(,\"\")");
  // A scheme out of range is not stored: the setting is what it was before the row's digits were
  // typed. Typing is never interrupted: the row's hint marks it, and the warning comes once for the
  // value, when leaving the row is over (a click on OK or Cancel first ends) or on OK.
  editor.txtParam(0).SetFocus();
  for (const char16_t* typed : {u"3", u"30", u"3000000000"}) editor.txtParam(0).setText(typed);
  EXPECT_EQ(stored(), u"2");
  EXPECT_NE(editor.lblExp(0).Caption().find(u"超出范围"), std::u16string::npos);
  EXPECT_EQ(editor.m_sFormula, u"CASHFLOW(3000000000,\"\")");
  editor.txtParam(1).SetFocus();
  EXPECT_TRUE(ui.messageBoxes.empty());
  hl::fireTimers(editor);
  ASSERT_EQ(ui.messageBoxes.size(), 1u);
  EXPECT_EQ(ui.messageBoxes[0].text, u"报表方案编号超出范围！");
  editor.txtParam(0).SetFocus();
  editor.txtParam(1).SetFocus();
  hl::fireTimers(editor);
  EXPECT_EQ(ui.messageBoxes.size(), 1u);  // the same value is told once
  // A number too large for any type is refused the same way, never as a raw overflow box; OK
  // tells it and still hands the formula back; the row's lost focus tells nothing more.
  editor.txtParam(0).SetFocus();
  editor.txtParam(0).setText(u"1e400");
  editor.btnOK(0).SetFocus();
  editor.btnOK(0).press();
  hl::fireTimers(editor);
  EXPECT_EQ(stored(), u"2");
  ASSERT_EQ(ui.messageBoxes.size(), 2u);
  EXPECT_EQ(editor.Tag(), u"OK");
  EXPECT_EQ(editor.m_sFormula, u"CASHFLOW(1E400,\"\")");
  editor.txtParam(0).setText(u"7");
  EXPECT_EQ(editor.lblExp(0).Caption().find(u"超出范围"), std::u16string::npos);
}

TEST_F(EditorTest, AVariableListKeepsALastRowThatHoldsText) {
  FakeFunction three{u"VAR", false, 3, {{u"值", 3, Variant{}}}};
  // The list stops growing at three rows: the third value is the user's and is kept.
  EXPECT_EQ(composed(three, {u"1", u"2", u"3"}), u"VAR(1,2,3)");
  EXPECT_EQ(composed(three, {u"1", u"2"}), u"VAR(1,2)");
  // Code that puts text into the growing row (a label click) keeps it too.
  catalogue.add(three);
  open(u"VAR");
  hl::click(editor.lblParam(1));
  EXPECT_EQ(editor.m_sFormula, u"VAR(,REF(\"\",2))");
  // An emptied last row is the growing row again; an empty middle row gives the default text.
  editor.txtParam(1).setText(u"");
  EXPECT_EQ(editor.m_sFormula, u"VAR()");
}

TEST_F(EditorTest, AFixedFunctionKeepsItsRowsWhateverItsMostParameters) {
  // A catalogue may give a fixed function a larger MaxParamNum: its rows are still its own
  // parameters, for a row past them would have no name, description or type to compose by.
  catalogue.add(FakeFunction{u"FIX", true, 5, {{u"甲", 3, Variant{}}, {u"乙", 8, Variant{}}}});
  open(u"FIX");
  editor.txtParam(1).SetFocus();
  hl::press(editor, forms::keys::Tab);
  editor.txtParam(1).SetFocus();
  EXPECT_EQ(editor.g_cParamCol().size(), 2u);
  EXPECT_EQ(editor.m_sFormula, u"FIX(,\"\")");
}

TEST_F(EditorTest, TheThirdAndLaterRowsAreTypedIntoAsTheFirst) {
  catalogue.add(FakeFunction{u"VAR", false, 40, {{u"值", 8, Variant{}}}});
  open(u"VAR");
  editor.txtParam(0).setToolTipText(u"1001@现金");
  hl::type(editor, u"1001");
  for (std::int16_t row = 1; row < 12; ++row) {
    hl::press(editor, forms::keys::Tab);
    ASSERT_EQ(editor.ActiveControl(), &editor.txtParam(row));
    // A row loaded at run time starts empty, not with the first row's caret or tooltip.
    EXPECT_EQ(editor.txtParam(row).SelStart(), 0);
    EXPECT_EQ(editor.txtParam(row).SelLength(), 0);
    EXPECT_EQ(editor.txtParam(row).ToolTipText(), u"");
    hl::type(editor, u"10" + automation::decimalText(row));
  }
  EXPECT_EQ(editor.m_sFormula,
            u"VAR(\"1001\",\"101\",\"102\",\"103\",\"104\",\"105\",\"106\",\"107\",\"108\",\"109\","
            u"\"1010\",\"1011\")");
}

TEST_F(EditorTest, OkCancelEnterAndEscEndTheModalLoop) {
  catalogue.add(fixed(u"FN", {8, 3}));
  editor.Load();
  ASSERT_TRUE(editor.RefreshFunc(u"FN"));
  ui.then([&](forms::Form&) {
    hl::type(editor, u"x");  // the first row has the focus
    hl::press(editor, forms::keys::Return);
  });
  editor.Show(true);
  EXPECT_EQ(editor.Tag(), u"OK");
  EXPECT_EQ(editor.txtParam(0).Text(), u"x");  // Enter did not reach the text box
  EXPECT_EQ(editor.m_sFormula, u"FN(\"X\",)");
  editor.Unload();
  EXPECT_TRUE(editor.g_cParamCol().empty());

  editor.Load();
  ASSERT_TRUE(editor.RefreshFunc(u"FN"));
  ui.then([&](forms::Form&) {
    hl::type(editor, u"y");
    hl::press(editor, forms::keys::Escape);
  });
  editor.Show(true);
  EXPECT_EQ(editor.Tag(), u"");
  editor.Unload();

  editor.Load();
  ASSERT_TRUE(editor.RefreshFunc(u"FN"));
  ui.then([&](forms::Form&) { hl::click(editor.btnOK(0)); });
  editor.Show(true);
  EXPECT_EQ(editor.Tag(), u"OK");
  EXPECT_EQ(editor.m_sFormula, u"FN(\"\",)");  // confirmed without an edit: the default texts
}

TEST_F(EditorTest, LabelShortcutsFillTheRow) {
  catalogue.add(fixed(u"FN", {8}));
  open(u"FN");
  hl::click(editor.lblParam(0));
  EXPECT_EQ(editor.txtParam(0).Text(), u"[]");
  EXPECT_EQ(editor.m_sFormula, u"FN(REF(\"\",2))");
  hl::dblClick(editor.lblParam(0));
  EXPECT_EQ(editor.txtParam(0).Text(), u"REF(\"\",)");
  EXPECT_EQ(editor.m_sFormula, u"FN(REF(\"\",))");
}

TEST_F(EditorTest, EachRowSaysWhatItExpectsAndMarksWhatCannotBeThat) {
  catalogue.add(FakeFunction{u"ALLTYPES",
                             true,
                             9,
                             {{u"数", 3, Variant{}},
                              {u"额", 6, Variant{}},
                              {u"文", 8, Variant{}},
                              {u"日", 7, Variant{}},
                              {u"是", 11, Variant{}},
                              {u"任", 12, Variant{}},
                              {u"无", 17, Variant{}}}});
  open(u"ALLTYPES");
  const auto hints = [&] {
    std::vector<std::u16string> all;
    for (std::int16_t i = 0; i < 7; ++i) all.push_back(editor.lblExp(i).Caption());
    return all;
  };
  EXPECT_EQ(hints(),
            (std::vector<std::u16string>{u"数值", u"数值", u"文本", u"日期", u"是/否", u"任意值", u""}));
  // Letters in a number row, an impossible date, a word in a yes/no row: marked, and composed as typed.
  typeInto(0, u"12a");
  typeInto(1, u"-3.5");
  typeInto(2, u"abc");
  typeInto(3, u"2024-02-30");
  typeInto(4, u"maybe");
  typeInto(5, u"x");
  const std::u16string mark = u"  ⚠ 与类型不符";
  EXPECT_EQ(hints(), (std::vector<std::u16string>{u"数值" + mark, u"数值", u"文本", u"日期" + mark,
                                                  u"是/否" + mark, u"任意值", u""}));
  EXPECT_EQ(editor.m_sFormula, u"ALLTYPES(12A,-3.5,\"ABC\",\"2024-02-30\",FALSE,\"X\",)");
  // A cell or a call stands for a value known only when computed: never marked; a fixed row unmarks.
  editor.txtParam(0).setText(u"[b7]");
  editor.txtParam(3).setText(u"2024-02-29");
  editor.txtParam(4).setText(u"QCYE(\"1001\")");
  EXPECT_EQ(hints()[0], u"数值");
  EXPECT_EQ(hints()[3], u"日期");
  EXPECT_EQ(hints()[4], u"是/否");
}

}  // namespace
