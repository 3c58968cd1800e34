#include "tests/support/gui/scripted_gui_dialogs.h"

namespace qm::test {

gui::Answer ScriptedGuiDialogs::message(std::string_view text, std::string_view caption, gui::Buttons buttons,
                                        MessageIcon icon) {
    const bool question = buttons == gui::Buttons::YesNo;
    const bool yes = RecordMessage(text, caption, icon, question);
    if (!question) return gui::Answer::Ok;
    return yes ? gui::Answer::Yes : gui::Answer::No;
}

std::string ScriptedGuiDialogs::getOpenFileName(std::string_view title, std::string_view folder,
                                                std::string_view filter) {
    DialogCall call;
    call.kind = DialogCall::Open;
    call.title = title;
    call.folder = folder;
    call.filter = filter;
    return RecordFileDialog(std::move(call));
}

std::string ScriptedGuiDialogs::getSaveFileName(std::string_view title, std::string_view folder,
                                                std::string_view proposedName, std::string_view filter) {
    DialogCall call;
    call.kind = DialogCall::Save;
    call.title = title;
    call.folder = folder;
    call.proposedName = proposedName;
    call.filter = filter;
    return RecordFileDialog(std::move(call));
}

std::string ScriptedGuiDialogs::getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                                      std::string_view proposedName,
                                                      const std::vector<std::string>& types, int& type) {
    DialogCall call;
    call.kind = DialogCall::Save;
    call.title = title;
    call.folder = folder;
    call.proposedName = proposedName;
    call.types = types;
    return RecordFileDialog(std::move(call), &type);
}

int ScriptedGuiDialogs::chooseItem(std::string_view title, std::string_view label,
                                   const std::vector<std::string>& items, int current) {
    DialogCall call;
    call.title = title;
    call.text = label;
    call.items = items;
    call.current = current;
    return RecordChoice(std::move(call));
}

}  // namespace qm::test
