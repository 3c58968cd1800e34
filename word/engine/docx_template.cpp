#include "word/engine/docx_template.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <tuple>
#include <unordered_map>

#include "common/zip_names.h"
#include "word/engine/docx_marks.h"
#include "word/engine/docx_part.h"
#include "word/engine/docx_zip.h"

namespace qm::engine {

namespace {

using docx::PartBookmark;
using docx::ZipArchive;

// Where a part's relationships are kept: "word/document.xml" has "word/_rels/document.xml.rels",
// the package itself ("") has "_rels/.rels".
std::string RelationsPartOf(std::string_view part) {
    const std::size_t slash = part.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? "" : part.substr(0, slash + 1);
    const std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
    return std::string(folder) + "_rels/" + std::string(file) + ".rels";
}

// A relationship target as a zip entry name: relative to the source part's folder, or to the
// package root when it starts with "/"; "." and ".." are resolved.
std::string ResolveTarget(std::string_view source, std::string_view target) {
    std::string path;
    if (target.starts_with('/')) {
        path = target.substr(1);
    } else {
        const std::size_t slash = source.rfind('/');
        if (slash != std::string_view::npos) path = source.substr(0, slash + 1);
        path += target;
    }
    std::vector<std::string_view> segments;
    const std::string_view all(path);
    for (std::size_t at = 0; at <= all.size();) {
        const std::size_t slash = std::min(all.find('/', at), all.size());
        const std::string_view segment = all.substr(at, slash - at);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        at = slash + 1;
    }
    std::string resolved;
    for (std::string_view segment : segments) {
        if (!resolved.empty()) resolved += '/';
        resolved += segment;
    }
    return resolved;
}

struct Relation {
    std::string type;    // the last segment of the relationship type: "officeDocument", "header", ...
    std::string target;  // an entry name
};

class DocxTemplate final : public Template {
  public:
    // "" when the template was read; otherwise why it is refused.
    std::string Load(std::span<const std::uint8_t> bytes);

    Format format() const override { return Format::Docx; }
    const std::vector<BookmarkInfo>& bookmarks() const override { return bookmarks_; }
    bool Make(std::span<const Fill> fills, std::vector<std::uint8_t>& out, std::string& error) const override;

  protected:
    std::string RemainderRefusal(std::size_t index, std::size_t after, std::size_t before) const override;

  private:
    // The edits that give bookmark `index` what remains of its range between the end of `after`
    // and the start of `before` (kOwn: its own); nullptr when there are none.
    const docx::Remainder* FindRemainder(std::size_t index, std::size_t after, std::size_t before) const;
    struct Part {
        std::size_t entry = 0;
        std::string xml;
        // Its relationship part, read at load for the pictures a document adds: the entry (-1
        // when it has none) and its XML.
        int relsEntry = -1;
        std::string relsXml;
    };
    // Pictures placed in a document: media entries, relationships and content types added.
    struct PicturePlacing;
    std::string PlaceInline(PicturePlacing& placing, std::size_t part, const Picture& picture,
                            const std::string& prefix) const;
    // The relationship id by which `part` names `picture`'s media entry, both made when first
    // needed.
    std::string PictureRelation(PicturePlacing& placing, std::size_t part, const Picture& picture) const;

    // The relationships of `source`; false when its relationship part exists but cannot be read.
    bool Relations(std::string_view source, std::vector<Relation>& out) const;
    std::string AddPart(std::size_t entry, std::string_view story);
    // The index in parts_ of the custom XML data part with this item id (added when first
    // needed); -1 when there is none.
    int DataPart(std::string_view storeItem);

