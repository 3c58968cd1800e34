// Feeds arbitrary bytes to the .xlsx, .ods and .csv readers (and to the XML scanner under them)
// and reads back a corner of every sheet, raw and shown.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/sheets/readers.h"
#include "data/sheets/xml_scanner.h"

namespace {

void ReadBack(const qm::sheets::ReadOutcome& outcome) {
    if (!outcome.workbook) return;
    for (const qm::xls::Sheet& sheet : outcome.workbook->sheets) {
        const std::size_t rows = std::min<std::size_t>(sheet.rowCount(), 32);
        const std::size_t columns = std::min<std::size_t>(sheet.columnCount(), 32);
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < columns; ++c) {
                (void)sheet.cell(r, c);
                (void)sheet.shownCell(r, c);
            }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    ReadBack(qm::sheets::ReadCsv(bytes, "fuzz"));
    if (size >= 2 && data[0] == 'P' && data[1] == 'K') {
        ReadBack(qm::sheets::ReadXlsx(bytes));
        ReadBack(qm::sheets::ReadOds(bytes));
    } else {
        qm::sheets::XmlScanner scan(std::string_view(reinterpret_cast<const char*>(data), size));
        std::string text;
        for (int n = 0; n < 100000; ++n) {
            const auto e = scan.next();
            if (e == qm::sheets::XmlScanner::Event::End || e == qm::sheets::XmlScanner::Event::Error) break;
            if (e == qm::sheets::XmlScanner::Event::Text) scan.appendText(text);
            if (e == qm::sheets::XmlScanner::Event::StartTag) (void)scan.attribute("r", text);
        }
    }
    return 0;
}
