// The settings store over a real settings database in a temporary program folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/core/settings.h"
#include "app/core/sqlite_settings_store.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_database.h"

namespace qm {
namespace {

using test::Scalar;
using test::Sql;

// A store in memory that can be told to fail, and counts what it was asked to write.
class FakeStore : public SettingsStore {
  public:
    struct State {
        StoredFolders folders;
        bool writesFail = false;
        std::string problem;  // what Problem() answers
        int folderWrites = 0, rowsAdded = 0, optionWrites = 0;
    };
    explicit FakeStore(State& state) : state_(state) {}
    std::string Location() const override { return "/fake/store"; }
    StoredFolders ReadFolders() override { return state_.folders; }
    bool AddFolders(const std::array<std::string, 3>&) override {
        ++state_.rowsAdded;
        return !state_.writesFail;
    }
    bool WriteFolder(FolderColumn, std::string_view) override {
        ++state_.folderWrites;
        return !state_.writesFail;
    }
    std::string ReadOption(std::string_view) override { return {}; }
    bool WriteOption(std::string_view, std::string_view) override {
        ++state_.optionWrites;
        return !state_.writesFail;
    }
    std::string Problem(bool) override { return state_.problem; }

  private:
    State& state_;
};

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
    std::string Option(const char* name) {
        return Scalar(db, std::string("select Value from Options where Name='") + name + "'");
    }

