#pragma once
// Byte-level helpers for WordprocessingML parts read with pugixml: where an element's markup
// lies in the part's own bytes, and names split into prefix and local name. Shared by the
// readers of one part (docx_part, docx_marks).

#include <cstddef>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace qm::engine::docx {

inline constexpr std::string_view kWordNamespace =
    "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
inline constexpr std::string_view kStrictWordNamespace = "http://purl.oclc.org/ooxml/wordprocessingml/main";
inline constexpr std::size_t kNoPlace = std::string::npos;

inline std::string_view PrefixOf(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    return colon == kNoPlace ? std::string_view() : qualified.substr(0, colon);
}

inline std::string_view LocalOf(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    return colon == kNoPlace ? qualified : qualified.substr(colon + 1);
}

// Past the '>' of the tag that opens at `lt`; kNoPlace when there is none.
std::size_t TagEnd(std::string_view xml, std::size_t lt);

// The bytes of the element whose start tag opens at `begin` in well-formed XML: its start tag
// [begin, open), content [open, close), end tag [close, end). An empty-element tag has
// open == close == end. All kNoPlace when it cannot be followed.
struct Extent {
    std::size_t begin = kNoPlace, open = kNoPlace, close = kNoPlace, end = kNoPlace;
};
Extent ExtentAt(std::string_view xml, std::size_t begin);

// Where the markup of `n` (an element, comment or processing instruction parsed from `xml`)
// begins; kNoPlace when it cannot be located.
std::size_t MarkupStart(std::string_view xml, pugi::xml_node n);

// The extent of element `n` in `xml`; all kNoPlace when it cannot be located.
inline Extent ExtentOf(std::string_view xml, pugi::xml_node n) {
    if (n.type() != pugi::node_element) return {};
    return ExtentAt(xml, MarkupStart(xml, n));
}

// The start tag of element `n` with the value of its attribute `attribute` (a qualified name)
// replaced by `value`; the start tag unchanged when it has no such attribute; "" when it cannot
// be located. An empty-element tag comes back as a start tag ("<w:ins ...>").
std::string StartTagOf(std::string_view xml, pugi::xml_node n, std::string_view attribute = {},
                       std::string_view value = {});

}  // namespace qm::engine::docx
