// WordHost's own rules, over the in-memory office and the real document engine: which of the
// two makes a working document, what a save leaves on disk, and the forced close.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/fs.h"
#include "office_fixture.h"
#include "tests/support/fake_office.h"
#include "tests/support/small_disk.h"
#include "tests/support/test_docx.h"
#include "word/engine/doc_template.h"
#include "word/engine_document.h"
#include "word/office_document.h"
#include "word/word_host.h"

namespace qm::test {
namespace {

using word::Route;
using word::WordHost;

struct Host {
    explicit Host(std::string programFolder = "") {
        auto fake = std::make_unique<FakeOffice>();
        office = fake.get();
        host = std::make_unique<WordHost>(std::move(fake), programFolder);
    }
    FakeOffice* office;  // owned by the host
    std::unique_ptr<WordHost> host;
};

std::string SampleTemplate() {
    return std::string(QM_PROGRAM_DIR) + "/模板/劳动合同.doc";
}

TEST(WordHost, EmptyOrMissingTemplateSendsNothingToTheOffice) {
    TempFolder scratch("word");
    Host h;
    EXPECT_EQ(h.host->OpenTemplate(""), "");
    EXPECT_EQ(h.host->OpenTemplate(scratch / "missing.doc"), "");
    EXPECT_EQ(h.office->applicationsStarted(), 0);

    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}}));
    EXPECT_EQ(h.host->OpenTemplate(scratch / "t.fake"), "Untitled 1");
    EXPECT_EQ(h.host->CurrentRoute(), Route::Office);
    EXPECT_EQ(h.host->OpenTemplate(""), "Untitled 1");
    EXPECT_EQ(h.office->documentsCreated(), 1);

    // The office's hidden bookmarks are neither listed nor filled.
    ASSERT_TRUE(WriteFakeTemplate(scratch / "hidden.fake", {{"_GoBack", ""}, {"A", "a"}, {"_Toc1", "t"}}));
    EXPECT_EQ(h.host->OpenTemplate(scratch / "hidden.fake"), "Untitled 2");
    EXPECT_EQ(h.host->ListBookmarks(), "A");
    EXPECT_FALSE(h.host->SetBookmarkText("_Toc1", "x"));

    // A missing file: the name is dropped and nothing is asked of the office.
    EXPECT_EQ(h.host->OpenTemplate(scratch / "missing.doc"), "");
    EXPECT_EQ(h.host->CurrentDocumentName(), "");
    EXPECT_EQ(h.office->documentsCreated(), 2);
}

// A template the engine reads never starts the office: listing, filling and saving in its own
// format all happen here.
TEST(WordHost, AWordTemplateIsFilledWithoutTheOffice) {
    TempFolder scratch("word");
    Host h;
    EXPECT_EQ(h.host->OpenTemplate(SampleTemplate()), "Untitled 1");
    EXPECT_EQ(h.host->CurrentRoute(), Route::Engine);
    EXPECT_EQ(h.host->ListBookmarks(), "姓名\r\n性别\r\n身份证号\r\n入职日期\r\n部门\r\n职位\r\n月薪");
    EXPECT_TRUE(h.host->SetBookmarkText("姓名", "张三"));
    EXPECT_FALSE(h.host->SetBookmarkText("无此书签", "x"));
    EXPECT_FALSE(h.host->BookmarkExists("姓"));
    const word::SaveResult saved = h.host->SaveDocumentAs(scratch / "合同1.doc");
    EXPECT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(h.office->applicationsStarted(), 0);
    EXPECT_FALSE(h.host->IsWordRunning());

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(scratch / "合同1.doc", bytes));
    engine::DocContents contents;
    std::string error;
    ASSERT_TRUE(engine::ReadDocContents(bytes, contents, error)) << error;
    const auto name = std::find_if(contents.bookmarks.begin(), contents.bookmarks.end(),
                                   [](const engine::DocBookmark& b) { return b.name == "姓名"; });
    ASSERT_NE(name, contents.bookmarks.end());
    EXPECT_TRUE(name->text == u"张三");
    EXPECT_EQ(EntryNames(scratch.path()), std::vector<std::string>{"合同1.doc"});

    // Asked for the office, the same template goes there.
    h.host->OpenTemplate(SampleTemplate(), Route::Office);
    EXPECT_EQ(h.host->CurrentRoute(), Route::Office);
    EXPECT_EQ(h.office->applicationsStarted(), 1);
}

