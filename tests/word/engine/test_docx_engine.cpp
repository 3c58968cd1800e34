// The .docx engine on templates shaped as Word and LibreOffice write them: which bookmarks it
// lists and refuses, and what the documents it makes hold, read back through libzip and pugixml.

#include <gtest/gtest.h>

#include "tests/word/engine/docx_test_support.h"

namespace qm::test {
namespace {

using engine::Fill;

const std::vector<std::string> kShapesBookmarks = {
    "_Toc100 main hidden / a hidden bookmark",
    "_Ref200 main hidden / a hidden bookmark",
    "Name main",
    "_GoBack main hidden / a hidden bookmark",
    "Date main",
    "Opening main",
    "Outer main",
    "Inner main",
    "Left main",
    "Right main",
    "Span main",
    "Column main table / a table column bookmark",
    "Cell main table",
    "Cross main table / spans a table cell",
    "InResult main / inside a field result",
    "InCode main / inside a field code",
    "AroundPageRef main",
    "AroundSimple main",
    "InSimple main / inside a field result",
    "Text1 main form",
    "Text2 main form / form field has no result",
    "Check1 main form checkbox",
    "AroundControl main form",
    "InControl main form",
    "InBound main form / its bound data part is missing",
    "AroundInsert main",
    "InDelete main",
    "AroundLink main",
    "Picture main",
    "NoteRef main / holds a footnote reference",
    "PageBreak main",
    "Commented main / holds a comment",
    "Lines main",
    "Boxed textbox",
    "Lonely main / has no end",
    "姓名 main",
    "Twice main",
    "HeaderText header",
    "_HeaderHidden header hidden / a hidden bookmark",
    "FooterCell footer table",
    "InNote footnote",
    "InEndnote endnote",
};

struct Made {
    bool ok = false;
    Bytes bytes;
    std::string error;
};

Made MakeWith(const engine::Template& t, std::vector<Fill> fills) {
    Made m;
    m.ok = t.Make(fills, m.bytes, m.error);
    return m;
}

TEST(DocxEngine, ListsEveryBookmarkWithItsStoryAndWhyItIsRefused) {
    // The same parts with data descriptors, a byte order mark and a stored entry, or without
    // package relationships, list the same.
    for (const char* name : {"shapes.docx", "streamed.docx", "norels.docx"}) {
        SCOPED_TRACE(name);
        const auto t = OpenDocx(ReadBytes(DocxFixture(name)));
        ASSERT_TRUE(t);
        EXPECT_EQ(t->format(), engine::Format::Docx);
        EXPECT_EQ(DescribeAll(*t), kShapesBookmarks);
    }
}

TEST(DocxEngine, FindsPartsThroughTheirRelationshipsAndAnyPrefix) {
    auto t = OpenDocx(ReadBytes(DocxFixture("elsewhere.docx")));
    ASSERT_TRUE(t);
    EXPECT_EQ(DescribeAll(*t), (std::vector<std::string>{"MainBookmark main", "TopBookmark header"}));
    t = OpenDocx(ReadBytes(DocxFixture("prefixed.docx")));
    ASSERT_TRUE(t);
    EXPECT_EQ(DescribeAll(*t),
              (std::vector<std::string>{"Prefixed main", "LocalPrefix main", "DefaultNs header"}));
}

// Each fillable bookmark of `path` filled alone: one part changes, and in it nothing outside
// the bookmark; every other entry keeps its stored bytes; the document reads back with the
// same bookmarks and the bookmark spans exactly the value.
void CheckEachFillAlone(const fs::path& path) {
    SCOPED_TRACE(path.string());
    const Bytes bytes = ReadBytes(path);
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    const auto before = ReadWithLibzip(bytes);
    ASSERT_TRUE(before);
    const std::string value = "<v&> \"1\"\n\t中文";
    for (const engine::BookmarkInfo& b : t->bookmarks()) {
        if (!b.refusal.empty() || b.kind != engine::BookmarkKind::Text) continue;
        SCOPED_TRACE(b.name);
        const Made made = MakeWith(*t, {{b.name, value}});
        ASSERT_TRUE(made.ok) << made.error;
        EXPECT_TRUE(engine::VerifyDocxContainer(made.bytes));
        const auto after = ReadWithLibzip(made.bytes);
        ASSERT_TRUE(after) << "libzip refuses the document";
        ASSERT_EQ(after->size(), before->size());
        int changed = 0;
        for (std::size_t i = 0; i < after->size(); ++i) {
            const ZipItem& was = (*before)[i];
            const ZipItem& is = (*after)[i];
            EXPECT_EQ(is.name, was.name);
            if (is.raw == was.raw) continue;
            ++changed;
            pugi::xml_document doc;
            EXPECT_TRUE(doc.load_buffer(is.data.data(), is.data.size())) << is.name << " is not well-formed";
            const auto [from, to] = BookmarkInterior(was.data, b.name);
            const auto [newFrom, newTo] = BookmarkInterior(is.data, b.name);
            ASSERT_NE(from, std::string::npos);
            ASSERT_NE(newFrom, std::string::npos);
            EXPECT_EQ(is.data.substr(0, newFrom), was.data.substr(0, from));
            EXPECT_EQ(BookmarkText(is.data, b.name), value);
            if (b.story == "textbox") {
                // The box's second copy changes too, with the same value, and nothing after it.
                const std::string rest = was.data.substr(to), newRest = is.data.substr(newTo);
                const auto [copyFrom, copyTo] = BookmarkInterior(rest, b.name);
                const auto [newCopyFrom, newCopyTo] = BookmarkInterior(newRest, b.name);
                ASSERT_NE(copyFrom, std::string::npos);
                ASSERT_NE(newCopyFrom, std::string::npos);
                EXPECT_EQ(newRest.substr(0, newCopyFrom), rest.substr(0, copyFrom));
                EXPECT_EQ(newRest.substr(newCopyTo), rest.substr(copyTo));
                EXPECT_EQ(newRest.substr(newCopyFrom, newCopyTo - newCopyFrom),
                          is.data.substr(newFrom, newTo - newFrom));
            } else {
                EXPECT_EQ(is.data.substr(newTo), was.data.substr(to));
            }
        }
        EXPECT_EQ(changed, 1);
        const auto again = OpenDocx(made.bytes);
        ASSERT_TRUE(again);
        // Every bookmark is still there; what one lies in may change (a range takes fields and
        // tables with it).
        const auto places = [](const engine::Template& of) {
            std::vector<std::string> out;
            for (const engine::BookmarkInfo& k : of.bookmarks()) out.push_back(k.name + " " + k.story);
            return out;
        };
        EXPECT_EQ(places(*again), places(*t));
    }
}

TEST(DocxEngine, FillsEachBookmarkWithinItsRangeOnly) {
    for (const char* name : {"shapes.docx", "streamed.docx", "prefixed.docx", "elsewhere.docx"})
        CheckEachFillAlone(DocxFixture(name));
}

TEST(DocxEngine, FillsTheSampleTemplatesTheOfficeConverted) {
    const std::vector<fs::path> samples = SampleDocxTemplates();
    if (samples.empty()) GTEST_SKIP() << "no .docx sample templates in " << QM_PROGRAM_DIR;
    for (const fs::path& path : samples) {
        const auto t = OpenDocx(ReadBytes(path));
        ASSERT_TRUE(t);
        EXPECT_FALSE(t->VisibleNames().empty()) << path;
        for (const engine::BookmarkInfo& b : t->bookmarks())
            EXPECT_EQ(b.refusal, "") << path << " " << b.name;
        CheckEachFillAlone(path);
    }
}

TEST(DocxEngine, ValuesReadBackAsGiven) {
    const auto t = OpenDocx(ReadBytes(DocxFixture("shapes.docx")));
    ASSERT_TRUE(t);
    std::string longChinese;
    for (int i = 0; i < 32767; ++i) longChinese += "汉";
    const struct {
        std::string value, expected;
    } cases[] = {
        {"two\nlines", "two\nlines"},
        {"cr lf\r\nand cr\rend", "cr lf\nand cr\nend"},
        {"\tindented\t", "\tindented\t"},
        {"张三", "张三"},
        {"", ""},
        {"  spaced  ", "  spaced  "},
        {"<&>\"']]>", "<&>\"']]>"},
        {"bell\x07 and\x1F", "bell and"},
        {"not xml \xEF\xBF\xBE\xEF\xBF\xBF", "not xml \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"bad utf-8 \xC3", "bad utf-8 \xEF\xBF\xBD"},
        {std::string(32767, 'x'), std::string(32767, 'x')},
        {longChinese, longChinese},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.substr(0, 40));
        const Made made = MakeWith(*t, {{"Name", c.value}, {"Date", c.value}});
        ASSERT_TRUE(made.ok) << made.error;
        const std::string xml = EntryText(made.bytes, "word/document.xml");
        EXPECT_EQ(BookmarkText(xml, "Name"), c.expected);
        EXPECT_EQ(BookmarkText(xml, "Date"), c.expected);
    }
}

TEST(DocxEngine, ValueTakesTheFormattingOfWhatItReplaces) {
    const auto t = OpenDocx(ReadBytes(DocxFixture("shapes.docx")));
    ASSERT_TRUE(t);
    const Made made =
        MakeWith(*t, {{"Name", "n"}, {"Date", "d"}, {"Opening", "o"}, {"Cell", "c"}, {"Text1", "t"}});
    ASSERT_TRUE(made.ok) << made.error;
    const std::string xml = EntryText(made.bytes, "word/document.xml");
    // The first replaced run; the run before a collapsed bookmark; the paragraph mark without
    // its tracked insertion; a tracked format change left out.
    EXPECT_EQ(FirstRunProperties(xml, "Name"), R"(<w:rPr><w:b/><w:color w:val="FF0000"/></w:rPr>)");
    EXPECT_EQ(FirstRunProperties(xml, "Date"), "<w:rPr><w:i/></w:rPr>");
    EXPECT_EQ(FirstRunProperties(xml, "Opening"), R"(<w:rPr><w:sz w:val="28"/></w:rPr>)");
    EXPECT_EQ(FirstRunProperties(xml, "Cell"), R"(<w:rPr><w:u w:val="single"/></w:rPr>)");
    // A form field keeps its code and marks; only the result is new, formatted as the old one.
    const std::size_t field = xml.find("FORMTEXT");
    ASSERT_NE(field, std::string::npos);
    const std::size_t separate = xml.find("w:fldCharType=\"separate\"", field);
    const std::size_t value =
        xml.find("<w:r><w:rPr><w:noProof/></w:rPr><w:t xml:space=\"preserve\">t</w:t></w:r>", field);
    const std::size_t end = xml.find("w:fldCharType=\"end\"", field);
    EXPECT_LT(separate, value);
    EXPECT_LT(value, end);
    EXPECT_NE(end, std::string::npos);
    EXPECT_EQ(BookmarkText(xml, "Text1"), "t");
    EXPECT_EQ(xml.find("     ", field), std::string::npos);  // the old result is gone
}

TEST(DocxEngine, NewRunsUseThePrefixInForceWhereTheyGo) {
    const Bytes bytes = ReadBytes(DocxFixture("prefixed.docx"));
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    const Made made = MakeWith(*t, {{"Prefixed", "a"}, {"LocalPrefix", "b\nc"}, {"DefaultNs", "d\te"}});
    ASSERT_TRUE(made.ok) << made.error;
    const std::string main = EntryText(made.bytes, "word/document.xml");
    const std::string header = EntryText(made.bytes, "word/header1.xml");
    EXPECT_NE(main.find(R"(<wx:r><wx:rPr><wx:b/></wx:rPr><wx:t xml:space="preserve">a</wx:t></wx:r>)"),
              std::string::npos);
    EXPECT_NE(
        main.find(R"(<q:r><q:t xml:space="preserve">b</q:t><q:br/><q:t xml:space="preserve">c</q:t></q:r>)"),
        std::string::npos);
    EXPECT_NE(
        header.find(
            R"(<r><rPr><i/></rPr><t xml:space="preserve">d</t><tab/><t xml:space="preserve">e</t></r>)"),
        std::string::npos);
}

TEST(DocxEngine, BookmarksInsideAFilledOneStayCollapsedAtItsValue) {
    const auto t = OpenDocx(ReadBytes(DocxFixture("shapes.docx")));
    ASSERT_TRUE(t);
    Made made = MakeWith(*t, {{"Outer", "V"}});
    ASSERT_TRUE(made.ok) << made.error;
    std::string xml = EntryText(made.bytes, "word/document.xml");
    EXPECT_NE(
        xml.find(
            R"(<w:bookmarkStart w:id="2" w:name="Outer"/><w:bookmarkStart w:id="3" w:name="Inner"/>)"
            R"(<w:bookmarkEnd w:id="3"/><w:r><w:t xml:space="preserve">V</w:t></w:r><w:bookmarkEnd w:id="2"/>)"),
        std::string::npos);
    EXPECT_EQ(BookmarkText(xml, "Inner"), "");
    const auto again = OpenDocx(made.bytes);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Find("Inner")->refusal, "");

