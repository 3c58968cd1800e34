// Feeds arbitrary bytes to the .docx engine as a template, fills every bookmark it allows (check
// boxes checked, drop-downs on their last entry), and stops on a document that is not a whole
// zip, does not read back, or has lost a bookmark.
//
// Input that starts like a zip is taken as the template; anything else is taken as the main
// document part and packed here into a small zip with correct checksums, so that mutations of
// the XML reach the bookmark logic instead of failing the zip's CRC check. A custom XML data
// part goes with it, with the item id and names the bound controls of the features.docx test
// template use.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/word/engine/store_zip.h"
#include "word/engine/docx_template.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every bookmark and its story: what a fill keeps. (What a bookmark lies in may change: a filled
// range takes tables and fields with it.)
std::vector<std::string> Listing(const qm::engine::Template& t) {
    std::vector<std::string> all;
    for (const qm::engine::BookmarkInfo& b : t.bookmarks()) all.push_back(b.name + "|" + b.story);
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes packed;
    std::span<const std::uint8_t> input(data, size);
    if (size < 2 || data[0] != 'P' || data[1] != 'K') {
        const std::string_view xml(reinterpret_cast<const char*>(data), size);
        packed = qm::test::StoreZip(
            {{"_rels/.rels",
              "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
              "2006/relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
             {"word/document.xml", xml},
             {"customXml/item1.xml",
              "<ns0:people xmlns:ns0=\"urn:example:people\"><ns0:person><ns0:name>a</ns0:name>"
              "</ns0:person><ns0:person><ns0:name>b<x/></ns0:name></ns0:person><ns0:note/></ns0:people>"},
             {"customXml/_rels/item1.xml.rels",
              "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
              "relationships/customXmlProps\" Target=\"itemProps1.xml\"/></Relationships>"},
             {"customXml/itemProps1.xml",
              "<ds:datastoreItem ds:itemID=\"{5C3A1F0E-2B7D-4E61-9A1B-3C4D5E6F7A8B}\" "
              "xmlns:ds=\"http://schemas.openxmlformats.org/officeDocument/2006/customXml\"/>"}});
        input = packed;
    }
    const qm::engine::OpenResult opened = qm::engine::OpenDocxTemplate(input);
    if (!opened) return 0;
    const qm::engine::Template& t = *opened.value;

    std::vector<qm::engine::Fill> fills;
    for (const qm::engine::BookmarkInfo& b : t.bookmarks())
        if (b.refusal.empty())
            fills.push_back({b.name, b.kind == qm::engine::BookmarkKind::CheckBox ? std::string("1")
                                     : b.kind == qm::engine::BookmarkKind::DropDown
                                         ? b.entries.back()
                                         : "x\n<&>\t\xEF\xBF\xBF" + b.name});
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