    std::vector<std::uint8_t> bytes_;
    ZipArchive zip_;
    std::vector<Part> parts_;
    std::vector<BookmarkInfo> bookmarks_;
    std::vector<PartBookmark> sites_;  // one for each bookmark, in the same order
    std::vector<Place> places_;        // one for each bookmark: where it lies in the text
    std::map<std::pair<std::size_t, std::size_t>, std::size_t> groups_;  // (part, text box) → group
    std::unordered_map<std::string, std::size_t> index_;
    int contentTypesEntry_ = -1;
    std::string contentTypesXml_;
    long long lastDrawingId_ = 0;  // the largest drawing id (wp:docPr) of the template's parts
};

bool DocxTemplate::Relations(std::string_view source, std::vector<Relation>& out) const {
    out.clear();
    const int entry = docx::FindEntry(zip_, RelationsPartOf(source));
    if (entry < 0) return true;
    std::string xml;
    if (!docx::ReadEntry(bytes_, zip_.entries[entry], &xml)) return false;
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) return false;
    for (pugi::xml_node r : doc.document_element().children()) {
        const std::string_view name = r.name();
        if (name != "Relationship" && !name.ends_with(":Relationship")) continue;
        if (std::string_view(r.attribute("TargetMode").value()) == "External") continue;
        const std::string_view type = r.attribute("Type").value();
        const std::size_t slash = type.rfind('/');
        out.push_back({std::string(slash == std::string_view::npos ? type : type.substr(slash + 1)),
                       ResolveTarget(source, r.attribute("Target").value())});
    }
    return true;
}

std::string DocxTemplate::AddPart(std::size_t entry, std::string_view story) {
    for (const Part& p : parts_)
        if (p.entry == entry) return {};
    const docx::ZipEntry& e = zip_.entries[entry];
    Part part;
    part.entry = entry;
    if (!docx::ReadEntry(bytes_, e, &part.xml)) return e.name + " cannot be read";
    // Marks Word writes between paragraphs, cells and rows, or inside a form field's code, go
    // where their text position is; documents are made from the part so placed.
    docx::PartScan scan;
    std::string placed;
    if (docx::PlaceMarks(part.xml, placed) > 0 && docx::ScanPart(placed, scan).empty()) {
        part.xml = std::move(placed);
    } else if (std::string error = docx::ScanPart(part.xml, scan); !error.empty()) {
        return e.name + ": " + error;
    }
    parts_.push_back(std::move(part));
    const std::size_t index = parts_.size() - 1;
    std::unordered_map<std::string, std::size_t> here;  // the part's bookmarks listed: name, index
    for (PartBookmark& b : scan.bookmarks) {
        if (b.name.empty() || index_.contains(b.name)) continue;
        here.emplace(b.name, bookmarks_.size());
        for (docx::Edit& edit : b.edits) edit.part = index;
        for (const docx::DataBinding& binding : b.bindings) {
            if (!b.refusal.empty()) break;
            docx::Edit edit;
            const int data = DataPart(binding.storeItem);
            if (data < 0) {
                b.refusal = "its bound data part is missing";
            } else if (std::string why = docx::BindingEdit(parts_[data].xml, binding, edit); !why.empty()) {
                b.refusal = std::move(why);
            } else {
                edit.part = static_cast<std::size_t>(data);
                b.edits.push_back(std::move(edit));
            }
        }
        if (!b.refusal.empty()) b.edits.clear();
        BookmarkInfo info;
        info.name = b.name;
        info.hidden = IsHiddenBookmarkName(b.name);
        info.story = b.inTextBox ? "textbox" : std::string(story);
        info.inTable = b.inTable;
        info.formField = b.formField;
        info.kind = b.kind;
        info.entries = b.entries;
        info.refusal = info.hidden ? "a hidden bookmark" : b.refusal;
        info.maxLength = b.maxLength;
        index_.emplace(b.name, bookmarks_.size());
        bookmarks_.push_back(std::move(info));
        places_.push_back(
            {groups_.try_emplace({index, b.group}, groups_.size()).first->second, b.begin, b.end, false});
        sites_.push_back(std::move(b));
    }
    for (const auto& [name, i] : here) {
        const auto resolve = [&](const std::vector<std::string>& names, std::vector<std::size_t>& out) {
            for (const std::string& other : names)
                if (const auto it = here.find(other); it != here.end()) out.push_back(it->second);
        };
        resolve(sites_[i].overlapsBefore, bookmarks_[i].overlapsBefore);
        resolve(sites_[i].overlapsAfter, bookmarks_[i].overlapsAfter);
    }
    return {};
}

int DocxTemplate::DataPart(std::string_view storeItem) {
    const auto same = [](std::string_view x, std::string_view y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(),
                                                  [&](char a, char b) { return lower(a) == lower(b); });
    };
    if (storeItem.empty()) return -1;
    for (std::size_t i = 0; i < zip_.entries.size(); ++i) {
        const std::string& name = zip_.entries[i].name;
        if (name.find('/') == std::string::npos || name.ends_with(".rels")) continue;
        // A custom XML data part names its properties part, which holds the item id.
        std::vector<Relation> relations;
        if (!name.starts_with("customXml/") || !Relations(name, relations)) continue;
        for (const Relation& r : relations) {
            if (r.type != "customXmlProps") continue;
            const int props = docx::FindEntry(zip_, r.target);
            std::string xml;
            pugi::xml_document doc;
            if (props < 0 || !docx::ReadEntry(bytes_, zip_.entries[props], &xml) ||
                !doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8))
                continue;
            std::string_view id;
            for (pugi::xml_attribute a : doc.document_element().attributes()) {
                const std::string_view n = a.name();
                if (n == "itemID" || n.ends_with(":itemID")) id = a.value();
            }
            if (!same(id, storeItem)) continue;
            for (std::size_t k = 0; k < parts_.size(); ++k)
                if (parts_[k].entry == i) return static_cast<int>(k);
            Part part;
            part.entry = i;
            if (!docx::ReadEntry(bytes_, zip_.entries[i], &part.xml)) return -1;
            parts_.push_back(std::move(part));
            return static_cast<int>(parts_.size() - 1);
        }
    }
    return -1;
}

