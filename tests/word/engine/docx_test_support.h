#pragma once
// Shared by the .docx engine tests: the fixtures, an independent reading of the zip through
// libzip, and the text a bookmark spans as a reader of the XML sees it.

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/files.h"
#include "tests/word/engine/store_zip.h"
#include "word/engine/docx_template.h"

namespace qm::test {

namespace fs = std::filesystem;

inline fs::path DocxFixture(const std::string& name) {
    return fs::path(QM_DOCX_FIXTURES) / name;
}

// The .docx sample templates of the program folder (converted by the office at build time).
inline std::vector<fs::path> SampleDocxTemplates() {
    const std::vector<std::string> files = FilesIn(std::string(QM_PROGRAM_DIR) + "/模板", ".docx");
    return {files.begin(), files.end()};
}

inline std::shared_ptr<const engine::Template> OpenDocx(const Bytes& bytes) {
    engine::OpenResult r = engine::OpenDocxTemplate(bytes);
    EXPECT_TRUE(r) << r.refusal;
    return r.value;
}

// One zip entry as libzip reads it.
struct ZipItem {
    std::string name;
    std::string raw;   // the compressed data as stored
    std::string data;  // inflated
};

// Every entry through libzip with its consistency check, or nullopt when libzip refuses.
inline std::optional<std::vector<ZipItem>> ReadWithLibzip(const Bytes& bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source) return std::nullopt;
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(
        zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error), &zip_discard);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return std::nullopt;
    }
    std::vector<ZipItem> items;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive.get(), i, 0, &st) != 0) return std::nullopt;
        ZipItem item{st.name, std::string(st.comp_size, '\0'), std::string(st.size, '\0')};
        for (const auto& [flags, target] :
             {std::pair<zip_flags_t, std::string*>{ZIP_FL_COMPRESSED, &item.raw},
              std::pair<zip_flags_t, std::string*>{0, &item.data}}) {
            std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(zip_fopen_index(archive.get(), i, flags),
                                                                    &zip_fclose);
            if (!file) return std::nullopt;
            if (zip_fread(file.get(), target->data(), target->size()) !=
                static_cast<zip_int64_t>(target->size()))
                return std::nullopt;
        }
        items.push_back(std::move(item));
    }
    return items;
}

inline std::string EntryText(const Bytes& bytes, std::string_view name) {
    const auto items = ReadWithLibzip(bytes);
    if (items)
        for (const ZipItem& item : *items)
            if (item.name == name) return item.data;
    return {};
}

inline std::string_view LocalName(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

inline pugi::xml_attribute AttributeByLocalName(pugi::xml_node e, std::string_view local) {
    for (pugi::xml_attribute a : e.attributes())
        if (LocalName(a.name()) == local && std::string_view(a.name()).substr(0, 5) != "xmlns") return a;
    return {};
}

inline pugi::xml_node FindBookmarkStart(const pugi::xml_document& doc, std::string_view name) {
    return doc.find_node([&](pugi::xml_node n) {
        return LocalName(n.name()) == "bookmarkStart" && AttributeByLocalName(n, "name").value() == name;
    });
}

// The text between a bookmark's start and end in document order: w:t as text, w:br as "\n",
// w:tab as "\t"; nullopt when the bookmark or its end is missing.
inline std::optional<std::string> BookmarkText(std::string_view xml, std::string_view name) {
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size())) return std::nullopt;
    const pugi::xml_node start = FindBookmarkStart(doc, name);
    if (!start) return std::nullopt;
    const std::string id = AttributeByLocalName(start, "id").value();
    std::string text;
    // Document order from the start: descend first, then the next sibling, then up.
    pugi::xml_node n = start;
    for (;;) {
        if (n.first_child() && n != start) {
            n = n.first_child();
        } else {
            while (n && !n.next_sibling()) n = n.parent();
            if (!n) return std::nullopt;
            n = n.next_sibling();
        }
        const std::string_view local = LocalName(n.name());
        if (local == "bookmarkEnd" && id == AttributeByLocalName(n, "id").value()) return text;
        if (local == "t") text += n.child_value();
        if (local == "br") text += "\n";
        if (local == "tab") text += "\t";
    }
}

