// quillmerge-batch over templates whose bookmarks overlap, lie inside others or are form text
// fields of a maximum length: what --list-bookmarks says of them, with and without a sheet, and
// what a run says on standard error. The engine fills these templates, so no office is needed.

#include <gtest/gtest.h>

#include "tests/batch/batch_runner.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_docx.h"

namespace qm {
namespace {

const std::string kFilledBy =
    "filled by: this program, without the office (the office only converts to PDF or ODT, and prints)\n";

class BatchBookmarksTest : public testing::Test {
  protected:
    // A template of the bookmarks every test here has, as `name`.docx.
    std::string Template(const test::TestDocx& docx, const std::string& name = "t") {
        const std::string path = dir_ + "/" + name + ".docx";
        EXPECT_TRUE(docx.Write(path));
        return path;
    }
    std::string Sheet(const std::string& name, const std::string& csv) {
        const std::string path = dir_ + "/" + name + ".csv";
        EXPECT_TRUE(test::WriteText(path, csv));
        return path;
    }
    const test::TempFolder folder_{"batch-bookmarks"};
    const std::string dir_ = folder_.path();
};

test::TestDocx Mixed() {
    return test::TestDocx().Overlapping("A", "Z").Nested("Outer", "Inner").FormText("Code", 3);
}

TEST_F(BatchBookmarksTest, ListBookmarksSaysWhatDependsOnTheColumns) {
    const test::CommandResult r =
        test::RunBatch({"--template", Template(Mixed().Plain("Name")), "--list-bookmarks", "--no-office"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "A\nZ\nOuter\nInner\nCode\nName\n\n" + kFilledBy +
                  "  A: filled as text; overlaps bookmark Z (where a run fills Z first, A takes what remains "
                  "of its range)\n"
                  "  Z: filled as text; overlaps bookmark A (where a run fills A first, Z takes what remains "
                  "of its range)\n"
                  "  Outer: filled as text\n"
                  "  Inner: filled as text; lies inside bookmark Outer (left empty where a run fills Outer "
                  "too)\n"
                  "  Code: filled as text; a form text field of at most 3 characters (a longer value is "
                  "written whole)\n"
                  "  Name: filled as text\n");
}

// The sheet's columns, in their order, decide: the same template says other things for a sheet
// that names its columns the other way round, or only some of them.
TEST_F(BatchBookmarksTest, ListBookmarksWithASheetSaysWhatItsRunDoes) {
    const std::string tmpl = Template(Mixed());
    const test::CommandResult all =
        test::RunBatch({"--template", tmpl, "--workbook", Sheet("all", "Z,Code,A,Inner,Outer\nz,1,a,i,o\n"),
                        "--sheet", "all", "--list-bookmarks", "--no-office"});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, "A\nZ\nOuter\nInner\nCode\n\n" + kFilledBy +
                           "sheet: all (single-row)\n"
                           "  A: filled with what remains after Z, which this sheet fills first\n"
                           "  Z: filled as text\n"
                           "  Outer: filled as text\n"
                           "  Inner: left empty: lies inside Outer, which this sheet fills\n"
                           "  Code: filled as text; a form text field of at most 3 characters (a longer "
                           "value is written whole)\n");

    const test::CommandResult some =
        test::RunBatch({"--template", tmpl, "--workbook", Sheet("some", "A,Inner,Z\na,i,z\n"), "--sheet",
                        "some", "--list-bookmarks", "--no-office"});
    EXPECT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(some.out, "A\nZ\nOuter\nInner\nCode\n\n" + kFilledBy +
                            "sheet: some (single-row)\n"
                            "  A: filled as text\n"
                            "  Z: filled with what remains after A, which this sheet fills first\n"
                            "  Outer: not filled: no column of this sheet names it\n"
                            "  Inner: filled as text\n"
                            "  Code: not filled: no column of this sheet names it\n");

    // Slots as a multi-row run reaches them: the gap after slot 2 ends them.
    const test::CommandResult multi = test::RunBatch(
        {"--template",
         Template(test::TestDocx().Overlapping("A_1", "Z_1").Plain("A_2").Plain("A_4"), "slots"),
         "--workbook", Sheet("rows", "Z,A\nz,a\n"), "--sheet", "rows", "--multi-row", "--list-bookmarks",
         "--no-office"});
    EXPECT_EQ(multi.status, 0) << multi.err;
    EXPECT_EQ(multi.out, "A_1\nZ_1\nA_2\nA_4\n\n" + kFilledBy +
                             "sheet: rows (multi-row)\n"
                             "  A_1: filled with what remains after Z_1, which this sheet fills first\n"
                             "  Z_1: filled as text\n"
                             "  A_2: filled as text\n"
                             "  A_4: not filled: no column of this sheet names it\n");
}

TEST_F(BatchBookmarksTest, ListBookmarksWithASheetThatIsNotThereIsRefused) {
    const std::string tmpl = Template(Mixed());
    const std::string book = Sheet("book", "A\na\n");
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"--template", tmpl, "--sheet", "book", "--list-bookmarks"},
         "quillmerge-batch: --list-bookmarks with --sheet needs --workbook FILE\n"},
        {{"--template", tmpl, "--workbook", book, "--sheet", "other", "--list-bookmarks"},
         "quillmerge-batch: the workbook " + book + " has no sheet other\n"},
    };
    for (const auto& c : cases) {
        const test::CommandResult r = test::RunBatch(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.line);
        EXPECT_EQ(r.out, "");
    }
}

// Each bookmark a run filled with something to know is named once, with its rows (its documents
// in multi-row mode), after the bookmarks left as in the template.
TEST_F(BatchBookmarksTest, ARunNamesItsNotesOnceWithTheirRows) {
    const std::string out = dir_ + "/out";
    const test::CommandResult r = test::RunBatch(
        {"--template", Template(Mixed()), "--workbook",
         Sheet("all", "Z,Code,A,Inner,Outer\nz1,12,a1,i1,o1\nz2,12345,a2,i2,o2\nz3,1,a3,i3,o3\n"), "--sheet",
         "all", "--save", out, "--name", "D", "--no-office"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.err,
        "quillmerge-batch: bookmark Inner left as in the template (rows 1-3): lies inside bookmark Outer, "
        "whose value replaces it\n"
        "quillmerge-batch: bookmark A overlaps bookmark Z, filled first (rows 1-3): A took what remained "
        "of its range\n"
        "quillmerge-batch: bookmark Code is a form text field of at most 3 characters (rows 2): the "
        "longer value was written whole\n");
    EXPECT_EQ(test::FilesIn(out).size(), 3u);

    const test::CommandResult multi = test::RunBatch(
        {"--template", Template(test::TestDocx().Overlapping("A_1", "Z_1").Plain("A_2"), "slots"),
         "--workbook", Sheet("rows", "Z,A\nz1,a1\nz2,a2\nz3,a3\n"), "--sheet", "rows", "--multi-row",
         "--save", out, "--name", "M", "--no-office"});
    EXPECT_EQ(multi.status, 0) << multi.err;
    EXPECT_EQ(multi.err,
              "quillmerge-batch: bookmark A_1 overlaps bookmark Z_1, filled first (documents 1-2): A_1 took "
              "what remained of its range\n");
}

}  // namespace
}  // namespace qm
