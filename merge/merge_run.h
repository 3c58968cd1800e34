#pragma once
// The merge runs: every row of a range (single-row mode) or several consecutive rows (multi-row
// mode) become one document made from the template, saved or printed.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/disk_flusher.h"
#include "common/fs.h"
#include "data/value_style.h"
#include "word/engine/picture.h"
#include "word/engine/template.h"
#include "word/office_converter.h"

namespace qm {

namespace data {
class Cursor;
}  // namespace data
namespace word {
class WordHost;
class OfficeConverter;
struct SaveResult;
enum class Route;
}  // namespace word

class CombinedPdf;
class DocumentNamer;

enum class OutputKind : int { Save = 0, Print = 1 };

// What a run is doing, for a progress display.
enum class RunPhase { StartingOffice, Making, Joining };

struct RunProgress {
    RunPhase phase = RunPhase::Making;
    int done = 0;          // documents made or failed so far
    int total = 0;         // documents the run means to make
    std::string fileName;  // of the document just finished, without folder ("" while printing)
    // Offices that ended under their documents so far and were started again; the last of them.
    int officeRestarts = 0;
    word::OfficeRestart lastRestart;
};

// Who started a run hears of its progress and may ask it to stop. Both are called on the
// run's own thread.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    virtual void progress(const RunProgress& /*now*/) {}
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

// Everything one run works from, fixed when it starts: the planner makes it.
struct MergeJob {
    RunRequest request;
    std::shared_ptr<data::Cursor> sheet;  // the sheet, opened once for the whole run
    std::vector<std::string> titles;      // the matched column titles, each once, in order
    std::vector<std::string> bookmarks;   // the template's bookmarks, as matched
    bool multiRowMode = false;
    bool repeatMode = false;
    int slotsPerDocument = 1;  // rows a multi-row document takes at most
    std::string outputFolder;  // ends with "/"
    std::string referenceName;
    // The titles whose values name picture files, filled into their bookmarks as pictures; a
    // relative name is taken from `pictureFolder` (the workbook's folder, ending with "/").
    std::vector<std::string> pictureTitles;
    std::string pictureFolder;
};

// Why one document was not made.
enum class FailureKind {
    NameTooLong,   // the file name is longer than the file system allows
    FolderGone,    // the output folder is no longer there
    DiskFull,      // no room left on the disk
    NoPermission,  // the folder or the file may not be written
    OfficeFailed,  // the office did not convert, save or print it
    ValueRefused,  // a value could not be written into the document
    // The office did not answer in time (twice: its documents are tried once more on a new
    // one), and was ended.
    OfficeNoAnswer,
    // Too large for the office: a value longer than it converts in reasonable time (`detail` is
    // the column's title, `megabytes` the value's size), or the document took all the memory the
    // office may have (`detail` empty, `megabytes` the limit).
    TooLargeForOffice,
    // The temporary folder the office works in failed (`detail` is the folder, `code` the errno).
    TemporaryFolder,
    Other,
};

struct DocumentFailure {
    int number = 0;  // the document's number: its row, or its place in multi-row mode
    FailureKind kind = FailureKind::Other;
    std::string detail;  // what failed, in a few words, as the system said it
    int code = 0;        // the errno, when one is known
    double megabytes = 0;
};

// A bookmark that documents of a run left as in the template, and why.
struct BookmarkLeft {
    std::string name;
    std::string why;         // for the user, in the program's language
    std::string reason;      // the engine's words, for the batch command
    std::vector<int> where;  // the rows (document numbers in multi-row mode) it concerns
};

// A bookmark that documents of a run filled with something their user should know.
struct BookmarkNote {
    std::string name;
    engine::Note::Cause cause = engine::Note::Cause::Overlap;
    std::string other;       // Overlap: the bookmark it overlaps, filled before it
    std::size_t limit = 0;   // TooLong: the form field's maximum length in characters
    std::vector<int> where;  // the rows (document numbers in multi-row mode) it concerns
};

// A picture file that documents of a run went without: their bookmarks stayed as in the
// template.
struct PictureLeft {
    std::string file;        // as the cell names it
    std::string why;         // for the user, in the program's language
    std::string reason;      // in English, for the batch command
    std::vector<int> where;  // the sheet rows whose cell names it
    engine::PictureProblem problem = engine::PictureProblem::None;
};

struct RunOutcome {
    bool started = false;                   // false: a second request while a run was going, ignored
    int documentsMade = 0;                  // saved (and found on disk) or printed
    std::vector<std::string> files;         // files written, in order
    std::vector<int> failedNumbers;         // document numbers whose save or print failed
    std::vector<DocumentFailure> failures;  // the same, with why
    std::vector<int> rowsMade;              // rows of the run's list whose document was made
    int firstRow = 0, lastRow = 0;          // the range the run meant to make (0 when it never began)
    // With filters, the sheet row of each row of the list (from 1); empty when they are the same.
    std::vector<int> sheetRows;
    bool officeLost = false;    // the office stopped answering during the run
    bool templateLost = false;  // no working document could be made from the template
    // The template file was replaced or changed during the run: the later rows would have come
    // from another template, so the run stopped.
    bool templateChanged = false;
    bool nothingMatched = false;    // the no-match message was shown
    bool diskFull = false;          // a save found the disk full; the run stopped there
    bool folderGone = false;        // the output folder disappeared during the run; it stopped there
    bool folderReadOnly = false;    // the output folder could no longer be written; it stopped there
    bool stopped = false;           // the user (or a signal) stopped the run
    bool throughOffice = false;     // the documents were made by the office, not in this process
    bool singleFileFailed = false;  // the one PDF was not written; an earlier file of its name is kept
    std::vector<BookmarkLeft> bookmarksLeft;  // in the order first met
    std::vector<BookmarkNote> bookmarkNotes;  // in the order first met
    std::vector<PictureLeft> picturesLeft;    // in the order first met
    std::string joinError;                    // why the one PDF could not be joined, when it could not
    std::string flushError;  // why the saved documents could not be put on disk, when they could not
    // Why the office converted the documents one at a time although it could have taken many at
    // once (slower, same pages); "" when it did not.
    std::string convertedSeparately;
    // Offices that ended under their documents and were started again, in order.
    std::vector<word::OfficeRestart> officeRestarts;
    // The temporary folder the office works in could not be written (checked when the run began,
    // and met by a save): the folder and the errno; the run made no document after it.
    std::string temporaryFolder;
    int temporaryError = 0;

