// The two calls through which the host lets the user work: pick a function, compose a formula.
#include "automation/Error.h"
#include "automation/Text.h"
#include "cfunc/CFunc.h"
#include "component/SharedHelpers.h"
#include "editor/Composition.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Localisation.h"
#include "picker/frmOtherFunc.h"

namespace cfunc {

using component::ShowWarning;

using automation::ignoreErrors;
using automation::Variant;

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
  // A whole call, such as QMYE("1002",2024,3), re-opens the editor on its arguments.
  std::optional<editor::SplitCall> call;
  if (name.find(u'(') != std::u16string::npos) {
    call = editor::SplitFormula(name);
    if (!call) {
      ignoreErrors([&] { ShowWarning(environment::NameBetweenTexts(u"无法读取公式：", name, u"")); });
      return {};
    }
    name = call->funcName;
  }
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
    ignoreErrors([&] { ShowWarning(environment::NameBetweenTexts(u"报表系统不支持公式 ", name, u" ！")); });
  } else {
    editor.sZpsCurDsn = m_.sCurPropStr;
    editor.m_CurSheetIndex = m_.CurSheetIndex;
    // The live result is what the host's recalculation would give: the same recall path.
    editor.Preview = [this](const std::u16string& funcName, Variant& batch) {
      Variant noSheet;
      RecallRpt(funcName, batch, noSheet);
    };
    bool filled = true;
    if (call) ignoreErrors([&] { filled = editor.FillRows(call->args); });
    if (filled) {
      ignoreErrors([&] { editor.Show(true); });  // the user's modal session: its handlers may fail
      if (editor.Tag() == u"OK") result = editor.m_sFormula;
    }
  }
  ignoreErrors([&] { editor.Unload(); });
  return result;
}

}  // namespace cfunc
