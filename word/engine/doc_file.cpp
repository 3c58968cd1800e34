#include "word/engine/doc_file.h"

#include <algorithm>

namespace qm::engine::doc {

namespace {

constexpr std::uint16_t kIdent = 0xA5EC;
constexpr std::uint16_t kWord97 = 0x00C1;
constexpr std::size_t kPage = 512;

// 8-bit text is Windows-1252 except where Word keeps the byte as a code point.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCompressed(std::uint8_t b) {
    return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

}  // namespace

bool ReadPlc(std::span<const std::uint8_t> bytes, std::size_t cb, Plc& out) {
    out = Plc{};
    out.cb = cb;
    if (bytes.size() < 4) return false;
    const std::size_t n = (bytes.size() - 4) / (4 + cb);
    if (4 + n * (4 + cb) != bytes.size()) return false;
    out.cp.resize(n + 1);
    for (std::size_t i = 0; i <= n; ++i) out.cp[i] = U32(bytes.data() + 4 * i);
    out.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(4 * (n + 1)), bytes.end());
    return true;
}

void AppendPlc(const Plc& plc, std::vector<std::uint8_t>& out) {
    const std::size_t at = out.size();
    out.resize(at + 4 * plc.cp.size() + plc.data.size());
    for (std::size_t i = 0; i < plc.cp.size(); ++i) Put32(out.data() + at + 4 * i, plc.cp[i]);
    std::copy(plc.data.begin(), plc.data.end(),
              out.begin() + static_cast<std::ptrdiff_t>(at + 4 * plc.cp.size()));
}

int SprmOperandSize(std::uint16_t sprm, std::span<const std::uint8_t> rest) {
    int size;
    switch ((sprm >> 13) & 7) {
        case 0:
        case 1:
            size = 1;
            break;
        case 2:
        case 4:
        case 5:
            size = 2;
            break;
        case 3:
            size = 4;
            break;
        case 7:
            size = 3;
            break;
        default:                                     // variable: a length first
            if (sprm == 0xD608 || sprm == 0xD606) {  // table definitions: a 16-bit length
                if (rest.size() < 2) return -1;
                size = 1 + U16(rest.data());
            } else if (sprm == 0xC615 && !rest.empty() && rest[0] == 255) {  // tab changes, long form
                if (rest.size() < 2) return -1;
                const std::size_t del = rest[1];
                if (rest.size() < 2 + 4 * del + 1) return -1;
                const std::size_t add = rest[2 + 4 * del];
                size = static_cast<int>(1 + 1 + 4 * del + 1 + 3 * add);
            } else {
                if (rest.empty()) return -1;
                size = 1 + rest[0];
            }
            break;
    }
    return static_cast<std::size_t>(size) <= rest.size() ? size : -1;
}

std::uint32_t DocFile::Fc(int table) const {
    if (table < 0 || static_cast<std::uint32_t>(table) >= fcLcbCount) return 0;
    return U32(word().data() + fcLcbOffset + 8 * static_cast<std::size_t>(table));
}

std::uint32_t DocFile::Lcb(int table) const {
    if (table < 0 || static_cast<std::uint32_t>(table) >= fcLcbCount) return 0;
    return U32(word().data() + fcLcbOffset + 8 * static_cast<std::size_t>(table) + 4);
}

std::span<const std::uint8_t> DocFile::TableBytes(int table) const {
    const std::uint64_t fc = Fc(table), lcb = Lcb(table);
    if (lcb == 0 || fc + lcb > this->table().size()) return {};
    return std::span<const std::uint8_t>(this->table()).subspan(fc, lcb);
}

std::uint32_t DocFile::StoryStart(Story story) const {
    std::uint32_t start = 0;
    for (int s = 0; s < static_cast<int>(story); ++s) start += ccp[static_cast<std::size_t>(s)];
    return start;
}

