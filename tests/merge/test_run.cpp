// The merge runs over a real workbook and the in-memory office.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "merge/run_plan.h"
#include "tests/support/fake_office.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/sheet_titles.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"
#include "word/word_host.h"

namespace qm {
namespace {

using test::BookmarkTexts;
using test::FakeBookmarkText;

const std::string kFixtures = QM_MERGE_FIXTURES;
const std::string kNoBookmarkFilled = "当前Word模板没有与Excel数据表格标题相匹配的书签名称!";
// The closing message of a save run that made `documents` documents.
std::string SaveDone(int documents) {
    return "完成！已生成 " + std::to_string(documents) + " 个文档。是否打开存放文档所在文件夹？";
}
const std::string kPrintDone =
    "打印作业已经发送到打印机，根据您默认打印机的情况，可能需要手动选择命令才能真正完成打印（如用虚拟打印机打"
    "印到文档时）！";

class RunTest : public testing::Test {
  protected:
    void SetUp() override {
        auto office = std::make_unique<test::FakeOffice>();
        office_ = office.get();
        host_ = std::make_unique<word::WordHost>(std::move(office), dir_);
        state_.workbookPath = kFixtures + "/rows.xls";
        state_.outputFolder = dir_ + "/out/";
        ASSERT_TRUE(MakeDirectory(state_.outputFolder));
        state_.referenceName = "Doc";
        request_.sheetName = "Sheet1$";
    }
    void TearDown() override { host_.reset(); }

    // Chooses a template whose bookmarks hold "[name]", as the main window would: open it,
    // list its bookmarks, read the sheet's titles and match.
    void UseTemplate(const std::vector<std::string>& bookmarks) {
        BookmarkTexts texts;
        for (const std::string& b : bookmarks) texts.emplace_back(b, "[" + b + "]");
        request_.templatePath = dir_ + "/template.dot";
        ASSERT_TRUE(test::WriteFakeTemplate(request_.templatePath, texts));
        ASSERT_FALSE(host_->OpenTemplate(request_.templatePath).empty());
        state_.templateBookmarks = SplitList(host_->ListBookmarks());
        ASSERT_TRUE(test::LoadTitlesAndMatch(state_, "Sheet1$"));
    }

    RunOutcome Run(int start, int end, OutputKind kind = OutputKind::Save) {
        request_.start = start;
        request_.end = end;
        request_.kind = kind;
        return test::RunMerge(state_, *host_, ui_, request_);
    }

    std::string File(int n) const { return state_.outputFolder + "Doc" + IntToText(n) + ".doc"; }
    BookmarkTexts Saved(int n) const {
        BookmarkTexts texts;
        EXPECT_TRUE(test::ReadFakeDocument(File(n), texts)) << File(n);
        return texts;
    }
    std::vector<std::string> OutputFiles() const { return ListFiles(state_.outputFolder, ""); }
    std::vector<std::string> Names(std::initializer_list<int> numbers) const {
        std::vector<std::string> names;
        for (int n : numbers) names.push_back("Doc" + IntToText(n) + ".doc");
        std::sort(names.begin(), names.end());
        return names;
    }

