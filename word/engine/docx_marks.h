#pragma once
// Bookmark marks moved to where their text position is. WordprocessingML lets a bookmark's
// start and end marks stand between paragraphs (children of w:body, w:tc, a text box, a block
// content control), between rows and cells (children of w:tbl and w:tr), and Word writes them
// there: after a paragraph when a bookmark takes in the paragraph's mark, before a cell when a
// bookmark starts at the cell's text. Word also writes a legacy form field's start mark right
// after the field's begin character, inside the field code. Each such mark stands for a text
// position inside a paragraph, and is moved there, so that every mark the part's scanner meets
// stands in a paragraph:
// - a start mark (and an end mark with nothing before it) goes to the start of the text that
//   follows it: after the properties of the first paragraph it reaches, inside tables and cells;
// - an end mark after a paragraph (or a table) that a paragraph follows goes to the start of that
//   paragraph: the range takes in the mark of the paragraph before it; any other end mark goes to
//   the end of the text before it (a cell's, a row's, a content control's last paragraph), and so
//   does a start mark that no text follows;
// - a form field's start mark written after its begin character goes before the field.
// Marks that then stand side by side share one text position, in whatever order they were
// written; they are put in one order there: the ends of bookmarks that began before, then the
// starts of those that go on and the bookmarks that are a point there, in the order written. So a bookmark's
// range never holds a mark of one that only touches it. Nothing else changes: a point between two paragraphs
// is the start of the second in Word's text as in ours. Table column bookmarks (w:colFirst, w:colLast) stay
// where they are.

#include <cstddef>
#include <string>
#include <string_view>

namespace qm::engine::docx {

// The part `xml` with its marks placed as above, in `out`; the number of marks moved and runs of
// marks put in order (0: `out` is left empty and the part is used as it is, as it is when the
// part is not well-formed).
std::size_t PlaceMarks(std::string_view xml, std::string& out);

}  // namespace qm::engine::docx
