#include "data/xls/text_decoder.h"

#include <iconv.h>

#include <vector>

namespace qm::xls {
namespace {

// Writes code point `c` as UTF-8 at `out` (room for 4 bytes); the count of bytes written.
std::size_t EncodeCodePoint(char* out, std::uint32_t c) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | c >> 6);
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | c >> 12);
        out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | c >> 18);
    out[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

const char* IconvName(unsigned cp) {
    switch (cp) {
        case 367:
            return "ASCII";
        case 437:
            return "CP437";
        case 850:
            return "CP850";
        case 852:
            return "CP852";
        case 866:
            return "CP866";
        case 874:
            return "CP874";
        case 932:
            return "CP932";
        case 936:
            return "CP936";
        case 949:
            return "CP949";
        case 950:
            return "CP950";
        case 1250:
            return "CP1250";
        case 1251:
            return "CP1251";
        case 1253:
            return "CP1253";
        case 1254:
            return "CP1254";
        case 1255:
            return "CP1255";
        case 1256:
            return "CP1256";
        case 1257:
            return "CP1257";
        case 1258:
            return "CP1258";
        case 10000:
        case 32768:
            return "MACINTOSH";
        default:
            return "CP1252";
    }
}

}  // namespace

template <class String>
void AppendUtf16(String& out, const std::uint8_t* p, std::size_t count) {
    // Encoded into a small buffer first: one append per 256 bytes instead of one per byte.
    char buffer[256];
    std::size_t used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(p[2 * i] | p[2 * i + 1] << 8);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
            const std::uint32_t low = static_cast<std::uint32_t>(p[2 * i + 2] | p[2 * i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        if (used + 4 > sizeof buffer) {
            out.append(buffer, used);
            used = 0;
        }
        used += EncodeCodePoint(buffer + used, c);
    }
    out.append(buffer, used);
}

template <class String>
void AppendLatin1(String& out, const std::uint8_t* p, std::size_t count) {
    // Most texts are plain ASCII: copied in one piece.
    std::size_t ascii = 0;
    while (ascii < count && p[ascii] < 0x80) ++ascii;
    out.append(reinterpret_cast<const char*>(p), ascii);
    for (std::size_t i = ascii; i < count; ++i) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back(static_cast<char>(0xC0 | b >> 6));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
}

CodePageDecoder::~CodePageDecoder() {
    if (handle_) iconv_close(static_cast<iconv_t>(handle_));
}

void CodePageDecoder::setCodePage(unsigned codePage) {
    if (handle_) iconv_close(static_cast<iconv_t>(handle_));
    handle_ = nullptr;
    tried_ = false;
    // 1200 is UTF-16, which BIFF5 byte strings never are; 32769 is Windows Latin-1.
    codePage_ = (codePage == 1200 || codePage == 32769 || codePage == 0) ? 1252 : codePage;
}

template <class String>
void CodePageDecoder::append(String& out, const std::uint8_t* p, std::size_t count) {
    std::size_t ascii = 0;
    while (ascii < count && p[ascii] < 0x80) ++ascii;
    out.append(reinterpret_cast<const char*>(p), ascii);
    if (ascii == count) return;
    if (!tried_) {
        tried_ = true;
        iconv_t cd = iconv_open("UTF-8", IconvName(codePage_));
        if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "CP1252");
        handle_ = cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
    }
    p += ascii;
    count -= ascii;
    if (!handle_) {
        AppendLatin1(out, p, count);
        return;
    }
    iconv_t cd = static_cast<iconv_t>(handle_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> buffer(count * 4 + 16);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
    std::size_t inLeft = count;
    while (inLeft > 0) {
        char* dst = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (r == static_cast<std::size_t>(-1) && inLeft > 0) {
            // A byte the code page does not map (or a cut double-byte character).
            out.append("\xEF\xBF\xBD");
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

template void AppendUtf16(std::string&, const std::uint8_t*, std::size_t);
template void AppendUtf16(LargeString&, const std::uint8_t*, std::size_t);
template void AppendLatin1(std::string&, const std::uint8_t*, std::size_t);
template void AppendLatin1(LargeString&, const std::uint8_t*, std::size_t);
template void CodePageDecoder::append(std::string&, const std::uint8_t*, std::size_t);
template void CodePageDecoder::append(LargeString&, const std::uint8_t*, std::size_t);

}  // namespace qm::xls
