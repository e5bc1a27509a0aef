// What the settings store's fault tests write: a value of `size` bytes made from its tag, so that
// every write differs from every other and a value torn, shortened or taken from another write
// shows when it is read back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace store_faults {

inline std::vector<std::uint8_t> valueOf(std::string_view tag, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(size);
  const std::string unit = std::string(tag) + ";";
  while (bytes.size() < size) bytes.push_back(static_cast<std::uint8_t>(unit[bytes.size() % unit.size()]));
  return bytes;
}

// The tag of write `i` of a writer whose tags start with `tag`.
inline std::string tagOf(std::string_view tag, long long i) {
  return std::string(tag) + "#" + std::to_string(i);
}

}  // namespace store_faults
