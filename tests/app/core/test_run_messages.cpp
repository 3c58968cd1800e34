// The closing messages of runs whose pictures could not all be placed: each file once, with its
// rows, after the bookmarks left as in the template; a save run still offers its folder. And the
// note of PDFs the office converted one at a time.
#include <gtest/gtest.h>

#include <cerrno>

#include "app/core/run_messages.h"

namespace qm {
namespace {

RunOutcome MadeWithPicturesLeft(bool print) {
    RunOutcome o;
    o.started = true;
    o.print = print;
    o.firstRow = 1;
    o.lastRow = 4;
    o.documentsMade = 4;
    o.bookmarksLeft = {{"City", "本程序无法填写", "overlaps", {2}}};
    o.picturesLeft = {{"照片/003.png", "文件不存在", "the picture file does not exist", {3}},
                      {"坏.png", "图片已损坏", "damaged", {1, 2, 4}}};
    return o;
}

TEST(RunMessages, PicturesNotPlacedAreNamedOnceWithTheirRows) {
    const std::string left =
        "书签“City”保持模板原样（行 2）：本程序无法填写。\r\n"
        "图片“照片/003.png”没有放入（文件不存在），书签保持模板原样（行 3）。\r\n"
        "图片“坏.png”没有放入（图片已损坏），书签保持模板原样（行 1-2、4）。\r\n";
    const std::vector<ClosingMessage> saved = ClosingMessages(MadeWithPicturesLeft(false));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].text, "完成！已生成 4 个文档。\r\n" + left + "是否打开存放文档所在文件夹？");
    EXPECT_TRUE(saved[0].asksToOpenFolder);
    EXPECT_EQ(saved[0].icon, MessageIcon::Warning);

    const std::vector<ClosingMessage> printed = ClosingMessages(MadeWithPicturesLeft(true));
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_TRUE(printed[0].text.ends_with("书签保持模板原样（行 1-2、4）。")) << printed[0].text;
    EXPECT_FALSE(printed[0].asksToOpenFolder);
}

TEST(RunMessages, PdfsConvertedOneAtATimeAreNotedWithWhyInTheWindowsWords) {
    RunOutcome o;
    o.started = true;
    o.firstRow = 1;
    o.lastRow = 2;
    o.documentsMade = 2;
    const std::pair<const char*, const char*> cases[] = {
        {"footnotes would number on from one document to the next", "模板有脚注"},
        {"a field ( NUMPAGES ) counts over the whole document in a header or footer",
         "模板有按整篇文档计算的域，如总页数"},
        {"the PDF does not show where each document starts", "无法分辨各文档的起始页"},
        {"the document does not end with a paragraph", "模板的结构"},
    };
    for (const auto& [reason, why] : cases) {
        o.convertedSeparately = reason;
        const std::vector<ClosingMessage> m = ClosingMessages(o);
        ASSERT_EQ(m.size(), 1u);
        EXPECT_EQ(m[0].text, std::string("完成！已生成 2 个文档。\r\nPDF文件逐份转换（") + why +
                                 "），速度较慢，内容不受影响。\r\n是否打开存放文档所在文件夹？");
        EXPECT_TRUE(m[0].asksToOpenFolder);
    }
}

// What the user should know of bookmarks that were filled comes after the bookmarks left as in
// the template, each named once with its rows, or its documents in multi-row mode; a run that
// failed says it too.
TEST(RunMessages, BookmarkNotesAreNamedOnceWithTheirRowsOrDocuments) {
    RunOutcome o = MadeWithPicturesLeft(false);
    o.picturesLeft.clear();
    o.bookmarkNotes = {{"金额", engine::Note::Cause::Overlap, "总计", 0, {3, 5, 6, 7, 8, 9}},
                       {"编号", engine::Note::Cause::TooLong, {}, 6, {1}}};
    const std::string notes =
        "书签“金额”与书签“总计”重叠：先填入“总计”，“金额”只填入其余部分（行 3、5-9）。\r\n"
        "书签“编号”是最多 6 个字符的文字型窗体域，值超出仍完整写入（行 1）。\r\n";
    const std::vector<ClosingMessage> saved = ClosingMessages(o);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].text,
              "完成！已生成 4 个文档。\r\n书签“City”保持模板原样（行 2）：本程序无法填写。\r\n" + notes +
                  "是否打开存放文档所在文件夹？");
    EXPECT_EQ(saved[0].icon, MessageIcon::Warning);

    o.multiRowMode = true;
    o.bookmarksLeft.clear();
    EXPECT_EQ(
        ClosingMessages(o)[0].text,
        "完成！已生成 4 个文档。\r\n书签“金额”与书签“总计”重叠：先填入“总计”，“金额”只填入其余部分（文档 "
        "3、5-9）。\r\n"
        "书签“编号”是最多 6 个字符的文字型窗体域，值超出仍完整写入（文档 1）。\r\n"
        "是否打开存放文档所在文件夹？");

    o.multiRowMode = false;
    o.failedNumbers = {4};
    o.failures = {{4, FailureKind::DiskFull, {}}};
    o.diskFull = true;
    const std::string failed = ClosingMessages(o)[0].text;
    EXPECT_NE(failed.find("磁盘已满"), std::string::npos) << failed;
    EXPECT_TRUE(failed.ends_with("\r\n" + notes + "是否打开存放文档所在文件夹？")) << failed;
}

