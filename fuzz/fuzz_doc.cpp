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
    std::vector<std::string> names;
    for (const qm::engine::BookmarkInfo& b : result.value->bookmarks()) {
        if (!b.refusal.empty()) continue;
        names.push_back(b.name);
        if (!result.value->CheckFills(names).empty()) {
            names.pop_back();
            continue;
        }
        fills.push_back({b.name, "值\n" + b.name + "\t\x01"});
    }
    std::vector<std::uint8_t> out;
    std::string error;
    if (result.value->Make(fills, out, error) && !qm::engine::VerifyContainer(out, result.value->format()))
        std::abort();
    return 0;
}
