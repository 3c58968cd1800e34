// The window with the real office: closing it ends the office, and the whole save workflow on
// the shipped samples, read back from the documents; a print run at the virtual PDF printer.

#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QProgressBar>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/gui/page_model.h"
#include "app/gui/qt_text.h"
#include "common/fs.h"
#include "common/text.h"
#include "test_gui_support.h"
#include "tests/support/command.h"
#include "tests/support/document_text.h"
#include "tests/support/processes.h"
#include "tests/support/temp_folder.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace fs = std::filesystem;

namespace qm::test {
namespace {

// The offices this test process started through the program (their profiles carry its id).
std::vector<pid_t> ProgramOffices() {
    return ProcessesMentioning("quillmerge-office-" + std::to_string(getpid()) + "-");
}

// The title in a PDF's information, with the escapes of a PDF string undone; "" without one.
std::string PdfTitle(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes)) return {};
    const std::string text(bytes.begin(), bytes.end());
    std::size_t at = text.find("/Title(");
    if (at == std::string::npos) return {};
    std::string title;
    int depth = 0;
    for (at += 7; at < text.size(); ++at) {
        const char c = text[at];
        if (c == ')' && depth == 0) break;
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c != '\\' || at + 1 >= text.size()) {
            title += c;
            continue;
        }
        const char next = text[++at];
        if (next >= '0' && next <= '7') {
            int value = 0;
            for (int i = 0; i < 3 && at < text.size() && text[at] >= '0' && text[at] <= '7'; ++i, ++at)
                value = value * 8 + (text[at] - '0');
            --at;
            title += static_cast<char>(value);
        } else {
            title += next;
        }
    }
    return title;
}

class OfficeWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        UseShippedSamples();
        UseServer(word::MakeLibreOffice());
        StartWindow();
    }

    // The first sample workbook with its first sheet, and the first template whose bookmarks
    // match a title and that fills one row per document.
    bool ChooseSamples() {
        if (Combo("文件选择组合框")->count() < 2) return false;
        ChooseIndex("文件选择组合框", 0);
        if (Combo("工作表选择组合框")->count() < 1) return false;
        ChooseIndex("工作表选择组合框", 0);
        for (int i = 0; i + 1 < Combo("模板选择组合框")->count(); ++i) {
            ChooseIndex("模板选择组合框", i);
            const std::string bookmarks = JoinList(state->templateBookmarks);
            if (!state->matchedTitles.empty() && bookmarks.find("_1") == std::string::npos &&
                bookmarks.find("_c1") == std::string::npos)
                return true;
        }
        return false;
    }

    // The template chosen by ChooseSamples again, as a file only the office reads (its source,
    // under a .doc name): choosing it starts the office, and runs go through the office.
    bool ChooseOfficeTemplate() {
        const std::string base = StripExtension(gui::FromQ(Combo("模板选择组合框")->currentText()));
        const std::string source = std::string(QM_SOURCE_DIR) + "/resources/templates/" + base + ".fodt";
        std::error_code error;
        fs::copy_file(fs::u8path(source), fs::u8path(programFolder + "/模板/" + base + "办公.doc"), error);
        if (error) return false;
        gui::MainWindow::FillFileList(settings->GetWordPath(), ".doc", Combo("模板选择组合框"));
        ChooseIndex("模板选择组合框", Combo("模板选择组合框")->findText(gui::ToQ(base + "办公.doc")));
        return host->CurrentRoute() == word::Route::Office && !state->matchedTitles.empty();
    }

    // Column index of each matched title in the grid.
    std::vector<int> MatchedColumns() const {
        std::vector<int> columns;
        for (const std::string& title : state->matchedTitles)
            for (int c = 0; c < window->pageModel().columnCount(); ++c)
                if (gui::FromQ(window->pageModel().title(c)) == title) columns.push_back(c);
        return columns;
    }
};

