#include "test_gui_support.h"

#include <QLabel>
#include <QTest>
#include <filesystem>

#include "app/gui/qt_text.h"
#include "app/gui/range_box.h"
#include "tests/support/fake_office.h"

namespace fs = std::filesystem;

namespace qm::test {

void WindowTest::SetUp() {
    std::error_code error;
    fs::copy_file(QM_PROGRAM_DIR "/Quillmerge.mdb", programFolder + "/Quillmerge.mdb", error);
    ASSERT_FALSE(error) << "the built Quillmerge.mdb is missing";
    for (const char* sub : {"/数据", "/模板", "/用户文档"})
        fs::create_directory(fs::u8path(programFolder + sub));
    fs::copy_file(fs::u8path(FixtureFolder() + "/people.xls"), fs::u8path(programFolder + "/数据/people.xls"),
                  error);
    ASSERT_FALSE(error);
    fs::copy_file(fs::u8path(FixtureFolder() + "/dates1904.xls"),
                  fs::u8path(programFolder + "/数据/dates1904.xls"), error);
    // Templates of the in-memory office: 名单 has bookmarks for three of the titles, 空白 none
    // that match.
    ASSERT_TRUE(
        WriteFakeTemplate(programFolder + "/模板/名单.doc", {{"姓名", ""}, {"工号", ""}, {"备注", "-"}}));
    ASSERT_TRUE(WriteFakeTemplate(programFolder + "/模板/空白.doc", {{"标题", "x"}}));
}

void WindowTest::TearDown() {
    window.reset();
    gui::ProgramEndCleanup(objects);
}

void WindowTest::UseServer(std::unique_ptr<word::Office> chosen) {
    server = std::move(chosen);
}

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
    WaitForRun();
}

void WindowTest::WaitForRun() {
    if (!window) return;
    // A run of the in-memory office takes a moment; one of the real office, minutes at worst.
    EXPECT_TRUE(WaitForEvents([this] { return !window->RunGoing(); }, 900000)) << "the run did not end";
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

void WindowTest::UseShippedSamples() {
    for (const char* sub : {"/数据", "/模板"}) {
        std::error_code ignored;
        fs::remove_all(fs::u8path(programFolder + sub), ignored);
        fs::copy(fs::u8path(std::string(QM_PROGRAM_DIR) + sub), fs::u8path(programFolder + sub),
                 fs::copy_options::recursive, ignored);
    }
}

void WindowTest::AddWorkbook(const char* name) {
    std::error_code error;
    fs::copy_file(fs::u8path(WindowFixtureFolder() + "/" + name), fs::u8path(programFolder + "/数据/" + name),
                  error);
    ASSERT_FALSE(error) << name;
    // Browsing to it lists the folder again with it current, as a user would.
    dialogs.answerFile(programFolder + "/数据/" + name);
    const size_t before = dialogs.calls.size();
    Choose("文件选择组合框", QStringLiteral("浏览..."));
    dialogs.calls.resize(before);
    ASSERT_EQ(Combo("文件选择组合框")->currentText(), QString::fromUtf8(name));
}

std::vector<std::string> WindowTest::MessageTexts() const {
    return dialogs.texts();
}

void WindowTest::LoadPeople(const char* templateFile) {
    Choose("文件选择组合框", QStringLiteral("people.xls"));
    Choose("工作表选择组合框", QStringLiteral("人员名单$"));
    if (templateFile) Choose("模板选择组合框", QString::fromUtf8(templateFile));
}

}  // namespace qm::test
