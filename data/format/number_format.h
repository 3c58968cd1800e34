#pragma once
// Spreadsheet number formats: a cell value turned into the text the sheet shows for it.
//
// The format codes are those the workbooks store (the .xls FORMAT records, the numFmt elements of
// .xlsx, and the number styles of .ods translated to the same language): sections
// positive;negative;zero;text with optional conditions, literal text and escapes, digit
// placeholders, dates and times, elapsed times, fractions, exponents, currency and locale tags
// and the Chinese numerals of [DBNum1]/[DBNum2]. Colours and column padding are ignored; a text
// result never depends on the column width. Nothing here throws or reads outside its input, and
// any code, however malformed, gives some text.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm::format {

// The code of a built-in format id as the zh-CN office shows it (ids 14 and 22 show the Chinese
// short date, 27-36 and 50-58 the Chinese dates and times); "" for an id that has no built-in code.
std::string_view BuiltinFormatCode(unsigned id);

// The text General gives a number: at most 15 significant digits, no trailing zeros, an exponent
// from 1E+15 and below 1E-4 where the plain form would be longer ("1E+20", "2E-07"); "" for
// infinities and NaN.
std::string GeneralNumber(double value);

// A format code parsed once, to render many values. Immutable after construction, so one object
// may serve several threads.
class NumberFormat {
  public:
    // "" and "General" (any case, or the Chinese "G/通用格式") give General.
    explicit NumberFormat(std::string_view code = {});
    ~NumberFormat();
    NumberFormat(NumberFormat&&) noexcept;
    NumberFormat& operator=(NumberFormat&&) noexcept;

    // The text shown for a number. `date1904` picks the date system of date and time sections.
    // NaN and infinities give "".
    std::string format(double value, bool date1904 = false) const;
    // The text shown for a text cell: the text section when the code has one (a fourth section,
    // or a single section holding "@"), else the text unchanged.
    std::string formatText(std::string_view text) const;

    // Whether the section for positive numbers shows a date or a time.
    bool isDateTime() const;
    // What that section shows of a date: its day (a year, month, day or weekday), its time (hours,
    // minutes, seconds, AM/PM, elapsed time), both or neither.
    struct DateParts {
        bool day = false;
        bool time = false;
    };
    DateParts dateParts() const;
    bool isGeneral() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One-off conveniences over NumberFormat.
std::string FormatNumber(double value, std::string_view code, bool date1904 = false);
std::string FormatText(std::string_view text, std::string_view code);

}  // namespace qm::format