TEST_F(OfficeWindowTest, SaveRunOverTheSamplesWritesTheRows) {
    ASSERT_TRUE(ChooseSamples()) << "the shipped sample workbook and templates are missing or do not match";
    const std::vector<int> columns = MatchedColumns();
    ASSERT_FALSE(columns.empty());

    SetRange(QStringLiteral("2"), QStringLiteral("4"));
    const std::string templateBase = StripExtension(gui::FromQ(Combo("模板选择组合框")->currentText()));
    const std::string out = programFolder + "/用户文档/" + templateBase + "/";
    int progressSeen = 0;
    window->setProgressObserver([&](int position) {
        if (Find<QProgressBar>("进度条1")->isVisible()) progressSeen = position;
    });
    dialogs.answerFile(out + "结果.doc");
    dialogs.answerYes();
    Click("插入并保存按钮");
    EXPECT_EQ(progressSeen, 3);
    EXPECT_FALSE(Find<QProgressBar>("进度条1")->isVisible());
    // The program reads and fills the samples itself: no office was needed.
    EXPECT_EQ(ChildProcessCount("soffice.bin"), 0);
    ASSERT_EQ(dialogs.messages().back()->text, "完成！已生成 3 个文档。是否打开存放文档所在文件夹？");

    for (int row = 2; row <= 4; ++row) {
        const std::string file = out + "结果" + IntToText(row) + ".doc";
        ASSERT_TRUE(FileExists(file)) << file;
        // Read through the piece table, without wrapping, and with the paragraph breaks out, a
        // value reads as one piece.
        const std::string text =
            ReplaceAll(RunCommand("antiword -w 0 -m UTF-8.txt " + ShellQuote(file)).out, "\n", "");
        for (int column : columns) {
            const std::string value = gui::FromQ(window->pageModel().cell(row - 1, column));
            if (!value.empty()) {
                EXPECT_NE(text.find(value), std::string::npos) << file << ": " << value;
            }
        }
    }
    EXPECT_FALSE(FileExists(out + "结果1.doc"));
    EXPECT_FALSE(FileExists(out + "结果5.doc"));
}

TEST_F(OfficeWindowTest, PrintRunSendsOneJobPerRow) {
    const std::string destination = RunCommand("lpstat -d").out;
    if (destination.find("QuillmergePDF") == std::string::npos)
        GTEST_SKIP() << "no virtual PDF printer as the default (scripts/print-server.sh start)";
    const std::string spool = "/var/spool/cups-pdf/quillmerge";
    ASSERT_TRUE(ChooseSamples());
    const std::vector<std::string> old = FilesIn(spool, ".pdf");
    const std::set<std::string> before(old.begin(), old.end());
    SetRange(QStringLiteral("1"), QStringLiteral("2"));
    // The printer the system prints to is named before the first job.
    window->setPrinterSource({});
    dialogs.answerYes();
    Click("插入并打印按钮");
    ASSERT_FALSE(dialogs.messages().empty());
    EXPECT_EQ(dialogs.messages().front()->text,
              "将打印 2 份文档，打印机：“QuillmergePDF”。\r\n是否开始打印？");
    EXPECT_TRUE(window->isVisible());
    ASSERT_FALSE(dialogs.messages().empty());
    EXPECT_NE(dialogs.messages().back()->text.find("打印作业已经发送到打印机"), std::string::npos);
    // Each job is named after the template and its row; the printer titles its PDF so. Other
    // tests may print at the same time (ctest runs two at once), so the PDFs are told apart by
    // their titles; a PDF still being written has no title yet.
    std::set<std::string> titles;
    const bool arrived = WaitForEvents(
        [&] {
            titles.clear();
            for (const std::string& file : FilesIn(spool, ".pdf")) {
                if (before.count(file)) continue;
                if (const std::string title = PdfTitle(file); title.starts_with("(劳动合同-"))
                    titles.insert(title);
            }
            return titles.size() >= 2;
        },
        150000);
    EXPECT_TRUE(arrived) << "jobs at " << spool;
    EXPECT_EQ(titles, (std::set<std::string>{"(劳动合同-1)", "(劳动合同-2)"}));
}

