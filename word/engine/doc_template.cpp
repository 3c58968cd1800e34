#include "word/engine/doc_template.h"

#include <algorithm>
#include <array>
#include <map>
#include <numeric>
#include <optional>
#include <set>

#include "common/cfb/compound_file.h"
#include "common/text.h"
#include "word/engine/doc_file.h"
#include "word/engine/doc_form.h"
#include "word/engine/doc_picture.h"

namespace qm::engine {

using namespace doc;

namespace {

constexpr std::size_t kPage = 512;
constexpr char16_t kFieldBegin = 0x13, kFieldSeparator = 0x14, kFieldEnd = 0x15;
constexpr std::uint8_t kFormText = 70, kFormCheckBox = 71, kFormDropDown = 83, kHyperlink = 88;

// What the engine does with each table of the FIB when a document is made from the template.
enum class Treatment { Copy, Drop, Refuse };

// Tables that hold positions which nothing here knows how to move: a template with one of them
// goes to the office. The name in brackets is the table's, for whoever reads the refusal.
// Every other table is copied as it is. Among them the list of ActiveX controls (Plcocx, 85)
// names each control's field by its index in the field table, not by position: it stays right
// only as long as a fill adds or removes no field marks before that field.
const std::map<int, const char*>& RefusedTables() {
    static const std::map<int, const char*> tables = {
        {10, "AutoText entries (PlcfGlsy)"},
        {54, "a master document's subdocuments (PlcfWkb)"},
        {137, "content controls (SttbfBkmkSdt)"},
        {138, "content controls (PlcfBkfSdt)"},
        {139, "content controls (PlcfBklSdt)"},
        {141, "ranges only some users may edit (SttbfBkmkProt)"},
        {142, "ranges only some users may edit (PlcfBkfProt)"},
        {143, "ranges only some users may edit (PlcfBklProt)"},
    };
    return tables;
}

// Caches Word rebuilds (layout, spelling, language detection, table and list caches), undo
// data and smart tags: a made document leaves them out rather than carry stale positions.
// Also left out: tables readers are told to ignore but whose positions would go stale
// (PlcfSea 14, Plcfmthd 164, the tracked-move and Arto tables 165-177), the old grammar
// cookies (PlcfcookieOld 101) and the automatic summary's ranking (PlcfAsumy 89), which the
// summary tool computes again when asked.
bool Dropped(int table) {
    static const std::set<int> tables = {
        7,   8,   14,  34,  55,  63,  64,  65,  66,  67,  68,  77,  78,  79,  80,  81,  82,  88,  89,  90,
        93,  98,  101, 102, 103, 104, 105, 106, 107, 110, 111, 114, 115, 116, 117, 118, 119, 120, 121, 122,
        123, 124, 125, 128, 129, 130, 132, 133, 134, 135, 146, 147, 148, 149, 150, 151, 152, 153, 154, 155,
        156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 174, 175, 176, 177};
    return tables.count(table) != 0;
}

const char* StoryName(Story story) {
    switch (story) {
        case Story::Main:
            return "main";
        case Story::Footnote:
            return "footnote";
        case Story::Header:
            return "header";
        case Story::Comment:
            return "comment";
        case Story::Endnote:
            return "endnote";
        case Story::TextBox:
        case Story::HeaderTextBox:
            return "textbox";
        default:
            return "other";
    }
}

// The field table of each story.
int FieldTable(Story story) {
    switch (story) {
        case Story::Main:
            return kPlcfFldMom;
        case Story::Footnote:
            return kPlcfFldFtn;
        case Story::Header:
            return kPlcfFldHdr;
        case Story::Macro:
            return kPlcfFldMcr;
        case Story::Comment:
            return kPlcfFldAtn;
        case Story::Endnote:
            return kPlcfFldEdn;
        case Story::TextBox:
            return kPlcfFldTxbx;
        case Story::HeaderTextBox:
            return kPlcffldHdrTxbx;
        default:
            return -1;
    }
}

struct FieldMark {
    std::uint32_t cp;  // absolute
    char16_t ch;
    std::uint8_t type;  // for a begin: the field's type
};

struct Field {
    std::uint32_t begin = 0, end = 0;
    std::optional<std::uint32_t> separator;
    std::uint8_t type = 0;
};

// The fields of a story, from its field table; false when the marks do not nest.
bool ReadFields(const DocFile& d, Story story, std::vector<FieldMark>& marks, std::vector<Field>& fields) {
    marks.clear();
    fields.clear();
    const int table = FieldTable(story);
    const std::span<const std::uint8_t> bytes = d.TableBytes(table);
    if (bytes.empty()) return true;
    Plc plc;
    if (!ReadPlc(bytes, 2, plc)) return false;
    const std::uint32_t start = d.StoryStart(story);
    std::vector<Field> open;
    for (std::size_t i = 0; i < plc.count(); ++i) {
        const char16_t ch = plc.data[2 * i] & 0x1F;
        const std::uint32_t cp = start + plc.cp[i];
        marks.push_back({cp, ch, plc.data[2 * i + 1]});
        if (ch == kFieldBegin) {
            Field f;
            f.begin = cp;
            f.type = plc.data[2 * i + 1];
            open.push_back(f);
        } else if (ch == kFieldSeparator) {
            if (open.empty()) return false;
            open.back().separator = cp;
        } else if (ch == kFieldEnd) {
            if (open.empty()) return false;
            open.back().end = cp;
            fields.push_back(open.back());
            open.pop_back();
        } else {
            return false;
        }
    }
    return open.empty();
}

struct Mark {
    std::string name;
    std::uint32_t start = 0, end = 0;
};

// Bookmark names: an extended table of UTF-16 strings.
bool ReadNames(std::span<const std::uint8_t> bytes, std::vector<std::string>& names) {
    names.clear();
    if (bytes.empty()) return true;
    if (bytes.size() < 6 || U16(bytes.data()) != 0xFFFF) return false;
    const std::size_t count = U16(bytes.data() + 2);
    const std::size_t extra = U16(bytes.data() + 4);
    std::size_t at = 6;
    for (std::size_t i = 0; i < count; ++i) {
        if (at + 2 > bytes.size()) return false;
        const std::size_t n = U16(bytes.data() + at);
        at += 2;
        if (at + 2 * n + extra > bytes.size()) return false;
        std::u16string name(n, u'\0');
        for (std::size_t k = 0; k < n; ++k) name[k] = static_cast<char16_t>(U16(bytes.data() + at + 2 * k));
        names.push_back(qm::Utf16ToUtf8(name));
        at += 2 * n + extra;
    }
    return true;
}

// A table of ranges kept as start and end positions (bookmarks, comment ranges).
struct RangeTable {
    Plc starts;  // data: FBKF (index of the end, flags)
    Plc ends;
    bool Read(const DocFile& d, int startTable, int endTable) {
        const std::span<const std::uint8_t> s = d.TableBytes(startTable), e = d.TableBytes(endTable);
        if (s.empty() && e.empty()) return true;
        if (!ReadPlc(s, 4, starts) || !ReadPlc(e, 0, ends)) return false;
        for (std::size_t i = 0; i < starts.count(); ++i)
            if (U16(starts.data.data() + 4 * i) >= ends.count()) return false;
        return true;
    }
    std::size_t count() const { return starts.count(); }
    std::uint32_t Start(std::size_t i) const { return starts.cp[i]; }
    std::uint32_t End(std::size_t i) const { return ends.cp[U16(starts.data.data() + 4 * i)]; }
    std::uint16_t Flags(std::size_t i) const { return U16(starts.data.data() + 4 * i + 2); }
};

// A normalised value as Word's text: "\n" becomes a manual line break (U+000B).
std::u16string ValueToWordText(std::string_view value) {
    const std::string normal = NormalizeValue(value);
    std::u16string out;
    out.reserve(normal.size());
    for (std::size_t i = 0; i < normal.size();) {
        const unsigned char c = static_cast<unsigned char>(normal[i]);
        std::uint32_t cp;
        std::size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if (c < 0xE0) {
            cp = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(normal[i + 1]) & 0x3Fu);
            n = 2;
        } else if (c < 0xF0) {
            cp = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(normal[i + 1]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(normal[i + 2]) & 0x3Fu);
            n = 3;
        } else {
            cp = (c & 0x07u) << 18 | (static_cast<unsigned char>(normal[i + 1]) & 0x3Fu) << 12 |
                 (static_cast<unsigned char>(normal[i + 2]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(normal[i + 3]) & 0x3Fu);
            n = 4;
        }
        i += n;
        if (cp == '\n') cp = 0x0B;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

// Character properties that belong to the character they were found on and must not pass to
// a value: special characters, pictures, objects, field marks, symbols, revision marks.
bool SpecialSprm(std::uint16_t sprm) {
    switch (sprm) {
        case 0x0800:  // deleted
        case 0x0801:  // inserted
        case 0x0802:  // field vanish
        case 0x6A03:  // picture location
        case 0x4804:  // revision author
        case 0x6805:  // revision time
        case 0x0806:  // data
        case 0x080A:  // OLE2 object
        case 0x6A09:  // symbol
        case 0x680E:  // object location
        case 0x0818:  // special vanish
        case 0x0855:  // special character
        case 0x085A:  // object
        case 0x4863:  // deletion author
        case 0x6864:  // deletion time
        case 0xCA89:  // property revision
        case 0xCA71:  // RM properties
            return true;
        default:
            return false;
    }
}

std::vector<std::uint8_t> CleanChpx(const std::vector<std::uint8_t>& grpprl) {
    std::vector<std::uint8_t> out;
    const bool whole = ForEachSprm(grpprl, [&](std::uint16_t sprm, std::span<const std::uint8_t> bytes) {
        if (!SpecialSprm(sprm)) out.insert(out.end(), bytes.begin(), bytes.end());
    });
    if (!whole) out.clear();  // a damaged grpprl: plain text is better than a wrong one
    if (out.size() > 255) out.clear();
    return out;
}

// Where a listed bookmark's value goes.
struct Target {
    std::uint32_t start = 0, end = 0;  // the bookmark itself
    std::uint32_t s = 0, e = 0;        // the text that gets replaced
    Story story = Story::Main;
    std::optional<std::uint32_t> formatCp;  // the character whose properties the value takes
    // The drawings anchored in the replaced text (0 main text, 1 headers; the shape's id): they
    // go with it.
    std::vector<std::pair<std::uint8_t, std::uint32_t>> shapes;
    // The anchors in the replaced text of drawings that cannot be taken out cleanly (text boxes,
    // shapes inside a group or named by connector rules), in order: they stay, after the value.
    std::vector<std::uint32_t> kept;
    // The first inline picture of the replaced text: its character and its shown size. A new
    // picture is fitted in that size and takes that character's properties.
    std::optional<std::uint32_t> pictureCp;
    std::optional<PictureBox> pictureBox;
    // The first floating picture anchored in the replaced text: a picture frame of the drawing
    // `label` (0 main text, 1 headers) with its anchoring rectangle in twips, and where its
    // blip's index and crops sit in the drawing data. A new picture takes its blip, uncropped
    // and fitted in its rectangle, when the text holds no embedded inline picture.
    struct Floating {
        std::uint8_t label = 0;
        std::uint32_t spid = 0;
        std::size_t indexAt = 0;
        std::vector<std::size_t> cropsAt;
        std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    };
    std::optional<Floating> floating;
};

// A table moved when a story's text changes.
struct PositionTable {
    int index;
    std::size_t cb;
    Story story;
    bool boundaries;  // positions between ranges (sections, headers, notes), else characters
    // For character positions: an entry on a character the value replaces goes with it (a field
    // mark, a drawing's anchor). Otherwise such an entry makes the fill fail; Analyse refuses
    // those bookmarks first.
    bool removable = false;
};

const std::vector<PositionTable>& MovedTables() {
    static const std::vector<PositionTable> tables = {
        {kPlcffndRef, 2, Story::Main, false},
        {kPlcfandRef, 30, Story::Main, false},
        {kPlcfendRef, 2, Story::Main, false},
        {kPlcfFldMom, 2, Story::Main, false, true},
        {kPlcSpaMom, 26, Story::Main, false, true},
        {kPlcfSed, 12, Story::Main, true},
        {kPlcffndTxt, 0, Story::Footnote, true},
        {kPlcfFldFtn, 2, Story::Footnote, false, true},
        {kPlcfHdd, 0, Story::Header, true},
        {kPlcfFldHdr, 2, Story::Header, false, true},
        {kPlcSpaHdr, 26, Story::Header, false, true},
        {kPlcfandTxt, 0, Story::Comment, true},
        {kPlcfFldAtn, 2, Story::Comment, false, true},
        {kPlcfendTxt, 0, Story::Endnote, true},
        {kPlcfFldEdn, 2, Story::Endnote, false, true},
        {kPlcftxbxTxt, 22, Story::TextBox, true},
        {kPlcfTxbxBkd, 6, Story::TextBox, true},
        {kPlcfFldTxbx, 2, Story::TextBox, false, true},
        {kPlcfHdrtxbxTxt, 22, Story::HeaderTextBox, true},
        {kPlcfTxbxHdrBkd, 6, Story::HeaderTextBox, true},
        {kPlcffldHdrTxbx, 2, Story::HeaderTextBox, false, true},
    };
    return tables;
}

// The tables whose positions divide a story into parts (one header, one note, one text box):
// a value may not take the place of a part's end.
std::vector<int> PartTables(Story story) {
    switch (story) {
        case Story::Main:
            return {kPlcfSed};
        case Story::Footnote:
            return {kPlcffndTxt};
        case Story::Header:
            return {kPlcfHdd};
        case Story::Comment:
            return {kPlcfandTxt};
        case Story::Endnote:
            return {kPlcfendTxt};
        case Story::TextBox:
            return {kPlcftxbxTxt, kPlcfTxbxBkd};
        case Story::HeaderTextBox:
            return {kPlcfHdrtxbxTxt, kPlcfTxbxHdrBkd};
        default:
            return {};
    }
}

// One value going in, with everything a made document needs of it. A bookmark whose text holds
// kept anchors is filled by several: the value replacing the text before the first anchor, then
// empty ones taking out the text between and after them.
struct FillOp {
    std::size_t target;
    std::uint32_t s, e;
    Story story;
    std::u16string text;
    std::vector<std::uint8_t> chpx;
    std::uint16_t prm = 0;
    std::uint32_t fc = 0;
    std::uint32_t ts = 0, te = 0;  // the whole text the bookmark's value replaces
    bool value = true;             // the op that puts the value in (the first of its bookmark)
    std::int64_t delta() const {
        return static_cast<std::int64_t>(text.size()) - (static_cast<std::int64_t>(e) - s);
    }
};

// Drawings: the shapes of the main text (label 0) and of the headers (label 1), kept as
// nested records (a type, a length, and for containers the records they hold).
struct Record {
    std::size_t at = 0;  // where its header starts
    std::uint16_t type = 0;
    std::size_t length = 0;  // of its data, after the 8-byte header
    bool container = false;
};

std::optional<Record> ReadRecord(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t end) {
    if (at + 8 > end || end > bytes.size()) return std::nullopt;
    Record r;
    r.at = at;
    r.container = (bytes[at] & 0x0F) == 0x0F;
    r.type = U16(bytes.data() + at + 2);
    r.length = U32(bytes.data() + at + 4);
    if (r.length > end - at - 8) return std::nullopt;
    return r;
}

// The shape id of a top-level record of a drawing's group: a shape's own, or a group's (held
// by the first shape inside it). 0 when there is none.
std::uint32_t ShapeId(std::span<const std::uint8_t> bytes, const Record& r) {
    std::size_t at = r.at + 8;
    const std::size_t end = r.at + 8 + r.length;
    while (const std::optional<Record> child = ReadRecord(bytes, at, end)) {
        if (child->type == 0xF00A && child->length >= 4) return U32(bytes.data() + child->at + 8);
        if (child->type == 0xF004 && r.type == 0xF003) return ShapeId(bytes, *child);
        at = child->at + 8 + child->length;
    }
    return 0;
}

// The ids of the shapes a record holds, itself included.
void ShapeIds(std::span<const std::uint8_t> bytes, const Record& r, std::vector<std::uint32_t>& ids) {
    if (r.type == 0xF00A && r.length >= 4) ids.push_back(U32(bytes.data() + r.at + 8));
    if (!r.container) return;
    std::size_t at = r.at + 8;
    while (const std::optional<Record> child = ReadRecord(bytes, at, r.at + 8 + r.length)) {
        ShapeIds(bytes, *child, ids);
        at = child->at + 8 + child->length;
    }
}

// The drawing data without the shapes `cuts` names (a label and a shape id each): the shapes
// whose anchors went with a value. Each must be a top-level shape or group of its drawing, no
// drawing may hold connector rules, which name shapes too, and no shape cut may be one of
// `kept` (text boxes, whose text would be left without them). False when that does not hold.
bool CutShapes(std::span<const std::uint8_t> dgg,
               const std::vector<std::pair<std::uint8_t, std::uint32_t>>& cuts,
               const std::vector<std::uint32_t>& kept, std::vector<std::uint8_t>& out) {
    out.assign(dgg.begin(), dgg.end());
    const std::optional<Record> head = ReadRecord(dgg, 0, dgg.size());
    if (!head || head->type != 0xF000) return false;
    std::optional<std::size_t> saved;  // the count of all shapes, in the drawing group's record
    if (const std::optional<Record> fdgg = ReadRecord(dgg, 8, 8 + head->length);
        fdgg && fdgg->type == 0xF006 && fdgg->length >= 16)
        saved = fdgg->at + 8 + 8;
    std::vector<std::pair<std::size_t, std::size_t>> gone;  // ranges of bytes, in order
    std::size_t found = 0, removedShapes = 0;
    std::size_t at = 8 + head->length;
    while (at < dgg.size()) {
        const std::uint8_t label = dgg[at];
        const std::optional<Record> dg = ReadRecord(dgg, at + 1, dgg.size());
        if (!dg || dg->type != 0xF002) return false;
        std::optional<Record> group, fdg;
        for (std::size_t c = dg->at + 8, next = 0;; c = next) {
            const std::optional<Record> child = ReadRecord(dgg, c, dg->at + 8 + dg->length);
            if (!child) break;
            next = child->at + 8 + child->length;
            if (child->type == 0xF008 && child->length >= 8) fdg = child;
            if (child->type == 0xF003 && !group) group = child;
            if (child->type == 0xF005) {
                for (const auto& cut : cuts)
                    if (cut.first == label) return false;
            }
        }
        std::size_t cutHere = 0, shapesHere = 0;
        if (group) {
            for (std::size_t c = group->at + 8, next = 0;; c = next) {
                const std::optional<Record> child = ReadRecord(dgg, c, group->at + 8 + group->length);
                if (!child) break;
                next = child->at + 8 + child->length;
                if (child->at == group->at + 8) continue;  // the group's own shape
                const std::uint32_t id = ShapeId(dgg, *child);
                const bool cut = std::any_of(cuts.begin(), cuts.end(), [&](const auto& x) {
                    return x.first == label && x.second == id && id != 0;
                });
                if (!cut) continue;
                std::vector<std::uint32_t> ids;
                ShapeIds(dgg, *child, ids);
                for (std::uint32_t inside : ids)
                    if (std::find(kept.begin(), kept.end(), inside) != kept.end()) return false;
                gone.emplace_back(child->at, 8 + child->length);
                cutHere += 8 + child->length;
                shapesHere += ids.size();
                ++found;
            }
        }
        if (cutHere > 0) {
            Put32(out.data() + dg->at + 4, static_cast<std::uint32_t>(dg->length - cutHere));
            Put32(out.data() + group->at + 4, static_cast<std::uint32_t>(group->length - cutHere));
            if (fdg) {
                const std::uint32_t csp = U32(dgg.data() + fdg->at + 8);
                Put32(out.data() + fdg->at + 8,
                      csp >= shapesHere ? static_cast<std::uint32_t>(csp - shapesHere) : 0);
            }
            removedShapes += shapesHere;
        }
        at = dg->at + 8 + dg->length;
    }
    if (found != cuts.size()) return false;
    if (saved) {
        const std::uint32_t n = U32(dgg.data() + *saved);
        Put32(out.data() + *saved, n >= removedShapes ? static_cast<std::uint32_t>(n - removedShapes) : 0);
    }
    for (auto it = gone.rbegin(); it != gone.rend(); ++it)
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(it->first),
                  out.begin() + static_cast<std::ptrdiff_t>(it->first + it->second));
    return true;
}

// Positions before and after the fills.
class PositionMap {
  public:
    explicit PositionMap(std::vector<FillOp> ops, std::uint32_t offset = 0) {
        for (FillOp& op : ops) {
            op.s -= offset;
            op.e -= offset;
            op.ts -= offset;
            op.te -= offset;
        }
        ops_ = std::move(ops);
    }
    // A position between characters: one inside a replaced range moves to its start, also
    // when it lies next to an anchor kept in that range. So it is with the marks of a selection
    // typed over: a bookmark that ended inside now ends before the value, one that started
    // inside takes the value in.
    std::uint32_t Boundary(std::uint32_t cp) const {
        std::int64_t shift = 0;
        for (const FillOp& op : ops_) {
            if (cp > op.ts && cp < op.te) return Boundary(op.ts);
            if (cp >= op.e && cp > op.s) shift += op.delta();
        }
        return static_cast<std::uint32_t>(cp + shift);
    }
    // A character: gone when it was inside a replaced range.
    std::optional<std::uint32_t> Char(std::uint32_t cp) const {
        std::int64_t shift = 0;
        for (const FillOp& op : ops_) {
            if (cp >= op.s && cp < op.e) return std::nullopt;
            if (cp >= op.e) shift += op.delta();
        }
        return static_cast<std::uint32_t>(cp + shift);
    }
    // The end of a range that was exactly a replaced range ends after its value, and after the
    // anchors kept in it.
    std::uint32_t End(std::uint32_t start, std::uint32_t end) const {
        for (const FillOp& op : ops_)
            if (op.value && op.ts == start && op.te == end)
                return op.e == end ? Boundary(op.s) + static_cast<std::uint32_t>(op.text.size())
                                   : Boundary(end);
        return Boundary(end);
    }
    bool empty() const { return ops_.empty(); }

  private:
    std::vector<FillOp> ops_;
};

class DocTemplate final : public Template {
  public:
    Format format() const override { return Format::Doc; }
    const std::vector<BookmarkInfo>& bookmarks() const override { return infos_; }
    bool Make(std::span<const Fill> fills, std::vector<std::uint8_t>& out, std::string& error) const override;

    bool Load(std::span<const std::uint8_t> bytes, std::string& refusal);

  private:
    void Analyse(std::size_t index, const std::vector<Mark>& marks, const RangeTable& comments);
    std::string Replaceable(const Target& t, Story story) const;
    bool TextBoxAt(Story story, std::uint32_t cp) const;
    std::string Conflict(std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges) const;
    bool Rewrite(const PositionTable& t, const PositionMap& map, const PositionMap& all,
                 std::uint32_t storyShift, std::vector<std::uint8_t>& table,
                 std::vector<std::uint8_t>& wd) const;

    DocFile d_;
    std::vector<BookmarkInfo> infos_;
    std::vector<Target> targets_;
    std::vector<std::vector<Field>> fields_;  // per story
    std::vector<std::vector<FieldMark>> marks_;
    std::uint32_t lastChpxFc_ = 0;
    std::uint32_t lastPapxFc_ = 0;  // where the template's paragraph runs end

    // Check boxes and drop-downs, by bookmark index (doc_form.h).
    std::string AnalyseFormField(std::size_t index, const Field& f);
    std::map<std::size_t, FormFieldData> forms_;
};

bool DocTemplate::Load(std::span<const std::uint8_t> bytes, std::string& refusal) {
    if (!d_.Parse(bytes, refusal)) return false;
    // Every document made from the template is held to this check before it is kept, so a
    // template that fails it could never give a document.
    if (const std::string damage = CheckDocStructure(bytes); !damage.empty()) {
        refusal = "the document's tables are damaged (" + damage + ")";
        return false;
    }
    for (const auto& [table, why] : RefusedTables()) {
        if (d_.Lcb(table) != 0) {
            refusal = std::string("the document holds ") + why;
            return false;
        }
    }
    // Every table the engine touches must read whole.
    for (const PositionTable& t : MovedTables()) {
        Plc plc;
        if (d_.Lcb(t.index) != 0 && !ReadPlc(d_.TableBytes(t.index), t.cb, plc)) {
            refusal = "the document's position tables are damaged";
            return false;
        }
    }
    Plc chpx;
    if (d_.Lcb(kPlcfBteChpx) != 0) {
        if (!ReadPlc(d_.TableBytes(kPlcfBteChpx), 4, chpx) || chpx.cp.back() > d_.word().size()) {
            refusal = "the document's formatting tables are damaged";
            return false;
        }
        lastChpxFc_ = chpx.cp.back();
    }
    Plc papx;
    if (d_.Lcb(kPlcfBtePapx) != 0) {
        if (!ReadPlc(d_.TableBytes(kPlcfBtePapx), 4, papx) || papx.cp.back() > d_.word().size()) {
            refusal = "the document's formatting tables are damaged";
            return false;
        }
        lastPapxFc_ = papx.cp.back();
    }
    fields_.resize(static_cast<int>(Story::Count));
    marks_.resize(static_cast<int>(Story::Count));
    for (int s = 0; s < static_cast<int>(Story::Count); ++s) {
        if (!ReadFields(d_, static_cast<Story>(s), marks_[static_cast<std::size_t>(s)],
                        fields_[static_cast<std::size_t>(s)])) {
            refusal = "the document's field tables are damaged";
            return false;
        }
    }

    std::vector<std::string> names;
    RangeTable table;
    if (!ReadNames(d_.TableBytes(kSttbfBkmk), names) || !table.Read(d_, kPlcfBkf, kPlcfBkl) ||
        names.size() != table.count()) {
        refusal = "the document's bookmark tables are damaged";
        return false;
    }
    RangeTable comments;
    if (!comments.Read(d_, kPlcfAtnBkf, kPlcfAtnBkl)) {
        refusal = "the document's comment tables are damaged";
        return false;
    }
    std::vector<Mark> marks(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        marks[i].name = names[i];
        marks[i].start = table.Start(i);
        marks[i].end = table.End(i);
    }
    std::set<std::string> listed;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        if (!listed.insert(marks[i].name).second) continue;
        BookmarkInfo info;
        info.name = marks[i].name;
        info.hidden = IsHiddenBookmarkName(info.name);
        infos_.push_back(info);
        Target target;
        target.start = target.s = marks[i].start;
        target.end = target.e = marks[i].end;
        targets_.push_back(std::move(target));
        if ((table.Flags(i) & 0x8000) != 0) {
            infos_.back().refusal = "a table column bookmark";
        } else {
            Analyse(infos_.size() - 1, marks, comments);
        }
        // Analysed all the same, for where it lies; but Word keeps these for itself, and a
        // document only moves them with the text around them.
        if (infos_.back().hidden) infos_.back().refusal = "a hidden bookmark";
    }
    std::vector<Place> places;
    for (std::size_t i = 0; i < infos_.size(); ++i)
        places.push_back({static_cast<std::size_t>(targets_[i].story), targets_[i].s, targets_[i].e,
                          infos_[i].refusal.empty() && infos_[i].kind == BookmarkKind::Text});
    SetWithin(places, infos_);
    IndexNames();
    return true;
}

bool IsParagraphEnd(char16_t c) {
    return c == 0x0D || c == 0x07 || c == 0x0C;
}

// Why the text [t.s, t.e) of `story` cannot be replaced, or "". Paragraph marks, page and
// column breaks, pictures and drawings, and whole fields (checked by Analyse) go with the text,
// but for the anchors of drawings that cannot be taken out, which stay after the value (Analyse);
// a note's or comment's mark, a table's cell marks and the end of a section, header, note or
// text box cannot go, and the text is refused.
//
// When the text holds paragraph marks, the paragraphs it touches become one: it ends with the
// first mark at or after the range's end, and as every paragraph's properties are kept with its
// mark, the joined paragraph takes that last paragraph's properties. (Typing over such a
// selection, a word processor may keep the first paragraph's instead.)
std::string DocTemplate::Replaceable(const Target& t, Story story) const {
    const std::uint32_t start = d_.StoryStart(story);
    if (t.e > t.s && t.e >= d_.StoryEnd(story)) return "holds the last paragraph mark of its story";
    for (int index : PartTables(story)) {
        Plc parts;
        const auto table = std::find_if(MovedTables().begin(), MovedTables().end(),
                                        [&](const PositionTable& p) { return p.index == index; });
        if (d_.Lcb(index) == 0 || !ReadPlc(d_.TableBytes(index), table->cb, parts)) continue;
        for (std::uint32_t b : parts.cp) {
            if (start + b > t.s && start + b <= t.e) {
                switch (story) {
                    case Story::Main:
                        return "spans a section break";
                    case Story::Header:
                        return "spans the end of a header or footer";
                    case Story::TextBox:
                    case Story::HeaderTextBox:
                        return "spans the end of a text box";
                    default:
                        return "spans the end of a note or comment";
                }
            }
        }
    }
    for (std::uint32_t cp = t.s; cp < t.e; ++cp) {
        const char16_t c = d_.CharAt(cp);
        switch (c) {
            case 0x09:
            case 0x0B:
            case 0x0C:  // a page break: a section's end is found above
            case 0x0E:
            case 0x1E:
            case 0x1F:
            case 0x01:
            case kFieldBegin:
            case kFieldSeparator:
            case kFieldEnd:
                continue;
            case 0x0D: {
                // The last cell of a nested table ends with a paragraph mark, not a cell mark.
                bool cell = false;
                if (const std::optional<std::uint32_t> fc = d_.FcAt(cp)) {
                    ForEachSprm(d_.Papx(*fc), [&](std::uint16_t sprm, std::span<const std::uint8_t> whole) {
                        if ((sprm == 0x244B || sprm == 0x244C) && whole.size() >= 3 && whole[2] != 0)
                            cell = true;
                    });
                }
                if (cell) return "spans a table cell mark";
                continue;
            }
            case 0x07:
                return "spans a table cell mark";
            case 0x08:  // a text box or a drawing that cannot be taken out stays (Analyse)
                if (story != Story::Main && story != Story::Header) return "holds a drawing";
                continue;
            case 0x02:
                return "holds a footnote or endnote mark";
            case 0x05:
                return "holds a comment mark";
            case 0xFFFF:
                return "runs past the end of the text";
            default:
                if (c < 0x20) return "holds a special character";
        }
    }
    return {};
}

// True when the drawing anchored at `cp` of `story` (main text or headers) may be a text box:
// its shape heads a text box, or the document links text boxes into chains, whose other shapes
// cannot be told apart here.
bool DocTemplate::TextBoxAt(Story story, std::uint32_t cp) const {
    Plc anchors;
    if (!ReadPlc(d_.TableBytes(story == Story::Main ? kPlcSpaMom : kPlcSpaHdr), 26, anchors)) return false;
    Plc boxes;
    if (!ReadPlc(d_.TableBytes(story == Story::Main ? kPlcftxbxTxt : kPlcfHdrtxbxTxt), 22, boxes))
        return false;
    for (std::size_t i = 0; i < anchors.count(); ++i) {
        if (anchors.cp[i] != cp) continue;
        const std::uint32_t spid = U32(anchors.data.data() + 26 * i);
        for (std::size_t k = 0; k + 1 < boxes.count(); ++k) {
            const std::uint8_t* box = boxes.data.data() + 22 * k;
            if ((U16(box + 8) & 1) != 0) continue;  // a spare entry
            if (U32(box) > 1 || U32(box + 14) == spid) return true;
        }
    }
    return false;
}

void DocTemplate::Analyse(std::size_t index, const std::vector<Mark>& marks, const RangeTable& comments) {
    BookmarkInfo& info = infos_[index];
    Target& t = targets_[index];
    auto refuse = [&](std::string why) { info.refusal = std::move(why); };
    if (t.end < t.start) return refuse("its end lies before its start");
    const Story story = d_.StoryOf(t.start);
    t.story = story;
    info.story = StoryName(story);
    if (story == Story::Count || t.end > d_.StoryEnd(story))
        return refuse("lies outside the document's text");
    // A header's bookmark: which of the six kinds of header and footer holds it.
    if (story == Story::Header) {
        Plc hdd;
        if (!ReadPlc(d_.TableBytes(kPlcfHdd), 0, hdd)) return refuse("the header table is damaged");
        const std::uint32_t rel = t.start - d_.StoryStart(Story::Header);
        std::size_t k = 0;
        while (k + 1 < hdd.cp.size() && hdd.cp[k + 1] <= rel) ++k;
        if (k < 6) return refuse("in a footnote separator");
        if ((k - 6) % 6 >= 2 && (k - 6) % 6 != 4) info.story = "footer";
    }

    // In a table: the paragraph that holds the bookmark ends with a mark that says so.
    std::uint32_t mark = t.end;
    while (mark < d_.StoryEnd(story) && !IsParagraphEnd(d_.CharAt(mark))) ++mark;
    if (const std::optional<std::uint32_t> fc = d_.FcAt(mark); fc && mark < d_.StoryEnd(story))
        info.inTable = d_.CharAt(mark) == 0x07 || d_.ParagraphInTable(*fc);

    // Fields: a form text field's bookmark fills the field's result. Other fields may lie
    // wholly in the replaced text (they go with it) or hold it in a hyperlink's shown text;
    // any other field mark in or around the range makes it unsafe.
    const std::vector<Field>& fields = fields_[static_cast<std::size_t>(story)];
    const Field* form = nullptr;
    for (const Field& f : fields) {
        const bool wraps = (t.start == f.begin || t.start == f.begin + 1) && t.end == f.end + 1;
        if (!wraps) continue;
        if (f.type == kFormCheckBox || f.type == kFormDropDown) {
            // A check box or drop-down takes a state, kept in the Data stream; its text stays.
            return refuse(AnalyseFormField(index, f));
        }
        if (f.type != kFormText) break;
        if (!f.separator) return refuse("a form field without a result");
        form = &f;
        info.formField = true;
        t.s = *f.separator + 1;
        t.e = f.end;
        break;
    }
    for (const Field& f : fields) {
        if (&f == form) continue;
        if (f.begin >= t.s && f.end < t.e) {
            // Replaced with the rest; but the ActiveX control list counts fields by their index,
            // and would then name the wrong ones.
            if (d_.Lcb(kPlcocx) != 0) return refuse("holds a field, in a document with ActiveX controls");
            continue;
        }
        const std::uint32_t codeEnd = f.separator ? *f.separator : f.end;
        if (t.s > f.begin && t.s <= codeEnd) return refuse("inside a field code");
        if (f.separator && t.s > *f.separator && t.s <= f.end) {
            // A reader recomputes most results (REF, PAGEREF, PAGE...) and would show the
            // field's result, not the value; a hyperlink's shown text stays as written.
            if (f.type != kHyperlink) return refuse("inside a field result");
            if (t.e > f.end) return refuse("holds part of a field");
            continue;
        }
        if (f.end >= t.s && f.begin < t.e) return refuse("holds part of a field");
    }
    if (std::string why = Replaceable(t, story); !why.empty()) return refuse(why);
    std::vector<std::uint32_t> drawn;  // the characters drawings are anchored on
    // Drawings anchored in the text go with it when their shapes can be taken out of the
    // drawing data cleanly. The others (text boxes, whose text would be left without a shape;
    // shapes inside a group; drawings with connector rules, which name shapes too) keep their
    // anchor character, moved to just after the value and still inside the bookmark, with its
    // properties, its entry in the anchor table, its drawing and its text box's text. A word
    // processor setting the bookmark's text would delete such a text box; keeping it means
    // nothing the engine cannot remove consistently is half-removed.
    if (story == Story::Main || story == Story::Header) {
        const std::uint8_t label = story == Story::Main ? 0 : 1;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> anchored;  // cp, shape id
        Plc anchors;
        if (ReadPlc(d_.TableBytes(story == Story::Main ? kPlcSpaMom : kPlcSpaHdr), 26, anchors)) {
            const std::uint32_t start = d_.StoryStart(story);
            for (std::size_t i = 0; i < anchors.count(); ++i)
                if (start + anchors.cp[i] >= t.s && start + anchors.cp[i] < t.e)
                    anchored.emplace_back(start + anchors.cp[i], U32(anchors.data.data() + 26 * i));
        }
        for (const auto& a : anchored) drawn.push_back(a.first);
        // The shapes that show a text box: the first of each (unlinked) box.
        std::vector<std::uint32_t> boxes;
        for (int index : {kPlcftxbxTxt, kPlcfHdrtxbxTxt}) {
            Plc plc;
            if (!ReadPlc(d_.TableBytes(index), 22, plc)) continue;
            for (std::size_t k = 0; k + 1 < plc.count(); ++k)
                if ((U16(plc.data.data() + 22 * k + 8) & 1) == 0)
                    boxes.push_back(U32(plc.data.data() + 22 * k + 14));
        }
        const bool drawings = d_.Lcb(kDggInfo) != 0;
        for (std::size_t i = 0; i < anchors.count() && drawings && !t.floating; ++i) {
            const std::uint32_t cp = d_.StoryStart(story) + anchors.cp[i];
            const std::uint8_t* spa = anchors.data.data() + 26 * i;
            if (cp < t.s || cp >= t.e || BlipCount(d_.TableBytes(kDggInfo)) == 0) continue;
            if (const std::optional<PictureShape> shape =
                    PictureIndexAt(d_.TableBytes(kDggInfo), label, U32(spa)))
                t.floating = Target::Floating{label,
                                              U32(spa),
                                              shape->indexAt,
                                              shape->cropsAt,
                                              static_cast<std::int32_t>(U32(spa + 4)),
                                              static_cast<std::int32_t>(U32(spa + 8)),
                                              static_cast<std::int32_t>(U32(spa + 12)),
                                              static_cast<std::int32_t>(U32(spa + 16))};
        }
        std::vector<std::uint8_t> cut;
        for (const auto& [cp, id] : anchored) {
            const bool removable =
                !TextBoxAt(story, cp - d_.StoryStart(story)) &&
                (!drawings || CutShapes(d_.TableBytes(kDggInfo), {{label, id}}, boxes, cut));
            if (removable) {
                t.shapes.emplace_back(label, id);
            } else if (std::find(t.kept.begin(), t.kept.end(), cp) == t.kept.end()) {
                t.kept.push_back(cp);
            }
        }
        if (!t.shapes.empty() && drawings && !CutShapes(d_.TableBytes(kDggInfo), t.shapes, boxes, cut)) {
            // Each can go alone but not all together: keep them all.
            for (const auto& [cp, id] : anchored)
                if (std::find(t.kept.begin(), t.kept.end(), cp) == t.kept.end()) t.kept.push_back(cp);
            t.shapes.clear();
        }
        // A shape kept must not also be cut (two anchors naming one shape).
        std::erase_if(t.shapes, [&](const auto& shape) {
            return std::any_of(anchored.begin(), anchored.end(), [&](const auto& a) {
                return a.second == shape.second &&
                       std::find(t.kept.begin(), t.kept.end(), a.first) != t.kept.end();
            });
        });
        std::sort(t.kept.begin(), t.kept.end());
    }

    // Bookmarks may nest or share a range; a partial overlap cannot be kept as it is. Word's
    // own bookmarks are the exception: it drops _GoBack at the last edit and _Hlt, _Toc, _Ref
    // and OLE_LINK marks wherever a link or heading began, with no regard for the user's, and
    // moves a mark of theirs that a typed value replaces to the value's start. Make does the
    // same (PositionMap::Boundary), so they never stop a fill.
    auto overlaps = [&](std::uint32_t a, std::uint32_t b) {
        if (a == t.s && b == t.e) return false;
        const bool disjoint = b <= t.s || a >= t.e;
        const bool inside = a >= t.s && b <= t.e;
        const bool around = a <= t.s && b >= t.e;
        return !(disjoint || inside || around);
    };
    for (const Mark& m : marks) {
        if (IsHiddenBookmarkName(m.name) || (m.start == t.start && m.end == t.end)) continue;
        if (overlaps(m.start, m.end)) return refuse("overlaps bookmark " + m.name);
    }
    for (std::size_t i = 0; i < comments.count(); ++i)
        if (overlaps(comments.Start(i), comments.End(i))) return refuse("overlaps a comment's range");

    // The value takes the properties of the text it replaces (of its first character that is
    // no drawing's anchor); an empty bookmark those of the character before it, unless that
    // ends a paragraph.
    std::uint32_t first = t.s;  // the first character of text, past drawings' anchors
    while (first < t.e && std::find(drawn.begin(), drawn.end(), first) != drawn.end()) ++first;
    if (first < t.e) {
        t.formatCp = first;
    } else if (t.e > t.s) {  // NOLINT(bugprone-branch-clone): as the last branch, for another reason
        t.formatCp = t.s;
    } else if (t.s > d_.StoryStart(story) && !IsParagraphEnd(d_.CharAt(t.s - 1))) {
        t.formatCp = t.s - 1;
    } else if (t.s < d_.StoryEnd(story)) {
        t.formatCp = t.s;
    }

    const std::uint32_t dataIndex = DataStreamIndex(d_);
    for (std::uint32_t cp = t.s; cp < t.e && dataIndex != cfb::kNoEntry; ++cp) {
        const std::optional<std::uint32_t> at = InlinePictureLocation(d_, cp);
        if (!at) continue;
        if (const std::optional<PictureBox> box = ReadPictureBox(d_.streams[dataIndex], *at)) {
            t.pictureCp = cp;
            t.pictureBox = box;
            break;
        }
    }
}

std::string DocTemplate::AnalyseFormField(std::size_t index, const Field& f) {
    BookmarkInfo& info = infos_[index];
    FormFieldData data;
    std::string why = ReadFormField(d_, f.begin, f.separator ? *f.separator : f.end, f.type, data);
    info.kind = f.type == kFormCheckBox ? BookmarkKind::CheckBox : BookmarkKind::DropDown;
    info.entries = data.entries;
    info.formField = true;
    if (why.empty()) forms_[index] = std::move(data);
    return why;
}

std::string DocTemplate::Conflict(std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges) const {
    std::sort(ranges.begin(), ranges.end());
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first == ranges[i - 1].first) return "two filled bookmarks start at the same place";
        if (ranges[i].first < ranges[i - 1].second) return "one filled bookmark lies inside another";
    }
    return {};
}

