// Pictures the engine put into bookmarks, read back by the binary format's second reader
// (their bytes and scaled size) and by the office, in .doc and .docx (a graphic in the
// bookmark, 3 cm wide or fitted in the box it replaces, and one image in its PDF for each).

#include <algorithm>
#include <map>
#include <sstream>

#include "doc_engine_support.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace qm::engine::test {
namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char buffer[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02x", b);
        out += buffer;
    }
    return out;
}

// Lines of one reader's output, by the file they follow ("FILE <path>").
std::map<std::string, std::vector<std::string>> ByFile(const std::string& output) {
    std::map<std::string, std::vector<std::string>> out;
    std::istringstream lines(output);
    std::string line, file;
    while (std::getline(lines, line)) {
        if (line.rfind("FILE ", 0) == 0)
            file = line.substr(5);
        else
            out[file].push_back(line);
    }
    return out;
}

struct PicturesRead : ::testing::Test {
    void SetUp() override {
        red = MakePicture(folder.path(), "red.png", "120x80", 150);
        tall = MakePicture(folder.path(), "blue.jpg", "90x120", 72);
        if (!red || !tall) GTEST_SKIP() << "ImageMagick's convert is needed";
        OpenResult badge = OpenTemplateFile((fs::path(QM_PROGRAM_DIR) / "模板" / "工作证.doc").string());
        ASSERT_TRUE(badge) << badge.refusal;
        // A PNG and a JPEG placed inline; then the PNG's picture replaced by the tall JPEG.
        Bytes made;
        std::string error;
        const std::vector<Fill> first = {
            {"姓名_c1", "", red}, {"部门_c1", "", tall}, {"编号_c1", "A-17", nullptr}};
        ASSERT_TRUE(badge.value->Make(first, made, error)) << error;
        WriteBytes(folder / "inline.doc", made);
        const OpenResult again = OpenTemplate(made);
        ASSERT_TRUE(again) << again.refusal;
        Bytes replaced;
        const std::vector<Fill> second = {{"姓名_c1", "", tall}};
        ASSERT_TRUE(again.value->Make(second, replaced, error)) << error;
        WriteBytes(folder / "replaced.doc", replaced);
        // The same two steps in the .docx badge.
        OpenResult docx = OpenTemplateFile((fs::path(QM_PROGRAM_DIR) / "模板" / "工作证.docx").string());
        ASSERT_TRUE(docx) << docx.refusal;
        ASSERT_TRUE(docx.value->Make(first, made, error)) << error;
        WriteBytes(folder / "inline.docx", made);
        docx = OpenTemplate(made);
        ASSERT_TRUE(docx) << docx.refusal;
        ASSERT_TRUE(docx.value->Make(second, replaced, error)) << error;
        WriteBytes(folder / "replaced.docx", replaced);
        // Pictures the office wrote, inline alone and between words, and floating, replaced.
        const OpenResult office = OpenTemplateFile((fs::path(QM_ENGINE_FIXTURES) / "pictures.doc").string());
        ASSERT_TRUE(office) << office.refusal;
        const std::vector<Fill> third = {{"Photo", "", red}, {"Mixed", "", tall}, {"Floating", "", tall}};
        ASSERT_TRUE(office.value->Make(third, made, error)) << error;
        WriteBytes(folder / "office.doc", made);
        // A floating picture Word wrote, in a footer, where the real-world files are at hand.
        const fs::path word = fs::path(RealWorldFolder("doc")) / "testControlCharacters.doc";
        if (fs::exists(word)) {
            // Its bookmark is Word's own OLE_LINK1, which is never filled: renamed as a user's.
            const OpenResult real = OpenTemplate(RenamedBookmark(ReadBytes(word), "OLE_LINK1", "FooterBox"));
            ASSERT_TRUE(real) << real.refusal;
            ASSERT_TRUE(real.value->Make(std::vector<Fill>{{"FooterBox", "", tall}}, made, error)) << error;
            WriteBytes(folder / "word.doc", made);
        }
    }
    const qm::test::TempFolder folder{"doc-pictures-read"};
    std::shared_ptr<const Picture> red, tall;
};

