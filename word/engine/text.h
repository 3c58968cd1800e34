#pragma once
// The text of a .doc or .docx document as a reader sees it: the main story's paragraphs one a
// line, table cells separated by tabs, field instructions, pictures and other marks left out.
// Used where a document's pages cannot be shown, to show what it says.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qm::engine {

// UTF-8 text of the document in `bytes` (.doc or .docx, told by its content); nullopt when it is
// neither or cannot be read.
std::optional<std::string> DocumentText(std::span<const std::uint8_t> bytes);

}  // namespace qm::engine