bool DocTemplate::Rewrite(const PositionTable& t, const PositionMap& map, const PositionMap& all,
                          std::uint32_t storyShift, std::vector<std::uint8_t>& table,
                          std::vector<std::uint8_t>& wd) const {
    if (d_.Lcb(t.index) == 0) return true;
    Plc plc;
    if (!ReadPlc(d_.TableBytes(t.index), t.cb, plc)) return false;
    const std::uint32_t start = d_.StoryStart(t.story);
    const std::uint32_t length = d_.ccp[static_cast<std::size_t>(t.story)];
    for (std::size_t i = 0; i < plc.cp.size(); ++i) {
        if (plc.cp[i] > length) {
            // Past the story (Word ends such tables at the end of all text): every change
            // before it counts, in this story and the ones after it.
            plc.cp[i] = all.Boundary(start + plc.cp[i]) - start - storyShift;
        } else if (t.boundaries || i + 1 == plc.cp.size()) {
            // The last position ends the table's range, not a character.
            plc.cp[i] = map.Boundary(plc.cp[i]);
        } else {
            const std::optional<std::uint32_t> cp = map.Char(plc.cp[i]);
            if (!cp && !t.removable) return false;
            if (!cp) {
                // The entry's character was replaced: the entry goes with it.
                plc.cp.erase(plc.cp.begin() + static_cast<std::ptrdiff_t>(i));
                plc.data.erase(plc.data.begin() + static_cast<std::ptrdiff_t>(i * t.cb),
                               plc.data.begin() + static_cast<std::ptrdiff_t>((i + 1) * t.cb));
                --i;
                continue;
            }
            plc.cp[i] = *cp;
        }
    }
    if (plc.cp.size() < 2) {
        // Nothing left: the table goes.
        Put32(wd.data() + d_.fcLcbOffset + 8 * static_cast<std::size_t>(t.index) + 4, 0);
        return true;
    }
    const std::uint32_t fc = static_cast<std::uint32_t>(table.size());
    AppendPlc(plc, table);
    Put32(wd.data() + d_.fcLcbOffset + 8 * static_cast<std::size_t>(t.index), fc);
    Put32(wd.data() + d_.fcLcbOffset + 8 * static_cast<std::size_t>(t.index) + 4,
          static_cast<std::uint32_t>(table.size() - fc));
    return true;
}

