// The provider over the workbook formats besides .xls: tables, records, shown values, the
// reasons a workbook cannot be read, and the cache.
#include <gtest/gtest.h>

#include <filesystem>

#include "data/connection.h"
#include "data/cursor.h"
#include "data/model/workbook.h"
#include "data/recordset.h"
#include "data/workbook_cache.h"
#include "tests/support/temp_folder.h"

namespace qm::data {
namespace {

std::string Sheets(const std::string& name) {
    return std::string(QM_SHEET_FIXTURES) + "/" + name;
}
std::string Jet(const std::string& file) {
    return BuildConnectionString(ExcelWorkbook, {}, file);
}

TEST(WorkbookFormats, TablesAreNamedAsForXls) {
    std::vector<std::string> names;
    ListSheets(Jet(Sheets("odd.xlsx")), names);
    EXPECT_EQ(names, (std::vector<std::string>{"Data$", "Hidden$"}));  // no chart sheet
    ListSheets(Jet(Sheets("repeat.ods")), names);
    EXPECT_EQ(names, (std::vector<std::string>{"Rep$", "Empty$"}));
    ListSheets(Jet(Sheets("quoted.csv")), names);
    EXPECT_EQ(names, (std::vector<std::string>{"quoted$"}));
}

TEST(WorkbookFormats, CsvNamedLikeASheetNeedsQuotes) {
    test::TempFolder dir;
    const std::string file = dir / "My List.CSV";
    std::filesystem::copy_file(Sheets("quoted.csv"), file);
    std::vector<std::string> names;
    ListSheets(Jet(file), names);
    ASSERT_EQ(names, (std::vector<std::string>{"'My List$'"}));
    Recordset rs;
    ASSERT_TRUE(rs.open("select 编号, 备注 from ['My List$']", Jet(file), 1));
    EXPECT_EQ(GetRecordCount(rs), 3);
    EXPECT_EQ(GetFieldValue(rs, "编号"), "001234");
}

TEST(WorkbookFormats, RecordsetGivesShownValuesWhenAsked) {
    Recordset rs;
    const std::string connection = Jet(Sheets("odd.xlsx"));
    ASSERT_TRUE(rs.open("select * from [Data$]", connection, 1));
    EXPECT_EQ(GetFieldValue(rs, "Code") + "|" + GetFieldValue(rs, "When") + "|" + GetFieldValue(rs, "Err"),
              "7|2024-03-05|");
    rs.setValueStyle(ValueStyle::Shown);
    EXPECT_EQ(rs.valueStyle(), ValueStyle::Shown);
    ASSERT_TRUE(rs.open("select Code, When, Err from [Data$]", connection, 1));
    EXPECT_EQ(GetFieldValue(rs, "Code") + "|" + GetFieldValue(rs, "When") + "|" + GetFieldValue(rs, "Err"),
              "No.007|2024/3/5|#DIV/0!");
    auto cursor = OpenSheet(connection, "[Data$]", nullptr, ValueStyle::Shown);
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->fieldValue(1), "No.007");
}

TEST(WorkbookFormats, UnreadableWorkbooksListNothingAndSayWhy) {
    for (const char* name :
         {"notzip.xlsx", "nobook.xlsx", "cut.xlsx", "encrypted.xlsx", "broken.csv", "bottom.xlsx"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> names{"old"};
        WorkbookCache cache;
        ListSheets(Jet(Sheets(name)), names, &cache);
        EXPECT_TRUE(names.empty());
        EXPECT_FALSE(OpenSheet(Jet(Sheets(name)), "Data$", &cache));
        Recordset rs(&cache);
        EXPECT_FALSE(rs.open("select * from [Data$]", Jet(Sheets(name))));
        EXPECT_FALSE(WorkbookProblem(Jet(Sheets(name)), &cache).empty());
        EXPECT_EQ(WorkbookProblem(Jet(Sheets(name))), WorkbookProblem(Jet(Sheets(name)), &cache));
    }
    EXPECT_EQ(WorkbookProblem(Jet(Sheets("encrypted.xlsx"))),
              "encrypted: the workbook is protected by a password");
    EXPECT_EQ(WorkbookProblem(Jet(Sheets("odd.xlsx"))), "");
    EXPECT_EQ(WorkbookProblem(BuildConnectionString(AccessFile, {}, Sheets("odd.xlsx"))),
              "not a workbook connection");
}

TEST(WorkbookFormats, CacheKeepsAnXlsxAndSeesItReplaced) {
    test::TempFolder dir;
    const std::string file = dir / "book.xlsx";
    std::filesystem::copy_file(Sheets("odd.xlsx"), file);
    WorkbookCache cache;
    auto first = cache.get(file);
    ASSERT_TRUE(first);
    EXPECT_EQ(cache.get(file), first);
    // Replaced through a rename by a file that is not a workbook: gone, with the reason.
    const std::string other = dir / "other";
    std::filesystem::copy_file(Sheets("notzip.xlsx"), other);
    std::filesystem::rename(other, file);
    const WorkbookLoad load = cache.load(file);
    EXPECT_FALSE(load.workbook);
    EXPECT_EQ(load.problem.rfind("not a workbook", 0), 0u);
    EXPECT_FALSE(first->sheets.empty());  // what was handed out stays usable
}

}  // namespace
}  // namespace qm::data
