// The dialog toolkit on the Qt backend (run with QT_QPA_PLATFORM=offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "component/SharedHelpers.h"
#include "editor/FrmCalcEqual.h"
#include "forms/ControlArray.h"
#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/ListView.h"
#include "forms/ObjectControl.h"
#include "forms/qt/QtBackend.h"
#include "support/FakeCatalogue.h"
#include "support/Fakes.h"

namespace {

using namespace forms;
using forms::qt::widgetOf;
using forms::qt::windowOf;

class SmallForm : public Form {
 public:
  ControlArray<TextBox> txt{*this, u"txt"};
  ControlArray<Label> lbl{*this, u"lbl"};
  CommandButton btnOK{*this, u"btnOK"};
  ListView lvw{*this, u"lvw"};
  std::vector<std::u16string> changes;
  std::vector<std::string> keys;

  SmallForm() : Form(u"SmallForm") {
    setFrame(BorderStyle::FixedSingle, false);
    setClientSize(6000, 4000);
    setKeyPreview(true);
    txt(0).Move(1000, 100, 2000, 300);
    lbl(0).Move(100, 120, 800, 180);
    btnOK.Move(4000, 3500, 1200, 300);
    lvw.Move(100, 600, 5000, 2500);
    txt.wire([this](TextBox& box, std::int16_t) {
      box.Change = [this, &box] { changes.push_back(box.Text()); };
      box.KeyDown = [this](int& code, int) { keys.push_back("box " + std::to_string(code)); };
    });
    btnOK.Click = [this] {
      setTag(u"OK");
      Hide();
    };
  }

 protected:
  void Form_KeyDown(int& code, int) override {
    keys.push_back("form " + std::to_string(code));
    if (code == keys::Return) {
      code = 0;
      btnOK.press();
    }
  }
};

class QtFormsTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = setBackend(std::make_unique<forms::qt::QtBackend>()); }
  void TearDown() override { setBackend(std::move(previous_)); }

 private:
  std::unique_ptr<Backend> previous_;
};

TEST_F(QtFormsTest, ControlsBecomeWidgetsAtTheirTwipsGeometry) {
  SmallForm f;
  f.Show();
  f.lbl(0).setCaption(u"参数");
  auto* label = qobject_cast<QLabel*>(widgetOf(f.lbl(0)));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QStringLiteral("参数"));
  const double tpp = backend().twipsPerPixelX();
  EXPECT_EQ(widgetOf(f.txt(0))->geometry(), QRect(std::lround(1000 / tpp), std::lround(100 / tpp),
                                                  std::lround(2000 / tpp), std::lround(300 / tpp)));
  TextBox& t1 = f.txt.Load(1);
  EXPECT_FALSE(widgetOf(t1)->isVisible());
  t1.setVisible(true);
  EXPECT_TRUE(widgetOf(t1)->isVisible());
  // The design font is drawn with a CJK font that has the glyphs.
  const QFont font = widgetOf(f.lbl(0))->font();
  EXPECT_TRUE(QFontMetricsF(font).inFontUcs4(U'参'));
  f.Unload();
}

TEST_F(QtFormsTest, TypingRaisesChangeAndEnterReachesTheFormFirst) {
  SmallForm f;
  f.Show();
  f.txt(0).SetFocus();
  auto* edit = qobject_cast<QLineEdit*>(widgetOf(f.txt(0)));
  ASSERT_NE(edit, nullptr);
  QTest::keyClicks(edit, "ab");
  QKeyEvent chinese(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("中"));
  QApplication::sendEvent(edit, &chinese);
  EXPECT_EQ(f.txt(0).Text(), u"ab中");
  EXPECT_EQ(f.changes, (std::vector<std::u16string>{u"a", u"ab", u"ab中"}));
  EXPECT_EQ(f.txt(0).SelStart(), 3);
  f.keys.clear();
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(f.keys, (std::vector<std::string>{"form 13"}));  // consumed before the box saw it
  EXPECT_EQ(f.Tag(), u"OK");
  EXPECT_FALSE(f.Visible());
  // Text set by code reaches the widget without a second Change from it.
  f.txt(0).setText(u"xyz");
  EXPECT_EQ(edit->text(), QStringLiteral("xyz"));
  EXPECT_EQ(f.changes.back(), u"xyz");
  f.Unload();
}

