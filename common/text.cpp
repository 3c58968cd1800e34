#include "common/text.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace qm {

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
    std::vector<std::string> items;
    if (text.empty()) return items;
    if (separator.empty()) {
        items.emplace_back(text);
        return items;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            if (start < text.size()) items.emplace_back(text.substr(start));
            break;
        }
        items.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    return items;
}

std::vector<std::string> SplitList(std::string_view text) {
    return SplitText(text, kListSeparator);
}

std::string JoinList(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += kListSeparator;
        out += items[i];
    }
    return out;
}

void AppendToList(std::string& list, std::string_view item) {
    if (!list.empty()) list += kListSeparator;
    list += item;
}

double TextToNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t begin = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, digits = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, digits = true;
    }
    if (!digits) return 0.0;
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        bool expDigits = false;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j, expDigits = true;
        if (expDigits) end = j;
    }
    // strtod needs a terminated copy; from_chars rejects a leading '+'.
    std::string number(text.substr(begin, end - begin));
    const double value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

int TruncToInt(double value) {
    if (std::isnan(value)) return 0;
    const double t = std::trunc(value);
    if (t >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (t <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(t);
}

int TextToInt(std::string_view text) {
    return TruncToInt(TextToNumber(text));
}

std::string IntToText(long long value) {
    return std::to_string(value);
}

std::string FolderOfPath(std::string_view path) {
    const std::size_t at = path.rfind('/');
    if (at == std::string_view::npos) return std::string(path);
    return std::string(path.substr(0, at + 1));
}

std::string NameOfPath(std::string_view path) {
    const std::size_t at = path.rfind('/');
    if (at == std::string_view::npos) return std::string(path);
    return std::string(path.substr(at + 1));
}

std::string StripExtension(std::string_view name) {
    const std::size_t at = name.rfind('.');
    if (at == std::string_view::npos) return std::string(name);
    return std::string(name.substr(0, at));
}

std::string BaseNameOfPath(std::string_view path) {
    return StripExtension(NameOfPath(path));
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(from, start);
        if (at == std::string_view::npos) break;
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
    out.append(text.substr(start));
    return out;
}

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        std::uint32_t c = text[k];
        if (c >= 0xD800 && c <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
            text[k + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[k + 1] - 0xDC00u);
            ++k;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
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
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceLength(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string LowerExtension(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string extension(path.substr(dot));
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

}  // namespace qm
