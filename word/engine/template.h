#pragma once
// Templates filled in this process, without an office: a .doc or .docx file is read once, then
// any number of documents are made from it by giving bookmarks a new text. Everything outside
// the filled bookmarks stays as the template has it; every bookmark is kept, and a filled one
// then spans its value, so a document can be filled again.
//
// Nothing here throws or shows anything. A template that cannot be handled safely is refused
// with a reason; callers then take the office path.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::engine {

enum class Format { Doc, Docx };

// One bookmark of a template, as stored.
struct BookmarkInfo {
    std::string name;  // UTF-8, letter case kept
    // The name starts with "_" (Word's own: headings, cross-references): not listed for the user,
    // never filled, but kept in every document.
    bool hidden = false;
    // Where it sits: "main", "header", "footer", "footnote", "endnote", "comment", "textbox".
    std::string story;
    bool inTable = false;
    // The bookmark of a form text field: filling it replaces the field's result, the field stays.
    bool formField = false;
    // "" when a document may give it a new text; otherwise why not, in a few words
    // ("spans a paragraph mark", "inside a field code", "overlaps bookmark X").
    std::string refusal;
};

// The new text of one bookmark. The value is UTF-8; see NormalizeValue for what it may hold.
struct Fill {
    std::string name;
    std::string value;
};

class Template {
  public:
    virtual ~Template() = default;
    virtual Format format() const = 0;
    // Every bookmark, hidden ones included, in document order (the main text first, then the
    // other stories). A name stored twice is listed once, at its first place.
    virtual const std::vector<BookmarkInfo>& bookmarks() const = 0;

    // Makes one document in which each named bookmark holds its value, as the bytes of a file of
    // the template's format. A name that is no bookmark is ignored; a name given twice takes the
    // last value. False, with `error` saying why, when a named bookmark has a refusal or the
    // fills cannot go together (one filled bookmark inside another); `out` is then empty.
    virtual bool Make(std::span<const Fill> fills, std::vector<std::uint8_t>& out,
                      std::string& error) const = 0;

    // The visible (not hidden) bookmark names in document order.
    std::vector<std::string> VisibleNames() const;
    // The bookmark called `name` (exact, case-sensitive); nullptr when there is none.
    const BookmarkInfo* Find(std::string_view name) const;
    // "" when a document filling exactly `names` can be made here; otherwise the first reason
    // why not ("Name: spans a paragraph mark"). Names that are no bookmark are ignored.
    virtual std::string CheckFills(std::span<const std::string> names) const;
};

// The outcome of reading a template: the template, or why the whole file is refused.
struct OpenResult {
    std::shared_ptr<const Template> value;  // nullptr when refused
    std::string refusal;                    // "" when `value` is set
    explicit operator bool() const { return value != nullptr; }
};

// Reads a template held in memory; the format is recognised from the content (a compound
// file is .doc, a zip is .docx), not from a name.
OpenResult OpenTemplate(std::span<const std::uint8_t> bytes);
// Reads the file at `path`; a missing or unreadable file is refused.
OpenResult OpenTemplateFile(std::string_view path);

// True when `bytes` read back as a whole container of `format` (every stream or entry in
// place): the check a saved file gets before it replaces an earlier one.
bool VerifyContainer(std::span<const std::uint8_t> bytes, Format format);

// A cell value as a document holds it: CR LF, CR and LF each become one "\n" (a line break in
// the document), tabs stay, every other control character (U+0001 to U+001F, U+007F) is
// dropped on its own, and bytes that are not UTF-8, and U+FFFE and U+FFFF, become U+FFFD.
// Everything else is kept. The office's documents get the same text.
std::string NormalizeValue(std::string_view value);

}  // namespace qm::engine
