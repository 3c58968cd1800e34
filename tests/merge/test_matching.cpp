// Matching, slot counting and the request helpers: pure functions over texts.

#include <gtest/gtest.h>

#include "merge/matching.h"
#include "merge/program_state.h"
#include "merge/request.h"

namespace qm {
namespace {

TEST(MatchTitles, EveryMatchingBookmarkAppendsTheTitleOnce) {
    EXPECT_EQ(MatchTitleLists("Name\r\nAge", "Name_1\r\nName_2\r\nAge_1"), "Name\r\nName\r\nAge");
    // The order is the titles' order, not the bookmarks'.
    EXPECT_EQ(MatchTitleLists("Age\r\nName", "Name\r\nAge"), "Age\r\nName");
}

TEST(MatchTitles, PrefixTestOnlyAndCaseSensitive) {
    EXPECT_EQ(MatchTitleLists("Name", "NameList"), "Name");
    EXPECT_EQ(MatchTitleLists("name", "Name"), "");
    EXPECT_EQ(MatchTitleLists("Name ", "Name"), "");  // a longer title never matches
    EXPECT_EQ(MatchTitleLists("姓名", "姓名_c1\r\n部门"), "姓名");
}

TEST(MatchTitles, EmptyInputsGiveNothing) {
    EXPECT_EQ(MatchTitleLists("Name\r\nAge", ""), "");
    EXPECT_EQ(MatchTitleLists("", "Name"), "");
    ProgramState state;
    state.columnTitles = {"Name", "Age"};
    state.templateBookmarks = {"Age"};
    state.matchedTitles = {"stale"};
    MatchTitles(state);
    EXPECT_EQ(state.matchedTitles, std::vector<std::string>{"Age"});
    state.templateBookmarks.clear();
    MatchTitles(state);
    EXPECT_TRUE(state.matchedTitles.empty());
}

TEST(MatchTitles, ListsSplitKeepingInnerEmptyParts) {
    // "A, CR LF, CR LF, B" is three titles, the middle one empty. An empty title is a prefix of
    // every bookmark name, but appending it to an empty list leaves the list empty.
    EXPECT_EQ(MatchTitleLists("A\r\n\r\nB", "B"), "B");
    EXPECT_EQ(MatchTitleLists("B\r\n\r\nA", "B"), "B\r\n");
    EXPECT_EQ(MatchTitleLists("A\r\n", "A"), "A");
}

TEST(SlotsPerDocument, CountsConsecutiveSlotsOfAnyMatchedTitle) {
    EXPECT_EQ(SlotsPerDocument("Name\r\nAge", "Name_1\r\nAge_1\r\nName_2\r\nAge_2", false), 2);
    // Slot 3 exists through Name_3 alone; slot 5 does not count without slot 4.
    EXPECT_EQ(SlotsPerDocument("Name\r\nAge", "Name_1\r\nAge_2\r\nName_3\r\nName_5", false), 3);
    EXPECT_EQ(SlotsPerDocument("Name", "Name\r\nName_c1", false), 0);
    EXPECT_EQ(SlotsPerDocument("Name", "Name_1_c1\r\nName_1_c2\r\nName_2_c1", true), 2);
    EXPECT_EQ(SlotsPerDocument("Name", "Name_1\r\nName_2", true), 0);  // repeat mode needs _c1
    EXPECT_EQ(SlotsPerDocument("Name", "Other_1", false), 0);
    EXPECT_EQ(SlotsPerDocument("", "", false), 0);
}

TEST(AnyBookmarkFillable, NeedsTheExactNameOfTheMode) {
    EXPECT_FALSE(AnyBookmarkFillable("Name", "NameList", false, false));
    EXPECT_TRUE(AnyBookmarkFillable("Name\r\nName", "NameList\r\nName", false, false));
    EXPECT_FALSE(AnyBookmarkFillable("Name", "Name", false, true));
    EXPECT_TRUE(AnyBookmarkFillable("Name", "Name_c1", false, true));
    EXPECT_FALSE(AnyBookmarkFillable("Name", "Name", true, false));
    EXPECT_TRUE(AnyBookmarkFillable("Name", "Name_1", true, false));
    EXPECT_TRUE(AnyBookmarkFillable("Name", "Name_1_c1", true, true));
}

TEST(MultiRowDocumentCount, CutsTheRangeAtTheLastRecord) {
    EXPECT_EQ(MultiRowDocumentCount(1, 4, 10, 2), 2);
    EXPECT_EQ(MultiRowDocumentCount(1, 3, 10, 2), 2);
    EXPECT_EQ(MultiRowDocumentCount(9, 20, 10, 2), 1);
    EXPECT_EQ(MultiRowDocumentCount(0, 0, 10, 3), 4);  // every row
    EXPECT_EQ(MultiRowDocumentCount(5, 5, 10, 1), 1);
    EXPECT_EQ(MultiRowDocumentCount(11, 20, 10, 2), 0);
    EXPECT_EQ(MultiRowDocumentCount(5, 3, 10, 2), 0);
    EXPECT_EQ(MultiRowDocumentCount(1, 4, 10, 0), 0);
}

TEST(ReadRowRange, RowModeKeepsTheTextsAsTyped) {
    EXPECT_EQ(ReadRowRange(0, "05", "9", 20), "05 9");
    EXPECT_EQ(ReadRowRange(0, "", "5", 20), " 5");
    EXPECT_EQ(ReadRowRange(2, "1", "2", 20), "");
    EXPECT_EQ(ReadRowRange(-1, "1", "2", 20), "");
}

TEST(ReadRowRange, PageModeComputesRecordNumbers) {
    EXPECT_EQ(ReadRowRange(1, "2", "3", 20), "21 60");
    EXPECT_EQ(ReadRowRange(1, "1", "1", 10), "1 10");
    EXPECT_EQ(ReadRowRange(1, "x", "", 10), "-9 0");  // non-numbers count as 0
}

TEST(SplitRowRange, ExactlyTwoParts) {
    std::string a, b;
    ASSERT_TRUE(SplitRowRange(" 5", a, b));  // an empty start box
    EXPECT_EQ(a, "");
    EXPECT_EQ(b, "5");
    EXPECT_FALSE(SplitRowRange("1 ", a, b));     // an empty end box: the empty last part is dropped
    EXPECT_FALSE(SplitRowRange("1 2 3", a, b));  // a blank inside a box
    EXPECT_FALSE(SplitRowRange("", a, b));
    ASSERT_TRUE(SplitRowRange(ReadRowRange(1, "2", "3", 20), a, b));
    EXPECT_EQ(a, "21");
    EXPECT_EQ(b, "60");
}

TEST(ProposedOutputFolder, NamedAfterTheTemplate) {
    EXPECT_EQ(ProposedOutputFolder("/opt/qm", "Notice.doc"), "/opt/qm/用户文档/Notice/");
    EXPECT_EQ(ProposedOutputFolder("/opt/qm", "劳动.合同.doc"), "/opt/qm/用户文档/劳动.合同/");
}

TEST(FolderToRemember, ParentOfAFolderNamedAfterTheTemplateElseTheFolder) {
    EXPECT_EQ(FolderToRemember("/home/u/合同/劳动合同/", "劳动合同"), "/home/u/合同/");
    EXPECT_EQ(FolderToRemember("/home/u/合同/劳动合同//", "劳动合同"), "/home/u/合同/");
    EXPECT_EQ(FolderToRemember("/home/u/合同/", "劳动合同"), "/home/u/合同/");
    EXPECT_EQ(FolderToRemember("/home/u/劳动合同2/", "劳动合同"), "/home/u/劳动合同2/");
    EXPECT_EQ(FolderToRemember("/劳动合同/", "劳动合同"), "/");
    EXPECT_EQ(FolderToRemember("/", "劳动合同"), "/");
}

}  // namespace
}  // namespace qm