TEST_F(QtFormsTest, ModalShowReturnsWhenTheFormHides) {
  SmallForm f;
  QWidget* modal = nullptr;
  QTimer::singleShot(0, [&] {
    modal = QApplication::activeModalWidget();  // the other windows are blocked while it is up
    f.txt(0).SetFocus();
    QTest::keyClicks(widgetOf(f.txt(0)), "42");
    QTest::keyClick(widgetOf(f.txt(0)), Qt::Key_Return);
  });
  f.Show(true);
  EXPECT_EQ(modal, forms::qt::windowOf(f));
  EXPECT_EQ(f.Tag(), u"OK");
  EXPECT_EQ(f.txt(0).Text(), u"42");
  f.Unload();
}

TEST_F(QtFormsTest, AFormThatOnlyHostsObjectsStaysHidden) {
  // A hidden form of the component (as the reference form is) loads and works without a window
  // ever appearing.
  Form hidden(u"frmHidden");
  ObjectControl control(hidden, u"ctlObject", u"Test.Nothing");
  hidden.Load();
  QApplication::processEvents();
  EXPECT_FALSE(hidden.Visible());
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  hidden.Unload();
}

TEST_F(QtFormsTest, TheWindowOfAGoneDialogHearsNothingMore) {
  SmallForm host;
  host.Show();
  QPointer<QWidget> goneWindow;
  {
    SmallForm dialog;
    QTimer::singleShot(0, [&] { dialog.btnOK.press(); });
    dialog.Show(true);
    goneWindow = windowOf(dialog);
    ASSERT_TRUE(goneWindow);
    dialog.Unload();
    EXPECT_EQ(windowOf(dialog), nullptr);
  }  // the dialog object is gone; its window waits for a deferred delete
  ASSERT_TRUE(goneWindow);
  EXPECT_FALSE(goneWindow->isVisible());
  // Events that still reach the old window (activation moving, keys, a close) find no dialog to
  // call into: under the sanitizers a stale handler shows as a use after free.
  SmallForm next;
  next.Show();
  QTest::keyClick(goneWindow, Qt::Key_Return);
  goneWindow->close();
  QApplication::processEvents();
  EXPECT_TRUE(host.keys.empty());
  EXPECT_TRUE(next.keys.empty());
  next.Unload();
  host.Unload();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(goneWindow.isNull());  // the window itself is deleted, not leaked
}

TEST_F(QtFormsTest, ListViewShowsTheModelsRows) {
  SmallForm f;
  f.Show();
  f.lvw.addColumn(u"科目");
  f.lvw.addColumn(u"名称");
  for (int i = 0; i < 1000; ++i) {
    const auto row = f.lvw.addItem(u"row" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)));
    f.lvw.addSubItem(row, u"名称");
  }
  f.lvw.select(5);
  auto* view = qobject_cast<QTreeView*>(widgetOf(f.lvw));
  ASSERT_NE(view, nullptr);
  QApplication::processEvents();
  EXPECT_EQ(view->model()->rowCount(), 1000);
  EXPECT_EQ(view->model()->index(3, 1).data().toString(), QStringLiteral("名称"));
  EXPECT_EQ(view->currentIndex().row(), 5);
  f.Unload();
}

