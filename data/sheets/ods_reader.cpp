// .ods: the cells of content.xml with their typed values, and the data styles of content.xml and
// styles.xml translated into the format codes the renderer reads, so an .ods shows what the same
// workbook shows in any other format.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include "common/large_memory.h"
#include "data/format/calendar.h"
#include "data/sheets/readers.h"
#include "data/sheets/sheet_builder.h"
#include "data/sheets/xml_scanner.h"
#include "data/sheets/zip_package.h"

namespace qm::sheets {
namespace {

using Event = XmlScanner::Event;

// ---- data styles -----------------------------------------------------------------------------

struct DataStyle {
    std::string family;  // number-style, date-style, ...
    std::string code;    // this style's own section
    bool chinese = false;
    bool cjkText = false;  // its literal texts hold non-ASCII characters
    bool elapsed = false;  // truncate-on-overflow="false"
    bool sawHours = false, sawMinutes = false, sawSeconds = false;
    int dbnum = 0;
    struct Map {
        std::string condition, style;
    };
    std::vector<Map> maps;
};

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += "\"\\\"\"";
        else
            out += c;
    }
    return out + "\"";
}

std::string Repeat(char c, long n) {
    return std::string(static_cast<std::size_t>(std::clamp(n, 0L, 64L)), c);
}

long LongOf(std::string_view raw, long fallback) {
    if (raw.empty()) return fallback;
    const std::string text(raw);
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() ? fallback : v;
}

long IntAttribute(const XmlScanner& scan, std::string_view name, long fallback) {
    std::string_view raw;
    return scan.rawAttribute(name, raw) ? LongOf(raw, fallback) : fallback;
}

// The attributes of a cell that its reading wants, taken in one pass over them (the first of
// each counts, as office:value-type comes before calcext:value-type).
struct CellAttributes {
    enum Which { Repeat, Type, Style, Value, Date, Time, Boolean, String, Count };
    std::string_view raw[Count];
    bool has[Count] = {};

    explicit CellAttributes(const XmlScanner& scan) {
        static constexpr std::string_view kNames[Count] = {
            "number-columns-repeated", "value-type",  "style-name", "value", "date-value", "time-value",
            "boolean-value",           "string-value"};
        std::string_view name, value;
        for (std::size_t at = 0; scan.nextAttribute(at, name, value);) {
            for (int i = 0; i < Count; ++i) {
                if (!has[i] && name == kNames[i]) {
                    raw[i] = value;
                    has[i] = true;
                    break;
                }
            }
        }
    }
    // The value with its entities decoded; false when the cell has no such attribute.
    bool get(Which which, std::string& out) const {
        if (!has[which]) return false;
        out.clear();
        AppendXmlDecoded(out, raw[which]);
        return true;
    }
};

bool Attr(const XmlScanner& scan, std::string_view name, std::string_view want) {
    std::string_view raw;
    return scan.rawAttribute(name, raw) && raw == want;
}

// The integer part of a number element: min digits as 0, at least one placeholder, grouped as
// #,##0 when asked, literals embedded at their digit positions (counted from the point).
std::string IntegerPart(long minDigits, bool grouping,
                        const std::vector<std::pair<long, std::string>>& embedded) {
    std::string digits = minDigits > 0 ? Repeat('0', minDigits) : "#";
    if (grouping) {
        while (digits.size() < 4) digits.insert(0, "#");
        digits.insert(digits.size() - 3, ",");
    }
    if (embedded.empty()) return digits;
    // Insert from the highest position so the lower ones keep their place.
    std::vector<std::pair<long, std::string>> sorted = embedded;
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.first > b.first; });
    for (const auto& [position, text] : sorted) {
        long count = 0;
        std::size_t at = digits.size();
        while (at > 0 && count < position) {
            --at;
            if (digits[at] == '0' || digits[at] == '#') ++count;
        }
        if (count < position) digits.insert(0, Repeat('0', position - count)), at = 0;
        digits.insert(at, Quote(text));
    }
    return digits;
}

