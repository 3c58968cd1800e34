#include "word/engine/docx_template.h"

namespace qm::engine {

OpenResult OpenDocxTemplate(std::span<const std::uint8_t>) { return {nullptr, "not supported yet"}; }
bool VerifyDocxContainer(std::span<const std::uint8_t>) { return false; }

}  // namespace qm::engine
