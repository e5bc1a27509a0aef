#include "environment/Localisation.h"

#include "automation/ClassRegistry.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "environment/ProcessProps.h"
#include "forms/FormObject.h"
#include "outside/Environment.h"
#include "outside/ProgIds.h"

namespace environment {

using automation::Compare;

LocalisationState& localisationState() {
  static LocalisationState state;
  return state;
}

void resetLocalisationState() {
  localisationState() = LocalisationState{};
}

std::u16string GetCurrentLanguage() {
  auto& state = localisationState();
  if (!state.g_oLangInfo) state.g_oLangInfo = automation::CreateObject(outside::kLangInfo);
  return outside::LangInfoCalls(state.g_oLangInfo).currentLanguage();
}

void InitResLoader() {
  auto& state = localisationState();
  state.g_oResLoader.reset();
  state.g_oResLoader = automation::CreateObject(outside::kResLoader);
  const outside::ResLoaderCalls loader(state.g_oResLoader);
  loader.setResFileBaseName(u"TAV");
  loader.setLanguageID(GetCurrentLanguage());
  state.g_bResLoaderReady = true;
}

namespace {

// The lookup itself; raises when a component is missing or fails.
std::u16string lookUp(const std::u16string& key) {
  auto& state = localisationState();
  if (!state.g_bResLoaderReady) InitResLoader();
  if (GetCurrentLanguage() != outside::ResLoaderCalls(state.g_oResLoader).languageID()) InitResLoader();
  const std::u16string lang = automation::upper(GetCurrentLanguage());
  if (lang == u"CHS") return key;
  std::u16string text = outside::ResLoaderCalls(state.g_oResLoader).loadString(key);
  if (lang == u"EN") text = automation::replace(text, u"Project", u"Item", Compare::Text);
  if (lang == u"CHT") text = automation::replace(text, u"專案", u"項目");
  return text;
}

}  // namespace

std::u16string TranslateText(std::u16string_view text) {
  const automation::ErrObject pending = automation::Err();
  std::u16string result(text);
  const std::u16string key = automation::trim(text);
  if (!key.empty()) {
    auto& cache = localisationState().g_oTextCache;
    const auto cached = cache.find(key);
    if (cached != cache.end() && !cached->second.empty()) {
      result = cached->second;
    } else {
      try {
        result = automation::asAutomation([&] { return lookUp(key); });
        cache[key] = result;
      } catch (const automation::AutomationError&) {
        result = key;  // readable in the source language rather than blank
      }
    }
  }
  automation::Err() = pending;
  return result;
}

namespace {

// Whether the user's language writes its words apart. When the language cannot be known the texts
// are the Chinese keys, which join as they stand. The caller's pending error is kept.
bool wordsApart() {
  const automation::ErrObject pending = automation::Err();
  const bool apart = automation::trapAndLeave(false, [] {
    const std::u16string lang = automation::upper(automation::trim(GetCurrentLanguage()));
    return !lang.empty() && lang != u"CHS" && lang != u"CHT";
  });
  automation::Err() = pending;
  return apart;
}

bool isAsciiUpper(char16_t c) {
  return c >= u'A' && c <= u'Z';
}

bool isAsciiWordChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || isAsciiUpper(c);
}

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n';
}

}  // namespace

std::u16string NameBeforeText(std::u16string_view name, std::u16string_view key) {
  std::u16string text = L(key);
  if (!wordsApart() || automation::trim(name).empty()) return std::u16string(name) + text;
  // After "Name: " the text goes on as a sentence: "There are" becomes "there are", an
  // abbreviation ("REF …") keeps its capitals.
  if (!text.empty() && isAsciiUpper(text[0]) && (text.size() == 1 || !isAsciiUpper(text[1])))
    text[0] = static_cast<char16_t>(text[0] - u'A' + u'a');
  return std::u16string(name) + u": " + text;
}

std::u16string NameBetweenTexts(std::u16string_view beforeKey, std::u16string_view name,
                                std::u16string_view afterKey) {
  const std::u16string before = L(beforeKey);
  const std::u16string after = L(afterKey);
  std::u16string joined = before;
  const bool apart = wordsApart() && !name.empty();
  if (apart && !before.empty() && !isBlank(before.back())) joined += u' ';
  joined += name;
  // Punctuation closes up to the name; a word after it stands apart.
  if (apart && !after.empty() && isAsciiWordChar(after.front())) joined += u' ';
  joined += after;
  return joined;
}

void SetFormFont(forms::Form& form) {
  auto& state = localisationState();
  if (state.g_sLanguage.empty()) state.g_sLanguage = GetProcessProp(u"Language");
  if (!state.g_oFormFontLoader) state.g_oFormFontLoader = automation::CreateObject(outside::kFormFontLoader);
  outside::FormFontLoaderCalls(state.g_oFormFontLoader)
      .setFrmFont(std::make_shared<forms::FormObject>(form), state.g_sLanguage);
}

}  // namespace environment
