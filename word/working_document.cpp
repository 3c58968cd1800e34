#include "word/working_document.h"

#include <unistd.h>

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

}  // namespace

SaveResult SaveFailed(std::string error, std::string_view fileName) {
    SaveResult result;
    result.error = std::move(error);
    result.diskFull = LowOnSpace(FolderOfPath(fileName), kRoomForADocument);
    if (result.diskFull) result.error = "the disk is full";
    return result;
}

DocumentId OpenBytesInOffice(Office& office, std::span<const std::uint8_t> bytes, std::string_view extension,
                             std::string_view near, int& code) {
    code = 0;
    // In the office's own folder when it has one, so that its lock file stays out of the user's.
    const std::string scratch = office.scratchFolder();
    const std::string besideOf =
        scratch.empty() ? std::string(near) : scratch + "/" + std::string(NameOfPath(near));
    const std::string source = TemporaryNameBeside(besideOf + std::string(extension));
    if (!ReplaceFile(source, bytes, nullptr, code)) return 0;
    const DocumentId id = office.openTemplate(source);
    ::unlink(source.c_str());
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
        return SaveFailed(std::string(error), fileName);
    }
    int code = 0;
    if (scratch.empty()) {
        if (!CommitFile(target, fileName, code)) return SaveFailed(std::strerror(code), fileName);
        return SaveResult{true, false, {}};
    }
    ::unlink(target.c_str());
    if (!ReplaceFile(fileName, back, nullptr, code)) return SaveFailed(std::strerror(code), fileName);
    return SaveResult{true, false, {}};
}

}  // namespace qm::word
