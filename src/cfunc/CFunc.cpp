#include "cfunc/CFunc.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "component/ReportContext.h"
#include "environment/ProcessProps.h"
#include "outside/ProgIds.h"

namespace cfunc {

using automation::Args;
using automation::DispatchTable;
using automation::Variant;
using automation::VarType;
using component::ComponentState;
using component::componentState;
using component::PushContext;
using component::ReportContext;
using component::SetContextValue;

namespace {

// Dispatch ids of the _CFunc interface: the contract with the host.
namespace dispid {
constexpr automation::DispId GetFuncName = 0x60030014;
constexpr automation::DispId GetFuncExpr = 0x60030015;
constexpr automation::DispId InitFuncInfo = 0x60030016;
constexpr automation::DispId RecallRpt = 0x60030017;
}  // namespace dispid

using StringField = std::u16string CFunc::Fields::*;
using LongField = std::int32_t CFunc::Fields::*;

}  // namespace

CFunc::CFunc() {
  m_.RptBeginDate = automation::today();
  m_.RptEndDate = m_.RptBeginDate;
}

CFunc::~CFunc() {
  if (!initialised_) return;
  // The shared catalogue objects serve every live instance: the last one releases them.
  ComponentState& state = componentState();
  if (--state.liveInstances > 0) return;
  state.liveInstances = 0;
  state.g_oFuncInfo.reset();
  state.g_oGlobalObj.reset();
  state.g_oCurFunc.reset();
  state.g_oParams.reset();
}

automation::ObjectRef CFunc::Create() {
  auto object = std::make_shared<CFunc>();
  ComponentState& state = componentState();
  // A creation that fails must not disturb the instances that live: their catalogue and context
  // are put back as they were.
  const ReportContext context = state.context;
  const automation::ObjectRef catalogue = state.g_oFuncInfo;
  const std::u16string listMode = state.g_sListMode;
  try {
    object->invoke(dispid::InitFuncInfo, automation::InvokeKind::Method, {});
  } catch (...) {
    state.context = context;
    state.g_oFuncInfo = catalogue;
    state.g_sListMode = listMode;
    throw;
  }
  object->initialised_ = true;
  ++state.liveInstances;
  return object;
}

void CFunc::InitFuncInfo(const std::u16string&) {
  ComponentState& state = componentState();
  state.g_oFuncInfo = automation::CreateObject(outside::kFuncInfo);
  SetContextFromFields();
  PushContext();
  state.g_sListMode = u"bb";
}

void CFunc::SetContextFromFields() const {
  // The keys keep the letters the catalogue's callers have always used; SetContextValue ignores case.
  // The property string is read once, first, so that a manager that fails ends the call before
  // anything changed; it is set last but one, after the report's own data source.
  const std::u16string props = environment::GetProcessPropsString();
  SetContextValue(u"COMPANYID", m_.CompanyID);
  SetContextValue(u"FRAMEWORKID", m_.FrameworkID);
  SetContextValue(u"ClASSID", m_.ClassID);
  SetContextValue(u"LCYCLEID", m_.lCycleID);
  SetContextValue(u"RptYear", m_.RptYear);
  SetContextValue(u"RptPeriod", m_.RptPeriod);
  SetContextValue(u"RptEndPeriod", m_.RptEndPeriod);
  SetContextValue(u"RptCurCurrency", m_.RptCurCurrency);
  SetContextValue(u"RptCurCurrencyID", m_.RptCurCurrencyID);
  SetContextValue(u"RptBeginDate", m_.RptBeginDate);
  SetContextValue(u"RptEndDate", m_.RptEndDate);
  SetContextValue(u"IncludeVoucher", m_.IncludeVoucher);
  SetContextValue(u"ZpsPagePropsString", m_.sCurPropStr);
  SetContextValue(u"DefPropsString", props);
  SetContextValue(u"RptType", m_.RptType);
}

const DispatchTable& CFunc::dispatchTable() const {
  using automation::byRef;
  using automation::byVal;
  using automation::optionalByVal;

  // Property accessors: string setters store the value without surrounding blanks.
  const auto letString = [](StringField field) {
    return
        [field](CFunc& self, Args&, Variant& value) { self.m_.*field = automation::trim(value.asString()); };
  };
  const auto letLong = [](LongField field) {
    return [field](CFunc& self, Args&, Variant& value) { self.m_.*field = value.asLong(); };
  };
  const auto letDate = [](automation::Date Fields::*field) {
    return [field](CFunc& self, Args&, Variant& value) { self.m_.*field = value.asDate(); };
  };
  const auto getString = [](StringField field) {
    return [field](CFunc& self, Args&) { return Variant(self.m_.*field); };
  };
  const auto getLong = [](LongField field) {
    return [field](CFunc& self, Args&) { return Variant(self.m_.*field); };
  };
  const auto value = [](VarType type) { return byVal(u"value", type); };

  static const DispatchTable table =
      DispatchTable::Builder<CFunc>(u"CFunc")
          .method(u"GetFuncName", dispid::GetFuncName, {}, VarType::String,
                  [](CFunc& self, Args&) { return Variant(self.GetFuncName()); })
          .method(u"GetFuncExpr", dispid::GetFuncExpr,
                  {optionalByVal(u"sFuncName", VarType::String, Variant(u""))}, VarType::String,
                  [](CFunc& self, Args& a) { return Variant(self.GetFuncExpr(a[0].asString())); })
          .method(u"InitFuncInfo", dispid::InitFuncInfo,
                  {optionalByVal(u"sSysName", VarType::String, Variant(u""))}, VarType::Empty,
                  [](CFunc& self, Args& a) {
                    self.InitFuncInfo(a[0].asString());
                    return Variant{};
                  })
          .method(
              u"RecallRpt", dispid::RecallRpt,
              {byVal(u"strFuncName", VarType::String), byRef(u"aVarParams"), byRef(u"ZPS2", VarType::Object)},
              VarType::Long,
              [](CFunc& self, Args& a) { return Variant(self.RecallRpt(a[0].asString(), a[1], a[2])); })
          .put(u"RptYear", 0x68030013, {}, value(VarType::Long), letLong(&Fields::RptYear))
          .put(u"RptEndDate", 0x68030012, {}, value(VarType::Date), letDate(&Fields::RptEndDate))
          .put(u"RptBeginDate", 0x68030011, {}, value(VarType::Date), letDate(&Fields::RptBeginDate))
          .put(u"RptPeriod", 0x68030010, {}, value(VarType::Long), letLong(&Fields::RptPeriod))
          .put(u"IncludeVoucher", 0x6803000F, {}, value(VarType::String), letString(&Fields::IncludeVoucher))
          .put(u"RptEndPeriod", 0x6803000E, {}, value(VarType::Long), letLong(&Fields::RptEndPeriod))
          .put(u"RptCurCurrency", 0x6803000D, {}, value(VarType::String), letString(&Fields::RptCurCurrency))
          .get(u"RptCurCurrency", 0x6803000D, {}, VarType::String, getString(&Fields::RptCurCurrency))
          .put(u"RptCurCurrencyID", 0x6803000C, {}, value(VarType::Long), letLong(&Fields::RptCurCurrencyID))
          .get(u"RptCurCurrencyID", 0x6803000C, {}, VarType::Long, getLong(&Fields::RptCurCurrencyID))
          .put(u"RptType", 0x6803000B, {}, value(VarType::Long), letLong(&Fields::RptType))
          .put(u"CompanyID", 0x6803000A, {}, value(VarType::Long), letLong(&Fields::CompanyID))
          .get(u"CompanyID", 0x6803000A, {}, VarType::Long, getLong(&Fields::CompanyID))
          .put(u"FrameworkID", 0x68030009, {}, value(VarType::Long), letLong(&Fields::FrameworkID))
          .get(u"FrameworkID", 0x68030009, {}, VarType::Long, getLong(&Fields::FrameworkID))
          .put(u"ClassID", 0x68030008, {}, value(VarType::Long), letLong(&Fields::ClassID))
          .get(u"ClassID", 0x68030008, {}, VarType::Long, getLong(&Fields::ClassID))
          .put(u"sCompanyNum", 0x68030007, {}, value(VarType::String), letString(&Fields::sCompanyNum))
          .put(u"lCycleID", 0x68030006, {}, value(VarType::Long), letLong(&Fields::lCycleID))
          .get(u"lCycleID", 0x68030006, {}, VarType::Long, getLong(&Fields::lCycleID))
          .put(u"sCurrencyNum", 0x68030005, {}, value(VarType::String), letString(&Fields::sCurrencyNum))
          .put(u"sCurPropStr", 0x68030004, {}, value(VarType::String), letString(&Fields::sCurPropStr))
          .get(u"sCurPropStr", 0x68030004, {}, VarType::String, getString(&Fields::sCurPropStr))
          .put(u"CurSheetIndex", 0x68030003, {}, value(VarType::Long), letLong(&Fields::CurSheetIndex))
          .put(u"Convert", 0x68030002, {}, value(VarType::String), letString(&Fields::Convert))
          .put(u"ControlBit", 0x68030001, {}, value(VarType::String), letString(&Fields::ControlBit))
          .put(u"RoundBit", 0x68030000, {}, value(VarType::Long), letLong(&Fields::RoundBit))
          .build();
  return table;
}

void registerComponentClasses(automation::ClassRegistry& registry) {
  registry.add(CFunc::kProgId, [] { return CFunc::Create(); });
}

}  // namespace cfunc