std::string DocxTemplate::Load(std::span<const std::uint8_t> bytes) {
    bytes_.assign(bytes.begin(), bytes.end());
    if (std::string error = docx::ReadZip(bytes_, zip_); !error.empty()) return error;
    // Every entry is checked once here, so that a document made by copying them is whole.
    // An XML part with a DOCTYPE (entity declarations: a "billion laughs", an external file) is
    // refused, as Word refuses it: copied into every document, it would reach every reader.
    for (const docx::ZipEntry& e : zip_.entries) {
        if (e.size > docx::kMaxInflatedPart) return e.name + " is larger than 256 MB uncompressed";
        // Copied into every document, a name that climbs out of the folder would let a later
        // unzip write elsewhere.
        if (UnsafeEntryName(e.name)) return "damaged zip: an entry named " + e.name + " outside the package";
        const bool xml = e.name.ends_with(".xml") || e.name.ends_with(".rels") || e.name.ends_with(".vml");
        std::string content;
        if (!docx::ReadEntry(bytes_, e, xml ? &content : nullptr))
            return "damaged zip: " + e.name + " does not read back";
        if (content.find("<!DOCTYPE") != std::string::npos)
            return e.name + " declares a DOCTYPE, which Word refuses too";
    }

    std::vector<Relation> relations;
    if (!Relations("", relations)) return "_rels/.rels cannot be read";
    int main = -1;
    for (const Relation& r : relations) {
        if (r.type == "officeDocument" && (main = docx::FindEntry(zip_, r.target)) >= 0) break;
    }
    if (main < 0) main = docx::FindEntry(zip_, "word/document.xml");
    if (main < 0) return "no main document part (word/document.xml)";
    if (std::string error = AddPart(main, "main"); !error.empty()) return error;

    const std::string mainName = zip_.entries[main].name;
    if (!Relations(mainName, relations)) return RelationsPartOf(mainName) + " cannot be read";
    static const std::pair<std::string_view, std::string_view> kStories[] = {
        {"header", "header"}, {"footer", "footer"}, {"footnotes", "footnote"}, {"endnotes", "endnote"}};
    for (const auto& [type, story] : kStories) {
        for (const Relation& r : relations) {
            if (r.type != type) continue;
            const int entry = docx::FindEntry(zip_, r.target);
            if (entry < 0) continue;
            if (std::string error = AddPart(entry, story); !error.empty()) return error;
        }
    }
    // Which bookmarks lie inside which, by their places in the text.
    for (std::size_t i = 0; i < places_.size(); ++i)
        places_[i].fillable = bookmarks_[i].refusal.empty() && bookmarks_[i].kind == BookmarkKind::Text;
    SetWithin(places_, bookmarks_);
    IndexNames();

    // What a document that receives pictures changes besides its stories.
    for (Part& part : parts_) {
        const int rels = docx::FindEntry(zip_, RelationsPartOf(zip_.entries[part.entry].name));
        if (rels >= 0 && !docx::ReadEntry(bytes_, zip_.entries[rels], &part.relsXml))
            return RelationsPartOf(zip_.entries[part.entry].name) + " cannot be read";
        part.relsEntry = rels;
        for (std::size_t at = part.xml.find("docPr "); at != std::string::npos;
             at = part.xml.find("docPr ", at + 1)) {
            const std::size_t id = part.xml.find(" id=\"", at);
            if (id == std::string::npos || id > part.xml.find('>', at)) continue;
            lastDrawingId_ = std::max(lastDrawingId_, std::atoll(part.xml.c_str() + id + 5));
        }
    }
    contentTypesEntry_ = docx::FindEntry(zip_, "[Content_Types].xml");
    if (contentTypesEntry_ >= 0 &&
        !docx::ReadEntry(bytes_, zip_.entries[contentTypesEntry_], &contentTypesXml_))
        return "[Content_Types].xml cannot be read";
    return {};
}