    test::TempFolder program;
    std::string db = program / "Quillmerge.mdb";
};

TEST_F(Settings, EmptyInitGetsTheFirstRunRow) {
    MakeDatabase();
    AppSettings settings(program.path());
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
    MakeDatabase("INSERT INTO Init VALUES ('/data/', '\\模板\\', '');");  // a file from an earlier version
    AppSettings settings(program.path());
    EXPECT_EQ(settings.NameColumn(), "");  // no option yet: nothing, and no failure
    EXPECT_EQ(settings.OutputType(), "");
    settings.SetNameColumn("姓名's");
    settings.SetOutputType("pdf-all");
    EXPECT_EQ(Option("NameColumn"), "姓名's");
    EXPECT_EQ(Option("OutputType"), "pdf-all");
    EXPECT_EQ(Stored("ExcelPath"), "/data/");  // the folders are kept
    EXPECT_EQ(Scalar(db, "select count(*) from Init"), "1");

    AppSettings again(program.path());
    EXPECT_EQ(again.NameColumn(), "姓名's");
    EXPECT_EQ(again.OutputType(), "pdf-all");
    EXPECT_EQ(again.GetExcelPath(), "/data/");
    again.SetNameColumn("");
    again.SetOutputType("docx");
    EXPECT_EQ(AppSettings(program.path()).NameColumn(), "");
    EXPECT_EQ(AppSettings(program.path()).OutputType(), "docx");
    EXPECT_EQ(Scalar(db, "select count(*) from Options"), "2");
}

TEST_F(Settings, PictureColumnsAreKeptPerTemplate) {
    MakeDatabase();
    AppSettings settings(program.path());
    EXPECT_TRUE(settings.PictureColumns("/t/工作证.doc").empty());
    settings.SetPictureColumns("/t/工作证.doc", {"照片", "", "签名"});
    settings.SetPictureColumns("/t/other.docx", {"Logo"});
    EXPECT_EQ(settings.PictureColumns("/t/工作证.doc"), (std::vector<std::string>{"照片", "签名"}));

    AppSettings again(program.path());
    EXPECT_EQ(again.PictureColumns("/t/工作证.doc"), (std::vector<std::string>{"照片", "签名"}));
    EXPECT_EQ(again.PictureColumns("/t/other.docx"), (std::vector<std::string>{"Logo"}));
    EXPECT_TRUE(again.PictureColumns("/t/工作证.docx").empty());
    again.SetPictureColumns("/t/工作证.doc", {});
    EXPECT_TRUE(AppSettings(program.path()).PictureColumns("/t/工作证.doc").empty());
    EXPECT_EQ(AppSettings(program.path()).PictureColumns("/t/other.docx"),
              (std::vector<std::string>{"Logo"}));
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

// A store that cannot be read or written is told once, with the file and what failed, and is
// never written over.
TEST_F(Settings, ProblemsOfTheStoreAreToldOnceAndNothingIsOverwritten) {
    {
        // No store at all.
        AppSettings settings(program.path());
        EXPECT_NE(settings.Problem().find(db), std::string::npos);
        EXPECT_NE(settings.Problem().find("文件不存在"), std::string::npos);
        EXPECT_EQ(settings.GetExcelPath(), program.path() + "/数据/");
        EXPECT_FALSE(std::filesystem::exists(db));
    }
    {
        // A damaged file: told, and left exactly as it is.
        const std::string garbage(8192, 'x');
        FILE* f = std::fopen(db.c_str(), "wb");
        std::fwrite(garbage.data(), 1, garbage.size(), f);
        std::fclose(f);
        AppSettings settings(program.path());
        EXPECT_NE(settings.Problem().find("已损坏"), std::string::npos) << settings.Problem();
        settings.SetExcelPath(MakeFolder("wb"));
        std::vector<std::string> heard;
        settings.SetProblemObserver([&](const std::string& p) { heard.push_back(p); });
        EXPECT_EQ(heard.size(), 1u);
        settings.SetWordPath(MakeFolder("wb2"));
        EXPECT_EQ(heard.size(), 1u);
        FILE* back = std::fopen(db.c_str(), "rb");
        std::string content(8192, '\0');
        EXPECT_EQ(std::fread(content.data(), 1, content.size(), back), 8192u);
        std::fclose(back);
        EXPECT_EQ(content, garbage);
        std::filesystem::remove(db);
    }
    {
        // A store without the table.
        Sql(db, "CREATE TABLE Other (x TEXT);");
        AppSettings settings(program.path());
        EXPECT_NE(settings.Problem().find("Init"), std::string::npos) << settings.Problem();
        std::filesystem::remove(db);
    }
    {
        // Another program holds the store: folders chosen now cannot be kept, and that is said.
        MakeDatabase("INSERT INTO Init VALUES ('', '', '');");
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        AppSettings settings(program.path());
        EXPECT_NE(settings.Problem().find("锁定"), std::string::npos) << settings.Problem();
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        AppSettings free(program.path());
        EXPECT_EQ(free.Problem(), "");
    }
}

// The shown-values choice lives in a table of its own beside Init, which a store shipped
// without it gains on the first change; Init keeps its columns.
TEST_F(Settings, ShownValuesAreRememberedBesideInit) {
    MakeDatabase();
    AppSettings settings(program.path());
    EXPECT_FALSE(settings.GetShownValues());
    settings.SetShownValues(true);
    EXPECT_TRUE(settings.GetShownValues());
    EXPECT_TRUE(AppSettings(program.path()).GetShownValues());
    settings.SetShownValues(false);
    EXPECT_FALSE(AppSettings(program.path()).GetShownValues());
    EXPECT_EQ(Scalar(db, "select count(*) from Options"), "1");
    EXPECT_EQ(Scalar(db, "select group_concat(name) from pragma_table_info('Init')"),
              "ExcelPath,WordPath,UserDocPath");
    EXPECT_EQ(Scalar(db, "select count(*) from Init"), "1");

    // Any other value than "1" reads off.
    Sql(db, "UPDATE Options SET Value='yes'");
    EXPECT_FALSE(AppSettings(program.path()).GetShownValues());
}

TEST_F(Settings, ShownValuesWithoutADatabaseLastForThisRun) {
    AppSettings settings(program.path());
    settings.SetShownValues(true);
    EXPECT_TRUE(settings.GetShownValues());
    EXPECT_NE(access(db.c_str(), F_OK), 0);
    EXPECT_FALSE(AppSettings(program.path()).GetShownValues());
}

// A store written by an earlier version has NameColumn and OutputType in Init. The program
// reads and writes the three folders there as before, keeps its options in Options, and never
// alters Init or its other columns.
TEST_F(Settings, InitWithMoreColumnsIsUsedAsItIs) {
    Sql(db,
        "CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT, NameColumn TEXT, OutputType "
        "TEXT);");
    const std::string schema = Scalar(db, "select sql from sqlite_master where name='Init'");
    {
        AppSettings first(program.path());  // first run: the three columns get their row
        EXPECT_EQ(first.Problem(), "");
        EXPECT_EQ(first.GetWordPath(), program.path() + "/模板/");
    }
    EXPECT_EQ(Scalar(db, "select ExcelPath || WordPath || UserDocPath from Init"),
              "\\数据\\\\模板\\\\用户文档\\");
    EXPECT_EQ(Scalar(db, "select NameColumn from Init"), "<null>");
    Sql(db, "UPDATE Init SET NameColumn='编号', OutputType='pdf'");

    AppSettings settings(program.path());
    EXPECT_EQ(settings.NameColumn(), "");  // options are read from Options only
    const std::string folder = MakeFolder("books");
    settings.SetExcelPath(folder);
    settings.SetNameColumn("姓名");
    settings.SetOutputType("docx");
    EXPECT_EQ(Stored("ExcelPath"), folder + "/");
    EXPECT_EQ(Stored("WordPath"), "\\模板\\");
    EXPECT_EQ(Scalar(db, "select NameColumn || '|' || OutputType from Init"), "编号|pdf");
    EXPECT_EQ(Option("NameColumn"), "姓名");
    EXPECT_EQ(Scalar(db, "select sql from sqlite_master where name='Init'"), schema);
    EXPECT_EQ(Scalar(db, "select count(*) from Init"), "1");
    EXPECT_EQ(AppSettings(program.path()).GetExcelPath(), folder + "/");
}

// Column names in another letter case are the same columns; a missing one reads "".
TEST_F(Settings, InitColumnsAreFoundInAnyLetterCase) {
    Sql(db, "CREATE TABLE Init (excelpath TEXT, WORDPATH TEXT); INSERT INTO Init VALUES ('/a/', '/b/');");
    SqliteSettingsStore store(db);
    const StoredFolders folders = store.ReadFolders();
    EXPECT_EQ(folders.state, StoredFolders::State::Read);
    EXPECT_EQ(folders.values, (std::array<std::string, 3>{"/a/", "/b/", ""}));
    EXPECT_TRUE(store.WriteFolder(FolderColumn::Word, "/c/"));
    EXPECT_EQ(Scalar(db, "select WORDPATH from Init"), "/c/");
    EXPECT_FALSE(store.WriteFolder(FolderColumn::UserDoc, "/d/"));  // no such column: not stored
}

// The store the program ships, made as the build makes it: three folder columns, no row, and
// nothing for the program to report.
TEST_F(Settings, ShippedStoreHasTheThreeFolderColumns) {
    const test::CommandResult made = test::RunCommand(
        "/usr/bin/python3 " + test::ShellQuote(QM_SOURCE_DIR "/resources/db/make_settings_db.py") + " " +
        test::ShellQuote(db));
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(Scalar(db, "select group_concat(name) from pragma_table_info('Init')"),
              "ExcelPath,WordPath,UserDocPath");
    EXPECT_EQ(Scalar(db, "select count(*) from Init"), "0");
    EXPECT_EQ(Scalar(db, "select count(*) from sqlite_master where name='Options'"), "0");

    AppSettings settings(program.path());
    EXPECT_EQ(settings.Problem(), "");
    settings.SetOutputType("pdf-all");
    EXPECT_EQ(Scalar(db, "select count(*) from Init"), "1");
    EXPECT_EQ(AppSettings(program.path()).OutputType(), "pdf-all");
}

// What AppSettings asks of its store, and what it does when the store fails.
TEST(SettingsOverAStore, NothingIsWrittenIntoAnUnreadableStoreOrForAMissingFolder) {
    test::TempFolder program;
    FakeStore::State state;
    state.problem = "文件已损坏";
    AppSettings settings(program.path(), std::make_unique<FakeStore>(state));
    EXPECT_EQ(state.rowsAdded, 0);
    EXPECT_NE(settings.Problem().find("/fake/store"), std::string::npos);
    EXPECT_NE(settings.Problem().find("无法读取：文件已损坏"), std::string::npos);

    settings.SetExcelPath(program / "no such folder");
    settings.SetExcelPath("");
    settings.SetPath(4, program.path());
    EXPECT_EQ(state.folderWrites, 0);
    settings.SetExcelPath(program.path());
    EXPECT_EQ(state.folderWrites, 1);
}

TEST(SettingsOverAStore, FailedWritesKeepTheValuesForThisRunAndAreToldOnce) {
    test::TempFolder program;
    FakeStore::State state;
    state.folders.state = StoredFolders::State::Empty;
    state.writesFail = true;  // and Problem() finds nothing: the failure is still told
    AppSettings settings(program.path(), std::make_unique<FakeStore>(state));
    EXPECT_EQ(state.rowsAdded, 1);
    EXPECT_EQ(settings.WordPath(), "\\模板\\");  // the first-run row holds for this run
    EXPECT_EQ(settings.Problem(), "");

    std::vector<std::string> heard;
    settings.SetProblemObserver([&](const std::string& p) { heard.push_back(p); });
    settings.SetWordPath(program.path());
    settings.SetExcelPath(program.path());
    settings.SetShownValues(true);
    EXPECT_EQ(settings.GetWordPath(), program.path() + "/");
    EXPECT_EQ(settings.GetExcelPath(), program.path() + "/");
    EXPECT_TRUE(settings.GetShownValues());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NE(heard[0].find("无法保存更改：写入失败"), std::string::npos) << heard[0];
}

}  // namespace
}  // namespace qm
