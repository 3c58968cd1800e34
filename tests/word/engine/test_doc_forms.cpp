// Check boxes and drop-downs of .doc templates: which the engine lists and the state a value
// gives them. Our own fixture is made by the office from forms.fodt; the real form comes from
// ../shared/realworld.

#include <algorithm>
#include <map>

#include "common/cfb/compound_file.h"
#include "doc_forms_support.h"
#include "word/engine/doc_file.h"

namespace qm::engine::test {
namespace {

// The state of each field by its name (the real form's fields are named like their bookmarks).
std::map<std::string, int> States(const Bytes& bytes) {
    std::map<std::string, int> states;
    for (const DocFormField& f : FormFields(bytes)) states[f.name] = f.state;
    return states;
}

std::vector<std::string> SkippedNames(const Template& t, const std::vector<Fill>& fills) {
    std::vector<std::string> names;
    for (const Skip& s : t.Skips(fills)) names.push_back(s.name);
    return names;
}

// The bytes of one stream of a compound file, by name at the root.
Bytes StreamBytes(const Bytes& file, std::u16string_view name) {
    cfb::File f;
    if (!f.Open(file)) return {};
    const std::uint32_t i = f.Find(0, name);
    cfb::Stream s;
    if (i == cfb::kNoEntry || !f.Read(i, s)) return {};
    return Bytes(s.bytes.begin(), s.bytes.end());
}

TEST(DocForms, TheFixtureListsItsCheckBoxesAndDropDown) {
    const auto t = Open(Forms());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->VisibleNames(), (std::vector<std::string>{"Name", "Agree", "Paid", "Colour"}));
    for (const char* name : {"Agree", "Paid"}) {
        EXPECT_EQ(t->Find(name)->kind, BookmarkKind::CheckBox) << name;
        EXPECT_TRUE(t->Find(name)->formField) << name;
        EXPECT_EQ(t->Find(name)->refusal, "") << name;
    }
    const BookmarkInfo* colour = t->Find("Colour");
    EXPECT_EQ(colour->kind, BookmarkKind::DropDown);
    EXPECT_EQ(colour->entries, (std::vector<std::string>{"Red", "Green Blue", "Jaune"}));
    EXPECT_EQ(colour->refusal, "");
    EXPECT_EQ(t->Find("Name")->kind, BookmarkKind::Text);
    // As the office saved them: Agree clear, Paid checked, the third entry selected.
    const std::vector<DocFormField> fields = FormFields(ReadBytes(Forms()));
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].state, 0);
    EXPECT_EQ(fields[1].state, 1);
    EXPECT_EQ(fields[2].state, 2);
    EXPECT_EQ(fields[2].entries, colour->entries);
}

// The values set the states; only the state bits of the Data stream change, and text fills go
// with them.
TEST(DocForms, ValuesSetStatesAndOnlyTheirBitsChange) {
    const Bytes original = ReadBytes(Forms());
    const auto t = Open(Forms());
    ASSERT_TRUE(t);
    const std::vector<Fill> fills = {
        {"Agree", "☑"}, {"Paid", "否"}, {"Colour", " green BLUE "}, {"Name", "王五"}};
    EXPECT_TRUE(t->Skips(fills).empty());
    const Bytes made = Make(*t, fills);
    EXPECT_EQ(CheckDocStructure(made), "");
    const std::vector<DocFormField> fields = FormFields(made);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].state, 1);
    EXPECT_EQ(fields[1].state, 0);
    EXPECT_EQ(fields[2].state, 1);
    DocContents c;
    std::string error;
    ASSERT_TRUE(ReadDocContents(made, c, error)) << error;
    EXPECT_TRUE(FindMark(c, "Name")->text == u"王五");

    const Bytes before = StreamBytes(original, u"Data"), after = StreamBytes(made, u"Data");
    ASSERT_EQ(before.size(), after.size());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
    EXPECT_GE(changed, 1u);
    EXPECT_LE(changed, 3u);  // one byte of bits for each field whose state changed

    // A made document is a template again, with the new states.
    const OpenResult again = OpenTemplate(made);
    ASSERT_TRUE(again) << again.refusal;
    EXPECT_EQ(again.value->Find("Colour")->entries, t->Find("Colour")->entries);
    const std::vector<DocFormField> twice = FormFields(Make(*again.value, {{"Colour", "red"}}));
    EXPECT_EQ(twice[2].state, 0);
    EXPECT_EQ(twice[0].state, 1);
}

TEST(DocForms, AValueThatIsNoStateLeavesTheFieldAsItWas) {
    const auto t = Open(Forms());
    ASSERT_TRUE(t);
    const std::vector<Fill> fills = {{"Agree", "maybe"}, {"Colour", "Purple"}, {"Paid", "off"}};
    EXPECT_EQ(SkippedNames(*t, fills), (std::vector<std::string>{"Agree", "Colour"}));
    const std::vector<Skip> skips = t->Skips(fills);
    ASSERT_EQ(skips.size(), 2u);
    EXPECT_NE(skips[1].why.find("Red, Green Blue, Jaune"), std::string::npos) << skips[1].why;
    const std::vector<DocFormField> fields = FormFields(Make(*t, fills));
    EXPECT_EQ(fields[0].state, 0);
    EXPECT_EQ(fields[1].state, 0);
    EXPECT_EQ(fields[2].state, 2);
}

