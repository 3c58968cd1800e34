#pragma once
// The windows' GuiDialogs, answered from a DialogScript: every message box, file dialog and
// choice is recorded, and each takes its answer from the script.

#include <string>
#include <string_view>
#include <vector>

#include "app/gui/gui_dialogs.h"
#include "tests/support/dialog_script.h"

namespace qm::test {

class ScriptedGuiDialogs : public gui::GuiDialogs, public DialogScript {
  public:
    // OK for a message with only OK; Yes or No for a question, as scripted.
    gui::Answer message(std::string_view text, std::string_view caption, gui::Buttons buttons,
                        MessageIcon icon) override;
    std::string getOpenFileName(std::string_view title, std::string_view folder,
                                std::string_view filter) override;
    std::string getSaveFileName(std::string_view title, std::string_view folder,
                                std::string_view proposedName, std::string_view filter) override;
    std::string getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                      std::string_view proposedName, const std::vector<std::string>& types,
                                      int& type) override;
    int chooseItem(std::string_view title, std::string_view label, const std::vector<std::string>& items,
                   int current) override;
};

}  // namespace qm::test
