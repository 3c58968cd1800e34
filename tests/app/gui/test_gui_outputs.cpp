// The window's side of the outputs: the match line beside the template chooser, the question
// before a run that leaves bookmarks empty, the file types of the save dialog, file names from a
// column and one PDF of every document (with the in-memory office).

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <filesystem>
#include <memory>

#include "common/fs.h"
#include "merge/output_names.h"
#include "test_gui_support.h"
#include "tests/support/command.h"
#include "tests/support/fake_office.h"

namespace fs = std::filesystem;

namespace qm::test {
namespace {

const std::vector<std::string> kTypes = {"Word文档(*.doc)", "Word文档(*.docx)", "PDF 文件(*.pdf)",
                                         "OpenDocument 文本(*.odt)", "一个PDF文件（全部）(*.pdf)"};
constexpr int kPdf = 2;
constexpr int kOnePdf = 4;

class OutputsTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        StartWindow();
        proposed = programFolder + "/用户文档/名单/";
    }
    std::vector<const DialogCall*> Calls(DialogCall::Kind kind) const {
        std::vector<const DialogCall*> result;
        for (const DialogCall& call : dialogs.calls)
            if (call.kind == kind) result.push_back(&call);
        return result;
    }
    const DialogCall* Captioned(const char* caption) const {
        for (const DialogCall* call : dialogs.messages())
            if (call->caption == caption) return call;
        return nullptr;
    }
    QLabel* Line() const { return Find<QLabel>("书签匹配标签"); }
    // Everything in the proposed folder, hidden entries too.
    std::vector<std::string> Entries() const { return EntryNames(proposed); }
    void Reset() {
        dialogs.calls.clear();
        dialogs.clearAnswers();
    }

    std::string proposed;
};

TEST_F(OutputsTest, MatchLineFollowsTheTemplateTheSheetAndTheModes) {
    EXPECT_EQ(Line()->text(), QString());
    Choose("模板选择组合框", QStringLiteral("名单.doc"));
    // No sheet read yet: nothing to match, and the template's tooltip says so.
    EXPECT_EQ(Line()->text(), QString());
    EXPECT_TRUE(Combo("模板选择组合框")->toolTip().startsWith(QStringLiteral("还没有读取工作表")));

    LoadPeople();
    EXPECT_EQ(Line()->text(), QStringLiteral("匹配 3/3 书签"));
    const QString tip = Line()->toolTip();
    EXPECT_TRUE(tip.contains(QStringLiteral("填入数据的书签（3）：姓名、工号、备注"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("没有对应书签的列（3）：序号、金额、入职日期")))
        << tip.toStdString();
    EXPECT_EQ(tip, Combo("模板选择组合框")->toolTip() + QStringLiteral("\n（单击可把某列标为图片列）"));
    EXPECT_EQ(Line()->palette().color(QPalette::WindowText), QColor(0, 110, 0));

    // Under the wrong mode the line says which mode fills the bookmarks, and leaves the switch
    // as the user set it.
    Click("重复模式选择框");
    EXPECT_EQ(Line()->text(), QStringLiteral("取消“重复模式”后匹配 3/3 书签"));
    EXPECT_TRUE(Line()->toolTip().startsWith(QStringLiteral("取消“重复模式”后匹配 3/3 书签。单行模式：")))
        << Line()->toolTip().toStdString();
    EXPECT_EQ(Line()->palette().color(QPalette::WindowText), QColor(160, 90, 0));
    EXPECT_TRUE(Find<QCheckBox>("重复模式选择框")->isChecked());
    Click("重复模式选择框");
    Choose("模板选择组合框", QStringLiteral("空白.doc"));
    EXPECT_EQ(Line()->text(), QStringLiteral("匹配 0/1 书签"));
    Choose("模板选择组合框", QStringLiteral("浏览..."));  // cancelled: no template is chosen
    EXPECT_EQ(Line()->text(), QString());
    EXPECT_EQ(Line()->toolTip(), QString());

    // Another workbook: the old sheet's match goes until one of its sheets is chosen.
    Choose("模板选择组合框", QStringLiteral("名单.doc"));
    EXPECT_EQ(Line()->text(), QStringLiteral("匹配 3/3 书签"));
    AddWorkbook("rows26.xls");
    Choose("文件选择组合框", QStringLiteral("rows26.xls"));
    EXPECT_EQ(Line()->text(), QString());
    EXPECT_EQ(Combo("工作表选择组合框")->currentIndex(), -1);
}

TEST_F(OutputsTest, TheChosenTypeDecidesTheFormatAndIsRemembered) {
    LoadPeople();
    dialogs.answerFile(proposed + "参考.doc", kPdf);  // the name typed keeps .doc; the type says PDF
    dialogs.answerYes();
    Click("插入并保存按钮");

    ASSERT_EQ(Calls(DialogCall::Save).size(), 1u);
    EXPECT_EQ(Calls(DialogCall::Save)[0]->types, kTypes);
    EXPECT_EQ(Calls(DialogCall::Save)[0]->current, 0);
    const auto choices = Calls(DialogCall::Choice);
    ASSERT_EQ(choices.size(), 1u);
    ASSERT_EQ(choices[0]->items.size(), 7u);  // by number, then the six columns
    EXPECT_EQ(choices[0]->items[0], "参考名加序号：参考1.pdf");
    EXPECT_EQ(choices[0]->items[2], "参考名加“姓名”列的值：参考_李四1.pdf");
    EXPECT_NE(Captioned("文件名确认提示")->text.find("参考1.pdf、参考2.pdf……参考10.pdf。"),
              std::string::npos);
    ASSERT_EQ(office->savedPaths().size(), 10u);
    EXPECT_TRUE(FileExists(proposed + "参考10.pdf"));

    Reset();
    Click("插入并保存按钮");  // cancelled at once
    ASSERT_EQ(Calls(DialogCall::Save).size(), 1u);
    EXPECT_EQ(Calls(DialogCall::Save)[0]->current, kPdf);
    EXPECT_EQ(Calls(DialogCall::Save)[0]->proposedName, "名单.pdf");
}

TEST_F(OutputsTest, FilesNamedFromAColumnAreConfirmedByTheirRealNames) {
    LoadPeople();
    SetRange(QStringLiteral("1"), QStringLiteral("7"));
    dialogs.answerFile(proposed + "参考.doc");
    dialogs.answerChoice(6);  // 备注: rows 1 and 6 hold the same text, the others nothing
    dialogs.answerYes();
    Click("插入并保存按钮");

    const std::vector<std::string> names = {
        "参考_第一行_第二行.doc",    "参考2.doc", "参考3.doc", "参考4.doc", "参考5.doc",
        "参考_第一行_第二行(2).doc", "参考7.doc"};
    NamePlan plan;
    plan.names = names;
    plan.numbered = 5;
    plan.renamed = 1;
    // The naming rule follows what the confirmation says of the names.
    EXPECT_EQ(Captioned("文件名确认提示")->text,
              NamedConfirmationText(proposed, plan) + "\r\n　　命名规则：参考名加“备注”列的值。");
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(office->savedPaths()[i], proposed + names[i]);
        EXPECT_TRUE(FileExists(proposed + names[i])) << names[i];
    }

    Reset();
    dialogs.answerFile(proposed + "参考.doc");
    dialogs.answerChoice(-1);  // back to the file dialog, which is cancelled
    Click("插入并保存按钮");
    ASSERT_EQ(Calls(DialogCall::Choice).size(), 1u);
    EXPECT_EQ(Calls(DialogCall::Choice)[0]->current, 6);  // the column chosen last time
    EXPECT_EQ(Calls(DialogCall::Save).size(), 2u);
    EXPECT_EQ(Captioned("文件名确认提示"), nullptr);
}

