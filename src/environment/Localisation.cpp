#include "environment/Localisation.h"

#include "automation/ClassRegistry.h"
#include "outside/Environment.h"
#include "outside/ProgIds.h"

namespace environment {

LocalisationState& localisationState() {
  static LocalisationState state;
  return state;
}

void resetLocalisationState() { localisationState() = LocalisationState{}; }

std::u16string GetCurrentLanguage() {
  auto& state = localisationState();
  if (!state.g_oLangInfo) state.g_oLangInfo = automation::CreateObject(outside::kLangInfo);
  return outside::LangInfoCalls(state.g_oLangInfo).currentLanguage();
}

}  // namespace environment
