#include "merge/combined_pdf.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/fs.h"
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
    // Named as the run's temporary files are, so that the folder of a run that was killed is
    // known and removed by a later run into the same folder.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::string folder = TemporaryNameBeside(FolderOfPath(target_) + "parts");
        if (::mkdir(folder.c_str(), 0700) == 0) {
            folder_ = folder + "/";
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
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
