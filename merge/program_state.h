#pragma once
// The program-wide state of one run of the program: the data view, the matching inputs and the
// output naming. Created by start-up (or by a batch run or a test) and passed where needed.

#include <memory>
#include <string>

#include "data/recordset.h"
#include "data/workbook_cache.h"

namespace qm {

struct ProgramState {
    ProgramState() : sheetRecordset(std::make_unique<data::Recordset>(&workbooks)) {}

    std::string programFolder;  // folder of the executable, no trailing "/"

    // Data view.
    data::WorkbookCache workbooks;
    std::string sheetConnection;
    int recordsPerPage = 10;
    int currentPage = 1;
    std::string sheetQuery;
    std::unique_ptr<data::Recordset> sheetRecordset;
    int recordCount = 0;
    std::string columnTitles;  // CR LF list

    // Matching.
    std::string templateBookmarks;  // CR LF list
    std::string matchedTitles;      // CR LF list
    bool multiRowMode = false;
    bool repeatMode = false;

    // Output naming of save runs.
    std::string outputFolder;  // ends with "/"
    std::string referenceName;

    // True while a merge run is going; a second run request is ignored meanwhile.
    bool runInProgress = false;
};

}  // namespace qm
