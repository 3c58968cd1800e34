// The workbook stream of an .xls compound file.

#include "data/xls/compound_file.h"

#include "common/cfb/compound_file.h"

namespace qm::xls {

bool OpenWorkbookStream(std::span<const std::uint8_t> file, WorkbookStream& out) {
    out = WorkbookStream{};
    cfb::File container;
    if (!container.Open(file)) return false;
    // "Workbook" (BIFF8) wins over "Book" (BIFF5); both in any letter case.
    std::uint32_t index = container.Find(0, u"workbook");
    if (index == cfb::kNoEntry) {
        index = container.Find(0, u"book");
        out.book = index != cfb::kNoEntry;
    }
    if (index == cfb::kNoEntry || container.entries()[index].type != cfb::EntryType::Stream) return false;
    cfb::Stream stream;
    if (!container.Read(index, stream)) return false;
    out.owned = std::move(stream.owned);
    out.bytes = out.owned.empty() ? stream.bytes : std::span<const std::uint8_t>(out.owned);
    return true;
}

bool HasRootStream(std::span<const std::uint8_t> file, std::u16string_view name) {
    cfb::File container;
    if (!container.Open(file)) return false;
    const std::uint32_t index = container.Find(0, name);
    return index != cfb::kNoEntry && container.entries()[index].type == cfb::EntryType::Stream;
}

}  // namespace qm::xls