    const test::TempFolder folder_{"merge-run"};
    const std::string dir_ = folder_.path();
    ProgramState state_;
    test::FakeOffice* office_ = nullptr;
    std::unique_ptr<word::WordHost> host_;
    test::RecordingRunUi ui_;
    RunRequest request_;
};

// ---- single-row mode ----

TEST_F(RunTest, SaveRunMakesOneFilePerRowNumberedByRow) {
    UseTemplate({"Name", "Age", "City", "Other"});
    const RunOutcome outcome = Run(3, 5);

    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_EQ(OutputFiles(), Names({3, 4, 5}));
    EXPECT_EQ(outcome.files, (std::vector<std::string>{File(3), File(4), File(5)}));
    for (int n : {3, 4, 5}) {
        const BookmarkTexts doc = Saved(n);
        EXPECT_EQ(FakeBookmarkText(doc, "Name"), "Person " + IntToText(n));
        EXPECT_EQ(FakeBookmarkText(doc, "Age"), IntToText(20 + n));
        EXPECT_EQ(FakeBookmarkText(doc, "City"), "城市" + IntToText(n));
        EXPECT_EQ(FakeBookmarkText(doc, "Other"), "[Other]");
    }
    EXPECT_EQ(state_.sheetQuery, "select Name,Age,City from [Sheet1$]");
    EXPECT_EQ(ui_.progressMaximum, 3);
    EXPECT_EQ(ui_.progressPositions, (std::vector<int>{0, 1, 2, 3}));
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_TRUE(ui_.calls[0].question);
    EXPECT_EQ(ui_.calls[0].text, SaveDone(3));
    EXPECT_EQ(ui_.calls[0].icon, MessageIcon::Question);
    EXPECT_TRUE(ui_.openedFolders.empty());
    // The office stays out of sight, with one fresh working document for the next run.
    EXPECT_FALSE(office_->visible());
    EXPECT_EQ(office_->openDocumentCount(), 1);
}

TEST_F(RunTest, YesOpensTheOutputFolder) {
    UseTemplate({"Name"});
    ui_.answerYes();
    Run(1, 1);
    EXPECT_EQ(ui_.openedFolders, (std::vector<std::string>{state_.outputFolder}));
}

TEST_F(RunTest, RangePastTheEndStopsAtTheLastRecord) {
    UseTemplate({"Name"});
    const RunOutcome outcome = Run(8, 20);
    EXPECT_EQ(OutputFiles(), Names({8, 9, 10}));
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{SaveDone(3)});
}

TEST_F(RunTest, StartPastTheEndDoesNothingAtAll) {
    UseTemplate({"Name"});
    const int created = office_->documentsCreated();
    const RunOutcome outcome = Run(11, 20);
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.documentsMade, 0);
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_TRUE(ui_.calls.empty());
    EXPECT_TRUE(ui_.progressPositions.empty());
    EXPECT_EQ(office_->documentsCreated(), created);
}

TEST_F(RunTest, ZeroToZeroTakesEveryRow) {
    UseTemplate({"Name"});
    Run(0, 0);
    EXPECT_EQ(OutputFiles(), Names({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(FakeBookmarkText(Saved(10), "Name"), "Person 10");
}

TEST_F(RunTest, RepeatModeFillsCopiesUntilTheFirstGap) {
    UseTemplate({"Name_c1", "Name_c2", "Name_c4", "City"});
    state_.repeatMode = true;
    Run(2, 2);
    const BookmarkTexts doc = Saved(2);
    EXPECT_EQ(FakeBookmarkText(doc, "Name_c1"), "Person 2");
    EXPECT_EQ(FakeBookmarkText(doc, "Name_c2"), "Person 2");
    EXPECT_EQ(FakeBookmarkText(doc, "Name_c4"), "[Name_c4]");
    EXPECT_EQ(FakeBookmarkText(doc, "City"), "[City]");  // the plain name is never written
}

TEST_F(RunTest, PrefixOnlyMatchEndsWithTheNoMatchMessage) {
    UseTemplate({"NameList"});
    ASSERT_EQ(state_.matchedTitles, std::vector<std::string>{"Name"});
    const RunOutcome outcome = Run(1, 3);
    EXPECT_TRUE(outcome.nothingMatched);
    EXPECT_EQ(outcome.documentsMade, 0);
    EXPECT_TRUE(OutputFiles().empty());
    // The reason alone: nothing was made, so no "完成" and no folder to open.
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_FALSE(ui_.calls[0].question);
    EXPECT_EQ(ui_.calls[0].text, kNoBookmarkFilled);
    EXPECT_EQ(ui_.calls[0].icon, MessageIcon::None);
}

TEST_F(RunTest, PrintRunSendsOneJobPerRow) {
    UseTemplate({"Name", "Age"});
    const RunOutcome outcome = Run(2, 4, OutputKind::Print);
    ASSERT_EQ(office_->printJobs().size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(FakeBookmarkText(office_->printJobs()[i].bookmarks, "Name"), "Person " + IntToText(i + 2));
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_TRUE(office_->savedPaths().empty());
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kPrintDone});
    EXPECT_EQ(office_->openDocumentCount(), 1);
}

TEST_F(RunTest, PrintRunStartingPastTheEndPrintsNothing) {
    UseTemplate({"Name"});
    Run(11, 12, OutputKind::Print);
    EXPECT_TRUE(office_->printJobs().empty());
    EXPECT_TRUE(ui_.calls.empty());
}

// ---- multi-row mode ----

class MultiRowTest : public RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        state_.multiRowMode = true;
    }
};

