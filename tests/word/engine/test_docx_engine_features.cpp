// The .docx engine on ranges a value replaces whole (paragraphs, tables, fields, pictures,
// content controls), text boxes written twice, custom XML bound controls, check boxes and
// drop-downs, zip records as other programs write them, and Word's own files with bookmarks
// added where users put them.

#include <gtest/gtest.h>

#include <regex>

#include "tests/support/realworld.h"
#include "tests/word/engine/docx_test_support.h"
#include "tests/word/engine/store_zip.h"

namespace qm::test {
namespace {

using engine::Fill;

const std::vector<std::string> kFeatures = {
    "Joined main",
    "InJoinedTable main table",
    "FromStart main",
    "OverSection main / spans a section break",
    "InOneCell main table",
    "WholeField main",
    "LinkedPicture main",
    "PartField main / ends inside a field result",
    "BoxTwoIds textbox",
    "OldOnly textbox / only in the copy of a text box for older readers",
    "Placeholder main form",
    "BoundName main form",
    "BoundEmpty main form",
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one message split over two lines
    "BoundQuery main form / its data binding /ns0:people[1]/ns0:person[position()=1]/ns0:name[1] is not a "
    "simple path",
    "CheckControl main form checkbox",
    "CheckInside main form checkbox",
    "LegacyCheck main form checkbox",
    "LegacyChecked main form checkbox",
    "LegacyList main form dropdown: Beijing Shanghai Guangzhou",
    "ListControl main form dropdown: Red Green",
    "ListOuter main form dropdown: One Two",
    "ListInner main form dropdown: One Two",
    "BoundCheck main / a check box or drop-down bound to custom XML",
    "WithComment main / holds a comment",
    "HeaderBox textbox",
};

Bytes Made(const engine::Template& t, const std::vector<Fill>& fills) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(t.Make(fills, out, error)) << error;
    return out;
}

// The paragraph (as printed by pugixml) that holds the start of bookmark `name`.
std::string ParagraphOf(const std::string& xml, std::string_view name) {
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size())) return "<not well-formed>";
    pugi::xml_node n = FindBookmarkStart(doc, name);
    while (n && LocalName(n.name()) != "p") n = n.parent();
    std::ostringstream out;
    if (n) n.print(out, "", pugi::format_raw);
    return out.str();
}

std::size_t Count(std::string_view text, std::string_view what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST(DocxFeatures, ListsWhatEachRangeHoldsAndTheZipVariantsAlike) {
    for (const char* file : {"features.docx", "zipextras.docx", "zip64.docx"}) {
        SCOPED_TRACE(file);
        const Bytes bytes = ReadBytes(DocxFixture(file));
        const auto t = OpenDocx(bytes);
        ASSERT_TRUE(t);
        EXPECT_EQ(DescribeAll(*t), kFeatures);
        // Every entry of the made document reads back, through libzip and our own check.
        const Bytes made = Made(*t, FillEverything(*t, "\n<&>"));
        EXPECT_TRUE(engine::VerifyDocxContainer(made));
        const auto items = ReadWithLibzip(made);
        ASSERT_TRUE(items);
        EXPECT_EQ(items->size(), ReadWithLibzip(bytes)->size());
        const auto again = OpenDocx(made);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->VisibleNames(), t->VisibleNames());
    }
}