// Moves a table of ranges; ends that fall out of order are sorted again and their starts told.
bool MoveRanges(const DocFile& d, int startIndex, int endIndex, const PositionMap& map,
                std::vector<std::uint8_t>& table, std::vector<std::uint8_t>& wd) {
    RangeTable ranges;
    if (!ranges.Read(d, startIndex, endIndex)) return false;
    if (ranges.count() == 0) return true;
    Plc starts = ranges.starts, ends = ranges.ends;
    std::vector<std::uint32_t> newEnd(ends.cp.size());
    for (std::size_t k = 0; k < ends.cp.size(); ++k) newEnd[k] = map.Boundary(ends.cp[k]);
    for (std::size_t i = 0; i < ranges.count(); ++i) {
        const std::uint16_t k = U16(starts.data.data() + 4 * i);
        newEnd[k] = map.End(ranges.Start(i), ranges.End(i));
        starts.cp[i] = map.Boundary(ranges.Start(i));
    }
    starts.cp.back() = map.Boundary(ranges.starts.cp.back());
    std::vector<std::size_t> order(ends.count());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return newEnd[a] < newEnd[b]; });
    std::vector<std::uint16_t> where(ends.count());
    for (std::size_t k = 0; k < order.size(); ++k) {
        ends.cp[k] = newEnd[order[k]];
        where[order[k]] = static_cast<std::uint16_t>(k);
    }
    ends.cp.back() = newEnd.back();
    for (std::size_t i = 0; i < ranges.count(); ++i)
        Put16(starts.data.data() + 4 * i, where[U16(starts.data.data() + 4 * i)]);
    for (const auto& [index, plc] : {std::pair<int, const Plc*>{startIndex, &starts}, {endIndex, &ends}}) {
        const std::uint32_t fc = static_cast<std::uint32_t>(table.size());
        AppendPlc(*plc, table);
        Put32(wd.data() + d.fcLcbOffset + 8 * static_cast<std::size_t>(index), fc);
        Put32(wd.data() + d.fcLcbOffset + 8 * static_cast<std::size_t>(index) + 4,
              static_cast<std::uint32_t>(table.size() - fc));
    }
    return true;
}

