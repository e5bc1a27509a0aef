// The formula editor in Qt windows (run with QT_QPA_PLATFORM=offscreen): a long text pasted into a
// row is one edit, and the formula above the rows shows it whole.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>

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

TEST_F(EditorQtTest, ALongReEditedCallShowsItsThumbWhereItsRowsAre) {
  catalogue.add(fakes::FakeFunction{u"MANY", false, 30, {{u"科目", 8, Variant{}}}});
  editor.Load();
  ASSERT_TRUE(editor.RefreshFunc(u"MANY"));
  std::vector<std::u16string> args;
  for (int i = 1; i <= 20; ++i) args.push_back(u"\"A" + automation::decimalText(i) + u"\"");
  ASSERT_TRUE(editor.FillRows(args));
  editor.Show();
  QApplication::processEvents();
  auto* bar = qobject_cast<QScrollBar*>(forms::qt::widgetOf(editor.vsParam));
  ASSERT_NE(bar, nullptr);
  std::cout << editor.vsParam.Min() << " " << editor.vsParam.Max() << " " << editor.vsParam.Value() << " | " << bar->minimum() << " " << bar->maximum() << " " << bar->value() << " inv " << bar->invertedAppearance() << "\n";
}

}  // namespace
