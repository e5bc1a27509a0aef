#include "automation/Text.h"

#include <charconv>

#include "automation/Error.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace automation {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Applies a per-code-point mapping that keeps the UTF-16 length of each code point; a mapping that
// would change the length (rare, outside the BMP) leaves that code point as it was.
template <class Map>
std::u16string mapCodePoints(std::u16string_view text, Map map) {
  std::u16string out(text);
  const auto length = static_cast<std::int32_t>(out.size());
  std::int32_t i = 0;
  while (i < length) {
    char16_t& unit = out[static_cast<std::size_t>(i)];
    // Plain ASCII needs no tables: only the letters change. Kana, Hangul letters and the CJK
    // ideographs have no case at all.
    if (unit < 0x80) {
      if ((unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z'))
        unit = static_cast<char16_t>(map(unit));
      ++i;
      continue;
    }
    if (unit >= 0x3000 && unit <= 0x9FFF) {
      ++i;
      continue;
    }
    const std::int32_t start = i;
    UChar32 c;
    U16_NEXT(out.data(), i, length, c);
    const UChar32 mapped = map(c);
    if (mapped != c && U16_LENGTH(mapped) == i - start) {
      std::int32_t j = start;
      U16_APPEND_UNSAFE(out.data(), j, mapped);
    }
  }
  return out;
}

std::u16string fold(std::u16string_view text) {
  return mapCodePoints(text, [](UChar32 c) { return u_foldCase(c, U_FOLD_CASE_DEFAULT); });
}

}  // namespace

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U16_NEXT(text.data(), i, length, c);
    if (U_IS_SURROGATE(c)) c = kReplacement;
    char buffer[4];
    std::int32_t n = 0;
    U8_APPEND_UNSAFE(buffer, n, c);
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

std::u16string fromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    const auto byte = static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
    if (byte < 0x80) {  // ASCII needs no decoding
      out.push_back(byte);
      ++i;
      continue;
    }
    UChar32 c;
    U8_NEXT(text.data(), i, length, c);
    if (c < 0) c = kReplacement;
    if (c <= 0xFFFF) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(U16_LEAD(c)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
  }
  return out;
}

std::u16string upper(std::u16string_view text) {
  return mapCodePoints(text, [](UChar32 c) { return u_toupper(c); });
}

std::u16string lower(std::u16string_view text) {
  return mapCodePoints(text, [](UChar32 c) { return u_tolower(c); });
}

std::u16string decimalText(std::int64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  return std::u16string(digits, end);
}

std::u16string trim(std::u16string_view text) {
  return std::u16string(trimmed(text));
}

std::int32_t inStr(std::int32_t start, std::u16string_view haystack, std::u16string_view needle,
                   Compare compare) {
  if (start < 1) raise(errors::InvalidProcedureCall);
  const auto from = static_cast<std::size_t>(start - 1);
  if (from > haystack.size()) return 0;
  std::size_t at;
  if (compare == Compare::Text) {
    at = fold(haystack).find(fold(needle), from);
  } else {
    at = haystack.find(needle, from);
  }
  return at == std::u16string_view::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

std::u16string replace(std::u16string_view text, std::u16string_view find, std::u16string_view with,
                       Compare compare) {
  if (find.empty()) return std::u16string(text);
  // Folding keeps code-unit positions, so matches found in the folded text map onto the original.
  const std::u16string folded = compare == Compare::Text ? fold(text) : std::u16string(text);
  const std::u16string foldedFind = compare == Compare::Text ? fold(find) : std::u16string(find);
  std::u16string out;
  std::size_t pos = 0;
  while (true) {
    const auto at = folded.find(foldedFind, pos);
    if (at == std::u16string::npos) break;
    out.append(text.substr(pos, at - pos));
    out.append(with);
    pos = at + find.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::optional<std::u16string> propertyValue(std::u16string_view props, std::u16string_view key) {
  const std::u16string wanted = trim(key);
  std::size_t start = 0;
  while (start < props.size()) {
    std::size_t end = props.find(u';', start);
    if (end == std::u16string_view::npos) end = props.size();
    const std::u16string_view pair = props.substr(start, end - start);
    const std::size_t eq = pair.find(u'=');
    if (eq != std::u16string_view::npos && equalsIgnoreCase(trim(pair.substr(0, eq)), wanted)) {
      return std::u16string(pair.substr(eq + 1));
    }
    start = end + 1;
  }
  return std::nullopt;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  // Member names, keys and ProgIDs are ASCII: compare those without the Unicode tables.
  bool ascii = true;
  for (std::size_t i = 0; i < a.size() && ascii; ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= 0x80 || y >= 0x80) {
      ascii = false;
      break;
    }
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return ascii || fold(a) == fold(b);
}

bool asciiUpper(std::u16string_view text, std::span<char16_t> out) {
  if (text.size() > out.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0x80) return false;
    out[i] = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  }
  return true;
}

bool sameUpper(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;  // upper keeps the length
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x == y) continue;  // equal units map alike, a surrogate pair's half included
    // The code units upper() passes through or maps on its own; anything else may depend on its
    // neighbour (a surrogate pair) or on the tables, so the whole texts are mapped.
    const bool plain =
        (x < 0x80 || (x >= 0x3000 && x <= 0x9FFF)) && (y < 0x80 || (y >= 0x3000 && y <= 0x9FFF));
    if (!plain) return upper(a) == upper(b);
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace automation
