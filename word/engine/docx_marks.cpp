#include "word/engine/docx_marks.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <pugixml.hpp>
#include <unordered_map>
#include <vector>

#include "word/engine/docx_xml.h"

namespace qm::engine::docx {

namespace {

bool IsOneOf(std::string_view s, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

// The tag's bytes without w:displacedByCustomXml: in a paragraph the mark is no longer displaced.
std::string Undisplaced(std::string tag) {
    const std::size_t at = tag.find("displacedByCustomXml=");
    if (at == std::string::npos) return tag;
    const std::size_t space = tag.find_last_of(" \t\r\n", at);
    const std::size_t quote = tag.find_first_of("\"'", at);
    const std::size_t close = quote == std::string::npos ? quote : tag.find(tag[quote], quote + 1);
    if (space != std::string::npos && close != std::string::npos) tag.erase(space, close + 1 - space);
    return tag;
}

class MarkPlacer {
  public:
    explicit MarkPlacer(std::string_view xml) : xml_(xml) {}

    std::size_t Run(std::string& out) {
        if (!Load()) return 0;
        for (const Mark& m : marks_) Place(m);
        if (moves_ == 0) return 0;
        Write(out);
        return moves_;
    }

    // Marks side by side stand at one text position, in whatever order Word wrote them; they are
    // put in one order there: the ends of bookmarks that began before, then bookmarks that are a
    // point there, then the starts of those that go on. A range's bytes then hold no mark of a
    // bookmark that only touches it. The runs of marks put in order, and the part in `out`.
    std::size_t Order(std::string& out) {
        if (!Load()) return 0;
        struct Op {
            std::size_t begin, end;
            std::string text;
        };
        std::vector<Op> ops;
        std::unordered_map<const void*, bool> seen;
        const auto isMark = [&](pugi::xml_node n) {
            return Word(n) == "bookmarkStart" || Word(n) == "bookmarkEnd";
        };
        const auto between = [&](pugi::xml_node n) {
            if (n.type() == pugi::node_element) return Word(n) == "proofErr";
            return Skippable(n);  // white space, comments
        };
        const auto id = [](pugi::xml_node n) { return IdOf(n); };
        for (const Mark& m : marks_) {
            if (seen.contains(m.node.internal_object())) continue;
            pugi::xml_node first = m.node;
            for (pugi::xml_node n = first.previous_sibling(); n && (isMark(n) || between(n));
                 n = n.previous_sibling())
                if (isMark(n)) first = n;
            std::vector<pugi::xml_node> run;
            for (pugi::xml_node n = first; n && (isMark(n) || between(n)); n = n.next_sibling())
                if (isMark(n)) {
                    run.push_back(n);
                    seen[n.internal_object()] = true;
                }
            if (run.size() < 2) continue;
            std::vector<Extent> spans;
            for (pugi::xml_node n : run) spans.push_back(ExtentOf(xml_, n));
            if (std::any_of(spans.begin(), spans.end(), [](const Extent& x) { return x.end == kNoPlace; }))
                continue;
            // Ends first, in the order written.
            std::vector<std::size_t> ends, points;  // points: a start, then its end
            std::vector<bool> paired(run.size(), false);
            for (std::size_t i = 0; i < run.size(); ++i) {
                if (Word(run[i]) != "bookmarkStart" || paired[i]) continue;
                for (std::size_t j = i + 1; j < run.size(); ++j)
                    if (Word(run[j]) == "bookmarkEnd" && !paired[j] && id(run[j]) == id(run[i])) {
                        paired[i] = paired[j] = true;
                        points.push_back(i);
                        points.push_back(j);
                        break;
                    }
            }
            for (std::size_t i = 0; i < run.size(); ++i)
                if (!paired[i] && Word(run[i]) == "bookmarkEnd") ends.push_back(i);
            // Starts and points keep their order: a point after a start lies inside that range.
            std::vector<std::size_t> order = ends;
            for (std::size_t i = 0; i < run.size(); ++i) {
                if (Word(run[i]) != "bookmarkStart") continue;
                order.push_back(i);
                const auto at = std::find(points.begin(), points.end(), i);
                if (at != points.end()) order.push_back(*(at + 1));
            }
            bool same = true;
            for (std::size_t i = 0; i < order.size(); ++i) same = same && order[i] == i;
            if (same) continue;
            // The marks in order, then what stood between them (proofing marks, white space).
            std::string text;
            for (std::size_t i : order)
                text.append(xml_.substr(spans[i].begin, spans[i].end - spans[i].begin));
            for (std::size_t i = 0; i + 1 < run.size(); ++i)
                text.append(xml_.substr(spans[i].end, spans[i + 1].begin - spans[i].end));
            ops.push_back({spans.front().begin, spans.back().end, std::move(text)});
        }
        if (ops.empty()) return 0;
        std::sort(ops.begin(), ops.end(), [](const Op& a, const Op& b) { return a.begin < b.begin; });
        out.clear();
        out.reserve(xml_.size());
        std::size_t copied = 0;
        for (const Op& op : ops) {
            out.append(xml_, copied, op.begin - copied);
            out += op.text;
            copied = op.end;
        }
        out.append(xml_, copied);
        return ops.size();
    }

  private:
    bool Load() {
        const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                                 pugi::parse_declaration | pugi::parse_doctype;
        if (!doc_.load_buffer(xml_.data(), xml_.size(), options, pugi::encoding_utf8)) return false;
        Walk(doc_);
        return true;
    }

    struct Mark {
        pugi::xml_node node;
        bool start = false;
        bool inParagraph = false;
    };
    // Where moved marks go: into a paragraph, at its start (after its properties) or its end, or
    // before a field's first run.
    struct Target {
        pugi::xml_node node;
        enum class At { ParagraphStart, ParagraphEnd, Before } at = At::ParagraphStart;
        bool operator<(const Target& o) const {
            if (node != o.node) return node.internal_object() < o.node.internal_object();
            return at < o.at;
        }
    };

    std::string_view Word(pugi::xml_node n) const {
        const auto it = words_.find(n.internal_object());
        return it == words_.end() ? std::string_view() : it->second;
    }

    // Records the WordprocessingML name of every element and the bookmark marks, in document
    // order, with whether the nearest enclosing paragraph or story is a paragraph.
    void Walk(pugi::xml_node root) {
        struct Open {
            pugi::xml_node node;
            std::size_t declared;
            bool inParagraph;
        };
        std::vector<Open> open;  // the elements entered and not yet left
        bool inParagraph = false;
        pugi::xml_node n = root.first_child();
        while (n) {
            std::size_t declared = 0;
            const bool outer = inParagraph;
            if (n.type() == pugi::node_element) {
                for (pugi::xml_attribute a : n.attributes()) {
                    const std::string_view name = a.name();
                    if (name != "xmlns" && !name.starts_with("xmlns:")) continue;
                    const std::string_view uri = a.value();
                    bindings_.emplace_back(name == "xmlns" ? std::string_view() : name.substr(6),
                                           uri == kWordNamespace || uri == kStrictWordNamespace);
                    ++declared;
                }
                const std::string_view qualified = n.name();
                const std::string_view prefix = PrefixOf(qualified);
                bool word = false;
                for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it)
                    if (it->first == prefix) {
                        word = it->second;
                        break;
                    }
                if (word) {
                    const std::string_view local = LocalOf(qualified);
                    words_.emplace(n.internal_object(), local);
                    if (local == "p")
                        inParagraph = true;
                    else if (IsOneOf(local, {"body", "txbxContent", "hdr", "ftr", "footnote", "endnote",
                                             "comment", "docPartBody"}))
                        inParagraph = false;
                    else if (local == "bookmarkStart" || local == "bookmarkEnd")
                        marks_.push_back({n, local == "bookmarkStart", inParagraph});
                }
            }
            if (pugi::xml_node child = n.first_child()) {
                open.push_back({n, declared, outer});
                n = child;
                continue;
            }
            bindings_.resize(bindings_.size() - declared);
            inParagraph = outer;
            while (!n.next_sibling() && !open.empty()) {
                n = open.back().node;
                bindings_.resize(bindings_.size() - open.back().declared);
                inParagraph = open.back().inParagraph;
                open.pop_back();
            }
            n = n.next_sibling();
        }
    }

    // Nothing of the text: a mark, a proofing or permission mark, properties (the body's section
    // properties too: a mark after them stands at the end of the text).
    bool Skippable(pugi::xml_node n) const {
        if (n.type() == pugi::node_comment || n.type() == pugi::node_pi) return true;
        if (n.type() == pugi::node_pcdata) {
            const std::string_view text = n.value();
            return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
        }
        if (n.type() != pugi::node_element) return false;
        return IsOneOf(Word(n), {"bookmarkStart", "bookmarkEnd", "proofErr", "permStart", "permEnd",
                                 "commentRangeStart", "commentRangeEnd", "tblPr", "tblGrid", "trPr", "tcPr",
                                 "tblPrEx", "sdtPr", "sdtEndPr", "customXmlPr", "sectPr"});
    }

    static std::string_view IdOf(pugi::xml_node n) {
        for (pugi::xml_attribute a : n.attributes())
            if (LocalOf(a.name()) == "id") return a.value();
        return {};
    }

    bool Holds(pugi::xml_node n) const {
        return IsOneOf(Word(n), {"tbl", "tr", "tc", "sdt", "sdtContent", "customXml"});
    }

    // The first (or last) paragraph of block `n`, looking into tables, cells and block content
    // controls; null when it holds none. `blocked`: something that is no paragraph stands first
    // (last), so no paragraph of it is where the text starts (ends).
    pugi::xml_node Edge(pugi::xml_node n, bool first, bool& blocked) const {
        if (Word(n) == "p") return n;
        if (!Holds(n)) {
            blocked = true;
            return {};
        }
        for (pugi::xml_node c = first ? n.first_child() : n.last_child(); c;
             c = first ? c.next_sibling() : c.previous_sibling()) {
            if (Skippable(c)) continue;
            if (pugi::xml_node p = Edge(c, first, blocked)) return p;
            if (blocked) return {};
        }
        return {};
    }

    // The paragraph where the text after (`forward`) or before `from` starts (ends), among its
    // siblings.
    pugi::xml_node Beside(pugi::xml_node from, bool forward) const {
        for (pugi::xml_node n = forward ? from.next_sibling() : from.previous_sibling(); n;
             n = forward ? n.next_sibling() : n.previous_sibling()) {
            if (Skippable(n)) continue;
            bool blocked = false;
            if (pugi::xml_node p = Edge(n, forward, blocked)) return p;
            if (blocked) return {};
        }
        return {};
    }

    pugi::xml_node Neighbour(pugi::xml_node from, bool forward) const {
        for (pugi::xml_node n = forward ? from.next_sibling() : from.previous_sibling(); n;
             n = forward ? n.next_sibling() : n.previous_sibling())
            if (!Skippable(n)) return n;
        return {};
    }

    void Move(const Mark& m, Target target) {
        if (!target.node) return;
        const Extent x = ExtentOf(xml_, m.node);
        if (x.end == kNoPlace || x.open != x.end) return;  // only a childless tag can move
        const Extent p = ExtentOf(xml_, target.node);
        if (p.end == kNoPlace) return;
        removed_.push_back({x.begin, x.end});
        targets_[target].push_back(Undisplaced(std::string(xml_.substr(x.begin, x.end - x.begin))));
        ++moves_;
    }

    void Place(const Mark& m) {
        const pugi::xml_node n = m.node;
        for (pugi::xml_attribute a : n.attributes())
            if (LocalOf(a.name()) == "colFirst" || LocalOf(a.name()) == "colLast") return;
        if (m.inParagraph) {
            if (m.start) PlaceFormFieldStart(m);
            return;
        }
        const pugi::xml_node parent = n.parent();
        const bool inTable = IsOneOf(Word(parent), {"tbl", "tr"});
        // The end of a point (its start right before it, marks only between) goes with its start.
        bool point = false;
        if (!m.start)
            for (pugi::xml_node k = n.previous_sibling(); k && Skippable(k) && !point;
                 k = k.previous_sibling())
                point = Word(k) == "bookmarkStart" && IdOf(k) == IdOf(n);
        if (m.start || point) {
            if (pugi::xml_node p = Beside(n, true))
                Move(m, {p, Target::At::ParagraphStart});
            else
                Move(m, {Beside(n, false), Target::At::ParagraphEnd});
            return;
        }
        const pugi::xml_node before = Neighbour(n, false);
        if (!before) {
            Move(m, {Beside(n, true), Target::At::ParagraphStart});
            return;
        }
        const pugi::xml_node after = Neighbour(n, true);
        if (!inTable && IsOneOf(Word(before), {"p", "tbl"}) && after && Word(after) == "p") {
            Move(m, {after, Target::At::ParagraphStart});
            return;
        }
        Move(m, {Beside(n, false), Target::At::ParagraphEnd});
    }

    // A start mark right after the run holding a form field's begin character (with its
    // w:ffData): before that run.
    void PlaceFormFieldStart(const Mark& m) {
        const pugi::xml_node run = Neighbour(m.node, false);
        if (!run || Word(run) != "r") return;
        pugi::xml_node begin;
        for (pugi::xml_node c : run.children()) {
            if (Skippable(c) || Word(c) == "rPr") continue;
            if (begin || Word(c) != "fldChar") return;
            begin = c;
        }
        if (!begin) return;
        bool ffData = false, isBegin = false;
        for (pugi::xml_attribute a : begin.attributes())
            if (LocalOf(a.name()) == "fldCharType") isBegin = std::string_view(a.value()) == "begin";
        for (pugi::xml_node c : begin.children())
            if (Word(c) == "ffData") ffData = true;
        if (!isBegin || !ffData) return;
        Move(m, {run, Target::At::Before});
    }

    void Write(std::string& out) const {
        struct Op {
            std::size_t begin, end;
            std::string text;
        };
        std::vector<Op> ops;
        for (const auto& [begin, end] : removed_) ops.push_back({begin, end, {}});
        // Marks for one place, in document order (the order they were met).
        std::map<const void*, std::pair<std::string, std::string>> paragraphs;  // start, end
        for (const auto& [target, tags] : targets_) {
            std::string text;
            for (const std::string& tag : tags) text += tag;
            if (target.at == Target::At::Before) {
                const std::size_t at = MarkupStart(xml_, target.node);
                ops.push_back({at, at, std::move(text)});
                continue;
            }
            auto& [atStart, atEnd] = paragraphs[target.node.internal_object()];
            (target.at == Target::At::ParagraphStart ? atStart : atEnd) = std::move(text);
        }
        for (const auto& [key, texts] : paragraphs) {
            const pugi::xml_node p(static_cast<pugi::xml_node_struct*>(const_cast<void*>(key)));
            const Extent x = ExtentOf(xml_, p);
            if (x.open == x.end) {
                // <w:p .../> becomes <w:p ...>marks</w:p>.
                ops.push_back({x.end - 2, x.end, ">" + texts.first + texts.second + "</" + p.name() + ">"});
                continue;
            }
            std::size_t start = x.open;
            for (pugi::xml_node c = p.first_child(); c; c = c.next_sibling()) {
                if (c.type() != pugi::node_element) continue;
                if (Word(c) == "pPr") start = ExtentOf(xml_, c).end;
                break;
            }
            if (start == kNoPlace) start = x.open;
            if (!texts.first.empty()) ops.push_back({start, start, texts.first});
            if (!texts.second.empty()) ops.push_back({x.close, x.close, texts.second});
        }
        std::stable_sort(ops.begin(), ops.end(), [](const Op& a, const Op& b) {
            if (a.begin != b.begin) return a.begin < b.begin;
            return a.end < b.end;  // an insertion before a removal at the same place
        });
        out.clear();
        out.reserve(xml_.size() + 64);
        std::size_t copied = 0;
        for (const Op& op : ops) {
            out.append(xml_, copied, op.begin - copied);
            out += op.text;
            copied = op.end;
        }
        out.append(xml_, copied);
    }

    std::string_view xml_;
    pugi::xml_document doc_;
    std::vector<std::pair<std::string_view, bool>> bindings_;  // prefix, WordprocessingML
    std::unordered_map<const void*, std::string_view> words_;
    std::vector<Mark> marks_;
    std::vector<std::pair<std::size_t, std::size_t>> removed_;
    std::map<Target, std::vector<std::string>> targets_;
    std::size_t moves_ = 0;
};

}  // namespace

std::size_t PlaceMarks(std::string_view xml, std::string& out) {
    out.clear();
    try {
        MarkPlacer placer(xml);
        const std::size_t moved = placer.Run(out);
        if (moved == 0) out.clear();
        std::string ordered;
        MarkPlacer orderer(moved == 0 ? xml : std::string_view(out));
        const std::size_t reordered = orderer.Order(ordered);
        if (reordered > 0) out = std::move(ordered);
        return moved + reordered;
    } catch (...) {
        out.clear();
        return 0;
    }
}

}  // namespace qm::engine::docx
