#pragma once
// The document a row will make, before the run: made as a run makes it (the same planner, the
// same values, the same engine) into a folder of its own, turned into page pictures by the
// office and poppler. Where the office cannot be had, the document's text stands in.

#include <string>
#include <vector>

#include "merge/run_plan.h"

namespace qm {

namespace data {
class WorkbookCache;
}
namespace word {
class WordHost;
}

// Why a preview has no pages.
enum class PagesProblem {
    None,
    NoOffice,      // the office is not installed or does not start
    NotConverted,  // the office did not turn the document into a PDF
    NotPictured,   // the PDF could not be turned into pictures (pdftoppm)
};

struct Preview {
    int row = 0;                     // the row previewed, in the run's list (from 1)
    int sheetRow = 0;                // its number in the sheet
    int rowCount = 0;                // rows in the run's list, for the previous and next buttons
    std::vector<std::string> pages;  // PNG files, in page order; empty when there are none
    std::string text;                // the document's text when there are no pages
    std::string document;            // the file made: the PDF pictured, or the one read as text
    // The bookmarks that stay empty in this document: no column fills them, or this row's value
    // (these rows' values in multi-row mode) is empty.
    std::vector<std::string> emptyBookmarks;
    // The pictures this document leaves out, as the run leaves them (a picture column's file that
    // is missing or no picture), each in one line: "图片“照片/002.png”不存在，书签保持模板原样".
    std::vector<std::string> picturesLeft;
    // Why nothing could be made (a plan problem); the window words it as a run's.
    std::optional<PlanProblem> problem;
    // Why there are no pages, when the document was made but not pictured.
    PagesProblem pagesProblem = PagesProblem::None;
};

// The line under a preview's page for a picture its document leaves out.
std::string PictureLeftLine(const PictureLeft& left);

// A preview planned: what the run thread makes and pictures.
struct PreviewJob {
    Preview preview;  // with problem set when there is nothing to make
    MergeJob pages;   // the document as PDF, for its pages
    MergeJob text;    // the same in the template's own format, when the pages cannot be had
    std::string folder;
};

// Plans the document of row `row` (the first of its group in multi-row mode) of `choice`, into
// `folder`. On the thread that owns `workbooks` and `host`'s template choice.
PreviewJob PlanPreview(const RunChoice& choice, int row, data::WorkbookCache& workbooks, word::WordHost& host,
                       const std::string& folder);
// Makes the planned document (folder emptied first) and pictures its pages; on any thread, while
// nothing else uses `host`.
Preview MakePreview(PreviewJob job, word::WordHost& host);

}  // namespace qm
