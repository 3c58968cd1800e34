// Pictures into the bookmarks of a .doc: one inline picture character whose properties point to
// the picture's header, shape and file in the Data stream (made when the template has none);
// a picture replacing the one a bookmark holds keeps that one's size; form fields keep theirs.

#include <algorithm>
#include <random>

#include "common/cfb/compound_file.h"
#include "doc_forms_support.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"
#include "word/engine/doc_file.h"
#include "word/engine/doc_picture.h"

namespace qm::engine::test {
namespace {

struct Pictures : ::testing::Test {
    void SetUp() override {
        red = MakePicture(folder.path(), "red.png", "120x80", 150);  // 2 by 1⅓ cm at its resolution
        tall = MakePicture(folder.path(), "blue.jpg", "90x120", 72);
        if (!red || !tall) GTEST_SKIP() << "ImageMagick's convert is needed";
    }
    const qm::test::TempFolder folder{"doc-pictures"};
    std::shared_ptr<const Picture> red, tall;
};

// The bytes of the stream called `name` at the root of a compound file; nullopt without one.
std::optional<Bytes> StreamOf(const Bytes& file, std::u16string_view name) {
    cfb::File f;
    if (!f.Open(file)) return std::nullopt;
    const std::uint32_t i = f.Find(0, name);
    cfb::Stream s;
    if (i == cfb::kNoEntry || !f.Read(i, s)) return std::nullopt;
    return Bytes(s.bytes.begin(), s.bytes.end());
}

// What a made document holds for the inline picture at the start of bookmark `name`.
struct Placed {
    doc::PictureBox box;
    Bytes file;            // the picture file as stored after the header, shape and blip headers
    std::uint32_t at = 0;  // its place in the Data stream
};
std::optional<Placed> PictureAt(const Bytes& made, const std::string& name) {
    DocContents contents;
    doc::DocFile d;
    std::string error;
    if (!ReadDocContents(made, contents, error) || !d.Parse(made, error)) return std::nullopt;
    const DocBookmark* mark = FindMark(contents, name);
    const std::uint32_t dataIndex = doc::DataStreamIndex(d);
    if (!mark || dataIndex == cfb::kNoEntry) return std::nullopt;
    const std::optional<std::uint32_t> at = doc::InlinePictureLocation(d, mark->start);
    if (!at) return std::nullopt;
    const Bytes& data = d.streams[dataIndex];
    const std::optional<doc::PictureBox> box = doc::ReadPictureBox(data, *at);
    if (!box) return std::nullopt;
    Placed p{*box, {}, *at};
    const std::uint32_t lcb = U32(data.data() + *at);
    // The file is the end of the blip record, which ends the picture's data.
    const std::size_t blip = [&] {
        for (std::size_t k = *at + 0x44; k + 8 <= *at + lcb; ++k)
            if (U16(data.data() + k + 2) == 0xF01E || U16(data.data() + k + 2) == 0xF01D) return k;
        return std::size_t{0};
    }();
    if (blip == 0) return std::nullopt;
    p.file.assign(data.begin() + static_cast<std::ptrdiff_t>(blip + 8 + 17),
                  data.begin() + static_cast<std::ptrdiff_t>(*at) + static_cast<std::ptrdiff_t>(lcb));
    return p;
}

TEST_F(Pictures, APictureTakesTheBookmarksPlaceThreeCentimetresWide) {
    const fs::path path = fs::path(QM_PROGRAM_DIR) / "模板" / "工作证.doc";
    const Bytes original = ReadBytes(path);
    const auto t = Open(path);
    ASSERT_TRUE(t);
    ASSERT_EQ(StreamOf(original, u"Data"), std::nullopt) << "the template has no Data stream of its own";
    const std::vector<Fill> fills = {
        {"姓名_c1", "ignored", red}, {"部门_c1", "", tall}, {"编号_c1", "A-17", nullptr}};
    const Bytes made = Make(*t, fills);
    EXPECT_EQ(CheckDocStructure(made), "");

    // The text is the template's with each picture's bookmark holding one picture character.
    DocContents before, after;
    std::string error;
    ASSERT_TRUE(ReadDocContents(original, before, error) && ReadDocContents(made, after, error)) << error;
    std::vector<Fill> asText = fills;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    for (Fill& f : asText) {
        if (f.picture) f.value = "\x01";
        ranges.push_back(Replaced(before, *t, f.name));
    }
    EXPECT_TRUE(after.text == ExpectedText(before, asText, ranges));
    EXPECT_TRUE(FindMark(after, "姓名_c1")->text == u"\x01");
    EXPECT_TRUE(FindMark(after, "部门_c1")->text == u"\x01");
    EXPECT_TRUE(FindMark(after, "编号_c1")->text == u"A-17");

    // Each picture in the new Data stream, its file as it was, shown 3 cm (1701 twips) wide.
    const std::optional<Placed> first = PictureAt(made, "姓名_c1"), second = PictureAt(made, "部门_c1");
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->file == red->bytes);
    EXPECT_TRUE(second->file == tall->bytes);
    EXPECT_NEAR(first->box.width, 1701, 2);
    EXPECT_NEAR(first->box.height, 1134, 2);
    EXPECT_NEAR(second->box.width, 1701, 2);
    EXPECT_NEAR(second->box.height, 2268, 2);
    EXPECT_NE(first->at, second->at);