TEST(DocxFeatures, JoinsParagraphsAsTheOfficeDoes) {
    const auto t = OpenDocx(ReadBytes(DocxFixture("features.docx")));
    ASSERT_TRUE(t);
    const Bytes made = Made(*t, {{"Joined", "V1"}, {"FromStart", "V2"}, {"InOneCell", "V3"}});
    const std::string xml = EntryText(made, "word/document.xml");
    // Started inside its first paragraph: that paragraph's properties and text before stay, the
    // last one's text after follows the value; the table between is gone, its bookmark kept.
    const std::string joined = ParagraphOf(xml, "Joined");
    EXPECT_NE(joined.find(R"(<w:jc w:val="center"/>)"), std::string::npos) << joined;
    EXPECT_EQ(joined.find("right"), std::string::npos);
    EXPECT_EQ(BookmarkText(xml, "Joined"), "V1");
    EXPECT_EQ(BookmarkText(xml, "InJoinedTable"), "");
    EXPECT_EQ(ParagraphOf(xml, "InJoinedTable"), joined);
    EXPECT_EQ(Count(xml, "<w:tbl>"), 1u);  // only the table holding InOneCell is left
    EXPECT_EQ(xml.find("middle paragraph"), std::string::npos);
    const std::regex text("<w:t[^>]*>([^<]*)</w:t>");
    std::string shown;
    for (std::sregex_iterator it(joined.begin(), joined.end(), text), end; it != end; ++it) shown += (*it)[1];
    EXPECT_EQ(shown, "Before V1 after");
    // Started at its first paragraph's start: the last paragraph's properties.
    const std::string fromStart = ParagraphOf(xml, "FromStart");
    EXPECT_NE(fromStart.find(R"(<w:jc w:val="right"/>)"), std::string::npos) << fromStart;
    EXPECT_EQ(Count(fromStart, "<w:pPr>"), 1u);
    EXPECT_EQ(BookmarkText(xml, "FromStart"), "V2");
    // Two paragraphs of one cell become one; the cell stays.
    EXPECT_EQ(BookmarkText(xml, "InOneCell"), "V3");
    EXPECT_EQ(xml.find("cell two"), std::string::npos);
}

TEST(DocxFeatures, FieldsPicturesAndDeletionsGoWithTheRangeWhole) {
    const Bytes bytes = ReadBytes(DocxFixture("features.docx"));
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    const Bytes made = Made(*t, {{"WholeField", "F"}, {"LinkedPicture", "P"}, {"PartField", "x"}});
    const std::string xml = EntryText(made, "word/document.xml");
    const std::string field = ParagraphOf(xml, "WholeField");
    EXPECT_EQ(field.find("fldChar"), std::string::npos) << field;
    EXPECT_EQ(field.find("instrText"), std::string::npos);
    const std::string picture = ParagraphOf(xml, "LinkedPicture");
    for (const char* gone : {"drawing", "hyperlink", "w:del", "delText"})
        EXPECT_EQ(picture.find(gone), std::string::npos) << gone;
    EXPECT_EQ(BookmarkText(xml, "LinkedPicture"), "P");
    // Part of a field would leave its end without a start: left as in the template.
    EXPECT_EQ(ParagraphOf(xml, "PartField"), ParagraphOf(EntryText(bytes, "word/document.xml"), "PartField"));
    // Begin and end marks stay paired in what is left.
    EXPECT_EQ(Count(xml, "fldCharType=\"begin\""), Count(xml, "fldCharType=\"end\""));
}

TEST(DocxFeatures, TextBoxesAreFilledInBothCopies) {
    const auto t = OpenDocx(ReadBytes(DocxFixture("features.docx")));
    ASSERT_TRUE(t);
    const Bytes made = Made(*t, {{"BoxTwoIds", "boxed value"}, {"HeaderBox", "head value"}});
    const std::string xml = EntryText(made, "word/document.xml");
    const std::string header = EntryText(made, "word/header1.xml");
    EXPECT_EQ(Count(xml, ">boxed value<"), 2u);
    EXPECT_EQ(Count(header, ">head value<"), 2u);
    EXPECT_EQ(xml.find("two ids"), std::string::npos);
    EXPECT_EQ(header.find("in header box"), std::string::npos);
    // Each copy keeps its own bookmark id.
    EXPECT_EQ(Count(xml, R"(w:name="BoxTwoIds")"), 2u);
    EXPECT_EQ(Count(xml, R"(<w:bookmarkEnd w:id="205"/>)"), 1u);
    EXPECT_EQ(Count(xml, R"(<w:bookmarkEnd w:id="206"/>)"), 1u);
}

