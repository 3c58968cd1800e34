#include "word/engine/docx_template.h"

#include <algorithm>
#include <pugixml.hpp>
#include <unordered_map>

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
        docx::PartScan scan;  // its bookmarks are moved to sites_
    };
    struct Site {
        std::size_t part;
        PartBookmark where;
    };

    // The relationships of `source`; false when its relationship part exists but cannot be read.
    bool Relations(std::string_view source, std::vector<Relation>& out) const;
    std::string AddPart(std::size_t entry, std::string_view story);

    std::vector<std::uint8_t> bytes_;
    ZipArchive zip_;
    std::vector<Part> parts_;
    std::vector<BookmarkInfo> bookmarks_;
    std::vector<Site> sites_;  // one for each bookmark, in the same order
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
    Part part{entry, {}, {}};
    if (!docx::ReadEntry(bytes_, e, &part.xml)) return e.name + " cannot be read";
    if (std::string error = docx::ScanPart(part.xml, part.scan); !error.empty()) return e.name + ": " + error;
    std::vector<PartBookmark> found = std::move(part.scan.bookmarks);
    part.scan.bookmarks.clear();
    parts_.push_back(std::move(part));
    for (PartBookmark& b : found) {
        if (b.name.empty() || index_.contains(b.name)) continue;
        BookmarkInfo info;
        info.name = b.name;
        info.hidden = b.name.starts_with('_');
        info.story = b.inTextBox ? "textbox" : std::string(story);
        info.inTable = b.inTable;
        info.formField = b.formField;
        info.refusal = info.hidden ? "a hidden bookmark" : b.refusal;
        index_.emplace(b.name, bookmarks_.size());
        bookmarks_.push_back(std::move(info));
        sites_.push_back({parts_.size() - 1, std::move(b)});
    }
    return {};
}

std::string DocxTemplate::Load(std::span<const std::uint8_t> bytes) {
    bytes_.assign(bytes.begin(), bytes.end());
    if (std::string error = docx::ReadZip(bytes_, zip_); !error.empty()) return error;
    // Every entry is checked once here, so that a document made by copying them is whole.
    for (const docx::ZipEntry& e : zip_.entries)
        if (!docx::ReadEntry(bytes_, e, nullptr)) return "damaged zip: " + e.name + " does not read back";

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
    for (std::size_t i = 0; i < sites_.size(); ++i)
        places.push_back({sites_[i].part, sites_[i].where.begin, sites_[i].where.end,
                          bookmarks_[i].refusal.empty() && bookmarks_[i].kind == BookmarkKind::Text});
    SetWithin(places, bookmarks_);
    return {};
}

// Whether filling both would write one value into the other's range (or over its tags).
bool Collide(const PartBookmark& a, const PartBookmark& b) {
    if (a.begin == a.end && b.begin == b.end) return false;
    if (a.begin == a.end) return b.begin <= a.begin && a.begin < b.end;
    if (b.begin == b.end) return a.begin <= b.begin && b.begin < a.end;
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
        std::vector<std::size_t> chosen;
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i] && !bookmarks_[i].hidden) chosen.push_back(i);
        std::sort(chosen.begin(), chosen.end(), [&](std::size_t x, std::size_t y) {
            const Site& a = sites_[x];
            const Site& b = sites_[y];
            return a.part != b.part ? a.part < b.part : a.where.begin < b.where.begin;
        });
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            for (std::size_t j = i + 1; j < chosen.size() && sites_[chosen[j]].part == sites_[chosen[i]].part;
                 ++j) {
                if (Collide(sites_[chosen[i]].where, sites_[chosen[j]].where)) {
                    error = bookmarks_[chosen[i]].name + " and " + bookmarks_[chosen[j]].name +
                            ": one lies inside the other";
                    return false;
                }
            }
        }

        std::vector<std::string> texts(parts_.size());
        std::vector<const std::string*> replacement(zip_.entries.size(), nullptr);
        for (std::size_t i = 0; i < chosen.size();) {
            const std::size_t part = sites_[chosen[i]].part;
            const std::string& xml = parts_[part].xml;
            std::string& text = texts[part];
            text.reserve(xml.size() + 1024);
            std::size_t copied = 0;
            for (; i < chosen.size() && sites_[chosen[i]].part == part; ++i) {
                const PartBookmark& where = sites_[chosen[i]].where;
                text.append(xml, copied, where.begin - copied);
                docx::AppendFill(xml, parts_[part].scan, where, NormalizeValue(*values[chosen[i]]), text);
                copied = where.end;
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
        if (!docx::ReadZip(bytes, zip).empty()) return false;
        for (const docx::ZipEntry& e : zip.entries)
            if (!docx::ReadEntry(bytes, e, nullptr)) return false;
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace qm::engine