    // The Data stream is found where readers look for it, among the root's children.
    cfb::File container;
    ASSERT_TRUE(container.Open(made));
    EXPECT_NE(container.Find(0, u"Data"), cfb::kNoEntry);
    for (const char16_t* name : {u"WordDocument", u"1Table", u"\x05SummaryInformation"})
        EXPECT_EQ(StreamOf(made, name).has_value(), StreamOf(original, name).has_value());
}

// A bookmark that holds a picture takes the new one inside the old one's size, keeping its
// aspect ratio; a text value replaces the picture.
TEST_F(Pictures, APictureReplacingAPictureKeepsItsSize) {
    const auto t = Open(fs::path(QM_PROGRAM_DIR) / "模板" / "工作证.doc");
    ASSERT_TRUE(t);
    const Bytes once = Make(*t, {{"姓名_c1", "", red}});
    const OpenResult again = OpenTemplate(once);
    ASSERT_TRUE(again) << again.refusal;
    const Bytes twice = Make(*again.value, {{"姓名_c1", "", tall}});
    EXPECT_EQ(CheckDocStructure(twice), "");
    const std::optional<Placed> placed = PictureAt(twice, "姓名_c1");
    ASSERT_TRUE(placed);
    EXPECT_TRUE(placed->file == tall->bytes);
    // The old picture was 1701 by 1134 twips; the tall one fits by its height: 850 by 1134.
    EXPECT_NEAR(placed->box.width, 850, 2);
    EXPECT_NEAR(placed->box.height, 1134, 2);

    DocContents c;
    std::string error;
    ASSERT_TRUE(ReadDocContents(twice, c, error));
    EXPECT_TRUE(FindMark(c, "姓名_c1")->text == u"\x01");
    ASSERT_TRUE(ReadDocContents(Make(*again.value, {{"姓名_c1", "李四", nullptr}}), c, error));
    EXPECT_TRUE(FindMark(c, "姓名_c1")->text == u"李四");
}

// Pictures the office put into bookmarks (pictures.fodt): 4 by 2 cm alone in "Photo", 2 by 3 cm
// between words in "Mixed". Each new one fits in the old one's box; the words stay.
TEST_F(Pictures, PicturesTheOfficeWroteAreReplacedInTheirBox) {
    const fs::path path = fs::path(QM_ENGINE_FIXTURES) / "pictures.doc";
    const auto t = Open(path);
    ASSERT_TRUE(t);
    for (const char* name : {"Photo", "Mixed"}) EXPECT_EQ(t->Find(name)->refusal, "") << name;
    const Bytes made = Make(*t, {{"Photo", "", red}, {"Mixed", "", tall}, {"Plain", "", tall}});
    EXPECT_EQ(CheckDocStructure(made), "");
    DocContents before, after;
    std::string error;
    ASSERT_TRUE(ReadDocContents(ReadBytes(path), before, error) && ReadDocContents(made, after, error));
    EXPECT_TRUE(FindMark(after, "Photo")->text == u"\x01");
    EXPECT_TRUE(FindMark(after, "Mixed")->text == u"before \x01 after");
    EXPECT_TRUE(FindMark(after, "Plain")->text == u"\x01");
    EXPECT_EQ(after.text.size(), before.text.size() - std::u16string(u"[PLAIN]").size() + 1);

    // 2268 by 1134 twips take the wide picture at 1701 by 1134; 1134 by 1701 the tall one at
    // 1134 by 1512; the plain bookmark's picture is 3 cm wide.
    const std::optional<Placed> photo = PictureAt(made, "Photo"), plain = PictureAt(made, "Plain");
    ASSERT_TRUE(photo && plain);
    EXPECT_NEAR(photo->box.width, 1701, 2);
    EXPECT_NEAR(photo->box.height, 1134, 2);
    EXPECT_NEAR(plain->box.width, 1701, 2);
    doc::DocFile d;
    ASSERT_TRUE(d.Parse(made, error));
    const std::uint32_t mixedAt = FindMark(after, "Mixed")->start + 7;
    const std::optional<std::uint32_t> at = doc::InlinePictureLocation(d, mixedAt);
    ASSERT_TRUE(at);
    const std::optional<doc::PictureBox> box = doc::ReadPictureBox(d.streams[doc::DataStreamIndex(d)], *at);
    ASSERT_TRUE(box);
    EXPECT_NEAR(box->width, 1134, 2);
    EXPECT_NEAR(box->height, 1512, 2);
}

// A floating picture (its shape in the drawing data, its blip in the store) takes the new
// picture as a new blip store entry, fitted in its anchoring rectangle; its text stays.
TEST_F(Pictures, AFloatingPictureShowsTheNewPictureInItsRectangle) {
    const fs::path path = fs::path(QM_ENGINE_FIXTURES) / "pictures.doc";
    const Bytes original = ReadBytes(path);
    const auto t = Open(path);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Find("Floating")->refusal, "");
    const Bytes made = Make(*t, {{"Floating", "", tall}, {"Plain", "text", nullptr}});
    EXPECT_EQ(CheckDocStructure(made), "");
    DocContents before, after;
    std::string error;
    ASSERT_TRUE(ReadDocContents(original, before, error) && ReadDocContents(made, after, error));
    EXPECT_TRUE(FindMark(after, "Floating")->text == FindMark(before, "Floating")->text);
    EXPECT_NE(FindMark(after, "Floating")->text.find(u'\x08'), std::u16string::npos);

