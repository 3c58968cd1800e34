#include "word/engine/docx_part.h"

#include <algorithm>
#include <cstring>
#include <pugixml.hpp>
#include <unordered_map>
#include <utility>

#include "common/text.h"
#include "word/engine/docx_xml.h"

namespace qm::engine::docx {

namespace {

constexpr std::size_t kNone = kNoPlace;

bool IsOneOf(std::string_view s, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

// The first word of a field instruction, in capitals: " FORMTEXT " gives "FORMTEXT".
std::string FirstWord(std::string_view code) {
    std::size_t i = 0;
    while (i < code.size() && (code[i] == ' ' || code[i] == '\t' || code[i] == '\r' || code[i] == '\n')) ++i;
    std::string word;
    for (; i < code.size() && code[i] != ' ' && code[i] != '\t' && code[i] != '\r' && code[i] != '\n'; ++i)
        word += (code[i] >= 'a' && code[i] <= 'z') ? static_cast<char>(code[i] - 'a' + 'A') : code[i];
    return word;
}

// What a refusal calls an element that may not lie around or inside a filled bookmark.
std::string Describe(std::string_view local) {
    static const std::pair<std::string_view, std::string_view> kNames[] = {
        {"fldSimple", "a field"},
        {"fldChar", "a field"},
        {"instrText", "a field"},
        {"hyperlink", "a hyperlink"},
        {"sdt", "a content control"},
        {"sdtContent", "a content control"},
        {"ins", "a tracked change"},
        {"del", "a tracked change"},
        {"moveFrom", "a tracked change"},
        {"moveTo", "a tracked change"},
        {"delText", "a tracked change"},
        {"delInstrText", "a tracked change"},
        {"smartTag", "a smart tag"},
        {"customXml", "custom XML markup"},
        {"drawing", "a drawing"},
        {"pict", "a drawing"},
        {"AlternateContent", "a drawing"},
        {"object", "an embedded object"},
        {"footnoteReference", "a footnote reference"},
        {"endnoteReference", "an endnote reference"},
        {"footnoteRef", "a footnote mark"},
        {"endnoteRef", "an endnote mark"},
        {"commentReference", "a comment"},
        {"commentRangeStart", "a comment"},
        {"commentRangeEnd", "a comment"},
        {"annotationRef", "a comment"},
        {"oMath", "a formula"},
        {"oMathPara", "a formula"},
        {"sym", "a symbol character"},
        {"ptab", "an absolute tab"},
        {"ruby", "phonetic guide text"},
        {"permStart", "an editing permission"},
        {"permEnd", "an editing permission"},
        {"separator", "a note separator"},
        {"continuationSeparator", "a note separator"},
        {"pgNum", "a page number"},
        {"dayShort", "a date"},
        {"dayLong", "a date"},
        {"monthShort", "a date"},
        {"monthLong", "a date"},
        {"yearShort", "a date"},
        {"yearLong", "a date"},
        {"contentPart", "a drawing"},
    };
    for (const auto& [name, phrase] : kNames)
        if (name == local) return std::string(phrase);
    return "unsupported content (" + std::string(local) + ")";
}

class StringWriter : public pugi::xml_writer {
  public:
    explicit StringWriter(std::string& out) : out_(out) {}
    void write(const void* data, std::size_t size) override {
        out_.append(static_cast<const char*>(data), size);
    }

  private:
    std::string& out_;
};

// Walks one part once, then judges each bookmark it met.
class PartScanner {
  public:
    explicit PartScanner(std::string_view xml) : xml_(xml) {}

    std::string Run(PartScan& out) {
        // Every node, so that between two elements only white space is left unseen.
        const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                                 pugi::parse_declaration | pugi::parse_doctype;
        const pugi::xml_parse_result parsed =
            doc_.load_buffer(xml_.data(), xml_.size(), options, pugi::encoding_utf8);
        if (!parsed) return std::string("not well-formed XML (") + parsed.description() + ")";
        Walk();
        Pair();
        spans_.reserve(tags_.size());
        for (const Tag& t : tags_) {
            const std::string_view bytes = ElementBytes(t.node);
            spans_.emplace_back(bytes.empty() ? kNone : static_cast<std::size_t>(bytes.data() - xml_.data()),
                                bytes.size());
        }
        std::vector<std::size_t> box;    // for each bookmark, the text box it lies in (0: none)
        std::vector<std::size_t> first;  // for each bookmark, its start tag
        for (std::size_t i = 0; i < tags_.size(); ++i) {
            if (!tags_[i].start) continue;
            PartBookmark b;
            Judge(i, b);
            if (!b.refusal.empty()) {
                b.edits.clear();
                b.bindings.clear();
            }
            b.hidden = tags_[i].hidden;
            b.group = tags_[i].box;
            b.begin = tags_[i].pos;
            b.end = tags_[i].partner == kNone ? b.begin : tags_[tags_[i].partner].pos;
            out.bookmarks.push_back(std::move(b));
            box.push_back(tags_[i].box);
            first.push_back(i);
        }
        Overlaps(out.bookmarks, first);
        MergeTextBoxCopies(out.bookmarks, box);
        return {};
    }

  private:
    enum class Place { Outside, Code, Result, FormResult };

    struct Element {
        std::string_view word;     // local name of a WordprocessingML element, else ""
        std::string_view foreign;  // local name of any other element
        std::string_view type;     // w:type of a break, w:fldCharType of a field character
        bool declares = false;     // carries namespace declarations
    };

    struct Tag {
        pugi::xml_node node;
        bool start = false;
        std::string_view id, name;
        std::string key;  // the id, within its text box: Word repeats ids in a box's two copies
        bool column = false;
        pugi::xml_node paragraph, cell;
        std::size_t box = 0;  // 1 + index in boxes_ of the innermost text box, 0 outside any
        std::size_t bound = 0;
        Place field = Place::Outside;
        // Over every tag of the same key: the first and last in document order, and the first
        // start (kNone when the key has no start).
        std::size_t first = 0, last = 0, owner = kNone;
        std::size_t partner = kNone;  // the one other tag of its key, when there is exactly one
        std::size_t pos = 0;          // its position in the text of its box (see PartBookmark)
        bool hidden = false;          // of a hidden bookmark
    };

    // A text box's content; Word writes a box twice in one mc:AlternateContent (as DrawingML
    // in mc:Choice and as VML in mc:Fallback).
    struct Box {
        pugi::xml_node alternate;
        bool fallback = false;
    };

    struct Field {
        bool result = false;
        bool ffData = false;
        // A result no reader computes again: a form text field's, a hyperlink's shown text.
        bool kept = false;
        std::string code;
    };

    // Fields that enclose the current place, by what the place is in: counted, so that a part
    // with thousands of nested fields does not make every bookmark tag walk them all.
    std::size_t inCode_ = 0, inResult_ = 0;

    struct Frame {
        std::size_t bindings = 0;
        bool paragraph = false, cell = false, textBox = false, bound = false, row = false;
    };

    // The count of text positions of the innermost open text box (or of the main text).
    std::size_t& Counter() { return counters_[openBoxes_.empty() ? 0 : openBoxes_.back()]; }

    struct Binding {
        std::string_view prefix;
        bool word;
    };

    // ---- the walk ----

    bool IsWordPrefix(std::string_view prefix) const {
        for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it)
            if (it->prefix == prefix) return it->word;
        return false;
    }

    bool IsWordName(std::string_view qualified, std::string_view local) const {
        return LocalOf(qualified) == local && IsWordPrefix(PrefixOf(qualified));
    }

    // A WordprocessingML attribute of `e`; attributes written without a prefix count too.
    std::string_view WordAttribute(pugi::xml_node e, std::string_view local) const {
        for (pugi::xml_attribute a : e.attributes()) {
            const std::string_view name = a.name();
            const std::string_view prefix = PrefixOf(name);
            if (LocalOf(name) != local || prefix == "xmlns" || name == "xmlns") continue;
            if (prefix.empty() || IsWordPrefix(prefix)) return a.value();
        }
        return {};
    }

    // After the walk: an attribute by its local name, whatever its prefix.
    static pugi::xml_attribute AnyAttribute(pugi::xml_node e, std::string_view local) {
        for (pugi::xml_attribute a : e.attributes()) {
            const std::string_view name = a.name();
            if (LocalOf(name) == local && PrefixOf(name) != "xmlns" && name != "xmlns") return a;
        }
        return {};
    }

    static bool HasElement(pugi::xml_node e) {
        for (pugi::xml_node c : e.children())
            if (c.type() == pugi::node_element) return true;
        return false;
    }

    // During the walk, before the children of `e` have been met.
    bool HasWordChild(pugi::xml_node e, std::string_view local) const {
        for (pugi::xml_node c : e.children())
            if (c.type() == pugi::node_element && IsWordName(c.name(), local)) return true;
        return false;
    }

    // After the walk.
    bool HasChild(pugi::xml_node e, std::string_view local) const {
        return static_cast<bool>(Child(e, local));
    }

    pugi::xml_node Child(pugi::xml_node e, std::string_view local) const {
        for (pugi::xml_node c : e.children())
            if (c.type() == pugi::node_element && Word(c) == local) return c;
        return {};
    }

    static pugi::xml_node ForeignChild(pugi::xml_node e, std::string_view local) {
        for (pugi::xml_node c : e.children())
            if (c.type() == pugi::node_element && LocalOf(c.name()) == local) return c;
        return {};
    }

    void Walk() {
        pugi::xml_node n = doc_.first_child();
        while (n) {
            Enter(n);
            if (pugi::xml_node child = n.first_child()) {
                n = child;
                continue;
            }
            for (;;) {
                Leave(n);
                if (pugi::xml_node next = n.next_sibling()) {
                    n = next;
                    break;
                }
                n = n.parent();
                if (!n || n.type() == pugi::node_document) {
                    n = pugi::xml_node();
                    break;
                }
            }
        }
    }

    void Enter(pugi::xml_node n) {
        if (n.type() != pugi::node_element) return;
        Frame frame;
        for (pugi::xml_attribute a : n.attributes()) {
            const std::string_view name = a.name();
            if (LocalOf(name) == "id") {
                // Ids of tracked changes split around a value are new: above every id in the part.
                const std::string_view value = a.value();
                if (!value.empty() && value.size() < 10 && value.find_first_not_of("0123456789") == kNone)
                    lastId_ = std::max(lastId_, std::stoull(std::string(value)));
                continue;
            }
            if (name != "xmlns" && !name.starts_with("xmlns:")) continue;
            const std::string_view uri = a.value();
            bindings_.push_back({name == "xmlns" ? std::string_view() : name.substr(6),
                                 uri == kWordNamespace || uri == kStrictWordNamespace});
            ++frame.bindings;
        }
        Element info;
        info.declares = frame.bindings > 0;
        const std::string_view qualified = n.name();
        if (IsWordPrefix(PrefixOf(qualified)))
            info.word = LocalOf(qualified);
        else
            info.foreign = LocalOf(qualified);

        const std::string_view w = info.word;
        if (w == "p") {
            paragraphs_.push_back(n);
            frame.paragraph = true;
        } else if (w == "tc") {
            cells_.push_back(n);
            frame.cell = true;
        } else if (w == "txbxContent") {
            Box box;
            for (pugi::xml_node up = n.parent(); up; up = up.parent()) {
                const std::string_view local = LocalOf(up.name());
                if ((local == "Choice" || local == "Fallback") &&
                    LocalOf(up.parent().name()) == "AlternateContent") {
                    box.alternate = up.parent();
                    box.fallback = local == "Fallback";
                    break;
                }
                if (IsWordName(up.name(), "txbxContent")) break;
            }
            boxes_.push_back(box);
            openBoxes_.push_back(boxes_.size());
            counters_.push_back(0);
            frame.textBox = true;
        } else if (w == "sdt" && IsBound(n)) {
            ++bound_;
            frame.bound = true;
        } else if (w == "br") {
            info.type = WordAttribute(n, "type");
        } else if (w == "fldChar") {
            info.type = WordAttribute(n, "fldCharType");
            FieldCharacter(n, info.type);
        } else if (w == "instrText") {
            // Only the first word matters; a bound keeps a hostile part from growing it.
            if (!fields_.empty() && !fields_.back().result && fields_.back().code.size() < 256)
                fields_.back().code += n.child_value();
        } else if (w == "bookmarkStart" || w == "bookmarkEnd") {
            AddTag(n, w == "bookmarkStart");
        } else if (w == "tr") {
            frame.row = true;
        }
        if (w == "t" || w == "delText") {
            // Text of white space only is no node of the parse: one position all the same.
            const std::size_t length = std::string_view(n.child_value()).size();
            const Extent x = length == 0 ? ExtentOf(n) : Extent{};
            Counter() += length > 0 ? length : x.open != x.close ? 1 : 0;
        } else if (IsOneOf(w, {"tab",
                               "br",
                               "cr",
                               "noBreakHyphen",
                               "softHyphen",
                               "sym",
                               "drawing",
                               "pict",
                               "object",
                               "fldChar",
                               "instrText",
                               "delInstrText",
                               "footnoteReference",
                               "endnoteReference",
                               "commentReference",
                               "footnoteRef",
                               "endnoteRef",
                               "annotationRef",
                               "separator",
                               "continuationSeparator",
                               "ptab",
                               "pgNum",
                               "dayShort",
                               "dayLong",
                               "monthShort",
                               "monthLong",
                               "yearShort",
                               "yearLong",
                               "oMath",
                               "ruby",
                               "contentPart"})) {
            ++Counter();
        }
        elements_[n.internal_object()] = info;
        frames_.push_back(frame);
    }

    void Leave(pugi::xml_node n) {
        if (n.type() != pugi::node_element || frames_.empty()) return;
        const Frame frame = frames_.back();
        frames_.pop_back();
        // A paragraph's mark and a row's end are characters of the text.
        if (frame.paragraph || frame.row) ++Counter();
        if (frame.paragraph) paragraphs_.pop_back();
        if (frame.cell) cells_.pop_back();
        if (frame.textBox) openBoxes_.pop_back();
        if (frame.bound) --bound_;
        bindings_.resize(bindings_.size() - frame.bindings);
    }

    // A content control whose text comes from a data store.
    bool IsBound(pugi::xml_node sdt) const {
        for (pugi::xml_node c : sdt.children())
            if (c.type() == pugi::node_element && IsWordName(c.name(), "sdtPr") &&
                HasWordChild(c, "dataBinding"))
                return true;
        return false;
    }

    void FieldCharacter(pugi::xml_node n, std::string_view type) {
        if (type == "begin") {
            fields_.push_back({false, HasWordChild(n, "ffData"), false, {}});
            ++inCode_;
        } else if (type == "separate") {
            if (fields_.empty() || fields_.back().result) return;
            Field& f = fields_.back();
            f.result = true;
            const std::string word = FirstWord(f.code);
            f.kept = (f.ffData && word == "FORMTEXT") || word == "HYPERLINK";
            --inCode_;
            if (!f.kept) ++inResult_;
        } else if (type == "end") {
            if (fields_.empty()) return;
            const Field& f = fields_.back();
            if (!f.result)
                --inCode_;
            else if (!f.kept)
                --inResult_;
            fields_.pop_back();
        }
    }

    void AddTag(pugi::xml_node n, bool start) {
        Tag t;
        t.node = n;
        t.start = start;
        t.id = WordAttribute(n, "id");
        if (start) {
            t.name = WordAttribute(n, "name");
            t.column = !WordAttribute(n, "colFirst").empty() || !WordAttribute(n, "colLast").empty();
        }
        if (!paragraphs_.empty()) t.paragraph = paragraphs_.back();
        if (!cells_.empty()) t.cell = cells_.back();
        t.box = openBoxes_.empty() ? 0 : openBoxes_.back();
        t.key = std::to_string(t.box) + "/" + std::string(t.id);
        t.pos = Counter();
        t.bound = bound_;
        t.field = inCode_           ? Place::Code
                  : inResult_       ? Place::Result
                  : fields_.empty() ? Place::Outside
                                    : Place::FormResult;
        (start ? starts_ : ends_)[t.key].push_back(tags_.size());
        tags_.push_back(std::move(t));
    }

    void Pair() {
        for (Tag& t : tags_) {
            const std::vector<std::size_t>& starts = starts_[t.key];
            const std::vector<std::size_t>& ends = ends_[t.key];
            t.first = std::min(starts.empty() ? kNone : starts.front(), ends.empty() ? kNone : ends.front());
            t.last = std::max(starts.empty() ? 0 : starts.back(), ends.empty() ? 0 : ends.back());
            t.owner = starts.empty() ? kNone : starts.front();
            if (starts.size() == 1 && ends.size() == 1) t.partner = t.start ? ends.front() : starts.front();
        }
        for (Tag& t : tags_) t.hidden = t.owner != kNone && IsHiddenBookmarkName(tags_[t.owner].name);
    }

    const Element& Info(pugi::xml_node n) const {
        static const Element kNothing;
        const auto it = elements_.find(n.internal_object());
        return it == elements_.end() ? kNothing : it->second;
    }

    std::string_view Word(pugi::xml_node n) const { return Info(n).word; }

    std::string DescribeNode(pugi::xml_node n) const {
        const Element& e = Info(n);
        return Describe(e.word.empty() ? e.foreign : e.word);
    }

    // ---- positions in the part's bytes ----

    std::size_t Start(pugi::xml_node n) const { return MarkupStart(xml_, n); }

    Extent ExtentOf(pugi::xml_node n) const { return docx::ExtentOf(xml_, n); }

    // The bytes of a childless element such as a bookmark tag, or an empty view when they
    // cannot be located.
    std::string_view ElementBytes(pugi::xml_node n) const {
        if (n.first_child()) return {};
        const Extent x = ExtentOf(n);
        if (x.end == kNone) return {};
        // <w:bookmarkStart ...></w:bookmarkStart>: only white space may lie before the closing tag.
        for (std::size_t i = x.open; i < x.close; ++i)
            if (xml_[i] != ' ' && xml_[i] != '\t' && xml_[i] != '\r' && xml_[i] != '\n') return {};
        return xml_.substr(x.begin, x.end - x.begin);
    }

    // ---- judging one bookmark ----

    // Text formatting: the only WordprocessingML a copied w:rPr keeps. Revision marks go (a
    // value is new text, not a tracked change), and so does anything else a part may hold there.
    static bool IsFormatting(std::string_view w) {
        static constexpr std::string_view kNames =
            " rStyle rFonts b bCs i iCs caps smallCaps strike dstrike outline shadow emboss imprint noProof"
            " snapToGrid vanish webHidden color spacing w kern position sz szCs highlight u effect bdr shd"
            " fitText vertAlign rtl cs em lang eastAsianLayout specVanish oMath ";
        for (std::size_t at = kNames.find(w); !w.empty() && at != kNone; at = kNames.find(w, at + 1))
            if (kNames[at - 1] == ' ' && kNames[at + w.size()] == ' ') return true;
        return false;
    }

    // Whether the WordprocessingML under `n` (itself included) is formatting only, so that
    // dropping or copying it loses or repeats nothing else: no bookmark tag, no field mark.
    bool Harmless(pugi::xml_node n) const {
        const pugi::xml_node top = n;
        while (n) {
            if (n.type() == pugi::node_element) {
                const std::string_view w = Word(n);
                if (!w.empty() && w != "rPr" && w != "rPrChange" && !IsFormatting(w)) return false;
            }
            if (pugi::xml_node child = n.first_child()) {
                n = child;
                continue;
            }
            while (n != top && !n.next_sibling()) n = n.parent();
            if (n == top) break;
            n = n.next_sibling();
        }
        return true;
    }

    // The run properties of `holder` (a w:r, or a paragraph's w:pPr for its mark): formatting
    // of WordprocessingML and extensions in other namespaces. A placeholder's character style
    // goes with the placeholder.
    std::string Properties(pugi::xml_node holder, bool dropPlaceholderStyle, bool& ok) const {
        std::string out;
        for (pugi::xml_node c : holder.children()) {
            if (c.type() != pugi::node_element || Word(c) != "rPr") continue;
            if (Info(c).declares) ok = false;
            pugi::xml_document scratch;
            pugi::xml_node copy = scratch.append_copy(c);
            pugi::xml_node original = c.first_child();
            for (pugi::xml_node k = copy.first_child(); k && original;) {
                pugi::xml_node next = k.next_sibling();
                const std::string_view w = Word(original);
                if (original.type() != pugi::node_element || (!w.empty() && !IsFormatting(w)) ||
                    !Harmless(original) ||
                    (dropPlaceholderStyle && w == "rStyle" &&
                     std::string_view(AnyAttribute(original, "val").value()) == "PlaceholderText"))
                    copy.remove_child(k);
                k = next;
                original = original.next_sibling();
            }
            StringWriter writer(out);
            copy.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
            break;
        }
        return out;
    }

    // The run whose formatting a bookmark that holds no run takes: the one before it in the
    // paragraph, past other bookmarks and proofing marks only.
    pugi::xml_node RunBefore(pugi::xml_node n) const {
        for (pugi::xml_node k = n.previous_sibling(); k; k = k.previous_sibling()) {
            if (k.type() != pugi::node_element) continue;
            const std::string_view w = Word(k);
            if (w == "r") return k;
            if (w != "bookmarkStart" && w != "bookmarkEnd" && w != "proofErr") break;
        }
        return {};
    }

    static bool IsText(std::string_view w) {
        return IsOneOf(w, {"t", "tab", "br", "cr", "noBreakHyphen", "softHyphen"});
    }

    // Whether a value run may go straight into `n`: a paragraph, or an element that holds runs
    // inside one (a hyperlink, a run-level content control, an insertion, a smart tag).
    bool HoldsRuns(pugi::xml_node n) const {
        for (int depth = 0; n && depth < 64; ++depth) {
            const std::string_view w = Word(n);
            if (w == "p") return true;
            if (w == "sdtContent") {
                n = n.parent().parent();
            } else if (IsOneOf(w, {"hyperlink", "smartTag", "customXml", "ins"})) {
                n = n.parent();
            } else {
                return false;
            }
        }
        return false;
    }

    // What removing content finds on the way.
    struct Removal {
        int fieldDepth = 0;
        pugi::xml_node firstTextRun, firstRun;
    };

    // Checks the siblings from `first` up to `stop` (exclusive; null: to the last), with all
    // they hold, for content whose removal would leave something dangling. "" when they may go.
    std::string CheckRemoved(pugi::xml_node first, pugi::xml_node stop, Removal& r) const {
        for (pugi::xml_node top = first; top && top != stop; top = top.next_sibling()) {
            pugi::xml_node n = top;
            int boxes = 0;
            while (n) {
                if (n.type() == pugi::node_element) {
                    const std::string_view w = Word(n);
                    if (w == "txbxContent") ++boxes;
                    if (w == "bookmarkStart" || w == "bookmarkEnd") {
                        if (boxes > 0) return "holds a text box with bookmarks";
                    } else if (IsOneOf(w, {"commentRangeStart", "commentRangeEnd", "commentReference",
                                           "annotationRef", "footnoteReference", "endnoteReference",
                                           "footnoteRef", "endnoteRef", "separator", "continuationSeparator",
                                           "permStart", "permEnd", "altChunk", "subDoc"})) {
                        return "holds " + Describe(w);
                    } else if (IsOneOf(w, {"moveFromRangeStart", "moveFromRangeEnd", "moveToRangeStart",
                                           "moveToRangeEnd"})) {
                        return "holds a tracked move";
                    } else if (w == "sectPr") {
                        return "spans a section break";
                    } else if (w == "fldChar" && boxes == 0) {
                        const std::string_view type = Info(n).type;
                        if (type == "begin") {
                            ++r.fieldDepth;
                        } else if (type == "end") {
                            if (--r.fieldDepth < 0) return "holds the end of a field";
                        } else if (r.fieldDepth == 0) {
                            return "holds part of a field";
                        }
                    } else if ((w == "instrText" || w == "delInstrText") && boxes == 0 && r.fieldDepth == 0) {
                        return "holds part of a field";
                    } else if (w == "r" && boxes == 0) {
                        if (!r.firstRun) r.firstRun = n;
                        if (!r.firstTextRun && HasChild(n, "t")) r.firstTextRun = n;
                    }
                }
                if (pugi::xml_node child = n.first_child()) {
                    n = child;
                    continue;
                }
                while (n != top && !n.next_sibling()) {
                    n = n.parent();
                    if (Word(n) == "txbxContent") --boxes;
                }
                if (n == top) break;
                if (Word(n) == "txbxContent") --boxes;
                n = n.next_sibling();
            }
        }
        return {};
    }

    // Whether text (or anything shown) of `container` lies outside the bookmark tags s..e.
    bool TextOutside(pugi::xml_node container, pugi::xml_node s, pugi::xml_node e) const {
        int seen = 0;  // 0 before s, 1 between, 2 after e
        pugi::xml_node n = container.first_child();
        while (n && n != container) {
            if (n == s) seen = 1;
            if (n == e) seen = 2;
            const std::string_view w = Word(n);
            if (seen != 1 && (IsText(w) || IsOneOf(w, {"sym", "drawing", "pict", "object", "fldSimple"})))
                return true;
            if (pugi::xml_node child = n.first_child()) {
                n = child;
                continue;
            }
            while (n && n != container && !n.next_sibling()) n = n.parent();
            if (!n || n == container) break;
            n = n.next_sibling();
        }
        return false;
    }

    void Judge(std::size_t si, PartBookmark& b) {
        const Tag& s = tags_[si];
        b.name = s.name;
        b.inTable = static_cast<bool>(s.cell);
        b.inTextBox = s.box != 0;
        b.refusal = Refusal(si, b);
    }

    // The tags of other bookmarks that lie in [begin, end), strictly between tags `from` and
    // `to`, in order: those that go before the value (a whole bookmark, which stays empty at the
    // value's start; an end whose start lies before; any mark of a hidden bookmark, as Word moves
    // it) and those that go after it (a start whose end lies after: that bookmark keeps what
    // remains of it outside the value).
    bool KeptTags(std::size_t from, std::size_t to, std::size_t begin, std::size_t end, std::string& before,
                  std::string& after) const {
        bool ok = true;
        const auto within = [&](std::size_t t) {
            return t != kNone && spans_[t].first != kNone && spans_[t].first >= begin &&
                   spans_[t].first < end;
        };
        for (std::size_t t = from + 1; t < to; ++t) {
            if (spans_[t].first == kNone) {
                ok = false;
                continue;
            }
            if (!within(t)) continue;
            const Tag& tag = tags_[t];
            const std::string_view bytes = xml_.substr(spans_[t].first, spans_[t].second);
            if (tag.start && !tag.hidden && tag.partner != kNone && !within(tag.partner))
                after.append(bytes);
            else
                before.append(bytes);
        }
        return ok;
    }

    // The value edit over [begin, end), its formatting from `formatFrom` (or, without a run,
    // the mark of `paragraph`); the value's run goes into `holder`. `closing` and `opening` are
    // the tags that end and begin again the containers split at the range's edges.
    std::string ValueEdit(std::size_t si, std::size_t ei, std::size_t begin, std::size_t end,
                          pugi::xml_node formatFrom, pugi::xml_node paragraph, pugi::xml_node holder,
                          bool placeholder, Edit& edit, std::string_view closing = {},
                          std::string_view opening = {}) const {
        if (begin == kNone || end == kNone || begin > end) return "could not be located in the file";
        edit.kind = Edit::Kind::Value;
        edit.begin = begin;
        edit.end = end;
        edit.kept = closing;
        if (!KeptTags(si, ei, begin, end, edit.kept, edit.tail)) return "could not be located in the file";
        edit.tail += opening;
        bool ok = true;
        std::string properties;
        if (formatFrom) {
            if (Info(formatFrom).declares) return "holds unusual namespace declarations";
            properties = Properties(formatFrom, placeholder, ok);
        } else if (paragraph) {
            if (pugi::xml_node pPr = Child(paragraph, "pPr")) {
                if (Info(pPr).declares) ok = false;
                properties = Properties(pPr, placeholder, ok);
            }
        }
        if (!ok) return "holds unusual namespace declarations";
        const std::string_view prefix = PrefixOf(holder.name());
        edit.prefix = prefix.empty() ? std::string() : std::string(prefix) + ":";
        edit.runOpen = "<" + edit.prefix + "r>" + properties;
        return {};
    }

    // An edit replacing the whole childless element `n` by `options`.
    bool Replace(pugi::xml_node n, std::vector<std::string> options, Edit& edit) const {
        const std::string_view bytes = ElementBytes(n);
        if (bytes.empty()) return false;
        edit.kind = Edit::Kind::Choice;
        edit.begin = static_cast<std::size_t>(bytes.data() - xml_.data());
        edit.end = edit.begin + bytes.size();
        edit.options = std::move(options);
        return true;
    }

    static std::string Utf8(unsigned long c) {
        std::string s;
        if (c == 0 || c > 0x10FFFF || c == 0xFFFE || c == 0xFFFF) c = 0xFFFD;
        AppendUtf8(s, static_cast<std::uint32_t>(c));
        return s;
    }

    // What a content control adds to a fill: the placeholder flag goes, a bound control writes
    // its data part too, a check box or drop-down is set by state. `whole` says whether the
    // bookmark covers all the control shows.
    std::string Control(pugi::xml_node sdt, bool whole, std::size_t si, std::size_t ei, PartBookmark& b) {
        const pugi::xml_node pr = Child(sdt, "sdtPr");
        const pugi::xml_node content = Child(sdt, "sdtContent");
        if (!content) return "a content control without content";
        if (pr) {
            if (pugi::xml_node flag = Child(pr, "showingPlcHdr")) {
                Edit edit;
                if (!Replace(flag, {""}, edit)) return "could not be located in the file";
                b.edits.push_back(std::move(edit));
            }
            if (HasChild(pr, "picture")) return "a picture content control";
            // Their data would hold a state or an entry's value, not the text shown.
            if (HasChild(pr, "dataBinding") && (ForeignChild(pr, "checkbox") || HasChild(pr, "dropDownList")))
                return "a check box or drop-down bound to custom XML";
            if (pugi::xml_node box = ForeignChild(pr, "checkbox")) return CheckBoxControl(box, content, b);
            if (pugi::xml_node list = Child(pr, "dropDownList")) {
                if (!whole) return "fills part of a drop-down content control";
                return DropDownControl(list, content, si, ei, b);
            }
            if (pugi::xml_node binding = Child(pr, "dataBinding")) {
                if (!whole) return "fills part of a bound content control";
                b.bindings.push_back({std::string(AnyAttribute(binding, "storeItemID").value()),
                                      std::string(AnyAttribute(binding, "xpath").value()),
                                      std::string(AnyAttribute(binding, "prefixMappings").value())});
            }
        }
        b.formField = true;
        return {};
    }

    std::string CheckBoxControl(pugi::xml_node box, pugi::xml_node content, PartBookmark& b) {
        // The state replaces the value: the glyph shown goes first, as the place of the value.
        std::erase_if(b.edits, [](const Edit& e) { return e.kind == Edit::Kind::Value; });
        const pugi::xml_node checked = ForeignChild(box, "checked");
        if (!checked) return "a check box without its state";
        const std::string_view name = checked.name();
        const pugi::xml_attribute val = AnyAttribute(checked, "val");
        const std::string attribute = val ? std::string(val.name()) : std::string(PrefixOf(name)) + ":val";
        Edit state;
        if (!Replace(checked,
                     {"<" + std::string(name) + " " + attribute + "=\"0\"/>",
                      "<" + std::string(name) + " " + attribute + "=\"1\"/>"},
                     state))
            return "could not be located in the file";
        // The glyph shown: the one text element of the content.
        pugi::xml_node glyph;
        int count = 0;
        for (pugi::xml_node n = content.first_child(); n && n != content;) {
            if (Word(n) == "t") {
                glyph = n;
                ++count;
            }
            if (n.first_child()) {
                n = n.first_child();
                continue;
            }
            while (n && n != content && !n.next_sibling()) n = n.parent();
            if (!n || n == content) break;
            n = n.next_sibling();
        }
        if (count != 1) return "a check box whose glyph is not one text";
        const Extent x = ExtentOf(glyph);
        if (x.end == kNone || x.open == x.end) return "a check box whose glyph is not one text";
        const auto code = [&](std::string_view local, unsigned long fallback) {
            const pugi::xml_node s = ForeignChild(box, local);
            const char* hex = s ? AnyAttribute(s, "val").value() : "";
            char* stop = nullptr;
            const unsigned long c = std::strtoul(hex, &stop, 16);
            return *hex && stop && *stop == 0 ? c : fallback;
        };
        Edit shown;
        shown.kind = Edit::Kind::Choice;
        shown.begin = x.open;
        shown.end = x.close;
        shown.options = {Utf8(code("uncheckedState", 0x2610)), Utf8(code("checkedState", 0x2612))};
        b.edits.insert(b.edits.begin(), std::move(shown));
        b.edits.push_back(std::move(state));
        // Each state's glyph in its own font, where the two differ and the glyph's run names one.
        const auto font = [&](std::string_view local) {
            const pugi::xml_node s = ForeignChild(box, local);
            return std::string(s ? AnyAttribute(s, "font").value() : "");
        };
        const std::string fonts[2] = {font("uncheckedState"), font("checkedState")};
        const pugi::xml_node runPr = Child(glyph.parent(), "rPr");
        const pugi::xml_node rFonts = runPr ? Child(runPr, "rFonts") : pugi::xml_node();
        if (!fonts[0].empty() && !fonts[1].empty() && fonts[0] != fonts[1] && rFonts &&
            !rFonts.first_child()) {
            const std::string_view prefix = PrefixOf(rFonts.name());
            const std::string p = prefix.empty() ? std::string() : std::string(prefix) + ":";
            std::vector<std::string> options;
            for (const std::string& f : fonts) {
                std::string name;
                AppendEscaped(f, name);
                for (std::size_t at = name.find('"'); at != kNone; at = name.find('"', at))
                    name.replace(at, 1, "&quot;");
                options.push_back("<" + p + "rFonts " + p + "ascii=\"" + name + "\" " + p + "eastAsia=\"" +
                                  name + "\" " + p + "hAnsi=\"" + name + "\" " + p + "hint=\"eastAsia\"/>");
            }
            Edit shape;
            if (!Replace(rFonts, std::move(options), shape)) return "could not be located in the file";
            b.edits.push_back(std::move(shape));
        }
        b.kind = BookmarkKind::CheckBox;
        b.formField = true;
        return {};
    }

    std::string DropDownControl(pugi::xml_node list, pugi::xml_node content, std::size_t si, std::size_t ei,
                                PartBookmark& b) {
        // The value edit made for the content becomes one option for each entry.
        if (b.edits.empty() || b.edits.front().kind != Edit::Kind::Value)
            return "could not be located in the file";
        Edit value = b.edits.front();
        (void)content;
        (void)si;
        (void)ei;
        std::vector<std::string> options;
        for (pugi::xml_node item : list.children()) {
            if (Word(item) != "listItem") continue;
            std::string shown = AnyAttribute(item, "displayText").value();
            if (shown.empty()) shown = AnyAttribute(item, "value").value();
            b.entries.push_back(shown);
            std::string option;
            AppendEdit(value, shown, 0, option);
            options.push_back(std::move(option));
        }
        if (options.empty()) return "a drop-down without entries";
        value.kind = Edit::Kind::Choice;
        value.options = std::move(options);
        b.edits.front() = std::move(value);
        b.kind = BookmarkKind::DropDown;
        b.formField = true;
        return {};
    }

    // The content control the range [s, e] lies in, if its nearest enclosing one; null when none.
    pugi::xml_node EnclosingControl(pugi::xml_node n) const {
        for (pugi::xml_node up = n.parent(); up; up = up.parent()) {
            const std::string_view w = Word(up);
            if (w == "sdtContent") return up.parent();
            if (IsOneOf(w, {"txbxContent", "body", "tc", "hdr", "ftr", "footnote", "endnote", "comment"}))
                return {};
        }
        return {};
    }

    std::string Refusal(std::size_t si, PartBookmark& b) {
        const Tag& s = tags_[si];
        if (s.column) return "a table column bookmark";
        const std::vector<std::size_t>& ends = ends_[s.key];
        if (starts_[s.key].size() > 1 || ends.size() > 1) return "its id is not unique";
        if (ends.empty()) return "has no end";
        const std::size_t ei = ends.front();
        const Tag& e = tags_[ei];
        if (ei < si) return "ends before it starts";
        if (s.field == Place::Code) return "inside a field code";
        if (s.field == Place::Result) {
            // Some writers start a check box's or drop-down's bookmark in the field's (empty)
            // result and end it after the field: it names that field all the same.
            if (const pugi::xml_node begin = FormFieldBegin(s.node);
                begin && e.field == Place::Outside && e.node.parent() == s.node.parent())
                return FormField(si, ei, b, begin);
            return "inside a field result";
        }
        if (e.field == Place::Code) return "ends inside a field code";
        if (e.field == Place::Result) return "ends inside a field result";
        if (spans_[si].first == kNone || spans_[ei].first == kNone) return "could not be located in the file";
        // Other bookmarks that overlap this one are decided when a run fills both (see Overlaps).
        return Range(si, ei, b, true);
    }

    // The paragraph a tag stands in; null when it stands between paragraphs.
    pugi::xml_node ParagraphOf(pugi::xml_node n) const {
        for (pugi::xml_node up = n.parent(); up; up = up.parent()) {
            const std::string_view w = Word(up);
            if (w == "p") return up;
            if (IsOneOf(w, {"body", "tc", "tr", "tbl", "txbxContent", "hdr", "ftr", "footnote", "endnote",
                            "comment", "docPartBody"}))
                return {};
        }
        return {};
    }

    // The elements between `n` and its paragraph `p`, innermost first.
    static std::vector<pugi::xml_node> Chain(pugi::xml_node n, pugi::xml_node p) {
        std::vector<pugi::xml_node> chain;
        for (pugi::xml_node up = n.parent(); up && up != p; up = up.parent()) chain.push_back(up);
        return chain;
    }

    // A simple field showing a hyperlink's text, which no reader computes again.
    bool IsLinkField(pugi::xml_node n) const {
        return Word(n) == "fldSimple" && FirstWord(AnyAttribute(n, "instr").value()) == "HYPERLINK";
    }

    // What may be closed before a value and opened again after it: a hyperlink keeps its target,
    // a tracked change its author and date.
    bool Splittable(pugi::xml_node n) const {
        return IsOneOf(Word(n), {"hyperlink", "smartTag", "customXml", "dir", "bdo", "ins", "del", "moveFrom",
                                 "moveTo"});
    }

    // The start tag that opens `n` again after a value: a tracked change gets an id of its own.
    std::string Reopened(pugi::xml_node n) {
        if (!IsOneOf(Word(n), {"ins", "del", "moveFrom", "moveTo"})) return StartTagOf(xml_, n);
        const pugi::xml_attribute id = AnyAttribute(n, "id");
        if (!id) return StartTagOf(xml_, n);
        return StartTagOf(xml_, n, id.name(), std::to_string(++lastId_));
    }

    // The one content control between two sibling tags, with nothing else but marks; null when
    // there is not exactly one.
    pugi::xml_node OnlyControl(pugi::xml_node s, pugi::xml_node e) const {
        pugi::xml_node held;
        int elements = 0;
        for (pugi::xml_node n = s.next_sibling(); n && n != e; n = n.next_sibling()) {
            const std::string_view w = Word(n);
            if (n.type() != pugi::node_element || w == "bookmarkStart" || w == "bookmarkEnd" ||
                w == "proofErr")
                continue;
            held = n;
            ++elements;
        }
        return elements == 1 && Word(held) == "sdt" ? held : pugi::xml_node();
    }

    // A bookmark around one content control fills the control.
    std::string AroundControl(std::size_t si, std::size_t ei, pugi::xml_node held, PartBookmark& b) {
        const Tag& s = tags_[si];
        Removal removal;
        const pugi::xml_node content = Child(held, "sdtContent");
        if (!content) return "a content control without content";
        const Extent x = ExtentOf(content);
        if (x.end == kNone) return "could not be located in the file";
        if (std::string why = CheckRemoved(content.first_child(), {}, removal); !why.empty()) return why;
        if (removal.fieldDepth != 0) return "holds part of a field";
        if (s.bound) return "inside a bound content control";
        Edit edit;
        const bool placeholder = HasChild(Child(held, "sdtPr"), "showingPlcHdr");
        const pugi::xml_node from = removal.firstTextRun ? removal.firstTextRun : removal.firstRun;
        if (std::string why = ValueEdit(si, ei, x.open, x.close, from ? from : RunBefore(s.node), s.paragraph,
                                        content, placeholder, edit);
            !why.empty())
            return why;
        b.edits.push_back(std::move(edit));
        return Control(held, true, si, ei, b);
    }

    // Checks what lies between tags `s` and `e` in document order, which a value replaces: whole
    // elements, and the start of those that hold `e` or the end of those that hold `s`.
    std::string CheckBetween(pugi::xml_node s, pugi::xml_node e, Removal& r) const {
        std::vector<pugi::xml_node> holding;  // the elements that hold the end
        for (pugi::xml_node up = e.parent(); up; up = up.parent()) holding.push_back(up);
        const auto after = [](pugi::xml_node n) {
            while (n && !n.next_sibling()) n = n.parent();
            return n ? n.next_sibling() : pugi::xml_node();
        };
        pugi::xml_node n = after(s);
        while (n && n != e) {
            if (std::find(holding.begin(), holding.end(), n) != holding.end()) {
                n = n.first_child();
                continue;
            }
            if (std::string why = CheckRemoved(n, n.next_sibling(), r); !why.empty()) return why;
            n = after(n);
        }
        return n ? std::string() : "could not be followed";
    }

    // The edits that give the text between tags `from` and `to` a value, into b.edits; "" or why
    // that text cannot be replaced. `own`: the tags are the bookmark's own start and end (not the
    // edges of what remains of it beside an overlapping bookmark).
    //
    // The ends may lie in containers inside their paragraphs (hyperlinks, tracked changes, smart
    // tags, content controls). The value goes into the innermost container both ends share that
    // holds runs as a paragraph does, above any tracked change (a value is new text, not a
    // revision); below it, the containers the range starts or ends in are closed after the
    // start and opened again before the end, so what lies outside the range stays in them.
    // Across paragraphs, the text of the last one joins the first.
    std::string Range(std::size_t from, std::size_t to, PartBookmark& b, bool own) {
        const Tag& s = tags_[from];
        const Tag& e = tags_[to];
        const pugi::xml_node ps = ParagraphOf(s.node), pe = ParagraphOf(e.node);
        if (!ps || !pe) return "lies between paragraphs";
        if (s.box != e.box) return "spans the end of a text block";
        if (own && s.node.parent() == e.node.parent()) {
            if (std::string why = FormField(from, to, b); why != "no form field") return why;
            if (const pugi::xml_node held = OnlyControl(s.node, e.node))
                return AroundControl(from, to, held, b);
        }
        // A range that starts at the very end of a container (a hyperlink, a tracked change) starts
        // after it, and one that ends at its very start ends before it: nothing of it is split.
        const auto onlyMarks = [&](pugi::xml_node n, bool forward) {
            for (n = forward ? n.next_sibling() : n.previous_sibling(); n;
                 n = forward ? n.next_sibling() : n.previous_sibling()) {
                if (n.type() == pugi::node_comment || n.type() == pugi::node_pi ||
                    n.type() == pugi::node_pcdata)
                    continue;
                if (!IsOneOf(Word(n), {"bookmarkStart", "bookmarkEnd", "proofErr"})) return false;
            }
            return true;
        };
        const auto holds = [](pugi::xml_node outer, pugi::xml_node n) {
            for (; n; n = n.parent())
                if (n == outer) return true;
            return false;
        };
        pugi::xml_node first = s.node, last = e.node;  // the range lies after `first`, before `last`
        while (first.parent() != ps && Splittable(first.parent()) && !holds(first.parent(), e.node) &&
               onlyMarks(first, true))
            first = first.parent();
        while (last.parent() != pe && Splittable(last.parent()) && !holds(last.parent(), s.node) &&
               onlyMarks(last, false))
            last = last.parent();
        const std::vector<pugi::xml_node> chainS = Chain(first, ps), chainE = Chain(last, pe);
        for (pugi::xml_node c : chainS)
            if (Word(c) == "fldSimple" && !IsLinkField(c)) return "inside a field result";
        for (pugi::xml_node c : chainE)
            if (Word(c) == "fldSimple" && !IsLinkField(c)) return "ends inside a field result";
        std::size_t common = 0;
        if (ps == pe)
            while (common < chainS.size() && common < chainE.size() &&
                   chainS[chainS.size() - 1 - common] == chainE[chainE.size() - 1 - common])
                ++common;
        std::size_t level = 0;  // the containers, from the paragraph inward, that hold the value
        for (std::size_t k = 0; k < common; ++k) {
            const pugi::xml_node c = chainS[chainS.size() - 1 - k];
            if (Word(c) == "sdt") continue;  // its content holds the runs
            if (!IsOneOf(Word(c), {"hyperlink", "smartTag", "customXml", "dir", "bdo", "sdtContent"}) &&
                !IsLinkField(c))
                break;
            level = k + 1;
        }
        const pugi::xml_node holder = level == 0 ? ps : chainS[chainS.size() - level];
        std::string closing, opening;
        for (std::size_t k = 0; k + level < chainS.size(); ++k) {
            if (!Splittable(chainS[k])) return "holds part of " + DescribeNode(chainS[k]);
            closing += "</" + std::string(chainS[k].name()) + ">";
        }
        for (std::size_t k = chainE.size() - level; k-- > 0;) {
            if (!Splittable(chainE[k])) return "holds part of " + DescribeNode(chainE[k]);
            const std::string tag = Reopened(chainE[k]);
            if (tag.empty()) return "could not be located in the file";
            opening += tag;
        }
        if (ps != pe) {
            // The paragraphs between are taken out and the last one's text follows the value; they
            // must lie side by side in one cell, text box or body. The first paragraph's mark
            // goes too: if it ends a section, the section would change.
            if (ps.parent() != pe.parent())
                return s.cell != e.cell ? "spans a table cell" : "spans the end of a text block";
            if (const pugi::xml_node pPr = Child(ps, "pPr"); pPr && HasChild(pPr, "sectPr"))
                return "spans a section break";
        }
        Removal removal;
        if (std::string why = CheckBetween(first, last, removal); !why.empty()) return why;
        if (removal.fieldDepth != 0) return "holds part of a field";
        if (ps != pe && s.node.parent() == ps) {
            if (std::string why = JoinedProperties(s.node, pe, b); !why.empty()) return why;
        }
        pugi::xml_node control;
        bool whole = false;
        if (Word(holder) == "sdtContent") {
            control = holder.parent();
            whole = !TextOutside(holder, s.node, e.node);
        } else if (Word(ps.parent()) == "sdtContent") {
            control = ps.parent().parent();
            whole = !TextOutside(ps.parent(), s.node, e.node);
        }
        const bool placeholder = control && HasChild(Child(control, "sdtPr"), "showingPlcHdr");
        // The placeholder's text that stays would be shown as the control's own.
        if (placeholder && !whole) return "inside a content control showing its placeholder";
        if (s.bound > (control && IsBoundNode(control) ? 1u : 0u)) return "inside a bound content control";
        Edit edit;
        pugi::xml_node format = removal.firstTextRun ? removal.firstTextRun : RunBefore(s.node);
        if (!format) format = removal.firstRun;
        std::size_t begin = spans_[from].first + spans_[from].second;
        std::size_t end = spans_[to].first;
        if (first != s.node) begin = ExtentOf(first).end;
        if (last != e.node) end = Start(last);
        if (begin == kNone || end == kNone) return "could not be located in the file";
        if (first == s.node && last == e.node) TrimEdges(from, to, begin, end);
        if (std::string why =
                ValueEdit(from, to, begin, end, format, ps, holder, placeholder, edit, closing, opening);
            !why.empty())
            return why;
        b.edits.insert(b.edits.begin(), std::move(edit));  // the place of the value comes first
        if (control) {
            if (Word(control.parent()) != "p" && !HoldsRuns(control.parent())) {
                // A control around paragraphs: only plain text and bindings are followed.
                const pugi::xml_node pr = Child(control, "sdtPr");
                if (pr &&
                    (ForeignChild(pr, "checkbox") || HasChild(pr, "dropDownList") || HasChild(pr, "picture")))
                    return "inside a content control that holds paragraphs";
            }
            return Control(control, whole, from, to, b);
        }
        return {};
    }

    // The next (or previous) sibling of `n` that is a bookmark mark, past proofing marks and white
    // space only; null when something else comes first.
    pugi::xml_node MarkBeside(pugi::xml_node n, bool forward) const {
        for (n = forward ? n.next_sibling() : n.previous_sibling(); n;
             n = forward ? n.next_sibling() : n.previous_sibling()) {
            if (n.type() == pugi::node_comment || n.type() == pugi::node_pi || n.type() == pugi::node_pcdata)
                continue;
            const std::string_view w = Word(n);
            if (w == "bookmarkStart" || w == "bookmarkEnd") return n;
            if (w != "proofErr") return {};
        }
        return {};
    }

    // Marks right beside a range's edges stand at the edge's text position; those that belong
    // outside it stay where they are, out of the value's bytes: those of bookmarks that begin
    // before the range and end there, or begin there and end after it, and at the end, bookmarks
    // that are a point there. So two bookmarks that only touch never write into each
    // other's bytes, whatever the order of their marks.
    void TrimEdges(std::size_t from, std::size_t to, std::size_t& begin, std::size_t& end) const {
        std::size_t first = from + 1;
        for (pugi::xml_node n = MarkBeside(tags_[from].node, true); first < to && n == tags_[first].node;
             n = MarkBeside(n, true), ++first) {
            const Tag& t = tags_[first];
            const bool around = t.partner != kNone && (t.start ? t.partner > to : t.partner < from);
            if (!around || spans_[first].first == kNone) break;
            begin = spans_[first].first + spans_[first].second;
        }
        std::size_t low = to;  // the marks right before the end: [low, to)
        for (pugi::xml_node n = MarkBeside(tags_[to].node, false); low > first && n == tags_[low - 1].node;
             n = MarkBeside(n, false))
            --low;
        for (std::size_t cut = low; cut < to; ++cut) {
            bool outside = true;
            for (std::size_t k = cut; k < to && outside; ++k) {
                const Tag& t = tags_[k];
                const bool around = t.partner != kNone && (t.start ? t.partner > to : t.partner < from);
                const bool point = t.partner != kNone && t.partner >= cut && t.partner < to;
                outside = (around || point) && spans_[k].first != kNone;
            }
            if (outside) {
                end = spans_[cut].first;
                break;
            }
        }
    }

    // When a range that spans paragraphs starts at the start of its first paragraph (nothing
    // but properties and bookmark or proofing marks before it), the joined paragraph takes the
    // properties of the last: an edit puts the last one's w:pPr in place of the first one's.
    // (Started inside its first paragraph, the range keeps that one's properties, as the office
    // does when it sets the text of such a range.)
    std::string JoinedProperties(pugi::xml_node start, pugi::xml_node last, PartBookmark& b) const {
        const pugi::xml_node first = start.parent();
        for (pugi::xml_node n = first.first_child(); n != start; n = n.next_sibling()) {
            if (n.type() != pugi::node_element) continue;
            if (!IsOneOf(Word(n), {"pPr", "bookmarkStart", "bookmarkEnd", "proofErr"})) return {};
        }
        const pugi::xml_node firstPr = Child(first, "pPr");
        const pugi::xml_node lastPr = Child(last, "pPr");
        std::string replacement;
        if (lastPr) {
            if (Info(lastPr).declares) return "holds unusual namespace declarations";
            const Extent x = ExtentOf(lastPr);
            if (x.end == kNone) return "could not be located in the file";
            replacement = std::string(xml_.substr(x.begin, x.end - x.begin));
        }
        Edit edit;
        edit.kind = Edit::Kind::Choice;
        edit.secondary = true;
        if (firstPr) {
            const Extent x = ExtentOf(firstPr);
            if (x.end == kNone) return "could not be located in the file";
            if (xml_.substr(x.begin, x.end - x.begin) == replacement) return {};
            edit.begin = x.begin;
            edit.end = x.end;
        } else {
            if (!lastPr) return {};
            const Extent x = ExtentOf(first);
            if (x.end == kNone || x.open == x.end) return "could not be located in the file";
            edit.begin = edit.end = x.open;
        }
        edit.options = {std::move(replacement)};
        b.edits.push_back(std::move(edit));
        return {};
    }

    bool IsBoundNode(pugi::xml_node sdt) const {
        const pugi::xml_node pr = Child(sdt, "sdtPr");
        return pr && HasChild(pr, "dataBinding");
    }

    // A form field that the bookmark holds: its result or state is filled and the field stays.
    // "no form field" when the range holds none.
    // The run that begins the check box or drop-down field in whose result `tag` lies, among its
    // siblings; null when there is none.
    pugi::xml_node FormFieldBegin(pugi::xml_node tag) const {
        int depth = 0;  // field ends met walking back, not yet matched by their begins
        bool separated = false;
        for (pugi::xml_node n = tag.previous_sibling(); n; n = n.previous_sibling()) {
            if (Word(n) != "r") continue;
            for (pugi::xml_node c = n.last_child(); c; c = c.previous_sibling()) {
                if (Word(c) != "fldChar") continue;
                const std::string_view type = Info(c).type;
                if (type == "end") {
                    ++depth;
                } else if (type == "separate" && depth == 0) {
                    separated = true;
                } else if (type == "begin") {
                    if (depth > 0) {
                        --depth;
                        continue;
                    }
                    if (!separated || !HasChild(c, "ffData")) return {};
                    const pugi::xml_node ffData = Child(c, "ffData");
                    return Child(ffData, "checkBox") || Child(ffData, "ddList") ? n : pugi::xml_node();
                }
            }
        }
        return {};
    }

    // `from`: the first node of the range to look at; by default the one after the start tag.
    std::string FormField(std::size_t si, std::size_t ei, PartBookmark& b, pugi::xml_node from = {}) {
        const Tag& s = tags_[si];
        const Tag& e = tags_[ei];
        if (!from) from = s.node.next_sibling();
        struct Mark {
            pugi::xml_node run, node;
            std::string_view type;
        };
        std::vector<Mark> marks;
        std::vector<std::size_t> textAfterMarks;  // for each text child: how many marks came before
        std::string code;
        bool any = false;
        for (pugi::xml_node n = from; n && n != e.node; n = n.next_sibling())
            if (Word(n) == "r")
                for (pugi::xml_node c : n.children())
                    if (Word(c) == "fldChar" && Info(c).type == "begin" && HasChild(c, "ffData")) any = true;
        if (!any) return "no form field";
        pugi::xml_node firstRun;
        for (pugi::xml_node n = from; n != e.node; n = n.next_sibling()) {
            if (!n) return "could not be followed";
            if (n.type() == pugi::node_comment || n.type() == pugi::node_pi) continue;
            if (n.type() != pugi::node_element) return "holds stray text";
            const std::string_view w = Word(n);
            if (w == "bookmarkStart" || w == "bookmarkEnd" || w == "proofErr") continue;
            if (w != "r") return "holds " + DescribeNode(n) + " beside a form field";
            if (Info(n).declares) return "holds unusual namespace declarations";
            if (!firstRun) firstRun = n;
            for (pugi::xml_node c : n.children()) {
                if (c.type() == pugi::node_comment || c.type() == pugi::node_pi) continue;
                if (c.type() != pugi::node_element) return "holds stray text";
                const Element& ci = Info(c);
                if (ci.word == "rPr" && !Harmless(c)) return "holds unusual run properties";
                if ((IsText(ci.word) || ci.word == "lastRenderedPageBreak") && HasElement(c))
                    return "holds unusual text markup";
                if (IsText(ci.word)) {
                    textAfterMarks.push_back(marks.size());
                } else if (ci.word == "fldChar") {
                    marks.push_back({n, c, ci.type});
                } else if (ci.word == "instrText") {
                    if (code.size() < 256) code += c.child_value();
                    marks.push_back({n, c, "instr"});
                } else if (ci.word != "rPr" && ci.word != "lastRenderedPageBreak") {
                    return "holds " + DescribeNode(c) + " beside a form field";
                }
            }
        }
        std::size_t separate = kNone;
        bool wellFormed = marks.front().type == "begin" && marks.size() >= 2 && marks.back().type == "end";
        for (std::size_t k = 1; wellFormed && k + 1 < marks.size(); ++k) {
            if (marks[k].type == "separate" && separate == kNone)
                separate = k;
            else if (marks[k].type != "instr" || separate != kNone)
                wellFormed = false;
        }
        if (!wellFormed) return "holds more than one form field";
        for (std::size_t seen : textAfterMarks)
            if (seen == 0 || seen == marks.size()) return "holds text outside its form field";
        const pugi::xml_node ffData = Child(marks.front().node, "ffData");
        const std::string word = FirstWord(code);
        b.formField = true;

        // The result between the separator's run and the end's run, and its formatting.
        std::size_t resultBegin = kNone, resultEnd = kNone;
        pugi::xml_node formatFrom;
        if (separate != kNone) {
            const pugi::xml_node separateRun = marks[separate].run;
            const pugi::xml_node endRun = marks.back().run;
            if (separateRun == endRun) return "form field result shares a run with its code";
            for (pugi::xml_node c = marks[separate].node.next_sibling(); c; c = c.next_sibling())
                if (c.type() == pugi::node_element) return "form field result shares a run with its code";
            for (pugi::xml_node c = endRun.first_child(); c != marks.back().node; c = c.next_sibling())
                if (c.type() == pugi::node_element && Word(c) != "rPr")
                    return "form field result shares a run with its end";
            const pugi::xml_node rangeFirst = separateRun.next_sibling();
            resultEnd = Start(endRun);
            resultBegin = rangeFirst == endRun ? resultEnd : Start(rangeFirst);
            formatFrom = separateRun;
            for (pugi::xml_node n = rangeFirst; n != endRun; n = n.next_sibling()) {
                if (Word(n) == "r") {
                    formatFrom = n;
                    break;
                }
            }
        }

        if (word == "FORMTEXT") {
            if (separate == kNone) return "form field has no result";
            // Its maximum length stays; a longer value is written whole (the run says so).
            if (const pugi::xml_node input = Child(ffData, "textInput"))
                if (const pugi::xml_node most = Child(input, "maxLength"))
                    b.maxLength = static_cast<std::size_t>(
                        std::strtoul(AnyAttribute(most, "val").value(), nullptr, 10));
            Edit edit;
            if (std::string why = ValueEdit(si, ei, resultBegin, resultEnd, formatFrom, s.paragraph,
                                            s.paragraph, false, edit);
                !why.empty())
                return why;
            b.edits.push_back(std::move(edit));
            return {};
        }
        const std::string p =
            std::string(PrefixOf(ffData.name())) + (PrefixOf(ffData.name()).empty() ? "" : ":");
        if (word == "FORMCHECKBOX") {
            const pugi::xml_node box = Child(ffData, "checkBox");
            if (!box) return "a check box field without its settings";
            Edit edit;
            std::vector<std::string> options = {"<" + p + "checked " + p + "val=\"0\"/>",
                                                "<" + p + "checked " + p + "val=\"1\"/>"};
            if (pugi::xml_node checked = Child(box, "checked")) {
                if (!Replace(checked, options, edit)) return "could not be located in the file";
            } else {
                // w:checked follows the size and the default.
                pugi::xml_node after = Child(box, "default");
                if (!after) after = Child(box, "sizeAuto");
                if (!after) after = Child(box, "size");
                const Extent x = after ? ExtentOf(after) : ExtentOf(box);
                if (x.end == kNone || (!after && x.open == x.end)) return "could not be located in the file";
                edit.kind = Edit::Kind::Choice;
                edit.begin = edit.end = after ? x.end : x.open;
                edit.options = std::move(options);
            }
            b.edits.push_back(std::move(edit));
            b.kind = BookmarkKind::CheckBox;
            return {};
        }
        if (word == "FORMDROPDOWN") {
            const pugi::xml_node list = Child(ffData, "ddList");
            if (!list) return "a drop-down field without entries";
            for (pugi::xml_node c : list.children())
                if (Word(c) == "listEntry") b.entries.push_back(AnyAttribute(c, "val").value());
            if (b.entries.empty()) return "a drop-down field without entries";
            Edit edit;
            std::vector<std::string> options;
            for (std::size_t i = 0; i < b.entries.size(); ++i)
                options.push_back("<" + p + "result " + p + "val=\"" + std::to_string(i) + "\"/>");
            if (pugi::xml_node result = Child(list, "result")) {
                if (!Replace(result, options, edit)) return "could not be located in the file";
            } else {
                const Extent x = ExtentOf(list);
                if (x.end == kNone || x.open == x.end) return "could not be located in the file";
                edit.kind = Edit::Kind::Choice;
                edit.begin = edit.end = x.open;
                edit.options = std::move(options);
            }
            b.edits.push_back(std::move(edit));
            if (separate != kNone) {
                // The entry shown, where the field keeps one.
                Edit shown;
                if (std::string why = ValueEdit(si, ei, resultBegin, resultEnd, formatFrom, s.paragraph,
                                                s.paragraph, false, shown);
                    !why.empty())
                    return why;
                std::vector<std::string> texts;
                for (const std::string& entry : b.entries) {
                    std::string text;
                    AppendEdit(shown, entry, 0, text);
                    texts.push_back(std::move(text));
                }
                shown.kind = Edit::Kind::Choice;
                shown.options = std::move(texts);
                b.edits.insert(b.edits.begin(), std::move(shown));
            }
            b.kind = BookmarkKind::DropDown;
            return {};
        }
        return "holds a field";
    }

    // Fillable text bookmarks whose ranges truly overlap (each starts inside the other) learn of
    // each other, with the edits for what remains of each when the other is filled first: after
    // the end of one that starts before it, before the start of one that ends after it, or
    // between the two. Bookmarks that only touch, or nest, are not among them.
    void Overlaps(std::vector<PartBookmark>& list, const std::vector<std::size_t>& first) {
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].refusal.empty() && !list[i].hidden && list[i].kind == BookmarkKind::Text &&
                tags_[first[i]].partner != kNone)
                order.push_back(i);
        std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
            const PartBookmark& a = list[x];
            const PartBookmark& c = list[y];
            if (a.group != c.group) return a.group < c.group;
            if (a.begin != c.begin) return a.begin < c.begin;
            return a.end < c.end;
        });
        std::vector<std::vector<std::size_t>> before(list.size()), after(list.size());
        for (std::size_t k = 0; k < order.size(); ++k) {
            const PartBookmark& a = list[order[k]];
            for (std::size_t m = k + 1; m < order.size(); ++m) {
                const PartBookmark& c = list[order[m]];
                if (c.group != a.group || c.begin >= a.end) break;
                if (a.begin < c.begin && a.end < c.end) {
                    before[order[m]].push_back(order[k]);
                    after[order[k]].push_back(order[m]);
                }
            }
        }
        constexpr std::size_t kMostOverlaps = 4;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (before[i].empty() && after[i].empty()) continue;
            std::sort(before[i].begin(), before[i].end(),
                      [&](std::size_t x, std::size_t y) { return list[x].end < list[y].end; });
            std::sort(after[i].begin(), after[i].end(),
                      [&](std::size_t x, std::size_t y) { return list[x].begin < list[y].begin; });
            PartBookmark& b = list[i];
            for (std::size_t k : before[i]) b.overlapsBefore.push_back(list[k].name);
            for (std::size_t k : after[i]) b.overlapsAfter.push_back(list[k].name);
            // A text box written twice would need the same for its other copy: its bookmarks are
            // filled only where no overlapping one is filled first.
            if (tags_[first[i]].box != 0 || before[i].size() > kMostOverlaps ||
                after[i].size() > kMostOverlaps)
                continue;
            const std::size_t own = first[i], ownEnd = tags_[own].partner;
            std::vector<std::pair<std::size_t, std::string>> starts = {{own, ""}}, ends = {{ownEnd, ""}};
            for (std::size_t k : before[i]) starts.emplace_back(tags_[first[k]].partner, list[k].name);
            for (std::size_t k : after[i]) ends.emplace_back(first[k], list[k].name);
            for (const auto& [from, afterName] : starts) {
                for (const auto& [to, beforeName] : ends) {
                    if (from == own && to == ownEnd) continue;
                    Remainder r{afterName, beforeName, {}, {}};
                    if (from >= to) {
                        r.refusal = "nothing of it remains outside the bookmarks that overlap it";
                    } else {
                        PartBookmark part;
                        r.refusal = Range(from, to, part, false);
                        if (r.refusal.empty()) r.edits = std::move(part.edits);
                    }
                    b.remainders.push_back(std::move(r));
                }
            }
        }
    }

    // A bookmark in a text box written twice: the copy in mc:Fallback is filled with the one in
    // mc:Choice, and listed only there.
    void MergeTextBoxCopies(std::vector<PartBookmark>& list, const std::vector<std::size_t>& box) const {
        std::vector<bool> drop(list.size(), false);
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (box[i] == 0 || !boxes_[box[i] - 1].fallback) continue;
            const pugi::xml_node alternate = boxes_[box[i] - 1].alternate;
            for (std::size_t j = 0; j < list.size(); ++j) {
                if (box[j] == 0 || boxes_[box[j] - 1].fallback || boxes_[box[j] - 1].alternate != alternate ||
                    list[j].name != list[i].name)
                    continue;
                drop[i] = true;
                PartBookmark& primary = list[j];
                if (primary.refusal.empty() && !list[i].refusal.empty())
                    primary.refusal = "its copy for older readers: " + list[i].refusal;
                else if (primary.refusal.empty() && list[i].kind != primary.kind)
                    primary.refusal = "its copy for older readers differs";
                if (primary.refusal.empty()) {
                    for (Edit& edit : list[i].edits) primary.edits.push_back(std::move(edit));
                } else {
                    primary.edits.clear();
                    primary.bindings.clear();
                }
                break;
            }
            // Readers that show the other copy would keep the old text.
            if (!drop[i] && list[i].refusal.empty()) {
                list[i].refusal = "only in the copy of a text box for older readers";
                list[i].edits.clear();
                list[i].bindings.clear();
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (drop[i]) continue;
            if (kept != i) list[kept] = std::move(list[i]);
            ++kept;
        }
        list.resize(kept);
    }

    std::string_view xml_;
    pugi::xml_document doc_;
    std::unordered_map<const void*, Element> elements_;
    std::vector<Binding> bindings_;
    std::vector<Frame> frames_;
    std::vector<pugi::xml_node> paragraphs_, cells_;
    std::vector<Box> boxes_;
    std::vector<std::size_t> openBoxes_;
    std::vector<std::size_t> counters_ = {0};  // per box, the main text first
    unsigned long long lastId_ = 0;
    std::size_t bound_ = 0;
    std::vector<Field> fields_;
    std::vector<Tag> tags_;
    std::vector<std::pair<std::size_t, std::size_t>> spans_;
    std::unordered_map<std::string, std::vector<std::size_t>> starts_, ends_;
};

}  // namespace

