#include "word/engine/text.h"

#include <string_view>

#include "common/text.h"
#include "word/engine/doc_file.h"
#include "word/engine/docx_zip.h"

namespace qm::engine {
namespace {

std::optional<std::string> DocText(std::span<const std::uint8_t> bytes) {
    doc::DocFile file;
    std::string refusal;
    if (!file.Parse(bytes, refusal)) return std::nullopt;
    const std::u16string text = file.Text(file.StoryStart(doc::Story::Main), file.StoryEnd(doc::Story::Main));
    std::u16string shown;
    // Field instructions run from the field's start to its separator (or its end, for a field
    // without a result); fields nest.
    int instructions = 0;
    std::u16string depth;  // per open field: 1 while in its instructions
    for (char16_t c : text) {
        switch (c) {
            case 0x13:
                depth.push_back(1);
                ++instructions;
                continue;
            case 0x14:
                if (!depth.empty() && depth.back() == 1) {
                    depth.back() = 0;
                    --instructions;
                }
                continue;
            case 0x15:
                if (!depth.empty()) {
                    if (depth.back() == 1) --instructions;
                    depth.pop_back();
                }
                continue;
            default:
                break;
        }
        if (instructions > 0) continue;
        if (c == u'\r' || c == 0x0B || c == 0x0C)
            shown.push_back(u'\n');
        else if (c == 0x07)
            shown.push_back(u'\t');
        else if (c == 0x1E)
            shown.push_back(u'-');
        else if (c == 0xA0)
            shown.push_back(u' ');
        else if (c >= 0x20 || c == u'\t')
            shown.push_back(c);
    }
    return Utf16ToUtf8(shown);
}

// The text of an XML character reference or entity at `at` ("&lt;", "&#x4E2D;"), moving past it.
void AppendEntity(std::string_view xml, std::size_t& at, std::string& out) {
    const std::size_t end = xml.find(';', at);
    if (end == std::string_view::npos || end - at > 12) {
        out += '&';
        ++at;
        return;
    }
    const std::string_view name = xml.substr(at + 1, end - at - 1);
    at = end + 1;
    if (name == "lt") {
        out += '<';
    } else if (name == "gt") {
        out += '>';
    } else if (name == "amp") {
        out += '&';
    } else if (name == "quot") {
        out += '"';
    } else if (name == "apos") {
        out += '\'';
    } else if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        char32_t code = 0;
        for (char c : name.substr(hex ? 2 : 1)) {
            const int digit = c >= '0' && c <= '9'          ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1;
            if (digit < 0 || code > 0x10FFFF) return;
            code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return;
        AppendUtf8(out, code);
    }
}

std::string XmlText(std::string_view xml) {
    std::string out;
    bool inText = false;
    for (std::size_t at = 0; at < xml.size();) {
        const char c = xml[at];
        if (c == '<') {
            const std::size_t end = xml.find('>', at);
            if (end == std::string_view::npos) break;
            std::string_view tag = xml.substr(at + 1, end - at - 1);
            at = end + 1;
            const bool closing = !tag.empty() && tag.front() == '/';
            if (closing) tag.remove_prefix(1);
            const std::size_t nameEnd = tag.find_first_of(" \t\r\n/");
            const std::string_view name = tag.substr(0, nameEnd);
            const bool empty = !tag.empty() && tag.back() == '/';
            if (name == "w:t") {
                inText = !closing && !empty;
            } else if (!closing && (name == "w:tab" || name == "w:ptab")) {
                out += '\t';
            } else if ((!closing && (name == "w:br" || name == "w:cr")) || (closing && name == "w:p")) {
                out += '\n';
            } else if (closing && name == "w:tc") {
                if (!out.empty() && out.back() == '\n') out.pop_back();
                out += '\t';
            }
            continue;
        }
        if (!inText) {
            ++at;
            continue;
        }
        if (c == '&') {
            AppendEntity(xml, at, out);
            continue;
        }
        out += c;
        ++at;
    }
    return out;
}

std::optional<std::string> DocxText(std::span<const std::uint8_t> bytes) {
    docx::ZipArchive zip;
    if (!docx::ReadZip(bytes, zip).empty()) return std::nullopt;
    const int main = docx::FindEntry(zip, "word/document.xml");
    if (main < 0 || zip.entries[static_cast<std::size_t>(main)].size > docx::kMaxInflatedPart)
        return std::nullopt;
    std::string xml;
    if (!docx::ReadEntry(bytes, zip.entries[static_cast<std::size_t>(main)], &xml)) return std::nullopt;
    return XmlText(xml);
}

}  // namespace

std::optional<std::string> DocumentText(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K') return DocxText(bytes);
    return DocText(bytes);
}

}  // namespace qm::engine
