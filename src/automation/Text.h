// Automation strings are UTF-16, as the platform counts them. These helpers convert at the
// boundaries (files, terminal, databases) and give the platform's case-insensitive text operations.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace automation {

// UTF-8 <-> UTF-16. Ill-formed input is replaced by U+FFFD rather than rejected.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

// Upper / lower case, one code unit for one code unit (simple case mapping), so that lengths and
// caret positions stay where they were.
std::u16string upper(std::u16string_view text);
std::u16string lower(std::u16string_view text);

// A whole number in decimal, with a minus sign when negative.
std::u16string decimalText(std::int64_t n);

// Removes leading and trailing blanks (space characters only, as the platform's Trim does).
std::u16string trim(std::u16string_view text);
// The same part of `text`, without copying it.
inline std::u16string_view trimmed(std::u16string_view text) {
  while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  return text;
}

enum class Compare { Binary, Text };

// 1-based position of `needle` in `haystack` at or after `start` (1-based); 0 when absent.
// An empty needle is found at `start`, as the platform's InStr answers; a start below 1 raises 5.
std::int32_t inStr(std::int32_t start, std::u16string_view haystack, std::u16string_view needle,
                   Compare compare = Compare::Binary);

// Replaces every occurrence of `find` by `with`, scanning left to right without overlaps.
std::u16string replace(std::u16string_view text, std::u16string_view find, std::u16string_view with,
                       Compare compare = Compare::Binary);

// The value of `key` in a property string "KEY=value;KEY=value…": the first pair whose key, without
// surrounding blanks, equals `key` ignoring letter case. The value is as written (untrimmed);
// nullopt when no pair has the key.
std::optional<std::u16string> propertyValue(std::u16string_view props, std::u16string_view key);

// Equality ignoring letter case (Unicode case folding, code unit for code unit).
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);
// `text` in upper case into `out`, on the caller's stack, when it is ASCII and fits; false (and
// `out` unspecified) otherwise.
bool asciiUpper(std::u16string_view text, std::span<char16_t> out);

// Whether upper(a) == upper(b), without building either when the texts are ASCII or CJK.
bool sameUpper(std::u16string_view a, std::u16string_view b);

// Equality code unit for code unit, as == answers it, but compared as bytes: for hash containers
// and lookups on a hot path.
struct SameUnits {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const noexcept {
    // An empty view may have no data at all, which memcmp must not be given.
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
  }
};

}  // namespace automation
