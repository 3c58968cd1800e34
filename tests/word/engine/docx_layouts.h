#pragma once
// Bookmarks where Word writes their marks, as cases: a piece of a document body in Word's own
// markup (rsid attributes, marks between paragraphs, rows and cells, inside hyperlinks, tracked
// changes and form fields, touching and nested pairs, Word's hidden _GoBack), what a template
// made of it lists, and what documents filled from it hold. The engine tests read the made parts
// themselves; the office tests have the office, python-docx and pandoc read them.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/word/engine/store_zip.h"
#include "word/engine/template.h"

namespace qm::test::layouts {

// One fill of a case's template and what the document then holds.
struct Filled {
    std::vector<engine::Fill> fills;
    // The text of each paragraph of the body (w:t only, the paragraphs of cells in order), after
    // the fill.
    std::vector<std::string> lines;
    // Bookmarks and the text they span after the fill.
    std::vector<std::pair<std::string, std::string>> texts;
    // What Template::Notes says of the fill: "Name overlap Other", "Name too long 3".
    std::vector<std::string> notes;
};

struct Layout {
    std::string name;
    std::string body;
    // "Name: why" for each bookmark left as in the template; every other one can be filled.
    std::vector<std::string> refused;
    std::vector<std::string> lines;  // the text of each paragraph of the template
    std::vector<Filled> runs;
};

// ---- Word's markup ----

inline std::string R(std::string_view text) {
    const bool space = !text.empty() && (text.front() == ' ' || text.back() == ' ');
    return std::string(R"(<w:r w:rsidRPr="00D41A2B"><w:t)") + (space ? R"( xml:space="preserve")" : "") +
           ">" + std::string(text) + "</w:t></w:r>";
}
inline std::string DeletedRun(std::string_view text) {
    return R"(<w:r w:rsidDel="00B20C3D"><w:delText xml:space="preserve">)" + std::string(text) +
           "</w:delText></w:r>";
}
inline std::string P(std::string_view content) {
    return R"(<w:p w:rsidR="00D41A2B" w:rsidRDefault="00D41A2B" w:rsidP="00E16F4C">)" + std::string(content) +
           "</w:p>";
}
inline std::string P(std::string_view properties, std::string_view content) {
    return P("<w:pPr>" + std::string(properties) + "</w:pPr>" + std::string(content));
}
inline std::string EmptyP() {
    return R"(<w:p w:rsidR="00D41A2B" w:rsidRDefault="00D41A2B"/>)";
}
// Ids from 900 up, above those of the Word file a case is added to.
inline std::string BS(int id, std::string_view name) {
    return R"(<w:bookmarkStart w:id=")" + std::to_string(900 + id) + R"(" w:name=")" + std::string(name) +
           R"("/>)";
}
inline std::string BE(int id) {
    return R"(<w:bookmarkEnd w:id=")" + std::to_string(900 + id) + R"("/>)";
}
inline std::string Tc(std::string_view content) {
    return R"(<w:tc><w:tcPr><w:tcW w:w="4261" w:type="dxa"/></w:tcPr>)" + std::string(content) + "</w:tc>";
}
inline std::string Tr(std::string_view content) {
    return R"(<w:tr w:rsidR="00D41A2B" w:rsidTr="00E16F4C">)" + std::string(content) + "</w:tr>";
}
inline std::string Tbl(std::string_view content) {
    return R"(<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/></w:tblPr>)"
           R"(<w:tblGrid><w:gridCol w:w="4261"/><w:gridCol w:w="4261"/></w:tblGrid>)" +
           std::string(content) + "</w:tbl>";
}
inline std::string Ins(int id, std::string_view content) {
    return R"(<w:ins w:id=")" + std::to_string(900 + id) +
           R"(" w:author="Li Wei" w:date="2024-03-01T10:00:00Z">)" + std::string(content) + "</w:ins>";
}
inline std::string Del(int id, std::string_view content) {
    return R"(<w:del w:id=")" + std::to_string(900 + id) +
           R"(" w:author="Li Wei" w:date="2024-03-01T10:00:00Z">)" + std::string(content) + "</w:del>";
}
inline std::string Link(std::string_view content) {
    return R"(<w:hyperlink r:id="rId9" w:history="1">)" + std::string(content) + "</w:hyperlink>";
}
// A legacy form field as Word writes it, its bookmark's start right after the begin character.
inline std::string FormText(int id, std::string_view name, std::string_view shown,
                            std::string_view extra = "") {
    return R"(<w:r><w:fldChar w:fldCharType="begin"><w:ffData><w:name w:val=")" + std::string(name) +
           R"("/><w:enabled/><w:calcOnExit w:val="0"/><w:textInput>)" + std::string(extra) +
           R"(</w:textInput></w:ffData></w:fldChar></w:r>)" + BS(id, name) +
           R"(<w:r><w:instrText xml:space="preserve"> FORMTEXT </w:instrText></w:r>)"
           R"(<w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:rPr><w:noProof/></w:rPr><w:t>)" +
           std::string(shown) + R"(</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r>)" + BE(id);
}
inline std::string FormCheck(int id, std::string_view name) {
    return R"(<w:r><w:fldChar w:fldCharType="begin"><w:ffData><w:name w:val=")" + std::string(name) +
           R"("/><w:enabled/><w:calcOnExit w:val="0"/><w:checkBox><w:sizeAuto/><w:default w:val="0"/>)"
           R"(</w:checkBox></w:ffData></w:fldChar></w:r>)" +
           BS(id, name) + R"(<w:r><w:instrText xml:space="preserve"> FORMCHECKBOX </w:instrText></w:r>)" +
           R"(<w:r><w:fldChar w:fldCharType="end"/></w:r>)" + BE(id);
}
inline std::string FormList(int id, std::string_view name) {
    return R"(<w:r><w:fldChar w:fldCharType="begin"><w:ffData><w:name w:val=")" + std::string(name) +
           R"("/><w:enabled/><w:calcOnExit w:val="0"/><w:ddList><w:listEntry w:val="North"/>)"
           R"(<w:listEntry w:val="South"/></w:ddList></w:ffData></w:fldChar></w:r>)" +
           BS(id, name) + R"(<w:r><w:instrText xml:space="preserve"> FORMDROPDOWN </w:instrText></w:r>)" +
           R"(<w:r><w:fldChar w:fldCharType="end"/></w:r>)" + BE(id);
}

