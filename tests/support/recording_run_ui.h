#pragma once
// A RunUi that answers from a DialogScript and remembers everything a run showed.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "merge/merge_run.h"
#include "tests/support/dialog_script.h"

namespace qm::test {

class RecordingRunUi : public RunUi, public DialogScript {
  public:
    // Called on every processEvents(), with the number of calls so far (from 1).
    std::function<void(int)> onProcessEvents;
    // Answers stopRequested(); never stops when unset.
    std::function<bool()> onStopAsked;

    std::vector<int> progressPositions;  // every setProgress
    int progressMinimum = -1, progressMaximum = -1;
    int progressShown = 0, progressHidden = 0;
    bool progressVisible = false;
    int eventsProcessed = 0;
    std::vector<std::string> openedFolders;
    bool mainWindowVisible = true;
    int mainWindowShown = 0, mainWindowHidden = 0;

    void showMessage(std::string_view text, std::string_view caption = kDefaultCaption,
                     MessageIcon icon = MessageIcon::None) override {
        RecordMessage(text, caption, icon, false);
    }
    bool askYesNo(std::string_view text, std::string_view caption = kDefaultCaption,
                  MessageIcon icon = MessageIcon::None) override {
        return RecordMessage(text, caption, icon, true);
    }
    void showProgress(int minimum, int maximum) override;
    void setProgress(int position) override;
    void hideProgress() override;
    void processEvents() override;
    void openFolder(std::string_view folder) override;
    void showMainWindow() override;
    void hideMainWindow() override;
    bool stopRequested() override { return onStopAsked && onStopAsked(); }
};

}  // namespace qm::test
