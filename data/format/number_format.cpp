// The number format language: parsing a code into sections of tokens once, and rendering values
// through them. Numbers are rounded the way the office rounds them: on their decimal form of 15
// significant digits, half away from zero, so 2.675 with "0.00" shows 2.68 although the binary
// value is a little below it.

#include "data/format/number_format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/format/calendar.h"

namespace qm::format {
namespace {

// ---- decimal digits --------------------------------------------------------------------------

// The 15 significant digits of |v| > 0 and the power of ten of the first one: v = 0.d1d2... *
// 10^(exponent + 1).
struct Digits {
    std::string digits;  // exactly 15 characters '0'..'9', the first not '0'
    int exponent = 0;
};

Digits DecimalDigits(double v) {
    Digits d;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
    // "d.dddddddddddddde+XX"
    d.digits.reserve(15);
    d.digits += buf[0];
    d.digits.append(buf + 2, 14);
    d.exponent = std::atoi(buf + 17);
    return d;
}

// |v| rounded half away from zero to `decimals` places, as integer digits ("" for zero) and
// exactly `decimals` fraction digits.
void RoundFixed(double v, int decimals, std::string& integer, std::string& fraction) {
    integer.clear();
    fraction.assign(static_cast<std::size_t>(decimals), '0');
    if (v == 0 || !std::isfinite(v)) return;
    Digits d = DecimalDigits(v);
    // Digits kept: those left of the decimal point plus `decimals`.
    const int keep = d.exponent + 1 + decimals;
    if (keep < 0) return;
    std::string kept;
    if (keep < 15) {
        kept = d.digits.substr(0, static_cast<std::size_t>(keep));
        if (d.digits[static_cast<std::size_t>(keep)] >= '5') {
            int i = keep - 1;
            while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9')
                kept[static_cast<std::size_t>(i--)] = '0';
            if (i >= 0)
                ++kept[static_cast<std::size_t>(i)];
            else {
                kept.insert(kept.begin(), '1');
                ++d.exponent;
            }
        }
    } else {
        kept = d.digits + std::string(static_cast<std::size_t>(keep - 15), '0');
    }
    // kept holds digits from 10^exponent down to 10^-decimals.
    const int intCount = d.exponent + 1;
    if (intCount > 0) {
        integer =
            kept.substr(0, static_cast<std::size_t>(std::min<int>(intCount, static_cast<int>(kept.size()))));
        const std::size_t nonZero = integer.find_first_not_of('0');
        integer = nonZero == std::string::npos ? std::string() : integer.substr(nonZero);
        const std::string rest =
            kept.substr(integer.empty() ? kept.size() - static_cast<std::size_t>(decimals)
                                        : static_cast<std::size_t>(intCount));
        fraction = rest.substr(0, static_cast<std::size_t>(decimals));
        fraction.resize(static_cast<std::size_t>(decimals), '0');
    } else {
        // 0.000ddd: leading zeros after the point, then the kept digits.
        std::string all(static_cast<std::size_t>(-intCount), '0');
        all += kept;
        if (all.size() > static_cast<std::size_t>(decimals)) {
            // A carry made the value reach the next power of ten (0.999 -> 1.00).
            integer = all.substr(0, all.size() - static_cast<std::size_t>(decimals));
            const std::size_t nonZero = integer.find_first_not_of('0');
            integer = nonZero == std::string::npos ? std::string() : integer.substr(nonZero);
            fraction = all.substr(all.size() - static_cast<std::size_t>(decimals));
        } else {
            fraction = all;
            fraction.resize(static_cast<std::size_t>(decimals), '0');
        }
    }
}

// ---- calendar --------------------------------------------------------------------------------

constexpr std::array<const char*, 12> kMonthAbbr = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 12> kMonthFull = {"January",   "February", "March",    "April",
                                                    "May",       "June",     "July",     "August",
                                                    "September", "October",  "November", "December"};
constexpr std::array<const char*, 12> kMonthCn = {"一月", "二月", "三月", "四月", "五月",   "六月",
                                                  "七月", "八月", "九月", "十月", "十一月", "十二月"};
constexpr std::array<const char*, 7> kDayAbbr = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 7> kDayFull = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                 "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 7> kDayCn = {"日", "一", "二", "三", "四", "五", "六"};

// ---- Chinese numerals ------------------------------------------------------------------------

constexpr std::array<const char*, 10> kCnLower = {"〇", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
constexpr std::array<const char*, 10> kCnUpper = {"零", "壹", "贰", "叁", "肆", "伍", "陆", "柒", "捌", "玖"};

// Each digit as its numeral: 2024 -> 二〇二四.
std::string CnDigits(std::string_view digits, int style) {
    std::string out;
    for (char c : digits)
        if (c >= '0' && c <= '9')
            out += (style == 2 ? kCnUpper : kCnLower)[static_cast<std::size_t>(c - '0')];
        else
            out += c;
    return out;
}

// The reading of an integer: 12345 -> 一万二千三百四十五 (style 1), 壹万贰仟叁佰肆拾伍 (style 2).
// The office reads 10..19 as 一十.. in numbers, and as 十.. in dates (`inDate`).
std::string CnReading(std::string_view digits, int style, bool inDate) {
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string_view::npos) return style == 2 ? "零" : "〇";
    digits = digits.substr(first);
    const auto& numeral = style == 2 ? kCnUpper : kCnLower;
    const char* zero = "零";
    static constexpr std::array<const char*, 4> kLowerUnits = {"", "十", "百", "千"};
    static constexpr std::array<const char*, 4> kUpperUnits = {"", "拾", "佰", "仟"};
    const auto& units = style == 2 ? kUpperUnits : kLowerUnits;
    static constexpr std::array<const char*, 5> kBig = {"", "万", "亿", "万亿", "亿亿"};
    const std::size_t n = digits.size();
    const std::size_t groups = (n + 3) / 4;
    if (groups > kBig.size()) return std::string(digits);
    std::string out;
    bool pendingZero = false;
    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t groupIndex = groups - 1 - g;  // 0 = lowest
        const std::size_t end = n - groupIndex * 4;
        const std::size_t begin = end >= 4 ? end - 4 : 0;
        std::string_view group = digits.substr(begin, end - begin);
        if (group.find_first_not_of('0') == std::string_view::npos) {
            if (!out.empty()) pendingZero = true;
            continue;
        }
        bool zeroRun = false;
        for (std::size_t i = 0; i < group.size(); ++i) {
            const int digit = group[i] - '0';
            const std::size_t unit = group.size() - 1 - i;
            if (digit == 0) {
                if (!out.empty()) zeroRun = true;
                continue;
            }
            if (zeroRun || pendingZero) out += zero;
            zeroRun = pendingZero = false;
            out += numeral[static_cast<std::size_t>(digit)];
            out += units[unit];
        }
        out += kBig[groupIndex];
    }
    if (inDate && n == 2 && digits[0] == '1') out.erase(0, std::strlen(numeral[1]));
    return out;
}

// Replaces the digits of a rendered number: the integer run before the decimal point read as a
// whole, every other digit one by one.
std::string CnNumber(const std::string& text, int style) {
    std::string out;
    std::size_t i = 0;
    bool afterPoint = false;
    while (i < text.size()) {
        if (text[i] >= '0' && text[i] <= '9') {
            std::size_t j = i;
            while (j < text.size() && ((text[j] >= '0' && text[j] <= '9') ||
                                       (!afterPoint && text[j] == ',' && j + 1 < text.size() &&
                                        text[j + 1] >= '0' && text[j + 1] <= '9')))
                ++j;
            std::string run;
            for (std::size_t k = i; k < j; ++k)
                if (text[k] != ',') run += text[k];
            out += afterPoint ? CnDigits(run, style) : CnReading(run, style, false);
            i = j;
            continue;
        }
        if (text[i] == '.') afterPoint = true;
        out += text[i++];
    }
    return out;
}

// ---- tokens ----------------------------------------------------------------------------------

enum class Tok : std::uint8_t {
    Literal,
    Zero,   // 0
    Hash,   // #
    Quest,  // ?
    Point,
    Comma,
    Percent,
    Exp,       // E+ / E- ; text holds "+" or "-"
    Slash,     // fraction bar (decided after parsing)
    DenDigit,  // a literal digit of a fixed denominator
    General,
    At,
    Year,       // width 2 or 4
    Month,      // width 1..5 (3 abbr, 4 full, 5 letter); may turn into Minute
    Day,        // width 1..4
    Hour,       // width 1..2
    Minute,     // width 1..2
    Second,     // width 1..2
    SubSecond,  // width = digits
    AmPm,       // text holds the source spelling
    Elapsed,    // text holds 'h', 'm' or 's'; width = digits
    WeekCn,     // aaa (3) / aaaa (4)
};

struct Token {
    Tok kind;
    int width = 0;
    std::string text;
};

enum class Cmp : std::uint8_t { None, Lt, Le, Gt, Ge, Eq, Ne };

struct Section {
    std::vector<Token> tokens;
    Cmp cmp = Cmp::None;
    double operand = 0;
    bool date = false;
    bool hasAt = false;
    bool hasGeneral = false;
    bool hasDigits = false;
    bool chinese = false;  // month and day names, AM/PM in Chinese
    int dbnum = 0;
    // number layout
    bool grouping = false;
    int scale = 0;  // thousands divided away
    int percent = 0;
    int intPlaces = 0, fracPlaces = 0;
    int expIndex = -1;    // token index of E+/E-
    int slashIndex = -1;  // token index of the fraction bar
    int pointIndex = -1;
};

bool IsPlaceholder(Tok t) {
    return t == Tok::Zero || t == Tok::Hash || t == Tok::Quest;
}

std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    return std::min(n, s.size() - i);
}

