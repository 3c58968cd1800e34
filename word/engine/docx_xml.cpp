#include "word/engine/docx_xml.h"

#include <cstring>

namespace qm::engine::docx {

std::size_t TagEnd(std::string_view xml, std::size_t lt) {
    char quote = 0;
    for (std::size_t i = lt + 1; i < xml.size(); ++i) {
        const char c = xml[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return kNoPlace;
}

Extent ExtentAt(std::string_view xml, std::size_t begin) {
    Extent x;
    if (begin == kNoPlace || begin >= xml.size()) return x;
    std::size_t p = TagEnd(xml, begin);
    if (p == kNoPlace) return x;
    if (xml[p - 2] == '/') return {begin, p, p, p};
    const std::size_t open = p;
    int depth = 1;
    for (;;) {
        const std::size_t lt = xml.find('<', p);
        if (lt == kNoPlace) return x;
        std::size_t next;
        if (xml.compare(lt, 4, "<!--") == 0) {
            next = xml.find("-->", lt);
            next = next == kNoPlace ? kNoPlace : next + 3;
        } else if (xml.compare(lt, 9, "<![CDATA[") == 0) {
            next = xml.find("]]>", lt);
            next = next == kNoPlace ? kNoPlace : next + 3;
        } else if (xml.compare(lt, 2, "<?") == 0) {
            next = xml.find("?>", lt);
            next = next == kNoPlace ? kNoPlace : next + 2;
        } else if (xml.compare(lt, 2, "</") == 0) {
            next = xml.find('>', lt);
            if (next == kNoPlace) return x;
            ++next;
            if (--depth == 0) return {begin, open, lt, next};
        } else {
            next = TagEnd(xml, lt);
            if (next != kNoPlace && xml[next - 2] != '/') ++depth;
        }
        if (next == kNoPlace) return x;
        p = next;
    }
}

std::size_t MarkupStart(std::string_view xml, pugi::xml_node n) {
    const std::ptrdiff_t offset = n.offset_debug();
    if (offset < 0 || static_cast<std::size_t>(offset) > xml.size()) return kNoPlace;
    const std::size_t at = static_cast<std::size_t>(offset);
    std::string_view opening;
    switch (n.type()) {
        case pugi::node_element:
            opening = "<";
            break;
        case pugi::node_comment:
            opening = "<!--";
            break;
        case pugi::node_pi:
            opening = "<?";
            break;
        default:
            return kNoPlace;
    }
    if (at < opening.size() || xml.substr(at - opening.size(), opening.size()) != opening) return kNoPlace;
    if (n.type() != pugi::node_comment && xml.substr(at).substr(0, std::strlen(n.name())) != n.name())
        return kNoPlace;
    return at - opening.size();
}

std::string StartTagOf(std::string_view xml, pugi::xml_node n, std::string_view attribute,
                       std::string_view value) {
    const Extent x = ExtentOf(xml, n);
    if (x.end == kNoPlace) return {};
    std::string tag(xml.substr(x.begin, x.open - x.begin));
    if (x.open == x.end) {
        tag.pop_back();  // ">"
        while (!tag.empty() && (tag.back() == '/' || tag.back() == ' ')) tag.pop_back();
        tag += '>';
    }
    if (attribute.empty()) return tag;
    // The attribute's value, between the quotes after "name=".
    for (std::size_t at = tag.find(attribute); at != std::string::npos; at = tag.find(attribute, at + 1)) {
        const char before = tag[at - 1];
        if (before != ' ' && before != '\t' && before != '\r' && before != '\n') continue;
        std::size_t equals = at + attribute.size();
        while (equals < tag.size() && (tag[equals] == ' ' || tag[equals] == '\t')) ++equals;
        if (equals >= tag.size() || tag[equals] != '=') continue;
        const std::size_t quote = tag.find_first_of("\"'", equals);
        const std::size_t close = quote == std::string::npos ? quote : tag.find(tag[quote], quote + 1);
        if (close == std::string::npos) break;
        tag.replace(quote + 1, close - quote - 1, value);
        return tag;
    }
    return tag;
}

}  // namespace qm::engine::docx
