// What a run says when it ends, stopping it, the office going away between runs, the question
// before printing, and runs with the values the sheet shows (with the in-memory office).

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "app/gui/link_label.h"
#include "app/gui/note_combo.h"
#include "app/gui/page_model.h"
#include "app/gui/qt_text.h"
#include "common/fs.h"
#include "common/text.h"
#include "test_gui_support.h"
#include "tests/support/fake_office.h"

namespace qm::test {
namespace {

// The closing message of a save run that made `documents` documents.
std::string Done(int documents) {
    return "完成！已生成 " + std::to_string(documents) + " 个文档。是否打开存放文档所在文件夹？";
}

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
    EXPECT_EQ(MessageTexts().back(), Done(26));
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

// The names the confirmation lists are the files the run writes, whether a filter leaves gaps
// in the sheet's numbers or multi-row documents are numbered by document.
TEST_F(RunFeedbackTest, TheConfirmationNamesTheFilesTheRunWrites) {
    // The names a confirmation lists ("……" stands between the head and the last name), and the
    // count it gives (0 when it gives none).
    const auto confirmed = [this](std::vector<std::string>& names, std::size_t& count) {
        names.clear();
        count = 0;
        const DialogCall* call = Confirmation();
        if (!call) return;
        const std::string& text = call->text;
        if (const std::size_t at = text.find("共 "); at != std::string::npos)
            count = std::stoul(text.substr(at + std::string("共 ").size()));
        const std::string mark = "文件名命名为：";
        std::size_t from = text.find(mark);
        if (from == std::string::npos)
            from = text.find("文件名为：") + std::string("文件名为：").size();
        else
            from += mark.size();
        std::string list = text.substr(from, text.find("。", from) - from);
        for (std::size_t cut; (cut = list.find("……")) != std::string::npos;) list.replace(cut, 6, "、");
        for (std::size_t start = 0;;) {
            const std::size_t end = list.find("、", start);
            names.push_back(list.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + std::string("、").size();
        }
    };
    const auto checkAgainstDisk = [&](const char* what, std::size_t documents) {
        std::vector<std::string> names;
        std::size_t count = 0;
        confirmed(names, count);
        const std::vector<std::string> disk = FilesOnDisk();
        EXPECT_EQ(disk.size(), documents) << what;
        if (count > 0) {
            EXPECT_EQ(count, disk.size()) << what;
        }
        ASSERT_FALSE(names.empty()) << what;
        for (const std::string& name : names)
            EXPECT_NE(std::find(disk.begin(), disk.end(), name), disk.end()) << what << ": " << name;
    };
    const auto filter = [this](const char* column, int test, const char* value) {
        Choose("筛选列组合框", QString::fromUtf8(column));
        ChooseIndex("筛选条件组合框", test);
        Find<QLineEdit>("筛选值编辑框")->setText(QString::fromUtf8(value));
        Click("筛选按钮");
    };

    // Rows 1 and 10 to 19 pass: the files keep their sheet numbers, so the gap is listed.
    filter("姓名", 2, "员工1");
    Choose("选择方式组合框", QStringLiteral("全部"));
    Save();
    checkAgainstDisk("filtered", 11);
    EXPECT_NE(Confirmation()->text.find("共 11 个文件，文件名为：合同1.doc、合同10.doc、合同11.doc"),
              std::string::npos)
        << Confirmation()->text;

    // Multi-row documents of two rows each, numbered by document.
    std::filesystem::remove_all(std::filesystem::u8path(out));
    dialogs.calls.clear();
    ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/两人.doc",
                                  {{"姓名_1", ""}, {"工号_1", ""}, {"姓名_2", ""}, {"工号_2", ""}}));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Items("模板选择组合框").contains(QStringLiteral("两人.doc")); }, 10000));
    Choose("模板选择组合框", QStringLiteral("两人.doc"));
    Click("多行模式选择框");
    Choose("选择方式组合框", QStringLiteral("全部"));
    out = programFolder + "/用户文档/两人/";
    Save();
    checkAgainstDisk("multi-row", 6);
    EXPECT_NE(Confirmation()->text.find("合同1.doc、合同2.doc……合同6.doc。"), std::string::npos)
        << Confirmation()->text;
}

