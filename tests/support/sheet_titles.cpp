#include "tests/support/sheet_titles.h"

#include <string>
#include <vector>

#include "common/text.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "merge/matching.h"
#include "merge/program_state.h"

namespace qm::test {

bool LoadTitlesAndMatch(ProgramState& state, std::string_view table) {
    data::Recordset& rs = *state.sheetRecordset;
    if (!rs.open("select * from [" + std::string(table) + "]", state.sheetConnection)) return false;
    std::vector<std::string> titles;
    for (int i = 0; i < data::GetFieldCount(rs); ++i) titles.push_back(data::GetFieldName(rs, i));
    state.recordCount = data::GetRecordCount(rs);
    rs.close();
    state.columnTitles = JoinList(titles);
    MatchTitles(state);
    return true;
}

}  // namespace qm::test
