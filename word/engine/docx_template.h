#pragma once
// .docx templates: a zip of XML parts. Bookmarks are found in the main document and in its
// header, footer, footnote and endnote parts; a filled bookmark's runs are replaced by one run
// in the part's own bytes, and every other entry is copied without being recompressed.

#include <cstdint>
#include <span>

#include "word/engine/template.h"

namespace qm::engine {

// Reads a .docx held in memory. Refused: not a zip, no main document part, an encrypted file.
OpenResult OpenDocxTemplate(std::span<const std::uint8_t> bytes);

// True when `bytes` are a whole zip whose entries all read back with their checksums.
bool VerifyDocxContainer(std::span<const std::uint8_t> bytes);
// True when `bytes` are a whole zip whose local headers agree with its directory, nothing
// inflated.
bool VerifyDocxStructure(std::span<const std::uint8_t> bytes);

}  // namespace qm::engine
