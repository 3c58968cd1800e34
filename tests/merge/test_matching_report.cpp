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

// Bookmarks as the run reaches them: exact names only, repeat copies up to the first gap,
// multi-row slots up to the first missing one; hidden names left out.
TEST(ReportMatches, WhatEachModeFills) {
    struct Case {
        Names titles, bookmarks;
        bool multiRow, repeat;
        Names filled, empty, unused;
    };
    const Case cases[] = {
        {{"Name", "Age", "City"},
         {"Name", "NameList", "Age", "Other", "_GoBack", "Name"},
         false,
         false,
         {"Name", "Age"},
         {"NameList", "Other"},
         {"City"}},
        {{"Name", "Age"}, {"Name", "Age", "Missing"}, false, false, {"Name", "Age"}, {"Missing"}, {}},
        {{"Name", "Age"},
         {"Name_c1", "Name_c2", "Name_c4", "Age", "Age_c01"},
         false,
         true,
         {"Name_c1", "Name_c2"},
         {"Name_c4", "Age", "Age_c01"},
         {"Age"}},
        {{"Name", "Age"},
         {"Name_1", "Age_1", "Name_2", "Name_4", "Name"},
         true,
         false,
         {"Name_1", "Age_1", "Name_2"},
         {"Name_4", "Name"},
         {}},
        {{"Name"},
         {"Name_1_c1", "Name_1_c2", "Name_2_c1", "Name_2"},
         true,
         true,
         {"Name_1_c1", "Name_1_c2", "Name_2_c1"},
         {"Name_2"},
         {}},
        {{"A", "A", "B"}, {}, false, false, {}, {}, {"A", "B"}},
        {{}, {"Name"}, false, false, {}, {"Name"}, {}},
    };
    for (const Case& c : cases) {
        const MatchReport r = ReportMatches(c.titles, c.bookmarks, c.multiRow, c.repeat);
        SCOPED_TRACE(MatchDetails(r));
        EXPECT_EQ(r.filled, c.filled);
        EXPECT_EQ(r.empty, c.empty);
        EXPECT_EQ(r.unusedTitles, c.unused);
        EXPECT_EQ(r.complete(), c.empty.empty() && !c.filled.empty());  // nothing to fill is no success
    }
}

// The order one document's bookmarks are set in, which decides what overlapping ones hold:
// column by column whatever the template's order, repeat copies up to the first gap, multi-row
// slots one after the other; each name once, with the title whose value it takes.
TEST(FillSteps, ColumnByColumnAndSlotBySlot) {
    const Names bookmarks = {"A", "Z", "A_c1", "Z_c1", "A_c2", "A_c4", "A_1", "Z_1", "A_2", "Z_3", "Other"};
    const auto order = [&](bool multiRow, bool repeat) {
        Names out;
        for (const FillStep& s : FillSteps({"Z", "A", "Z", "None"}, bookmarks, multiRow, repeat))
            out.push_back(s.title + ">" + s.bookmark);
        return out;
    };
    EXPECT_EQ(order(false, false), (Names{"Z>Z", "A>A"}));
    EXPECT_EQ(order(false, true), (Names{"Z>Z_c1", "A>A_c1", "A>A_c2"}));
    EXPECT_EQ(order(true, false), (Names{"Z>Z_1", "A>A_1", "A>A_2", "Z>Z_3"}));
    EXPECT_TRUE(order(true, true).empty());
}

TEST(ReportMatches, SummaryAndDetails) {
    const MatchReport r = ReportMatches({"Name", "Age"}, {"Name", "Age", "Missing"}, false, false);
    EXPECT_EQ(MatchSummary(r), "匹配 2/3 书签");
    EXPECT_EQ(MatchDetails(r),
              "按单行模式：匹配 2/3 "
              "书签\r\n填入数据的书签（2）：Name、Age\r\n没有对应列、保持原样的书签（1）：Missing");
    EXPECT_EQ(MatchSummary(ReportMatches({"Name"}, {}, true, true)), "模板中没有书签");
    // A bookmark a column names that cannot be filled is neither filled nor without a column.
    const MatchReport left =
        ReportMatches({"Name", "Age"}, {"Name", "Age", "Missing"}, false, false,
                      {{"Age", "overlaps bookmark X"}, {"Missing", "inside a field code"}});
    EXPECT_EQ(left.filled, Names{"Name"});
    EXPECT_EQ(left.empty, Names{"Missing"});
    EXPECT_FALSE(left.complete());
    EXPECT_EQ(MatchSummary(left), "匹配 1/3 书签");
    EXPECT_EQ(
        MatchDetails(left),
        "按单行模式：匹配 1/3 书签\r\n填入数据的书签（1）：Name\r\n没有对应列、保持原样的书签（1）：Missing"
        "\r\n无法填写、保持原样的书签（1）：Age（与书签“X”交叉）");
    // Picture columns are listed as "照片：图片", only when they fill a bookmark.
    const MatchReport pictures =
        ReportMatches({"照片", "Name", "签名", "Logo"}, {"Name", "照片_c1", "签名_c1"}, false, true, {},
                      {"Logo", "签名", "照片", "Name2"});
    EXPECT_EQ(pictures.pictureTitles, (Names{"照片", "签名"}));
    EXPECT_EQ(MatchDetails(pictures),
              "按重复模式：匹配 2/3 书签\r\n填入数据的书签（2）：照片_c1、签名_c1"
              "\r\n没有对应列、保持原样的书签（1）：Name\r\n没有对应书签的列（2）：Name、Logo"
              "\r\n照片：图片、签名：图片");
    EXPECT_EQ(ReasonText("inside a field code"), "位于域代码之中");
    EXPECT_EQ(ReasonText("something new"), "something new");
    EXPECT_EQ(NameList({"a", "b", "c"}, 2), "a、b 等 3 个");
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
    ASSERT_EQ(titles.size(), 10u);
    struct Case {
        const char* file;
        bool multiRow, repeat;
        int filled, bookmarks;
    };
    const Case cases[] = {
        {"劳动合同.doc", false, false, 7, 7}, {"劳动合同.doc", false, true, 0, 7},
        {"劳动合同.doc", true, false, 0, 7},  {"劳动合同.doc", true, true, 0, 7},
        {"工作证.doc", false, false, 0, 6},   {"工作证.doc", false, true, 6, 6},
        {"工作证.doc", true, false, 0, 6},    {"工作证.doc", true, true, 0, 6},
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
              (Names{"编号", "联系电话", "照片"}));
    EXPECT_EQ(ReportMatches(titles, Bookmarks("工资条.doc"), true, false).unusedTitles,
              (Names{"性别", "职位", "入职日期", "身份证号", "联系电话", "照片"}));
}

}  // namespace
}  // namespace qm
