// The two run buttons: checks, the row range, the output folder, the reference name and its
// confirmation, and the runs they start (with the in-memory office).

#include <QTest>
#include <filesystem>
#include <functional>

#include "app/core/settings.h"
#include "app/gui/links.h"
#include "app/gui/range_box.h"
#include "common/fs.h"
#include "test_gui_support.h"
#include "tests/support/fake_office.h"

namespace fs = std::filesystem;

namespace qm::test {
namespace {

const char* const kConfirmEnd =
    "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。\r\n　　命名规则：参考名加序号。";

class RequestTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        StartWindow();
        LoadPeople();
        proposed = programFolder + "/用户文档/名单/";
    }
    std::vector<std::string> SavedNames() const {
        std::vector<std::string> names;
        for (const std::string& path : office->savedPaths()) names.push_back(path);
        return names;
    }
    std::vector<const DialogCall*> Saves() const {
        std::vector<const DialogCall*> result;
        for (const DialogCall& call : dialogs.calls)
            if (call.kind == DialogCall::Save) result.push_back(&call);
        return result;
    }
    const DialogCall* Confirmation() const {
        for (const DialogCall* call : dialogs.messages())
            if (call->caption == "文件名确认提示") return call;
        return nullptr;
    }
    // Saves with the reference name `path` answered Yes.
    void SaveAs(const std::string& path) {
        dialogs.answerFile(path);
        dialogs.answerYes();
        Click("插入并保存按钮");
    }

    std::string proposed;
};

TEST_F(RequestTest, NoTemplateOrNoMatchStopsWithAMessage) {
    Choose("模板选择组合框", QStringLiteral("浏览..."));  // cancelled: the browse item stays current
    Click("插入并保存按钮");
    Click("插入并打印按钮");
    ASSERT_EQ(dialogs.messages().size(), 2u);
    EXPECT_EQ(dialogs.messages()[0]->text, "请先选择Word模板！");
    EXPECT_EQ(dialogs.messages()[1]->text, "请先选择Word模板！");
    EXPECT_TRUE(window->isVisible());

    dialogs.calls.clear();
    Choose("模板选择组合框", QStringLiteral("空白.doc"));
    Click("插入并打印按钮");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text,
              "当前选择的Excel工作表中的所有列标题在当前选中的Word模板文件中均没有对应的同名书签，当前操作不"
              "能继续！"
              "您可以通过帮助或加入QQ群" +
                  std::string(kSupportGroupNumber) + "获取更多支持。");
    EXPECT_EQ(dialogs.calls[0].caption, "信息");
    EXPECT_EQ(dialogs.calls[0].icon, MessageIcon::None);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(office->printJobs().empty());
    EXPECT_FALSE(fs::exists(fs::u8path(programFolder + "/用户文档/空白")));
}

TEST_F(RequestTest, SaveRunProposesFolderAndNameAndSavesTheRows) {
    SaveAs(proposed + "参考.doc");
    const auto saves = Saves();
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0]->title, "请输入参考文件名");
    // The proposed folder is not made for the dialog: it opens in the folder above, with the
    // folder still to be made in front of the name.
    EXPECT_EQ(saves[0]->folder, programFolder + "/用户文档/");
    EXPECT_EQ(saves[0]->proposedName, "名单/名单.doc");
    EXPECT_EQ(saves[0]->filter, "Word文档(*.doc)");  // the file types of the run, .doc first
    ASSERT_NE(Confirmation(), nullptr);
    EXPECT_TRUE(Confirmation()->question);
    EXPECT_EQ(Confirmation()->icon, MessageIcon::None);
    EXPECT_EQ(state->outputFolder, proposed);
    EXPECT_EQ(state->referenceName, "参考");
    ASSERT_EQ(office->savedPaths().size(), 10u);
    EXPECT_EQ(office->savedPaths().front(), proposed + "参考1.doc");
    EXPECT_EQ(office->savedPaths().back(), proposed + "参考10.doc");
    BookmarkTexts saved;
    ASSERT_TRUE(ReadFakeDocument(proposed + "参考2.doc", saved));
    EXPECT_FALSE(FakeBookmarkText(saved, "姓名").empty());
    // The run ends with its question, answered No; the folder is not opened.
    EXPECT_EQ(dialogs.messages().back()->text, "完成！已生成 10 个文档。是否打开存放文档所在文件夹？");
    EXPECT_TRUE(opener.targets.empty());
    EXPECT_FALSE(window->RunGoing());
}

