// The function picker and the wizard calls, on the sample report system and the headless backend.
#include "picker/frmOtherFunc.h"
#include "picker/Search.h"
#include "outside/FuncInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Localisation.h"
#include "forms/headless/HeadlessBackend.h"
#include "platform/Process.h"
#include "sample/Ledger.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using picker::frmOtherFunc;
namespace hl = forms::headless;

class PickerTest : public ::testing::Test {
 protected:
  PickerTest() {
    component::resetComponentState();
    environment::resetLocalisationState();
    picker::resetPickerState();
    sample::clearPublishedProperties();
    ui.clearScript();
    ui.messageBoxes.clear();
    ui.keysDown.clear();
    start(sample::defaultOptions());
  }
  ~PickerTest() override {
    cfunc.reset();
    component::resetComponentState();
    environment::resetLocalisationState();
    sample::clearPublishedProperties();
    classRegistry().clear();
  }
  void start(sample::SampleOptions options) {
    cfunc.reset();  // the last CFunc releases the shared catalogue
    classRegistry().clear();
    sample::registerSampleComponents(classRegistry(), std::move(options));
    cfunc::registerComponentClasses(classRegistry());
    // The texts are the Simplified Chinese ones whatever the locale of the machine running the tests.
    sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"Language=CHS"));
    cfunc = CreateObject(u"Formulist2.CFunc");
  }
  static std::vector<std::u16string> entries(const forms::ListBox& list) { return list.items(); }

  testing_support::TempConfig config;
  hl::HeadlessBackend& ui = hl::installed();
  ObjectRef cfunc;
};

TEST_F(PickerTest, GroupsAndTheirOrder) {
  frmOtherFunc picker;
  picker.Load();
  EXPECT_EQ(entries(picker.lstGroup), (std::vector<std::u16string>{u"常用函数", u"全部函数", u"账务函数",
                                                                   u"报表函数", u"日期函数", u"系统函数"}));
  // The common functions come in the catalogue's order, not sorted.
  EXPECT_EQ(entries(picker.lstFunc),
            (std::vector<std::u16string>{u"QMYE", u"QCYE", u"JFFS", u"DFFS", u"REF_F"}));
  EXPECT_EQ(picker.lstFunc.ListIndex(), 0);
  EXPECT_EQ(picker.lblExplan.Caption().substr(0, 4), u"期末余额");
  picker.lstGroup.setListIndex(1);
  const auto all = entries(picker.lstFunc);
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
  EXPECT_EQ(std::count(all.begin(), all.end(), u"REF_EXCEL"), 0);
  EXPECT_EQ(std::count(all.begin(), all.end(), u"REF"), 1);  // InitFuncInfo set the list mode to "bb"
  picker.lstGroup.setListIndex(4);
  EXPECT_EQ(entries(picker.lstFunc), (std::vector<std::u16string>{u"DATEDIFF", u"RPTDATE"}));
  picker.Unload();
}

TEST_F(PickerTest, ReferenceFunctionsAreHiddenOutsideTheListMode) {
  component::componentState().g_sListMode = u"";
  frmOtherFunc picker;
  picker.Load();
  picker.lstGroup.setListIndex(3);
  const auto report = entries(picker.lstFunc);
  for (const char16_t* hidden : {u"REF", u"REF_F", u"CS_REF_F", u"PAGENAME", u"PAGENO", u"REF_EXCEL"}) {
    EXPECT_EQ(std::count(report.begin(), report.end(), hidden), 0) << toUtf8(hidden);
  }
  EXPECT_EQ(std::count(report.begin(), report.end(), u"VEX_REF_F"), 1);
  picker.lstGroup.setListIndex(0);
  EXPECT_EQ(std::count(picker.lstFunc.items().begin(), picker.lstFunc.items().end(), u"REF_F"), 0);
  picker.Unload();
}

TEST_F(PickerTest, TheGroupIsRememberedAfterConfirmAndCancel) {
  for (std::int16_t remembered : {0, -1, 99}) {
    picker::pickerState().g_iLastGroup = remembered;
    frmOtherFunc picker;
    picker.Load();
    EXPECT_EQ(picker.lstGroup.ListIndex(), 0) << remembered;
    picker.Unload();
  }
  {
    frmOtherFunc picker;
    ui.then([&](forms::Form&) {
      hl::clickItem(picker.lstGroup, 3);
      hl::click(picker.cmdCancel);
    });
    picker.Show(true);
    picker.Unload();
  }
  EXPECT_EQ(picker::pickerState().g_iLastGroup, 3);
  frmOtherFunc again;
  again.Load();
  EXPECT_EQ(again.lstGroup.ListIndex(), 3);
  // Choosing the shown group again does not rebuild the list: the chosen function stays.
  again.lstFunc.setListIndex(2);
  again.lstGroup.setListIndex(3);
  EXPECT_EQ(again.lstFunc.ListIndex(), 2);
  again.lstGroup.setListIndex(1);
  again.Unload();
  EXPECT_EQ(picker::pickerState().g_iLastGroup, 1);
}

