// The window and a settings store it cannot use: told once, and the program goes on.

#include <filesystem>

#include "test_gui_support.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class SettingsProblemTest : public WindowTest {};

TEST_F(SettingsProblemTest, ADamagedStoreIsToldOnceAndLeftAlone) {
    const std::string store = programFolder + "/Quillmerge.mdb";
    WriteText(store, std::string(4096, 'x'));
    StartWindow();
    WaitForEvents([&] { return !dialogs.messages().empty(); }, 2000);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_NE(dialogs.messages()[0]->text.find(store), std::string::npos);
    EXPECT_NE(dialogs.messages()[0]->text.find("已损坏"), std::string::npos);
    // The choosers still list the default folders, and choosing a folder again says nothing new.
    EXPECT_EQ(Items("文件选择组合框").size(), Combo("文件选择组合框")->count());
    EXPECT_GE(Combo("模板选择组合框")->count(), 2);
    settings->SetExcelPath(programFolder + "/数据");
    WaitForEvents([] { return false; }, 200);
    EXPECT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(fs::file_size(store), 4096u);
}

TEST_F(SettingsProblemTest, AGoodStoreSaysNothing) {
    StartWindow();
    WaitForEvents([] { return false; }, 200);
    EXPECT_TRUE(dialogs.messages().empty());
}

}  // namespace
}  // namespace qm::test
