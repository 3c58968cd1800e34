// The planner every run goes through: what it refuses and why, the rows and names it works out,
// and that a planned run reads its sheet once.

#include <gtest/gtest.h>

#include "common/fs.h"
#include "common/text.h"
#include "data/workbook_cache.h"
#include "merge/program_state.h"
#include "merge/run_plan.h"
#include "tests/support/fake_office.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/temp_folder.h"
#include "word/word_host.h"

namespace qm {
namespace {

const std::string kFixtures = QM_MERGE_FIXTURES;

class PlanTest : public testing::Test {
  protected:
    void SetUp() override {
        host_ = std::make_unique<word::WordHost>(std::make_unique<test::FakeOffice>(), dir_);
        choice_.workbookPath = kFixtures + "/rows.xls";
        choice_.table = "Sheet1$";
    }
    // A template whose bookmarks are `bookmarks`.
    std::string Template(const std::vector<std::string>& bookmarks) {
        test::BookmarkTexts texts;
        for (const std::string& b : bookmarks) texts.emplace_back(b, "[" + b + "]");
        const std::string path = dir_ + "/t" + IntToText(++templates_) + ".dot";
        EXPECT_TRUE(test::WriteFakeTemplate(path, texts));
        return path;
    }
    std::optional<PlanProblemKind> Problem(const RunChoice& choice) {
        RunPlanner planner(workbooks_, *host_);
        const auto problem = planner.Open(choice);
        if (problem) return problem->kind;
        if (const auto matching = planner.CheckMatching()) return matching->kind;
        return std::nullopt;
    }

    const test::TempFolder folder_{"merge-plan"};
    const std::string dir_ = folder_.path();
    data::WorkbookCache workbooks_;
    std::unique_ptr<word::WordHost> host_;
    RunChoice choice_;
    int templates_ = 0;
};

TEST_F(PlanTest, EachProblemIsFoundBeforeAnythingIsMade) {
    struct Case {
        const char* what;
        std::function<void(RunChoice&)> change;
        std::optional<PlanProblemKind> expected;
    };
    const std::string good = Template({"Name", "Age"});
    const std::string prefixOnly = Template({"NameList"});
    const std::string unrelated = Template({"Other"});
    const std::string slots = Template({"Name_1", "Name_2"});
    const Case cases[] = {
        {"all good", [](RunChoice&) {}, std::nullopt},
        {"no workbook", [&](RunChoice& c) { c.workbookPath = dir_ + "/gone.xls"; },
         PlanProblemKind::WorkbookUnreadable},
        {"not a workbook", [&](RunChoice& c) { c.workbookPath = good; }, PlanProblemKind::WorkbookUnreadable},
        {"no such sheet", [](RunChoice& c) { c.table = "Sheet9$"; }, PlanProblemKind::SheetUnreadable},
        {"no template", [&](RunChoice& c) { c.templatePath = dir_ + "/gone.dot"; },
         PlanProblemKind::TemplateUnreadable},
        {"no title matches", [&](RunChoice& c) { c.templatePath = unrelated; },
         PlanProblemKind::NoTitleMatches},
        {"titles only begin names", [&](RunChoice& c) { c.templatePath = prefixOnly; },
         PlanProblemKind::NothingFillable},
        {"single-row bookmarks in multi-row mode", [](RunChoice& c) { c.multiRowMode = true; },
         PlanProblemKind::NothingFillable},
        {"slots in single-row mode", [&](RunChoice& c) { c.templatePath = slots; },
         PlanProblemKind::NothingFillable},
        {"slots in multi-row mode",
         [&](RunChoice& c) {
             c.templatePath = slots;
             c.multiRowMode = true;
         },
         std::nullopt},
        {"repeat copies missing", [](RunChoice& c) { c.repeatMode = true; },
         PlanProblemKind::NothingFillable},
    };
    for (const Case& c : cases) {
        RunChoice choice = choice_;
        choice.templatePath = good;
        c.change(choice);
        EXPECT_EQ(Problem(choice), c.expected) << c.what;
    }
}

TEST_F(PlanTest, RowsFromTheRangeControlsOrFromNumbers) {
    choice_.templatePath = Template({"Name_1", "Name_2", "Name_3"});
    RunPlanner planner(workbooks_, *host_);
    ASSERT_FALSE(planner.Open(choice_));
    EXPECT_EQ(planner.recordCount(), 10);
    EXPECT_EQ(planner.titles(), (std::vector<std::string>{"Name", "Age", "City"}));

    EXPECT_FALSE(planner.SetRows(-2, 99));  // below 1 counts as 1; past the end as the end
    EXPECT_EQ(planner.firstRow(), 1);
    EXPECT_EQ(planner.lastRow(), 10);
    EXPECT_FALSE(planner.SetRows(4, 0));
    EXPECT_EQ(planner.lastRow(), 10);
    EXPECT_EQ(planner.SetRows(11, 0)->kind, PlanProblemKind::RangePastEnd);

    // By page: page 2 of 4 records a page is rows 5..8.
    EXPECT_FALSE(planner.SetRangeTexts(1, "2", "2", 4));
    EXPECT_EQ(planner.firstRow(), 5);
    EXPECT_EQ(planner.lastRow(), 8);
    const auto bad = planner.SetRangeTexts(0, "3", "x", 10);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->kind, PlanProblemKind::BadRange);
    EXPECT_EQ(bad->detail, "范围的结束值“x”不是整数，请输入从1开始的整数。");

