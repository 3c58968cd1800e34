#pragma once
// The bookmarks of one WordprocessingML part (the main document, a header, a footer, the
// footnotes or the endnotes), found in the part's own bytes. For each bookmark that can be
// filled, the byte ranges its value replaces are worked out once, so making a document is a
// splice of the original bytes and never a new serialisation of the part.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "word/engine/template.h"

namespace qm::engine::docx {

// One change a fill makes to the bytes [begin, end) of a part.
struct Edit {
    enum class Kind {
        Value,   // the kept bookmark tags, then one run holding the value
        Text,    // options[0], the value as XML text, options[1] (a custom XML data element)
        Choice,  // options[state]: a check box's state (0, 1) or a drop-down's entry index
    };
    Kind kind = Kind::Value;
    std::size_t part = 0;  // which part: set by the template (the scanned part until then)
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string kept;     // Value: the bookmark tags that lay in the range, in order
    std::string runOpen;  // Value: "<w:r>" and the run properties the value takes
    std::string tail;     // Value: what follows the run (a bookmark end moved there)
    std::string prefix;   // Value: "w:", or "" when WordprocessingML is the default namespace there
    std::vector<std::string> options;
    // A change that follows from the fill but lies outside its range (the properties a joined
    // paragraph takes): dropped when another filled bookmark's range has taken its bytes, as a
    // word processor setting the two ranges one after the other would find them gone.
    bool secondary = false;
};

// A content control's link to a custom XML data part: the value is written there too.
struct DataBinding {
    std::string storeItem;  // the data part's item id, "{...}"
    std::string xpath;
    std::string prefixes;  // "xmlns:ns0='uri' ..."
};

// The edits that give a bookmark what remains of its range when a run fills a bookmark that
// overlaps it first: its text after the end of `after` (a bookmark that starts before it), or
// before the start of `before` (one that ends after it), or between the two. "" names the
// bookmark's own start or end.
struct Remainder {
    std::string after, before;
    std::string refusal;  // "" when it can be filled
    std::vector<Edit> edits;
};

struct PartBookmark {
    std::string name;
    bool hidden = false;  // Word's own (see IsHiddenBookmarkName): never filled, never in the way
    bool inTable = false;
    bool inTextBox = false;
    bool formField = false;  // a form field's or content control's bookmark: the field stays
    BookmarkKind kind = BookmarkKind::Text;
    std::vector<std::string> entries;  // a drop-down's entries
    std::string refusal;               // "" when it can be filled
    // What a fill changes (only when there is no refusal). edits[0] is where the value goes;
    // a bookmark in a text box that is written twice has the edits of both copies.
    std::vector<Edit> edits;
    std::vector<DataBinding> bindings;
    // Where it lies in the part's text: positions counted in the main text or in one text box
    // (`group`: 0 for the main text). Marks between which nothing of the text lies share a
    // position, wherever they stand in the XML.
    std::size_t group = 0;
    std::size_t begin = 0, end = 0;
    std::size_t maxLength = 0;  // a form text field's maximum length; 0 when it has none
    // Fillable bookmarks whose range truly overlaps this one's: those that start before it
    // (ordered by where they end) and those that end after it (ordered by where they start).
    std::vector<std::string> overlapsBefore, overlapsAfter;
    std::vector<Remainder> remainders;
};

struct PartScan {
    std::vector<PartBookmark> bookmarks;  // in document order
};

// Reads the bookmarks of `xml` into `out`. "" on success; otherwise why the part cannot be
// followed (not well-formed, not UTF-8), and `out` is empty.
std::string ScanPart(std::string_view xml, PartScan& out);

// Appends what replaces [edit.begin, edit.end) when a bookmark is given `value` (already
// normalised; "\n" a line break and "\t" a tab in a run) or, for a Choice, option `choice`.
void AppendEdit(const Edit& edit, std::string_view value, int choice, std::string& out);

// The same for a Value edit that receives a picture: the run holds `drawing` (a w:drawing
// element written with the edit's prefix) instead of text.
void AppendPictureEdit(const Edit& edit, std::string_view drawing, std::string& out);

// XML text: markup characters escaped, U+FFFE/U+FFFF replaced.
void AppendEscaped(std::string_view text, std::string& out);

// Where the value of a content control bound to custom XML goes in the data part `xml`: the
// element `binding.xpath` selects, as an edit of Kind::Text. "" on success; otherwise why not.
std::string BindingEdit(std::string_view xml, const DataBinding& binding, Edit& out);

}  // namespace qm::engine::docx
