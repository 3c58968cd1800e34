#include "data/format/calendar.h"

#include <cstdio>
#include <string>

namespace qm::format {

// Both conversions count in eras of 400 years (146,097 days), which repeat exactly, with the
// year starting on March 1 so that the leap day falls at its end.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long days, long long& year, unsigned& month, unsigned& day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    year = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year += (month <= 2);
}

bool IsoDateToSerial(std::string_view text, bool date1904, double& serial) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    const std::string t(text);
    const int n = std::sscanf(t.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s);
    if (n < 3 || mo < 1 || mo > 12 || d < 1 || d > 31) return false;
    const long long days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    serial = static_cast<double>(days + SerialOfEpoch(date1904)) + (h * 3600 + mi * 60 + s) / 86400.0;
    return true;
}

}  // namespace qm::format
