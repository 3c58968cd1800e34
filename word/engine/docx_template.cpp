#include "word/engine/docx_template.h"

#include <algorithm>
#include <optional>
#include <pugixml.hpp>
#include <unordered_map>

#include "common/zip_names.h"
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

  private:
    struct Part {
        std::size_t entry;
        std::string xml;
    };

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
    std::unordered_map<std::string, std::size_t> index_;
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
    Part part{entry, {}};
    if (!docx::ReadEntry(bytes_, e, &part.xml)) return e.name + " cannot be read";
    docx::PartScan scan;
    if (std::string error = docx::ScanPart(part.xml, scan); !error.empty()) return e.name + ": " + error;
    parts_.push_back(std::move(part));
    const std::size_t index = parts_.size() - 1;
    for (PartBookmark& b : scan.bookmarks) {
        if (b.name.empty() || index_.contains(b.name)) continue;
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
        info.hidden = b.name.starts_with('_');
        info.story = b.inTextBox ? "textbox" : std::string(story);
        info.inTable = b.inTable;
        info.formField = b.formField;
        info.kind = b.kind;
        info.entries = b.entries;
        info.refusal = info.hidden ? "a hidden bookmark" : b.refusal;
        index_.emplace(b.name, bookmarks_.size());
        bookmarks_.push_back(std::move(info));
        sites_.push_back(std::move(b));
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
            Part part{i, {}};
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
    std::vector<Place> places;
    for (std::size_t i = 0; i < sites_.size(); ++i) {
        const std::vector<docx::Edit>& edits = sites_[i].edits;
        if (edits.empty())
            places.push_back({0, 0, 0, false});
        else
            places.push_back({edits[0].part, edits[0].begin, edits[0].end,
                              bookmarks_[i].refusal.empty() && bookmarks_[i].kind == BookmarkKind::Text});
    }
    SetWithin(places, bookmarks_);
    return {};
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
        std::vector<const std::string*> values(bookmarks_.size(), nullptr);
        for (const Fill& f : fills) {
            const auto it = index_.find(f.name);
            if (it != index_.end()) values[it->second] = &f.value;
        }
        for (const Skip& skip : Skips(fills)) values[index_.at(skip.name)] = nullptr;
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
            if (info.kind == BookmarkKind::CheckBox) {
                const std::optional<bool> state = CheckBoxState(*values[i]);
                if (!state) continue;
                choice = *state ? 1 : 0;
            } else if (info.kind == BookmarkKind::DropDown) {
                choice = DropDownEntry(info.entries, *values[i]);
                if (choice < 0) continue;
            } else {
                normalized[i] = NormalizeValue(*values[i]);
            }
            for (const docx::Edit& edit : sites_[i].edits) changes.push_back({&edit, i, choice});
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
        for (std::size_t i = 0; i < kept.size();) {
            const std::size_t part = kept[i].edit->part;
            const std::string& xml = parts_[part].xml;
            std::string& text = texts[part];
            text.reserve(xml.size() + 1024);
            std::size_t copied = 0;
            for (; i < kept.size() && kept[i].edit->part == part; ++i) {
                const docx::Edit& edit = *kept[i].edit;
                text.append(xml, copied, edit.begin - copied);
                docx::AppendEdit(edit, normalized[kept[i].bookmark], kept[i].choice, text);
                copied = edit.end;
            }
            text.append(xml, copied);
            replacement[parts_[part].entry] = &text;
        }
        if (!docx::WriteZip(bytes_, zip_, replacement, out)) {
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
