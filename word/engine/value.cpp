#include <cstdint>

#include "common/text.h"
#include "word/engine/template.h"

namespace qm::engine {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

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
        const std::size_t n = Utf8SequenceLength(value, i);
        if (n == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        // U+FFFE and U+FFFF are no characters; XML cannot hold them either.
        if (n == 3 && value.substr(i, 2) == "\xEF\xBF" &&
            (value[i + 2] == '\xBE' || value[i + 2] == '\xBF')) {
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
