// The .docx engine on bookmarks where Word writes their marks (between paragraphs, rows and cells,
// inside hyperlinks, tracked changes and form fields, touching, nested and overlapping, beside
// _GoBack): each case in a small package and in a copy of a file Word saved, listed, filled and
// read back part by part.

#include <gtest/gtest.h>

#include <map>

#include "tests/support/realworld.h"
#include "tests/word/engine/docx_layouts.h"
#include "tests/word/engine/docx_test_support.h"

namespace qm::test {
namespace {

using engine::Fill;
using layouts::Layout;

// The text of each paragraph of `xml` (w:t only), in document order.
std::vector<std::string> Lines(std::string_view xml) {
    pugi::xml_document doc;
    std::vector<std::string> lines;
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata))
        return {"<bad>"};
    for (const pugi::xpath_node& p : doc.select_nodes("//w:p")) {
        std::string line;
        for (const pugi::xpath_node& t : p.node().select_nodes(".//w:t")) line += t.node().child_value();
        lines.push_back(line);
    }
    return lines;
}

// Each bookmark's name once for its start and once for its end, "name" and "name/"; a start
// whose id has no end, or an id met twice, shows as "name?".
std::multiset<std::string> Marks(std::string_view xml) {
    pugi::xml_document doc;
    std::multiset<std::string> marks;
    if (!doc.load_buffer(xml.data(), xml.size())) return {"<bad>"};
    std::map<std::string, std::string> open;  // id → name
    for (const pugi::xpath_node& n : doc.select_nodes("//w:bookmarkStart | //w:bookmarkEnd")) {
        const std::string id = n.node().attribute("w:id").value();
        if (std::string_view(n.node().name()) == "w:bookmarkStart") {
            const std::string name = n.node().attribute("w:name").value();
            marks.insert(open.emplace(id, name).second ? name : name + "?");
        } else if (const auto it = open.find(id); it != open.end()) {
            marks.insert(it->second + "/");
            open.erase(it);
        } else {
            marks.insert(id + "?/");
        }
    }
    for (const auto& [id, name] : open) marks.insert(name + "?");
    return marks;
}

std::vector<std::string> Refused(const engine::Template& t) {
    std::vector<std::string> out;
    for (const engine::BookmarkInfo& b : t.bookmarks())
        if (!b.hidden && !b.refusal.empty()) out.push_back(b.name + ": " + b.refusal);
    return out;
}

std::vector<std::string> NotesOf(const engine::Template& t, const std::vector<engine::Fill>& fills) {
    std::vector<std::string> out;
    for (const engine::Note& n : t.Notes(fills))
        out.push_back(n.cause == engine::Note::Cause::Overlap
                          ? n.name + " overlap " + n.other
                          : n.name + " too long " + std::to_string(n.limit));
    return out;
}

// Where a case is tried: its own small package, or a copy of a file Word saved with the case's
// body added at the end of its own.
struct Host {
    std::string name;
    std::vector<std::string> lines;  // the host's own paragraphs, before the case's
    std::function<Bytes(const std::string& body)> make;
};

