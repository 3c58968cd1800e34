#pragma once
// Prepares the program state as a page load would before a run: the sheet's titles, its record
// count and the matched titles.

#include <string_view>

namespace qm {
struct ProgramState;
}

namespace qm::test {

// Reads the titles and record count of `table` of the workbook state.workbookPath, then runs
// MatchTitles against state.templateBookmarks. False when the sheet cannot be opened.
bool LoadTitlesAndMatch(ProgramState& state, std::string_view table);

}  // namespace qm::test
