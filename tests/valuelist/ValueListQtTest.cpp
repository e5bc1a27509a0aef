// The value-list popup in Qt windows (run with QT_QPA_PLATFORM=offscreen): a frameless popup right
// under the row's text box, driven by real key and mouse events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "automation/VariantArray.h"
#include "forms/qt/QtBackend.h"
#include "valuelist/frmInformation.h"

namespace {

using automation::Variant;
using forms::qt::widgetOf;
using forms::qt::windowOf;
using valuelist::frmInformation;

class Host final : public forms::Form {
 public:
  forms::ControlArray<forms::TextBox> txtParam{*this, u"txtParam"};
  Host() : Form(u"Host") {
    setFrame(forms::BorderStyle::FixedSingle, false);
    setClientSize(9000, 5000);
    Move(1500, 900, Width(), Height());
    txtParam(0).Move(2205, 480, 2130, 300);
  }
};

Variant accounts() {
  automation::VariantArray cells({{0, 4}, {0, 1}});
  const char16_t* rows[][2] = {
      {u"代码", u"名称"}, {u"1001", u"现金"}, {u"1002", u"银行存款"}, {u"1122", u"应收账款"}, {u"", u""}};
  for (std::int32_t r = 0; r < 5; ++r) {
    for (std::int32_t c = 0; c < 2; ++c) cells(r, c) = Variant(rows[r][c]);
  }
  return Variant(std::move(cells));
}

class ValueListQtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = forms::setBackend(std::make_unique<forms::qt::QtBackend>());
    host_ = std::make_unique<Host>();
    host_->Show();
    host_->txtParam(0).setText(u"AB");
    host_->txtParam(0).setSelStart(2);
  }
  void TearDown() override {
    host_->Unload();
    host_.reset();
    forms::setBackend(std::move(previous_));
  }
  // Shows the popup modally and acts in it once its window is up.
  void showAndAct(frmInformation& popup, std::function<void()> user) {
    popup.tempVar = accounts();
    QTimer::singleShot(0, std::move(user));
    popup.Show(true);
  }
  Host& host() { return *host_; }
  // Where a popup over the row opens, and where the row's box is, both on the screen; Esc closes it.
  std::pair<QRect, QRect> placeOfPopup() {
    frmInformation popup(host(), host().txtParam);
    QRect placed, box;
    showAndAct(popup, [&] {
      placed = windowOf(popup)->geometry();
      QWidget* edit = widgetOf(host().txtParam(0));
      box = QRect(edit->mapToGlobal(QPoint(0, 0)), edit->size());
      QTest::keyClick(widgetOf(popup.lvwInformation), Qt::Key_Escape);
    });
    return {placed, box};
  }

 private:
  std::unique_ptr<forms::Backend> previous_;
  std::unique_ptr<Host> host_;
};

TEST_F(ValueListQtTest, ThePopupIsAFramelessWindowUnderTheCaretAndEnterPicks) {
  frmInformation popup(host(), host().txtParam);
  QRect placed, box;
  Qt::WindowFlags flags;
  int rows = 0;
  showAndAct(popup, [&] {
    QWidget* window = windowOf(popup);
    ASSERT_NE(window, nullptr);
    placed = window->geometry();
    flags = window->windowFlags();
    QWidget* edit = widgetOf(host().txtParam(0));
    box = QRect(edit->mapToGlobal(QPoint(0, 0)), edit->size());
    auto* view = qobject_cast<QTreeView*>(widgetOf(popup.lvwInformation));
    ASSERT_NE(view, nullptr);
    QApplication::processEvents();  // the view is filled when the loop runs
    rows = view->model()->rowCount();
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
  });
  EXPECT_FALSE(popup.isLoaded());
  EXPECT_EQ(host().txtParam(0).Text(), u"AB1002");
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Popup);
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  const auto& qt = static_cast<const forms::qt::QtBackend&>(forms::backend());
  EXPECT_EQ(placed, QRect(qt.pixelsX(popup.Left()), qt.pixelsY(popup.Top()), qt.pixelsX(popup.Width()),
                          qt.pixelsY(popup.Height())));
  // On the screen: right below the box, at the caret after "AB" (a pixel of rounding aside).
  EXPECT_NEAR(placed.top(), box.bottom() + 1, 1);
  EXPECT_NEAR(placed.left(), box.left() + qt.metrics(host().txtParam(0).font()).horizontalAdvance("AB"), 1);
}

TEST_F(ValueListQtTest, ThePopupFollowsAHostTheWindowSystemMoved) {
  // As a window manager moves a window: the window moves, the form is not asked.
  windowOf(host())->move(windowOf(host())->pos() + QPoint(130, 70));
  QApplication::processEvents();
  const auto [placed, box] = placeOfPopup();
  EXPECT_NEAR(placed.top(), box.bottom() + 1, 1);
  const auto& qt = static_cast<const forms::qt::QtBackend&>(forms::backend());
  EXPECT_NEAR(placed.left(), box.left() + qt.metrics(host().txtParam(0).font()).horizontalAdvance("AB"), 1);
}

TEST_F(ValueListQtTest, AClickOutsideClosesThePopupWithoutAChange) {
  frmInformation popup(host(), host().txtParam);
  showAndAct(popup, [&] {
    // A press on the host's window, as the window system delivers it while the popup is up.
    QTest::mouseClick(windowOf(host())->windowHandle(), Qt::LeftButton, {}, QPoint(20, 20));
  });
  EXPECT_FALSE(popup.isLoaded());
  EXPECT_EQ(host().txtParam(0).Text(), u"AB");
}

TEST_F(ValueListQtTest, ARightClickSortsByTheColumnAsDrawn) {
  frmInformation popup(host(), host().txtParam);
  std::vector<std::u16string> order;
  showAndAct(popup, [&] {
    auto* view = qobject_cast<QTreeView*>(widgetOf(popup.lvwInformation));
    ASSERT_NE(view, nullptr);
    QApplication::processEvents();
    // Just inside the right end of the first column as drawn: what lies beyond the text's own
    // margin is still that column.
    const QPoint at(view->header()->sectionSize(0) - 2, view->visualRect(view->model()->index(0, 0)).center().y());
    QTimer::singleShot(50, [] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      menu->setActiveAction(menu->actions().at(1));  // 降序
      QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, at);
    for (std::int32_t i = 0; i < popup.lvwInformation.itemCount(); ++i)
      order.push_back(popup.lvwInformation.item(i).text);
    QTest::keyClick(view, Qt::Key_Escape);
  });
  EXPECT_EQ(order, (std::vector<std::u16string>{u"1122", u"1002", u"1001"}));
}

TEST_F(ValueListQtTest, APopupNearTheScreensEdgeOpensAboveTheRowAndStaysOnTheScreen) {
  const auto& qt = static_cast<const forms::qt::QtBackend&>(forms::backend());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  // The row's box ends 10 pixels above the screen's bottom and 30 pixels before its right edge.
  host().Move(qt.twipsX(screen.width()) - host().Width(), qt.twipsY(screen.height()) - host().Height(),
              host().Width(), host().Height());
  host().txtParam(0).Move(host().ScaleWidth() - 2130 - qt.twipsX(30), host().ScaleHeight() - 300 - qt.twipsY(10),
                          2130, 300);
  const auto [placed, box] = placeOfPopup();
  EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                       << placed.height();
  EXPECT_NEAR(placed.bottom() + 1, box.top(), 1);  // above the row
}

}  // namespace
