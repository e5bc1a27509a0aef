// The function picker in Qt windows, on the sample report system: keys go to the focused widget
// one by one, as a keyboard sends them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "automation/Text.h"
#include "forms/qt/QtBackend.h"
#include "picker/frmOtherFunc.h"
#include "support/QtSample.h"

namespace {

using namespace automation;
using picker::frmOtherFunc;

class PickerQtTest : public ::testing::Test {
 protected:
  // Each character to the widget that has the focus when it is typed.
  static void typeIntoFocus(const QString& text) {
    for (const QChar c : text) {
      QWidget* focused = QApplication::focusWidget();
      ASSERT_NE(focused, nullptr) << "nothing has the focus before " << c.toLatin1();
      QTest::keyClick(focused, c.toLatin1());
    }
  }

  testing_support::QtSampleProcess process_{u"CHS"};
};

TEST_F(PickerQtTest, TheSearchBoxKeepsEveryCharacterTypedOnThePicker) {
  for (const QString& typed : {QStringLiteral("yue"), QStringLiteral("qmye")}) {
    frmOtherFunc picker;
    picker.Load();
    ASSERT_TRUE(testing_support::showActive(picker));
    ASSERT_NE(picker.ActiveControl(), &picker.txtSearch);
    auto* box = qobject_cast<QLineEdit*>(forms::qt::widgetOf(picker.txtSearch));
    ASSERT_NE(box, nullptr);

    typeIntoFocus(typed);
    EXPECT_EQ(box->text().toStdString(), typed.toStdString());
    EXPECT_EQ(box->cursorPosition(), typed.size());
    EXPECT_EQ(picker.txtSearch.Text(), typed.toStdU16String());
    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_EQ(picker.lstFunc.Text(), typed == QStringLiteral("qmye") ? u"QMYE" : u"QCYE");

    // Esc clears the search; typing again starts a new one, again whole.
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(box->text().isEmpty());
    picker.cmdOK.SetFocus();
    typeIntoFocus(QStringLiteral("dffs"));
    EXPECT_EQ(box->text().toStdString(), "dffs");
    EXPECT_EQ(picker.lstFunc.Text(), u"DFFS");
    picker.Unload();
  }
}

// Every control the keyboard reaches shows its focus frame, whether Tab or the picker's own code
// put the focus there.
TEST_F(PickerQtTest, TheFocusedControlShowsItsFocusFrame) {
  frmOtherFunc picker;
  picker.Load();
  ASSERT_TRUE(testing_support::showActive(picker));
  for (forms::Control* control : std::initializer_list<forms::Control*>{&picker.lstGroup, &picker.lstFunc,
                                                                       &picker.cmdOK, &picker.cmdCancel}) {
    control->SetFocus();
    QApplication::processEvents();
    QWidget* w = forms::qt::widgetOf(*control);
    EXPECT_EQ(QApplication::focusWidget(), w) << automation::toUtf8(control->Name());
    EXPECT_TRUE(testing_support::showsFocusFrame(w)) << automation::toUtf8(control->Name());
  }
  picker.Unload();
}

}  // namespace
