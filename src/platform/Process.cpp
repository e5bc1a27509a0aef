#include "platform/Process.h"

#include <unistd.h>

namespace platform {

std::int32_t currentProcessId() { return static_cast<std::int32_t>(::getpid()); }

}  // namespace platform
