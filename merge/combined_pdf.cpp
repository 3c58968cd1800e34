#include "merge/combined_pdf.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/text.h"
#include "word/pdf_join.h"

namespace qm {

CombinedPdf::CombinedPdf(std::string target) : target_(std::move(target)) {}

CombinedPdf::~CombinedPdf() {
    if (folder_.empty()) return;
    // The folder was made by Begin and holds nothing but the parts of this run.
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::u8path(folder_), ignored);
}

bool CombinedPdf::Begin() {
    // Beside the target, so the parts count against the disk the PDF goes to and a full disk
    // shows while the parts are saved, not only at the end.
    std::string pattern = FolderOfPath(target_) + ".~qm-parts-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    folder_ = pattern + "/";
    return true;
}

std::string CombinedPdf::PartPath(int ordinal) const {
    if (folder_.empty()) return {};
    char name[32];
    std::snprintf(name, sizeof name, "%06d.pdf", ordinal);
    return folder_ + name;
}

void CombinedPdf::Add(std::string part) {
    parts_.push_back(std::move(part));
}

bool CombinedPdf::Finish(std::string& error) {
    // Parts may be added in the order they were finished; their names give the run's order.
    std::sort(parts_.begin(), parts_.end());
    return word::JoinPdfFiles(parts_, target_, error);
}

}  // namespace qm