// Reads one data style element (the scanner on its start tag) into `style`.
bool ReadDataStyle(XmlScanner& scan, DataStyle& style) {
    style.family = std::string(scan.name());
    std::string value;
    if (scan.attribute("language", value) && value == "zh") style.chinese = true;
    if (scan.attribute("transliteration-format", value))
        style.dbnum = value == "壹" ? 2 : value == "一" ? 1 : 0;
    style.elapsed = Attr(scan, "truncate-on-overflow", "false");
    if (scan.selfClosing()) return true;
    std::string& code = style.code;
    // Open number element whose embedded texts are being read.
    bool inNumber = false;
    long numberMin = 1, decimals = -1, minDecimals = -1, factor = 1;
    bool grouping = false;
    std::vector<std::pair<long, std::string>> embedded;
    std::string embeddedText;
    long embeddedPosition = 0;
    bool inEmbedded = false, inText = false, inSymbol = false;
    std::string text;
    auto finishNumber = [&]() {
        if (decimals < 0) {
            code += "General";  // a number without decimal places is the standard format
        } else {
            code += IntegerPart(numberMin, grouping, embedded);
            if (decimals > 0) {
                const long fixed = minDecimals < 0 ? decimals : std::min(minDecimals, decimals);
                code += "." + Repeat('0', fixed) + Repeat('#', decimals - fixed);
            }
        }
        for (long f = factor; f >= 1000; f /= 1000) code += ',';
        embedded.clear();
    };
    int depth = 1;
    while (depth > 0) {
        const Event e = scan.next();
        if (e == Event::End || e == Event::Error) return false;
        if (e == Event::Text) {
            if (inText || inSymbol || inEmbedded) scan.appendText(inEmbedded ? embeddedText : text);
            continue;
        }
        const std::string_view n = scan.name();
        if (e == Event::EndTag) {
            --depth;
            if (n == "text" && inText) {
                // In a percentage style the percent sign multiplies; elsewhere texts are literal.
                const std::size_t percent =
                    style.family == "percentage-style" ? text.find('%') : std::string::npos;
                if (percent != std::string::npos)
                    code += (percent > 0 ? Quote(text.substr(0, percent)) : "") + "%" +
                            (percent + 1 < text.size() ? Quote(text.substr(percent + 1)) : "");
                else
                    code += Quote(text);
                for (unsigned char c : text)
                    if (c >= 0x80) style.cjkText = true;
                inText = false;
            } else if (n == "currency-symbol" && inSymbol) {
                code += Quote(text);
                inSymbol = false;
            } else if (n == "embedded-text" && inEmbedded) {
                embedded.emplace_back(embeddedPosition, embeddedText);
                inEmbedded = false;
            } else if (n == "number" && inNumber) {
                finishNumber();
                inNumber = false;
            }
            continue;
        }
        if (!scan.selfClosing()) ++depth;
        if (n == "text") {
            text.clear();
            inText = !scan.selfClosing();
        } else if (n == "currency-symbol") {
            text.clear();
            inSymbol = !scan.selfClosing();
        } else if (n == "embedded-text") {
            embeddedText.clear();
            embeddedPosition = IntAttribute(scan, "position", 0);
            inEmbedded = !scan.selfClosing();
        } else if (n == "number") {
            numberMin = IntAttribute(scan, "min-integer-digits", 0);
            decimals = IntAttribute(scan, "decimal-places", -1);
            minDecimals = IntAttribute(scan, "min-decimal-places", -1);
            grouping = Attr(scan, "grouping", "true");
            std::string_view raw;
            factor = scan.rawAttribute("display-factor", raw)
                         ? std::max(1L, IntAttribute(scan, "display-factor", 1))
                         : 1;
            if (scan.selfClosing())
                finishNumber();
            else
                inNumber = true;
        } else if (n == "scientific-number") {
            const long places = IntAttribute(scan, "decimal-places", 0);
            const long interval = IntAttribute(scan, "exponent-interval", 1);
            std::string integer = Repeat('0', std::max(1L, IntAttribute(scan, "min-integer-digits", 1)));
            if (interval > 1) integer = Repeat('#', interval - static_cast<long>(integer.size())) + integer;
            code += integer;
            if (places > 0) code += "." + Repeat('0', places);
            code += "E+" + Repeat('0', std::max(1L, IntAttribute(scan, "min-exponent-digits", 2)));
        } else if (n == "fraction") {
            const long whole = IntAttribute(scan, "min-integer-digits", -1);
            if (whole >= 0) code += (whole > 0 ? Repeat('0', whole) : "#") + " ";
            const long numerator = std::max(1L, IntAttribute(scan, "min-numerator-digits", 1));
            code += Repeat('?', numerator) + "/";
            const long fixed = IntAttribute(scan, "denominator-value", 0);
            if (fixed > 0) {
                code += std::to_string(fixed);
            } else {
                const long most = IntAttribute(scan, "max-denominator-value", 0);
                const long digits = most > 0 ? static_cast<long>(std::to_string(most).size())
                                             : std::max(1L, IntAttribute(scan, "min-denominator-digits", 1));
                code += Repeat('?', digits);
            }
        } else if (n == "day") {
            code += Attr(scan, "style", "long") ? "dd" : "d";
        } else if (n == "month") {
            const bool textual = Attr(scan, "textual", "true"), longForm = Attr(scan, "style", "long");
            code += textual ? (longForm ? "mmmm" : "mmm") : (longForm ? "mm" : "m");
        } else if (n == "year") {
            code += Attr(scan, "style", "long") ? "yyyy" : "yy";
        } else if (n == "day-of-week") {
            const bool longForm = Attr(scan, "style", "long");
            code += style.chinese ? (longForm ? "aaaa" : "aaa") : (longForm ? "dddd" : "ddd");
        } else if (n == "hours") {
            const std::string h = Attr(scan, "style", "long") ? "hh" : "h";
            code += style.elapsed && !style.sawHours ? "[" + h + "]" : h;
            style.sawHours = true;
        } else if (n == "minutes") {
            const std::string m = Attr(scan, "style", "long") ? "mm" : "m";
            code += style.elapsed && !style.sawHours && !style.sawMinutes ? "[" + m + "]" : m;
            style.sawMinutes = true;
        } else if (n == "seconds") {
            const std::string s = Attr(scan, "style", "long") ? "ss" : "s";
            code += style.elapsed && !style.sawHours && !style.sawMinutes && !style.sawSeconds ? "[" + s + "]"
                                                                                               : s;
            const long places = IntAttribute(scan, "decimal-places", 0);
            if (places > 0) code += "." + Repeat('0', std::min(places, 3L));
            style.sawSeconds = true;
        } else if (n == "am-pm") {
            code += "\x01";  // decided when the whole style is known
        } else if (n == "text-content") {
            code += "@";
        } else if (n == "boolean") {
            code += "General";
        } else if (n == "map") {
            DataStyle::Map map;
            scan.attribute("condition", map.condition);
            scan.attribute("apply-style-name", map.style);
            style.maps.push_back(std::move(map));
        }
    }
    // AM/PM reads 上午/下午 in a Chinese style or one spelled with Chinese text.
    const std::string ampm = style.chinese || style.cjkText ? "上午/下午" : "AM/PM";
    for (std::size_t at; (at = code.find('\x01')) != std::string::npos;) code.replace(at, 1, ampm);
    std::string prefix;
    if (style.dbnum) prefix += style.dbnum == 2 ? "[DBNum2]" : "[DBNum1]";
    if (style.chinese) prefix += "[$-804]";
    code = prefix + code;
    return true;
}

