// The recordset over an SQLite database: reads, statements without rows, adding and changing
// rows, and the quiet failures of missing, locked and read-only files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data/connection.h"
#include "data/recordset.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_database.h"

namespace qm::data {
namespace {

using test::Scalar;
using test::Sql;
using test::TempFolder;

class DatabaseRecordset : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        Sql(file, "CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT, Other INTEGER);");
        connection = BuildConnectionString(AccessFile, {}, file);
    }
    TempFolder dir;
    std::string file = dir / "Quillmerge.mdb";
    std::string connection;
    Recordset rs;
};

TEST_F(DatabaseRecordset, AddNewInsertsARowThatReadsBack) {
    ASSERT_TRUE(rs.open("select * from init", connection, 3));
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(rs.recordCount(), 0);
    EXPECT_EQ(rs.fieldCount(), 4);
    EXPECT_EQ(rs.fieldName(0), "ExcelPath");
    EXPECT_FALSE(rs.setFieldValue("ExcelPath", "x"));  // no current row to change

    ASSERT_TRUE(rs.addNew());
    EXPECT_FALSE(rs.eof());
    EXPECT_TRUE(rs.setFieldValue("excelpath", "\\数据\\"));  // names ignore ASCII case
    EXPECT_TRUE(rs.setFieldValue("WordPath", "it's"));
    EXPECT_FALSE(rs.setFieldValue("Nope", "x"));
    EXPECT_EQ(rs.fieldValue("ExcelPath"), "\\数据\\");
    ASSERT_TRUE(rs.update());
    EXPECT_EQ(rs.recordCount(), 1);
    EXPECT_FALSE(rs.eof());
    EXPECT_EQ(rs.fieldValue("WordPath"), "it's");
    rs.close();

    EXPECT_EQ(Scalar(file, "select ExcelPath || '|' || WordPath from Init"), "\\数据\\|it's");
    EXPECT_EQ(Scalar(file, "select UserDocPath from Init"), "<null>");

    ASSERT_TRUE(rs.open("select * from init", connection, 3));
    EXPECT_EQ(rs.fieldValue("UserDocPath"), "");  // NULL reads as ""
    EXPECT_EQ(rs.fieldValue("Missing"), "");
    EXPECT_EQ(rs.fieldValue(std::string_view("excelPATH")), "\\数据\\");
}

TEST_F(DatabaseRecordset, ChangesTheCurrentRowByItsRowid) {
    Sql(file, "INSERT INTO Init VALUES ('a1','b1','c1',1), ('a2','b2','c2',2.5);");
    ASSERT_TRUE(rs.open("select WordPath, Other from Init order by Other desc", connection, 3));
    EXPECT_EQ(rs.fieldValue("Other"), "2.5");
    ASSERT_TRUE(rs.setFieldValue("WordPath", "new"));
    ASSERT_TRUE(rs.update());
    rs.close();
    EXPECT_EQ(
        Scalar(file, "select group_concat(WordPath, ',') from (select WordPath from Init order by rowid)"),
        "b1,new");

    // A pending change is stored when the cursor moves on, and dropped when it closes.
    ASSERT_TRUE(rs.open("select * from Init", connection, 3));
    ASSERT_TRUE(rs.setFieldValue("ExcelPath", "moved"));
    ASSERT_TRUE(rs.moveNext());
    ASSERT_TRUE(rs.setFieldValue("ExcelPath", "dropped"));
    rs.close();
    EXPECT_EQ(
        Scalar(file, "select group_concat(ExcelPath, ',') from (select ExcelPath from Init order by rowid)"),
        "moved,a2");
}

TEST_F(DatabaseRecordset, StatementsWithoutRowsRunAndLeaveItClosed) {
    Sql(file, "INSERT INTO Init VALUES ('a','b','c',1), ('d','e','f',2);");
    EXPECT_TRUE(rs.open("update Init set ExcelPath='/home/o''brien/'", connection, 3));
    EXPECT_FALSE(rs.isOpen());
    EXPECT_FALSE(rs.update());
    EXPECT_EQ(Scalar(file, "select count(*) from Init where ExcelPath='/home/o''brien/'"), "2");

    // Broken or stacked statements run nothing.
    EXPECT_FALSE(rs.open("update Init set ExcelPath='x'y'", connection, 3));
    EXPECT_FALSE(rs.open("update Init set ExcelPath='x'; drop table Init", connection, 3));
    EXPECT_EQ(Scalar(file, "select count(*) from Init where ExcelPath='x'"), "0");
    EXPECT_TRUE(rs.open("update Init set Other=3;  ", connection, 3));
}