bool StartsNoCase(std::string_view s, std::size_t i, std::string_view word) {
    if (s.size() - i < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
        char a = s[i + k], b = word[k];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void AddLiteral(Section& s, std::string_view text) {
    if (!s.tokens.empty() && s.tokens.back().kind == Tok::Literal)
        s.tokens.back().text += text;
    else
        s.tokens.push_back({Tok::Literal, 0, std::string(text)});
}

// The system long date and long time of the zh-CN locale, for [$-F800] and [$-F400].
constexpr std::string_view kLongDate = "yyyy\"年\"m\"月\"d\"日\"";
constexpr std::string_view kLongTime = "h:mm:ss";

void ParseSection(std::string_view code, Section& s, int depth = 0);

// A bracketed part: condition, elapsed time, locale or currency, numeral system; colours and
// anything unknown are dropped. Returns false when the bracket replaced the whole section (the
// system long date and time), so the rest of it is not read.
bool ParseBracket(std::string_view inner, Section& s, int depth) {
    if (inner.empty()) return true;
    const char c0 = inner[0];
    if (c0 == '<' || c0 == '>' || c0 == '=') {
        std::size_t i = 1;
        Cmp cmp = Cmp::Eq;
        if (c0 == '<' && i < inner.size() && inner[i] == '=')
            cmp = Cmp::Le, ++i;
        else if (c0 == '<' && i < inner.size() && inner[i] == '>')
            cmp = Cmp::Ne, ++i;
        else if (c0 == '>' && i < inner.size() && inner[i] == '=')
            cmp = Cmp::Ge, ++i;
        else if (c0 == '<')
            cmp = Cmp::Lt;
        else if (c0 == '>')
            cmp = Cmp::Gt;
        const std::string number(inner.substr(i));
        char* end = nullptr;
        const double v = std::strtod(number.c_str(), &end);
        if (end != number.c_str() && std::isfinite(v)) {
            s.cmp = cmp;
            s.operand = v;
        }
        return true;
    }
    if (c0 == '$') {
        const std::size_t dash = inner.find('-', 1);
        AddLiteral(s, inner.substr(1, dash == std::string_view::npos ? inner.size() - 1 : dash - 1));
        if (dash == std::string_view::npos) return true;
        std::string_view locale = inner.substr(dash + 1);
        unsigned long id = 0;
        const std::string text(locale);
        char* end = nullptr;
        id = std::strtoul(text.c_str(), &end, 16);
        const bool hex = end != text.c_str() && *end == 0;
        if (hex && (id & 0xFFFF) == 0xF800 && depth == 0) {
            s.tokens.clear();
            ParseSection(kLongDate, s, depth + 1);
            s.chinese = true;
            return false;
        }
        if (hex && (id & 0xFFFF) == 0xF400 && depth == 0) {
            s.tokens.clear();
            ParseSection(kLongTime, s, depth + 1);
            return false;
        }
        const unsigned language = hex ? static_cast<unsigned>(id & 0x3FF) : 0;
        if (language == 0x04 || StartsNoCase(locale, 0, "zh")) s.chinese = true;
        if (language == 0x09 || StartsNoCase(locale, 0, "en")) s.chinese = false;
        return true;
    }
    if (StartsNoCase(inner, 0, "dbnum") && inner.size() == 6) {
        s.dbnum = inner[5] == '1' ? 1 : inner[5] == '2' ? 2 : 0;
        return true;
    }
    const char l = Lower(c0);
    if (l == 'h' || l == 'm' || l == 's') {
        for (char c : inner)
            if (Lower(c) != l) return true;
        s.tokens.push_back({Tok::Elapsed, static_cast<int>(inner.size()), std::string(1, l)});
        s.date = true;
    }
    return true;
}

void ParseSection(std::string_view code, Section& s, int depth) {
    std::size_t i = 0;
    while (i < code.size()) {
        const char c = code[i];
        const char l = Lower(c);
        if (c == '"') {
            const std::size_t close = code.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? code.size() : close;
            AddLiteral(s, code.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (c == '\\') {
            if (i + 1 < code.size()) AddLiteral(s, code.substr(i + 1, Utf8Length(code, i + 1)));
            i += 1 + (i + 1 < code.size() ? Utf8Length(code, i + 1) : 0);
            continue;
        }
        if (c == '_') {  // room for a character: one space in a text
            AddLiteral(s, " ");
            i += 1 + (i + 1 < code.size() ? Utf8Length(code, i + 1) : 0);
            continue;
        }
        if (c == '*') {  // fill to the column width: nothing in a text
            i += 1 + (i + 1 < code.size() ? Utf8Length(code, i + 1) : 0);
            continue;
        }
        if (c == '[') {
            const std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos) {
                AddLiteral(s, code.substr(i, 1));
                ++i;
                continue;
            }
            if (!ParseBracket(code.substr(i + 1, close - i - 1), s, depth)) return;
            i = close + 1;
            continue;
        }
        if (StartsNoCase(code, i, "general")) {
            s.tokens.push_back({Tok::General, 0, {}});
            s.hasGeneral = true;
            i += 7;
            continue;
        }
        if (code.substr(i, 2) == "G/" && code.substr(i + 2, 12) == "通用格式") {
            s.tokens.push_back({Tok::General, 0, {}});
            s.hasGeneral = true;
            i += 14;
            continue;
        }
        if (StartsNoCase(code, i, "am/pm")) {
            s.tokens.push_back({Tok::AmPm, 5, std::string(code.substr(i, 5))});
            s.date = true;
            i += 5;
            continue;
        }
        if (StartsNoCase(code, i, "a/p")) {
            s.tokens.push_back({Tok::AmPm, 3, std::string(code.substr(i, 3))});
            s.date = true;
            i += 3;
            continue;
        }
        if (code.substr(i, 13) == "上午/下午") {
            s.tokens.push_back({Tok::AmPm, 13, std::string(code.substr(i, 13))});
            s.date = true;
            i += 13;
            continue;
        }
        if ((c == 'E' || c == 'e') && i + 1 < code.size() && (code[i + 1] == '+' || code[i + 1] == '-')) {
            s.expIndex = static_cast<int>(s.tokens.size());
            s.tokens.push_back({Tok::Exp, 0, std::string(1, code[i + 1])});
            i += 2;
            continue;
        }
        if (l == 'y' || l == 'd' || l == 'm' || l == 'h' || l == 's' || l == 'e' || l == 'a') {
            std::size_t j = i;
            while (j < code.size() && Lower(code[j]) == l) ++j;
            const int run = static_cast<int>(j - i);
            if (l == 'a' && run < 3) {
                AddLiteral(s, code.substr(i, j - i));
                i = j;
                continue;
            }
            Token t{Tok::Literal, run, {}};
            switch (l) {
                case 'y':
                    t.kind = Tok::Year, t.width = run <= 2 ? 2 : 4;
                    break;
                case 'e':
                    t.kind = Tok::Year, t.width = 4;
                    break;
                case 'd':
                    t.kind = Tok::Day, t.width = std::min(run, 4);
                    break;
                case 'm':
                    t.kind = Tok::Month, t.width = std::min(run, 5);
                    break;
                case 'h':
                    t.kind = Tok::Hour, t.width = std::min(run, 2);
                    break;
                case 's':
                    t.kind = Tok::Second, t.width = std::min(run, 2);
                    break;
                case 'a':
                    t.kind = Tok::WeekCn, t.width = std::min(run, 4);
                    break;
            }
            s.tokens.push_back(std::move(t));
            s.date = true;
            i = j;
            continue;
        }
        switch (c) {
            case '0':
                s.tokens.push_back({Tok::Zero, 0, {}});
                break;
            case '#':
                s.tokens.push_back({Tok::Hash, 0, {}});
                break;
            case '?':
                s.tokens.push_back({Tok::Quest, 0, {}});
                break;
            case '.':
                s.tokens.push_back({Tok::Point, 0, {}});
                break;
            case ',':
                s.tokens.push_back({Tok::Comma, 0, {}});
                break;
            case '%':
                s.tokens.push_back({Tok::Percent, 0, {}});
                break;
            case '/':
                s.tokens.push_back({Tok::Slash, 0, {}});
                break;
            case '@':
                s.tokens.push_back({Tok::At, 0, {}});
                s.hasAt = true;
                break;
            default: {
                const std::size_t n = Utf8Length(code, i);
                if (c >= '1' && c <= '9')
                    s.tokens.push_back({Tok::DenDigit, 0, std::string(1, c)});
                else
                    AddLiteral(s, code.substr(i, n));
                i += n;
                continue;
            }
        }
        ++i;
    }
}

// Second pass: what the tokens mean together.
void Analyse(Section& s) {
    auto& t = s.tokens;
    if (s.date) {
        // m or mm right after an hour, or right before a second, is minutes.
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i].kind != Tok::Month || t[i].width > 2) continue;
            bool minute = false;
            for (std::size_t j = i; j-- > 0;) {
                if (t[j].kind == Tok::Literal) continue;
                minute = t[j].kind == Tok::Hour || (t[j].kind == Tok::Elapsed && t[j].text == "h");
                break;
            }
            for (std::size_t j = i + 1; !minute && j < t.size(); ++j) {
                if (t[j].kind == Tok::Literal) continue;
                minute = t[j].kind == Tok::Second || (t[j].kind == Tok::Elapsed && t[j].text == "s");
                break;
            }
            if (minute) t[i].kind = Tok::Minute;
        }
        // ".0" ".00" ".000" after seconds are fractions of a second; other number tokens are text.
        std::vector<Token> out;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i].kind == Tok::Point && i + 1 < t.size() && t[i + 1].kind == Tok::Zero) {
                int n = 0;
                while (i + 1 < t.size() && t[i + 1].kind == Tok::Zero && n < 3) ++i, ++n;
                out.push_back({Tok::SubSecond, n, {}});
                continue;
            }
            switch (t[i].kind) {
                case Tok::Zero:
                    out.push_back({Tok::Literal, 0, "0"});
                    break;
                case Tok::Hash:
                    out.push_back({Tok::Literal, 0, "#"});
                    break;
                case Tok::Quest:
                    out.push_back({Tok::Literal, 0, "?"});
                    break;
                case Tok::Point:
                    out.push_back({Tok::Literal, 0, "."});
                    break;
                case Tok::Comma:
                    out.push_back({Tok::Literal, 0, ","});
                    break;
                case Tok::Percent:
                    out.push_back({Tok::Literal, 0, "%"});
                    break;
                case Tok::Slash:
                    out.push_back({Tok::Literal, 0, "/"});
                    break;
                case Tok::DenDigit:
                    out.push_back({Tok::Literal, 0, t[i].text});
                    break;
                case Tok::Exp:
                    out.push_back({Tok::Literal, 0, "E" + t[i].text});
                    break;
                default:
                    out.push_back(t[i]);
                    break;
            }
        }
        t = std::move(out);
        s.expIndex = s.slashIndex = s.pointIndex = -1;
        return;
    }
    // A fraction bar is a slash with placeholders before it and placeholders or digits after it.
    for (std::size_t i = 0; i < t.size() && s.expIndex < 0; ++i) {
        if (t[i].kind != Tok::Slash) continue;
        const bool before = i > 0 && IsPlaceholder(t[i - 1].kind);
        const bool after =
            i + 1 < t.size() && (IsPlaceholder(t[i + 1].kind) || t[i + 1].kind == Tok::DenDigit);
        if (before && after) {
            s.slashIndex = static_cast<int>(i);
            break;
        }
    }
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Tok::Slash && static_cast<int>(i) != s.slashIndex) t[i] = {Tok::Literal, 0, "/"};
        if (t[i].kind == Tok::DenDigit && (s.slashIndex < 0 || static_cast<int>(i) < s.slashIndex))
            t[i] = {Tok::Literal, 0, t[i].text};
    }
    const std::size_t numberEnd = s.expIndex >= 0 ? static_cast<std::size_t>(s.expIndex) : t.size();
    // Commas: between placeholders they group thousands; after the last placeholder of the
    // integer or the fraction part each one divides by a thousand; elsewhere they are text.
    int lastPlaceholder = -1;
    for (std::size_t i = 0; i < numberEnd; ++i)
        if (IsPlaceholder(t[i].kind)) lastPlaceholder = static_cast<int>(i);
    for (std::size_t i = 0; i < numberEnd; ++i) {
        if (t[i].kind == Tok::Point && s.pointIndex < 0 && s.slashIndex < 0)
            s.pointIndex = static_cast<int>(i);
        if (t[i].kind == Tok::Percent) ++s.percent;
    }
    enum class Role { Text, Group, Scale };
    std::vector<Role> roles(t.size(), Role::Text);
    for (std::size_t i = 0; i < numberEnd; ++i) {
        if (t[i].kind != Tok::Comma) continue;
        bool placeholderBefore = false, placeholderAfter = false;
        for (std::size_t j = i; j-- > 0;) {
            if (t[j].kind == Tok::Comma) continue;
            placeholderBefore = IsPlaceholder(t[j].kind);
            break;
        }
        for (std::size_t j = i + 1; j < numberEnd; ++j) {
            if (t[j].kind == Tok::Comma) continue;
            placeholderAfter = IsPlaceholder(t[j].kind);
            break;
        }
        if (placeholderBefore && placeholderAfter && (s.pointIndex < 0 || static_cast<int>(i) < s.pointIndex))
            roles[i] = Role::Group;
        else if (placeholderBefore &&
                 (static_cast<int>(i) > lastPlaceholder ||
                  (i + 1 < t.size() && (t[i + 1].kind == Tok::Point || t[i + 1].kind == Tok::Comma))))
            roles[i] = Role::Scale;
    }
    for (std::size_t i = 0; i < numberEnd; ++i) {
        if (t[i].kind != Tok::Comma) continue;
        if (roles[i] == Role::Group) s.grouping = true;
        if (roles[i] == Role::Scale) ++s.scale;
        t[i] = {Tok::Literal, 0, roles[i] == Role::Text ? "," : ""};
    }
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!IsPlaceholder(t[i].kind)) continue;
        s.hasDigits = true;
        if (s.expIndex >= 0 && static_cast<int>(i) > s.expIndex) continue;
        if (s.slashIndex >= 0) continue;
        if (s.pointIndex >= 0 && static_cast<int>(i) > s.pointIndex)
            ++s.fracPlaces;
        else
            ++s.intPlaces;
    }
}

