// WordHost's own rules, checked against a small server that records every call: what must
// not reach the office at all, a save the office claims but never wrote, and the bounded
// force-close loop.
#include "office_fixture.h"
#include "word/word_host.h"

namespace qm::test {
namespace {

using namespace qm::word;

struct Log {
    std::vector<std::string> calls;
    bool running = true;
    bool saveClaimsSuccess = true;
    bool saveWritesFile = true;
    // While set, the office counts as running until this file exists.
    std::string runningUntilFileExists;
};

class StubDocument : public Document {
  public:
    StubDocument(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
    std::string name() override { return name_; }
    void setSaved(bool) override { log_.calls.push_back("saved " + name_); }
    void close() override { log_.calls.push_back("close " + name_); }
    std::unique_ptr<Bookmarks> bookmarks() override { return nullptr; }
    bool saveAs(std::string_view path) override {
        log_.calls.push_back("saveAs " + std::string(path));
        if (log_.saveWritesFile) WriteFile(std::string(path), "doc");
        return log_.saveClaimsSuccess;
    }
    bool printOut() override {
        log_.calls.push_back("print " + name_);
        return true;
    }

  private:
    Log& log_;
    std::string name_;
};

class StubDocuments : public Documents {
  public:
    explicit StubDocuments(Log& log) : log_(log) {}
    std::unique_ptr<Document> add(std::string_view path) override {
        log_.calls.push_back("add " + std::string(path));
        return std::make_unique<StubDocument>(log_, "Untitled 1");
    }
    int count() override { return 1; }
    std::unique_ptr<Document> item(int index) override {
        return index == 1 ? std::make_unique<StubDocument>(log_, "Untitled 1") : nullptr;
    }
    std::unique_ptr<Document> item(std::string_view name) override {
        if (name != "Untitled 1") return nullptr;
        return std::make_unique<StubDocument>(log_, "Untitled 1");
    }

  private:
    Log& log_;
};

class StubApplication : public Application {
  public:
    explicit StubApplication(Log& log) : log_(log) {}
    void setVisible(bool) override { log_.calls.push_back("visible"); }
    std::unique_ptr<Documents> documents() override { return std::make_unique<StubDocuments>(log_); }
    void quit(int saveChanges) override { log_.calls.push_back("quit " + std::to_string(saveChanges)); }

  private:
    Log& log_;
};

class StubServer : public AutomationServer {
  public:
    explicit StubServer(Log& log) : log_(log) {}
    std::unique_ptr<Application> createApplication() override {
        log_.calls.push_back("create");
        return std::make_unique<StubApplication>(log_);
    }
    bool windowExists() override {
        if (!log_.runningUntilFileExists.empty()) return !fs::exists(log_.runningUntilFileExists);
        return log_.running;
    }

