#include "word/engine/docx_join.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>

#include "word/engine/docx_zip.h"

namespace qm::engine::docx {

namespace {

constexpr std::string_view kDocumentPart = "word/document.xml";
constexpr std::string_view kDocumentRels = "word/_rels/document.xml.rels";
constexpr std::string_view kContentTypes = "[Content_Types].xml";
// Pictures the engine placed are parts of each document's own (see the picture placing).
constexpr std::string_view kPictureMedia = "word/media/qm-picture";
constexpr std::string_view kPictureRelation = "rIdQmPicture";

// One tag of an XML text: where it starts and ends, its name, and its kind.
struct Tag {
    std::size_t begin = 0, end = 0;  // `end` is past the '>'
    std::string_view name;
    bool closing = false, empty = false;
};

// The next element tag at or after `from`; comments, processing instructions and declarations
// are passed over. False at the end or at a tag that is not closed.
bool NextTag(std::string_view xml, std::size_t from, Tag& tag) {
    for (std::size_t at = xml.find('<', from); at != std::string_view::npos; at = xml.find('<', at + 1)) {
        if (xml.compare(at, 4, "<!--") == 0) {
            const std::size_t close = xml.find("-->", at + 4);
            if (close == std::string_view::npos) return false;
            at = close;
            continue;
        }
        if (at + 1 < xml.size() && (xml[at + 1] == '?' || xml[at + 1] == '!')) continue;
        const std::size_t close = xml.find('>', at);
        if (close == std::string_view::npos) return false;
        tag.begin = at;
        tag.end = close + 1;
        tag.closing = xml[at + 1] == '/';
        tag.empty = xml[close - 1] == '/';
        std::size_t n = at + (tag.closing ? 2 : 1);
        std::size_t e = n;
        while (e < close && xml[e] != ' ' && xml[e] != '/' && xml[e] != '\t' && xml[e] != '\r' &&
               xml[e] != '\n')
            ++e;
        tag.name = xml.substr(n, e - n);
        return true;
    }
    return false;
}

// The body of one document: its content and its closing section properties.
struct Body {
    std::string_view before;   // the part before the body's content, "<w:body>" included
    std::string_view content;  // every element of the body but the last section properties
    std::string_view section;  // "<w:sectPr …>…</w:sectPr>"
    std::size_t lastParagraph = std::string_view::npos;  // start of the last top-level paragraph in content
    std::size_t lastParagraphEnd = 0;                    // past it
};

// Splits `xml` (a document part) into its body's pieces; "" or why it cannot be joined.
std::string ReadBody(std::string_view xml, Body& body) {
    const std::size_t open = xml.find("<w:body>");
    const std::size_t close = xml.rfind("</w:body>");
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return "the document's body is not written the usual way";
    const std::size_t start = open + std::strlen("<w:body>");
    const std::string_view inside = xml.substr(start, close - start);
    body.before = xml.substr(0, start);
    // The top-level elements; the last one is the section properties.
    int depth = 0;
    Tag tag;
    std::size_t sectionAt = std::string_view::npos;
    std::size_t paragraphAt = std::string_view::npos;
    for (std::size_t at = 0; NextTag(inside, at, tag); at = tag.end) {
        if (tag.closing) {
            --depth;
            if (depth == 0 && tag.name == "w:p") {
                body.lastParagraph = paragraphAt;
                body.lastParagraphEnd = tag.end;
            }
            if (depth < 0) return "the document's body is not well-formed";
            continue;
        }
        if (depth == 0) {
            if (tag.name == "w:sectPr") {
                sectionAt = tag.begin;
            } else if (sectionAt != std::string_view::npos) {
                return "the document's section properties are not at its end";
            }
            if (tag.name == "w:p") {
                paragraphAt = tag.begin;
                if (tag.empty) {
                    body.lastParagraph = tag.begin;
                    body.lastParagraphEnd = tag.end;
                }
            }
        } else if (tag.name == "w:sectPr") {
            return "the document has more than one section";
        }
        if (!tag.empty) ++depth;
    }
    if (depth != 0) return "the document's body is not well-formed";
    if (sectionAt == std::string_view::npos) return "the document has no section properties";
    body.content = inside.substr(0, sectionAt);
    body.section = inside.substr(sectionAt);
    while (!body.section.empty() && body.section.back() != '>') body.section.remove_suffix(1);
    if (body.lastParagraph == std::string_view::npos || body.lastParagraphEnd > sectionAt)
        return "the document does not end with a paragraph";
    // Only bookmark ends and white space may follow the last paragraph.
    for (std::size_t at = body.lastParagraphEnd; NextTag(body.content, at, tag); at = tag.end)
        if (tag.name != "w:bookmarkEnd") return "the document does not end with a paragraph";
    return {};
}

// The field instructions whose result does not depend on the other documents of a join.
bool FieldKeepsAlone(std::string_view instruction) {
    std::size_t b = instruction.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return true;
    // A piece of an instruction split over runs: a switch or an argument.
    if (instruction[b] == '\\' || instruction[b] == '"' || instruction[b] == '{' || instruction[b] == '}')
        return true;
    std::size_t e = b;
    while (e < instruction.size() && (std::isalnum(static_cast<unsigned char>(instruction[e])) != 0)) ++e;
    std::string word(instruction.substr(b, e - b));
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (word.empty()) return false;
    static constexpr std::array<std::string_view, 19> kAlone = {
        "PAGE",         "DATE",         "TIME",        "CREATEDATE", "SAVEDATE", "PRINTDATE", "FORMTEXT",
        "FORMCHECKBOX", "FORMDROPDOWN", "MERGEFIELD",  "HYPERLINK",  "AUTHOR",   "TITLE",     "SUBJECT",
        "KEYWORDS",     "DOCPROPERTY",  "MACROBUTTON", "SYMBOL",     "EQ"};
    return std::find(kAlone.begin(), kAlone.end(), word) != kAlone.end();
}

// Why a part's fields would come out otherwise in a join (a page count, a reference to a
// bookmark every document has, a number that runs on); "" when none would.
std::string FieldRefusal(std::string_view xml) {
    for (std::size_t at = xml.find("instrText"); at != std::string_view::npos;
         at = xml.find("instrText", at + 1)) {
        const std::size_t open = xml.find('>', at);
        if (open == std::string_view::npos || xml[open - 1] == '/') continue;
        const std::size_t close = xml.find('<', open);
        if (close == std::string_view::npos) break;
        if (!FieldKeepsAlone(xml.substr(open + 1, close - open - 1)))
            return "a field (" +
                   std::string(xml.substr(open + 1, std::min<std::size_t>(close - open - 1, 24))) +
                   ") counts over the whole document";
        at = close;
    }
    for (std::size_t at = xml.find("w:instr=\""); at != std::string_view::npos;
         at = xml.find("w:instr=\"", at + 1)) {
        const std::size_t b = at + std::strlen("w:instr=\"");
        const std::size_t e = xml.find('"', b);
        if (e == std::string_view::npos) break;
        if (!FieldKeepsAlone(xml.substr(b, e - b)))
            return "a field (" + std::string(xml.substr(b, std::min<std::size_t>(e - b, 24))) +
                   ") counts over the whole document";
    }
    return {};
}

// Why documents with this body, these headers and footers cannot be joined; "" when they can.
std::string ContentRefusal(std::string_view document) {
    if (document.find("<w:footnoteReference") != std::string_view::npos)
        return "footnotes would number on from one document to the next";
    if (document.find("<w:endnoteReference") != std::string_view::npos)
        return "endnotes would gather at the end of all documents";
    if (document.find("<w:numPr") != std::string_view::npos)
        return "numbered lists would count on from one document to the next";
    return FieldRefusal(document);
}

// The section properties of a joined document's section: it starts on a new page, its page
// numbers start at 1.
std::string JoinedSection(std::string_view section) {
    std::string s(section);
    // Any page numbering of the template's keeps its format; only its start is set.
    if (const std::size_t at = s.find("<w:pgNumType"); at != std::string::npos) {
        const std::size_t end = s.find('>', at);
        std::string tag = s.substr(at, end - at + 1);
        if (const std::size_t start = tag.find(" w:start=\""); start != std::string::npos) {
            const std::size_t e = tag.find('"', start + std::strlen(" w:start=\""));
            if (e == std::string::npos) return {};
            tag.erase(start, e + 1 - start);
        }
        const bool empty = tag[tag.size() - 2] == '/';
        tag.insert(tag.size() - (empty ? 2 : 1), " w:start=\"1\"");
        s.replace(at, end - at + 1, tag);
    } else {
        const std::size_t close = s.rfind("</w:sectPr>");
        // Before the parts that come after page numbering, so that strict readers take it too.
        std::size_t place = close;
        for (std::string_view later :
             {"<w:cols", "<w:formProt", "<w:vAlign", "<w:noEndnote", "<w:titlePg", "<w:textDirection",
              "<w:bidi", "<w:rtlGutter", "<w:docGrid", "<w:printerSettings", "<w:sectPrChange"}) {
            const std::size_t found = s.find(later);
            if (found != std::string::npos) place = std::min(place, found);
        }
        if (place == std::string::npos) return {};
        s.insert(place, "<w:pgNumType w:start=\"1\"/>");
    }
    // Each section begins a page: an odd or even page start would add blank pages.
    if (const std::size_t at = s.find("<w:type "); at != std::string::npos) {
        const std::size_t end = s.find("/>", at);
        s.replace(at, end - at + 2, "<w:type w:val=\"nextPage\"/>");
    } else {
        std::size_t place = std::string::npos;
        for (std::string_view later :
             {"<w:pgSz", "<w:pgMar", "<w:paperSrc", "<w:pgBorders", "<w:lnNumType", "<w:pgNumType"}) {
            const std::size_t found = s.find(later);
            if (found != std::string::npos) place = std::min(place, found);
        }
        if (place == std::string::npos) place = s.find('>') + 1;
        s.insert(place, "<w:type w:val=\"nextPage\"/>");
    }
    return s;
}

// `content` with the start mark of document `n` in its first paragraph.
std::string MarkStart(std::string_view content, int n) {
    std::string out(content);
    Tag tag;
    for (std::size_t at = 0; NextTag(out, at, tag); at = tag.end) {
        if (tag.closing || tag.name != "w:p") continue;
        const std::string id = std::to_string(2000000000 + n);
        const std::string mark = "<w:bookmarkStart w:id=\"" + id + "\" w:name=\"" + JoinedDocumentMark(n) +
                                 "\"/><w:bookmarkEnd w:id=\"" + id + "\"/>";
        if (tag.empty) {
            out.replace(tag.begin, tag.end - tag.begin, "<w:p>" + mark + "</w:p>");
            return out;
        }
        std::size_t place = tag.end;
        Tag next;
        if (NextTag(out, place, next) && !next.closing && next.name == "w:pPr") {
            if (next.empty) {
                place = next.end;
            } else {
                const std::size_t close = out.find("</w:pPr>", next.end);
                if (close != std::string::npos) place = close + std::strlen("</w:pPr>");
            }
        }
        out.insert(place, mark);
        return out;
    }
    return out;
}

// `body`'s content, its last paragraph closing a section with `section`.
std::string CloseSection(const Body& body, const std::string& section) {
    std::string content(body.content);
    std::string paragraph(
        body.content.substr(body.lastParagraph, body.lastParagraphEnd - body.lastParagraph));
    Tag open;
    NextTag(paragraph, 0, open);
    if (open.empty) {
        paragraph = "<w:p><w:pPr>" + section + "</w:pPr></w:p>";
    } else {
        Tag next;
        if (NextTag(paragraph, open.end, next) && !next.closing && next.name == "w:pPr") {
            if (next.empty) {
                paragraph.replace(next.begin, next.end - next.begin, "<w:pPr>" + section + "</w:pPr>");
            } else {
                // The section properties come before a record of changes, if there is one.
                const std::size_t close = paragraph.find("</w:pPr>", next.end);
                const std::size_t change = paragraph.find("<w:pPrChange", next.end);
                paragraph.insert(change != std::string::npos && change < close ? change : close, section);
            }
        } else {
            paragraph.insert(open.end, "<w:pPr>" + section + "</w:pPr>");
        }
    }
    content.replace(body.lastParagraph, body.lastParagraphEnd - body.lastParagraph, paragraph);
    return content;
}

// One document of a join, read.
struct Member {
    ZipArchive zip;
    std::string document;  // its document part
    std::string rels;      // its relationships
    std::string types;     // its content types
};

// `text` with every whole `from` replaced by `to`.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool IsOwnPicture(std::string_view name) {
    return name.starts_with(kPictureMedia);
}

}  // namespace

