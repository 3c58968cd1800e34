#pragma once
// The calendar of workbook dates: serial day numbers of the 1900 and 1904 date systems and the
// proleptic Gregorian dates they stand for. Serial 0 is 1899-12-30 in the 1900 system (the leap
// day 1900-02-29 that the 1900 system counts is not reproduced, so serials from 61 on are the
// true dates) and 1904-01-01 in the 1904 system.

#include <string_view>

namespace qm::format {

// Days since 1970-01-01 of a date, and the date of a day count.
long long DaysFromCivil(long long year, unsigned month, unsigned day);
void CivilFromDays(long long days, long long& year, unsigned& month, unsigned& day);

// The serial number of 1970-01-01 in the date system.
constexpr long long SerialOfEpoch(bool date1904) {
    return date1904 ? 24107 : 25569;
}

// An ISO 8601 date or date-time ("2024-03-05", "2024-03-05T14:30:15.5") as a serial number of
// the date system; false when the text is no such date.
bool IsoDateToSerial(std::string_view text, bool date1904, double& serial);

}  // namespace qm::format