bool Matches(Cmp cmp, double v, double operand) {
    switch (cmp) {
        case Cmp::None:
            return true;
        case Cmp::Lt:
            return v < operand;
        case Cmp::Le:
            return v <= operand;
        case Cmp::Gt:
            return v > operand;
        case Cmp::Ge:
            return v >= operand;
        case Cmp::Eq:
            return v == operand;
        case Cmp::Ne:
            return v != operand;
    }
    return false;
}

// ---- rendering -------------------------------------------------------------------------------

// Integer digits spread over the integer placeholders from the right; the first placeholder
// takes whatever digits are left over. Returns one string per token index (placeholders only).
void FillInteger(const Section& s, std::size_t begin, std::size_t end, const std::string& digits,
                 std::vector<std::string>& out) {
    std::vector<std::size_t> places;
    for (std::size_t i = begin; i < end; ++i)
        if (IsPlaceholder(s.tokens[i].kind)) places.push_back(i);
    if (places.empty()) return;
    std::size_t used = 0;
    for (std::size_t k = places.size(); k-- > 0;) {
        const Tok kind = s.tokens[places[k]].kind;
        std::string& cell = out[places[k]];
        if (used < digits.size()) {
            cell = digits[digits.size() - 1 - used];
            ++used;
        } else {
            cell = kind == Tok::Zero ? "0" : kind == Tok::Quest ? " " : "";
        }
        if (k == 0 && used < digits.size()) cell = digits.substr(0, digits.size() - used) + cell;
    }
    if (!s.grouping) return;
    // Group the whole integer as written into the placeholders.
    std::string whole;
    for (std::size_t p : places) whole += out[p];
    std::string grouped;
    int count = 0;
    for (std::size_t k = whole.size(); k-- > 0;) {
        if (count > 0 && count % 3 == 0 && whole[k] >= '0' && whole[k] <= '9') grouped += ',';
        grouped += whole[k];
        ++count;
    }
    std::reverse(grouped.begin(), grouped.end());
    for (std::size_t p : places) out[p].clear();
    out[places.front()] = grouped;
}