std::vector<Host> Hosts() {
    std::vector<Host> hosts;
    hosts.push_back({"package", {}, [](const std::string& body) {
                         return layouts::PackageOf(layouts::DocumentOf(body));
                     }});
    const Bytes word = ReadBytes(RealWorldFolder("docx") + "/testWORD.docx");
    auto entries = ReadWithLibzip(word);
    if (word.empty() || !entries) return hosts;
    std::string main;
    for (const ZipItem& item : *entries)
        if (item.name == "word/document.xml") main = item.data;
    hosts.push_back({"testWORD.docx", Lines(main), [entries = *entries](const std::string& body) {
                         std::vector<ZipItem> items = entries;
                         std::vector<std::pair<std::string_view, std::string_view>> views;
                         for (ZipItem& item : items) {
                             if (item.name == "word/document.xml")
                                 item.data.insert(item.data.rfind("<w:sectPr"), body);
                             if (item.name == "word/_rels/document.xml.rels")
                                 item.data.insert(
                                     item.data.rfind("</Relationships>"),
                                     R"(<Relationship Id="rId9" Type="http://schemas.openxmlformats.)"
                                     R"(org/officeDocument/2006/relationships/hyperlink" )"
                                     R"(Target="http://example.com/" TargetMode="External"/>)");
                             views.emplace_back(item.name, item.data);
                         }
                         return StoreZip(views);
                     }});
    return hosts;
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(DocxLayouts, WordsOwnMarksAreFilledWhereTheirTextIs) {
    const std::vector<Host> hosts = Hosts();
    if (hosts.size() < 2)
        std::cout << "(" << RealWorldMissing("docx") << ": only the small package is tried)\n";
    for (const Host& host : hosts) {
        for (const Layout& layout : layouts::WordLayouts()) {
            SCOPED_TRACE(host.name + ": " + layout.name);
            const Bytes bytes = host.make(layout.body);
            const auto t = OpenDocx(bytes);
            ASSERT_TRUE(t);
            EXPECT_EQ(Refused(*t), layout.refused);
            const std::string original = EntryText(bytes, "word/document.xml");
            EXPECT_EQ(Lines(original), Joined(host.lines, layout.lines)) << "the case's own fixture";
            const std::multiset<std::string> marks = Marks(original);
            for (const layouts::Filled& run : layout.runs) {
                std::string fills;
                for (const engine::Fill& f : run.fills) fills += " " + f.name + "=" + f.value;
                SCOPED_TRACE("fills:" + fills);
                Bytes made;
                std::string error;
                ASSERT_TRUE(t->Make(run.fills, made, error)) << error;
                ASSERT_TRUE(engine::VerifyDocxContainer(made));
                const std::string xml = EntryText(made, "word/document.xml");
                EXPECT_EQ(Lines(xml), Joined(host.lines, run.lines));
                for (const auto& [name, text] : run.texts) EXPECT_EQ(BookmarkText(xml, name), text) << name;
                EXPECT_EQ(Marks(xml), marks) << "every bookmark kept, once";
                EXPECT_EQ(NotesOf(*t, run.fills), run.notes);
                // States: a check box's and a drop-down's settings follow its bookmark's start.
                for (const engine::Fill& f : run.fills) {
                    const engine::BookmarkInfo* b = t->Find(f.name);
                    ASSERT_TRUE(b) << f.name;
                    if (b->kind == engine::BookmarkKind::Text) continue;
                    const auto [begin, end] = BookmarkInterior(xml, f.name);
                    ASSERT_NE(begin, std::string::npos) << f.name;
                    const std::string inside = xml.substr(begin, end - begin);
                    const std::string state =
                        b->kind == engine::BookmarkKind::CheckBox
                            ? R"(<w:checked w:val=")" +
                                  std::string(*engine::CheckBoxState(f.value) ? "1" : "0")
                            : R"(<w:result w:val=")" +
                                  std::to_string(engine::DropDownEntry(b->entries, f.value));
                    EXPECT_NE(inside.find(state), std::string::npos) << f.name << ": " << inside;
                }
                // What was made is a template again, with the same bookmarks.
                const auto again = OpenDocx(made);
                ASSERT_TRUE(again);
                EXPECT_EQ(again->VisibleNames(), t->VisibleNames());
            }
        }
    }
}

// A part is used byte for byte where nothing moves or nothing is filled in it; where Word put a
// mark between cells, the filled part has it at the start of the next cell's paragraph.
TEST(DocxLayouts, MarksMoveOnlyWhereWordPutThemOutsideTheText) {
    using namespace layouts;
    const std::string inPlace = P(BS(0, "A") + R("x") + BE(0)) + P(BS(1, "B") + R("y") + BE(1));
    const auto t = OpenDocx(PackageOf(DocumentOf(inPlace)));
    ASSERT_TRUE(t);
    Bytes made;
    std::string error;
    ASSERT_TRUE(t->Make(std::vector<Fill>{{"A", "v"}}, made, error)) << error;
    std::string expected = DocumentOf(inPlace);
    expected.replace(expected.find(R("x")), R("x").size(), R"(<w:r><w:t xml:space="preserve">v</w:t></w:r>)");
    EXPECT_EQ(EntryText(made, "word/document.xml"), expected);

    const std::string between = Tbl(Tr(Tc(P(R("a"))) + BS(5, "C") + Tc(P(R("b") + BE(5)))));
    const Bytes bytes = PackageOf(DocumentOf(between));
    const auto u = OpenDocx(bytes);
    ASSERT_TRUE(u);
    ASSERT_TRUE(u->Make({}, made, error)) << error;
    EXPECT_EQ(made, bytes);
    ASSERT_TRUE(u->Make(std::vector<Fill>{{"C", "v"}}, made, error)) << error;
    const std::string xml = EntryText(made, "word/document.xml");
    EXPECT_NE(xml.find(R"(w:rsidP="00E16F4C"><w:bookmarkStart w:id="905" w:name="C"/><w:r>)"),
              std::string::npos)
        << xml;
    EXPECT_EQ(xml.find(R"(</w:tc><w:bookmarkStart)"), std::string::npos);
}

