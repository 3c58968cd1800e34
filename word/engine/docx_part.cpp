#include "word/engine/docx_part.h"

#include <algorithm>
#include <cstring>
#include <pugixml.hpp>
#include <unordered_map>
#include <utility>

namespace qm::engine::docx {

namespace {

constexpr std::string_view kWordNamespace = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr std::string_view kStrictWordNamespace = "http://purl.oclc.org/ooxml/wordprocessingml/main";
constexpr std::size_t kNone = std::string::npos;

std::string_view PrefixOf(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    return colon == kNone ? std::string_view() : qualified.substr(0, colon);
}

std::string_view LocalOf(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    return colon == kNone ? qualified : qualified.substr(colon + 1);
}

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
        out.tags.reserve(tags_.size());
        for (const Tag& t : tags_) {
            const std::string_view bytes = ElementBytes(t.node);
            out.tags.emplace_back(
                bytes.empty() ? kNone : static_cast<std::size_t>(bytes.data() - xml_.data()), bytes.size());
        }
        for (std::size_t i = 0; i < tags_.size(); ++i) {
            if (!tags_[i].start) continue;
            PartBookmark b;
            Judge(i, out.tags, b);
            if (!b.refusal.empty()) {
                b.begin = b.end = b.keepFirst = b.keepCount = 0;
                b.runOpen.clear();
                b.prefix.clear();
            }
            out.bookmarks.push_back(std::move(b));
        }
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
        bool column = false;
        pugi::xml_node paragraph, cell;
        bool textBox = false, bound = false;
        Place field = Place::Outside;
        // Over every tag of the same id: the first and last in document order, and the first
        // start (kNone when the id has no start).
        std::size_t first = 0, last = 0, owner = kNone;
    };

    struct Field {
        bool result = false;
        bool ffData = false;
        bool formText = false;
        std::string code;
    };

    // Fields that enclose the current place, by what the place is in: counted, so that a part
    // with thousands of nested fields does not make every bookmark tag walk them all.
    std::size_t inCode_ = 0, inResult_ = 0;

