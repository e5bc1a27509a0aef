// The running process, as the platform's process calls report it.
#pragma once

#include <cstdint>

namespace platform {

// The operating system's id of the current process.
std::int32_t currentProcessId();

}  // namespace platform
