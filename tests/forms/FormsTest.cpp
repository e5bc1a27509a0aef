// The dialog toolkit on the headless backend.
#include <gtest/gtest.h>

#include <cmath>

#include "automation/ClassRegistry.h"
#include "automation/Events.h"
#include "forms/ControlArray.h"
#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/ListView.h"
#include "forms/ObjectControl.h"
#include "forms/headless/HeadlessBackend.h"
#include "support/Errors.h"

namespace {

using namespace forms;
using testing_support::errorNumber;
namespace hl = forms::headless;

// A dialog with a little of everything, recording its events.
class SampleForm : public Form {
 public:
  ControlArray<TextBox> txt{*this, u"txt"};
  ControlArray<Label> lbl{*this, u"lbl"};
  CommandButton btnOK{*this, u"btnOK"};
  CommandButton btnCancel{*this, u"btnCancel"};
  PictureBox pic{*this, u"pic"};
  Label inPic{*this, u"inPic", &pic};
  Timer timer{*this, u"timer"};
  std::vector<std::string> log;
  bool refuseUnload = false;
  bool consumeF7 = false;

  SampleForm() : Form(u"SampleForm") {
    setFrame(BorderStyle::FixedSingle, false);
    setClientSize(6000, 3000);
    txt(0).Move(1000, 100, 2000, 300);
    txt(0).setTabIndex(5);
    lbl(0).Move(100, 120, 800, 180);
    lbl(0).setAlignment(Alignment::Right);
    lbl(0).setAutoSize(true);
    btnOK.setTabIndex(1);
    btnOK.setDefault(true);
    btnCancel.setTabIndex(2);
    btnCancel.setCancel(true);
    pic.Move(0, 0, 6000, 900);
    pic.setAlign(Align::Bottom);
    txt.wire([this](TextBox& box, std::int16_t i) {
      box.Change = [this, &box, i] {
        log.push_back("Change " + std::to_string(i) + " " + automation::toUtf8(box.Text()));
      };
      box.GotFocus = [this, i] { log.push_back("GotFocus " + std::to_string(i)); };
      box.LostFocus = [this, i] { log.push_back("LostFocus " + std::to_string(i)); };
      box.KeyDown = [this, i](int& code, int) {
        log.push_back("KeyDown " + std::to_string(i) + " " + std::to_string(code));
      };
    });
    btnOK.Click = [this] {
      setTag(u"OK");
      Hide();
    };
    btnCancel.Click = [this] { Hide(); };
  }