// The pictures of one document: each distinct picture stored once, with one relationship per
// part that shows it.
struct DocxTemplate::PicturePlacing {
    std::vector<std::pair<const Picture*, std::string>> media;             // picture, entry name
    std::map<std::pair<std::size_t, std::size_t>, std::string> relations;  // (part, media) → id
    std::vector<std::string> rels;  // per part: its relationship XML once changed
    long long nextId = 0;
};

std::string DocxTemplate::PlaceInline(PicturePlacing& placing, std::size_t part, const Picture& picture,
                                      const std::string& prefix) const {
    const std::string id = PictureRelation(placing, part, picture);
    std::string mediaName;
    for (const auto& [held, name] : placing.media)
        if (held == &picture) mediaName = name;
    const Extent size = InlineExtent(picture);
    const std::string cx = std::to_string(size.cx), cy = std::to_string(size.cy);
    const std::string drawingId = std::to_string(++placing.nextId);
    const std::string file = mediaName.substr(mediaName.rfind('/') + 1);
    return "<" + prefix +
           "drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\" "
           "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\"><wp:extent "
           "cx=\"" +
           cx + "\" cy=\"" + cy + "\"/><wp:docPr id=\"" + drawingId + "\" name=\"Picture " + drawingId +
           "\"/><wp:cNvGraphicFramePr><a:graphicFrameLocks "
           "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" noChangeAspect=\"1\"/>"
           "</wp:cNvGraphicFramePr><a:graphic "
           "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
           "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic "
           "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:nvPicPr><pic:cNvPr "
           "id=\"" +
           drawingId + "\" name=\"" + file +
           "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" + id +
           "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"/><a:stretch>"
           "<a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"" +
           cx + "\" cy=\"" + cy +
           "\"/></a:xfrm><a:prstGeom "
           "prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData>"
           "</a:graphic></wp:inline></" +
           prefix + "drawing>";
}