TEST(DocxFeatures, ContentControlsKeepTheirPlaceAndBoundDataFollows) {
    const Bytes bytes = ReadBytes(DocxFixture("features.docx"));
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    const Bytes made = Made(
        *t,
        {{"Placeholder", "typed"}, {"BoundName", "王五 & co"}, {"BoundEmpty", "note"}, {"BoundQuery", "q"}});
    const std::string xml = EntryText(made, "word/document.xml");
    // The control stays; the placeholder flag and its character style go.
    const std::string placeholder = ParagraphOf(xml, "Placeholder");
    EXPECT_NE(placeholder.find("<w:sdtContent>"), std::string::npos);
    EXPECT_EQ(placeholder.find("showingPlcHdr"), std::string::npos);
    EXPECT_EQ(placeholder.find("PlaceholderText"), std::string::npos);
    EXPECT_NE(placeholder.find("<w:i/>"), std::string::npos);
    EXPECT_EQ(BookmarkText(xml, "Placeholder"), "typed");
    // The data part holds what the document shows; an empty element gets its text.
    const std::string data = EntryText(made, "customXml/item1.xml");
    EXPECT_NE(data.find("<ns0:person><ns0:name>王五 &amp; co</ns0:name></ns0:person>"), std::string::npos)
        << data;
    EXPECT_NE(data.find("<ns0:name>Zhang San</ns0:name>"), std::string::npos);
    EXPECT_NE(data.find("<ns0:note>note</ns0:note>"), std::string::npos);
    EXPECT_EQ(BookmarkText(xml, "BoundName"), "王五 & co");
    // A path beyond a plain one: left as in the template, data untouched.
    EXPECT_EQ(BookmarkText(xml, "BoundQuery"), "Zhang San");
    const auto skips = t->Skips(std::vector<Fill>{{"BoundQuery", "q"}});
    ASSERT_EQ(skips.size(), 1u);
    EXPECT_NE(skips[0].why.find("not a simple path"), std::string::npos);
}

TEST(DocxFeatures, CheckBoxesAndDropDownsTakeTheirStateFromTheValue) {
    const Bytes bytes = ReadBytes(DocxFixture("features.docx"));
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    Bytes made = Made(*t, {{"CheckControl", " YES "},
                           {"CheckInside", "否"},
                           {"LegacyCheck", "0"},
                           {"LegacyChecked", "√"},
                           {"LegacyList", "shanghai"},
                           {"ListControl", "GREEN"}});
    std::string xml = EntryText(made, "word/document.xml");
    std::string control = ParagraphOf(xml, "CheckControl");
    EXPECT_NE(control.find(R"(<w14:checked w14:val="1"/>)"), std::string::npos) << control;
    EXPECT_NE(control.find("<w:t>☒</w:t>"), std::string::npos);
    control = ParagraphOf(xml, "CheckInside");
    EXPECT_NE(control.find(R"(<w14:checked w14:val="0"/>)"), std::string::npos) << control;
    // The unchecked state's glyph (U+00A8) in its own font.
    EXPECT_NE(control.find("<w:t>\u00A8</w:t>"), std::string::npos);
    EXPECT_NE(control.find(R"(<w:rFonts w:ascii="Wingdings" w:eastAsia="Wingdings" w:hAnsi="Wingdings")"),
              std::string::npos);
    // Legacy check boxes: w:checked after the default, or replaced.
    EXPECT_NE(ParagraphOf(xml, "LegacyCheck").find(R"(<w:default w:val="1"/><w:checked w:val="0"/>)"),
              std::string::npos);
    EXPECT_NE(ParagraphOf(xml, "LegacyChecked").find(R"(<w:default w:val="0"/><w:checked w:val="1"/>)"),
              std::string::npos);
    // Drop-downs: the entry's index, and the entry shown where the field shows one.
    const std::string list = ParagraphOf(xml, "LegacyList");
    EXPECT_NE(list.find(R"(<w:result w:val="1"/>)"), std::string::npos) << list;
    EXPECT_EQ(BookmarkText(xml, "LegacyList"), "Shanghai");
    EXPECT_EQ(BookmarkText(xml, "ListControl"), "Green");
    EXPECT_NE(ParagraphOf(xml, "ListControl").find("<w:dropDownList>"), std::string::npos);

    // Bookmarks around a drop-down and inside it: each sets it alone; together the outer wins.
    for (const auto& [fills, shown] : std::vector<std::pair<std::vector<Fill>, std::string>>{
             {{{"ListInner", "two"}}, "Two"},
             {{{"ListOuter", "two"}}, "Two"},
             {{{"ListOuter", "Two"}, {"ListInner", "One"}}, "Two"},
             {{{"ListInner", "Two"}, {"ListOuter", "One"}}, "One"}}) {
        xml = EntryText(Made(*t, fills), "word/document.xml");
        EXPECT_EQ(BookmarkText(xml, "ListOuter"), shown);
        EXPECT_NE(BookmarkText(xml, "ListInner"), std::nullopt);
    }

    // Values that are no state and no entry leave everything as in the template.
    made = Made(
        *t,
        {{"CheckControl", "maybe"}, {"LegacyCheck", "2"}, {"LegacyList", "Tianjin"}, {"ListControl", ""}});
    EXPECT_EQ(made, bytes);
    EXPECT_EQ(t->Skips(std::vector<Fill>{{"CheckControl", "maybe"}, {"LegacyList", "Tianjin"}}).size(), 2u);
}

