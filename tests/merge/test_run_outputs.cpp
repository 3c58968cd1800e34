// Save runs that name their files from a column or write one PDF of every document, over real
// workbooks and the in-memory office; the names are checked on disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "merge/merge_run.h"
#include "merge/output_names.h"
#include "merge/program_state.h"
#include "merge/run_plan.h"
#include "tests/support/fake_office.h"
#include "tests/support/files.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/sheet_titles.h"
#include "tests/support/temp_folder.h"
#include "word/word_host.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class StoppingUi : public test::RecordingRunUi {
  public:
    int documents = 0;  // stop before the document after these
    bool stopRequested() override { return documents-- <= 0; }
};

class OutputRunTest : public testing::Test {
  protected:
    void SetUp() override {
        auto office = std::make_unique<test::FakeOffice>();
        office_ = office.get();
        host_ = std::make_unique<word::WordHost>(std::move(office), dir_);
        state_.outputFolder = dir_ + "/out/";
        ASSERT_TRUE(MakeDirectory(state_.outputFolder));
        state_.referenceName = "合同";
        request_.sheetName = "Sheet1$";
    }
    void TearDown() override { host_.reset(); }
    // The workbook and a template of the in-memory office, as the window chooses them.
    void Use(const char* workbook, const test::BookmarkTexts& bookmarks) {
        state_.workbookPath = std::string(QM_MERGE_FIXTURES) + "/" + workbook;
        request_.templatePath = dir_ + "/template.dot";
        ASSERT_TRUE(test::WriteFakeTemplate(request_.templatePath, bookmarks));
        ASSERT_FALSE(host_->OpenTemplate(request_.templatePath).empty());
        state_.templateBookmarks = SplitList(host_->ListBookmarks());
        ASSERT_TRUE(test::LoadTitlesAndMatch(state_, "Sheet1$"));
    }
    RunOutcome Run(int start, int end, test::RecordingRunUi& ui) {
        request_.start = start;
        request_.end = end;
        return test::RunMerge(state_, *host_, ui, request_);
    }
    // Everything in the output folder, hidden entries and folders too.
    std::vector<std::string> Entries() const { return test::EntryNames(state_.outputFolder); }
    std::string Holds(const std::string& file, const char* bookmark) const {
        test::BookmarkTexts texts;
        EXPECT_TRUE(test::ReadFakeDocument(state_.outputFolder + file, texts)) << file;
        return test::FakeBookmarkText(texts, bookmark);
    }

    const test::TempFolder folder_{"run-outputs"};
    const std::string dir_ = folder_.path();
    ProgramState state_;
    test::FakeOffice* office_ = nullptr;
    std::unique_ptr<word::WordHost> host_;
    test::RecordingRunUi ui_;
    RunRequest request_;
};

TEST_F(OutputRunTest, FilesAreNamedAsPlannedAndNoneIsOverwritten) {
    Use("names.xls", {{"Name", ""}, {"名字", ""}});
    request_.nameColumn = "名字";
    RunPlanner planner(state_.workbooks, *host_);
    RunChoice choice;
    choice.workbookPath = state_.workbookPath;
    choice.table = "Sheet1$";
    choice.templatePath = request_.templatePath;
    ASSERT_FALSE(planner.Open(choice));
    const NamePlan plan = planner.FileNames("名字", "合同", ".doc");
    const RunOutcome outcome = Run(1, 0, ui_);

    ASSERT_EQ(outcome.files.size(), 15u);
    for (std::size_t i = 0; i < plan.names.size(); ++i)
        EXPECT_EQ(outcome.files[i], state_.outputFolder + plan.names[i]);
    std::vector<std::string> sorted = plan.names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(Entries(), sorted);  // fifteen rows, fifteen files
    EXPECT_EQ(Holds("合同_张三(2).doc", "Name"), "Row 3");
    EXPECT_EQ(Holds("合同4.doc", "Name"), "Row 4");
    EXPECT_EQ(Holds("合同_a_b_c_d_e_f.doc", "名字"), "a/b\\c:d*e?f");  // the value itself is untouched
    EXPECT_EQ(Holds(plan.names[5], "Name"), "Row 6");                  // the one cut short

    // In multi-row mode each document is named after its first row.
    state_.multiRowMode = true;
    Use("names.xls", {{"Name_1", ""}, {"Name_2", ""}});
    request_.extension = ".odt";
    Run(1, 4, ui_);
    EXPECT_EQ(Holds("合同_张三(2).odt", "Name_1"), "Row 3");
    EXPECT_EQ(Holds("合同_张三(2).odt", "Name_2"), "Row 4");
}