 protected:
  void Form_Load() override { log.push_back("Load"); }
  void Form_Activate() override { log.push_back("Activate"); }
  void Form_Deactivate() override { log.push_back("Deactivate"); }
  void Form_QueryUnload(bool& cancel, UnloadMode mode) override {
    log.push_back("QueryUnload " + std::to_string(static_cast<int>(mode)));
    cancel = refuseUnload;
  }
  void Form_Unload(bool&) override { log.push_back("Unload"); }
  void Form_KeyDown(int& code, int) override {
    log.push_back("Form KeyDown " + std::to_string(code));
    if (code == keys::F7 && consumeF7) code = 0;
  }
  void Form_KeyPress(int& ascii) override {
    if (ascii == 'x') ascii = 'X';  // a handler may change the character
  }
};

class FormsTest : public ::testing::Test {
 protected:
  hl::HeadlessBackend& ui = hl::installed();
  FormsTest() {
    ui.messageBoxes.clear();
    ui.clearScript();
  }
};

TEST_F(FormsTest, ControlArrayElementsCopyTheDesignAndStartHidden) {
  SampleForm f;
  f.txt(0).setFont(Font{u"宋体", 12});
  f.txt(0).setTag(u"design");
  TextBox& t2 = f.txt.Load(2);
  EXPECT_FALSE(t2.Visible());
  EXPECT_EQ(t2.Index(), 2);
  EXPECT_EQ(t2.Left(), 1000);
  EXPECT_EQ(t2.Width(), 2000);
  EXPECT_EQ(t2.font().size, 12);
  EXPECT_EQ(t2.Tag(), u"design");
  EXPECT_EQ(t2.Text(), u"");
  EXPECT_EQ(f.txt.LBound(), 0);
  EXPECT_EQ(f.txt.UBound(), 2);
  EXPECT_EQ(f.txt.Count(), 2);
  EXPECT_EQ(errorNumber([&] { f.txt.Load(2); }), automation::errors::ObjectAlreadyLoaded);
  EXPECT_EQ(errorNumber([&] { f.txt.Load(0); }), automation::errors::ObjectAlreadyLoaded);
  EXPECT_EQ(errorNumber([&] { f.txt(1); }), automation::errors::ControlArrayElementMissing);
  EXPECT_EQ(errorNumber([&] { f.txt.Unload(0); }), 362);
  // Loaded elements are wired like element 0, by every wiring: a second one adds its events.
  f.txt.wire([&f](TextBox& box, std::int16_t i) {
    box.MouseDown = [&f, i](int, int, Twips, Twips) { f.log.push_back("MouseDown " + std::to_string(i)); };
  });
  TextBox& t3 = f.txt.Load(3);
  t3.setText(u"abc");
  EXPECT_EQ(f.log.back(), "Change 3 abc");
  forms::headless::mouseDown(t3, mouse::Left);
  EXPECT_EQ(f.log.back(), "MouseDown 3");
  f.txt.Unload(3);
  t2.setText(u"abc");
  EXPECT_EQ(f.log.back(), "Change 2 abc");
  f.txt.Unload(2);
  EXPECT_EQ(f.txt.Count(), 1);
  EXPECT_EQ(errorNumber([&] { f.txt.Unload(2); }), automation::errors::ControlArrayElementMissing);
  EXPECT_EQ(f.controls().size(), 7u);  // the unloaded element left the form
}

TEST_F(FormsTest, EventsRunBeforeTheSetterReturns) {
  SampleForm f;
  f.Load();
  std::u16string seen;
  f.txt(0).Change = [&] { seen = f.txt(0).Text(); };
  f.txt(0).setText(u"42");
  EXPECT_EQ(seen, u"42");
  seen.clear();
  f.txt(0).setText(u"42");  // unchanged: no Change
  EXPECT_EQ(seen, u"");
  EXPECT_EQ(f.txt(0).SelStart(), 0);
}

TEST_F(FormsTest, APasteReplacesTheSelectionInOneChangeWithoutKeys) {
  SampleForm f;
  f.Show();
  f.txt(0).SetFocus();
  hl::type(f, u"ab");
  f.txt(0).setSelStart(1);
  f.txt(0).setSelLength(1);
  f.log.clear();
  const std::u16string pasted(100000, u'x');  // a handler that changes typed x's sees none of these
  hl::paste(f, pasted);
  EXPECT_EQ(f.txt(0).Text(), u"a" + pasted);
  EXPECT_EQ(f.txt(0).SelStart(), 100001);
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_EQ(f.log[0].substr(0, 10), "Change 0 a");
  f.btnOK.SetFocus();
  EXPECT_THROW(hl::paste(f, u"x"), std::logic_error);
  f.Unload();
}

TEST_F(FormsTest, FocusMovesWithLostFocusBeforeGotFocus) {
  SampleForm f;
  f.txt.Load(1).setVisible(true);
  f.Show();
  // Showing focused the first control in tab order: the OK button.
  EXPECT_EQ(f.ActiveControl(), &f.btnOK);
  f.txt(0).SetFocus();
  f.log.clear();
  f.txt(1).SetFocus();
  EXPECT_EQ(f.log, (std::vector<std::string>{"LostFocus 0", "GotFocus 1"}));
  f.txt(1).setVisible(false);  // hiding the focused control takes the focus away
  EXPECT_EQ(f.ActiveControl(), nullptr);
  EXPECT_EQ(errorNumber([&] { f.txt(1).SetFocus(); }), automation::errors::InvalidProcedureCall);
  hl::press(f, keys::Tab);
  EXPECT_EQ(f.ActiveControl(), &f.btnOK);
  hl::press(f, keys::Tab);
  EXPECT_EQ(f.ActiveControl(), &f.btnCancel);
  hl::press(f, keys::Tab);
  EXPECT_EQ(f.ActiveControl(), &f.txt(0));
  hl::press(f, keys::Tab, shift::Shift);
  EXPECT_EQ(f.ActiveControl(), &f.btnCancel);
  f.Unload();
}

TEST_F(FormsTest, KeyPreviewSeesKeysFirstAndMayConsumeThem) {
  SampleForm f;
  f.setKeyPreview(true);
  f.Show();
  f.txt(0).SetFocus();
  f.log.clear();
  hl::type(f, u"ax");
  EXPECT_EQ(f.txt(0).Text(), u"aX");  // the form's KeyPress changed the x
  EXPECT_EQ(f.log[0], "Form KeyDown 65");
  EXPECT_EQ(f.log[1], "KeyDown 0 65");
  f.consumeF7 = true;
  f.log.clear();
  hl::press(f, keys::F7);
  EXPECT_EQ(f.log, (std::vector<std::string>{"Form KeyDown 118"}));  // never reached the box
  hl::type(f, u"中文");
  EXPECT_EQ(f.txt(0).Text(), u"aX中文");
  hl::press(f, keys::Back);
  EXPECT_EQ(f.txt(0).Text(), u"aX中");
  f.txt(0).setSelStart(1);
  f.txt(0).setSelLength(1);
  hl::type(f, u"b");
  EXPECT_EQ(f.txt(0).Text(), u"ab中");
  EXPECT_EQ(f.txt(0).SelStart(), 2);
  f.Unload();
}

TEST_F(FormsTest, ModalShowReturnsWhenTheFormHides) {
  SampleForm f;
  ui.then([](Form& shown) {
    auto& form = static_cast<SampleForm&>(shown);
    form.txt(0).SetFocus();
    hl::type(form, u"12");
    hl::press(form, keys::Return);  // the default button
  });
  f.Show(true);
  EXPECT_EQ(f.Tag(), u"OK");
  EXPECT_EQ(f.txt(0).Text(), u"12");
  EXPECT_FALSE(f.Visible());
  EXPECT_TRUE(f.isLoaded());
  ui.then([](Form& shown) { hl::press(shown, keys::Escape); });
  f.setTag(u"");
  f.Show(true);
  EXPECT_EQ(f.Tag(), u"");
  f.Unload();
}

TEST_F(FormsTest, NestedModalLoopsAndActivation) {
  SampleForm outer;
  SampleForm popup;
  ui.then([&](Form&) {
    ui.then([&](Form& inner) {
      EXPECT_EQ(&inner, &popup);
      EXPECT_EQ(activeForm(), &popup);
      inner.Unload();
    });
    popup.Show(true);
    EXPECT_FALSE(popup.isLoaded());
    EXPECT_EQ(activeForm(), &outer);
    outer.Hide();
  });
  outer.Show(true);
  EXPECT_EQ(outer.log,
            (std::vector<std::string>{"Load", "Activate", "Deactivate", "Activate", "Deactivate"}));
  EXPECT_EQ(popup.log,
            (std::vector<std::string>{"Load", "Activate", "QueryUnload 1", "Unload", "Deactivate"}));
  outer.Unload();
  // A modal loop with nothing left to do fails instead of hanging.
  SampleForm stuck;
  EXPECT_EQ(errorNumber([&] { stuck.Show(true); }), automation::errors::InvalidProcedureCall);
  stuck.Unload();
}

TEST_F(FormsTest, UnloadCanBeRefusedAndLeavesTheLoadedList) {
  const std::size_t before = loadedForms().size();
  SampleForm f;
  f.Load();
  EXPECT_EQ(loadedForms().size(), before + 1);
  f.refuseUnload = true;
  EXPECT_FALSE(f.Unload(UnloadMode::CloseBox));
  EXPECT_TRUE(f.isLoaded());
  f.refuseUnload = false;
  EXPECT_TRUE(f.Unload());
  EXPECT_EQ(loadedForms().size(), before);
}

TEST_F(FormsTest, GeometryInTwips) {
  SampleForm f;
  EXPECT_EQ(f.frameLeft(), 60);
  EXPECT_EQ(f.frameTop(), 60);  // no title bar
  EXPECT_EQ(f.Width(), 6120);
  EXPECT_EQ(f.ScaleHeight(), 3000);
  f.Load();
  // The bottom-docked panel spans the client width and follows the height.
  EXPECT_EQ(f.pic.Top(), 2100);
  f.setHeight(f.Height() + 330);
  EXPECT_EQ(f.pic.Top(), 2430);
  EXPECT_EQ(f.pic.Width(), 6000);
  f.inPic.Move(100, 50, 10, 10);
  EXPECT_EQ(f.inPic.clientTop(), 2480);
  // Auto-sized, right-aligned: the right edge stays at 900 (9 pt: half an em per Latin letter).
  f.lbl(0).setCaption(u"ab");
  EXPECT_EQ(f.lbl(0).Width(), 180);
  EXPECT_EQ(f.lbl(0).Left(), 720);
  f.lbl(0).setCaption(u"参数名");
  EXPECT_EQ(f.lbl(0).Width(), 540);
  EXPECT_EQ(f.lbl(0).Left() + f.lbl(0).Width(), 900);
  EXPECT_EQ(f.TextWidth(u"A中"), 270);
  f.Unload();
}

TEST_F(FormsTest, ACentredFormIsPlacedOnceAndStartsEachLoadWithAnEmptyTag) {
  SampleForm f;
  f.setCentered(true);
  f.Show();
  EXPECT_EQ(f.Left(), std::round((backend().screenWidth() - f.Width()) / 2));
  EXPECT_EQ(f.Top(), std::round((backend().screenHeight() - f.Height()) / 2));
  f.setLeft(100);  // moved by the user: showing again keeps the place
  f.Hide();
  f.Show();
  EXPECT_EQ(f.Left(), 100);
  f.setTag(u"OK");
  f.Unload();
  EXPECT_EQ(f.Tag(), u"");
}

TEST_F(FormsTest, AWordWrappingLabelGrowsDownwards) {
  Form f(u"f");
  Label note(f, u"note");
  note.Move(0, 0, 900, 180);  // ten Latin letters a line at 9 pt
  note.setWordWrap(true);
  note.setAutoSize(true);
  note.setCaption(std::u16string(25, u'x'));
  EXPECT_EQ(note.Width(), 900);
  EXPECT_EQ(note.Height(), 3 * 180);
}

TEST_F(FormsTest, ListBoxSortsAndSelectingRaisesClick) {
  Form f(u"f");
  ListBox lst(f, u"lst");
  int clicks = 0;
  lst.Click = [&] { ++clicks; };
  lst.setSorted(true);
  for (const char16_t* s : {u"beta", u"Alpha", u"gamma", u"alpha"}) lst.AddItem(s);
  EXPECT_EQ(lst.items(), (std::vector<std::u16string>{u"Alpha", u"alpha", u"beta", u"gamma"}));
  lst.AddItem(u"zz-first", 0);
  EXPECT_EQ(lst.List(0), u"zz-first");
  lst.setListIndex(2);
  lst.setListIndex(2);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(lst.Text(), u"alpha");
  EXPECT_EQ(errorNumber([&] { lst.setListIndex(5); }), 380);
  EXPECT_EQ(errorNumber([&] { lst.List(5); }), 381);
  lst.Clear();
  EXPECT_EQ(lst.ListIndex(), -1);
  EXPECT_EQ(lst.Text(), u"");

  // A long sorted list filled at once keeps the order and the selection of one filled entry by entry.
  lst.AddItem(u"m");
  lst.setListIndex(0);
  for (int i = 0; i < 200; ++i) lst.AddItem(std::u16string(1, static_cast<char16_t>(u'a' + (i * 7) % 26)));
  EXPECT_TRUE(std::is_sorted(lst.items().begin(), lst.items().end()));
  EXPECT_EQ(lst.Text(), u"m");
  EXPECT_EQ(lst.List(lst.ListIndex() - 1), u"l");
}

TEST_F(FormsTest, ScrollBarKeepsItsValueInRange) {
  Form f(u"f");
  VScrollBar vs(f, u"vs");
  std::vector<std::int32_t> changes;
  vs.Change = [&] { changes.push_back(vs.Value()); };
  vs.setMax(12);
  vs.setValue(12);
  vs.setValue(12);
  vs.setMax(3);  // pulls the value in
  EXPECT_EQ(changes, (std::vector<std::int32_t>{12, 3}));
  EXPECT_EQ(errorNumber([&] { vs.setValue(4); }), 380);
  EXPECT_EQ(errorNumber([&] { vs.setValue(-1); }), 380);
  vs.setMin(5);  // Min above Max is a reversed range
  EXPECT_EQ(vs.Value(), 3);
  vs.setValue(5);
  EXPECT_EQ(vs.Value(), 5);
}

TEST_F(FormsTest, TimersTickOnlyWhenRunning) {
  SampleForm f;
  int ticks = 0;
  f.timer.OnTimer = [&] { ++ticks; };
  hl::fireTimers(f);
  f.timer.setEnabled(true);
  hl::fireTimers(f);  // no interval yet
  f.timer.setInterval(55);
  hl::fireTimers(f);
  f.timer.setEnabled(false);
  hl::fireTimers(f);
  EXPECT_EQ(ticks, 1);
}

TEST_F(FormsTest, PopupMenuChoosesAnEntry) {
  Form f(u"f");
  Menu top(f, u"mnu_Sort");
  Menu up(f, u"mnu_Sort_Up", &top);
  Menu sep(f, u"mnu_sep1", &top);
  Menu hidden(f, u"mnu_Hidden", &top);
  sep.setCaption(u"-");
  hidden.setVisible(false);
  int chosen = 0;
  up.Click = [&] { ++chosen; };
  hidden.Click = [&] { chosen += 100; };
  ui.menuChoices = {u"mnu_Sort_Up", u"mnu_Hidden"};
  f.PopupMenu(top, 0, 0);
  f.PopupMenu(top, 0, 0);
  f.PopupMenu(top, 0, 0);  // nothing chosen
  ui.menuChoices = {u"mnu_Sort_Up"};
  f.PopupMenu(top);  // at the mouse
  EXPECT_EQ(chosen, 2);
  EXPECT_EQ(ui.shownMenus.size(), 4u);
  EXPECT_TRUE(sep.isSeparator());
  ui.shownMenus.clear();
}

TEST_F(FormsTest, ListViewSortsByColumnTextAndKeepsTheSelection) {
  Form f(u"f");
  ListView lvw(f, u"lvw");
  lvw.Move(0, 0, 4650, 3210);
  lvw.addColumn(u"code");
  lvw.addColumn(u"name");
  const std::vector<std::pair<std::u16string, std::u16string>> rows = {
      {u"1002", u"bank"}, {u"1001", u"Cash"}, {u"2201", u"apple"}};
  for (const auto& [code, name] : rows) lvw.addSubItem(lvw.addItem(code), name);
  lvw.select(0);  // 1002
  lvw.setSortKey(1);
  lvw.setSortOrder(SortOrder::Ascending);
  lvw.setSorted(true);
  EXPECT_EQ(lvw.item(0).text, u"2201");  // apple, bank, Cash: letter case aside
  EXPECT_EQ(lvw.item(2).text, u"1001");
  EXPECT_EQ(lvw.item(lvw.selectedIndex()).text, u"1002");
  lvw.setSortKey(0);
  lvw.setSortOrder(SortOrder::Descending);
  EXPECT_EQ(lvw.item(0).text, u"2201");
  EXPECT_EQ(lvw.item(2).text, u"1001");
  EXPECT_EQ(errorNumber([&] { lvw.item(3); }), 35600);
}

TEST_F(FormsTest, ListViewHitTestAndScrolling) {
  Form f(u"f");
  ListView lvw(f, u"lvw");
  lvw.Move(0, 0, 3000, 240 * 5);
  lvw.addColumn(u"a");
  lvw.setColumnWidth(0, 1000);
  std::vector<ListView::Item> items;
  for (int i = 0; i < 20; ++i)
    items.push_back({u"row" + std::u16string(1, static_cast<char16_t>(u'a' + i)), {}, 0});
  lvw.setItems(std::move(items));
  EXPECT_EQ(lvw.rowHeight(), 240);      // 9 pt
  EXPECT_EQ(lvw.visibleRows(), 4);      // one row's height goes to the headers
  EXPECT_EQ(lvw.HitTest(10, 100), -1);  // on the headers
  EXPECT_EQ(lvw.HitTest(10, 250), 0);
  EXPECT_EQ(lvw.HitTest(10, 240 * 4 + 10), 3);
  EXPECT_EQ(lvw.HitTest(2000, 250), -1);  // right of the only column
  lvw.setHideColumnHeaders(true);
  EXPECT_EQ(lvw.HitTest(10, 100), 0);
  lvw.EnsureVisible(12);
  EXPECT_EQ(lvw.topIndex(), 8);
  EXPECT_EQ(lvw.HitTest(10, 10), 8);
  lvw.EnsureVisible(2);
  EXPECT_EQ(lvw.topIndex(), 2);
  lvw.setFontSize(16);
  EXPECT_EQ(lvw.rowHeight(), 435);
  bool refused = false;
  lvw.BeforeLabelEdit = [&](bool& cancel) { cancel = refused = true; };
  EXPECT_FALSE(lvw.requestLabelEdit());
  EXPECT_TRUE(refused);
}

TEST_F(FormsTest, HeadlessPlatformServicesAreRecordedAndSettable) {
  ui.beeps = 0;
  backend().beep();
  backend().messageBox(u"text", u"title", MessageIcon::Warning);
  EXPECT_EQ(ui.beeps, 1);
  ASSERT_EQ(ui.messageBoxes.size(), 1u);
  EXPECT_EQ(ui.messageBoxes[0].title, u"title");
  ui.cursor = {100, 200};
  EXPECT_EQ(backend().cursorPos().y, 200);
  ui.keysDown = {keys::Shift};
  EXPECT_TRUE(backend().isKeyDown(keys::Shift));
  EXPECT_FALSE(backend().isKeyDown(keys::Control));
  ui.keysDown.clear();
  EXPECT_EQ(backend().twipsPerPixelX(), 15);
}

// An object of another component on a form: created by ProgID when first used, called by number
// or by name, its events relayed to the form's handler.
class Counter final : public automation::Dispatch, public automation::EventSource {
 public:
  const automation::DispatchTable& dispatchTable() const override {
    using automation::Args;
    static const automation::DispatchTable table =
        automation::DispatchTable::Builder<Counter>(u"Counter")
            .method(u"Add", 7, {automation::byVal(u"By", automation::VarType::Long)},
                    automation::VarType::Long,
                    [](Counter& self, Args& a) {
                      self.total_ += a[0].asLong();
                      automation::Variant total(self.total_), veto(false);
                      Args event({&total, &veto});
                      self.raiseEvent(u"Changed", event);
                      if (veto.asBoolean()) self.total_ = 0;
                      return automation::Variant(self.total_);
                    })
            .build();
    return table;
  }

