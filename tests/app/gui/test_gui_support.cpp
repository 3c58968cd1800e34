#include "test_gui_support.h"

#include <QLabel>
#include <QTest>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdlib.h>
#include <sstream>
#include <unistd.h>
#include <QElapsedTimer>

#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "tests/support/fake_office.h"

namespace fs = std::filesystem;

namespace qm::test {

gui::Answer TestDialogs::message(std::string_view text, std::string_view caption, gui::Buttons buttons,
                                 MessageIcon icon) {
    DialogCall call;
    call.kind = DialogCall::Message;
    call.text = text;
    call.caption = caption.empty() ? std::string(kDefaultCaption) : std::string(caption);
    call.buttons = buttons;
    call.icon = icon;
    calls.push_back(call);
    if (onCall) onCall(call);
    if (buttons == gui::Buttons::Ok) {
        if (!answers.empty() && answers.front() == gui::Answer::Ok) answers.pop_front();
        return gui::Answer::Ok;
    }
    if (answers.empty()) return gui::Answer::No;
    const gui::Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::string TestDialogs::AnswerFileDialog(const DialogCall& call) {
    calls.push_back(call);
    if (onCall) onCall(call);
    if (files.empty()) return {};
    std::string answer = files.front();
    files.pop_front();
    return answer;
}

std::string TestDialogs::getOpenFileName(std::string_view title, std::string_view folder, std::string_view filter) {
    DialogCall call;
    call.kind = DialogCall::Open;
    call.title = title;
    call.folder = folder;
    call.filter = filter;
    return AnswerFileDialog(call);
}

std::string TestDialogs::getSaveFileName(std::string_view title, std::string_view folder,
                                         std::string_view proposedName, std::string_view filter) {
    DialogCall call;
    call.kind = DialogCall::Save;
    call.title = title;
    call.folder = folder;
    call.proposedName = proposedName;
    call.filter = filter;
    return AnswerFileDialog(call);
}

std::string TestDialogs::getSaveFileNameOfType(std::string_view title, std::string_view folder,
                                               std::string_view proposedName,
                                               const std::vector<std::string>& types, int& type) {
    DialogCall call;
    call.kind = DialogCall::Save;
    call.title = title;
    call.folder = folder;
    call.proposedName = proposedName;
    call.types = types;
    call.current = type;
    if (type >= 0 && type < static_cast<int>(types.size()))
        call.filter = types[static_cast<std::size_t>(type)];
    std::string answer = AnswerFileDialog(call);
    if (!answer.empty() && !this->types.empty()) {
        type = this->types.front();
        this->types.pop_front();
    }
    return answer;
}

int TestDialogs::chooseItem(std::string_view title, std::string_view label,
                            const std::vector<std::string>& items, int current) {
    DialogCall call;
    call.kind = DialogCall::Choice;
    call.title = title;
    call.text = label;
    call.items = items;
    call.current = current;
    calls.push_back(call);
    if (onCall) onCall(call);
    if (choices.empty()) return current;
    const int choice = choices.front();
    choices.pop_front();
    return choice;
}

std::vector<const DialogCall*> TestDialogs::messages() const {
    std::vector<const DialogCall*> result;
    for (const DialogCall& call : calls)
        if (call.kind == DialogCall::Message) result.push_back(&call);
    return result;
}

namespace {
std::vector<std::string>& FoldersToRemove() {
    static std::vector<std::string> folders;
    return folders;
}
void RemoveFolders() {
    std::error_code ignored;
    for (const std::string& folder : FoldersToRemove()) fs::remove_all(fs::u8path(folder), ignored);
}
}  // namespace

std::string MakeTempFolder(const std::string& stem) {
    std::string pattern = ::testing::TempDir() + "qm_gui_" + stem + "_XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    // The list is made before the exit handler is registered, so it still exists when it runs.
    FoldersToRemove().push_back(pattern);
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(RemoveFolders); });
    return pattern;
}

const std::string& FixtureFolder() {
    static const std::string folder = [] {
        const std::string target = MakeTempFolder("fixtures");
        const std::string command = "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/data/xls/make_workbooks.py' '" +
                                    target + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) ADD_FAILURE() << "fixture workbooks not written";
        return target;
    }();
    return folder;
}

const std::string& WindowFixtureFolder() {
    static const std::string folder = [] {
        const std::string target = MakeTempFolder("window_fixtures");
        const std::string command = "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/app/gui/make_window_workbooks.py' '" +
                                    target + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) ADD_FAILURE() << "window test workbooks not written";
        return target;
    }();
    return folder;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(fs::u8path(path), std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return condition();
        QTest::qWait(20);
    }
    return true;
}

