// Start-up state, the menus, the mode switches and the two file choosers.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/gui/about_window.h"
#include "app/gui/links.h"
#include "app/gui/page_model.h"
#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "common/text.h"
#include "test_gui_support.h"
#include "tests/support/fake_office.h"

namespace fs = std::filesystem;

namespace qm::test {
namespace {

using gui::ToQ;

QAction* MenuAction(QWidget* window, const char* text) {
    for (QAction* action : window->findChildren<QAction*>())
        if (action->text() == QString::fromUtf8(text)) return action;
    return nullptr;
}

class WindowStartTest : public WindowTest {};

TEST_F(WindowStartTest, StateAfterStartUp) {
    ASSERT_TRUE(WriteTextFile(programFolder + "/数据/说明.txt", "not a workbook"));
    StartWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillmerge\u3000V1.1.0.1"));
    EXPECT_FALSE(Find<QCheckBox>("重复模式选择框")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("多行模式选择框")->isChecked());
    EXPECT_FALSE(state->multiRowMode);
    EXPECT_FALSE(state->repeatMode);
    EXPECT_EQ(Combo("每页记录数组合框")->currentText(), QStringLiteral("10"));
    EXPECT_EQ(Combo("选择方式组合框")->currentIndex(), 0);
    EXPECT_EQ(Combo("选择方式组合框")->currentText(), QStringLiteral("按条"));
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("1"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("10"));
    EXPECT_EQ(Text("范围单位标签"), QStringLiteral("条"));
    EXPECT_FALSE(Find<QProgressBar>("进度条1")->isVisible());
    EXPECT_EQ(window->pageModel().rowCount(), 10);
    EXPECT_EQ(window->pageModel().columnCount(), 10);
    EXPECT_EQ(window->pageModel().title(0), QString());
    EXPECT_EQ(Items("文件选择组合框"), (QStringList{"dates1904.xls", "people.xls", "浏览..."}));
    EXPECT_EQ(Combo("文件选择组合框")->currentIndex(), -1);
    EXPECT_EQ(Items("模板选择组合框"), (QStringList{"名单.doc", "空白.doc", "浏览..."}));
    EXPECT_EQ(Combo("模板选择组合框")->currentIndex(), -1);
    EXPECT_EQ(Items("工作表选择组合框"), QStringList());
    EXPECT_EQ(Combo("页组合框")->count(), 0);
    EXPECT_EQ(state->recordsPerPage, 10);
    EXPECT_EQ(state->currentPage, 1);
    EXPECT_EQ(state->programFolder, programFolder);
    // First start: the settings row holds the default folders.
    EXPECT_EQ(settings->GetExcelPath(), programFolder + "/数据/");
    // No office is started before a template is chosen.
    EXPECT_EQ(office->applicationsStarted(), 0);
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(WindowStartTest, FixedWindowWithLinksDrawnAsLinks) {
    StartWindow();
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    // The client area holds every control with the margins of the left and top edges.
    const QRect client = window->centralWidget()->rect();
    for (QWidget* child : window->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(client.adjusted(8, 8, -8, -8).contains(child->geometry())) << child->objectName().toStdString();
    auto* link = Find<QLabel>("下一页标签");
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->font().pixelSize(), 12);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
}

TEST_F(WindowStartTest, EveryControlWithItsCaptionAndPlace) {
    StartWindow();
    struct Expected {
        const char* name;
        const char* caption;  // nullptr: no caption to compare
        QRect geometry;
    };
    const Expected controls[] = {
        {"标签1", "Excel文件(*.xls)：", {8, 8, 112, 24}},
        {"文件选择组合框", nullptr, {120, 9, 340, 20}},
        {"标签3", "工作表：", {470, 8, 48, 24}},
        {"工作表选择组合框", nullptr, {520, 9, 288, 20}},
        {"标签2", "Word模板(*.doc)：", {8, 36, 112, 24}},
        {"模板选择组合框", nullptr, {120, 37, 250, 20}},
        {"书签匹配标签", "", {376, 37, 92, 20}},
        {"重复模式选择框", "重复模式", {472, 40, 72, 16}},
        {"多行模式选择框", "多行模式", {554, 40, 76, 16}},
        {"标签4", "每页显示记录：", {638, 39, 84, 16}},
        {"每页记录数组合框", nullptr, {726, 36, 66, 20}},
        {"标签5", "条", {796, 40, 14, 12}},
        {"表格1", nullptr, {8, 64, 804, 272}},
        {"进度条1", nullptr, {220, 132, 424, 32}},
        {"标签6", "范围：", {8, 347, 36, 20}},
        {"范围起编辑框", "1", {44, 347, 44, 20}},
        {"标签7", "到", {108, 347, 24, 20}},
        {"范围止编辑框", "10", {132, 347, 44, 20}},
        {"范围单位标签", "条", {196, 347, 24, 20}},
        {"选择方式组合框", nullptr, {228, 348, 68, 20}},
        {"首页标签", "首页", {307, 348, 32, 20}},
        {"上一页标签", "上一页", {343, 348, 40, 20}},
        {"下一页标签", "下一页", {387, 348, 40, 20}},
        {"尾页标签", "尾页", {431, 348, 32, 20}},
        {"标签10", "到", {471, 350, 16, 16}},
        {"页组合框", nullptr, {489, 348, 50, 20}},
        {"标签11", "页", {543, 350, 16, 16}},
        {"插入并保存按钮", "插入并保存(&S)", {566, 344, 91, 28}},
        {"插入并打印按钮", "插入并打印(&P)", {661, 344, 92, 28}},
        {"退出按钮", "退出(&Q)", {760, 344, 52, 28}},
    };
    for (const Expected& control : controls) {
        QWidget* widget = Find(control.name);
        ASSERT_NE(widget, nullptr) << control.name;
        EXPECT_EQ(widget->parentWidget(), window->centralWidget()) << control.name;
        EXPECT_EQ(widget->geometry(), control.geometry) << control.name;
        if (!control.caption) continue;
        QString caption = Text(control.name);
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) caption = button->text();
        EXPECT_EQ(caption, QString::fromUtf8(control.caption)) << control.name;
    }
    EXPECT_EQ(Items("每页记录数组合框"), (QStringList{"10", "20", "50", "100", "200"}));
    EXPECT_EQ(Items("选择方式组合框"), (QStringList{"按条", "按页", "全部", "按选择"}));
    EXPECT_FALSE(Combo("文件选择组合框")->isEditable());
    EXPECT_FALSE(Combo("工作表选择组合框")->isEditable());
    EXPECT_FALSE(Combo("模板选择组合框")->isEditable());
    EXPECT_FALSE(Combo("每页记录数组合框")->isEditable());
    EXPECT_TRUE(Combo("选择方式组合框")->isEditable());
    EXPECT_TRUE(Combo("页组合框")->isEditable());
    EXPECT_EQ(Find<gui::RangeBox>("范围起编辑框")->maximum(), 100);
    EXPECT_EQ(Find<gui::RangeBox>("范围止编辑框")->minimum(), 1);
}

TEST_F(WindowStartTest, TemplateFolderWithoutDocumentsListsOnlyBrowse) {
    fs::remove(fs::u8path(programFolder + "/模板/名单.doc"));
    fs::remove(fs::u8path(programFolder + "/模板/空白.doc"));
    ASSERT_TRUE(WriteTextFile(programFolder + "/模板/说明.txt", "x"));
    fs::create_directory(fs::u8path(programFolder + "/模板/旧模板.doc"));  // a folder, not a file
    StartWindow();
    EXPECT_EQ(Items("模板选择组合框"), QStringList{"浏览..."});
    EXPECT_EQ(Combo("模板选择组合框")->currentIndex(), -1);
}

TEST_F(WindowStartTest, ModeSwitchesFollowTheirCheckBoxes) {
    StartWindow();
    Click("多行模式选择框");
    EXPECT_TRUE(state->multiRowMode);
    Click("多行模式选择框");
    EXPECT_FALSE(state->multiRowMode);
    Click("重复模式选择框");
    EXPECT_TRUE(state->repeatMode);
    EXPECT_FALSE(state->multiRowMode);
}

TEST_F(WindowStartTest, TimerRestoresTheTitle) {
    StartWindow();
    window->setWindowTitle(QStringLiteral("别的标题"));
    EXPECT_TRUE(WaitFor([&] { return window->windowTitle() == QStringLiteral("Quillmerge\u3000V1.1.0.1"); }, 5000));
}

TEST_F(WindowStartTest, MenusAndTheGreyedItem) {
    StartWindow();
    QStringList tops;
    for (QAction* action : window->menuBar()->actions()) tops << action->text();
    EXPECT_EQ(tops, (QStringList{"工具(&T)", "帮助(&H)"}));
    QAction* greyed = MenuAction(window.get(), "Word模板书签管理(&B)");
    ASSERT_NE(greyed, nullptr);
    EXPECT_FALSE(greyed->isEnabled());
    greyed->trigger();
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_TRUE(opener.targets.empty());
    EXPECT_EQ(office->applicationsStarted(), 0);
}

TEST_F(WindowStartTest, ForceCloseAsksFirstAndExitAsksNothing) {
    StartWindow();
    Choose("模板选择组合框", QStringLiteral("名单.doc"));
    MenuAction(window.get(), "强制关闭WORD程序（不保存）(&C)")->trigger();  // answered No
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0]->buttons, gui::Buttons::YesNo);
    EXPECT_TRUE(office->alive());
    QSignalSpy exit(window.get(), &gui::MainWindow::endProgramRequested);
    Click("退出按钮");
    EXPECT_EQ(exit.count(), 1);
    EXPECT_EQ(dialogs.messages().size(), 1u);
}

