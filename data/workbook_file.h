#pragma once
// Opening a workbook file of any format the program reads: .xls (our BIFF reader), .xlsx and
// .xlsm, .ods and .csv. The content chooses the reader (a compound file, a zip package); a file
// whose content is neither is read as .csv when its name ends in ".csv". Every format gives the
// same workbook model, so the provider serves them alike.

#include <memory>
#include <string>
#include <string_view>

namespace qm::xls {
struct Workbook;
}

namespace qm::data {

// File name endings of the workbooks the program reads, lower case with the dot, in the order
// a file chooser lists them: ".xls", ".xlsx", ".xlsm", ".ods", ".csv".
const char* const* WorkbookExtensions();
// Whether `fileName` ends in one of them, in any letter case.
bool IsWorkbookFileName(std::string_view fileName);

struct WorkbookLoad {
    std::shared_ptr<const xls::Workbook> workbook;  // null when the file cannot be read
    // Why not, in one English line for the batch command ("encrypted: ...", "damaged: ...",
    // "not a workbook ..."); "" with a workbook.
    std::string problem;
};

// Reads and parses the file at `path`. Never throws; a missing, unreadable, encrypted, damaged
// or oversized file gives a null workbook and its reason.
WorkbookLoad LoadWorkbook(std::string_view path);

}  // namespace qm::data
