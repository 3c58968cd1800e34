// The sample workbook shipped in the program folder reads as the sample templates expect.
#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/recordset.h"

namespace qm::data {
namespace {

using Names = std::vector<std::string>;

TEST(SampleWorkbook, SheetsColumnsAndValues) {
    const std::string connection =
        BuildConnectionString(ExcelWorkbook, {}, std::string(QM_PROGRAM_DIR) + "/数据/员工信息.xls");
    Names sheets;
    ListSheets(connection, sheets);
    ASSERT_EQ(sheets, (Names{"员工$", "合同续签$"}));

    Recordset rs;
    ASSERT_TRUE(rs.open("select * from [员工$]", connection, 1));
    Names titles;
    for (int i = 0; i < GetFieldCount(rs); ++i) titles.push_back(GetFieldName(rs, i));
    EXPECT_EQ(titles, (Names{"编号", "姓名", "性别", "部门", "职位", "入职日期", "月薪", "身份证号",
                             "联系电话", "照片"}));
    EXPECT_GE(GetRecordCount(rs), 25);
    EXPECT_LE(GetRecordCount(rs), 30);
    EXPECT_EQ(GetFieldValue(rs, "编号"), "001");
    EXPECT_EQ(GetFieldValue(rs, "入职日期"), "2012-03-01");
    EXPECT_EQ(GetFieldValue(rs, "月薪"), "28000");
    EXPECT_EQ(GetFieldValue(rs, "身份证号").size(), 18u);
    while (!rs.eof()) {
        EXPECT_FALSE(GetFieldValue(rs, "姓名").empty());
        rs.moveNext();
    }

    ASSERT_TRUE(rs.open("select 编号, 姓名, 原合同到期日, 续签年限 from [合同续签$]", connection, 3));
    EXPECT_EQ(GetFieldValue(rs, "姓名"), "王建国");
    EXPECT_EQ(GetFieldValue(rs, "原合同到期日"), "2025-09-01");
    EXPECT_EQ(GetFieldValue(rs, "续签年限"), "5");
}

}  // namespace
}  // namespace qm::data
