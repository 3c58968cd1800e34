#include "merge/output_names.h"

#include <algorithm>
#include <memory>

#include "common/text.h"

namespace qm {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// One character of `text` at `pos`: its code point and length, or kInvalid and 1 for a byte that
// does not start a well-formed UTF-8 sequence (overlong forms and surrogates included).
char32_t Decode(std::string_view text, std::size_t pos, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(pos);
    length = 1;
    if (first < 0x80) return first;
    std::size_t need = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((first & 0xE0) == 0xC0) {
        need = 1, cp = first & 0x1F, minimum = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        need = 2, cp = first & 0x0F, minimum = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        need = 3, cp = first & 0x07, minimum = 0x10000;
    } else {
        return kInvalid;
    }
    if (pos + need >= text.size()) return kInvalid;
    for (std::size_t i = 1; i <= need; ++i) {
        const unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80) return kInvalid;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kInvalid;
    length = need + 1;
    return cp;
}

bool IsBlank(char32_t cp) {
    return cp == ' ' || (cp >= 0x09 && cp <= 0x0D) || cp == 0xA0 || cp == 0x3000;
}

// Characters no file name should hold: this system refuses "/" (and NUL); the others are refused
// by the systems the documents are often copied to, or break lines, or turn the text of a name
// around so that "exe.doc" can read as "cod.exe".
bool Refused(char32_t cp) {
    if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F)) return true;
    switch (cp) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
        case 0x200E:
        case 0x200F:
        case 0x2028:
        case 0x2029:
            return true;
        default:
            return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
    }
}

std::string Folded(std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return folded;
}

std::string CountText(std::size_t n) {
    return IntToText(static_cast<long long>(n));
}

}  // namespace

std::string FileNamePart(std::string_view value) {
    struct Piece {
        char32_t cp;
        std::string_view bytes;
    };
    std::vector<Piece> pieces;
    for (std::size_t pos = 0; pos < value.size();) {
        std::size_t length = 1;
        const char32_t cp = Decode(value, pos, length);
        pieces.push_back({cp, value.substr(pos, length)});
        pos += length;
    }
    std::size_t first = 0, last = pieces.size();
    while (first < last && IsBlank(pieces[first].cp)) ++first;
    while (last > first && IsBlank(pieces[last - 1].cp)) --last;
    std::string part;
    for (std::size_t i = first; i < last; ++i) {
        const Piece& p = pieces[i];
        if (p.cp == kInvalid || Refused(p.cp))
            part += '_';
        else
            part += p.bytes;
    }
    return part;
}

std::string CutUtf8(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return std::string(text);
    std::size_t end = bytes;
    // Back to the start of the character the cut falls into.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

DocumentNamer::DocumentNamer(std::string reference, std::string extension)
    : reference_(std::move(reference)), extension_(std::move(extension)) {}

std::string DocumentNamer::Next(std::string_view value, int number) {
    std::string part = FileNamePart(value);
    if (part.empty()) {
        ++numbered_;
        return Claim(reference_ + IntToText(number));
    }
    if (reference_.empty()) {
        // A name of its own must not read as an option to a command, nor hide itself.
        if (part[0] == '-' || part[0] == '.') part[0] = '_';
        return Claim(part);
    }
    return Claim(reference_ + "_" + part);
}

std::string DocumentNamer::Claim(const std::string& stem) {
    const std::size_t room =
        kMaxFileNameBytes > extension_.size() ? kMaxFileNameBytes - extension_.size() : 0;
    std::string name = CutUtf8(stem, room) + extension_;
    if (taken_.insert(Folded(name)).second) return name;
    ++renamed_;
    for (int n = 2;; ++n) {
        const std::string suffix = "(" + IntToText(n) + ")";
        name = CutUtf8(stem, room > suffix.size() ? room - suffix.size() : 0) + suffix + extension_;
        if (taken_.insert(Folded(name)).second) return name;
    }
}

std::string NamedConfirmationText(std::string_view folder, const NamePlan& plan) {
    constexpr std::size_t kAllUpTo = 8;
    constexpr std::size_t kHead = 5;
    const std::vector<std::string>& names = plan.names;
    std::string text = "　　文件将保存在“";
    text += folder;
    text += "”文件夹下，共 " + CountText(names.size()) + " 个文件，文件名为：";
    if (names.size() <= kAllUpTo) {
        for (std::size_t i = 0; i < names.size(); ++i) text += (i ? "、" : "") + names[i];
    } else {
        for (std::size_t i = 0; i < kHead; ++i) text += (i ? "、" : "") + names[i];
        text += "……" + names.back();
    }
    text += "。";
    if (plan.numbered > 0) text += "其中 " + IntToText(plan.numbered) + " 个的值为空，以序号命名。";
    if (plan.renamed > 0)
        text += "其中 " + IntToText(plan.renamed) + " 个与前面的文件同名，加了“(2)”等编号。";
    text += "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。";
    return text;
}

std::string NumberedConfirmationText(std::string_view folder, const std::vector<std::string>& names,
                                     bool consecutive) {
    if (!consecutive) {
        NamePlan plan;
        plan.names = names;
        return NamedConfirmationText(folder, plan);
    }
    std::string text = "　　文件将保存在“";
    text += folder;
    text += "”文件夹下，文件名命名为：";
    if (!names.empty()) text += names.front();
    if (names.size() == 2) text += "、" + names.back() + "。";
    if (names.size() == 3) text += "、" + names[1] + "、" + names.back() + "。";
    if (names.size() > 3) text += "、" + names[1] + "……" + names.back() + "。";
    text += "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。";
    return text;
}

std::string SingleFileConfirmationText(std::string_view folder, std::string_view fileName, int documents) {
    std::string text = "　　文件将保存在“";
    text += folder;
    text += "”文件夹下：" + IntToText(documents) + " 个文档依次合并为一个PDF文件“";
    text += fileName;
    text += "”。";
    text += "\r\n　　如果确定无误请选择“是”，否则请选择“否”更改文件名或放弃保存。";
    return text;
}

std::string NamingRuleLine(std::string_view nameColumn, bool singleFile) {
    if (singleFile) return "　　命名规则：全部文档合为一个PDF文件。";
    if (nameColumn.empty()) return "　　命名规则：参考名加序号。";
    return "　　命名规则：参考名加“" + std::string(nameColumn) + "”列的值。";
}

}  // namespace qm
