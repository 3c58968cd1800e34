// File names from a column: what a value becomes in a name, names never given twice in a run,
// and the names planned for a range of a workbook of awkward values.

#include <gtest/gtest.h>

#include "common/text.h"
#include "data/connection.h"
#include "merge/merge_run.h"
#include "merge/output_names.h"
#include "merge/program_state.h"

namespace qm {
namespace {

TEST(FileNamePart, ReplacesWhatANameCannotHold) {
    const std::pair<std::string, std::string> cases[] = {
        {"张三", "张三"},
        {"a/b\\c:d*e?f<g>|\"", "a_b_c_d_e_f_g___"},
        {std::string("a\0b", 3), "a_b"},
        {"line\nbreak", "line_break"},
        {"x\u202etxt.exe", "x_txt.exe"},  // would show as "xexe.txt"
        {"  王五\u3000", "王五"},         // blanks at the ends, full-width too
        {"   ", ""},
        {"\xff"
         "ab\xe5\xbc",
         "_ab__"},                          // not UTF-8; a character cut short
        {"\xc0\xaf\xed\xa0\x80", "_____"},  // "/" written the long way; a lone surrogate
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
    };
    for (const auto& [value, part] : cases) EXPECT_EQ(FileNamePart(value), part) << value;
}

TEST(DocumentNamer, NoNameIsGivenTwiceInARun) {
    DocumentNamer namer("合同", ".doc");
    EXPECT_EQ(namer.Next("张三", 1), "合同_张三.doc");
    EXPECT_EQ(namer.Next("张三", 2), "合同_张三(2).doc");
    EXPECT_EQ(namer.Next("张三(2)", 3), "合同_张三(2)(2).doc");  // its own name was given already
    EXPECT_EQ(namer.Next("Tom", 4), "合同_Tom.doc");
    EXPECT_EQ(namer.Next("TOM", 5), "合同_TOM(2).doc");  // as a memory stick's file system sees it
    EXPECT_EQ(namer.Next(" ", 6), "合同6.doc");
    EXPECT_EQ(namer.Next("6", 7), "合同_6.doc");
    EXPECT_EQ(namer.renamed(), 3);
    EXPECT_EQ(namer.numbered(), 1);

    DocumentNamer bare("", ".doc");  // the value alone, never read as an option or hidden
    EXPECT_EQ(bare.Next("-rf", 1), "_rf.doc");
    EXPECT_EQ(bare.Next("..", 2), "_..doc");
}

TEST(DocumentNamer, LongValuesAreCutToAWholeCharacter) {
    std::string value;
    for (int i = 0; i < 300; ++i) value += "长";
    DocumentNamer namer("合同", ".docx");
    for (const std::string& name : {namer.Next(value, 1), namer.Next(value, 2)}) {
        EXPECT_LE(name.size(), kMaxFileNameBytes);
        EXPECT_GE(name.size(), kMaxFileNameBytes - 2);
        EXPECT_EQ(FileNamePart(name), name);  // still whole characters
    }
    EXPECT_EQ(CutUtf8("ab长", 4), "ab");
}

TEST(NamedConfirmationText, ListsTheRealNames) {
    NamePlan plan;
    for (int i = 1; i <= 9; ++i) plan.names.push_back("n" + IntToText(i) + ".pdf");
    plan.numbered = 1;
    plan.renamed = 2;
    EXPECT_EQ(NamedConfirmationText("/out/", plan),
              "　　文件将保存在“/out/”文件夹下，共 9 "
              "个文件，文件名为：n1.pdf、n2.pdf、n3.pdf、n4.pdf、n5.pdf……n9.pdf。"
              "其中 1 个的值为空，以序号命名。其中 2 个与前面的文件同名，加了“(2)”等编号。"
              "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。");
    plan.names.pop_back();  // up to eight are all shown
    EXPECT_NE(NamedConfirmationText("/out/", plan).find("n5.pdf、n6.pdf、n7.pdf、n8.pdf。"),
              std::string::npos);
}

// Numbers that follow each other are shown by their first two and last names; a single name
// stands alone, without the closing "。".
TEST(NumberedConfirmationText, ConsecutiveNamesByTheirCount) {
    const std::string head = "　　文件将保存在“/d/”文件夹下，文件名命名为：";
    const std::string tail = "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。";
    const auto names = [](int first, int last, const char* extension = ".doc") {
        std::vector<std::string> list;
        for (int n = first; n <= last; ++n) list.push_back("C" + IntToText(n) + extension);
        return list;
    };
    EXPECT_EQ(NumberedConfirmationText("/d/", names(5, 5), true), head + "C5.doc" + tail);
    EXPECT_EQ(NumberedConfirmationText("/d/", names(5, 6), true), head + "C5.doc、C6.doc。" + tail);
    EXPECT_EQ(NumberedConfirmationText("/d/", names(5, 7), true), head + "C5.doc、C6.doc、C7.doc。" + tail);
    EXPECT_EQ(NumberedConfirmationText("/d/", names(5, 9), true), head + "C5.doc、C6.doc……C9.doc。" + tail);
    EXPECT_EQ(NumberedConfirmationText("/d/", names(1, 2, ".pdf"), true), head + "C1.pdf、C2.pdf。" + tail);
}

// Rows a filter chose keep their sheet numbers: every name up to eight, with the count, so that
// no gap hides behind "……".
TEST(NumberedConfirmationText, NumbersWithGapsAreListedWithTheirCount) {
    const std::vector<std::string> names = {"C1.doc", "C3.doc", "C6.doc"};
    EXPECT_EQ(NumberedConfirmationText("/d/", names, false),
              "　　文件将保存在“/d/”文件夹下，共 3 个文件，文件名为：C1.doc、C3.doc、C6.doc。"
              "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。");
}

}  // namespace
}  // namespace qm
