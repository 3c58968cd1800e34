// The merge runs end to end with the real office: every produced document is read back and
// compared with what the template and the rows say it must hold.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "tests/support/command.h"
#include "tests/support/document_text.h"
#include "tests/support/files.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/sheet_titles.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = QM_MERGE_FIXTURES;
const std::string kSaveDone = "完成！已生成 3 个文档。是否打开存放文档所在文件夹？";
const std::string kNoBookmarkFilled = "当前Word模板没有与Excel数据表格标题相匹配的书签名称!";

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// One office for the whole suite: starting it is the slow part.
class OfficeRunTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { host_ = new word::WordHost(word::MakeLibreOffice(), QM_PROGRAM_DIR); }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }

    void SetUp() override {
        state_.workbookPath = kFixtures + "/rows.xls";
        state_.outputFolder = dir_ + "/out/";
        ASSERT_TRUE(MakeDirectory(state_.outputFolder));
        state_.referenceName = "Doc";
        request_.sheetName = "Sheet1$";
    }
    // As the main window does when a template is chosen.
    void UseTemplate(const std::string& name) {
        request_.templatePath = kFixtures + "/" + name;
        ASSERT_FALSE(host_->OpenTemplate(request_.templatePath).empty()) << "the office did not start";
        state_.templateBookmarks = SplitList(host_->ListBookmarks());
        ASSERT_TRUE(test::LoadTitlesAndMatch(state_, "Sheet1$"));
    }
    RunOutcome Run(int start, int end, OutputKind kind = OutputKind::Save) {
        request_.start = start;
        request_.end = end;
        request_.kind = kind;
        return test::RunMerge(state_, *host_, ui_, request_);
    }
    std::string Text(int n) { return test::CatdocText(state_.outputFolder + "Doc" + IntToText(n) + ".doc"); }
    std::vector<std::string> OutputFiles() const { return ListFiles(state_.outputFolder, ""); }

    static word::WordHost* host_;
    const test::TempFolder folder_{"office-merge"};
    const std::string dir_ = folder_.path();
    ProgramState state_;
    test::RecordingRunUi ui_;
    RunRequest request_;
};
word::WordHost* OfficeRunTest::host_ = nullptr;

TEST_F(OfficeRunTest, SingleRowSaveRunFillsEachRowIntoItsOwnFile) {
    UseTemplate("single.fodt");
    const RunOutcome outcome = Run(3, 5);
    EXPECT_EQ(outcome.documentsMade, 3);
    EXPECT_TRUE(outcome.failedNumbers.empty());
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"Doc3.doc", "Doc4.doc", "Doc5.doc"}));
    for (int n : {3, 4, 5}) {
        const std::string text = Text(n);
        SCOPED_TRACE(text);
        EXPECT_TRUE(Has(text, "Name: Person " + IntToText(n)));
        EXPECT_TRUE(Has(text, "Age: " + IntToText(20 + n)));
        EXPECT_TRUE(Has(text, "City: 城市" + IntToText(n)));
        EXPECT_FALSE(Has(text, "[Name]"));
    }
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kSaveDone});
    EXPECT_TRUE(host_->IsWordRunning());
    // A fresh working document stays open for the next run.
    std::string current;
    EXPECT_TRUE(host_->IsDocumentOpen(current));
}

TEST_F(OfficeRunTest, RangeEdges) {
    UseTemplate("single.fodt");
    Run(9, 20);
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"Doc10.doc", "Doc9.doc"}));
    EXPECT_TRUE(Has(Text(10), "Name: Person 10"));
    const RunOutcome none = Run(11, 20);
    EXPECT_EQ(none.documentsMade, 0);
    EXPECT_EQ(OutputFiles().size(), 2u);
}

TEST_F(OfficeRunTest, RepeatModeStopsAtTheFirstMissingCopy) {
    UseTemplate("repeat.fodt");
    state_.repeatMode = true;
    Run(1, 1);
    const std::string text = Text(1);
    SCOPED_TRACE(text);
    EXPECT_TRUE(Has(text, "Name_c1: Person 1"));
    EXPECT_TRUE(Has(text, "Name_c2: Person 1"));
    EXPECT_TRUE(Has(text, "Name_c4: [Name_c4]"));
}

TEST_F(OfficeRunTest, MultiRowFilesAreNumberedByDocument) {
    UseTemplate("multi.fodt");
    state_.multiRowMode = true;
    Run(1, 3);
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"Doc1.doc", "Doc2.doc"}));
    const std::string first = Text(1), second = Text(2);
    EXPECT_TRUE(Has(first, "Name_1: Person 1")) << first;
    EXPECT_TRUE(Has(first, "Age_2: 22")) << first;
    EXPECT_TRUE(Has(second, "Name_1: Person 3")) << second;
    EXPECT_TRUE(Has(second, "Name_2: [Name_2]")) << second;  // slot 2 keeps the template's text
}

TEST_F(OfficeRunTest, PrefixOnlyMatchWritesNothing) {
    UseTemplate("prefix.fodt");
    ASSERT_EQ(state_.matchedTitles, std::vector<std::string>{"Name"});
    const RunOutcome outcome = Run(1, 3);
    EXPECT_TRUE(outcome.nothingMatched);
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kNoBookmarkFilled});
}

// The print tests need a default printer; scripts/print-server.sh sets up a virtual PDF
// printer whose files land in kPrintFolder.
const std::string kPrintFolder = "/var/spool/cups-pdf/quillmerge";

bool HasDefaultPrinter() {
    return test::RunCommand("lpstat -d 2>/dev/null | grep -q 'system default destination:'").status == 0;
}

std::set<std::string> PdfFiles() {
    const std::vector<std::string> files = test::FilesIn(kPrintFolder, ".pdf");
    return {files.begin(), files.end()};
}

TEST_F(OfficeRunTest, PrintRunSendsOneJobPerRow) {
    if (!HasDefaultPrinter()) GTEST_SKIP() << "no default printer";
    UseTemplate("single.fodt");
    const std::set<std::string> before = PdfFiles();
    const RunOutcome outcome = Run(6, 7, OutputKind::Print);
    EXPECT_EQ(outcome.documentsMade, 2);
    EXPECT_TRUE(outcome.failedNumbers.empty());
    EXPECT_TRUE(OutputFiles().empty());
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_TRUE(ui_.calls[0].text.starts_with("打印作业已经发送到打印机"));

    if (!fs::is_directory(kPrintFolder)) return;  // a real printer: nothing to look at
    // The virtual printer writes its files some time after the jobs were accepted. Its PDFs
    // carry no text layer to read back, and other tests may print at the same time, so only
    // the arrival of at least our two files is checked.
    std::size_t arrived = 0;
    test::WaitFor(
        [&] {
            arrived = 0;
            for (const std::string& pdf : PdfFiles())
                if (std::error_code ec; !before.count(pdf) && fs::file_size(pdf, ec) > 0 && !ec) ++arrived;
            return arrived >= 2;
        },
        120000);
    EXPECT_GE(arrived, 2u);
}

}  // namespace
}  // namespace qm
