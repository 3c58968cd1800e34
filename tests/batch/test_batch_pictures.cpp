// quillmerge-batch with a picture column: photos named by a column go into the sample badge's
// bookmark, and every file that cannot be placed is named once with its rows while the documents
// are still made. The engine makes the .docx files, so no office is needed.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/batch/batch_runner.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// For each .docx given: "<pictures> <bytes of each>|<whether the placeholder text is there>".
std::string Pictures(const std::vector<std::string>& files) {
    std::string args;
    for (const std::string& f : files) args += " " + test::ShellQuote(f);
    const test::CommandResult r = test::RunCommand(
        "/usr/bin/python3 -c 'import docx, sys\n"
        "for f in sys.argv[1:]:\n"
        "    d = docx.Document(f)\n"
        "    sizes = []\n"
        "    for s in d.inline_shapes:\n"
        "        r = s._inline.graphic.graphicData.pic.blipFill.blip.embed\n"
        "        sizes.append(str(len(d.part.related_parts[r].blob)))\n"
        "    text = \"\".join(c.text for t in d.tables for row in t.rows for c in row.cells)\n"
        "    print(len(sizes), \" \".join(sizes) + \"|\" + str(\"一寸免冠\" in text))\n' " +
        args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

TEST(BatchPictures, PhotosFromAColumnAndEveryBadFileNamedOnce) {
    const test::TempFolder folder("batch-pictures");
    const std::string book = folder.path() + "/book/";
    fs::create_directories(book + "photos/dir");
    const std::string other = folder.path() + "/elsewhere.png";  // outside the workbook's folder
    ASSERT_EQ(test::RunCommand("convert -size 90x120 xc:teal " + test::ShellQuote(book + "photos/ok.png") +
                               " && convert -size 60x40 xc:gold " + test::ShellQuote(other))
                  .status,
              0);
    const std::size_t okSize = fs::file_size(book + "photos/ok.png");
    const std::size_t otherSize = fs::file_size(other);
    std::ofstream(book + "notes.txt") << "not a picture";
    std::ofstream(book + "bad.png", std::ios::binary) << std::string("\x89PNG\r\n\x1a\n", 8) << "broken";
    ASSERT_EQ(mkfifo((book + "fifo.png").c_str(), 0600), 0);  // opened, it would wait for a writer
    std::ofstream(book + "big.png").close();
    fs::resize_file(fs::path(book + "big.png"), 21u << 20);
    const auto otherMtime = fs::last_write_time(other);
    std::ofstream(book + "cards.csv") << "编号,姓名,部门,照片\n"
                                      << "1,甲,一部,photos/ok.png\n"
                                      << "2,乙,一部,photos/none.png\n"
                                      << "3,丙,一部,photos/dir\n"
                                      << "4,丁,二部,notes.txt\n"
                                      << "5,戊,二部,bad.png\n"
                                      << "6,己,二部,fifo.png\n"
                                      << "7,庚,三部,big.png\n"
                                      << "8,辛,三部," << other << "\n"
                                      << "9,壬,三部,\n"
                                      << "10,癸,三部, photos/none.png \n"
                                      << "11,子,三部,photos/ok.png\n";

    const std::string out = folder.path() + "/out";
    const test::CommandResult r =
        test::RunBatch({"--workbook", book + "cards.csv", "--sheet", "cards", "--template",
                        std::string(QM_PROGRAM_DIR) + "/模板/工作证.docx", "--repeat", "--picture-column",
                        "照片", "--save", out, "--name", "证", "--no-office"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string tail = "; its bookmarks are left as in the template\n";
    EXPECT_EQ(
        r.err,
        "quillmerge-batch: picture photos/none.png not placed (rows 2, 10): the picture file does not exist" +
            tail +
            "quillmerge-batch: picture photos/dir not placed (rows 3): the picture path is not a regular "
            "file" +
            tail + "quillmerge-batch: picture notes.txt not placed (rows 4): not a JPEG or PNG file" + tail +
            "quillmerge-batch: picture bad.png not placed (rows 5): the picture is damaged or its size "
            "cannot be read" +
            tail +
            "quillmerge-batch: picture fifo.png not placed (rows 6): the picture path is not a regular file" +
            tail +
            "quillmerge-batch: picture big.png not placed (rows 7): the picture file is larger than 20 MB" +
            tail);

    std::vector<std::string> files;
    for (int n = 1; n <= 11; ++n) files.push_back(out + "/证" + std::to_string(n) + ".docx");
    const std::string ok = std::to_string(okSize);
    EXPECT_EQ(Pictures(files),
              "1 " + ok + "|False\n" + "0 |True\n0 |True\n0 |True\n0 |True\n0 |True\n0 |True\n1 " +
                  std::to_string(otherSize) + "|False\n0 |True\n0 |True\n1 " + ok + "|False\n");
    // The picture outside the workbook's folder was only read.
    EXPECT_EQ(fs::last_write_time(other), otherMtime);
}

// An unknown picture column is refused before anything is made.
TEST(BatchPictures, UnknownPictureColumnIsRefused) {
    const test::TempFolder folder("batch-pictures");
    const test::CommandResult r = test::RunBatch(
        {"--workbook", std::string(QM_PROGRAM_DIR) + "/数据/员工信息.xls", "--sheet", "员工", "--template",
         std::string(QM_PROGRAM_DIR) + "/模板/工作证.docx", "--repeat", "--picture-column", "相片", "--save",
         folder.path() + "/out", "--name", "证", "--no-office"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quillmerge-batch: sheet 员工 has no column 相片 for --picture-column\n");
    EXPECT_FALSE(fs::exists(folder.path() + "/out"));
}

}  // namespace
// A picture name as a cell holds it, line breaks and terminal controls included, is written as
// --list-sheets writes names: one line, nothing that reaches the terminal as a command.
TEST(BatchPictures, NamesAreWrittenEscaped) {
    const test::TempFolder folder("batch-picture-names");
    std::ofstream(folder.path() + "/cards.csv") << "编号,姓名,部门,照片\n"
                                                << "1,甲,一部,\"two\nlines.png\"\n"
                                                << "2,乙,一部,bell\a\x1b[2J.png\n";
    const test::CommandResult r =
        test::RunBatch({"--workbook", folder.path() + "/cards.csv", "--sheet", "cards", "--template",
                        std::string(QM_PROGRAM_DIR) + "/模板/工作证.docx", "--repeat", "--picture-column",
                        "照片", "--save", folder.path() + "/out", "--name", "证", "--no-office"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string tail = ": the picture file does not exist; its bookmarks are left as in the template\n";
    EXPECT_EQ(r.err, "quillmerge-batch: picture two\\nlines.png not placed (rows 1)" + tail +
                         "quillmerge-batch: picture bell\\x07\\x1b[2J.png not placed (rows 2)" + tail);
}

}  // namespace qm