// "value()>=0" -> ">=0"; "" when not of that form.
std::string Condition(std::string_view condition) {
    if (!condition.starts_with("value()")) return "";
    std::string rest(condition.substr(7));
    rest.erase(std::remove(rest.begin(), rest.end(), ' '), rest.end());
    if (rest.starts_with("!=")) rest = "<>" + rest.substr(2);
    return rest;
}

class StyleSet {
  public:
    std::map<std::string, DataStyle> data;  // by style name
    struct CellStyle {
        std::string parent, dataStyle;
    };
    std::map<std::string, CellStyle> cells;

    // Reads the data styles and the table-cell styles of one styles container.
    bool read(XmlScanner& scan, std::string_view endTag) {
        std::string name, family;
        for (Event e; (e = scan.next()) != Event::End;) {
            if (e == Event::Error) return false;
            if (e == Event::EndTag && scan.name() == endTag) return true;
            if (e != Event::StartTag) continue;
            const std::string_view n = scan.name();
            if (n.ends_with("-style") && n != "default-style" && scan.attribute("name", name)) {
                DataStyle style;
                if (!ReadDataStyle(scan, style)) return false;
                data[name] = std::move(style);
            } else if (n == "style" && scan.attribute("family", family) && family == "table-cell" &&
                       scan.attribute("name", name)) {
                CellStyle cell;
                scan.attribute("parent-style-name", cell.parent);
                scan.attribute("data-style-name", cell.dataStyle);
                cells[name] = std::move(cell);
                if (!scan.selfClosing() && !scan.skipElement()) return false;
            }
        }
        return true;
    }