TEST(WordHost, ReopeningClosesThePreviousDocumentUnsaved) {
    TempFolder scratch("word");
    Host h;
    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}}));
    h.host->OpenTemplate(scratch / "t.fake");
    h.host->OpenTemplate(scratch / "t.fake");
    EXPECT_EQ(h.office->documentsCreated(), 2);
    EXPECT_EQ(h.office->openDocumentNames(), std::vector<std::string>{"Untitled 2"});
    EXPECT_EQ(h.office->applicationsStarted(), 1);
}

// A failed save keeps the earlier document of that name and leaves nothing partial behind.
// (The in-memory office writes its own format, so these files end in .fake.)
TEST(WordHost, FailedSavesKeepTheEarlierFileAndLeaveNothingBehind) {
    TempFolder scratch("word");
    Host h;
    EXPECT_FALSE(h.host->SaveDocumentAs(scratch / "none.fake").ok);  // no document at all
    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}}));
    h.host->OpenTemplate(scratch / "t.fake");
    WriteText(scratch / "a.fake", "earlier");

    h.office->failSaves([](std::string_view) { return true; });
    EXPECT_FALSE(h.host->SaveDocumentAs(scratch / "a.fake").ok);
    h.office->failSaves(nullptr);
    h.office->dropSaves([](std::string_view) { return true; });  // claimed, but no file
    EXPECT_FALSE(h.host->SaveDocumentAs(scratch / "a.fake").ok);
    EXPECT_EQ(ReadText(scratch / "a.fake"), "earlier");
    EXPECT_EQ(EntryNames(scratch.path()), (std::vector<std::string>{"a.fake", "t.fake"}));

    h.office->dropSaves(nullptr);
    EXPECT_TRUE(h.host->SaveDocumentAs(scratch / "a.fake").ok);
    BookmarkTexts texts;
    EXPECT_TRUE(ReadFakeDocument(scratch / "a.fake", texts));

    // A value the office refused makes the save fail: the document would lack it.
    h.host->OpenTemplate(scratch / "t.fake");
    h.office->failWrites([](std::string_view) { return true; });
    EXPECT_TRUE(h.host->SetBookmarkText("A", "value"));
    EXPECT_FALSE(h.host->SaveDocumentAs(scratch / "b.fake").ok);
    EXPECT_FALSE(fs::exists(scratch / "b.fake"));
}

// A link named like the output is replaced by the document, never written through.
TEST(WordHost, ALinkAtTheOutputNameIsReplacedNotFollowed) {
    TempFolder scratch("word");
    Host h;
    fs::create_directories(scratch / "out");
    WriteText(scratch / "elsewhere.doc", "do not touch");
    fs::create_symlink(scratch / "elsewhere.doc", scratch / "out/合同1.doc");
    h.host->OpenTemplate(SampleTemplate());
    h.host->SetBookmarkText("姓名", "李四");
    ASSERT_TRUE(h.host->SaveDocumentAs(scratch / "out/合同1.doc").ok);
    EXPECT_EQ(ReadText(scratch / "elsewhere.doc"), "do not touch");
    EXPECT_FALSE(fs::is_symlink(scratch / "out/合同1.doc"));
    EXPECT_TRUE(engine::VerifyContainer(
        [&] {
            std::vector<std::uint8_t> b;
            ReadFileBytes(scratch / "out/合同1.doc", b);
            return b;
        }(),
        engine::Format::Doc));
}

