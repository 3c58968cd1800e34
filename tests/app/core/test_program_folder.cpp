// The choice of the program folder, and the first and later starts of an installed program, over
// temporary folders laid out like a build folder and like an install prefix.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "app/core/program_folder.h"
#include "app/core/settings.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_database.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::Scalar;
using test::Sql;
using test::WriteText;

fs::path P(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

// Names in `folder`, hidden ones included.
std::set<std::string> Entries(const std::string& folder) {
    const std::vector<std::string> names = test::EntryNames(folder);
    return {names.begin(), names.end()};
}

std::string LinkTarget(const std::string& path) {
    std::error_code ec;
    const std::u8string s = fs::read_symlink(P(path), ec).u8string();
    return ec ? "<not a link>" : std::string(s.begin(), s.end());
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class ProgramFolder : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(root.path().empty()); }

    // <root>/usr laid out as installed: bin/ without a settings store, the shipped files in
    // share/quillmerge/, samples in both template forms.
    void Install() {
        fs::create_directories(P(bin));
        fs::create_directories(P(shared));
        Sql(shared + "/Quillmerge.mdb",
            "CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT)");
        WriteText(shared + "/数据/员工信息.xls", "workbook");
        WriteText(shared + "/模板/劳动合同.doc", "doc");
        WriteText(shared + "/模板/劳动合同.docx", "docx");
        WriteText(shared + "/vbs/closeword.sh", "#!/bin/sh\n");
        WriteText(shared + "/帮助及教程/帮助.mht", "help");
    }
    ProgramEnvironment Installed() const { return {bin, root / "data", root / "home"}; }

    test::TempFolder root;
    std::string bin = root / "usr/bin";
    std::string shared = root / "usr/share/quillmerge";
    std::string own = root / "data/quillmerge";
};

TEST_F(ProgramFolder, AWritableFolderWithTheStoreKeepsItsLayout) {
    Install();  // an installed copy nearby changes nothing
    const std::string program = root / "usr/bin";
    Sql(program + "/Quillmerge.mdb", "CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT)");
    const std::set<std::string> before = Entries(program);

    const ProgramFolders folders = OpenProgramFolder(Installed());
    EXPECT_EQ(folders.folder, program);
    EXPECT_EQ(folders.shared, program);
    EXPECT_FALSE(folders.perUser);
    EXPECT_EQ(folders.problem, "");
    EXPECT_EQ(Entries(program), before);         // nothing made in it
    EXPECT_FALSE(fs::exists(P(root / "data")));  // nor in the home folder
}

TEST_F(ProgramFolder, InstalledTheFolderIsPerUserBelowTheDataHome) {
    Install();
    ProgramFolders folders = FindProgramFolders(Installed());
    EXPECT_EQ(folders.folder, own);
    EXPECT_EQ(folders.shared, shared);  // "bin/../share/quillmerge" in its plain form
    EXPECT_TRUE(folders.perUser);
    EXPECT_EQ(folders.problem, "");
    EXPECT_FALSE(fs::exists(P(own)));  // finding makes nothing

    // Without XDG_DATA_HOME, or with a relative one (to be ignored), the home's .local/share.
    for (const char* dataHome : {"", "relative/data"}) {
        folders = FindProgramFolders({bin, dataHome, root / "home/"});
        EXPECT_EQ(folders.folder, root / "home/.local/share/quillmerge") << dataHome;
    }

    // No home at all: the shipped folder itself, with a word why.
    folders = FindProgramFolders({bin, "", ""});
    EXPECT_EQ(folders.folder, shared);
    EXPECT_FALSE(folders.perUser);
    EXPECT_NE(folders.problem.find("HOME"), std::string::npos);

    // No shipped files anywhere: the executable folder, as before there were installs.
    folders = FindProgramFolders({root / "elsewhere/bin", root / "data", root / "home"});
    EXPECT_EQ(folders.folder, root / "elsewhere/bin");
    EXPECT_EQ(folders.shared, root / "elsewhere/bin");
    EXPECT_FALSE(folders.perUser);
}