TEST_F(MultiRowTest, TwoSlotsFillTwoRowsPerDocumentNumberedByDocument) {
    UseTemplate({"Name_1", "Age_1", "Name_2", "Age_2"});
    const RunOutcome outcome = Run(1, 4);
    EXPECT_EQ(OutputFiles(), Names({1, 2}));
    EXPECT_EQ(outcome.documentsMade, 2);
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Name_1"), "Person 1");
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Age_2"), "22");
    EXPECT_EQ(FakeBookmarkText(Saved(2), "Name_1"), "Person 3");
    EXPECT_EQ(FakeBookmarkText(Saved(2), "Name_2"), "Person 4");
    EXPECT_EQ(ui_.progressPositions, (std::vector<int>{0, 1, 2}));  // documents done
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{SaveDone(2)});
    // The confirmation would have named exactly these files.
    const int slots =
        SlotsPerDocument(JoinList(state_.matchedTitles), JoinList(state_.templateBookmarks), false);
    EXPECT_EQ(MultiRowDocumentCount(1, 4, state_.recordCount, slots), 2);
}

TEST_F(MultiRowTest, LastDocumentKeepsUnfilledSlots) {
    UseTemplate({"Name_1", "Age_1", "Name_2", "Age_2"});
    Run(1, 3);
    EXPECT_EQ(OutputFiles(), Names({1, 2}));
    EXPECT_EQ(FakeBookmarkText(Saved(2), "Name_1"), "Person 3");
    EXPECT_EQ(FakeBookmarkText(Saved(2), "Name_2"), "[Name_2]");
    EXPECT_EQ(FakeBookmarkText(Saved(2), "Age_2"), "[Age_2]");
}

TEST_F(MultiRowTest, OneSlotMakesOneDocumentPerRowNumberedFromOne) {
    UseTemplate({"Name_1"});
    Run(4, 6);
    EXPECT_EQ(OutputFiles(), Names({1, 2, 3}));
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Name_1"), "Person 4");
    EXPECT_EQ(FakeBookmarkText(Saved(3), "Name_1"), "Person 6");
}

TEST_F(MultiRowTest, RangePastTheEndMakesOneDocument) {
    UseTemplate({"Name_1", "Name_2"});
    Run(9, 20);
    EXPECT_EQ(OutputFiles(), Names({1}));
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Name_1"), "Person 9");
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Name_2"), "Person 10");
    EXPECT_EQ(MultiRowDocumentCount(9, 20, state_.recordCount, 2), 1);
}

TEST_F(MultiRowTest, RepeatAndMultiRowTogether) {
    UseTemplate({"Name_1_c1", "Name_1_c2", "Name_2_c1"});
    state_.repeatMode = true;
    Run(1, 2);
    EXPECT_EQ(OutputFiles(), Names({1}));
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Name_1_c1"), "Person 1");
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Name_1_c2"), "Person 1");
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Name_2_c1"), "Person 2");
}

TEST_F(MultiRowTest, ASlotOfOneColumnStillPlacesTheRow) {
    UseTemplate({"Name_1", "Age_1", "Name_2", "Age_2", "Name_3"});
    Run(1, 4);
    EXPECT_EQ(OutputFiles(), Names({1, 2}));
    EXPECT_EQ(FakeBookmarkText(Saved(1), "Name_3"), "Person 3");
    EXPECT_EQ(FakeBookmarkText(Saved(2), "Name_1"), "Person 4");
    EXPECT_EQ(FakeBookmarkText(Saved(2), "Age_1"), "24");
}

TEST_F(MultiRowTest, PlainNamesWithoutSlotsFillNothing) {
    UseTemplate({"Name", "Age"});
    const RunOutcome outcome = Run(1, 4);
    EXPECT_TRUE(outcome.nothingMatched);
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kNoBookmarkFilled});
}

// ---- failures that must not pass as success ----

