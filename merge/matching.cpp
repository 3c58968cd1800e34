#include "merge/matching.h"

#include <algorithm>
#include <set>

#include "common/text.h"
#include "merge/program_state.h"
#include "word/engine/template.h"

namespace qm {

void MatchTitles(ProgramState& state) {
    state.matchedTitles =
        SplitList(MatchTitleLists(JoinList(state.columnTitles), JoinList(state.templateBookmarks)));
}

std::string MatchTitleLists(std::string_view columnTitles, std::string_view templateBookmarks) {
    const std::vector<std::string> titles = SplitList(columnTitles);
    const std::vector<std::string> bookmarks = SplitList(templateBookmarks);
    std::string matched;
    for (const std::string& title : titles) {
        for (const std::string& bookmark : bookmarks) {
            // Prefix test: the first len(title) bytes of the bookmark name (all of it when
            // shorter). An empty title is a prefix of every name, as the byte rule has it.
            if (std::string_view(bookmark).substr(0, title.size()) == title) AppendToList(matched, title);
        }
    }
    return matched;
}

std::string SlotBookmarkName(std::string_view title, int slot, bool repeatMode) {
    std::string name(title);
    name += '_';
    name += IntToText(slot);
    if (repeatMode) name += "_c1";
    return name;
}

int SlotsPerDocument(std::string_view matchedTitles, std::string_view templateBookmarks, bool repeatMode) {
    const std::vector<std::string> titles = SplitList(matchedTitles);
    const std::vector<std::string> list = SplitList(templateBookmarks);
    const std::set<std::string> bookmarks(list.begin(), list.end());
    // A slot needs at least one bookmark, so there are never more slots than bookmarks.
    const int limit = static_cast<int>(bookmarks.size());
    int slots = 0;
    for (int k = 1; k <= limit; ++k) {
        bool present = false;
        for (const std::string& title : titles) {
            if (bookmarks.count(SlotBookmarkName(title, k, repeatMode))) {
                present = true;
                break;
            }
        }
        if (!present) break;
        slots = k;
    }
    return slots;
}

bool AnyBookmarkFillable(std::string_view matchedTitles, std::string_view templateBookmarks,
                         bool multiRowMode, bool repeatMode) {
    if (multiRowMode) return SlotsPerDocument(matchedTitles, templateBookmarks, repeatMode) > 0;
    const std::vector<std::string> list = SplitList(templateBookmarks);
    const std::set<std::string> bookmarks(list.begin(), list.end());
    for (const std::string& title : SplitList(matchedTitles)) {
        if (bookmarks.count(repeatMode ? title + "_c1" : title)) return true;
    }
    return false;
}

int MultiRowDocumentCount(int start, int end, int recordCount, int slotsPerDocument) {
    if (start < 1) start = 1;
    if (end < 1 || end > recordCount) end = recordCount;
    if (slotsPerDocument < 1 || end < start) return 0;
    const long long rows = static_cast<long long>(end) - start + 1;
    return static_cast<int>((rows + slotsPerDocument - 1) / slotsPerDocument);
}

std::vector<FillStep> FillSteps(const std::vector<std::string>& titles,
                                const std::vector<std::string>& bookmarks, bool multiRowMode,
                                bool repeatMode) {
    std::vector<std::string> columns;
    std::set<std::string> seenTitles;
    for (const std::string& title : titles)
        if (seenTitles.insert(title).second) columns.push_back(title);
    const std::set<std::string> present(bookmarks.begin(), bookmarks.end());

    // The run writes "base" (repeat mode: "base_c1", "base_c2", ... until one is missing), so the
    // same walk tells which names it reaches, and in which order.
    std::vector<FillStep> steps;
    std::set<std::string> taken;
    const auto step = [&](const std::string& title, const std::string& name) {
        if (taken.insert(name).second) steps.push_back({title, name});
    };
    const auto fill = [&](const std::string& title, const std::string& base) {
        if (!repeatMode) {
            if (present.count(base)) step(title, base);
            return;
        }
        for (int n = 1;; ++n) {
            const std::string name = base + "_c" + IntToText(n);
            if (!present.count(name)) break;
            step(title, name);
        }
    };
    if (!multiRowMode) {
        for (const std::string& title : columns) fill(title, title);
    } else {
        const int slots = SlotsPerDocument(JoinList(columns), JoinList(bookmarks), repeatMode);
        for (int k = 1; k <= slots; ++k)
            for (const std::string& title : columns) fill(title, title + "_" + IntToText(k));
    }
    return steps;
}

MatchReport ReportMatches(const std::vector<std::string>& titles, const std::vector<std::string>& bookmarks,
                          bool multiRowMode, bool repeatMode,
                          const std::map<std::string, std::string>& unfillable,
                          const std::vector<std::string>& pictureColumns) {
    MatchReport report;
    report.multiRowMode = multiRowMode;
    report.repeatMode = repeatMode;
    std::vector<std::string> columns;
    std::set<std::string> seenTitles;
    for (const std::string& title : titles)
        if (seenTitles.insert(title).second) columns.push_back(title);

    std::set<std::string> filled;
    std::set<std::string> usedTitles;
    for (const FillStep& s : FillSteps(columns, bookmarks, multiRowMode, repeatMode)) {
        filled.insert(s.bookmark);
        usedTitles.insert(s.title);
    }

    std::set<std::string> listed;
    for (const std::string& bookmark : bookmarks) {
        if (!listed.insert(bookmark).second) continue;
        if (filled.count(bookmark) && unfillable.count(bookmark))
            report.unfillable.emplace_back(bookmark, unfillable.at(bookmark));
        else if (filled.count(bookmark))
            report.filled.push_back(bookmark);
        else if (!engine::IsHiddenBookmarkName(bookmark))
            report.empty.push_back(bookmark);
    }
    for (const std::string& title : columns)
        if (!usedTitles.count(title))
            report.unusedTitles.push_back(title);
        else if (std::find(pictureColumns.begin(), pictureColumns.end(), title) != pictureColumns.end())
            report.pictureTitles.push_back(title);
    return report;
}

std::string MatchSummary(const MatchReport& report) {
    if (report.bookmarkCount() == 0) return "模板中没有书签";
    return "匹配 " + IntToText(static_cast<long long>(report.filled.size())) + "/" +
           IntToText(report.bookmarkCount()) + " 书签";
}

std::optional<ModeHint> BetterModes(const std::vector<std::string>& titles,
                                    const std::vector<std::string>& bookmarks, bool multiRowMode,
                                    bool repeatMode, const std::map<std::string, std::string>& unfillable,
                                    const std::vector<std::string>& pictureColumns) {
    const MatchReport chosen =
        ReportMatches(titles, bookmarks, multiRowMode, repeatMode, unfillable, pictureColumns);
    if (chosen.bookmarkCount() == 0 || !chosen.filled.empty()) return std::nullopt;
    // One switch changed reads more easily than two; among those, the one that fills the most.
    const std::pair<bool, bool> others[] = {
        {multiRowMode, !repeatMode}, {!multiRowMode, repeatMode}, {!multiRowMode, !repeatMode}};
    std::optional<ModeHint> best;
    for (const auto& [multiRow, repeat] : others) {
        MatchReport report = ReportMatches(titles, bookmarks, multiRow, repeat, unfillable, pictureColumns);
        if (report.filled.empty()) continue;
        if (!best || report.filled.size() > best->report.filled.size())
            best = ModeHint{multiRow, repeat, std::move(report)};
    }
    return best;
}

std::string ModeHintSummary(const ModeHint& hint, bool multiRowMode, bool repeatMode) {
    const bool repeatChanged = hint.repeatMode != repeatMode;
    const bool multiRowChanged = hint.multiRowMode != multiRowMode;
    const std::string counts = MatchSummary(hint.report);  // "匹配 6/6 书签"
    if (repeatChanged && multiRowChanged) {
        if (hint.repeatMode && hint.multiRowMode) return "勾选两种模式后" + counts;
        if (!hint.repeatMode && !hint.multiRowMode) return "取消两种模式后" + counts;
        return std::string(hint.repeatMode ? "勾选“重复模式”、取消“多行模式”后"
                                           : "勾选“多行模式”、取消“重复模式”后") +
               counts;
    }
    const char* name = repeatChanged ? "“重复模式”" : "“多行模式”";
    const bool on = repeatChanged ? hint.repeatMode : hint.multiRowMode;
    return std::string(on ? "勾选" : "取消") + name + "后" + counts;
}

std::string ModeExplanation(bool multiRowMode, bool repeatMode) {
    if (multiRowMode && repeatMode)
        return "多行重复模式：一个文档放多条记录，第 k 条记录的值依次填入“列名_k_c1”“列名_k_c2”……";
    if (multiRowMode) return "多行模式：一个文档放多条记录，第 k 条记录的值填入书签“列名_k”。";
    if (repeatMode)
        return "重复模式：每列的值依次填入书签“列名_c1”“列名_c2”……，同一个值可以出现在文档的多个地方。";
    return "单行模式：每条记录生成一个文档，每列的值填入与列名同名的书签。";
}

std::string NameList(const std::vector<std::string>& names, std::size_t limit) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < limit; ++i) {
        if (i) text += "、";
        text += names[i];
    }
    if (names.size() > limit) text += " 等 " + IntToText(static_cast<long long>(names.size())) + " 个";
    return text;
}