TEST_F(PickerTest, Keys) {
  frmOtherFunc picker;
  ui.then([&](forms::Form&) {
    picker.lstGroup.SetFocus();
    hl::press(picker, forms::keys::Tab);
    EXPECT_EQ(picker.ActiveControl(), &picker.lstFunc);
    hl::press(picker, forms::keys::Tab);
    EXPECT_EQ(picker.ActiveControl(), &picker.lstGroup);
    hl::press(picker, 'N', forms::shift::Alt);
    EXPECT_EQ(picker.ActiveControl(), &picker.lstFunc);
    hl::press(picker, 'T', forms::shift::Alt | forms::shift::Ctrl);  // Ctrl held: nothing
    EXPECT_EQ(picker.ActiveControl(), &picker.lstFunc);
    hl::press(picker, 'T', forms::shift::Alt);
    EXPECT_EQ(picker.ActiveControl(), &picker.lstGroup);
    hl::press(picker, forms::keys::Return);
  });
  picker.Show(true);
  EXPECT_EQ(picker.Tag(), u"OK");
  EXPECT_EQ(picker.m_sFuncName, u"QMYE");
  picker.Unload();

  frmOtherFunc escaped;
  ui.then([&](forms::Form&) { hl::press(escaped, forms::keys::Escape); });
  escaped.Show(true);
  EXPECT_FALSE(escaped.isLoaded());  // Esc unloads at once
  EXPECT_EQ(escaped.Tag(), u"");
}

TEST_F(PickerTest, AnEmptyGroupLeavesNothingToConfirm) {
  const auto file = config.dir() / "catalogue.json";
  std::filesystem::create_directories(config.dir());
  std::ofstream(file) << R"({"groups": [
      {"name": "甲组", "functions": [{"name": "Fa", "description": "第一个", "params": []}]},
      {"name": "空组", "functions": []}]})";
  sample::SampleOptions options = sample::defaultOptions();
  options.catalogue = file;
  start(options);
  frmOtherFunc picker;
  ui.then([&](forms::Form&) {
    hl::clickItem(picker.lstGroup, 2);
    EXPECT_EQ(picker.lstFunc.items(), (std::vector<std::u16string>{u"FA"}));  // upper-cased
    EXPECT_EQ(picker.lblExplan.Caption(), u"第一个");
    hl::clickItem(picker.lstGroup, 3);
    EXPECT_EQ(picker.lstFunc.ListCount(), 0);
    EXPECT_EQ(picker.lblExplan.Caption(), u"第一个");
    hl::click(picker.cmdOK);  // nothing selected: stays open
    hl::press(picker, forms::keys::Return);
    EXPECT_TRUE(picker.Visible());
    hl::click(picker.cmdCancel);
  });
  picker.Show(true);
  EXPECT_EQ(picker.Tag(), u"");
  picker.Unload();
}

