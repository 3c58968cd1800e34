// The row range of a request, checked before anything is asked: whole numbers, order, the last
// record, and the end cut to it.

#include <gtest/gtest.h>

#include "merge/range_check.h"

namespace qm {
namespace {

TEST(RangeCheck, WholeNumbersOnly) {
    for (const char* text : {"0", "05", "7", " 12 ", "\t3"}) EXPECT_TRUE(IsWholeNumberText(text)) << text;
    for (const char* text : {"", " ", "abc", "1 2", "-3", "+3", "1.5", "1e3", "３", "12ab"})
        EXPECT_FALSE(IsWholeNumberText(text)) << text;
}

TEST(RangeCheck, ByRecordCutsTheEndToTheLastRecord) {
    CheckedRange range = CheckRowRange(0, "05", "40", 10, 26, "名单$");
    ASSERT_TRUE(range) << range.problem;
    EXPECT_EQ(range.start, 5);
    EXPECT_EQ(range.end, 26);
    // A start of 0 (the title row taken by selection) is the first record.
    range = CheckRowRange(0, "0", "3", 10, 26, "名单$");
    ASSERT_TRUE(range);
    EXPECT_EQ(range.start, 1);
    EXPECT_EQ(range.end, 3);
    // Beyond the int range: past the last record, not a wrapped number.
    range = CheckRowRange(0, "1", "99999999999999999999", 10, 26, "名单$");
    ASSERT_TRUE(range);
    EXPECT_EQ(range.end, 26);
}

TEST(RangeCheck, ByPageTakesWholePagesUpToTheLastRecord) {
    // All three pages of 26 records: 26 rows, not 30.
    CheckedRange range = CheckRowRange(1, "1", "3", 10, 26, "名单$");
    ASSERT_TRUE(range);
    EXPECT_EQ(range.start, 1);
    EXPECT_EQ(range.end, 26);
    range = CheckRowRange(1, "2", "3", 20, 60, "名单$");
    ASSERT_TRUE(range);
    EXPECT_EQ(range.start, 21);
    EXPECT_EQ(range.end, 60);
}

TEST(RangeCheck, EachProblemIsNamed) {
    const struct {
        int mode;
        const char* start;
        const char* end;
        int records;
        std::string problem;
    } cases[] = {
        {0, "abc", "5", 26, "范围的起始值“abc”不是整数，请输入从1开始的整数。"},
        {0, "1", "1 2", 26, "范围的结束值“1 2”不是整数，请输入从1开始的整数。"},
        {0, "", "5", 26, "范围的起始值“”不是整数，请输入从1开始的整数。"},
        {0, "8", "5", 26, "范围的起始值（第8条）在结束值（第5条）之后，请改正范围。"},
        {0, "3", "0", 26, "范围的起始值（第3条）在结束值（第0条）之后，请改正范围。"},
        {1, "3", "2", 26, "范围的起始值（第3页）在结束值（第2页）之后，请改正范围。"},
        {0, "27", "30", 26, "范围从第27条记录开始，但工作表“名单”只有26条记录，请改正范围。"},
        {1, "4", "5", 26, "范围从第31条记录开始，但工作表“名单”只有26条记录，请改正范围。"},
        {0, "1", "1", 0, "工作表“名单”没有记录，没有可以生成的文档。"},
        {2, "1", "1", 26, "请先选择范围的方式（按条或按页）。"},
    };
    for (const auto& c : cases) {
        const CheckedRange range = CheckRowRange(c.mode, c.start, c.end, 10, c.records, "名单$");
        EXPECT_FALSE(range) << c.start << " " << c.end;
        EXPECT_EQ(range.problem, c.problem) << c.start << " " << c.end;
    }
}

TEST(RangeCheck, SheetNamesAsTheUserKnowsThem) {
    EXPECT_EQ(SheetDisplayName("人员名单$"), "人员名单");
    EXPECT_EQ(SheetDisplayName("'My Sheet$'"), "My Sheet");
    EXPECT_EQ(SheetDisplayName("'Tom''s$'"), "Tom's");
    EXPECT_EQ(SheetDisplayName("名单.csv"), "名单.csv");
}

}  // namespace
}  // namespace qm