std::string ReasonText(const std::string& why) {
    // The reasons users meet most, in the window's language; the rest as the engine says them.
    static const std::pair<std::string_view, std::string_view> kPhrases[] = {
        {"overlaps bookmark ", "与书签“%”交叉"},
        {"overlaps a comment's range", "与批注的范围交叉"},
        {"inside a field result", "位于域结果之中"},
        {"inside a field code", "位于域代码之中"},
        {"ends inside a field result", "结束于域结果之中"},
        {"ends inside a field code", "结束于域代码之中"},
        {"holds part of a field", "只包含域的一部分"},
        {"spans a table cell mark", "跨越表格单元格"},
        {"spans a table cell", "跨越表格单元格"},
        {"spans a section break", "跨越分节符"},
        {"holds a footnote or endnote mark", "包含脚注或尾注标记"},
        {"holds a comment", "包含批注"},
        {"a table column bookmark", "表格列书签"},
        {"lies between paragraphs", "位于段落之间"},
        {"a drop-down form field without entries", "下拉列表没有选项"},
        {"a drop-down field without entries", "下拉列表没有选项"},
        {"inside a bound content control", "位于绑定数据的内容控件之中"},
        {"holds part of a content control", "只包含内容控件的一部分"},
        {"inside a content control showing its placeholder", "位于显示占位文字的内容控件之中"},
        {"nothing of it remains outside the bookmarks that overlap it",
         "与之交叉的书签先填入后，没有剩下的部分"},
        {"spans the end of a text block", "跨越文本框或内容控件的末尾"},
        {"holds a footnote reference", "包含脚注引用"},
        {"holds an endnote reference", "包含尾注引用"},
        {"has no end", "没有结束位置"},
    };
    for (const auto& [phrase, text] : kPhrases) {
        if (phrase.ends_with(' ') ? why.starts_with(phrase) : why == phrase) {
            std::string out(text);
            if (const std::size_t at = out.find('%'); at != std::string::npos)
                out.replace(at, 1, why.substr(phrase.size()));
            return out;
        }
    }
    return why;
}