TEST_F(PickerTest, TheWizardCallsThroughTheirDispatchIds) {
  const auto getFuncExpr = [&](const Variant& name) {
    Variant args[] = {name};
    return toText(cfunc->invoke(0x60030015, InvokeKind::Method,
                                name.isMissing() ? std::span<Variant>() : std::span<Variant>(args)));
  };
  // Without a name the picker comes first; then the editor.
  ui.then([](forms::Form& shown) {
    auto& picker = dynamic_cast<frmOtherFunc&>(shown);
    hl::clickItem(picker.lstGroup, 4);
    hl::clickItem(picker.lstFunc, 0);  // DATEDIFF
    hl::dblClick(picker.lstFunc);
  });
  ui.then([](forms::Form& shown) {
    auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
    hl::type(editor, u"m");
    hl::press(editor, forms::keys::Return);
  });
  EXPECT_EQ(getFuncExpr(Variant::missing()), u"DATEDIFF(\"m\",\"\",\"\")");

  // Cancelling the picker returns "" and no editor opens; blanks count as no name.
  ui.then([](forms::Form& shown) { hl::press(shown, forms::keys::Escape); });
  EXPECT_EQ(getFuncExpr(Variant(u"   ")), u"");
  EXPECT_EQ(ui.pendingActions(), 0u);

  // Cancelling the editor returns "" even after typing.
  ui.then([](forms::Form& shown) {
    hl::type(shown, u"1002");
    hl::press(shown, forms::keys::Escape);
  });
  EXPECT_EQ(getFuncExpr(Variant(u"QMYE")), u"");

  // An unknown function: the warning, and "".
  EXPECT_EQ(getFuncExpr(Variant(u"NOSUCH")), u"");
  ASSERT_EQ(ui.messageBoxes.size(), 1u);
  EXPECT_EQ(ui.messageBoxes[0].text, u"报表系统不支持公式NOSUCH！");

  // GetFuncName on its own.
  ui.then([](forms::Form& shown) { hl::press(shown, forms::keys::Return); });
  EXPECT_EQ(toText(cfunc->invoke(0x60030014, InvokeKind::Method, {})), u"DATEDIFF");  // the remembered group
  ui.then([](forms::Form& shown) { hl::click(dynamic_cast<frmOtherFunc&>(shown).cmdCancel); });
  EXPECT_EQ(toText(cfunc->invoke(0x60030014, InvokeKind::Method, {})), u"");
}

TEST_F(PickerTest, TheHostsSheetAndDataSourceReachTheEditor) {
  put(cfunc, u"CurSheetIndex", Variant(3));
  put(cfunc, u"sCurPropStr", Variant(u"DSN=华南账套;COMPANY=2"));
  ui.then([](forms::Form& shown) {
    auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
    EXPECT_EQ(editor.sZpsCurDsn, u"DSN=华南账套;COMPANY=2");
    hl::type(editor, u"[b2]");
    hl::press(editor, forms::keys::Return);
  });
  EXPECT_EQ(toText(call(cfunc, u"GetFuncExpr", {Variant(u"REF")})), u"REF(REF(\"B2\",3),)");
}

TEST_F(PickerTest, AWholeCallReopensTheEditorOnItsArguments) {
  put(cfunc, u"CurSheetIndex", Variant(2));
  const auto rowsOf = [](editor::FrmCalcEqual& editor) {
    std::vector<std::u16string> rows;
    for (const forms::TextBox* box : editor.g_cParamCol()) rows.push_back(box->Text());
    return rows;
  };
  // OK without a change gives back the same formula.
  ui.then([&](forms::Form& shown) {
    auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
    EXPECT_EQ(rowsOf(editor), (std::vector<std::u16string>{u"1002", u"2024", u"3", u"USD", u""}));
    hl::press(editor, forms::keys::Return);
  });
  const std::u16string formula = u"QMYE(\"1002\",2024,3,\"USD\",\"\")";
  EXPECT_EQ(toText(call(cfunc, u"GetFuncExpr", {Variant(formula)})), formula);

  // A reference to the current sheet comes back as [B7]; a nested call stays as its text; an
  // edited row gives the edited formula.
  ui.then([&](forms::Form& shown) {
    auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
    EXPECT_EQ(rowsOf(editor), (std::vector<std::u16string>{u"[B7]", u"YEAR(TODAY())", u"12", u"", u""}));
    editor.txtParam(2).setText(u"6");
    hl::press(editor, forms::keys::Return);
  });
  EXPECT_EQ(toText(call(cfunc, u"GetFuncExpr", {Variant(u"=QMYE(REF(\"B7\",2),YEAR(TODAY()),12,\"\",\"\")")})),
            u"QMYE(REF(\"B7\",2),YEAR(TODAY()),6,\"\",\"\")");

  // A variable list grows to hold every argument, with its empty row after them.
  ui.then([&](forms::Form& shown) {
    auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
    EXPECT_EQ(rowsOf(editor).size(), 4u);
    EXPECT_EQ(rowsOf(editor).back(), u"");
    hl::press(editor, forms::keys::Return);
  });
  EXPECT_EQ(toText(call(cfunc, u"GetFuncExpr", {Variant(u"HJQM(\"1001\",\"1002\",\"1122\")")})),
            u"HJQM(\"1001\",\"1002\",\"1122\")");
  EXPECT_EQ(ui.pendingActions(), 0u);

  // What cannot be read, an unknown function, too many arguments: a warning and no editor.
  ui.messageBoxes.clear();
  EXPECT_EQ(toText(call(cfunc, u"GetFuncExpr", {Variant(u"QMYE(\"1002\"")})), u"");
  EXPECT_EQ(toText(call(cfunc, u"GetFuncExpr", {Variant(u"NOSUCH(1)")})), u"");
  EXPECT_EQ(toText(call(cfunc, u"GetFuncExpr", {Variant(u"QMYE(1,2,3,4,5,6)")})), u"");
  ASSERT_EQ(ui.messageBoxes.size(), 3u);
  EXPECT_EQ(ui.messageBoxes[0].text, u"无法读取公式：QMYE(\"1002\"");
  EXPECT_EQ(ui.messageBoxes[1].text, u"报表系统不支持公式NOSUCH！");
  EXPECT_EQ(ui.messageBoxes[2].text, u"公式的参数多于函数的参数：QMYE 5");
}

