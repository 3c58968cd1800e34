#pragma once
// A pull scanner over an XML document held in memory, made for the large parts of workbooks
// (sheet data, shared strings, ODF content), where building a tree would cost several times the
// document in memory and most of the time. Element and attribute names are matched by their
// local name (the part after the namespace prefix), which is unambiguous within these parts.
// No entity declarations are read (a DOCTYPE is skipped whole), so nothing expands. Nothing is
// read outside the given text.

#include <cstddef>
#include <string>
#include <string_view>

namespace qm::sheets {

class XmlScanner {
  public:
    enum class Event { StartTag, EndTag, Text, End, Error };

    explicit XmlScanner(std::string_view xml);

    // The next start tag, end tag or stretch of text (CDATA included). A self-closing tag gives
    // a StartTag with selfClosing() true and no EndTag. Error on malformed markup; End at the
    // end of the text; both repeat once reached.
    Event next();

    // Local name of the current tag.
    std::string_view name() const { return name_; }
    bool selfClosing() const { return selfClosing_; }
    // The value of the current start tag's attribute with this local name, entities decoded,
    // appended to nothing: false when the tag has no such attribute.
    bool attribute(std::string_view localName, std::string& value) const;
    // Raw (undecoded) value; for values known to hold no entities (numbers, references).
    bool rawAttribute(std::string_view localName, std::string_view& value) const;
    // The current start tag's attributes one at a time, for a tag whose several attributes are
    // all wanted: from `at` (0 for the first) the next one's local name and raw value; false
    // after the last, or where the markup breaks.
    bool nextAttribute(std::size_t& at, std::string_view& localName, std::string_view& value) const;
    // The current text with entities and character references decoded, appended to `out`.
    void appendText(std::string& out) const;
    // The commonest content of an element, read at once: when what follows is `open`, a plain
    // text of at most `most` bytes (no '<', no '&', none of `stops`) and `close`, that text into
    // `out` and true, the scan past `close`; otherwise false and nothing scanned, for the caller
    // to read tag by tag.
    bool plainContent(std::string_view open, std::string_view close, std::size_t most, std::string_view stops,
                      std::string& out);
    // Where the scan stands in the text.
    std::size_t offset() const { return pos_; }
    // Skips to the end of the current element (its EndTag consumed); false on error or end.
    bool skipElement();

  private:
    std::string_view xml_;
    std::size_t pos_ = 0;
    std::string_view name_;
    std::string_view attributes_;
    std::string_view text_;
    bool cdata_ = false;
    bool selfClosing_ = false;
    bool failed_ = false;
};

// Appends `raw` with the five predefined entities and numeric character references decoded.
// An unknown or broken reference is kept as it stands.
void AppendXmlDecoded(std::string& out, std::string_view raw);

// Whether `what` stands anywhere in `text`: a search of a whole stretch of a part for a marker
// whose first byte ('<') is everywhere in it.
bool Contains(std::string_view text, std::string_view what);

// Where the last complete element `local` of `xml` ends ("</row>", perhaps with a prefix:
// "</x:row>"), so that a part can be parsed in stretches of whole elements as it is inflated;
// 0 when none does, or when a CDATA section may hold what looks like one (the stretch then
// waits for more, up to the whole part).
std::size_t EndOfLastElement(std::string_view xml, std::string_view local);

// Appends the UTF-8 form of a code point; invalid ones (surrogates, beyond U+10FFFF) give U+FFFD.
void AppendUtf8(std::string& out, unsigned long codePoint);

}  // namespace qm::sheets
