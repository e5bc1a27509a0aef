// Points XDG_CONFIG_HOME at a fresh temporary folder for the lifetime of the object, so that
// settings written by a test never touch the user's own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

class TempConfig {
 public:
  TempConfig() {
    std::string pattern = (std::filesystem::temp_directory_path() / "formulist2-test-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old != nullptr) previous_ = old;
    hadPrevious_ = old != nullptr;
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  ~TempConfig() {
    if (hadPrevious_) {
      ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempConfig(const TempConfig&) = delete;
  TempConfig& operator=(const TempConfig&) = delete;
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace testing_support
