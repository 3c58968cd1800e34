// Start-up state, the menus, the mode switches and the two file choosers.

#include <QAbstractButton>
#include <QAbstractProxyModel>
#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <filesystem>

#include "app/gui/about_window.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/help_window.h"
#include "app/gui/links.h"
#include "app/gui/note_combo.h"
#include "app/gui/page_model.h"
#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "common/fs.h"
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
    ASSERT_TRUE(WriteText(programFolder + "/数据/说明.txt", "not a workbook"));
    StartWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillmerge\u3000V1.1.0.1"));
    EXPECT_FALSE(Find<QCheckBox>("重复模式选择框")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("多行模式选择框")->isChecked());
    // Nothing to filter before a sheet is shown.
    for (const char* filter : {"筛选列组合框", "筛选条件组合框", "筛选值编辑框", "筛选按钮", "清除筛选按钮"})
        EXPECT_FALSE(Find<QWidget>(filter)->isEnabled()) << filter;
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

// Qt's own dialogs and buttons speak Chinese with the window.
TEST_F(WindowStartTest, QtsOwnTextsAreChinese) {
    ASSERT_TRUE(gui::InstallQtTranslations())
        << "Qt's translations are not installed (qt6-translations-l10n)";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("打开"));
}

// The file dialog as the user sees it: column heads, type names and dates are Chinese too.
TEST_F(WindowStartTest, FileDialogSpeaksChineseThroughout) {
    ASSERT_TRUE(gui::InstallQtTranslations());
    const TempFolder folder("dialog");
    ASSERT_TRUE(MakeDirectory(folder / "子文件夹"));
    ASSERT_TRUE(WriteText(folder / "名单.csv", "a,b\n1,2\n"));
    ASSERT_TRUE(WriteText(folder / "表.xls", "not really"));
    QFileDialog dialog(nullptr, QStringLiteral("打开Excel数据文件"), QString::fromStdString(folder.path()),
                       QStringLiteral("Excel文件(*.xls *.xlsx *.xlsm *.ods *.csv)"));
    gui::SetUpFileDialog(dialog);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.show();
    auto* files = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(files, nullptr);
    const QAbstractItemModel* model = dialog.proxyModel();  // what the dialog's list shows
    ASSERT_NE(model, nullptr);
    const QModelIndex root =
        dialog.proxyModel()->mapFromSource(files->index(QString::fromStdString(folder.path())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(root) == 3; }, 10000));
    QTest::qWait(300);  // the file types are looked up after the names
    auto hasLatinLetters = [](const QString& text) {
        for (QChar c : text)
            if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                (c >= QLatin1Char('A') && c <= QLatin1Char('Z')))
                return true;
        return false;
    };
    for (int column = 0; column < 4; ++column) {
        const QString head = model->headerData(column, Qt::Horizontal).toString();
        EXPECT_FALSE(hasLatinLetters(head)) << head.toStdString();
    }
    for (int row = 0; row < 3; ++row) {
        const QString type = model->index(row, 2, root).data().toString();
        const QString date = model->index(row, 3, root).data().toString();
        // File types keep the format's own name ("Excel", "CSV"); the rest is Chinese.
        QString plain = type;
        for (const char* name : {"Excel", "CSV", "Microsoft", "XLS"}) plain.remove(QLatin1String(name));
        EXPECT_FALSE(hasLatinLetters(plain)) << type.toStdString();
        EXPECT_FALSE(hasLatinLetters(date)) << date.toStdString();
        const QString size = model->index(row, 1, root).data().toString();
        EXPECT_FALSE(hasLatinLetters(QString(size).remove(QLatin1String(" KB")))) << size.toStdString();
        EXPECT_FALSE(type.isEmpty());
    }
}

