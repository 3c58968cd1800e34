// Compound file: header, FAT (through the DIFAT), directory, mini stream. Every sector index,
// size and chain is checked against the file before use.

#include "data/xls/compound_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace qm::xls {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct DirEntry {
    std::u16string name;
    std::uint8_t type = 0;  // 1 storage, 2 stream, 5 root
    std::uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

class Container {
  public:
    explicit Container(std::span<const std::uint8_t> file) : file_(file) {}

    bool open() {
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
        return loadFat() && loadDirectory();
    }

    bool findWorkbook(WorkbookStream& out) {
        if (dir_.empty() || dir_[0].type != 5) return false;
        // Walk the root's children (a red-black tree through left/right) and stop on cycles.
        std::vector<std::uint32_t> stack{dir_[0].child};
        std::vector<bool> seen(dir_.size(), false);
        const DirEntry* workbook = nullptr;
        const DirEntry* book = nullptr;
        while (!stack.empty()) {
            const std::uint32_t i = stack.back();
            stack.pop_back();
            if (i >= dir_.size() || seen[i]) continue;
            seen[i] = true;
            const DirEntry& e = dir_[i];
            stack.push_back(e.left);
            stack.push_back(e.right);
            if (e.type != 2) continue;
            if (!workbook && NameIs(e.name, u"workbook")) workbook = &e;
            if (!book && NameIs(e.name, u"book")) book = &e;
        }
        const DirEntry* e = workbook ? workbook : book;
        if (!e) return false;
        out.book = e == book;
        return readStream(*e, out);
    }

    // Whether the root storage holds a stream called `name` (lower case), in any letter case.
    bool hasStream(std::u16string_view name) const {
        if (dir_.empty() || dir_[0].type != 5) return false;
        std::vector<std::uint32_t> stack{dir_[0].child};
        std::vector<bool> seen(dir_.size(), false);
        while (!stack.empty()) {
            const std::uint32_t i = stack.back();
            stack.pop_back();
            if (i >= dir_.size() || seen[i]) continue;
            seen[i] = true;
            const DirEntry& e = dir_[i];
            stack.push_back(e.left);
            stack.push_back(e.right);
            if (e.type == 2 && NameIs(e.name, name)) return true;
        }
        return false;
    }

  private:
    static bool NameIs(const std::u16string& name, std::u16string_view want) {
        if (name.size() != want.size()) return false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            char16_t c = name[i];
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
            if (c != want[i]) return false;
        }
        return true;
    }

    // The bytes of sector n that the file holds (fewer than a sector at a short end).
    std::span<const std::uint8_t> sector(std::uint32_t n) const {
        if (n >= sectorCount_) return {};
        const std::size_t begin = (static_cast<std::size_t>(n) + 1) * sectorSize_;
        if (begin >= file_.size()) return {};
        return file_.subspan(begin, std::min(sectorSize_, file_.size() - begin));
    }

    bool loadFat() {
        const std::uint8_t* h = file_.data();
        const std::uint32_t fatSectors = U32(h + 0x2C);
        const std::uint32_t difatStart = U32(h + 0x44);
        const std::uint32_t difatSectors = U32(h + 0x48);
        if (fatSectors == 0 || fatSectors > sectorCount_ || difatSectors > sectorCount_) return false;
        std::vector<std::uint32_t> fatList;
        fatList.reserve(fatSectors);
        for (int i = 0; i < 109 && fatList.size() < fatSectors; ++i) fatList.push_back(U32(h + 0x4C + 4 * i));
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

    // Sector indices of the chain from `start`; false on a bad index or a loop.
    static bool Chain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::size_t limit,
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

    bool loadDirectory() {
        std::vector<std::uint32_t> chain;
        if (!Chain(fat_, U32(file_.data() + 0x30), sectorCount_, chain) || chain.empty()) return false;
        for (std::uint32_t n : chain) {
            auto s = sector(n);
            for (std::size_t off = 0; off + 128 <= s.size(); off += 128) {
                const std::uint8_t* p = s.data() + off;
                DirEntry e;
                const std::uint16_t nameBytes = std::min<std::uint16_t>(U16(p + 0x40), 64);
                for (std::size_t i = 0; i + 1 < nameBytes; i += 2) {
                    const char16_t c = static_cast<char16_t>(U16(p + i));
                    if (c == 0) break;
                    e.name.push_back(c);
                }
                e.type = p[0x42];
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

    // Gathers a chain of regular sectors, at most `size` bytes. Data that the file does not
    // hold ends the stream early; a missing sector before the end is an error.
    bool gather(const std::vector<std::uint32_t>& chain, std::uint64_t size, WorkbookStream& out) {
        if (size > file_.size()) return false;
        const std::size_t want = static_cast<std::size_t>(size);
        bool contiguous = true;
        for (std::size_t i = 1; i < chain.size() && contiguous; ++i)
            contiguous = chain[i] == chain[i - 1] + 1;
        if (contiguous && !chain.empty()) {
            const std::size_t begin = (static_cast<std::size_t>(chain[0]) + 1) * sectorSize_;
            if (begin >= file_.size()) return false;
            const std::size_t have =
                std::min<std::size_t>({want, chain.size() * sectorSize_, file_.size() - begin});
            out.bytes = file_.subspan(begin, have);
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
        return true;
    }

    bool readStream(const DirEntry& e, WorkbookStream& out) {
        std::vector<std::uint32_t> chain;
        if (e.size >= cutoff_) {
            if (!Chain(fat_, e.start, sectorCount_, chain)) return false;
            return gather(chain, e.size, out);
        }
        // Small stream: mini sectors inside the mini stream, which the root entry holds.
        WorkbookStream mini;
        if (!Chain(fat_, dir_[0].start, sectorCount_, chain) || !gather(chain, dir_[0].size, mini))
            return false;
        std::vector<std::uint32_t> miniFat;
        if (!Chain(fat_, U32(file_.data() + 0x3C), sectorCount_, chain)) return false;
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
        return true;
    }

    std::span<const std::uint8_t> file_;
    unsigned major_ = 3, shift_ = 9, miniShift_ = 6;
    std::size_t sectorSize_ = 512;
    std::size_t sectorCount_ = 0;
    std::uint32_t cutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<DirEntry> dir_;
};

}  // namespace

bool OpenWorkbookStream(std::span<const std::uint8_t> file, WorkbookStream& out) {
    out = WorkbookStream{};
    Container c(file);
    return c.open() && c.findWorkbook(out);
}

bool HasRootStream(std::span<const std::uint8_t> file, std::u16string_view name) {
    Container c(file);
    return c.open() && c.hasStream(name);
}

}  // namespace qm::xls
