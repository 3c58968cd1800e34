// File names from a column: what a value becomes in a name, names never given twice in a run,
// the names planned for a range of a real workbook, and the confirmation texts that list them.

#include <gtest/gtest.h>

#include "common/text.h"
#include "data/connection.h"
#include "merge/merge_run.h"
#include "merge/output_names.h"
#include "merge/program_state.h"

namespace qm {
namespace {

const std::string kFixtures = QM_MERGE_FIXTURES;
const std::string kLong = [] {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "长";
    return text;
}();

bool ValidUtf8(const std::string& text) {
    return FileNamePart(text) == text || text.empty();
}

TEST(FileNamePart, ReplacesWhatANameCannotHold) {
    EXPECT_EQ(FileNamePart("张三"), "张三");
    EXPECT_EQ(FileNamePart("a/b\\c:d*e?f"), "a_b_c_d_e_f");
    EXPECT_EQ(FileNamePart("<a>|\"b\""), "_a___b_");
    EXPECT_EQ(FileNamePart(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(FileNamePart("line\nbreak\ttab"), "line_break_tab");
    // A right-to-left override would show "x\u202etxt.exe" as "xexe.txt".
    EXPECT_EQ(FileNamePart("x\u202etxt.exe"), "x_txt.exe");
    EXPECT_EQ(FileNamePart("a\u2028b\u0085c"), "a_b_c");
}

TEST(FileNamePart, BlanksAtTheEndsGoAndBlankValuesAreEmpty) {
    EXPECT_EQ(FileNamePart("  王五  "), "王五");
    EXPECT_EQ(FileNamePart("\u3000张 三\u3000"), "张 三");  // full-width blanks; the inner one stays
    EXPECT_EQ(FileNamePart("   "), "");
    EXPECT_EQ(FileNamePart("\t\r\n"), "");
    EXPECT_EQ(FileNamePart(""), "");
}

TEST(FileNamePart, BytesThatAreNotUtf8BecomeOneMarkEach) {
    EXPECT_EQ(FileNamePart("\xff\xfe"
                           "ab"),
              "__ab");
    EXPECT_EQ(FileNamePart("ab\xe5\xbc"), "ab__");                    // a character cut short at the end
    EXPECT_EQ(FileNamePart("\xc0\xaf"), "__");                        // "/" written the long way
    EXPECT_EQ(FileNamePart("\xed\xa0\x80"), "___");                   // a lone surrogate
    EXPECT_EQ(FileNamePart("\xf4\x90\x80\x80"), "____");              // beyond U+10FFFF
    EXPECT_EQ(FileNamePart("\xf0\x9f\x98\x80"), "\xf0\x9f\x98\x80");  // four bytes, valid
}

TEST(CutUtf8, NeverSplitsACharacter) {
    EXPECT_EQ(CutUtf8("长长", 6), "长长");
    EXPECT_EQ(CutUtf8("长长", 5), "长");
    EXPECT_EQ(CutUtf8("长长", 4), "长");
    EXPECT_EQ(CutUtf8("长长", 2), "");
    EXPECT_EQ(CutUtf8("ab长", 3), "ab");
    EXPECT_EQ(CutUtf8("abc", 10), "abc");
}

TEST(DocumentNamer, RepeatedNamesGetANumberAndNeverATakenName) {
    DocumentNamer namer("合同", ".doc");
    EXPECT_EQ(namer.Next("张三", 1), "合同_张三.doc");
    EXPECT_EQ(namer.Next("张三", 2), "合同_张三(2).doc");
    EXPECT_EQ(namer.Next("张三(2)", 3), "合同_张三(2)(2).doc");  // its own name was given already
    EXPECT_EQ(namer.Next("张三", 4), "合同_张三(3).doc");
    // Letter case aside, as a file system of a memory stick sees it.
    EXPECT_EQ(namer.Next("Tom", 5), "合同_Tom.doc");
    EXPECT_EQ(namer.Next("TOM", 6), "合同_TOM(2).doc");
    EXPECT_EQ(namer.renamed(), 4);
    EXPECT_EQ(namer.numbered(), 0);
}

TEST(DocumentNamer, EmptyValuesAreNamedByTheirNumber) {
    DocumentNamer namer("合同", ".pdf");
    EXPECT_EQ(namer.Next("", 7), "合同7.pdf");
    EXPECT_EQ(namer.Next("  ", 8), "合同8.pdf");
    EXPECT_EQ(namer.Next("7", 9), "合同_7.pdf");  // a value "7" is not the number 7
    EXPECT_EQ(namer.numbered(), 2);
}

TEST(DocumentNamer, LongValuesAreCutToAWholeCharacter) {
    DocumentNamer namer("合同", ".docx");
    const std::string first = namer.Next(kLong, 1);
    const std::string second = namer.Next(kLong, 2);
    for (const std::string& name : {first, second}) {
        EXPECT_LE(name.size(), kMaxFileNameBytes);
        EXPECT_GE(name.size(), kMaxFileNameBytes - 3);  // no more cut than a character needs
        EXPECT_TRUE(name.starts_with("合同_长长"));
        EXPECT_TRUE(ValidUtf8(StripExtension(name))) << name;
    }
    EXPECT_TRUE(first.ends_with("长.docx"));
    EXPECT_TRUE(second.ends_with("长(2).docx"));
    EXPECT_NE(first, second);
}

TEST(DocumentNamer, WithoutAReferenceTheValueStandsAlone) {
    DocumentNamer namer("", ".doc");
    EXPECT_EQ(namer.Next("张三", 1), "张三.doc");
    EXPECT_EQ(namer.Next("-rf", 2), "_rf.doc");  // no name that reads as an option
    EXPECT_EQ(namer.Next(".", 3), "_.doc");      // nor a hidden file, nor "."
    EXPECT_EQ(namer.Next("..", 4), "_..doc");
    EXPECT_EQ(namer.Next("", 5), "5.doc");
}

// The names planned over names.xls, whose column 名字 holds awkward values and Name the row.
class PlanTest : public testing::Test {
  protected:
    void SetUp() override {
        state_.sheetConnection =
            data::BuildConnectionString(data::ExcelWorkbook, {}, kFixtures + "/names.xls");
        request_.sheetName = "Sheet1$";
        request_.extension = ".doc";
        request_.nameColumn = "名字";
    }
    NamePlan Plan(int start, int end) {
        request_.start = start;
        request_.end = end;
        return PlanFileNames(state_, request_, "合同");
    }
    ProgramState state_;
    RunRequest request_;
};

TEST_F(PlanTest, SingleRowModeNamesEveryRow) {
    const NamePlan plan = Plan(1, 0);
    ASSERT_EQ(plan.names.size(), 15u);
    const std::vector<std::string> expected = {
        "合同_张三.doc",   "合同_李四.doc",        "合同_张三(2).doc",
        "合同4.doc",       "合同_a_b_c_d_e_f.doc", "",
        "合同7.doc",       "合同_王五.doc",        "合同_张三(3).doc",
        "合同_-rf.doc",    "合同_..doc",           "合同_Tom.doc",
        "合同_TOM(2).doc", "合同_x_txt.exe.doc",   "合同_line_break.doc"};
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (!expected[i].empty()) EXPECT_EQ(plan.names[i], expected[i]) << "row " << i + 1;
    EXPECT_TRUE(plan.names[5].starts_with("合同_长长"));
    EXPECT_LE(plan.names[5].size(), kMaxFileNameBytes);
    EXPECT_EQ(plan.numbered, 2);
    EXPECT_EQ(plan.renamed, 3);
}

TEST_F(PlanTest, MultiRowModeNamesEachDocumentAfterItsFirstRow) {
    state_.multiRowMode = true;
    state_.matchedTitles = "Name\r\nName";
    state_.templateBookmarks = "Name_1\r\nName_2";
    const NamePlan plan = Plan(1, 0);
    // Rows 1, 3, 5, ... 15 open the documents; an empty value gives the document's number.
    EXPECT_EQ(plan.names, (std::vector<std::string>{"合同_张三.doc", "合同_张三(2).doc",
                                                    "合同_a_b_c_d_e_f.doc", "合同4.doc", "合同_张三(3).doc",
                                                    "合同_..doc", "合同_TOM.doc", "合同_line_break.doc"}));
    EXPECT_EQ(DocumentFirstRows(state_, request_), (std::vector<int>{1, 3, 5, 7, 9, 11, 13, 15}));

    state_.templateBookmarks = "Name";  // no slot: the run would make nothing
    EXPECT_TRUE(Plan(1, 0).names.empty());
}

TEST_F(PlanTest, TheRangeIsBoundedAsTheRunBoundsIt) {
    EXPECT_EQ(Plan(14, 0).names, (std::vector<std::string>{"合同_x_txt.exe.doc", "合同_line_break.doc"}));
    EXPECT_EQ(Plan(-3, 2).names, (std::vector<std::string>{"合同_张三.doc", "合同_李四.doc"}));
    EXPECT_EQ(Plan(15, 99).names.size(), 1u);
    EXPECT_TRUE(Plan(16, 20).names.empty());
    EXPECT_TRUE(Plan(5, 4).names.empty());
}

TEST_F(PlanTest, AColumnTheSheetHasNotNumbersEveryFile) {
    request_.nameColumn = "没有这一列";
    EXPECT_EQ(Plan(2, 3).names, (std::vector<std::string>{"合同2.doc", "合同3.doc"}));
    state_.sheetConnection = data::BuildConnectionString(data::ExcelWorkbook, {}, kFixtures + "/missing.xls");
    EXPECT_TRUE(Plan(1, 3).names.empty());
}

TEST(NamedConfirmationText, ListsTheRealNames) {
    const std::string end = "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。";
    NamePlan plan;
    plan.names = {"合同_张三.doc", "合同_李四.doc"};
    EXPECT_EQ(NamedConfirmationText("/out/", plan),
              "　　文件将保存在“/out/”文件夹下，共 2 个文件，文件名为：合同_张三.doc、合同_李四.doc。" + end);

    plan.names.clear();
    for (int i = 1; i <= 9; ++i) plan.names.push_back("n" + IntToText(i) + ".pdf");
    plan.numbered = 1;
    plan.renamed = 2;
    EXPECT_EQ(NamedConfirmationText("/out/", plan),
              "　　文件将保存在“/out/”文件夹下，共 9 "
              "个文件，文件名为：n1.pdf、n2.pdf、n3.pdf、n4.pdf、n5.pdf……n9.pdf。"
              "其中 1 个的值为空，以序号命名。其中 2 个与前面的文件同名，加了“(2)”等编号。" +
                  end);
    plan.names.pop_back();  // eight are all shown
    EXPECT_NE(NamedConfirmationText("/out/", plan).find("n5.pdf、n6.pdf、n7.pdf、n8.pdf。"),
              std::string::npos);
}

TEST(SingleFileConfirmationText, NamesTheOneFileAndTheCount) {
    EXPECT_EQ(SingleFileConfirmationText("/out/", "全部.pdf", 26),
              "　　文件将保存在“/out/”文件夹下：26 个文档依次合并为一个PDF文件“全部.pdf”。"
              "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。");
}

}  // namespace
}  // namespace qm
