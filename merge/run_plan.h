#pragma once
// One planner for every run, whoever asks for it: the window and the batch command gather what
// the user chose, the planner checks it and works out the run (the rows, which columns fill
// which bookmarks, the file names), and hands the run a job that reads the sheet it opened.
// Each check lives here once; the faces only word its problems for their users.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/value_style.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/output_names.h"
#include "merge/row_filter.h"

namespace qm {

namespace data {
class Cursor;
class WorkbookCache;
}  // namespace data
namespace word {
class WordHost;
}

// What the user chose: the same for the window and the batch command.
struct RunChoice {
    std::string workbookPath;  // the workbook file
    std::string table;         // its sheet, as listed ("Sheet1$")
    std::string templatePath;  // full path of the template
    bool multiRowMode = false;
    bool repeatMode = false;
    data::ValueStyle valueStyle = data::ValueStyle::Raw;
    // Only the rows that pass every filter take part; rows, pages and ranges then count in
    // that list, and single-row files keep their sheet row numbers.
    std::vector<RowFilter> filters;
    // Titles whose values name picture files (from the workbook's folder when relative): their
    // bookmarks receive the pictures instead of the text.
    std::vector<std::string> pictureColumns;
};

enum class PlanProblemKind {
    WorkbookUnreadable,  // detail: why, in one English line
    SheetUnreadable,     // detail: the table name
    TemplateUnreadable,  // detail: the engine's refusal when it has one (a password, say)
    OfficeUnavailable,   // the template needs the office, and it does not start
    NoTitleMatches,      // no column title begins a bookmark name
    NothingFillable,     // titles match, but none fills a bookmark in the chosen modes
    BadRange,            // detail: why, as the window says it
    RangePastEnd,        // the range starts after the last row
    NoNameColumn,        // detail: the column named for the file names
    FilterProblem,       // detail: the column; filterProblem says what is wrong
    NoRowMatches,        // the filters leave no row
};

struct PlanProblem {
    PlanProblemKind kind;
    std::string detail;
    FilterProblemKind filterProblem = FilterProblemKind::NoSuchColumn;
};

// How a save run names and writes its files.
struct RunOutput {
    OutputKind kind = OutputKind::Save;
    std::string folder;         // ends with "/"; save runs
    std::string referenceName;  // save runs
    std::string extension = ".doc";
    std::string nameColumn;  // "" numbers the files
    bool singleFile = false;
};

class RunPlanner {
  public:
    RunPlanner(data::WorkbookCache& workbooks, word::WordHost& host);
    ~RunPlanner();
    RunPlanner(const RunPlanner&) = delete;
    RunPlanner& operator=(const RunPlanner&) = delete;

    // Reads the sheet (the one time a run reads it).
    std::optional<PlanProblem> OpenSheet(const RunChoice& choice);
    // Makes sure the template's working document is there and matches the titles against its
    // bookmarks. After OpenSheet.
    std::optional<PlanProblem> OpenTemplate();
    // Both.
    std::optional<PlanProblem> Open(const RunChoice& choice);
    // The problem of the matching, if any: no title matches, or none fills a bookmark.
    std::optional<PlanProblem> CheckMatching() const;

    // The rows: first..last from 1, last below 1 or past the sheet meaning its last row.
    std::optional<PlanProblem> SetRows(int first, int last);
    // The rows as the window's range controls give them (see CheckRowRange).
    std::optional<PlanProblem> SetRangeTexts(int modeIndex, const std::string& startText,
                                             const std::string& endText, int recordsPerPage);

    const RunChoice& choice() const { return choice_; }
    const std::vector<std::string>& titles() const { return titles_; }
    const std::vector<std::string>& bookmarks() const { return bookmarks_; }
    const std::vector<std::string>& matchedTitles() const { return matched_; }
    int recordCount() const { return recordCount_; }
    // The sheet's rows before the filters (recordCount() without filters).
    int sheetRecordCount() const { return sheetRecordCount_; }
    // Rows the filters left out only because a greater or less test met a value that is not a
    // number (date) as the filter's value is ("abc" against "金额>10").
    long long rowsNotCompared() const { return rowsNotCompared_; }
    // The sheet row number (from 1) of row `row` (from 1) of the run's list.
    int SheetRowOf(int row) const;
    // The value of column `title` in row `row` (from 1) of the run's list; "" without one.
    std::string ValueAt(int row, const std::string& title) const;
    int firstRow() const { return first_; }
    int lastRow() const { return last_; }
    // The bookmarks the run fills, leaves empty or cannot fill, and the titles it leaves unused.
    MatchReport Report() const;
    int SlotsPerDocument() const;
    // The bookmarks one document of the run sets, in the order it sets them (see FillSteps).
    std::vector<FillStep> FillSteps() const;

    // The first sheet row of each document: every row of the range in single-row mode, every
    // SlotsPerDocument-th in multi-row mode.
    std::vector<int> DocumentFirstRows() const;
    int DocumentCount() const { return static_cast<int>(DocumentFirstRows().size()); }
    // The names the documents get from `nameColumn` (the first row of each document), as the run
    // gives them; a column the sheet does not have numbers every file.
    // At most `limit` documents are named (a first example needs one).
    NamePlan FileNames(const std::string& nameColumn, const std::string& referenceName,
                       const std::string& extension, std::size_t limit = SIZE_MAX) const;

    // The confirmation before a save run into `output`: the folder and the names the run will
    // write there, by the naming rule of `output` (one PDF of all, a column's values, numbers).
    std::string ConfirmationText(const RunOutput& output) const;

    // The job of the run, with the sheet; the planner is spent afterwards.
    MergeJob TakeJob(const RunOutput& output);

  private:
    data::WorkbookCache& workbooks_;
    word::WordHost& host_;
    RunChoice choice_;
    std::shared_ptr<data::Cursor> sheet_;
    std::vector<std::string> titles_, bookmarks_, matched_;
    std::map<std::string, std::string> unfillable_;
    int recordCount_ = 0;
    int sheetRecordCount_ = 0;
    long long rowsNotCompared_ = 0;
    int first_ = 1, last_ = 0;
};

}  // namespace qm
