// Feeds arbitrary bytes to the workbook reader and reads back a corner of every sheet.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "data/xls/workbook_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto book = qm::xls::ParseWorkbook({data, size});
    if (!book) return 0;
    for (const qm::xls::Sheet& sheet : book->sheets) {
        const std::size_t rows = std::min<std::size_t>(sheet.rowCount(), 64);
        const std::size_t columns = std::min<std::size_t>(sheet.columnCount(), 64);
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < columns; ++c) (void)sheet.cell(r, c);
        if (sheet.rowCount() > 0) (void)sheet.cell(sheet.rowCount() - 1, sheet.columnCount() - 1);
    }
    return 0;
}
