#pragma once
// The bookmarks of one WordprocessingML part (the main document, a header, a footer, the
// footnotes or the endnotes), found in the part's own bytes. For each bookmark that can be
// filled, the byte range its value replaces is worked out once, so making a document is a
// splice of the original bytes and never a new serialisation of the part.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::engine::docx {

struct PartBookmark {
    std::string name;
    bool inTable = false;
    bool inTextBox = false;
    bool formField = false;  // a FORMTEXT field's bookmark: its value replaces the field result
    std::string refusal;     // "" when it can be filled
    // Where a value goes (only when there is no refusal): the bytes [begin, end) of the part are
    // replaced by the bookmark tags that lay there (keepCount tags of the part from keepFirst)
    // and one new run. begin == end for a bookmark that holds nothing.
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t keepFirst = 0;
    std::size_t keepCount = 0;
    std::string runOpen;  // "<w:r>" and the run properties the value takes
    std::string prefix;   // of the WordprocessingML elements at that place: "w:", or "" when
                          // that namespace is the default one there
};

struct PartScan {
    std::vector<PartBookmark> bookmarks;  // in document order
    // Every bookmark tag of the part (start or end) as offset and length in the part's bytes;
    // the offset is npos for one that could not be located.
    std::vector<std::pair<std::size_t, std::size_t>> tags;
};

// Reads the bookmarks of `xml` into `out`. "" on success; otherwise why the part cannot be
// followed (not well-formed, not UTF-8), and `out` is empty.
std::string ScanPart(std::string_view xml, PartScan& out);

// Appends what replaces [begin, end) of `site`, a bookmark of the part `xml` read into `scan`,
// when it is given `value` (already normalised): the kept tags, then one run where "\n" is a
// line break and "\t" a tab.
void AppendFill(std::string_view xml, const PartScan& scan, const PartBookmark& site, std::string_view value,
                std::string& out);

}  // namespace qm::engine::docx