TEST_F(WindowStartTest, HelpItemsOpenTheirTargets) {
    StartWindow();
    const char* items[] = {"软件使用详细说明(&R)", "Word模板插入书签视频教程(&M)", "数据插入并保存到Word视频教程(&S)",
                           "数据插入到Word并打印视频教程(&P)", "下载模板(&D)", "下载新版本(&N)"};
    for (const char* item : items) {
        QAction* action = MenuAction(window.get(), item);
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }
    const std::string help = programFolder + "/帮助及教程/";
    EXPECT_EQ(opener.targets,
              (std::vector<std::string>{help + "帮助.mht", help + "插入书签视频教程.html", help + "保存到Word视频教程.html",
                                        help + "插入到Word并打印视频教程.html", std::string(kTemplateDownloadUrl),
                                        std::string(kDownloadUrl)}));
    // The help folder is missing here: nothing is shown by the program.
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(WindowStartTest, AboutIsAFreshModalWindowEachTime) {
    StartWindow();
    std::vector<QDialog*> seen;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(about, nullptr);
            seen.push_back(about);
            EXPECT_EQ(about->windowTitle(), QStringLiteral("关于 Quillmerge V1.0"));
            EXPECT_TRUE(about->isModal());
            auto* close = about->findChild<QPushButton*>(QStringLiteral("按钮1"));
            ASSERT_NE(close, nullptr);
            EXPECT_EQ(close->text(), QStringLiteral("关闭(&C)"));
            QTest::mouseClick(close, Qt::LeftButton);
        });
        MenuAction(window.get(), "关于(&A)")->trigger();
        EXPECT_EQ(window->findChildren<gui::AboutWindow*>().size(), 0);  // gone after closing
    }
    ASSERT_EQ(seen.size(), 2u);
}

