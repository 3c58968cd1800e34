// Bookmarks added at random places of Word's own files, wherever WordprocessingML lets a mark
// stand (between paragraphs, rows and cells, between the runs of paragraphs, hyperlinks and
// tracked changes), and Word's _GoBack beside them: every template opens, every document is made
// and reads back whole, every bookmark is kept, and the text outside the values is the
// template's. QM_RANDOM_MARKS sets how many templates each file gives (default 60).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "tests/support/realworld.h"
#include "tests/word/engine/docx_test_support.h"

namespace qm::test {
namespace {

using engine::Fill;

bool TakesMarks(std::string_view local) {
    static const char* const kParents[] = {"body",       "tbl",       "tr",        "tc",         "p",
                                           "sdtContent", "customXml", "hyperlink", "smartTag",   "ins",
                                           "del",        "moveFrom",  "moveTo",    "txbxContent"};
    for (const char* p : kParents)
        if (local == p) return true;
    return false;
}

// Every place of `xml` where a bookmark mark may be written, in document order; `forStart`: not
// at the end of a cell, row or other block container, where Word writes no start mark.
std::vector<std::size_t> Gaps(const std::string& xml, bool forStart) {
    pugi::xml_document doc;
    std::vector<std::size_t> gaps;
    if (!doc.load_buffer(xml.data(), xml.size())) return gaps;
    const std::function<void(pugi::xml_node)> walk = [&](pugi::xml_node n) {
        const bool takes = n.type() == pugi::node_element && TakesMarks(LocalName(n.name()));
        for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element) continue;
            const std::string_view local = LocalName(c.name());
            // Not before a paragraph's, row's or cell's properties, nor after the body's section.
            const bool properties = local.ends_with("Pr") || local == "tblGrid" || local == "sectPr";
            if (takes && !properties && c.offset_debug() > 0)
                gaps.push_back(static_cast<std::size_t>(c.offset_debug() - 1));
            walk(c);
        }
        const std::string_view self = LocalName(n.name());
        const bool block = self == "body" || self == "tbl" || self == "tr" || self == "tc" ||
                           self == "sdtContent" || self == "customXml" || self == "txbxContent";
        if (takes && n.first_child() && !(forStart && block)) {
            // Before the end tag: found from the element's own bytes.
            const std::ptrdiff_t at = n.offset_debug();
            if (at > 0) {
                const std::string close = "</" + std::string(n.name()) + ">";
                std::size_t depth = 0, p = static_cast<std::size_t>(at - 1);
                // The matching end tag: the first one of this name at depth 0.
                for (std::size_t k = xml.find('<', p + 1); k != std::string::npos; k = xml.find('<', k + 1)) {
                    const std::string_view rest(xml.data() + k, std::min<std::size_t>(xml.size() - k, 200));
                    const std::string open = "<" + std::string(n.name());
                    if (rest.starts_with(close)) {
                        if (depth == 0) {
                            gaps.push_back(k);
                            break;
                        }
                        --depth;
                    } else if (rest.starts_with(open) &&
                               (rest[open.size()] == ' ' || rest[open.size()] == '>' ||
                                rest[open.size()] == '/')) {
                        const std::size_t end = xml.find('>', k);
                        if (xml[end - 1] != '/') ++depth;
                    }
                }
            }
        }
    };
    walk(doc);
    std::sort(gaps.begin(), gaps.end());
    gaps.erase(std::unique(gaps.begin(), gaps.end()), gaps.end());
    return gaps;
}

