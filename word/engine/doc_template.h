#pragma once
// .doc templates (the binary format): a compound file holding the WordDocument stream and a
// table stream. A filled bookmark's text is replaced through the piece table: the value is
// appended to WordDocument, the pieces are split around it, and every table keyed by
// character positions is moved to match. A picture becomes one inline picture character whose
// picture is appended to the Data stream, or replaces the inline or floating picture the
// bookmark holds (doc_picture.h). Other streams are copied byte for byte, but for the Data
// stream's check box and drop-down states (doc_form.h).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "word/engine/template.h"

namespace qm::engine {

// Reads a .doc held in memory. Refused: encrypted, a format older than the FIB this reader knows,
// tables this reader does not know that hold character positions.
OpenResult OpenDocTemplate(std::span<const std::uint8_t> bytes);

// True when `bytes` are a whole compound file whose WordDocument stream and table stream read
// back and whose tables agree with the text (CheckDocStructure).
bool VerifyDocContainer(std::span<const std::uint8_t> bytes);

// What a .doc holds, read through its piece table: for checks of made documents.
struct DocBookmark {
    std::string name;
    std::uint32_t start = 0, end = 0;  // CPs over all stories
    std::u16string text;
};
struct DocContents {
    std::u16string text;  // every story, as the piece table gives it
    std::vector<std::uint32_t>
        storyLengths;  // main, footnote, header, macro, comment, endnote, text box, header text box
    std::vector<DocBookmark> bookmarks;  // in the order of their starts, hidden ones included
};
// False, with `error`, for a file the engine cannot read.
bool ReadDocContents(std::span<const std::uint8_t> bytes, DocContents& out, std::string& error);

// "" when the tables keyed by positions agree with the text: pieces cover every story, each
// table is sorted and inside its story, every field mark sits on a field character and the
// marks nest, bookmarks end after they start, formatting pages lie in the stream. Otherwise
// the first thing found wrong.
std::string CheckDocStructure(std::span<const std::uint8_t> bytes);

}  // namespace qm::engine