// A row whose value 大于 cannot compare (text among numbers) is left out of the filter, and the
// window says how many were.
TEST_F(RunFeedbackTest, RowsAGreaterFilterCannotCompareAreLeftOutAndSaidSo) {
    ASSERT_TRUE(WriteText(programFolder + "/数据/月薪.csv",
                          "姓名,工号,月薪\r\n甲,1,12000\r\n乙,2,abc\r\n丙,3,8000\r\n"));
    dialogs.answerFile(programFolder + "/数据/月薪.csv");
    Choose("文件选择组合框", QStringLiteral("浏览..."));
    Choose("工作表选择组合框", QStringLiteral("月薪$"));
    dialogs.calls.clear();
    Choose("筛选列组合框", QStringLiteral("月薪"));
    ChooseIndex("筛选条件组合框", 6);  // 大于
    Find<QLineEdit>("筛选值编辑框")->setText(QStringLiteral("10000"));
    Click("筛选按钮");
    EXPECT_EQ(state->recordCount, 1);
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), "有 1 条记录的“月薪”不是数字或日期，无法比较大小，没有列入筛选结果。");
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
    EXPECT_EQ(MessageTexts().back(), Done(3));
    office->kill();
    Save("三.doc");
    EXPECT_EQ(office->savedPaths().size(), 9u);
    EXPECT_EQ(MessageTexts().back(), Done(3));
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
    EXPECT_EQ(MessageTexts().back(), Done(26));
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
    EXPECT_EQ(MessageTexts().back(), Done(26));
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

// Whatever the user clicks while a run goes, the progress line stays the run's, the run's inputs
// stay off (the filter line too), and the run makes what it was asked for.
TEST_F(RunFeedbackTest, ClicksDuringARunNeitherHideItNorChangeItsInputs) {
    Choose("选择方式组合框", QStringLiteral("全部"));
    Find<QLineEdit>("筛选值编辑框")->setText(QStringLiteral("张"));
    auto* progress = Find<QProgressBar>("进度条1");
    const auto enabledControls = [this] {
        std::vector<QWidget*> on;
        for (QWidget* w : window->findChildren<QWidget*>())
            if (w->isVisibleTo(window.get()) && w->isEnabled() &&
                (qobject_cast<QAbstractButton*>(w) || qobject_cast<gui::LinkLabel*>(w) ||
                 qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w)))
                on.push_back(w);
        return on;
    };
    // The run buttons stay live and answer with a word; that word stands over the progress line.
    const std::string busy = "正在生成文档，请等当前的运行结束后再开始新的运行。";
    dialogs.onCall = [&](const DialogCall& call) {
        if (call.kind == DialogCall::Message && call.text != busy && call.caption != "文件名确认提示") {
            EXPECT_FALSE(progress->isVisible()) << call.text;
        }
    };
    bool clicked = false;
    std::vector<std::string> clickedNames;
    window->setProgressObserver([&](int position) {
        if (position != 5 || clicked) return;
        clicked = true;
        const std::vector<QWidget*> before = enabledControls();
        const QString line = progress->format();
        for (QWidget* control : before) {
            const std::string name = gui::FromQ(control->objectName());
            // Stopping and leaving end the run; they have tests of their own.
            if (name == "停止按钮" || name == "退出按钮") continue;
            clickedNames.push_back(name);
            QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(4, control->height() / 2));
            if (auto* combo = qobject_cast<QComboBox*>(control)) combo->hidePopup();
            QCoreApplication::processEvents();
            EXPECT_TRUE(progress->isVisible()) << name;
            EXPECT_EQ(progress->format(), line) << name;
            EXPECT_EQ(enabledControls(), before) << name;
            for (const char* filter :
                 {"筛选列组合框", "筛选条件组合框", "筛选值编辑框", "筛选按钮", "清除筛选按钮"})
                EXPECT_FALSE(Find<QWidget>(filter)->isEnabled()) << filter << " after " << name;
        }
    });
    Save();
    EXPECT_TRUE(clicked);
    // The page links at least were clicked, and the run was not changed by them.
    for (const char* link : {"下一页标签", "尾页标签"})
        EXPECT_NE(std::find(clickedNames.begin(), clickedNames.end(), link), clickedNames.end()) << link;
    EXPECT_EQ(FilesOnDisk(), Names("合同", 1, 26));
    EXPECT_EQ(MessageTexts().back(), Done(26));
    EXPECT_TRUE(state->filters.empty());
    // Afterwards the filter line is on again.
    EXPECT_TRUE(Find<QWidget>("筛选按钮")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("筛选列组合框")->isEnabled());
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
