// The process property string: the host's login settings, published in the shared-properties
// manager under the host's process id (which is ours: the component runs in the host's process).
#pragma once

#include <string>
#include <string_view>

#include "automation/Variant.h"

namespace environment {

// The shared property "PropsString" of this process as text ("" when nothing is published).
// Raises when the manager cannot be created or fails.
std::u16string GetProcessPropsString();

// The value of `key` in the process property string: the first pair whose whole key equals `key`
// (letter case and surrounding blanks aside). An empty property string answers the user's current
// language whatever the key; a missing key or any failure answers "".
std::u16string GetProcessProp(std::u16string_view key);

// The shared property of that name for this process; may be an object. Nothing is cached: every
// call creates the manager afresh, so a value the host changed is seen at once.
automation::Variant GetSharedProperty(std::u16string_view name);

}  // namespace environment