 private:
  std::int32_t total_ = 0;
};

TEST_F(FormsTest, AHostedObjectIsCalledAndItsEventsReachTheForm) {
  automation::ScopedClass registered(u"Test.Counter", [] { return std::make_shared<Counter>(); });
  Form f(u"frmHost");
  ObjectControl counter(f, u"ctlCounter", u"Test.Counter");
  ObjectControl missing(f, u"ctlMissing", u"Test.Missing");
  std::vector<std::int32_t> seen;
  counter.Event = [&](std::u16string_view event, automation::Args& args) {
    if (event == u"Changed") seen.push_back(args[0].asLong());
    if (args[0].asLong() > 10) args[1] = automation::Variant(true);  // by reference: the object sees it
  };
  EXPECT_FALSE(counter.created());
  automation::Variant two[] = {automation::Variant(2)};
  EXPECT_EQ(counter.invoke(7, automation::InvokeKind::Method, two), automation::Variant(2));
  automation::Variant twenty[] = {automation::Variant(20)};
  EXPECT_EQ(counter.invoke(u"add", automation::InvokeKind::Method, twenty), automation::Variant(0));
  EXPECT_EQ(seen, (std::vector<std::int32_t>{2, 22}));
  EXPECT_EQ(errorNumber([&] { missing.object(); }), automation::errors::CannotCreateObject);
  EXPECT_FALSE(f.Visible());  // hosting an object shows nothing
}

}  // namespace
