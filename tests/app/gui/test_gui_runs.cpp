// What a run says when it ends, stopping it, the office going away between runs, the question
// before printing, and runs with the values the sheet shows (with the in-memory office).

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "app/gui/note_combo.h"
#include "app/gui/page_model.h"
#include "app/gui/qt_text.h"
#include "common/fs.h"
#include "common/text.h"
#include "test_gui_support.h"
#include "tests/support/fake_office.h"

namespace qm::test {
namespace {

const std::string kDone = "完成！是否打开存放文档所在文件夹？";

QAction* MenuAction(QWidget* window, const char* text) {
    for (QAction* action : window->findChildren<QAction*>())
        if (action->text() == QString::fromUtf8(text)) return action;
    return nullptr;
}

// The sheet 合同续签 of rows26.xls (26 records) with the template 名单.doc (姓名, 工号).
class RunFeedbackTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Every bookmark has its column, so no run asks about bookmarks left as they are.
        ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/名单.doc", {{"姓名", ""}, {"工号", ""}}));
        StartWindow();
        AddWorkbook("rows26.xls");
        Choose("工作表选择组合框", QStringLiteral("合同续签$"));
        Choose("模板选择组合框", QStringLiteral("名单.doc"));
        out = programFolder + "/用户文档/名单/";
        // A message of a run never stands over the progress bar it leaves behind.
        dialogs.onCall = [this](const DialogCall& call) {
            if (call.kind == DialogCall::Message && call.caption != "停止确认") {
                EXPECT_FALSE(Find<QProgressBar>("进度条1")->isVisible()) << call.text;
            }
            EXPECT_FALSE(call.caption.ends_with("：") || call.caption.ends_with(":")) << call.caption;
        };
    }
    void Save(const std::string& name = "合同.doc") {
        dialogs.answerFile(out + name);
        dialogs.answerYes();
        Click("插入并保存按钮");
    }
    std::vector<std::string> FilesOnDisk() const { return ListFiles(out, ""); }
    std::vector<std::string> Names(const std::string& stem, int first, int last) const {
        std::vector<std::string> names;
        for (int n = first; n <= last; ++n) names.push_back(stem + IntToText(n) + ".doc");
        std::sort(names.begin(), names.end());
        return names;
    }
    const DialogCall* Confirmation() const {
        for (const DialogCall* call : dialogs.messages())
            if (call->caption == "文件名确认提示") return call;
        return nullptr;
    }
    bool AnyMessageContains(const std::string& part) const {
        for (const std::string& text : MessageTexts())
            if (text.find(part) != std::string::npos) return true;
        return false;
    }

    std::string out;
};

TEST_F(RunFeedbackTest, AllPagesOfTwentySixRowsNameTwentySixFiles) {
    Choose("选择方式组合框", QStringLiteral("全部"));
    ASSERT_EQ(Text("范围止编辑框"), QStringLiteral("3"));  // pages 1 to 3 of ten
    Save();
    ASSERT_NE(Confirmation(), nullptr);
    EXPECT_NE(Confirmation()->text.find("文件名命名为：合同1.doc、合同2.doc……合同26.doc。"),
              std::string::npos)
        << Confirmation()->text;
    EXPECT_EQ(Confirmation()->text.find("合同30.doc"), std::string::npos);
    EXPECT_EQ(FilesOnDisk(), Names("合同", 1, 26));
    EXPECT_EQ(MessageTexts().back(), kDone);
}

