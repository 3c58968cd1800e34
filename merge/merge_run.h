#pragma once
// The merge runs: every row of a range (single-row mode) or several consecutive rows (multi-row
// mode) become one document made from the template, saved or printed.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/dialogs.h"
#include "data/value_style.h"

namespace qm {

struct ProgramState;
namespace data {
class Cursor;
class WorkbookCache;
}  // namespace data
namespace word {
class WordHost;
enum class Route;
}  // namespace word

class CombinedPdf;
class DocumentNamer;

enum class OutputKind : int { Save = 0, Print = 1 };

// What a run needs from whoever started it: messages and questions, the progress display,
// event processing, the file browser, the main window, and whether to stop.
class RunUi : public UserDialogs {
  public:
    virtual void showProgress(int minimum, int maximum) = 0;  // position 0, visible
    virtual void setProgress(int position) = 0;
    virtual void hideProgress() = 0;
    virtual void processEvents() = 0;  // let pending window events run
    virtual void openFolder(std::string_view folder) = 0;
    virtual void showMainWindow() = 0;
    virtual void hideMainWindow() = 0;
    // Asked before each document: true ends the run there, with a report of what was made.
    virtual bool stopRequested() { return false; }
};

struct RunRequest {
    int start = 1;  // first row, from 1 (below 1 counts as 1)
    int end = 0;    // last row, inclusive; below 1 means the last row of the sheet
    OutputKind kind = OutputKind::Save;
    std::string sheetName;           // table name as listed, e.g. "Sheet1$"
    std::string templatePath;        // full path of the template
    std::string extension = ".doc";  // of the saved files: .doc, .docx, .odt or .pdf
    // Save runs: the column whose value, after the reference name, names each file
    // (合同_张三.doc; see DocumentNamer); "" numbers the files.
    std::string nameColumn;
    // Save runs in ".pdf": one PDF holding every document in order, named reference + ".pdf",
    // written only when every document was made.
    bool singleFile = false;
};

// Everything one run works from, fixed when it starts.
struct MergeJob {
    RunRequest request;
    std::string connection;              // the workbook
    std::vector<std::string> titles;     // the matched column titles, each once, in order
    std::vector<std::string> bookmarks;  // the template's bookmarks, as matched
    bool multiRowMode = false;
    bool repeatMode = false;
    data::ValueStyle valueStyle = data::ValueStyle::Raw;  // how cells become text
    std::string outputFolder;                             // ends with "/"
    std::string referenceName;
};

// A bookmark that documents of a run left as in the template, and why.
struct BookmarkLeft {
    std::string name;
    std::string why;         // for the user, in the program's language
    std::string reason;      // the engine's words, for the batch command
    std::vector<int> where;  // the rows (document numbers in multi-row mode) it concerns
};

struct RunOutcome {
    bool started = false;            // false: a second request while a run was going, ignored
    int documentsMade = 0;           // saved (and found on disk) or printed
    std::vector<std::string> files;  // files written, in order
    std::vector<int> failedNumbers;  // document numbers whose save or print failed
    std::vector<int> rowsMade;       // sheet rows whose document was made
    int firstRow = 0, lastRow = 0;   // the range the run meant to make (0 when it never began)
    bool officeLost = false;         // the office stopped answering during the run
    bool templateLost = false;       // no working document could be made from the template
    bool nothingMatched = false;     // the no-match message was shown
    bool diskFull = false;           // a save found the disk full; the run stopped there
    bool stopped = false;            // the user (or a signal) stopped the run
    bool throughOffice = false;      // the documents were made by the office, not in this process
    bool singleFileFailed = false;   // the one PDF was not written; an earlier file of its name is kept
    std::vector<BookmarkLeft> bookmarksLeft;  // in the order first met
};

// The documents' rows (or numbers) as the closing messages list them: "3、5-9、12" with `separator`
// between the parts.
std::string JoinNumbers(const std::vector<int>& numbers, std::string_view separator);
// What the closing messages say of the bookmarks left as in the template, one line (ending in
// CR LF) for each; "" when none.
std::string BookmarksLeftText(const std::vector<BookmarkLeft>& left, bool multiRowMode);

// The query a run is described with: the matched titles as they stand, in order and with their
// repetitions, from the table `sheetName`. The run itself reads the columns by index.
std::string MergeQuery(std::string_view matchedTitles, std::string_view sheetName);

// One run over one range. It reads its own cursor on the sheet, fills the working document of
// `host` row by row, and tells `ui` what happened. Never throws.
class MergeRun {
  public:
    MergeRun(MergeJob job, data::WorkbookCache* workbooks, word::WordHost& host, RunUi& ui);
    ~MergeRun();
    MergeRun(const MergeRun&) = delete;
    MergeRun& operator=(const MergeRun&) = delete;

    RunOutcome Execute();

  private:
    bool Prepare();
    bool DocumentReady();
    bool FillField(std::size_t column, const std::string& bookmark);
    bool FinishDocument(int number, int progress, int firstRow, int lastRow);
    void NoBookmarkFilled();
    RunOutcome End();
    std::string NothingMadeText() const;
    void RunSingleRowMerge();
    void RunMultiRowMerge();
    bool IsPrint() const;
    bool Stopping();
    std::string FailureText() const;
    std::string SingleFileFailureText() const;
    // Output naming: the value that names the document begun, and the file it is saved as.
    void BeginDocument();
    std::string OutputFileName(int number);
    void JoinDocuments();
    void NoteBookmarksLeft(int number);

    MergeJob job_;
    data::WorkbookCache* workbooks_;
    word::WordHost& host_;
    RunUi& ui_;
    std::unique_ptr<data::Cursor> cursor_;
    std::vector<int> columns_;  // cursor field of each title
    word::Route route_;
    RunOutcome outcome_;
    int start_ = 1;
    int count_ = 0;
    int nameField_ = -1;
    std::unique_ptr<DocumentNamer> namer_;
    std::unique_ptr<CombinedPdf> combined_;
    std::string documentValue_;
    int ordinal_ = 0;  // documents finished so far
    std::string joinError_;
};

// The run of the program's run buttons and of the batch command: the job is taken from the
// program state (workbook, matched titles, modes, output naming) and the request, the state's
// sheet query is set to the run's, and the run goes. A request while a run goes is ignored.
RunOutcome RunMerge(ProgramState& state, word::WordHost& host, RunUi& ui, const RunRequest& request);

}  // namespace qm
