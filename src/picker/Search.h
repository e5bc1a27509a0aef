// Finding functions by what a user types into the picker's search box: a function matches when its
// name or its description holds the text, without regard to letter case; a Chinese description
// also matches by its pinyin and by the initials of its syllables (余额: "yue", "ye"). Matches come
// ranked: the exact name, then names starting with the text, names holding it, descriptions
// holding it; the catalogue's order within a rank.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace picker {

struct FunctionEntry {
  std::u16string name;
  std::u16string group;
  std::u16string description;
};

class FunctionIndex {
 public:
  // Indexes the functions once: folded names and descriptions, pinyin and initials.
  explicit FunctionIndex(std::vector<FunctionEntry> entries);

  enum class Rank : std::uint8_t { ExactName, NamePrefix, NameSubstring, Description };
  struct Match {
    std::size_t entry;  // into entries()
    Rank rank;
  };
  // The ranked matches of a text; none for a blank text.
  std::vector<Match> search(std::u16string_view text) const;

  const std::vector<FunctionEntry>& entries() const { return entries_; }

 private:
  struct Keys {
    std::u16string name;         // folded
    std::u16string description;  // folded
    std::string pinyin;          // the description's syllables run together, ASCII
    std::string initials;        // the first letter of each syllable, other characters as they are
  };
  std::vector<FunctionEntry> entries_;
  std::vector<Keys> keys_;
};

// The pinyin of a text and the initials of its syllables, by ICU's Han-Latin transliteration
// without tones, in lower case; characters other than Han ideographs are kept (folded).
void pinyinOf(std::u16string_view text, std::string& pinyin, std::string& initials);

// Every function of the catalogue the component holds, in its groups' order (each function once,
// under its first group).
std::vector<FunctionEntry> catalogueEntries();

}  // namespace picker
