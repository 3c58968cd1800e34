#include "word/engine/doc_template.h"

namespace qm::engine {

OpenResult OpenDocTemplate(std::span<const std::uint8_t>) { return {nullptr, "not supported yet"}; }
bool VerifyDocContainer(std::span<const std::uint8_t>) { return false; }

}  // namespace qm::engine