// A CHPX formatting page over runs of the WordDocument stream.
struct Run {
    std::uint32_t fc, fcEnd;
    std::vector<std::uint8_t> chpx;
};

// Lays the runs out in pages of 512 bytes; each page's end position goes into `ends`.
std::vector<std::array<std::uint8_t, kPage>> BuildPages(const std::vector<Run>& runs,
                                                        std::vector<std::uint32_t>& ends) {
    std::vector<std::array<std::uint8_t, kPage>> pages;
    std::size_t next = 0;
    while (next < runs.size()) {
        std::array<std::uint8_t, kPage> page{};
        std::size_t crun = 0;
        std::size_t low = kPage - 1;  // lowest byte used by a property group
        std::map<std::vector<std::uint8_t>, std::uint8_t> placed;
        std::vector<std::uint8_t> offsets;
        while (next + crun < runs.size() && crun < 101) {
            const Run& r = runs[next + crun];
            std::size_t newLow = low;
            std::uint8_t offset = 0;
            if (!r.chpx.empty()) {
                if (auto it = placed.find(r.chpx); it != placed.end()) {
                    offset = it->second;
                } else {
                    newLow = (low - (1 + r.chpx.size())) & ~std::size_t{1};
                    offset = static_cast<std::uint8_t>(newLow / 2);
                }
            }
            const std::size_t header = 4 * (crun + 2) + crun + 1;
            if (header > newLow) break;
            if (!r.chpx.empty() && !placed.count(r.chpx)) {
                page[newLow] = static_cast<std::uint8_t>(r.chpx.size());
                std::copy(r.chpx.begin(), r.chpx.end(),
                          page.begin() + static_cast<std::ptrdiff_t>(newLow + 1));
                placed[r.chpx] = offset;
                low = newLow;
            }
            offsets.push_back(offset);
            ++crun;
        }
        if (crun == 0) break;  // cannot happen: one run always fits
        for (std::size_t i = 0; i < crun; ++i) Put32(page.data() + 4 * i, runs[next + i].fc);
        Put32(page.data() + 4 * crun, runs[next + crun - 1].fcEnd);
        for (std::size_t i = 0; i < crun; ++i) page[4 * (crun + 1) + i] = offsets[i];
        page[kPage - 1] = static_cast<std::uint8_t>(crun);
        ends.push_back(runs[next + crun - 1].fcEnd);
        pages.push_back(page);
        next += crun;
    }
    return pages;
}

