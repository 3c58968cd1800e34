// WordHost driving the real office: templates made from readable sources, documents read back
// from the files the office wrote.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "common/text.h"
#include "office_fixture.h"
#include "tests/support/realworld.h"
#include "word/engine/doc_template.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

extern char** environ;

namespace qm::test {
namespace {

using word::MakeLibreOffice;
using word::Route;
using word::WordHost;

const std::string kRealWorld = RealWorldFolder("doc") + "/";

std::unique_ptr<WordHost> NewHost(const std::string& programFolder = "") {
    return std::make_unique<WordHost>(MakeLibreOffice(), programFolder);
}

class WordHostOffice : public OfficeTest {};

TEST_F(WordHostOffice, ListsAndFindsBookmarksExactly) {
    auto host = NewHost();
    EXPECT_FALSE(host->IsWordRunning());

    ASSERT_NE(host->OpenTemplate(TemplateDoc("single"), Route::Office), "");
    EXPECT_TRUE(host->IsWordRunning());
    EXPECT_EQ(host->ListBookmarks(), "Name");

    ASSERT_NE(host->OpenTemplate(TemplateDoc("plain"), Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "");
    EXPECT_FALSE(host->BookmarkExists("Name"));
    EXPECT_FALSE(host->SetBookmarkText("Name", "x"));

    const std::string name = host->OpenTemplate(TemplateDoc("letter"), Route::Office);
    ASSERT_NE(name, "");
    EXPECT_EQ(host->ListBookmarks(), "姓名\r\n地址\r\n电话\r\nCode\r\nAmount\r\n日期\r\n备注\r\nNote");
    EXPECT_TRUE(host->BookmarkExists("姓名"));
    EXPECT_TRUE(host->BookmarkExists("Code"));
    EXPECT_FALSE(host->BookmarkExists("code"));
    EXPECT_FALSE(host->BookmarkExists("Code "));
    EXPECT_FALSE(host->BookmarkExists("姓"));
    EXPECT_FALSE(host->SetBookmarkText("CODE", "nothing"));

    // Document names are exact too.
    std::string exact = name;
    EXPECT_TRUE(host->IsDocumentOpen(exact));
    std::string trailing = name + " ";
    EXPECT_FALSE(host->IsDocumentOpen(trailing));
    EXPECT_TRUE(host->IsDocumentOpen());
}

TEST_F(WordHostOffice, FilledDocumentSavedAsDocKeepsTheSurroundingText) {
    TempFolder scratch("word");
    const std::string templatePath = TemplateDoc("letter");
    const std::string before = ReadText(templatePath);
    auto host = NewHost();
    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");

    EXPECT_TRUE(host->SetBookmarkText("姓名", "张三"));
    EXPECT_TRUE(host->SetBookmarkText("地址", "北京市海淀区中关村大街1号"));
    EXPECT_TRUE(host->SetBookmarkText("电话", "010-62345678"));
    EXPECT_TRUE(host->SetBookmarkText("Code", "007"));
    EXPECT_TRUE(host->SetBookmarkText("Amount", "19.99"));
    EXPECT_TRUE(host->SetBookmarkText("日期", "2024-01-31"));
    EXPECT_TRUE(host->SetBookmarkText("备注", ""));  // an empty value empties the bookmark
    EXPECT_TRUE(host->SetBookmarkText("Note", "line one"));

    const std::string output = scratch / "录取通知书1.doc";
    EXPECT_TRUE(host->SaveDocumentAs(output));
    host->CloseDocument();
    EXPECT_EQ(host->ListBookmarks(), "");

    const std::string text = CatdocText(output);
    EXPECT_NE(text.find("姓名：张三同学"), std::string::npos) << text;
    EXPECT_NE(text.find("地址：北京市海淀区中关村大街1号。"), std::string::npos) << text;
    EXPECT_NE(text.find("电话：010-62345678"), std::string::npos) << text;
    EXPECT_NE(text.find("Code: 007 (case matters)"), std::string::npos) << text;
    EXPECT_NE(text.find("Amount: 19.99 yuan"), std::string::npos) << text;
    EXPECT_NE(text.find("日期：2024-01-31"), std::string::npos) << text;
    EXPECT_NE(text.find("备注：（完）"), std::string::npos) << text;
    EXPECT_NE(text.find("Note: line one."), std::string::npos) << text;
    EXPECT_NE(text.find("录取通知书"), std::string::npos) << text;
    EXPECT_NE(text.find("End of letter."), std::string::npos) << text;
    EXPECT_EQ(text.find('['), std::string::npos) << "a placeholder survived:\n" << text;
    // Every bookmark is still there, around its value.
    engine::DocContents contents;
    std::string error;
    ASSERT_TRUE(engine::ReadDocContents(ReadBytes(output), contents, error)) << error;
    const std::map<std::string, std::u16string> expected = {
        {"姓名", u"张三"}, {"Code", u"007"}, {"备注", u""}, {"Note", u"line one"}, {"日期", u"2024-01-31"}};
    for (const auto& [name, value] : expected) {
        const auto b = std::find_if(contents.bookmarks.begin(), contents.bookmarks.end(),
                                    [&want = name](const engine::DocBookmark& m) { return m.name == want; });
        ASSERT_NE(b, contents.bookmarks.end()) << name;
        EXPECT_TRUE(b->text == value) << name;
    }

    // The template is only ever read.
    EXPECT_EQ(ReadText(templatePath), before);

    // The next working document starts from the template again.
    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    EXPECT_TRUE(host->SetBookmarkText("姓名", "李四"));
    const std::string second = scratch / "录取通知书2.doc";
    EXPECT_TRUE(host->SaveDocumentAs(second));
    const std::string secondText = CatdocText(second);
    EXPECT_NE(secondText.find("姓名：李四同学"), std::string::npos) << secondText;
    EXPECT_NE(secondText.find("地址：[DZ]。"), std::string::npos) << secondText;
    EXPECT_EQ(ReadText(templatePath), before);
}

// A control character in a value made the office drop the whole value; now only the character
// goes, and line breaks of any kind are line breaks, as in the documents made in this process.
TEST_F(WordHostOffice, ControlCharactersGoOneByOne) {
    TempFolder scratch("word");
    auto host = NewHost();
    ASSERT_NE(host->OpenTemplate(TemplateDoc("letter"), Route::Office), "");
    ASSERT_TRUE(host->SetBookmarkText("姓名", std::string("张\x01三\x07丰", 11)));
    ASSERT_TRUE(host->SetBookmarkText("Code", "A\r\nB"));
    ASSERT_TRUE(host->SaveDocumentAs(scratch / "c.doc"));
    const std::string text = CatdocText(scratch / "c.doc");
    EXPECT_NE(text.find("姓名：张三丰同学"), std::string::npos) << text;
    // catdoc shows a line break inside a paragraph as a blank line.
    EXPECT_NE(text.find("Code: A\n\nB (case matters)"), std::string::npos) << text;
}

TEST_F(WordHostOffice, SavesDocxOdtAndPdfByExtension) {
    TempFolder scratch("word");
    auto host = NewHost();
    const std::string templatePath = TemplateDoc("single");

    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    ASSERT_TRUE(host->SetBookmarkText("Name", "Alice Docx"));
    ASSERT_TRUE(host->SaveDocumentAs(scratch / "a.docx"));
    EXPECT_NE(ZipMember(scratch / "a.docx", "word/document.xml").find("Alice Docx"), std::string::npos);
    host->CloseDocument();

    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    ASSERT_TRUE(host->SetBookmarkText("Name", "Bob Odt"));
    ASSERT_TRUE(host->SaveDocumentAs(scratch / "b.ODT"));  // the extension in any letter case
    EXPECT_NE(ZipMember(scratch / "b.ODT", "content.xml").find("Bob Odt"), std::string::npos);
    EXPECT_EQ(ZipMember(scratch / "b.ODT", "mimetype"), "application/vnd.oasis.opendocument.text");

    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    ASSERT_TRUE(host->SetBookmarkText("Name", "Carol Pdf"));
    const std::string pdf = scratch / "c.pdf";
    ASSERT_TRUE(host->SaveDocumentAs(pdf));
    EXPECT_EQ(ReadText(pdf).substr(0, 5), "%PDF-");
    EXPECT_NE(PdfText(pdf).find("Dear Carol Pdf, welcome aboard."), std::string::npos);
    host->CloseDocument();
    EXPECT_FALSE(host->IsDocumentOpen());
}

TEST_F(WordHostOffice, FailedSavesAreReportedAndWriteNothing) {
    TempFolder scratch("word");
    auto host = NewHost();
    ASSERT_NE(host->OpenTemplate(TemplateDoc("single"), Route::Office), "");

    // A path below a regular file cannot be written, not even by root.
    WriteText(scratch / "file", "x");
    EXPECT_FALSE(host->SaveDocumentAs(scratch / "file/out.doc"));
    EXPECT_FALSE(host->SaveDocumentAs(scratch / "missing/folder/out.doc"));
    EXPECT_FALSE(fs::exists(scratch / "missing"));
    // The document is still the working document after a failed save.
    EXPECT_EQ(host->ListBookmarks(), "Name");

    host->CloseDocument();
    EXPECT_FALSE(host->SaveDocumentAs(scratch / "after-close.doc"));
    EXPECT_FALSE(fs::exists(scratch / "after-close.doc"));
    EXPECT_EQ(host->ListBookmarks(), "");
    // A second close finds nothing and does no harm.
    host->CloseDocument();
    EXPECT_TRUE(host->IsWordRunning());
}

TEST_F(WordHostOffice, ReopeningATemplateDiscardsTheWorkingDocument) {
    TempFolder scratch("word");
    auto host = NewHost();
    const std::string templatePath = TemplateDoc("single");
    const std::string first = host->OpenTemplate(templatePath, Route::Office);
    ASSERT_NE(first, "");
    ASSERT_TRUE(host->SetBookmarkText("Name", "changed but never saved"));

    // The office may give the new document the name the closed one had; what counts is that
    // the new one starts from the template and the edit is gone.
    const std::string second = host->OpenTemplate(templatePath, Route::Office);
    ASSERT_NE(second, "");
    EXPECT_EQ(host->OpenTemplate(""), second);
    ASSERT_TRUE(host->SaveDocumentAs(scratch / "second.doc"));
    EXPECT_NE(CatdocText(scratch / "second.doc").find("Dear [NAME], welcome aboard."), std::string::npos);
    host->CloseDocument();
    const std::string third = host->OpenTemplate(templatePath, Route::Office);
    ASSERT_NE(third, "");

    // A template that does not exist: no current document, and the old one is discarded.
    EXPECT_EQ(host->OpenTemplate(scratch / "nope.doc", Route::Office), "");
    EXPECT_EQ(host->CurrentDocumentName(), "");
    EXPECT_EQ(host->ListBookmarks(), "");
    EXPECT_FALSE(host->IsDocumentOpen(third));
    // A folder is not a template either.
    EXPECT_EQ(host->OpenTemplate(scratch.path()), "");
}

TEST_F(WordHostOffice, CorruptOrEncryptedTemplatesGiveNoBookmarks) {
    TempFolder scratch("word");
    auto host = NewHost();
    std::string garbage(20000, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919) % 251);
    // A compound-file signature followed by nonsense.
    WriteText(scratch / "bad.doc", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + garbage);
    host->OpenTemplate(scratch / "bad.doc", Route::Office);
    EXPECT_EQ(host->ListBookmarks(), "");

    const std::string half = ReadText(TemplateDoc("letter")).substr(0, 4096);
    WriteText(scratch / "half.doc", half);
    host->OpenTemplate(scratch / "half.doc", Route::Office);
    EXPECT_EQ(host->ListBookmarks(), "");

    // The encrypted real-world document too, where the real-world files are at hand.
    if (HaveRealWorld("doc")) {
        EXPECT_EQ(host->OpenTemplate(kRealWorld + "password_password_cryptoapi.doc", Route::Office), "");
        EXPECT_EQ(host->ListBookmarks(), "");
    }

    // The office is still usable afterwards.
    ASSERT_NE(host->OpenTemplate(TemplateDoc("single"), Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "Name");
}

TEST_F(WordHostOffice, RealWorldDocumentsListWhatTheOfficeKeeps) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    auto host = NewHost();
    ASSERT_NE(host->OpenTemplate(kRealWorld + "Bug51686.doc", Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "OnMainHeading\r\nOnLevel3");

    ASSERT_NE(host->OpenTemplate(kRealWorld + "supported-hyperlink-features.doc", Route::Office), "");
    std::vector<std::string> names = SplitList(host->ListBookmarks());
    std::sort(names.begin(), names.end());
    // The hidden _Hlt bookmarks of the file are not kept.
    std::vector<std::string> expected = {"abookmark",    "bookmark1", "bookmark2", "bookmark3",
                                         "bookmark4",    "cross",     "cross2",    "finalpoint",
                                         "htmlbookmark", "inbookmark"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(host->BookmarkExists("_Hlt435979441"));
    // Writing a point bookmark and a nested one works like any other.
    EXPECT_TRUE(host->SetBookmarkText("bookmark1", "P1"));
    EXPECT_TRUE(host->SetBookmarkText("abookmark", "NESTED"));

    // Of 211 bookmarks the office keeps only the 7 hidden cross-reference targets, and hidden
    // bookmarks are neither listed nor filled.
    ASSERT_NE(host->OpenTemplate(kRealWorld + "section3.doc", Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "");
    EXPECT_FALSE(host->SetBookmarkText("_Ref366284846", "x"));
    // Text form fields carry names, but they are not bookmarks to the office.
    ASSERT_NE(host->OpenTemplate(kRealWorld + "Bug47286.doc", Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "");
    EXPECT_FALSE(host->SetBookmarkText("Text1", "x"));
}

TEST_F(WordHostOffice, KilledOfficeGivesEmptyResultsAndIsStartedAgain) {
    TempFolder scratch("word");
    auto host = NewHost();
    const std::string templatePath = TemplateDoc("single");
    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    const std::vector<pid_t> before = OwnOfficePids();
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(::kill(before[0], SIGKILL), 0);
    ASSERT_TRUE(WaitFor([&] { return !host->IsWordRunning(); }, kOfficeWait));

    EXPECT_EQ(host->ListBookmarks(), "");
    EXPECT_FALSE(host->BookmarkExists("Name"));
    EXPECT_FALSE(host->SetBookmarkText("Name", "x"));
    EXPECT_FALSE(host->SaveDocumentAs(scratch / "dead.doc"));
    EXPECT_FALSE(host->PrintDocument());
    host->CloseDocument();
    host->ShowWord();
    EXPECT_FALSE(host->IsDocumentOpen());

    // The next template choice starts a new office.
    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    EXPECT_TRUE(host->IsWordRunning());
    EXPECT_EQ(host->ListBookmarks(), "Name");
    const std::vector<pid_t> after = OwnOfficePids();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after[0], before[0]);
}

// The user closes the office and at once chooses a template: the office still looks alive
// for a moment, and the template goes to a new one all the same.
TEST_F(WordHostOffice, ATemplateOpenedJustAfterTheOfficeWasKilledGoesToANewOne) {
    auto host = NewHost();
    const std::string templatePath = TemplateDoc("single");
    for (int round = 0; round < 3; ++round) {
        ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "") << round;
        const std::vector<pid_t> offices = OwnOfficePids();
        ASSERT_EQ(offices.size(), 1u);
        ASSERT_EQ(::kill(offices[0], SIGKILL), 0);
        ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "") << round;
        EXPECT_EQ(host->ListBookmarks(), "Name");
    }
}

TEST_F(WordHostOffice, ForceCloseRunsTheScriptUntilTheOfficeHasGone) {
    TempFolder program("word");
    auto host = NewHost(program.path());
    const std::string templatePath = TemplateDoc("single");
    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    const std::vector<pid_t> pids = OwnOfficePids();
    ASSERT_EQ(pids.size(), 1u);

    // No script: reported, and the office is left alone.
    ScriptedDialogs yes(true);
    host->ForceCloseWord(yes);
    ASSERT_EQ(yes.calls.size(), 2u);
    EXPECT_TRUE(yes.calls[0].question);
    EXPECT_EQ(yes.calls[0].text,
              "如果选择“是”将强制关闭本程序启动的WORD程序，其中打开的文档（包括“在Word中查看模板”打开的模板）"
              "都不保存，上次保存后修改的内容将丢失；您自己打开的WORD文档和程序不受影响。确认要继续吗？");
    EXPECT_EQ(yes.calls[0].caption, "信息");
    EXPECT_FALSE(yes.calls[1].question);
    EXPECT_EQ(yes.calls[1].text, "关闭Word进程脚本文件丢失，请与软件开发技术员联系或重新下载软件！");
    EXPECT_EQ(yes.calls[1].caption, "信息");
    EXPECT_TRUE(host->IsWordRunning());

    // A script that ends only this test's office (other offices run beside us).
    fs::create_directories(program / "vbs");
    WriteText(program / "vbs/closeword.sh", "kill -9 " + std::to_string(pids[0]) + "\n");

    ScriptedDialogs no(false);
    host->ForceCloseWord(no);
    ASSERT_EQ(no.calls.size(), 1u);
    EXPECT_TRUE(host->IsWordRunning());

    ScriptedDialogs ok(true);
    host->ForceCloseWord(ok);
    EXPECT_EQ(ok.calls.size(), 1u);  // only the question
    EXPECT_FALSE(host->IsWordRunning());
    // The name is kept; the next template choice starts a new office.
    EXPECT_NE(host->CurrentDocumentName(), "");
    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "Name");
}

TEST_F(WordHostOffice, QuitEndsTheOfficeAndRemovesItsProfile) {
    std::string profile;
    {
        auto host = NewHost();
        ASSERT_NE(host->OpenTemplate(TemplateDoc("single"), Route::Office), "");
        host->ShowWord();
        ASSERT_TRUE(host->SetBookmarkText("Name", "unsaved"));
        const std::vector<pid_t> pids = OwnOfficePids();
        ASSERT_EQ(pids.size(), 1u);
        const std::string cmdline = ReadText("/proc/" + std::to_string(pids[0]) + "/cmdline");
        const std::size_t at = cmdline.find("/tmp/quillmerge-office-");
        ASSERT_NE(at, std::string::npos);
        profile = cmdline.substr(at, cmdline.find('\0', at) - at);
        EXPECT_TRUE(fs::exists(profile));
    }
    EXPECT_TRUE(OwnOfficePids().empty());
    EXPECT_FALSE(fs::exists(profile));
}

TEST_F(WordHostOffice, StoppedOfficeDoesNotHoldTheQuit) {
    std::string profile, instancePipe;
    {
        auto host = NewHost();
        ASSERT_NE(host->OpenTemplate(TemplateDoc("single"), Route::Office), "");
        // A changed document: quitting first has to discard its changes over the bridge.
        ASSERT_TRUE(host->SetBookmarkText("Name", "unsaved"));
        const std::vector<pid_t> pids = OwnOfficePids();
        ASSERT_EQ(pids.size(), 1u);
        const std::string cmdline = ReadText("/proc/" + std::to_string(pids[0]) + "/cmdline");
        const std::size_t at = cmdline.find("/tmp/quillmerge-office-");
        ASSERT_NE(at, std::string::npos);
        profile = cmdline.substr(at, cmdline.find('\0', at) - at);
        // The office's own instance pipe, named from the MD5 of the profile URL in UTF-16.
        instancePipe = RunCommand(
                           "/usr/bin/python3 -c 'import hashlib, os, sys; "
                           "d = hashlib.md5((\"file://\" + sys.argv[1]).encode(\"utf-16-le\")).digest(); "
                           "sys.stdout.write(\"/tmp/OSL_PIPE_%d_SingleOfficeIPC_\" % os.getuid() + "
                           "\"\".join(\"%x\" % b for b in d))' " +
                           ShellQuote(profile))
                           .out;
        EXPECT_TRUE(fs::exists(instancePipe)) << instancePipe;
        // A hung office answers nothing; the quit must still end (the test's time limit
        // catches a quit that waits forever).
        ASSERT_EQ(::kill(pids[0], SIGSTOP), 0);
    }
    EXPECT_TRUE(WaitFor([] { return OwnOfficePids().empty(); }, kOfficeWait));
    EXPECT_FALSE(fs::exists(profile));
    // The killed office could not remove its pipe itself.
    EXPECT_FALSE(fs::exists(instancePipe));
}

// Every real-world document as a template: nothing hangs or crashes, and the bookmark list is
// what the office keeps of the file's bookmarks.
TEST_F(WordHostOffice, EveryRealWorldDocumentOpensOrFailsQuietly) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    const std::map<std::string, std::vector<std::string>> kept = {
        {"61490.doc", {}},
        {"Bug47286.doc", {}},  // form fields, not bookmarks
        {"Bug51686.doc", {"OnMainHeading", "OnLevel3"}},
        {"Bug51890.doc", {"favo", "Favo1", "Favo2", "Favo3", "Favo4", "Favo5", "Favo6"}},
        {"Bug53380_4.doc", {"zHdrDate"}},
        {"TestChineseProperties.doc", {}},
        {"fields1.doc", {}},
        {"header_image.doc", {}},
        {"samplefastsaved.doc", {}},
        {"testControlCharacters.doc", {}},  // OLE_LINK1 is Word's own
    };
    auto host = NewHost();
    for (const auto& [file, expected] : kept) {
        SCOPED_TRACE(file);
        ASSERT_NE(host->OpenTemplate(kRealWorld + file, Route::Office), "");
        std::vector<std::string> names = SplitList(host->ListBookmarks());
        std::vector<std::string> sortedExpected = expected;
        std::sort(names.begin(), names.end());
        std::sort(sortedExpected.begin(), sortedExpected.end());
        EXPECT_EQ(names, sortedExpected);
        for (const std::string& name : expected) EXPECT_TRUE(host->SetBookmarkText(name, "v"));
    }
    // Fast-saved; the office drops its _Toc and _Hlt bookmarks when it reads the file (the
    // "__RefHeading___Toc" names seen in a converted copy are made only when writing ODF).
    ASSERT_NE(host->OpenTemplate(kRealWorld + "ob_is.doc", Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "");
    EXPECT_FALSE(host->BookmarkExists("_Toc19332316"));
    // A real form: its named form fields are fieldmarks, not bookmarks, and the hidden _Hlt
    // bookmarks are dropped.
    ASSERT_NE(
        host->OpenTemplate(kRealWorld + "au.edu.utas.www___data_assets_word_doc_0003_154335_International-"
                                        "Travel-Approval-Request-Form.doc",
                           Route::Office),
        "");
    EXPECT_EQ(host->ListBookmarks(), "");
    EXPECT_FALSE(host->SetBookmarkText("Text2", "x"));
    // The encrypted file opens as nothing, and the office goes on working.
    EXPECT_EQ(host->OpenTemplate(kRealWorld + "password_password_cryptoapi.doc", Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "");
    ASSERT_NE(host->OpenTemplate(kRealWorld + "Bug51686.doc", Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "OnMainHeading\r\nOnLevel3");
}

// Leftovers in /tmp are swept when a program starts its first office: those of a program
// that no longer runs go, anything else stays, and nothing there can stop the office.
TEST_F(WordHostOffice, LeftoversOfEndedProgramsAreSweptAtFirstStart) {
    // Above the kernel's largest process id: no such program runs.
    const fs::path dead = "/tmp/quillmerge-office-4194999-1";
    // Too many digits for a process id: not ours to judge, and must not break the sweep.
    const fs::path odd = "/tmp/quillmerge-office-99999999999999999999-1";
    fs::create_directories(dead / "user");
    fs::create_directories(odd);
    // A fresh process, so that its first office start does the sweep.
    const std::string command =
        "exec " + ShellQuote(fs::read_symlink("/proc/self/exe").string()) +
        " --gtest_filter=WordHostOffice.ListsAndFindsBookmarksExactly >/dev/null 2>&1";
    EXPECT_EQ(RunCommand(command).status, 0);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(odd));
    std::error_code ec;
    fs::remove_all(dead, ec);
    fs::remove_all(odd, ec);
}

// Started by the next test as a separate process: opens a document, reports its office's
// process id in the file named by QM_OFFICE_PID_FILE, then waits to be killed.
TEST(WordHostOfficeChild, WaitsToBeKilled) {
    const char* pidFile = std::getenv("QM_OFFICE_PID_FILE");
    if (!pidFile) GTEST_SKIP() << "runs only as the child of ProgramKilledTakesItsOfficeAlong";
    auto host = NewHost();
    ASSERT_NE(host->OpenTemplate(TemplateDoc("single"), Route::Office), "");
    const std::vector<pid_t> pids = OwnOfficePids();
    ASSERT_EQ(pids.size(), 1u);
    WriteText(std::string(pidFile) + ".part", std::to_string(pids[0]));
    fs::rename(std::string(pidFile) + ".part", pidFile);
    for (;;) pause();
}

TEST_F(WordHostOffice, ProgramKilledTakesItsOfficeAlong) {
    TempFolder scratch("word");
    const std::string pidFile = scratch / "office.pid";
    const std::string command = "QM_OFFICE_PID_FILE=" + ShellQuote(pidFile) + " exec " +
                                ShellQuote(fs::read_symlink("/proc/self/exe").string()) +
                                " --gtest_filter=WordHostOfficeChild.WaitsToBeKilled >/dev/null 2>&1";
    pid_t child = -1;
    {
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        ASSERT_EQ(posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    }
    const bool reported = WaitFor([&] { return fs::exists(pidFile); }, 90000);
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(reported) << "the child process did not start its office";
    const std::string office = "/proc/" + ReadText(pidFile);
    // Gone, or a zombie nobody has collected yet: either way no longer running.
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string stat = ReadText(office + "/stat");
            const std::size_t close = stat.rfind(')');
            return stat.empty() || (close != std::string::npos && stat.substr(close + 2, 1) == "Z");
        },
        kOfficeWait))
        << "the office outlived the program that started it";
}

// The office process runs under the memory limit it was given, with its temporary folder inside
// its own profile; a save it does not answer in time ends it, the call fails as for a dead
// office, the end is told as no answer, and the next template starts a new office.
TEST_F(WordHostOffice, AnOfficeRunsUnderItsLimitsAndOneThatDoesNotAnswerIsEnded) {
    TempFolder scratch("word");
    auto host = NewHost();
    word::OfficeLimits limits;
    limits.memory = std::uint64_t{3} << 30;
    limits.answer = std::chrono::seconds(3);
    limits.answerPerMegabyte = std::chrono::seconds(0);
    host->SetOfficeLimits(limits);
    const std::string templatePath = TemplateDoc("single");
    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    const std::vector<pid_t> offices = OwnOfficePids();
    ASSERT_EQ(offices.size(), 1u);
    const std::string limitsText = ReadText("/proc/" + std::to_string(offices[0]) + "/limits");
    EXPECT_NE(limitsText.find("Max address space         3221225472           3221225472"), std::string::npos)
        << limitsText;
    std::string environment = ReadText("/proc/" + std::to_string(offices[0]) + "/environ");
    std::replace(environment.begin(), environment.end(), '\0', '\n');
    EXPECT_NE(environment.find("\nTMPDIR=/tmp/quillmerge-office-" + std::to_string(getpid()) + "-"),
              std::string::npos)
        << environment;

    ASSERT_TRUE(host->SetBookmarkText("Name", "x"));
    ASSERT_EQ(::kill(offices[0], SIGSTOP), 0);
    const auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(host->SaveDocumentAs(scratch / "stopped.doc"));
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_GE(took, std::chrono::seconds(3));
    EXPECT_LT(took, std::chrono::seconds(60));
    EXPECT_TRUE(WaitFor([&] { return !host->IsWordRunning(); }, kOfficeWait));
    ASSERT_NE(host->OpenTemplate(templatePath, Route::Office), "");
    EXPECT_EQ(host->ListBookmarks(), "Name");
    const std::vector<pid_t> after = OwnOfficePids();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after[0], offices[0]);
}

}  // namespace
}  // namespace qm::test