    // The full code of a data style: its mapped sections, then its own.
    std::string code(const std::string& name, int depth = 0) const {
        auto it = data.find(name);
        if (it == data.end() || depth > 4) return "";
        const DataStyle& s = it->second;
        if (s.maps.empty()) return s.code;
        std::vector<std::string> conditions;
        for (const auto& m : s.maps) conditions.push_back(Condition(m.condition));
        // The positional sections of a code come back without their conditions.
        const bool positional2 = conditions == std::vector<std::string>{">=0"};
        const bool positional3 = conditions == std::vector<std::string>{">0", "<0"};
        const bool positional4 = conditions == std::vector<std::string>{">0", "<0", "=0"};
        std::string out;
        for (std::size_t i = 0; i < s.maps.size(); ++i) {
            if (!out.empty()) out += ';';
            const std::string section = code(s.maps[i].style, depth + 1);
            if (positional2 || positional3 || positional4 || conditions[i].empty())
                out += section;
            else
                out += "[" + conditions[i] + "]" + section;
        }
        return out + ";" + s.code;
    }

    // The data style of a cell style, looking through its parents.
    std::string dataStyleOf(const std::string& cellStyle) const {
        std::string name = cellStyle;
        for (int depth = 0; depth < 8 && !name.empty(); ++depth) {
            auto it = cells.find(name);
            if (it == cells.end()) return "";
            if (!it->second.dataStyle.empty()) return it->second.dataStyle;
            name = it->second.parent;
        }
        return "";
    }
};

// ---- values ----------------------------------------------------------------------------------

// "PT36H15M00S" (or "-PT...", with days "P1DT2H") as days.
bool ParseDuration(std::string_view text, double& days) {
    bool negative = false;
    if (text.starts_with('-')) negative = true, text.remove_prefix(1);
    if (!text.starts_with('P')) return false;
    text.remove_prefix(1);
    double total = 0;
    bool time = false;
    while (!text.empty()) {
        if (text[0] == 'T') {
            time = true;
            text.remove_prefix(1);
            continue;
        }
        std::size_t i = 0;
        while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) ++i;
        if (i == 0 || i >= text.size()) return false;
        const double v = std::strtod(std::string(text.substr(0, i)).c_str(), nullptr);
        switch (text[i]) {
            case 'D':
                total += v * 86400;
                break;
            case 'H':
                total += v * 3600;
                break;
            case 'M':
                total += time ? v * 60 : v * 30 * 86400;
                break;
            case 'S':
                total += v;
                break;
            case 'Y':
                total += v * 365 * 86400;
                break;
            default:
                return false;
        }
        text.remove_prefix(i + 1);
    }
    days = (negative ? -total : total) / 86400.0;
    return true;
}

// Most cells hold one plain paragraph, "<text:p>名字</text:p></table:table-cell>" as the
// office writes it, read at once; anything else (spans, spaces, several paragraphs, entities,
// other prefixes) is read tag by tag.
bool QuickCellText(XmlScanner& scan, std::string& text) {
    return scan.plainContent("<text:p>", "</text:p></table:table-cell>", 256, "", text);
}