inline const char* kEnSpaces = "\xE2\x80\x82\xE2\x80\x82\xE2\x80\x82\xE2\x80\x82\xE2\x80\x82";

// ---- the cases ----

inline std::vector<Layout> WordLayouts() {
    std::vector<Layout> all;
    // Marks between paragraphs, as children of w:body.
    all.push_back({"end after its paragraph, a paragraph following: the mark goes too",
                   P(BS(0, "Addr") + R("old")) + BE(0) + P(R("next")),
                   {},
                   {"old", "next"},
                   {{{{"Addr", "V"}}, {"Vnext"}, {{"Addr", "V"}}, {}}}});
    all.push_back({"end after the last paragraph: the body's last mark stays",
                   P(R("before")) + P(BS(0, "Addr") + R("old")) + BE(0),
                   {},
                   {"before", "old"},
                   {{{{"Addr", "V"}}, {"before", "V"}, {{"Addr", "V"}}, {}}}});
    all.push_back({"start before its paragraph",
                   P(R("a")) + BS(0, "Name") + P(R("old") + BE(0) + R(" rest")),
                   {},
                   {"a", "old rest"},
                   {{{{"Name", "V"}}, {"a", "V rest"}, {{"Name", "V"}}, {}}}});
    all.push_back({"start before an empty paragraph",
                   P(R("a")) + BS(0, "Name") + EmptyP() + P(R("b") + BE(0)),
                   {},
                   {"a", "", "b"},
                   {{{{"Name", "V"}}, {"a", "V"}, {{"Name", "V"}}, {}}}});
    all.push_back({"a point between two paragraphs",
                   P(R("a")) + BS(0, "Here") + BE(0) + P(R("b")),
                   {},
                   {"a", "b"},
                   {{{{"Here", "V"}}, {"a", "Vb"}, {{"Here", "V"}}, {}}}});
    // Marks between rows and cells, as children of w:tbl, w:tr and w:tc.
    all.push_back({"start between two cells (w:tr)",
                   Tbl(Tr(Tc(P(R("label"))) + BS(0, "Cell") + Tc(P(R("old") + BE(0))))),
                   {},
                   {"label", "old"},
                   {{{{"Cell", "V"}}, {"label", "V"}, {{"Cell", "V"}}, {}}}});
    all.push_back({"start in a cell before its paragraph (w:tc)",
                   Tbl(Tr(Tc(BS(0, "Cell") + P(R("old") + BE(0))) + Tc(P(R("other"))))),
                   {},
                   {"old", "other"},
                   {{{{"Cell", "V"}}, {"V", "other"}, {{"Cell", "V"}}, {}}}});
    all.push_back({"end after a cell (w:tr): the cell's text",
                   Tbl(Tr(Tc(P(BS(0, "Cell") + R("old"))) + BE(0) + Tc(P(R("other"))))),
                   {},
                   {"old", "other"},
                   {{{{"Cell", "V"}}, {"V", "other"}, {{"Cell", "V"}}, {}}}});
    all.push_back({"start before a row, end after it (w:tbl), one cell",
                   Tbl(BS(0, "Row") + Tr(Tc(P(R("old")))) + BE(0)),
                   {},
                   {"old"},
                   {{{{"Row", "V"}}, {"V"}, {{"Row", "V"}}, {}}}});
    all.push_back({"two paragraphs of one cell, the end after the last",
                   Tbl(Tr(Tc(BS(0, "Cell") + P(R("one")) + P(R("two")) + BE(0)) + Tc(P(R("other"))))),
                   {},
                   {"one", "two", "other"},
                   {{{{"Cell", "V"}}, {"V", "other"}, {{"Cell", "V"}}, {}}}});
    all.push_back({"across two cells",
                   Tbl(Tr(Tc(P(BS(0, "Across") + R("x"))) + Tc(P(R("y") + BE(0))))),
                   {"Across: spans a table cell"},
                   {"x", "y"},
                   {{{{"Across", "V"}}, {"x", "y"}, {}, {}}}});
    // Marks in block containers: w:sdtContent, w:customXml.
    all.push_back({"around the paragraph of a block content control (w:sdtContent)",
                   R"(<w:sdt><w:sdtPr><w:id w:val="-1183966"/></w:sdtPr><w:sdtContent>)" + BS(0, "Ctl") +
                       P(R("old")) + BE(0) + "</w:sdtContent></w:sdt>",
                   {},
                   {"old"},
                   {{{{"Ctl", "V"}}, {"V"}, {{"Ctl", "V"}}, {}}}});
    all.push_back({"around the paragraph of block custom XML (w:customXml)",
                   R"(<w:customXml w:uri="urn:letters" w:element="address">)" + BS(0, "Xml") + P(R("old")) +
                       BE(0) + "</w:customXml>",
                   {},
                   {"old"},
                   {{{{"Xml", "V"}}, {"V"}, {{"Xml", "V"}}, {}}}});
    // Marks in run containers: w:hyperlink, w:smartTag, w:fldSimple, tracked changes.
    all.push_back({"inside a hyperlink's shown text",
                   P(R("see ") + Link(BS(0, "Link") + R("old") + BE(0)) + R(".")),
                   {},
                   {"see old."},
                   {{{{"Link", "V"}}, {"see V."}, {{"Link", "V"}}, {}}}});
    all.push_back({"from inside a hyperlink to after it",
                   P(Link(R("link ") + BS(0, "Part") + R("old")) + R(" after") + BE(0) + R("!")),
                   {},
                   {"link old after!"},
                   {{{{"Part", "V"}}, {"link V!"}, {{"Part", "V"}}, {}}}});
    all.push_back({"inside a smart tag",
                   P(R"(<w:smartTag w:uri="urn:schemas-microsoft-com:office:smarttags" w:element="place">)" +
                     BS(0, "Tag") + R("old") + BE(0) + "</w:smartTag>" + R("!")),
                   {},
                   {"old!"},
                   {{{{"Tag", "V"}}, {"V!"}, {{"Tag", "V"}}, {}}}});
    all.push_back({"inside a simple hyperlink field's result",
                   P(R"(<w:fldSimple w:instr=" HYPERLINK &quot;http://example.com/&quot; ">)" +
                     BS(0, "Shown") + R("old") + BE(0) + "</w:fldSimple>"),
                   {},
                   {"old"},
                   {{{{"Shown", "V"}}, {"V"}, {{"Shown", "V"}}, {}}}});
    all.push_back(
        {"inside a hyperlink field's result",
         P(R"(<w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText xml:space="preserve"> )"
           R"(HYPERLINK "http://example.com/" </w:instrText></w:r>)"
           R"(<w:r><w:fldChar w:fldCharType="separate"/></w:r>)" +
           BS(0, "Shown") + R("old") + BE(0) + R"(<w:r><w:fldChar w:fldCharType="end"/></w:r>)"),
         {},
         {"old"},
         {{{{"Shown", "V"}}, {"V"}, {{"Shown", "V"}}, {}}}});
    all.push_back(
        {"inside a field the reader computes again",
         P(R"(<w:fldSimple w:instr=" NUMPAGES ">)" + BS(0, "Pages") + R("3") + BE(0) + "</w:fldSimple>"),
         {"Pages: inside a field result"},
         {"3"},
         {}});
    all.push_back({"inside an insertion",
                   P(Ins(31, R("keep ") + BS(0, "New") + R("old") + BE(0) + R(" tail"))),
                   {},
                   {"keep old tail"},
                   {{{{"New", "V"}}, {"keep V tail"}, {{"New", "V"}}, {}}}});
    all.push_back({"from an insertion to after it",
                   P(Ins(32, R("keep ") + BS(0, "New") + R("old")) + R(" plain") + BE(0) + R("!")),
                   {},
                   {"keep old plain!"},
                   {{{{"New", "V"}}, {"keep V!"}, {{"New", "V"}}, {}}}});
    all.push_back({"in deleted text",
                   P(R("a") + Del(33, BS(0, "Gone") + DeletedRun("gone") + BE(0)) + R("b")),
                   {},
                   {"ab"},
                   {{{{"Gone", "V"}}, {"aVb"}, {{"Gone", "V"}}, {}}}});
    all.push_back(
        {"from before a deletion into it",
         P(BS(0, "Into") + R("x") + Del(34, DeletedRun("gone") + BE(0) + DeletedRun("kept")) + R("y")),
         {},
         {"xy"},
         {{{{"Into", "V"}}, {"Vy"}, {{"Into", "V"}}, {}}}});
    all.push_back({"across paragraphs, ending in an insertion",
                   P(BS(0, "Over") + R("one")) + P(Ins(35, R("two") + BE(0) + R(" three"))),
                   {},
                   {"one", "two three"},
                   {{{{"Over", "V"}}, {"V three"}, {{"Over", "V"}}, {}}}});
    // Legacy form fields as Word writes them, in table cells.
    all.push_back({"form fields in cells",
                   Tbl(Tr(Tc(P(FormText(0, "Text1", kEnSpaces))) + Tc(P(FormCheck(1, "Check1")))) +
                       Tr(Tc(P(FormList(2, "Drop1"))) +
                          Tc(P(FormText(3, "Text2", kEnSpaces, R"(<w:maxLength w:val="3"/>)"))))),
                   {},
                   {kEnSpaces, "", "", kEnSpaces},
                   {{{{"Text1", "V"}, {"Check1", "1"}, {"Drop1", "South"}, {"Text2", "long"}},
                     {"V", "", "", "long"},
                     {},
                     {"Text2 too long 3"}},
                    {{{"Check1", "0"}}, {kEnSpaces, "", "", kEnSpaces}, {}, {}}}});
    // Touching and nested: a letterhead's X_DIF runs from the start of one paragraph to the start
    // of the next and holds X; the next Y_DIF starts where it ends, its start mark before or
    // after the end mark.
    for (const bool startFirst : {true, false}) {
        const std::string meet = startFirst ? BS(3, "Tel_DIF") + BE(1) : BE(1) + BS(3, "Tel_DIF");
        all.push_back(
            {startFirst ? "letterhead lines, the next start mark before the end mark"
                        : "letterhead lines, the end mark before the next start mark",
             P(R"(<w:spacing w:after="0"/>)",
               BS(1, "Fax_DIF") + R("Fax ") + BS(2, "Fax") + R("123") + BE(2)) +
                 P(R"(<w:jc w:val="center"/>)", meet + R("Tel ") + BS(4, "Tel") + R("456") + BE(4)) +
                 P(R"(<w:jc w:val="right"/>)", BE(3) + R("end")),
             {},
             {"Fax 123", "Tel 456", "end"},
             {{{{"Fax", "F"}, {"Tel", "T"}}, {"Fax F", "Tel T", "end"}, {{"Fax", "F"}, {"Tel", "T"}}, {}},
              {{{"Fax_DIF", ""}}, {"Tel 456", "end"}, {{"Fax_DIF", ""}, {"Tel", "456"}}, {}},
              {{{"Fax_DIF", ""}, {"Tel_DIF", ""}}, {"end"}, {{"Fax_DIF", ""}, {"Tel_DIF", ""}}, {}},
              {{{"Fax", "F"}, {"Fax_DIF", "X"}}, {"XTel 456", "end"}, {{"Fax_DIF", "X"}, {"Fax", ""}}, {}}}});
    }
    // Word's _GoBack inside, at the edge of and across a user's bookmark.
    all.push_back({"_GoBack inside, at the end of and across user bookmarks",
                   P(BS(0, "In") + R("ol") + BS(1, "_GoBack") + BE(1) + R("d") + BE(0)) +
                       P(BS(2, "Edge") + R("old") + BE(2) + BS(3, "_GoBack2") + BE(3) + R("!")) +
                       P(BS(4, "Across") + R("ol") + BS(5, "_Hlt1") + R("d") + BE(4) + R(" x") + BE(5)),
                   {},
                   {"old", "old!", "old x"},
                   {{{{"In", "V"}, {"Edge", "W"}, {"Across", "U"}},
                     {"V", "W!", "U x"},
                     {{"In", "V"}, {"Edge", "W"}, {"Across", "U"}, {"_GoBack", ""}, {"_Hlt1", "U x"}},
                     {}}}});
    // Two user bookmarks that truly overlap: filled in the order of the fills.
    all.push_back(
        {"overlapping bookmarks",
         P(BS(0, "Left") + R("ab") + BS(1, "Right") + R("cd") + BE(0) + R("ef") + BE(1)),
         {},
         {"abcdef"},
         {{{{"Left", "L"}}, {"Lef"}, {{"Left", "L"}, {"Right", "ef"}}, {}},
          {{{"Right", "R"}}, {"abR"}, {{"Left", "ab"}, {"Right", "R"}}, {}},
          {{{"Left", "L"}, {"Right", "R"}}, {"LR"}, {{"Left", "L"}, {"Right", "R"}}, {"Right overlap Left"}},
          {{{"Right", "R"}, {"Left", "L"}},
           {"LR"},
           {{"Left", "L"}, {"Right", "R"}},
           {"Left overlap Right"}}}});
    return all;
}

