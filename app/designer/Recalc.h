// Recalculation as a host does it: the calls of report functions in every formula of a report are
// gathered, grouped by function into batches (one row a call: its argument list in column 0, the
// value and the error text coming back in columns 1 and 2) and handed to the component's RecallRpt,
// one call per function; the arithmetic around them is muParser's. A call whose arguments need
// another call's value waits for the next round. PAGENAME() and PAGENO() never go into a batch:
// the designer knows its sheets. ITEM does, and since RecallRpt leaves ITEM to the host that owns
// it, its cells say that it is not recalculated here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "automation/Variant.h"
#include "designer/Report.h"

namespace designer {

struct RecalcStats {
  std::int32_t rounds = 0;
  std::int32_t batches = 0;  // RecallRpt calls
  std::int32_t calls = 0;    // rows in all batches
  std::int32_t formulas = 0;
};

// Told before each batch (done and total rows so far); answering false stops the recalculation,
// leaving the cells not computed yet with their last values.
using Progress = std::function<bool(std::int32_t done, std::int32_t total)>;

// Recalculates every formula of the report through `component` (a Formulist2.CFunc whose report
// context the host has set). Every cell ends with a value or an error text.
RecalcStats recalculate(Report& report, const automation::ObjectRef& component,
                        const Progress& progress = {});

}  // namespace designer
