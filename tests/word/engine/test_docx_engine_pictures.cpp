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

// How often `what` occurs in `text`.
std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A bookmark that holds a picture keeps its drawing: the new picture takes its place, fitted into
// its box with its own aspect ratio, and the drawing's position and wrapping stay.
TEST(DocxPictures, APictureInTheBookmarkGivesItsBoxAndWrapping) {
    const TempFolder folder("docx-pictures");
    const auto wide = Photo(folder.path(), "red");  // 120 x 80
    const std::string tallPath = folder.path() + "/tall.png";
    RunCommand("convert -size 60x120 xc:green " + ShellQuote(tallPath));
    const auto tall = engine::ReadPicture(tallPath).picture;
    ASSERT_TRUE(wide && tall) << "ImageMagick's convert is needed";
    const auto make = [](const Bytes& from, std::vector<engine::Fill> fills) {
        const engine::OpenResult opened = engine::OpenDocxTemplate(from);
        EXPECT_TRUE(opened) << opened.refusal;
        Bytes out;
        std::string error;
        if (opened) {
            EXPECT_TRUE(opened.value->Make(fills, out, error)) << error;
        }
        return out;
    };
    // A template whose bookmark holds a 3 x 2 cm inline picture: one the engine placed.
    const Bytes inlineTemplate = make(ReadBytes(QM_PROGRAM_DIR "/模板/工作证.docx"), {{"姓名_c1", "", wide}});
    const std::string before = EntryText(inlineTemplate, "word/document.xml");
    ASSERT_EQ(Count(before, "<wp:extent cx=\"1080000\" cy=\"720000\"/>"), 1u) << before;

    // The same picture anchored beside the text, with square wrapping.
    const std::string inlinePath = folder.path() + "/inline.docx",
                      anchoredPath = folder.path() + "/anchored.docx";
    std::ofstream(inlinePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(inlineTemplate.data()),
               static_cast<std::streamsize>(inlineTemplate.size()));
    const CommandResult anchored = RunCommand(
        "/usr/bin/python3 -c 'import sys, zipfile\n"
        "src = zipfile.ZipFile(sys.argv[1]); dst = zipfile.ZipFile(sys.argv[2], \"w\")\n"
        "for e in src.infolist():\n"
        "    data = src.read(e)\n"
        "    if e.filename == \"word/document.xml\":\n"
        "        x = data.decode()\n"
        "        x = x.replace(\"<wp:inline \", \"<wp:anchor behindDoc=\\\"0\\\" locked=\\\"0\\\" "
        "layoutInCell=\\\"1\\\" allowOverlap=\\\"1\\\" relativeHeight=\\\"2\\\" simplePos=\\\"0\\\" \")\n"
        "        x = x.replace(\"<wp:extent \", \"<wp:simplePos x=\\\"0\\\" y=\\\"0\\\"/><wp:positionH "
        "relativeFrom=\\\"column\\\"><wp:posOffset>123456</wp:posOffset></wp:positionH><wp:positionV "
        "relativeFrom=\\\"paragraph\\\"><wp:posOffset>0</wp:posOffset></wp:positionV><wp:extent \")\n"
        "        x = x.replace(\"<wp:docPr \", \"<wp:wrapSquare wrapText=\\\"bothSides\\\"/><wp:docPr \")\n"
        "        data = x.replace(\"</wp:inline>\", \"</wp:anchor>\").encode()\n"
        "    dst.writestr(e, data)\n"
        "dst.close()\n' " +
        ShellQuote(inlinePath) + " " + ShellQuote(anchoredPath));
    ASSERT_EQ(anchored.status, 0) << anchored.err;

    for (const std::string& path : {inlinePath, anchoredPath}) {
        SCOPED_TRACE(path);
        const Bytes made = make(ReadBytes(path), {{"姓名_c1", "", tall}, {"部门_c1", "研发部"}});
        const std::string xml = EntryText(made, "word/document.xml");
        EXPECT_EQ(Count(xml, "<wp:docPr "), 1u) << "the drawing is reused, not added";
        // 60 x 120 pixels inside 3 x 2 cm: 1 cm wide, 2 cm high, in the drawing and the picture.
        EXPECT_EQ(Count(xml, "<wp:extent cx=\"360000\" cy=\"720000\"/>"), 1u) << xml;
        EXPECT_EQ(Count(xml, "<a:ext cx=\"360000\" cy=\"720000\"/>"), 1u);
        if (path == anchoredPath) {
            EXPECT_EQ(Count(xml, "<wp:wrapSquare wrapText=\"bothSides\"/>"), 1u);
            EXPECT_EQ(Count(xml, "<wp:posOffset>123456</wp:posOffset>"), 1u);
        }
        EXPECT_NE(xml.find("研发部"), std::string::npos);
        // The blip names the new picture's bytes.
        const std::size_t embed = xml.find("r:embed=\"");
        ASSERT_NE(embed, std::string::npos);
        const std::string id = xml.substr(embed + 9, xml.find('"', embed + 9) - embed - 9);
        const std::string rels = EntryText(made, "word/_rels/document.xml.rels");
        const std::size_t rel = rels.find("Id=\"" + id + "\"");
        ASSERT_NE(rel, std::string::npos) << id << rels;
        const std::size_t target = rels.find("Target=\"", rel) + 8;
        const std::string media = "word/" + rels.substr(target, rels.find('"', target) - target);
        EXPECT_EQ(EntryText(made, media), std::string(tall->bytes.begin(), tall->bytes.end())) << media;
    }
}

}  // namespace
}  // namespace qm::test