    doc::DocFile d, o;
    ASSERT_TRUE(d.Parse(made, error) && o.Parse(original, error));
    doc::Plc old, anchors;
    ASSERT_TRUE(doc::ReadPlc(o.TableBytes(doc::kPlcSpaMom), 26, old));
    ASSERT_TRUE(doc::ReadPlc(d.TableBytes(doc::kPlcSpaMom), 26, anchors));
    ASSERT_EQ(anchors.count(), 1u);
    const std::uint32_t spid = U32(anchors.data.data());
    const std::span<const std::uint8_t> dgg = d.TableBytes(doc::kDggInfo);
    const std::optional<doc::PictureShape> shape = doc::PictureIndexAt(dgg, 0, spid);
    ASSERT_TRUE(shape);
    const std::uint32_t index = U32(dgg.data() + shape->indexAt);
    for (std::size_t at : shape->cropsAt) EXPECT_EQ(U32(dgg.data() + at), 0u);
    EXPECT_EQ(index, doc::BlipCount(o.TableBytes(doc::kDggInfo)) + 1);
    EXPECT_EQ(doc::BlipCount(dgg), index);
    // The store's last entry names the blip in WordDocument, which holds the file.
    std::size_t entry = 8;
    while (U16(dgg.data() + entry + 2) != 0xF001) entry += 8 + U32(dgg.data() + entry + 4);
    entry += 8;
    for (std::uint32_t k = 1; k < index; ++k) entry += 8 + U32(dgg.data() + entry + 4);
    ASSERT_EQ(U16(dgg.data() + entry + 2), 0xF007);
    const std::uint32_t delay = U32(dgg.data() + entry + 8 + 28);
    const std::vector<std::uint8_t>& word = d.word();
    ASSERT_LE(delay + 25 + tall->bytes.size(), word.size());
    EXPECT_EQ(U16(word.data() + delay + 2), 0xF01D);
    EXPECT_TRUE(std::equal(tall->bytes.begin(), tall->bytes.end(), word.begin() + delay + 25));
    // 4 by 3 cm (2267 by 1700 twips) takes the tall picture 1275 twips wide, from the same corner.
    for (int k : {0, 1, 3})
        EXPECT_EQ(U32(anchors.data.data() + 4 + 4 * k), U32(old.data.data() + 4 + 4 * k)) << k;
    EXPECT_NEAR(static_cast<int>(U32(anchors.data.data() + 12) - U32(anchors.data.data() + 4)), 1275, 2);
}

