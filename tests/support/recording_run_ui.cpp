#include "tests/support/recording_run_ui.h"

namespace qm::test {

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