TEST_F(QtFormsTest, MouseScrollAndListSelectionComeBackAsEvents) {
  SmallForm f;
  ListBox lst(f, u"lst");
  VScrollBar vs(f, u"vs");
  lst.Move(100, 3200, 2000, 600);
  vs.Move(5500, 100, 285, 1500);
  f.Show();
  std::vector<std::string> seen;
  f.lbl(0).setCaption(u"名称");
  f.lbl(0).MouseDown = [&](int button, int, Twips, Twips) {
    seen.push_back("down " + std::to_string(button));
  };
  f.lbl(0).Click = [&] { seen.push_back("click"); };
  f.lbl(0).DblClick = [&] { seen.push_back("dblclick"); };
  QWidget* label = widgetOf(f.lbl(0));
  // A double click: the first click, then the double-click event and its release (no second Click).
  QTest::mouseClick(label, Qt::LeftButton);
  QTest::mouseDClick(label, Qt::LeftButton);
  QTest::mouseClick(label, Qt::RightButton);
  EXPECT_EQ(seen, (std::vector<std::string>{"down 1", "click", "dblclick", "down 2"}));

  int clicks = 0;
  lst.Click = [&] { ++clicks; };
  for (const char16_t* s : {u"甲", u"乙", u"丙"}) lst.AddItem(s);
  QApplication::processEvents();  // the widget is filled once, when the loop runs
  auto* list = qobject_cast<QListWidget*>(widgetOf(lst));
  EXPECT_EQ(list->count(), 3);
  list->setCurrentRow(2);  // as the user's click does
  EXPECT_EQ(lst.ListIndex(), 2);
  EXPECT_EQ(clicks, 1);
  lst.setListIndex(0);  // and the other way
  EXPECT_EQ(list->currentRow(), 0);

  int changes = 0;
  vs.Change = [&] { ++changes; };
  vs.setMax(12);
  auto* bar = qobject_cast<QScrollBar*>(widgetOf(vs));
  EXPECT_EQ(bar->maximum(), 12);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(vs.Value(), bar->value());
  EXPECT_EQ(changes, 1);
  f.Unload();
}

// A popup window that stays up when deactivated, recording what reaches it.
class PopupForm : public Form {
 public:
  std::vector<std::string> log;
  PopupForm() : Form(u"PopupForm") {
    setFrame(BorderStyle::None, false);
    setPopupWindow(true);
    Move(1500, 3000, 3000, 1500);
  }

 protected:
  void Form_Deactivate() override { log.push_back("Deactivate"); }
  void Form_MouseDown(int button, int, Twips x, Twips y) override {
    log.push_back("MouseDown " + std::to_string(button) + " " + std::to_string(std::lround(x)) + " " +
                  std::to_string(std::lround(y)));
  }
};

TEST_F(QtFormsTest, APopupWindowIsFramelessAtItsPlaceAndAPressOutsideDeactivatesIt) {
  SmallForm host;
  host.Show();
  PopupForm popup;
  popup.Show();
  QWidget* window = windowOf(popup);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowType(), Qt::Popup);
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
  const double tpp = backend().twipsPerPixelX();
  EXPECT_EQ(window->geometry(), QRect(std::lround(1500 / tpp), std::lround(3000 / tpp),
                                      std::lround(3000 / tpp), std::lround(1500 / tpp)));
  QTest::mouseClick(window, Qt::RightButton, {}, QPoint(10, 4));
  EXPECT_EQ(popup.log, (std::vector<std::string>{"MouseDown 2 " + std::to_string(std::lround(10 * tpp)) +
                                                 " " + std::to_string(std::lround(4 * tpp))}));
  // A press on the host while the popup is up: the popup is deactivated and decides for itself.
  popup.log.clear();
  QTest::mouseClick(windowOf(host)->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(popup.log, (std::vector<std::string>{"Deactivate"}));
  EXPECT_TRUE(popup.isLoaded());
  EXPECT_TRUE(window->isVisible());
  popup.Unload();
  host.Unload();
}