// A filter shows the rows that pass, each with its row number in the sheet; pages and ranges
// count in them, the files keep the sheet's numbers, and the confirmation names the filter. A
// filter that leaves no row says so and turns the run buttons off until it is changed.
TEST_F(RunFeedbackTest, FilteredRunMakesTheRowsThatPassUnderTheirOwnNumbers) {
    const auto filter = [this](const char* column, int test, const char* value) {
        Choose("筛选列组合框", QString::fromUtf8(column));
        ChooseIndex("筛选条件组合框", test);
        Find<QLineEdit>("筛选值编辑框")->setText(QString::fromUtf8(value));
        Click("筛选按钮");
    };
    filter("姓名", 2, "员工1");  // 包含: rows 1 and 10 to 19
    EXPECT_EQ(Find<gui::NoteComboBox>("工作表选择组合框")->note(), QStringLiteral("筛选 11/26 条"));
    const gui::PageModel& page = window->pageModel();
    EXPECT_EQ(page.headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("1"));
    EXPECT_EQ(page.headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("10"));
    EXPECT_EQ(page.cell(1, 1), QStringLiteral("员工10"));
    EXPECT_EQ(Items("页组合框"), (QStringList{"1", "2"}));

    SetRange(QStringLiteral("2"), QStringLiteral("3"));
    Save();
    EXPECT_EQ(FilesOnDisk(), (std::vector<std::string>{"合同10.doc", "合同11.doc"}));
    bool named = false;
    for (const std::string& text : MessageTexts())
        if (text.find("　　筛选：“姓名”包含“员工1”。") != std::string::npos) named = true;
    EXPECT_TRUE(named) << "the confirmation names the filter";

    // A number column wants a number for 大于; nothing in view changes.
    dialogs.calls.clear();
    filter("序号", 6, "十");
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), "“序号”列是数字，“大于”和“小于”要和数字比较，请输入一个数字。");
    EXPECT_EQ(state->recordCount, 11);

    dialogs.calls.clear();
    filter("工号", 0, "Z999");
    EXPECT_EQ(MessageTexts().back(), "没有符合筛选条件的行：“工号”等于“Z999”。请修改或清除筛选条件。");
    EXPECT_FALSE(Find<QPushButton>("插入并保存按钮")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("插入并打印按钮")->isEnabled());
    EXPECT_EQ(page.title(2), QStringLiteral("工号"));  // still there to choose from

    Click("清除筛选按钮");
    EXPECT_TRUE(Find<QPushButton>("插入并保存按钮")->isEnabled());
    EXPECT_EQ(state->recordCount, 26);
    EXPECT_EQ(page.headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("2"));
}

