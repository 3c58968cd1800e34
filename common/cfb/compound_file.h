#pragma once
// The compound-file container (the "structured storage" of .xls and .doc files): a small file
// system of storages and streams inside one file. Reading is lenient where real files are
// sloppy (a short last sector) and strict about everything that could send a read out of the
// file or into a loop. Writing produces a fresh version-3 file from a directory and the bytes
// of its streams.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/large_memory.h"

namespace qm::cfb {

inline constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

enum class EntryType : std::uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

// One directory entry: its decoded fields and the 128 bytes it was read from, which a rewrite
// keeps (class id, state bits, times, tree links and colour) except for the stream's place.
struct Entry {
    std::u16string name;
    EntryType type = EntryType::Unused;
    std::uint32_t left = kNoEntry, right = kNoEntry, child = kNoEntry;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
    std::array<std::uint8_t, 128> raw{};
};

// A stream's bytes: `bytes` points into the file when its sectors lie in one run, else into
// `owned`. `complete` is false when the file ends before the stream's stated size.
struct Stream {
    std::span<const std::uint8_t> bytes;
    LargeBytes owned;
    bool complete = true;
};

// A read-only view of a compound file held in memory; the memory must outlive it.
class File {
  public:
    // False for anything that is not a readable compound file (signature, header, sector
    // tables, directory). Never reads outside `bytes`.
    bool Open(std::span<const std::uint8_t> bytes);

    // Every directory entry, in directory order; entry 0 is the root.
    const std::vector<Entry>& entries() const { return dir_; }
    // The entries directly below storage `storage` (the root is 0), found through the
    // directory's tree; a damaged tree gives what can be reached without a loop.
    std::vector<std::uint32_t> Children(std::uint32_t storage) const;
    // The child of `storage` called `name`, ignoring ASCII letter case; kNoEntry when absent.
    std::uint32_t Find(std::uint32_t storage, std::u16string_view name) const;
    // The bytes of stream entry `index`. False on a broken chain or a stream that is no stream.
    // A stream that runs into a short last sector ends where the file ends (`complete` false).
    bool Read(std::uint32_t index, Stream& out) const;

  private:
    std::span<const std::uint8_t> sector(std::uint32_t n) const;
    bool loadFat();
    bool loadDirectory();
    bool gather(const std::vector<std::uint32_t>& chain, std::uint64_t size, Stream& out) const;

    std::span<const std::uint8_t> file_;
    unsigned major_ = 3, shift_ = 9, miniShift_ = 6;
    std::size_t sectorSize_ = 512;
    std::size_t sectorCount_ = 0;
    std::uint32_t cutoff_ = 4096;
    std::uint32_t miniFatStart_ = 0;
    std::vector<std::uint32_t> fat_;
    std::vector<Entry> dir_;
};

// Writes a version-3 compound file (512-byte sectors) with the directory `entries` (as File
// read them: names, tree, class ids and times are kept) where stream entry i holds
// `streams[i]` (ignored for other entries; missing trailing items count as empty). Streams under
// 4,096 bytes go into the mini stream. Empty when a stream is too large for the format.
std::vector<std::uint8_t> Write(std::span<const Entry> entries,
                                std::span<const std::span<const std::uint8_t>> streams);

}  // namespace qm::cfb