bool DocTemplate::Make(std::span<const Fill> fills, std::vector<std::uint8_t>& out,
                       std::string& error) const {
    out.clear();
    // Each named bookmark once, with its last value, in the order of the text; those left as
    // in the template are not named.
    std::set<std::string> skipped;
    for (const Skip& skip : Skips(fills)) skipped.insert(skip.name);
    std::map<std::size_t, const Fill*> values;
    for (const Fill& fill : fills) {
        for (std::size_t i = 0; i < infos_.size(); ++i) {
            if (infos_[i].name != fill.name) continue;
            if (!infos_[i].hidden && !skipped.count(fill.name)) values[i] = &fill;
            break;
        }
    }
    std::vector<FillOp> ops;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    // Check boxes and drop-downs change their state bits in a copy of the Data stream; inline
    // pictures are appended to it (to a new one when the template has none).
    std::optional<std::vector<std::uint8_t>> data;
    const std::uint32_t dataIndex = DataStreamIndex(d_);
    auto dataCopy = [&]() -> std::vector<std::uint8_t>& {
        if (!data) data = dataIndex == cfb::kNoEntry ? std::vector<std::uint8_t>{} : d_.streams[dataIndex];
        return *data;
    };
    for (const auto& [i, fill] : values) {
        // A check box or drop-down given a picture stays as it is.
        if (infos_[i].kind != BookmarkKind::Text && !fill->picture) {
            const auto form = forms_.find(i);
            if (form == forms_.end() || dataIndex == cfb::kNoEntry) continue;
            if (const std::optional<unsigned> state = FormFieldState(form->second, fill->value))
                SetFormFieldState(dataCopy(), form->second, *state);
        }
    }
    std::erase_if(values, [&](const auto& v) { return infos_[v.first].kind != BookmarkKind::Text; });
    // Inline pictures are numbered as shapes after those of the drawings.
    std::uint32_t spid = 0x400;
    if (const std::span<const std::uint8_t> dgg = d_.TableBytes(kDggInfo); dgg.size() >= 20) {
        if (U16(dgg.data() + 2) == 0xF000 && U16(dgg.data() + 10) == 0xF006)
            spid = std::max(spid, U32(dgg.data() + 16));
    }
    // Floating pictures given a new picture: their text stays, their shape shows a new blip.
    std::vector<std::pair<const Target::Floating*, const Picture*>> floats;
    for (const auto& [i, fill] : values) {
        const Target& t = targets_[i];
        if (fill->picture && t.floating && !(t.pictureCp && !t.pictureBox->linked)) {
            floats.emplace_back(&*t.floating, fill->picture.get());
            continue;
        }
        const std::uint32_t valueEnd = t.kept.empty() ? t.e : t.kept.front();
        FillOp op{i, t.s, valueEnd, t.story, {}, {}, 0, 0, t.s, t.e, true};
        // A picture given to a bookmark that holds one takes that one's place, and its
        // properties but for the picture's location; the rest of the bookmark's text stays.
        // A linked picture goes with the bookmark's text, and its field, as a text value's would.
        const bool swap = fill->picture && t.pictureCp && !t.pictureBox->linked;
        if (swap) {
            op.s = op.ts = *t.pictureCp;
            op.e = op.te = *t.pictureCp + 1;
        }
        const std::optional<std::uint32_t> formatCp = swap ? t.pictureCp : t.formatCp;
        if (formatCp) {
            if (const std::optional<std::uint32_t> fc = d_.FcAt(*formatCp)) op.chpx = CleanChpx(d_.Chpx(*fc));
        }
        if (const Picture* picture = fill->picture.get()) {
            // One picture character, whose properties point to the picture in the Data stream.
            // It is shown 3 cm wide, or as large as fits in the picture it replaces.
            const Extent shown =
                t.pictureBox ? FitInBox(*picture, {static_cast<std::int64_t>(t.pictureBox->width) * 635,
                                                   static_cast<std::int64_t>(t.pictureBox->height) * 635})
                             : InlineExtent(*picture);
            std::vector<std::uint8_t>& bytes = dataCopy();
            const std::uint32_t at = AppendInlinePicture(*picture, shown, ++spid, bytes);
            if (bytes.size() > 0xFFFFFFFFu - 0x10000) {
                error = "the document is too large";
                return false;
            }
            if (op.chpx.size() > 255 - 9) op.chpx.clear();
            const std::uint8_t location[] = {0x03,
                                             0x6A,
                                             static_cast<std::uint8_t>(at),
                                             static_cast<std::uint8_t>(at >> 8),
                                             static_cast<std::uint8_t>(at >> 16),
                                             static_cast<std::uint8_t>(at >> 24)};
            op.chpx.insert(op.chpx.end(), {0x55, 0x08, 0x01});
            op.chpx.insert(op.chpx.end(), std::begin(location), std::end(location));
            op.text.assign(1, u'\x01');
        } else {
            op.text = ValueToWordText(fill->value);
        }
        const Piece* piece = d_.PieceAt(op.s);
        if (!piece) piece = &d_.pieces.back();
        op.prm = piece->prm;
        ops.push_back(std::move(op));
        // The text between and after kept anchors goes too.
        for (std::size_t k = 0; k < t.kept.size() && !swap; ++k) {
            const std::uint32_t from = t.kept[k] + 1, to = k + 1 < t.kept.size() ? t.kept[k + 1] : t.e;
            if (from < to) ops.push_back({i, from, to, t.story, {}, {}, 0, 0, t.s, t.e, false});
        }
        ranges.emplace_back(t.s, t.e);
    }
    if (std::string why = Conflict(ranges); !why.empty()) {
        error = why;
        return false;
    }
    std::sort(ops.begin(), ops.end(), [](const FillOp& a, const FillOp& b) { return a.s < b.s; });

    std::vector<std::uint8_t> wd = d_.word();
    std::vector<std::uint8_t> table = d_.table();

    // The values go at the end of WordDocument as UTF-16, then their formatting pages.
    if (wd.size() % 2) wd.push_back(0);
    std::vector<Run> runs;
    if (lastChpxFc_ != 0 || d_.Lcb(kPlcfBteChpx) != 0) {
        // The first new page starts where the last old one ended.
        runs.push_back({lastChpxFc_, static_cast<std::uint32_t>(wd.size()), {}});
    }
    for (FillOp& op : ops) {
        op.fc = static_cast<std::uint32_t>(wd.size());
        for (char16_t c : op.text) {
            wd.push_back(static_cast<std::uint8_t>(c));
            wd.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        if (!op.text.empty()) runs.push_back({op.fc, static_cast<std::uint32_t>(wd.size()), op.chpx});
    }
    if (!runs.empty() && runs.front().fc == runs.front().fcEnd) runs.erase(runs.begin());
    // The values' paragraph run (below) ends after this unused character, never at a value's
    // last character, where a reader would take it for a paragraph's end.
    const std::uint32_t valuesEnd = static_cast<std::uint32_t>(wd.size()) + 2;
    const bool appended = valuesEnd - 2 > (ops.empty() ? valuesEnd : ops.front().fc);
    if (appended) wd.resize(valuesEnd, 0);
    std::vector<std::uint32_t> pageEnds;
    const std::vector<std::array<std::uint8_t, kPage>> pages = BuildPages(runs, pageEnds);
    wd.resize((wd.size() + kPage - 1) / kPage * kPage, 0);
    const std::uint32_t firstPage = static_cast<std::uint32_t>(wd.size() / kPage);
    for (const auto& page : pages) wd.insert(wd.end(), page.begin(), page.end());

    if (!pages.empty()) {
        Plc bte;
        if (d_.Lcb(kPlcfBteChpx) != 0) {
            ReadPlc(d_.TableBytes(kPlcfBteChpx), 4, bte);
        } else {
            bte.cb = 4;
            bte.cp.push_back(runs.front().fc);
        }
        for (std::size_t k = 0; k < pages.size(); ++k) {
            bte.cp.push_back(pageEnds[k]);
            bte.data.resize(bte.data.size() + 4);
            Put32(bte.data.data() + bte.data.size() - 4, firstPage + static_cast<std::uint32_t>(k));
        }
        const std::uint32_t fc = static_cast<std::uint32_t>(table.size());
        AppendPlc(bte, table);
        Put32(wd.data() + d_.fcLcbOffset + 8 * kPlcfBteChpx, fc);
        Put32(wd.data() + d_.fcLcbOffset + 8 * kPlcfBteChpx + 4,
              static_cast<std::uint32_t>(table.size() - fc));
    }

    // Paragraph properties: every byte of text the pieces point at lies in a paragraph run.
    // The values hold no paragraph mark: one run from the end of the template's runs covers
    // them all, with the plain style only; each paragraph's properties stay with its mark.
    if (appended && lastPapxFc_ != 0) {
        std::array<std::uint8_t, kPage> page{};
        Put32(page.data(), lastPapxFc_);
        Put32(page.data() + 4, valuesEnd);
        constexpr std::size_t kAt = 500;  // the property group, at an even offset
        page[8] = kAt / 2;                // the run's entry: its group's offset, then 12 bytes of height
        page[kAt] = 0;                    // long form: a count of 16-bit words follows
        page[kAt + 1] = 1;                // the style index, style 0
        page[kPage - 1] = 1;              // one run
        const std::uint32_t number = static_cast<std::uint32_t>(wd.size() / kPage);
        wd.insert(wd.end(), page.begin(), page.end());
        Plc bte;
        ReadPlc(d_.TableBytes(kPlcfBtePapx), 4, bte);
        bte.cp.push_back(valuesEnd);
        bte.data.resize(bte.data.size() + 4);
        Put32(bte.data.data() + bte.data.size() - 4, number);
        const std::uint32_t fc = static_cast<std::uint32_t>(table.size());
        AppendPlc(bte, table);
        Put32(wd.data() + d_.fcLcbOffset + 8 * kPlcfBtePapx, fc);
        Put32(wd.data() + d_.fcLcbOffset + 8 * kPlcfBtePapx + 4,
              static_cast<std::uint32_t>(table.size() - fc));
    }

    // The piece table: the old text around the values, the values as pieces of their own.
    std::vector<Piece> pieces;
    std::uint32_t cp = 0;
    auto copyText = [&](std::uint32_t from, std::uint32_t to) {
        for (const Piece& p : d_.pieces) {
            const std::uint32_t a = std::max(from, p.cp), b = std::min(to, p.cpEnd);
            if (a >= b) continue;
            Piece q = p;
            q.fc = p.fc + 2 * (a - p.cp);  // the stored value counts 2 a character in both kinds
            q.cp = cp;
            q.cpEnd = cp + (b - a);
            cp = q.cpEnd;
            pieces.push_back(q);
        }
    };
    std::uint32_t from = 0;
    for (const FillOp& op : ops) {
        copyText(from, op.s);
        if (!op.text.empty()) {
            Piece q;
            q.cp = cp;
            q.cpEnd = cp + static_cast<std::uint32_t>(op.text.size());
            q.flags = 0x0001;  // holds no paragraph mark
            q.fc = op.fc;
            q.prm = op.prm;
            cp = q.cpEnd;
            pieces.push_back(q);
        }
        from = op.e;
    }
    copyText(from, d_.TextEnd());
    {
        std::vector<std::uint8_t> clx = d_.prc;
        Plc plc;
        plc.cb = 8;
        for (const Piece& p : pieces) plc.cp.push_back(p.cp);
        plc.cp.push_back(pieces.empty() ? 0 : pieces.back().cpEnd);
        plc.data.resize(8 * pieces.size());
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            Put16(plc.data.data() + 8 * k, pieces[k].flags);
            Put32(plc.data.data() + 8 * k + 2, pieces[k].fc);
            Put16(plc.data.data() + 8 * k + 6, pieces[k].prm);
        }
        std::vector<std::uint8_t> pcdt;
        AppendPlc(plc, pcdt);
        clx.push_back(2);
        clx.resize(clx.size() + 4);
        Put32(clx.data() + clx.size() - 4, static_cast<std::uint32_t>(pcdt.size()));
        clx.insert(clx.end(), pcdt.begin(), pcdt.end());
        const std::uint32_t fc = static_cast<std::uint32_t>(table.size());
        table.insert(table.end(), clx.begin(), clx.end());
        Put32(wd.data() + d_.fcLcbOffset + 8 * kClx, fc);
        Put32(wd.data() + d_.fcLcbOffset + 8 * kClx + 4, static_cast<std::uint32_t>(clx.size()));
    }

    // Tables of positions: each story's own, counted from the story's start, and the bookmarks,
    // counted over the whole text.
    constexpr std::size_t kStories = static_cast<std::size_t>(Story::Count);
    std::array<std::vector<FillOp>, kStories> storyOps;
    std::array<std::int64_t, kStories> storyDelta{};
    for (const FillOp& op : ops) {
        storyOps[static_cast<std::size_t>(op.story)].push_back(op);
        storyDelta[static_cast<std::size_t>(op.story)] += op.delta();
    }
    const PositionMap all(ops);
    if (!all.empty()) {
        for (const PositionTable& t : MovedTables()) {
            if (d_.Lcb(t.index) == 0) continue;
            const std::size_t story = static_cast<std::size_t>(t.story);
            const PositionMap map(storyOps[story], d_.StoryStart(t.story));
            // Stories before this one moved the story's start.
            std::int64_t shift = 0;
            for (std::size_t k = 0; k < story; ++k) shift += storyDelta[k];
            if (!Rewrite(t, map, all, static_cast<std::uint32_t>(shift), table, wd)) {
                error = "a table entry lies inside a filled range";
                return false;
            }
        }
    }
    // The drawings whose anchors went with a value go from the drawing data too.
    std::vector<std::pair<std::uint8_t, std::uint32_t>> cuts;
    for (const FillOp& op : ops)
        if (op.value && op.ts == targets_[op.target].s && op.te == targets_[op.target].e)
            cuts.insert(cuts.end(), targets_[op.target].shapes.begin(), targets_[op.target].shapes.end());
    std::vector<std::uint8_t> drawing;
    if (!floats.empty()) {
        // Each new picture's blip goes at the end of WordDocument, where the blip store's new
        // entry points; its shape is told that entry, and its anchoring rectangle keeps its
        // top left corner and takes the picture's size fitted in it. Other shapes showing the
        // old blip keep it.
        drawing.assign(d_.TableBytes(kDggInfo).begin(), d_.TableBytes(kDggInfo).end());
        const std::uint32_t count = BlipCount(drawing);
        std::vector<std::uint8_t> entries;
        for (std::size_t k = 0; k < floats.size(); ++k) {
            const auto& [f, picture] = floats[k];
            if (wd.size() % 2) wd.push_back(0);
            const std::uint32_t delay = static_cast<std::uint32_t>(wd.size());
            AppendBlip(*picture, wd);
            const std::vector<std::uint8_t> entry = BlipEntry(*picture, delay, false);
            entries.insert(entries.end(), entry.begin(), entry.end());
            Put32(drawing.data() + f->indexAt, count + static_cast<std::uint32_t>(k) + 1);
            for (std::size_t at : f->cropsAt) Put32(drawing.data() + at, 0);  // the old picture's crops
            const Extent size = FitInBox(*picture, {std::max<std::int64_t>(1, f->right - f->left) * 635,
                                                    std::max<std::int64_t>(1, f->bottom - f->top) * 635});
            const int index = f->label == 0 ? kPlcSpaMom : kPlcSpaHdr;
            const std::uint32_t fc = U32(wd.data() + d_.fcLcbOffset + 8 * index);
            const std::uint32_t lcb = U32(wd.data() + d_.fcLcbOffset + 8 * index + 4);
            if (lcb < 4 || fc > table.size() || lcb > table.size() - fc) continue;
            const std::size_t n = (lcb - 4) / 30;
            std::uint8_t* spa = table.data() + fc + 4 * (n + 1);
            for (std::size_t e = 0; e < n; ++e, spa += 26) {
                if (U32(spa) != f->spid) continue;
                Put32(spa + 12,
                      static_cast<std::uint32_t>(f->left + static_cast<std::int32_t>((size.cx + 317) / 635)));
                Put32(spa + 16,
                      static_cast<std::uint32_t>(f->top + static_cast<std::int32_t>((size.cy + 317) / 635)));
            }
        }
        if (!AddBlipEntries(drawing, entries, static_cast<std::uint32_t>(floats.size()))) {
            error = "the drawing data cannot take the pictures";
            return false;
        }
    }
    const std::span<const std::uint8_t> shapes =
        drawing.empty() ? d_.TableBytes(kDggInfo) : std::span<const std::uint8_t>(drawing);
    if (!cuts.empty() && d_.Lcb(kDggInfo) != 0) {
        std::vector<std::uint8_t> dgg;
        if (CutShapes(shapes, cuts, {}, dgg)) drawing = std::move(dgg);
    }
    if (!drawing.empty()) {
        const std::uint32_t fc = static_cast<std::uint32_t>(table.size());
        table.insert(table.end(), drawing.begin(), drawing.end());
        Put32(wd.data() + d_.fcLcbOffset + 8 * kDggInfo, fc);
        Put32(wd.data() + d_.fcLcbOffset + 8 * kDggInfo + 4, static_cast<std::uint32_t>(drawing.size()));
    }
    if (!MoveRanges(d_, kPlcfBkf, kPlcfBkl, all, table, wd) ||
        !MoveRanges(d_, kPlcfAtnBkf, kPlcfAtnBkl, all, table, wd)) {
        error = "the bookmark tables cannot be moved";
        return false;
    }
    for (std::uint32_t i = 0; i < d_.fcLcbCount && i < kTableCount; ++i)
        if (Dropped(static_cast<int>(i))) Put32(wd.data() + d_.fcLcbOffset + 8 * i + 4, 0);

    // The header: text counts, the stream's size, and the complex flag that makes readers use
    // the piece table.
    std::uint16_t flags = U16(wd.data() + 0x0A);
    flags |= 0x0004;
    unsigned quickSaves = (flags >> 4) & 0xF;
    quickSaves = d_.nFib >= 0x00D9 ? 0xF : std::min(quickSaves + 1, 15u);
    flags = static_cast<std::uint16_t>((flags & ~0x00F0) | quickSaves << 4);
    Put16(wd.data() + 0x0A, flags);
    Put32(wd.data() + d_.lwOffset, static_cast<std::uint32_t>(wd.size()));
    for (std::size_t k = 0; k < kStories; ++k)
        Put32(wd.data() + d_.lwOffset + 4 * (3 + k), static_cast<std::uint32_t>(d_.ccp[k] + storyDelta[k]));

    std::vector<std::span<const std::uint8_t>> spans(d_.streams.begin(), d_.streams.end());
    spans[d_.wordIndex] = wd;
    spans[d_.tableIndex] = table;
    std::vector<cfb::Entry> entries;
    if (data) {
        if (dataIndex != cfb::kNoEntry) {
            spans[dataIndex] = *data;
        } else {
            entries = d_.entries;
            const std::uint32_t added = AddRootStream(entries, u"Data");
            spans.resize(entries.size());
            spans[added] = *data;
        }
    }
    out = cfb::Write(entries.empty() ? std::span<const cfb::Entry>(d_.entries) : entries, spans);
    if (out.empty()) {
        error = "the document is too large";
        return false;
    }
    return true;
}

}  // namespace