// Check boxes and drop-downs keep their state when given a picture; a picture for a text
// bookmark goes after the form fields' data, which still reads.
TEST_F(Pictures, FormFieldsKeepTheirStateAndTheirData) {
    const Bytes original = ReadBytes(Forms());
    const auto t = Open(Forms());
    ASSERT_TRUE(t);
    const std::vector<Fill> fills = {{"Agree", "1", red}, {"Colour", "Red", red}, {"Name", "", tall}};
    EXPECT_TRUE(t->Skips(fills).empty());
    const Bytes made = Make(*t, fills);
    EXPECT_EQ(CheckDocStructure(made), "");
    const std::vector<DocFormField> fields = FormFields(made);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].state, 0);
    EXPECT_EQ(fields[1].state, 1);
    EXPECT_EQ(fields[2].state, 2);
    const std::optional<Bytes> before = StreamOf(original, u"Data"), after = StreamOf(made, u"Data");
    ASSERT_TRUE(before && after);
    ASSERT_GT(after->size(), before->size());
    EXPECT_TRUE(std::equal(before->begin(), before->end(), after->begin()));
    const std::optional<Placed> placed = PictureAt(made, "Name");
    ASSERT_TRUE(placed);
    EXPECT_GE(placed->at, before->size());
    EXPECT_TRUE(placed->file == tall->bytes);
}

// Every fillable bookmark of our templates and the real-world files takes a picture, in every
// story and table cell: the tables stay consistent, the document opens as a template again, and
// each bookmark holds its picture (and the drawings that stay).
TEST_F(Pictures, EveryBookmarkOfEveryTemplateTakesAPicture) {
    std::vector<fs::path> files = OwnTemplates();
    for (const std::string& p : RealWorldDocs()) files.push_back(p);
    int filled = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        const Bytes original = ReadBytes(path);
        const OpenResult r = OpenTemplate(original);
        if (!r) continue;
        std::vector<Fill> fills = FillEverything(*r.value);
        for (Fill& f : fills) f.picture = red;
        const Bytes made = Make(*r.value, fills);
        ASSERT_EQ(CheckDocStructure(made), "");
        ASSERT_TRUE(OpenTemplate(made));
        DocContents before, after;
        std::string error;
        ASSERT_TRUE(ReadDocContents(original, before, error) && ReadDocContents(made, after, error));
        for (const Fill& f : fills) {
            const auto [s, e] = Replaced(before, *r.value, f.name);
            const DocBookmark* mark = FindMark(after, f.name);
            ASSERT_TRUE(mark) << f.name;
            std::u16string text = mark->text;
            if (r.value->Find(f.name)->formField)
                text = after.text.substr(Replaced(after, *r.value, f.name).first, 1);
            // A floating picture in the bookmark shows the new picture; its text stays.
            const std::u16string old = before.text.substr(s, e - s);
            if (text == old && old.find(u'\x08') != std::u16string::npos) continue;
            EXPECT_TRUE(KeptAnchors(text, u"\x01", old)) << f.name;
            if (!r.value->Find(f.name)->formField) {
                EXPECT_TRUE(PictureAt(made, f.name)) << f.name;
            }
            ++filled;
        }
    }
    EXPECT_GT(filled, 10);
}

