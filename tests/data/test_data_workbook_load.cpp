// Why a workbook file could not be read, as LoadWorkbook words it before parsing.
#include <gtest/gtest.h>

#include "data/workbook_file.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace qm::data {
namespace {

TEST(LoadWorkbook, FilesThatCannotBeReadSayWhy) {
    test::TempFolder folder;
    EXPECT_EQ(LoadWorkbook("").problem, "no file named");
    EXPECT_EQ(LoadWorkbook(folder / "none.xls").problem, "the file does not exist");
    EXPECT_EQ(LoadWorkbook(folder.path()).problem, "not a regular file");
    EXPECT_EQ(LoadWorkbook("/dev/null").problem, "not a regular file");
    test::WriteText(folder / "empty.xls", "");
    EXPECT_EQ(LoadWorkbook(folder / "empty.xls").problem, "the file is empty");
    test::WriteText(folder / "file", "x");
    EXPECT_EQ(LoadWorkbook(folder / "file" + "/inside.xls").problem, "cannot open the file: Not a directory");
    EXPECT_EQ(LoadWorkbook(folder / "none.xls").workbook, nullptr);
}

}  // namespace
}  // namespace qm::data