// Labels and menu items that name one format or one word processor say what they really take
// and do.
TEST_F(WindowStartTest, TooltipsSayWhatTheChoosersTakeAndTheOfficeItemsDo) {
    StartWindow();
    const QString workbooks = Find<QLabel>("标签1")->toolTip();
    for (const char* type : {".xls", ".xlsx", ".xlsm", ".ods", ".csv"})
        EXPECT_TRUE(workbooks.contains(QString::fromUtf8(type))) << type;
    EXPECT_EQ(Combo("文件选择组合框")->toolTip(), workbooks);
    EXPECT_TRUE(Find<QLabel>("标签2")->toolTip().contains(QStringLiteral(".docx")));
    for (const char* item : {"强制关闭WORD程序（不保存）(&C)", "在Word中查看模板(&V)"}) {
        QAction* action = window->findChild<QAction*>(QString::fromUtf8(item));
        ASSERT_NE(action, nullptr) << item;
        EXPECT_TRUE(action->toolTip().contains(QStringLiteral("本程序"))) << item;
    }
}

TEST_F(WindowStartTest, FixedWindowWithLinksDrawnAsLinks) {
    StartWindow();
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    // The client area holds every control with the margins of the left and top edges.
    const QRect client = window->centralWidget()->rect();
    for (QWidget* child : window->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(client.adjusted(8, 8, -8, -8).contains(child->geometry()))
            << child->objectName().toStdString();
    auto* link = Find<QLabel>("下一页标签");
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->font().pixelSize(), 12);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
}

TEST_F(WindowStartTest, EveryControlWithItsCaptionAndPlace) {
    StartWindow();
    constexpr int kRow = 28;
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
        {"模板选择组合框", nullptr, {120, 37, 142, 20}},
        {"书签匹配标签", "", {268, 37, 200, 20}},
        {"重复模式选择框", "重复模式", {472, 40, 72, 16}},
        {"多行模式选择框", "多行模式", {554, 40, 76, 16}},
        {"标签4", "每页显示记录：", {638, 39, 84, 16}},
        {"每页记录数组合框", nullptr, {726, 36, 66, 20}},
        {"标签5", "条", {796, 40, 14, 12}},
        // The filter line, a row of its own above the grid; everything below it moves down by that row.
        {"筛选标签", "筛选：", {8, 67, 36, 20}},
        {"筛选列组合框", nullptr, {44, 68, 132, 20}},
        {"筛选条件组合框", nullptr, {182, 68, 72, 20}},
        {"筛选值编辑框", nullptr, {260, 68, 176, 20}},
        {"筛选按钮", "筛选(&F)", {442, 65, 64, 26}},
        {"清除筛选按钮", "清除筛选", {510, 65, 72, 26}},
        {"预览按钮", "预览(&V)", {740, 65, 72, 26}},
        {"表格1", nullptr, {8, kRow + 64, 804, 272}},
        {"进度条1", nullptr, {220, kRow + 132, 424, 32}},
        {"标签6", "范围：", {8, kRow + 347, 36, 20}},
        {"范围起编辑框", "1", {44, kRow + 347, 70, 20}},
        {"标签7", "到", {118, kRow + 347, 14, 20}},
        {"范围止编辑框", "10", {132, kRow + 347, 70, 20}},
        {"范围单位标签", "条", {206, kRow + 347, 16, 20}},
        {"选择方式组合框", nullptr, {228, kRow + 348, 68, 20}},
        {"首页标签", "首页", {307, kRow + 348, 32, 20}},
        {"上一页标签", "上一页", {343, kRow + 348, 40, 20}},
        {"下一页标签", "下一页", {387, kRow + 348, 40, 20}},
        {"尾页标签", "尾页", {431, kRow + 348, 32, 20}},
        {"标签10", "到", {471, kRow + 350, 16, 16}},
        {"页组合框", nullptr, {489, kRow + 348, 50, 20}},
        {"标签11", "页", {543, kRow + 350, 16, 16}},
        {"插入并保存按钮", "插入并保存(&S)", {566, kRow + 344, 91, 28}},
        {"插入并打印按钮", "插入并打印(&P)", {661, kRow + 344, 92, 28}},
        {"退出按钮", "退出(&Q)", {760, kRow + 344, 52, 28}},
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
    ASSERT_TRUE(WriteText(programFolder + "/模板/说明.txt", "x"));
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
    EXPECT_TRUE(WaitForEvents(
        [&] { return window->windowTitle() == QStringLiteral("Quillmerge\u3000V1.1.0.1"); }, 5000));
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
    EXPECT_TRUE(dialogs.messages()[0]->question);
    EXPECT_TRUE(office->alive());
    QSignalSpy exit(window.get(), &gui::MainWindow::endProgramRequested);
    Click("退出按钮");
    EXPECT_EQ(exit.count(), 1);
    EXPECT_EQ(dialogs.messages().size(), 1u);
}

