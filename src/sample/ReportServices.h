// The report system's components around stored reports: the retrieval service, the report store,
// the two spreadsheet controls and the consolidation component.
#pragma once

#include <memory>

#include "automation/ClassRegistry.h"
#include "sample/SampleSystem.h"

namespace sample {

// Registers Haldor.SrvRptRetrieve, NURZps.ZpsInfo, ZPSPREADLib.ZpSpread120, ZPS20Lib.ZPS20 and
// Ostrel.CsRpt on one sample system (registerSampleComponents does).
void registerReportComponents(automation::ClassRegistry& registry,
                              const std::shared_ptr<SampleSystem>& system);

}  // namespace sample
