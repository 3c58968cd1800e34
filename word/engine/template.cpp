#include "word/engine/template.h"

#include <fstream>
#include <iterator>

#include "word/engine/doc_template.h"
#include "word/engine/docx_template.h"

namespace qm::engine {

std::vector<std::string> Template::VisibleNames() const {
    std::vector<std::string> names;
    for (const BookmarkInfo& b : bookmarks())
        if (!b.hidden) names.push_back(b.name);
    return names;
}

const BookmarkInfo* Template::Find(std::string_view name) const {
    for (const BookmarkInfo& b : bookmarks())
        if (b.name == name) return &b;
    return nullptr;
}

std::string Template::CheckFills(std::span<const std::string> names) const {
    for (const std::string& name : names) {
        const BookmarkInfo* b = Find(name);
        if (b && !b->refusal.empty()) return name + ": " + b->refusal;
    }
    return {};
}

namespace {

bool IsCompoundFile(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return bytes.size() >= 8 && std::equal(bytes.begin(), bytes.begin() + 8, kSignature);
}

bool IsZip(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' && bytes[2] == 3 && bytes[3] == 4;
}

}  // namespace

OpenResult OpenTemplate(std::span<const std::uint8_t> bytes) {
    try {
        if (IsCompoundFile(bytes)) return OpenDocTemplate(bytes);
        if (IsZip(bytes)) return OpenDocxTemplate(bytes);
        return {nullptr, "not a Word document (.doc or .docx)"};
    } catch (...) {
        return {nullptr, "the file could not be read"};
    }
}

OpenResult OpenTemplateFile(std::string_view path) {
    try {
        std::ifstream in(std::string(path), std::ios::binary);
        if (!in) return {nullptr, "the file cannot be read"};
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        if (in.bad()) return {nullptr, "the file cannot be read"};
        return OpenTemplate(bytes);
    } catch (...) {
        return {nullptr, "the file cannot be read"};
    }
}

bool VerifyContainer(std::span<const std::uint8_t> bytes, Format format) {
    try {
        return format == Format::Doc ? VerifyDocContainer(bytes) : VerifyDocxContainer(bytes);
    } catch (...) {
        return false;
    }
}

}  // namespace qm::engine
