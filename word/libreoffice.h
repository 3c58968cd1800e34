#pragma once
// The office of this platform: LibreOffice Writer in a separate process, driven over a private
// pipe through the UNO bridge.

#include <cstdint>
#include <memory>

#include "word/office.h"

namespace qm::word {

// Starts one office process on its first openTemplate, with its own pipe name and user
// profile folder, headless when no display is available, and ends it on quit or when the
// object is destroyed. Offices of one program running side by side take different `slot`s,
// which keep their pipes and profiles apart.
std::unique_ptr<Office> MakeLibreOffice(int slot = 0);

// The memory each office process may take by default: half of the machine's, at least 1.5 GB.
std::uint64_t DefaultOfficeMemory();

// Office processes to convert documents with side by side: one for each processor core, at
// most four.
int DefaultOfficeWorkers();

}  // namespace qm::word