// A package around `document` (a whole main part) with the parts a Word file has at least.
inline std::vector<std::uint8_t> PackageOf(std::string_view document) {
    return StoreZip(
        {{"[Content_Types].xml",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
          R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
          R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
          R"(<Default Extension="xml" ContentType="application/xml"/>)"
          R"(<Override PartName="/word/document.xml" ContentType="application/)"
          R"(vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>)"},
         {"_rels/.rels",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
          R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
          R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/)"
          R"(officeDocument" Target="word/document.xml"/></Relationships>)"},
         {"word/_rels/document.xml.rels",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
          R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
          R"(<Relationship Id="rId9" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/)"
          R"(hyperlink" Target="http://example.com/" TargetMode="External"/></Relationships>)"},
         {"word/document.xml", document}});
}

// A main part holding `body`, with the namespaces Word declares.
inline std::string DocumentOf(std::string_view body) {
    return std::string(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)") + "\r\n" +
           R"(<w:document xmlns:wpc="http://schemas.microsoft.com/office/word/2010/wordprocessingCanvas" )"
           R"(xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" )"
           R"(xmlns:o="urn:schemas-microsoft-com:office:office" )"
           R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" )"
           R"(xmlns:m="http://schemas.openxmlformats.org/officeDocument/2006/math" xmlns:v="urn:schemas-microsoft-com:vml" )"
           R"(xmlns:w10="urn:schemas-microsoft-com:office:word" )"
           R"(xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" )"
           R"(xmlns:w14="http://schemas.microsoft.com/office/word/2010/wordml" mc:Ignorable="w14">)"
           R"(<w:body>)" +
           std::string(body) +
           R"(<w:sectPr w:rsidR="00D41A2B"><w:pgSz w:w="11906" w:h="16838"/><w:pgMar w:top="1440" )"
           R"(w:right="1800" w:bottom="1440" w:left="1800" w:header="851" w:footer="992" w:gutter="0"/>)"
           R"(</w:sectPr></w:body></w:document>)";
}

}  // namespace qm::test::layouts