// The save that finds the disk full fails as such, the earlier document of its name stays as it
// was, and nothing empty or partial is left.
TEST(WordHost, AFullDiskFailsTheSaveAndKeepsTheEarlierFile) {
    TempFolder scratch("word");
    SmallDisk disk(scratch / "disk");
    if (!disk.mounted()) GTEST_SKIP() << "a small file system cannot be mounted here";
    Host h;
    h.host->OpenTemplate(SampleTemplate());
    h.host->SetBookmarkText("姓名", "第一份");
    ASSERT_TRUE(h.host->SaveDocumentAs(scratch / "disk/earlier.doc").ok);
    std::vector<std::uint8_t> earlier;
    ASSERT_TRUE(ReadFileBytes(scratch / "disk/earlier.doc", earlier));
    word::SaveResult last;
    int saved = 0;
    for (int i = 1; i <= 20; ++i) {
        last = h.host->SaveDocumentAs(scratch / ("disk/d" + std::to_string(i) + ".doc"));
        if (!last.ok) break;
        ++saved;
    }
    EXPECT_FALSE(last.ok);
    EXPECT_TRUE(last.diskFull) << last.error;
    EXPECT_GT(saved, 0);
    h.host->SetBookmarkText("姓名", "第二份");
    EXPECT_FALSE(h.host->SaveDocumentAs(scratch / "disk/earlier.doc").ok);
    std::vector<std::uint8_t> after;
    ASSERT_TRUE(ReadFileBytes(scratch / "disk/earlier.doc", after));
    EXPECT_TRUE(after == earlier);
    for (const auto& entry : fs::directory_iterator(scratch / "disk")) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name.rfind(".~qm-", 0), 0u) << name;
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadFileBytes(entry.path().string(), bytes));
        EXPECT_TRUE(engine::VerifyContainer(bytes, engine::Format::Doc)) << name;
    }
}

TEST(WordHost, PrintingNeedsADocumentAndNamesTheJob) {
    TempFolder scratch("word");
    Host h;
    EXPECT_FALSE(h.host->PrintDocument());
    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}}));
    h.host->OpenTemplate(scratch / "t.fake");
    EXPECT_TRUE(h.host->PrintDocument("合同3"));
    EXPECT_TRUE(h.host->PrintDocument());
    ASSERT_EQ(h.office->printJobs().size(), 2u);
    EXPECT_EQ(h.office->printJobs()[0].document, "合同3");
    EXPECT_EQ(h.office->printJobs()[1].document, "Untitled 1");
}

TEST(WordHost, NamesAreExactAndADocumentClosedInTheOfficeIsGone) {
    TempFolder scratch("word");
    Host h;
    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}}));
    h.host->OpenTemplate(scratch / "t.fake");
    EXPECT_TRUE(h.host->IsDocumentOpen());
    EXPECT_TRUE(h.host->IsDocumentOpen("Untitled 1"));
    EXPECT_FALSE(h.host->IsDocumentOpen("untitled 1"));
    EXPECT_FALSE(h.host->IsDocumentOpen("Untitled 1 "));
    h.office->closeEveryDocument();
    EXPECT_FALSE(h.host->IsDocumentOpen());
    EXPECT_EQ(h.host->ListBookmarks(), "");
    // Closing keeps the name current, as the office leaves it.
    h.host->OpenTemplate(scratch / "t.fake");
    h.host->CloseDocument();
    EXPECT_EQ(h.host->CurrentDocumentName(), "Untitled 2");
    EXPECT_FALSE(h.host->IsDocumentOpen());
}

TEST(WordHost, QuitsTheRunningOfficeWhenDestroyed) {
    TempFolder scratch("word");
    Host h;
    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}}));
    h.host->OpenTemplate(scratch / "t.fake");
    bool quit = false;
    h.office->onQuit([&] { quit = true; });
    h.host.reset();
    EXPECT_TRUE(quit);
    // An office that was never started is not asked to quit.
    Host idle;
    bool asked = false;
    idle.office->onQuit([&] { asked = true; });
    idle.host.reset();
    EXPECT_FALSE(asked);
}

