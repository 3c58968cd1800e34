// The workbook stream: globals (code page, date system, formats, sheets, shared strings) and the
// cell records of each worksheet. Records are read through bounds-checked views; anything that
// does not fit gives no workbook.

#include "data/xls/workbook_reader.h"

#include <cstring>
#include <map>
#include <new>
#include <string>

#include "common/fs.h"
#include "common/large_memory.h"
#include "data/model/sheet_impl.h"
#include "data/xls/compound_file.h"
#include "data/xls/text_decoder.h"

namespace qm::xls {
namespace {

enum : std::uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kDimension = 0x0200,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRk = 0x027E,
    kFormat = 0x041E,
    kBof = 0x0809,
};

using Bytes = std::span<const std::uint8_t>;

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
double F64(const std::uint8_t* p) {
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

double RkValue(std::uint32_t rk) {
    double d;
    if (rk & 2) {
        d = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, 8);
    }
    return (rk & 1) ? d / 100 : d;
}

struct Record {
    std::uint16_t type = 0;
    Bytes data;
};

// Walks the records of the stream from an offset.
class RecordCursor {
  public:
    RecordCursor(Bytes stream, std::size_t offset) : stream_(stream), pos_(offset) {}
    // false at the end of the stream or when a record runs past it.
    bool next(Record& r) {
        if (pos_ > stream_.size() || stream_.size() - pos_ < 4) return false;
        const std::uint8_t* p = stream_.data() + pos_;
        const std::size_t length = U16(p + 2);
        if (stream_.size() - pos_ - 4 < length) return false;
        r.type = U16(p);
        r.data = stream_.subspan(pos_ + 4, length);
        pos_ += 4 + length;
        return true;
    }
    bool peekType(std::uint16_t& type) const {
        if (pos_ > stream_.size() || stream_.size() - pos_ < 4) return false;
        type = U16(stream_.data() + pos_);
        return true;
    }

  private:
    Bytes stream_;
    std::size_t pos_;
};

// A record body followed by its CONTINUE records, read as one sequence. Character data that
// crosses into a CONTINUE starts again with an option byte telling its width.
class SegmentReader {
  public:
    explicit SegmentReader(std::vector<Bytes> segments) : segs_(std::move(segments)) {}

    bool atEnd() {
        while (seg_ < segs_.size() && off_ >= segs_[seg_].size()) {
            ++seg_;
            off_ = 0;
        }
        return seg_ >= segs_.size();
    }
    bool u8(std::uint8_t& v) {
        if (atEnd()) return false;
        v = segs_[seg_][off_++];
        return true;
    }
    bool u16(std::uint16_t& v) {
        // Within one segment (nearly always) without the byte-by-byte walk.
        if (seg_ < segs_.size() && segs_[seg_].size() - std::min(off_, segs_[seg_].size()) >= 2) {
            v = U16(segs_[seg_].data() + off_);
            off_ += 2;
            return true;
        }
        std::uint8_t a, b;
        if (!u8(a) || !u8(b)) return false;
        v = static_cast<std::uint16_t>(a | b << 8);
        return true;
    }
    bool u32(std::uint32_t& v) {
        std::uint16_t a, b;
        if (!u16(a) || !u16(b)) return false;
        v = a | static_cast<std::uint32_t>(b) << 16;
        return true;
    }
    bool skip(std::uint64_t n) {
        while (n > 0) {
            if (atEnd()) return false;
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(n, segs_[seg_].size() - off_));
            off_ += take;
            n -= take;
        }
        return true;
    }
    // `count` characters, the first ones `wide` or not; appended to `out` as UTF-8.
    template <class String>
    bool chars(std::size_t count, bool wide, String& out) {
        while (count > 0) {
            if (seg_ >= segs_.size()) return false;
            std::size_t avail = segs_[seg_].size() - std::min(off_, segs_[seg_].size());
            if (avail == 0) {
                if (++seg_ >= segs_.size() || segs_[seg_].empty()) return false;
                wide = segs_[seg_][0] & 1;
                off_ = 1;
                continue;
            }
            const std::size_t width = wide ? 2 : 1;
            const std::size_t take = std::min(count, avail / width);
            const std::uint8_t* p = segs_[seg_].data() + off_;
            if (take == 0) return false;  // half a wide character at a record end
            if (wide)
                AppendUtf16(out, p, take);
            else
                AppendLatin1(out, p, take);
            off_ += take * width;
            count -= take;
        }
        return true;
    }
    // A BIFF8 unicode string: count (8 or 16 bit), options, optional run and extension sizes.
    bool unicodeString(bool longCount, std::string& out) {
        std::uint16_t count = 0;
        std::uint8_t small = 0, options = 0;
        if (longCount ? !u16(count) : !u8(small)) return false;
        if (!longCount) count = small;
        if (!u8(options)) return false;
        std::uint16_t runs = 0;
        std::uint32_t extra = 0;
        if ((options & 0x08) && !u16(runs)) return false;
        if ((options & 0x04) && !u32(extra)) return false;
        if (!chars(count, options & 1, out)) return false;
        return skip(std::uint64_t{runs} * 4 + extra);
    }

