// Feeds arbitrary bytes to the document engine as a template: it must refuse them or list their
// bookmarks, and a document made from them filling every fillable bookmark must read back. Check
// boxes are checked and cleared in turn and drop-downs take their last entry: the made document
// must hold the same check boxes and drop-downs, with the same entries, as the template.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "word/engine/doc_form.h"
#include "word/engine/template.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::engine::OpenResult result = qm::engine::OpenTemplate({data, size});
    if (!result) return 0;
    std::vector<qm::engine::Fill> fills;
    // Every bookmark, the ones that cannot take a value too: the engine leaves them alone.
    std::size_t n = 0;
    for (const qm::engine::BookmarkInfo& b : result.value->bookmarks()) {
        switch (b.kind) {
            case qm::engine::BookmarkKind::Text:
                fills.push_back({b.name, "值\n" + b.name + "\t\x01"});
                break;
            case qm::engine::BookmarkKind::CheckBox:
                fills.push_back({b.name, n++ % 2 ? "☐" : "1"});
                break;
            case qm::engine::BookmarkKind::DropDown:
                fills.push_back({b.name, b.entries.empty() ? "none" : b.entries.back()});
                break;
        }
    }
    std::vector<std::uint8_t> out;
    std::string error;
    if (!result.value->Make(fills, out, error)) return 0;
    if (!qm::engine::VerifyContainer(out, result.value->format())) std::abort();
    if (result.value->format() != qm::engine::Format::Doc) return 0;
    std::vector<qm::engine::DocFormField> before, after;
    if (!qm::engine::ReadDocFormFields({data, size}, before, error)) return 0;
    if (!qm::engine::ReadDocFormFields(out, after, error) || after.size() != before.size()) std::abort();
    for (std::size_t i = 0; i < before.size(); ++i)
        if (after[i].kind != before[i].kind || after[i].entries != before[i].entries) std::abort();
    return 0;
}