// The text of a WordprocessingML part in document order (w:t, w:tab as "\t", w:br as "\n", each
// paragraph's end as "\n"). Given `values`, the text as a document filled with them must hold it:
// the text of each bookmark named there replaced by its value (with the paragraph marks it takes
// in). A bookmark that starts inside
// another one's replaced text takes what remains of its range after that one's end, as overlapping
// bookmarks filled one after the other do; one that ends there too is gone with it.
inline std::string PartText(std::string_view xml,
                            const std::map<std::string, std::string>* values = nullptr) {
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata)) return "<bad>";
    std::string text;
    std::string skipping;  // the id of the bookmark whose text is being replaced
    std::vector<std::pair<std::string, std::string>> pending;  // id, value
    std::set<const void*> moved;  // ends taken as standing at the end of a paragraph before them
    const auto start = [&](const std::string& id, const std::string& value) {
        text += value;
        skipping = id;
    };
    const auto finish = [&](const std::string& id) {
        std::erase_if(pending, [&](const auto& p) { return p.first == id; });
        if (id != skipping) return;
        skipping.clear();
        if (!pending.empty()) {
            start(pending.front().first, pending.front().second);
            pending.erase(pending.begin());
        }
    };
    const std::function<void(pugi::xml_node)> walk = [&](pugi::xml_node n) {
        const std::string_view local = LocalName(n.name());
        if (n.type() == pugi::node_element && local == "bookmarkStart" && values) {
            const auto it = values->find(AttributeByLocalName(n, "name").value());
            if (it != values->end()) {
                const std::string id = AttributeByLocalName(n, "id").value();
                if (skipping.empty())
                    start(id, it->second);
                else
                    pending.emplace_back(id, it->second);
            }
        } else if (n.type() == pugi::node_element && local == "bookmarkEnd" && values) {
            if (!moved.contains(n.internal_object())) finish(AttributeByLocalName(n, "id").value());
        } else if (skipping.empty() && n.type() == pugi::node_pcdata && LocalName(n.parent().name()) == "t") {
            text += n.value();
        } else if (skipping.empty() && local == "tab" && LocalName(n.parent().name()) == "r") {
            text += "\t";
        } else if (skipping.empty() && local == "br") {
            text += "\n";
        }
        for (pugi::xml_node c : n.children()) walk(c);
        if (local != "p") return;
        // A paragraph's mark goes with a replaced text, but for the last one of a cell, a text box
        // or the body when the range ends right after it: that mark stays, as the office keeps it.
        // The end may stand after the paragraph, or after the cell, row or block content control it
        // ends.
        bool keep = skipping.empty();
        std::vector<pugi::xml_node> after;  // the ends that follow, up to the text after
        for (pugi::xml_node at = n; at && !keep;) {
            bool ends = false;
            pugi::xml_node next = at.next_sibling();
            for (; next && (next.type() != pugi::node_element || LocalName(next.name()) == "bookmarkStart" ||
                            LocalName(next.name()) == "bookmarkEnd" || LocalName(next.name()) == "proofErr" ||
                            LocalName(next.name()) == "sectPr");
                 next = next.next_sibling()) {
                if (LocalName(next.name()) != "bookmarkEnd") continue;
                after.push_back(next);
                if (AttributeByLocalName(next, "id").value() == skipping) ends = true;
            }
            if (ends) keep = at != n || LocalName(next.name()) != "p";
            const std::string_view up = LocalName(at.parent().name());
            if (ends || next ||
                (up != "tc" && up != "tr" && up != "sdtContent" && up != "sdt" && up != "customXml"))
                break;
            at = at.parent();
        }
        if (!skipping.empty() && keep) {
            // Those ends stand at the end of this paragraph, before its mark; the mark goes with
            // a bookmark that starts there and goes on.
            for (pugi::xml_node end : after) {
                finish(AttributeByLocalName(end, "id").value());
                moved.insert(end.internal_object());
            }
            keep = skipping.empty();
        }
        if (keep) text += "\n";
    };
    walk(doc);
    return text;
}

// The run properties of the first run after a bookmark's start, as pugixml prints them; "" when
// the run has none.
inline std::string FirstRunProperties(std::string_view xml, std::string_view name) {
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size())) return "<not well-formed>";
    pugi::xml_node n = FindBookmarkStart(doc, name);
    while (n && LocalName(n.name()) != "r") n = n.next_sibling();
    if (!n) return "<no run>";
    std::ostringstream out;
    for (pugi::xml_node c : n.children())
        if (LocalName(c.name()) == "rPr") c.print(out, "", pugi::format_raw);
    return out.str();
}

