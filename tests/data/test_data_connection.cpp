// Connection strings: the texts built for each kind and what the recordset reads out of them.
#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/names.h"

namespace qm::data {
namespace {

TEST(BuildConnectionString, EveryKind) {
    EXPECT_EQ(BuildConnectionString(AccessFile, "srv", "/p/Quillmerge.mdb", "u", "pw", "db"),
              "DRIVER=Driver do Microsoft Access (*.mdb);UID=u;PWD=pw;ReadOnly=False;DBQ=/p/Quillmerge.mdb");
    EXPECT_EQ(BuildConnectionString(AccessFile, {}, "/p/Quillmerge.mdb"),
              "DRIVER=Driver do Microsoft Access (*.mdb);UID=;PWD=;ReadOnly=False;DBQ=/p/Quillmerge.mdb");
    EXPECT_EQ(BuildConnectionString(SqlServer, "srv", "f", "u", "pw", "db"),
              "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=u;Initial Catalog=db;"
              "Data Source=srv");
    EXPECT_EQ(BuildConnectionString(OracleServer, "srv", "f", "u", "pw", "db"),
              "Provider=OraOLEDB.Oracle.1;Password=pw;Persist Security Info=True;User ID=u;Data Source=srv");
    EXPECT_EQ(BuildConnectionString(ExcelWorkbook, "srv", "/d/a.xls", "u", "pw", "db"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/a.xls;Extended Properties='Excel "
              "8.0;HDR=yes;IMEX=1'");
    EXPECT_EQ(BuildConnectionString(SystemDsn, "srv", "MyDsn", "u", "pw", "db"), "DSN=MyDsn");
    EXPECT_EQ(BuildConnectionString(-1, "srv", "f"), "");
    EXPECT_EQ(BuildConnectionString(5, "srv", "f"), "");
}

TEST(ParseConnection, FilesWithSemicolonsAndApostrophesSurvive) {
    const std::string file = "/home/o'brien/a;b='c'.xls";
    const std::string text = BuildConnectionString(ExcelWorkbook, {}, file);
    EXPECT_NE(text.find(file), std::string::npos);  // unchanged in the text
    ConnectionTarget target = ParseConnection(text);
    EXPECT_EQ(target.kind, ConnectionTarget::Workbook);
    EXPECT_EQ(target.file, file);

    const std::string db = "/x;DBQ=y/it's.mdb";
    target = ParseConnection(BuildConnectionString(AccessFile, {}, db));
    EXPECT_EQ(target.kind, ConnectionTarget::Database);
    EXPECT_EQ(target.file, db);
    EXPECT_FALSE(target.readOnly);
}

TEST(ParseConnection, OnlyTheWorkbookAndAccessStringsOpenSomething) {
    EXPECT_EQ(ParseConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a.xls").file, "/a.xls");
    EXPECT_TRUE(
        ParseConnection("DRIVER=Driver do Microsoft Access (*.mdb);UID=;PWD=;ReadOnly=True;DBQ=/a.mdb")
            .readOnly);
    for (int kind : {SqlServer, OracleServer, SystemDsn})
        EXPECT_EQ(ParseConnection(BuildConnectionString(kind, "s", "/a.xls", "u", "p", "d")).kind,
                  ConnectionTarget::None);
    EXPECT_EQ(ParseConnection("").kind, ConnectionTarget::None);
    EXPECT_EQ(ParseConnection(BuildConnectionString(ExcelWorkbook)).kind, ConnectionTarget::None);  // no file
    EXPECT_EQ(ParseConnection(BuildConnectionString(AccessFile)).kind, ConnectionTarget::None);
    EXPECT_EQ(ParseConnection("DRIVER=SQLite3;DBQ=/a.db").kind, ConnectionTarget::None);
}

}  // namespace
}  // namespace qm::data
