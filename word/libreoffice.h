#pragma once
// The office of this platform: LibreOffice Writer in a separate process, driven over a private
// pipe through the UNO bridge.

#include <memory>

#include "word/automation.h"

namespace qm::word {

// A server that starts one office process on its first createApplication(), with its own pipe
// name and user profile folder, headless when no display is available, and ends it when the
// application quits or the server is destroyed.
std::unique_ptr<AutomationServer> MakeLibreOfficeServer();

}  // namespace qm::word