// Faults of the office and the temporary folder, each told in the user's words: an office
// restarted (in the progress and the closing message), a value or document too large for it,
// a temporary folder that cannot be written (in the document's cause and for the run).
TEST(RunMessages, OfficeRestartsTooLargeValuesAndTemporaryFoldersAreToldInTheWindowsWords) {
    RunProgress p;
    p.done = 40;
    p.total = 300;
    p.fileName = "证40.pdf";
    EXPECT_EQ(ProgressText(p, 0, false), "已生成 40/300：证40.pdf");
    p.officeRestarts = 1;
    p.lastRestart = {2, word::OfficeEnd::NoAnswer};
    EXPECT_EQ(ProgressText(p, 0, false), "已生成 40/300：证40.pdf（第 2 个Word程序没有响应，已重新启动）");

    RunOutcome o;
    o.started = true;
    o.firstRow = 1;
    o.lastRow = 300;
    o.documentsMade = 297;
    o.officeRestarts = {
        {2, word::OfficeEnd::NoAnswer}, {1, word::OfficeEnd::Stopped}, {2, word::OfficeEnd::NoAnswer}};
    o.failedNumbers = {5, 9, 12};
    o.failures = {{5, FailureKind::TooLargeForOffice, "备注", 0, 1.5},
                  {9, FailureKind::TooLargeForOffice, "", 0, 900},
                  {12, FailureKind::OfficeNoAnswer, "the office did not answer in time", 0, 0}};
    std::vector<ClosingMessage> messages = ClosingMessages(o);
    ASSERT_EQ(messages.size(), 1u);
    const std::string& text = messages[0].text;
    EXPECT_NE(text.find("“备注”的值太大（1.5 MB），Word程序无法转换（编号 5）"), std::string::npos) << text;
    EXPECT_NE(text.find("文档太大，超出Word程序可用的内存（900 MB）（编号 9）"), std::string::npos) << text;
    EXPECT_NE(text.find("Word程序长时间没有响应，已被结束（编号 12）"), std::string::npos) << text;
    EXPECT_NE(text.find("运行中Word程序重新启动了 3 次（没有响应 2 次，意外停止 1 次）"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("the office"), std::string::npos) << text;

    // Restarts alone still make the run's message say so.
    o.failedNumbers.clear();
    o.failures.clear();
    o.documentsMade = 300;
    messages = ClosingMessages(o);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.find("运行中Word程序重新启动了 3 次"), std::string::npos) << messages[0].text;

    // The temporary folder, full or not writable, by its name: never "the disk is full".
    RunOutcome t;
    t.started = true;
    t.firstRow = 1;
    t.lastRow = 3;
    t.temporaryFolder = "/var/tmp/x";
    for (const auto& [code, words] :
         {std::pair{ENOSPC, "已满"}, std::pair{EROFS, "不能写入"}, std::pair{ENOENT, "不存在"}}) {
        t.temporaryError = code;
        messages = ClosingMessages(t);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, std::string("没有生成任何文档：临时文件夹“/var/tmp/x”") + words +
                                        "，Word程序无法转换文档。");
    }
    t.documentsMade = 1;
    t.rowsMade = {1};
    t.temporaryError = ENOSPC;
    t.failedNumbers = {2};
    t.failures = {{2, FailureKind::TemporaryFolder, "/var/tmp/x", ENOSPC, 0}};
    messages = ClosingMessages(t);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.find("临时文件夹“/var/tmp/x”已满，其后的文档没有生成。没有文档的行：2-3。"),
              std::string::npos)
        << messages[0].text;
    EXPECT_EQ(messages[0].text.find("磁盘已满"), std::string::npos) << messages[0].text;
}

}  // namespace
}  // namespace qm