  private:
    std::vector<Bytes> segs_;
    std::size_t seg_ = 0;
    std::size_t off_ = 0;
};

struct SheetEntry {
    std::uint32_t offset = 0;
    SheetKind kind = SheetKind::Worksheet;
    std::string rawName;  // code page bytes (BIFF5) or UTF-8 (BIFF8)
};

class WorkbookParser {
  public:
    WorkbookParser(Bytes stream, bool book) : stream_(stream), bookStream_(book) {}

    std::unique_ptr<Workbook> parse() {
        if (!parseGlobals()) return nullptr;
        auto workbook = std::make_unique<Workbook>();
        workbook->sheets.reserve(sheets_.size());
        for (SheetEntry& entry : sheets_) {
            Sheet sheet;
            if (biff8_) {
                sheet.name = std::move(entry.rawName);
            } else {
                decoder_.append(sheet.name, reinterpret_cast<const std::uint8_t*>(entry.rawName.data()),
                                entry.rawName.size());
            }
            sheet.kind = entry.kind;
            Sheet::Impl& impl = sheet.impl();
            impl.shared = shared_;
            impl.formats = formats_;
            impl.date1904 = date1904_;
            if (entry.kind == SheetKind::Worksheet || entry.kind == SheetKind::Macro) {
                if (!parseSheet(entry.offset, impl)) return nullptr;
            }
            impl.finish();
            workbook->sheets.push_back(std::move(sheet));
        }
        return workbook;
    }

  private:
    bool parseGlobals() {
        RecordCursor cursor(stream_, 0);
        Record r;
        if (!cursor.next(r) || r.type != kBof || r.data.size() < 4) return false;
        const std::uint16_t version = U16(r.data.data());
        if (U16(r.data.data() + 2) != 0x0005) return false;  // not workbook globals
        if (version == 0x0600)
            biff8_ = true;
        else if (version == 0x0500)
            biff8_ = false;
        else
            biff8_ = !bookStream_;
        std::vector<Bytes> sst;
        std::map<unsigned, std::string> formats;
        std::vector<std::uint16_t> xfFormats;
        while (true) {
            if (!cursor.next(r)) return false;  // no EOF: truncated
            const std::uint8_t* p = r.data.data();
            const std::size_t n = r.data.size();
            switch (r.type) {
                case kEof:
                    return finishGlobals(sst, formats, xfFormats);
                case kFilePass:
                    return false;  // encrypted; we cannot read it
                case kCodePage:
                    if (n >= 2) decoder_.setCodePage(U16(p));
                    break;
                case kDateMode:
                    if (n >= 2) date1904_ = U16(p) == 1;
                    break;
                case kXf:
                    if (n >= 4) xfFormats.push_back(U16(p + 2));
                    break;
                case kFormat:
                    if (n >= 3) {
                        std::string text;
                        if (biff8_) {
                            SegmentReader reader({r.data.subspan(2)});
                            if (!reader.unicodeString(true, text)) break;
                        } else {
                            const std::size_t count = std::min<std::size_t>(p[2], n - 3);
                            text.assign(reinterpret_cast<const char*>(p + 3), count);  // decoded below
                        }
                        formats[U16(p)] = std::move(text);
                    }
                    break;
                case kBoundSheet:
                    if (!readBoundSheet(r.data)) return false;
                    break;
                case kSst: {
                    sst.push_back(r.data);
                    std::uint16_t type;
                    while (cursor.peekType(type) && type == kContinue && cursor.next(r))
                        sst.push_back(r.data);
                    break;
                }
                default:
                    break;
            }
        }
    }

