#pragma once
// Choosing rows by what they hold: "部门 等于 销售部", "金额 大于 3000", "备注 不为空". The window's
// filter line and the batch command's --where give the same filters; the planner keeps the rows
// that pass every one of them.
//
// Cells are read as stored (the raw values, whatever the value style of the run): a number as
// a number, a date-formatted cell as its ISO date. A cell and a filter value compare as numbers
// when both read as numbers, as dates when both read as dates, and otherwise as text, ignoring
// the case of Latin letters; but "greater" and "less" with a number (or date) as the value pass
// only cells that are numbers (dates).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

namespace data {
class Cursor;
}

enum class FilterTest { Equal, NotEqual, Contains, NotContains, Empty, NotEmpty, Greater, Less };

struct RowFilter {
    std::string column;  // a column title
    FilterTest test = FilterTest::Equal;
    std::string value;  // unused by Empty and NotEmpty
};

// The tests in the order the window lists them, with their names there.
inline constexpr FilterTest kFilterTests[] = {
    FilterTest::Equal, FilterTest::NotEqual, FilterTest::Contains, FilterTest::NotContains,
    FilterTest::Empty, FilterTest::NotEmpty, FilterTest::Greater,  FilterTest::Less};
std::string_view FilterTestName(FilterTest test);
// False for the tests that take no value (Empty, NotEmpty).
bool FilterTestTakesValue(FilterTest test);

// "“部门”等于“销售部”", "“备注”不为空": one filter as the window names it.
std::string DescribeFilter(const RowFilter& filter);

enum class FilterProblemKind {
    NoSuchColumn,  // the sheet has no column of that title
    NotANumber,    // Greater/Less on a column of numbers with a value that is not one
    NotADate,      // Greater/Less on a column of dates with a value that is not one
};

struct FilterProblem {
    FilterProblemKind kind;
    std::string column;
};

struct FilterOutcome {
    std::vector<long long> rows;  // positions (from 0) of the rows that pass, in sheet order
    std::optional<FilterProblem> problem;
    // The rows left out only because a greater or less test met a cell that is not a number
    // (or date) as its value is: such a cell never passes, "abc" is not more than 10.
    long long unlike = 0;
};

// The rows of `sheet` (read as stored) that pass every filter.
FilterOutcome MatchingRows(const data::Cursor& sheet, const std::vector<RowFilter>& filters);

// One --where text: TITLE then a test (= != ~ !~ > < for equal, not equal, contains, does not
// contain, greater, less, each followed by the value; ? not empty and !? empty, with nothing
// after). A title holding one of = ! < > ~ ? is written in brackets: "[A=B]=1". Spaces around
// the title and the value do not count. nullopt with `error` set when the text is not one.
std::optional<RowFilter> ParseWhere(std::string_view text, std::string& error);

}  // namespace qm