// Why the content could not be read, "" when it was.
std::string ContentProblem(ZipPackage::ReadStatus status) {
    switch (status) {
        case ZipPackage::ReadStatus::Ok:
            break;
        case ZipPackage::ReadStatus::Missing:
            return "the archive holds no spreadsheet (no content.xml)";
        case ZipPackage::ReadStatus::TooLarge:
            return "too large: content.xml";
        case ZipPackage::ReadStatus::Damaged:
            return "damaged: content.xml cannot be inflated";
        case ZipPackage::ReadStatus::Doctype:
            return "damaged: content.xml declares a DOCTYPE";
    }
    return "";
}

class OdsReader {
  public:
    explicit OdsReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    ReadOutcome read() {
        if (!zip_.open(bytes_)) return fail("damaged: not a readable zip archive");
        std::string xml;
        switch (zip_.read("styles.xml", xml, std::size_t{64} << 20)) {
            case ZipPackage::ReadStatus::Ok: {
                XmlScanner scan(xml);
                if (!styles_.read(scan, "")) return fail("damaged: styles.xml is not well-formed");
                break;
            }
            case ZipPackage::ReadStatus::Missing:
                break;
            case ZipPackage::ReadStatus::TooLarge:
                return fail("too large: styles.xml");
            case ZipPackage::ReadStatus::Damaged:
                return fail("damaged: styles.xml cannot be inflated");
            case ZipPackage::ReadStatus::Doctype:
                return fail("damaged: styles.xml declares a DOCTYPE");
        }
        // The content is parsed in stretches of whole rows as it is inflated, so that a workbook
        // of any size takes the memory of its cells, not of its XML as well.
        Content content;
        std::string problem;
        switch (readInStretches(content, problem)) {
            case Step::Done:
                return finish(content);
            case Step::Failed:
                return fail(problem);
            case Step::More:
                break;
        }
        // A stretch ended at a row's end that stood deeper than the rows of a table (in a
        // comment, or in a table inside a cell): the content is read again, whole, within a
        // share of the machine's memory.
        formatByStyle_.clear();
        cellCount_ = 0;
        beyondLastColumn_ = false;
        problem = ContentProblem(zip_.read("content.xml", xml, WholePartLimit(bytes_.size())));
        if (!problem.empty()) return fail(problem);
        Content whole;
        if (readContent(xml, whole, true, problem) != Step::Done)
            return fail(problem.empty() ? "damaged: content.xml is not well-formed" : problem);
        return finish(whole);
    }

  private:
    // The content as far as it has been read.
    struct Content {
        std::unique_ptr<xls::Workbook> workbook = std::make_unique<xls::Workbook>();
        std::shared_ptr<xls::FormatTable> formats = std::make_shared<xls::FormatTable>();
        // The table a stretch ended in: its cells so far, its columns' styles and its next row.
        bool inTable = false;
        std::unique_ptr<SheetBuilder> build;
        std::vector<std::string> columnStyles;
        std::size_t row = 0;
        // The size the content says it has, and how much of it the stretches before held.
        std::size_t stated = 0, consumed = 0;
        std::size_t room = kMaxCells;  // cells that may still be reserved ahead
        std::size_t textRoom = 0;      // bytes of text likewise: the content's size, once
    };
    // Done: the content is read. More: the stretch ended where the next one goes on (in the
    // last stretch that is damage). Failed: the problem says why, or is empty for markup that
    // is not well-formed.
    enum class Step { Done, More, Failed };

    static constexpr std::size_t kContentSlice = std::size_t{4} << 20;

    // Done, Failed with a reason, or More when a stretch could not be parsed where it was cut.
    Step readInStretches(Content& content, std::string& problem) {
        content.stated = std::min(zip_.statedSize("content.xml"), SlicedPartLimit(bytes_.size()));
        content.textRoom = std::min(
            {content.stated, std::size_t{UINT32_MAX}, static_cast<std::size_t>(MachineMemory() / 2)});
        Step step = Step::More;
        bool cutBadly = false;
        std::size_t stretches = 0;
        const ZipPackage::ReadStatus status = ZipPackage::StreamAhead(
            bytes_, "content.xml", SlicedPartLimit(bytes_.size()), kContentSlice,
            [](std::string_view xml) { return EndOfLastElement(xml, "table-row"); },
            [&](std::string_view stretch, bool last) {
                step = readContent(stretch, content, last, problem);
                content.consumed += stretch.size();
                // Markup that breaks where a stretch was cut may be whole in the part.
                if (step == Step::Failed && problem.empty() && (!last || stretches > 0)) cutBadly = true;
                ++stretches;
                return step == Step::More;
            });
        if (status != ZipPackage::ReadStatus::Ok) return problem = ContentProblem(status), Step::Failed;
        if (cutBadly) return Step::More;
        if (step == Step::Failed && problem.empty()) problem = "damaged: content.xml is not well-formed";
        return step;
    }