// A check box or drop-down whose bookmark starts in the field's empty result and ends after the
// field, as some word processors write it, names that field all the same.
TEST(DocxFeatures, ABookmarkStartingInAFormFieldsResultNamesTheField) {
    const auto field = [](const char* name, const char* id, const char* data, const char* code) {
        return std::string(
                   R"(<w:r><w:fldChar w:fldCharType="begin"><w:ffData><w:name w:val=""/><w:enabled/>)") +
               data + R"(</w:ffData></w:fldChar></w:r><w:r><w:instrText xml:space="preserve"> )" + code +
               R"( </w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r><w:bookmarkStart w:id=")" +
               id + R"(" w:name=")" + name + R"("/><w:bookmarkStart w:id="9)" + id +
               R"(" w:name="__Fieldmark__)" + id + R"("/><w:bookmarkEnd w:id="9)" + id +
               R"("/><w:r></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r><w:bookmarkEnd w:id=")" + id +
               R"("/>)";
    };
    const std::string document =
        R"(<?xml version="1.0" encoding="UTF-8"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body><w:p>)" +
        field("Agree", "1", R"(<w:checkBox><w:sizeAuto/></w:checkBox>)", "FORMCHECKBOX") +
        field("City", "2",
              R"(<w:ddList><w:listEntry w:val="Beijing"/><w:listEntry w:val="Shanghai"/></w:ddList>)",
              "FORMDROPDOWN") +
        R"(</w:p><w:p><w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText> PAGE </w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r><w:bookmarkStart w:id="3" w:name="Page"/><w:r><w:t>1</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r><w:bookmarkEnd w:id="3"/></w:p><w:sectPr/></w:body></w:document>)";
    const Bytes bytes = StoreZip({{"word/document.xml", document}});
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Find("Agree")->kind, engine::BookmarkKind::CheckBox);
    EXPECT_EQ(t->Find("City")->kind, engine::BookmarkKind::DropDown);
    EXPECT_EQ(t->Find("City")->entries, (std::vector<std::string>{"Beijing", "Shanghai"}));
    // Any other field's result stays its own.
    EXPECT_EQ(t->Find("Page")->refusal, "inside a field result");
    const std::string xml = EntryText(Made(*t, {{"Agree", "是"}, {"City", "shanghai"}}), "word/document.xml");
    EXPECT_NE(xml.find(R"(<w:sizeAuto/><w:checked w:val="1"/>)"), std::string::npos) << xml;
    EXPECT_NE(xml.find(R"(<w:result w:val="1"/>)"), std::string::npos) << xml;
}

