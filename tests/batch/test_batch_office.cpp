// quillmerge-batch end to end with the real office: saves and PDFs read back, --check and
// --list-bookmarks on what the office fills, a failed save, file names from a column, one PDF of
// every document, and an interrupt that must take the office along.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>

#include "common/fs.h"
#include "tests/batch/batch_runner.h"
#include "tests/support/command.h"
#include "tests/support/document_text.h"
#include "tests/support/files.h"
#include "tests/support/processes.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = QM_MERGE_FIXTURES;

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

class OfficeBatchTest : public testing::Test {
  protected:
    const test::TempFolder folder_{"office-batch"};
    const std::string dir_ = folder_.path();
};

TEST_F(OfficeBatchTest, SaveRunByPlainSheetName) {
    const std::string out = dir_ + "/made/here";
    const test::CommandResult r = test::RunBatch({"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1",
                                                  "--template", kFixtures + "/single.fodt", "--from", "3",
                                                  "--to", "5", "--save", out, "--name", "Letter"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3 documents saved in " + out + "/\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ListFiles(out, ""), (std::vector<std::string>{"Letter3.doc", "Letter4.doc", "Letter5.doc"}));
    EXPECT_TRUE(Has(test::CatdocText(out + "/Letter4.doc"), "Name: Person 4"));
}

TEST_F(OfficeBatchTest, MultiRowPdfRunOnAQuotedSheet) {
    const std::string out = dir_ + "/pdf";
    const test::CommandResult r = test::RunBatch(
        {"--workbook", kFixtures + "/rows.xls", "--sheet", "My Sheet", "--template",
         kFixtures + "/multi.fodt", "--multi-row", "--save", out, "--name", "P", "--format", "pdf"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 document saved in " + out + "/\n");
    EXPECT_EQ(ListFiles(out, ""), std::vector<std::string>{"P1.pdf"});
    const std::string text = test::PdfText(out + "/P1.pdf");
    EXPECT_TRUE(Has(text, "Alpha")) << text;
    EXPECT_TRUE(Has(text, "Beta")) << text;
}

// Raw values by default; with --values shown, what the sheet shows under its number formats.
TEST_F(OfficeBatchTest, ShownValuesOnRequest) {
    for (const char* values : {"raw", "shown"}) {
        SCOPED_TRACE(values);
        const std::string out = dir_ + "/" + values;
        std::vector<std::string> args = {"--workbook", kFixtures + "/formats.xlsx",
                                         "--sheet",    "Sheet1",
                                         "--template", kFixtures + "/formats.fodt",
                                         "--save",     out,
                                         "--name",     "F"};
        if (std::string(values) == "shown") args.insert(args.end(), {"--values", "shown"});
        const test::CommandResult r = test::RunBatch(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string text = test::CatdocText(out + "/F1.doc");
        const bool shown = std::string(values) == "shown";
        EXPECT_TRUE(Has(text, shown ? "Amount: ¥3,000.75" : "Amount: 3000.75")) << text;
        EXPECT_TRUE(Has(text, shown ? "Share: 25%" : "Share: 0.25")) << text;
        EXPECT_TRUE(Has(text, shown ? "Code: 001234" : "Code: 1234")) << text;
        EXPECT_TRUE(Has(text, shown ? "Day: 2024年3月5日" : "Day: 2024-03-05")) << text;
    }
}

// The names, then after a blank line who fills the template and, where it is not this program,
// why not; where it is, what a run does with each bookmark.
TEST_F(OfficeBatchTest, ListBookmarks) {
    const test::CommandResult r =
        test::RunBatch({"--template", kFixtures + "/multi.fodt", "--list-bookmarks"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "Name_1\nAge_1\nName_2\nAge_2\n\nfilled by: the office (not a Word document (.doc or .docx))\n");
    // With a sheet, which bookmarks its run fills: the office fills every one it is given.
    const test::CommandResult sheet =
        test::RunBatch({"--template", kFixtures + "/multi.fodt", "--workbook", kFixtures + "/rows.xls",
                        "--sheet", "Sheet1", "--multi-row", "--list-bookmarks"});
    EXPECT_EQ(sheet.status, 0) << sheet.err;
    EXPECT_TRUE(
        sheet.out.ends_with("(.doc or .docx))\nsheet: Sheet1 (multi-row)\n  Name_1: filled as text\n"
                            "  Age_1: filled as text\n  Name_2: filled as text\n  Age_2: filled as text\n"))
        << sheet.out;

    const test::CommandResult doc = test::RunBatch(
        {"--template", std::string(QM_PROGRAM_DIR) + "/模板/劳动合同.doc", "--list-bookmarks"});
    EXPECT_EQ(doc.status, 0) << doc.err;
    std::string expected =
        "姓名\n性别\n身份证号\n入职日期\n部门\n职位\n月薪\n\nfilled by: this program, without the office "
        "(the office only converts to PDF or ODT, and prints)\n";
    for (const char* name : {"姓名", "性别", "身份证号", "入职日期", "部门", "职位", "月薪"})
        expected += std::string("  ") + name + ": filled as text\n";
    EXPECT_EQ(doc.out, expected);
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
        const test::CommandResult r = test::RunBatch(args);
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
    const test::CommandResult r = test::RunBatch({"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1",
                                                  "--template", kFixtures + "/single.fodt", "--from", "1",
                                                  "--to", "3", "--save", out, "--name", "R"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "2 documents saved in " + out + "/\n");
    EXPECT_EQ(
        r.err,
        "quillmerge-batch: document 2 could not be saved (Is a directory)\nquillmerge-batch: rows without a "
        "document: 2\n");
    EXPECT_TRUE(Has(test::CatdocText(out + "/R3.doc"), "Name: Person 3"));
}

// A title that could not stand in a query's select list ("a,b") merges like any other: the run
// reads its columns by position.
TEST_F(OfficeBatchTest, TitleWithACommaMergesLikeAnyOther) {
    const std::string out = dir_ + "/comma";
    const test::CommandResult r =
        test::RunBatch({"--workbook", kFixtures + "/comma.xls", "--sheet", "Sheet1", "--template",
                        kFixtures + "/comma.fodt", "--from", "2", "--to", "2", "--save", out, "--name", "D"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 document saved in " + out + "/\n");
    const std::string text = test::CatdocText(out + "/D2.doc");
    EXPECT_TRUE(Has(text, "ab2")) << text;
    EXPECT_TRUE(Has(text, "Person 2")) << text;
}

// The office runs in a process group of its own, so an interrupt from the terminal reaches only
// the command: it must end the office before it leaves, and keep the documents already made.
// The batch command started in the background with `args`, its output going to `folder`/out.txt
// and err.txt; killed at the end of the test if it has not ended by then.
class BackgroundBatch {
  public:
    BackgroundBatch(std::vector<std::string> args, const std::string& folder) : folder_(folder) {
        const std::string program = std::string(QM_PROGRAM_DIR) + "/quillmerge-batch";
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (folder + "/out.txt").c_str(), O_WRONLY | O_CREAT,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, (folder + "/err.txt").c_str(), O_WRONLY | O_CREAT,
                                         0600);
        spawned_ = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~BackgroundBatch() {
        if (!spawned_ || ended()) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    bool spawned() const { return spawned_; }
    pid_t pid() const { return pid_; }
    bool ended() {
        if (!exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }
    int status() const { return status_; }
    std::string out() const { return test::ReadText(folder_ + "/out.txt"); }
    std::string err() const { return test::ReadText(folder_ + "/err.txt"); }

  private:
    std::string folder_;
    pid_t pid_ = 0;
    bool spawned_ = false;
    bool exited_ = false;
    int status_ = 0;
};

// A CSV of `rows` badge rows for the shipped 工作证 template (repeat mode).
std::string BadgeRows(const std::string& folder, int rows) {
    std::string csv = "编号,姓名,部门\n";
    for (int i = 1; i <= rows; ++i)
        csv += "N" + std::to_string(1000 + i) + ",甲" + std::to_string(i) + "乙,财务部\n";
    const std::string path = folder + "/rows.csv";
    int code = 0;
    ReplaceFile(path, std::vector<std::uint8_t>(csv.begin(), csv.end()), nullptr, code);
    return path;
}

std::vector<std::string> BadgePdfRun(const std::string& book, const std::string& out) {
    return {"--workbook", book,         "--sheet",
            "rows",       "--template", std::string(QM_PROGRAM_DIR) + "/模板/工作证.docx",
            "--repeat",   "--save",     out,
            "--name",     "证",         "--format",
            "pdf"};
}

TEST_F(OfficeBatchTest, InterruptEndsTheOffice) {
    const std::string out = dir_ + "/big";
    BackgroundBatch batch({"--workbook", kFixtures + "/bench.xls", "--sheet", "Sheet1", "--template",
                           kFixtures + "/bench.fodt", "--save", out, "--name", "R"},
                          dir_);
    ASSERT_TRUE(batch.spawned());
    const pid_t pid = batch.pid();
    const auto ended = [&] { return batch.ended(); };

    // Wait until the run is under way: two documents saved.
    test::WaitFor([&] { return ended() || fs::exists(out + "/R2.doc"); }, 300000);
    ASSERT_FALSE(ended()) << batch.err();
    ASSERT_TRUE(fs::exists(out + "/R2.doc"));
    ASSERT_EQ(kill(pid, SIGINT), 0);
    ASSERT_TRUE(test::WaitFor(ended, 120000));
    ASSERT_TRUE(WIFEXITED(batch.status()));
    EXPECT_EQ(WEXITSTATUS(batch.status()), 128 + SIGINT);
    // It says what was made and which rows were not.
    const std::string err = batch.err();
    EXPECT_TRUE(Has(err, "interrupted; the documents made so far are kept")) << err;
    EXPECT_TRUE(Has(err, "rows without a document: ")) << err;
    EXPECT_TRUE(Has(batch.out(), " saved in ")) << batch.out();
    EXPECT_FALSE(fs::exists(out + "/R200.doc"));
    EXPECT_TRUE(Has(test::CatdocText(out + "/R1.doc"), "值1-1"));
    // The office of that run (its pipe name carries the command's process id) is gone.
    const std::string pipe = "quillmerge_" + std::to_string(pid) + "_";
    EXPECT_TRUE(test::WaitFor([&] { return test::ProcessesMentioning(pipe).empty(); }, 30000));
}

// PDFs made by two offices side by side: one killed in the middle of the run, its documents
// are made again by an office started anew. Every row gets its PDF once, with its own text.
TEST_F(OfficeBatchTest, APdfRunGoesOnWhenOneOfItsOfficesIsKilled) {
    const std::string out = dir_ + "/pdf";
    const int rows = 160;
    std::vector<std::string> args = BadgePdfRun(BadgeRows(dir_, rows), out);
    args.insert(args.end(), {"--office-workers", "2"});
    BackgroundBatch batch(args, dir_);
    ASSERT_TRUE(batch.spawned());
    // The second office (its pipe name carries the command's process id and its slot) is killed
    // once both are converting.
    const std::string second = "quillmerge_" + std::to_string(batch.pid()) + "_10001";
    test::WaitFor(
        [&] {
            return batch.ended() ||
                   (fs::exists(out + "/证20.pdf") && !test::ProcessesMentioning(second).empty());
        },
        300000);
    ASSERT_FALSE(batch.ended()) << batch.err();
    const std::vector<pid_t> killed = test::ProcessesMentioning(second);
    ASSERT_FALSE(killed.empty());
    for (pid_t p : killed) kill(p, SIGKILL);
    ASSERT_TRUE(test::WaitFor([&] { return batch.ended(); }, 600000));
    ASSERT_TRUE(WIFEXITED(batch.status()));
    EXPECT_EQ(WEXITSTATUS(batch.status()), 0) << batch.err();
    EXPECT_EQ(batch.out(), std::to_string(rows) + " documents saved in " + out + "/\n");
    EXPECT_EQ(ListFiles(out, ".pdf").size(), static_cast<std::size_t>(rows));
    EXPECT_TRUE(ListFiles(out, "").size() == static_cast<std::size_t>(rows)) << "temporary files left";
    for (int row : {1, 20, 21, 80, 159, 160}) {
        std::string text = test::PdfText(out + "/证" + std::to_string(row) + ".pdf");
        std::erase(text, ' ');  // the PDF's text spaces out letters and digits set apart
        EXPECT_TRUE(Has(text, "N" + std::to_string(1000 + row))) << row << ": " << text;
        EXPECT_TRUE(Has(text, "甲" + std::to_string(row) + "乙")) << row << ": " << text;
    }
}

// An office that stops answering (stopped, as a hung one would be) is ended once its time is up
// and started again; its documents are converted once more, and the run ends with every PDF and
// a note of the restart. The offices' own temporary files go with their profiles: nothing is
// left in the temporary folder.
TEST_F(OfficeBatchTest, APdfRunGoesOnWhenOneOfItsOfficesStopsAnswering) {
    const std::string out = dir_ + "/pdf";
    const std::string temporary = dir_ + "/tmp";
    ASSERT_TRUE(fs::create_directory(temporary));
    const int rows = 120;
    std::vector<std::string> args = BadgePdfRun(BadgeRows(dir_, rows), out);
    args.insert(args.end(), {"--office-workers", "2", "--office-timeout", "5"});
    std::optional<BackgroundBatch> started;
    {
        // The command's temporary folder, not the test's.
        const test::ScopedEnvironment environment("TMPDIR", temporary);
        started.emplace(args, dir_);
    }
    BackgroundBatch& batch = *started;
    ASSERT_TRUE(batch.spawned());
    const std::string second = "quillmerge_" + std::to_string(batch.pid()) + "_10001";
    test::WaitFor(
        [&] {
            return batch.ended() ||
                   (fs::exists(out + "/证10.pdf") && !test::ProcessesMentioning(second).empty());
        },
        300000);
    ASSERT_FALSE(batch.ended()) << batch.err();
    const std::vector<pid_t> stopped = test::ProcessesMentioning(second);
    ASSERT_FALSE(stopped.empty());
    for (pid_t p : stopped) kill(p, SIGSTOP);
    ASSERT_TRUE(test::WaitFor([&] { return batch.ended(); }, 600000));
    // The stopped office was ended (its successor has another number).
    EXPECT_TRUE(test::WaitFor([&] { return test::ProcessesMentioning(second).empty(); }, 30000));
    ASSERT_TRUE(WIFEXITED(batch.status()));
    EXPECT_EQ(WEXITSTATUS(batch.status()), 0) << batch.err();
    EXPECT_EQ(batch.out(), std::to_string(rows) + " documents saved in " + out + "/\n");
    EXPECT_TRUE(Has(batch.err(), "office 2 did not answer")) << batch.err();
    EXPECT_EQ(ListFiles(out, ".pdf").size(), static_cast<std::size_t>(rows));
    for (int row : {1, 10, 60, 120}) {
        std::string text = test::PdfText(out + "/证" + std::to_string(row) + ".pdf");
        std::erase(text, ' ');
        EXPECT_TRUE(Has(text, "甲" + std::to_string(row) + "乙")) << row << ": " << text;
    }
    EXPECT_EQ(ListFiles(temporary, ""), std::vector<std::string>{}) << "left in the temporary folder";
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(temporary)) entries += entry.exists() ? 1 : 0;
    EXPECT_EQ(entries, 0u) << "folders left in the temporary folder";
}

// A value too long for the office to lay out fails its own row before the office sees it,
// naming the column; a temporary folder the office cannot work in stops the run before it
// begins, naming that folder rather than the output folder or the office.
TEST_F(OfficeBatchTest, AValueTooLargeForTheOfficeAndABadTemporaryFolderAreNamed) {
    std::string csv =
        "编号,姓名,部门\nN1,甲1乙,财务部\nN2,甲2乙," + std::string(1536 * 1024, 'x') + "\nN3,甲3乙,财务部\n";
    int code = 0;
    ASSERT_TRUE(
        ReplaceFile(dir_ + "/rows.csv", std::vector<std::uint8_t>(csv.begin(), csv.end()), nullptr, code));
    const std::string out = dir_ + "/pdf";
    const test::CommandResult r = test::RunBatch(BadgePdfRun(dir_ + "/rows.csv", out));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "2 documents saved in " + out + "/\n");
    EXPECT_TRUE(
        Has(r.err, "document 2 could not be saved (the value of 部门 is too large for the office (1.5 MB))"))
        << r.err;
    EXPECT_EQ(ListFiles(out, ""), (std::vector<std::string>{"证1.pdf", "证3.pdf"}));

    for (const std::string& folder : {dir_ + "/no such folder", dir_ + "/rows.csv"}) {
        SCOPED_TRACE(folder);
        std::string command = "TMPDIR=" + test::ShellQuote(folder) + " " +
                              test::ShellQuote(std::string(QM_PROGRAM_DIR) + "/quillmerge-batch");
        for (const std::string& a : BadgePdfRun(BadgeRows(dir_, 3), dir_ + "/other"))
            command += " " + test::ShellQuote(a);
        const test::CommandResult bad = test::RunCommand(command);
        EXPECT_EQ(bad.status, 1) << bad.err;
        EXPECT_EQ(bad.out, "0 documents saved\n");
        EXPECT_TRUE(Has(bad.err, "the temporary folder " + folder + " does not exist")) << bad.err;
        EXPECT_FALSE(Has(bad.err, "disk")) << bad.err;
        EXPECT_FALSE(Has(bad.err, "office could not")) << bad.err;
        EXPECT_EQ(ListFiles(dir_ + "/other", ""), std::vector<std::string>{});
    }
}

// An interrupt in a PDF run ends the office work at once: what was converted is kept, and the
// rows still queued are named as without a document.
TEST_F(OfficeBatchTest, InterruptingAPdfRunEndsTheConversionsAtOnce) {
    const std::string out = dir_ + "/pdf";
    BackgroundBatch batch(BadgePdfRun(BadgeRows(dir_, 3000), out), dir_);
    ASSERT_TRUE(batch.spawned());
    test::WaitFor([&] { return batch.ended() || fs::exists(out + "/证30.pdf"); }, 300000);
    ASSERT_FALSE(batch.ended()) << batch.err();
    ASSERT_EQ(kill(batch.pid(), SIGINT), 0);
    const auto interrupted = std::chrono::steady_clock::now();
    ASSERT_TRUE(test::WaitFor([&] { return batch.ended(); }, 120000));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - interrupted).count();
    std::cout << "the command ended " << seconds << " s after the interrupt\n";
    // A second is the aim; a loaded machine gets room, but not a whole run's worth.
    EXPECT_LT(seconds, 30.0);
    ASSERT_TRUE(WIFEXITED(batch.status()));
    EXPECT_EQ(WEXITSTATUS(batch.status()), 128 + SIGINT);
    const std::string said = batch.out();
    const std::size_t made = ListFiles(out, ".pdf").size();
    EXPECT_EQ(said, std::to_string(made) + " documents saved in " + out + "/\n");
    EXPECT_EQ(ListFiles(out, "").size(), made) << "temporary files left";
    EXPECT_LT(made, 3000u);
    EXPECT_TRUE(Has(batch.err(), "rows without a document: ")) << batch.err();
}

// A print run of the engine's documents: one job per row, named after the template and the row,
// spooled in row order although two offices convert side by side.
TEST_F(OfficeBatchTest, PrintRunSpoolsOneJobPerRowInRowOrder) {
    const std::string printed = "/var/spool/cups-pdf/quillmerge";
    if (test::RunCommand("LC_ALL=C lpstat -d 2>/dev/null").out.find("QuillmergePDF") == std::string::npos ||
        !fs::is_directory(printed))
        GTEST_SKIP() << "the virtual PDF printer is not the default (scripts/print-server.sh start)";
    const std::vector<std::string> before = ListFiles(printed, ".pdf");
    const int rows = 8;
    const test::CommandResult r = test::RunBatch(
        {"--workbook", BadgeRows(dir_, rows), "--sheet", "rows", "--template",
         std::string(QM_PROGRAM_DIR) + "/模板/工作证.docx", "--repeat", "--print", "--office-workers", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::to_string(rows) + " documents sent to the default printer\n");
    // The printer names each file after the job's title (工作证-N, its bytes in octal) and id.
    const std::string title = "345_267_245_344_275_234_350_257_201-";
    std::map<int, int> rowByJob;
    test::WaitFor(
        [&] {
            rowByJob.clear();
            for (const std::string& name : ListFiles(printed, ".pdf")) {
                if (std::find(before.begin(), before.end(), name) != before.end() || !name.starts_with(title))
                    continue;
                const std::size_t job = name.rfind("job_");
                if (job == std::string::npos) continue;
                rowByJob[std::atoi(name.c_str() + job + 4)] = std::atoi(name.c_str() + title.size());
            }
            return rowByJob.size() >= static_cast<std::size_t>(rows);
        },
        120000);
    ASSERT_EQ(rowByJob.size(), static_cast<std::size_t>(rows));
    int expected = 1;
    for (const auto& [job, row] : rowByJob) EXPECT_EQ(row, expected++) << "job " << job;
}

class OfficeBatchOutputTest : public testing::Test {
  protected:
    const test::TempFolder folder_{"office-batch-outputs"};
    const std::string dir_ = folder_.path();
};

// A template with one bookmark no column fills: --check names it and fails; a run goes on and
// names it too.
TEST_F(OfficeBatchOutputTest, TheOneBookmarkThatMatchesNothing) {
    const std::vector<std::string> inputs = {"--workbook", kFixtures + "/rows.xls",  "--sheet", "Sheet1",
                                             "--template", kFixtures + "/extra.fodt"};
    std::vector<std::string> args = inputs;
    args.push_back("--check");
    test::CommandResult r = test::RunBatch(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out,
              "mode: single-row\nbookmarks filled: 2 of 3\nfilled bookmarks:\n  Name\n  Age\n"
              "empty bookmarks (no column fills them):\n  Missing\ncolumns that fill no bookmark:\n  City\n");

    args = inputs;
    args.insert(args.end(), {"--to", "1", "--save", dir_ + "/out", "--name", "D"});
    r = test::RunBatch(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "quillmerge-batch: bookmarks no column fills stay as in the template: Missing\n");
    EXPECT_EQ(ListFiles(dir_ + "/out", ""), std::vector<std::string>{"D1.doc"});
}

TEST_F(OfficeBatchOutputTest, SingleFileAndNameColumn) {
    const std::string out = dir_ + "/out";
    test::CommandResult r = test::RunBatch({"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1",
                                            "--template", kFixtures + "/single.fodt", "--to", "4", "--save",
                                            out, "--name", "全部", "--format", "pdf", "--single-file"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 PDF file holding 4 documents saved as " + out + "/全部.pdf\n");
    EXPECT_EQ(ListFiles(out, ""), std::vector<std::string>{"全部.pdf"});
    EXPECT_EQ(test::PdfPages(out + "/全部.pdf"), 4);

    r = test::RunBatch({"--workbook", kFixtures + "/names.xls", "--sheet", "Sheet1", "--template",
                        kFixtures + "/single.fodt", "--from", "12", "--to", "13", "--save", out, "--name",
                        "合同", "--format", "docx", "--name-column", "名字"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ListFiles(out, ".docx"), (std::vector<std::string>{"合同_TOM(2).docx", "合同_Tom.docx"}));
    EXPECT_TRUE(Has(test::FlatText(out + "/合同_TOM(2).docx"), "Name:Row13"));
}

}  // namespace
}  // namespace qm
