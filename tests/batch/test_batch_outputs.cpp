// quillmerge-batch: the options of file names from a column, one PDF and the match report, on
// inputs that never need the office (wrong combinations, and --check over the shipped samples,
// which the program reads itself).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/batch/batch_runner.h"
#include "tests/support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = QM_MERGE_FIXTURES;
const std::string kSamples = QM_PROGRAM_DIR;

class BatchOutputsTest : public testing::Test {
  protected:
    test::CommandResult Batch(std::vector<std::string> args) { return test::RunBatch(args); }
    std::vector<std::string> Check(const char* templateFile, const char* sheet = "员工") {
        return {"--workbook", kSamples + "/数据/员工信息.xls",    "--sheet", sheet,
                "--template", kSamples + "/模板/" + templateFile, "--check"};
    }

    const test::TempFolder folder_{"batch-outputs"};
    const std::string dir_ = folder_.path();
};

TEST_F(BatchOutputsTest, OptionsThatDoNotGoTogetherAreRefused) {
    const std::vector<std::string> run = {"--workbook", kFixtures + "/rows.xls",   "--sheet", "Sheet1",
                                          "--template", kFixtures + "/single.fodt"};
    const std::string out = dir_ + "/out";
    struct Case {
        std::vector<std::string> extra;
        std::string error;
    };
    const Case cases[] = {
        {{"--save", out, "--name", "R", "--single-file"}, "--single-file goes with --save and --format pdf"},
        {{"--print", "--single-file"}, "--single-file goes with --save and --format pdf"},
        {{"--print", "--name-column", "Name"}, "--name-column goes with --save"},
        {{"--save", out, "--name", "R", "--name-column", ""}, "--name-column needs a column title"},
        {{"--save", out, "--name", "R", "--format", "pdf", "--single-file", "--name-column", "Name"},
         "--name-column does not go with --single-file: the one file is named REF.pdf"},
        {{"--save", out, "--name", "R", "--name-column", "Nope"},
         "sheet Sheet1 has no column Nope for --name-column"},
        {{"--check", "--save", out}, "--check makes nothing: leave out --save"},
        {{"--check", "--from", "2"}, "--check makes nothing: leave out --from"},
        {{"--no-office", "--print"}, "--no-office does not go with --print: the office makes those"},
        {{"--no-office", "--save", out, "--name", "R", "--format", "pdf"},
         "--no-office does not go with --format pdf: the office makes those"},
        // Only the office reads this template: refused before anything is written.
        {{"--no-office", "--save", out, "--name", "R"},
         "only the office can fill the template " + kFixtures +
             "/single.fodt (not a Word document (.doc or .docx)), and --no-office was given"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = run;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const test::CommandResult r = Batch(args);
        EXPECT_EQ(r.status, 2) << c.error;
        EXPECT_EQ(r.err, "quillmerge-batch: " + c.error + "\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(out));
}

// The samples are read by the program itself, so --check needs no office here; the modes of
// each sample against the sheet are covered by the report's own tests.
TEST_F(BatchOutputsTest, CheckPrintsTheReportAndFailsOnEmptyBookmarks) {
    test::CommandResult r = Batch(Check("劳动合同.doc"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "mode: single-row\n"
              "bookmarks filled: 7 of 7\n"
              "filled bookmarks:\n  姓名\n  性别\n  身份证号\n  入职日期\n  部门\n  职位\n  月薪\n"
              "columns that fill no bookmark:\n  编号\n  联系电话\n  照片\n");

    std::vector<std::string> args = Check("工资条.doc");
    args.push_back("--multi-row");
    r = Batch(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("mode: multi-row\nbookmarks filled: 12 of 12\n")) << r.out;

    // The contract against the renewals sheet: two bookmarks filled, five stay.
    r = Batch(Check("劳动合同.doc", "合同续签"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.out.find(
            "bookmarks filled: 2 of 7\nfilled bookmarks:\n  姓名\n  部门\n"
            "empty bookmarks (no column fills them):\n  性别\n  身份证号\n  入职日期\n  职位\n  月薪\n"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "");
}

// A row whose value a > or < cannot compare (text in a column of numbers) is left out, and the
// batch command says how many were.
TEST_F(BatchOutputsTest, RowsAGreaterTestCannotCompareAreLeftOutAndCounted) {
    const std::string sheet = dir_ + "/月薪.csv";
    std::ofstream(sheet) << "编号,姓名,月薪\r\n1,甲,12000\r\n2,乙,abc\r\n3,丙,8000\r\n4,丁,15000\r\n";
    const std::string out = dir_ + "/out";
    const test::CommandResult r =
        Batch({"--workbook", sheet, "--sheet", "月薪", "--template", kSamples + "/模板/劳动合同.docx",
               "--no-office", "--where", "月薪>10000", "--save", out, "--name", "合同"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(out)) files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"合同1.docx", "合同4.docx"}));
    EXPECT_NE(r.err.find("quillmerge-batch: note: 1 row is left out because > or < met a value that is not a "
                         "number (or date) there\n"),
              std::string::npos)
        << r.err;
}

// --where keeps the rows that pass every test, files keep their sheet row numbers and --from and
// --to count the rows that pass; what a test cannot do is said in one line, naming the columns.
TEST_F(BatchOutputsTest, WhereChoosesRowsByTheirValues) {
    const std::vector<std::string> run = {
        "--workbook", kSamples + "/数据/员工信息.xls",  "--sheet",    "员工",
        "--template", kSamples + "/模板/劳动合同.docx", "--no-office"};
    const auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = run;
        args.insert(args.end(), extra.begin(), extra.end());
        return Batch(args);
    };
    const std::string out = dir_ + "/out";
    test::CommandResult r = with(
        {"--where", "部门=销售部", "--where", "月薪>9000", "--from", "2", "--save", out, "--name", "合同"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(out)) files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    // 销售部 holds sheet rows 9 to 13; of these 9, 10 and 11 earn more than 9000 (the first left out).
    EXPECT_EQ(files, (std::vector<std::string>{"合同10.docx", "合同11.docx"}));

    const struct {
        std::vector<std::string> extra;
        std::string error;
    } refused[] = {
        {{"--where", "工号=1"},
         "--where names no column of the sheet: 工号 (its columns: 编号, 姓名, 性别, 部门, 职位, 入职日期, "
         "月薪, "
         "身份证号, 联系电话, 照片)"},
        {{"--where", "月薪>很多"}, "--where: column 月薪 holds numbers, so > and < need a number"},
        {{"--where", "入职日期<去年"},
         "--where: column 入职日期 holds dates, so > and < need a date (2024-03-05)"},
        {{"--where", "部门=无", "--where", "月薪?"},
         "no row of the sheet 员工 passes --where 部门=无 --where 月薪?; nothing was made"},
        {{"--where", "部门"},
         "--where 部门: write TITLE then = != ~ !~ > < and a value, or ? (not empty) or !? (empty)"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> extra = c.extra;
        extra.insert(extra.end(), {"--save", dir_ + "/refused", "--name", "R"});
        r = with(extra);
        EXPECT_EQ(r.status, 2) << c.error;
        EXPECT_EQ(r.err, "quillmerge-batch: " + c.error + "\n");
    }
    EXPECT_FALSE(fs::exists(dir_ + "/refused"));
}

}  // namespace
}  // namespace qm
