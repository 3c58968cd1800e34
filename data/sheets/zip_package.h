#pragma once
// Read access to the parts of a zip package (.xlsx, .ods) held in memory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace qm::sheets {

// Parts larger than this are not inflated whole: a workbook part beyond it is refused as too
// large, so a small archive that claims or inflates to gigabytes cannot exhaust the memory.
inline constexpr std::size_t kPartLimit = std::size_t{256} << 20;

// The most a part that is read in slices (a sheet's data) may inflate to, for an archive of
// `archiveBytes`: in proportion to the archive, as the parts of real workbooks are (their XML
// packs 10 to 30 times), and never less than kPartLimit. What deflate can make of a small
// archive (a thousand times its size) is refused.
inline std::size_t SlicedPartLimit(std::size_t archiveBytes) {
    const std::size_t proportional = archiveBytes > SIZE_MAX / 100 ? SIZE_MAX : archiveBytes * 100;
    return proportional > kPartLimit ? proportional : kPartLimit;
}

// The most a part that must be held whole (an .ods's content) may inflate to: as for a part read
// in stretches, and within a quarter of the machine's memory.
std::size_t WholePartLimit(std::size_t archiveBytes);

class ZipPackage {
  public:
    ZipPackage();
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // Opens the archive in `bytes`, which must outlive this object. false when it is not a
    // readable zip archive.
    bool open(std::span<const std::uint8_t> bytes);
    // Whether the archive has a part called `name` (letter case ignored, as packages do).
    bool has(std::string_view name) const;
    // The size that part `name` says it inflates to; 0 when it is missing or says none. A hint
    // only: it may lie, and reads are bounded whatever it says.
    std::size_t statedSize(std::string_view name) const;
    // Doctype: the part declares a DOCTYPE (entities, perhaps a "billion laughs" or an external
    // file); no office program accepts that in a package, and nor does this one.
    enum class ReadStatus { Ok, Missing, Damaged, TooLarge, Doctype };
    // The inflated bytes of part `name` into `out`.
    ReadStatus read(std::string_view name, std::string& out, std::size_t limit = kPartLimit) const;
    // The inflated bytes of part `name`, given to `take` a slice at a time as they come, at most
    // `limit` in all; `take` returns false to stop (the result is then Ok).
    ReadStatus stream(std::string_view name, std::size_t limit,
                      const std::function<bool(std::string_view)>& take) const;

    // The inflated bytes of part `name` in stretches, inflated on a thread of its own (through
    // its own view of `archive`) a few stretches ahead of `take`, which runs on the caller's
    // thread: for parts whose parse costs as much as their inflation. A stretch is cut once
    // `sliceBytes` have come, where `cut` says: the length of a prefix of them that can be
    // parsed alone, 0 to wait for more (`cut` runs on the inflating thread). The last stretch
    // holds the rest, perhaps nothing, and comes with `last` true; none comes with it true after
    // a failure. `take` returns false to stop (the result is then Ok). Out of memory on the
    // inflating thread is thrown here as std::bad_alloc.
    using Cut = std::function<std::size_t(std::string_view)>;
    using Take = std::function<bool(std::string_view stretch, bool last)>;
    static ReadStatus StreamAhead(std::span<const std::uint8_t> archive, std::string_view name,
                                  std::size_t limit, std::size_t sliceBytes, const Cut& cut,
                                  const Take& take);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm::sheets