// The help pages show in a window of the program's own, pictures included, on a desktop that has
// no web browser; web addresses that nothing can open are given to copy.
TEST_F(WindowStartTest, HelpOpensInAWindowOfItsOwn) {
    StartWindow();
    const std::string help = programFolder + "/帮助及教程/";
    MenuAction(window.get(), "软件使用详细说明(&R)")->trigger();  // the help folder is missing here
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_NE(dialogs.messages()[0]->text.find(help + "帮助.html"), std::string::npos);
    EXPECT_EQ(window->findChild<gui::HelpWindow*>(), nullptr);

    dialogs.calls.clear();
    std::error_code error;
    fs::copy(fs::u8path(QM_PROGRAM_DIR "/帮助及教程"), fs::u8path(help), fs::copy_options::recursive, error);
    ASSERT_FALSE(error);
    EXPECT_TRUE(fs::exists(fs::u8path(help + "帮助.mht")));  // still shipped for web browsers
    opener.works = false;
    const std::pair<const char*, const char*> pages[] = {
        {"软件使用详细说明(&R)", "帮助.html"},
        {"Word模板插入书签视频教程(&M)", "插入书签视频教程.html"},
        {"数据插入并保存到Word视频教程(&S)", "保存到Word视频教程.html"},
        {"数据插入到Word并打印视频教程(&P)", "插入到Word并打印视频教程.html"},
    };
    for (const auto& [item, file] : pages) {
        MenuAction(window.get(), item)->trigger();
        auto* helpWindow = window->findChild<gui::HelpWindow*>();
        ASSERT_NE(helpWindow, nullptr) << item;
        EXPECT_TRUE(helpWindow->isVisible());
        QTextBrowser* browser = helpWindow->browser();
        EXPECT_EQ(browser->source().toLocalFile(), ToQ(help + file)) << item;
        EXPECT_FALSE(browser->documentTitle().isEmpty()) << item;
        EXPECT_GT(browser->toPlainText().size(), 200) << item;
        const QVariant image =
            browser->document()->resource(QTextDocument::ImageResource, QUrl("images/main-window.png"));
        // The browser keeps a loaded picture as a pixmap.
        const QImage picture = image.typeId() == QMetaType::QPixmap  ? image.value<QPixmap>().toImage()
                               : image.typeId() == QMetaType::QImage ? image.value<QImage>()
                                                                     : QImage::fromData(image.toByteArray());
        EXPECT_FALSE(picture.isNull()) << item;
        // At its default size every page fits the window's width.
        QCoreApplication::processEvents();
        EXPECT_EQ(browser->horizontalScrollBar()->maximum(), 0) << item;
        // A picture's line is as high as the picture: the page's line spacing leaves no gap
        // above it.
        QTextDocument* document = browser->document();
        int pictures = 0;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
                const QTextImageFormat shown = it.fragment().charFormat().toImageFormat();
                if (!shown.isValid()) continue;
                const QVariant resource =
                    document->resource(QTextDocument::ImageResource, QUrl(shown.name()));
                const QSize own = resource.typeId() == QMetaType::QPixmap  ? resource.value<QPixmap>().size()
                                  : resource.typeId() == QMetaType::QImage ? resource.value<QImage>().size()
                                                                           : QSize();
                if (own.isEmpty() || shown.width() <= 0) continue;
                ++pictures;
                const qreal height = shown.width() * own.height() / own.width();
                const qreal high = document->documentLayout()->blockBoundingRect(block).height();
                EXPECT_LT(high, height + 48) << item << " " << shown.name().toStdString();
            }
        EXPECT_GT(pictures, 0) << item;
    }
    EXPECT_EQ(window->findChildren<gui::HelpWindow*>().size(), 1);  // one window, reused

    // From a tutorial, the link to the help page stays in the window.
    auto* helpWindow = window->findChild<gui::HelpWindow*>();
    emit helpWindow->browser()->anchorClicked(QUrl(QStringLiteral("帮助.html")));
    EXPECT_EQ(helpWindow->browser()->source().toLocalFile(), ToQ(help + "帮助.html"));
    EXPECT_TRUE(opener.targets.empty());
    EXPECT_TRUE(dialogs.calls.empty());

    // A web address goes to the desktop, which has no browser: the address is given to copy.
    emit helpWindow->browser()->anchorClicked(QUrl(ToQ(kHomePageUrl)));
    MenuAction(window.get(), "下载模板(&D)")->trigger();
    EXPECT_EQ(opener.targets,
              (std::vector<std::string>{std::string(kHomePageUrl), std::string(kTemplateDownloadUrl)}));
    ASSERT_EQ(dialogs.messages().size(), 2u);
    EXPECT_NE(dialogs.messages()[0]->text.find("没有可以打开网页的浏览器"), std::string::npos);
    EXPECT_TRUE(dialogs.messages()[0]->text.ends_with(std::string(kHomePageUrl)));
    EXPECT_TRUE(dialogs.messages()[1]->text.ends_with(std::string(kTemplateDownloadUrl)));

    // With a browser nothing is said.
    dialogs.calls.clear();
    opener.works = true;
    MenuAction(window.get(), "下载新版本(&N)")->trigger();
    EXPECT_EQ(opener.targets.back(), std::string(kDownloadUrl));
    EXPECT_TRUE(dialogs.calls.empty());

    // The help window goes with the main window, which would otherwise not end the program.
    window->close();
    EXPECT_TRUE(WaitForEvents([&] { return window->findChildren<gui::HelpWindow*>().isEmpty(); }, 2000));
}

