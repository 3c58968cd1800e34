// The preview of a row without the office: the document is made as a run makes it and its text
// stands in for the pages; the bookmarks it leaves empty are named.

#include <gtest/gtest.h>

#include "common/text.h"
#include "data/workbook_cache.h"
#include "merge/preview.h"
#include "tests/support/temp_folder.h"
#include "word/word_host.h"

namespace qm {
namespace {

const std::string kSamples = QM_PROGRAM_DIR;

// Previews made without an office, from the sample sheet 员工 filtered to 销售部 (5 rows).
class PreviewWithoutOffice : public testing::Test {
  protected:
    PreviewWithoutOffice() {
        choice.workbookPath = kSamples + "/数据/员工信息.xls";
        choice.table = "员工$";
        choice.filters = {{"部门", FilterTest::Equal, "销售部"}};
    }
    Preview Make(int row) {
        return MakePreview(PlanPreview(choice, row, workbooks, host, folder.path() + "/p"), host);
    }

    const test::TempFolder folder{"preview"};
    data::WorkbookCache workbooks;
    word::WordHost host{nullptr, folder.path()};
    RunChoice choice;
};

TEST_F(PreviewWithoutOffice, WithoutTheOfficeTheDocumentsTextStandsIn) {
    choice.templatePath = kSamples + "/模板/劳动合同.doc";
    const Preview preview = Make(2);
    ASSERT_FALSE(preview.problem);
    EXPECT_EQ(preview.sheetRow, 10);  // the second row of 销售部
    EXPECT_EQ(preview.rowCount, 5);
    EXPECT_TRUE(preview.pages.empty());
    EXPECT_EQ(preview.pagesProblem, PagesProblem::NoOffice);
    EXPECT_NE(preview.text.find("乙方（劳动者）：郑晓燕"), std::string::npos) << preview.text;
    EXPECT_TRUE(preview.emptyBookmarks.empty());

    // A sheet without the template's columns: every bookmark stays empty and is named; one
    // past the last row is a problem, not a document.
    choice.table = "合同续签$";
    choice.filters.clear();
    const Preview renewal = Make(1);
    ASSERT_FALSE(renewal.problem);
    EXPECT_EQ(renewal.emptyBookmarks,
              (std::vector<std::string>{"性别", "身份证号", "入职日期", "职位", "月薪"}));
    const Preview past = Make(renewal.rowCount + 1);
    ASSERT_TRUE(past.problem);
    EXPECT_EQ(past.problem->kind, PlanProblemKind::RangePastEnd);
}

// In multi-row mode a preview shows the group that starts at the row; in the last, short group
// the slots past the sheet's end stay empty and are named.
TEST_F(PreviewWithoutOffice, LastGroupOfMultiRowNamesItsEmptySlots) {
    choice.templatePath = kSamples + "/模板/工资条.doc";
    choice.multiRowMode = true;  // 5 rows: groups of 3 and 2
    const Preview first = Make(1);
    ASSERT_FALSE(first.problem);
    EXPECT_TRUE(first.emptyBookmarks.empty());
    const Preview last = Make(4);
    ASSERT_FALSE(last.problem);
    EXPECT_EQ(last.sheetRow, 12);
    EXPECT_EQ(last.emptyBookmarks, (std::vector<std::string>{"编号_3", "姓名_3", "部门_3", "月薪_3"}));
    EXPECT_NE(last.text.find("马振宇"), std::string::npos) << last.text;
    EXPECT_EQ(LowerExtension(last.document), ".doc");
}

}  // namespace
}  // namespace qm