TEST_F(RequestTest, PageModeAsksForTheRowsOfThePages) {
    Choose("每页记录数组合框", QStringLiteral("20"));
    SetRange(QStringLiteral("2"), QStringLiteral("3"));
    Choose("选择方式组合框", QStringLiteral("按页"));  // 2 pages: the end becomes 2
    SetRange(QStringLiteral("2"), QStringLiteral("3"));
    SaveAs(proposed + "参考.doc");
    ASSERT_NE(Confirmation(), nullptr);
    // The sheet ends at row 25, and so does the list of names.
    EXPECT_EQ(Confirmation()->text, "　　文件将保存在“" + proposed +
                                        "”文件夹下，文件名命名为：参考21.doc、参考22.doc……参考25.doc。" +
                                        kConfirmEnd);
    // The sheet ends at row 25.
    EXPECT_EQ(
        office->savedPaths(),
        (std::vector<std::string>{proposed + "参考21.doc", proposed + "参考22.doc", proposed + "参考23.doc",
                                  proposed + "参考24.doc", proposed + "参考25.doc"}));
}

// Each bad input is said in one message before any dialog, in the order a user fixes them, and
// nothing is written, printed or made; a print request leaves the window where it was.
TEST_F(RequestTest, BadInputsSayWhatIsWrongAndWriteNothing) {
    const std::string wholeNumber = "不是整数，请输入从1开始的整数。";
    const struct {
        const char* what;
        std::function<void()> arrange;
        std::string message;
    } cases[] = {
        {"no workbook", [&] { ChooseIndex("文件选择组合框", -1); }, "请先选择Excel数据文件！"},
        {"workbook gone",
         [&] { std::filesystem::remove(std::filesystem::u8path(programFolder + "/数据/people.xls")); },
         "无法读取Excel文件“people.xls”：文件不存在，可能已被移动、改名或删除。"},
        {"no sheet", [&] { Choose("文件选择组合框", QStringLiteral("people.xls")); }, "请先选择工作表！"},
        {"letters", [&] { SetRange(QStringLiteral("abc"), QStringLiteral("5")); },
         "范围的起始值“abc”" + wholeNumber},
        {"two numbers", [&] { SetRange(QStringLiteral("1"), QStringLiteral("1 2")); },
         "范围的结束值“1 2”" + wholeNumber},
        {"empty", [&] { SetRange(QString(), QStringLiteral("5")); }, "范围的起始值“”" + wholeNumber},
        {"reversed", [&] { SetRange(QStringLiteral("8"), QStringLiteral("5")); },
         "范围的起始值（第8条）在结束值（第5条）之后，请改正范围。"},
        {"past the end", [&] { SetRange(QStringLiteral("26"), QStringLiteral("30")); },
         "范围从第26条记录开始，但工作表“人员名单”只有25条记录，请改正范围。"},
        {"pages past the end",
         [&] {
             Choose("选择方式组合框", QStringLiteral("按页"));
             SetRange(QStringLiteral("4"), QStringLiteral("5"));
         },
         "范围从第31条记录开始，但工作表“人员名单”只有25条记录，请改正范围。"},
        {"no template", [&] { Choose("模板选择组合框", QStringLiteral("浏览...")); }, "请先选择Word模板！"},
        // A template without a workbook is no case of titles that match no bookmark.
        {"template without workbook",
         [&] {
             ChooseIndex("文件选择组合框", -1);
             Choose("模板选择组合框", QStringLiteral("名单.doc"));
         },
         "请先选择Excel数据文件！"},
    };
    for (const auto& c : cases) {
        for (const char* button : {"插入并保存按钮", "插入并打印按钮"}) {
            SCOPED_TRACE(std::string(c.what) + " / " + button);
            window.reset();
            gui::ProgramEndCleanup(objects);
            std::error_code ignored;
            std::filesystem::copy_file(std::filesystem::u8path(FixtureFolder() + "/people.xls"),
                                       std::filesystem::u8path(programFolder + "/数据/people.xls"),
                                       std::filesystem::copy_options::overwrite_existing, ignored);
            StartWindow();
            LoadPeople();
            c.arrange();
            dialogs.calls.clear();
            dialogs.answerFile(proposed + "参考.doc");
            dialogs.answerYes();
            Click(button);
            ASSERT_EQ(dialogs.calls.size(), 1u);
            EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Message);
            EXPECT_EQ(dialogs.calls[0].text, c.message);
            EXPECT_TRUE(window->isVisible());
            EXPECT_TRUE(office->savedPaths().empty());
            EXPECT_TRUE(office->printJobs().empty());
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(proposed)));
            dialogs.clearAnswers();
        }
    }
}

