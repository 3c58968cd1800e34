#pragma once
// Templates filled in this process, without an office: a .doc or .docx file is read once, then
// any number of documents are made from it by giving bookmarks a new text. Everything outside
// the filled bookmarks stays as the template has it; every bookmark is kept, and a filled one
// then spans its value, so a document can be filled again.
//
// Nothing here throws or shows anything. A template that cannot be handled safely is refused
// with a reason; callers then take the office path. A single bookmark that cannot be given a
// value does not refuse the template: documents keep it as the template has it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "word/engine/picture.h"

namespace qm::engine {

enum class Format { Doc, Docx };

// The extension of a file of `format`: ".doc" or ".docx".
inline std::string_view FormatExtension(Format format) {
    return format == Format::Doc ? ".doc" : ".docx";
}

// What a value does to a bookmark.
enum class BookmarkKind {
    Text,      // becomes the bookmark's text
    CheckBox,  // checks or clears the check box the bookmark names (see CheckBoxState)
    DropDown,  // selects the drop-down entry equal to it (see DropDownEntry)
};

// Whether a bookmark of this name is Word's own rather than a user's: "_" first (the last edit
// _GoBack, headings _Toc, cross-references _Ref, links _Hlt) or Word's OLE_LINK marks around a
// pasted link. Such a bookmark is not listed for the user, never filled and never stops a fill;
// documents keep it.
inline bool IsHiddenBookmarkName(std::string_view name) {
    return name.starts_with('_') || name.starts_with("OLE_LINK");
}

// One bookmark of a template, as stored.
struct BookmarkInfo {
    std::string name;     // UTF-8, letter case kept
    bool hidden = false;  // IsHiddenBookmarkName
    // Where it sits: "main", "header", "footer", "footnote", "endnote", "comment", "textbox".
    std::string story;
    bool inTable = false;
    // The bookmark of a form field or content control: filling it replaces the field's result
    // (or sets its state), the field stays.
    bool formField = false;
    BookmarkKind kind = BookmarkKind::Text;
    std::vector<std::string> entries;  // a drop-down's entries, in order
    // "" when a document may give it a value; otherwise why it is always left as in the
    // template, in a few words ("overlaps bookmark X", "inside a field code").
    std::string refusal;
    // The bookmarks (as indexes into Template::bookmarks()) whose value would replace this
    // one's place: it lies in their range, or shares it and comes later. When one of them is
    // filled too, that one's value wins and this bookmark stays, empty, at the value's start.
    // A point bookmark at the very end of another's range is not inside it; one at its start is.
    std::vector<std::size_t> within;
    // The fillable bookmarks whose range truly overlaps this one's (each starts inside the other):
    // those that start before it, ordered by where they end, and those that end after it, ordered
    // by where they start. When a run fills this one after such a bookmark (in the order of its
    // fills), this one takes what remains of its range. Bookmarks that only touch do not overlap.
    std::vector<std::size_t> overlapsBefore, overlapsAfter;
    std::size_t maxLength = 0;  // a form text field's maximum length in characters; 0: none
};

// A bookmark named in a fill that a document leaves as the template has it, and why
// ("overlaps bookmark X", "a drop-down takes one of its entries: A, B"). The reason does not
// depend on the value, so that a run can name each bookmark once with the rows it concerns.
struct Skip {
    enum class Cause {
        Refused,  // the bookmark can never take a value (`why` is its refusal)
        Inside,   // it lies inside `outer`, which is filled too
        NoState,  // the value is no state of a check box
        NoEntry,  // the value is no entry of a drop-down
    };
    std::string name;
    std::string why;
    Cause cause = Cause::Refused;
    std::string outer;  // for Inside
};

// A bookmark that a document filled, with something its user should know.
struct Note {
    enum class Cause {
        Overlap,  // its range overlaps `other`'s, filled before it: it took what remained of it
        TooLong,  // a form text field given a value longer than its maximum length (`limit`)
    };
    std::string name;
    Cause cause = Cause::Overlap;
    std::string other;
    std::size_t limit = 0;
};

// The state a check box takes from a value: true for 1, 是, √, ☑, true, yes, on; false for
// "", 0, 否, ☐, false, no, off; compared ignoring letter case and surrounding spaces. nullopt for
// anything else.
std::optional<bool> CheckBoxState(std::string_view value);
// The index of the drop-down entry equal to `value` (letter case and surrounding spaces
// ignored); -1 when there is none.
int DropDownEntry(const std::vector<std::string>& entries, std::string_view value);

// The new text of one bookmark. The value is UTF-8; see NormalizeValue for what it may hold.
struct Fill {
    Fill() = default;
    Fill(std::string name, std::string value, std::shared_ptr<const Picture> picture = nullptr)
        : name(std::move(name)), value(std::move(value)), picture(std::move(picture)) {}

