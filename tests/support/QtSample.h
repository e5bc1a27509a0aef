// The sample report system hosting Formulist2.CFunc on the Qt backend, as a host's process has it,
// for tests that use the wizard's real windows; and what such tests ask of a window.
#pragma once

#include <QStyleOption>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>

#include "automation/ClassRegistry.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "environment/Localisation.h"
#include "forms/qt/QtBackend.h"
#include "picker/frmOtherFunc.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace testing_support {

// From construction to destruction: the Qt backend, a fresh process state, the sample's
// components and CFunc registered, a process property string in `language`, one CFunc.
class QtSampleProcess {
 public:
  explicit QtSampleProcess(const std::u16string& language) {
    previous_ = forms::setBackend(std::make_unique<forms::qt::QtBackend>());
    reset();
    sample::registerSampleComponents(automation::classRegistry(), sample::defaultOptions());
    cfunc::registerComponentClasses(automation::classRegistry());
    sample::publishProperty(platform::currentProcessId(), u"PropsString",
                            automation::Variant(u"Language=" + language));
    cfunc = automation::CreateObject(u"Formulist2.CFunc");
  }
  ~QtSampleProcess() {
    cfunc.reset();
    reset();
    forms::setBackend(std::move(previous_));
  }
  QtSampleProcess(const QtSampleProcess&) = delete;
  QtSampleProcess& operator=(const QtSampleProcess&) = delete;

  automation::ObjectRef cfunc;

 private:
  static void reset() {
    component::resetComponentState();
    environment::resetLocalisationState();
    picker::resetPickerState();
    sample::clearPublishedProperties();
    automation::classRegistry().clear();
  }
  TempConfig config_;
  std::unique_ptr<forms::Backend> previous_;
};

// Whether a widget draws its focus frame: the state its style option carries.
inline bool showsFocusFrame(const QWidget* w) {
  QStyleOption option;
  option.initFrom(w);
  return option.state.testFlag(QStyle::State_HasFocus) && option.state.testFlag(QStyle::State_KeyboardFocusChange);
}

// Shows a loaded form and waits until its window is the active one.
inline bool showActive(forms::Form& form) {
  form.Show();
  QWidget* window = forms::qt::windowOf(form)->window();
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

}  // namespace testing_support