TEST_F(RunTest, FailedSaveIsReportedByNumber) {
    UseTemplate({"Name"});
    office_->failSaves([](std::string_view path) { return path.ends_with("-Doc4.doc"); });
    const RunOutcome outcome = Run(3, 6);
    EXPECT_EQ(OutputFiles(), Names({3, 5, 6}));
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_EQ(outcome.failedNumbers, std::vector<int>{4});
    EXPECT_FALSE(outcome.officeLost);
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_TRUE(ui_.calls[0].question);
    EXPECT_EQ(
        ui_.calls[0].text,
        "完成，但有文档未能生成：已生成 3 个，失败的编号：4。原因：Word程序未能保存或转换文档（编号 4）。"
        "是否打开存放文档所在文件夹？");
    EXPECT_EQ(ui_.calls[0].icon, MessageIcon::Warning);
    EXPECT_EQ(office_->openDocumentCount(), 1);  // the unsaved document was not left open
}

// A disk that fills up stops the run at the document that did not fit, and the summary names
// the rows that got no document.
TEST_F(RunTest, AFullDiskStopsTheRunAndNamesTheRowsNotMade) {
    test::SmallDisk disk(dir_ + "/disk");
    if (!disk.mounted()) GTEST_SKIP() << "a small file system cannot be mounted here";
    // Room for three documents of a page each.
    std::ofstream(disk.folder() + "/filler", std::ios::binary) << std::string(13 * 4096, 'x');
    state_.outputFolder = disk.folder() + "/";
    UseTemplate({"Name"});
    const RunOutcome outcome = Run(1, 10);
    EXPECT_TRUE(outcome.diskFull);
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_EQ(outcome.failedNumbers, std::vector<int>{4});
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_EQ(ui_.calls[0].text,
              "完成，但有文档未能生成：已生成 3 "
              "个，失败的编号：4。磁盘已满，其后的文档没有生成。没有文档的行：4-10。"
              "是否打开存放文档所在文件夹？");
    std::vector<std::string> names = ListFiles(disk.folder(), "");
    EXPECT_EQ(names, (std::vector<std::string>{"Doc1.doc", "Doc2.doc", "Doc3.doc", "filler"}));
}

TEST_F(RunTest, SaveThatWritesNoFileIsAFailure) {
    UseTemplate({"Name"});
    office_->dropSaves([](std::string_view path) { return !path.ends_with("-Doc1.doc"); });
    const RunOutcome outcome = Run(1, 3);
    EXPECT_EQ(outcome.documentsMade, 1);
    EXPECT_EQ(outcome.failedNumbers, (std::vector<int>{2, 3}));
    EXPECT_NE(ui_.calls.back().text.find("失败的编号：2、3。"), std::string::npos);
}

TEST_F(RunTest, OfficeDyingMidRunStopsTheRun) {
    UseTemplate({"Name", "Age", "City"});
    // The office dies once the fourth document is saved.
    ui_.onProgress = [this](int done) {
        if (done == 4) office_->kill();
    };
    const RunOutcome outcome = Run(1, 10);
    EXPECT_TRUE(outcome.officeLost);
    EXPECT_EQ(outcome.documentsMade, 4);
    EXPECT_TRUE(outcome.failedNumbers.empty());
    EXPECT_EQ(OutputFiles(), Names({1, 2, 3, 4}));
    EXPECT_EQ(office_->applicationsStarted(), 1);  // no new office started behind the user's back
    EXPECT_EQ(ui_.progressPositions.back(), 4);    // nothing after row 4
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_EQ(ui_.calls[0].text,
              "完成，但有文档未能生成：已生成 4 个。Word程序已停止运行，其后的文档没有生成。"
              "是否打开存放文档所在文件夹？");
}

TEST_F(MultiRowTest, OfficeDyingDuringASaveStopsTheRun) {
    UseTemplate({"Name_1", "Name_2"});
    office_->dieOnSave(2);
    const RunOutcome outcome = Run(1, 10);
    EXPECT_TRUE(outcome.officeLost);
    EXPECT_EQ(outcome.failedNumbers, std::vector<int>{2});
    EXPECT_EQ(OutputFiles(), Names({1}));
    EXPECT_EQ(office_->applicationsStarted(), 1);
}