OpenResult OpenDocTemplate(std::span<const std::uint8_t> bytes) {
    auto t = std::make_shared<DocTemplate>();
    std::string refusal;
    if (!t->Load(bytes, refusal)) return {nullptr, refusal};
    return {t, {}};
}

bool ReadDocContents(std::span<const std::uint8_t> bytes, DocContents& out, std::string& error) {
    out = DocContents{};
    DocFile d;
    if (!d.Parse(bytes, error)) return false;
    out.text = d.Text(0, d.TextEnd());
    out.storyLengths.assign(d.ccp.begin(), d.ccp.end());
    std::vector<std::string> names;
    RangeTable table;
    if (!ReadNames(d.TableBytes(kSttbfBkmk), names) || !table.Read(d, kPlcfBkf, kPlcfBkl) ||
        names.size() != table.count()) {
        error = "the bookmark tables are damaged";
        return false;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        DocBookmark b{names[i], table.Start(i), table.End(i), {}};
        if (b.end >= b.start) b.text = d.Text(b.start, b.end);
        out.bookmarks.push_back(std::move(b));
    }
    return true;
}

std::string CheckDocStructure(std::span<const std::uint8_t> bytes) {
    DocFile d;
    std::string error;
    if (!d.Parse(bytes, error)) return error;
    std::uint32_t total = 0;
    for (std::uint32_t n : d.ccp) total += n;
    if (total != d.ccp[0] && d.TextEnd() < total + 1) return "the pieces end before the last story";
    // Tables of one story: sorted and inside the story.
    for (const PositionTable& t : MovedTables()) {
        if (d.Lcb(t.index) == 0) continue;
        Plc plc;
        if (!ReadPlc(d.TableBytes(t.index), t.cb, plc))
            return "table " + std::to_string(t.index) + " does not read";
        // Word ends some tables at the end of all text rather than of their story.
        const std::uint32_t length = d.TextEnd() - d.StoryStart(t.story);
        for (std::size_t i = 0; i < plc.cp.size(); ++i) {
            if (i > 0 && plc.cp[i] < plc.cp[i - 1])
                return "table " + std::to_string(t.index) + " is out of order";
            // The last position only closes the last range; Word may put it past the end.
            if (plc.cp[i] > length && i + 1 < plc.cp.size())
                return "table " + std::to_string(t.index) + " runs past the text";
        }
    }
    // Field marks sit on field characters and nest.
    for (int s = 0; s < static_cast<int>(Story::Count); ++s) {
        std::vector<FieldMark> marks;
        std::vector<Field> fields;
        if (!ReadFields(d, static_cast<Story>(s), marks, fields)) return "the field marks do not nest";
        for (const FieldMark& m : marks)
            if (d.CharAt(m.cp) != m.ch) return "a field mark is not on its field character";
    }
    // Bookmarks.
    std::vector<std::string> names;
    RangeTable table;
    if (!ReadNames(d.TableBytes(kSttbfBkmk), names) || !table.Read(d, kPlcfBkf, kPlcfBkl) ||
        names.size() != table.count())
        return "the bookmark tables do not read";
    for (std::size_t i = 0; i < table.count(); ++i) {
        if (i > 0 && table.Start(i) < table.Start(i - 1)) return "the bookmark starts are out of order";
        if (table.End(i) < table.Start(i)) return "bookmark " + names[i] + " ends before it starts";
        if (table.End(i) > d.TextEnd()) return "bookmark " + names[i] + " runs past the text";
    }
    for (std::size_t k = 1; k < table.ends.cp.size(); ++k)
        if (table.ends.cp[k] < table.ends.cp[k - 1] && k + 1 < table.ends.cp.size())
            return "the bookmark ends are out of order";
    // Formatting pages lie in the stream, in order.
    Plc bte;
    if (d.Lcb(kPlcfBteChpx) != 0) {
        if (!ReadPlc(d.TableBytes(kPlcfBteChpx), 4, bte)) return "the formatting table does not read";
        for (std::size_t i = 0; i < bte.count(); ++i) {
            if (bte.cp[i + 1] <= bte.cp[i]) return "the formatting table is out of order";
            if ((static_cast<std::uint64_t>(U32(bte.data.data() + 4 * i) & 0x3FFFFF) + 1) * kPage >
                d.word().size())
                return "a formatting page lies outside the stream";
        }
    }
    return {};
}

bool VerifyDocContainer(std::span<const std::uint8_t> bytes) {
    return CheckDocStructure(bytes).empty();
}

}  // namespace qm::engine
