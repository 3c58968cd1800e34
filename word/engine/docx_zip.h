#pragma once
// The zip container of a .docx, read and written at the level of its records. Our own reader,
// not a library's, because a made document copies every entry it does not change as the raw
// bytes of the template: local header, compressed data and data descriptor alike.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::engine::docx {

struct ZipEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;  // 0 stored, 8 deflated: the only ones accepted
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::size_t localOffset = 0;  // the local header
    std::size_t dataOffset = 0;   // the compressed data
    std::size_t localEnd = 0;     // past the data and its descriptor, if any
    std::size_t centralOffset = 0;
    std::size_t centralSize = 0;
    bool zip64 = false;  // its central record keeps sizes or offset in a zip64 block
};

struct ZipArchive {
    std::vector<ZipEntry> entries;  // in central directory order
    std::size_t endOffset = 0;      // the end of central directory record
};

// Reads the directory of a whole zip and checks that every local header agrees with it and
// that no two entries share bytes. "" on success, otherwise why the zip is refused. Zip64
// records are read (entries over 4 GB are refused); split and encrypted archives and methods
// other than stored and deflated are refused.
// `exact`: the zip must be the whole of `bytes`, as a file this program wrote is; otherwise bytes
// around it (added by other programs) are passed over.
std::string ReadZip(std::span<const std::uint8_t> bytes, ZipArchive& zip, bool exact = false);

// The largest part inflated to be read: a template with a larger one is refused, so that a small
// archive that inflates to gigabytes cannot take the memory or the time of every document.
inline constexpr std::uint32_t kMaxInflatedPart = 256u << 20;

// Decompresses one entry into `out` (not touched when null) and checks its length and CRC.
// False when the data do not read back as the directory says.
bool ReadEntry(std::span<const std::uint8_t> bytes, const ZipEntry& entry, std::string* out);

// Index of the entry called `name`: exact first, then ignoring ASCII letter case (part names
// are case-insensitive); -1 when there is none.
int FindEntry(const ZipArchive& zip, std::string_view name);

// Writes `zip` again into `out`: entry i gets `replacement[i]` deflated when that is not null,
// otherwise its original local record byte for byte. Entry order, names, times, extra fields
// and the archive comment are kept; zip64 records are not written (sizes and offsets go in
// 32 bits), as no document needs them. False when the output would need zip64.
// New entries, written after the template's own: stored as they are (pictures are compressed
// already), named in UTF-8.
struct AddedEntry {
    std::string name;
    std::span<const std::uint8_t> data;
};
bool WriteZip(std::span<const std::uint8_t> bytes, const ZipArchive& zip,
              std::span<const std::string* const> replacement, std::vector<std::uint8_t>& out,
              std::span<const AddedEntry> added = {});

}  // namespace qm::engine::docx
