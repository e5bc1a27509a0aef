#include "component/ReportContext.h"

#include <array>
#include <variant>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "environment/Localisation.h"
#include "environment/ProcessProps.h"
#include "outside/FuncInfo.h"

namespace component {
namespace {

using automation::Variant;
using Field = std::variant<std::u16string ReportContext::*, std::int32_t ReportContext::*>;

struct ContextEntry {
  std::u16string_view key;   // upper-case key of SetContextValue
  std::u16string_view name;  // the catalogue's property name
  Field field;
};

// In the order PushContext hands the values to the catalogue.
constexpr std::array<ContextEntry, 16> kEntries{{
    {u"DEFPROPSSTRING", u"DefPropsString", &ReportContext::DefPropsString},
    {u"ZPSPAGEPROPSSTRING", u"ZpsPagePropsString", &ReportContext::ZpsPagePropsString},
    {u"CURPROPSSTRING", u"CurPropsString", &ReportContext::CurPropsString},
    {u"RPTYEAR", u"RptYear", &ReportContext::RptYear},
    {u"RPTPERIOD", u"RptPeriod", &ReportContext::RptPeriod},
    {u"RPTBEGINDATE", u"RptBeginDate", &ReportContext::RptBeginDate},
    {u"RPTENDDATE", u"RptEndDate", &ReportContext::RptEndDate},
    {u"INCLUDEVOUCHER", u"IncludeVoucher", &ReportContext::IncludeVoucher},
    {u"RPTENDPERIOD", u"RptEndPeriod", &ReportContext::RptEndPeriod},
    {u"RPTCURCURRENCY", u"RptCurCurrency", &ReportContext::RptCurCurrency},
    {u"RPTCURCURRENCYID", u"RptCurCurrencyID", &ReportContext::RptCurCurrencyID},
    {u"RPTTYPE", u"RptType", &ReportContext::RptType},
    {u"COMPANYID", u"CompanyID", &ReportContext::CompanyID},
    {u"FRAMEWORKID", u"FrameworkID", &ReportContext::FrameworkID},
    {u"CLASSID", u"ClassID", &ReportContext::ClassID},
    {u"LCYCLEID", u"LCycleID", &ReportContext::LCycleID},
}};

}  // namespace

ComponentState& componentState() {
  static ComponentState state;
  return state;
}

void resetComponentState() {
  componentState() = ComponentState{};
}

std::u16string SetContextValue(std::u16string_view key, const Variant& value) {
  const automation::ClearErrOnExit clearErr;
  const std::u16string upperKey = automation::upper(key);
  ReportContext& context = componentState().context;
  for (const ContextEntry& entry : kEntries) {
    if (entry.key != upperKey) continue;
    automation::ignoreErrors([&] {
      std::visit(
          [&](auto member) {
            using T = std::remove_reference_t<decltype(context.*member)>;
            if constexpr (std::is_same_v<T, std::int32_t>) {
              context.*member = automation::toLong(value);
            } else {
              context.*member = automation::toText(value);
            }
          },
          entry.field);
    });
    break;
  }
  return {};
}

void PushContext() {
  const automation::ClearErrOnExit clearErr;
  const outside::FuncInfoCalls catalogue(componentState().g_oFuncInfo);
  const ReportContext& context = componentState().context;
  for (const ContextEntry& entry : kEntries) {
    automation::ignoreErrors([&] {
      std::visit([&](auto member) { catalogue.setProperty(entry.name, Variant(context.*member)); },
                 entry.field);
    });
  }
}

}  // namespace component
