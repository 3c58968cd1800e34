#pragma once
// Reader of the compound-file container that holds the workbook stream.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/large_memory.h"

namespace qm::xls {

struct WorkbookStream {
    std::span<const std::uint8_t> bytes;  // points into the file or into `owned`
    LargeBytes owned;                     // used when the stream's sectors are scattered
    bool book = false;                    // the stream is named "Book" (BIFF5)
};

// Finds the "Workbook" (or "Book") stream below the root storage, in any letter case, and
// gathers its bytes. false for anything that is not a readable compound file with such a stream.
// A stream that runs into the short last sector of the file ends where the file ends.
bool OpenWorkbookStream(std::span<const std::uint8_t> file, WorkbookStream& out);

// Whether `file` is a readable compound file whose root storage holds a stream called `name`
// (given in lower case; compared in any letter case). An encrypted .xlsx is such a file with an
// "encryptedpackage" stream.
bool HasRootStream(std::span<const std::uint8_t> file, std::u16string_view name);

}  // namespace qm::xls
