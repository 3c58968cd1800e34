#include "data/sheets/xml_scanner.h"

#include <algorithm>
#include <cstring>

namespace qm::sheets {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where `c` first stands in `text` from `from` on, or npos. The names, values and texts of
// workbook parts are mostly a few bytes long, where a plain loop beats a library search's set-up;
// longer stretches go to memchr.
std::size_t Find(std::string_view text, char c, std::size_t from = 0) {
    const std::size_t near = std::min(text.size(), from + 16);
    for (std::size_t i = from; i < near; ++i)
        if (text[i] == c) return i;
    if (near >= text.size()) return std::string_view::npos;
    const void* hit = std::memchr(text.data() + near, c, text.size() - near);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
               : std::string_view::npos;
}

std::string_view LocalName(std::string_view qualified) {
    const std::size_t colon = Find(qualified, ':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

}  // namespace

bool Contains(std::string_view text, std::string_view what) {
    return what.empty() || ::memmem(text.data(), text.size(), what.data(), what.size()) != nullptr;
}

std::size_t EndOfLastElement(std::string_view xml, std::string_view local) {
    if (Contains(xml, "<![CDATA[")) return 0;
    const std::string close = std::string(local) + ">";
    for (std::size_t at = xml.rfind(close); at != std::string_view::npos && at > 0;
         at = xml.rfind(close, at - 1)) {
        const std::size_t open = xml.rfind('<', at);
        if (open == std::string_view::npos) return 0;
        if (open + 1 >= xml.size() || xml[open + 1] != '/') continue;
        const std::string_view name = xml.substr(open + 2, at - open - 2);
        if (name.empty() || name.back() == ':') return at + close.size();
    }
    return 0;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendXmlDecoded(std::string& out, std::string_view raw) {
    std::size_t i = 0;
    while (i < raw.size()) {
        const std::size_t amp = raw.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(raw.substr(i));
            return;
        }
        out.append(raw.substr(i, amp - i));
        const std::size_t semi = raw.find(';', amp + 1);
        if (semi == std::string_view::npos || semi - amp > 12) {
            out += '&';
            i = amp + 1;
            continue;
        }
        const std::string_view entity = raw.substr(amp + 1, semi - amp - 1);
        if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (entity == "amp")
            out += '&';
        else if (entity == "quot")
            out += '"';
        else if (entity == "apos")
            out += '\'';
        else if (entity.size() >= 2 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            unsigned long cp = 0;
            bool ok = entity.size() > (hex ? 2u : 1u);
            for (std::size_t k = hex ? 2 : 1; k < entity.size() && ok; ++k) {
                const char c = entity[k];
                int d = c >= '0' && c <= '9'          ? c - '0'
                        : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
                if (d < 0)
                    ok = false;
                else
                    cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
                if (cp > 0x10FFFF) ok = false;
            }
            if (!ok) {
                out.append(raw.substr(amp, semi - amp + 1));
            } else {
                AppendUtf8(out, cp);
            }
        } else {
            out.append(raw.substr(amp, semi - amp + 1));
        }
        i = semi + 1;
    }
}

XmlScanner::XmlScanner(std::string_view xml) : xml_(xml) {
    // A byte order mark is not text.
    if (xml_.size() >= 3 && static_cast<unsigned char>(xml_[0]) == 0xEF &&
        static_cast<unsigned char>(xml_[1]) == 0xBB && static_cast<unsigned char>(xml_[2]) == 0xBF)
        pos_ = 3;
}

XmlScanner::Event XmlScanner::next() {
    if (failed_) return Event::Error;
    while (true) {
        if (pos_ >= xml_.size()) return Event::End;
        if (xml_[pos_] != '<') {
            const std::size_t lt = Find(xml_, '<', pos_);
            const std::size_t end = lt == std::string_view::npos ? xml_.size() : lt;
            text_ = xml_.substr(pos_, end - pos_);
            cdata_ = false;
            pos_ = end;
            return Event::Text;
        }
        const std::string_view rest = xml_.substr(pos_);
        const bool special = rest.size() > 1 && (rest[1] == '!' || rest[1] == '?');
        if (special && rest.substr(0, 4) == "<!--") {
            const std::size_t close = rest.find("-->", 4);
            if (close == std::string_view::npos) break;
            pos_ += close + 3;
            continue;
        }
        if (special && rest.substr(0, 9) == "<![CDATA[") {
            const std::size_t close = rest.find("]]>", 9);
            if (close == std::string_view::npos) break;
            text_ = rest.substr(9, close - 9);
            cdata_ = true;
            pos_ += close + 3;
            return Event::Text;
        }
        if (special && rest[1] == '?') {
            const std::size_t close = rest.find("?>", 2);
            if (close == std::string_view::npos) break;
            pos_ += close + 2;
            continue;
        }
        if (special) {
            // DOCTYPE and other declarations, with a bracketed internal subset: skipped, never read.
            int depth = 0;
            std::size_t i = 2;
            for (; i < rest.size(); ++i) {
                if (rest[i] == '[')
                    ++depth;
                else if (rest[i] == ']')
                    --depth;
                else if (rest[i] == '>' && depth <= 0)
                    break;
            }
            if (i >= rest.size()) break;
            pos_ += i + 1;
            continue;
        }
        const bool end = rest.size() > 1 && rest[1] == '/';
        std::size_t i = end ? 2 : 1;
        const std::size_t nameBegin = i;
        while (i < rest.size() && !IsSpace(rest[i]) && rest[i] != '>' && rest[i] != '/') ++i;
        if (i == nameBegin || i >= rest.size()) break;
        name_ = LocalName(rest.substr(nameBegin, i - nameBegin));
        // Find the tag's end, stepping over quoted attribute values (which may hold '>').
        const std::size_t attrBegin = i;
        char quote = 0;
        for (; i < rest.size(); ++i) {
            const char c = rest[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (i >= rest.size()) break;
        selfClosing_ = !end && rest[i - 1] == '/';
        attributes_ = rest.substr(attrBegin, i - attrBegin - (selfClosing_ ? 1 : 0));
        pos_ += i + 1;
        return end ? Event::EndTag : Event::StartTag;
    }
    failed_ = true;
    return Event::Error;
}

bool XmlScanner::nextAttribute(std::size_t& at, std::string_view& localName, std::string_view& value) const {
    const std::string_view a = attributes_;
    std::size_t i = at;
    while (i < a.size() && IsSpace(a[i])) ++i;
    if (i >= a.size()) return false;
    const std::size_t nameBegin = i;
    while (i < a.size() && a[i] != '=' && !IsSpace(a[i])) ++i;
    const std::string_view name = a.substr(nameBegin, i - nameBegin);
    while (i < a.size() && IsSpace(a[i])) ++i;
    if (i >= a.size() || a[i] != '=') return false;
    ++i;
    while (i < a.size() && IsSpace(a[i])) ++i;
    if (i >= a.size() || (a[i] != '"' && a[i] != '\'')) return false;
    const char quote = a[i++];
    const std::size_t close = Find(a, quote, i);
    if (close == std::string_view::npos) return false;
    localName = LocalName(name);
    value = a.substr(i, close - i);
    at = close + 1;
    return true;
}

bool XmlScanner::rawAttribute(std::string_view localName, std::string_view& value) const {
    std::string_view name, raw;
    for (std::size_t at = 0; nextAttribute(at, name, raw);) {
        if (name == localName) {
            value = raw;
            return true;
        }
    }
    return false;
}

bool XmlScanner::attribute(std::string_view localName, std::string& value) const {
    std::string_view raw;
    if (!rawAttribute(localName, raw)) return false;
    value.clear();
    AppendXmlDecoded(value, raw);
    return true;
}

void XmlScanner::appendText(std::string& out) const {
    if (cdata_ || Find(text_, '&') == std::string_view::npos)
        out.append(text_);
    else
        AppendXmlDecoded(out, text_);
}

bool XmlScanner::plainContent(std::string_view open, std::string_view close, std::size_t most,
                              std::string_view stops, std::string& out) {
    const std::string_view rest = xml_.substr(pos_);
    if (failed_ || !rest.starts_with(open)) return false;
    const std::size_t last = std::min(rest.size(), open.size() + most);
    std::size_t end = open.size();
    for (; end < last; ++end) {
        const char c = rest[end];
        if (c == '<' || c == '&' || (!stops.empty() && stops.find(c) != std::string_view::npos)) break;
    }
    if (rest.substr(end, close.size()) != close) return false;
    out.assign(rest.substr(open.size(), end - open.size()));
    pos_ += end + close.size();
    return true;
}

bool XmlScanner::skipElement() {
    if (selfClosing_) return true;
    int depth = 1;
    while (true) {
        switch (next()) {
            case Event::StartTag:
                if (!selfClosing_) ++depth;
                break;
            case Event::EndTag:
                if (--depth == 0) return true;
                break;
            case Event::Text:
                break;
            case Event::End:
            case Event::Error:
                return false;
        }
    }
}

}  // namespace qm::sheets
