// The function picker in Qt windows, on the sample report system: keys go to the focused widget
// one by one, as a keyboard sends them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QStyleOption>
#include <QTest>

#include "automation/ClassRegistry.h"
#include "automation/Text.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "environment/Localisation.h"
#include "forms/qt/QtBackend.h"
#include "picker/frmOtherFunc.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using picker::frmOtherFunc;

class PickerQtTest : public ::testing::Test {
 protected:
  PickerQtTest() {
    previous_ = forms::setBackend(std::make_unique<forms::qt::QtBackend>());
    component::resetComponentState();
    environment::resetLocalisationState();
    picker::resetPickerState();
    sample::clearPublishedProperties();
    classRegistry().clear();
    sample::registerSampleComponents(classRegistry(), sample::defaultOptions());
    cfunc::registerComponentClasses(classRegistry());
    sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"Language=CHS"));
    cfunc_ = CreateObject(u"Formulist2.CFunc");
  }
  ~PickerQtTest() override {
    cfunc_.reset();
    component::resetComponentState();
    environment::resetLocalisationState();
    sample::clearPublishedProperties();
    classRegistry().clear();
    forms::setBackend(std::move(previous_));
  }

  // Each character to the widget that has the focus when it is typed.
  static void typeIntoFocus(const QString& text) {
    for (const QChar c : text) {
      QWidget* focused = QApplication::focusWidget();
      ASSERT_NE(focused, nullptr) << "nothing has the focus before " << c.toLatin1();
      QTest::keyClick(focused, c.toLatin1());
    }
  }

  testing_support::TempConfig config_;
  std::unique_ptr<forms::Backend> previous_;
  ObjectRef cfunc_;
};

TEST_F(PickerQtTest, TheSearchBoxKeepsEveryCharacterTypedOnThePicker) {
  for (const QString& typed : {QStringLiteral("yue"), QStringLiteral("qmye")}) {
    frmOtherFunc picker;
    picker.Load();
    picker.Show();
    QWidget* window = forms::qt::windowOf(picker)->window();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
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
  picker.Show();
  QWidget* window = forms::qt::windowOf(picker)->window();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  const auto showsFocus = [](const QWidget* w) {
    QStyleOption option;
    option.initFrom(w);
    return option.state.testFlag(QStyle::State_HasFocus) &&
           option.state.testFlag(QStyle::State_KeyboardFocusChange);
  };
  for (forms::Control* control : std::initializer_list<forms::Control*>{&picker.lstGroup, &picker.lstFunc,
                                                                       &picker.cmdOK, &picker.cmdCancel}) {
    control->SetFocus();
    QApplication::processEvents();
    QWidget* w = forms::qt::widgetOf(*control);
    EXPECT_EQ(QApplication::focusWidget(), w) << automation::toUtf8(control->Name());
    EXPECT_TRUE(showsFocus(w)) << automation::toUtf8(control->Name());
  }
  picker.Unload();
}

}  // namespace
