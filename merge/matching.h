#pragma once
// Column titles against template bookmarks.

#include <string>
#include <string_view>

namespace qm {

struct ProgramState;

// Recomputes state.matchedTitles from state.columnTitles and state.templateBookmarks: every
// title T is appended once for each bookmark whose name begins with T (byte prefix test).
void MatchTitles(ProgramState& state);

// The same over explicit lists (CR LF texts); returns the matched-title list.
std::string MatchTitleLists(std::string_view columnTitles, std::string_view templateBookmarks);

// Slots per document in multi-row mode: the largest k such that every slot 1..k has, for some
// matched title T, a bookmark "T_k" (repeat mode: "T_k_c1"). 0 when slot 1 has none.
int SlotsPerDocument(std::string_view matchedTitles, std::string_view templateBookmarks, bool repeatMode);

}  // namespace qm