TEST_F(RequestTest, ConfirmationListsTheNamesOfTheRange) {
    struct Case {
        const char* end;
        std::string names;
    };
    const Case cases[] = {
        {"5", "参考5.doc"},
        {"6", "参考5.doc、参考6.doc。"},
        {"7", "参考5.doc、参考6.doc、参考7.doc。"},
        {"9", "参考5.doc、参考6.doc……参考9.doc。"},
    };
    for (const Case& c : cases) {
        dialogs.calls.clear();
        SetRange(QStringLiteral("5"), QString::fromUtf8(c.end));
        dialogs.answerFile(proposed + "参考.doc");
        dialogs.answerNo();  // then the dialog again, cancelled
        Click("插入并保存按钮");
        ASSERT_NE(Confirmation(), nullptr) << c.end;
        EXPECT_EQ(Confirmation()->text,
                  "　　文件将保存在“" + proposed + "”文件夹下，文件名命名为：" + c.names + kConfirmEnd)
            << c.end;
        EXPECT_EQ(Saves().size(), 2u);
    }
    EXPECT_TRUE(office->savedPaths().empty());
}

TEST_F(RequestTest, StartTypedWithALeadingZero) {
    SetRange(QString(), QStringLiteral("6"));
    auto* start = Find<gui::RangeBox>("范围起编辑框");
    start->setFocus();
    QTest::keyClicks(start, QStringLiteral("05"));
    QTest::keyClick(start, Qt::Key_Return);
    Find("范围止编辑框")->setFocus();  // leaving the box keeps the text as typed
    EXPECT_EQ(start->boxText(), QStringLiteral("05"));
    SaveAs(proposed + "参考.doc");
    ASSERT_NE(Confirmation(), nullptr);
    // The names are those of the files the run writes.
    EXPECT_NE(Confirmation()->text.find("文件名命名为：参考5.doc、参考6.doc。"), std::string::npos);
    EXPECT_EQ(office->savedPaths(),
              (std::vector<std::string>{proposed + "参考5.doc", proposed + "参考6.doc"}));
}

TEST_F(RequestTest, NoThenCancelKeepsTheProposedFolderAndSavesNothing) {
    const TempFolder elsewhereFolder("gui-typed");
    const std::string elsewhere = elsewhereFolder.path() + "/";
    dialogs.answerFile(elsewhere + "合同.doc");
    dialogs.answerNo();
    Click("插入并保存按钮");
    const auto saves = Saves();
    ASSERT_EQ(saves.size(), 2u);
    // The dialog comes back with the name as the user typed it.
    EXPECT_EQ(saves[1]->folder, elsewhere);
    EXPECT_EQ(saves[1]->proposedName, "合同.doc");
    // Nothing was confirmed, so no folder was made for the run.
    EXPECT_FALSE(DirectoryExists(proposed));
    EXPECT_TRUE(office->savedPaths().empty());
}

TEST_F(RequestTest, NameWithoutExtensionIsTakenWhole) {
    SetRange(QStringLiteral("2"), QStringLiteral("2"));
    SaveAs(proposed + "合同");
    EXPECT_EQ(state->referenceName, "合同");
    EXPECT_EQ(office->savedPaths(), std::vector<std::string>{proposed + "合同2.doc"});
}