  private:
    Log& log_;
};

struct HostWithLog {
    explicit HostWithLog(std::string programFolder = "")
        : host(std::make_unique<WordHost>(std::make_unique<StubServer>(log), programFolder)) {
        log.running = false;
    }
    Log log;
    std::unique_ptr<WordHost> host;
};

TEST(WordHost, EmptyOrMissingTemplateSendsNothingToTheOffice) {
    ScratchFolder scratch;
    HostWithLog h;
    EXPECT_EQ(h.host->OpenTemplate(""), "");
    EXPECT_EQ(h.host->OpenTemplate(scratch / "missing.doc"), "");
    EXPECT_TRUE(h.log.calls.empty());

    WriteFile(scratch.path() / "t.doc", "t");
    EXPECT_EQ(h.host->OpenTemplate(scratch / "t.doc"), "Untitled 1");
    h.log.running = true;
    h.log.calls.clear();
    EXPECT_EQ(h.host->OpenTemplate(""), "Untitled 1");
    EXPECT_TRUE(h.log.calls.empty());

    // Missing file: the name is dropped, the open document is left alone.
    EXPECT_EQ(h.host->OpenTemplate(scratch / "missing.doc"), "");
    EXPECT_EQ(h.host->CurrentDocumentName(), "");
    EXPECT_TRUE(h.log.calls.empty());
}

TEST(WordHost, ReopeningClosesThePreviousDocumentUnsavedWithoutANewApplication) {
    ScratchFolder scratch;
    HostWithLog h;
    WriteFile(scratch.path() / "t.doc", "t");
    h.host->OpenTemplate(scratch / "t.doc");
    h.log.running = true;
    h.log.calls.clear();
    h.host->OpenTemplate(scratch / "t.doc");
    EXPECT_EQ(h.log.calls,
              (std::vector<std::string>{"saved Untitled 1", "close Untitled 1", "add " + scratch / "t.doc"}));
}

TEST(WordHost, SaveCountsOnlyWhenTheFileIsThere) {
    ScratchFolder scratch;
    HostWithLog h;
    EXPECT_FALSE(h.host->SaveDocumentAs(scratch / "none.doc"));  // no document at all
    WriteFile(scratch.path() / "t.doc", "t");
    h.host->OpenTemplate(scratch / "t.doc");
    h.log.running = true;

    EXPECT_TRUE(h.host->SaveDocumentAs(scratch / "a.doc"));
    h.log.saveWritesFile = false;
    EXPECT_FALSE(h.host->SaveDocumentAs(scratch / "b.doc"));  // claimed, but no file
    h.log.saveWritesFile = true;
    h.log.saveClaimsSuccess = false;
    EXPECT_FALSE(h.host->SaveDocumentAs(scratch / "c.doc"));  // file written, failure reported
}

TEST(WordHost, PrintWithoutADocumentPrintsNothing) {
    ScratchFolder scratch;
    HostWithLog h;
    h.log.running = true;
    std::string name;
    EXPECT_FALSE(h.host->PrintDocument(name));
    EXPECT_EQ(name, "");

    WriteFile(scratch.path() / "t.doc", "t");
    h.log.running = false;
    h.host->OpenTemplate(scratch / "t.doc");
    h.log.running = true;
    h.log.calls.clear();
    EXPECT_TRUE(h.host->PrintDocument(name));
    EXPECT_EQ(name, "Untitled 1");
    EXPECT_EQ(h.log.calls, (std::vector<std::string>{"print Untitled 1"}));
}

TEST(WordHost, EmptyNamesBecomeTheCurrentDocumentInTheCallersVariable) {
    ScratchFolder scratch;
    HostWithLog h;
    WriteFile(scratch.path() / "t.doc", "t");
    h.host->OpenTemplate(scratch / "t.doc");
    h.log.running = true;
    h.log.calls.clear();

    std::string name;
    h.host->CloseDocument(name);
    EXPECT_EQ(name, "Untitled 1");
    EXPECT_EQ(h.log.calls, (std::vector<std::string>{"saved Untitled 1", "close Untitled 1"}));

    std::string open;
    EXPECT_TRUE(h.host->IsDocumentOpen(open));
    EXPECT_EQ(open, "Untitled 1");
    std::string otherCase = "untitled 1", trailing = "Untitled 1 ";
    EXPECT_FALSE(h.host->IsDocumentOpen(otherCase));
    EXPECT_FALSE(h.host->IsDocumentOpen(trailing));

    // Without an office IsDocumentOpen answers before it looks at the name.
    h.log.running = false;
    std::string untouched;
    EXPECT_FALSE(h.host->IsDocumentOpen(untouched));
    EXPECT_EQ(untouched, "");
}

TEST(WordHost, QuitsTheRunningOfficeWhenDestroyed) {
    ScratchFolder scratch;
    HostWithLog h;
    WriteFile(scratch.path() / "t.doc", "t");
    h.host->OpenTemplate(scratch / "t.doc");
    h.log.running = true;
    h.host.reset();
    EXPECT_EQ(h.log.calls.back(), "quit 0");
    // An office that is not running is not asked to quit.
    HostWithLog idle;
    idle.host.reset();
    EXPECT_TRUE(idle.log.calls.empty());
}

TEST(WordHost, ForceCloseWithoutRunningOfficeStillReportsAMissingScriptFirst) {
    ScratchFolder program;
    HostWithLog h(program.path().string());
    RecordingDialogs dialogs(true);
    h.host->ForceCloseWord(dialogs);
    ASSERT_EQ(dialogs.entries.size(), 2u);
    EXPECT_TRUE(dialogs.entries[0].question);
    EXPECT_EQ(dialogs.entries[0].caption, "信息：");
    EXPECT_EQ(dialogs.entries[0].text,
              "如果选择“是”将强制关闭正在编辑的WORD文档和运行的WORD程序，对上次保存后修改的内容将丢失，"
              "确认要继续吗？");
    EXPECT_FALSE(dialogs.entries[1].question);
    EXPECT_EQ(dialogs.entries[1].caption, "信息：");
    EXPECT_EQ(dialogs.entries[1].text, "关闭Word进程脚本文件丢失，请与软件开发技术员联系或重新下载软件！");

    // With the script in place and no office, nothing is launched and nothing is said.
    fs::create_directories(program.path() / "vbs");
    const std::string marker = program / "launched";
    WriteFile(program.path() / "vbs/closeword.sh", "echo x >> " + Quote(marker) + "\n");
    RecordingDialogs quiet(true);
    h.host->ForceCloseWord(quiet);
    EXPECT_EQ(quiet.entries.size(), 1u);
}

TEST(WordHost, ForceCloseLaunchesTheScriptUntilTheOfficeIsGone) {
    ScratchFolder program;
    HostWithLog h(program.path().string());
    fs::create_directories(program.path() / "vbs");
    const std::string marker = program / "ended";
    WriteFile(program.path() / "vbs/closeword.sh", "touch " + Quote(marker) + "\n");
    h.log.runningUntilFileExists = marker;
    RecordingDialogs dialogs(true);
    h.host->ForceCloseWord(dialogs);
    EXPECT_EQ(dialogs.entries.size(), 1u);
    EXPECT_TRUE(fs::exists(marker));
}

TEST(WordHost, ForceCloseGivesUpOnAnOfficeThatWillNotEnd) {
    ScratchFolder program;
    HostWithLog h(program.path().string());
    fs::create_directories(program.path() / "vbs");
    WriteFile(program.path() / "vbs/closeword.sh", "exit 0\n");
    h.log.running = true;
    RecordingDialogs dialogs(true);
    h.host->ForceCloseWord(dialogs);  // returns after a bounded number of launches
    ASSERT_EQ(dialogs.entries.size(), 2u);
    EXPECT_FALSE(dialogs.entries[1].question);
    EXPECT_EQ(dialogs.entries[1].caption, "信息：");
    EXPECT_NE(dialogs.entries[1].text.find("未能关闭WORD程序"), std::string::npos);
}

}  // namespace
}  // namespace qm::test