std::string JoinedDocumentMark(int n) {
    return "QmJoinedDocument" + std::to_string(n);
}

bool JoinDocx(std::span<const std::vector<std::uint8_t>> documents, std::vector<std::uint8_t>& out,
              std::string& refusal) {
    out.clear();
    refusal.clear();
    const auto refuse = [&](std::string why) {
        refusal = std::move(why);
        out.clear();
        return false;
    };
    if (documents.empty()) return refuse("there is no document to join");
    std::vector<Member> members(documents.size());
    for (std::size_t i = 0; i < documents.size(); ++i) {
        Member& m = members[i];
        if (!ReadZip(documents[i], m.zip).empty()) return refuse("a document is not a readable zip");
        const int part = FindEntry(m.zip, kDocumentPart);
        const int rels = FindEntry(m.zip, kDocumentRels);
        const int types = FindEntry(m.zip, kContentTypes);
        if (part < 0 || !ReadEntry(documents[i], m.zip.entries[static_cast<std::size_t>(part)], &m.document))
            return refuse("a document has no readable main part");
        if (rels >= 0 && !ReadEntry(documents[i], m.zip.entries[static_cast<std::size_t>(rels)], &m.rels))
            return refuse("a document's relationships cannot be read");
        if (types >= 0 && !ReadEntry(documents[i], m.zip.entries[static_cast<std::size_t>(types)], &m.types))
            return refuse("a document's content types cannot be read");
    }
    // Everything but the main part, its relationships and the engine's pictures must be the same
    // in every document: the joined one has one set of styles, headers and settings for all.
    const Member& first = members.front();
    const auto shared = [](const ZipArchive& zip) {
        std::vector<const ZipEntry*> list;
        for (const ZipEntry& e : zip.entries)
            if (e.name != kDocumentPart && e.name != kDocumentRels && e.name != kContentTypes &&
                !IsOwnPicture(e.name))
                list.push_back(&e);
        return list;
    };
    const std::vector<const ZipEntry*> common = shared(first.zip);
    for (std::size_t i = 1; i < members.size(); ++i) {
        const std::vector<const ZipEntry*> other = shared(members[i].zip);
        if (other.size() != common.size()) return refuse("the documents differ outside their main text");
        for (std::size_t k = 0; k < other.size(); ++k)
            if (other[k]->name != common[k]->name || other[k]->crc != common[k]->crc ||
                other[k]->size != common[k]->size)
                return refuse("the documents differ outside their main text (" + other[k]->name + ")");
    }
    // Headers, footers and the body: fields and notes that would come out otherwise. Left and
    // right pages: a document starting on the other side of the sheet than alone would show
    // the other header, or the other margins.
    for (const ZipEntry* e : common) {
        if (e->name == "word/settings.xml") {
            std::string xml;
            if (!ReadEntry(documents.front(), *e, &xml)) return refuse("the settings cannot be read");
            for (std::string_view sided :
                 {"<w:evenAndOddHeaders", "<w:mirrorMargins", "<w:bookFoldPrinting"}) {
                const std::size_t at = xml.find(sided);
                if (at == std::string::npos) continue;
                const std::string_view tag(xml.data() + at, xml.find('>', at) - at);
                if (tag.find("w:val=\"0\"") == std::string_view::npos &&
                    tag.find("w:val=\"false\"") == std::string_view::npos)
                    return refuse("left and right pages differ");
            }
            continue;
        }
        if (!e->name.starts_with("word/header") && !e->name.starts_with("word/footer")) continue;
        std::string xml;
        if (!ReadEntry(documents.front(), *e, &xml)) return refuse("a part cannot be read (" + e->name + ")");
        if (std::string why = FieldRefusal(xml); !why.empty()) return refuse(why + " in a header or footer");
    }

    std::string joined;
    std::string rels = first.rels;
    std::string types = first.types;
    std::vector<std::string> mediaNames;
    std::vector<std::pair<const std::vector<std::uint8_t>*, const ZipEntry*>> mediaSources;
    std::string section;
    for (std::size_t i = 0; i < members.size(); ++i) {
        Member& m = members[i];
        if (std::string why = ContentRefusal(m.document); !why.empty()) return refuse(why);
        Body body;
        if (std::string why = ReadBody(m.document, body); !why.empty()) return refuse(why);
        if (i == 0) {
            section = JoinedSection(body.section);
            if (section.empty()) return refuse("the document's section properties cannot be read");
            joined.assign(body.before);
        }
        const int n = static_cast<int>(i) + 1;
        std::string content =
            MarkStart(i + 1 < members.size() ? CloseSection(body, section) : std::string(body.content), n);
        // The engine's pictures of this document, under names of their own in the join.
        if (i > 0) {
            for (const ZipEntry& e : m.zip.entries) {
                if (!IsOwnPicture(e.name)) continue;
                const std::string renamed = std::string(kPictureMedia) + "-" + std::to_string(n) + "-" +
                                            e.name.substr(kPictureMedia.size());
                mediaNames.push_back(renamed);
                mediaSources.emplace_back(&documents[i], &e);
                const std::string oldTarget = "media/" + e.name.substr(std::strlen("word/media/"));
                const std::string newTarget = "media/" + renamed.substr(std::strlen("word/media/"));
                ReplaceAll(m.rels, "\"" + oldTarget + "\"", "\"" + newTarget + "\"");
            }
            const std::string prefix = std::string(kPictureRelation) + "J" + std::to_string(n) + "N";
            ReplaceAll(m.rels, std::string("\"") + std::string(kPictureRelation), "\"" + prefix);
            ReplaceAll(content, std::string("\"") + std::string(kPictureRelation), "\"" + prefix);
            // Its relationships that the first document lacks (its pictures) join the first's.
            for (std::size_t at = m.rels.find("<Relationship "); at != std::string::npos;
                 at = m.rels.find("<Relationship ", at + 1)) {
                const std::size_t end = m.rels.find("/>", at);
                if (end == std::string::npos) break;
                const std::string relation = m.rels.substr(at, end + 2 - at);
                if (rels.find(relation) != std::string::npos) continue;
                if (relation.find("Id=\"" + prefix) == std::string::npos)
                    return refuse("the documents' relationships differ");
                const std::size_t close = rels.rfind("</Relationships>");
                if (close == std::string::npos) return refuse("the documents' relationships cannot be read");
                rels.insert(close, relation);
            }
            // The content types of its pictures' formats.
            for (std::size_t at = m.types.find("<Default "); at != std::string::npos;
                 at = m.types.find("<Default ", at + 1)) {
                const std::size_t end = m.types.find("/>", at);
                if (end == std::string::npos) break;
                const std::string type = m.types.substr(at, end + 2 - at);
                const std::size_t ext = type.find("Extension=\"");
                const std::string extension =
                    ext == std::string::npos ? type : type.substr(ext, type.find('"', ext + 11) - ext + 1);
                if (types.find(extension) != std::string::npos) continue;
                const std::size_t close = types.rfind("</Types>");
                if (close == std::string::npos) return refuse("the documents' content types cannot be read");
                types.insert(close, type);
            }
        }
        joined += content;
        if (i + 1 == members.size()) {
            joined += section;
            joined += m.document.substr(m.document.rfind("</w:body>"));
        }
    }

    const int partIndex = FindEntry(first.zip, kDocumentPart);
    const int relsIndex = FindEntry(first.zip, kDocumentRels);
    const int typesIndex = FindEntry(first.zip, kContentTypes);
    std::vector<const std::string*> replacement(first.zip.entries.size(), nullptr);
    replacement[static_cast<std::size_t>(partIndex)] = &joined;
    if (relsIndex >= 0 && rels != first.rels) replacement[static_cast<std::size_t>(relsIndex)] = &rels;
    if (typesIndex >= 0 && types != first.types) replacement[static_cast<std::size_t>(typesIndex)] = &types;
    std::vector<AddedEntry> added;
    std::vector<std::string> data(mediaSources.size());
    for (std::size_t k = 0; k < mediaSources.size(); ++k) {
        if (!ReadEntry(*mediaSources[k].first, *mediaSources[k].second, &data[k]))
            return refuse("a picture of a document cannot be read");
        added.push_back(
            {mediaNames[k], std::span<const std::uint8_t>(
                                reinterpret_cast<const std::uint8_t*>(data[k].data()), data[k].size())});
    }
    if (!WriteZip(documents.front(), first.zip, replacement, out, added))
        return refuse("the joined document would be too large");
    return true;
}

}  // namespace qm::engine::docx
