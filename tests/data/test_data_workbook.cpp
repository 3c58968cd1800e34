// The workbook provider over workbooks built by hand: table names, queries, field naming and
// the cursor's paging rules.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/model/workbook.h"
#include "data/names.h"
#include "data/providers.h"

namespace qm::data {
namespace {

using Names = std::vector<std::string>;

xls::Sheet& AddSheet(xls::Workbook& book, std::string name, xls::SheetKind kind = xls::SheetKind::Worksheet) {
    xls::Sheet sheet;
    sheet.name = std::move(name);
    sheet.kind = kind;
    book.sheets.push_back(std::move(sheet));
    return book.sheets.back();
}

void SetRow(xls::Sheet& sheet, std::size_t row, const Names& texts) {
    for (std::size_t c = 0; c < texts.size(); ++c) sheet.setText(row, c, texts[c]);
}

// "Records": titles ID, Name, (empty), Amount; 25 records "1".."25", "Name 1".., "x1".., and an
// Amount only in odd rows. Plus the sheets that exercise naming and edge shapes.
std::shared_ptr<const xls::Workbook> SampleBook() {
    auto book = std::make_shared<xls::Workbook>();
    xls::Sheet& records = AddSheet(*book, "Records");
    SetRow(records, 0, {"ID", "Name", "", "Amount"});
    for (int i = 1; i <= 25; ++i) {
        const std::string n = std::to_string(i);
        SetRow(records, static_cast<std::size_t>(i), {n, "Name " + n, "x" + n, i % 2 ? n + ".5" : ""});
    }
    AddSheet(*book, "Chart1", xls::SheetKind::Chart);
    xls::Sheet& spaced = AddSheet(*book, "My Sheet");
    SetRow(spaced, 0, {"Full Name", "name", "Name"});
    SetRow(spaced, 1, {"Ann Lee", "lower", "Upper"});
    AddSheet(*book, "Macro1", xls::SheetKind::Macro);
    xls::Sheet& titles = AddSheet(*book, "O'Neil");
    SetRow(titles, 0, {"A", "B"});
    AddSheet(*book, "Empty");
    xls::Sheet& chinese = AddSheet(*book, "员工");
    SetRow(chinese, 0, {"姓名", "姓名", "部门"});
    SetRow(chinese, 1, {"张三", "李四", "销售部"});
    return book;
}

std::unique_ptr<Cursor> Open(const std::string& sql) {
    return OpenWorkbookQuery(SampleBook(), sql);
}

Names FieldNames(const Cursor& cursor) {
    Names names;
    for (int i = 0; i < cursor.fieldCount(); ++i) names.push_back(cursor.fieldName(i));
    return names;
}

TEST(WorkbookTables, WorksheetsOnlyInOrderNamedAsJetDoes) {
    EXPECT_EQ(WorkbookTableNames(*SampleBook()),
              (Names{"Records$", "'My Sheet$'", "'O''Neil$'", "Empty$", "员工$"}));
    EXPECT_EQ(JetTableName("Sheet_1"), "Sheet_1$");
    EXPECT_EQ(JetTableName("a-b"), "'a-b$'");
    EXPECT_EQ(JetTableName("Q1 (2024)"), "'Q1 (2024)$'");
    EXPECT_EQ(JetTableName("TS_All Prods "), "'TS_All Prods $'");
}

TEST(WorkbookQuery, ParsesSelectListsAndTables) {
    WorkbookQuery q;
    ASSERT_TRUE(ParseWorkbookQuery("SELECT * FROM [Sheet1$]", q));
    EXPECT_TRUE(q.allColumns);
    EXPECT_EQ(q.table, "Sheet1$");
    ASSERT_TRUE(ParseWorkbookQuery("  select  a , [Full Name],a,  b c from ['My Sheet$'] ; ", q));
    EXPECT_FALSE(q.allColumns);
    EXPECT_EQ(q.columns, (Names{"a", "Full Name", "a", "b c"}));
    EXPECT_EQ(q.table, "'My Sheet$'");
    // A title may itself hold the word "from"; the last FROM outside brackets ends the list.
    ASSERT_TRUE(ParseWorkbookQuery("select Date from,[x from y] from [T$]", q));
    EXPECT_EQ(q.columns, (Names{"Date from", "x from y"}));
    EXPECT_EQ(q.table, "T$");
    ASSERT_TRUE(ParseWorkbookQuery("select*from[T$]", q));
    EXPECT_TRUE(q.allColumns);

    for (const char* bad : {"", "select", "select * from", "select * from []", "select a,,b from [T$]",
                            "select , from [T$]", "delete from [T$]", "selecta from [T$]", "select a [T$]"})
        EXPECT_FALSE(ParseWorkbookQuery(bad, q)) << bad;
}

TEST(WorkbookQuery, SelectAllNamesFieldsFromTheTitleRow) {
    auto cursor = Open("select * from [Records$]");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(FieldNames(*cursor), (Names{"ID", "Name", "F3", "Amount"}));
    EXPECT_EQ(cursor->recordCount(), 25);
    EXPECT_EQ(cursor->fieldValue(cursor->fieldIndex("Name")), "Name 1");
    EXPECT_EQ(cursor->fieldValue(cursor->fieldIndex("F3")), "x1");

    // Repeated titles stay as they are.
    cursor = Open("select * from [员工$]");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(FieldNames(*cursor), (Names{"姓名", "姓名", "部门"}));
    EXPECT_EQ(cursor->fieldValue(1), "李四");
}

TEST(WorkbookQuery, TableNamesInListedAndPlainForm) {
    for (const char* sql : {"select * from ['My Sheet$']", "select * from [My Sheet$]",
                            "SELECT * FROM [my sheet$]", "select * from ['O''Neil$']",
                            "select * from [O'Neil$]", "select * from Records$", "select * from [Records$];"})
        EXPECT_TRUE(Open(sql)) << sql;
    for (const char* sql : {"select * from [Chart1$]", "select * from [Macro1$]", "select * from [Records]",
                            "select * from [Missing$]", "select * from [Records$] where ID=1"})
        EXPECT_FALSE(Open(sql)) << sql;
}

// Opening a table by name needs no query text, so titles a select list cannot hold read alike.
TEST(WorkbookTable, OpensEveryColumnByTableName) {
    for (const char* table : {"Records$", "[Records$]", "records$"}) {
        std::unique_ptr<Cursor> cursor = OpenWorkbookTable(SampleBook(), table);
        ASSERT_NE(cursor, nullptr) << table;
        EXPECT_EQ(FieldNames(*cursor), (Names{"ID", "Name", "F3", "Amount"}));
        EXPECT_EQ(cursor->recordCount(), 25);
        EXPECT_EQ(cursor->fieldValue(3), "1.5");
    }
    EXPECT_NE(OpenWorkbookTable(SampleBook(), "'My Sheet$'"), nullptr);
    EXPECT_EQ(OpenWorkbookTable(SampleBook(), "Chart1$"), nullptr);
    EXPECT_EQ(OpenWorkbookTable(SampleBook(), "Nope$"), nullptr);
    EXPECT_EQ(OpenWorkbookTable(nullptr, "Records$"), nullptr);
}

TEST(WorkbookQuery, SelectListKeepsOrderRepetitionsAndNamesAsGiven) {
    auto cursor = Open("select Amount, [ID] ,amount, F3 from [Records$]");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(FieldNames(*cursor), (Names{"Amount", "ID", "amount", "F3"}));
    EXPECT_EQ(cursor->fieldValue(0), "1.5");
    EXPECT_EQ(cursor->fieldValue(1), "1");
    EXPECT_EQ(cursor->fieldValue(2), "1.5");
    EXPECT_EQ(cursor->fieldValue(3), "x1");

    // Exact title first, then ignoring ASCII case.
    cursor = Open("select name, Name, NAME, [Full Name] from ['My Sheet$']");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->fieldValue(0), "lower");
    EXPECT_EQ(cursor->fieldValue(1), "Upper");
    EXPECT_EQ(cursor->fieldValue(2), "lower");  // the first title that matches ignoring case
    EXPECT_EQ(cursor->fieldValue(3), "Ann Lee");
    // Fields of the result by name: exact first, then ignoring case; unknown gives -1.
    EXPECT_EQ(cursor->fieldIndex("Name"), 1);
    EXPECT_EQ(cursor->fieldIndex("full name"), 3);
    EXPECT_EQ(cursor->fieldIndex("Nobody"), -1);
    EXPECT_EQ(cursor->fieldValue(-1), "");

