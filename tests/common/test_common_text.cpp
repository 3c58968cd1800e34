#include <gtest/gtest.h>

#include "common/text.h"

namespace qm {
namespace {

using Items = std::vector<std::string>;

TEST(SplitList, KeepsEmptyInnerPartsAndDropsEmptyTail) {
    EXPECT_EQ(SplitList("A\r\n\r\nB"), (Items{"A", "", "B"}));
    EXPECT_EQ(SplitList("A\r\n"), (Items{"A"}));
    EXPECT_EQ(SplitList(""), Items{});
    EXPECT_EQ(SplitList("\r\n"), (Items{""}));
    EXPECT_EQ(SplitList("A\nB"), (Items{"A\nB"}));  // only CR LF separates
}

TEST(SplitText, BlankSeparatedRange) {
    EXPECT_EQ(SplitText(" 5", " "), (Items{"", "5"}));
    EXPECT_EQ(SplitText("1 ", " "), (Items{"1"}));
    EXPECT_EQ(SplitText("1 2 3", " "), (Items{"1", "2", "3"}));
}

TEST(JoinList, RoundTripsWithAppend) {
    std::string list;
    AppendToList(list, "姓名");
    AppendToList(list, "");
    AppendToList(list, "Age");
    EXPECT_EQ(list, "姓名\r\n\r\nAge");
    EXPECT_EQ(JoinList(SplitList(list)), list);
    EXPECT_EQ(JoinList({}), "");
}

TEST(TextToNumber, TakesTheLeadingNumericPart) {
    EXPECT_EQ(TextToNumber("05"), 5);
    EXPECT_EQ(TextToNumber("12ab"), 12);
    EXPECT_EQ(TextToNumber("x12"), 0);
    EXPECT_EQ(TextToNumber(""), 0);
    EXPECT_EQ(TextToNumber("-3.75"), -3.75);
    EXPECT_EQ(TextToNumber(" 2e3x"), 2000);
    EXPECT_EQ(TextToNumber("2e"), 2);
    EXPECT_EQ(TextToNumber("."), 0);
    EXPECT_EQ(TextToInt("-3.75"), -3);
    EXPECT_EQ(TextToInt("99999999999"), 2147483647);
}

TEST(Paths, FolderNameAndExtension) {
    EXPECT_EQ(FolderOfPath("/a/b/c.doc"), "/a/b/");
    EXPECT_EQ(FolderOfPath("c.doc"), "c.doc");
    EXPECT_EQ(NameOfPath("/a/b/c.doc"), "c.doc");
    EXPECT_EQ(NameOfPath("/a/b/"), "");
    EXPECT_EQ(StripExtension("合同.v2.doc"), "合同.v2");
    EXPECT_EQ(StripExtension("Contract"), "Contract");
    EXPECT_EQ(BaseNameOfPath("/x/通知.doc"), "通知");
    EXPECT_EQ(BaseNameOfPath("/x.d/Contract"), "Contract");
}

TEST(ReplaceAll, ReplacesEveryOccurrence) {
    EXPECT_EQ(ReplaceAll("A\r\nB\r\nC", "\r\n", ","), "A,B,C");
    EXPECT_EQ(ReplaceAll("a//b///c", "//", "/"), "a/b//c");
}

}  // namespace
}  // namespace qm