// The office went away between the template choice and the run (the user closed it): the run
// opens the template again by itself instead of failing every row.
TEST_F(RunTest, OfficeGoneBeforeTheRunIsStartedAgain) {
    UseTemplate({"Name"});
    office_->kill();
    const RunOutcome outcome = Run(1, 3);
    EXPECT_FALSE(outcome.officeLost);
    EXPECT_FALSE(outcome.nothingMatched);
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_EQ(office_->applicationsStarted(), 2);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{SaveDone(3)});
}

// The office cannot be started again: the plan says so before the run, and it is not a
// template without matches.
TEST_F(RunTest, OfficeGoneForGoodIsNotANoMatch) {
    UseTemplate({"Name"});
    office_->kill();
    office_->setRestartable(false);
    RunPlanner planner(state_.workbooks, *host_);
    RunChoice choice;
    choice.workbookPath = state_.workbookPath;
    choice.table = "Sheet1$";
    choice.templatePath = request_.templatePath;
    const auto problem = planner.Open(choice);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, PlanProblemKind::OfficeUnavailable);
}

// A run that makes nothing never says "完成" nor offers a folder with nothing new in it.
TEST_F(RunTest, NothingMadeSaysWhyWithoutDone) {
    UseTemplate({"Name"});
    office_->failSaves([](std::string_view) { return true; });
    RunOutcome outcome = Run(2, 3);
    EXPECT_EQ(outcome.documentsMade, 0);
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_FALSE(ui_.calls[0].question);
    EXPECT_EQ(ui_.calls[0].text,
              "没有生成任何文档：保存失败的编号：2、3。原因：Word程序未能保存或转换文档（编号 2-3）。");
    EXPECT_EQ(ui_.calls[0].icon, MessageIcon::Warning);

    ui_.calls.clear();
    office_->failPrints([](std::string_view) { return true; });
    outcome = Run(1, 1, OutputKind::Print);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{"没有打印任何文档：打印失败的编号：1。"});
    EXPECT_TRUE(ui_.openedFolders.empty());
}

TEST_F(RunTest, StopEndsAfterTheCurrentDocumentAndReportsWhatWasMade) {
    UseTemplate({"Name"});
    int asked = 0;
    ui_.onStopAsked = [&asked] { return ++asked > 3; };
    RunOutcome outcome = Run(1, 10);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_EQ(OutputFiles(), Names({1, 2, 3}));
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_EQ(ui_.calls[0].text,
              "已停止：已生成 3 "
              "个。没有文档的行：4-10。是否打开存放文档所在文件夹？");

    // Stopped before the first document: nothing made, and said so.
    ui_.calls.clear();
    ui_.onStopAsked = [] { return true; };
    outcome = Run(4, 6);
    EXPECT_EQ(outcome.documentsMade, 0);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{"没有生成任何文档：已按要求停止。"});
}

// The output folder removed, or made read-only, during a run: the run stops at the first
// document that cannot be saved, says why, and never offers to open a folder that is gone.
TEST_F(RunTest, AFolderGoneOrReadOnlyMidRunStopsTheRunWithThatCause) {
    UseTemplate({"Name"});
    state_.outputFolder = dir_ + "/out/";
    ASSERT_TRUE(MakeDirectory(state_.outputFolder));
    ui_.onProgress = [this](int done) {
        if (done == 2) std::filesystem::remove_all(state_.outputFolder);
    };
    RunOutcome outcome = Run(1, 10);
    EXPECT_TRUE(outcome.folderGone);
    EXPECT_EQ(outcome.documentsMade, 2);
    EXPECT_EQ(outcome.failedNumbers, std::vector<int>{3});  // tried once, then stopped
    EXPECT_TRUE(outcome.flushError.empty());
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_FALSE(ui_.calls[0].question);
    EXPECT_EQ(ui_.calls[0].text,
              "完成，但有文档未能生成：已生成 2 个，失败的编号：3。保存文件夹已不存在，其后的文档没有生成。"
              "没有文档的行：3-10。");

    if (geteuid() == 0) return;  // the superuser writes into read-only folders
    ui_.calls.clear();
    ASSERT_TRUE(MakeDirectory(state_.outputFolder));
    ui_.onProgress = [this](int done) {
        if (done == 1) chmod(state_.outputFolder.c_str(), 0555);
    };
    outcome = Run(1, 10);
    chmod(state_.outputFolder.c_str(), 0755);
    EXPECT_TRUE(outcome.folderReadOnly);
    EXPECT_EQ(outcome.documentsMade, 1);
    EXPECT_EQ(outcome.failedNumbers, std::vector<int>{2});
}

