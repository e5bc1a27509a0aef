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

void SetFormFont(forms::Form& form) {
  auto& state = localisationState();
  if (state.g_sLanguage.empty()) state.g_sLanguage = GetProcessProp(u"Language");
  if (!state.g_oFormFontLoader) state.g_oFormFontLoader = automation::CreateObject(outside::kFormFontLoader);
  outside::FormFontLoaderCalls(state.g_oFormFontLoader)
      .setFrmFont(std::make_shared<forms::FormObject>(form), state.g_sLanguage);
}

}  // namespace environment