    // The sheet rows of the range that got no document, in order.
    std::vector<int> RowsWithoutDocument() const;

    // What the closing messages need to know of the run itself.
    bool print = false;
    bool singleFile = false;
    bool multiRowMode = false;
    std::string outputFolder;
    std::string referenceName;

    // Something went wrong: a document failed, or the run ended before the end of its range.
    bool failed() const {
        return !failedNumbers.empty() || officeLost || templateLost || templateChanged || diskFull ||
               folderGone || folderReadOnly || stopped || nothingMatched || singleFileFailed ||
               !flushError.empty() || !temporaryFolder.empty();
    }
};

// The documents' rows (or numbers) as the closing messages list them: "3、5-9、12" with `separator`
// between the parts.
std::string JoinNumbers(const std::vector<int>& numbers, std::string_view separator);
// What the closing messages say of the bookmarks left as in the template, one line (ending in
// CR LF) for each; "" when none.
std::string BookmarksLeftText(const std::vector<BookmarkLeft>& left, bool multiRowMode);
// The same for the bookmarks filled with something the user should know.
std::string BookmarkNotesText(const std::vector<BookmarkNote>& notes, bool multiRowMode);
// The same for picture files that could not be placed.
std::string PicturesLeftText(const std::vector<PictureLeft>& left);

// The query a run is described with: the matched titles as they stand, in order and with their
// repetitions, from the table `sheetName`. The run itself reads the columns by index.
std::string MergeQuery(const std::vector<std::string>& matchedTitles, std::string_view sheetName);

// One run over one range of a planned job. It fills the working document of `host` row by row
// and saves or prints each document; it shows nothing and asks nothing. Never throws.
class MergeRun {
  public:
    MergeRun(MergeJob job, word::WordHost& host, RunObserver& observer);
    ~MergeRun();
    MergeRun(const MergeRun&) = delete;
    MergeRun& operator=(const MergeRun&) = delete;