TEST_F(RunFeedbackTest, NoMatchStopNeverSaysDone) {
    // 姓名 prefixes 姓名列表: the titles match, but no bookmark would be filled. The run is
    // refused before any dialog, and nothing says "完成".
    ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/列表.doc", {{"姓名列表", ""}}));
    gui::MainWindow::FillFileList(settings->GetWordPath(), ".doc", Combo("模板选择组合框"));
    Choose("模板选择组合框", QStringLiteral("列表.doc"));
    ASSERT_FALSE(state->matchedTitles.empty());
    SetRange(QStringLiteral("1"), QStringLiteral("3"));
    out = programFolder + "/用户文档/列表/";
    dialogs.answerYes();  // opening the folder, were it offered
    Save();
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts().back().find("都没有对应的列"), std::string::npos) << MessageTexts().back();
    EXPECT_FALSE(AnyMessageContains("完成"));
    EXPECT_TRUE(opener.targets.empty());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(out)));

    dialogs.calls.clear();
    dialogs.clearAnswers();
    dialogs.answerYes();
    Click("插入并打印按钮");
    ASSERT_EQ(MessageTexts().size(), 1u);  // the reason, without the printer question
    EXPECT_FALSE(AnyMessageContains("完成"));
    EXPECT_TRUE(office->printJobs().empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(RunFeedbackTest, DoneOnlyWhenEveryDocumentWasMade) {
    SetRange(QStringLiteral("1"), QStringLiteral("5"));
    office->failSaves([](std::string_view path) { return path.ends_with("-合同3.doc"); });
    Save();
    EXPECT_EQ(
        MessageTexts().back(),
        "完成，但有文档未能生成：已生成 4 个，失败的编号：3。原因：Word程序未能保存或转换文档（编号 3）。"
        "是否打开存放文档所在文件夹？");

    // Nothing made: the reason, no "完成", and no folder offered.
    dialogs.calls.clear();
    office->failSaves([](std::string_view) { return true; });
    SetRange(QStringLiteral("1"), QStringLiteral("2"));
    dialogs.clearAnswers();
    dialogs.answerYes();
    dialogs.answerYes();
    dialogs.answerFile(out + "空.doc");
    Click("插入并保存按钮");
    ASSERT_FALSE(dialogs.messages().empty());
    EXPECT_EQ(dialogs.messages().back()->text,
              "没有生成任何文档：保存失败的编号：1、2。原因：Word程序未能保存或转换文档（编号 1-2）。");
    EXPECT_FALSE(dialogs.messages().back()->question);
    EXPECT_FALSE(AnyMessageContains("完成"));
    EXPECT_TRUE(opener.targets.empty());
}

// The user closed the office's document, or the office itself, between two runs: the next run
// opens the template again and writes every document.
TEST_F(RunFeedbackTest, OfficeGoneBetweenRunsStillWritesEveryDocument) {
    SetRange(QStringLiteral("1"), QStringLiteral("3"));
    Save("一.doc");
    ASSERT_EQ(office->savedPaths().size(), 3u);
    office->closeEveryDocument();
    Save("二.doc");
    EXPECT_EQ(office->savedPaths().size(), 6u);
    EXPECT_EQ(MessageTexts().back(), kDone);
    office->kill();
    Save("三.doc");
    EXPECT_EQ(office->savedPaths().size(), 9u);
    EXPECT_EQ(MessageTexts().back(), kDone);
    for (const char* stem : {"一", "二", "三"})
        for (int n = 1; n <= 3; ++n) EXPECT_TRUE(FileExists(out + stem + IntToText(n) + ".doc")) << stem << n;
    EXPECT_FALSE(AnyMessageContains("书签"));
}

TEST_F(RunFeedbackTest, StopButtonEndsTheRunAndReportsWhatWasMade) {
    Choose("选择方式组合框", QStringLiteral("全部"));
    auto* stop = Find<QPushButton>("停止按钮");
    EXPECT_FALSE(stop->isVisible());
    bool clicked = false;
    window->setProgressObserver([&](int position) {
        EXPECT_TRUE(stop->isVisible());
        if (position == 10 && !clicked) {
            clicked = true;
            QTest::mouseClick(stop, Qt::LeftButton);
        }
    });
    Save();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(FilesOnDisk(), Names("合同", 1, 10));
    EXPECT_EQ(MessageTexts().back(),
              "已停止：已生成 10 "
              "个。没有文档的行：11-26。是否打开存放文档所在文件夹？");
    EXPECT_FALSE(stop->isVisible());

    // Esc does the same.
    dialogs.calls.clear();
    QApplication::setActiveWindow(window.get());
    bool pressed = false;
    window->setProgressObserver([&](int position) {
        if (position == 4 && !pressed) {
            pressed = true;
            QTest::keyClick(window.get(), Qt::Key_Escape);
        }
    });
    Save("二.doc");
    EXPECT_EQ(MessageTexts().back(),
              "已停止：已生成 4 "
              "个。没有文档的行：5-26。是否打开存放文档所在文件夹？");
    EXPECT_TRUE(FileExists(out + "二4.doc"));
    EXPECT_FALSE(FileExists(out + "二5.doc"));

    // The next run is not stopped by the last one's request.
    window->setProgressObserver({});
    SetRange(QStringLiteral("1"), QStringLiteral("3"));
    Save("三.doc");
    EXPECT_EQ(MessageTexts().back(), kDone);
}

TEST_F(RunFeedbackTest, ClosingTheWindowDuringARunAsksWhetherToStop) {
    Choose("选择方式组合框", QStringLiteral("全部"));
    bool closed = false;
    window->setProgressObserver([&](int position) {
        if (position == 4 && !closed) {
            closed = true;
            dialogs.answerNo();  // go on
            window->close();
            EXPECT_TRUE(window->isVisible());
        }
    });
    Save();
    EXPECT_EQ(FilesOnDisk().size(), 26u);
    EXPECT_EQ(MessageTexts().back(), kDone);
    QTest::qWait(50);
    EXPECT_TRUE(window->isVisible());

    // Yes: the run ends after the current document, reports, and the window closes.
    dialogs.calls.clear();
    closed = false;
    window->setProgressObserver([&](int position) {
        if (position == 4 && !closed) {
            closed = true;
            dialogs.answerYes();
            window->close();
        }
    });
    Save("二.doc");
    ASSERT_GE(dialogs.messages().size(), 3u);
    const DialogCall* question = dialogs.messages()[1];
    EXPECT_EQ(question->caption, "停止确认");
    EXPECT_TRUE(question->question);
    EXPECT_EQ(MessageTexts().back(),
              "已停止：已生成 4 "
              "个。没有文档的行：5-26。是否打开存放文档所在文件夹？");
    EXPECT_EQ(ListFiles(out, "").size(), 26u + 4u);
    EXPECT_TRUE(WaitForEvents([&] { return !window->isVisible(); }, 2000));
}

TEST_F(RunFeedbackTest, ExitDuringARunStopsFirst) {
    QSignalSpy exit(window.get(), &gui::MainWindow::endProgramRequested);
    bool clicked = false;
    window->setProgressObserver([&](int position) {
        if (position == 2 && !clicked) {
            clicked = true;
            dialogs.answerYes();
            QTest::mouseClick(Find<QWidget>("退出按钮"), Qt::LeftButton);
            EXPECT_EQ(exit.count(), 0);
        }
    });
    SetRange(QStringLiteral("1"), QStringLiteral("6"));
    Save();
    EXPECT_EQ(FilesOnDisk(), Names("合同", 1, 2));
    EXPECT_TRUE(WaitForEvents([&] { return exit.count() == 1; }, 2000));
}

TEST_F(RunFeedbackTest, PrintingAsksOnceNamingThePrinterAndTheDocuments) {
    SetRange(QStringLiteral("3"), QStringLiteral("5"));
    dialogs.answerNo();
    Click("插入并打印按钮");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, "将打印 3 份文档，打印机：“测试打印机”。\r\n是否开始打印？");
    EXPECT_EQ(dialogs.calls[0].caption, "打印确认");
    EXPECT_TRUE(dialogs.calls[0].question);
    EXPECT_TRUE(office->printJobs().empty());
    EXPECT_TRUE(window->isVisible());

    dialogs.calls.clear();
    dialogs.answerYes();
    Click("插入并打印按钮");
    ASSERT_EQ(office->printJobs().size(), 3u);
    // Each job is called after its document, not "Untitled 1".
    EXPECT_EQ(office->printJobs()[0].document, "名单-3");
    EXPECT_EQ(office->printJobs()[2].document, "名单-5");
    EXPECT_EQ(dialogs.calls.size(), 2u);
    EXPECT_NE(MessageTexts().back().find("打印作业已经发送到打印机"), std::string::npos);

    // Several rows per document: the count is of documents.
    ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/两行.doc", {{"姓名_1", ""}, {"姓名_2", ""}}));
    gui::MainWindow::FillFileList(settings->GetWordPath(), ".doc", Combo("模板选择组合框"));
    Choose("模板选择组合框", QStringLiteral("两行.doc"));
    Click("多行模式选择框");
    SetRange(QStringLiteral("1"), QStringLiteral("5"));
    dialogs.calls.clear();
    Click("插入并打印按钮");  // answered No
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, "将打印 3 份文档，打印机：“测试打印机”。\r\n是否开始打印？");
}

