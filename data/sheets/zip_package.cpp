#include "data/sheets/zip_package.h"

#include <zip.h>

#include <algorithm>
#include <set>
#include <vector>

#include "common/large_memory.h"
#include "common/zip_names.h"

namespace qm::sheets {

struct ZipPackage::Impl {
    struct Closer {
        void operator()(zip_t* z) const { zip_discard(z); }
    };
    std::unique_ptr<zip_t, Closer> archive;
};

std::size_t WholePartLimit(std::size_t archiveBytes) {
    const auto machine = static_cast<std::size_t>(MachineMemory());
    return std::min(SlicedPartLimit(archiveBytes), std::max(kPartLimit, machine / 4));
}

ZipPackage::ZipPackage() : impl_(std::make_unique<Impl>()) {}
ZipPackage::~ZipPackage() = default;

bool ZipPackage::open(std::span<const std::uint8_t> bytes) {
    impl_->archive.reset();
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return false;
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);  // not taken over on failure
        return false;
    }
    impl_->archive.reset(archive);
    // Names that are absolute, climb out of the archive's folder or come twice make the archive
    // damaged, as they do a template.
    std::set<std::string> seen;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (!name || UnsafeEntryName(name) || !seen.insert(name).second) {
            impl_->archive.reset();
            return false;
        }
    }
    return true;
}

bool ZipPackage::has(std::string_view name) const {
    if (!impl_->archive) return false;
    const std::string key(name);
    return zip_name_locate(impl_->archive.get(), key.c_str(), ZIP_FL_NOCASE) >= 0;
}

ZipPackage::ReadStatus ZipPackage::read(std::string_view name, std::string& out, std::size_t limit) const {
    out.clear();
    const ReadStatus status = stream(name, limit, [&out](std::string_view slice) {
        out.append(slice);
        return true;
    });
    if (status != ReadStatus::Ok) out.clear();
    return status;
}

ZipPackage::ReadStatus ZipPackage::stream(std::string_view name, std::size_t limit,
                                          const std::function<bool(std::string_view)>& take) const {
    if (!impl_->archive) return ReadStatus::Missing;
    const std::string key(name);
    const zip_int64_t index = zip_name_locate(impl_->archive.get(), key.c_str(), ZIP_FL_NOCASE);
    if (index < 0) return ReadStatus::Missing;
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(impl_->archive.get(), static_cast<zip_uint64_t>(index), 0, &info) != 0)
        return ReadStatus::Damaged;
    if ((info.valid & ZIP_STAT_SIZE) && info.size > limit) return ReadStatus::TooLarge;
    struct FileCloser {
        void operator()(zip_file_t* f) const { zip_fclose(f); }
    };
    std::unique_ptr<zip_file_t, FileCloser> file(
        zip_fopen_index(impl_->archive.get(), static_cast<zip_uint64_t>(index), 0));
    if (!file) return ReadStatus::Damaged;
    static constexpr std::string_view kDoctype = "<!DOCTYPE";
    std::vector<char> buffer(std::size_t{1} << 16);
    std::string edge;  // the end of the slice before, so that a DOCTYPE across two is seen
    std::size_t total = 0;
    while (true) {
        const zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
        if (n < 0) return ReadStatus::Damaged;  // also a wrong checksum at the end
        if (n == 0) break;
        // The stored size may lie; the inflated data is bounded all the same.
        total += static_cast<std::size_t>(n);
        if (total > limit) return ReadStatus::TooLarge;
        const std::string_view slice(buffer.data(), static_cast<std::size_t>(n));
        edge.append(slice.substr(0, std::min(slice.size(), kDoctype.size())));
        if (edge.find(kDoctype) != std::string::npos || slice.find(kDoctype) != std::string_view::npos)
            return ReadStatus::Doctype;
        edge.assign(slice.substr(slice.size() - std::min(slice.size(), kDoctype.size() - 1)));
        if (!take(slice)) return ReadStatus::Ok;
    }
    return ReadStatus::Ok;
}

}  // namespace qm::sheets