    EXPECT_FALSE(Open("select ID, Nobody from [Records$]"));
    EXPECT_FALSE(Open("select Full from ['My Sheet$']"));
}

TEST(WorkbookQuery, EmptyAndTitleOnlySheets) {
    auto cursor = Open("select * from [Empty$]");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->fieldCount(), 0);
    EXPECT_EQ(cursor->recordCount(), 0);
    EXPECT_TRUE(cursor->eof());
    EXPECT_EQ(cursor->pageCount(), 0);
    EXPECT_FALSE(cursor->setAbsolutePage(1));

    cursor = Open("select * from ['O''Neil$']");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(FieldNames(*cursor), (Names{"A", "B"}));
    EXPECT_EQ(cursor->recordCount(), 0);
    EXPECT_TRUE(cursor->eof());
    EXPECT_EQ(cursor->fieldValue(0), "");
}

TEST(Cursor, PagesOf25RecordsAt10PerPage) {
    auto cursor = Open("select * from [Records$]");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->pageSize(), 10);
    EXPECT_EQ(cursor->pageCount(), 3);
    ASSERT_TRUE(cursor->setAbsolutePage(3));
    Names ids;
    while (!cursor->eof()) {
        ids.push_back(cursor->fieldValue(0));
        cursor->moveNext();
    }
    EXPECT_EQ(ids, (Names{"21", "22", "23", "24", "25"}));
    EXPECT_FALSE(cursor->moveNext());  // already past the end

    ASSERT_TRUE(cursor->setAbsolutePage(2));
    EXPECT_EQ(cursor->fieldValue(0), "11");
    // A page outside the sheet is refused and the cursor stays.
    EXPECT_FALSE(cursor->setAbsolutePage(4));
    EXPECT_FALSE(cursor->setAbsolutePage(0));
    EXPECT_EQ(cursor->fieldValue(0), "11");

    cursor->setPageSize(0);  // ignored
    EXPECT_EQ(cursor->pageCount(), 3);
    cursor->setPageSize(5);
    EXPECT_EQ(cursor->pageCount(), 5);
    cursor->setPageSize(50);
    EXPECT_EQ(cursor->pageCount(), 1);
    ASSERT_TRUE(cursor->setAbsolutePage(1));
    EXPECT_EQ(cursor->fieldValue(0), "1");
}

