// Points XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_DATA_HOME into a fresh temporary folder for the
// lifetime of the object, so that what a test writes never touches the user's own files.
#pragma once

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace testing_support {

class TempConfig {
 public:
  TempConfig() {
    std::string pattern = (std::filesystem::temp_directory_path() / "formulist2-test-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    for (std::size_t i = 0; i < kVariables.size(); ++i) {
      const char* old = std::getenv(kVariables[i]);
      previous_[i] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
      ::setenv(kVariables[i], (dir_ / kFolders[i]).c_str(), 1);
    }
  }
  ~TempConfig() {
    for (std::size_t i = 0; i < kVariables.size(); ++i) {
      if (previous_[i]) {
        ::setenv(kVariables[i], previous_[i]->c_str(), 1);
      } else {
        ::unsetenv(kVariables[i]);
      }
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempConfig(const TempConfig&) = delete;
  TempConfig& operator=(const TempConfig&) = delete;
  // The folder XDG_CONFIG_HOME points at.
  std::filesystem::path dir() const { return dir_ / kFolders[0]; }

 private:
  static constexpr std::array<const char*, 3> kVariables = {"XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                                            "XDG_DATA_HOME"};
  static constexpr std::array<const char*, 3> kFolders = {"config", "cache", "data"};
  std::filesystem::path dir_;
  std::array<std::optional<std::string>, 3> previous_;
};

}  // namespace testing_support