TEST(PickerSearch, MatchesAreRankedAndChineseMatchesByPinyin) {
  const picker::FunctionIndex index({{u"QMYE", u"账务函数", u"期末余额：取科目的余额"},
                                     {u"AYE", u"其他", u"汇总"},
                                     {u"YE", u"其他", u"一个函数"},
                                     {u"YEAR", u"日期函数", u"年份"},
                                     {u"JFFS", u"账务函数", u"借方发生额"},
                                     {u"NOTE", u"其他", u"Yearly NOTE"}});
  const auto names = [&](std::u16string_view text) {
    std::vector<std::u16string> found;
    for (const auto& m : index.search(text)) found.push_back(index.entries()[m.entry].name);
    return found;
  };
  // Exact name, name prefix, name substring, then descriptions: by initials (余额 ye), by letters.
  EXPECT_EQ(names(u"ye"), (std::vector<std::u16string>{u"YE", u"YEAR", u"QMYE", u"AYE", u"NOTE"}));
  EXPECT_EQ(names(u"yue"), (std::vector<std::u16string>{u"QMYE"}));     // yu e: the pinyin of 余额
  EXPECT_EQ(names(u"jffse"), (std::vector<std::u16string>{u"JFFS"}));   // the initials of 借方发生额
  EXPECT_EQ(names(u"发生"), (std::vector<std::u16string>{u"JFFS"}));
  EXPECT_EQ(names(u" Qmye "), (std::vector<std::u16string>{u"QMYE"}));  // any case, blanks aside
  EXPECT_TRUE(names(u"").empty());
  EXPECT_TRUE(names(u"zzz").empty());
  std::string pinyin, initials;
  picker::pinyinOf(u"期末余额 A1", pinyin, initials);
  EXPECT_EQ(pinyin, "qimoyue a1");
  EXPECT_EQ(initials, "qmye a1");
}

TEST_F(PickerTest, TypingSearchesEveryGroupAndTheKeysWorkOnTheMatches) {
  frmOtherFunc picker;
  picker.Load();
  picker.Show();
  ASSERT_NE(picker.ActiveControl(), &picker.txtSearch);
  // Typing on the picker goes into the search box; the list narrows to the balance functions.
  hl::type(picker, u"yue");
  EXPECT_EQ(picker.ActiveControl(), &picker.txtSearch);
  EXPECT_EQ(picker.txtSearch.Text(), u"yue");
  // 余额 (yu e) in the balances' descriptions, 月 (yue) in DATEDIFF's and ITEM's; nothing else.
  auto found = entries(picker.lstFunc);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::u16string>{u"DATEDIFF", u"HJQM", u"ITEM", u"QCYE", u"QMYE"}));
  EXPECT_EQ(picker.lstFunc.ListIndex(), 0);
  // The explanation follows the highlighted function.
  const outside::FuncInfoCalls catalogue(component::componentState().g_oFuncInfo);
  EXPECT_EQ(picker.lblExplan.Caption(), outside::FuncDescriptorCalls(catalogue.getFuncInfo(picker.lstFunc.Text())).funcDes());
  // Down moves into the list; Enter confirms the highlighted function.
  hl::press(picker, forms::keys::Down);
  EXPECT_EQ(picker.ActiveControl(), &picker.lstFunc);
  picker.lstFunc.setListIndex(1);
  const std::u16string second = picker.lstFunc.Text();
  hl::press(picker, forms::keys::Return);
  EXPECT_EQ(picker.Tag(), u"OK");
  EXPECT_EQ(picker.m_sFuncName, second);
}

