// Compound file: header, FAT (through the DIFAT), directory, mini stream. Every sector index,
// size and chain is checked against the file before use.

#include "common/cfb/compound_file.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"

namespace qm::cfb {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kSector = 512;
constexpr std::size_t kMiniSector = 64;
constexpr std::uint32_t kCutoff = 4096;
constexpr std::size_t kHeaderDifat = 109;

// Sector indices of the chain from `start`; false on a bad index or a loop.
bool Chain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::size_t limit,
           std::vector<std::uint32_t>& out) {
    out.clear();
    std::uint32_t s = start;
    while (s != kEndOfChain) {
        if (s >= table.size() || s >= limit) return false;
        if (out.size() >= table.size()) return false;  // longer than the table: a loop
        out.push_back(s);
        s = table[s];
    }
    return true;
}

}  // namespace

bool File::Open(std::span<const std::uint8_t> file) {
    file_ = file;
    fat_.clear();
    dir_.clear();
    if (file_.size() < 512 || std::memcmp(file_.data(), kSignature, 8) != 0) return false;
    const std::uint8_t* h = file_.data();
    if (U16(h + 0x1C) != 0xFFFE) return false;
    major_ = U16(h + 0x1A);
    shift_ = U16(h + 0x1E);
    miniShift_ = U16(h + 0x20);
    if (shift_ != 9 && shift_ != 12) return false;
    if (miniShift_ == 0 || miniShift_ >= shift_) return false;
    sectorSize_ = std::size_t{1} << shift_;
    if (file_.size() <= sectorSize_) return false;
    // A short last sector still counts; its missing tail reads as absent.
    sectorCount_ = (file_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_;
    cutoff_ = U32(h + 0x38);
    miniFatStart_ = U32(h + 0x3C);
    if (!loadFat() || !loadDirectory()) {
        dir_.clear();
        return false;
    }
    return !dir_.empty() && dir_[0].type == EntryType::Root;
}

std::span<const std::uint8_t> File::sector(std::uint32_t n) const {
    if (n >= sectorCount_) return {};
    const std::size_t begin = (static_cast<std::size_t>(n) + 1) * sectorSize_;
    if (begin >= file_.size()) return {};
    return file_.subspan(begin, std::min(sectorSize_, file_.size() - begin));
}

bool File::loadFat() {
    const std::uint8_t* h = file_.data();
    const std::uint32_t fatSectors = U32(h + 0x2C);
    const std::uint32_t difatStart = U32(h + 0x44);
    const std::uint32_t difatSectors = U32(h + 0x48);
    if (fatSectors == 0 || fatSectors > sectorCount_ || difatSectors > sectorCount_) return false;
    std::vector<std::uint32_t> fatList;
    fatList.reserve(fatSectors);
    for (std::size_t i = 0; i < kHeaderDifat && fatList.size() < fatSectors; ++i)
        fatList.push_back(U32(h + 0x4C + 4 * i));
    std::uint32_t next = difatStart;
    const std::size_t perSector = sectorSize_ / 4 - 1;
    for (std::uint32_t k = 0; fatList.size() < fatSectors; ++k) {
        if (k >= difatSectors || next >= sectorCount_) return false;  // also stops DIFAT loops
        auto s = sector(next);
        if (s.size() < sectorSize_) return false;
        for (std::size_t i = 0; i < perSector && fatList.size() < fatSectors; ++i)
            fatList.push_back(U32(s.data() + 4 * i));
        next = U32(s.data() + 4 * perSector);
    }
    fat_.reserve(fatList.size() * (sectorSize_ / 4));
    for (std::uint32_t fs : fatList) {
        if (fs >= sectorCount_) return false;
        auto s = sector(fs);
        std::size_t i = 0;
        for (; i + 4 <= s.size(); i += 4) fat_.push_back(U32(s.data() + i));
        for (; i < sectorSize_; i += 4) fat_.push_back(kFreeSector);
    }
    return true;
}

bool File::loadDirectory() {
    std::vector<std::uint32_t> chain;
    if (!Chain(fat_, U32(file_.data() + 0x30), sectorCount_, chain) || chain.empty()) return false;
    for (std::uint32_t n : chain) {
        auto s = sector(n);
        for (std::size_t off = 0; off + 128 <= s.size(); off += 128) {
            const std::uint8_t* p = s.data() + off;
            Entry e;
            std::memcpy(e.raw.data(), p, 128);
            const std::uint16_t nameBytes = std::min<std::uint16_t>(U16(p + 0x40), 64);
            for (std::size_t i = 0; i + 1 < nameBytes; i += 2) {
                const char16_t c = static_cast<char16_t>(U16(p + i));
                if (c == 0) break;
                e.name.push_back(c);
            }
            const std::uint8_t type = p[0x42];
            e.type = type == 1 || type == 2 || type == 5 ? static_cast<EntryType>(type) : EntryType::Unused;
            e.left = U32(p + 0x44);
            e.right = U32(p + 0x48);
            e.child = U32(p + 0x4C);
            e.start = U32(p + 0x74);
            e.size = U32(p + 0x78);
            if (major_ >= 4) e.size |= static_cast<std::uint64_t>(U32(p + 0x7C)) << 32;
            dir_.push_back(std::move(e));
        }
    }
    return true;
}

std::vector<std::uint32_t> File::Children(std::uint32_t storage) const {
    std::vector<std::uint32_t> children;
    if (storage >= dir_.size()) return children;
    // The children form a tree through left/right links; a damaged one may loop.
    std::vector<std::uint32_t> stack{dir_[storage].child};
    std::vector<bool> seen(dir_.size(), false);
    while (!stack.empty()) {
        const std::uint32_t i = stack.back();
        stack.pop_back();
        if (i >= dir_.size() || seen[i] || i == storage) continue;
        seen[i] = true;
        stack.push_back(dir_[i].right);
        stack.push_back(dir_[i].left);
        if (dir_[i].type != EntryType::Unused) children.push_back(i);
    }
    return children;
}

std::uint32_t File::Find(std::uint32_t storage, std::u16string_view want) const {
    auto fold = [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    for (std::uint32_t i : Children(storage)) {
        const std::u16string& name = dir_[i].name;
        if (name.size() != want.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k) same = fold(name[k]) == fold(want[k]);
        if (same) return i;
    }
    return kNoEntry;
}

// Gathers a chain of regular sectors, at most `size` bytes. Data that the file does not hold
// ends the stream early; a missing sector before the end is an error.
bool File::gather(const std::vector<std::uint32_t>& chain, std::uint64_t size, Stream& out) const {
    if (size > file_.size()) return false;
    const std::size_t want = static_cast<std::size_t>(size);
    bool contiguous = true;
    for (std::size_t i = 1; i < chain.size() && contiguous; ++i) contiguous = chain[i] == chain[i - 1] + 1;
    if (contiguous && !chain.empty()) {
        const std::size_t begin = (static_cast<std::size_t>(chain[0]) + 1) * sectorSize_;
        if (begin >= file_.size()) return false;
        const std::size_t have =
            std::min<std::size_t>({want, chain.size() * sectorSize_, file_.size() - begin});
        out.bytes = file_.subspan(begin, have);
        out.complete = have == want;
        return true;
    }
    out.owned.reserve(std::min(want, chain.size() * sectorSize_));
    for (std::uint32_t n : chain) {
        if (out.owned.size() >= want) break;
        auto s = sector(n);
        if (s.empty()) return false;
        const std::size_t take = std::min(s.size(), want - out.owned.size());
        out.owned.insert(out.owned.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(take));
        if (s.size() < sectorSize_) break;  // the file ends inside this sector
    }
    out.bytes = out.owned;
    out.complete = out.owned.size() == want;
    return true;
}

bool File::Read(std::uint32_t index, Stream& out) const {
    out = Stream{};
    if (index >= dir_.size() || dir_[index].type != EntryType::Stream) return false;
    const Entry& e = dir_[index];
    if (e.size == 0) return true;
    std::vector<std::uint32_t> chain;
    if (e.size >= cutoff_) {
        if (!Chain(fat_, e.start, sectorCount_, chain)) return false;
        return gather(chain, e.size, out);
    }
    // Small stream: mini sectors inside the mini stream, which the root entry holds.
    Stream mini;
    if (!Chain(fat_, dir_[0].start, sectorCount_, chain) || !gather(chain, dir_[0].size, mini)) return false;
    std::vector<std::uint32_t> miniFat;
    if (!Chain(fat_, miniFatStart_, sectorCount_, chain)) return false;
    for (std::uint32_t n : chain) {
        auto s = sector(n);
        for (std::size_t i = 0; i + 4 <= s.size(); i += 4) miniFat.push_back(U32(s.data() + i));
    }
    const std::size_t miniSize = std::size_t{1} << miniShift_;
    const std::size_t miniCount = mini.bytes.size() / miniSize + (mini.bytes.size() % miniSize != 0);
    if (!Chain(miniFat, e.start, miniCount, chain)) return false;
    const std::size_t want = static_cast<std::size_t>(e.size);
    out.owned.reserve(want);
    for (std::uint32_t n : chain) {
        if (out.owned.size() >= want) break;
        const std::size_t begin = static_cast<std::size_t>(n) * miniSize;
        const std::size_t take = std::min({miniSize, want - out.owned.size(), mini.bytes.size() - begin});
        out.owned.insert(out.owned.end(), mini.bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                         mini.bytes.begin() + static_cast<std::ptrdiff_t>(begin + take));
        if (take < miniSize && out.owned.size() < want) break;
    }
    out.bytes = out.owned;
    out.complete = out.owned.size() == want;
    return true;
}

// ---- Writing ---------------------------------------------------------------------------------

std::vector<std::uint8_t> Write(std::span<const Entry> entries,
                                std::span<const std::span<const std::uint8_t>> streams) {
    auto dataOf = [&](std::size_t i) -> std::span<const std::uint8_t> {
        if (i >= entries.size() || entries[i].type != EntryType::Stream || i >= streams.size()) return {};
        return streams[i];
    };
    if (entries.empty()) return {};

    // Where each stream goes: small ones into the mini stream, the others into sectors of their own.
    std::vector<std::uint32_t> start(entries.size(), kEndOfChain);
    std::size_t miniSectors = 0;
    std::size_t bigSectors = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t size = dataOf(i).size();
        if (size > 0x7FFFFFFF) return {};
        if (size == 0) continue;
        if (size < kCutoff)
            miniSectors += (size + kMiniSector - 1) / kMiniSector;
        else
            bigSectors += (size + kSector - 1) / kSector;
    }
    const std::size_t entryCount = (entries.size() + 3) / 4 * 4;
    const std::size_t dirSectors = entryCount / 4;
    const std::size_t miniFatSectors = (miniSectors * 4 + kSector - 1) / kSector;
    const std::size_t miniStreamBytes = miniSectors * kMiniSector;
    const std::size_t miniStreamSectors = (miniStreamBytes + kSector - 1) / kSector;
    const std::size_t dataSectors = dirSectors + miniFatSectors + miniStreamSectors + bigSectors;

    // The FAT maps every sector, itself and the DIFAT included.
    constexpr std::size_t perFat = kSector / 4;
    std::size_t fatSectors = 1, difatSectors = 0;
    for (;;) {
        const std::size_t total = dataSectors + fatSectors + difatSectors;
        const std::size_t needFat = (total + perFat - 1) / perFat;
        const std::size_t needDifat =
            needFat > kHeaderDifat ? (needFat - kHeaderDifat + perFat - 2) / (perFat - 1) : 0;
        if (needFat == fatSectors && needDifat == difatSectors) break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    const std::size_t totalSectors = dataSectors + fatSectors + difatSectors;
    std::vector<std::uint8_t> out((totalSectors + 1) * kSector, 0);
    auto at = [&](std::size_t sectorIndex) { return out.data() + (sectorIndex + 1) * kSector; };
    std::vector<std::uint32_t> fat(fatSectors * perFat, kFreeSector);
    auto chain = [&](std::size_t first, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k)
            fat[first + k] = k + 1 == count ? kEndOfChain : static_cast<std::uint32_t>(first + k + 1);
    };

    std::size_t next = 0;
    const std::size_t dirFirst = next;
    chain(dirFirst, dirSectors);
    next += dirSectors;
    const std::size_t miniFatFirst = next;
    chain(miniFatFirst, miniFatSectors);
    next += miniFatSectors;
    const std::size_t miniStreamFirst = next;
    chain(miniStreamFirst, miniStreamSectors);
    next += miniStreamSectors;

    // Mini stream and its FAT.
    std::vector<std::uint32_t> miniFat(miniFatSectors * perFat, kFreeSector);
    std::size_t mini = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::span<const std::uint8_t> data = dataOf(i);
        if (data.empty() || data.size() >= kCutoff) continue;
        const std::size_t count = (data.size() + kMiniSector - 1) / kMiniSector;
        start[i] = static_cast<std::uint32_t>(mini);
        for (std::size_t k = 0; k < count; ++k)
            miniFat[mini + k] = k + 1 == count ? kEndOfChain : static_cast<std::uint32_t>(mini + k + 1);
        // The mini stream's sectors are consecutive, so it is one run of bytes.
        std::memcpy(at(miniStreamFirst) + mini * kMiniSector, data.data(), data.size());
        mini += count;
    }
    for (std::size_t k = 0; k < miniFat.size(); ++k) Put32(at(miniFatFirst) + 4 * k, miniFat[k]);

    // Large streams, each in consecutive sectors.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::span<const std::uint8_t> data = dataOf(i);
        if (data.size() < kCutoff) continue;
        const std::size_t count = (data.size() + kSector - 1) / kSector;
        start[i] = static_cast<std::uint32_t>(next);
        chain(next, count);
        std::memcpy(at(next), data.data(), data.size());
        next += count;
    }

    const std::size_t fatFirst = next;
    for (std::size_t k = 0; k < fatSectors; ++k) fat[fatFirst + k] = kFatSector;
    next += fatSectors;
    const std::size_t difatFirst = next;
    for (std::size_t k = 0; k < difatSectors; ++k) fat[difatFirst + k] = kDifatSector;
    // The FAT sectors are consecutive, so the table is one run of bytes.
    for (std::size_t k = 0; k < fat.size(); ++k) Put32(at(fatFirst) + 4 * k, fat[k]);

    // Directory: the entries as read, with the new places of their streams.
    for (std::size_t i = 0; i < entryCount; ++i) {
        std::uint8_t* p = at(dirFirst) + 128 * i;
        if (i >= entries.size()) {
            Put32(p + 0x44, kNoEntry);
            Put32(p + 0x48, kNoEntry);
            Put32(p + 0x4C, kNoEntry);
            continue;
        }
        std::memcpy(p, entries[i].raw.data(), 128);
        if (entries[i].type == EntryType::Stream) {
            const std::size_t size = dataOf(i).size();
            Put32(p + 0x74, size ? start[i] : kEndOfChain);
            Put32(p + 0x78, static_cast<std::uint32_t>(size));
        } else if (entries[i].type == EntryType::Root) {
            Put32(p + 0x74, miniStreamBytes ? static_cast<std::uint32_t>(miniStreamFirst) : kEndOfChain);
            Put32(p + 0x78, static_cast<std::uint32_t>(miniStreamBytes));
        } else {
            Put32(p + 0x74, 0);
            Put32(p + 0x78, 0);
        }
        Put32(p + 0x7C, 0);  // version 3: sizes have 32 bits
    }

    // Header.
    std::uint8_t* h = out.data();
    std::memcpy(h, kSignature, 8);
    Put16(h + 0x18, 0x3E);
    Put16(h + 0x1A, 3);
    Put16(h + 0x1C, 0xFFFE);
    Put16(h + 0x1E, 9);
    Put16(h + 0x20, 6);
    Put32(h + 0x2C, static_cast<std::uint32_t>(fatSectors));
    Put32(h + 0x30, static_cast<std::uint32_t>(dirFirst));
    Put32(h + 0x38, kCutoff);
    Put32(h + 0x3C, miniFatSectors ? static_cast<std::uint32_t>(miniFatFirst) : kEndOfChain);
    Put32(h + 0x40, static_cast<std::uint32_t>(miniFatSectors));
    Put32(h + 0x44, difatSectors ? static_cast<std::uint32_t>(difatFirst) : kEndOfChain);
    Put32(h + 0x48, static_cast<std::uint32_t>(difatSectors));
    for (std::size_t k = 0; k < kHeaderDifat; ++k)
        Put32(h + 0x4C + 4 * k, k < fatSectors ? static_cast<std::uint32_t>(fatFirst + k) : kFreeSector);
    for (std::size_t d = 0, k = kHeaderDifat; d < difatSectors; ++d) {
        std::uint8_t* s = at(difatFirst + d);
        for (std::size_t i = 0; i + 1 < perFat; ++i, ++k)
            Put32(s + 4 * i, k < fatSectors ? static_cast<std::uint32_t>(fatFirst + k) : kFreeSector);
        Put32(s + 4 * (perFat - 1),
              d + 1 < difatSectors ? static_cast<std::uint32_t>(difatFirst + d + 1) : kEndOfChain);
    }
    return out;
}

}  // namespace qm::cfb