// Damaged field data makes that one field a refusal; the template still opens.
TEST(DocForms, DamagedFieldDataRefusesOnlyThatField) {
    const Bytes original = ReadBytes(Forms());
    doc::DocFile d;
    std::string error;
    ASSERT_TRUE(d.Parse(original, error)) << error;
    const std::uint32_t data = doc::DataStreamIndex(d);
    ASSERT_NE(data, cfb::kNoEntry);
    std::vector<std::uint8_t> stream = d.streams[data];
    // The first field's data starts the stream: its header, then the version of all ones.
    ASSERT_GT(stream.size(), 0x48u);
    ASSERT_EQ(stream[0x44], 0xFF);
    stream[0x44] = 0;
    std::vector<std::span<const std::uint8_t>> streams(d.streams.begin(), d.streams.end());
    streams[data] = stream;
    const OpenResult r = OpenTemplate(cfb::Write(d.entries, streams));
    ASSERT_TRUE(r) << r.refusal;
    EXPECT_EQ(r.value->Find("Agree")->refusal, "a check box form field whose data is damaged");
    EXPECT_EQ(r.value->Find("Paid")->refusal, "");
    // Without a Data stream no field can be set.
    std::vector<cfb::Entry> entries = d.entries;
    entries[data].raw[0] = 'X';  // "Xata": the same length keeps the directory's order
    const OpenResult none = OpenTemplate(
        cfb::Write(entries, std::vector<std::span<const std::uint8_t>>(d.streams.begin(), d.streams.end())));
    ASSERT_TRUE(none) << none.refusal;
    EXPECT_EQ(none.value->Find("Paid")->refusal, "a check box form field whose data is missing");
}

// A directory entry of a compound file written from scratch.
cfb::Entry NewEntry(std::u16string_view name, cfb::EntryType type, std::uint32_t right, std::uint32_t child) {
    cfb::Entry e;
    e.name = name;
    e.type = type;
    for (std::size_t k = 0; k < name.size(); ++k) Put16(e.raw.data() + 2 * k, name[k]);
    Put16(e.raw.data() + 0x40, static_cast<std::uint16_t>(2 * (name.size() + 1)));
    e.raw[0x42] = type == cfb::EntryType::Root ? 5 : 2;
    e.raw[0x43] = 1;  // black
    Put32(e.raw.data() + 0x44, cfb::kNoEntry);
    Put32(e.raw.data() + 0x48, right);
    Put32(e.raw.data() + 0x4C, child);
    return e;
}

// A password-protected .docx is a compound file holding the encrypted package; a .doc says so
// in its header. Both are refused with what the user can do about it.
TEST(DocForms, EncryptedFilesAskForThePasswordToBeRemoved) {
    const std::vector<cfb::Entry> entries = {
        NewEntry(u"Root Entry", cfb::EntryType::Root, cfb::kNoEntry, 1),
        NewEntry(u"EncryptionInfo", cfb::EntryType::Stream, 2, cfb::kNoEntry),
        NewEntry(u"EncryptedPackage", cfb::EntryType::Stream, cfb::kNoEntry, cfb::kNoEntry)};
    const Bytes info(200, 4), package(5000, 7);
    const std::vector<std::span<const std::uint8_t>> streams = {{}, info, package};
    const OpenResult docx = OpenTemplate(cfb::Write(entries, streams));
    EXPECT_FALSE(docx);
    EXPECT_EQ(docx.refusal, "the document is encrypted: remove the password first");

    doc::DocFile d;
    std::string error;
    ASSERT_TRUE(d.Parse(ReadBytes(Forms()), error)) << error;
    std::vector<std::uint8_t> word = d.word();
    word[0x0B] |= 0x01;  // fEncrypted
    std::vector<std::span<const std::uint8_t>> parts(d.streams.begin(), d.streams.end());
    parts[d.wordIndex] = word;
    const OpenResult doc = OpenTemplate(cfb::Write(d.entries, parts));
    EXPECT_FALSE(doc);
    EXPECT_EQ(doc.refusal, "the document is encrypted: remove the password first");
}

// The real form: twelve check boxes, all clear, and a drop-down saved without entries, which no
// value can set.
TEST(DocForms, TheTravelFormsCheckBoxesTakeEveryKindOfState) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    const auto t = Open(TravelForm());
    ASSERT_TRUE(t);
    const std::map<std::string, int> before = States(ReadBytes(TravelForm()));
    for (const std::string& name : kTravelChecks) {
        ASSERT_NE(t->Find(name), nullptr) << name;
        EXPECT_EQ(t->Find(name)->kind, BookmarkKind::CheckBox) << name;
        EXPECT_EQ(t->Find(name)->refusal, "") << name;
        EXPECT_EQ(before.at(name), 0) << name;
    }
    EXPECT_EQ(t->Find("Dropdown1")->kind, BookmarkKind::DropDown);
    EXPECT_EQ(t->Find("Dropdown1")->refusal, "a drop-down form field without entries");

    const std::vector<Fill> fills = {{"Check11", "是"},    {"Check12", "0"},       {"Check14", "TRUE"},
                                     {"Check15", "☑"},     {"Check16", ""},        {"Check17", " Yes "},
                                     {"Check19", "maybe"}, {"Dropdown1", "Other"}, {"Text2", "Hobart"}};
    EXPECT_EQ(SkippedNames(*t, fills), (std::vector<std::string>{"Check19", "Dropdown1"}));
    const Bytes made = Make(*t, fills);
    EXPECT_EQ(CheckDocStructure(made), "");
    std::map<std::string, int> expected = before;
    for (const char* name : {"Check11", "Check14", "Check15", "Check17"}) expected[name] = 1;
    EXPECT_EQ(States(made), expected);
}

}  // namespace
}  // namespace qm::engine::test