TEST_F(WindowStartTest, AboutIsAFreshModalWindowEachTime) {
    StartWindow();
    std::vector<QDialog*> seen;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(about, nullptr);
            seen.push_back(about);
            // One version number everywhere: the title's.
            EXPECT_EQ(about->windowTitle(), QStringLiteral("关于 Quillmerge V1.1.0.1"));
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
    const std::pair<const char*, QRect> places[] = {{"图片框1", {4, 4, 372, 56}},
                                                    {"标签1", {8, 68, 368, 24}},
                                                    {"标签2", {8, 100, 364, 44}},
                                                    {"标签3", {4, 152, 196, 20}},
                                                    {"按钮1", {264, 152, 96, 24}}};
    for (const auto& [name, place] : places) {
        QWidget* control = about.findChild<QWidget*>(QString::fromUtf8(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->geometry(), place) << name;
        EXPECT_TRUE(about.rect().contains(control->geometry())) << name;
    }
    const QLabel* line = about.findChild<QLabel*>(QStringLiteral("标签1"));
    EXPECT_EQ(line->text(),
              QStringLiteral("Quillmerge V" QM_VERSION "：把 Excel 表格数据批量填入 Word 模板"));
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->width());  // shown whole
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
    EXPECT_EQ(opener.targets,
              (std::vector<std::string>{std::string(kHomePageUrl), std::string(kHomePageUrl)}));

    // Without a browser the address is given to copy.
    opener.works = false;
    gui::AboutWindow bare(opener, programFolder, window.get(), &dialogs);
    bare.show();
    QTest::mouseClick(bare.findChild<QLabel*>(QStringLiteral("标签3")), Qt::LeftButton);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_TRUE(dialogs.messages()[0]->text.ends_with(std::string(kHomePageUrl)));
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
    EXPECT_NE(state->workbookPath.find(programFolder + "/数据/people.xls"), std::string::npos);
    // Another workbook replaces the list and empties the grid: rows of the workbook before never
    // stand under the new one's name.
    Choose("工作表选择组合框", QStringLiteral("人员名单$"));
    ASSERT_FALSE(window->pageModel().cell(0, 1).isEmpty());
    Choose("文件选择组合框", QStringLiteral("dates1904.xls"));
    EXPECT_EQ(Items("工作表选择组合框"), QStringList{"Sheet1$"});
    EXPECT_EQ(window->pageModel().cell(0, 1), QString());
    EXPECT_EQ(window->pageModel().title(0), QString());
    EXPECT_EQ(Combo("页组合框")->count(), 0);
    EXPECT_EQ(JoinList(state->columnTitles), "");
    EXPECT_EQ(state->recordCount, 0);
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(FileChoiceTest, BrowsingToAnotherFolderStoresItAndListsTheChosenWorkbook) {
    const TempFolder otherFolder("gui-other");
    const std::string other = otherFolder.path();
    fs::copy_file(fs::u8path(FixtureFolder() + "/people.xls"), fs::u8path(other + "/名册.XLS"));
    fs::copy_file(fs::u8path(FixtureFolder() + "/dates1904.xls"), fs::u8path(other + "/a.xls"));
    StartWindow();
    dialogs.answerFile(other + "/名册.XLS");
    Choose("文件选择组合框", QStringLiteral("浏览..."));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, DialogCall::Open);
    EXPECT_EQ(dialogs.calls[0].title, "打开Excel数据文件");
    EXPECT_EQ(dialogs.calls[0].filter, "Excel文件(*.xls *.xlsx *.xlsm *.ods *.csv)");
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
    const TempFolder otherFolder("gui-other");
    const std::string other = otherFolder.path();
    ASSERT_TRUE(WriteText(other + "/数据.txt", "a,b"));
    StartWindow();
    Choose("文件选择组合框", QStringLiteral("people.xls"));
    ASSERT_FALSE(Items("工作表选择组合框").isEmpty());
    dialogs.answerFile(other + "/数据.txt");
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
    EXPECT_EQ(dialogs.messages()[0]->caption, "信息");
    EXPECT_FALSE(dialogs.messages()[0]->question);
    EXPECT_EQ(office->applicationsStarted(), 0);
}

