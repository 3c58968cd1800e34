#pragma once
// Reading a binary .doc document: the FIB, the piece table, tables of character
// positions (PLCs), and the formatting pages. Private to the document engine.
//
// Positions: a CP counts characters over all stories (main text, footnotes, headers, comments,
// endnotes, text boxes, header text boxes, in that order); an FC is a byte offset in the
// WordDocument stream.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/cfb/compound_file.h"

namespace qm::engine::doc {

// Places of the tables in the FIB's fc/lcb array that the engine reads or rewrites by name.
enum Table : int {
    kPlcffndRef = 2,
    kPlcfandRef = 4,
    kPlcfSed = 6,
    kPlcPad = 7,
    kPlcfPhe = 8,
    kPlcfHdd = 11,
    kPlcfBteChpx = 12,
    kPlcfBtePapx = 13,
    kPlcfFldMom = 16,
    kPlcfFldHdr = 17,
    kPlcfFldFtn = 18,
    kPlcfFldAtn = 19,
    kPlcfFldMcr = 20,
    kSttbfBkmk = 21,
    kPlcfBkf = 22,
    kPlcfBkl = 23,
    kPlcffndTxt = 3,
    kPlcfandTxt = 5,
    kClx = 33,
    kPlcSpaMom = 40,
    kPlcSpaHdr = 41,
    kDggInfo = 50,
    kPlcfAtnBkf = 42,
    kPlcfAtnBkl = 43,
    kPlcfendRef = 46,
    kPlcfendTxt = 47,
    kPlcfFldEdn = 48,
    kPlcftxbxTxt = 56,
    kPlcfFldTxbx = 57,
    kPlcfHdrtxbxTxt = 58,
    kPlcffldHdrTxbx = 59,
    kPlcfTxbxBkd = 75,
    kPlcfTxbxHdrBkd = 76,
    kPlcocx = 85,
    kTableCount = 183,
};

// The stories, in the order their CPs follow one another.
enum class Story : int { Main, Footnote, Header, Macro, Comment, Endnote, TextBox, HeaderTextBox, Count };

// One entry of the piece table: CPs [cp, cpEnd) are at `fc` in WordDocument.
struct Piece {
    std::uint32_t cp = 0, cpEnd = 0;
    std::uint16_t flags = 0;
    std::uint32_t fc = 0;  // as stored: bit 30 set for 8-bit text, whose byte offset is fc/2
    std::uint16_t prm = 0;
    bool compressed() const { return (fc & 0x40000000u) != 0; }
    std::uint32_t offset() const { return compressed() ? (fc & 0x3FFFFFFFu) / 2 : fc; }
};

// A table of positions and the data that goes with each range.
struct Plc {
    std::vector<std::uint32_t> cp;   // count() + 1 positions
    std::vector<std::uint8_t> data;  // count() * cb bytes
    std::size_t cb = 0;
    std::size_t count() const { return cp.empty() ? 0 : cp.size() - 1; }
};
// Reads a PLC whose data elements have `cb` bytes; false when the size does not fit.
bool ReadPlc(std::span<const std::uint8_t> bytes, std::size_t cb, Plc& out);
void AppendPlc(const Plc& plc, std::vector<std::uint8_t>& out);

// A document parsed far enough to find, read and rewrite its text.
class DocFile {
  public:
    // Reads the container and the streams that matter. False with `refusal` saying why.
    bool Parse(std::span<const std::uint8_t> file, std::string& refusal);

    // The container: directory entries and every stream's bytes, in directory order.
    std::vector<cfb::Entry> entries;
    std::vector<std::vector<std::uint8_t>> streams;
    std::uint32_t wordIndex = 0, tableIndex = 0;
    const std::vector<std::uint8_t>& word() const { return streams[wordIndex]; }
    const std::vector<std::uint8_t>& table() const { return streams[tableIndex]; }

    // FIB.
    std::uint16_t nFib = 0;        // the newest of nFib and nFibNew
    std::size_t lwOffset = 0;      // where fibRgLw starts in WordDocument
    std::size_t fcLcbOffset = 0;   // where the fc/lcb pairs start
    std::uint32_t fcLcbCount = 0;  // pairs in the FIB
    std::uint32_t Fc(int table) const;
    std::uint32_t Lcb(int table) const;  // 0 for a pair the FIB does not have
    // The bytes of a table in the table stream; empty when absent or out of the stream.
    std::span<const std::uint8_t> TableBytes(int table) const;
    std::array<std::uint32_t, static_cast<int>(Story::Count)> ccp{};
    std::uint32_t StoryStart(Story story) const;
    std::uint32_t StoryEnd(Story story) const { return StoryStart(story) + ccp[static_cast<int>(story)]; }
    // The story that holds CP `cp`; Story::Count past the last story.
    Story StoryOf(std::uint32_t cp) const;

    // Piece table.
    std::vector<std::uint8_t> prc;  // the property modifiers that precede the pieces, as stored
    std::vector<Piece> pieces;
    std::uint32_t TextEnd() const { return pieces.empty() ? 0 : pieces.back().cpEnd; }
    const Piece* PieceAt(std::uint32_t cp) const;
    // The character at `cp` (8-bit text mapped as Word does); 0xFFFF outside the text.
    char16_t CharAt(std::uint32_t cp) const;
    std::u16string Text(std::uint32_t from, std::uint32_t to) const;
    // Byte offset of the character at `cp` in WordDocument.
    std::optional<std::uint32_t> FcAt(std::uint32_t cp) const;

    // The character properties (a grpprl) in effect for the byte at `fc`; empty without any.
    std::vector<std::uint8_t> Chpx(std::uint32_t fc) const;
    // The paragraph properties (a grpprl, after the style index) of the paragraph whose mark
    // sits at byte `fc`; empty without any.
    std::vector<std::uint8_t> Papx(std::uint32_t fc) const;
    // True when the paragraph whose mark sits at byte `fc` is inside a table.
    bool ParagraphInTable(std::uint32_t fc) const;
};

// Iterates the sprms of a grpprl; `visit(sprm, bytes of the whole sprm)` for each. False when the
// grpprl is damaged (the rest is not visited).
template <typename Visit>
bool ForEachSprm(std::span<const std::uint8_t> grpprl, Visit&& visit);

// The size of the operand of `sprm` at `operand`, or -1 when it does not fit in `rest`.
int SprmOperandSize(std::uint16_t sprm, std::span<const std::uint8_t> rest);

template <typename Visit>
bool ForEachSprm(std::span<const std::uint8_t> grpprl, Visit&& visit) {
    std::size_t i = 0;
    while (i + 2 <= grpprl.size()) {
        const std::uint16_t sprm = static_cast<std::uint16_t>(grpprl[i] | grpprl[i + 1] << 8);
        const int size = SprmOperandSize(sprm, grpprl.subspan(i + 2));
        if (size < 0) return false;
        visit(sprm, grpprl.subspan(i, 2 + static_cast<std::size_t>(size)));
        i += 2 + static_cast<std::size_t>(size);
    }
    return i == grpprl.size();
}

using qm::Put16;
using qm::Put32;
using qm::U16;
using qm::U32;

}  // namespace qm::engine::doc