Story DocFile::StoryOf(std::uint32_t cp) const {
    std::uint32_t start = 0;
    for (int s = 0; s < static_cast<int>(Story::Count); ++s) {
        start += ccp[static_cast<std::size_t>(s)];
        if (cp < start) return static_cast<Story>(s);
    }
    return Story::Count;
}

bool DocFile::Parse(std::span<const std::uint8_t> file, std::string& refusal) {
    cfb::File container;
    if (!container.Open(file)) {
        refusal = "not a readable compound file";
        return false;
    }
    if (container.Find(0, u"EncryptedPackage") != cfb::kNoEntry ||
        container.Find(0, u"EncryptionInfo") != cfb::kNoEntry) {
        refusal = "the document is encrypted: remove the password first";
        return false;
    }
    wordIndex = container.Find(0, u"WordDocument");
    if (wordIndex == cfb::kNoEntry) {
        refusal = "not a Word document (no WordDocument stream)";
        return false;
    }
    entries = container.entries();
    streams.assign(entries.size(), {});
    // Every reachable stream is kept whole for the documents made from this template.
    std::vector<std::uint32_t> pending{0};
    std::vector<bool> seen(entries.size(), false);
    while (!pending.empty()) {
        const std::uint32_t storage = pending.back();
        pending.pop_back();
        for (std::uint32_t i : container.Children(storage)) {
            if (seen[i]) continue;
            seen[i] = true;
            if (entries[i].type == cfb::EntryType::Storage) {
                pending.push_back(i);
            } else if (entries[i].type == cfb::EntryType::Stream) {
                cfb::Stream s;
                if (!container.Read(i, s) || !s.complete) {
                    refusal = "the file is damaged or cut short";
                    return false;
                }
                streams[i].assign(s.bytes.begin(), s.bytes.end());
            }
        }
    }
    // Entries nobody reaches keep no data.
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (!seen[i] && entries[i].type != cfb::EntryType::Unused) entries[i].type = cfb::EntryType::Unused;

    const std::vector<std::uint8_t>& wd = word();
    if (wd.size() < 0x9A) {
        refusal = "the document's header is cut short";
        return false;
    }
    if (U16(wd.data()) != kIdent) {
        refusal = "not a Word document (unknown header)";
        return false;
    }
    nFib = U16(wd.data() + 2);
    const std::uint16_t flags = U16(wd.data() + 0x0A);
    if (nFib < kWord97) {
        refusal = "a document of Word 95 or older";
        return false;
    }
    if (flags & 0x0100) {
        refusal = "the document is encrypted: remove the password first";
        return false;
    }
    if (flags & 0x8000) {
        refusal = "the file is obfuscated";
        return false;
    }
    if (flags & 0x0002) {
        refusal = "a glossary document";
        return false;
    }
    // FibRgW, FibRgLw, the fc/lcb pairs and FibRgCswNew follow one another, each with its count.
    std::size_t at = 0x20;
    const std::uint16_t csw = U16(wd.data() + at);
    at += 2 + 2 * static_cast<std::size_t>(csw);
    if (at + 2 > wd.size()) {
        refusal = "the document's header is cut short";
        return false;
    }
    const std::uint16_t cslw = U16(wd.data() + at);
    lwOffset = at + 2;
    at = lwOffset + 4 * static_cast<std::size_t>(cslw);
    if (cslw < 11 || at + 2 > wd.size()) {
        refusal = "the document's header is cut short";
        return false;
    }
    fcLcbCount = U16(wd.data() + at);
    fcLcbOffset = at + 2;
    at = fcLcbOffset + 8 * static_cast<std::size_t>(fcLcbCount);
    if (fcLcbCount < 93 || at > wd.size()) {
        refusal = "the document's header is cut short";
        return false;
    }
    if (at + 4 <= wd.size()) {
        const std::uint16_t cswNew = U16(wd.data() + at);
        if (cswNew > 0 && at + 4 <= wd.size()) nFib = std::max(nFib, U16(wd.data() + at + 2));
    }
    // ccpText, ccpFtn, ccpHdd, ccpMcr, ccpAtn, ccpEdn, ccpTxbx, ccpHdrTxbx.
    for (int s = 0; s < static_cast<int>(Story::Count); ++s) {
        const std::int32_t n =
            static_cast<std::int32_t>(U32(wd.data() + lwOffset + 4 * (3 + static_cast<std::size_t>(s))));
        if (n < 0) {
            refusal = "the document's header is damaged";
            return false;
        }
        ccp[static_cast<std::size_t>(s)] = static_cast<std::uint32_t>(n);
    }
    tableIndex = container.Find(0, (flags & 0x0200) ? u"1Table" : u"0Table");
    if (tableIndex == cfb::kNoEntry) {
        refusal = "the document's table stream is missing";
        return false;
    }

    // The piece table: property modifiers (type 1), then the pieces (type 2).
    const std::span<const std::uint8_t> clx = TableBytes(kClx);
    std::size_t i = 0;
    while (i < clx.size() && clx[i] == 1) {
        if (i + 3 > clx.size()) break;
        const std::size_t n = U16(clx.data() + i + 1);
        if (i + 3 + n > clx.size()) break;
        i += 3 + n;
    }
    if (i + 5 > clx.size() || clx[i] != 2) {
        refusal = "the document's piece table is missing or damaged";
        return false;
    }
    prc.assign(clx.begin(), clx.begin() + static_cast<std::ptrdiff_t>(i));
    const std::size_t lcb = U32(clx.data() + i + 1);
    if (i + 5 + lcb > clx.size()) {
        refusal = "the document's piece table is damaged";
        return false;
    }
    Plc plc;
    if (!ReadPlc(clx.subspan(i + 5, lcb), 8, plc) || plc.count() == 0) {
        refusal = "the document's piece table is damaged";
        return false;
    }
    pieces.resize(plc.count());
    for (std::size_t k = 0; k < plc.count(); ++k) {
        Piece& p = pieces[k];
        p.cp = plc.cp[k];
        p.cpEnd = plc.cp[k + 1];
        const std::uint8_t* d = plc.data.data() + 8 * k;
        p.flags = U16(d);
        p.fc = U32(d + 2);
        p.prm = U16(d + 6);
        const std::uint64_t bytes = static_cast<std::uint64_t>(p.cpEnd - p.cp) * (p.compressed() ? 1 : 2);
        if (p.cpEnd < p.cp || (k > 0 && p.cp != pieces[k - 1].cpEnd) || p.offset() + bytes > wd.size()) {
            refusal = "the document's piece table is damaged";
            return false;
        }
    }
    if (pieces.front().cp != 0) {
        refusal = "the document's piece table is damaged";
        return false;
    }
    std::uint64_t total = 0;
    for (std::uint32_t n : ccp) total += n;
    if (TextEnd() < total) {
        refusal = "the document's text is shorter than its header says";
        return false;
    }
    return true;
}

