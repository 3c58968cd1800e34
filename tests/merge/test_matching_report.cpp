// The match report: which bookmarks a run in given modes fills, which stay empty and which
// columns go nowhere; over lists, and over the shipped sample templates and workbook.

#include <gtest/gtest.h>

#include <memory>

#include "common/fs.h"
#include "data/connection.h"
#include "data/cursor.h"
#include "merge/matching.h"
#include "word/engine/template.h"

namespace qm {
namespace {

using Names = std::vector<std::string>;

TEST(ReportMatches, SingleRowModeFillsExactNamesOnly) {
    const MatchReport r = ReportMatches(
        {"Name", "Age", "City"}, {"Name", "NameList", "Age", "Other", "_GoBack", "Name"}, false, false);
    EXPECT_EQ(r.filled, (Names{"Name", "Age"}));
    EXPECT_EQ(r.empty, (Names{"NameList", "Other"}));  // a prefix is not a fill; hidden names are left out
    EXPECT_EQ(r.unusedTitles, Names{"City"});
    EXPECT_EQ(r.bookmarkCount(), 4);
    EXPECT_FALSE(r.complete());
    EXPECT_EQ(MatchSummary(r), "匹配 2/4 书签");
}

TEST(ReportMatches, OneBookmarkThatMatchesNothing) {
    const MatchReport r = ReportMatches({"Name", "Age"}, {"Name", "Age", "Missing"}, false, false);
    EXPECT_EQ(r.filled, (Names{"Name", "Age"}));
    EXPECT_EQ(r.empty, Names{"Missing"});
    EXPECT_TRUE(r.unusedTitles.empty());
    EXPECT_EQ(MatchSummary(r), "匹配 2/3 书签");
    EXPECT_EQ(MatchDetails(r),
              "按单行模式：匹配 2/3 "
              "书签\r\n填入数据的书签（2）：Name、Age\r\n没有对应列、保持原样的书签（1）：Missing");
}

TEST(ReportMatches, RepeatCopiesStopAtTheFirstGap) {
    // The run writes _c1, _c2, ... until one is missing, so Name_c4 after a missing Name_c3 stays.
    const MatchReport r =
        ReportMatches({"Name", "Age"}, {"Name_c1", "Name_c2", "Name_c4", "Age", "Age_c01"}, false, true);
    EXPECT_EQ(r.filled, (Names{"Name_c1", "Name_c2"}));
    EXPECT_EQ(r.empty, (Names{"Name_c4", "Age", "Age_c01"}));
    EXPECT_EQ(r.unusedTitles, Names{"Age"});
}

TEST(ReportMatches, MultiRowSlotsStopWhereTheRunStops) {
    // Slot 3 has no bookmark, so the run never reaches Name_4.
    const MatchReport r =
        ReportMatches({"Name", "Age"}, {"Name_1", "Age_1", "Name_2", "Name_4", "Name"}, true, false);
    EXPECT_EQ(r.filled, (Names{"Name_1", "Age_1", "Name_2"}));
    EXPECT_EQ(r.empty, (Names{"Name_4", "Name"}));
    EXPECT_TRUE(r.unusedTitles.empty());

    const MatchReport both =
        ReportMatches({"Name"}, {"Name_1_c1", "Name_1_c2", "Name_2_c1", "Name_2", "Name_1_c3x"}, true, true);
    EXPECT_EQ(both.filled, (Names{"Name_1_c1", "Name_1_c2", "Name_2_c1"}));
    EXPECT_EQ(both.empty, (Names{"Name_2", "Name_1_c3x"}));
    EXPECT_NE(MatchDetails(both).find("按多行重复模式"), std::string::npos);
}

TEST(ReportMatches, EmptySides) {
    const MatchReport none = ReportMatches({"Name"}, {}, false, false);
    EXPECT_EQ(none.bookmarkCount(), 0);
    EXPECT_FALSE(none.complete());  // nothing to fill is no success
    EXPECT_EQ(MatchSummary(none), "模板中没有书签");
    EXPECT_EQ(none.unusedTitles, Names{"Name"});

    const MatchReport noTitles = ReportMatches({}, {"Name", "Age"}, false, false);
    EXPECT_EQ(noTitles.empty, (Names{"Name", "Age"}));
    EXPECT_EQ(MatchSummary(noTitles), "匹配 0/2 书签");
    // Repeated titles count once.
    EXPECT_EQ(ReportMatches({"A", "A", "B"}, {"B"}, false, false).unusedTitles, Names{"A"});
}

TEST(NameList, StopsAfterTheLimit) {
    EXPECT_EQ(NameList({"a", "b", "c"}), "a、b、c");
    EXPECT_EQ(NameList({"a", "b", "c"}, 2), "a、b 等 3 个");
    EXPECT_EQ(NameList({}), "");
}

// The three sample templates against the sample sheet 员工, in each mode: each template is
// complete in its own mode and fills nothing in the others.
class SampleReport : public testing::Test {
  protected:
    static Names Bookmarks(const char* file) {
        const engine::OpenResult t = engine::OpenTemplateFile(std::string(QM_PROGRAM_DIR) + "/模板/" + file);
        EXPECT_TRUE(t) << file << ": " << t.refusal;
        return t ? t.value->VisibleNames() : Names{};
    }
    static Names Titles() {
        const std::string workbook = std::string(QM_PROGRAM_DIR) + "/数据/员工信息.xls";
        std::unique_ptr<data::Cursor> sheet =
            data::OpenSheet(data::BuildConnectionString(data::ExcelWorkbook, {}, workbook), "员工$");
        Names titles;
        for (int i = 0; sheet && i < sheet->fieldCount(); ++i) titles.push_back(sheet->fieldName(i));
        return titles;
    }
};

TEST_F(SampleReport, EachTemplateInEachMode) {
    const Names titles = Titles();
    ASSERT_EQ(titles.size(), 9u);
    struct Case {
        const char* file;
        bool multiRow, repeat;
        int filled, bookmarks;
    };
    const Case cases[] = {
        {"劳动合同.doc", false, false, 7, 7}, {"劳动合同.doc", false, true, 0, 7},
        {"劳动合同.doc", true, false, 0, 7},  {"劳动合同.doc", true, true, 0, 7},
        {"工作证.doc", false, false, 0, 5},   {"工作证.doc", false, true, 5, 5},
        {"工作证.doc", true, false, 0, 5},    {"工作证.doc", true, true, 0, 5},
        {"工资条.doc", false, false, 0, 12},  {"工资条.doc", false, true, 0, 12},
        {"工资条.doc", true, false, 12, 12},  {"工资条.doc", true, true, 0, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.multiRow ? " multi-row" : "") + (c.repeat ? " repeat" : ""));
        const MatchReport r = ReportMatches(titles, Bookmarks(c.file), c.multiRow, c.repeat);
        EXPECT_EQ(static_cast<int>(r.filled.size()), c.filled);
        EXPECT_EQ(r.bookmarkCount(), c.bookmarks);
        EXPECT_EQ(r.complete(), c.filled == c.bookmarks);
    }
    EXPECT_EQ(ReportMatches(titles, Bookmarks("劳动合同.doc"), false, false).unusedTitles,
              (Names{"编号", "联系电话"}));
    EXPECT_EQ(ReportMatches(titles, Bookmarks("工资条.doc"), true, false).unusedTitles,
              (Names{"性别", "职位", "入职日期", "身份证号", "联系电话"}));
}

}  // namespace
}  // namespace qm
