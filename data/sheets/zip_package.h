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
    // Doctype: the part declares a DOCTYPE (entities, perhaps a "billion laughs" or an external
    // file); no office program accepts that in a package, and nor does this one.
    enum class ReadStatus { Ok, Missing, Damaged, TooLarge, Doctype };
    // The inflated bytes of part `name` into `out`.
    ReadStatus read(std::string_view name, std::string& out, std::size_t limit = kPartLimit) const;
    // The inflated bytes of part `name`, given to `take` a slice at a time as they come, at most
    // `limit` in all; `take` returns false to stop (the result is then Ok).
    ReadStatus stream(std::string_view name, std::size_t limit,
                      const std::function<bool(std::string_view)>& take) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm::sheets
