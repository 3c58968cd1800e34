#pragma once
// Column titles against template bookmarks.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The bookmark that decides whether slot `slot` exists for `title`: "T_k", or "T_k_c1" in
// repeat mode.
std::string SlotBookmarkName(std::string_view title, int slot, bool repeatMode);

// True when a run in the given modes would fill at least one bookmark of the template: some
// matched title T has the bookmark "T" (repeat mode "T_c1"), or in multi-row mode slot 1 exists.
// A title that only prefixes longer names (Name against NameList) passes MatchTitles but fills
// nothing.
bool AnyBookmarkFillable(std::string_view matchedTitles, std::string_view templateBookmarks,
                         bool multiRowMode, bool repeatMode);

// One bookmark a run sets, and the column title whose value it takes.
struct FillStep {
    std::string title;
    std::string bookmark;
};

// The bookmarks of `bookmarks` that one document of a run in the given modes sets, in the order
// the run sets them, each once at its first place: column by column in `titles` order (multi-row
// mode: slot by slot up to SlotsPerDocument, each slot column by column), a column's repeat
// copies "_c1", "_c2", ... in turn while the previous one exists. The order matters where
// bookmarks overlap: the one set later takes what remains of its range.
std::vector<FillStep> FillSteps(const std::vector<std::string>& titles,
                                const std::vector<std::string>& bookmarks, bool multiRowMode,
                                bool repeatMode);

// What a run in given modes would do with a template: which of its bookmarks get a value, which
// stay as the template has them, and which column titles go nowhere. Worked out as the run fills:
// repeat copies "_c1", "_c2", ... only while the previous one exists, and multi-row slots only
// up to SlotsPerDocument. Bookmarks whose name starts with "_" are hidden ones the office keeps
// for itself; left unfilled they are not reported.
struct MatchReport {
    std::vector<std::string> filled;        // bookmarks that get a value, template order, each once
    std::vector<std::string> empty;         // bookmarks no column fills, template order, each once
    std::vector<std::string> unusedTitles;  // titles that fill no bookmark, in column order, each once
    // Bookmarks a column names that documents still leave as in the template, because this
    // program cannot fill them; with why, template order, each once.
    std::vector<std::pair<std::string, std::string>> unfillable;
    // Titles that fill bookmarks with the pictures their values name, in column order.
    std::vector<std::string> pictureTitles;
    bool multiRowMode = false;
    bool repeatMode = false;

    int bookmarkCount() const { return static_cast<int>(filled.size() + empty.size() + unfillable.size()); }
    // Every bookmark gets a value, and there is at least one.
    bool complete() const { return empty.empty() && unfillable.empty() && !filled.empty(); }
};

// The report for the sheet's column titles and the template's bookmarks (lists as split from
// the CR LF texts). No bookmarks give an empty report; no titles leave every bookmark empty.
// `unfillable` names the bookmarks that cannot take a value, with why; `pictureColumns` the titles
// marked as picture columns.
MatchReport ReportMatches(const std::vector<std::string>& titles, const std::vector<std::string>& bookmarks,
                          bool multiRowMode, bool repeatMode,
                          const std::map<std::string, std::string>& unfillable = {},
                          const std::vector<std::string>& pictureColumns = {});

// One line for beside the template chooser: "匹配 7/8 书签"; "模板中没有书签" without bookmarks.
std::string MatchSummary(const MatchReport& report);

// The whole report in a few lines (CR LF between them): the mode, then the filled bookmarks,
// the empty ones and the unused titles, each list only when it is not empty.
std::string MatchDetails(const MatchReport& report);

// Another setting of the two mode switches under which a template fills bookmarks that the
// chosen one leaves all empty (a badge of "姓名_c1", "姓名_c2" chosen without repeat mode, say).
struct ModeHint {
    bool multiRowMode = false;
    bool repeatMode = false;
    MatchReport report;  // what a run in those modes would do
};

// The hint for a template whose bookmarks the chosen modes fill none of: the setting that fills
// the most, one switch changed before both; none when the chosen modes fill some bookmark, the
// template has none, or no other setting fills any. Only says: the switches stay the user's.
std::optional<ModeHint> BetterModes(const std::vector<std::string>& titles,
                                    const std::vector<std::string>& bookmarks, bool multiRowMode,
                                    bool repeatMode,
                                    const std::map<std::string, std::string>& unfillable = {},
                                    const std::vector<std::string>& pictureColumns = {});

// The match line with a hint: "勾选“重复模式”后匹配 6/6 书签", "取消“多行模式”后匹配 3/3 书签",
// "勾选两种模式后匹配 12/12 书签". `multiRowMode` and `repeatMode` are the chosen switches.
std::string ModeHintSummary(const ModeHint& hint, bool multiRowMode, bool repeatMode);

// What a mode does, in one line: "重复模式：每列的值依次填入“列名_c1”“列名_c2”……，同一个值可以
// 出现在文档的多个地方。"; "单行模式：…" with both switches off.
std::string ModeExplanation(bool multiRowMode, bool repeatMode);

// Why the engine cannot fill a bookmark, in the window's language where the reason is a common
// one; otherwise as the engine says it.
std::string ReasonText(const std::string& why);
// "名称（why）" for each, joined by "、".
std::string UnfillableList(const std::vector<std::pair<std::string, std::string>>& unfillable);

// Names joined by "、", at most `limit` of them followed by "等 N 个" when there are more.
std::string NameList(const std::vector<std::string>& names, std::size_t limit = 12);

// Documents a multi-row run makes from rows start..end when each document takes
// `slotsPerDocument` rows: start below 1 counts as 1, end below 1 or past the last record as
// the last record (`recordCount`). 0 when no row is in range or there is no slot. (A save
// request confirms the names a run will write through RunPlanner::ConfirmationText.)
int MultiRowDocumentCount(int start, int end, int recordCount, int slotsPerDocument);

}  // namespace qm