void FillFraction(const Section& s, std::size_t begin, std::size_t end, const std::string& digits,
                  std::vector<std::string>& out) {
    std::vector<std::size_t> places;
    for (std::size_t i = begin; i < end; ++i)
        if (IsPlaceholder(s.tokens[i].kind)) places.push_back(i);
    for (std::size_t k = 0; k < places.size(); ++k) out[places[k]] = k < digits.size() ? digits[k] : '0';
    // Trailing zeros: dropped under #, blank under ?, kept under 0.
    for (std::size_t k = places.size(); k-- > 0;) {
        const Tok kind = s.tokens[places[k]].kind;
        if (out[places[k]] != "0" || kind == Tok::Zero) break;
        out[places[k]] = kind == Tok::Quest ? " " : "";
    }
}

std::string Emit(const Section& s, const std::vector<std::string>& filled, std::size_t begin,
                 std::size_t end) {
    std::string out;
    for (std::size_t i = begin; i < end; ++i) {
        const Token& t = s.tokens[i];
        switch (t.kind) {
            case Tok::Literal:
                out += t.text;
                break;
            case Tok::Point:
                out += '.';
                break;
            case Tok::Percent:
                out += '%';
                break;
            case Tok::DenDigit:
                out += t.text;
                break;
            case Tok::Zero:
            case Tok::Hash:
            case Tok::Quest:
                out += filled[i];
                break;
            default:
                break;
        }
    }
    return out;
}

