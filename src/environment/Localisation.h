// Localisation: every text the user sees is written in Simplified Chinese and looked up here by
// that text; other languages come from the resource loader. Also the language font of dialogs.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "automation/Variant.h"

namespace forms {
class Form;
}

namespace environment {

// Process-wide state of the localisation routines.
struct LocalisationState {
  automation::ObjectRef g_oLangInfo;        // Q7LangInfo.LangInfo, created on first use
  automation::ObjectRef g_oResLoader;       // Q7RESLOADER.Loader, replaced by InitResLoader
  automation::ObjectRef g_oFormFontLoader;  // Quorin.QuorinLoader, created on first use
  bool g_bResLoaderReady = false;
  std::unordered_map<std::u16string, std::u16string> g_oTextCache;  // trimmed key -> translation
  std::u16string g_sLanguage;                                       // the language handed to the font loader
};

LocalisationState& localisationState();
// Drops the language components and the cache (tests start each case from a fresh process state).
void resetLocalisationState();

// The text for the user's language: the key itself (trimmed) for CHS, the resource loader's text
// for CHT and EN, with "Project" / "專案" replaced by "Item" / "項目". Translations are cached for
// the process. A blank text comes back unchanged. When a language or resource component is missing
// or fails, the answer is the trimmed key, and nothing is cached. The caller's pending error is
// the same afterwards.
std::u16string TranslateText(std::u16string_view text);
// Short for TranslateText, as the dialogs write it.
inline std::u16string L(std::u16string_view text) {
  return TranslateText(text);
}

// A name joined to translated texts as one message. Chinese joins them as they stand
// ("年度没有可选的列表值!"); English, which writes its words apart, reads as a sentence:
// NameBeforeText gives "Year: there are no list values to choose from!", NameBetweenTexts puts
// a space between a word and the name ("… the formula NOPE!"). Keys are translated with L.
std::u16string NameBeforeText(std::u16string_view name, std::u16string_view key);
std::u16string NameBetweenTexts(std::u16string_view beforeKey, std::u16string_view name,
                                std::u16string_view afterKey);

// The language component's CurrentLanguage ("CHS", "CHT", "EN" …).
std::u16string GetCurrentLanguage();

// Replaces the resource loader by a new one for resource file "TAV" and the current language.
void InitResLoader();

// Applies the language font to a dialog (called while it loads). Failures reach the dialog.
void SetFormFont(forms::Form& form);

}  // namespace environment