TEST_F(WindowStartTest, AboutWindowContentsAndLinks) {
    StartWindow();
    gui::AboutWindow about(opener, programFolder, window.get());
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_FALSE(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const std::pair<const char*, QRect> places[] = {{"图片框1", {4, 4, 372, 56}},   {"标签1", {8, 68, 368, 24}},
                                                    {"标签2", {8, 100, 364, 44}},   {"标签3", {4, 152, 196, 20}},
                                                    {"按钮1", {264, 152, 96, 24}}};
    for (const auto& [name, place] : places) {
        QWidget* control = about.findChild<QWidget*>(QString::fromUtf8(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->geometry(), place) << name;
        EXPECT_TRUE(about.rect().contains(control->geometry())) << name;
    }
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("标签1"))->text(), ToQ(kAboutLine));
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("标签2"))->text(),
              QStringLiteral("　　欢迎加入QQ群") + ToQ(kSupportGroupNumber) +
                  QStringLiteral("参与讨论，为软件的升级改善提供宝贵的建议或意见。"));
    auto* address = about.findChild<QLabel*>(QStringLiteral("标签3"));
    EXPECT_EQ(address->text(), ToQ(kHomePageText));
    EXPECT_EQ(address->font().pixelSize(), 16);
    EXPECT_FALSE(address->font().underline());
    about.show();
    QTest::mouseClick(address, Qt::LeftButton);
    QTest::mouseClick(about.findChild<QLabel*>(QStringLiteral("图片框1")), Qt::LeftButton);
    // A right click opens nothing.
    QTest::mouseClick(address, Qt::RightButton);
    EXPECT_EQ(opener.targets, (std::vector<std::string>{std::string(kHomePageUrl), std::string(kHomePageUrl)}));
}

