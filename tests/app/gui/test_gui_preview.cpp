// The preview of a row's document from the window, over the shipped samples with an office that
// cannot be started: the document is made on the run thread while the window keeps answering,
// its text stands in for the pages with the reason said, rows seen before come from the cache,
// and a run turns the preview button off.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/gui/preview_window.h"
#include "app/gui/qt_text.h"
#include "test_gui_support.h"
#include "tests/support/fake_office.h"
#include "tests/support/gui/qt_wait.h"

namespace qm::test {
namespace {

class PreviewTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        UseShippedSamples();
        StartWindow();
        office->setUnavailable(true);
        Choose("文件选择组合框", QStringLiteral("员工信息.xls"));
        Choose("工作表选择组合框", QStringLiteral("员工$"));
        Choose("模板选择组合框", QStringLiteral("劳动合同.doc"));
    }
    gui::PreviewWindow* Preview() const { return window->findChild<gui::PreviewWindow*>(); }
    QString Status() const { return Preview()->findChild<QLabel*>(QStringLiteral("预览说明"))->text(); }
    bool Made() const { return Preview() && !Status().startsWith(QStringLiteral("正在")); }
    void WaitForPreview() {
        ASSERT_TRUE(WaitForEvents([this] { return Made(); }, 60000)) << "no preview";
    }
    QString Text() const {
        return Preview()->findChild<QPlainTextEdit*>(QStringLiteral("预览文字"))->toPlainText();
    }
    void ClickInPreview(const char* name) {
        auto* button = Preview()->findChild<QPushButton*>(QString::fromUtf8(name));
        ASSERT_NE(button, nullptr) << name;
        ASSERT_TRUE(button->isEnabled()) << name;
        button->click();
    }
};

TEST_F(PreviewTest, RowIsMadeOnTheRunThreadSaidWhyWithoutPagesAndKept) {
    Find<QTableView>("表格1")->selectRow(1);
    // The range boxes are the run's business, not the preview's.
    SetRange(QStringLiteral("abc"), QString());
    // Clicked without running the event loop: the preview cannot be back yet.
    Find<QPushButton>("预览按钮")->click();
    EXPECT_TRUE(dialogs.calls.empty()) << MessageTexts().front();
    ASSERT_NE(Preview(), nullptr);
    ASSERT_FALSE(Made());
    {
        // While it is made, nothing else may use the template.
        EXPECT_FALSE(Find<QPushButton>("插入并保存按钮")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>("插入并打印按钮")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>("预览按钮")->isEnabled());
        // Nor may another template be opened meanwhile.
        EXPECT_FALSE(Combo("模板选择组合框")->isEnabled());
        EXPECT_FALSE(Combo("工作表选择组合框")->isEnabled());
    }
    WaitForPreview();
    EXPECT_EQ(Preview()->windowTitle(), QStringLiteral("预览 - 第 2 行"));
    EXPECT_EQ(Status(), QStringLiteral("第 2 行：无法显示页面，Word程序无法启动。下面是文档的文字。"));
    EXPECT_TRUE(Text().contains(QStringLiteral("乙方（劳动者）：陈雅婷"))) << gui::FromQ(Text());
    EXPECT_EQ(Preview()->findChild<QLabel*>(QStringLiteral("预览空书签"))->text(),
              QStringLiteral("本条记录没有空书签。"));
    EXPECT_TRUE(Find<QPushButton>("插入并保存按钮")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("预览按钮")->isEnabled());
    EXPECT_TRUE(Combo("模板选择组合框")->isEnabled());

    ClickInPreview("下一条按钮");
    WaitForPreview();
    EXPECT_EQ(Preview()->windowTitle(), QStringLiteral("预览 - 第 3 行"));
    // Row 2 again comes from the cache, at once.
    ClickInPreview("上一条按钮");
    EXPECT_TRUE(Made());
    EXPECT_EQ(Preview()->windowTitle(), QStringLiteral("预览 - 第 2 行"));
    EXPECT_TRUE(Text().contains(QStringLiteral("陈雅婷")));
}

// A picture column's file that is missing is named under the page, as the run will leave its
// bookmark; the other rows' previews say nothing of it.
TEST_F(PreviewTest, AMissingPictureIsNamedUnderThePage) {
    Choose("模板选择组合框", QStringLiteral("工作证.docx"));
    Click("重复模式选择框");
    {
        std::unique_ptr<QMenu> menu(window->MakePictureColumnMenu());
        ASSERT_NE(menu, nullptr);
        auto* action = menu->findChild<QAction*>(QStringLiteral("图片列:照片"));
        ASSERT_NE(action, nullptr);
        action->trigger();
    }
    ASSERT_TRUE(std::filesystem::remove(std::filesystem::u8path(programFolder + "/数据/照片/002.png")));
    Find<QTableView>("表格1")->selectRow(1);
    Find<QPushButton>("预览按钮")->click();
    WaitForPreview();
    const QString below = Preview()->findChild<QLabel*>(QStringLiteral("预览空书签"))->text();
    EXPECT_TRUE(below.contains(QStringLiteral("图片“照片/002.png”不存在，书签保持模板原样")))
        << gui::FromQ(below);

    ClickInPreview("下一条按钮");
    WaitForPreview();
    EXPECT_FALSE(
        Preview()->findChild<QLabel*>(QStringLiteral("预览空书签"))->text().contains(QStringLiteral("图片")));
}

// With a filter, a double click previews the row under the pointer by its place in the filtered
// list, titled with its sheet row; the last row has no next.
TEST_F(PreviewTest, DoubleClickInAFilteredGridPreviewsThatRow) {
    Choose("筛选列组合框", QStringLiteral("部门"));
    ChooseIndex("筛选条件组合框", 0);
    Find<QLineEdit>("筛选值编辑框")->setText(QStringLiteral("销售部"));
    Click("筛选按钮");
    auto* grid = Find<QTableView>("表格1");
    emit grid->doubleClicked(grid->model()->index(4, 1));
    WaitForPreview();
    EXPECT_EQ(Preview()->windowTitle(), QStringLiteral("预览 - 第 13 行"));
    EXPECT_TRUE(Text().contains(QStringLiteral("马振宇")));
    EXPECT_FALSE(Preview()->findChild<QPushButton*>(QStringLiteral("下一条按钮"))->isEnabled());
    EXPECT_TRUE(Preview()->findChild<QPushButton*>(QStringLiteral("上一条按钮"))->isEnabled());
    // A double click below the last row previews nothing new.
    Preview()->close();
    QCoreApplication::processEvents();
    emit grid->doubleClicked(grid->model()->index(7, 1));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Preview() == nullptr || !Preview()->isVisible());
}

TEST_F(PreviewTest, RunTurnsThePreviewButtonOff) {
    SetRange(QStringLiteral("1"), QStringLiteral("3"));
    int seen = 0;
    bool offDuringRun = true;
    window->setProgressObserver([&](int) {
        ++seen;
        offDuringRun = offDuringRun && !Find<QPushButton>("预览按钮")->isEnabled();
    });
    dialogs.answerFile(programFolder + "/用户文档/合同/合同.doc");
    dialogs.answerYes();
    Click("插入并保存按钮");
    EXPECT_GT(seen, 0);
    EXPECT_TRUE(offDuringRun);
    EXPECT_TRUE(Find<QPushButton>("预览按钮")->isEnabled());
}

}  // namespace
}  // namespace qm::test
