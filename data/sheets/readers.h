#pragma once
// Readers of the workbook formats besides .xls: .xlsx/.xlsm, .ods and .csv. Each fills the
// same workbook model as the .xls reader, so every later step (tables, pages, runs, shown
// values) is the same whatever the format.
//
// Each gives either a workbook or, with a null workbook, one line that says why the bytes could
// not be read ("encrypted", "damaged: ...", "sheet ... reaches the last row ..."). None throws,
// none reads outside its input, and each bounds what it builds (see kMaxCells, kLastRow).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "data/model/workbook.h"

namespace qm::sheets {

struct ReadOutcome {
    std::unique_ptr<xls::Workbook> workbook;
    std::string problem;  // "" with a workbook
};

// Value cells a workbook may hold (about 512 MB of cells); a larger one is refused as too large.
inline constexpr std::size_t kMaxCells = std::size_t{32} << 20;
// A value in the last row a sheet can have (row 1,048,576) after empty rows marks a sheet
// formatted to the bottom: such a workbook is refused rather than read as a million records.
// A sheet whose rows are filled down to it is read whole.
inline constexpr std::size_t kLastRow = xls::kMaxRows - 1;

ReadOutcome ReadXlsx(std::span<const std::uint8_t> bytes);
ReadOutcome ReadOds(std::span<const std::uint8_t> bytes);
// A .csv is one sheet called `sheetName`. Its encoding is UTF-8 (with or without a byte order
// mark) when the bytes are valid UTF-8, else GB18030. Fields are separated by commas; a field
// in double quotes may hold commas, line breaks and doubled quotes. An unclosed quote makes the
// file unreadable. Every field is a text exactly as written, so codes like 001234 keep their
// zeros; the shown text of a cell is the same text.
ReadOutcome ReadCsv(std::span<const std::uint8_t> bytes, std::string_view sheetName);

}  // namespace qm::sheets