TEST_F(RunFeedbackTest, NoPrinterIsSaidBeforeAnythingIsPrinted) {
    printerName.clear();
    SetRange(QStringLiteral("1"), QStringLiteral("2"));
    dialogs.answerYes();
    Click("插入并打印按钮");
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_NE(dialogs.calls[0].text.find("没有找到默认打印机"), std::string::npos);
    EXPECT_TRUE(office->printJobs().empty());
    EXPECT_TRUE(window->isVisible());
}

// With the menu item on, the documents get what the sheet shows.
TEST_F(RunFeedbackTest, ShownValuesGoIntoTheDocuments) {
    AddWorkbook("formats.xlsx");
    Choose("工作表选择组合框", QStringLiteral("格式$"));
    ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/格式.doc",
                                  {{"金额", ""}, {"比例", ""}, {"编号", ""}, {"日期", ""}}));
    gui::MainWindow::FillFileList(settings->GetWordPath(), ".doc", Combo("模板选择组合框"));
    Choose("模板选择组合框", QStringLiteral("格式.doc"));
    out = programFolder + "/用户文档/格式/";
    SetRange(QStringLiteral("1"), QStringLiteral("1"));
    Save("原值.doc");
    MenuAction(window.get(), "按表格显示格式取值")->trigger();
    Save("显示.doc");
    const std::pair<const char*, std::vector<std::string>> expected[] = {
        {"原值1.doc", {"3000.75", "0.25", "1234", "2024-03-05"}},
        {"显示1.doc", {"¥3,000.75", "25%", "001234", "2024年3月5日"}},
    };
    for (const auto& [file, values] : expected) {
        BookmarkTexts saved;
        ASSERT_TRUE(ReadFakeDocument(out + file, saved)) << file;
        std::vector<std::string> got;
        for (const char* name : {"金额", "比例", "编号", "日期"})
            got.push_back(FakeBookmarkText(saved, name));
        EXPECT_EQ(got, values) << file;
    }
}

}  // namespace
}  // namespace qm::test
