// The one calendar of workbook dates: serials of both date systems and ISO dates.

#include <gtest/gtest.h>

#include "data/format/calendar.h"

namespace qm::format {
namespace {

std::string DateOf(long long serial, bool date1904) {
    long long y;
    unsigned m, d;
    CivilFromDays(serial - SerialOfEpoch(date1904), y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", y, m, d);
    return buf;
}

TEST(Calendar, SerialsOfBothSystems) {
    EXPECT_EQ(DateOf(0, false), "1899-12-30");
    EXPECT_EQ(DateOf(61, false), "1900-03-01");
    EXPECT_EQ(DateOf(36526, false), "2000-01-01");
    EXPECT_EQ(DateOf(45351, false), "2024-02-29");
    EXPECT_EQ(DateOf(2958465, false), "9999-12-31");
    EXPECT_EQ(DateOf(0, true), "1904-01-01");
    EXPECT_EQ(DateOf(35064, true), "2000-01-01");
}

TEST(Calendar, DaysAndDatesRoundTripAcrossCenturiesAndLeapDays) {
    // From before 1900 to past 9999, through 1900 (no leap day) and 2000 (a leap day).
    for (long long days = -80000; days <= 3000000; days += 7) {
        long long y;
        unsigned m, d;
        CivilFromDays(days, y, m, d);
        ASSERT_EQ(DaysFromCivil(y, m, d), days) << y << "-" << m << "-" << d;
    }
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28), 1);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);
}

TEST(Calendar, IsoDatesAsSerials) {
    double serial = 0;
    ASSERT_TRUE(IsoDateToSerial("2000-01-01", false, serial));
    EXPECT_EQ(serial, 36526);
    ASSERT_TRUE(IsoDateToSerial("2000-01-01", true, serial));
    EXPECT_EQ(serial, 35064);
    ASSERT_TRUE(IsoDateToSerial("2024-03-05T18:00:00", false, serial));
    EXPECT_DOUBLE_EQ(serial, 45356.75);
    EXPECT_FALSE(IsoDateToSerial("2024-13-01", false, serial));
    EXPECT_FALSE(IsoDateToSerial("5 March", false, serial));
}

}  // namespace
}  // namespace qm::format