    // Multi-row mode: three slots, so rows 1, 4, 7 and 10 open the documents.
    RunChoice multi = choice_;
    multi.multiRowMode = true;
    RunPlanner slots(workbooks_, *host_);
    ASSERT_FALSE(slots.Open(multi));
    EXPECT_EQ(slots.SlotsPerDocument(), 3);
    EXPECT_EQ(slots.DocumentFirstRows(), (std::vector<int>{1, 4, 7, 10}));
    EXPECT_EQ(slots.DocumentCount(), 4);
}

// names.xls: column 名字 holds awkward values, Name the row ("Row 1", ...).
TEST_F(PlanTest, FileNamesAreTheOnesTheRunWrites) {
    choice_.workbookPath = kFixtures + "/names.xls";
    choice_.templatePath = Template({"Name"});
    RunPlanner planner(workbooks_, *host_);
    ASSERT_FALSE(planner.Open(choice_));
    const NamePlan plan = planner.FileNames("名字", "合同", ".doc");
    ASSERT_EQ(plan.names.size(), 15u);
    const std::vector<std::string> expected = {
        "合同_张三.doc",   "合同_李四.doc",        "合同_张三(2).doc",
        "合同4.doc",       "合同_a_b_c_d_e_f.doc", "",
        "合同7.doc",       "合同_王五.doc",        "合同_张三(3).doc",
        "合同_-rf.doc",    "合同_..doc",           "合同_Tom.doc",
        "合同_TOM(2).doc", "合同_x_txt.exe.doc",   "合同_line_break.doc"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!expected[i].empty()) {
            EXPECT_EQ(plan.names[i], expected[i]) << "row " << i + 1;
        }
    }
    EXPECT_TRUE(plan.names[5].starts_with("合同_长长"));
    EXPECT_EQ(plan.numbered, 2);
    EXPECT_EQ(plan.renamed, 3);
    EXPECT_EQ(planner.FileNames("名字", "合同", ".doc", 1).names,
              (std::vector<std::string>{"合同_张三.doc"}));

    ASSERT_FALSE(planner.SetRows(14, 0));
    EXPECT_EQ(planner.FileNames("名字", "合同", ".doc").names,
              (std::vector<std::string>{"合同_x_txt.exe.doc", "合同_line_break.doc"}));
    ASSERT_FALSE(planner.SetRows(2, 3));
    EXPECT_EQ(planner.FileNames("没有这一列", "合同", ".doc").names,
              (std::vector<std::string>{"合同2.doc", "合同3.doc"}));

    // Multi-row mode names each document after its first row, numbered by document.
    RunChoice multi = choice_;
    multi.multiRowMode = true;
    multi.templatePath = Template({"Name_1", "Name_2"});
    RunPlanner slots(workbooks_, *host_);
    ASSERT_FALSE(slots.Open(multi));
    ASSERT_FALSE(slots.SetRows(1, 8));
    EXPECT_EQ(
        slots.FileNames("名字", "合同", ".doc").names,
        (std::vector<std::string>{"合同_张三.doc", "合同_张三(2).doc", "合同_a_b_c_d_e_f.doc", "合同4.doc"}));
}

