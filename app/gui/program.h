#pragma once
// The program-wide objects that start-up makes and ProgramEndCleanup ends.

#include <memory>
#include <string>

#include "app/core/settings.h"
#include "merge/program_state.h"
#include "word/word_host.h"

namespace qm::gui {

struct ProgramObjects {
    std::unique_ptr<ProgramState> state;
    std::unique_ptr<word::WordHost> host;
    std::unique_ptr<AppSettings> settings;
};

// In start-up order: the state, the office host (no office started), the settings (loaded;
// the first start writes the default row).
ProgramObjects MakeProgramObjects(const std::string& programFolder, std::unique_ptr<word::Office> office);

// Puts Qt's own texts (the buttons of the file dialogs, the menus of the text boxes) in Chinese,
// whatever the desktop's language: makes Chinese the default locale and loads Qt's translations
// into the running application. False
// when they are not installed; the texts then stay as Qt has them.
bool InstallQtTranslations();

// After the windows are gone: the office quits without saving and its process ends, then the
// settings go. Safe to call twice.
void ProgramEndCleanup(ProgramObjects& objects);

}  // namespace qm::gui
