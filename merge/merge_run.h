#pragma once
// The merge runs: every row of a range (single-row mode) or several consecutive rows (multi-row
// mode) become one document made from the template, saved or printed.

#include <string>
#include <string_view>
#include <vector>

#include "common/dialogs.h"

namespace qm {

struct ProgramState;
namespace word {
class WordHost;
}

enum class OutputKind : int { Save = 0, Print = 1 };

// What a run needs from whoever started it: messages and questions, the progress display,
// event processing, the file browser and the main window.
class RunUi : public UserDialogs {
public:
    virtual void showProgress(int minimum, int maximum) = 0;  // position 0, visible
    virtual void setProgress(int position) = 0;
    virtual void hideProgress() = 0;
    virtual void processEvents() = 0;  // let pending window events run
    virtual void openFolder(std::string_view folder) = 0;
    virtual void showMainWindow() = 0;
    virtual void hideMainWindow() = 0;
};

struct RunRequest {
    int start = 1;  // first row, from 1 (below 1 counts as 1)
    int end = 0;    // last row, inclusive; below 1 means the last row of the sheet
    OutputKind kind = OutputKind::Save;
    std::string sheetName;     // table name as listed, e.g. "Sheet1$"
    std::string templatePath;  // full path of the template
    std::string extension = ".doc";  // of the saved files: .doc, .docx, .odt or .pdf
};

struct RunOutcome {
    bool started = false;           // false: a second request while a run was going, ignored
    int documentsMade = 0;          // saved (and found on disk) or printed
    std::vector<std::string> files; // files written, in order
    std::vector<int> failedNumbers; // document numbers whose save or print failed
    bool officeLost = false;        // the office stopped answering during the run
    bool templateLost = false;      // the office answers but no working document could be made
    bool nothingMatched = false;    // the no-match message was shown
};

// The query a run opens: the matched titles as they stand, in order and with their
// repetitions, from the table `sheetName`.
std::string MergeQuery(std::string_view matchedTitles, std::string_view sheetName);

// Dispatches on state.multiRowMode to RunMultiRowMerge or RunSingleRowMerge.
RunOutcome RunMerge(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request);
RunOutcome RunSingleRowMerge(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request);
RunOutcome RunMultiRowMerge(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request);

}  // namespace qm