int ChildProcessCount(const char* name) {
    int count = 0;
    DIR* dir = opendir("/proc");
    if (!dir) return 0;
    const std::string self = std::to_string(getpid());
    while (dirent* entry = readdir(dir)) {
        // /proc/<pid>/stat: pid (comm) state ppid ...
        std::ifstream statFile(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!statFile || !std::getline(statFile, line)) continue;
        const size_t open = line.find('(');
        const size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string stateText, ppid;
        rest >> stateText >> ppid;
        if (line.substr(open + 1, close - open - 1) == name && ppid == self && stateText != "Z") ++count;
    }
    closedir(dir);
    return count;
}

void WindowTest::SetUp() {
    programFolder = MakeTempFolder("program");
    ASSERT_FALSE(programFolder.empty());
    std::error_code error;
    fs::copy_file(QM_PROGRAM_DIR "/Quillmerge.mdb", programFolder + "/Quillmerge.mdb", error);
    ASSERT_FALSE(error) << "the built Quillmerge.mdb is missing";
    for (const char* sub : {"/数据", "/模板", "/用户文档"}) fs::create_directory(fs::u8path(programFolder + sub));
    fs::copy_file(fs::u8path(FixtureFolder() + "/people.xls"), fs::u8path(programFolder + "/数据/people.xls"), error);
    ASSERT_FALSE(error);
    fs::copy_file(fs::u8path(FixtureFolder() + "/dates1904.xls"), fs::u8path(programFolder + "/数据/dates1904.xls"),
                  error);
    // Templates of the in-memory office: 名单 has bookmarks for three of the titles, 空白 none
    // that match.
    ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/名单.doc", {{"姓名", ""}, {"工号", ""}, {"备注", "-"}}));
    ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/空白.doc", {{"标题", "x"}}));
}

void WindowTest::TearDown() {
    window.reset();
    gui::ProgramEndCleanup(objects);
}

void WindowTest::UseServer(std::unique_ptr<word::Office> chosen) { server = std::move(chosen); }

void WindowTest::StartWindow() {
    if (!server) {
        auto fake = std::make_unique<FakeOffice>();
        office = fake.get();
        server = std::move(fake);
    }
    objects = gui::MakeProgramObjects(programFolder, std::move(server));
    state = objects.state.get();
    host = objects.host.get();
    settings = objects.settings.get();
    window = std::make_unique<gui::MainWindow>(
        gui::WindowContext{*state, *host, *settings, dialogs, opener, programFolder});
    window->setPrinterSource([this] { return printerName; });
    window->show();
}

void WindowTest::Choose(const char* comboName, const QString& text) {
    QComboBox* combo = Combo(comboName);
    ASSERT_NE(combo, nullptr);
    const int index = combo->findText(text, Qt::MatchExactly);
    ASSERT_GE(index, 0) << comboName << ": " << text.toStdString();
    ChooseIndex(comboName, index);
}

void WindowTest::ChooseIndex(const char* comboName, int index) {
    QComboBox* combo = Combo(comboName);
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void WindowTest::Click(const char* name) {
    QWidget* widget = Find(name);
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

QStringList WindowTest::Items(const char* comboName) const {
    QStringList items;
    QComboBox* combo = Combo(comboName);
    for (int i = 0; combo && i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

QString WindowTest::Text(const char* name) const {
    QWidget* widget = Find(name);
    if (auto* box = qobject_cast<gui::RangeBox*>(widget)) return box->boxText();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    return {};
}

void WindowTest::SetRange(const QString& start, const QString& end) {
    Find<gui::RangeBox>("范围起编辑框")->setBoxText(start);
    Find<gui::RangeBox>("范围止编辑框")->setBoxText(end);
}

void WindowTest::AddWorkbook(const char* name) {
    std::error_code error;
    fs::copy_file(fs::u8path(WindowFixtureFolder() + "/" + name), fs::u8path(programFolder + "/数据/" + name), error);
    ASSERT_FALSE(error) << name;
    // Browsing to it lists the folder again with it current, as a user would.
    dialogs.files.push_back(programFolder + "/数据/" + name);
    const size_t before = dialogs.calls.size();
    Choose("文件选择组合框", QStringLiteral("浏览..."));
    dialogs.calls.resize(before);
    ASSERT_EQ(Combo("文件选择组合框")->currentText(), QString::fromUtf8(name));
}

std::vector<std::string> WindowTest::MessageTexts() const {
    std::vector<std::string> texts;
    for (const DialogCall* call : dialogs.messages()) texts.push_back(call->text);
    return texts;
}

void WindowTest::LoadPeople(const char* templateFile) {
    Choose("文件选择组合框", QStringLiteral("people.xls"));
    Choose("工作表选择组合框", QStringLiteral("人员名单$"));
    if (templateFile) Choose("模板选择组合框", QString::fromUtf8(templateFile));
}

}  // namespace qm::test
