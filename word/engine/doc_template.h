#pragma once
// .doc templates (Word 97-2003 binary): a compound file holding the WordDocument stream and a
// table stream. A filled bookmark's text is replaced through the piece table: the value is
// appended to WordDocument, the pieces are split around it, and every table keyed by
// character positions is moved to match. Other streams are copied byte for byte.

#include <cstdint>
#include <span>

#include "word/engine/template.h"

namespace qm::engine {

// Reads a .doc held in memory. Refused: encrypted, not a Word 97 or later file, tables this
// reader does not know that hold character positions.
OpenResult OpenDocTemplate(std::span<const std::uint8_t> bytes);

// True when `bytes` are a whole compound file whose WordDocument stream and table stream read
// back and whose piece table covers the text.
bool VerifyDocContainer(std::span<const std::uint8_t> bytes);

}  // namespace qm::engine