std::string DocxTemplate::PictureRelation(PicturePlacing& placing, std::size_t part,
                                          const Picture& picture) const {
    std::size_t media = 0;
    while (media < placing.media.size() && placing.media[media].first != &picture) ++media;
    if (media == placing.media.size()) {
        std::string name;
        for (std::size_t n = placing.media.size() + 1;; ++n) {
            name = "word/media/qm-picture" + std::to_string(n) + "." + std::string(picture.extension());
            if (docx::FindEntry(zip_, name) < 0) break;
        }
        placing.media.emplace_back(&picture, name);
    }
    const std::string& mediaName = placing.media[media].second;
    std::string& rels = placing.rels[part];
    if (rels.empty())
        rels =
            parts_[part].relsEntry >= 0
                ? parts_[part].relsXml
                : "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"></Relationships>";
    std::string& id = placing.relations[{part, media}];
    if (id.empty()) {
        for (std::size_t n = placing.relations.size();; ++n) {
            id = "rIdQmPicture" + std::to_string(n);
            if (rels.find("\"" + id + "\"") == std::string::npos) break;
        }
        const std::string& partName = zip_.entries[parts_[part].entry].name;
        const std::string target =
            partName.rfind('/') == 4 && partName.starts_with("word/") ? mediaName.substr(5) : "/" + mediaName;
        const std::string relation =
            "<Relationship Id=\"" + id +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
            "image\" Target=\"" +
            target + "\"/>";
        if (const std::size_t close = rels.rfind("</"); close != std::string::npos) {
            rels.insert(close, relation);
        } else if (const std::size_t empty = rels.rfind("/>"); empty != std::string::npos) {
            rels.replace(empty, 2, ">" + relation + "</Relationships>");
        }
    }
    return id;
}

// The next element in xml[from, to) whose local name (the name without its prefix) is `local`:
// the place of its "<", or npos.
std::size_t FindElement(const std::string& xml, std::size_t from, std::size_t to, std::string_view local) {
    for (std::size_t at = xml.find('<', from); at < to; at = xml.find('<', at + 1)) {
        std::size_t end = at + 1;
        while (end < to && xml[end] != ' ' && xml[end] != '>' && xml[end] != '/' && xml[end] != '\t' &&
               xml[end] != '\n' && xml[end] != '\r')
            ++end;
        std::string_view name(xml.data() + at + 1, end - at - 1);
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos)
            name.remove_prefix(colon + 1);
        if (name == local) return at;
    }
    return std::string::npos;
}

// The value of the attribute with local name `local` in the start tag at `tag`: [first, second)
// in xml, or npos twice.
std::pair<std::size_t, std::size_t> AttributeOf(const std::string& xml, std::size_t tag,
                                                std::string_view local) {
    const std::size_t close = xml.find('>', tag);
    std::size_t at = xml.find_first_of(" \t\r\n", tag);
    while (at < close) {
        at = xml.find_first_not_of(" \t\r\n", at);
        const std::size_t equals = xml.find('=', at);
        if (at >= close || equals >= close || equals + 1 >= xml.size()) break;
        const char quote = xml[equals + 1];
        const std::size_t valueEnd = xml.find(quote, equals + 2);
        if ((quote != '"' && quote != '\'') || valueEnd >= close) break;
        std::string_view name(xml.data() + at, equals - at);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos)
            name.remove_prefix(colon + 1);
        if (name == local) return {equals + 2, valueEnd};
        at = valueEnd + 1;
    }
    return {std::string::npos, std::string::npos};
}

