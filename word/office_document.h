#pragma once
// The office's working document: a document open in the office, made from the template there,
// and filled and saved through the office's calls.

#include <memory>
#include <string_view>

#include "word/office.h"
#include "word/working_document.h"

namespace qm::word {

// Asks `office` (may be null; must outlive the document) for a new document made from the
// template at `path`, starting the office when none runs. Always a document: one that did not
// open is closed from the start, with an empty title.
std::unique_ptr<WorkingDocument> OpenOfficeDocument(Office* office, std::string_view path);

}  // namespace qm::word
