#include "data/workbook_file.h"

#include <cstring>
#include <vector>

#include "common/fs.h"
#include "common/large_memory.h"
#include "common/text.h"
#include "data/names.h"
#include "data/sheets/readers.h"
#include "data/sheets/zip_package.h"
#include "data/xls/compound_file.h"
#include "data/xls/workbook_reader.h"

namespace qm::data {
namespace {

constexpr const char* kExtensions[] = {".xls", ".xlsx", ".xlsm", ".ods", ".csv", nullptr};

// Files beyond this are not read into memory at all.
constexpr std::size_t kFileLimit = std::size_t{1} << 31;

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() &&
           EqualsIgnoringAsciiCase(text.substr(text.size() - tail.size()), tail);
}

// The whole file in memory (see the .xls reader for why not a mapping).
bool ReadFile(const std::string& path, LargeBytes& bytes, std::string& problem) {
    // Not cleared before the reads fill it, and in large pages: see large_memory.h.
    BasicWholeFile<LargeBytes> file = ReadWholeFileAs<LargeBytes>(path, kFileLimit);
    switch (file.problem) {
        case WholeFile::Problem::None:
            break;
        case WholeFile::Problem::Missing:
            problem = "the file does not exist";
            return false;
        case WholeFile::Problem::NotRegular:
            problem = "not a regular file";
            return false;
        case WholeFile::Problem::TooLarge:
            problem = "too large: the file is over 2 GB";
            return false;
        case WholeFile::Problem::Unreadable:
            problem = std::string("cannot open the file: ") + std::strerror(file.error);
            return false;
    }
    bytes = std::move(file.bytes);
    if (bytes.empty()) {
        problem = "the file is empty";
        return false;
    }
    return true;
}

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// Whether the globals of a BIFF workbook stream announce encryption (a FILEPASS record).
bool BiffIsEncrypted(std::span<const std::uint8_t> file) {
    xls::WorkbookStream stream;
    if (!xls::OpenWorkbookStream(file, stream)) return false;
    std::size_t pos = 0;
    const auto s = stream.bytes;
    while (pos + 4 <= s.size()) {
        const std::uint16_t type = U16(s.data() + pos), length = U16(s.data() + pos + 2);
        if (type == 0x002F) return true;
        if (type == 0x000A) return false;  // end of the globals
        pos += 4 + length;
    }
    return false;
}

bool IsOpenDocument(const sheets::ZipPackage& zip) {
    std::string mimetype;
    if (zip.read("mimetype", mimetype, 256) == sheets::ZipPackage::ReadStatus::Ok)
        return mimetype.starts_with("application/vnd.oasis.opendocument");
    return zip.has("content.xml") && !zip.has("[Content_Types].xml");
}

}  // namespace

const char* const* WorkbookExtensions() {
    return kExtensions;
}

bool IsWorkbookFileName(std::string_view fileName) {
    for (const char* const* e = kExtensions; *e; ++e)
        if (EndsWithNoCase(fileName, *e)) return true;
    return false;
}

WorkbookLoad LoadWorkbook(std::string_view path) {
    WorkbookLoad load;
    try {
        LargeBytes bytes;
        if (path.empty()) {
            load.problem = "no file named";
            return load;
        }
        if (!ReadFile(std::string(path), bytes, load.problem)) return load;
        const std::span<const std::uint8_t> content(bytes);
        static constexpr std::uint8_t kCompound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        sheets::ReadOutcome outcome;
        if (!EndsWithNoCase(path, ".csv") && bytes.size() >= 8 &&
            std::memcmp(bytes.data(), kCompound, 8) == 0) {
            if (xls::HasRootStream(content, u"encryptedpackage")) {
                load.problem = "encrypted: the workbook is protected by a password";
                return load;
            }
            outcome.workbook = xls::ParseWorkbook(content);
            if (!outcome.workbook)
                outcome.problem = BiffIsEncrypted(content)
                                      ? "encrypted: the workbook is protected by a password"
                                      : "damaged or not a workbook: the .xls content cannot be read";
        } else if (!EndsWithNoCase(path, ".csv") && bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K') {
            sheets::ZipPackage zip;
            if (!zip.open(content))
                outcome.problem = "damaged: not a readable zip archive";
            else if (IsOpenDocument(zip))
                outcome = sheets::ReadOds(content);
            else
                outcome = sheets::ReadXlsx(content);
        } else if (EndsWithNoCase(path, ".csv")) {
            outcome = sheets::ReadCsv(content, BaseNameOfPath(path));
        } else {
            outcome.problem = "not a workbook: the content is neither .xls, .xlsx, .ods nor .csv";
        }
        load.workbook = std::move(outcome.workbook);
        load.problem = load.workbook ? std::string() : std::move(outcome.problem);
        if (!load.workbook && load.problem.empty()) load.problem = "damaged: unreadable";
    } catch (...) {
        load.workbook.reset();
        load.problem = "too large: out of memory";
    }
    return load;
}

}  // namespace qm::data
