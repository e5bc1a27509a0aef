// A private temporary folder for one fuzz process, with XDG_CONFIG_HOME, XDG_CACHE_HOME and
// XDG_DATA_HOME pointed into it, so that what a target stores (the registry, the ledger, the usage
// counts) never touches the user's own files. It is made under /dev/shm when that can be written
// (files there cost no disk writes, and the registry's fsync none either), else under TMPDIR, and
// removed when the process exits normally.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzzing {

inline void removeFolderAtExit();

inline const std::filesystem::path& privateFolder() {
  // The name is made once and never destroyed: the handler that removes the folder at exit runs
  // after the static objects made before it was registered are gone.
  static const std::filesystem::path* const folder = [] {
    std::filesystem::path base = std::filesystem::temp_directory_path();
    if (::access("/dev/shm", W_OK | X_OK) == 0) base = "/dev/shm";
    std::string pattern = (base / "formulist2-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    const auto* made = new std::filesystem::path(pattern);
    for (const char* name : {"config", "cache", "data"}) std::filesystem::create_directories(*made / name);
    ::setenv("XDG_CONFIG_HOME", (*made / "config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (*made / "cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (*made / "data").c_str(), 1);
    std::atexit(removeFolderAtExit);
    return made;
  }();
  return *folder;
}

inline void removeFolderAtExit() {
  std::error_code ignored;
  std::filesystem::remove_all(privateFolder(), ignored);
}

}  // namespace fuzzing