TEST_F(RunTest, TemplateGoneMidRunStopsWithoutBlamingTheOffice) {
    UseTemplate({"Name"});
    // The template disappears once document 3 is saved: no fresh working document can be made
    // after it.
    ui_.onProgress = [this](int done) {
        if (done == 3) std::filesystem::remove(request_.templatePath);
    };
    const RunOutcome outcome = Run(1, 10);
    EXPECT_TRUE(outcome.templateLost);
    EXPECT_FALSE(outcome.officeLost);
    EXPECT_FALSE(outcome.nothingMatched);
    EXPECT_EQ(OutputFiles(), Names({1, 2, 3}));
    EXPECT_EQ(ui_.progressPositions.back(), 3);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{
                               "完成，但有文档未能生成：已生成 3 个。Word模板无法打开，其后的文档没有生成。"
                               "是否打开存放文档所在文件夹？"});
}

// Another template moved over the chosen one, or the chosen one written to, during a run: the
// documents after it would come from another template, so the run stops and says which rows
// have no document. A template rewritten before the run is read as it is then.
TEST_F(RunTest, TemplateReplacedOrChangedMidRunStopsAndNamesTheRowsLeft) {
    UseTemplate({"Name"});
    const std::string other = dir_ + "/other.dot";
    ASSERT_TRUE(test::WriteFakeTemplate(other, {{"Name", "[other]"}}));
    ui_.onProgress = [&](int done) {
        if (done == 3) std::filesystem::rename(other, request_.templatePath);
    };
    RunOutcome outcome = Run(1, 10);
    EXPECT_TRUE(outcome.templateChanged);
    EXPECT_FALSE(outcome.templateLost);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(OutputFiles(), Names({1, 2, 3}));
    EXPECT_EQ(ui_.texts(),
              std::vector<std::string>{
                  "完成，但有文档未能生成：已生成 3 个。Word模板在运行中被替换或修改，其后的文档没有生成。"
                  "没有文档的行：4-10。是否打开存放文档所在文件夹？"});

    // Written to in place: the same.
    for (const std::string& f : OutputFiles()) std::filesystem::remove(dir_ + "/out/" + f);
    ui_.calls.clear();
    ui_.onProgress = [&](int done) {
        if (done == 2) {
            ASSERT_TRUE(test::WriteFakeTemplate(request_.templatePath, {{"Name", "[changed in place]"}}));
        }
    };
    outcome = Run(1, 10);
    EXPECT_TRUE(outcome.templateChanged);
    EXPECT_EQ(outcome.documentsMade, 2);

    // Changed before the run, with its working document still open: the run reads it anew and
    // goes through.
    ui_.calls.clear();
    ui_.onProgress = {};
    ASSERT_TRUE(test::WriteFakeTemplate(request_.templatePath, {{"Name", "[before]"}}));
    outcome = Run(1, 4);
    EXPECT_FALSE(outcome.templateChanged);
    EXPECT_FALSE(outcome.failed());
    EXPECT_EQ(outcome.documentsMade, 4);
}

TEST_F(MultiRowTest, TemplateGoneMidRunStops) {
    UseTemplate({"Name_1", "Name_2"});
    ui_.onProgress = [this](int done) {
        if (done == 1) std::filesystem::remove(request_.templatePath);
    };
    const RunOutcome outcome = Run(1, 6, OutputKind::Print);
    EXPECT_TRUE(outcome.templateLost);
    EXPECT_EQ(office_->printJobs().size(), 1u);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{
                               "打印未能全部完成：已发送 1 个。Word模板无法打开，其后的文档没有打印。"});
}

TEST_F(RunTest, FailedPrintIsReported) {
    UseTemplate({"Name"});
    int prints = 0;
    office_->failPrints([&prints](std::string_view) { return ++prints == 2; });
    const RunOutcome outcome = Run(1, 3, OutputKind::Print);
    EXPECT_EQ(outcome.documentsMade, 2);
    EXPECT_EQ(outcome.failedNumbers, std::vector<int>{2});
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{"打印未能全部完成：已发送 2 个，失败的编号：2。"});
}

}  // namespace
}  // namespace qm
