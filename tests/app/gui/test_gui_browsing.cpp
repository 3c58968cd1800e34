// Paging through a worksheet in the grid and the range controls.

#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <set>

#include "app/gui/note_combo.h"
#include "app/gui/page_model.h"
#include "app/gui/range_box.h"
#include "common/text.h"
#include "test_gui_support.h"

namespace fs = std::filesystem;

namespace qm::test {
namespace {

class BrowsingTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        StartWindow();
        LoadPeople(nullptr);
    }
    QString Cell(int row, int column) const { return window->pageModel().cell(row, column); }
    // The record number shown in the first column (序号) of a grid row.
    QString Number(int row) const { return Cell(row, 0); }
    int CurrentPageIndex() const { return Combo("页组合框")->currentIndex(); }
    void SelectRows(int first, int last) {
        QTableView* grid = window->grid();
        QItemSelection selection(window->pageModel().index(first, 0), window->pageModel().index(last, 2));
        grid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
};

TEST_F(BrowsingTest, TwentyFiveRecordsOverPagesOfTen) {
    EXPECT_EQ(state->recordCount, 25);
    // The count shows in the sheet list's box, beside the sheet's name.
    auto* sheets = Find<gui::NoteComboBox>("工作表选择组合框");
    EXPECT_EQ(sheets->note(), QStringLiteral("共25条记录"));
    // In the text's own colour: the darkest pixel of the note's end of the box is as dark as text.
    const QImage picture = sheets->grab().toImage();
    int darkest = 255;
    for (int x = picture.width() * 3 / 4; x < picture.width() - 24; ++x)
        for (int y = 0; y < picture.height(); ++y) darkest = std::min(darkest, qGray(picture.pixel(x, y)));
    EXPECT_LE(darkest, qGray(sheets->palette().color(QPalette::Active, QPalette::Text).rgb()) + 60);
    EXPECT_EQ(Items("页组合框"), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(CurrentPageIndex(), 0);
    EXPECT_EQ(window->pageModel().title(1), QStringLiteral("姓名"));
    EXPECT_EQ(JoinList(state->columnTitles), "序号\r\n姓名\r\n工号\r\n金额\r\n入职日期\r\n备注");
    EXPECT_EQ(window->pageModel().rowCount(), 10);
    EXPECT_EQ(Number(0), QStringLiteral("1"));
    EXPECT_FALSE(Find<QProgressBar>("进度条1")->isVisible());

    Click("尾页标签");
    EXPECT_EQ(state->currentPage, 3);
    EXPECT_EQ(CurrentPageIndex(), 2);
    EXPECT_EQ(Number(0), QStringLiteral("21"));
    EXPECT_EQ(Number(4), QStringLiteral("25"));
    EXPECT_EQ(Number(5), QString());  // the rest of the page stays empty
    EXPECT_EQ(Cell(9, 1), QString());
    EXPECT_EQ(window->pageModel().headerData(0, Qt::Vertical, Qt::DisplayRole).toString(),
              QStringLiteral("21"));

    Click("下一页标签");  // on the last page: the same page again
    EXPECT_EQ(state->currentPage, 3);
    EXPECT_EQ(Number(0), QStringLiteral("21"));
    Click("上一页标签");
    EXPECT_EQ(Number(0), QStringLiteral("11"));
    Click("首页标签");
    EXPECT_EQ(state->currentPage, 1);
    Click("上一页标签");  // on the first page: the same page again
    EXPECT_EQ(state->currentPage, 1);
    EXPECT_EQ(Number(0), QStringLiteral("1"));
    ChooseIndex("页组合框", 1);
    EXPECT_EQ(Number(0), QStringLiteral("11"));
}

TEST_F(BrowsingTest, SheetWithoutRecordsKeepsThePreviousTitles) {
    const std::vector<std::string> titles = state->columnTitles;
    Choose("工作表选择组合框", QStringLiteral("'Only Titles$'"));
    EXPECT_EQ(state->recordCount, 0);
    EXPECT_EQ(state->columnTitles, titles);
    EXPECT_EQ(window->pageModel().title(0), QString());
    EXPECT_EQ(window->pageModel().rowCount(), 10);
    EXPECT_EQ(Combo("页组合框")->count(), 0);
    Choose("工作表选择组合框", QStringLiteral("空表$"));
    EXPECT_EQ(state->columnTitles, titles);
    EXPECT_FALSE(Find<QProgressBar>("进度条1")->isVisible());
}

TEST_F(BrowsingTest, PageSizeGoesBackToPageOne) {
    Click("尾页标签");
    Choose("每页记录数组合框", QStringLiteral("50"));
    EXPECT_EQ(state->recordsPerPage, 50);
    EXPECT_EQ(state->currentPage, 1);
    EXPECT_EQ(Items("页组合框"), QStringList{"1"});
    EXPECT_EQ(window->pageModel().rowCount(), 50);
    EXPECT_EQ(Number(24), QStringLiteral("25"));
    EXPECT_EQ(Number(25), QString());
}

TEST_F(BrowsingTest, AllPagesFillsTheBoxesAndBecomesByPage) {
    Choose("选择方式组合框", QStringLiteral("全部"));
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("1"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("3"));
    EXPECT_EQ(Text("范围单位标签"), QStringLiteral("页"));
    EXPECT_EQ(Combo("选择方式组合框")->currentIndex(), 1);
    EXPECT_EQ(Combo("选择方式组合框")->currentText(), QStringLiteral("按页"));
}

TEST_F(BrowsingTest, BySelectionTakesTheSelectedRowsOfThePage) {
    ChooseIndex("页组合框", 1);
    SelectRows(1, 3);  // grid rows 3 to 5, the title row being grid row 1
    Choose("选择方式组合框", QStringLiteral("按选择"));
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("12"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("14"));
    EXPECT_EQ(Text("范围单位标签"), QStringLiteral("条"));
    EXPECT_EQ(Combo("选择方式组合框")->currentIndex(), 0);
}

TEST_F(BrowsingTest, ByPageClampsToThePageCount) {
    SetRange(QStringLiteral("1"), QStringLiteral("9"));
    Choose("选择方式组合框", QStringLiteral("按页"));
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("1"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("3"));
    EXPECT_EQ(Text("范围单位标签"), QStringLiteral("页"));
    // Both beyond: both clamped. By record keeps the texts.
    SetRange(QStringLiteral("7"), QStringLiteral("8"));
    Choose("选择方式组合框", QStringLiteral("按页"));
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("3"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("3"));
    SetRange(QStringLiteral("40"), QStringLiteral("x"));
    Choose("选择方式组合框", QStringLiteral("按条"));
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("40"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("x"));
    EXPECT_EQ(Text("范围单位标签"), QStringLiteral("条"));
}

TEST_F(BrowsingTest, UpDownLimitsFollowTheMode) {
    auto* start = Find<gui::RangeBox>("范围起编辑框");
    auto* end = Find<gui::RangeBox>("范围止编辑框");
    EXPECT_EQ(start->maximum(), 25);
    EXPECT_EQ(end->maximum(), 25);
    EXPECT_EQ(start->minimum(), 1);
    Choose("选择方式组合框", QStringLiteral("按页"));
    EXPECT_EQ(start->maximum(), 3);
    EXPECT_EQ(end->maximum(), 3);
    // The buttons stay within the limits; typed text is kept as it is.
    end->setBoxText(QStringLiteral("3"));
    end->stepBy(1);
    EXPECT_EQ(end->boxText(), QStringLiteral("3"));
    start->setBoxText(QStringLiteral("05"));
    EXPECT_EQ(start->boxText(), QStringLiteral("05"));
    start->stepBy(-1);
    EXPECT_EQ(start->boxText(), QStringLiteral("3"));
    Choose("选择方式组合框", QStringLiteral("按条"));
    EXPECT_EQ(end->maximum(), 25);
}

TEST_F(BrowsingTest, PageNumberTypedAndConfirmedGoesToThatPage) {
    QComboBox* pages = Combo("页组合框");
    auto type = [pages](const QString& text) {
        pages->lineEdit()->selectAll();
        QTest::keyClicks(pages->lineEdit(), text);
        QTest::keyClick(pages->lineEdit(), Qt::Key_Return);
    };
    type(QStringLiteral("3"));
    EXPECT_EQ(state->currentPage, 3);
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_EQ(Number(0), QStringLiteral("21"));
    // No such page, or no number: the page stays and its number comes back.
    for (const QString& text :
         {QStringLiteral("9"), QStringLiteral("0"), QStringLiteral("x"), QStringLiteral("1 2")}) {
        type(text);
        EXPECT_EQ(state->currentPage, 3) << text.toStdString();
        EXPECT_EQ(pages->lineEdit()->text(), QStringLiteral("3")) << text.toStdString();
    }
    type(QStringLiteral("1"));
    EXPECT_EQ(Number(0), QStringLiteral("1"));
    EXPECT_EQ(pages->count(), 3);  // nothing added
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(BrowsingTest, NoSheetChosenLoadsNothing) {
    Choose("文件选择组合框", QStringLiteral("dates1904.xls"));  // no sheet current, the view emptied
    Click("下一页标签");
    EXPECT_EQ(state->currentPage, 1);
    EXPECT_EQ(Combo("页组合框")->count(), 0);
    EXPECT_EQ(Number(0), QString());
}

// Files copied into the data and template folders while the program runs show in the lists
// without browsing; the current choices and what they show stay as they were, and a chosen
// file that is removed stays chosen.
TEST_F(BrowsingTest, ListsFollowTheirFoldersAndKeepTheChoice) {
    Choose("模板选择组合框", QStringLiteral("名单.doc"));
    const QStringList workbooksBefore = Items("文件选择组合框");
    const int recordsBefore = state->recordCount;
    const std::string data = programFolder + "/数据/";
    const std::string templates = programFolder + "/模板/";
    fs::copy_file(fs::u8path(WindowFixtureFolder() + "/rows26.xls"), fs::u8path(data + "新的.xls"));
    fs::copy_file(fs::u8path(templates + "名单.doc"), fs::u8path(templates + "新模板.docx"));
    fs::copy_file(fs::u8path(templates + "名单.doc"), fs::u8path(templates + "说明.txt"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Items("文件选择组合框").contains(QStringLiteral("新的.xls")); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Items("模板选择组合框").contains(QStringLiteral("新模板.docx")); }, 10000));
    EXPECT_FALSE(Items("模板选择组合框").contains(QStringLiteral("说明.txt")));
    EXPECT_EQ(Items("文件选择组合框").size(), workbooksBefore.size() + 1);
    EXPECT_EQ(Items("文件选择组合框").last(), QStringLiteral("浏览..."));
    EXPECT_EQ(Combo("文件选择组合框")->currentText(), QStringLiteral("people.xls"));
    EXPECT_EQ(Combo("工作表选择组合框")->currentText(), QStringLiteral("人员名单$"));
    EXPECT_EQ(Combo("模板选择组合框")->currentText(), QStringLiteral("名单.doc"));
    EXPECT_EQ(state->recordCount, recordsBefore);
    EXPECT_TRUE(dialogs.calls.empty());

    // The chosen workbook and template are removed: both stay chosen, the others go.
    fs::remove(fs::u8path(data + "people.xls"));
    fs::remove(fs::u8path(templates + "名单.doc"));
    fs::remove(fs::u8path(data + "新的.xls"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Items("文件选择组合框").contains(QStringLiteral("新的.xls")); },
                                10000));
    EXPECT_EQ(Combo("文件选择组合框")->currentText(), QStringLiteral("people.xls"));
    EXPECT_EQ(Combo("模板选择组合框")->currentText(), QStringLiteral("名单.doc"));
    EXPECT_EQ(Combo("工作表选择组合框")->currentText(), QStringLiteral("人员名单$"));
    EXPECT_TRUE(dialogs.calls.empty());
}

// Another sheet starts on page 1: its row labels, "按选择" and the page list are right at once.
TEST_F(BrowsingTest, AnotherSheetStartsOnItsFirstPage) {
    AddWorkbook("rows26.xls");
    Choose("工作表选择组合框", QStringLiteral("合同续签$"));
    EXPECT_EQ(Find<gui::NoteComboBox>("工作表选择组合框")->note(), QStringLiteral("共26条记录"));
    Click("下一页标签");
    ASSERT_EQ(Number(0), QStringLiteral("11"));
    Choose("工作表选择组合框", QStringLiteral("短表$"));
    EXPECT_EQ(state->currentPage, 1);
    EXPECT_EQ(CurrentPageIndex(), 0);
    EXPECT_EQ(Items("页组合框"), QStringList{"1"});
    EXPECT_EQ(window->pageModel().headerData(0, Qt::Vertical, Qt::DisplayRole).toString(),
              QStringLiteral("1"));
    EXPECT_EQ(Cell(0, 0), QStringLiteral("短1"));
    EXPECT_EQ(Find<gui::NoteComboBox>("工作表选择组合框")->note(), QStringLiteral("共8条记录"));
    window->grid()->selectionModel()->select(
        QItemSelection(window->pageModel().index(1, 0), window->pageModel().index(2, 1)),
        QItemSelectionModel::ClearAndSelect);
    Choose("选择方式组合框", QStringLiteral("按选择"));
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("2"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("3"));
}

TEST_F(BrowsingTest, ColumnsShowLongValuesWhole) {
    // 金额 holds 123456789012 and 1e+20 on the first page: the column fits them, and the
    // narrow columns stay narrow.
    QTableView* grid = window->grid();
    const QFontMetrics metrics(grid->font());
    for (int c = 0; c < window->pageModel().columnCount(); ++c) {
        for (int r = 0; r < window->pageModel().rowCount(); ++r) {
            const QString text = Cell(r, c);
            if (text.contains(QLatin1Char('\n'))) continue;
            EXPECT_GT(grid->columnWidth(c), metrics.horizontalAdvance(text)) << r << "," << c;
        }
    }
    EXPECT_LT(grid->columnWidth(0), grid->columnWidth(3));
    // The widths follow the page shown.
    Choose("工作表选择组合框", QStringLiteral("'My Sheet$'"));
    EXPECT_GT(grid->columnWidth(0), metrics.horizontalAdvance(QStringLiteral("Name")));
}

TEST_F(BrowsingTest, SelectionIsOneBlockOfRows) {
    // A control-click cannot leave two separate blocks, whose rows "按选择" would count as if
    // they followed the first: the selection stays one block from row 2 to row 5.
    QTableView* grid = window->grid();
    const QRect second = grid->visualRect(window->pageModel().index(1, 1));
    const QRect fifth = grid->visualRect(window->pageModel().index(4, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, fifth.center());
    std::set<int> rows;
    for (const QModelIndex& index : grid->selectionModel()->selectedIndexes()) rows.insert(index.row());
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(static_cast<int>(rows.size()), *rows.rbegin() - *rows.begin() + 1);
    Choose("选择方式组合框", QStringLiteral("按选择"));
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("2"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("5"));
}

TEST_F(BrowsingTest, TextTypedIntoTheModeBoxDoesNothing) {
    QComboBox* modes = Combo("选择方式组合框");
    modes->lineEdit()->setFocus();
    modes->lineEdit()->setText(QStringLiteral("全部"));
    QTest::keyClick(modes->lineEdit(), Qt::Key_Return);
    modes->lineEdit()->clearFocus();
    EXPECT_EQ(modes->currentIndex(), 0);
    EXPECT_EQ(Text("范围起编辑框"), QStringLiteral("1"));
    EXPECT_EQ(Text("范围止编辑框"), QStringLiteral("10"));
    EXPECT_EQ(Text("范围单位标签"), QStringLiteral("条"));
}

TEST_F(BrowsingTest, WorkbookGoneLoadsAnEmptyPage) {
    Click("下一页标签");
    const std::vector<std::string> titles = state->columnTitles;
    ASSERT_TRUE(std::filesystem::remove(std::filesystem::u8path(programFolder + "/数据/people.xls")));
    Click("首页标签");
    EXPECT_EQ(state->currentPage, 1);
    EXPECT_EQ(state->recordCount, 0);
    EXPECT_EQ(Combo("页组合框")->count(), 0);
    EXPECT_EQ(window->pageModel().rowCount(), 10);
    EXPECT_EQ(window->pageModel().columnCount(), 0);
    EXPECT_EQ(state->columnTitles, titles);
    EXPECT_FALSE(Find<QProgressBar>("进度条1")->isVisible());
    EXPECT_EQ(Find<gui::RangeBox>("范围止编辑框")->maximum(), 0);
    EXPECT_TRUE(dialogs.calls.empty());
}

}  // namespace
}  // namespace qm::test
