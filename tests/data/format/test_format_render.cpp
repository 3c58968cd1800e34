// The renderer on its own: the edges the office corpus does not reach (malformed codes, limits of
// dates and numbers, section choice, carries in rounding, Chinese numerals of every size).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "data/format/number_format.h"

namespace qm::format {
namespace {

TEST(FormatRender, GeneralIsTheRawText) {
    EXPECT_EQ(FormatNumber(19.990000000000002, "General"), "19.99");
    EXPECT_EQ(FormatNumber(7, ""), "7");
    EXPECT_EQ(FormatNumber(-0.0, "General"), "0");
    EXPECT_EQ(FormatNumber(1234567890123456789.0, "General"), "1.23456789012346E+18");
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN(), "0.00"), "");
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity(), "General"), "");
    EXPECT_TRUE(NumberFormat("general").isGeneral());
    EXPECT_TRUE(NumberFormat("G/通用格式").isGeneral());
}

TEST(FormatRender, RoundingCarriesThroughEveryPart) {
    EXPECT_EQ(FormatNumber(9.995, "0.00"), "10.00");
    EXPECT_EQ(FormatNumber(0.999, "0.00"), "1.00");
    EXPECT_EQ(FormatNumber(99999.5, "#,##0"), "100,000");
    EXPECT_EQ(FormatNumber(9.9999, "0.00E+00"), "1.00E+01");
    EXPECT_EQ(FormatNumber(1.005, "0.00"), "1.01");  // decimal rounding, not binary
    EXPECT_EQ(FormatNumber(123456789012345678.0, "0"), "123456789012346000");
    EXPECT_EQ(FormatNumber(0.5, "#.##"), ".5");
    EXPECT_EQ(FormatNumber(5, "0.##"), "5.");
    EXPECT_EQ(FormatNumber(12.5, ".00"), "12.50");
    EXPECT_EQ(FormatNumber(3.5, "0.0??"), "3.5  ");
}

TEST(FormatRender, SectionsAndConditions) {
    const char* three = "0.0;(0.0);\"zero\";\"text:\"@";
    EXPECT_EQ(FormatNumber(1.25, three), "1.3");
    EXPECT_EQ(FormatNumber(-1.25, three), "(1.3)");
    EXPECT_EQ(FormatNumber(0, three), "zero");
    EXPECT_EQ(FormatText("abc", three), "text:abc");
    EXPECT_EQ(FormatText("abc", "0.00"), "abc");  // no text section: the text as it is
    EXPECT_EQ(FormatNumber(-5, "0;"), "");        // an empty negative section shows nothing
    EXPECT_EQ(FormatNumber(-5, "\"x\""), "-x");   // one section keeps the sign
    EXPECT_EQ(FormatNumber(5, "[<10]\"small\";\"big\""), "small");
    EXPECT_EQ(FormatNumber(50, "[<10]\"small\";\"big\""), "big");
    EXPECT_EQ(FormatNumber(-3, "[<0]0;0"), "3");  // a section only negatives reach drops the sign
    EXPECT_EQ(FormatNumber(12, "@"), "12");       // numbers in text-formatted cells read as General
}

TEST(FormatRender, MalformedCodesStillGiveText) {
    for (const char* code : {"\"unclosed", "[", "[$", "[>", "0.0.0", "E+", "#/", "?/", "[h", "\\", "_", "*",
                             "0;0;0;0;0", "[DBNum9]0", "# ?/123456789012345678901", "?/?????????", "[$-F800",
                             "yyyy\"", "0%%%%%%%%%%%%%%%%%%%%%%%%"}) {
        SCOPED_TRACE(code);
        (void)FormatNumber(123.456, code);
        (void)FormatNumber(-1e300, code);
        (void)FormatText("t", code);
    }
    EXPECT_EQ(FormatNumber(5, "\"unclosed"), "unclosed");
    EXPECT_EQ(FormatNumber(7.27148e91, "?/?"), "7.27148E+91");  // no fraction beyond 15 digits
}

TEST(FormatRender, DatesAtTheirLimits) {
    EXPECT_EQ(FormatNumber(-1, "yyyy-mm-dd"), "-1");            // no date before day 0
    EXPECT_EQ(FormatNumber(2958466, "yyyy-mm-dd"), "2958466");  // year 10000
    EXPECT_EQ(FormatNumber(2958465.99999, "yyyy-mm-dd hh:mm:ss"), "9999-12-31 23:59:59");
    EXPECT_EQ(FormatNumber(0, "yyyy-mm-dd"), "1899-12-30");
    EXPECT_EQ(FormatNumber(0, "yyyy-mm-dd", true), "1904-01-01");
    EXPECT_EQ(FormatNumber(35064, "yyyy-mm-dd", true), "2000-01-01");
    EXPECT_EQ(FormatNumber(0.99999999, "hh:mm:ss"), "00:00:00");  // rounds into the next day
    EXPECT_EQ(FormatNumber(100.5, "[h]"), "2412");
    EXPECT_EQ(FormatNumber(0.5, "h AM/PM"), "12 PM");
    EXPECT_EQ(FormatNumber(0, "h am/pm"), "12 am");
    EXPECT_EQ(FormatNumber(0.75, "h A/P"), "6 P");
    EXPECT_TRUE(NumberFormat("yyyy/m/d").isDateTime());
    EXPECT_FALSE(NumberFormat("0.00").isDateTime());
}

TEST(FormatRender, ChineseNumeralsOfEverySize) {
    struct Case {
        double value;
        const char* lower;
        const char* upper;
    };
    for (const Case& c : {Case{0, "〇", "零"}, Case{10, "一十", "壹拾"}, Case{105, "一百零五", "壹佰零伍"},
                          Case{1000010, "一百万零一十", "壹佰万零壹拾"}, Case{100000000, "一亿", "壹亿"},
                          Case{100010000, "一亿零一万", "壹亿零壹万"}, Case{-20, "-二十", "-贰拾"}}) {
        EXPECT_EQ(FormatNumber(c.value, "[DBNum1]General"), c.lower) << c.value;
        EXPECT_EQ(FormatNumber(c.value, "[DBNum2]General"), c.upper) << c.value;
    }
    EXPECT_EQ(FormatNumber(12.05, "[DBNum1]0.00"), "一十二.〇五");
    EXPECT_EQ(FormatNumber(45651, "[DBNum1][$-804]m\"月\"d\"日\""), "十二月二十五日");
}

TEST(FormatRender, BuiltinCodesAreChineseWhereTheyDiffer) {
    EXPECT_EQ(BuiltinFormatCode(14), "yyyy/m/d");
    EXPECT_EQ(BuiltinFormatCode(31), "yyyy\"年\"m\"月\"d\"日\"");
    EXPECT_EQ(BuiltinFormatCode(55), "上午/下午h\"时\"mm\"分\"");
    EXPECT_EQ(BuiltinFormatCode(49), "@");
    EXPECT_EQ(BuiltinFormatCode(23), "");
    EXPECT_EQ(BuiltinFormatCode(1000), "");
    for (unsigned id = 0; id < 164; ++id) {  // every built-in code renders
        const std::string code(BuiltinFormatCode(id));
        if (!code.empty()) (void)FormatNumber(45356.6, code);
    }
}

}  // namespace
}  // namespace qm::format
