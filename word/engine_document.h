#pragma once
// The engine's working document: a template the engine read and the values set so far. Nothing
// is made until it is saved or printed; the office is asked only to print it or to save it in a
// format the engine does not write.

#include <memory>
#include <string>

#include "word/engine/template.h"
#include "word/office.h"
#include "word/working_document.h"

namespace qm::word {

// A document called `title` made from `source`. `office` (may be null) must outlive it.
std::unique_ptr<WorkingDocument> MakeEngineDocument(std::shared_ptr<const engine::Template> source,
                                                    Office* office, std::string title);

}  // namespace qm::word