TEST_F(DatabaseRecordset, ReadOnlyOpensAndComputedColumnsCannotBeWritten) {
    Sql(file, "INSERT INTO Init VALUES ('a','b','c',1);");
    ASSERT_TRUE(rs.open("select * from Init", connection, 1));  // lock type 1: read-only
    EXPECT_FALSE(rs.setFieldValue("ExcelPath", "x"));
    EXPECT_FALSE(rs.addNew());

    ASSERT_TRUE(rs.open("select ExcelPath || '!' as Shout, count(*) as N from Init", connection, 3));
    EXPECT_EQ(rs.fieldValue("Shout"), "a!");
    EXPECT_EQ(rs.fieldValue("N"), "1");
    EXPECT_FALSE(rs.setFieldValue("Shout", "x"));
    EXPECT_TRUE(rs.addNew());
    EXPECT_FALSE(rs.update());
    EXPECT_EQ(Scalar(file, "select count(*) from Init"), "1");

    // "ReadOnly=True" in the connection string opens the file read-only.
    std::string readOnly = connection;
    readOnly.replace(readOnly.find("ReadOnly=False"), 14, "ReadOnly=True");
    ASSERT_TRUE(rs.open("select * from Init", readOnly, 3));
    EXPECT_EQ(rs.fieldValue("WordPath"), "b");
    EXPECT_FALSE(rs.setFieldValue("WordPath", "x"));
    EXPECT_FALSE(rs.open("update Init set WordPath='x'", readOnly, 3));
    EXPECT_EQ(Scalar(file, "select WordPath from Init"), "b");
}

TEST_F(DatabaseRecordset, MissingFilesAreNeverCreated) {
    const std::string missing = dir / "missing.mdb";
    EXPECT_FALSE(rs.open("select * from Init", BuildConnectionString(AccessFile, {}, missing), 3));
    EXPECT_FALSE(rs.open("create table T (a)", BuildConnectionString(AccessFile, {}, missing), 3));
    EXPECT_NE(access(missing.c_str(), F_OK), 0);
    EXPECT_FALSE(rs.open("select 1", BuildConnectionString(AccessFile, {}, dir.path()), 3));  // a folder
    EXPECT_FALSE(rs.open("select * from NoTable", connection, 3));
    EXPECT_FALSE(rs.open("select * from Init", BuildConnectionString(SystemDsn, {}, file), 3));
    EXPECT_FALSE(rs.isOpen());
}

TEST_F(DatabaseRecordset, WritesToALockedDatabaseFailQuietly) {
    Sql(file, "INSERT INTO Init VALUES ('a','b','c',1);");
    // Another program holds a write lock; reading still works.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(rs.open("update Init set ExcelPath='x'", connection, 3));
    ASSERT_TRUE(rs.open("select * from Init", connection, 3));
    EXPECT_EQ(rs.fieldValue("ExcelPath"), "a");
    ASSERT_TRUE(rs.setFieldValue("ExcelPath", "y"));
    EXPECT_FALSE(rs.update());
    EXPECT_EQ(rs.fieldValue("ExcelPath"), "a");  // the failed change is dropped
    rs.close();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(Scalar(file, "select ExcelPath from Init"), "a");
}

TEST_F(DatabaseRecordset, WriteProtectedFileReadsButDoesNotWrite) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes to any file; the lock and ReadOnly=True cases cover this";
    Sql(file, "INSERT INTO Init VALUES ('a','b','c',1);");
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    ASSERT_TRUE(rs.open("select * from Init", connection, 3));
    EXPECT_EQ(rs.fieldValue("ExcelPath"), "a");
    EXPECT_TRUE(rs.setFieldValue("ExcelPath", "x"));
    EXPECT_FALSE(rs.update());
    EXPECT_FALSE(rs.open("update Init set ExcelPath='x'", connection, 3));
}

TEST(ClosedRecordset, GivesEmptyValues) {
    Recordset rs;
    EXPECT_FALSE(rs.isOpen());
    EXPECT_EQ(rs.recordCount(), 0);
    EXPECT_EQ(rs.pageCount(), 0);
    EXPECT_FALSE(rs.eof());  // the empty value, not "at the end"
    EXPECT_FALSE(rs.moveNext());
    EXPECT_FALSE(rs.move(1));
    EXPECT_FALSE(rs.setAbsolutePage(1));
    rs.setPageSize(20);
    EXPECT_EQ(rs.fieldCount(), 0);
    EXPECT_EQ(rs.fieldName(0), "");
    EXPECT_EQ(rs.fieldValue("x"), "");
    EXPECT_EQ(rs.fieldValue(0), "");
    EXPECT_FALSE(rs.setFieldValue("x", "y"));
    EXPECT_FALSE(rs.addNew());
    EXPECT_FALSE(rs.update());
    EXPECT_EQ(GetRecordCount(rs), 0);
    EXPECT_EQ(GetFieldCount(rs), 0);
    EXPECT_EQ(GetFieldName(rs, 0), "");
    EXPECT_EQ(GetFieldValue(rs, "x"), "");
    EXPECT_FALSE(rs.open("select 1", "", 1));
    rs.close();
}

}  // namespace
}  // namespace qm::data
