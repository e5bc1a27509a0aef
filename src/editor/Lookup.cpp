// Looking a row's value up on F7: the catalogue's value list in the popup under the row, or the
// catalogue's own entry window whose answer goes straight into the row.
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Localisation.h"
#include "environment/ProcessProps.h"
#include "outside/FuncInfo.h"
#include "valuelist/frmInformation.h"

namespace editor {

using automation::Variant;
using component::componentState;
using component::paramTable;
using environment::L;

namespace {

outside::FuncInfoCalls catalogue() {
  return outside::FuncInfoCalls(componentState().g_oFuncInfo);
}

std::u16string currentFuncName() {
  return outside::FuncDescriptorCalls(componentState().g_oCurFunc).funcName();
}

}  // namespace

std::int32_t FrmCalcEqual::DescriptorOf(std::int16_t row) {
  // Every row of a variable list stands for the first parameter, as its type and description do.
  const std::int32_t first = paramTable().IsList.lbound();
  return outside::FuncDescriptorCalls(componentState().g_oCurFunc).fixParamNum() ? first + row : first;
}

void FrmCalcEqual::ParamKeyPress(int KeyAscii, std::int16_t iParamIndex) {
  if (KeyAscii != forms::keys::F7) return;
  automation::trapAndLeave(false, [&] {
    // The row gives up the focus before the lookup, and the focus rests on OK after it, so that
    // Enter confirms the formula with the value just chosen.
    btnCancel(0).SetFocus();
    btnOK(0).SetFocus();
    const component::ParamTable& table = paramTable();
    const std::int32_t p = DescriptorOf(iParamIndex);
    if (automation::toBoolean(table.IsCustomWnd(p))) {
      ShowCustomWnd(iParamIndex);
    } else if (!automation::toBoolean(table.IsList(p))) {
      component::ShowWarning(
          environment::NameBeforeText(automation::toText(table.ParamName(p)), u"没有可选的列表值!"));
      return false;
    } else {
      std::int16_t row = iParamIndex;
      ShowInfo(row);
    }
    btnCancel(0).SetFocus();
    btnOK(0).SetFocus();
    return true;
  });
}

void FrmCalcEqual::PushLookupContext() {
  if (sZpsCurDsn.empty()) {
    component::SetContextValue(u"ZpsPagePropsString", Variant(u""));
    component::SetContextValue(u"DefPropsString", Variant(environment::GetProcessPropsString()));
  } else {
    component::SetContextValue(u"ZpsPagePropsString", Variant(sZpsCurDsn));
    component::SetContextValue(u"DefPropsString", Variant(sZpsCurDsn));
  }
  component::PushContext();
}

void FrmCalcEqual::ShowInfo(std::int16_t& i, const Variant& bShowOnline) {
  const bool missing = bShowOnline.isMissing();
  const bool online = !missing && automation::toBoolean(bShowOnline);
  const bool loaded = m_pInformation != nullptr && m_pInformation->isLoaded();
  if (loaded && missing) return;  // the open popup stays as it is
  if (!missing && !online) return;
  // Any failure ends the lookup without a message; a popup already open is closed.
  const automation::ClearErrOnExit clearErr;
  automation::ignoreErrors([&] {
    if (loaded) m_pInformation->Unload();
    const std::u16string func = currentFuncName();
    PushLookupContext();
    const std::u16string previous = i < 1 ? std::u16string{} : automation::trim(txtParam(i - 1).Text());
    const Variant list = catalogue().getInfoToShow(func, lblParam(i).Caption(), txtParam(i).Text(), previous);
    if (list.type() == automation::VarType::Error) return;  // the catalogue chose to show nothing
    if (list.isEmpty()) {
      component::ShowWarning(L(u"没有可选的列表值!"));
      return;
    }
    valuelist::frmInformation popup(*this, txtParam);
    m_pInformation = &popup;
    popup.m_iID = i;
    popup.tempVar = list;
    const bool shown = automation::ignoreErrors([&] { popup.Show(true); });
    if (!shown) automation::ignoreErrors([&] { popup.Unload(); });
    m_pInformation = nullptr;
  });
}

void FrmCalcEqual::ShowCustomWnd(std::int16_t i) {
  if (!isLoaded()) return;
  automation::trapAndLeave(false, [&] {
    std::u16string func = currentFuncName();
    PushLookupContext();
    if (func == u"ACCTEXT" && i < 2) func = u"ACCT";  // its two account rows ask as ACCT does
    const std::u16string answer = catalogue().getParamText(func, lblParam(i).Caption(), txtParam(i).Text());
    // "value@tooltip": the value goes into the row, the text after it becomes the row's tooltip.
    const std::size_t at = answer.find(u'@');
    txtParam(i).setText(answer.substr(0, at));
    if (at != std::u16string::npos) {
      const std::size_t next = answer.find(u'@', at + 1);
      txtParam(i).setToolTipText(answer.substr(at + 1, next == std::u16string::npos ? next : next - at - 1));
    }
    return true;
  });
}

}  // namespace editor
