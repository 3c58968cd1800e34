#include "data/workbook_cache.h"

#include <sys/stat.h>

#include <list>

#include "data/model/workbook.h"
#include "data/workbook_file.h"

namespace qm::data {
namespace {

// What identifies one version of a file. The inode catches a file replaced by another of the
// same size and time stamp (a copy or rename over it).
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

bool StampOf(const std::string& path, FileStamp& stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    return true;
}

// A browse moves between a few workbooks at most; more than this are parsed again when
// they come back, which bounds the memory kept.
constexpr std::size_t kKeptWorkbooks = 4;

}  // namespace

struct WorkbookCache::Impl {
    struct Entry {
        std::string path;
        FileStamp stamp;
        std::shared_ptr<const xls::Workbook> workbook;
    };
    std::list<Entry> entries;  // most recently used first
};

WorkbookCache::WorkbookCache() : impl_(std::make_unique<Impl>()) {}

WorkbookCache::~WorkbookCache() = default;

std::shared_ptr<const xls::Workbook> WorkbookCache::get(std::string_view path) {
    return load(path).workbook;
}

WorkbookLoad WorkbookCache::load(std::string_view path) {
    WorkbookLoad result;
    try {
        const std::string key(path);
        auto& entries = impl_->entries;
        auto it = entries.begin();
        while (it != entries.end() && it->path != key) ++it;

        FileStamp stamp;
        if (key.empty() || !StampOf(key, stamp)) {
            if (it != entries.end()) entries.erase(it);
            return LoadWorkbook(key);  // the reason for a missing file or a folder
        }
        if (it != entries.end()) {
            if (it->stamp == stamp) {
                entries.splice(entries.begin(), entries, it);
                result.workbook = it->workbook;
                return result;
            }
            entries.erase(it);
        }
        result = LoadWorkbook(key);
        if (!result.workbook) return result;
        // A file changed while it was read gets a new stamp, so the next get reads it again.
        entries.push_front(Impl::Entry{key, stamp, result.workbook});
        if (entries.size() > kKeptWorkbooks) entries.pop_back();
        return result;
    } catch (...) {
        result.workbook.reset();
        result.problem = "out of memory";
        return result;
    }
}

void WorkbookCache::clear() {
    impl_->entries.clear();
}

}  // namespace qm::data
