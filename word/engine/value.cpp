#include <cstdint>

#include "word/engine/template.h"

namespace qm::engine {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the UTF-8 sequence that starts at `i`, or 0 when the bytes there are not one.
std::size_t SequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t c = b(i);
    if (c < 0x80) return 1;
    std::size_t n;
    std::uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

std::string NormalizeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size();) {
        const char c = value[i];
        if (c == '\r') {
            out += '\n';
            i += (i + 1 < value.size() && value[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        if (c == '\n' || c == '\t') {
            out += c;
            ++i;
            continue;
        }
        // Other control characters have no visible form; in a .doc they would read as field
        // marks, pictures or breaks, and XML cannot hold them at all.
        if ((static_cast<unsigned char>(c) < 0x20) || c == 0x7F) {
            ++i;
            continue;
        }
        const std::size_t n = SequenceLength(value, i);
        if (n == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        // U+FFFE and U+FFFF are no characters; XML cannot hold them either.
        if (n == 3 && value.substr(i, 2) == "\xEF\xBF" && (value[i + 2] == '\xBE' || value[i + 2] == '\xBF')) {
            out += kReplacement;
            i += 3;
            continue;
        }
        out.append(value.substr(i, n));
        i += n;
    }
    return out;
}

}  // namespace qm::engine