    ReadOutcome fail(std::string why) {
        ReadOutcome out;
        out.problem = std::move(why);
        return out;
    }

    ReadOutcome finish(Content& content) {
        for (xls::Sheet& sheet : content.workbook->sheets) {
            xls::Sheet::Impl& impl = sheet.impl();
            impl.formats = content.formats;
            impl.date1904 = date1904_;
            impl.shared = nullptr;
            impl.finish();
        }
        ReadOutcome out;
        out.workbook = std::move(content.workbook);
        return out;
    }

    std::uint16_t formatOf(const std::string& cellStyle) {
        auto hit = formatByStyle_.find(cellStyle);
        if (hit != formatByStyle_.end()) return hit->second;
        const std::string code = styles_.code(styles_.dataStyleOf(cellStyle));
        const std::uint16_t index = formats_->add(code);
        formatByStyle_.emplace(cellStyle, index);
        return index;
    }

    // One stretch of the content: from where the stretch before ended (perhaps inside a table)
    // to the end of a row, or to the end of the part when `last`.
    Step readContent(std::string_view xml, Content& content, bool last, std::string& problem) {
        XmlScanner scan(xml);
        formats_ = content.formats;
        const auto table = [&]() {
            Step step = readTable(scan, content, problem);
            if (step == Step::Done) {
                content.inTable = false;
                content.build.reset();
            } else if (step == Step::More && last) {
                step = Step::Failed;
            }
            return step;
        };
        if (content.inTable) {
            const Step step = table();
            if (step != Step::Done) return step;
        }
        for (Event e; (e = scan.next()) != Event::End;) {
            if (e == Event::Error) return Step::Failed;
            if (e != Event::StartTag) continue;
            const std::string_view n = scan.name();
            if (n == "automatic-styles" && !scan.selfClosing()) {
                if (!styles_.read(scan, "automatic-styles")) return Step::Failed;
            } else if (n == "null-date") {
                std::string date;
                if (scan.attribute("date-value", date)) date1904_ = date.starts_with("1904-01-01");
            } else if (n == "table") {
                xls::Sheet& sheet = content.workbook->sheets.emplace_back();
                scan.attribute("name", sheet.name);
                sheet.kind = xls::SheetKind::Worksheet;
                if (scan.selfClosing()) continue;
                // The builder holds the sheet's cells, which stay where they are as later
                // sheets are added.
                content.build = std::make_unique<SheetBuilder>(sheet, cellCount_);
                // Room for as many cells as the rest of the content could hold (a value cell
                // takes 60 bytes of it at least), taken at once so that the cells are never
                // copied as they grow: pages never written take no memory.
                // What all tables take in all stays within the cells a workbook may hold.
                const std::size_t at = content.consumed + scan.offset();
                const std::size_t room =
                    std::min(content.stated > at ? (content.stated - at) / 64 : 0, content.room);
                content.build->reserve(room);
                content.room -= room;
                // The table's own texts likewise, within what is left of the content's size.
                const std::size_t textRoom =
                    std::min(content.stated > at ? content.stated - at : 0, content.textRoom);
                content.build->reserveTexts(room, textRoom);
                content.textRoom -= textRoom;
                content.columnStyles.clear();
                content.row = 0;
                content.inTable = true;
                const Step step = table();
                if (step != Step::Done) return step;
            }
        }
        return last ? Step::Done : Step::More;
    }

    struct PendingCell {
        std::size_t column;
        enum Kind { Number, Text, Bool } kind;
        double number = 0;
        bool flag = false;
        std::string text;
        std::uint16_t format = 0;
    };