// xml[begin, end) with its first picture drawing showing another picture: `relation` names the
// new media, the size is the largest with the picture's aspect ratio inside the drawing's box,
// and the place, wrapping and everything else of the drawing stay. False when the range holds no
// drawing of an embedded picture with a size.
bool ReplaceHeldPicture(const std::string& xml, std::size_t begin, std::size_t end, const Picture& picture,
                        const std::function<std::string()>& relation, std::string& out) {
    const std::size_t drawing = FindElement(xml, begin, end, "drawing");
    if (drawing == std::string::npos) return false;
    // Its end tag: "</" and a name ending in "drawing", with nothing else between.
    std::size_t drawingEnd = xml.find("drawing>", drawing + 1);
    while (drawingEnd != std::string::npos && drawingEnd < end) {
        const std::size_t open = xml.rfind('<', drawingEnd);
        if (xml.compare(open, 2, "</") == 0 && xml.find_first_of(" \t\r\n>", open) > drawingEnd) break;
        drawingEnd = xml.find("drawing>", drawingEnd + 1);
    }
    if (drawingEnd == std::string::npos || drawingEnd >= end) return false;
    const std::size_t extent = FindElement(xml, drawing, drawingEnd, "extent");
    const std::size_t blip = FindElement(xml, drawing, drawingEnd, "blip");
    if (extent == std::string::npos || blip == std::string::npos) return false;
    const auto [cxBegin, cxEnd] = AttributeOf(xml, extent, "cx");
    const auto [cyBegin, cyEnd] = AttributeOf(xml, extent, "cy");
    const auto [embedBegin, embedEnd] = AttributeOf(xml, blip, "embed");
    if (cxBegin == std::string::npos || cyBegin == std::string::npos || embedBegin == std::string::npos)
        return false;
    Extent box;
    try {
        box = {std::stoll(xml.substr(cxBegin, cxEnd - cxBegin)),
               std::stoll(xml.substr(cyBegin, cyEnd - cyBegin))};
    } catch (...) {
        return false;
    }
    if (box.cx <= 0 || box.cy <= 0) return false;
    const Extent size = FitInBox(picture, box);
    // Each change as (place, length, new text), made from the back.
    std::vector<std::tuple<std::size_t, std::size_t, std::string>> changes = {
        {cxBegin, cxEnd - cxBegin, std::to_string(size.cx)},
        {cyBegin, cyEnd - cyBegin, std::to_string(size.cy)},
        {embedBegin, embedEnd - embedBegin, relation()}};
    // The picture's own size in its shape properties: the first "ext" with a width.
    for (std::size_t ext = FindElement(xml, blip, drawingEnd, "ext"); ext != std::string::npos;
         ext = FindElement(xml, ext + 1, drawingEnd, "ext")) {
        const auto [w, wEnd] = AttributeOf(xml, ext, "cx");
        const auto [h, hEnd] = AttributeOf(xml, ext, "cy");
        if (w == std::string::npos || h == std::string::npos) continue;
        changes.emplace_back(w, wEnd - w, std::to_string(size.cx));
        changes.emplace_back(h, hEnd - h, std::to_string(size.cy));
        break;
    }
    // A crop of the old picture would cut the new one.
    if (const std::size_t crop = FindElement(xml, blip, drawingEnd, "srcRect"); crop != std::string::npos) {
        const std::size_t cropEnd = xml.find("/>", crop);
        if (cropEnd != std::string::npos && cropEnd < xml.find('>', crop) + 1)
            changes.emplace_back(crop, cropEnd + 2 - crop, std::string());
    }
    std::sort(changes.begin(), changes.end(),
              [](const auto& a, const auto& b) { return std::get<0>(a) > std::get<0>(b); });
    std::string range = xml.substr(begin, end - begin);
    for (const auto& [at, length, text] : changes) range.replace(at - begin, length, text);
    out += range;
    return true;
}

const docx::Remainder* DocxTemplate::FindRemainder(std::size_t index, std::size_t after,
                                                   std::size_t before) const {
    const std::string none;
    const std::string& a = after == kOwn ? none : bookmarks_[after].name;
    const std::string& b = before == kOwn ? none : bookmarks_[before].name;
    for (const docx::Remainder& r : sites_[index].remainders)
        if (r.after == a && r.before == b) return &r;
    return nullptr;
}

std::string DocxTemplate::RemainderRefusal(std::size_t index, std::size_t after, std::size_t before) const {
    const docx::Remainder* r = FindRemainder(index, after, before);
    return r ? r->refusal : Template::RemainderRefusal(index, after, before);
}

// Whether two edits would write into each other's bytes.
bool Collide(const docx::Edit& a, const docx::Edit& b) {
    if (a.part != b.part) return false;
    if (a.begin == a.end && b.begin == b.end) return false;
    if (a.begin == a.end) return b.begin < a.begin && a.begin < b.end;
    if (b.begin == b.end) return a.begin < b.begin && b.begin < a.end;
    return a.begin < b.end && b.begin < a.end;
}

