// Qt's own texts (standard buttons, file dialogs, the line edit's menu) in the user's language.
#pragma once

#include <string_view>

namespace forms::qt {

// Loads Qt's translations for a language of the wizard ("CHS", "CHT", "EN", any case) into the
// running QApplication, replacing those loaded by an earlier call. True when Qt now speaks that
// language; false for English (Qt's own), for a language Qt has no installed translations of, and
// when there is no application yet.
bool installQtTranslations(std::u16string_view language);

}  // namespace forms::qt
