#include "picker/Search.h"

#include <memory>
#include <mutex>
#include <unordered_map>

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uscript.h>

#include "automation/Conversions.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "component/ReportContext.h"
#include "outside/FuncInfo.h"

namespace picker {
namespace {

std::u16string folded(std::u16string_view text) {
  return automation::lower(text);
}

bool isHan(UChar32 c) {
  UErrorCode status = U_ZERO_ERROR;
  return uscript_getScript(c, &status) == USCRIPT_HAN && U_SUCCESS(status);
}

// The syllable of one Han character, transliterated once and kept.
const std::string& syllableOf(UChar32 c) {
  static std::unordered_map<UChar32, std::string> syllables;
  static std::unique_ptr<icu::Transliterator> toLatin = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> t(icu::Transliterator::createInstance(
        "Han-Latin; Latin-ASCII; Lower", UTRANS_FORWARD, status));
    return U_SUCCESS(status) ? std::move(t) : nullptr;
  }();
  const auto it = syllables.find(c);
  if (it != syllables.end()) return it->second;
  std::string syllable;
  if (toLatin) {
    icu::UnicodeString text(c);
    toLatin->transliterate(text);
    for (int32_t i = 0; i < text.length(); ++i) {
      const char16_t u = text.charAt(i);
      if (u >= u'a' && u <= u'z') syllable += static_cast<char>(u);
    }
  }
  return syllables.emplace(c, std::move(syllable)).first->second;
}

bool contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

}  // namespace

void pinyinOf(std::u16string_view text, std::string& pinyin, std::string& initials) {
  static std::mutex lock;  // the syllable table is shared
  const std::lock_guard<std::mutex> guard(lock);
  pinyin.clear();
  initials.clear();
  for (std::size_t i = 0; i < text.size();) {
    UChar32 c = text[i];
    std::size_t length = 1;
    if (U16_IS_LEAD(text[i]) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) {
      c = U16_GET_SUPPLEMENTARY(text[i], text[i + 1]);
      length = 2;
    }
    i += length;
    if (isHan(c)) {
      const std::string& syllable = syllableOf(c);
      pinyin += syllable;
      if (!syllable.empty()) initials += syllable.front();
    } else if (c < 0x80) {
      const char a = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      pinyin += a;
      initials += a;
    }
  }
}

FunctionIndex::FunctionIndex(std::vector<FunctionEntry> entries) : entries_(std::move(entries)) {
  keys_.reserve(entries_.size());
  for (const FunctionEntry& e : entries_) {
    Keys k{folded(e.name), folded(e.description), {}, {}};
    pinyinOf(e.description, k.pinyin, k.initials);
    keys_.push_back(std::move(k));
  }
}

std::vector<FunctionIndex::Match> FunctionIndex::search(std::u16string_view text) const {
  std::vector<Match> found;
  const std::u16string query = folded(automation::trim(std::u16string(text)));
  if (query.empty()) return found;
  // Pinyin is matched only for a query of ASCII letters, as typed on any keyboard.
  bool latin = true;
  for (char16_t c : query) latin = latin && ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'));
  const std::string ascii = latin ? std::string(query.begin(), query.end()) : std::string();
  std::vector<Match> byRank[4];
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    const Keys& k = keys_[i];
    if (k.name == query) {
      byRank[0].push_back({i, Rank::ExactName});
    } else if (k.name.compare(0, query.size(), query) == 0) {
      byRank[1].push_back({i, Rank::NamePrefix});
    } else if (contains(k.name, query)) {
      byRank[2].push_back({i, Rank::NameSubstring});
    } else if (contains(k.description, query) ||
               (latin && (k.pinyin.find(ascii) != std::string::npos || k.initials.find(ascii) != std::string::npos))) {
      byRank[3].push_back({i, Rank::Description});
    }
  }
  for (auto& rank : byRank) found.insert(found.end(), rank.begin(), rank.end());
  return found;
}

std::vector<FunctionEntry> catalogueEntries() {
  const outside::FuncInfoCalls catalogue(component::componentState().g_oFuncInfo);
  std::vector<FunctionEntry> entries;
  std::unordered_map<std::u16string, bool> seen;
  const automation::Variant groups = catalogue.funcGroup();
  const automation::VariantArray& groupNames = groups.array();
  for (std::int32_t g = groupNames.lbound(); g <= groupNames.ubound(); ++g) {
    const std::u16string group = automation::toText(groupNames(g));
    const automation::Variant list = catalogue.getGroupFuncList(group);
    const automation::VariantArray& names = list.array();
    for (std::int32_t i = names.lbound(); i <= names.ubound(); ++i) {
      const std::u16string name = automation::upper(automation::toText(names(i)));
      if (!seen.emplace(name, true).second) continue;
      const outside::FuncDescriptorCalls function(catalogue.getFuncInfo(name));
      entries.push_back({name, group, function.funcDes()});
    }
  }
  return entries;
}

}  // namespace picker
