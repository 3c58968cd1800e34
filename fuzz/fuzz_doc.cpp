// Feeds arbitrary bytes to the document engine as a template: it must refuse them or list their
// bookmarks, and a document made from them filling every fillable bookmark must read back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "word/engine/template.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::engine::OpenResult result = qm::engine::OpenTemplate({data, size});
    if (!result) return 0;
    std::vector<qm::engine::Fill> fills;
    // Every bookmark, the ones that cannot take a value too: the engine leaves them alone.
    for (const qm::engine::BookmarkInfo& b : result.value->bookmarks())
        fills.push_back(
            {b.name, b.kind == qm::engine::BookmarkKind::Text ? "值\n" + b.name + "\t\x01" : "1"});
    std::vector<std::uint8_t> out;
    std::string error;
    if (result.value->Make(fills, out, error) && !qm::engine::VerifyContainer(out, result.value->format()))
        std::abort();
    return 0;
}
