// The settings store over a real settings database in a temporary program folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/core/settings.h"
#include "temp_folder.h"

namespace qm {
namespace {

using testing_data::Scalar;
using testing_data::Sql;

class Settings : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(program.path().empty()); }
    void MakeDatabase(const std::string& rows = "") {
        Sql(db, "CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT);" + rows);
    }
    std::string MakeFolder(const std::string& relative) {
        const std::string path = program / relative;
        std::filesystem::create_directories(path);
        return path;
    }
    std::string Stored(const char* column) {
        return Scalar(db, std::string("select ") + column + " from Init");
    }

    testing_data::TempFolder program;
    std::string db = program / "Quillmerge.mdb";
};

TEST_F(Settings, EmptyInitGetsTheFirstRunRow) {
    MakeDatabase();
    AppSettings settings(program.path());
    EXPECT_EQ(settings.ConnectionString(),
              "DRIVER=Driver do Microsoft Access (*.mdb);UID=;PWD=;ReadOnly=False;DBQ=" + db);
    EXPECT_EQ(settings.ExcelPath(), "\\数据\\");
    EXPECT_EQ(settings.GetExcelPath(), program.path() + "/数据/");
    EXPECT_EQ(settings.GetWordPath(), program.path() + "/模板/");
    EXPECT_EQ(settings.GetUserDocPath(), program.path() + "/用户文档/");
    EXPECT_EQ(Scalar(db, "select ExcelPath || WordPath || UserDocPath from Init"),
              "\\数据\\\\模板\\\\用户文档\\");

    AppSettings again(program.path());  // the row is read, not added twice
    EXPECT_EQ(again.WordPath(), "\\模板\\");
    EXPECT_EQ(Scalar(db, "select count(*) from Init"), "1");
    EXPECT_EQ(again.GetPath(0), "");
    EXPECT_EQ(again.GetPath(4), "");
}

TEST_F(Settings, StoredValuesBecomeAbsoluteFolders) {
    MakeDatabase(
        "INSERT INTO Init VALUES ('/data/books', '', 'out\\docs\\');"
        "INSERT INTO Init VALUES ('/second/row', '/x/', '/y/');");
    AppSettings settings(program.path());
    EXPECT_EQ(settings.GetExcelPath(), "/data/books/");                   // absolute, separator added
    EXPECT_EQ(settings.GetWordPath(), program.path() + "/模板/");         // empty: the default
    EXPECT_EQ(settings.GetUserDocPath(), program.path() + "/out/docs/");  // relative below the program
    EXPECT_EQ(settings.WordPath(), "");                                   // the field itself is kept

    Sql(db, "UPDATE Init SET ExcelPath='D:\\Data\\', WordPath='E:'");
    AppSettings windows(program.path());  // drive folders from a Windows settings file keep their meaning
    EXPECT_EQ(windows.GetExcelPath(), "D:\\Data\\");
    EXPECT_EQ(windows.GetWordPath(), "E:\\");
}

TEST_F(Settings, SetPathStoresAnExistingFolder) {
    MakeDatabase();
    AppSettings settings(program.path());
    const std::string folder = MakeFolder("books 2024");

    settings.SetExcelPath(folder + "/");
    EXPECT_EQ(settings.ExcelPath(), folder);
    EXPECT_EQ(Stored("ExcelPath"), folder + "/");
    EXPECT_EQ(settings.GetExcelPath(), folder + "/");
    EXPECT_EQ(settings.QueryText(), "update Init set ExcelPath='" + folder + "/'");
    EXPECT_EQ(AppSettings(program.path()).GetExcelPath(), folder + "/");

    // Relative folders are taken below the program folder, separators tidied.
    MakeFolder("用户文档/二月");
    settings.SetUserDocPath("\\用户文档\\二月\\");
    EXPECT_EQ(settings.UserDocPath(), program.path() + "/用户文档/二月");
    settings.SetWordPath("用户文档//二月//");
    EXPECT_EQ(settings.WordPath(), program.path() + "/用户文档/二月");
    EXPECT_EQ(Stored("WordPath"), program.path() + "/用户文档/二月/");

    settings.SetWordPath("/");
    EXPECT_EQ(settings.WordPath(), "/");
    EXPECT_EQ(Stored("WordPath"), "/");
    EXPECT_EQ(settings.GetWordPath(), "/");
}

TEST_F(Settings, MissingFoldersAndEmptyTextChangeNothing) {
    MakeDatabase("INSERT INTO Init VALUES ('/kept', '/kept', '/kept');");
    AppSettings settings(program.path());
    for (const std::string& folder : std::vector<std::string>{program / "no such folder", "", "D:", db}) {
        SCOPED_TRACE(folder);
        settings.SetExcelPath(folder);
        EXPECT_EQ(settings.ExcelPath(), "/kept");
        EXPECT_EQ(settings.QueryText(), "select * from init");  // no statement issued
    }
    settings.SetPath(0, program.path());
    settings.SetPath(4, program.path());
    EXPECT_EQ(Scalar(db, "select ExcelPath || WordPath || UserDocPath from Init"), "/kept/kept/kept");
}