    // The rows of the table `content` is in, to its end (Done) or to the end of the stretch
    // (More).
    Step readTable(XmlScanner& scan, Content& content, std::string& problem) {
        SheetBuilder& build = *content.build;
        std::vector<std::string>& columnStyles = content.columnStyles;  // default cell style of each column
        std::size_t& row = content.row;
        std::vector<PendingCell> cells;
        std::string value, rowStyle;
        while (true) {
            const Event e = scan.next();
            if (e == Event::End) return Step::More;
            if (e == Event::Error) return Step::Failed;
            if (e == Event::EndTag && scan.name() == "table") return Step::Done;
            if (e != Event::StartTag) continue;
            const std::string_view n = scan.name();
            if (n == "table-column") {
                std::string style = "Default";
                scan.attribute("default-cell-style-name", style);
                const long repeat = std::clamp(IntAttribute(scan, "number-columns-repeated", 1), 1L, 16384L);
                for (long i = 0; i < repeat && columnStyles.size() < 16384; ++i)
                    columnStyles.push_back(style);
                if (!scan.selfClosing() && !scan.skipElement()) return Step::Failed;
            } else if (n == "table-row") {
                const long repeat = std::max(1L, IntAttribute(scan, "number-rows-repeated", 1));
                rowStyle.clear();
                scan.attribute("default-cell-style-name", rowStyle);
                cells.clear();
                if (!scan.selfClosing() && !readRow(scan, columnStyles, rowStyle, cells)) {
                    if (beyondLastColumn_) problem = "damaged: a cell beyond column 16,384";
                    return Step::Failed;
                }
                if (!cells.empty()) {
                    for (long r = 0; r < repeat; ++r) {
                        for (const PendingCell& c : cells) {
                            bool ok = true;
                            switch (c.kind) {
                                case PendingCell::Number:
                                    ok = build.number(row + static_cast<std::size_t>(r), c.column, c.number,
                                                      c.format);
                                    break;
                                case PendingCell::Text:
                                    ok = build.text(row + static_cast<std::size_t>(r), c.column, c.text,
                                                    c.format);
                                    break;
                                case PendingCell::Bool:
                                    ok = build.boolean(row + static_cast<std::size_t>(r), c.column, c.flag,
                                                       c.format);
                                    break;
                            }
                            if (!ok) {
                                problem = build.problem();
                                return Step::Failed;
                            }
                        }
                    }
                }
                row += static_cast<std::size_t>(std::min(repeat, static_cast<long>(xls::kMaxRows)));
                if (row > xls::kMaxRows) row = xls::kMaxRows;
            } else if (!scan.selfClosing() && n != "table-rows" && n != "table-header-rows" &&
                       n != "table-row-group" && n != "table-columns" && n != "table-header-columns" &&
                       n != "table-column-group") {
                if (!scan.skipElement()) return Step::Failed;  // shapes, named ranges, forms
            }
        }
    }

    static constexpr std::size_t kLastColumns = 16384;  // columns a sheet can have
    bool beyondLastColumn_ = false;

