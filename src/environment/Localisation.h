// Localisation: the user's language and the components that supply it.
#pragma once

#include <string>

#include "automation/Variant.h"

namespace environment {

// Process-wide state of the localisation routines.
struct LocalisationState {
  automation::ObjectRef g_oLangInfo;  // Q7LangInfo.LangInfo, created on first use
};

LocalisationState& localisationState();
// Drops the language components (tests start each case from a fresh process state).
void resetLocalisationState();

// The language component's CurrentLanguage ("CHS", "CHT", "EN" …).
std::u16string GetCurrentLanguage();

}  // namespace environment
