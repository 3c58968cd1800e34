#pragma once
// What the program shares between its page loads, template choices and runs: the chosen
// workbook, the data view, the matching inputs and the output naming. Created by start-up (or
// by the batch command, or a test) and passed where needed. A run is planned from it and then
// works from its own job, which holds its own reading of the sheet.

#include <map>
#include <string>
#include <vector>

#include "data/value_style.h"
#include "data/workbook_cache.h"
#include "merge/row_filter.h"

namespace qm {

struct ProgramState {
    std::string programFolder;  // folder of the executable, no trailing "/"

    // Data view.
    data::WorkbookCache workbooks;  // parsed workbooks, kept while their file is unchanged
    std::string workbookPath;       // the chosen workbook file
    int recordsPerPage = 10;
    int currentPage = 1;
    std::string sheetQuery;    // the last query on the sheet, as text: a page's or a run's
    int recordCount = 0;       // of the rows shown: those that pass the filters
    int sheetRecordCount = 0;  // of the whole sheet
    // Rows chosen by their values, for the grid and the runs alike; not stored.
    std::vector<RowFilter> filters;
    std::vector<std::string> columnTitles;  // of the sheet shown, in column order
    // How cells become text, for the grid and the runs alike.
    data::ValueStyle valueStyle = data::ValueStyle::Raw;

    // Matching.
    std::vector<std::string> templateBookmarks;  // of the chosen template
    // The template's bookmarks this program cannot fill, with why: read with its bookmarks, so
    // the match line never asks the working document while a run fills it.
    std::map<std::string, std::string> templateUnfillable;
    std::vector<std::string> matchedTitles;  // MatchTitles: one per bookmark a title begins
    bool multiRowMode = false;
    bool repeatMode = false;

    // Output naming of save runs.
    std::string outputFolder;  // ends with "/"
    std::string referenceName;
};

}  // namespace qm
