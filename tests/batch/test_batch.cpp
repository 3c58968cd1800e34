// quillmerge-batch on inputs it must refuse before the office starts, and its listings.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/batch/batch_runner.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = QM_MERGE_FIXTURES;

class BatchTest : public testing::Test {
  protected:
    std::vector<std::string> Entries() const { return test::EntryNames(dir_); }
    const test::TempFolder folder_{"batch"};
    const std::string dir_ = folder_.path();
};

TEST_F(BatchTest, HelpPrintsTheUsage) {
    const test::CommandResult r = test::RunBatch({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--workbook FILE --sheet NAME --template FILE"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

// A workbook or template that cannot be read is named with the reason, in one line.
TEST_F(BatchTest, UnreadableWorkbookSaysWhy) {
    std::ofstream(dir_ + "/text.xlsx") << "not a workbook";
    ASSERT_EQ(mkfifo((dir_ + "/pipe.xls").c_str(), 0600), 0);  // opened, it would wait for a writer
    const std::string tmpl = kFixtures + "/single.fodt";
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"--workbook", dir_ + "/text.xlsx", "--list-sheets"},
         "quillmerge-batch: cannot read the workbook " + dir_ +
             "/text.xlsx: not a workbook: the content is neither .xls, .xlsx, .ods nor .csv\n"},
        {{"--workbook", dir_ + "/none.xls", "--sheet", "S", "--template", tmpl, "--save", dir_ + "/o",
          "--name", "D"},
         "quillmerge-batch: cannot read the workbook " + dir_ + "/none.xls: the file does not exist\n"},
        {{"--workbook", dir_ + "/pipe.xls", "--list-sheets"},
         "quillmerge-batch: cannot read the workbook " + dir_ + "/pipe.xls: not a regular file\n"},
        {{"--workbook", dir_ + "/pipe.xls", "--sheet", "S", "--template", tmpl, "--save", dir_ + "/o",
          "--name", "D"},
         "quillmerge-batch: cannot read the workbook " + dir_ + "/pipe.xls: not a regular file\n"},
        {{"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1", "--template", tmpl, "--print",
          "--values", "formatted"},
         "quillmerge-batch: unknown --values formatted (raw or shown)\n"},
        // A template is named with its reason the same way.
        {{"--template", dir_ + "/pipe.xls", "--list-bookmarks"},
         "quillmerge-batch: cannot read the template " + dir_ + "/pipe.xls: not a regular file\n"},
        {{"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1", "--template", dir_, "--save",
          dir_ + "/o", "--name", "D"},
         "quillmerge-batch: cannot read the template " + dir_ + ": not a regular file\n"},
        {{"--template", dir_ + "/none.docx", "--list-bookmarks"},
         "quillmerge-batch: cannot read the template " + dir_ + "/none.docx: the file does not exist\n"},
    };
    for (const auto& c : cases) {
        const test::CommandResult r = test::RunBatch(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.line);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(dir_ + "/o"));
}

// A template whose structure contradicts itself is refused with the engine's reason, and is not
// handed to the office, which would repair it without a word.
TEST_F(BatchTest, DamagedTemplateIsRefusedWithTheReason) {
    const std::string damaged = dir_ + "/坏.docx";
    ASSERT_TRUE(
        test::CopyWithDamagedFirstEntry(std::string(QM_PROGRAM_DIR) + "/模板/劳动合同.docx", damaged));
    const std::string because = "the template " + damaged + " is damaged (damaged zip: ";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--template", damaged, "--list-bookmarks"},
          std::vector<std::string>{"--workbook", std::string(QM_PROGRAM_DIR) + "/数据/员工信息.xls",
                                   "--sheet", "员工", "--template", damaged, "--save", dir_ + "/o", "--name",
                                   "D"}}) {
        const test::CommandResult r = test::RunBatch(args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(because), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("save it again to repair it"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(test::FilesIn(dir_ + "/o").empty());
}

// A sheet with nothing below its titles (or a file of nothing but line ends) makes nothing, and
// says so as a failure; a workbook name that is not UTF-8 is refused by the listing as by a run.
TEST_F(BatchTest, NoRowsAndNamesThatAreNotTextAreFailures) {
    const std::string tmpl = kFixtures + "/single.fodt";
    std::ofstream(dir_ + "/titles.csv") << "Name,Age\r\n";
    std::ofstream(dir_ + "/returns.csv") << "\r\r\r\r";
    for (const std::string stem : {"titles", "returns"}) {
        SCOPED_TRACE(stem);
        const test::CommandResult r =
            test::RunBatch({"--workbook", dir_ + "/" + stem + ".csv", "--sheet", stem, "--template", tmpl,
                            "--save", dir_ + "/o", "--name", "D"});
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("has no rows below its title row; nothing was made"), std::string::npos)
            << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ + "/o"));

    const std::string latin1 = dir_ + "/caf\xE9.csv";
    std::ofstream(latin1) << "Name\r\nA\r\n";
    const test::CommandResult listed = test::RunBatch({"--workbook", latin1, "--list-sheets"});
    EXPECT_EQ(listed.status, 2);
    EXPECT_EQ(listed.out, "");
    EXPECT_NE(listed.err.find("is not valid UTF-8 text"), std::string::npos) << listed.err;
}