TEST_F(Settings, QuotesInFolderNamesRoundTrip) {
    MakeDatabase();
    const std::string folder = MakeFolder("home/o'brien/it''s data");
    {
        AppSettings settings(program.path());
        settings.SetWordPath(folder);
        EXPECT_EQ(settings.WordPath(), folder);
        EXPECT_EQ(Stored("WordPath"), folder + "/");
        EXPECT_EQ(Stored("ExcelPath"), "\\数据\\");  // the other columns are untouched
    }
    AppSettings reloaded(program.path());
    EXPECT_EQ(reloaded.GetWordPath(), folder + "/");
}

TEST_F(Settings, MissingDatabaseGivesDefaultsAndIsNotCreated) {
    AppSettings settings(program.path());
    EXPECT_EQ(settings.ExcelPath(), "");
    EXPECT_EQ(settings.GetExcelPath(), program.path() + "/数据/");
    EXPECT_EQ(settings.GetUserDocPath(), program.path() + "/用户文档/");
    const std::string folder = MakeFolder("books");
    settings.SetExcelPath(folder);  // kept for this run only
    EXPECT_EQ(settings.GetExcelPath(), folder + "/");
    EXPECT_NE(access(db.c_str(), F_OK), 0);

    EXPECT_EQ(AppSettings("").GetWordPath(), "/模板/");  // program in "/"
}

TEST_F(Settings, DatabaseWithoutInitIsLeftAlone) {
    Sql(db, "CREATE TABLE Other (a TEXT);");
    AppSettings settings(program.path());
    EXPECT_EQ(settings.WordPath(), "");
    EXPECT_EQ(settings.GetWordPath(), program.path() + "/模板/");
    settings.SetWordPath(MakeFolder("t"));
    EXPECT_EQ(settings.WordPath(), program / "t");
    settings.SetNameColumn("姓名");
    EXPECT_EQ(settings.NameColumn(), "姓名");
    EXPECT_EQ(Scalar(db, "select count(*) from sqlite_master where name like 'init'"), "0");
}

TEST_F(Settings, SaveChoicesAreStoredBesideTheFolders) {
    Sql(db,
        "CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT, NameColumn TEXT, OutputType "
        "TEXT);");
    AppSettings settings(program.path());
    EXPECT_EQ(settings.NameColumn(), "");
    EXPECT_EQ(settings.OutputType(), "");
    settings.SetNameColumn("姓名's");
    settings.SetOutputType("pdf-all");
    EXPECT_EQ(Stored("NameColumn"), "姓名's");
    EXPECT_EQ(Stored("OutputType"), "pdf-all");
    AppSettings again(program.path());
    EXPECT_EQ(again.NameColumn(), "姓名's");
    EXPECT_EQ(again.OutputType(), "pdf-all");
    EXPECT_EQ(again.GetWordPath(), program.path() + "/模板/");
    again.SetNameColumn("");
    EXPECT_EQ(AppSettings(program.path()).NameColumn(), "");
}

TEST_F(Settings, AnEarlierSettingsFileGetsTheNewColumns) {
    MakeDatabase("INSERT INTO Init VALUES ('/data/', '\\模板\\', '');");
    AppSettings settings(program.path());
    EXPECT_EQ(settings.NameColumn(), "");  // no column yet: nothing, and no failure
    settings.SetOutputType("docx");
    settings.SetNameColumn("部门");
    EXPECT_EQ(Stored("OutputType"), "docx");
    EXPECT_EQ(Stored("NameColumn"), "部门");
    EXPECT_EQ(Stored("ExcelPath"), "/data/");  // the folders are kept
    EXPECT_EQ(Scalar(db, "select count(*) from Init"), "1");
    EXPECT_EQ(AppSettings(program.path()).OutputType(), "docx");
}

TEST_F(Settings, LockedDatabaseKeepsChangesInMemory) {
    MakeDatabase();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    AppSettings settings(program.path());  // first run: the row cannot be added
    EXPECT_EQ(settings.ExcelPath(), "\\数据\\");
    EXPECT_EQ(settings.GetExcelPath(), program.path() + "/数据/");
    const std::string folder = MakeFolder("books");
    settings.SetExcelPath(folder);
    EXPECT_EQ(settings.GetExcelPath(), folder + "/");

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(Scalar(db, "select count(*) from Init"), "0");
}

}  // namespace
}  // namespace qm