std::string UnfillableList(const std::vector<std::pair<std::string, std::string>>& unfillable) {
    std::string text;
    for (const auto& [name, why] : unfillable)
        text += (text.empty() ? "" : "、") + name + "（" + ReasonText(why) + "）";
    return text;
}

std::string MatchDetails(const MatchReport& report) {
    std::string mode = report.multiRowMode ? (report.repeatMode ? "多行重复模式" : "多行模式")
                                           : (report.repeatMode ? "重复模式" : "单行模式");
    std::string text = "按" + mode + "：" + MatchSummary(report);
    const auto add = [&text](const char* heading, const std::vector<std::string>& names) {
        if (names.empty()) return;
        text += "\r\n";
        text += heading;
        text += "（" + IntToText(static_cast<long long>(names.size())) + "）：";
        text += NameList(names, 30);
    };
    add("填入数据的书签", report.filled);
    add("没有对应列、保持原样的书签", report.empty);
    if (!report.unfillable.empty()) {
        text += "\r\n无法填写、保持原样的书签（" +
                IntToText(static_cast<long long>(report.unfillable.size())) + "）：";
        text += UnfillableList(report.unfillable);
    }
    add("没有对应书签的列", report.unusedTitles);
    // The columns whose values name pictures, as "照片：图片".
    if (!report.pictureTitles.empty()) {
        text += "\r\n";
        for (std::size_t i = 0; i < report.pictureTitles.size(); ++i)
            text += (i ? "、" : "") + report.pictureTitles[i] + "：图片";
    }
    return text;
}

}  // namespace qm
