#pragma once
// In-memory model of a parsed .xls workbook: every cell already converted to its display text.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::xls {

enum class SheetKind { Worksheet, Chart, Macro, Other };

struct Sheet {
    std::string name;  // as stored in the workbook, UTF-8
    SheetKind kind = SheetKind::Worksheet;
    // Cells of the sheet from A1 (row 0, column 0) to the last row and column that hold a
    // non-empty value, row-major; cells that hold nothing are "".
    std::size_t rowCount = 0;
    std::size_t columnCount = 0;
    std::vector<std::string> cells;

    // The text of cell (row, column), counted from 0; "" outside the sheet.
    const std::string& cell(std::size_t row, std::size_t column) const;
};

struct Workbook {
    std::vector<Sheet> sheets;  // in workbook order, chart sheets included
};

// Parses a BIFF8 or BIFF5 workbook held in memory. Anything unreadable (not a compound file, no
// workbook stream, truncated or malformed records, an encrypted workbook) gives nullptr.
// Never throws, never reads outside `bytes`.
std::unique_ptr<Workbook> ParseWorkbook(std::span<const std::uint8_t> bytes);

// Reads and parses a file; a missing or unreadable file gives nullptr.
std::unique_ptr<Workbook> ReadWorkbookFile(std::string_view path);

}  // namespace qm::xls