// Damaged picture headers and drawing data never send a fill out of bounds: bytes of the Data
// stream and of the drawing data are changed at random, and every document made still reads.
TEST_F(Pictures, DamagedPictureDataNeverCrashes) {
    std::vector<fs::path> files = {fs::path(QM_ENGINE_FIXTURES) / "pictures.doc"};
    if (qm::test::HaveRealWorld("doc"))
        files.push_back(fs::path(RealWorldFolder("doc")) / "testControlCharacters.doc");
    std::mt19937 random(11);
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        doc::DocFile d;
        std::string error;
        ASSERT_TRUE(d.Parse(ReadBytes(path), error)) << error;
        const std::uint32_t data = doc::DataStreamIndex(d);
        for (int round = 0; round < 200; ++round) {
            std::vector<Bytes> streams = d.streams;
            // Even rounds change the Data stream, odd ones the drawing data of the table stream.
            Bytes& target = round % 2 == 0 && data != cfb::kNoEntry ? streams[data] : streams[d.tableIndex];
            const std::size_t from = &target == &streams[data] ? 0 : d.Fc(doc::kDggInfo);
            const std::size_t size = &target == &streams[data] ? target.size() : d.Lcb(doc::kDggInfo);
            if (size == 0) continue;
            for (int k = 0; k < 3; ++k)
                target[from + random() % size] ^= static_cast<std::uint8_t>(1 + random() % 255);
            const std::vector<std::span<const std::uint8_t>> spans(streams.begin(), streams.end());
            const OpenResult r = OpenTemplate(cfb::Write(d.entries, spans));
            if (!r) continue;
            std::vector<Fill> fills = FillEverything(*r.value);
            for (std::size_t k = 0; k < fills.size(); ++k) fills[k].picture = k % 2 ? red : tall;
            Bytes out;
            if (r.value->Make(fills, out, error)) {
                EXPECT_EQ(CheckDocStructure(out), "");
            }
        }
    }
}

// antiword shows the rest of the text as a fill with an empty value leaves it.
TEST_F(Pictures, AntiwordShowsTheRestOfTheTextUnchanged) {
    if (!qm::test::HaveProgram("antiword")) GTEST_SKIP() << "antiword is not installed";
    const auto t = Open(fs::path(QM_PROGRAM_DIR) / "模板" / "工作证.doc");
    ASSERT_TRUE(t);
    WriteBytes(folder / "picture.doc", Make(*t, {{"姓名_c1", "", red}, {"编号_c1", "A-17", nullptr}}));
    WriteBytes(folder / "empty.doc", Make(*t, {{"姓名_c1", "", nullptr}, {"编号_c1", "A-17", nullptr}}));
    auto read = [&](const char* name) {
        const auto r =
            qm::test::RunCommand("antiword -w 0 -m UTF-8.txt " + qm::test::ShellQuote(folder / name));
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    std::string shown = read("picture.doc");
    // antiword marks where a picture stands, in a table cell as wide as the cell's text.
    const std::size_t mark = shown.find("[pic]");
    ASSERT_NE(mark, std::string::npos) << shown;
    shown.replace(mark, 5, "     ");
    EXPECT_EQ(shown, read("empty.doc"));
}

}  // namespace
}  // namespace qm::engine::test