std::string RenderFixed(const Section& s, double v) {
    std::string integer, fraction;
    RoundFixed(v, s.fracPlaces, integer, fraction);
    std::vector<std::string> filled(s.tokens.size());
    const std::size_t end = s.tokens.size();
    const std::size_t point = s.pointIndex >= 0 ? static_cast<std::size_t>(s.pointIndex) : end;
    FillInteger(s, 0, point, integer, filled);
    if (point < end) FillFraction(s, point + 1, end, fraction, filled);
    // A format without integer placeholders still shows the integer digits (".00" on 12.5).
    if (s.intPlaces == 0 && !integer.empty()) {
        std::string out = Emit(s, filled, 0, end);
        const std::size_t at = out.find('.');
        out.insert(at == std::string::npos ? 0 : at, integer);
        return out;
    }
    return Emit(s, filled, 0, end);
}

std::string RenderExponent(const Section& s, double v) {
    const std::size_t expAt = static_cast<std::size_t>(s.expIndex);
    const int intPlaces = std::max(s.intPlaces, 1);
    bool engineering = false;
    for (std::size_t i = 0; i < expAt && (s.pointIndex < 0 || static_cast<int>(i) < s.pointIndex); ++i)
        if (s.tokens[i].kind == Tok::Hash) engineering = s.intPlaces > 1;
    int exponent = 0;
    std::string integer, fraction;
    if (v != 0) {
        const int e10 = DecimalDigits(v).exponent;
        if (engineering) {
            exponent =
                e10 >= 0 ? e10 / intPlaces * intPlaces : -((-e10 + intPlaces - 1) / intPlaces) * intPlaces;
        } else {
            exponent = e10 - (intPlaces - 1);
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            RoundFixed(v / std::pow(10.0, exponent), s.fracPlaces, integer, fraction);
            // 9.995 -> 10.00: one more power of ten.
            if (!engineering && static_cast<int>(integer.size()) > intPlaces) {
                ++exponent;
                continue;
            }
            break;
        }
    } else {
        fraction.assign(static_cast<std::size_t>(s.fracPlaces), '0');
    }
    std::vector<std::string> filled(s.tokens.size());
    const std::size_t point = s.pointIndex >= 0 ? static_cast<std::size_t>(s.pointIndex) : expAt;
    FillInteger(s, 0, point, integer, filled);
    if (point < expAt) FillFraction(s, point + 1, expAt, fraction, filled);
    std::string out = Emit(s, filled, 0, expAt);
    out += 'E';
    if (exponent < 0)
        out += '-';
    else if (s.tokens[expAt].text == "+")
        out += '+';
    int minDigits = 0;
    for (std::size_t i = expAt + 1; i < s.tokens.size(); ++i)
        if (s.tokens[i].kind == Tok::Zero) ++minDigits;
    std::string e = std::to_string(std::abs(exponent));
    if (static_cast<int>(e.size()) < minDigits)
        e.insert(0, static_cast<std::size_t>(minDigits) - e.size(), '0');
    // Placeholders after the exponent take its digits; literals there follow it.
    std::string tail;
    for (std::size_t i = expAt + 1; i < s.tokens.size(); ++i)
        if (s.tokens[i].kind == Tok::Literal) tail += s.tokens[i].text;
    return out + e + tail;
}

// Best n/d with d <= maxDen for x in [0, 1].
void Approximate(double x, long maxDen, long& num, long& den) {
    num = 0;
    den = 1;
    double best = x;
    for (long d = 1; d <= maxDen; ++d) {
        const long n = std::lround(x * static_cast<double>(d));
        const double err = std::fabs(x - static_cast<double>(n) / static_cast<double>(d));
        if (err < best - 1e-12) {
            best = err;
            num = n;
            den = d;
            if (err == 0) break;
        }
    }
}

