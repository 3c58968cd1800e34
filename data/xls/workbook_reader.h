#pragma once
// The .xls reader: BIFF8 and BIFF5 workbooks into the workbook model.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "data/model/workbook.h"

namespace qm::xls {

// Parses a BIFF8 or BIFF5 workbook held in memory. Anything unreadable (not a compound file, no
// workbook stream, truncated or malformed records, an encrypted workbook) gives nullptr.
// Never throws, never reads outside `bytes`.
std::unique_ptr<Workbook> ParseWorkbook(std::span<const std::uint8_t> bytes);

// Reads and parses a file; a missing or unreadable file gives nullptr.
std::unique_ptr<Workbook> ReadWorkbookFile(std::string_view path);

}  // namespace qm::xls