class FileChoiceTest : public WindowTest {};

TEST_F(FileChoiceTest, ChoosingAWorkbookListsItsSheetsNoneCurrent) {
    StartWindow();
    Choose("文件选择组合框", QStringLiteral("people.xls"));
    const QStringList sheets = Items("工作表选择组合框");
    ASSERT_GE(sheets.size(), 3);
    EXPECT_EQ(sheets.front(), QStringLiteral("人员名单$"));
    EXPECT_TRUE(sheets.contains(QStringLiteral("空表$")));
    EXPECT_EQ(Combo("工作表选择组合框")->currentIndex(), -1);
    EXPECT_NE(state->sheetConnection.find(programFolder + "/数据/people.xls"), std::string::npos);
    // Another workbook replaces the list; the grid keeps its page until a sheet is chosen.
    Choose("工作表选择组合框", QStringLiteral("人员名单$"));
    const QString shown = window->pageModel().cell(0, 1);
    Choose("文件选择组合框", QStringLiteral("dates1904.xls"));
    EXPECT_EQ(Items("工作表选择组合框"), QStringList{"Sheet1$"});
    EXPECT_EQ(window->pageModel().cell(0, 1), shown);
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(FileChoiceTest, BrowsingToAnotherFolderStoresItAndListsTheChosenWorkbook) {
    const std::string other = MakeTempFolder("other");
    fs::copy_file(fs::u8path(FixtureFolder() + "/people.xls"), fs::u8path(other + "/名册.XLS"));
    fs::copy_file(fs::u8path(FixtureFolder() + "/dates1904.xls"), fs::u8path(other + "/a.xls"));
    StartWindow();
    dialogs.files.push_back(other + "/名册.XLS");
    Choose("文件选择组合框", QStringLiteral("浏览..."));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Open);
    EXPECT_EQ(dialogs.calls[0].title, "打开Excel数据文件");
    EXPECT_EQ(dialogs.calls[0].filter, "Excel文件(*.xls)");
    EXPECT_EQ(dialogs.calls[0].folder, programFolder + "/数据/");
    EXPECT_EQ(settings->GetExcelPath(), other + "/");
    EXPECT_EQ(Items("文件选择组合框"), (QStringList{"a.xls", "名册.XLS", "浏览..."}));
    EXPECT_EQ(Combo("文件选择组合框")->currentText(), QStringLiteral("名册.XLS"));
    EXPECT_EQ(Items("工作表选择组合框").value(0), QStringLiteral("人员名单$"));
    EXPECT_EQ(Combo("工作表选择组合框")->currentIndex(), -1);
    // The folder is remembered across runs.
    AppSettings reread(programFolder);
    EXPECT_EQ(reread.GetExcelPath(), other + "/");
}

