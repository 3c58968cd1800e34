#include "merge/row_filter.h"

#include <charconv>
#include <cmath>
#include <tuple>

#include "data/cursor.h"

namespace qm {
namespace {

enum class Kind { Text, Number, Date };

struct Reading {
    Kind kind = Kind::Text;
    double value = 0;
};

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Folded(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number, with an optional sign and thousands separators ("3,000.5").
std::optional<double> ReadNumber(std::string_view text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // A separator stands between digits, three before the next non-digit.
        if (c == ',' && i > 0 && Digit(text[i - 1]) && i + 3 < text.size() && Digit(text[i + 1]) &&
            Digit(text[i + 2]) && Digit(text[i + 3]) && (i + 4 == text.size() || !Digit(text[i + 4]))) {
            continue;
        }
        plain += c;
    }
    std::string_view view = plain;
    if (!view.empty() && view.front() == '+') view.remove_prefix(1);
    if (view.empty() || !(Digit(view.front()) || view.front() == '-' || view.front() == '.'))
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (ec != std::errc() || end != view.data() + view.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Reads a run of digits at `at` (at most `most`), moving past it; -1 when there is none.
int Number(std::string_view text, std::size_t& at, std::size_t most) {
    int value = 0;
    std::size_t n = 0;
    while (at < text.size() && Digit(text[at]) && n < most) {
        value = value * 10 + (text[at] - '0');
        ++at;
        ++n;
    }
    return n == 0 ? -1 : value;
}

bool Skip(std::string_view text, std::size_t& at, std::string_view what) {
    if (text.substr(at, what.size()) != what) return false;
    at += what.size();
    return true;
}

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool ValidDay(int y, int m, int d) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

// A date as stored cells read (2024-03-05, with an optional time 14:30 or 14:30:15), or as
// people type one: 2024/3/5, 2024年3月5日. Days from 1970 with the time as a fraction.
std::optional<double> ReadDate(std::string_view text) {
    std::size_t at = 0;
    const int year = Number(text, at, 4);
    if (year < 0 || at != 4) return std::nullopt;
    int month = -1, day = -1;
    for (const auto& [afterYear, afterMonth, end] :
         {std::tuple{"-", "-", ""}, std::tuple{"/", "/", ""}, std::tuple{"年", "月", "日"}}) {
        std::size_t p = at;
        if (!Skip(text, p, afterYear)) continue;
        month = Number(text, p, 2);
        if (month < 0 || !Skip(text, p, afterMonth)) return std::nullopt;
        day = Number(text, p, 2);
        if (day < 0 || !Skip(text, p, end)) return std::nullopt;
        at = p;
        break;
    }
    if (day < 0 || !ValidDay(year, month, day)) return std::nullopt;
    double value =
        static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)));
    if (at == text.size()) return value;
    if (text[at] != ' ' && text[at] != 'T') return std::nullopt;
    ++at;
    const int hour = Number(text, at, 2);
    if (hour < 0 || hour > 23 || !Skip(text, at, ":")) return std::nullopt;
    const int minute = Number(text, at, 2);
    if (minute < 0 || minute > 59) return std::nullopt;
    int second = 0;
    if (Skip(text, at, ":")) {
        second = Number(text, at, 2);
        if (second < 0 || second > 59) return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
    return value + (hour * 3600 + minute * 60 + second) / 86400.0;
}

Reading Read(std::string_view text) {
    text = Trimmed(text);
    if (const auto date = ReadDate(text)) return {Kind::Date, *date};
    if (const auto number = ReadNumber(text)) return {Kind::Number, *number};
    return {};
}

// Less than zero, zero or more than zero as `cell` stands before, with or after `value`.
int Compare(const Reading& cell, const std::string& cellText, const Reading& value,
            const std::string& valueText) {
    if (cell.kind != Kind::Text && cell.kind == value.kind)
        return cell.value < value.value ? -1 : (cell.value > value.value ? 1 : 0);
    const std::string a = Folded(Trimmed(cellText)), b = Folded(Trimmed(valueText));
    return a.compare(b);
}

struct Prepared {
    int field = -1;
    const RowFilter* filter = nullptr;
    Reading value;
    std::string folded;  // the value, folded, for Contains
};

bool Passes(const Prepared& p, const std::string& text) {
    const bool empty = Trimmed(text).empty();
    switch (p.filter->test) {
        case FilterTest::Empty:
            return empty;
        case FilterTest::NotEmpty:
            return !empty;
        case FilterTest::Contains:
            return Folded(text).find(p.folded) != std::string::npos;
        case FilterTest::NotContains:
            return Folded(text).find(p.folded) == std::string::npos;
        case FilterTest::Equal:
            return Compare(Read(text), text, p.value, p.filter->value) == 0;
        case FilterTest::NotEqual:
            return Compare(Read(text), text, p.value, p.filter->value) != 0;
        case FilterTest::Greater:
        case FilterTest::Less: {
            if (empty) return false;
            const Reading cell = Read(text);
            // A number is compared with numbers, a date with dates; text only with text.
            if (p.value.kind != Kind::Text && cell.kind != p.value.kind) return false;
            const int order = Compare(cell, text, p.value, p.filter->value);
            return p.filter->test == FilterTest::Greater ? order > 0 : order < 0;
        }
    }
    return false;
}

// Whether `text` fails an order test only for not being what its value is: a number or a date.
bool Unlike(const Prepared& p, const std::string& text) {
    if (p.filter->test != FilterTest::Greater && p.filter->test != FilterTest::Less) return false;
    if (p.value.kind == Kind::Text || Trimmed(text).empty()) return false;
    return Read(text).kind != p.value.kind;
}

// For Greater and Less: a column whose every value is a number (or a date) wants a number (or a
// date) to compare with.
std::optional<FilterProblemKind> OrderProblem(const data::Cursor& sheet, int field, const Reading& value) {
    bool numbers = true, dates = true, any = false;
    for (long long row = 0, n = sheet.recordCount(); row < n && (numbers || dates); ++row) {
        const std::string text = sheet.valueAt(row, field);
        if (Trimmed(text).empty()) continue;
        any = true;
        const Kind kind = Read(text).kind;
        numbers = numbers && kind == Kind::Number;
        dates = dates && kind == Kind::Date;
    }
    if (!any) return std::nullopt;
    if (numbers && value.kind != Kind::Number) return FilterProblemKind::NotANumber;
    if (dates && value.kind != Kind::Date) return FilterProblemKind::NotADate;
    return std::nullopt;
}

}  // namespace

std::string_view FilterTestName(FilterTest test) {
    switch (test) {
        case FilterTest::Equal:
            return "等于";
        case FilterTest::NotEqual:
            return "不等于";
        case FilterTest::Contains:
            return "包含";
        case FilterTest::NotContains:
            return "不包含";
        case FilterTest::Empty:
            return "为空";
        case FilterTest::NotEmpty:
            return "不为空";
        case FilterTest::Greater:
            return "大于";
        case FilterTest::Less:
            return "小于";
    }
    return {};
}

bool FilterTestTakesValue(FilterTest test) {
    return test != FilterTest::Empty && test != FilterTest::NotEmpty;
}

std::string DescribeFilter(const RowFilter& filter) {
    std::string text = "“" + filter.column + "”" + std::string(FilterTestName(filter.test));
    if (FilterTestTakesValue(filter.test)) text += "“" + filter.value + "”";
    return text;
}

FilterOutcome MatchingRows(const data::Cursor& sheet, const std::vector<RowFilter>& filters) {
    FilterOutcome outcome;
    std::vector<Prepared> prepared;
    for (const RowFilter& filter : filters) {
        Prepared p;
        p.filter = &filter;
        p.field = sheet.fieldIndex(filter.column);
        if (p.field < 0) {
            outcome.problem = FilterProblem{FilterProblemKind::NoSuchColumn, filter.column};
            return outcome;
        }
        p.value = Read(filter.value);
        p.folded = Folded(filter.value);
        if (filter.test == FilterTest::Greater || filter.test == FilterTest::Less) {
            if (const auto kind = OrderProblem(sheet, p.field, p.value)) {
                outcome.problem = FilterProblem{*kind, sheet.fieldName(p.field)};
                return outcome;
            }
        }
        prepared.push_back(std::move(p));
    }
    for (long long row = 0, n = sheet.recordCount(); row < n; ++row) {
        bool pass = true, unlike = false, other = false;
        for (const Prepared& p : prepared) {
            const std::string text = sheet.valueAt(row, p.field);
            if (Passes(p, text)) continue;
            pass = false;
            (Unlike(p, text) ? unlike : other) = true;
            if (other) break;
        }
        if (pass) outcome.rows.push_back(row);
        if (unlike && !other) ++outcome.unlike;
    }
    return outcome;
}

std::optional<RowFilter> ParseWhere(std::string_view text, std::string& error) {
    static constexpr std::string_view kTestCharacters = "=!<>~?";
    RowFilter filter;
    std::size_t at = 0;
    const std::string_view trimmed = Trimmed(text);
    if (!trimmed.empty() && trimmed.front() == '[') {
        const std::size_t close = trimmed.find(']');
        if (close == std::string_view::npos) {
            error = "--where " + std::string(text) + ": the title's [ has no ]";
            return std::nullopt;
        }
        filter.column = std::string(trimmed.substr(1, close - 1));
        at = close + 1;
        while (at < trimmed.size() && trimmed[at] == ' ') ++at;
    } else {
        at = trimmed.find_first_of(kTestCharacters);
        if (at == std::string_view::npos) at = trimmed.size();
        filter.column = std::string(Trimmed(trimmed.substr(0, at)));
    }
    static constexpr std::pair<std::string_view, FilterTest> kTests[] = {
        {"!=", FilterTest::NotEqual}, {"!~", FilterTest::NotContains}, {"!?", FilterTest::Empty},
        {"=", FilterTest::Equal},     {"~", FilterTest::Contains},     {">", FilterTest::Greater},
        {"<", FilterTest::Less},      {"?", FilterTest::NotEmpty}};
    const std::string_view rest = trimmed.substr(at);
    bool found = false;
    for (const auto& [sign, test] : kTests) {
        if (!rest.starts_with(sign)) continue;
        filter.test = test;
        filter.value = std::string(Trimmed(rest.substr(sign.size())));
        found = true;
        break;
    }
    if (filter.column.empty() || !found) {
        error = "--where " + std::string(text) +
                ": write TITLE then = != ~ !~ > < and a value, or ? (not empty) or !? (empty)";
        return std::nullopt;
    }
    if (!FilterTestTakesValue(filter.test) && !filter.value.empty()) {
        error = "--where " + std::string(text) + ": ? and !? take no value";
        return std::nullopt;
    }
    return filter;
}

}  // namespace qm