// The bytes between the end of a bookmark's start tag and the beginning of its end tag, found
// by plain text search; {npos, npos} when they are not found.
inline std::pair<std::size_t, std::size_t> BookmarkInterior(std::string_view xml, std::string_view name) {
    constexpr std::size_t npos = std::string_view::npos;
    const std::string nameAttribute = "name=\"" + std::string(name) + "\"";
    for (std::size_t at = xml.find(nameAttribute); at != npos; at = xml.find(nameAttribute, at + 1)) {
        const std::size_t open = xml.rfind('<', at);
        const std::size_t close = xml.find('>', at);
        const std::string_view tag = xml.substr(open, close + 1 - open);
        if (tag.find("bookmarkStart") == npos) continue;
        const std::size_t idAt = tag.find("id=\"");
        if (idAt == npos) continue;
        const std::string id(tag.substr(idAt, tag.find('"', idAt + 4) + 1 - idAt));
        for (std::size_t e = xml.find(id, close); e != npos; e = xml.find(id, e + 1)) {
            const std::size_t endOpen = xml.rfind('<', e);
            if (xml.substr(endOpen, e - endOpen).find("bookmarkEnd") != npos) return {close + 1, endOpen};
        }
    }
    return {npos, npos};
}

inline std::string Describe(const engine::BookmarkInfo& b) {
    std::string kind;
    if (b.kind == engine::BookmarkKind::CheckBox) kind = " checkbox";
    if (b.kind == engine::BookmarkKind::DropDown) {
        kind = " dropdown:";
        for (const std::string& e : b.entries) kind += " " + e;
    }
    return b.name + " " + b.story + (b.inTable ? " table" : "") + (b.formField ? " form" : "") + kind +
           (b.hidden ? " hidden" : "") + (b.refusal.empty() ? "" : " / " + b.refusal);
}

inline std::vector<std::string> DescribeAll(const engine::Template& t) {
    std::vector<std::string> all;
    for (const engine::BookmarkInfo& b : t.bookmarks()) all.push_back(Describe(b));
    return all;
}

// One fill for every bookmark that may be filled (but those in `skip`), each value naming its
// bookmark; check boxes are checked and drop-downs take their last entry.
inline std::vector<engine::Fill> FillEverything(const engine::Template& t, std::string_view extra = "",
                                                const std::vector<std::string>& skip = {}) {
    std::vector<engine::Fill> fills;
    for (const engine::BookmarkInfo& b : t.bookmarks())
        if (b.refusal.empty() && std::find(skip.begin(), skip.end(), b.name) == skip.end())
            fills.push_back({b.name, b.kind == engine::BookmarkKind::CheckBox ? std::string("1")
                                     : b.kind == engine::BookmarkKind::DropDown
                                         ? b.entries.back()
                                         : "«" + b.name + "»" + std::string(extra)});
    return fills;
}

// A Word-written file of the real-world folder with a bookmark added as a user would add one.
struct EditedWordFile {
    std::string file;      // the original's name
    std::string bookmark;  // the bookmark added
    Bytes bytes;
};

// testWORD_text_box.docx with a bookmark around the text of its text box (in both copies), and
// testWORD_sdtInTextBox.docx with one inside the content control of its text box; empty when
// the files are not in `folder`.
inline std::vector<EditedWordFile> WordFilesWithBookmarksAdded(const std::string& folder) {
    struct Edit {
        std::string file, find, bookmark, id;
        bool toParagraphEnd;
    };
    const Edit edits[] = {
        {"testWORD_text_box.docx",
         "<w:r><w:t>This text is inside of a text box in the body of the document.</w:t></w:r>", "BoxText",
         "90", false},
        {"testWORD_sdtInTextBox.docx",
         "<w:r><w:rPr><w:b/><w:lang w:val=\"en-GB\"/></w:rPr><w:t>ich-text-content-</w:t>", "InControl", "91",
         true},
    };
    std::vector<EditedWordFile> out;
    for (const Edit& e : edits) {
        const Bytes original = ReadBytes(folder + "/" + e.file);
        auto entries = ReadWithLibzip(original);
        if (original.empty() || !entries) continue;
        const std::string before = "<w:bookmarkStart w:id=\"" + e.id + "\" w:name=\"" + e.bookmark + "\"/>";
        const std::string after = "<w:bookmarkEnd w:id=\"" + e.id + "\"/>";
        std::vector<std::pair<std::string_view, std::string_view>> views;
        for (ZipItem& item : *entries) {
            if (item.name == "word/document.xml") {
                // Each copy of the text box.
                std::string& xml = item.data;
                for (std::size_t at = xml.find(e.find); at != std::string::npos; at = xml.find(e.find, at)) {
                    const std::size_t end = e.toParagraphEnd ? xml.find("</w:p>", at) : at + e.find.size();
                    xml.insert(end, after);
                    xml.insert(at, before);
                    at += before.size() + e.find.size();
                }
            }
            views.emplace_back(item.name, item.data);
        }
        out.push_back({e.file, e.bookmark, StoreZip(views)});
    }
    return out;
}

}  // namespace qm::test