TEST_F(BatchTest, ListSheetsPrintsTheTableNames) {
    const test::CommandResult r = test::RunBatch({"--workbook", kFixtures + "/rows.xls", "--list-sheets"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Sheet1$\n'My Sheet$'\n");
    EXPECT_EQ(r.err, "");
}

// Each bad input gives one line on standard error that names the problem, a non-zero exit
// status, nothing on standard output and nothing written.
TEST_F(BatchTest, BadInputIsRefusedWithOneLine) {
    const std::string book = kFixtures + "/rows.xls";
    const std::string tmpl = kFixtures + "/single.fodt";
    const std::string out = dir_ + "/out";
    std::ofstream(dir_ + "/text.xls") << "not a workbook";
    std::ofstream(dir_ + "/afile") << "x";
    const std::vector<std::string> save = {"--save", out, "--name", "D"};
    auto with = [&](std::vector<std::string> args, bool addSave = true) {
        if (addSave) args.insert(args.end(), save.begin(), save.end());
        return args;
    };
    const struct {
        std::vector<std::string> args;
        std::string mentions;
    } cases[] = {
        {with({"--workbook", dir_ + "/none.xls", "--sheet", "Sheet1", "--template", tmpl}), "none.xls"},
        {with({"--workbook", dir_ + "/text.xls", "--sheet", "Sheet1", "--template", tmpl}), "text.xls"},
        {with({"--workbook", book, "--sheet", "Sheet9", "--template", tmpl}), "Sheet9"},
        {with({"--workbook", book, "--sheet", "sheet1", "--template", tmpl}), "sheet1"},
        // A plain sheet name is accepted: the complaint is about the template.
        {with({"--workbook", book, "--sheet", "My Sheet", "--template", dir_ + "/none.doc"}), "none.doc"},
        {with({"--workbook", book, "--sheet", "'My Sheet$'", "--template", dir_ + "/none.doc"}), "none.doc"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--from", "1x"}), "1x"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--to", "2.5"}), "2.5"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--to", ""}), "--to"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--from", "5", "--to", "3"}),
         "--to 3 is before --from 5"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--colour"}), "--colour"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--format", "rtf"}), "rtf"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--print"}), "--print"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl}, false), "--save"},
        {{"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--print", "--format", "pdf"},
         "--format"},
        {{"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--save", out}, "--name"},
        {{"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--save", dir_ + "/afile/sub",
          "--name", "D"},
         "afile/sub"},
        {with({"--sheet", "Sheet1", "--template", tmpl}), "--workbook"},
        {{}, "--help"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template"}, false), "--template"},
        {{"--list-sheets"}, "--workbook"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--office-workers", "0"}),
         "--office-workers takes a whole number from 1 to 64"},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--office-workers", "2x"}),
         "\"2x\""},
        {with({"--workbook", book, "--sheet", "Sheet1", "--template", tmpl, "--office-workers", "2",
               "--no-office"}),
         "--office-workers does not go with --no-office"},
        {{"--workbook", dir_ + "/none.xls", "--list-sheets"}, "none.xls"},
        {{"--template", dir_ + "/none.doc", "--list-bookmarks"}, "none.doc"},
    };
    const std::vector<std::string> before = Entries();
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += a + " ";
        SCOPED_TRACE(shown);
        const test::CommandResult r = test::RunBatch(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // exactly one line
        EXPECT_EQ(r.err.rfind("quillmerge-batch: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_EQ(Entries(), before);
    }
}

// A range that starts after the last row makes nothing, as a filter that passes no row does:
// the same status, a line that says why, and no folder made.
TEST_F(BatchTest, RangePastTheLastRowMakesNothingAndSaysWhy) {
    const std::string out = dir_ + "/out";
    const test::CommandResult r =
        test::RunBatch({"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1", "--template",
                        kFixtures + "/single.fodt", "--from", "11", "--save", out, "--name", "D"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(
        r.err,
        "quillmerge-batch: the sheet Sheet1 has 10 rows, the range starts at row 11; nothing was made\n");
    EXPECT_FALSE(fs::exists(out));
    const test::CommandResult filtered = test::RunBatch(
        {"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1", "--template", kFixtures + "/single.fodt",
         "--where", "Name~Person", "--from", "11", "--save", out, "--name", "D"});
    EXPECT_EQ(filtered.status, 2);
    EXPECT_NE(filtered.err.find("has 10 rows that pass"), std::string::npos) << filtered.err;
}

// Sheet names: printed one a line whatever they hold, an exact sheet name wins over a table
// name, and the printed (escaped) form is taken back. A range past the last row tells which
// sheet was taken by its row count, without starting the office.
TEST_F(BatchTest, SheetNamesArePrintedEscapedAndAnExactNameWins) {
    const std::string book = kFixtures + "/sheets.xls";
    const test::CommandResult list = test::RunBatch({"--workbook", book, "--list-sheets"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "A$\n'A$$'\n'Line\\nBreak$'\n");
    auto rows = [&](const std::string& sheet) {
        const test::CommandResult r =
            test::RunBatch({"--workbook", book, "--sheet", sheet, "--template", kFixtures + "/single.fodt",
                            "--from", "99", "--save", dir_ + "/out", "--name", "D"});
        EXPECT_EQ(r.status, 2) << sheet << ": " << r.err;
        return r.err;
    };
    EXPECT_EQ(rows("A"),
              "quillmerge-batch: the sheet A has 2 rows, the range starts at row 99; nothing was made\n");
    // "A$" is both the sheet A$ and the table name of sheet A: the sheet's own name wins.
    EXPECT_EQ(rows("A$"),
              "quillmerge-batch: the sheet A$ has 3 rows, the range starts at row 99; nothing was made\n");
    EXPECT_EQ(rows("'A$$'"),
              "quillmerge-batch: the sheet A$ has 3 rows, the range starts at row 99; nothing was made\n");
    EXPECT_EQ(rows("'Line\\nBreak$'"),
              "quillmerge-batch: the sheet Line\\nBreak has 4 rows, the range starts at row 99; nothing was "
              "made\n");
    EXPECT_EQ(rows("Line\nBreak"),
              "quillmerge-batch: the sheet Line\\nBreak has 4 rows, the range starts at row 99; nothing was "
              "made\n");
    EXPECT_FALSE(fs::exists(dir_ + "/out"));
}

// Rows below 1, numbers too large for a row, and names that are not UTF-8 are refused by name
// before anything is written.
TEST_F(BatchTest, RowsAndNamesAreCheckedBeforeAnythingIsWritten) {
    const std::string book = kFixtures + "/rows.xls";
    const std::string tmpl = kFixtures + "/single.fodt";
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--from", "-3"}, "--from -3 is not a row: rows count from 1"},
        {{"--from", "0"}, "--from 0 is not a row: rows count from 1"},
        {{"--to", "-1"}, "--to -1 is not a row: rows count from 1"},
        {{"--to", "99999999999"}, "--to 99999999999 is out of range (rows go up to 2147483647)"},
        {{"--from", "3000000000"}, "--from 3000000000 is out of range"},
        {{"--from", "12ab"}, "--from is not a whole number: \"12ab\""},
        {{"--name", "D\xff"}, "--name is not valid UTF-8"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--workbook", book, "--sheet", "Sheet1",
                                         "--template", tmpl, "--save",  dir_ + "/out"};
        if (std::find(c.args.begin(), c.args.end(), "--name") == c.args.end()) {
            args.push_back("--name");
            args.push_back("D");
        }
        args.insert(args.end(), c.args.begin(), c.args.end());
        const test::CommandResult r = test::RunBatch(args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    const test::CommandResult folder = test::RunBatch({"--workbook", book, "--sheet", "Sheet1", "--template",
                                                       tmpl, "--save", dir_ + "/bad\xfe", "--name", "D"});
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.err.find("--save is not valid UTF-8"), std::string::npos) << folder.err;
    EXPECT_EQ(Entries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace qm