// The two Word-made forms: every bookmark filled, the check boxes set by the value.
TEST(DocxLayouts, WordFormsOfTheRealWorldFolderAreFilledWhole) {
    QM_SKIP_WITHOUT_REALWORLD("docx");
    for (const char* name : {"014760.docx", "017091.docx"}) {
        SCOPED_TRACE(name);
        const Bytes bytes = ReadBytes(RealWorldFolder("docx") + "/" + name);
        ASSERT_FALSE(bytes.empty());
        const auto t = OpenDocx(bytes);
        ASSERT_TRUE(t);
        EXPECT_EQ(Refused(*t), std::vector<std::string>{});
        for (const bool on : {true, false}) {
            std::vector<engine::Fill> fills;
            for (const engine::BookmarkInfo& b : t->bookmarks())
                fills.push_back(
                    {b.name, b.kind == engine::BookmarkKind::CheckBox ? (on ? "是" : "否") : "值" + b.name});
            Bytes made;
            std::string error;
            ASSERT_TRUE(t->Make(fills, made, error)) << error;
            const std::string xml = EntryText(made, "word/document.xml");
            const std::string original = EntryText(bytes, "word/document.xml");
            EXPECT_EQ(Marks(xml), Marks(original));
            for (const engine::BookmarkInfo& b : t->bookmarks()) {
                if (b.kind == engine::BookmarkKind::Text) {
                    EXPECT_EQ(BookmarkText(xml, b.name), "值" + b.name);
                    continue;
                }
                const auto [begin, end] = BookmarkInterior(xml, b.name);
                ASSERT_NE(begin, std::string::npos) << b.name;
                EXPECT_NE(xml.substr(begin, end - begin)
                              .find(on ? R"(<w:checked w:val="1"/>)" : R"(<w:checked w:val="0"/>)"),
                          std::string::npos)
                    << b.name;
            }
            // The text around the fields is the template's: only the fields' results changed.
            const std::vector<std::string> before = Lines(original), after = Lines(xml);
            ASSERT_EQ(before.size(), after.size());
            std::size_t changed = 0;
            for (std::size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
            EXPECT_EQ(changed, std::string(name) == "014760.docx" ? 3u : 0u);
        }
    }
}

// Everything outside the values stays: in every story of every template at hand (the test
// templates, the samples, the real-world files and the layouts above), filled whole, the text is
// the template's with each filled bookmark's text replaced by its value.
TEST(DocxLayouts, EveryStoryKeepsItsTextOutsideTheValues) {
    std::vector<std::pair<std::string, Bytes>> templates;
    for (const char* name : {"shapes.docx", "features.docx", "prefixed.docx", "elsewhere.docx"})
        templates.emplace_back(name, ReadBytes(DocxFixture(name)));
    for (const fs::path& sample : SampleDocxTemplates())
        templates.emplace_back(sample.filename(), ReadBytes(sample));
    for (const std::string& file : RealWorldFiles("docx", ".docx"))
        templates.emplace_back(fs::path(file).filename(), ReadBytes(file));
    for (const Layout& layout : layouts::WordLayouts())
        templates.emplace_back(layout.name, layouts::PackageOf(layouts::DocumentOf(layout.body)));
    for (const auto& [name, bytes] : templates) {
        SCOPED_TRACE(name);
        const auto t = OpenDocx(bytes);
        ASSERT_TRUE(t);
        // Text bookmarks only (a check box's glyph changes with its state), each stored once (a
        // second one of a name is not filled).
        const auto items = ReadWithLibzip(bytes);
        ASSERT_TRUE(items);
        std::map<std::string, int> stored;
        for (const ZipItem& item : *items)
            for (std::size_t at = item.data.find("bookmarkStart "); at != std::string::npos;
                 at = item.data.find("bookmarkStart ", at + 1)) {
                const std::size_t name = item.data.find("name=\"", at);
                if (name < item.data.find('>', at))
                    ++stored[item.data.substr(name + 6, item.data.find('"', name + 6) - name - 6)];
            }
        std::vector<Fill> fills;
        for (const Fill& f : FillEverything(*t, "\t1"))
            if (t->Find(f.name)->kind == engine::BookmarkKind::Text && stored[f.name] == 1)
                fills.push_back(f);
        Bytes made;
        std::string error;
        ASSERT_TRUE(t->Make(fills, made, error)) << error;
        std::map<std::string, std::string> values;
        for (const Fill& f : fills)
            if (t->Find(f.name)->kind == engine::BookmarkKind::Text) values.emplace(f.name, f.value);
        for (const engine::Skip& s : t->Skips(fills)) values.erase(s.name);
        for (const ZipItem& item : *items) {
            const std::string_view file = std::string_view(item.name).substr(item.name.rfind('/') + 1);
            if (!item.name.ends_with(".xml") ||
                !(file.starts_with("document") || file.starts_with("header") || file.starts_with("footer") ||
                  file.starts_with("footnotes") || file.starts_with("endnotes") || file.starts_with("main") ||
                  file.starts_with("top")))
                continue;
            EXPECT_EQ(PartText(EntryText(made, item.name)), PartText(item.data, &values)) << item.name;
        }
    }
}

}  // namespace
}  // namespace qm::test
