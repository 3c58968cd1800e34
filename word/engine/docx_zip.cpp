#include "word/engine/docx_zip.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <numeric>

namespace qm::engine::docx {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
// A part larger than this is not a template anyone writes by hand; it is refused rather than
// inflated, so a small file that claims a huge part cannot exhaust memory.
constexpr std::uint32_t kMaxPartSize = kMaxInflatedPart;

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint64_t Le64(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint64_t>(Le32(b, at)) | static_cast<std::uint64_t>(Le32(b, at + 4)) << 32;
}

// The zip64 extended information block of an extra field (id 1), or an empty span.
std::span<const std::uint8_t> Zip64Block(std::span<const std::uint8_t> extra) {
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const std::size_t size = Le16(extra, at + 2);
        if (at + 4 + size > extra.size()) break;
        if (Le16(extra, at) == 1) return extra.subspan(at + 4, size);
        at += 4 + size;
    }
    return {};
}

// `extra` without its zip64 block: a rewritten record states its sizes in 32 bits.
void AppendWithoutZip64(std::span<const std::uint8_t> extra, std::vector<std::uint8_t>& out) {
    std::size_t at = 0;
    while (at + 4 <= extra.size()) {
        const std::size_t size = Le16(extra, at + 2);
        if (at + 4 + size > extra.size()) break;
        if (Le16(extra, at) != 1) out.insert(out.end(), extra.begin() + at, extra.begin() + at + 4 + size);
        at += 4 + size;
    }
    out.insert(out.end(), extra.begin() + at, extra.end());
}

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Finds the end of central directory record: the last signature whose comment length reaches
// exactly to the end of the file; failing that, for files with bytes after the record (padding
// added by a mail or download program, a comment length that leaves some out), the last
// signature whose central directory ends right before it.
std::size_t FindEnd(std::span<const std::uint8_t> b, bool exact) {
    if (b.size() < 22) return std::string::npos;
    const std::size_t lowest = b.size() > 22 + 0xFFFF ? b.size() - 22 - 0xFFFF : 0;
    for (std::size_t pos = b.size() - 22 + 1; pos-- > lowest;) {
        if (Le32(b, pos) == kEndSignature && pos + 22 + Le16(b, pos + 20) == b.size()) return pos;
    }
    if (exact) return std::string::npos;
    for (std::size_t pos = b.size() - 22 + 1; pos-- > 0;) {
        if (Le32(b, pos) != kEndSignature || pos + 22 + Le16(b, pos + 20) > b.size()) continue;
        const std::uint64_t centralEnd = std::uint64_t{Le32(b, pos + 16)} + Le32(b, pos + 12);
        if (centralEnd == pos || (pos >= 20 && Le32(b, pos - 20) == kZip64LocatorSignature)) return pos;
    }
    return std::string::npos;
}

// Checks the local record of `e` against its central record and finds where its bytes end.
std::string ReadLocal(std::span<const std::uint8_t> b, std::size_t limit, ZipEntry& e) {
    const std::size_t lo = e.localOffset;
    if (lo > limit || limit - lo < 30 || Le32(b, lo) != kLocalSignature)
        return "damaged zip: no local header for " + e.name;
    const std::uint16_t flags = Le16(b, lo + 6);
    const std::size_t nameLength = Le16(b, lo + 26);
    const std::size_t extraLength = Le16(b, lo + 28);
    e.dataOffset = lo + 30 + nameLength + extraLength;
    if (e.dataOffset > limit || e.compressedSize > limit - e.dataOffset)
        return "damaged zip: " + e.name + " runs past its end";
    if (nameLength != e.name.size() || std::memcmp(&b[lo + 30], e.name.data(), nameLength) != 0 ||
        Le16(b, lo + 8) != e.method || (flags & (kFlagEncrypted | kFlagStrongEncryption)))
        return "damaged zip: the headers of " + e.name + " disagree";
    std::size_t end = e.dataOffset + e.compressedSize;
    std::uint64_t crc, compressed, size;
    // Sizes of 0xFFFFFFFF in the local header stand for the 64-bit ones of its zip64 block.
    const std::span<const std::uint8_t> zip64 = Zip64Block(b.subspan(lo + 30 + nameLength, extraLength));
    const bool wide = zip64.size() >= 16;
    if (flags & kFlagDescriptor) {
        // The sizes follow the data, with or without their own signature; 64-bit ones when the
        // local header has a zip64 block.
        const std::size_t length = wide ? 20 : 12;
        if (limit - end >= length + 4 && Le32(b, end) == kDescriptorSignature) end += 4;
        if (limit - end < length) return "damaged zip: " + e.name + " has no data descriptor";
        crc = Le32(b, end);
        compressed = wide ? Le64(b, end + 4) : Le32(b, end + 4);
        size = wide ? Le64(b, end + 12) : Le32(b, end + 8);
        end += length;
    } else {
        crc = Le32(b, lo + 14);
        compressed = Le32(b, lo + 18);
        size = Le32(b, lo + 22);
        if (wide && size == 0xFFFFFFFF) size = Le64(zip64, 0);
        if (wide && compressed == 0xFFFFFFFF) compressed = Le64(zip64, 8);
    }
    if (crc != e.crc || compressed != e.compressedSize || size != e.size)
        return "damaged zip: the sizes of " + e.name + " disagree";
    e.localEnd = end;
    return {};
}