// The match line's menu marks a column as a picture column, remembered for the template; a run
// then puts each row's photo into its bookmark.
TEST_F(OutputsTest, APictureColumnChosenOnTheMatchLinePutsPhotosIntoTheBadges) {
    UseShippedSamples();
    window.reset();
    StartWindow();
    std::filesystem::create_directories(proposed);
    Choose("文件选择组合框", QStringLiteral("员工信息.xls"));
    Choose("工作表选择组合框", QStringLiteral("员工$"));
    Choose("模板选择组合框", QStringLiteral("工作证.docx"));
    // The badge needs repeat mode: the line says so, and explains the mode, before it is chosen.
    EXPECT_EQ(Line()->text(), QStringLiteral("勾选“重复模式”后匹配 6/6 书签"));
    EXPECT_TRUE(Line()->toolTip().contains(QStringLiteral("重复模式：每列的值依次填入书签“列名_c1”")))
        << Line()->toolTip().toStdString();
    EXPECT_FALSE(Find<QCheckBox>("重复模式选择框")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("重复模式选择框")->toolTip().isEmpty());
    Click("重复模式选择框");
    EXPECT_EQ(Line()->text(), QStringLiteral("匹配 6/6 书签"));
    const auto menuAction = [this](const char* title) {
        std::unique_ptr<QMenu> menu(window->MakePictureColumnMenu());
        EXPECT_NE(menu, nullptr);
        QAction* action =
            menu ? menu->findChild<QAction*>(QString::fromUtf8("图片列:") + QString::fromUtf8(title))
                 : nullptr;
        return std::make_pair(std::move(menu), action);
    };
    {
        auto [menu, action] = menuAction("照片");
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QStringLiteral("照片：图片"));
        EXPECT_FALSE(action->isChecked());
        // Only columns that fill a bookmark are offered.
        EXPECT_EQ(menuAction("联系电话").second, nullptr);
        action->trigger();
    }
    EXPECT_TRUE(Line()->toolTip().contains(QStringLiteral("\n照片：图片\n")))
        << Line()->toolTip().toStdString();
    // The grid's header marks the picture column.
    const QAbstractItemModel* grid = Find<QTableView>("表格1")->model();
    QStringList headers;
    for (int c = 0; c < grid->columnCount(); ++c)
        headers.append(grid->headerData(c, Qt::Horizontal).toString());
    EXPECT_TRUE(headers.contains(QStringLiteral("照片（图片）")))
        << headers.join(QLatin1Char(',')).toStdString();
    EXPECT_FALSE(headers.contains(QStringLiteral("姓名（图片）")));
    // Kept for this template only.
    Choose("模板选择组合框", QStringLiteral("劳动合同.docx"));
    EXPECT_FALSE(Line()->toolTip().contains(QStringLiteral("：图片\n")));
    Choose("模板选择组合框", QStringLiteral("工作证.docx"));
    EXPECT_TRUE(menuAction("照片").second->isChecked());

    SetRange(QStringLiteral("1"), QStringLiteral("2"));
    dialogs.answerFile(proposed + "证.docx", 1);
    dialogs.answerChoice(0);
    dialogs.answerYes();
    Click("插入并保存按钮");
    for (const char* n : {"1", "2"}) {
        const std::string file = proposed + "证" + n + ".docx";
        const std::string photo = programFolder + "/数据/照片/00" + n + ".png";
        const CommandResult same = RunCommand(
            "/usr/bin/python3 -c 'import sys, zipfile\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "media = [z.read(n) for n in z.namelist() if n.startswith(\"word/media/\")]\n"
            "print(len(media), media == [open(sys.argv[2], \"rb\").read()])' " +
            ShellQuote(file) + " " + ShellQuote(photo));
        EXPECT_EQ(same.out, "1 True\n") << file << same.err;
    }
}

// The in-memory office writes no PDF, so the one PDF cannot be joined: the window says so, and
// nothing of the run stays in the folder.
TEST_F(OutputsTest, OnePdfOfEveryDocumentFromTheWindow) {
    LoadPeople();
    SetRange(QStringLiteral("2"), QStringLiteral("4"));
    dialogs.answerFile(proposed + "全部.pdf", kOnePdf);
    dialogs.answerYes();
    Click("插入并保存按钮");

    EXPECT_TRUE(Calls(DialogCall::Choice).empty());  // one file: no naming column
    ASSERT_NE(Captioned("文件名确认提示"), nullptr);
    EXPECT_EQ(Captioned("文件名确认提示")->text, SingleFileConfirmationText(proposed, "全部.pdf", 3) +
                                                     "\r\n　　命名规则：全部文档合为一个PDF文件。");
    EXPECT_EQ(office->savedPaths().size(), 3u);
    const std::string closing = dialogs.messages().back()->text;
    EXPECT_TRUE(closing.starts_with("未能生成合并的PDF文件“全部.pdf”，原有的同名文件保持不变。")) << closing;
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(settings->OutputType(), "pdf-all");
    EXPECT_EQ(settings->NameColumn(), "");
}

TEST_F(OutputsTest, EmptyBookmarksAreAskedAboutOnceBeforeARun) {
    ASSERT_TRUE(
        WriteFakeTemplate(programFolder + "/模板/缺列.doc", {{"姓名", ""}, {"工号", ""}, {"未知", ""}}));
    gui::MainWindow::FillFileList(settings->GetWordPath(), ".doc", Combo("模板选择组合框"));
    LoadPeople("缺列.doc");
    EXPECT_EQ(Line()->text(), QStringLiteral("匹配 2/3 书签"));
    SetRange(QStringLiteral("1"), QStringLiteral("2"));

    Click("插入并打印按钮");  // answered No
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0]->text,
              "模板“缺列.doc”中有 1 个书签没有对应的列，运行后将保持模板中的原样：未知。\r\n是否继续？");
    EXPECT_EQ(dialogs.messages()[0]->caption, "书签检查");
    EXPECT_TRUE(dialogs.messages()[0]->question);
    EXPECT_TRUE(office->printJobs().empty());
    EXPECT_TRUE(window->isVisible());

    dialogs.answerYes();  // the bookmarks, then the printer
    dialogs.answerYes();
    Click("插入并打印按钮");
    EXPECT_EQ(office->printJobs().size(), 2u);
    Reset();
    dialogs.answerYes();      // the printer alone
    Click("插入并打印按钮");  // the same template, sheet and modes: not asked again
    EXPECT_EQ(office->printJobs().size(), 4u);
    EXPECT_EQ(Captioned("书签检查"), nullptr);

    // Another mode: every bookmark would stay empty, so the run is refused before any dialog.
    Click("重复模式选择框");
    Reset();
    Click("插入并保存按钮");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].caption, "书签检查");
    EXPECT_FALSE(dialogs.calls[0].question);
    EXPECT_EQ(dialogs.calls[0].icon, MessageIcon::Warning);
    EXPECT_NE(dialogs.calls[0].text.find("都没有对应的列"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::u8path(programFolder + "/用户文档/缺列")));

    Click("重复模式选择框");  // back: the answer given for this mode still holds
    Reset();
    dialogs.answerYes();
    Click("插入并打印按钮");
    EXPECT_EQ(Captioned("书签检查"), nullptr);
    EXPECT_EQ(office->printJobs().size(), 6u);
}

}  // namespace
}  // namespace qm::test
