// Display texts of numbers and dates, number format classes, and code page conversion.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "data/model/sheet_impl.h"
#include "data/xls/text_decoder.h"

namespace qm::xls {
namespace {

TEST(XlsText, NumbersHaveAtMostFifteenDigitsAndNoTrailingZeros) {
    EXPECT_EQ(FormatNumber(7), "7");
    EXPECT_EQ(FormatNumber(19.99), "19.99");
    EXPECT_EQ(FormatNumber(19.990000000000002), "19.99");
    EXPECT_EQ(FormatNumber(0.1 + 0.2), "0.3");
    EXPECT_EQ(FormatNumber(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FormatNumber(-42), "-42");
    EXPECT_EQ(FormatNumber(-0.0), "0");
    EXPECT_EQ(FormatNumber(999999999999999), "999999999999999");
    EXPECT_EQ(FormatNumber(1e15), "1E+15");
    EXPECT_EQ(FormatNumber(-2.5e-7), "-2.5E-07");
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity()), "");
}

TEST(XlsText, DatesInBothSystems) {
    EXPECT_EQ(FormatDateValue(36526, NumberStyle::Date, false), "2000-01-01");
    EXPECT_EQ(FormatDateValue(35064, NumberStyle::Date, true), "2000-01-01");
    EXPECT_EQ(FormatDateValue(0, NumberStyle::Date, true), "1904-01-01");
    EXPECT_EQ(FormatDateValue(61, NumberStyle::Date, false), "1900-03-01");
    EXPECT_EQ(FormatDateValue(2958465, NumberStyle::Date, false), "9999-12-31");
    // Time of day only when the format shows it and the value has one.
    EXPECT_EQ(FormatDateValue(36526.5, NumberStyle::Date, false), "2000-01-01");
    EXPECT_EQ(FormatDateValue(36526.5, NumberStyle::DateTime, false), "2000-01-01 12:00:00");
    EXPECT_EQ(FormatDateValue(36526, NumberStyle::DateTime, false), "2000-01-01");
    EXPECT_EQ(FormatDateValue(0.75, NumberStyle::Time, false), "18:00:00");
    EXPECT_EQ(FormatDateValue(1.5, NumberStyle::Time, false), "1899-12-31 12:00:00");
    EXPECT_EQ(FormatDateValue(36526.99999999, NumberStyle::DateTime, false),
              "2000-01-02");  // rounds to the second
    // Not a date any more: shown as the number.
    EXPECT_EQ(FormatDateValue(-1, NumberStyle::Date, false), "-1");
    EXPECT_EQ(FormatDateValue(3e6, NumberStyle::Date, false), "3000000");
}

TEST(XlsText, NumberFormatClasses) {
    EXPECT_EQ(StyleOf(format::NumberFormat("yyyy-mm-dd")), NumberStyle::Date);
    EXPECT_EQ(StyleOf(format::NumberFormat("m/d")), NumberStyle::Date);
    EXPECT_EQ(StyleOf(format::NumberFormat("yyyy\"年\"m\"月\"d\"日\"")), NumberStyle::Date);
    EXPECT_EQ(StyleOf(format::NumberFormat("[$-804]yyyy年m月d日")), NumberStyle::Date);
    EXPECT_EQ(StyleOf(format::NumberFormat("d-mmm-yy h:mm AM/PM")), NumberStyle::DateTime);
    EXPECT_EQ(StyleOf(format::NumberFormat("h:mm")), NumberStyle::Time);
    EXPECT_EQ(StyleOf(format::NumberFormat("[h]:mm:ss")), NumberStyle::Time);
    EXPECT_EQ(StyleOf(format::NumberFormat("mm:ss.0")), NumberStyle::Time);
    EXPECT_EQ(StyleOf(format::NumberFormat("General")), NumberStyle::Plain);
    EXPECT_EQ(StyleOf(format::NumberFormat("0.00E+00")), NumberStyle::Plain);
    EXPECT_EQ(StyleOf(format::NumberFormat("#,##0.00_);[Red](#,##0.00)")), NumberStyle::Plain);
    EXPECT_EQ(StyleOf(format::NumberFormat("0.00\" days\"")), NumberStyle::Plain);
    EXPECT_EQ(StyleOf(format::NumberFormat("@")), NumberStyle::Plain);
    EXPECT_EQ(StyleOf(format::NumberFormat("")), NumberStyle::Plain);
}

// Built-in ids keep their meaning however the file spells them; other ids go by their code.
TEST(XlsText, BuiltinFormatIds) {
    FormatTable table;
    const auto styleOf = [&](unsigned id, const std::string* stored) {
        return table.style(table.addId(id, stored));
    };
    EXPECT_EQ(styleOf(14, nullptr), NumberStyle::Date);
    EXPECT_EQ(styleOf(22, nullptr), NumberStyle::DateTime);
    EXPECT_EQ(styleOf(20, nullptr), NumberStyle::Time);
    EXPECT_EQ(styleOf(10, nullptr), NumberStyle::Plain);
    const std::string local = "TT.MM.JJJJ";  // a date in another language's letters
    EXPECT_EQ(styleOf(14, &local), NumberStyle::Date);
    EXPECT_EQ(table.shown(table.addId(14, &local)).format(36526), "2000/1/1");  // shows as zh-CN
    const std::string custom = "yyyy-mm-dd hh:mm";
    EXPECT_EQ(styleOf(170, &custom), NumberStyle::DateTime);
    const std::string plain = "0.00";
    EXPECT_EQ(styleOf(170, &plain), NumberStyle::Plain);
    EXPECT_EQ(table.addId(170, nullptr), 0);  // no code: General
}

std::string Decode(unsigned codePage, const char* bytes) {
    CodePageDecoder decoder;
    decoder.setCodePage(codePage);
    std::string out;
    decoder.append(out, reinterpret_cast<const std::uint8_t*>(bytes), std::strlen(bytes));
    return out;
}

TEST(XlsText, CodePagesOfByteStrings) {
    EXPECT_EQ(Decode(936, "\xD6\xD0\xCE\xC4 ok"), "中文 ok");
    EXPECT_EQ(Decode(950, "\xA4\xA4\xA4\xE5"), "中文");
    EXPECT_EQ(Decode(1251, "\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
    EXPECT_EQ(Decode(1252, "caf\xE9 \x80"), "café €");
    EXPECT_EQ(Decode(0, "\xE9"), "é");                 // no CODEPAGE record
    EXPECT_EQ(Decode(936, "a\xD6"), "a\xEF\xBF\xBD");  // cut double-byte character
}

TEST(XlsText, Utf16Halves) {
    std::string out;
    const std::uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE, 0x2D, 0x4E};  // U+1F600 U+4E2D
    AppendUtf16(out, pair, 3);
    EXPECT_EQ(out, "\xF0\x9F\x98\x80中");
    out.clear();
    const std::uint8_t lone[] = {0x00, 0xD8, 0x41, 0x00};
    AppendUtf16(out, lone, 2);
    EXPECT_EQ(out,
              "\xEF\xBF\xBD"
              "A");
    out.clear();
    const std::uint8_t latin[] = {'a', 0xE9};
    AppendLatin1(out, latin, 2);
    EXPECT_EQ(out, "aé");
}

}  // namespace
}  // namespace qm::xls