// Word's own files, with bookmarks added where users put them: around the text of a text box
// (in both copies), and inside a content control in a text box.
TEST(DocxFeatures, WordFilesWithBookmarksAddedAreFilled) {
    QM_SKIP_WITHOUT_REALWORLD("docx");
    const std::vector<EditedWordFile> files = WordFilesWithBookmarksAdded(RealWorldFolder("docx"));
    ASSERT_EQ(files.size(), 2u);
    for (const EditedWordFile& f : files) {
        SCOPED_TRACE(f.file);
        const auto t = OpenDocx(f.bytes);
        ASSERT_TRUE(t);
        const engine::BookmarkInfo* b = t->Find(f.bookmark);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->story, "textbox");
        EXPECT_EQ(b->refusal, "");
        const Bytes made = Made(*t, {{f.bookmark, "filled 值"}, {"fefweefwe", "displaced"}});
        const std::string xml = EntryText(made, "word/document.xml");
        EXPECT_EQ(Count(xml, ">filled 值<"), 2u);
        EXPECT_EQ(BookmarkText(xml, f.bookmark), "filled 值");
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_buffer(xml.data(), xml.size()));
        const auto again = OpenDocx(made);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->VisibleNames(), t->VisibleNames());
    }
}

// Every .docx Word wrote opens, and every bookmark it lists that may be filled is filled.
TEST(DocxFeatures, EveryWordFileOpensAndFills) {
    QM_SKIP_WITHOUT_REALWORLD("docx");
    for (const std::string& file : RealWorldFiles("docx", ".docx")) {
        SCOPED_TRACE(file);
        const Bytes bytes = ReadBytes(file);
        const auto t = OpenDocx(bytes);
        ASSERT_TRUE(t);
        for (const engine::BookmarkInfo& b : t->bookmarks())
            if (!b.hidden) {
                EXPECT_EQ(b.refusal, "") << b.name;
            }
        const std::vector<Fill> fills = FillEverything(*t);
        const Bytes made = Made(*t, fills);
        EXPECT_TRUE(engine::VerifyDocxContainer(made));
        ASSERT_TRUE(ReadWithLibzip(made));
        // Every story's text is the template's with each filled bookmark's text replaced.
        std::map<std::string, std::string> values;
        for (const Fill& f : fills)
            if (t->Find(f.name)->kind == engine::BookmarkKind::Text) values.emplace(f.name, f.value);
        for (const engine::Skip& s : t->Skips(fills)) values.erase(s.name);
        const auto items = ReadWithLibzip(bytes);
        ASSERT_TRUE(items);
        for (const ZipItem& item : *items) {
            if (!item.name.starts_with("word/") || !item.name.ends_with(".xml")) continue;
            const std::string file = item.name.substr(5);
            if (!file.starts_with("document") && !file.starts_with("header") && !file.starts_with("footer") &&
                !file.starts_with("footnotes") && !file.starts_with("endnotes"))
                continue;
            EXPECT_EQ(PartText(EntryText(made, item.name)), PartText(item.data, &values)) << item.name;
        }
        const std::string xml = EntryText(made, "word/document.xml");
        for (const engine::BookmarkInfo& b : t->bookmarks()) {
            if (b.hidden || b.story != "main") continue;
            if (b.kind == engine::BookmarkKind::Text) {
                EXPECT_EQ(BookmarkText(xml, b.name), "«" + b.name + "»");
            } else if (b.kind == engine::BookmarkKind::CheckBox) {
                // Checked: the field's state follows its bookmark's start.
                const auto [begin, end] = BookmarkInterior(xml, b.name);
                ASSERT_NE(begin, std::string::npos) << b.name;
                const std::string inside = xml.substr(begin, end - begin);
                EXPECT_NE(inside.find(R"(<w:checked w:val="1"/>)"), std::string::npos) << b.name;
            }
        }
    }
}

}  // namespace
}  // namespace qm::test
