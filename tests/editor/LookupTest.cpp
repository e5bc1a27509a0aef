// F7 in the editor's rows: the catalogue's value list in the popup or its entry window, with the
// report context pushed first; and dragging the frameless window.
#include <gtest/gtest.h>

#include "automation/VariantArray.h"
#include "component/ReportContext.h"
#include "editor/FrmCalcEqual.h"
#include "forms/headless/HeadlessBackend.h"
#include "support/FakeCatalogue.h"
#include "support/Fakes.h"
#include "support/TempConfig.h"
#include "valuelist/frmInformation.h"

namespace {

using namespace automation;
using editor::FrmCalcEqual;
using fakes::FakeFunction;
using fakes::FakeParam;
namespace hl = forms::headless;

// A value table: captions, the given codes with names, no sort markers.
Variant accounts(const std::vector<std::u16string>& codes) {
  const auto rows = static_cast<std::int32_t>(codes.size()) + 2;
  VariantArray table({Bounds{0, rows - 1}, Bounds{0, 1}});
  const auto put = [&](std::int32_t r, std::int32_t c, std::u16string text) {
    const std::int32_t at[] = {r, c};
    table.set(at, Variant(std::move(text)));
  };
  put(0, 0, u"科目代码");
  put(0, 1, u"科目名称");
  for (std::int32_t r = 1; r < rows - 1; ++r) {
    put(r, 0, codes[static_cast<std::size_t>(r - 1)]);
    put(r, 1, u"名称");
  }
  put(rows - 1, 0, u"");
  put(rows - 1, 1, u"");
  return Variant(std::move(table));
}

class LookupTest : public ::testing::Test {
 protected:
  LookupTest() {
    ui.messageBoxes.clear();
    ui.clearScript();
    ui.keysDown.clear();
    env.publish(u"Language=CHS;User=admin");
    catalogue.add(FakeFunction{
        u"FN",
        true,
        0,
        {FakeParam(u"科目", 8, Variant{}, false, true), FakeParam(u"期间", 3, Variant{}, false, true),
         FakeParam(u"币种", 8, Variant{}, false, false),
         FakeParam(u"对方科目", 8, Variant{}, false, false, true)}});
    catalogue.add(FakeFunction{u"ACCTEXT",
                               true,
                               0,
                               {FakeParam(u"科目1", 8, Variant{}, false, false, true),
                                FakeParam(u"科目2", 8, Variant{}, false, false, true),
                                FakeParam(u"科目3", 8, Variant{}, false, false, true)}});
    catalogue.add(FakeFunction{u"SUMOF", false, 20, {FakeParam(u"科目", 8, Variant{}, false, true)}});
  }
  ~LookupTest() override {
    if (editor.isLoaded()) editor.Unload();
  }
  void open(const std::u16string& name) {
    editor.Load();
    ASSERT_TRUE(editor.RefreshFunc(name));
    editor.Show();
  }
  void f7(std::int16_t row) {
    editor.txtParam(row).SetFocus();
    hl::press(editor, forms::keys::F7);
  }

