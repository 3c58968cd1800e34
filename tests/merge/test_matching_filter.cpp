// Choosing rows by their values: each test of the filter over text, numbers, dates, empty cells
// and Chinese, the problems it reports, and the --where texts.

#include <gtest/gtest.h>

#include "data/cursor.h"
#include "merge/row_filter.h"

namespace qm {
namespace {

// Rows of text, as a sheet's raw values read.
class Rows : public data::Table {
  public:
    Rows(std::vector<std::string> titles, std::vector<std::vector<std::string>> rows)
        : titles_(std::move(titles)), rows_(std::move(rows)) {}
    long long rowCount() const override { return static_cast<long long>(rows_.size()); }
    int fieldCount() const override { return static_cast<int>(titles_.size()); }
    std::string fieldName(int field) const override { return titles_[static_cast<std::size_t>(field)]; }
    std::string value(long long row, int field) const override {
        return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(field)];
    }

  private:
    std::vector<std::string> titles_;
    std::vector<std::vector<std::string>> rows_;
};

data::Cursor Sheet() {
    return data::Cursor(
        std::make_unique<Rows>(std::vector<std::string>{"部门", "金额", "日期", "备注", "Code"},
                               std::vector<std::vector<std::string>>{
                                   {"销售部", "3000", "2024-03-05", "", "ab-1"},
                                   {"技术部", "12500.5", "2023-12-31", "加急", "AB-2"},
                                   {"销售部", "800", "2024-03-05 14:30:00", " ", "x"},
                                   {"销售一部", "-5", "", "需要 加急", ""},
                                   {"", "3,000", "2024-11-01", "备注", "Ab-10"},
                               }),
        false);
}

std::vector<long long> Matching(const std::vector<RowFilter>& filters) {
    const data::Cursor sheet = Sheet();
    const FilterOutcome outcome = MatchingRows(sheet, filters);
    EXPECT_FALSE(outcome.problem) << DescribeFilter(filters.front());
    return outcome.rows;
}

TEST(RowFilter, EachTestOverTextNumbersDatesAndEmptyCells) {
    using T = FilterTest;
    const struct {
        RowFilter filter;
        std::vector<long long> rows;
    } cases[] = {
        // Text: whole values, ignoring Latin letter case and the spaces around them.
        {{"部门", T::Equal, "销售部"}, {0, 2}},
        {{"部门", T::Equal, " 销售部 "}, {0, 2}},
        {{"部门", T::NotEqual, "销售部"}, {1, 3, 4}},
        {{"Code", T::Equal, "ab-2"}, {1}},
        {{"code", T::Contains, "AB"}, {0, 1, 4}},
        {{"部门", T::Contains, "销售"}, {0, 2, 3}},
        {{"备注", T::NotContains, "加急"}, {0, 2, 4}},
        // Empty: nothing, or nothing but spaces.
        {{"备注", T::Empty, ""}, {0, 2}},
        {{"备注", T::NotEmpty, ""}, {1, 3, 4}},
        {{"部门", T::Equal, ""}, {4}},
        // Numbers as numbers: 3000 equals 3,000 and 3000.0; 800 is less than 3000 though "800" > "3000"
        // as text.
        {{"金额", T::Equal, "3000.0"}, {0, 4}},
        {{"金额", T::Greater, "1000"}, {0, 1, 4}},
        {{"金额", T::Less, "1000"}, {2, 3}},
        {{"金额", T::Less, "-5"}, {}},
        // Dates as dates, typed in any of the usual ways; a time counts within its day.
        {{"日期", T::Equal, "2024/3/5"}, {0}},
        {{"日期", T::Greater, "2024年3月5日"}, {2, 4}},
        {{"日期", T::Less, "2024-01-01"}, {1}},
        // Ordering text: an empty cell is neither before nor after anything.
        {{"Code", T::Greater, "ab-1"}, {1, 2, 4}},
        {{"部门", T::Less, "销售部"}, {1, 3}},
    };
    for (const auto& c : cases) EXPECT_EQ(Matching({c.filter}), c.rows) << DescribeFilter(c.filter);
    // Several filters must all hold.
    EXPECT_EQ(Matching({{"部门", T::Contains, "销售"}, {"金额", T::Greater, "0"}}),
              (std::vector<long long>{0, 2}));
}

// A column of mixed values: a number (or date) comparison passes numbers (dates) only, and says
// how many rows it left out for holding something else.
TEST(RowFilter, OrderTestsCompareLikeWithLike) {
    const data::Cursor sheet(std::make_unique<Rows>(std::vector<std::string>{"金额", "日期", "部门"},
                                                    std::vector<std::vector<std::string>>{
                                                        {"3000", "2024-03-05", "销售部"},
                                                        {"abc", "not a date", "技术部"},
                                                        {"20", "45000", "销售部"},
                                                        {"", "", "销售部"},
                                                        {"5", "2023-01-01", "技术部"},
                                                    }),
                             false);
    using T = FilterTest;
    const struct {
        std::vector<RowFilter> filters;
        std::vector<long long> rows;
        long long unlike;
    } cases[] = {
        {{{"金额", T::Greater, "10"}}, {0, 2}, 1},
        {{{"金额", T::Less, "10"}}, {4}, 1},
        // 45000 is a number, not a date: it is no later than a date.
        {{{"日期", T::Greater, "2023-12-31"}}, {0}, 2},
        // Left out for its department anyway: not counted.
        {{{"部门", T::Equal, "销售部"}, {"金额", T::Greater, "10"}}, {0, 2}, 0},
        // Text against text stays as it was.
        {{{"部门", T::Greater, "技术部"}}, {0, 2, 3}, 0},
    };
    for (const auto& c : cases) {
        const FilterOutcome outcome = MatchingRows(sheet, c.filters);
        EXPECT_FALSE(outcome.problem);
        EXPECT_EQ(outcome.rows, c.rows) << DescribeFilter(c.filters.back());
        EXPECT_EQ(outcome.unlike, c.unlike) << DescribeFilter(c.filters.back());
    }
}

TEST(RowFilter, ProblemsNameTheColumn) {
    const data::Cursor sheet = Sheet();
    const struct {
        RowFilter filter;
        FilterProblemKind kind;
        std::string column;
    } cases[] = {
        {{"工号", FilterTest::Equal, "1"}, FilterProblemKind::NoSuchColumn, "工号"},
        {{"金额", FilterTest::Greater, "三千"}, FilterProblemKind::NotANumber, "金额"},
        {{"日期", FilterTest::Less, "去年"}, FilterProblemKind::NotADate, "日期"},
        {{"日期", FilterTest::Less, "2024-02-30"}, FilterProblemKind::NotADate, "日期"},
    };
    for (const auto& c : cases) {
        const FilterOutcome outcome = MatchingRows(sheet, {c.filter});
        ASSERT_TRUE(outcome.problem) << DescribeFilter(c.filter);
        EXPECT_EQ(outcome.problem->kind, c.kind);
        EXPECT_EQ(outcome.problem->column, c.column);
        EXPECT_TRUE(outcome.rows.empty());
    }
    // A value that is no number is fine for equality: it is compared as text.
    EXPECT_FALSE(MatchingRows(sheet, {{"金额", FilterTest::Equal, "三千"}}).problem);
}

TEST(RowFilter, WhereTexts) {
    using T = FilterTest;
    const struct {
        std::string text;
        std::string column;
        T test;
        std::string value;
    } good[] = {
        {"部门=销售部", "部门", T::Equal, "销售部"}, {" 部门 != 销售部 ", "部门", T::NotEqual, "销售部"},
        {"备注~加急", "备注", T::Contains, "加急"},  {"备注!~加急", "备注", T::NotContains, "加急"},
        {"金额>3000", "金额", T::Greater, "3000"},   {"金额<3000", "金额", T::Less, "3000"},
        {"备注?", "备注", T::NotEmpty, ""},          {"备注!?", "备注", T::Empty, ""},
        {"[A=B]=1", "A=B", T::Equal, "1"},           {"[是否?] != 否", "是否?", T::NotEqual, "否"},
        {"公式=a=b", "公式", T::Equal, "a=b"},       {"部门=", "部门", T::Equal, ""},
    };
    for (const auto& c : good) {
        std::string error;
        const std::optional<RowFilter> filter = ParseWhere(c.text, error);
        ASSERT_TRUE(filter) << c.text << ": " << error;
        EXPECT_EQ(filter->column, c.column) << c.text;
        EXPECT_EQ(filter->test, c.test) << c.text;
        EXPECT_EQ(filter->value, c.value) << c.text;
    }
    for (const char* bad : {"部门", "=销售部", "[A=B", "备注?是", "[]=1", ""}) {
        std::string error;
        EXPECT_FALSE(ParseWhere(bad, error)) << bad;
        EXPECT_TRUE(error.starts_with("--where")) << bad;
    }
}

TEST(RowFilter, TheWindowsNames) {
    std::vector<std::string> names;
    for (FilterTest test : kFilterTests) names.emplace_back(FilterTestName(test));
    EXPECT_EQ(names, (std::vector<std::string>{"等于", "不等于", "包含", "不包含", "为空", "不为空", "大于",
                                               "小于"}));
    EXPECT_EQ(DescribeFilter({"部门", FilterTest::Equal, "销售部"}), "“部门”等于“销售部”");
    EXPECT_EQ(DescribeFilter({"备注", FilterTest::NotEmpty, "x"}), "“备注”不为空");
}

}  // namespace
}  // namespace qm
