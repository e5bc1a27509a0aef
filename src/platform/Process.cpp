#include "platform/Process.h"

#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace platform {

std::int32_t currentProcessId() {
  return static_cast<std::int32_t>(::getpid());
}

namespace {
struct NameOverride {
  bool active = false;
  std::optional<std::string> name;
};
NameOverride& nameOverride() {
  static NameOverride value;
  return value;
}
}  // namespace

void overrideComputerName(std::optional<std::string> name) {
  nameOverride() = {true, std::move(name)};
}

void resetComputerName() {
  nameOverride() = {};
}

std::optional<std::string> computerName() {
  if (nameOverride().active) return nameOverride().name;
  char buffer[128] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::nullopt;
  return std::string(buffer, ::strnlen(buffer, sizeof buffer));
}

std::optional<std::int32_t> sessionIdOf(std::int32_t processId) {
  if (processId == currentProcessId()) {
    if (const char* id = std::getenv("XDG_SESSION_ID"); id != nullptr) {
      std::int32_t value = 0;
      const char* end = id + std::strlen(id);
      if (const auto [ptr, ec] = std::from_chars(id, end, value); ec == std::errc{} && ptr == end)
        return value;
    }
  }
  const pid_t sid = ::getsid(static_cast<pid_t>(processId));
  if (sid < 0) return std::nullopt;
  return static_cast<std::int32_t>(sid);
}

std::filesystem::path userFolder(const char* variable, const char* underHome) {
  if (const char* value = std::getenv(variable); value != nullptr && *value == '/') return value;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
    return std::filesystem::path(home) / underHome;
  // A process started without a home (a service, env -i) still has an account with one.
  if (const passwd* account = getpwuid(getuid());
      account != nullptr && account->pw_dir != nullptr && *account->pw_dir == '/')
    return std::filesystem::path(account->pw_dir) / underHome;
  std::error_code gone;  // the working folder may have been removed
  const std::filesystem::path here = std::filesystem::current_path(gone);
  return (gone ? std::filesystem::path("/tmp") : here) / underHome;
}

}  // namespace platform