TEST_F(FileChoiceTest, CancelledDialogChangesNothing) {
    StartWindow();
    Choose("文件选择组合框", QStringLiteral("people.xls"));
    const QStringList sheets = Items("工作表选择组合框");
    Choose("文件选择组合框", QStringLiteral("浏览..."));  // no answer queued: cancelled
    EXPECT_EQ(Combo("文件选择组合框")->currentText(), QStringLiteral("浏览..."));
    EXPECT_EQ(Items("工作表选择组合框"), sheets);
    EXPECT_EQ(settings->GetExcelPath(), programFolder + "/数据/");
    EXPECT_EQ(dialogs.calls.size(), 1u);
}

TEST_F(FileChoiceTest, ChosenFileMissingFromTheRefilledListEmptiesTheSheets) {
    const std::string other = MakeTempFolder("other");
    ASSERT_TRUE(WriteTextFile(other + "/数据.csv", "a,b"));
    StartWindow();
    Choose("文件选择组合框", QStringLiteral("people.xls"));
    ASSERT_FALSE(Items("工作表选择组合框").isEmpty());
    dialogs.files.push_back(other + "/数据.csv");
    Choose("文件选择组合框", QStringLiteral("浏览..."));
    EXPECT_EQ(Items("文件选择组合框"), QStringList{"浏览..."});
    EXPECT_EQ(Combo("文件选择组合框")->currentIndex(), -1);
    EXPECT_TRUE(Items("工作表选择组合框").isEmpty());
}

TEST_F(FileChoiceTest, TemplateListWithoutCurrentItemSaysSo) {
    StartWindow();
    ChooseIndex("模板选择组合框", -1);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0]->text, "模板没选择");
    EXPECT_EQ(dialogs.messages()[0]->caption, "信息：");
    EXPECT_EQ(dialogs.messages()[0]->buttons, gui::Buttons::Ok);
    EXPECT_EQ(office->applicationsStarted(), 0);
}

TEST_F(FileChoiceTest, ChoosingATemplateListsBookmarksAndMatches) {
    StartWindow();
    Choose("文件选择组合框", QStringLiteral("people.xls"));
    Choose("工作表选择组合框", QStringLiteral("人员名单$"));
    Choose("模板选择组合框", QStringLiteral("名单.doc"));
    EXPECT_EQ(state->templateBookmarks, "姓名\r\n工号\r\n备注");
    EXPECT_EQ(state->matchedTitles, "姓名\r\n工号\r\n备注");
    EXPECT_TRUE(office->visible());
    EXPECT_EQ(office->openDocumentCount(), 1);
    // Another template replaces the working document.
    Choose("模板选择组合框", QStringLiteral("空白.doc"));
    EXPECT_EQ(state->templateBookmarks, "标题");
    EXPECT_EQ(state->matchedTitles, "");
    EXPECT_EQ(office->openDocumentCount(), 1);
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(FileChoiceTest, BrowsingForATemplateStoresItsFolderAndOpensIt) {
    const std::string other = MakeTempFolder("templates");
    ASSERT_TRUE(WriteFakeTemplate(other + "/合同.doc", {{"姓名", ""}}));
    StartWindow();
    dialogs.files.push_back(other + "/合同.doc");
    Choose("模板选择组合框", QStringLiteral("浏览..."));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].title, "打开Word模板文档");
    EXPECT_EQ(dialogs.calls[0].filter, "Word文档(*.doc)");
    EXPECT_EQ(dialogs.calls[0].folder, programFolder + "/模板/");
    EXPECT_EQ(settings->GetWordPath(), other + "/");
    EXPECT_EQ(Combo("模板选择组合框")->currentText(), QStringLiteral("合同.doc"));
    EXPECT_EQ(state->templateBookmarks, "姓名");
}

}  // namespace
}  // namespace qm::test
