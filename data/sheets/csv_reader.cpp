// .csv: text in UTF-8 (with or without a byte order mark), UTF-16 with a byte order mark, or
// GB18030 (what Chinese spreadsheet programs write as "CSV"), fields separated by commas.

#include <iconv.h>

#include <cerrno>

#include "data/sheets/readers.h"
#include "data/sheets/sheet_builder.h"

namespace qm::sheets {
namespace {

bool IsUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t n;
        unsigned long cp;
        if (c >= 0xC2 && c <= 0xDF)
            n = 1, cp = c & 0x1Fu;
        else if ((c & 0xF0) == 0xE0)
            n = 2, cp = c & 0x0Fu;
        else if (c >= 0xF0 && c <= 0xF4)
            n = 3, cp = c & 0x07u;
        else
            return false;
        if (s.size() - i <= n) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = cp << 6 | (t & 0x3Fu);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

// `in` converted from `encoding` to UTF-8; false when it is not valid in that encoding.
bool Convert(const char* encoding, std::string_view in, std::string& out) {
    struct Closer {
        iconv_t cd;
        ~Closer() {
            if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
        }
    } conv{iconv_open("UTF-8", encoding)};
    if (conv.cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t done = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + done;
        std::size_t dstLeft = out.size() - done;
        const std::size_t r = iconv(conv.cd, &src, &srcLeft, &dst, &dstLeft);
        done = out.size() - dstLeft;
        if (r == static_cast<std::size_t>(-1)) {
            if (errno != E2BIG) return false;
            out.resize(out.size() * 2);
        }
    }
    out.resize(done);
    return true;
}

}  // namespace

ReadOutcome ReadCsv(std::span<const std::uint8_t> bytes, std::string_view sheetName) {
    ReadOutcome outcome;
    try {
        std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::string converted;
        if (raw.starts_with("\xEF\xBB\xBF")) {
            raw.remove_prefix(3);
            if (!IsUtf8(raw)) {
                outcome.problem = "damaged: the .csv says it is UTF-8 but is not";
                return outcome;
            }
        } else if (raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF")) {
            if (!Convert("UTF-16", raw, converted)) {
                outcome.problem = "damaged: the UTF-16 text of the .csv is broken";
                return outcome;
            }
            raw = converted;
            if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
        } else if (!IsUtf8(raw)) {
            if (!Convert("GB18030", raw, converted)) {
                outcome.problem = "damaged: the .csv text is neither UTF-8 nor GB18030";
                return outcome;
            }
            raw = converted;
        }

        auto workbook = std::make_unique<xls::Workbook>();
        workbook->sheets.emplace_back();
        xls::Sheet& sheet = workbook->sheets.back();
        sheet.name = std::string(sheetName);
        sheet.impl().formats = std::make_shared<xls::FormatTable>();
        std::size_t cells = 0;
        SheetBuilder build(sheet, cells);
        std::size_t row = 0, column = 0, line = 1, quoteLine = 0;
        std::string field;
        bool quoted = false, inQuotes = false;
        auto endField = [&]() {
            const bool ok = build.text(row, column, field, 0);
            field.clear();
            quoted = false;
            return ok;
        };
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (inQuotes) {
                if (c == '"') {
                    if (i + 1 < raw.size() && raw[i + 1] == '"') {
                        field += '"';
                        ++i;
                    } else {
                        inQuotes = false;
                    }
                } else {
                    if (c == '\n') ++line;
                    field += c;
                }
                continue;
            }
            if (c == '"' && field.empty() && !quoted) {
                inQuotes = quoted = true;
                quoteLine = line;
            } else if (c == ',') {
                if (!endField()) break;
                ++column;
            } else if (c == '\r' || c == '\n') {
                if (!endField()) break;
                if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
                ++row;
                ++line;
                column = 0;
            } else {
                field += c;
            }
        }
        if (build.problem().empty() && inQuotes) {
            outcome.problem = "damaged: a quoted field of the .csv is not closed (it opens on line " +
                              std::to_string(quoteLine) + ")";
            return outcome;
        }
        if (build.problem().empty()) endField();
        if (!build.problem().empty()) {
            outcome.problem = build.problem();
            return outcome;
        }
        sheet.impl().finish();
        outcome.workbook = std::move(workbook);
    } catch (...) {
        outcome.workbook.reset();
        outcome.problem = "too large: out of memory";
    }
    return outcome;
}

}  // namespace qm::sheets
