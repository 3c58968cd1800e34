// Save runs that name their files from a column or write one PDF of every document, over real
// workbooks and the in-memory office; the names are checked on disk.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "merge/merge_run.h"
#include "merge/output_names.h"
#include "merge/program_state.h"
#include "tests/support/fake_office.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/sheet_titles.h"
#include "word/word_host.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::BookmarkTexts;
using test::FakeBookmarkText;

const std::string kFixtures = QM_MERGE_FIXTURES;

// Stops the run before document `after` + 1.
class StoppingUi : public test::RecordingRunUi {
  public:
    int after = -1;
    int asked = 0;
    bool stopRequested() override { return after >= 0 && asked++ >= after; }
};

class OutputRunTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qm-run-outputs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        auto office = std::make_unique<test::FakeOffice>();
        office_ = office.get();
        host_ = std::make_unique<word::WordHost>(std::move(office), dir_);
        state_.outputFolder = dir_ + "/out/";
        ASSERT_TRUE(MakeDirectory(state_.outputFolder));
        state_.referenceName = "合同";
        request_.sheetName = "Sheet1$";
    }
    void TearDown() override {
        host_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void UseWorkbook(const std::string& name) {
        state_.sheetConnection = data::BuildConnectionString(data::ExcelWorkbook, {}, kFixtures + "/" + name);
    }
    // A template of the in-memory office whose bookmarks hold "[name]".
    void UseTemplate(const std::vector<std::string>& bookmarks) {
        BookmarkTexts texts;
        for (const std::string& b : bookmarks) texts.emplace_back(b, "[" + b + "]");
        request_.templatePath = dir_ + "/template.dot";
        ASSERT_TRUE(test::WriteFakeTemplate(request_.templatePath, texts));
        ASSERT_FALSE(host_->OpenTemplate(request_.templatePath).empty());
        state_.templateBookmarks = host_->ListBookmarks();
        ASSERT_TRUE(test::LoadTitlesAndMatch(state_, "Sheet1$"));
    }
    RunOutcome Run(int start, int end, test::RecordingRunUi& ui) {
        request_.start = start;
        request_.end = end;
        return RunMerge(state_, *host_, ui, request_);
    }
    std::vector<std::string> OnDisk() const { return ListFiles(state_.outputFolder, ""); }
    // Everything in the output folder, hidden entries and folders too.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(state_.outputFolder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Holds(const std::string& file, const char* bookmark) const {
        BookmarkTexts texts;
        EXPECT_TRUE(test::ReadFakeDocument(state_.outputFolder + file, texts)) << file;
        return FakeBookmarkText(texts, bookmark);
    }

    std::string dir_;
    ProgramState state_;
    test::FakeOffice* office_ = nullptr;
    std::unique_ptr<word::WordHost> host_;
    test::RecordingRunUi ui_;
    RunRequest request_;
};

TEST_F(OutputRunTest, FilesAreNamedFromTheColumnAsPlannedAndNoneIsOverwritten) {
    UseWorkbook("names.xls");
    UseTemplate({"Name", "名字"});
    request_.nameColumn = "名字";
    const NamePlan plan = PlanFileNames(state_, request_, "合同");
    const RunOutcome outcome = Run(1, 0, ui_);

    EXPECT_EQ(outcome.documentsMade, 15);
    ASSERT_EQ(outcome.files.size(), 15u);
    for (std::size_t i = 0; i < plan.names.size(); ++i)
        EXPECT_EQ(outcome.files[i], state_.outputFolder + plan.names[i]);
    std::vector<std::string> expected = plan.names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(OnDisk(), expected);  // fifteen rows, fifteen files
    // Each file holds the row it is named after.
    EXPECT_EQ(Holds("合同_张三.doc", "Name"), "Row 1");
    EXPECT_EQ(Holds("合同_张三(2).doc", "Name"), "Row 3");
    EXPECT_EQ(Holds("合同_张三(3).doc", "Name"), "Row 9");
    EXPECT_EQ(Holds("合同4.doc", "Name"), "Row 4");
    EXPECT_EQ(Holds("合同_a_b_c_d_e_f.doc", "名字"), "a/b\\c:d*e?f");  // the value itself is untouched
    EXPECT_EQ(Holds("合同_TOM(2).doc", "Name"), "Row 13");
    EXPECT_EQ(Holds(plan.names[5], "Name"), "Row 6");
    for (const std::string& name : OnDisk()) EXPECT_LE(name.size(), kMaxFileNameBytes);
    EXPECT_EQ(ui_.texts().back(), "完成！是否打开存放文档所在文件夹？");
}

