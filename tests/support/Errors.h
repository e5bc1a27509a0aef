// Test helper: the automation error a statement raises.
#pragma once

#include <optional>

#include "automation/Error.h"

namespace testing_support {

template <class F>
std::optional<automation::AutomationError> errorOf(F&& statement) {
  try {
    statement();
  } catch (const automation::AutomationError& e) {
    return e;
  }
  return std::nullopt;
}

// The error number a statement raises, 0 when it raises none.
template <class F>
std::int32_t errorNumber(F&& statement) {
  const auto e = errorOf(std::forward<F>(statement));
  return e ? e->number() : 0;
}

}  // namespace testing_support