std::string Pad(const std::string& digits, const std::vector<Tok>& places, bool left) {
    // Placeholders beyond the digits: 0 gives a zero, ? a space, # nothing.
    std::string out = digits;
    for (std::size_t k = digits.size(); k < places.size(); ++k) {
        const Tok kind = left ? places[places.size() - 1 - k] : places[k];
        const std::string pad = kind == Tok::Zero ? "0" : kind == Tok::Quest ? " " : "";
        out = left ? pad + out : out + pad;
    }
    return out;
}

std::string RenderFraction(const Section& s, double v) {
    const auto& t = s.tokens;
    const std::size_t bar = static_cast<std::size_t>(s.slashIndex);
    // Numerator: the placeholders right before the bar; integer part: placeholders before them.
    std::size_t numBegin = bar;
    while (numBegin > 0 && (IsPlaceholder(t[numBegin - 1].kind) || t[numBegin - 1].kind == Tok::Comma))
        --numBegin;
    bool hasInteger = false;
    for (std::size_t i = 0; i < numBegin; ++i)
        if (IsPlaceholder(t[i].kind)) hasInteger = true;
    std::size_t denEnd = bar + 1;
    std::string fixedDen;
    std::vector<Tok> denPlaces;
    while (denEnd < t.size() && (IsPlaceholder(t[denEnd].kind) || t[denEnd].kind == Tok::DenDigit)) {
        if (t[denEnd].kind == Tok::DenDigit)
            fixedDen += t[denEnd].text;
        else if (fixedDen.empty())
            denPlaces.push_back(t[denEnd].kind);
        else
            fixedDen += '0';
        ++denEnd;
    }
    std::vector<Tok> numPlaces;
    for (std::size_t i = numBegin; i < bar; ++i)
        if (IsPlaceholder(t[i].kind)) numPlaces.push_back(t[i].kind);

    // Beyond 15 digits a number has no fraction left to show.
    if (!(v < 1e15)) return GeneralNumber(v);
    double whole = hasInteger ? std::floor(v) : 0;
    double part = v - whole;
    long num = 0, den = 1;
    if (!fixedDen.empty()) {
        if (fixedDen.size() > 6) fixedDen = "999999";  // a denominator beyond any sheet's
        den = std::max(1L, std::atol(fixedDen.c_str()));
        num = std::lround(part * static_cast<double>(den));
    } else {
        long maxDen = 1;
        for (std::size_t k = 0; k < denPlaces.size() && maxDen < 100000; ++k) maxDen *= 10;
        Approximate(part - std::floor(part), std::max(1L, maxDen - 1), num, den);
        if (!hasInteger) num += static_cast<long>(std::floor(part)) * den;
    }
    if (hasInteger && num >= den && den > 0) {
        const long carried = num / den;  // whole units the rounded fraction reached
        whole += static_cast<double>(carried);
        num %= den;
    }
    std::vector<std::string> filled(t.size());
    std::string wholeDigits, unused;
    if (whole >= 1) RoundFixed(whole, 0, wholeDigits, unused);
    FillInteger(s, 0, numBegin, wholeDigits, filled);
    std::string out = Emit(s, filled, 0, numBegin);
    std::string fractionText = Pad(std::to_string(num), numPlaces, true) + "/" +
                               (fixedDen.empty() ? Pad(std::to_string(den), denPlaces, false) : fixedDen);
    if (num == 0 && hasInteger) {
        // A whole number shows no fraction; its room stays blank.
        // Nothing at all would show: the integer part shows its zero.
        if (whole < 1 && out.find('0') == std::string::npos) out.insert(0, "0");
        fractionText.assign(fractionText.size(), ' ');
    }
    out += fractionText;
    for (std::size_t i = denEnd; i < t.size(); ++i)
        if (t[i].kind == Tok::Literal)
            out += t[i].text;
        else if (t[i].kind == Tok::Percent)
            out += '%';
    return out;
}

