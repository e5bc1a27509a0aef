// Creates Formulist2.CFunc on the sample report system by late binding, lets a scripted user fill
// in QMYE's rows without windows, and prints the formula the wizard hands back.
#include <iostream>
#include <string>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Dispatch.h"
#include "automation/Text.h"
#include "cfunc/CFunc.h"
#include "forms/headless/HeadlessBackend.h"
#include "sample/SampleSystem.h"

int main() {
  const std::string data = F2_DATA_DIR;
  sample::registerSampleComponents(automation::classRegistry(), {data + "/catalogue", data, F2_LOCALE_DIR});
  cfunc::registerComponentClasses(automation::classRegistry());

  const automation::ObjectRef wizard = automation::CreateObject(u"Formulist2.CFunc");
  automation::put(wizard, u"CurSheetIndex", automation::Variant(2));
  forms::headless::installed().then([](forms::Form& editor) {
    forms::headless::type(editor, u"[b7]");  // the first row has the focus
    forms::headless::press(editor, forms::keys::Tab);
    forms::headless::type(editor, u"2024");
    forms::headless::press(editor, forms::keys::Return);
  });
  const automation::Variant formula = automation::call(wizard, u"GetFuncExpr", {automation::Variant(u"QMYE")});
  std::cout << automation::toUtf8(automation::toText(formula)) << "\n";
  return automation::toText(formula).empty() ? 1 : 0;
}
