// Documents of one template joined into one .docx for a single conversion: what the join holds,
// and the templates whose pages would come out otherwise, which it refuses.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/word/engine/docx_test_support.h"
#include "word/engine/docx_join.h"

namespace qm::test {
namespace {

using engine::docx::JoinDocx;
using engine::docx::JoinedDocumentMark;

constexpr std::string_view kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><w:body>";
constexpr std::string_view kSection =
    "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId2\"/><w:pgSz w:w=\"11906\" w:h=\"16838\"/>"
    "<w:pgMar w:top=\"1440\" w:right=\"1800\" w:bottom=\"1440\" w:left=\"1800\"/><w:titlePg/></w:sectPr>";
constexpr std::string_view kTail = "</w:body></w:document>";
constexpr std::string_view kRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" "
    "Target=\"header1.xml\"/></Relationships>";
constexpr std::string_view kTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
    "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
constexpr std::string_view kHeader =
    "<w:hdr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:p><w:r><w:t>Page "
    "</w:t></w:r><w:fldSimple w:instr=\" PAGE \"><w:r><w:t>1</w:t></w:r></w:fldSimple></w:p></w:hdr>";

// A document of `body` with the usual parts; `header` and `section` as given.
Bytes Document(const std::string& body, std::string_view header = kHeader,
               std::string_view section = kSection,
               const std::vector<std::pair<std::string_view, std::string_view>>& more = {}) {
    static std::vector<std::string> keep;  // the views below must outlive StoreZip
    keep.push_back(std::string(kHead) + body + std::string(section) + std::string(kTail));
    std::vector<std::pair<std::string_view, std::string_view>> entries = {
        {"[Content_Types].xml", kTypes},
        {"word/document.xml", keep.back()},
        {"word/_rels/document.xml.rels", kRels},
        {"word/header1.xml", header}};
    entries.insert(entries.end(), more.begin(), more.end());
    return StoreZip(entries);
}

std::string Paragraph(const std::string& text) {
    return "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:t>" + text + "</w:t></w:r></w:p>";
}

std::size_t Count(const std::string& text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(DocxJoin, EachDocumentIsASectionOfItsOwnStartingAtPageOneWithItsMark) {
    const std::vector<Bytes> documents = {
        Document(Paragraph("Ann") + Paragraph("one")), Document(Paragraph("Bob") + Paragraph("two")),
        Document("<w:tbl><w:tr><w:tc>" + Paragraph("Cy") + "</w:tc></w:tr></w:tbl>" +
                 "<w:p/><w:bookmarkEnd w:id=\"7\"/>")};
    Bytes joined;
    std::string refusal;
    ASSERT_TRUE(JoinDocx(documents, joined, refusal)) << refusal;
    ASSERT_TRUE(ReadWithLibzip(joined).has_value());
    const std::string xml = EntryText(joined, "word/document.xml");
    pugi::xml_document parsed;
    ASSERT_TRUE(parsed.load_string(xml.c_str())) << xml;

    // The documents in order, each once, no paragraph added: a section ends in the document's
    // own last paragraph, so a page filled to its end does not spill onto a blank one.
    const std::size_t ann = xml.find("Ann"), bob = xml.find("Bob"), cy = xml.find("Cy");
    EXPECT_TRUE(ann < bob && bob < cy);
    EXPECT_EQ(Count(xml, "<w:p>") + Count(xml, "<w:p/>"), 6u);
    // Two section breaks and the last section: page numbers start at 1 in each, on a new page.
    EXPECT_EQ(Count(xml, "<w:sectPr>"), 3u);
    EXPECT_EQ(Count(xml, "<w:pgNumType w:start=\"1\"/>"), 3u);
    EXPECT_EQ(Count(xml, "<w:type w:val=\"nextPage\"/>"), 3u);
    EXPECT_EQ(Count(xml, "<w:titlePg/>"), 3u);
    EXPECT_EQ(Count(xml, "r:id=\"rId2\""), 3u);
    // The first document's section closes in its last paragraph, before the second begins.
    const std::size_t firstBreak = xml.find("<w:sectPr>");
    EXPECT_TRUE(ann < firstBreak && firstBreak < bob);
    EXPECT_LT(xml.find("one"), firstBreak);
    // Each document's mark is in its first paragraph, after the paragraph's properties.
    for (int n = 1; n <= 3; ++n) {
        const std::size_t mark = xml.find("w:name=\"" + JoinedDocumentMark(n) + "\"");
        ASSERT_NE(mark, std::string::npos) << n;
        EXPECT_LT(mark, (n == 1 ? ann : n == 2 ? bob : cy));
        EXPECT_GT(mark, n == 1 ? 0 : xml.find("Ann"));
    }
    EXPECT_EQ(JoinedDocumentMark(12).find_first_not_of(
                  "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"),
              std::string::npos);
    // Everything else is the first document's.
    EXPECT_EQ(EntryText(joined, "word/header1.xml"), std::string(kHeader));
}

TEST(DocxJoin, APageNumberingOfTheTemplatesKeepsItsFormatAndStartsAtOne) {
    const std::string section =
        "<w:sectPr><w:type w:val=\"oddPage\"/><w:pgSz w:w=\"11906\" w:h=\"16838\"/>"
        "<w:pgNumType w:fmt=\"upperRoman\" w:start=\"5\"/></w:sectPr>";
    const std::vector<Bytes> documents = {Document(Paragraph("a"), kHeader, section),
                                          Document(Paragraph("b"), kHeader, section)};
    Bytes joined;
    std::string refusal;
    ASSERT_TRUE(JoinDocx(documents, joined, refusal)) << refusal;
    const std::string xml = EntryText(joined, "word/document.xml");
    EXPECT_EQ(Count(xml, "<w:pgNumType w:fmt=\"upperRoman\" w:start=\"1\"/>"), 2u) << xml;
    EXPECT_EQ(Count(xml, "oddPage"), 0u);
}

TEST(DocxJoin, DocumentsWhosePagesWouldComeOutOtherwiseAreRefused) {
    const std::string footerWithCount =
        "<w:ftr "
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:p><w:r><w:fldChar "
        "w:fldCharType=\"begin\"/></w:r><w:r><w:instrText xml:space=\"preserve\"> NUMPAGES "
        "</w:instrText></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r></w:p></w:ftr>";
    const std::string pageInHeader =  // split over runs, with a switch: still only PAGE
        "<w:hdr "
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:p><w:r><w:instrText> "
        "PAGE </w:instrText></w:r><w:r><w:instrText>\\* MERGEFORMAT</w:instrText></w:r></w:p></w:hdr>";
    const std::string secondSection =
        Paragraph("a") +
        "<w:p><w:pPr><w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr></w:pPr></w:p>" +
        Paragraph("b");
    const std::string sided =
        "<w:settings "
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:evenAndOddHeaders/>"
        "</w:settings>";
    const std::string sidedOff =
        "<w:settings "
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:mirrorMargins "
        "w:val=\"0\"/></w:settings>";
    struct Case {
        const char* what;
        std::vector<Bytes> documents;
        const char* why;  // a word of the refusal; "" when the join is fine
    };
    const std::vector<Case> cases = {
        {"a page count in the footer",
         {Document(Paragraph("a"), kHeader, kSection, {{"word/footer1.xml", footerWithCount}}),
          Document(Paragraph("b"), kHeader, kSection, {{"word/footer1.xml", footerWithCount}})},
         "NUMPAGES"},
        {"a page number split over runs",
         {Document(Paragraph("a"), pageInHeader), Document(Paragraph("b"), pageInHeader)},
         ""},
        {"a reference to a bookmark every document has",
         {Document(Paragraph("a") + "<w:p><w:fldSimple w:instr=\" REF name \"/></w:p>"),
          Document(Paragraph("b") + "<w:p><w:fldSimple w:instr=\" REF name \"/></w:p>")},
         "REF"},
        {"footnotes",
         {Document("<w:p><w:r><w:footnoteReference w:id=\"1\"/></w:r></w:p>"), Document(Paragraph("b"))},
         "footnotes"},
        {"a numbered list",
         {Document("<w:p><w:pPr><w:numPr/></w:pPr></w:p>"), Document(Paragraph("b"))},
         "lists"},
        {"two sections", {Document(secondSection), Document(secondSection)}, "section"},
        {"a header that differs (a bookmark filled there)",
         {Document(Paragraph("a")), Document(Paragraph("b"), "<w:hdr/>")},
         "differ"},
        {"headers for left and right pages",
         {Document(Paragraph("a"), kHeader, kSection, {{"word/settings.xml", sided}}),
          Document(Paragraph("b"), kHeader, kSection, {{"word/settings.xml", sided}})},
         "left and right"},
        {"the same setting turned off",
         {Document(Paragraph("a"), kHeader, kSection, {{"word/settings.xml", sidedOff}}),
          Document(Paragraph("b"), kHeader, kSection, {{"word/settings.xml", sidedOff}})},
         ""},
        {"a body that ends in a table",
         {Document("<w:tbl><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl>"), Document(Paragraph("b"))},
         "paragraph"},
        {"a body in another prefix",
         {StoreZip({{"word/document.xml", "<document><body><p/></body></document>"}}),
          StoreZip({{"word/document.xml", "<document><body><p/></body></document>"}})},
         "usual"},
    };
    for (const Case& c : cases) {
        Bytes joined;
        std::string refusal;
        const bool ok = JoinDocx(c.documents, joined, refusal);
        if (std::string_view(c.why).empty()) {
            EXPECT_TRUE(ok) << c.what << ": " << refusal;
            continue;
        }
        EXPECT_FALSE(ok) << c.what;
        EXPECT_TRUE(joined.empty()) << c.what;
        EXPECT_NE(refusal.find(c.why), std::string::npos) << c.what << ": " << refusal;
    }
}

TEST(DocxJoin, EachDocumentsOwnPicturesKeepTheirOwnNamesInTheJoin) {
    const auto withPicture = [](const std::string& text, std::string_view picture) {
        static std::vector<std::string> keep;
        keep.push_back(
            "<?xml version=\"1.0\"?><Relationships "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
            "Id=\"rId2\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" "
            "Target=\"header1.xml\"/><Relationship Id=\"rIdQmPicture1\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" "
            "Target=\"media/qm-picture1.png\"/></Relationships>");
        keep.push_back(
            std::string(kHead) + "<w:p><w:r><w:t>" + text +
            "</w:t></w:r><w:r><w:drawing><a:blip r:embed=\"rIdQmPicture1\"/></w:drawing></w:r></w:p>" +
            std::string(kSection) + std::string(kTail));
        keep.push_back(
            "<?xml version=\"1.0\"?><Types "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Default Extension=\"png\" "
            "ContentType=\"image/png\"/></Types>");
        const std::string& types = keep.back();
        const std::string& document = keep[keep.size() - 2];
        const std::string& rels = keep[keep.size() - 3];
        return StoreZip({{"[Content_Types].xml", types},
                         {"word/document.xml", document},
                         {"word/_rels/document.xml.rels", rels},
                         {"word/header1.xml", kHeader},
                         {"word/media/qm-picture1.png", picture}});
    };
    const std::vector<Bytes> documents = {withPicture("Ann", "PNG-ANN"), Document(Paragraph("none")),
                                          withPicture("Bob", "PNG-BOB")};
    Bytes joined;
    std::string refusal;
    ASSERT_TRUE(JoinDocx(documents, joined, refusal)) << refusal;
    const auto items = ReadWithLibzip(joined);
    ASSERT_TRUE(items.has_value());
    const std::string xml = EntryText(joined, "word/document.xml");
    const std::string rels = EntryText(joined, "word/_rels/document.xml.rels");
    // Ann's picture under its name, Bob's under a name and relationship of its own.
    EXPECT_EQ(EntryText(joined, "word/media/qm-picture1.png"), "PNG-ANN");
    EXPECT_EQ(EntryText(joined, "word/media/qm-picture-3-1.png"), "PNG-BOB");
    EXPECT_NE(xml.find("r:embed=\"rIdQmPicture1\""), std::string::npos);
    const std::size_t bob = xml.find("r:embed=\"rIdQmPictureJ3N1\"");
    ASSERT_NE(bob, std::string::npos) << xml;
    EXPECT_GT(bob, xml.find("Bob"));
    EXPECT_NE(rels.find("Id=\"rIdQmPictureJ3N1\""), std::string::npos) << rels;
    EXPECT_NE(rels.find("Target=\"media/qm-picture-3-1.png\""), std::string::npos) << rels;
    EXPECT_EQ(Count(rels, "<Relationship "), 3u) << rels;
}

}  // namespace
}  // namespace qm::test