// A closed engine document forgets its values: nothing is left to list, save or print, and no
// bookmark counts as left.
TEST(WordHost, AClosedEngineDocumentHasNothingLeft) {
    TempFolder scratch("word");
    Host h;
    h.host->OpenTemplate(SampleTemplate());
    EXPECT_TRUE(h.host->SetBookmarkText("姓名", "张三"));
    h.host->CloseDocument("Untitled 2");  // another name: nothing happens
    EXPECT_TRUE(h.host->IsDocumentOpen());
    h.host->CloseDocument();
    EXPECT_FALSE(h.host->IsDocumentOpen());
    EXPECT_EQ(h.host->CurrentDocumentName(), "Untitled 1");
    EXPECT_EQ(h.host->ListBookmarks(), "");
    EXPECT_FALSE(h.host->BookmarkExists("姓名"));
    EXPECT_FALSE(h.host->SetBookmarkText("姓名", "李四"));
    EXPECT_TRUE(h.host->BookmarksLeft().empty());
    EXPECT_TRUE(h.host->UnfillableBookmarks().empty());
    const word::SaveResult saved = h.host->SaveDocumentAs(scratch / "a.doc");
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.error, "there is no document to save");
    EXPECT_FALSE(h.host->PrintDocument());
    EXPECT_TRUE(EntryNames(scratch.path()).empty());
    EXPECT_EQ(h.office->applicationsStarted(), 0);
}

// A format the engine does not write, or a print, goes through the office; an office that cannot
// take the engine's document fails the save or print, and the file handed to it is removed.
TEST(WordHost, AnEngineDocumentTheOfficeCannotTakeFailsAndLeavesNothing) {
    TempFolder scratch("word");
    Host h;
    h.host->OpenTemplate(SampleTemplate());
    h.host->SetBookmarkText("姓名", "张三");
    WriteText(scratch / "a.pdf", "earlier");
    const word::SaveResult saved = h.host->SaveDocumentAs(scratch / "a.pdf");
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.error, "the office could not convert the document");
    EXPECT_EQ(ReadText(scratch / "a.pdf"), "earlier");
    EXPECT_EQ(EntryNames(scratch.path()), std::vector<std::string>{"a.pdf"});
    EXPECT_FALSE(h.host->PrintDocument("合同1"));
    EXPECT_TRUE(h.office->printJobs().empty());
    EXPECT_EQ(h.office->documentsCreated(), 0);
    // The document itself is still there, and saves in its own format.
    EXPECT_TRUE(h.host->SaveDocumentAs(scratch / "a.doc").ok);
}

// An office that cannot be started leaves an office document that never opened: the route and
// template are still known, so a merge does not take it for another template.
TEST(WordHost, AnOfficeDocumentThatDidNotOpenIsClosed) {
    TempFolder scratch("word");
    Host h;
    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}}));
    h.office->setUnavailable(true);
    EXPECT_EQ(h.host->OpenTemplate(scratch / "t.fake"), "");
    EXPECT_EQ(h.host->CurrentRoute(), Route::Office);
    EXPECT_EQ(h.host->CurrentTemplatePath(), scratch / "t.fake");
    EXPECT_FALSE(h.host->IsDocumentOpen());
    EXPECT_FALSE(h.host->SetBookmarkText("A", "x"));
    EXPECT_EQ(h.host->SaveDocumentAs(scratch / "a.fake").error, "there is no document to save");
    EXPECT_FALSE(h.host->PrintDocument());
    h.host->CloseDocument();

    // Once the office can start, the same template opens there.
    h.office->setUnavailable(false);
    EXPECT_EQ(h.host->OpenTemplate(scratch / "t.fake"), "Untitled 1");
    EXPECT_TRUE(h.host->SetBookmarkText("A", "x"));
    // The user closes it in the office's window: the save says so.
    h.office->closeEveryDocument();
    EXPECT_EQ(h.host->SaveDocumentAs(scratch / "a.fake").error, "the office's document is gone");
    EXPECT_EQ(EntryNames(scratch.path()), std::vector<std::string>{"t.fake"});
}

// Ending the office takes its documents along, never the engine's.
TEST(WordHost, ForceCloseKeepsTheEngineDocument) {
    TempFolder program("word");
    Host h(program.path());
    fs::create_directories(program / "vbs");
    WriteText(program / "vbs/closeword.sh", "exit 0\n");
    h.host->OpenTemplate(SampleTemplate());
    h.host->SetBookmarkText("姓名", "张三");
    ScriptedDialogs dialogs(true);
    h.host->ForceCloseWord(dialogs);
    EXPECT_TRUE(h.host->IsDocumentOpen());
    EXPECT_EQ(h.host->CurrentRoute(), Route::Engine);
    EXPECT_TRUE(h.host->SaveDocumentAs(program / "a.doc").ok);
}