  hl::HeadlessBackend& ui = hl::installed();
  fakes::FakeEnvironment env;
  fakes::FakeCatalogue catalogue;
  testing_support::TempConfig config;
  FrmCalcEqual editor;
};

TEST_F(LookupTest, APickedValueGoesIntoTheRowAndTheFocusRestsOnOk) {
  open(u"FN");
  editor.txtParam(0).setText(u"  10  ");
  catalogue.infoAnswer = accounts({u"1001", u"1002", u"1122"});
  ui.then([](forms::Form& shown) {
    auto& popup = dynamic_cast<valuelist::frmInformation&>(shown);
    popup.lvwInformation.select(2);
    hl::press(popup, forms::keys::Return);
  });
  f7(1);
  ASSERT_EQ(catalogue.infoCalls.size(), 1u);
  // The function, the row's caption and text, and the row above trimmed.
  EXPECT_EQ(catalogue.infoCalls[0].func, u"FN");
  EXPECT_EQ(catalogue.infoCalls[0].label, u"期间");
  EXPECT_EQ(catalogue.infoCalls[0].text, u"");
  EXPECT_EQ(catalogue.infoCalls[0].previous, u"10");
  EXPECT_EQ(editor.txtParam(1).Text(), u"1122");
  EXPECT_EQ(editor.m_sFormula, u"FN(\"  10  \",1122,\"\",\"\")");
  EXPECT_EQ(editor.ActiveControl(), &editor.btnOK(0));
  EXPECT_TRUE(ui.messageBoxes.empty());

  // The first row sends "" as the row above; Esc leaves the row as it was.
  ui.then([](forms::Form& shown) { hl::press(shown, forms::keys::Escape); });
  f7(0);
  EXPECT_EQ(catalogue.infoCalls.back().previous, u"");
  EXPECT_EQ(editor.txtParam(0).Text(), u"  10  ");
}

TEST_F(LookupTest, TheReportContextIsPushedBeforeEveryLookup) {
  open(u"FN");
  catalogue.infoAnswer = Variant(ErrorValue{2042});  // the catalogue shows nothing, quietly
  f7(0);
  ASSERT_EQ(catalogue.contextAtLookup.size(), 1u);
  EXPECT_EQ(catalogue.contextAtLookup[0].at(u"ZpsPagePropsString"), Variant(u""));
  EXPECT_EQ(catalogue.contextAtLookup[0].at(u"DefPropsString"), Variant(u"Language=CHS;User=admin"));
  EXPECT_TRUE(ui.messageBoxes.empty());

  editor.sZpsCurDsn = u"DSN=华南账套";
  catalogue.paramTextAnswer = u"2202";
  f7(3);
  ASSERT_EQ(catalogue.contextAtLookup.size(), 2u);
  EXPECT_EQ(catalogue.contextAtLookup[1].at(u"ZpsPagePropsString"), Variant(u"DSN=华南账套"));
  EXPECT_EQ(catalogue.contextAtLookup[1].at(u"DefPropsString"), Variant(u"DSN=华南账套"));
}

TEST_F(LookupTest, RowsWithoutValuesAreToldSo) {
  open(u"FN");
  f7(2);  // neither a list nor an entry window
  ASSERT_EQ(ui.messageBoxes.size(), 1u);
  EXPECT_EQ(ui.messageBoxes[0].text, u"币种没有可选的列表值!");
  EXPECT_EQ(editor.ActiveControl(), &editor.btnOK(0));
  EXPECT_TRUE(catalogue.infoCalls.empty());

  catalogue.infoAnswer = Variant{};  // the list is empty
  f7(0);
  ASSERT_EQ(ui.messageBoxes.size(), 2u);
  EXPECT_EQ(ui.messageBoxes[1].text, u"没有可选的列表值!");
}

TEST_F(LookupTest, TheEntryWindowsAnswerFillsTheRowAndItsOwnTooltip) {
  open(u"FN");
  catalogue.paramTextAnswer = u"1001@库存现金";
  f7(3);
  EXPECT_EQ(editor.txtParam(3).Text(), u"1001");
  EXPECT_EQ(editor.txtParam(3).ToolTipText(), u"库存现金");
  EXPECT_EQ(editor.txtParam(0).ToolTipText(), u"");  // the tooltip stays on its own row
  catalogue.paramTextAnswer = u"a@b@c";
  f7(3);
  EXPECT_EQ(editor.txtParam(3).Text(), u"a");
  EXPECT_EQ(editor.txtParam(3).ToolTipText(), u"b");
  catalogue.paramTextAnswer = u"2202";
  f7(3);
  EXPECT_EQ(editor.txtParam(3).Text(), u"2202");
  EXPECT_EQ(editor.txtParam(3).ToolTipText(), u"b");  // an answer without "@" leaves the tooltip
  EXPECT_EQ(catalogue.paramTextCalls.back().text, u"a");
  EXPECT_EQ(editor.m_sFormula, u"FN(\"\",,\"\",\"2202\")");
}

TEST_F(LookupTest, AcctextAsksForItsTwoAccountRowsAsAcct) {
  open(u"ACCTEXT");
  catalogue.paramTextAnswer = u"1001";
  for (std::int16_t row = 0; row < 3; ++row) f7(row);
  ASSERT_EQ(catalogue.paramTextCalls.size(), 3u);
  EXPECT_EQ(catalogue.paramTextCalls[0].func, u"ACCT");
  EXPECT_EQ(catalogue.paramTextCalls[1].func, u"ACCT");
  EXPECT_EQ(catalogue.paramTextCalls[2].func, u"ACCTEXT");
  EXPECT_EQ(catalogue.paramTextCalls[2].label, u"科目3");
}

TEST_F(LookupTest, EveryRowOfAVariableListLooksUpAsTheFirst) {
  open(u"SUMOF");
  catalogue.infoAnswer = accounts({u"1001", u"1002"});
  ui.then([](forms::Form& shown) {
    auto& popup = dynamic_cast<valuelist::frmInformation&>(shown);
    popup.lvwInformation.select(1);
    hl::press(popup, forms::keys::Return);
  });
  f7(1);  // a row the list grew, beyond the function's one descriptor
  EXPECT_TRUE(ui.messageBoxes.empty());
  ASSERT_EQ(catalogue.infoCalls.size(), 1u);
  EXPECT_EQ(catalogue.infoCalls[0].label, u"科目2");
  EXPECT_EQ(editor.txtParam(1).Text(), u"1002");
}

TEST_F(LookupTest, OtherKeysDoNothing) {
  open(u"FN");
  editor.txtParam(0).SetFocus();
  hl::press(editor, 119);  // F8
  EXPECT_EQ(editor.ActiveControl(), &editor.txtParam(0));
  EXPECT_TRUE(catalogue.infoCalls.empty());
}

TEST_F(LookupTest, TheWindowFollowsTheCursorFromThePress) {
  open(u"FN");
  editor.Move(3000, 2000, editor.Width(), editor.Height());
  const auto dragBy = [&](forms::Control* surface, int button, int dx, int dy) {
    ui.cursor = {100, 100};
    if (surface != nullptr) {
      hl::mouseDown(*surface, button);
    } else {
      editor.mouseDown(button, 0, 0, 0);
    }
    ui.cursor = {100 + dx / 2, 100 + dy / 2};
    hl::fireTimers(editor);
    ui.cursor = {100 + dx, 100 + dy};
    hl::fireTimers(editor);
    hl::fireTimers(editor);  // a tick without a move puts the window at the same place
    if (surface != nullptr) {
      hl::mouseUp(*surface, button);
    } else {
      editor.mouseUp(button, 0, 0, 0);
    }
    ui.cursor = {0, 0};
    hl::fireTimers(editor);  // released: the window stays
  };
  // Every listed surface drags; offsets are screen pixels of 15 twips.
  forms::Control* surfaces[] = {nullptr,
                                &editor.picFunction,
                                &editor.lblFuncName,
                                &editor.lblExplain,
                                &editor.lblParamName,
                                &editor.lblParamDes,
                                &editor.lblParam(2),
                                &editor.lblExp(1)};
  forms::Twips left = 3000, top = 2000;
  for (forms::Control* surface : surfaces) {
    dragBy(surface, forms::mouse::Left, 10, -4);
    left += 150;
    top -= 60;
    EXPECT_EQ(editor.Left(), left);
    EXPECT_EQ(editor.Top(), top);
  }
  // The right button does not drag, and its release still stops the timer.
  dragBy(&editor.lblExplain, forms::mouse::Right, 50, 50);
  EXPECT_EQ(editor.Left(), left);
  EXPECT_FALSE(editor.TimerDrag.Enabled());
  // A click on a name label whose press moved the cursor by (dx, dy) before the release, as the
  // toolkit delivers it: press, release, then the click.
  const auto clickMoving = [&](std::int16_t row, std::int32_t dx, std::int32_t dy) {
    ui.cursor = {0, 0};
    hl::mouseDown(editor.lblParam(row), forms::mouse::Left);
    ui.cursor = {dx, dy};
    hl::mouseUp(editor.lblParam(row), forms::mouse::Left);
    editor.lblParam(row).Click();
  };
  // A press that dragged the window by a name label is no click: the row keeps its text, also when
  // the button is let go before the window could follow.
  editor.txtParam(2).setText(u"1002");
  clickMoving(2, 4, 0);
  EXPECT_EQ(editor.txtParam(2).Text(), u"1002");
  // A click that does not move, or moves by a hand's wobble, leaves the window and still fills the
  // row; a double click still fills a reference.
  clickMoving(1, 1, 2);
  EXPECT_EQ(editor.txtParam(1).Text(), u"[]");
  editor.txtParam(1).setText(u"");
  ui.cursor = {0, 0};
  hl::click(editor.lblParam(1));
  EXPECT_EQ(editor.Left(), left);
  EXPECT_EQ(editor.txtParam(1).Text(), u"[]");
  hl::mouseDown(editor.lblParam(1), forms::mouse::Left);
  hl::mouseUp(editor.lblParam(1), forms::mouse::Left);
  editor.lblParam(1).DblClick();
  EXPECT_EQ(editor.txtParam(1).Text(), u"REF(\"\",)");
  // The text boxes and buttons are not drag surfaces.
  ui.cursor = {0, 0};
  hl::mouseDown(editor.txtParam(0), forms::mouse::Left);
  ui.cursor = {40, 40};
  hl::fireTimers(editor);
  EXPECT_EQ(editor.Left(), left);
}

}  // namespace