    std::string name;
    std::string value;
    // When set, the bookmark receives this picture instead of the value's text (a bookmark that
    // only takes a state or an entry, or one in a custom XML binding, then stays as it is).
    std::shared_ptr<const Picture> picture;
};

class Template {
  public:
    virtual ~Template() = default;
    virtual Format format() const = 0;
    // Every bookmark, hidden ones included, in document order (the main text first, then the
    // other stories). A name stored twice is listed once, at its first place.
    virtual const std::vector<BookmarkInfo>& bookmarks() const = 0;

    // Makes one document in which each named bookmark holds its value, as the bytes of a file of
    // the template's format. A name that is no bookmark, or a hidden one, is ignored; a name
    // given twice takes the last value. The bookmarks Skips names are left as in the template.
    // Fills are made in their order: of two overlapping bookmarks, the later one takes what
    // remains of its range after the earlier one's value (see BookmarkInfo::overlapsBefore).
    // False, with `error` saying why, only when no document can be made (too large, out of
    // memory); `out` is then empty.
    virtual bool Make(std::span<const Fill> fills, std::vector<std::uint8_t>& out,
                      std::string& error) const = 0;
    // The bookmarks of `fills` that Make leaves as in the template, and why, in the order of
    // bookmarks(): a refusal, a value that is no state of a check box or no entry of a
    // drop-down, or a place inside another filled bookmark (see BookmarkInfo::within).
    std::vector<Skip> Skips(std::span<const Fill> fills) const;
    // What else the user should know of the fills Make makes: overlapping bookmarks filled one
    // after the other, form text fields given more than their maximum length. In the order of
    // bookmarks().
    std::vector<Note> Notes(std::span<const Fill> fills) const;

    // How Make treats each bookmark given `fills`.
    struct FillPlan {
        std::vector<const Fill*> values;  // per bookmark: the fill it takes; nullptr: none
        // Per bookmark that overlaps bookmarks filled before it: the one after whose end what
        // remains of its range starts, and the one before whose start it ends (kOwn: its own).
        std::vector<std::size_t> after, before;
        std::vector<Skip> skips;
        std::vector<Note> notes;
    };
    static constexpr std::size_t kOwn = static_cast<std::size_t>(-1);
    FillPlan Plan(std::span<const Fill> fills) const;

    // The visible (not hidden) bookmark names in document order.
    std::vector<std::string> VisibleNames() const;
    // The bookmark called `name` (exact, case-sensitive); nullptr when there is none.
    const BookmarkInfo* Find(std::string_view name) const;

    // Whether a document made from this template has passed the whole container check (see
    // VerifyContainer); set by the save that checked it, from any thread.
    bool checkedWhole() const { return checkedWhole_.load(std::memory_order_relaxed); }
    void setCheckedWhole() const { checkedWhole_.store(true, std::memory_order_relaxed); }

  protected:
    // To be called once bookmarks() holds every bookmark: Find looks names up through it.
    void IndexNames();