// What a new user does first: PDFs named after each person, then one PDF of all of them.
TEST_F(OfficeWindowTest, NamedPdfsAndOnePdfOfAllFromTheSamples) {
    ASSERT_TRUE(ChooseSamples());
    ASSERT_EQ(gui::FromQ(Combo("模板选择组合框")->currentText()), "劳动合同.doc");
    EXPECT_EQ(Text("书签匹配标签"), QStringLiteral("匹配 7/7 书签"));
    SetRange(QStringLiteral("1"), QStringLiteral("3"));
    const std::string out = programFolder + "/用户文档/劳动合同/";
    dialogs.answerFile(out + "合同.doc", 2);  // PDF
    dialogs.answerChoice(2);                  // the names: 编号 is item 1, 姓名 item 2
    dialogs.answerYes();
    // While the office converts, nothing of its own (lock files, temporary files) is in the
    // user's folder: a run killed then would leave it there.
    std::set<std::string> seenDuringRun;
    window->setProgressObserver([&](int) {
        for (const std::string& name : EntryNames(out)) seenDuringRun.insert(name);
    });
    Click("插入并保存按钮");
    window->setProgressObserver({});
    for (const std::string& name : seenDuringRun)
        EXPECT_TRUE(name.starts_with("合同_") && name.ends_with(".pdf")) << name;
    ASSERT_EQ(dialogs.messages().back()->text, "完成！已生成 3 个文档。是否打开存放文档所在文件夹？");
    const char* const people[] = {"林晓峰", "陈雅婷", "王建国"};
    int pagesEach = 0;
    for (const char* person : people) {
        const std::string file = out + "合同_" + person + ".pdf";
        ASSERT_TRUE(FileExists(file)) << file;
        EXPECT_TRUE(RunCommand("file -b " + ShellQuote(file)).out.starts_with("PDF document"));
        EXPECT_NE(PdfText(file).find(std::string("乙方（劳动者）：") + person), std::string::npos);
        pagesEach = PdfPages(file);
    }
    EXPECT_GT(pagesEach, 0);

    dialogs.calls.clear();
    dialogs.answerFile(out + "全部.pdf", 4);  // one PDF of every document
    dialogs.answerYes();
    Click("插入并保存按钮");
    ASSERT_EQ(dialogs.messages().back()->text,
              "完成！已将 3 个文档合为一个PDF文件。是否打开存放文档所在文件夹？");
    const std::string all = out + "全部.pdf";
    EXPECT_EQ(PdfPages(all), 3 * pagesEach);
    const std::string text = PdfText(all);
    const std::size_t first = text.find("林晓峰"), second = text.find("陈雅婷"), third = text.find("王建国");
    EXPECT_NE(third, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    // Only the documents of the two runs are left in the folder.
    const std::vector<std::string> entries = EntryNames(out);
    for (const std::string& name : entries) EXPECT_FALSE(name.starts_with(".~qm")) << name;
    EXPECT_EQ(entries.size(), 4u);
}

TEST_F(OfficeWindowTest, ClosingTheWindowEndsTheOffice) {
    ASSERT_TRUE(ChooseSamples());
    // Choosing a template the program reads itself starts no office.
    EXPECT_EQ(ChildProcessCount("soffice.bin"), 0);
    ASSERT_NE(host->OpenTemplate(host->CurrentTemplatePath(), word::Route::Office), "");
    ASSERT_GE(ChildProcessCount("soffice.bin"), 1);
    window->close();
    EXPECT_FALSE(window->isVisible());
    window.reset();
    gui::ProgramEndCleanup(objects);
    EXPECT_TRUE(WaitForEvents([] { return ChildProcessCount("soffice.bin") == 0; }, 30000));
}

// The office went away between two runs (the user closed it): the next run starts it again and
// writes every document, without a word about bookmarks.
TEST_F(OfficeWindowTest, OfficeClosedBetweenRunsThenEveryDocumentIsWritten) {
    ASSERT_TRUE(ChooseSamples());
    ASSERT_TRUE(ChooseOfficeTemplate());
    ASSERT_EQ(ProgramOffices().size(), 1u);
    SetRange(QStringLiteral("1"), QStringLiteral("2"));
    const std::string out = programFolder + "/用户文档/" +
                            StripExtension(gui::FromQ(Combo("模板选择组合框")->currentText())) + "/";
    dialogs.answerFile(out + "一.doc");
    dialogs.answerYes();
    Click("插入并保存按钮");
    ASSERT_EQ(dialogs.messages().back()->text, "完成！已生成 2 个文档。是否打开存放文档所在文件夹？");

    for (pid_t pid : ProgramOffices()) ::kill(pid, SIGKILL);
    ASSERT_TRUE(WaitForEvents([] { return ProgramOffices().empty(); }, 30000));
    dialogs.calls.clear();
    dialogs.answerFile(out + "二.doc");
    dialogs.answerYes();
    SetRange(QStringLiteral("1"), QStringLiteral("3"));
    Click("插入并保存按钮");
    EXPECT_EQ(dialogs.messages().back()->text, "完成！已生成 3 个文档。是否打开存放文档所在文件夹？");
    for (const char* name : {"一1.doc", "一2.doc", "二1.doc", "二2.doc", "二3.doc"})
        EXPECT_TRUE(FileExists(out + name)) << name;
}

// Force close ends the office this program started, and leaves alone one the user started.
TEST_F(OfficeWindowTest, ForceCloseLeavesTheUsersOwnOffice) {
    std::error_code error;
    fs::copy(fs::u8path(std::string(QM_PROGRAM_DIR) + "/vbs"), fs::u8path(programFolder + "/vbs"),
             fs::copy_options::recursive, error);
    ASSERT_FALSE(error);
    const TempFolder ownProfileFolder("gui-own-office");
    const std::string ownProfile = ownProfileFolder.path();
    const pid_t own = fork();
    ASSERT_GE(own, 0);
    if (own == 0) {
        setpgid(0, 0);
        const std::string profile = "-env:UserInstallation=file://" + ownProfile;
        execlp("soffice", "soffice", "--headless", "--invisible", "--norestore", "--nologo", profile.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    // The user's office goes when the test ends, however it ends.
    struct EndOwnOffice {
        pid_t own;
        const std::string& profile;
        ~EndOwnOffice() {
            ::kill(-own, SIGKILL);
            for (pid_t pid : ProcessesMentioning(profile)) ::kill(pid, SIGKILL);
            int status = 0;
            waitpid(own, &status, 0);
        }
    } endOwnOffice{own, ownProfile};
    ASSERT_TRUE(WaitForEvents([&] { return !ProcessesMentioning(ownProfile).empty(); }, 60000));

    ASSERT_TRUE(ChooseSamples());
    ASSERT_TRUE(ChooseOfficeTemplate());
    ASSERT_TRUE(host->IsWordRunning());
    // The offices that convert to PDF are the program's too, and go with the rest.
    host->SetMoreOffices(word::MakeLibreOffice, 2);
    host->StartConvertingOffices();
    ASSERT_TRUE(WaitForEvents([] { return ProgramOffices().size() >= 2; }, 60000)) << ProgramOffices().size();
    dialogs.answerYes();
    QAction* forceClose = nullptr;
    for (QAction* action : window->findChildren<QAction*>())
        if (action->text() == QStringLiteral("强制关闭WORD程序（不保存）(&C)")) forceClose = action;
    ASSERT_NE(forceClose, nullptr);
    forceClose->trigger();
    EXPECT_FALSE(host->IsWordRunning());
    EXPECT_TRUE(WaitForEvents([] { return ProgramOffices().empty(); }, 30000));
    EXPECT_FALSE(ProcessesMentioning(ownProfile).empty()) << "the user's own office was ended";
    // Every office that ended is collected, not left <defunct>, and its profile folder is gone.
    EXPECT_TRUE(WaitForEvents([] { return ZombieChildCount() == 0; }, 10000)) << ZombieChildCount();
    const std::string profiles = "quillmerge-office-" + std::to_string(getpid()) + "-";
    const auto profilesLeft = [&] {
        int left = 0;
        for (const auto& entry : fs::directory_iterator("/tmp"))
            if (entry.path().filename().string().starts_with(profiles)) ++left;
        return left;
    };
    EXPECT_TRUE(WaitForEvents([&] { return profilesLeft() == 0; }, 10000)) << profilesLeft();
}

}  // namespace
}  // namespace qm::test