const Piece* DocFile::PieceAt(std::uint32_t cp) const {
    auto it = std::upper_bound(pieces.begin(), pieces.end(), cp,
                               [](std::uint32_t v, const Piece& p) { return v < p.cpEnd; });
    if (it == pieces.end() || cp < it->cp) return nullptr;
    return &*it;
}

char16_t DocFile::CharAt(std::uint32_t cp) const {
    const Piece* p = PieceAt(cp);
    if (!p) return 0xFFFF;
    const std::size_t k = cp - p->cp;
    const std::vector<std::uint8_t>& wd = word();
    if (p->compressed()) return FromCompressed(wd[p->offset() + k]);
    return static_cast<char16_t>(U16(wd.data() + p->offset() + 2 * k));
}

std::u16string DocFile::Text(std::uint32_t from, std::uint32_t to) const {
    std::u16string text;
    for (std::uint32_t cp = from; cp < to; ++cp) {
        const char16_t c = CharAt(cp);
        if (c == 0xFFFF) break;
        text.push_back(c);
    }
    return text;
}

std::optional<std::uint32_t> DocFile::FcAt(std::uint32_t cp) const {
    const Piece* p = PieceAt(cp);
    if (!p) return std::nullopt;
    return p->offset() + (cp - p->cp) * (p->compressed() ? 1u : 2u);
}

