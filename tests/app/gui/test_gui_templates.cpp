// The window with the shipped sample templates in both forms: both are listed, and a save run
// makes documents of the template's own format in this process, without the office.

#include <QLabel>
#include <QTest>
#include <filesystem>

#include "common/fs.h"
#include "test_gui_support.h"
#include "tests/support/fake_office.h"
#include "tests/support/files.h"
#include "word/engine/template.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class SampleTemplateTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* sub : {"/数据", "/模板"}) {
            std::error_code ignored;
            fs::copy(fs::u8path(std::string(QM_PROGRAM_DIR) + sub), fs::u8path(programFolder + sub),
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing, ignored);
        }
        StartWindow();
    }
};

TEST_F(SampleTemplateTest, BothFormsAreListedAndADocxRunMakesDocxHere) {
    const QStringList items = Items("模板选择组合框");
    for (const char* name : {"劳动合同.doc", "劳动合同.docx", "工资条.doc", "工资条.docx"})
        EXPECT_TRUE(items.contains(QString::fromUtf8(name))) << name;
    Choose("文件选择组合框", QStringLiteral("员工信息.xls"));
    Choose("工作表选择组合框", QStringLiteral("员工$"));
    Choose("模板选择组合框", QStringLiteral("劳动合同.docx"));
    EXPECT_EQ(office->applicationsStarted(), 0);  // choosing a template starts no office
    ASSERT_FALSE(state->matchedTitles.empty());

    SetRange(QStringLiteral("1"), QStringLiteral("2"));
    const std::string out = programFolder + "/用户文档/劳动合同/";
    dialogs.answerFile(out + "合同.docx");
    dialogs.answerYes();  // the names are right
    Click("插入并保存按钮");
    ASSERT_FALSE(dialogs.messages().empty());
    EXPECT_EQ(dialogs.messages().back()->text, "完成！已生成 2 个文档。是否打开存放文档所在文件夹？");
    EXPECT_EQ(ListFiles(out, ""), (std::vector<std::string>{"合同1.docx", "合同2.docx"}));
    for (const char* name : {"合同1.docx", "合同2.docx"}) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadFileBytes(out + name, bytes));
        EXPECT_TRUE(engine::VerifyContainer(bytes, engine::Format::Docx)) << name;
    }
    EXPECT_EQ(office->applicationsStarted(), 0);
}

// A damaged template is named with the engine's reason, chosen and asked to run, and never goes
// to the office to be repaired behind the user's back.
TEST_F(SampleTemplateTest, ADamagedTemplateIsRefusedWithTheReasonAndNoOffice) {
    ASSERT_TRUE(
        CopyWithDamagedFirstEntry(programFolder + "/模板/劳动合同.docx", programFolder + "/模板/坏.docx"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Items("模板选择组合框").contains(QStringLiteral("坏.docx")); }, 10000));
    Choose("文件选择组合框", QStringLiteral("员工信息.xls"));
    Choose("工作表选择组合框", QStringLiteral("员工$"));
    Choose("模板选择组合框", QStringLiteral("坏.docx"));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    const std::string said = dialogs.messages()[0]->text;
    // In the user's words, with no English of the engine's in it.
    EXPECT_TRUE(said.starts_with("无法打开Word模板“坏.docx”：文件已损坏（压缩包无法读取）。")) << said;
    EXPECT_NE(said.find("另存为新的模板"), std::string::npos) << said;
    EXPECT_EQ(said.find("zip"), std::string::npos) << said;
    // The match line says the template did not open, not that it holds no bookmark.
    EXPECT_EQ(Find<QLabel>("书签匹配标签")->text(), QStringLiteral("模板无法打开"));
    EXPECT_EQ(Find<QLabel>("书签匹配标签")->toolTip().toStdString(), said);
    dialogs.calls.clear();
    Click("插入并保存按钮");
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0]->text, said);
    EXPECT_EQ(office->applicationsStarted(), 0);
    EXPECT_TRUE(office->savedPaths().empty());
}

}  // namespace
}  // namespace qm::test
