// A thread's last lookup in one of many tables, for callers that ask one table the same thing
// over and over. Each table carries a stamp from freshStamp(), taken anew whenever its answers may
// change, so an answer remembered for one table, or for an older state of it, is never given for
// another.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "automation/Text.h"

namespace automation {

// A stamp no table of this process had before; never 0.
inline std::uint64_t freshStamp() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

template <class V>
class LastLookup {
 public:
  // The answer remembered for `key` (exactly as asked) in the table stamped `stamp`, or nullptr.
  const V* find(std::uint64_t stamp, std::u16string_view key) const {
    return stamp_ == stamp && SameUnits{}(key_, key) ? &value_ : nullptr;
  }
  void remember(std::uint64_t stamp, std::u16string_view key, V value) {
    stamp_ = 0;  // trusted only once all of it is written
    key_.assign(key);
    value_ = std::move(value);
    stamp_ = stamp;
  }

 private:
  std::uint64_t stamp_ = 0;
  std::u16string key_;
  V value_{};
};

}  // namespace automation