TEST(DocxRandomMarks, WordFilesWithMarksAnywhereFillAndKeepTheirText) {
    QM_SKIP_WITHOUT_REALWORLD("docx");
    const char* wanted = std::getenv("QM_RANDOM_MARKS");
    const int rounds = wanted ? std::atoi(wanted) : 60;
    std::mt19937 random(20261210);
    std::map<std::string, int> refusals;
    int bookmarks = 0, filled = 0;
    for (const std::string& file : RealWorldFiles("docx", ".docx")) {
        const Bytes original = ReadBytes(file);
        const auto entries = ReadWithLibzip(original);
        ASSERT_TRUE(entries) << file;
        std::string main;
        for (const ZipItem& item : *entries)
            if (item.name == "word/document.xml") main = item.data;
        const std::vector<std::size_t> starts = Gaps(main, true), gaps = Gaps(main, false);
        if (starts.empty() || gaps.size() < 2) continue;
        for (int round = 0; round < rounds; ++round) {
            // Three bookmarks (so that some touch, nest or overlap) and a _GoBack.
            std::string xml = main;
            std::vector<std::pair<std::size_t, std::string>> inserts;
            for (int k = 0; k < 4; ++k) {
                std::size_t a = starts[random() % starts.size()], b = gaps[random() % gaps.size()];
                if (a > b) b = gaps.back();
                if (k == 3) b = a;  // _GoBack is a point
                const std::string id = std::to_string(7000 + k);
                const std::string name = k == 3 ? "_GoBack" : "Added" + std::to_string(k);
                // Inserted from the back, the end first: at one place the start comes first.
                inserts.emplace_back(b, "<w:bookmarkEnd w:id=\"" + id + "\"/>");
                inserts.emplace_back(a, "<w:bookmarkStart w:id=\"" + id + "\" w:name=\"" + name + "\"/>");
            }
            std::stable_sort(inserts.begin(), inserts.end(),
                             [](const auto& x, const auto& y) { return x.first > y.first; });
            for (const auto& [at, tag] : inserts) xml.insert(at, tag);
            std::vector<ZipItem> items = *entries;
            std::vector<std::pair<std::string_view, std::string_view>> views;
            for (ZipItem& item : items) {
                if (item.name == "word/document.xml") item.data = xml;
                views.emplace_back(item.name, item.data);
            }
            const Bytes bytes = StoreZip(views);
            SCOPED_TRACE(file + " round " + std::to_string(round));
            const auto t = OpenDocx(bytes);
            ASSERT_TRUE(t);
            std::vector<Fill> fills;
            for (const engine::BookmarkInfo& b : t->bookmarks()) {
                if (!b.name.starts_with("Added")) continue;
                ++bookmarks;
                if (!b.refusal.empty()) {
                    ++refusals[b.refusal];
                    continue;
                }
                if (b.kind == engine::BookmarkKind::Text) fills.push_back({b.name, "<" + b.name + ">"});
            }
            std::shuffle(fills.begin(), fills.end(), random);
            Bytes made;
            std::string error;
            if (!t->Make(fills, made, error)) {
                if (const char* dump = std::getenv("QM_RANDOM_DUMP"))
                    std::ofstream(std::string(dump) + "/template.xml") << xml;
                FAIL() << error;
            }
            ASSERT_TRUE(engine::VerifyDocxContainer(made));
            const std::string madeXml = EntryText(made, "word/document.xml");
            pugi::xml_document check;
            ASSERT_TRUE(check.load_buffer(madeXml.data(), madeXml.size())) << "not well-formed";
            std::map<std::string, std::string> values;
            for (const Fill& f : fills) values.emplace(f.name, f.value);
            for (const engine::Skip& s : t->Skips(fills)) values.erase(s.name);
            filled += static_cast<int>(values.size());
            // Overlapping bookmarks filled in another order than the text's take other remainders
            // than the reading below assumes; their text is checked by the layout cases.
            // A point (no text between its marks) at another's edge takes its value there; which side of the
            // other's mark is the engine's choice, so such fills are only looked for.
            bool overlap = false;
            for (const Fill& f : fills) {
                const engine::BookmarkInfo* b = t->Find(f.name);
                overlap = overlap || !b->overlapsBefore.empty() || !b->overlapsAfter.empty();
                const std::size_t at = xml.find("w:name=\"" + f.name + "\"/>");
                const std::string id = std::to_string(7000 + (f.name.back() - '0'));
                const std::size_t end = xml.find("<w:bookmarkEnd w:id=\"" + id + "\"/>");
                const std::string between = xml.substr(at, end - at);
                if (values.contains(f.name) && between.find("<w:t") == std::string::npos) {
                    overlap = true;
                    EXPECT_NE(madeXml.find("&lt;" + f.name + "&gt;"), std::string::npos) << f.name;
                }
            }
            if (!overlap && PartText(madeXml) != PartText(xml, &values)) {
                ADD_FAILURE() << "text outside the values changed";
                if (const char* dump = std::getenv("QM_RANDOM_DUMP")) {
                    std::ofstream(std::string(dump) + "/template.xml") << xml;
                    std::ofstream(std::string(dump) + "/made.xml") << madeXml;
                    std::ofstream names(std::string(dump) + "/values.txt");
                    for (const auto& [name, value] : values) names << name << ' ' << value << ' ';
                    return;
                }
            }
            for (const char* name : {"Added0", "Added1", "Added2", "_GoBack"}) {
                const std::string start = std::string("w:name=\"") + name + "\"";
                EXPECT_NE(madeXml.find(start), std::string::npos) << name << " lost";
            }
            const auto again = OpenDocx(made);
            ASSERT_TRUE(again);
            std::vector<std::string> names = again->VisibleNames(), had = t->VisibleNames();
            std::sort(names.begin(), names.end());
            std::sort(had.begin(), had.end());
            EXPECT_EQ(names, had);
        }
    }
    std::cout << bookmarks << " bookmarks added, " << filled << " filled; left as in the template:\n";
    for (const auto& [why, count] : refusals) std::cout << "  " << count << "  " << why << "\n";
}

}  // namespace
}  // namespace qm::test
