// RecallRpt: a batch of calls of one report function during recalculation. References to other
// reports are evaluated here, consolidation references and every other function by the report
// system's components; numeric results are then rescaled and rounded.
#include <cmath>
#include <limits>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "outside/FuncInfo.h"
#include "outside/Reports.h"
#include "reference/RefBatch.h"

namespace cfunc {

using automation::Variant;

namespace {

// The batch is walked row by row and column by column with 32-bit indexes, as the platform's are: a
// batch whose last row is the largest index there is, or whose columns begin within two of it,
// would overflow them, and is refused as out of range.
void checkIndexRange(const Variant& aVarParams) {
  if (!aVarParams.isArray() || aVarParams.array().dimensions() < 2) return;
  constexpr std::int32_t kLast = std::numeric_limits<std::int32_t>::max();
  const automation::VariantArray& batch = aVarParams.array();
  if (batch.ubound(1) == kLast || batch.lbound(2) > kLast - 2)
    automation::raise(automation::errors::SubscriptOutOfRange);
}

}  // namespace

std::int32_t CFunc::RecallRpt(const std::u16string& strFuncName, Variant& aVarParams, Variant& ZPS2) {
  // An error anywhere gives 0; what was already written into the batch stays.
  try {
    return automation::asAutomation([&] {
      const std::u16string name = automation::upper(strFuncName);
      checkIndexRange(aVarParams);
      std::int32_t result = 0;
      if (name == u"REF_F") {
        reference::RecalcRefBatch(aVarParams);
      } else if (name == u"VEX_REF_F") {
        reference::RecalcVexRefBatch(aVarParams);
      } else if (name == u"CS_REF_F") {
        result = outside::consolidate(automation::CreateObject(outside::kConsolidation), aVarParams);
      } else if (name != u"ITEM") {
        SetContextFromFields();
        component::PushContext();
        result = outside::FuncInfoCalls(component::componentState().g_oFuncInfo)
                     .callFunc(strFuncName, aVarParams, ZPS2);
      }
      ConvertResults(strFuncName, aVarParams);
      return result;
    });
  } catch (const automation::AutomationError&) {
    automation::Err().Clear();
    return 0;
  }
}

void CFunc::ConvertResults(const std::u16string& strFuncName, Variant& aVarParams) {
  const std::u16string& rule = m_.Convert;
  if (rule == u"*" || rule == u"N" || rule.empty()) return;
  if (strFuncName == u"SYSINFO" || strFuncName == u"RPTDATE") return;  // texts and dates, as named
  automation::VariantArray& batch = aVarParams.mutableArray();
  const std::int32_t valueColumn = batch.lbound(2) + 1;
  for (std::int32_t i = batch.lbound(1); i <= batch.ubound(1); ++i) {
    Variant& v = batch(i, valueColumn);
    // A row without a value (an error row, a reference that found nothing) keeps having none:
    // rescaling must not invent a 0 for it.
    if (v.isEmpty() || !automation::isNumeric(v)) continue;
    const std::u16string op = rule.substr(0, 3);
    const double factor = automation::toDouble(Variant(rule.substr(std::min<std::size_t>(3, rule.size()))));
    const double x = automation::toDouble(v);
    if (op != u"MUL" && factor == 0) automation::raise(automation::errors::DivisionByZero);
    const double scaled = op == u"MUL" ? x * factor : x / factor;
    if (!std::isfinite(scaled)) automation::raise(automation::errors::Overflow);
    std::int32_t decimals = 2;
    if (!m_.ControlBit.empty() && m_.ControlBit != u"N") {
      if (m_.RoundBit < 0) m_.RoundBit = 2;
      decimals = m_.RoundBit;
    }
    v = Variant(automation::round(scaled, decimals));
  }
}

}  // namespace cfunc
