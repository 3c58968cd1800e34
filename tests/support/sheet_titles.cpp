#include "tests/support/sheet_titles.h"

#include <string>
#include <vector>

#include "common/text.h"
#include "data/connection.h"
#include "data/cursor.h"
#include "merge/matching.h"
#include "merge/program_state.h"

namespace qm::test {

bool LoadTitlesAndMatch(ProgramState& state, std::string_view table) {
    std::unique_ptr<data::Cursor> sheet = data::OpenSheetAt(state.workbookPath, table, &state.workbooks);
    if (!sheet) return false;
    std::vector<std::string> titles;
    for (int i = 0; i < sheet->fieldCount(); ++i) titles.push_back(sheet->fieldName(i));
    state.recordCount = static_cast<int>(sheet->recordCount());
    state.columnTitles = titles;
    MatchTitles(state);
    return true;
}

}  // namespace qm::test