namespace {

// The FKP page that holds `fc` according to a table of FC ranges to page numbers; empty when
// none does.
std::span<const std::uint8_t> FindPage(const DocFile& d, int table, std::uint32_t fc) {
    Plc plc;
    if (!ReadPlc(d.TableBytes(table), 4, plc)) return {};
    for (std::size_t i = 0; i < plc.count(); ++i) {
        if (fc < plc.cp[i] || fc >= plc.cp[i + 1]) continue;
        const std::uint64_t page = U32(plc.data.data() + 4 * i) & 0x3FFFFF;
        if ((page + 1) * kPage > d.word().size()) return {};
        return std::span<const std::uint8_t>(d.word()).subspan(page * kPage, kPage);
    }
    return {};
}

// The run of an FKP page that holds `fc`: its index, or -1.
int FindRun(std::span<const std::uint8_t> page, std::uint32_t fc, std::size_t entrySize) {
    const std::size_t crun = page[kPage - 1];
    if (4 * (crun + 1) + entrySize * crun > kPage - 1) return -1;
    for (std::size_t i = 0; i < crun; ++i) {
        if (fc >= U32(page.data() + 4 * i) && fc < U32(page.data() + 4 * (i + 1))) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

std::vector<std::uint8_t> DocFile::Chpx(std::uint32_t fc) const {
    const std::span<const std::uint8_t> page = FindPage(*this, kPlcfBteChpx, fc);
    if (page.empty()) return {};
    const int run = FindRun(page, fc, 1);
    if (run < 0) return {};
    const std::size_t crun = page[kPage - 1];
    const std::size_t offset =
        2 * static_cast<std::size_t>(page[4 * (crun + 1) + static_cast<std::size_t>(run)]);
    if (offset == 0 || offset >= kPage - 1) return {};
    const std::size_t cb = page[offset];
    if (offset + 1 + cb > kPage - 1) return {};
    return std::vector<std::uint8_t>(page.begin() + static_cast<std::ptrdiff_t>(offset + 1),
                                     page.begin() + static_cast<std::ptrdiff_t>(offset + 1 + cb));
}

std::vector<std::uint8_t> DocFile::Papx(std::uint32_t fc) const {
    const std::span<const std::uint8_t> page = FindPage(*this, kPlcfBtePapx, fc);
    if (page.empty()) return {};
    const int run = FindRun(page, fc, 13);
    if (run < 0) return {};
    const std::size_t crun = page[kPage - 1];
    std::size_t offset =
        2 * static_cast<std::size_t>(page[4 * (crun + 1) + 13 * static_cast<std::size_t>(run)]);
    if (offset == 0 || offset >= kPage - 1) return {};
    std::size_t size = page[offset];
    ++offset;
    if (size == 0) {
        if (offset >= kPage - 1) return {};
        size = 2 * static_cast<std::size_t>(page[offset]);
        ++offset;
    } else {
        size = 2 * size - 1;
    }
    if (size < 2 || offset + size > kPage - 1) return {};
    return std::vector<std::uint8_t>(page.begin() + static_cast<std::ptrdiff_t>(offset + 2),
                                     page.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

bool DocFile::ParagraphInTable(std::uint32_t fc) const {
    bool inTable = false;
    // sprmPFInTable set, or a table depth above zero.
    ForEachSprm(Papx(fc), [&](std::uint16_t sprm, std::span<const std::uint8_t> whole) {
        if (sprm == 0x2416 && whole.size() >= 3 && whole[2] != 0) inTable = true;
        if (sprm == 0x6649 && whole.size() >= 6 && U32(whole.data() + 2) > 0) inTable = true;
    });
    return inTable;
}

}  // namespace qm::engine::doc