TEST_F(PicturesRead, TheSecondReaderFindsEachPictureWithItsBytesAndSize) {
    const std::string& jars = kPoiClassPath;
    if (!HavePoi()) GTEST_SKIP() << "java or its binary document reader is not installed";
    const auto compiled =
        qm::test::RunCommand("javac -cp " + jars + " -d " + qm::test::ShellQuote(folder.path()) + " " +
                             qm::test::ShellQuote(QM_POI_PICTURES) + " 2>&1");
    ASSERT_EQ(compiled.status, 0) << compiled.out;
    const std::string inlined = folder / "inline.doc", replaced = folder / "replaced.doc",
                      office = folder / "office.doc";
    // And every template at hand with a picture in each bookmark it can fill: the reader opens
    // what it opened before and finds a picture character for each inline picture.
    std::vector<fs::path> templates = OwnTemplates();
    for (const std::string& p : RealWorldDocs()) templates.push_back(p);
    std::string others;
    std::map<std::string, std::pair<std::string, int>> made;  // made file: template, inline pictures
    for (const fs::path& path : templates) {
        const OpenResult r = OpenTemplateFile(path.string());
        if (!r) continue;
        std::vector<Fill> fills = FillEverything(*r.value);
        for (Fill& f : fills) f.picture = red;
        Bytes out;
        std::string error;
        ASSERT_TRUE(r.value->Make(fills, out, error)) << path << ": " << error;
        DocContents c, o;
        ASSERT_TRUE(ReadDocContents(out, c, error) && ReadDocContents(ReadBytes(path), o, error));
        const auto pictures = [](const DocContents& d) {
            return static_cast<int>(std::count(d.text.begin(), d.text.end(), u'\x01'));
        };
        if (pictures(c) == pictures(o)) continue;  // no bookmark took an inline picture
        const std::string file = folder / ("all-" + std::to_string(made.size()) + ".doc");
        WriteBytes(file, out);
        made[file] = {path.string(), pictures(c)};
        others += " " + qm::test::ShellQuote(path.string()) + " " + qm::test::ShellQuote(file);
    }
    const auto run = qm::test::RunCommand("java -cp " + jars + ":" + qm::test::ShellQuote(folder.path()) +
                                          " PoiPictures " + qm::test::ShellQuote(inlined) + " " +
                                          qm::test::ShellQuote(replaced) + " " +
                                          qm::test::ShellQuote(office) + others + " 2>/dev/null");
    auto views = ByFile(run.out);
    // dxaGoal and dyaGoal are the natural sizes in twips (120 by 80 pixels at 150 dpi, 90 by
    // 120 at 72); the scaling shows them 3 cm (1701 twips) wide.
    EXPECT_EQ(views[inlined],
              (std::vector<std::string>{"PICTURE png 1152 768 1477 1477 " + Hex(red->bytes),
                                        "PICTURE jpg 1800 2400 945 945 " + Hex(tall->bytes), "RUNS 2"}))
        << run.out.substr(0, 3000);
    // The replacement: fitted in the 1701 by 1134 twips of the picture it replaced. The old
    // picture's data stays in the stream, shown by no character.
    const std::vector<std::string>& second = views[replaced];
    ASSERT_FALSE(second.empty()) << run.out.substr(0, 3000);
    EXPECT_EQ(second.back(), "RUNS 2");
    EXPECT_NE(std::find(second.begin(), second.end(), "PICTURE jpg 1800 2400 473 473 " + Hex(tall->bytes)),
              second.end())
        << run.out.substr(0, 3000);
    // The office's pictures: the inline ones fitted in their boxes (4 by 2 cm, 2 by 3 cm); the
    // floating one's new blip after the old one, which the store keeps.
    const std::vector<std::string>& third = views[office];
    ASSERT_EQ(third.size(), 5u) << run.out.substr(0, 3000);
    EXPECT_EQ(third[0], "PICTURE png 1152 768 1477 1477 " + Hex(red->bytes));
    EXPECT_EQ(third[1], "PICTURE jpg 1800 2400 630 630 " + Hex(tall->bytes));
    EXPECT_EQ(third[2].rfind("PICTURE png - - - - 89504e47", 0), 0u) << third[2].substr(0, 80);
    EXPECT_EQ(third[3], "PICTURE jpg - - - - " + Hex(tall->bytes));
    EXPECT_EQ(third[4], "RUNS 2");
    EXPECT_GE(made.size(), OwnTemplates().size());
    for (const auto& [file, from] : made) {
        SCOPED_TRACE(from.first);
        const std::vector<std::string>& before = views[from.first];
        const std::vector<std::string>& after = views[file];
        if (before.empty() || before[0].rfind("ERROR", 0) == 0) continue;  // proves nothing
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(after[0].rfind("ERROR", 0), std::string::npos) << after[0];
        // Each inline picture is a run of its own, unless two sit side by side.
        const int runs = std::stoi(after.back().substr(5));
        EXPECT_GT(runs, 0);
        EXPECT_LE(runs, from.second);
    }
}