    // The other way round, the outer one keeps the text around the value.
    made = MakeWith(*t, {{"Inner", "V"}});
    ASSERT_TRUE(made.ok) << made.error;
    xml = EntryText(made.bytes, "word/document.xml");
    EXPECT_EQ(BookmarkText(xml, "Outer"), "AVC");
    EXPECT_EQ(FirstRunProperties(xml, "Inner"), R"(<w:rPr><w:u w:val="single"/></w:rPr>)");
}

// Bookmarks that cannot take a value are left as in the template and named by Skips; of two
// nested filled bookmarks the outer one wins, and the inner one stays at its value's start.
TEST(DocxEngine, RefusedAndNestedFillsAreLeftAsInTheTemplate) {
    const Bytes bytes = ReadBytes(DocxFixture("shapes.docx"));
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    auto skipped = [&](const std::vector<engine::Fill>& fills) {
        std::vector<std::string> out;
        for (const engine::Skip& s : t->Skips(fills)) out.push_back(s.name + ": " + s.why);
        return out;
    };
    EXPECT_EQ(skipped({{"Name", "ok"}, {"InResult", "x"}}),
              std::vector<std::string>{"InResult: inside a field result"});
    Made made = MakeWith(*t, {{"Name", "ok"}, {"InResult", "x"}});
    ASSERT_TRUE(made.ok) << made.error;
    const std::string xml = EntryText(made.bytes, "word/document.xml");
    EXPECT_EQ(BookmarkText(xml, "Name"), "ok");
    EXPECT_EQ(BookmarkText(xml, "InResult"), BookmarkText(EntryText(bytes, "word/document.xml"), "InResult"));

    EXPECT_EQ(skipped({{"Inner", "x"}, {"Outer", "y"}}),
              std::vector<std::string>{"Inner: lies inside bookmark Outer, whose value replaces it"});
    made = MakeWith(*t, {{"Inner", "x"}, {"Outer", "y"}});
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(BookmarkText(EntryText(made.bytes, "word/document.xml"), "Outer"), "y");
    EXPECT_EQ(BookmarkText(EntryText(made.bytes, "word/document.xml"), "Inner"), "");

    // A hidden bookmark is never filled, and not named either.
    EXPECT_TRUE(skipped({{"_GoBack", "x"}}).empty());
    made = MakeWith(*t, {{"_GoBack", "x"}});
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(made.bytes, bytes);
}

TEST(DocxEngine, UnknownNamesAreIgnoredAndTheLastValueOfANameCounts) {
    const Bytes bytes = ReadBytes(DocxFixture("shapes.docx"));
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    Made made = MakeWith(*t, {{"NoSuchBookmark", "x"}, {"name", "letter case differs"}});
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(made.bytes, bytes);

    made = MakeWith(*t, {{"Name", "first"}, {"Name", "second"}});
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(BookmarkText(EntryText(made.bytes, "word/document.xml"), "Name"), "second");
}

TEST(DocxEngine, ANameStoredTwiceIsFilledWhereItIsListed) {
    const Bytes bytes = ReadBytes(DocxFixture("shapes.docx"));
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    const Made made = MakeWith(*t, {{"Twice", "once"}});
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(BookmarkText(EntryText(made.bytes, "word/document.xml"), "Twice"), "once");
    EXPECT_EQ(EntryText(made.bytes, "word/header1.xml"), EntryText(bytes, "word/header1.xml"));
}

TEST(DocxEngine, AMadeDocumentServesAsTemplateAgain) {
    const auto t = OpenDocx(ReadBytes(DocxFixture("shapes.docx")));
    ASSERT_TRUE(t);
    const Made made = MakeWith(*t, FillEverything(*t, "", {"Inner"}));
    ASSERT_TRUE(made.ok) << made.error;
    const auto again = OpenDocx(made.bytes);
    ASSERT_TRUE(again);
    const Made twice = MakeWith(*again, {{"Name", "again"}, {"InEndnote", "end"}});
    ASSERT_TRUE(twice.ok) << twice.error;
    const std::string xml = EntryText(twice.bytes, "word/document.xml");
    EXPECT_EQ(BookmarkText(xml, "Name"), "again");
    EXPECT_EQ(FirstRunProperties(xml, "Name"), R"(<w:rPr><w:b/><w:color w:val="FF0000"/></w:rPr>)");
    EXPECT_EQ(BookmarkText(xml, "Outer"), "«Outer»");
    EXPECT_EQ(BookmarkText(EntryText(twice.bytes, "word/endnotes.xml"), "InEndnote"), "end");
}

}  // namespace
}  // namespace qm::test