// The window plans, asks for names (which reads the values of a column) and runs: the sheet is
// read once for all of it.
TEST_F(PlanTest, APlannedRunReadsItsSheetOnce) {
    choice_.templatePath = Template({"Name", "City"});
    const int before = workbooks_.sheetsOpened();
    RunPlanner planner(workbooks_, *host_);
    ASSERT_FALSE(planner.Open(choice_));
    ASSERT_FALSE(planner.SetRangeTexts(0, "2", "4", 10));
    EXPECT_EQ(planner.FileNames("Name", "R", ".doc").names.size(), 3u);
    EXPECT_EQ(planner.DocumentCount(), 3);
    RunOutput output;
    output.folder = dir_ + "/out/";
    ASSERT_TRUE(MakeDirectory(output.folder));
    output.referenceName = "R";
    output.nameColumn = "City";
    RunObserver quiet;
    MergeRun run(planner.TakeJob(output), *host_, quiet);
    const RunOutcome outcome = run.Execute();
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_EQ(outcome.files.back(), output.folder + "R_城市4.doc");
    EXPECT_EQ(workbooks_.sheetsOpened() - before, 1);
}

// With filters the rows, pages and ranges count in the list of rows that pass, the run makes
// those rows in sheet order, and single-row files keep their sheet row numbers (multi-row ones
// are numbered by document, as always).
TEST_F(PlanTest, FiltersChooseTheRowsAndFilesKeepTheirRowNumbers) {
    choice_.templatePath = Template({"Name", "City"});
    choice_.filters = {{"Age", FilterTest::Greater, "22"}, {"City", FilterTest::NotContains, "城市5"}};
    choice_.valueStyle = data::ValueStyle::Shown;  // compared as stored all the same
    RunPlanner planner(workbooks_, *host_);
    ASSERT_FALSE(planner.Open(choice_));
    // Sheet rows 3, 4, 6, 7, 8, 9, 10 pass.
    EXPECT_EQ(planner.recordCount(), 7);
    EXPECT_EQ(planner.sheetRecordCount(), 10);
    ASSERT_FALSE(planner.SetRangeTexts(0, "2", "4", 10));
    EXPECT_EQ(planner.SheetRowOf(2), 4);
    EXPECT_EQ(planner.FileNames("", "R", ".doc").names,
              (std::vector<std::string>{"R4.doc", "R6.doc", "R7.doc"}));
    RunOutput output;
    output.folder = dir_ + "/out/";
    ASSERT_TRUE(MakeDirectory(output.folder));
    output.referenceName = "R";
    RunObserver quiet;
    MergeRun run(planner.TakeJob(output), *host_, quiet);
    const RunOutcome outcome = run.Execute();
    EXPECT_EQ(outcome.files, (std::vector<std::string>{output.folder + "R4.doc", output.folder + "R6.doc",
                                                       output.folder + "R7.doc"}));
    test::BookmarkTexts texts;
    ASSERT_TRUE(test::ReadFakeDocument(output.folder + "R6.doc", texts));
    EXPECT_EQ(texts, (test::BookmarkTexts{{"Name", "Person 6"}, {"City", "城市6"}}));
    EXPECT_TRUE(outcome.RowsWithoutDocument().empty());

    // Multi-row: two rows a document from the list, numbered from 1.
    RunChoice multi = choice_;
    multi.multiRowMode = true;
    multi.templatePath = Template({"Name_1", "Name_2"});
    RunPlanner slots(workbooks_, *host_);
    ASSERT_FALSE(slots.Open(multi));
    ASSERT_FALSE(slots.SetRows(1, 0));
    EXPECT_EQ(slots.DocumentCount(), 4);
    EXPECT_EQ(
        slots.FileNames("Name", "R", ".doc").names,
        (std::vector<std::string>{"R_Person 3.doc", "R_Person 6.doc", "R_Person 8.doc", "R_Person 10.doc"}));

    // What a filter cannot do is said before anything is made.
    const struct {
        RowFilter filter;
        PlanProblemKind kind;
    } problems[] = {{{"Age", FilterTest::Greater, "99"}, PlanProblemKind::NoRowMatches},
                    {{"Height", FilterTest::Equal, "1"}, PlanProblemKind::FilterProblem},
                    {{"Age", FilterTest::Less, "old"}, PlanProblemKind::FilterProblem}};
    for (const auto& p : problems) {
        RunChoice bad = choice_;
        bad.filters = {p.filter};
        EXPECT_EQ(Problem(bad), p.kind) << DescribeFilter(p.filter);
    }
}

}  // namespace
}  // namespace qm
