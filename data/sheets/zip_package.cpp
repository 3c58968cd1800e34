#include "data/sheets/zip_package.h"

#include <zip.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "common/large_memory.h"
#include "common/zip_names.h"
#include "data/sheets/xml_scanner.h"

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

std::size_t ZipPackage::statedSize(std::string_view name) const {
    if (!impl_->archive) return 0;
    const std::string key(name);
    const zip_int64_t index = zip_name_locate(impl_->archive.get(), key.c_str(), ZIP_FL_NOCASE);
    zip_stat_t info;
    zip_stat_init(&info);
    if (index < 0 || zip_stat_index(impl_->archive.get(), static_cast<zip_uint64_t>(index), 0, &info) != 0 ||
        !(info.valid & ZIP_STAT_SIZE))
        return 0;
    return static_cast<std::size_t>(info.size);
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
        if (Contains(edge, kDoctype) || Contains(slice, kDoctype)) return ReadStatus::Doctype;
        edge.assign(slice.substr(slice.size() - std::min(slice.size(), kDoctype.size() - 1)));
        if (!take(slice)) return ReadStatus::Ok;
    }
    return ReadStatus::Ok;
}

namespace {

// The stretches inflated ahead of the parse: at most kAhead wait, and their buffers are used
// again.
class StretchChannel {
  public:
    static constexpr std::size_t kAhead = 2;

    // Producer: waits for room; false once the consumer has stopped. `stretch` is left empty,
    // with a used buffer where one is spare.
    bool put(std::string& stretch, bool last) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || full_.size() < kAhead; });
        if (stopped_) return false;
        full_.emplace_back(std::move(stretch), last);
        stretch.clear();
        if (!spare_.empty()) {
            stretch = std::move(spare_.back());
            spare_.pop_back();
        }
        changed_.notify_all();
        return true;
    }
    void finish(ZipPackage::ReadStatus status, bool outOfMemory) {
        const std::lock_guard lock(mutex_);
        status_ = status;
        outOfMemory_ = outOfMemory;
        done_ = true;
        changed_.notify_all();
    }
    // Consumer: the next stretch into `stretch` (its old buffer kept for the producer); false
    // at the end.
    bool get(std::string& stretch, bool& last) {
        std::unique_lock lock(mutex_);
        if (stretch.capacity() > 0) {
            stretch.clear();
            spare_.push_back(std::move(stretch));
        }
        stretch.clear();
        changed_.wait(lock, [&] { return done_ || !full_.empty(); });
        if (full_.empty()) return false;
        stretch = std::move(full_.front().first);
        last = full_.front().second;
        full_.pop_front();
        changed_.notify_all();
        return true;
    }
    void stop() {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    ZipPackage::ReadStatus status() const { return status_; }
    bool outOfMemory() const { return outOfMemory_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::string, bool>> full_;
    std::vector<std::string> spare_;
    bool stopped_ = false, done_ = false, outOfMemory_ = false;
    ZipPackage::ReadStatus status_ = ZipPackage::ReadStatus::Ok;
};

// Inflates `part` into stretches cut by `cut`, each put into the channel: the last with the
// rest once the part is read whole.
ZipPackage::ReadStatus Inflate(StretchChannel& channel, const ZipPackage& zip, const std::string& part,
                               std::size_t limit, std::size_t sliceBytes, const ZipPackage::Cut& cut) {
    std::string stretch, rest;
    stretch.reserve(sliceBytes + (std::size_t{1} << 16));
    bool stopped = false;
    const ZipPackage::ReadStatus status = zip.stream(part, limit, [&](std::string_view piece) {
        stretch.append(piece);
        if (stretch.size() < sliceBytes) return true;
        const std::size_t end = std::min(cut(stretch), stretch.size());
        if (end == 0) return true;
        rest.assign(stretch, end);
        stretch.resize(end);
        stopped = !channel.put(stretch, false);
        stretch.append(rest);
        return !stopped;
    });
    if (status == ZipPackage::ReadStatus::Ok && !stopped) channel.put(stretch, true);
    return status;
}

}  // namespace

ZipPackage::ReadStatus ZipPackage::StreamAhead(std::span<const std::uint8_t> archive, std::string_view name,
                                               std::size_t limit, std::size_t sliceBytes, const Cut& cut,
                                               const Take& take) {
    StretchChannel channel;
    const std::string part(name);
    const auto inflate = [&channel, &cut, archive, part, limit, sliceBytes] {
        ReadStatus status = ReadStatus::Damaged;
        bool outOfMemory = false;
        try {
            ZipPackage zip;
            if (zip.open(archive)) status = Inflate(channel, zip, part, limit, sliceBytes, cut);
        } catch (...) {
            outOfMemory = true;
        }
        channel.finish(status, outOfMemory);
    };
    std::thread inflater;
    try {
        inflater = std::thread(inflate);
    } catch (const std::system_error&) {
        // No thread to be had: everything is read here, the part held whole.
        ZipPackage zip;
        std::string whole;
        if (!zip.open(archive)) return ReadStatus::Damaged;
        const ReadStatus status = zip.read(name, whole, limit);
        if (status == ReadStatus::Ok) take(whole, true);
        return status;
    }
    std::string stretch;
    bool stopped = false, last = false;
    try {
        while (channel.get(stretch, last)) {
            if (!take(stretch, last)) {
                stopped = true;
                break;
            }
        }
    } catch (...) {
        channel.stop();
        inflater.join();
        throw;
    }
    channel.stop();
    inflater.join();
    if (channel.outOfMemory()) throw std::bad_alloc();
    return stopped ? ReadStatus::Ok : channel.status();
}

}  // namespace qm::sheets
