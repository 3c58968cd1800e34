// Pictures into the bookmarks of a .docx: placed inline 3 cm wide as a drawing that names a
// media part through the story's relationships, each distinct picture stored once, the package's
// content types extended; read back by python-docx.

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/command.h"
#include "tests/support/temp_folder.h"
#include "tests/word/engine/docx_test_support.h"
#include "word/engine/picture.h"

namespace qm::test {
namespace {

// A small PNG made by ImageMagick: 120 by 80 pixels at 150 dpi.
std::shared_ptr<const engine::Picture> Photo(const std::string& folder, const char* colour) {
    const std::string path = folder + "/" + colour + ".png";
    RunCommand("convert -size 120x80 xc:" + std::string(colour) + " -density 150 -units PixelsPerInch " +
               ShellQuote(path));
    return engine::ReadPicture(path).picture;
}

TEST(DocxPictures, InlinePicturesAreStoredOnceAndReadBack) {
    const TempFolder folder("docx-pictures");
    const auto red = Photo(folder.path(), "red");
    const auto blue = Photo(folder.path(), "blue");
    ASSERT_TRUE(red && blue) << "ImageMagick's convert is needed";
    const engine::OpenResult opened = engine::OpenDocxTemplate(ReadBytes(QM_PROGRAM_DIR "/模板/工作证.docx"));
    ASSERT_TRUE(opened) << opened.refusal;
    std::vector<engine::Fill> fills = {
        {"姓名_c1", "", red}, {"姓名_c2", "", red}, {"部门_c1", "", blue}, {"编号_c1", "A-17", nullptr}};
    Bytes out;
    std::string error;
    ASSERT_TRUE(opened.value->Make(fills, out, error)) << error;
    ASSERT_TRUE(engine::VerifyDocxContainer(out));

    EXPECT_EQ(EntryText(out, "word/media/qm-picture1.png"),
              std::string(red->bytes.begin(), red->bytes.end()));
    EXPECT_EQ(EntryText(out, "word/media/qm-picture2.png"),
              std::string(blue->bytes.begin(), blue->bytes.end()));
    EXPECT_EQ(EntryText(out, "word/media/qm-picture3.png"), "") << "one entry for each distinct picture";
    const std::string types = EntryText(out, "[Content_Types].xml");
    EXPECT_NE(types.find("Extension=\"png\""), std::string::npos);
    const std::string rels = EntryText(out, "word/_rels/document.xml.rels");
    EXPECT_NE(rels.find("Target=\"media/qm-picture1.png\""), std::string::npos) << rels;

    const std::string file = folder.path() + "/badge.docx";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    // python-docx sees three inline pictures, 3 cm wide and 2 cm high, with the files' bytes.
    const CommandResult read = RunCommand(
        "/usr/bin/python3 -c 'import docx, sys\n"
        "d = docx.Document(sys.argv[1])\n"
        "for s in d.inline_shapes:\n"
        "    r = s._inline.graphic.graphicData.pic.blipFill.blip.embed\n"
        "    print(s.width, s.height, len(d.part.related_parts[r].blob))\n' " +
        ShellQuote(file));
    ASSERT_EQ(read.status, 0) << read.out;
    const std::string red3 = "1080000 720000 " + std::to_string(red->bytes.size()) + "\n";
    const std::string blue1 = "1080000 720000 " + std::to_string(blue->bytes.size()) + "\n";
    EXPECT_EQ(read.out, red3 + red3 + blue1);
}

}  // namespace
}  // namespace qm::test