TEST_F(FileChoiceTest, ChoosingATemplateListsBookmarksAndMatches) {
    StartWindow();
    Choose("文件选择组合框", QStringLiteral("people.xls"));
    Choose("工作表选择组合框", QStringLiteral("人员名单$"));
    Choose("模板选择组合框", QStringLiteral("名单.doc"));
    EXPECT_EQ(JoinList(state->templateBookmarks), "姓名\r\n工号\r\n备注");
    EXPECT_EQ(JoinList(state->matchedTitles), "姓名\r\n工号\r\n备注");
    // The office stays out of sight until the user asks to see the template in it.
    EXPECT_FALSE(office->visible());
    EXPECT_EQ(office->openDocumentCount(), 1);
    // Another template replaces the working document.
    Choose("模板选择组合框", QStringLiteral("空白.doc"));
    EXPECT_EQ(JoinList(state->templateBookmarks), "标题");
    EXPECT_EQ(JoinList(state->matchedTitles), "");
    EXPECT_EQ(office->openDocumentCount(), 1);
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(FileChoiceTest, BrowsingForATemplateStoresItsFolderAndOpensIt) {
    const TempFolder otherFolder("gui-templates");
    const std::string other = otherFolder.path();
    ASSERT_TRUE(WriteFakeTemplate(other + "/合同.doc", {{"姓名", ""}}));
    StartWindow();
    dialogs.answerFile(other + "/合同.doc");
    Choose("模板选择组合框", QStringLiteral("浏览..."));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].title, "打开Word模板文档");
    EXPECT_EQ(dialogs.calls[0].filter, "Word文档(*.doc *.docx)");
    EXPECT_EQ(dialogs.calls[0].folder, programFolder + "/模板/");
    EXPECT_EQ(settings->GetWordPath(), other + "/");
    EXPECT_EQ(Combo("模板选择组合框")->currentText(), QStringLiteral("合同.doc"));
    EXPECT_EQ(JoinList(state->templateBookmarks), "姓名");
}

TEST_F(FileChoiceTest, WorkbookChooserListsEveryFormatItReads) {
    for (const char* name : {"b.XLSX", "c.ods", "d.Csv", "e.xlsm", "f.txt", "g.doc", "h.xls.bak"})
        ASSERT_TRUE(WriteText(programFolder + "/数据/" + name, "x"));
    fs::create_directory(fs::u8path(programFolder + "/数据/i.xls"));
    StartWindow();
    EXPECT_EQ(Items("文件选择组合框"),
              (QStringList{"b.XLSX", "c.ods", "d.Csv", "dates1904.xls", "e.xlsm", "people.xls", "浏览..."}));
    EXPECT_EQ(Text("标签1"), QStringLiteral("Excel文件(*.xls)："));
}

