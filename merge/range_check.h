#pragma once
// The row range of a run request, checked before anything is asked or written: the two range
// texts must be whole numbers, the start may not lie after the end nor past the last record, and
// the end is cut to the last record so that every name the user confirms is a file the run
// writes.

#include <string>
#include <string_view>

namespace qm {

// A text of decimal digits only, with blanks around it allowed: "05" and " 7 " are, "", "1 2",
// "-3", "1.5" and "abc" are not.
bool IsWholeNumberText(std::string_view text);

struct CheckedRange {
    int start = 0;  // first row, from 1
    int end = 0;    // last row, at most the record count
    // Why the range cannot run, as a message for the user; "" when it can.
    std::string problem;
    explicit operator bool() const { return problem.empty(); }
};

// The rows that the range controls ask for. `modeIndex` 0 reads the texts as record numbers,
// 1 as page numbers of `recordsPerPage` records; any other index is a problem. A start of 0
// counts as 1 (the title row picked by selection). `sheetName` names the sheet in messages.
CheckedRange CheckRowRange(int modeIndex, std::string_view startText, std::string_view endText,
                           int recordsPerPage, int recordCount, std::string_view sheetName);

// The sheet as the user knows it: "人员名单$" and "'My Sheet$'" read 人员名单 and My Sheet.
std::string SheetDisplayName(std::string_view tableName);

}  // namespace qm
