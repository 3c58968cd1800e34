#pragma once
// What the window tests share: dialogs answered from queues, an opener that records its
// targets, a fresh program folder per test with the fixture workbooks, and a window over them
// with the in-memory office.

#include <QComboBox>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/settings.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/opener.h"
#include "app/gui/program.h"
#include "merge/program_state.h"
#include "word/word_host.h"

namespace qm::test {

class FakeOffice;

struct DialogCall {
    enum Kind { Message, Open, Save, Choice } kind = Message;
    std::string text;     // message text
    std::string caption;  // message caption
    gui::Buttons buttons = gui::Buttons::Ok;
    MessageIcon icon = MessageIcon::None;
    std::string title;  // file dialogs
    std::string folder;
    std::string proposedName;
    std::string filter;              // a save dialog with types: the type shown first
    std::vector<std::string> types;  // a save dialog with types: all of them
    std::vector<std::string> items;  // a choice: its items, and the one shown first
    int current = -1;
};

// Answers every box from its queue: messages from `answers` (empty: OK, or No for a question),
// file dialogs from `files` (empty: cancelled), the type of a save dialog from `types` (empty:
// the one shown first), choices from `choices` (empty: the one shown first; -1 cancels). Every
// call is recorded.
class TestDialogs : public gui::GuiDialogs {
public:
    gui::Answer message(std::string_view text, std::string_view caption, gui::Buttons buttons,
                        MessageIcon icon) override;
    std::string getOpenFileName(std::string_view title, std::string_view folder, std::string_view filter) override;
    std::string getSaveFileName(std::string_view title, std::string_view folder, std::string_view proposedName,
                                std::string_view filter) override;
    std::string getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                      std::string_view proposedName, const std::vector<std::string>& types,
                                      int& type) override;
    int chooseItem(std::string_view title, std::string_view label, const std::vector<std::string>& items,
                   int current) override;

    std::vector<const DialogCall*> messages() const;  // message calls only
    std::deque<gui::Answer> answers;
    std::deque<std::string> files;
    std::deque<int> types;
    std::deque<int> choices;
    std::vector<DialogCall> calls;
    // Runs inside each call, after it is recorded (to look at the window while a box is open).
    std::function<void(const DialogCall&)> onCall;

private:
    // Records a file dialog and answers it from `files`.
    std::string AnswerFileDialog(const DialogCall& call);
};

// Records every target; answers as a desktop with (or, with `works` false, without) the
// programs to open them.
class RecordingOpener : public gui::Opener {
public:
    bool open(std::string_view target) override {
        targets.emplace_back(target);
        return works;
    }
    std::vector<std::string> targets;
    bool works = true;
};

// The folder of the fixture workbooks, written once per test process.
const std::string& FixtureFolder();
// The workbooks of the window tests alone (rows26.xls, formats.xlsx), written once per process.
const std::string& WindowFixtureFolder();
// A fresh empty folder below the test temp folder, removed at exit of the test.
std::string MakeTempFolder(const std::string& stem);
bool WriteTextFile(const std::string& path, const std::string& text);
// Runs until `condition` holds or `milliseconds` pass, processing events; the final value.
bool WaitFor(const std::function<bool()>& condition, int milliseconds);
// Live child processes of this process with the command name `name` (at most 15 characters).
int ChildProcessCount(const char* name);

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
    void Click(const char* name);
    QStringList Items(const char* comboName) const;
    QString Text(const char* name) const;  // caption of a label, text of a range box
    void SetRange(const QString& start, const QString& end);
    // Workbook people.xls, sheet 人员名单$ (25 records), template `templateFile`.
    void LoadPeople(const char* templateFile = "名单.doc");
    // Copies a workbook of WindowFixtureFolder() into 数据/ and lists it in the chooser.
    void AddWorkbook(const char* name);
    // The messages shown so far, texts only.
    std::vector<std::string> MessageTexts() const;

    std::string programFolder;
    FakeOffice* office = nullptr;  // owned by the host
    std::unique_ptr<word::Office> server;
    gui::ProgramObjects objects;
    ProgramState* state = nullptr;
    word::WordHost* host = nullptr;
    AppSettings* settings = nullptr;
    TestDialogs dialogs;
    RecordingOpener opener;
    std::unique_ptr<gui::MainWindow> window;
    // The default printer print requests see; "" for none.
    std::string printerName = "测试打印机";
};

}  // namespace qm::test
