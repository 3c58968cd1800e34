// The recordset and the sheet listing over real .xls files written by another program (xlwt),
// bad files, and the workbook cache.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "data/connection.h"
#include "data/model/workbook.h"
#include "data/recordset.h"
#include "data/workbook_cache.h"
#include "tests/support/temp_folder.h"

namespace qm::data {
namespace {

using Names = std::vector<std::string>;

std::string Fixture(const std::string& name) {
    return std::string(QM_DATA_FIXTURES) + "/" + name;
}
std::string Jet(const std::string& file) {
    return BuildConnectionString(ExcelWorkbook, {}, file);
}

TEST(ListSheets, NamesTheWorksheetsAsJetDoes) {
    Names names{"old item"};
    ListSheets(Jet(Fixture("records.xls")), names);
    EXPECT_EQ(names, (Names{"Records$", "'My Sheet$'", "'O''Neil$'", "Empty$", "员工$"}));
    WorkbookCache cache;
    ListSheets(Jet(Fixture("records.xls")), names, &cache);
    EXPECT_EQ(names.size(), 5u);
}

TEST(ListSheets, BadFilesListNothingAndOpenNothing) {
    for (const char* name : {"missing.xls", "not_a_workbook.xls", "truncated.xls", "encrypted.xls"}) {
        SCOPED_TRACE(name);
        Names names{"old item"};
        ListSheets(Jet(Fixture(name)), names);
        EXPECT_TRUE(names.empty());
        Recordset rs;
        EXPECT_FALSE(rs.open("select * from [Records$]", Jet(Fixture(name))));
        EXPECT_EQ(GetRecordCount(rs), 0);
        EXPECT_FALSE(rs.eof());
    }
    Names names{"old item"};
    ListSheets(BuildConnectionString(AccessFile, {}, Fixture("records.xls")), names);
    EXPECT_TRUE(names.empty());
}

TEST(WorkbookRecordset, PagesThroughTheSheet) {
    WorkbookCache cache;
    Recordset rs(&cache);
    const std::string connection = Jet(Fixture("records.xls"));
    ASSERT_TRUE(rs.open("select * from [Records$]", connection, 1));
    EXPECT_EQ(GetRecordCount(rs), 25);
    ASSERT_EQ(GetFieldCount(rs), 5);
    Names titles;
    for (int i = 0; i < GetFieldCount(rs); ++i) titles.push_back(GetFieldName(rs, i));
    EXPECT_EQ(titles, (Names{"ID", "Name", "F3", "Amount", "Joined"}));

    rs.setPageSize(10);
    EXPECT_EQ(rs.pageCount(), 3);
    ASSERT_TRUE(rs.setAbsolutePage(3));
    Names rows;
    for (int r = 0; r < 10 && !rs.eof(); ++r, rs.moveNext())
        rows.push_back(GetFieldValue(rs, "ID") + "|" + GetFieldValue(rs, "Amount") + "|" +
                       GetFieldValue(rs, "Joined"));
    EXPECT_EQ(rows, (Names{"21|21.5|2024-01-21", "22||2024-01-22", "23|23.5|2024-01-23", "24||2024-01-24",
                           "25|25.5|2024-01-25"}));
    EXPECT_TRUE(rs.eof());
    EXPECT_FALSE(rs.setAbsolutePage(4));
    EXPECT_TRUE(rs.eof());  // cursor left where it was
    rs.close();
    EXPECT_FALSE(rs.eof());
    EXPECT_EQ(GetFieldCount(rs), 0);
}

TEST(WorkbookRecordset, MergeQueryWithMoveFromTheStart) {
    Recordset rs;
    ASSERT_TRUE(rs.open("select Name,ID,Name from [Records$]", Jet(Fixture("records.xls")), 3));
    ASSERT_TRUE(rs.move(8 - 1));
    EXPECT_EQ(GetFieldName(rs, 2), "Name");
    EXPECT_EQ(GetFieldValue(rs, "Name"), "Name 8");
    EXPECT_EQ(rs.fieldValue(1), "8");
    EXPECT_EQ(GetFieldValue(rs, "Nobody"), "");

    EXPECT_FALSE(rs.open("select Name,Nobody from [Records$]", Jet(Fixture("records.xls")), 3));
    EXPECT_FALSE(rs.open("select * from [Nowhere$]", Jet(Fixture("records.xls")), 3));
    ASSERT_TRUE(rs.open("select [Full Name], code from [My Sheet$]", Jet(Fixture("records.xls")), 3));
    EXPECT_EQ(GetFieldValue(rs, "Full Name") + "|" + GetFieldValue(rs, "Code"), "Ann Lee|007");
    ASSERT_TRUE(rs.open("select * from [员工$]", Jet(Fixture("records.xls")), 3));
    EXPECT_EQ(GetFieldValue(rs, "部门"), "销售部");
    ASSERT_TRUE(rs.open("select * from [Empty$]", Jet(Fixture("records.xls")), 1));
    EXPECT_EQ(GetFieldCount(rs), 0);
    EXPECT_TRUE(rs.eof());
}

class WorkbookCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        std::filesystem::copy_file(Fixture("records.xls"), file);
    }
    test::TempFolder dir;
    std::string file = dir / "book.xls";
    WorkbookCache cache;
};

TEST_F(WorkbookCacheTest, KeepsTheWorkbookWhileTheFileIsUnchanged) {
    auto first = cache.get(file);
    ASSERT_TRUE(first);
    EXPECT_EQ(cache.get(file), first);

    // Touching the file (a new modification time) makes it parse again.
    struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 678}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    auto second = cache.get(file);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(cache.get(file), second);

    // Rewritten with other content: the new sheets are seen.
    std::filesystem::copy_file(Fixture("not_a_workbook.xls"), file,
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(cache.get(file), nullptr);
    std::filesystem::copy_file(Fixture("records.xls"), file,
                               std::filesystem::copy_options::overwrite_existing);
    auto third = cache.get(file);
    ASSERT_TRUE(third);
    EXPECT_NE(third, second);

    // A removed file is gone from the cache too; the workbook handed out stays usable.
    std::filesystem::remove(file);
    EXPECT_EQ(cache.get(file), nullptr);
    EXPECT_FALSE(third->sheets.empty());
    EXPECT_EQ(cache.get(dir.path()), nullptr);
    EXPECT_EQ(cache.get(""), nullptr);
}

TEST_F(WorkbookCacheTest, ARecordsetSeesTheFileChange) {
    Recordset rs(&cache);
    const std::string connection = Jet(file);
    ASSERT_TRUE(rs.open("select * from [Records$]", connection));
    EXPECT_EQ(GetRecordCount(rs), 25);
    rs.close();
    // Replaced by another workbook through a rename, as editors save.
    const std::string other = dir / "other.xls";
    std::filesystem::copy_file(Fixture("small.xls"), other);
    std::filesystem::rename(other, file);
    ASSERT_TRUE(rs.open("select * from [Records$]", connection));
    EXPECT_EQ(GetRecordCount(rs), 3);
    std::filesystem::remove(file);
    EXPECT_FALSE(rs.open("select * from [Records$]", connection));
}

}  // namespace
}  // namespace qm::data