    struct Frame {
        std::size_t bindings = 0;
        bool paragraph = false, cell = false, textBox = false, bound = false;
    };

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
        for (pugi::xml_node c : e.children())
            if (c.type() == pugi::node_element && Word(c) == local) return true;
        return false;
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
            ++textBoxes_;
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
        }
        elements_[n.internal_object()] = info;
        frames_.push_back(frame);
    }

    void Leave(pugi::xml_node n) {
        if (n.type() != pugi::node_element || frames_.empty()) return;
        const Frame frame = frames_.back();
        frames_.pop_back();
        if (frame.paragraph) paragraphs_.pop_back();
        if (frame.cell) cells_.pop_back();
        if (frame.textBox) --textBoxes_;
        if (frame.bound) --bound_;
        bindings_.resize(bindings_.size() - frame.bindings);
    }

    // A content control whose text comes from a data store: what we write would be replaced.
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
            f.formText = f.ffData && FirstWord(f.code) == "FORMTEXT";
            --inCode_;
            if (!f.formText) ++inResult_;
        } else if (type == "end") {
            if (fields_.empty()) return;
            const Field& f = fields_.back();
            if (!f.result)
                --inCode_;
            else if (!f.formText)
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
        t.textBox = textBoxes_ > 0;
        t.bound = bound_ > 0;
        t.field = inCode_           ? Place::Code
                  : inResult_       ? Place::Result
                  : fields_.empty() ? Place::Outside
                                    : Place::FormResult;
        (start ? starts_ : ends_)[t.id].push_back(tags_.size());
        tags_.push_back(t);
    }

    void Pair() {
        for (Tag& t : tags_) {
            const std::vector<std::size_t>& starts = starts_[t.id];
            const std::vector<std::size_t>& ends = ends_[t.id];
            t.first = std::min(starts.empty() ? kNone : starts.front(), ends.empty() ? kNone : ends.front());
            t.last = std::max(starts.empty() ? 0 : starts.back(), ends.empty() ? 0 : ends.back());
            t.owner = starts.empty() ? kNone : starts.front();
        }
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

    // Where the markup of `n` begins, or kNone when the node cannot be located.
    std::size_t Start(pugi::xml_node n) const {
        const std::ptrdiff_t offset = n.offset_debug();
        if (offset < 0 || static_cast<std::size_t>(offset) > xml_.size()) return kNone;
        const std::size_t at = static_cast<std::size_t>(offset);
        std::string_view opening;
        switch (n.type()) {
            case pugi::node_element:
                opening = "<";
                break;
            case pugi::node_comment:
                opening = "<!--";
                break;
            case pugi::node_pi:
                opening = "<?";
                break;
            default:
                return kNone;
        }
        if (at < opening.size() || xml_.substr(at - opening.size(), opening.size()) != opening) return kNone;
        if (n.type() != pugi::node_comment && xml_.substr(at).substr(0, std::strlen(n.name())) != n.name())
            return kNone;
        return at - opening.size();
    }

    // The bytes of a childless element such as a bookmark tag, or an empty view when they
    // cannot be located.
    std::string_view ElementBytes(pugi::xml_node n) const {
        const std::size_t start = Start(n);
        if (start == kNone || n.type() != pugi::node_element || n.first_child()) return {};
        std::size_t i = start + 1;
        char quote = 0;
        for (; i < xml_.size(); ++i) {
            const char c = xml_[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (i >= xml_.size()) return {};
        if (xml_[i - 1] == '/') return xml_.substr(start, i + 1 - start);
        // <w:bookmarkStart ...></w:bookmarkStart>: only white space may lie before the closing tag.
        const std::size_t close = xml_.find('<', i + 1);
        if (close == kNone || xml_.compare(close, 2, "</") != 0) return {};
        const std::size_t end = xml_.find('>', close);
        if (end == kNone) return {};
        return xml_.substr(start, end + 1 - start);
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
    // of WordprocessingML and extensions in other namespaces.
    std::string Properties(pugi::xml_node holder, bool& ok) const {
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
                    !Harmless(original))
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

    void Judge(std::size_t si, const std::vector<std::pair<std::size_t, std::size_t>>& spans,
               PartBookmark& b) {
        const Tag& s = tags_[si];
        b.name = s.name;
        b.inTable = static_cast<bool>(s.cell);
        b.inTextBox = s.textBox;
        b.refusal = Refusal(si, spans, b);
    }

    std::string Refusal(std::size_t si, const std::vector<std::pair<std::size_t, std::size_t>>& spans,
                        PartBookmark& b) {
        const Tag& s = tags_[si];
        if (s.column) return "a table column bookmark";
        // Word writes a text box twice (for new and old readers), its bookmarks included.
        if (s.textBox) return "inside a text box";
        const std::vector<std::size_t>& ends = ends_[s.id];
        if (starts_[s.id].size() > 1 || ends.size() > 1) return "its id is not unique";
        if (ends.empty()) return "has no end";
        const std::size_t ei = ends.front();
        const Tag& e = tags_[ei];
        if (ei < si) return "ends before it starts";
        if (!s.paragraph || s.paragraph != e.paragraph)
            return s.cell != e.cell ? "spans a table cell" : "spans a paragraph mark";
        if (s.bound) return "inside a bound content control";
        if (s.field == Place::Code) return "inside a field code";
        if (s.field == Place::Result) return "inside a field result";
        if (s.node.parent() != s.paragraph) return "inside " + DescribeNode(s.node.parent());
        if (e.node.parent() != s.paragraph) return "ends inside " + DescribeNode(e.node.parent());

        // What lies between start and end: runs of text, proofing marks and bookmark tags,
        // or exactly one FORMTEXT field.
        struct Mark {
            pugi::xml_node run, node;
            std::string_view type;
        };
        std::vector<Mark> marks;
        std::vector<std::size_t> textAfterMarks;  // for each text child: how many marks came before
        std::string code;
        pugi::xml_node firstRun;
        for (pugi::xml_node n = s.node.next_sibling(); n != e.node; n = n.next_sibling()) {
            if (!n) return "could not be followed";
            if (n.type() == pugi::node_comment || n.type() == pugi::node_pi) continue;
            if (n.type() != pugi::node_element) return "holds stray text";
            const std::string_view w = Word(n);
            if (w == "bookmarkStart" || w == "bookmarkEnd" || w == "proofErr") continue;
            if (w != "r") return "holds " + DescribeNode(n);
            if (Info(n).declares) return "holds unusual namespace declarations";
            if (!firstRun) firstRun = n;
            for (pugi::xml_node c : n.children()) {
                if (c.type() == pugi::node_comment || c.type() == pugi::node_pi) continue;
                if (c.type() != pugi::node_element) return "holds stray text";
                const Element& ci = Info(c);
                if (ci.word == "br" && ci.type == "page") return "holds a page break";
                if (ci.word == "br" && ci.type == "column") return "holds a column break";
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
                    return "holds " + DescribeNode(c);
                }
            }
        }

        pugi::xml_node rangeFirst = s.node.next_sibling();
        pugi::xml_node rangeEnd = e.node;
        pugi::xml_node formatFrom = firstRun ? firstRun : RunBefore(s.node);
        if (!marks.empty()) {
            // The only field a bookmark may hold: the FORMTEXT field it names, whose result is
            // replaced while the field stays.
            std::size_t separate = kNone;
            bool wellFormed =
                marks.front().type == "begin" && marks.size() >= 2 && marks.back().type == "end";
            for (std::size_t k = 1; wellFormed && k + 1 < marks.size(); ++k) {
                if (marks[k].type == "separate" && separate == kNone)
                    separate = k;
                else if (marks[k].type != "instr" || separate != kNone)
                    wellFormed = false;
            }
            const bool ffData = HasChild(marks.front().node, "ffData");
            const std::string word = FirstWord(code);
            if (!wellFormed || !ffData || word != "FORMTEXT") {
                if (ffData && (word == "FORMCHECKBOX" || word == "FORMDROPDOWN"))
                    return "a check box or drop-down form field";
                return "holds a field";
            }
            b.formField = true;
            if (separate == kNone) return "form field has no result";
            for (std::size_t seen : textAfterMarks)
                if (seen == 0 || seen == marks.size()) return "holds text outside its form field";
            const pugi::xml_node separateRun = marks[separate].run;
            const pugi::xml_node endRun = marks.back().run;
            if (separateRun == endRun) return "form field result shares a run with its code";
            for (pugi::xml_node c = marks[separate].node.next_sibling(); c; c = c.next_sibling())
                if (c.type() == pugi::node_element) return "form field result shares a run with its code";
            for (pugi::xml_node c = endRun.first_child(); c != marks.back().node; c = c.next_sibling())
                if (c.type() == pugi::node_element && Word(c) != "rPr")
                    return "form field result shares a run with its end";
            rangeFirst = separateRun.next_sibling();
            rangeEnd = endRun;
            formatFrom = separateRun;
            for (pugi::xml_node n = rangeFirst; n != rangeEnd; n = n.next_sibling()) {
                if (Word(n) == "r") {
                    formatFrom = n;
                    break;
                }
            }
        }

        // Nesting is fine; a bookmark that starts inside and ends outside (or the other way)
        // would lose one of its ends to the value.
        for (std::size_t t = si + 1; t < ei; ++t) {
            const Tag& other = tags_[t];
            // An end without a start bounds nothing.
            if (other.owner != kNone && (other.first < si || other.last > ei))
                return "overlaps bookmark " + std::string(tags_[other.owner].name);
        }

        const std::size_t end = Start(rangeEnd);
        const std::size_t begin = rangeFirst == rangeEnd ? end : Start(rangeFirst);
        if (begin == kNone || end == kNone || begin > end) return "could not be located in the file";
        b.begin = begin;
        b.end = end;
        // The tags in the range follow one another in document order.
        b.keepFirst = ei;
        for (std::size_t t = si + 1; t < ei; ++t) {
            if (spans[t].first == kNone) return "could not be located in the file";
            if (spans[t].first < begin || spans[t].first >= end) continue;
            b.keepFirst = std::min(b.keepFirst, t);
            ++b.keepCount;
        }

        bool ok = true;
        std::string properties;
        if (formatFrom) {
            if (Info(formatFrom).declares) return "holds unusual namespace declarations";
            properties = Properties(formatFrom, ok);
        } else {
            for (pugi::xml_node c : s.paragraph.children()) {
                if (c.type() != pugi::node_element || Word(c) != "pPr") continue;
                if (Info(c).declares) ok = false;
                properties = Properties(c, ok);
                break;
            }
        }
        if (!ok) return "holds unusual namespace declarations";
        const std::string_view prefix = PrefixOf(s.paragraph.name());
        b.prefix = prefix.empty() ? std::string() : std::string(prefix) + ":";
        b.runOpen = "<" + b.prefix + "r>" + properties;
        return {};
    }

    std::string_view xml_;
    pugi::xml_document doc_;
    std::unordered_map<const void*, Element> elements_;
    std::vector<Binding> bindings_;
    std::vector<Frame> frames_;
    std::vector<pugi::xml_node> paragraphs_, cells_;
    int textBoxes_ = 0, bound_ = 0;
    std::vector<Field> fields_;
    std::vector<Tag> tags_;
    std::unordered_map<std::string_view, std::vector<std::size_t>> starts_, ends_;
};

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

}  // namespace

std::string ScanPart(std::string_view xml, PartScan& out) {
    out = {};
    PartScanner scanner(xml);
    std::string error = scanner.Run(out);
    if (!error.empty()) out = {};
    return error;
}

void AppendFill(std::string_view xml, const PartScan& scan, const PartBookmark& site, std::string_view value,
                std::string& out) {
    const std::string& p = site.prefix;
    for (std::size_t t = site.keepFirst; t < site.keepFirst + site.keepCount; ++t)
        out.append(xml.substr(scan.tags[t].first, scan.tags[t].second));
    out += site.runOpen;
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
}

}  // namespace qm::engine::docx
