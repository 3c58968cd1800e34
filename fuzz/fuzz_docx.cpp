// Feeds arbitrary bytes to the .docx engine as a template, fills every bookmark it allows, and
// stops on a document that is not a whole zip or does not list the template's bookmarks.
//
// Input that starts like a zip is taken as the template; anything else is taken as the main
// document part and packed here into a small zip with correct checksums, so that mutations of
// the XML reach the bookmark logic instead of failing the zip's CRC check.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "word/engine/docx_template.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes StoreZip(const std::vector<std::pair<std::string_view, std::string_view>>& entries) {
    Bytes out;
    const auto put = [&](std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto append = [&](std::string_view s) { out.insert(out.end(), s.begin(), s.end()); };
    std::vector<std::uint32_t> offsets, crcs;
    for (const auto& [name, data] : entries) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        crcs.push_back(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        put(0x04034b50, 4), put(20, 2), put(0, 2), put(0, 2), put(0, 4), put(crcs.back(), 4);
        put(data.size(), 4), put(data.size(), 4), put(name.size(), 2), put(0, 2);
        append(name), append(data);
    }
    const std::uint32_t directory = static_cast<std::uint32_t>(out.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& [name, data] = entries[i];
        put(0x02014b50, 4), put(20, 2), put(20, 2), put(0, 2), put(0, 2), put(0, 4), put(crcs[i], 4);
        put(data.size(), 4), put(data.size(), 4), put(name.size(), 2), put(0, 4), put(0, 4), put(0, 4);
        put(offsets[i], 4), append(name);
    }
    const std::uint32_t directorySize = static_cast<std::uint32_t>(out.size()) - directory;
    put(0x06054b50, 4), put(0, 4), put(entries.size(), 2), put(entries.size(), 2);
    put(directorySize, 4), put(directory, 4), put(0, 2);
    return out;
}

std::vector<std::string> Listing(const qm::engine::Template& t) {
    std::vector<std::string> all;
    for (const qm::engine::BookmarkInfo& b : t.bookmarks())
        all.push_back(b.name + "|" + b.story + "|" + std::to_string(b.inTable) + std::to_string(b.formField) +
                      "|" + b.refusal);
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes packed;
    std::span<const std::uint8_t> input(data, size);
    if (size < 2 || data[0] != 'P' || data[1] != 'K') {
        const std::string_view xml(reinterpret_cast<const char*>(data), size);
        packed = StoreZip(
            {{"_rels/.rels",
              "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
              "2006/relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
             {"word/document.xml", xml}});
        input = packed;
    }
    const qm::engine::OpenResult opened = qm::engine::OpenDocxTemplate(input);
    if (!opened) return 0;
    const qm::engine::Template& t = *opened.value;

    std::vector<qm::engine::Fill> fills;
    for (const qm::engine::BookmarkInfo& b : t.bookmarks())
        if (b.refusal.empty()) fills.push_back({b.name, "x\n<&>\t\xEF\xBF\xBF" + b.name});
    Bytes out;
    std::string error;
    bool made = t.Make(fills, out, error);
    if (!made) {
        if (!out.empty() || error.empty()) std::abort();
        // Bookmarks inside others cannot all be filled at once; one of them alone can.
        fills.resize(1);
        made = t.Make(fills, out, error);
        if (!made) std::abort();
    }
    if (!qm::engine::VerifyDocxContainer(out)) std::abort();
    const qm::engine::OpenResult again = qm::engine::OpenDocxTemplate(out);
    if (!again || Listing(*again.value) != Listing(t)) std::abort();
    return 0;
}