std::string RenderDate(const Section& s, double v, bool date1904) {
    constexpr double kLastSerial = 2958466.0;  // 10000-01-01
    if (!(v >= 0) || v >= kLastSerial) return GeneralNumber(v);
    int subDigits = 0;
    bool ampm = false, seconds = false;
    for (const Token& t : s.tokens) {
        if (t.kind == Tok::SubSecond) subDigits = std::max(subDigits, t.width);
        if (t.kind == Tok::Second || t.kind == Tok::SubSecond || (t.kind == Tok::Elapsed && t.text == "s"))
            seconds = true;
        if (t.kind == Tok::AmPm) ampm = true;
    }
    long long unit = 1;
    for (int i = 0; i < subDigits; ++i) unit *= 10;
    const long long perDay = 86400LL * unit;
    // Shown seconds are rounded to their precision; without them the time is cut at the minute,
    // so 10:29:59.6 shows 10:29 under h:mm.
    const double scaled = v * static_cast<double>(perDay);
    const long long total =
        seconds ? std::llround(scaled) : static_cast<long long>(std::floor(scaled + 1e-6));
    const long long days = total / perDay;
    const long long ofDay = total % perDay;
    const long long totalSeconds = total / unit;
    const long long sub = total % unit;
    const long long secondOfDay = ofDay / unit;
    const int hour = static_cast<int>(secondOfDay / 3600);
    const int minute = static_cast<int>(secondOfDay / 60 % 60);
    const int second = static_cast<int>(secondOfDay % 60);
    long long y;
    unsigned m, d;
    const long long epochDays = days - SerialOfEpoch(date1904);
    CivilFromDays(epochDays, y, m, d);
    const int weekday = static_cast<int>(((epochDays % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday

    auto number = [&](long long n, int width, bool year = false) {
        std::string digits = std::to_string(n);
        if (static_cast<int>(digits.size()) < width)
            digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
        if (s.dbnum == 0) return digits;
        return year ? CnDigits(digits, s.dbnum) : CnReading(digits, s.dbnum, true);
    };
    std::string out;
    for (const Token& t : s.tokens) {
        switch (t.kind) {
            case Tok::Literal:
                out += t.text;
                break;
            case Tok::Year:
                out += number(t.width == 2 ? y % 100 : y, t.width, true);
                break;
            case Tok::Month:
                if (t.width <= 2)
                    out += number(m, t.width);
                else if (t.width == 3)
                    out += s.chinese ? std::to_string(m) + "月" : kMonthAbbr[m - 1];
                else if (t.width == 4)
                    out += s.chinese ? kMonthCn[m - 1] : kMonthFull[m - 1];
                else
                    out += s.chinese ? kMonthCn[m - 1] : std::string(1, kMonthFull[m - 1][0]);
                break;
            case Tok::Day:
                if (t.width <= 2)
                    out += number(d, t.width);
                else if (t.width == 3)
                    out += s.chinese ? std::string("周") + kDayCn[static_cast<std::size_t>(weekday)]
                                     : kDayAbbr[static_cast<std::size_t>(weekday)];
                else
                    out += s.chinese ? std::string("星期") + kDayCn[static_cast<std::size_t>(weekday)]
                                     : kDayFull[static_cast<std::size_t>(weekday)];
                break;
            case Tok::WeekCn:
                out += t.width == 3 ? kDayCn[static_cast<std::size_t>(weekday)]
                                    : std::string("星期") + kDayCn[static_cast<std::size_t>(weekday)];
                break;
            case Tok::Hour: {
                int h = hour;
                if (ampm) h = h % 12 == 0 ? 12 : h % 12;
                out += number(h, t.width);
                break;
            }
            case Tok::Minute:
                // The minute of the hour; elapsed minutes ([m]) are their own token.
                out += number(minute, t.width);
                break;
            case Tok::Second:
                out += number(second, t.width);
                break;
            case Tok::SubSecond: {
                std::string digits = std::to_string(sub);
                digits.insert(0, static_cast<std::size_t>(subDigits) - digits.size(), '0');
                out += '.';
                out += digits.substr(0, static_cast<std::size_t>(t.width));
                break;
            }
            case Tok::AmPm: {
                const bool pm = hour >= 12;
                if (t.width == 13 || s.chinese)
                    out += pm ? "下午" : "上午";
                else if (t.width == 5)
                    out += pm ? t.text.substr(3, 2) : t.text.substr(0, 2);
                else
                    out += pm ? t.text.substr(2, 1) : t.text.substr(0, 1);
                break;
            }
            case Tok::Elapsed: {
                const long long value = t.text == "h"   ? totalSeconds / 3600
                                        : t.text == "m" ? totalSeconds / 60
                                                        : totalSeconds;
                out += number(value, t.width);
                break;
            }
            default:
                break;
        }
    }
    return out;
}

std::string RenderNumber(const Section& s, double v) {
    for (int i = 0; i < s.percent; ++i) v *= 100;
    for (int i = 0; i < s.scale; ++i) v /= 1000;
    std::string out;
    if (s.hasGeneral) {
        for (const Token& t : s.tokens) {
            if (t.kind == Tok::General)
                out += GeneralNumber(v);
            else if (t.kind == Tok::Literal)
                out += t.text;
            else if (t.kind == Tok::Percent)
                out += '%';
        }
    } else if (!s.hasDigits) {
        for (const Token& t : s.tokens)
            if (t.kind == Tok::Literal)
                out += t.text;
            else if (t.kind == Tok::Percent)
                out += '%';
    } else if (s.expIndex >= 0) {
        out = RenderExponent(s, v);
    } else if (s.slashIndex >= 0) {
        out = RenderFraction(s, v);
    } else {
        out = RenderFixed(s, v);
    }
    return s.dbnum ? CnNumber(out, s.dbnum) : out;
}

std::string RenderText(const Section& s, std::string_view text) {
    std::string out;
    for (const Token& t : s.tokens) {
        if (t.kind == Tok::At)
            out += text;
        else if (t.kind == Tok::Literal)
            out += t.text;
    }
    return out;
}

}  // namespace

// ---- public ------------------------------------------------------------------------------------

std::string GeneralNumber(double value) {
    if (!std::isfinite(value)) return "";
    if (value == 0) return "0";  // also -0
    char buf[40];
    const int n = std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string out(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (auto e = out.find('e'); e != std::string::npos) out[e] = 'E';
    return out;
}

struct NumberFormat::Impl {
    std::vector<Section> sections;
    int textSection = -1;
    bool general = true;
};

NumberFormat::NumberFormat(std::string_view code) : impl_(std::make_unique<Impl>()) {
    // Sections are split at semicolons outside quotes, brackets and escapes.
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= code.size(); ++i) {
        if (i == code.size() || code[i] == ';') {
            parts.push_back(code.substr(start, i - start));
            start = i + 1;
            if (parts.size() == 4) break;
            continue;
        }
        const char c = code[i];
        if (c == '"') {
            const std::size_t close = code.find('"', i + 1);
            i = close == std::string_view::npos ? code.size() - 1 : close;
        } else if (c == '[') {
            const std::size_t close = code.find(']', i + 1);
            if (close != std::string_view::npos) i = close;
        } else if ((c == '\\' || c == '_' || c == '*') && i + 1 < code.size()) {
            ++i;
        }
    }
    for (std::string_view part : parts) {
        Section s;
        ParseSection(part, s);
        Analyse(s);
        impl_->sections.push_back(std::move(s));
    }
    auto& secs = impl_->sections;
    if (secs.size() == 4)
        impl_->textSection = 3;
    else if (secs.size() == 1 && secs[0].hasAt)
        impl_->textSection = 0;
    impl_->general = secs.size() == 1 && secs[0].tokens.size() == 1 &&
                     secs[0].tokens[0].kind == Tok::General && secs[0].dbnum == 0;
    if (secs.size() == 1 && secs[0].tokens.empty()) impl_->general = true;
}

NumberFormat::~NumberFormat() = default;
NumberFormat::NumberFormat(NumberFormat&&) noexcept = default;
NumberFormat& NumberFormat::operator=(NumberFormat&&) noexcept = default;

bool NumberFormat::isGeneral() const {
    return impl_->general;
}

bool NumberFormat::isDateTime() const {
    return !impl_->sections.empty() && impl_->sections[0].date;
}

NumberFormat::DateParts NumberFormat::dateParts() const {
    DateParts parts;
    if (impl_->sections.empty() || !impl_->sections[0].date) return parts;
    for (const Token& t : impl_->sections[0].tokens) {
        switch (t.kind) {
            case Tok::Year:
            case Tok::Month:
            case Tok::Day:
            case Tok::WeekCn:
                parts.day = true;
                break;
            case Tok::Hour:
            case Tok::Minute:
            case Tok::Second:
            case Tok::SubSecond:
            case Tok::AmPm:
            case Tok::Elapsed:
                parts.time = true;
                break;
            default:
                break;
        }
    }
    return parts;
}

std::string NumberFormat::format(double value, bool date1904) const {
    try {
        if (!std::isfinite(value)) return "";
        const auto& secs = impl_->sections;
        if (impl_->general || secs.empty()) return GeneralNumber(value);
        // The sections that format numbers: up to three, the text section excluded.
        std::size_t count = std::min<std::size_t>(secs.size(), 3);
        if (impl_->textSection >= 0 && static_cast<std::size_t>(impl_->textSection) < count)
            count = impl_->textSection;
        if (count == 0) return GeneralNumber(value);
        bool conditional = false;
        for (std::size_t i = 0; i < count; ++i) conditional |= secs[i].cmp != Cmp::None;

        std::size_t chosen = 0;
        bool dropSign = false;
        if (!conditional) {
            if (count == 2 && value < 0) chosen = 1, dropSign = true;
            if (count == 3) {
                if (value < 0)
                    chosen = 1, dropSign = true;
                else if (value == 0)
                    chosen = 2;
            }
        } else {
            const Cmp c0 = secs[0].cmp != Cmp::None ? secs[0].cmp : (count == 2 ? Cmp::Ge : Cmp::Gt);
            const double o0 = secs[0].cmp != Cmp::None ? secs[0].operand : 0;
            const Cmp c1 = count > 1 && secs[1].cmp != Cmp::None ? secs[1].cmp : Cmp::Lt;
            const double o1 = count > 1 && secs[1].cmp != Cmp::None ? secs[1].operand : 0;
            if (Matches(c0, value, o0))
                chosen = 0;
            else if (count > 1 && (Matches(c1, value, o1) || count == 2))
                chosen = 1;
            else
                chosen = count - 1;
            // A section only negative numbers reach shows them without their sign.
            if (chosen == 1 && value < 0 && (c1 == Cmp::Lt || c1 == Cmp::Le) && o1 <= 0) dropSign = true;
            if (chosen == 0 && value < 0 && (c0 == Cmp::Lt || c0 == Cmp::Le) && o0 <= 0) dropSign = true;
        }
        const Section& s = secs[chosen];
        if (s.date) return RenderDate(s, value, date1904);
        if (s.hasAt && !s.hasDigits && !s.hasGeneral) return GeneralNumber(value);
        const double magnitude = std::fabs(value);
        std::string out = RenderNumber(s, magnitude);
        if (value < 0 && !dropSign) out.insert(0, "-");
        return out;
    } catch (...) {
        return GeneralNumber(value);
    }
}

std::string NumberFormat::formatText(std::string_view text) const {
    try {
        if (impl_->textSection < 0) return std::string(text);
        return RenderText(impl_->sections[static_cast<std::size_t>(impl_->textSection)], text);
    } catch (...) {
        return std::string(text);
    }
}

std::string FormatNumber(double value, std::string_view code, bool date1904) {
    return NumberFormat(code).format(value, date1904);
}

std::string FormatText(std::string_view text, std::string_view code) {
    return NumberFormat(code).formatText(text);
}

std::string_view BuiltinFormatCode(unsigned id) {
    switch (id) {
        case 0:
            return "General";
        case 1:
            return "0";
        case 2:
            return "0.00";
        case 3:
            return "#,##0";
        case 4:
            return "#,##0.00";
        case 5:
            return "\"¥\"#,##0;\"¥\"\\-#,##0";
        case 6:
            return "\"¥\"#,##0;[Red]\"¥\"\\-#,##0";
        case 7:
            return "\"¥\"#,##0.00;\"¥\"\\-#,##0.00";
        case 8:
            return "\"¥\"#,##0.00;[Red]\"¥\"\\-#,##0.00";
        case 9:
            return "0%";
        case 10:
            return "0.00%";
        case 11:
            return "0.00E+00";
        case 12:
            return "# ?/?";
        case 13:
            return "# ?\?/?\?";
        case 14:
            return "yyyy/m/d";
        case 15:
            return "d-mmm-yy";
        case 16:
            return "d-mmm";
        case 17:
            return "mmm-yy";
        case 18:
            return "h:mm AM/PM";
        case 19:
            return "h:mm:ss AM/PM";
        case 20:
            return "h:mm";
        case 21:
            return "h:mm:ss";
        case 22:
            return "yyyy/m/d h:mm";
        case 27:
            return "yyyy\"年\"m\"月\"";
        case 28:
        case 29:
            return "m\"月\"d\"日\"";
        case 30:
            return "m-d-yy";
        case 31:
            return "yyyy\"年\"m\"月\"d\"日\"";
        case 32:
            return "h\"时\"mm\"分\"";
        case 33:
            return "h\"时\"mm\"分\"ss\"秒\"";
        case 34:
            return "上午/下午h\"时\"mm\"分\"";
        case 35:
            return "上午/下午h\"时\"mm\"分\"ss\"秒\"";
        case 36:
            return "yyyy\"年\"m\"月\"";
        case 37:
            return "#,##0 ;(#,##0)";
        case 38:
            return "#,##0 ;[Red](#,##0)";
        case 39:
            return "#,##0.00;(#,##0.00)";
        case 40:
            return "#,##0.00;[Red](#,##0.00)";
        case 41:
            return "_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ";
        case 42:
            return "_ \"¥\"* #,##0_ ;_ \"¥\"* \\-#,##0_ ;_ \"¥\"* \"-\"_ ;_ @_ ";
        case 43:
            return "_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"??_ ;_ @_ ";
        case 44:
            return "_ \"¥\"* #,##0.00_ ;_ \"¥\"* \\-#,##0.00_ ;_ \"¥\"* \"-\"??_ ;_ @_ ";
        case 45:
            return "mm:ss";
        case 46:
            return "[h]:mm:ss";
        case 47:
            return "mm:ss.0";
        case 48:
            return "##0.0E+0";
        case 49:
            return "@";
        case 50:
            return "yyyy\"年\"m\"月\"";
        case 51:
            return "m\"月\"d\"日\"";
        case 52:
            return "yyyy\"年\"m\"月\"";
        case 53:
        case 54:
            return "m\"月\"d\"日\"";
        case 55:
            return "上午/下午h\"时\"mm\"分\"";
        case 56:
            return "上午/下午h\"时\"mm\"分\"ss\"秒\"";
        case 57:
            return "yyyy\"年\"m\"月\"";
        case 58:
            return "m\"月\"d\"日\"";
        default:
            return "";
    }
}

}  // namespace qm::format
