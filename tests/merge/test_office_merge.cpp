// The merge runs and the batch command end to end with the real office: every produced
// document is read back and compared with what the template and the rows say it must hold.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "tests/batch/batch_runner.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/sheet_titles.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = QM_MERGE_FIXTURES;
const std::string kSaveDone = "完成！是否打开存放文档所在文件夹？";
const std::string kNoBookmarkFilled = "当前Word模板没有与Excel数据表格标题相匹配的书签名称!";

// The text of a file through a command line tool; "" when it fails.
std::string ToolText(const std::string& tool, const std::string& path, const std::string& scratch,
                     const std::string& after = "") {
    const std::string out = scratch + "/tool.txt";
    const std::string command =
        tool + " " + test::ShellQuote(path) + after + " > " + test::ShellQuote(out) + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    return test::ReadWhole(out);
}
std::string DocText(const std::string& path, const std::string& scratch) {
    return ToolText("catdoc -d utf-8", path, scratch);
}
std::string PdfText(const std::string& path, const std::string& scratch) {
    return ToolText("pdftotext -enc UTF-8", path, scratch, " -");
}
bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

std::string MakeTempFolder(const char* stem) {
    std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// One office for the whole suite: starting it is the slow part.
class OfficeRunTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        host_ = new word::WordHost(word::MakeLibreOffice(), QM_PROGRAM_DIR);
    }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }

    void SetUp() override {
        dir_ = MakeTempFolder("qm-office-merge");
        ASSERT_FALSE(dir_.empty());
        state_.sheetConnection =
            data::BuildConnectionString(data::ExcelWorkbook, {}, kFixtures + "/rows.xls");
        state_.outputFolder = dir_ + "/out/";
        ASSERT_TRUE(MakeDirectory(state_.outputFolder));
        state_.referenceName = "Doc";
        request_.sheetName = "Sheet1$";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // As the main window does when a template is chosen.
    void UseTemplate(const std::string& name) {
        request_.templatePath = kFixtures + "/" + name;
        ASSERT_FALSE(host_->OpenTemplate(request_.templatePath).empty()) << "the office did not start";
        state_.templateBookmarks = host_->ListBookmarks();
        ASSERT_TRUE(test::LoadTitlesAndMatch(state_, "Sheet1$"));
    }
    RunOutcome Run(int start, int end, OutputKind kind = OutputKind::Save) {
        request_.start = start;
        request_.end = end;
        request_.kind = kind;
        return RunMerge(state_, *host_, ui_, request_);
    }
    std::string Text(int n) { return DocText(state_.outputFolder + "Doc" + IntToText(n) + ".doc", dir_); }
    std::vector<std::string> OutputFiles() const { return ListFiles(state_.outputFolder, ""); }

    static word::WordHost* host_;
    std::string dir_;
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
    ASSERT_EQ(state_.matchedTitles, "Name");
    const RunOutcome outcome = Run(1, 3);
    EXPECT_TRUE(outcome.nothingMatched);
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kNoBookmarkFilled});
}

// The print tests need a default printer; scripts/print-server.sh sets up a virtual PDF
// printer whose files land in kPrintFolder.
const std::string kPrintFolder = "/var/spool/cups-pdf/quillmerge";

bool HasDefaultPrinter() {
    return std::system("lpstat -d 2>/dev/null | grep -q 'system default destination'") == 0;
}

std::set<std::string> PdfFiles() {
    std::set<std::string> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(kPrintFolder, ec))
        if (e.path().extension() == ".pdf") files.insert(e.path().string());
    return files;
}

TEST_F(OfficeRunTest, PrintRunSendsOneJobPerRow) {
    if (!HasDefaultPrinter()) GTEST_SKIP() << "no default printer";
    UseTemplate("single.fodt");
    const std::set<std::string> before = PdfFiles();
    ui_.hideMainWindow();
    const RunOutcome outcome = Run(6, 7, OutputKind::Print);
    EXPECT_EQ(outcome.documentsMade, 2);
    EXPECT_TRUE(outcome.failedNumbers.empty());
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_TRUE(ui_.mainWindowVisible);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_TRUE(ui_.messages[0].text.starts_with("打印作业已经发送到打印机"));

    if (!fs::is_directory(kPrintFolder)) return;  // a real printer: nothing to look at
    // The virtual printer writes its files some time after the jobs were accepted. Its PDFs
    // carry no text layer to read back, and other tests may print at the same time, so only
    // the arrival of at least our two files is checked.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::size_t arrived = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        arrived = 0;
        for (const std::string& pdf : PdfFiles())
            if (std::error_code ec; !before.count(pdf) && fs::file_size(pdf, ec) > 0 && !ec) ++arrived;
        if (arrived >= 2) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_GE(arrived, 2u);
}

