// The two calls through which the host lets the user work: pick a function, compose a formula.
#include "automation/Error.h"
#include "automation/Text.h"
#include "cfunc/CFunc.h"
#include "component/SharedHelpers.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Localisation.h"
#include "picker/frmOtherFunc.h"

namespace cfunc {

using component::ShowWarning;

using automation::ignoreErrors;

std::u16string CFunc::GetFuncName() {
  const automation::ClearErrOnExit clearErr;
  std::u16string result;
  picker::frmOtherFunc picker;
  ignoreErrors([&] { picker.Show(true); });
  if (picker.Tag() == u"OK") result = picker.m_sFuncName;
  ignoreErrors([&] { picker.Unload(); });
  return result;
}

std::u16string CFunc::GetFuncExpr(const std::u16string& sFuncName) {
  const automation::ClearErrOnExit clearErr;
  std::u16string name = sFuncName;
  if (automation::trim(name).empty()) {
    name = GetFuncName();
    if (automation::trim(name).empty()) return {};
  }
  std::u16string result;
  editor::FrmCalcEqual editor;
  ignoreErrors([&] { editor.Load(); });
  bool prepared = false;
  ignoreErrors([&] { prepared = editor.RefreshFunc(name); });
  if (!prepared) {
    ignoreErrors(
        [&] { ShowWarning(environment::L(u"报表系统不支持公式 ") + name + environment::L(u" ！")); });
  } else {
    editor.sZpsCurDsn = m_.sCurPropStr;
    editor.m_CurSheetIndex = m_.CurSheetIndex;
    ignoreErrors([&] { editor.Show(true); });  // the user's modal session: its handlers may fail
    if (editor.Tag() == u"OK") result = editor.m_sFormula;
  }
  ignoreErrors([&] { editor.Unload(); });
  return result;
}

}  // namespace cfunc