TEST_F(ProgramFolder, FirstStartMakesTheUserFolderFromTheShippedFiles) {
    Install();
    fs::permissions(P(shared + "/模板/劳动合同.doc"), fs::perms::owner_read | fs::perms::group_read);
    const ProgramFolders folders = OpenProgramFolder(Installed());
    ASSERT_EQ(folders.problem, "");
    ASSERT_EQ(folders.folder, own);

    EXPECT_EQ(Mode(own) & 0777, 0700u);
    EXPECT_EQ(Entries(own),
              (std::set<std::string>{"Quillmerge.mdb", "数据", "模板", "用户文档", "vbs", "帮助及教程"}));
    EXPECT_EQ(ReadText(own + "/Quillmerge.mdb"), ReadText(shared + "/Quillmerge.mdb"));
    EXPECT_EQ(Entries(own + "/数据"), std::set<std::string>{"员工信息.xls"});
    EXPECT_EQ(Entries(own + "/模板"), (std::set<std::string>{"劳动合同.doc", "劳动合同.docx"}));
    EXPECT_EQ(ReadText(own + "/模板/劳动合同.docx"), "docx");
    EXPECT_TRUE(Mode(own + "/模板/劳动合同.doc") & S_IWUSR);  // the user's copy can be changed
    EXPECT_TRUE(Entries(own + "/用户文档").empty());
    EXPECT_EQ(LinkTarget(own + "/vbs"), shared + "/vbs");
    EXPECT_EQ(LinkTarget(own + "/帮助及教程"), shared + "/帮助及教程");

    // The settings live in the user's store; the stored first-run folders are relative, so they
    // name the user's folders.
    AppSettings settings(folders.folder);
    EXPECT_EQ(settings.GetWordPath(), own + "/模板/");
    EXPECT_EQ(Scalar(own + "/Quillmerge.mdb", "select WordPath from Init"), "\\模板\\");
    EXPECT_EQ(Scalar(shared + "/Quillmerge.mdb", "select count(*) from Init"), "0");
}

TEST_F(ProgramFolder, LaterStartsKeepWhatTheUserChanged) {
    Install();
    ASSERT_EQ(OpenProgramFolder(Installed()).problem, "");
    fs::remove(P(own + "/模板/劳动合同.doc"));
    WriteText(own + "/数据/mine.xls", "mine");
    Sql(own + "/Quillmerge.mdb", "INSERT INTO Init VALUES ('/books/', '\\模板\\', '\\用户文档\\')");
    fs::remove(P(own + "/帮助及教程"));
    fs::create_directory_symlink(P(root / "old-prefix/share/quillmerge/帮助及教程"), P(own + "/帮助及教程"));
    fs::remove(P(own + "/vbs"));
    WriteText(own + "/vbs/closeword.sh", "#!/bin/sh\n# the user's own\n");

    EXPECT_EQ(OpenProgramFolder(Installed()).problem, "");
    EXPECT_EQ(Entries(own + "/模板"),
              std::set<std::string>{"劳动合同.docx"});  // a deleted sample stays deleted
    EXPECT_EQ(ReadText(own + "/数据/mine.xls"), "mine");
    EXPECT_EQ(Scalar(own + "/Quillmerge.mdb", "select ExcelPath from Init"), "/books/");
    EXPECT_EQ(LinkTarget(own + "/帮助及教程"), shared + "/帮助及教程");  // pointed at this install again
    EXPECT_EQ(ReadText(own + "/vbs/closeword.sh"), "#!/bin/sh\n# the user's own\n");
    EXPECT_EQ(Entries(own).size(), 6u);  // no hidden leftovers

    // A folder deleted as a whole comes back with its samples.
    fs::remove_all(P(own + "/模板"));
    EXPECT_EQ(OpenProgramFolder(Installed()).problem, "");
    EXPECT_EQ(Entries(own + "/模板"), (std::set<std::string>{"劳动合同.doc", "劳动合同.docx"}));
}

TEST_F(ProgramFolder, AUserFolderThatCannotBeMadeFallsBackToTheShippedFiles) {
    Install();
    WriteText(own, "a file where the folder should be");
    const std::set<std::string> shippedBefore = Entries(shared);

    const ProgramFolders folders = OpenProgramFolder(Installed());
    EXPECT_EQ(folders.folder, shared);
    EXPECT_FALSE(folders.perUser);
    EXPECT_NE(folders.problem.find(own), std::string::npos);
    EXPECT_EQ(ReadText(own), "a file where the folder should be");
    EXPECT_EQ(Entries(shared), shippedBefore);

    // Without a home the same: the shipped folder, never written.
    EXPECT_EQ(OpenProgramFolder({bin, "", ""}).folder, shared);
    EXPECT_EQ(Entries(shared), shippedBefore);
}

TEST_F(ProgramFolder, AReadOnlyCopyWithTheStoreServesAsTheShippedFiles) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const std::string program = root / "opt/quillmerge";
    fs::create_directories(P(program + "/模板"));
    Sql(program + "/Quillmerge.mdb", "CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT)");
    WriteText(program + "/模板/工资条.doc", "doc");
    fs::permissions(P(program), fs::perms::owner_read | fs::perms::owner_exec);

    const ProgramFolders folders = OpenProgramFolder({program, root / "data", root / "home"});
    fs::permissions(P(program), fs::perms::owner_all);
    EXPECT_EQ(folders.folder, own);
    EXPECT_EQ(folders.shared, program);
    EXPECT_EQ(folders.problem, "");
    EXPECT_EQ(Entries(own + "/模板"), std::set<std::string>{"工资条.doc"});
    EXPECT_TRUE(Entries(own + "/数据").empty());  // nothing shipped there: an empty folder
}

}  // namespace
}  // namespace qm