TEST_F(PickerTest, EscClearsASearchFirstAndAnEmptyBoxShowsTheGroupAgain) {
  frmOtherFunc picker;
  picker.Load();
  picker.Show();
  const auto before = entries(picker.lstFunc);
  hl::type(picker, u"datediff");
  EXPECT_EQ(entries(picker.lstFunc), (std::vector<std::u16string>{u"DATEDIFF"}));
  hl::type(picker, u"x");
  EXPECT_TRUE(entries(picker.lstFunc).empty());
  EXPECT_EQ(picker.lblExplan.Caption(), u"没有找到相符的函数。");
  hl::press(picker, forms::keys::Return);  // nothing to confirm
  EXPECT_TRUE(picker.isLoaded());
  hl::press(picker, forms::keys::Escape);
  EXPECT_TRUE(picker.isLoaded());
  EXPECT_EQ(picker.txtSearch.Text(), u"");
  EXPECT_EQ(entries(picker.lstFunc), before);
  // The exact name first, then the names holding the text.
  hl::type(picker, u"ref_f");
  EXPECT_EQ(entries(picker.lstFunc), (std::vector<std::u16string>{u"REF_F", u"VEX_REF_F", u"CS_REF_F"}));
  picker.txtSearch.setText(u"");
  hl::press(picker, forms::keys::Escape);  // an empty box: Esc cancels as before
  EXPECT_FALSE(picker.isLoaded());
}

TEST_F(PickerTest, TheLiveResultIsWhatRecalculationGivesAndIsMarkedWhileTyping) {
  sample::SampleSystem ledgerData(sample::defaultOptions());
  const double expected = ledgerData.ledger().amount(1, "1002", "RMB", 2024, 3, 3, sample::Amount::Closing);
  ui.then([&](forms::Form& shown) {
    auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
    EXPECT_EQ(editor.lblResult.Caption(), u"");
    hl::type(editor, u"1002");
    hl::press(editor, forms::keys::Tab);
    hl::type(editor, u"2024");
    hl::press(editor, forms::keys::Tab);
    hl::type(editor, u"3");
    // Nothing is computed while the rows change; once typing pauses the timer computes.
    EXPECT_TRUE(editor.tmrPreview.running());
    EXPECT_EQ(editor.tmrPreview.Interval(), 300);
    editor.tmrPreview.tick();
    EXPECT_FALSE(editor.tmrPreview.running());
    EXPECT_EQ(editor.lblResult.Caption(), u"结果：" + toText(Variant(expected)));
    // Typing marks the last result as stale until the next pause.
    hl::type(editor, u"0");
    EXPECT_EQ(editor.lblResult.Caption(), u"结果（待更新）：" + toText(Variant(expected)));
    editor.tmrPreview.tick();
    EXPECT_EQ(editor.lblResult.Caption(), u"结果：#期间不存在");  // the row's error text
    editor.txtParam(0).setText(u"9999");
    editor.txtParam(2).setText(u"3");
    editor.tmrPreview.tick();
    EXPECT_EQ(editor.lblResult.Caption(), u"结果：#科目不存在");
    editor.txtParam(0).setText(u"[b7]");
    editor.tmrPreview.tick();
    EXPECT_EQ(editor.lblResult.Caption(), u"结果：取决于报表中的单元或其他公式");
    // A number row: a cell address stands for a value, any other text that is no number makes
    // the formula invalid.
    editor.txtParam(0).setText(u"1002");
    for (const char16_t* cell : {u"B3", u"$B$3", u"-B3", u"B3*1.1", u"[B3]", u"REF(\"B3\",2)", u"QMYE(\"1001\",2024,1)"}) {
      editor.txtParam(1).setText(cell);
      editor.tmrPreview.tick();
      EXPECT_EQ(editor.lblResult.Caption(), u"结果：取决于报表中的单元或其他公式") << toUtf8(cell);
    }
    for (const char16_t* invalid : {u"20x4", u"B3+x"}) {
      editor.txtParam(1).setText(invalid);
      editor.tmrPreview.tick();
      EXPECT_EQ(editor.lblResult.Caption(), u"结果：" + editor.lblParam(1).Caption() + u"不是有效的数值");
    }
    hl::press(editor, forms::keys::Escape);
  });
  call(cfunc, u"GetFuncExpr", {Variant(u"QMYE")});
  EXPECT_EQ(ui.pendingActions(), 0u);
}

}  // namespace