    // Why bookmark `index` cannot take what remains of its range between the end of bookmark
    // `after` and the start of bookmark `before` (either kOwn); "" when it can. Templates that
    // fill no remainders refuse them all.
    virtual std::string RemainderRefusal(std::size_t index, std::size_t after, std::size_t before) const;

  private:
    mutable std::atomic<bool> checkedWhole_{false};
    std::unordered_map<std::string_view, std::size_t> byName_;  // the first bookmark of each name
};

// The outcome of reading a template: the template, or why the whole file is refused.
struct OpenResult {
    std::shared_ptr<const Template> value;  // nullptr when refused
    std::string refusal;                    // "" when `value` is set
    explicit operator bool() const { return value != nullptr; }
};

// One bookmark's place for SetWithin: the range its value replaces, in some sequence of
// positions shared by the bookmarks of one `group` (a story, a part).
struct Place {
    std::size_t group = 0;
    std::size_t begin = 0, end = 0;
    bool fillable = false;  // a text bookmark without a refusal
};
// Sets BookmarkInfo::within of each bookmark from `places` (one for each, in the same order).
void SetWithin(const std::vector<Place>& places, std::vector<BookmarkInfo>& infos);

// The refusal of an encrypted file ends with this: it has to be saved without its password first.
inline constexpr std::string_view kPasswordRefusal = "remove the password first";
inline bool IsPasswordRefusal(std::string_view refusal) {
    return refusal.find(kPasswordRefusal) != std::string_view::npos;
}

// True when the refusal says the file contradicts itself (a table running past the text, a
// checksum or sizes that disagree, a part that does not read back): the file is damaged, as
// opposed to well formed with something this engine has no code for; or it declares a DOCTYPE,
// which Word refuses too. Such a template is never handed to the office, which would "repair"
// it silently or pass the declarations on.
inline bool IsDamageRefusal(std::string_view refusal) {
    // The file as a whole could not be read (missing, no permission): nothing is known of it.
    if (refusal.starts_with("the file cannot") || refusal.starts_with("the file could not")) return false;
    for (std::string_view sign :
         {"damaged", "cut short", "shorter than", "cannot be read", "does not read back", "disagree",
          "overlap", "runs past", "not a readable", "not well-formed", "DOCTYPE", "larger than 256 MB"})
        if (refusal.find(sign) != std::string_view::npos) return true;
    return false;
}

// A template refused for either reason above goes to no office: it opens nowhere without its
// password, and a damaged one the office would repair without a word.
inline bool KeptFromTheOffice(std::string_view refusal) {
    return IsPasswordRefusal(refusal) || IsDamageRefusal(refusal);
}

// Reads a template held in memory; the format is recognised from the content (a compound
// file is .doc, a zip is .docx), not from a name.
OpenResult OpenTemplate(std::span<const std::uint8_t> bytes);
// Reads the file at `path`; a missing or unreadable file is refused.
OpenResult OpenTemplateFile(std::string_view path);

// How deep VerifyContainer looks.
enum class ContainerCheck {
    Whole,      // the structure, and every zip entry inflated against its length and CRC
    Structure,  // the structure only: the streams or entries where the directory puts them
};

// True when `bytes` read back as a whole container of `format` (every stream or entry in
// place): the check a saved file gets before it replaces an earlier one. A save has compared
// the bytes read back with those written; the structure then shows that the engine wrote a
// container, and inflating every entry again (a fifth of a .docx save's time) shows only that
// zlib inflates what it deflated, so a save checks the first document of a template whole and
// the others by their structure.
bool VerifyContainer(std::span<const std::uint8_t> bytes, Format format,
                     ContainerCheck check = ContainerCheck::Whole);

// A cell value as a document holds it: CR LF, CR and LF each become one "\n" (a line break in
// the document), tabs stay, every other control character (U+0001 to U+001F, U+007F) is
// dropped on its own, and bytes that are not UTF-8, and U+FFFE and U+FFFF, become U+FFFD.
// Everything else is kept. The office's documents get the same text.
std::string NormalizeValue(std::string_view value);

}  // namespace qm::engine