TEST_F(QtFormsTest, AMenuPopsUpAtTheMouseAndAListViewKeepsItsOwnFontAndKeys) {
  SmallForm f;
  Menu top(f, u"mnu");
  Menu first(f, u"mnu_First", &top);
  Menu second(f, u"mnu_Second", &top);
  first.setCaption(u"第一");
  second.setCaption(u"第二");
  std::string chosen;
  first.Click = [&] { chosen = "first"; };
  second.Click = [&] { chosen = "second"; };
  f.Show();
  QCursor::setPos(300, 200);
  QPoint shownAt;
  QTimer::singleShot(0, [&] {
    QWidget* menu = QApplication::activePopupWidget();
    ASSERT_NE(menu, nullptr);
    shownAt = menu->pos();
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  f.PopupMenu(top);
  EXPECT_EQ(shownAt, QPoint(300, 200));
  EXPECT_EQ(chosen, "second");

  f.Unload();

  Form g(u"g");
  ListView list(g, u"list");
  list.Move(0, 0, 3000, 2000);
  g.Show();
  for (int i = 0; i < 3; ++i) list.addItem(u"行");
  auto* view = qobject_cast<QTreeView*>(widgetOf(list));
  list.setFontSize(16);
  g.setFont(Font{u"宋体", 12});  // the form's font changes; the list's stays
  QApplication::processEvents();
  EXPECT_EQ(view->font().pointSizeF(), 16);
  EXPECT_EQ(view->visualRect(view->model()->index(0, 0)).height(),
            std::lround(list.rowHeight() / backend().twipsPerPixelY()));
  std::vector<int> typed;
  list.KeyPress = [&](int& keyAscii) { typed.push_back(keyAscii); };
  QTest::keyClick(view, Qt::Key_Return);
  QTest::keyClick(view, Qt::Key_Space);
  EXPECT_EQ(typed, (std::vector<int>{13, 32}));
  g.Unload();
}

TEST_F(QtFormsTest, MessageBoxIsARealDialog) {
  QString seen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = box->windowTitle() + "|" + box->text();
    box->accept();
  });
  backend().messageBox(u"当前参数没有可选值！", u"提示", MessageIcon::Warning);
  EXPECT_EQ(seen, QStringLiteral("提示|当前参数没有可选值！"));
}

TEST_F(QtFormsTest, ShowWarningShowsARealWarningBox) {
  QString seen;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = box->windowTitle() + "|" + box->text();
    icon = box->icon();
    box->accept();
  });
  component::ShowWarning(u"函数不支持");
  // No language component here: the title falls back to its Simplified Chinese key.
  EXPECT_EQ(seen, QStringLiteral("Torvane提示|函数不支持"));
  EXPECT_EQ(icon, QMessageBox::Warning);
}

TEST_F(QtFormsTest, TheEditorComposesWhatIsTypedAndEnterConfirms) {
  fakes::FakeEnvironment env;
  fakes::FakeCatalogue catalogue;
  catalogue.add(fakes::FakeFunction{u"FN", true, 0, {{u"科目", 8}, {u"年度", 3}, {u"含未记账", 11}}});
  editor::FrmCalcEqual editor;
  editor.Load();
  ASSERT_TRUE(editor.RefreshFunc(u"FN"));
  QString shown;
  QTimer::singleShot(0, [&] {
    // Keys go where the editor's focus is (offscreen windows are never active, so Qt's own focus
    // widget is not set): the first row, then wherever Tab moved it.
    const auto focused = [&] { return widgetOf(*editor.ActiveControl()); };
    ASSERT_EQ(focused(), widgetOf(editor.txtParam(0)));
    QTest::keyClicks(focused(), "abc");
    QTest::keyClick(focused(), Qt::Key_Tab);
    QTest::keyClicks(focused(), "2024");
    QTest::keyClick(focused(), Qt::Key_Tab);
    QTest::keyClicks(focused(), "1");
    shown = qobject_cast<QLabel*>(widgetOf(editor.lblFuncName))->text();
    QTest::keyClick(focused(), Qt::Key_Return);
  });
  editor.Show(true);
  EXPECT_EQ(shown, QStringLiteral("FN(\"ABC\",2024,TRUE)"));
  EXPECT_EQ(editor.Tag(), u"OK");
  EXPECT_EQ(editor.m_sFormula, u"FN(\"ABC\",2024,TRUE)");
  editor.Unload();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
