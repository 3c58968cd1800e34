// Runs over templates whose bookmarks overlap, lie inside others or are form text fields of a
// maximum length: the engine's documents fill the bookmarks in column order, and what that makes
// of them is named once for each bookmark, with its rows, in the closing message.

#include <gtest/gtest.h>

#include "common/fs.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "tests/support/document_text.h"
#include "tests/support/fake_office.h"
#include "tests/support/files.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_docx.h"
#include "word/word_host.h"

namespace qm {
namespace {

using Cause = engine::Note::Cause;

class RunNotesTest : public testing::Test {
  protected:
    void SetUp() override {
        host_ = std::make_unique<word::WordHost>(std::make_unique<test::FakeOffice>(), dir_);
        state_.outputFolder = dir_ + "/out/";
        ASSERT_TRUE(MakeDirectory(state_.outputFolder));
        state_.referenceName = "D";
        request_.extension = ".docx";
    }
    // A run of every row of `csv` (its first line the titles) through `docx`. Each run has files
    // of its own names: the host keeps a template's reading while the file seems unchanged.
    RunOutcome Run(const test::TestDocx& docx, const std::string& csv, test::RecordingRunUi& ui) {
        const std::string stem = "s" + std::to_string(++runs_);
        state_.workbookPath = dir_ + "/" + stem + ".csv";
        request_.templatePath = dir_ + "/" + stem + ".docx";
        request_.sheetName = stem + "$";
        EXPECT_TRUE(test::WriteText(state_.workbookPath, csv));
        EXPECT_TRUE(docx.Write(request_.templatePath));
        ui.answerNo();
        return test::RunMerge(state_, *host_, ui, request_);
    }

    const test::TempFolder folder_{"run-notes"};
    const std::string dir_ = folder_.path();
    ProgramState state_;
    std::unique_ptr<word::WordHost> host_;
    RunRequest request_;
    int runs_ = 0;
};

struct ExpectedNote {
    std::string name, other;
    std::vector<int> where;
};

void ExpectOverlaps(const RunOutcome& outcome, const std::vector<ExpectedNote>& expected) {
    ASSERT_EQ(outcome.bookmarkNotes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(outcome.bookmarkNotes[i].name, expected[i].name);
        EXPECT_EQ(outcome.bookmarkNotes[i].cause, Cause::Overlap);
        EXPECT_EQ(outcome.bookmarkNotes[i].other, expected[i].other);
        EXPECT_EQ(outcome.bookmarkNotes[i].where, expected[i].where);
    }
}

// Of two overlapping bookmarks the one whose column comes later takes what remains of its range,
// in every mode: repeat copies column by column, multi-row slots slot by slot.
TEST_F(RunNotesTest, OverlappingBookmarksAreFilledInColumnOrderInEveryMode) {
    test::RecordingRunUi single, reversed, repeat, multi;
    ExpectOverlaps(Run(test::TestDocx().Overlapping("A", "Z"), "Z,A\nz1,a1\nz2,a2\n", single),
                   {{"A", "Z", {1, 2}}});
    ExpectOverlaps(Run(test::TestDocx().Overlapping("A", "Z"), "A,Z\na1,z1\na2,z2\n", reversed),
                   {{"Z", "A", {1, 2}}});

    state_.repeatMode = true;
    ExpectOverlaps(
        Run(test::TestDocx().Overlapping("A_c1", "Z_c1").Plain("A_c2"), "Z,A\nz1,a1\nz2,a2\n", repeat),
        {{"A_c1", "Z_c1", {1, 2}}});
    EXPECT_EQ(test::FlatText(state_.outputFolder + "D2.docx"), "a2z2a2");

    // Three rows make two documents; the second fills only its first slot.
    state_.repeatMode = false;
    state_.multiRowMode = true;
    const RunOutcome multiOutcome = Run(test::TestDocx().Overlapping("A_1", "Z_1").Overlapping("A_2", "Z_2"),
                                        "Z,A\nz1,a1\nz2,a2\nz3,a3\n", multi);
    ExpectOverlaps(multiOutcome, {{"A_1", "Z_1", {1, 2}}, {"A_2", "Z_2", {1}}});
    EXPECT_NE(multi.calls.back().text.find("（文档 1-2）"), std::string::npos) << multi.calls.back().text;
}

// Every note and every bookmark left is named once, with the rows it concerns; a value longer
// than its form field takes is still written whole.
TEST_F(RunNotesTest, NotesAreNamedOnceWithTheirRowsAfterTheBookmarksLeft) {
    test::RecordingRunUi ui;
    const RunOutcome outcome =
        Run(test::TestDocx().Overlapping("A", "Z").Nested("Outer", "Inner").FormText("Code", 3),
            "Z,Code,A,Inner,Outer\nz1,12,a1,i1,o1\nz2,12345,a2,i2,o2\nz3,1,a3,i3,o3\nz4,abcd,a4,i4,o4\n", ui);
    EXPECT_EQ(outcome.documentsMade, 4);
    ASSERT_EQ(outcome.bookmarksLeft.size(), 1u);
    EXPECT_EQ(outcome.bookmarksLeft[0].name, "Inner");
    ASSERT_EQ(outcome.bookmarkNotes.size(), 2u);
    EXPECT_EQ(outcome.bookmarkNotes[1].name, "Code");
    EXPECT_EQ(outcome.bookmarkNotes[1].cause, Cause::TooLong);
    EXPECT_EQ(outcome.bookmarkNotes[1].limit, 3u);
    EXPECT_EQ(outcome.bookmarkNotes[1].where, (std::vector<int>{2, 4}));
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_EQ(
        ui.calls[0].text,
        "完成！已生成 4 个文档。\r\n书签“Inner”保持模板原样（行 1-4）：位于书签“Outer”之内，由其值取代。\r\n"
        "书签“A”与书签“Z”重叠：先填入“Z”，“A”只填入其余部分（行 1-4）。\r\n"
        "书签“Code”是最多 3 个字符的文字型窗体域，值超出仍完整写入（行 2、4）。\r\n"
        "是否打开存放文档所在文件夹？");
    const std::string text = test::FlatText(state_.outputFolder + "D2.docx");
    EXPECT_NE(text.find("12345"), std::string::npos) << text;
}

}  // namespace
}  // namespace qm