// The in-memory office writes no PDF, so its parts cannot be joined: the run must say so, leave
// the earlier file of the name as it was, and no part behind.
TEST_F(OutputRunTest, OnePdfThatCannotBeJoinedLeavesTheEarlierFile) {
    Use("rows.xls", {{"Name", ""}});
    request_.extension = ".pdf";
    request_.singleFile = true;
    ASSERT_TRUE(test::WriteFakeTemplate(state_.outputFolder + "合同.pdf", {{"earlier", "file"}}));
    const RunOutcome outcome = Run(1, 3, ui_);

    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_TRUE(outcome.singleFileFailed);
    EXPECT_TRUE(outcome.files.empty());
    EXPECT_EQ(Entries(), std::vector<std::string>{"合同.pdf"});
    EXPECT_EQ(Holds("合同.pdf", "earlier"), "file");
    const std::string& text = ui_.calls.back().text;
    EXPECT_TRUE(text.starts_with("未能生成合并的PDF文件“合同.pdf”，原有的同名文件保持不变。")) << text;
    EXPECT_NE(text.find("合并时出错"), std::string::npos) << text;
}

TEST_F(OutputRunTest, OnePdfIsNotWrittenWhenARunStopsOrADocumentFails) {
    Use("rows.xls", {{"Name", ""}});
    request_.extension = ".pdf";
    request_.singleFile = true;
    StoppingUi stopping;
    stopping.documents = 2;
    const RunOutcome stopped = Run(1, 5, stopping);
    EXPECT_EQ(stopped.documentsMade, 2);
    EXPECT_TRUE(stopped.singleFileFailed);
    EXPECT_NE(stopping.calls.back().text.find("已按要求停止"), std::string::npos);
    EXPECT_TRUE(Entries().empty());

    office_->failSaves([](std::string_view path) { return path.ends_with("000002.pdf"); });
    const RunOutcome failed = Run(1, 3, ui_);
    EXPECT_TRUE(failed.singleFileFailed);
    EXPECT_NE(ui_.calls.back().text.find("编号为 2 的文档未能生成"), std::string::npos);
    EXPECT_TRUE(Entries().empty());
}

// The engine fills the template itself: a bookmark it cannot fill and check box values that are
// no state leave those places as in the template, and the closing message names each bookmark
// once with its rows, after the documents were all made.
TEST_F(OutputRunTest, BookmarksLeftAsInTheTemplateAreNamedOnceWithTheirRows) {
    state_.workbookPath = std::string(QM_MERGE_FIXTURES) + "/states.xls";
    request_.templatePath = std::string(QM_MERGE_FIXTURES) + "/states.docx";
    request_.extension = ".docx";
    ASSERT_FALSE(host_->OpenTemplate(request_.templatePath).empty());
    EXPECT_EQ(host_->UnfillableBookmarks(),
              (std::map<std::string, std::string>{{"City", "inside a field result"}}));
    state_.templateBookmarks = SplitList(host_->ListBookmarks());
    ASSERT_TRUE(test::LoadTitlesAndMatch(state_, "Sheet1$"));
    test::RecordingRunUi ui;
    ui.answerNo();
    const RunOutcome outcome = Run(1, 4, ui);
    EXPECT_EQ(outcome.documentsMade, 4);
    EXPECT_FALSE(outcome.throughOffice);
    ASSERT_EQ(outcome.bookmarksLeft.size(), 2u);
    EXPECT_EQ(outcome.bookmarksLeft[0].name, "City");
    EXPECT_EQ(outcome.bookmarksLeft[0].where, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(outcome.bookmarksLeft[0].reason, "inside a field result");
    EXPECT_EQ(outcome.bookmarksLeft[1].name, "Agree");
    EXPECT_EQ(outcome.bookmarksLeft[1].where, (std::vector<int>{2, 4}));
    const std::string& text = ui.calls.back().text;
    EXPECT_TRUE(text.starts_with(
        "完成！已生成 4 个文档。\r\n书签“City”保持模板原样（行 1-4）：本程序无法填写（位于域结果之中）。\r\n"
        "书签“Agree”保持模板原样（行 2、4）：复选框只接受"))
        << text;
    EXPECT_TRUE(text.ends_with("。\r\n是否打开存放文档所在文件夹？")) << text;
    EXPECT_EQ(ui.calls.size(), 1u);
}

}  // namespace
}  // namespace qm
