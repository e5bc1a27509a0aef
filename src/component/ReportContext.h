// The report context shared with the function catalogue, the shared catalogue objects, and the
// single settings read out of the process property string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/Variant.h"
#include "component/SharedHelpers.h"

namespace component {

// The sixteen values the catalogue receives through its Properties. Dates are held as text.
struct ReportContext {
  std::u16string CurPropsString;
  std::u16string DefPropsString;
  std::u16string ZpsPagePropsString;
  std::int32_t RptYear = 0;
  std::int32_t RptPeriod = 0;
  std::u16string RptBeginDate;
  std::u16string RptEndDate;
  std::u16string IncludeVoucher;
  std::int32_t RptEndPeriod = 0;
  std::u16string RptCurCurrency;
  std::int32_t RptCurCurrencyID = 0;
  std::int32_t RptType = 0;
  std::int32_t CompanyID = 0;
  std::int32_t FrameworkID = 0;
  std::int32_t ClassID = 0;
  std::int32_t LCycleID = 0;
};

// Process-wide state: shared by every CFunc and every dialog of the process.
struct ComponentState {
  ReportContext context;
  automation::ObjectRef g_oFuncInfo;   // Fenwick2.FuncInfo
  automation::ObjectRef g_oCurFunc;    // descriptor of the function being edited
  automation::ObjectRef g_oParams;     // its ParamsInfo collection
  automation::ObjectRef g_oGlobalObj;  // Fenwick2.GlobalObj
  std::u16string g_sListMode;          // "bb" once the catalogue has been initialised
  ParamTable g_ParamTable;             // the parameters of the function being edited
  int liveInstances = 0;               // CFunc objects created and not yet destroyed
};

ComponentState& componentState();
// Back to the state of a freshly loaded component (for tests).
void resetComponentState();

// Sets one context value by key (any letter case). A value that does not convert to the
// variable's type, or a key that is not known, changes nothing. Always answers "".
std::u16string SetContextValue(std::u16string_view key, const automation::Variant& value);

// Copies the sixteen values into g_oFuncInfo's Properties; each assignment that fails is skipped.
void PushContext();

}  // namespace component
