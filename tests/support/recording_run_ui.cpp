#include "tests/support/recording_run_ui.h"

namespace qm::test {

std::vector<std::string> RecordingRunUi::texts() const {
    std::vector<std::string> out;
    for (const Message& m : messages) out.push_back(m.text);
    return out;
}

void RecordingRunUi::showMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
    messages.push_back({false, std::string(text), std::string(caption), icon});
}

bool RecordingRunUi::askYesNo(std::string_view text, std::string_view caption, MessageIcon icon) {
    messages.push_back({true, std::string(text), std::string(caption), icon});
    if (answers.empty()) return defaultAnswer;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingRunUi::showProgress(int minimum, int maximum) {
    progressMinimum = minimum;
    progressMaximum = maximum;
    progressPositions.push_back(0);
    progressVisible = true;
    ++progressShown;
}

void RecordingRunUi::setProgress(int position) {
    progressPositions.push_back(position);
}

void RecordingRunUi::hideProgress() {
    progressVisible = false;
    ++progressHidden;
}

void RecordingRunUi::processEvents() {
    ++eventsProcessed;
    if (onProcessEvents) onProcessEvents(eventsProcessed);
}

void RecordingRunUi::openFolder(std::string_view folder) {
    openedFolders.emplace_back(folder);
}

void RecordingRunUi::showMainWindow() {
    mainWindowVisible = true;
    ++mainWindowShown;
}

void RecordingRunUi::hideMainWindow() {
    mainWindowVisible = false;
    ++mainWindowHidden;
}

}  // namespace qm::test