TEST(Cursor, MoveCountsFromTheCurrentRow) {
    auto cursor = Open("select ID from [Records$]");
    ASSERT_TRUE(cursor);
    EXPECT_TRUE(cursor->move(2.9));  // truncated: row 3
    EXPECT_EQ(cursor->fieldValue(0), "3");
    EXPECT_TRUE(cursor->move(-1.9));
    EXPECT_EQ(cursor->fieldValue(0), "2");
    EXPECT_FALSE(cursor->move(-5));  // before the first row: refused, cursor kept
    EXPECT_EQ(cursor->fieldValue(0), "2");
    EXPECT_TRUE(cursor->move(0));
    EXPECT_EQ(cursor->fieldValue(0), "2");
    EXPECT_TRUE(cursor->move(23));  // row 25, the last
    EXPECT_FALSE(cursor->eof());
    EXPECT_EQ(cursor->fieldValue(0), "25");
    EXPECT_TRUE(cursor->move(1e9));  // beyond the end: eof
    EXPECT_TRUE(cursor->eof());
    EXPECT_EQ(cursor->fieldValue(0), "");
    EXPECT_FALSE(cursor->move(std::numeric_limits<double>::quiet_NaN()));
}

TEST(WorkbookQuery, ALargeSheetOpensAsAView) {
    auto book = std::make_shared<xls::Workbook>();
    xls::Sheet& big = AddSheet(*book, "Big");
    SetRow(big, 0, {"A", "B"});
    big.setText(65535, 1, "last");
    auto cursor = OpenWorkbookQuery(book, "select B from [Big$]");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->recordCount(), 65535);
    EXPECT_EQ(cursor->fieldValue(0), "");
    cursor->setPageSize(200);
    ASSERT_TRUE(cursor->setAbsolutePage(cursor->pageCount()));
    EXPECT_TRUE(cursor->move(65534 - cursor->position()));
    EXPECT_EQ(cursor->fieldValue(0), "last");
    // The view keeps the workbook alive by itself.
    book.reset();
    EXPECT_EQ(cursor->fieldValue(0), "last");
}

}  // namespace
}  // namespace qm::data
