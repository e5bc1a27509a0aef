// Batches of report references: each call of a REF_F or VEX_REF_F batch is checked and evaluated
// in a hidden reference form made for the batch; values go into column 1, error texts into column 2.
#pragma once

#include <string>

#include "automation/Variant.h"

namespace reference {

// Checks one call's argument list: an array with at least a report and a content, neither empty.
// False with the localised error text; a blank third argument becomes 1.
bool CheckRefArgs(automation::Variant& args, std::u16string& sErrInfo);

void RecalcRefBatch(automation::Variant& aVarParams);
void RecalcVexRefBatch(automation::Variant& aVarParams);

}  // namespace reference