bool DocxTemplate::Make(std::span<const Fill> fills, std::vector<std::uint8_t>& out,
                        std::string& error) const {
    out.clear();
    error.clear();
    try {
        const FillPlan plan = Plan(fills);
        const std::vector<const Fill*>& values = plan.values;
        struct Change {
            const docx::Edit* edit;
            std::size_t bookmark;
            int choice;
        };
        std::vector<Change> changes;
        std::vector<std::string> normalized(bookmarks_.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!values[i] || bookmarks_[i].hidden) continue;
            const BookmarkInfo& info = bookmarks_[i];
            int choice = 0;
            const bool picture = values[i]->picture != nullptr;
            if (picture) {
                // Only a bookmark that takes text takes a picture.
                if (info.kind != BookmarkKind::Text) continue;
            } else if (info.kind == BookmarkKind::CheckBox) {
                const std::optional<bool> state = CheckBoxState(values[i]->value);
                if (!state) continue;
                choice = *state ? 1 : 0;
            } else if (info.kind == BookmarkKind::DropDown) {
                choice = DropDownEntry(info.entries, values[i]->value);
                if (choice < 0) continue;
            } else {
                normalized[i] = NormalizeValue(values[i]->value);
            }
            // After an overlapping bookmark filled first: what remains of the range.
            const std::vector<docx::Edit>* edits = &sites_[i].edits;
            if (plan.after[i] != kOwn || plan.before[i] != kOwn) {
                const docx::Remainder* remainder = FindRemainder(i, plan.after[i], plan.before[i]);
                if (!remainder || !remainder->refusal.empty()) continue;
                edits = &remainder->edits;
            }
            for (const docx::Edit& edit : *edits)
                if (!picture || edit.kind == docx::Edit::Kind::Value) changes.push_back({&edit, i, choice});
        }
        std::sort(changes.begin(), changes.end(), [](const Change& x, const Change& y) {
            const docx::Edit& a = *x.edit;
            const docx::Edit& b = *y.edit;
            if (a.part != b.part) return a.part < b.part;
            if (a.begin != b.begin) return a.begin < b.begin;
            return a.end < b.end;
        });
        // Two controls bound to the same data take the value filled last, and so do two
        // bookmarks of one check box or drop-down (around it and inside it); of two states
        // set over nested ranges the outer one wins. Any other overlap is a fault of the
        // template's reading, not of the fill.
        std::vector<Change> kept;
        for (const Change& c : changes) {
            if (!kept.empty() && Collide(*kept.back().edit, *c.edit)) {
                // What follows from one fill in bytes another fill's range has taken is gone.
                if (c.edit->secondary) continue;
                if (kept.back().edit->secondary) {
                    kept.back() = c;
                    continue;
                }
                const docx::Edit& a = *kept.back().edit;
                const docx::Edit& b = *c.edit;
                if (a.kind != docx::Edit::Kind::Value && b.kind != docx::Edit::Kind::Value) {
                    if (a.begin == b.begin && b.end >= a.end) {
                        kept.back() = c;
                        continue;
                    }
                    if (b.end <= a.end) continue;
                }
                error = bookmarks_[kept.back().bookmark].name + " and " + bookmarks_[c.bookmark].name +
                        ": one lies inside the other";
                return false;
            }
            if (!kept.empty() && kept.back().edit->part == c.edit->part &&
                kept.back().edit->begin == c.edit->begin && kept.back().edit->end == c.edit->end &&
                c.edit->begin == c.edit->end && kept.back().edit->kind != docx::Edit::Kind::Value &&
                c.edit->kind == kept.back().edit->kind) {
                kept.back() = c;
                continue;
            }
            kept.push_back(c);
        }

        std::vector<std::string> texts(parts_.size());
        std::vector<const std::string*> replacement(zip_.entries.size(), nullptr);
        PicturePlacing placing;
        placing.rels.resize(parts_.size());
        placing.nextId = lastDrawingId_;
        for (std::size_t i = 0; i < kept.size();) {
            const std::size_t part = kept[i].edit->part;
            const std::string& xml = parts_[part].xml;
            std::string& text = texts[part];
            text.reserve(xml.size() + 1024);
            std::size_t copied = 0;
            for (; i < kept.size() && kept[i].edit->part == part; ++i) {
                const docx::Edit& edit = *kept[i].edit;
                text.append(xml, copied, edit.begin - copied);
                if (const Picture* picture = values[kept[i].bookmark]->picture.get()) {
                    // A picture in the bookmark gives its box and wrapping to the new one.
                    const auto relation = [&] { return PictureRelation(placing, part, *picture); };
                    if (edit.kind != docx::Edit::Kind::Value ||
                        !ReplaceHeldPicture(xml, edit.begin, edit.end, *picture, relation, text))
                        docx::AppendPictureEdit(edit, PlaceInline(placing, part, *picture, edit.prefix),
                                                text);
                } else
                    docx::AppendEdit(edit, normalized[kept[i].bookmark], kept[i].choice, text);
                copied = edit.end;
            }
            text.append(xml, copied);
            replacement[parts_[part].entry] = &text;
        }
        // The pictures' media, relationships and content types.
        std::vector<docx::AddedEntry> added;
        std::string contentTypes;
        if (!placing.media.empty()) {
            if (contentTypesEntry_ < 0) {
                error = "the template has no [Content_Types].xml for the pictures";
                return false;
            }
            contentTypes = contentTypesXml_;
            for (const auto& [picture, name] : placing.media) {
                added.push_back({name, picture->bytes});
                const std::string extension(picture->extension());
                if (contentTypes.find("Extension=\"" + extension + "\"") != std::string::npos ||
                    contentTypes.find("Extension='" + extension + "'") != std::string::npos)
                    continue;
                const std::size_t close = contentTypes.rfind("</");
                if (close == std::string::npos) {
                    error = "[Content_Types].xml cannot take the pictures";
                    return false;
                }
                contentTypes.insert(close, "<Default Extension=\"" + extension + "\" ContentType=\"" +
                                               std::string(picture->contentType()) + "\"/>");
            }
            replacement[static_cast<std::size_t>(contentTypesEntry_)] = &contentTypes;
        }
        std::vector<std::vector<std::uint8_t>> newRels;
        newRels.reserve(parts_.size());
        for (std::size_t part = 0; part < parts_.size(); ++part) {
            if (placing.rels[part].empty()) continue;
            if (parts_[part].relsEntry >= 0) {
                replacement[static_cast<std::size_t>(parts_[part].relsEntry)] = &placing.rels[part];
            } else {
                newRels.emplace_back(placing.rels[part].begin(), placing.rels[part].end());
                added.push_back({RelationsPartOf(zip_.entries[parts_[part].entry].name), newRels.back()});
            }
        }
        if (!docx::WriteZip(bytes_, zip_, replacement, out, added)) {
            out.clear();
            error = "the document would be too large for a zip file";
            return false;
        }
        return true;
    } catch (...) {
        out.clear();
        error = "out of memory";
        return false;
    }
}

}  // namespace