// XML text: the three markup characters escaped, and U+FFFE/U+FFFF (valid UTF-8 but no XML
// character) replaced, so the part stays well-formed whatever the cell held.
void AppendEscaped(std::string_view text, std::string& out) {
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string_view with;
        std::size_t length = 1;
        const char c = text[i];
        if (c == '&') {
            with = "&amp;";
        } else if (c == '<') {
            with = "&lt;";
        } else if (c == '>') {
            with = "&gt;";
        } else if (c == '\xEF' && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            with = "\xEF\xBF\xBD";
            length = 3;
        } else {
            continue;
        }
        out.append(text, copied, i - copied);
        out += with;
        i += length - 1;
        copied = i + 1;
    }
    out.append(text, copied);
}

std::string ScanPart(std::string_view xml, PartScan& out) {
    out = {};
    PartScanner scanner(xml);
    std::string error = scanner.Run(out);
    if (!error.empty()) out = {};
    return error;
}

void AppendPictureEdit(const Edit& edit, std::string_view drawing, std::string& out) {
    out += edit.kept;
    out += edit.runOpen;
    out += drawing;
    out += "</";
    out += edit.prefix;
    out += "r>";
    out += edit.tail;
}

void AppendEdit(const Edit& edit, std::string_view value, int choice, std::string& out) {
    if (edit.kind == Edit::Kind::Choice) {
        if (edit.options.size() == 1)
            out += edit.options[0];
        else if (choice >= 0 && static_cast<std::size_t>(choice) < edit.options.size())
            out += edit.options[static_cast<std::size_t>(choice)];
        return;
    }
    if (edit.kind == Edit::Kind::Text) {
        out += edit.options[0];
        AppendEscaped(value, out);
        out += edit.options[1];
        return;
    }
    const std::string& p = edit.prefix;
    out += edit.kept;
    out += edit.runOpen;
    for (std::size_t i = 0; i < value.size();) {
        if (value[i] == '\n' || value[i] == '\t') {
            out += '<';
            out += p;
            out += value[i] == '\n' ? "br/>" : "tab/>";
            ++i;
            continue;
        }
        const std::size_t j = std::min(value.find_first_of("\n\t", i), value.size());
        out += '<';
        out += p;
        out += "t xml:space=\"preserve\">";
        AppendEscaped(value.substr(i, j - i), out);
        out += "</";
        out += p;
        out += "t>";
        i = j;
    }
    out += "</";
    out += p;
    out += "r>";
    out += edit.tail;
}