    bool readRow(XmlScanner& scan, const std::vector<std::string>& columnStyles, const std::string& rowStyle,
                 std::vector<PendingCell>& cells) {
        std::size_t column = 0;
        std::string type, value, cellStyle;
        while (true) {
            const Event e = scan.next();
            if (e == Event::End || e == Event::Error) return false;
            if (e == Event::EndTag && scan.name() == "table-row") return true;
            if (e != Event::StartTag) continue;
            const std::string_view n = scan.name();
            if (n != "table-cell" && n != "covered-table-cell") {
                if (!scan.selfClosing() && !scan.skipElement()) return false;
                continue;
            }
            // Repeated empty cells only move the column on, however many they are; a value
            // past the last column a sheet can have is damage, not something to drop.
            const CellAttributes attributes(scan);
            const long repeat = std::max(1L, attributes.has[CellAttributes::Repeat]
                                                 ? LongOf(attributes.raw[CellAttributes::Repeat], 1)
                                                 : 1);
            PendingCell cell{};
            bool hasValue = false;
            type.clear();
            attributes.get(CellAttributes::Type, type);
            if (!attributes.get(CellAttributes::Style, cellStyle))
                cellStyle = !rowStyle.empty()              ? rowStyle
                            : column < columnStyles.size() ? columnStyles[column]
                                                           : std::string("Default");
            if (type == "float" || type == "percentage" || type == "currency") {
                char* end = nullptr;
                if (attributes.get(CellAttributes::Value, value)) {
                    cell.number = std::strtod(value.c_str(), &end);
                    hasValue = end != value.c_str() && std::isfinite(cell.number);
                }
                cell.kind = PendingCell::Number;
            } else if (type == "date") {
                if (attributes.get(CellAttributes::Date, value) &&
                    format::IsoDateToSerial(value, date1904_, cell.number))
                    hasValue = true;
                cell.kind = PendingCell::Number;
            } else if (type == "time") {
                double days;
                if (attributes.get(CellAttributes::Time, value) && ParseDuration(value, days)) {
                    cell.number = days;
                    hasValue = true;
                }
                cell.kind = PendingCell::Number;
            } else if (type == "boolean") {
                if (attributes.get(CellAttributes::Boolean, value)) {
                    cell.flag = value == "true";
                    hasValue = true;
                }
                cell.kind = PendingCell::Bool;
            } else if (type == "string") {
                cell.kind = PendingCell::Text;
                if (attributes.get(CellAttributes::String, cell.text)) hasValue = !cell.text.empty();
            }
            // The paragraphs of the cell: the text of a string cell.
            if (!scan.selfClosing()) {
                std::string text;
                if (!QuickCellText(scan, text) && !readCellText(scan, text)) return false;
                if (cell.kind == PendingCell::Text && !hasValue && type == "string") {
                    cell.text = std::move(text);
                    hasValue = !cell.text.empty();
                }
            }
            if (hasValue && n == "table-cell") {
                if (column + static_cast<std::size_t>(repeat) > kLastColumns) {
                    beyondLastColumn_ = true;
                    return false;
                }
                cell.format = formatOf(cellStyle);
                for (long i = 0; i < repeat; ++i) {
                    cell.column = column + static_cast<std::size_t>(i);
                    cells.push_back(cell);
                }
            }
            column = std::min(column + static_cast<std::size_t>(repeat), std::size_t{1} << 40);
        }
    }

    // The paragraphs of a cell joined by line breaks: spaces (<text:s text:c="n"/>), tabs and
    // line breaks expanded, spans and links read through, annotations left out.
    static bool readCellText(XmlScanner& scan, std::string& text) {
        int depth = 1, paragraphs = 0, annotation = 0;
        while (depth > 0) {
            const Event e = scan.next();
            if (e == Event::End || e == Event::Error) return false;
            const std::string_view n = scan.name();
            if (e == Event::Text) {
                if (annotation == 0) scan.appendText(text);
                continue;
            }
            if (e == Event::EndTag) {
                --depth;
                if (n == "annotation") --annotation;
                continue;
            }
            if (!scan.selfClosing()) ++depth;
            if (n == "annotation" && !scan.selfClosing()) ++annotation;
            if (annotation > 0) continue;
            if (n == "p" || n == "h") {
                if (paragraphs++ > 0) text += '\n';
            } else if (n == "s") {
                text.append(static_cast<std::size_t>(std::clamp(IntAttribute(scan, "c", 1), 1L, 1000L)), ' ');
            } else if (n == "tab") {
                text += '\t';
            } else if (n == "line-break") {
                text += '\n';
            }
        }
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    ZipPackage zip_;
    StyleSet styles_;
    std::shared_ptr<xls::FormatTable> formats_;
    std::map<std::string, std::uint16_t> formatByStyle_;
    bool date1904_ = false;
    std::size_t cellCount_ = 0;
};

}  // namespace

ReadOutcome ReadOds(std::span<const std::uint8_t> bytes) {
    try {
        return OdsReader(bytes).read();
    } catch (const std::bad_alloc&) {
        ReadOutcome out;
        out.problem = "too large: out of memory";
        return out;
    } catch (...) {
        ReadOutcome out;
        out.problem = "damaged: unreadable";
        return out;
    }
}

}  // namespace qm::sheets