TEST_F(OutputRunTest, MultiRowDocumentsAreNamedAfterTheirFirstRow) {
    UseWorkbook("names.xls");
    state_.multiRowMode = true;
    UseTemplate({"Name_1", "Name_2", "名字_1"});
    request_.nameColumn = "名字";
    request_.extension = ".odt";
    request_.start = 1;
    request_.end = 6;
    const NamePlan plan = PlanFileNames(state_, request_, "合同");
    const RunOutcome outcome = Run(1, 6, ui_);
    EXPECT_EQ(plan.names,
              (std::vector<std::string>{"合同_张三.odt", "合同_张三(2).odt", "合同_a_b_c_d_e_f.odt"}));
    ASSERT_EQ(outcome.files.size(), 3u);
    EXPECT_EQ(outcome.files[1], state_.outputFolder + "合同_张三(2).odt");
    EXPECT_EQ(Holds("合同_张三(2).odt", "Name_1"), "Row 3");
    EXPECT_EQ(Holds("合同_张三(2).odt", "Name_2"), "Row 4");
}

TEST_F(OutputRunTest, AColumnGoneFromTheSheetNumbersTheFiles) {
    UseWorkbook("rows.xls");
    UseTemplate({"Name"});
    request_.nameColumn = "Gone";
    Run(2, 3, ui_);
    EXPECT_EQ(OnDisk(), (std::vector<std::string>{"合同2.doc", "合同3.doc"}));
}

TEST_F(OutputRunTest, PrintRunsIgnoreTheNaming) {
    UseWorkbook("rows.xls");
    UseTemplate({"Name"});
    request_.nameColumn = "Name";
    request_.singleFile = true;
    request_.kind = OutputKind::Print;
    request_.start = 1;
    request_.end = 2;
    const RunOutcome outcome = RunMerge(state_, *host_, ui_, request_);
    EXPECT_EQ(office_->printJobs().size(), 2u);
    EXPECT_FALSE(outcome.singleFileFailed);
    EXPECT_TRUE(Entries().empty());
}

// The in-memory office writes no PDF, so joining its parts fails: the run must say so and leave
// the earlier file of the name as it was, and no part behind.
TEST_F(OutputRunTest, OnePdfThatCannotBeJoinedLeavesTheEarlierFile) {
    UseWorkbook("rows.xls");
    UseTemplate({"Name", "Age"});
    request_.extension = ".pdf";
    request_.singleFile = true;
    ASSERT_TRUE(test::WriteFakeTemplate(state_.outputFolder + "合同.pdf", {{"earlier", "file"}}));
    const RunOutcome outcome = Run(1, 3, ui_);

    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_TRUE(outcome.singleFileFailed);
    EXPECT_TRUE(outcome.files.empty());
    EXPECT_EQ(Entries(), std::vector<std::string>{"合同.pdf"});
    EXPECT_EQ(Holds("合同.pdf", "earlier"), "file");
    ASSERT_FALSE(ui_.messages.empty());
    const std::string& text = ui_.messages.back().text;
    EXPECT_TRUE(text.starts_with("未能生成合并的PDF文件“合同.pdf”，原有的同名文件保持不变。")) << text;
    EXPECT_NE(text.find("合并时出错"), std::string::npos) << text;
    EXPECT_EQ(ui_.messages.back().icon, MessageIcon::Warning);
}

TEST_F(OutputRunTest, OnePdfIsNotWrittenWhenARunStopsOrADocumentFails) {
    UseWorkbook("rows.xls");
    UseTemplate({"Name"});
    request_.extension = ".pdf";
    request_.singleFile = true;

    StoppingUi stopping;
    stopping.after = 2;
    const RunOutcome stopped = Run(1, 5, stopping);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.documentsMade, 2);
    EXPECT_TRUE(stopped.singleFileFailed);
    EXPECT_TRUE(Entries().empty());
    EXPECT_NE(stopping.messages.back().text.find("已按要求停止"), std::string::npos);

    office_->failSaves([](std::string_view path) { return path.ends_with("000002.pdf"); });
    const RunOutcome failed = Run(1, 3, ui_);
    EXPECT_EQ(failed.failedNumbers, std::vector<int>{2});
    EXPECT_TRUE(failed.singleFileFailed);
    EXPECT_TRUE(Entries().empty());
    EXPECT_NE(ui_.messages.back().text.find("编号为 2 的文档未能生成"), std::string::npos);
}

TEST_F(OutputRunTest, OnePdfWithoutRoomForItsPartsMakesNothing) {
    UseWorkbook("rows.xls");
    UseTemplate({"Name"});
    request_.extension = ".pdf";
    request_.singleFile = true;
    state_.outputFolder = dir_ + "/not-there/";
    const RunOutcome outcome = Run(1, 2, ui_);
    EXPECT_EQ(outcome.documentsMade, 0);
    EXPECT_TRUE(outcome.singleFileFailed);
    EXPECT_TRUE(office_->savedPaths().empty());
    EXPECT_NE(ui_.messages.back().text.find("the folder for its parts cannot be made"), std::string::npos);
}

}  // namespace
}  // namespace qm