namespace {

// The namespace a prefix of `n` stands for, from the declarations in scope.
std::string_view NamespaceOf(pugi::xml_node n, std::string_view prefix) {
    const std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (; n; n = n.parent())
        if (pugi::xml_attribute a = n.attribute(attribute.c_str())) return a.value();
    return {};
}

}  // namespace

std::string BindingEdit(std::string_view xml, const DataBinding& binding, Edit& out) {
    const std::string refusal = "its data binding " + binding.xpath.substr(0, 80) + " is not a simple path";
    // The prefixes the path uses: "xmlns:ns0='uri' xmlns:ns1='uri'".
    std::vector<std::pair<std::string, std::string>> prefixes;
    const std::string_view all = binding.prefixes;
    for (std::size_t at = all.find("xmlns:"); at != kNone; at = all.find("xmlns:", at)) {
        const std::size_t equals = all.find('=', at);
        if (equals == kNone || equals + 1 >= all.size()) break;
        const char quote = all[equals + 1];
        const std::size_t close = all.find(quote, equals + 2);
        if ((quote != '"' && quote != '\'') || close == kNone) break;
        prefixes.emplace_back(std::string(all.substr(at + 6, equals - at - 6)),
                              std::string(all.substr(equals + 2, close - equals - 2)));
        at = close;
    }
    pugi::xml_document doc;
    const unsigned options =
        pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration;
    if (!doc.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8))
        return "its custom XML data part is not well-formed";
    const std::string_view path = binding.xpath;
    if (!path.starts_with('/') || path.starts_with("//")) return refusal;
    pugi::xml_node node = doc;
    for (std::size_t at = 1; at <= path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        std::string_view step = path.substr(at, slash - at);
        at = slash + 1;
        std::size_t index = 1;
        if (const std::size_t bracket = step.find('['); bracket != kNone) {
            if (!step.ends_with(']')) return refusal;
            const std::string_view number = step.substr(bracket + 1, step.size() - bracket - 2);
            if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != kNone)
                return refusal;
            index = std::stoul(std::string(number));
            step = step.substr(0, bracket);
        }
        if (step.empty() || step.find_first_of("@*()=.:") != step.find(':') || step.find('.') != kNone)
            return refusal;
        const std::string_view prefix = PrefixOf(step);
        const std::string_view local = LocalOf(step);
        std::string_view uri;
        if (!prefix.empty()) {
            const auto it = std::find_if(prefixes.begin(), prefixes.end(),
                                         [&](const auto& p) { return p.first == prefix; });
            if (it == prefixes.end()) return refusal;
            uri = it->second;
        }
        pugi::xml_node found;
        std::size_t seen = 0;
        for (pugi::xml_node c : node.children()) {
            if (c.type() != pugi::node_element || LocalOf(c.name()) != local ||
                NamespaceOf(c, PrefixOf(c.name())) != uri)
                continue;
            if (++seen == index) {
                found = c;
                break;
            }
        }
        if (!found) return "its data binding " + binding.xpath.substr(0, 80) + " selects nothing";
        node = found;
    }
    if (node == doc) return refusal;
    for (pugi::xml_node c : node.children())
        if (c.type() != pugi::node_pcdata) return "its bound data element holds more than text";
    const std::ptrdiff_t offset = node.offset_debug();
    if (offset < 1 || static_cast<std::size_t>(offset) > xml.size() || xml[offset - 1] != '<')
        return "its custom XML data could not be located";
    const Extent x = ExtentAt(xml, static_cast<std::size_t>(offset - 1));
    if (x.end == kNone) return "its custom XML data could not be located";
    std::string open(xml.substr(x.begin, x.open - x.begin));
    if (x.open == x.end) {
        open.pop_back();  // ">"
        open.pop_back();  // "/"
        open += '>';
    }
    out = {};
    out.kind = Edit::Kind::Text;
    out.begin = x.begin;
    out.end = x.end;
    out.options = {std::move(open), "</" + std::string(node.name()) + ">"};
    return {};
}

}  // namespace qm::engine::docx