TEST_F(RequestTest, ProposedFolderGoesOnlyWhenEmpty) {
    SetRange(QStringLiteral("1"), QStringLiteral("1"));
    const TempFolder elsewhereFolder("gui-out");
    const std::string elsewhere = elsewhereFolder.path() + "/";
    SaveAs(elsewhere + "参考.doc");
    EXPECT_FALSE(fs::exists(fs::u8path(proposed)));  // empty: removed
    EXPECT_EQ(state->outputFolder, elsewhere);
    EXPECT_EQ(office->savedPaths(), std::vector<std::string>{elsewhere + "参考1.doc"});

    // Documents of an earlier run stay, and so does their folder (proposed again as at first).
    settings->SetUserDocPath(programFolder + "/用户文档/");
    ASSERT_TRUE(MakeDirectory(proposed));
    ASSERT_TRUE(WriteText(proposed + "旧1.doc", "earlier"));
    SaveAs(elsewhere + "参考.doc");
    EXPECT_TRUE(FileExists(proposed + "旧1.doc"));

    // A folder chosen inside the proposed one.
    settings->SetUserDocPath(programFolder + "/用户文档/");
    fs::remove(fs::u8path(proposed + "旧1.doc"));
    ASSERT_TRUE(MakeDirectory(proposed + "子"));
    SaveAs(proposed + "子/参考.doc");
    EXPECT_TRUE(FileExists(proposed + "子/参考1.doc"));
    EXPECT_EQ(state->outputFolder, proposed + "子/");

    // The proposed folder itself, written another way: it stays and receives the documents.
    settings->SetUserDocPath(programFolder + "/用户文档/");
    fs::remove(fs::u8path(proposed + "子/参考1.doc"));
    fs::remove(fs::u8path(proposed + "子"));
    SaveAs(proposed + "./参考.doc");
    EXPECT_TRUE(FileExists(proposed + "参考1.doc"));
}

// The first run proposes 用户文档/<template>/; a save elsewhere is remembered, and later runs
// propose <that folder>/<template>/, also after the program starts again.
TEST_F(RequestTest, TheFolderTheUserSavedInIsProposedNextTime) {
    SetRange(QStringLiteral("1"), QStringLiteral("1"));
    const TempFolder elsewhereFolder("gui-out");
    const std::string elsewhere = elsewhereFolder.path() + "/";
    auto proposedNext = [&] {
        dialogs.calls.clear();
        dialogs.clearAnswers();
        Click("插入并保存按钮");  // the dialog is cancelled
        const DialogCall* save = nullptr;
        for (const DialogCall& call : dialogs.calls)
            if (call.kind == DialogCall::Save) save = &call;
        // What the dialog proposes, the folders that are still missing included.
        return save ? save->folder + save->proposedName : std::string("(no dialog)");
    };
    EXPECT_EQ(proposedNext(), proposed + "名单.doc");
    EXPECT_FALSE(fs::exists(fs::u8path(proposed)));

    // Saved into a folder of the user's own: the next run proposes one named after the template
    // below it; a cancelled dialog makes no folder there either.
    SaveAs(elsewhere + "参考.doc");
    EXPECT_TRUE(FileExists(elsewhere + "参考1.doc"));
    EXPECT_EQ(proposedNext(), elsewhere + "名单/名单.doc");
    EXPECT_FALSE(fs::exists(fs::u8path(elsewhere + "名单")));
    EXPECT_EQ(settings->UserDocPath(), elsewhereFolder.path());

    // Saved into a folder named after the template: its parent is remembered.
    ASSERT_TRUE(fs::create_directories(fs::u8path(elsewhere + "二/名单")));
    SaveAs(elsewhere + "二/名单/参考.doc");
    EXPECT_TRUE(FileExists(elsewhere + "二/名单/参考1.doc"));
    EXPECT_EQ(proposedNext(), elsewhere + "二/名单/名单.doc");

    // Kept in the settings for the next start.
    const AppSettings again(programFolder);
    EXPECT_EQ(again.GetUserDocPath(), elsewhere + "二/");

    // A remembered folder that is gone: 用户文档/<template>/ again.
    fs::remove_all(fs::u8path(elsewhere + "二"));
    EXPECT_EQ(proposedNext(), proposed + "名单.doc");
}