OpenResult OpenDocxTemplate(std::span<const std::uint8_t> bytes) {
    try {
        auto t = std::make_shared<DocxTemplate>();
        if (std::string refusal = t->Load(bytes); !refusal.empty()) return {nullptr, std::move(refusal)};
        return {std::move(t), {}};
    } catch (...) {
        return {nullptr, "the file could not be read"};
    }
}

bool VerifyDocxContainer(std::span<const std::uint8_t> bytes) {
    try {
        docx::ZipArchive zip;
        if (!docx::ReadZip(bytes, zip, true).empty()) return false;
        // Large entries are copies, byte for byte, of parts checked when the template was read
        // (the parts the engine changes are far smaller); inflating them again for every
        // document would cost seconds each.
        constexpr std::uint64_t kCheckedEntry = 16u << 20;
        for (const docx::ZipEntry& e : zip.entries)
            if (e.size <= kCheckedEntry && !docx::ReadEntry(bytes, e, nullptr)) return false;
        return true;
    } catch (...) {
        return false;
    }
}

bool VerifyDocxStructure(std::span<const std::uint8_t> bytes) {
    try {
        docx::ZipArchive zip;
        return docx::ReadZip(bytes, zip, true).empty();
    } catch (...) {
        return false;
    }
}

}  // namespace qm::engine