    RunOutcome Execute();

  private:
    bool Prepare();
    bool DocumentReady();
    bool FillField(std::size_t column, const std::string& bookmark);
    // The picture a picture column's `value` names, read once a run while memory allows;
    // null (with the file noted for the row) when it cannot be placed.
    std::shared_ptr<const engine::Picture> PictureFor(const std::string& value);
    // A document begun: its number, its rows, its place in the run and its file.
    struct Pending {
        int number = 0;
        int firstRow = 0, lastRow = 0;
        int ordinal = 0;
        std::string fileName;  // print runs: the PDF made to be printed
        std::string jobName;   // print runs
    };
    bool FinishDocument(int number, int firstRow, int lastRow);
    bool HandOver(const Pending& pending);
    void TakeConverted();
    // `inPrevious`: its pages went into the part of the document before it (one PDF of all).
    void Record(const Pending& pending, const word::SaveResult& saved, bool inPrevious = false);
    void FinishConversions();
    // Print runs: the converted documents sent to the printer in their order, as far as every
    // earlier one is back; `last`: the run is over, and what cannot follow in order is dropped.
    void PrintInOrder(bool last);
    void RecordPrint(const Pending& pending, bool made);
    RunOutcome End();
    void RunSingleRowMerge();
    void RunMultiRowMerge();
    bool IsPrint() const;
    bool Stopping();
    void Report(RunPhase phase, const std::string& fileName);
    // Output naming: the value that names the document begun, and the file it is saved as.
    void BeginDocument();
    std::string OutputFileName(int number);
    void JoinDocuments();
    void NoteBookmarksLeft(int number);
    void NoteBookmarkNotes(int number);
    DocumentFailure Failure(int number, const std::string& fileName, const word::SaveResult& saved) const;
    // True when no later document can be made: the disk, the output or temporary folder failed.
    bool Halted() const;
    // The failure of the document begun, whose value is too large for the office.
    word::SaveResult TooLarge() const;

    MergeJob job_;
    word::WordHost& host_;
    RunObserver& observer_;
    data::Cursor* cursor_ = nullptr;
    std::vector<int> columns_;          // cursor field of each title
    std::vector<bool> pictureColumns_;  // by title
    // Pictures read so far, by the path they were read from, and the bytes they hold.
    std::map<std::string, engine::PictureResult> pictures_;
    std::size_t pictureBytes_ = 0;
    word::Route route_;
    bool throughOffice_ = false;  // the documents go through the office: converted, printed or made
    FileStamp templateStamp_;     // the template's version the run's documents come from
    RunOutcome outcome_;
    int start_ = 1;
    int count_ = 0;
    int total_ = 0;  // documents the run means to make
    int nameField_ = -1;
    std::unique_ptr<DocumentNamer> namer_;
    std::unique_ptr<CombinedPdf> combined_;
    std::unique_ptr<DiskFlusher> flusher_;  // saved documents put on disk while the run goes on
    std::string documentValue_;
    // A value of the document begun that is too large for the office to convert: its column and
    // size; "" when none is.
    std::string tooLargeColumn_;
    std::size_t tooLargeBytes_ = 0;
    int ordinal_ = 0;  // documents begun so far
    int done_ = 0;     // documents made or failed so far
    word::OfficeConverter* converter_ =
        nullptr;                      // the host's, for PDF and ODT runs of the engine's documents
    std::map<int, Pending> pending_;  // with the converter, by ordinal
    // Print runs with the converter: documents back from it, waiting for their turn to print.
    std::map<int, std::pair<Pending, word::SaveResult>> toPrint_;
    int nextToPrint_ = 1;      // the ordinal printed next
    std::string printFolder_;  // the PDFs to print, made for the run and removed with it
    std::vector<std::pair<int, std::string>> madeFiles_;  // by ordinal
};

}  // namespace qm
