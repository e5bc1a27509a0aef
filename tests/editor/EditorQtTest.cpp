// The formula editor in Qt windows (run with QT_QPA_PLATFORM=offscreen): a long text pasted into a
// row is one edit, and the formula above the rows shows it whole.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include "automation/Text.h"
#include "editor/FrmCalcEqual.h"
#include "forms/qt/QtBackend.h"
#include "support/FakeCatalogue.h"
#include "support/Fakes.h"

namespace {

using automation::Variant;

class EditorQtTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = forms::setBackend(std::make_unique<forms::qt::QtBackend>()); }
  void TearDown() override {
    if (editor.isLoaded()) editor.Unload();
    forms::setBackend(std::move(previous_));
  }

  fakes::FakeEnvironment env;
  fakes::FakeCatalogue catalogue;
  editor::FrmCalcEqual editor;

 private:
  std::unique_ptr<forms::Backend> previous_;
};

TEST_F(EditorQtTest, AMegabytePastedIntoARowIsOneEdit) {
  catalogue.add(fakes::FakeFunction{u"NOTE", true, 2, {{u"文本", 8, Variant{}}, {u"数值", 5, Variant{}}}});
  editor.Load();
  ASSERT_TRUE(editor.RefreshFunc(u"NOTE"));
  editor.Show();
  editor.txtParam(0).SetFocus();
  int changes = 0;
  const auto change = editor.txtParam(0).Change;
  editor.txtParam(0).Change = [&] {
    ++changes;
    change();
  };
  auto* box = qobject_cast<QLineEdit*>(forms::qt::widgetOf(editor.txtParam(0)));
  ASSERT_NE(box, nullptr);
  const QString text(1'000'000, QLatin1Char('a'));
  QApplication::clipboard()->setText(text);
  QElapsedTimer timer;
  timer.start();
  box->paste();
  QApplication::processEvents();
  const qint64 ms = timer.elapsed();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(editor.txtParam(0).Text().size(), 1'000'000u);  // nothing cut off
  EXPECT_TRUE(editor.m_sFormula == u"NOTE(\"" + std::u16string(1'000'000, u'A') + u"\",)")
      << editor.m_sFormula.size() << " characters";
  std::cout << "a 1 MB paste into a row took " << ms << " ms\n";
}

// A long list re-edited: the rows shown are its last ones, the thumb stands there, the first row
// shown has the keyboard with the caret after its text; scrolling that row away hands the
// keyboard to a row the user sees.
TEST_F(EditorQtTest, TheKeyboardStaysOnARowTheUserSees) {
  catalogue.add(fakes::FakeFunction{u"MANY", false, 30, {{u"科目", 8, Variant{}}}});
  editor.Load();
  ASSERT_TRUE(editor.RefreshFunc(u"MANY"));
  std::vector<std::u16string> args;
  for (int i = 1; i <= 20; ++i) args.push_back(u"\"A" + automation::decimalText(i) + u"\"");
  ASSERT_TRUE(editor.FillRows(args));
  editor.Show();
  QWidget* window = forms::qt::windowOf(editor);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QApplication::processEvents();
  auto* bar = qobject_cast<QScrollBar*>(forms::qt::widgetOf(editor.vsParam));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), editor.vsParam.Value());
  EXPECT_EQ(bar->maximum(), editor.vsParam.Max());
  EXPECT_EQ(bar->value(), bar->maximum());  // the last rows show
  const auto focusedRow = [&]() -> int {
    for (std::size_t i = 0; i < editor.g_cParamCol().size(); ++i) {
      if (QApplication::focusWidget() == forms::qt::widgetOf(*editor.g_cParamCol()[i])) return static_cast<int>(i);
    }
    return -1;
  };
  const int first = editor.vsParam.Value();
  ASSERT_EQ(focusedRow(), first);
  EXPECT_TRUE(QApplication::focusWidget()->isVisible());
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Z"));
  EXPECT_EQ(editor.txtParam(static_cast<std::int16_t>(first)).Text(), u"A" + automation::decimalText(first + 1) + u"Z");

  // Four clicks on the up arrow hide a row near the bottom: typing lands in the nearest row shown.
  const int low = first + 6;
  editor.txtParam(static_cast<std::int16_t>(low)).SetFocus();
  ASSERT_EQ(focusedRow(), low);
  for (int i = 0; i < 4; ++i) bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), first - 4);
  const int now = focusedRow();
  ASSERT_GE(now, 0) << "the keyboard went to no row";
  EXPECT_EQ(now, first - 4 + 7);  // the bottom row shown
  EXPECT_TRUE(QApplication::focusWidget()->isVisible());
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Q"));
  EXPECT_EQ(editor.txtParam(static_cast<std::int16_t>(now)).Text(), u"A" + automation::decimalText(now + 1) + u"Q");
  EXPECT_EQ(editor.txtParam(static_cast<std::int16_t>(low)).Text(), u"A" + automation::decimalText(low + 1));
  EXPECT_TRUE(editor.Visible());  // nothing confirmed the dialog
}

}  // namespace