// Each kind of document refuses a bookmark it does not have on its own, without the host's check
// before it, and an unknown name never spoils the office's document for the save.
TEST(WorkingDocument, EachKindRefusesANameItDoesNotHave) {
    TempFolder scratch("word");
    const engine::OpenResult source = engine::OpenTemplateFile(SampleTemplate());
    ASSERT_TRUE(source) << source.refusal;
    FakeOffice office;
    const std::unique_ptr<word::WorkingDocument> made =
        word::MakeEngineDocument(source.value, &office, "Untitled 1");
    EXPECT_FALSE(made->SetBookmarkText("无此书签", "x"));
    EXPECT_FALSE(made->SetBookmarkText("_GoBack", "x"));
    EXPECT_TRUE(made->SetBookmarkText("姓名", "张三"));
    EXPECT_TRUE(made->BookmarksLeft().empty());

    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}, {"_Toc1", "t"}}));
    const std::unique_ptr<word::WorkingDocument> opened =
        word::OpenOfficeDocument(&office, scratch / "t.fake");
    ASSERT_TRUE(opened->IsOpen());
    EXPECT_EQ(opened->BookmarkNames(), std::vector<std::string>{"A"});
    EXPECT_FALSE(opened->SetBookmarkText("B", "x"));
    EXPECT_FALSE(opened->SetBookmarkText("_Toc1", "x"));
    EXPECT_TRUE(opened->SetBookmarkText("A", "x"));
    EXPECT_EQ(office.writes().size(), 1u);
    EXPECT_TRUE(opened->SaveAs(scratch / "a.fake").ok);
    opened->Close();
    EXPECT_EQ(office.openDocumentCount(), 0);
    EXPECT_FALSE(word::OpenOfficeDocument(nullptr, scratch / "t.fake")->open());
}

// Of two overlapping bookmarks the one filled later takes what remains of its range, so an
// engine document keeps its values in the order their bookmarks were first set, and a value set
// again replaces the earlier one where it stands. Its notes say what that made of the bookmarks;
// the office's documents, and closed ones, have none.
TEST(WorkingDocument, AnEngineDocumentFillsInTheOrderItsBookmarksWereFirstSet) {
    TempFolder scratch("word");
    const std::string path = scratch / "overlap.docx";
    ASSERT_TRUE(TestDocx().Overlapping("A", "Z").FormText("Code", 3).Write(path));
    Host h;
    ASSERT_EQ(h.host->OpenTemplate(path), "Untitled 1");
    ASSERT_EQ(h.host->CurrentRoute(), Route::Engine);
    EXPECT_TRUE(h.host->SetBookmarkText("Z", "z1"));
    EXPECT_TRUE(h.host->SetBookmarkText("A", "a1"));
    EXPECT_TRUE(h.host->SetBookmarkText("Z", "z2"));
    EXPECT_TRUE(h.host->SetBookmarkText("Code", "1234"));
    std::vector<engine::Note> notes = h.host->BookmarkNotes();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].name, "A");
    EXPECT_EQ(notes[0].cause, engine::Note::Cause::Overlap);
    EXPECT_EQ(notes[0].other, "Z");
    EXPECT_EQ(notes[1].name, "Code");
    EXPECT_EQ(notes[1].cause, engine::Note::Cause::TooLong);
    EXPECT_EQ(notes[1].limit, 3u);
    ASSERT_TRUE(h.host->SaveDocumentAs(scratch / "made.docx").ok);
    const std::string text = FlatText(scratch / "made.docx");
    EXPECT_NE(text.find("a1z2"), std::string::npos) << text;
    EXPECT_EQ(text.find("z1"), std::string::npos) << text;
    EXPECT_NE(text.find("1234"), std::string::npos) << text;
    h.host->CloseDocument();
    EXPECT_TRUE(h.host->BookmarkNotes().empty());

    ASSERT_EQ(h.host->OpenTemplate(path), "Untitled 2");
    EXPECT_TRUE(h.host->SetBookmarkText("A", "a1"));
    EXPECT_TRUE(h.host->SetBookmarkText("Z", "z1"));
    notes = h.host->BookmarkNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].name, "Z");
    EXPECT_EQ(notes[0].other, "A");

    ASSERT_TRUE(WriteFakeTemplate(scratch / "t.fake", {{"A", "a"}, {"Z", "z"}}));
    ASSERT_FALSE(h.host->OpenTemplate(scratch / "t.fake").empty());
    ASSERT_EQ(h.host->CurrentRoute(), Route::Office);
    EXPECT_TRUE(h.host->SetBookmarkText("Z", "z1"));
    EXPECT_TRUE(h.host->SetBookmarkText("A", "a1"));
    EXPECT_TRUE(h.host->BookmarkNotes().empty());
}