// ---- the batch command ----

class OfficeBatchTest : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeTempFolder("qm-office-batch");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string dir_;
};

TEST_F(OfficeBatchTest, SaveRunByPlainSheetName) {
    const std::string out = dir_ + "/made/here";
    const test::BatchResult r = test::RunBatch(
        {"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1", "--template", kFixtures + "/single.fodt",
         "--from", "3", "--to", "5", "--save", out, "--name", "Letter"},
        dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3 documents saved in " + out + "/\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ListFiles(out, ""), (std::vector<std::string>{"Letter3.doc", "Letter4.doc", "Letter5.doc"}));
    EXPECT_TRUE(Has(DocText(out + "/Letter4.doc", dir_), "Name: Person 4"));
}

TEST_F(OfficeBatchTest, MultiRowPdfRunOnAQuotedSheet) {
    const std::string out = dir_ + "/pdf";
    const test::BatchResult r = test::RunBatch(
        {"--workbook", kFixtures + "/rows.xls", "--sheet", "My Sheet", "--template",
         kFixtures + "/multi.fodt", "--multi-row", "--save", out, "--name", "P", "--format", "pdf"},
        dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 document saved in " + out + "/\n");
    EXPECT_EQ(ListFiles(out, ""), std::vector<std::string>{"P1.pdf"});
    const std::string text = PdfText(out + "/P1.pdf", dir_);
    EXPECT_TRUE(Has(text, "Alpha")) << text;
    EXPECT_TRUE(Has(text, "Beta")) << text;
}

// Raw values by default; with --values shown, what the sheet shows under its number formats.
TEST_F(OfficeBatchTest, ShownValuesOnRequest) {
    for (const char* values : {"raw", "shown"}) {
        SCOPED_TRACE(values);
        const std::string out = dir_ + "/" + values;
        std::vector<std::string> args = {"--workbook", kFixtures + "/formats.xlsx", "--sheet", "Sheet1",
                                         "--template", kFixtures + "/formats.fodt", "--save", out, "--name", "F"};
        if (std::string(values) == "shown") args.insert(args.end(), {"--values", "shown"});
        const test::BatchResult r = test::RunBatch(args, dir_);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string text = DocText(out + "/F1.doc", dir_);
        const bool shown = std::string(values) == "shown";
        EXPECT_TRUE(Has(text, shown ? "Amount: ¥3,000.75" : "Amount: 3000.75")) << text;
        EXPECT_TRUE(Has(text, shown ? "Share: 25%" : "Share: 0.25")) << text;
        EXPECT_TRUE(Has(text, shown ? "Code: 001234" : "Code: 1234")) << text;
        EXPECT_TRUE(Has(text, shown ? "Day: 2024年3月5日" : "Day: 2024-03-05")) << text;
    }
}

// The names, then after a blank line who fills the template and, where it is not this program,
// why not.
TEST_F(OfficeBatchTest, ListBookmarks) {
    const test::BatchResult r =
        test::RunBatch({"--template", kFixtures + "/multi.fodt", "--list-bookmarks"}, dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Name_1\nAge_1\nName_2\nAge_2\n\nfilled by: the office (not a Word document (.doc or .docx))\n");

    const test::BatchResult doc = test::RunBatch(
        {"--template", std::string(QM_PROGRAM_DIR) + "/模板/劳动合同.doc", "--list-bookmarks"}, dir_);
    EXPECT_EQ(doc.status, 0) << doc.err;
    EXPECT_EQ(doc.out, "姓名\n性别\n身份证号\n入职日期\n部门\n职位\n月薪\n\nfilled by: this program, without the office\n");
}

TEST_F(OfficeBatchTest, TemplateWithoutAFillableBookmarkIsRefused) {
    const std::string out = dir_ + "/never";
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--multi-row"}}) {
        std::vector<std::string> args = {"--workbook", kFixtures + "/rows.xls",
                                         "--sheet",    "Sheet1$",
                                         "--template", kFixtures + "/prefix.fodt",
                                         "--save",     out,
                                         "--name",     "D"};
        args.insert(args.end(), extra.begin(), extra.end());
        const test::BatchResult r = test::RunBatch(args, dir_);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(Has(r.err, "prefix.fodt")) << r.err;
        EXPECT_FALSE(fs::exists(out));
    }
}

// A document the office cannot save (its name is taken by a folder) is reported, the others are
// made, and the exit status says that not everything went well.
TEST_F(OfficeBatchTest, FailedSaveIsReportedInOneLine) {
    const std::string out = dir_ + "/out";
    ASSERT_TRUE(fs::create_directories(out + "/R2.doc"));
    const test::BatchResult r =
        test::RunBatch({"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1", "--template",
                        kFixtures + "/single.fodt", "--from", "1", "--to", "3", "--save", out, "--name", "R"},
                       dir_);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "2 documents saved in " + out + "/\n");
    EXPECT_EQ(r.err, "quillmerge-batch: document 2 could not be saved\nquillmerge-batch: rows without a document: 2\n");
    EXPECT_TRUE(Has(DocText(out + "/R3.doc", dir_), "Name: Person 3"));
}

