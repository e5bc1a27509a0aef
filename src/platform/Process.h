// The running process and the machine, as the platform's process calls report them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// The operating system's id of the current process.
std::int32_t currentProcessId();

// The computer's name (the host name), at most 127 characters; nullopt when it cannot be read.
std::optional<std::string> computerName();

// Makes computerName answer as another machine would: `name`, or a name that cannot be read when
// `name` is nullopt. resetComputerName returns to the host name.
void overrideComputerName(std::optional<std::string> name);
void resetComputerName();

// The login session of the current process: the session id the login manager gives
// ($XDG_SESSION_ID when numeric), else the process's session leader; nullopt on failure.
std::optional<std::int32_t> sessionIdOf(std::int32_t processId);

// The user's folder for one kind of file, as the XDG base directories name it: `variable`'s value
// when it is an absolute path (a relative one is ignored), else `underHome` in the home folder, which
// is $HOME or, without it, the account's home. E.g. userFolder("XDG_CONFIG_HOME", ".config").
std::filesystem::path userFolder(const char* variable, const char* underHome);

}  // namespace platform