class Inflater {
  public:
    Inflater() { ok_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ok_) inflateEnd(&z_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates `in` to exactly `size` bytes into `out` (or only checks them when null).
    bool Run(std::span<const std::uint8_t> in, std::uint32_t size, std::uint32_t crc, std::string* out) {
        if (!ok_ || inflateReset(&z_) != Z_OK) return false;
        z_.next_in = const_cast<Bytef*>(in.data());
        z_.avail_in = static_cast<uInt>(in.size());
        uLong sum = crc32(0, nullptr, 0);
        std::uint32_t left = size;
        int status = Z_OK;
        if (out) {
            // One byte more than promised, so a stream that runs longer is noticed.
            out->resize(std::size_t{size} + 1);
            z_.next_out = reinterpret_cast<Bytef*>(out->data());
            z_.avail_out = size + 1;
            status = inflate(&z_, Z_FINISH);
            if (status != Z_STREAM_END || z_.total_out != size) return false;
            out->resize(size);
            sum = crc32(sum, reinterpret_cast<const Bytef*>(out->data()), size);
            return sum == crc;
        }
        std::array<Bytef, 32768> chunk;
        while (status != Z_STREAM_END) {
            z_.next_out = chunk.data();
            z_.avail_out = static_cast<uInt>(chunk.size());
            status = inflate(&z_, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END) return false;
            const std::uint32_t produced = static_cast<std::uint32_t>(chunk.size() - z_.avail_out);
            if (produced > left) return false;
            left -= produced;
            sum = crc32(sum, chunk.data(), produced);
            if (status == Z_OK && produced == 0 && z_.avail_in == 0) return false;
        }
        return left == 0 && sum == crc;
    }

  private:
    z_stream z_{};
    bool ok_ = false;
};

class Deflater {
  public:
    // The fastest level: a changed part is written once per document, and its size matters
    // far less than the time it takes.
    Deflater() { ok_ = deflateInit2(&z_, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
    ~Deflater() {
        if (ok_) deflateEnd(&z_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Appends the deflated `data` to `out`.
    bool Append(std::string_view data, std::vector<std::uint8_t>& out) {
        if (!ok_ || deflateReset(&z_) != Z_OK) return false;
        const std::size_t start = out.size();
        const std::size_t bound = deflateBound(&z_, static_cast<uLong>(data.size()));
        out.resize(start + bound);
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z_.avail_in = static_cast<uInt>(data.size());
        z_.next_out = out.data() + start;
        z_.avail_out = static_cast<uInt>(bound);
        if (deflate(&z_, Z_FINISH) != Z_STREAM_END) {
            out.resize(start);
            return false;
        }
        out.resize(start + bound - z_.avail_out);
        return true;
    }

  private:
    z_stream z_{};
    bool ok_ = false;
};

}  // namespace

std::string ReadZip(std::span<const std::uint8_t> b, ZipArchive& zip, bool exact) {
    zip = {};
    const std::size_t end = FindEnd(b, exact);
    if (end == std::string::npos) return "not a zip file";
    std::uint64_t count = Le16(b, end + 10);
    std::uint64_t centralSize = Le32(b, end + 12);
    std::uint64_t centralOffset = Le32(b, end + 16);
    if (Le16(b, end + 4) != 0 || Le16(b, end + 6) != 0 || Le16(b, end + 8) != count)
        return "damaged zip: split over several files";
    // The central directory ends where the zip64 end record begins, if there is one.
    std::size_t centralEnd = end;
    if (end >= 20 && Le32(b, end - 20) == kZip64LocatorSignature) {
        const std::size_t locator = end - 20;
        const std::uint64_t at = Le64(b, locator + 8);
        if (Le32(b, locator + 4) != 0 || Le32(b, locator + 16) > 1)
            return "damaged zip: split over several files";
        if (at > locator || locator - at < 56 || Le32(b, at) != kZip64EndSignature)
            return "damaged zip: zip64 end record";
        if (Le32(b, at + 16) != 0 || Le32(b, at + 20) != 0 || Le64(b, at + 24) != Le64(b, at + 32))
            return "damaged zip: split over several files";
        count = Le64(b, at + 32);
        centralSize = Le64(b, at + 40);
        centralOffset = Le64(b, at + 48);
        centralEnd = static_cast<std::size_t>(at);
    }
    // Bytes before the zip (a program that prepends a header of its own) move every offset the
    // records give by the same amount: found where the directory ends right before its end record.
    std::uint64_t shift = 0;
    if (!exact && centralSize <= centralEnd && centralOffset < centralEnd - centralSize &&
        Le32(b, static_cast<std::size_t>(centralEnd - centralSize)) == kCentralSignature) {
        shift = centralEnd - centralSize - centralOffset;
        centralOffset += shift;
    }
    if (centralOffset > centralEnd || centralSize != centralEnd - centralOffset || count > centralSize / 46)
        return "damaged zip: central directory";

    std::size_t pos = static_cast<std::size_t>(centralOffset);
    zip.entries.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        if (centralEnd - pos < 46 || Le32(b, pos) != kCentralSignature)
            return "damaged zip: central directory";
        const std::size_t nameLength = Le16(b, pos + 28);
        const std::size_t extraLength = Le16(b, pos + 30);
        const std::size_t recordSize = 46 + nameLength + extraLength + Le16(b, pos + 32);
        if (centralEnd - pos < recordSize) return "damaged zip: central directory";
        ZipEntry e;
        e.name.assign(reinterpret_cast<const char*>(&b[pos + 46]), nameLength);
        e.flags = Le16(b, pos + 8);
        e.method = Le16(b, pos + 10);
        e.crc = Le32(b, pos + 16);
        e.compressedSize = Le32(b, pos + 20);
        e.size = Le32(b, pos + 24);
        e.localOffset = Le32(b, pos + 42);
        e.centralOffset = pos;
        e.centralSize = recordSize;
        if (e.compressedSize == 0xFFFFFFFF || e.size == 0xFFFFFFFF || e.localOffset == 0xFFFFFFFF) {
            // The 64-bit values, in this order, of the fields that hold 0xFFFFFFFF.
            const std::span<const std::uint8_t> zip64 =
                Zip64Block(b.subspan(pos + 46 + nameLength, extraLength));
            std::size_t at = 0;
            const auto wide = [&](std::uint64_t& value) {
                if (at + 8 > zip64.size()) return false;
                value = Le64(zip64, at);
                at += 8;
                return true;
            };
            std::uint64_t size = e.size, compressed = e.compressedSize, offset = e.localOffset;
            if ((e.size == 0xFFFFFFFF && !wide(size)) ||
                (e.compressedSize == 0xFFFFFFFF && !wide(compressed)) ||
                (e.localOffset == 0xFFFFFFFF && !wide(offset)))
                return "damaged zip: the zip64 sizes of " + e.name;
            if (size >= 0xFFFFFFFF || compressed >= 0xFFFFFFFF || offset >= b.size())
                return "a zip64 archive with entries over 4 GB";
            e.size = static_cast<std::uint32_t>(size);
            e.compressedSize = static_cast<std::uint32_t>(compressed);
            e.localOffset = static_cast<std::size_t>(offset);
            e.zip64 = true;
        }
        if (e.localOffset > SIZE_MAX - shift) return "damaged zip: central directory";
        e.localOffset += static_cast<std::size_t>(shift);
        if (e.flags & (kFlagEncrypted | kFlagStrongEncryption)) return "an encrypted file";
        if (e.method != 0 && e.method != 8)
            return "zip compression method " + std::to_string(e.method) + " of " + e.name;
        if (e.method == 0 && e.compressedSize != e.size)
            return "damaged zip: the sizes of " + e.name + " disagree";
        if (std::string error = ReadLocal(b, static_cast<std::size_t>(centralOffset), e); !error.empty())
            return error;
        zip.entries.push_back(std::move(e));
        pos += recordSize;
    }
    if (pos != centralEnd) return "damaged zip: central directory";

    // Entries that share bytes could not be copied one by one, and no writer makes them.
    std::vector<std::size_t> order(zip.entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return zip.entries[x].localOffset < zip.entries[y].localOffset;
    });
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (zip.entries[order[i - 1]].localEnd > zip.entries[order[i]].localOffset)
            return "damaged zip: entries overlap";
    }
    std::vector<std::string_view> names;
    for (const ZipEntry& e : zip.entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    if (std::adjacent_find(names.begin(), names.end()) != names.end())
        return "damaged zip: a name used twice";
    zip.endOffset = end;
    return {};
}

bool ReadEntry(std::span<const std::uint8_t> b, const ZipEntry& e, std::string* out) {
    if (e.dataOffset > b.size() || e.compressedSize > b.size() - e.dataOffset) return false;
    if (out && e.size > kMaxPartSize) return false;
    const std::span<const std::uint8_t> data = b.subspan(e.dataOffset, e.compressedSize);
    if (e.method == 0) {
        if (e.size != data.size() || crc32(0, data.data(), static_cast<uInt>(data.size())) != e.crc)
            return false;
        if (out) out->assign(reinterpret_cast<const char*>(data.data()), data.size());
        return true;
    }
    if (e.method != 8) return false;
    thread_local Inflater inflater;
    return inflater.Run(data, e.size, e.crc, out);
}

int FindEntry(const ZipArchive& zip, std::string_view name) {
    for (std::size_t i = 0; i < zip.entries.size(); ++i)
        if (zip.entries[i].name == name) return static_cast<int>(i);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < zip.entries.size(); ++i) {
        const std::string& n = zip.entries[i].name;
        if (n.size() == name.size() && std::equal(n.begin(), n.end(), name.begin(),
                                                  [&](char x, char y) { return lower(x) == lower(y); }))
            return static_cast<int>(i);
    }
    return -1;
}

bool WriteZip(std::span<const std::uint8_t> b, const ZipArchive& zip,
              std::span<const std::string* const> replacement, std::vector<std::uint8_t>& out,
              std::span<const AddedEntry> added) {
    out.clear();
    std::size_t expected = b.size();
    for (const std::string* r : replacement)
        if (r) expected += r->size() / 2 + 64;
    for (const AddedEntry& a : added) expected += a.data.size() + 2 * a.name.size() + 76;
    out.reserve(expected);

    struct Written {
        std::size_t offset;
        bool changed;
        std::uint16_t version, flags;
        std::uint32_t crc, compressedSize, size;
    };
    std::vector<Written> written(zip.entries.size());
    thread_local Deflater deflater;
    for (std::size_t i = 0; i < zip.entries.size(); ++i) {
        const ZipEntry& e = zip.entries[i];
        Written& w = written[i];
        w.offset = out.size();
        const std::string* r = i < replacement.size() ? replacement[i] : nullptr;
        w.changed = r != nullptr;
        if (!r) {
            out.insert(out.end(), b.begin() + e.localOffset, b.begin() + e.localEnd);
            continue;
        }
        if (r->size() >= 0xFFFFFFFF) return false;
        const std::size_t header = out.size();
        // The local header again, its zip64 block left out: its sizes are written in 32 bits.
        const std::size_t nameEnd = e.localOffset + 30 + Le16(b, e.localOffset + 26);
        out.insert(out.end(), b.begin() + e.localOffset, b.begin() + nameEnd);
        AppendWithoutZip64(b.subspan(nameEnd, e.dataOffset - nameEnd), out);
        Put16(out, header + 28, static_cast<std::uint16_t>(out.size() - header - (nameEnd - e.localOffset)));
        const std::size_t headerSize = out.size() - header;
        if (!deflater.Append(*r, out)) return false;
        if (out.size() - header > 0xFFFFFFFF) return false;
        // Sizes in the local header from now on, so the data descriptor goes.
        w.version = std::max<std::uint16_t>(Le16(b, e.localOffset + 4), 20);
        w.flags = static_cast<std::uint16_t>(Le16(b, e.localOffset + 6) & ~kFlagDescriptor);
        w.crc = static_cast<std::uint32_t>(crc32(
            crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(r->data()), static_cast<uInt>(r->size())));
        w.compressedSize = static_cast<std::uint32_t>(out.size() - header - headerSize);
        w.size = static_cast<std::uint32_t>(r->size());
        Put16(out, header + 4, w.version);
        Put16(out, header + 6, w.flags);
        Put16(out, header + 8, 8);
        Put32(out, header + 14, w.crc);
        Put32(out, header + 18, w.compressedSize);
        Put32(out, header + 22, w.size);
    }

    // The added entries' local records.
    const auto append16 = [&out](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto append32 = [&append16](std::uint32_t v) {
        append16(static_cast<std::uint16_t>(v));
        append16(static_cast<std::uint16_t>(v >> 16));
    };
    constexpr std::uint16_t kUtf8Names = 0x0800;
    constexpr std::uint16_t kFirstDay = 0x0021;  // 1980-01-01, a date every reader takes
    std::vector<std::size_t> addedOffsets;
    std::vector<std::uint32_t> addedCrcs;
    for (const AddedEntry& a : added) {
        if (a.data.size() >= 0xFFFFFFFF || a.name.size() > 0xFFFF || out.size() > 0xFFFFFFFE) return false;
        addedOffsets.push_back(out.size());
        addedCrcs.push_back(static_cast<std::uint32_t>(
            crc32(crc32(0, nullptr, 0), a.data.data(), static_cast<uInt>(a.data.size()))));
        append32(0x04034b50);
        append16(20);
        append16(kUtf8Names);
        append16(0);  // stored
        append16(0);
        append16(kFirstDay);
        append32(addedCrcs.back());
        append32(static_cast<std::uint32_t>(a.data.size()));
        append32(static_cast<std::uint32_t>(a.data.size()));
        append16(static_cast<std::uint16_t>(a.name.size()));
        append16(0);
        out.insert(out.end(), a.name.begin(), a.name.end());
        out.insert(out.end(), a.data.begin(), a.data.end());
    }

    const std::size_t centralOffset = out.size();
    for (std::size_t i = 0; i < zip.entries.size(); ++i) {
        const ZipEntry& e = zip.entries[i];
        const Written& w = written[i];
        if (w.offset > 0xFFFFFFFE) return false;
        const std::size_t at = out.size();
        if (e.zip64) {
            // Rewritten with 32-bit sizes and offset, without the zip64 block.
            const std::size_t nameEnd = e.centralOffset + 46 + Le16(b, e.centralOffset + 28);
            const std::size_t extraEnd = nameEnd + Le16(b, e.centralOffset + 30);
            out.insert(out.end(), b.begin() + e.centralOffset, b.begin() + nameEnd);
            AppendWithoutZip64(b.subspan(nameEnd, extraEnd - nameEnd), out);
            Put16(out, at + 30, static_cast<std::uint16_t>(out.size() - at - (nameEnd - e.centralOffset)));
            out.insert(out.end(), b.begin() + extraEnd, b.begin() + e.centralOffset + e.centralSize);
            Put32(out, at + 20, e.compressedSize);
            Put32(out, at + 24, e.size);
        } else {
            out.insert(out.end(), b.begin() + e.centralOffset, b.begin() + e.centralOffset + e.centralSize);
        }
        if (w.changed) {
            Put16(out, at + 6, std::max<std::uint16_t>(Le16(b, e.centralOffset + 6), 20));
            Put16(out, at + 8, static_cast<std::uint16_t>(e.flags & ~kFlagDescriptor));
            Put16(out, at + 10, 8);
            Put32(out, at + 16, w.crc);
            Put32(out, at + 20, w.compressedSize);
            Put32(out, at + 24, w.size);
        }
        Put32(out, at + 42, static_cast<std::uint32_t>(w.offset));
    }
    for (std::size_t i = 0; i < added.size(); ++i) {
        const AddedEntry& a = added[i];
        append32(0x02014b50);
        append16(20);
        append16(20);
        append16(kUtf8Names);
        append16(0);
        append16(0);
        append16(kFirstDay);
        append32(addedCrcs[i]);
        append32(static_cast<std::uint32_t>(a.data.size()));
        append32(static_cast<std::uint32_t>(a.data.size()));
        append16(static_cast<std::uint16_t>(a.name.size()));
        append16(0);  // extra field
        append16(0);  // comment
        append16(0);  // disk
        append16(0);  // internal attributes
        append32(0);  // external attributes
        append32(static_cast<std::uint32_t>(addedOffsets[i]));
        out.insert(out.end(), a.name.begin(), a.name.end());
    }
    const std::size_t centralSize = out.size() - centralOffset;
    const std::size_t count = zip.entries.size() + added.size();
    if (centralOffset > 0xFFFFFFFE || centralSize > 0xFFFFFFFE) return false;
    if (count > 0xFFFF) return false;
    // The end record of the template (its comment included), without any zip64 records: the
    // document needs none.
    const std::size_t at = out.size();
    out.insert(out.end(), b.begin() + zip.endOffset,
               b.begin() + zip.endOffset + 22 + Le16(b, zip.endOffset + 20));
    Put16(out, at + 8, static_cast<std::uint16_t>(count));
    Put16(out, at + 10, static_cast<std::uint16_t>(count));
    Put32(out, at + 12, static_cast<std::uint32_t>(centralSize));
    Put32(out, at + 16, static_cast<std::uint32_t>(centralOffset));
    return true;
}

}  // namespace qm::engine::docx
