#pragma once
// Read access to the parts of a zip package (.xlsx, .ods) held in memory.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace qm::sheets {

// Parts larger than this are not inflated: a workbook part beyond it is refused as too large,
// so a small archive that claims or inflates to gigabytes cannot exhaust the memory.
inline constexpr std::size_t kPartLimit = std::size_t{256} << 20;

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

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm::sheets