TEST(WordHost, ForceCloseWithoutRunningOfficeStillReportsAMissingScriptFirst) {
    TempFolder program("word");
    Host h(program.path());
    ScriptedDialogs dialogs(true);
    h.host->ForceCloseWord(dialogs);
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_TRUE(dialogs.calls[0].question);
    EXPECT_EQ(dialogs.calls[0].caption, "信息");
    EXPECT_EQ(dialogs.calls[0].text,
              "如果选择“是”将强制关闭本程序启动的WORD程序，其中打开的文档（包括“在Word中查看模板”打开的模板）"
              "都不保存，上次保存后修改的内容将丢失；您自己打开的WORD文档和程序不受影响。确认要继续吗？");
    EXPECT_FALSE(dialogs.calls[1].question);
    EXPECT_EQ(dialogs.calls[1].text, "关闭Word进程脚本文件丢失，请与软件开发技术员联系或重新下载软件！");

    // With the script in place and no office, nothing is launched and nothing is said.
    fs::create_directories(program / "vbs");
    const std::string marker = program / "launched";
    WriteText(program / "vbs/closeword.sh", "echo x >> " + ShellQuote(marker) + "\n");
    ScriptedDialogs quiet(true);
    h.host->ForceCloseWord(quiet);
    EXPECT_EQ(quiet.calls.size(), 1u);
    EXPECT_FALSE(fs::exists(marker));
}

// The script is told whose offices to end: this program's process id.
TEST(WordHost, ForceCloseLaunchesTheScriptUntilTheOfficeIsGone) {
    TempFolder program("word");
    Host h(program.path());
    fs::create_directories(program / "vbs");
    const std::string marker = program / "ended";
    WriteText(program / "vbs/closeword.sh", "echo \"$1\" > " + ShellQuote(marker) + "\n");
    ASSERT_TRUE(WriteFakeTemplate(program / "t.fake", {{"A", "a"}}));
    h.host->OpenTemplate(program / "t.fake");
    h.office->dieWhen([marker] { return fs::exists(marker); });
    ScriptedDialogs dialogs(true);
    h.host->ForceCloseWord(dialogs);
    EXPECT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(ReadText(marker), std::to_string(getpid()) + "\n");
    EXPECT_FALSE(h.host->IsDocumentOpen());
}

TEST(WordHost, ForceCloseGivesUpOnAnOfficeThatWillNotEnd) {
    TempFolder program("word");
    Host h(program.path());
    fs::create_directories(program / "vbs");
    WriteText(program / "vbs/closeword.sh", "exit 0\n");
    ASSERT_TRUE(WriteFakeTemplate(program / "t.fake", {{"A", "a"}}));
    h.host->OpenTemplate(program / "t.fake");
    ScriptedDialogs dialogs(true);
    h.host->ForceCloseWord(dialogs);  // returns after a bounded number of launches
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_FALSE(dialogs.calls[1].question);
    EXPECT_NE(dialogs.calls[1].text.find("未能关闭WORD程序"), std::string::npos);
}

}  // namespace
}  // namespace qm::test
