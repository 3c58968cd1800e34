#include "word/working_document.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>

#include "common/fs.h"
#include "common/text.h"

namespace qm::word {

namespace {

// Less room than this after a failed save means the disk is full.
constexpr std::uint64_t kRoomForADocument = 256 * 1024;

// A file the office wrote, read back. The office checks its own writing; what is checked here is
// that something was written at all, which an office that died on the way may not have done.
bool Written(std::span<const std::uint8_t> bytes) {
    return !bytes.empty();
}

// The temporary folder the user chose (the parent of the office's private folder in it), which
// is the one a message should name.
std::string FolderOfScratch(const std::string& scratch) {
    const std::string parent = FolderOfPath(scratch);
    return parent.size() > 1 && parent.back() == '/' ? parent.substr(0, parent.size() - 1) : parent;
}

}  // namespace

SaveResult SaveFailed(std::string error, std::string_view fileName) {
    SaveResult result;
    result.error = std::move(error);
    result.diskFull = LowOnSpace(FolderOfPath(fileName), kRoomForADocument);
    if (result.diskFull) result.error = "the disk is full";
    return result;
}

SaveResult SaveFailedWith(int code, std::string_view fileName) {
    SaveResult result = SaveFailed(std::strerror(code), fileName);
    result.code = code;
    return result;
}

SaveResult ScratchFailed(int code, std::string folder) {
    SaveResult result;
    result.error = std::strerror(code);
    result.code = code;
    result.fault = SaveFault::Scratch;
    result.where = std::move(folder);
    return result;
}

DocumentId OpenBytesInOffice(Office& office, std::span<const std::uint8_t> bytes, std::string_view extension,
                             std::string_view near, std::string_view notOpened, SaveResult& failure) {
    // In the office's own folder when it has one, so that its lock file stays out of the user's.
    const std::string scratch = office.scratchFolder();
    const std::string besideOf =
        scratch.empty() ? std::string(near) : scratch + "/" + std::string(NameOfPath(near));
    const std::string source = TemporaryNameBeside(besideOf + std::string(extension));
    int code = 0;
    if (!ReplaceFile(source, bytes, nullptr, code)) {
        failure =
            scratch.empty() ? SaveFailedWith(code, near) : ScratchFailed(code, FolderOfScratch(scratch));
        return 0;
    }
    const DocumentId id = office.openTemplate(source);
    ::unlink(source.c_str());
    if (id == 0) failure = SaveFailed(std::string(notOpened), near);
    return id;
}

SaveResult SaveFromOffice(Office& office, DocumentId document, std::string_view fileName,
                          std::string_view error) {
    // The office writes into its own folder when it has one (its temporary and lock files stay
    // there), and the bytes are then put in place as any other document's.
    const std::string scratch = office.scratchFolder();
    const std::string target =
        TemporaryNameBeside(scratch.empty() ? fileName : scratch + "/" + std::string(NameOfPath(fileName)));
    std::vector<std::uint8_t> back;
    if (!office.saveAs(document, target) || !ReadFileBytes(target, back) || !Written(back)) {
        ::unlink(target.c_str());
        // The office says only that it failed; a temporary folder that cannot take the file is
        // the likeliest cause, and then it is the one to name.
        if (!scratch.empty() && office.running()) {
            if (::access(scratch.c_str(), W_OK) != 0) return ScratchFailed(errno, FolderOfScratch(scratch));
            if (LowOnSpace(scratch, kRoomForADocument))
                return ScratchFailed(ENOSPC, FolderOfScratch(scratch));
        }
        return SaveFailed(std::string(error), fileName);
    }
    int code = 0;
    if (scratch.empty()) {
        if (!CommitFile(target, fileName, code)) return SaveFailedWith(code, fileName);
        return SaveSucceeded();
    }
    ::unlink(target.c_str());
    if (!ReplaceFile(fileName, back, nullptr, code)) return SaveFailedWith(code, fileName);
    return SaveSucceeded();
}

}  // namespace qm::word