TEST_F(PicturesRead, TheOfficeShowsThePicturesInTheirBookmarks) {
    if (!qm::test::HaveProgram("soffice")) GTEST_SKIP() << "the office is not installed";
    const std::string inlined = folder / "inline.doc", replaced = folder / "replaced.doc",
                      office = folder / "office.doc", word = folder / "word.doc",
                      inlinedX = folder / "inline.docx", replacedX = folder / "replaced.docx";
    std::string files;
    for (const std::string& f : {inlined, replaced, office, inlinedX, replacedX})
        files += " " + qm::test::ShellQuote(f);
    if (fs::exists(word)) files += " " + qm::test::ShellQuote(word);
    const auto run = qm::test::RunCommand("/usr/bin/python3 " + qm::test::ShellQuote(QM_DOC_PICTURES_READ) +
                                          " " + qm::test::ShellQuote(folder / "profile") + files + " 2>&1");
    auto views = ByFile(run.out);
    // Each graphic by the bookmark that holds it: its size in 1/100 mm, its anchoring, and the
    // size in pixels of the picture it shows.
    struct Shown {
        int width = 0, height = 0;
        std::string anchor;
        int pixelsWide = 0, pixelsHigh = 0;
    };
    auto graphics = [&](const std::string& file) {
        std::map<std::string, Shown> out;
        for (const std::string& line : views[file]) {
            std::istringstream words(line);
            std::string key, marks;
            Shown s;
            words >> key;
            if (key == "ERROR") ADD_FAILURE() << file << ": " << line;
            if (key != "GRAPHIC") continue;
            words >> s.width >> s.height >> s.anchor >> marks >> s.pixelsWide >> s.pixelsHigh;
            out[marks] = s;
        }
        return out;
    };
    auto expect = [](const std::map<std::string, Shown>& found, const std::string& mark, int width,
                     int height, const char* anchor = "AS_CHARACTER") {
        const auto it = found.find(mark);
        ASSERT_NE(it, found.end()) << mark;
        EXPECT_NEAR(it->second.width, width, 5) << mark;
        EXPECT_NEAR(it->second.height, height, 5) << mark;
        EXPECT_EQ(it->second.anchor, anchor) << mark;
        // The picture shown is the new one: the wide PNG's 120 by 80 pixels, or the tall JPEG's.
        const bool wide = width > height;
        EXPECT_EQ(it->second.pixelsWide, wide ? 120 : 90) << mark;
        EXPECT_EQ(it->second.pixelsHigh, wide ? 80 : 120) << mark;
    };
    // In the .doc and the .docx badge: 3 cm by 2 cm and 3 cm by 4 cm; then 1.5 cm by 2 cm in
    // the box of the first.
    for (const auto& [placed, again] : {std::pair{inlined, replaced}, {inlinedX, replacedX}}) {
        SCOPED_TRACE(placed);
        const auto first = graphics(placed), second = graphics(again);
        EXPECT_EQ(first.size(), 2u) << run.out;
        expect(first, "姓名_c1", 3000, 2000);
        expect(first, "部门_c1", 3000, 4000);
        EXPECT_EQ(second.size(), 2u) << run.out;
        expect(second, "姓名_c1", 1500, 2000);
        expect(second, "部门_c1", 3000, 4000);
    }
    const auto third = graphics(office);
    // The office's own pictures replaced: inline in their boxes (4 by 2 cm, 2 by 3 cm), and
    // floating in its 4 by 3 cm rectangle.
    EXPECT_EQ(third.size(), 3u) << run.out;
    expect(third, "Photo", 3000, 2000);
    expect(third, "Mixed", 2000, 2667);
    expect(third, "Floating", 2249, 3000, "AT_CHARACTER");
    // Word's floating picture: 1600 by 1506 (1/100 mm) take the tall picture from the same corner.
    if (fs::exists(word)) expect(graphics(word), "FooterBox", 1131, 1506, "AT_CHARACTER");
    // One image in the PDF for each picture shown (the replaced ones' data is not).
    for (const auto& [file, count] :
         {std::pair{inlined, 2}, {replaced, 2}, {office, 3}, {inlinedX, 2}, {replacedX, 2}})
        EXPECT_NE(std::find(views[file].begin(), views[file].end(), "IMAGES " + std::to_string(count)),
                  views[file].end())
            << run.out;
}

}  // namespace
}  // namespace qm::engine::test
