#pragma once
// Stands where the window stands for a run, without a window: it plans the run from the program
// state as the window does, runs it, shows its closing messages through a DialogScript and
// remembers everything the run reported.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "merge/merge_run.h"
#include "tests/support/dialog_script.h"

namespace qm {
struct ProgramState;
namespace word {
class WordHost;
}
}  // namespace qm

namespace qm::test {

class RecordingRunUi : public RunObserver, public DialogScript {
  public:
    // Called on every progress report, with its documents done.
    std::function<void(int)> onProgress;
    // Answers stopRequested(); never stops when unset.
    std::function<bool()> onStopAsked;

    std::vector<int> progressPositions;      // documents done at each report of a save run, from 0
    int progressMaximum = -1;                // the documents the run meant to make
    std::vector<std::string> progressLines;  // the progress lines the window would show
    std::vector<std::string> openedFolders;

    void progress(const RunProgress& now) override;
    bool stopRequested() override { return onStopAsked && onStopAsked(); }
    void openFolder(std::string_view folder) { openedFolders.emplace_back(folder); }
};

// Plans a run over `request`'s rows, sheet and template with the state's workbook, modes,
// output folder and reference name; runs it; shows its closing messages through `ui` (a Yes to
// the last question opens the output folder). A plan that fails says nothing and gives an
// outcome that never started.
RunOutcome RunMerge(ProgramState& state, word::WordHost& host, RecordingRunUi& ui, const RunRequest& request);

}  // namespace qm::test