    bool readBoundSheet(Bytes d) {
        if (d.size() < 8) return false;
        SheetEntry e;
        e.offset = U32(d.data());
        switch (d[5]) {
            case 0:
                e.kind = SheetKind::Worksheet;
                break;
            case 1:
                e.kind = SheetKind::Macro;
                break;
            case 2:
                e.kind = SheetKind::Chart;
                break;
            default:
                e.kind = SheetKind::Other;
                break;
        }
        if (biff8_) {
            SegmentReader reader({d.subspan(6)});
            if (!reader.unicodeString(false, e.rawName)) return false;
        } else {
            const std::size_t count = d[6];
            if (d.size() - 7 < count) return false;
            e.rawName.assign(reinterpret_cast<const char*>(d.data() + 7), count);
        }
        sheets_.push_back(std::move(e));
        return true;
    }

    bool finishGlobals(const std::vector<Bytes>& sst, const std::map<unsigned, std::string>& formats,
                       const std::vector<std::uint16_t>& xfFormats) {
        // BIFF5 format texts are in the code page; a trail byte of a double-byte character
        // must not pass for a date letter.
        std::map<unsigned, std::string> decoded;
        if (!biff8_) {
            for (const auto& [id, raw] : formats)
                decoder_.append(decoded[id], reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
        }
        const auto& texts = biff8_ ? formats : decoded;
        xfFormats_.reserve(xfFormats.size());
        auto table = std::make_shared<FormatTable>();
        std::map<unsigned, std::uint16_t> cache;
        for (std::uint16_t id : xfFormats) {
            auto hit = cache.find(id);
            if (hit == cache.end()) {
                auto f = texts.find(id);
                hit = cache.emplace(id, table->addId(id, f != texts.end() ? &f->second : nullptr)).first;
            }
            xfFormats_.push_back(hit->second);
        }
        formats_ = std::move(table);
        auto pool = std::make_shared<StringPool>();
        if (!sst.empty()) {
            if (sst[0].size() < 8) return false;
            const std::uint32_t unique = U32(sst[0].data() + 4);
            std::size_t total = 0;
            for (Bytes b : sst) total += b.size();
            // Each string takes at least 3 bytes, so the count cannot exceed the data.
            pool->reserve(std::min<std::size_t>(unique, total / 3), total);
            std::vector<Bytes> segs(sst);
            segs[0] = segs[0].subspan(8);
            SegmentReader reader(std::move(segs));
            for (std::uint32_t i = 0; i < unique; ++i) {
                std::uint16_t count;
                std::uint8_t options;
                if (!reader.u16(count) || !reader.u8(options)) break;  // a short table keeps what it has
                std::uint16_t runs = 0;
                std::uint32_t extra = 0;
                if ((options & 0x08) && !reader.u16(runs)) break;
                if ((options & 0x04) && !reader.u32(extra)) break;
                if (!reader.chars(count, options & 1, pool->buffer())) break;
                std::uint32_t index;
                if (!pool->close(index)) return false;
                if (!reader.skip(std::uint64_t{runs} * 4 + extra)) break;
            }
        }
        shared_ = std::move(pool);
        return true;
    }

    std::uint16_t formatOf(std::uint16_t xf) const { return xf < xfFormats_.size() ? xfFormats_[xf] : 0; }

    void Place(CellSlot& c, const std::uint8_t* p) const {
        c.row = U16(p);
        c.column = U16(p + 2);
        c.format = formatOf(U16(p + 4));
    }

    void addError(Sheet::Impl& impl, const std::uint8_t* p, std::uint8_t code) {
        CellSlot c{};
        Place(c, p);
        c.setKind(CellKind::Error);
        c.error = code;
        impl.cells.push_back(c);
    }

    void addNumber(Sheet::Impl& impl, std::uint16_t row, std::uint16_t col, std::uint16_t xf, double v) {
        CellSlot c{};
        c.row = row;
        c.column = col;
        c.setKind(CellKind::Number);
        c.format = formatOf(xf);
        c.number = v;
        impl.cells.push_back(c);
    }

    bool addOwnText(Sheet::Impl& impl, std::uint32_t row, std::uint16_t col, std::uint16_t xf) {
        CellSlot c{};
        c.row = row;
        c.column = col;
        c.format = formatOf(xf);
        c.setKind(CellKind::OwnText);
        if (!impl.own.close(c.index)) return false;
        impl.cells.push_back(c);
        return true;
    }

    // A cell text with a 16-bit count (BIFF8 unicode string or BIFF5 byte string), appended
    // to the sheet's own pool; the caller closes the pool entry.
    bool readCellText(Sheet::Impl& impl, std::vector<Bytes> segments) {
        LargeString& buffer = impl.own.buffer();
        if (biff8_) {
            SegmentReader reader(std::move(segments));
            std::uint16_t count;
            std::uint8_t options;
            if (!reader.u16(count) || !reader.u8(options)) return false;
            return reader.chars(count, options & 1, buffer);
        }
        Bytes d = segments[0];
        if (d.size() < 2) return false;
        const std::size_t count = std::min<std::size_t>(U16(d.data()), d.size() - 2);
        decoder_.append(buffer, d.data() + 2, count);
        return true;
    }

    bool parseSheet(std::uint32_t offset, Sheet::Impl& impl) {
        RecordCursor cursor(stream_, offset);
        Record r;
        // Sheets of a sound workbook do not overlap, so all of them together read the stream at
        // most once; many sheets pointing at the same records would otherwise cost N x M.
        if (!cursor.next(r) || r.type != kBof || r.data.size() < 4 || U16(r.data.data() + 2) == 0x0005)
            return false;
        int depth = 1;  // embedded chart substreams nest their own BOF..EOF
        bool pendingString = false;
        std::uint16_t pendingRow = 0, pendingCol = 0, pendingXf = 0;
        while (true) {
            if (!cursor.next(r)) return false;
            walked_ += 4 + r.data.size();
            if (walked_ > stream_.size()) return false;
            const std::uint8_t* p = r.data.data();
            const std::size_t n = r.data.size();
            if (r.type == kBof) {
                ++depth;
                continue;
            }
            if (r.type == kEof) {
                if (--depth == 0) return true;
                continue;
            }
            if (depth > 1) continue;
            switch (r.type) {
                case kDimension:
                    // Reserve once for the sheet's extent, but never more than the stream could
                    // hold (a cell takes at least 6 bytes), so a lying record costs nothing.
                    if (impl.cells.empty() && n >= (biff8_ ? 12u : 8u)) {
                        const std::size_t rows = biff8_ ? U32(p + 4) - std::min(U32(p), U32(p + 4))
                                                        : U16(p + 2) - std::min(U16(p), U16(p + 2));
                        const std::size_t cols = biff8_ ? U16(p + 10) - std::min(U16(p + 8), U16(p + 10))
                                                        : U16(p + 6) - std::min(U16(p + 4), U16(p + 6));
                        impl.cells.reserve(std::min(rows * cols, stream_.size() / 6));
                    }
                    break;
                case kNumber:
                    if (n >= 14) addNumber(impl, U16(p), U16(p + 2), U16(p + 4), F64(p + 6));
                    break;
                case kRk:
                    if (n >= 10) addNumber(impl, U16(p), U16(p + 2), U16(p + 4), RkValue(U32(p + 6)));
                    break;
                case kMulRk:
                    if (n >= 6) {
                        const std::uint16_t row = U16(p), first = U16(p + 2);
                        const std::size_t count = (n - 6) / 6;
                        for (std::size_t i = 0; i < count; ++i) {
                            const std::uint8_t* q = p + 4 + 6 * i;
                            addNumber(impl, row, static_cast<std::uint16_t>(first + i), U16(q),
                                      RkValue(U32(q + 2)));
                        }
                    }
                    break;
                case kLabelSst:
                    if (n >= 10 && U32(p + 6) < shared_->size()) {
                        CellSlot c{};
                        Place(c, p);
                        c.setKind(CellKind::SharedText);
                        c.index = U32(p + 6);
                        impl.cells.push_back(c);
                    }
                    break;
                case kLabel:
                case kRString:
                    if (n >= 8) {
                        if (!readCellText(impl, {r.data.subspan(6)})) return false;
                        if (!addOwnText(impl, U16(p), U16(p + 2), U16(p + 4))) return false;
                    }
                    break;
                case kBoolErr:
                    if (n >= 8 && p[7] == 0) {
                        CellSlot c{};
                        Place(c, p);
                        c.setKind(CellKind::Bool);
                        c.flag = p[6] != 0;
                        impl.cells.push_back(c);
                    } else if (n >= 8) {
                        addError(impl, p, p[6]);
                    }
                    break;
                case kFormula:
                    pendingString = false;
                    if (n < 20) break;
                    if (U16(p + 12) != 0xFFFF) {
                        addNumber(impl, U16(p), U16(p + 2), U16(p + 4), F64(p + 6));
                    } else if (p[6] == 0) {
                        pendingString = true;  // the text follows in a STRING record
                        pendingRow = U16(p);
                        pendingCol = U16(p + 2);
                        pendingXf = U16(p + 4);
                    } else if (p[6] == 1) {
                        CellSlot c{};
                        Place(c, p);
                        c.setKind(CellKind::Bool);
                        c.flag = p[8] != 0;
                        impl.cells.push_back(c);
                    } else if (p[6] == 2) {
                        addError(impl, p, p[8]);
                    }
                    break;  // empty results read as ""
                case kString:
                    if (pendingString) {
                        pendingString = false;
                        std::vector<Bytes> segs{r.data};
                        std::uint16_t type;
                        while (cursor.peekType(type) && type == kContinue && cursor.next(r))
                            segs.push_back(r.data);
                        if (!readCellText(impl, std::move(segs))) return false;
                        if (!addOwnText(impl, pendingRow, pendingCol, pendingXf)) return false;
                    }
                    break;
                default:
                    break;  // SHRFMLA, ARRAY, TABLE and formatting records carry no values we show
            }
        }
    }

    Bytes stream_;
    std::size_t walked_ = 0;  // bytes of sheet records read so far
    bool bookStream_;
    bool biff8_ = true;
    bool date1904_ = false;
    CodePageDecoder decoder_;
    std::vector<SheetEntry> sheets_;
    std::vector<std::uint16_t> xfFormats_;  // format table index of each XF
    std::shared_ptr<const FormatTable> formats_;
    std::shared_ptr<const StringPool> shared_;
};

}  // namespace

std::unique_ptr<Workbook> ParseWorkbook(std::span<const std::uint8_t> bytes) {
    try {
        WorkbookStream stream;
        if (!OpenWorkbookStream(bytes, stream)) return nullptr;
        return WorkbookParser(stream.bytes, stream.book).parse();
    } catch (...) {  // out of memory on a hostile size: no workbook
        return nullptr;
    }
}

std::unique_ptr<Workbook> ReadWorkbookFile(std::string_view path) {
    try {
        // The whole file read into memory. A mapping would be a little faster, but a workbook
        // that another program shortens while we read it would then kill us with SIGBUS.
        const BasicWholeFile<LargeBytes> file = ReadWholeFileAs<LargeBytes>(path, kNoFileLimit);
        if (file.bytes.empty()) return nullptr;
        return ParseWorkbook(file.bytes);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace qm::xls