TEST_F(RequestTest, PrintRunHidesTheWindowAndShowsItAgain) {
    SetRange(QStringLiteral("3"), QStringLiteral("5"));
    std::vector<bool> visibleDuringRun;
    std::vector<bool> visibleAtMessages;
    dialogs.onCall = [&](const DialogCall&) { visibleAtMessages.push_back(window->isVisible()); };
    window->setProgressObserver([&](int) { visibleDuringRun.push_back(window->isVisible()); });
    dialogs.answerYes();  // the printer and the count agreed to
    Click("插入并打印按钮");
    EXPECT_EQ(office->printJobs().size(), 3u);
    EXPECT_TRUE(office->savedPaths().empty());
    ASSERT_FALSE(visibleDuringRun.empty());
    for (bool visible : visibleDuringRun) EXPECT_FALSE(visible);
    // Asked before the window goes; back before the closing message is shown.
    EXPECT_EQ(visibleAtMessages, (std::vector<bool>{true, true}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Saves().empty());
}

TEST_F(RequestTest, SecondRequestDuringARunIsRefusedWithAWord) {
    SetRange(QStringLiteral("1"), QStringLiteral("2"));
    bool asked = false;
    const std::string busy = "正在生成文档，请等当前的运行结束后再开始新的运行。";
    dialogs.onCall = [&](const DialogCall& call) {
        if (call.text != "完成！已生成 2 个文档。是否打开存放文档所在文件夹？" || asked) return;
        asked = true;
        EXPECT_TRUE(window->RunGoing());
        window->RequestSaveRun();
        window->RequestPrintRun();
        // Only the two refusals: no dialog of a new run.
        ASSERT_GE(dialogs.calls.size(), 2u);
        EXPECT_EQ(dialogs.calls[dialogs.calls.size() - 1].text, busy);
        EXPECT_EQ(dialogs.calls[dialogs.calls.size() - 2].text, busy);
    };
    SaveAs(proposed + "参考.doc");
    EXPECT_TRUE(asked);
    EXPECT_EQ(office->savedPaths().size(), 2u);
    EXPECT_TRUE(office->printJobs().empty());
}

TEST_F(RequestTest, InputsAreLockedWhileARunGoes) {
    // A template or sheet choice in the middle of a run would change what it works on; paging
    // through the grid does not, and stays live.
    SetRange(QStringLiteral("1"), QStringLiteral("2"));
    const char* const inputs[] = {"文件选择组合框",   "工作表选择组合框", "模板选择组合框",
                                  "每页记录数组合框", "多行模式选择框",   "选择方式组合框"};
    bool checked = false;
    window->setProgressObserver([&](int) {
        if (checked) return;
        checked = true;
        for (const char* name : inputs) EXPECT_FALSE(Find<QWidget>(name)->isEnabled()) << name;
        for (const char* name : {"退出按钮", "页组合框", "下一页标签", "插入并保存按钮"})
            EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
    });
    SaveAs(proposed + "参考.doc");
    EXPECT_TRUE(checked);
    for (const char* name : inputs) EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
    EXPECT_EQ(office->savedPaths().size(), 2u);
}

TEST_F(RequestTest, AnsweringYesOpensTheOutputFolder) {
    SetRange(QStringLiteral("1"), QStringLiteral("1"));
    dialogs.answerFile(proposed + "参考.doc");
    dialogs.answerYes();
    dialogs.answerYes();
    Click("插入并保存按钮");
    EXPECT_EQ(opener.targets, std::vector<std::string>{proposed});
}

TEST_F(RequestTest, MultiRowConfirmationNumbersByDocument) {
    ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/两行.doc", {{"姓名_1", ""}, {"姓名_2", ""}}));
    gui::MainWindow::FillFileList(settings->GetWordPath(), ".doc", Combo("模板选择组合框"));
    Choose("模板选择组合框", QStringLiteral("两行.doc"));
    Click("多行模式选择框");
    SetRange(QStringLiteral("1"), QStringLiteral("5"));
    dialogs.answerFile(programFolder + "/用户文档/两行/参考.doc");
    Click("插入并保存按钮");  // the confirmation is answered No, then cancelled
    ASSERT_NE(Confirmation(), nullptr);
    EXPECT_NE(Confirmation()->text.find("文件名命名为：参考1.doc、参考2.doc、参考3.doc。"), std::string::npos)
        << Confirmation()->text;
}

}  // namespace
}  // namespace qm::test
