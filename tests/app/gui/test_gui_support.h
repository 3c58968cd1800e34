#pragma once
// What the window tests share: an opener that records its targets, a fresh program folder per
// test with the fixture workbooks, and a window over them with the in-memory office and
// dialogs answered from a script.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/settings.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/opener.h"
#include "app/gui/program.h"
#include "merge/program_state.h"
#include "tests/support/files.h"
#include "tests/support/gui/qt_wait.h"
#include "tests/support/gui/scripted_gui_dialogs.h"
#include "tests/support/processes.h"
#include "tests/support/temp_folder.h"
#include "word/word_host.h"

namespace qm::test {

class FakeOffice;

// Records every target; answers as a desktop with (or, with `works` false, without) the
// programs to open them.
class RecordingOpener : public gui::Opener {
  public:
    void open(std::string_view target, std::function<void(bool)> done) override {
        targets.emplace_back(target);
        done(works);
    }
    std::vector<std::string> targets;
    bool works = true;
};

// The shared fixture workbooks (people.xls, dates1904.xls), written at build time.
inline std::string FixtureFolder() {
    return QM_XLS_FIXTURES;
}
// The workbooks of the window tests alone (rows26.xls, formats.xlsx), written at build time.
inline std::string WindowFixtureFolder() {
    return QM_WINDOW_FIXTURES;
}

// A program folder with Quillmerge.mdb, 数据/people.xls, 模板/ with fake templates, 用户文档/;
// the program-wide objects and the main window over them.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the window; call after changing the folders.
    void StartWindow();
    // The office the window drives: the in-memory one unless a test sets its own server first.
    void UseServer(std::unique_ptr<word::Office> server);

    template <typename W = QWidget>
    W* Find(const char* name) const {
        W* widget = window->findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QComboBox* Combo(const char* name) const { return Find<QComboBox>(name); }
    // The user picks the item with `text` (or index) in the list.
    void Choose(const char* comboName, const QString& text);
    void ChooseIndex(const char* comboName, int index);
    // Clicks the widget; a run it starts has ended, its closing messages answered, on return.
    void Click(const char* name);
    // Lets the window's events run until no run is going.
    void WaitForRun();
    QStringList Items(const char* comboName) const;
    QString Text(const char* name) const;  // caption of a label, text of a range box
    void SetRange(const QString& start, const QString& end);
    // Workbook people.xls, sheet 人员名单$ (25 records), template `templateFile`.
    void LoadPeople(const char* templateFile = "名单.doc");
    // Copies a workbook of WindowFixtureFolder() into 数据/ and lists it in the chooser.
    void AddWorkbook(const char* name);
    // The shipped sample workbook and templates in place of the fixtures; before StartWindow.
    void UseShippedSamples();
    // The messages shown so far, texts only.
    std::vector<std::string> MessageTexts() const;

    const TempFolder programRoot{"gui-program"};
    const std::string programFolder = programRoot.path();
    FakeOffice* office = nullptr;  // owned by the host
    std::unique_ptr<word::Office> server;
    gui::ProgramObjects objects;
    ProgramState* state = nullptr;
    word::WordHost* host = nullptr;
    AppSettings* settings = nullptr;
    ScriptedGuiDialogs dialogs;
    RecordingOpener opener;
    std::unique_ptr<gui::MainWindow> window;
    // The default printer print requests see; "" for none.
    std::string printerName = "测试打印机";
};

}  // namespace qm::test