// A renamed text file: the sheet list and the grid empty, one message names the file and why.
TEST_F(FileChoiceTest, UnreadableWorkbookSaysSoOnceAndClearsTheView) {
    ASSERT_TRUE(WriteText(programFolder + "/数据/改名.xls", "姓名,工号\n张三,1\n"));
    StartWindow();
    LoadPeople();
    ASSERT_FALSE(window->pageModel().cell(0, 1).isEmpty());
    Choose("文件选择组合框", QStringLiteral("改名.xls"));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0]->text,
              "无法读取Excel文件“改名.xls”：文件内容不是表格（.xls、.xlsx、.xlsm、.ods 或 "
              ".csv），可能只是改了扩展名。");
    EXPECT_EQ(dialogs.messages()[0]->caption, "信息");
    EXPECT_EQ(dialogs.messages()[0]->icon, MessageIcon::Warning);
    EXPECT_TRUE(Items("工作表选择组合框").isEmpty());
    EXPECT_EQ(window->pageModel().title(1), QString());
    EXPECT_EQ(window->pageModel().cell(0, 1), QString());
    EXPECT_EQ(window->pageModel().headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(Combo("页组合框")->count(), 0);
    EXPECT_EQ(JoinList(state->matchedTitles), "");

    // A workbook that went away after it was chosen is named too.
    dialogs.calls.clear();
    ASSERT_TRUE(fs::remove(fs::u8path(programFolder + "/数据/dates1904.xls")));
    Choose("文件选择组合框", QStringLiteral("dates1904.xls"));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0]->text,
              "无法读取Excel文件“dates1904.xls”：文件不存在，可能已被移动、改名或删除。");

    // Asked for a run, the same message with the same icon each time.
    dialogs.calls.clear();
    Click("插入并保存按钮");
    Click("插入并打印按钮");
    ASSERT_EQ(dialogs.messages().size(), 2u);
    for (const DialogCall* message : dialogs.messages()) {
        EXPECT_EQ(message->text, "无法读取Excel文件“dates1904.xls”：文件不存在，可能已被移动、改名或删除。");
        EXPECT_EQ(message->icon, MessageIcon::Warning);
    }
}

TEST_F(FileChoiceTest, ShownValuesItemIsRememberedAndTheGridShowsWhatDocumentsGet) {
    StartWindow();
    QAction* item = MenuAction(window.get(), "按表格显示格式取值");
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    AddWorkbook("formats.xlsx");
    Choose("工作表选择组合框", QStringLiteral("格式$"));
    auto row = [this] {
        QStringList cells;
        for (int c = 0; c < 4; ++c) cells << window->pageModel().cell(0, c);
        return cells;
    };
    EXPECT_EQ(row(), (QStringList{"3000.75", "0.25", "1234", "2024-03-05"}));
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(row(), (QStringList{"¥3,000.75", "25%", "001234", "2024年3月5日"}));
    EXPECT_TRUE(AppSettings(programFolder).GetShownValues());

    // The next start remembers it.
    window.reset();
    StartWindow();
    item = MenuAction(window.get(), "按表格显示格式取值");
    EXPECT_TRUE(item->isChecked());
    Choose("文件选择组合框", QStringLiteral("formats.xlsx"));
    Choose("工作表选择组合框", QStringLiteral("格式$"));
    EXPECT_EQ(row(), (QStringList{"¥3,000.75", "25%", "001234", "2024年3月5日"}));
    item->trigger();
    EXPECT_EQ(row(), (QStringList{"3000.75", "0.25", "1234", "2024-03-05"}));
    EXPECT_FALSE(AppSettings(programFolder).GetShownValues());
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(FileChoiceTest, TheOfficeComesUpOnlyWhenAskedFor) {
    StartWindow();
    QAction* view = MenuAction(window.get(), "在Word中查看模板(&V)");
    ASSERT_NE(view, nullptr);
    view->trigger();
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0]->text, "请先选择Word模板！");
    LoadPeople();
    EXPECT_FALSE(office->visible());
    view->trigger();
    EXPECT_TRUE(office->visible());
    EXPECT_EQ(office->openDocumentCount(), 1);
    EXPECT_EQ(JoinList(state->matchedTitles), "姓名\r\n工号\r\n备注");
}

}  // namespace
}  // namespace qm::test