// A title that could not stand in a query's select list ("a,b") merges like any other: the run
// reads its columns by position.
TEST_F(OfficeBatchTest, TitleWithACommaMergesLikeAnyOther) {
    const std::string out = dir_ + "/comma";
    const test::BatchResult r =
        test::RunBatch({"--workbook", kFixtures + "/comma.xls", "--sheet", "Sheet1", "--template",
                        kFixtures + "/comma.fodt", "--from", "2", "--to", "2", "--save", out, "--name", "D"},
                       dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 document saved in " + out + "/\n");
    const std::string text = DocText(out + "/D2.doc", dir_);
    EXPECT_TRUE(Has(text, "ab2")) << text;
    EXPECT_TRUE(Has(text, "Person 2")) << text;
}

// True while a process of this user still has `piece` in its command line.
bool ProcessWith(const std::string& piece) {
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string cmdline = test::ReadWhole(it->path().string() + "/cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (Has(cmdline, piece)) return true;
    }
    return false;
}

// The office runs in a process group of its own, so an interrupt from the terminal reaches only
// the command: it must end the office before it leaves, and keep the documents already made.
TEST_F(OfficeBatchTest, InterruptEndsTheOffice) {
    const std::string out = dir_ + "/big";
    const std::string program = std::string(QM_PROGRAM_DIR) + "/quillmerge-batch";
    std::vector<std::string> args = {program,
                                     "--workbook",
                                     kFixtures + "/bench.xls",
                                     "--sheet",
                                     "Sheet1",
                                     "--template",
                                     kFixtures + "/bench.fodt",
                                     "--save",
                                     out,
                                     "--name",
                                     "R"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir_ + "/out.txt").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/err.txt").c_str(), O_WRONLY | O_CREAT, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);

    // Wait until the run is under way: two documents saved.
    int status = 0;
    bool exited = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (std::chrono::steady_clock::now() < deadline && !fs::exists(out + "/R2.doc")) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(exited) << test::ReadWhole(dir_ + "/err.txt");
    ASSERT_TRUE(fs::exists(out + "/R2.doc"));
    ASSERT_EQ(kill(pid, SIGINT), 0);
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!exited && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            exited = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(exited);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    // It says what was made and which rows were not.
    const std::string err = test::ReadWhole(dir_ + "/err.txt");
    EXPECT_TRUE(Has(err, "interrupted; the documents made so far are kept")) << err;
    EXPECT_TRUE(Has(err, "rows without a document: ")) << err;
    EXPECT_TRUE(Has(test::ReadWhole(dir_ + "/out.txt"), " saved in ")) << test::ReadWhole(dir_ + "/out.txt");
    EXPECT_FALSE(fs::exists(out + "/R200.doc"));
    EXPECT_TRUE(Has(DocText(out + "/R1.doc", dir_), "值1-1"));
    // The office of that run (its pipe name carries the command's process id) is gone.
    const std::string pipe = "quillmerge_" + std::to_string(pid) + "_";
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ProcessWith(pipe) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(ProcessWith(pipe));
}

}  // namespace
}  // namespace qm
