#include "calsetup/caldate.h"

#include "platform/localtime.h"

#include <ctime>

namespace qarn3 {

namespace {
// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
long daysFromEpoch(long y, long m, long d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
const long kEpochDay = daysFromEpoch(1899, 12, 30);
} // namespace

long dayNumberFromCivil(int year, int month, int day) {
    return daysFromEpoch(year, month, day) - kEpochDay;
}

CivilDate civilFromDayNumber(long dayNumber) {
    long z = dayNumber + kEpochDay + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long d = doy - (153 * mp + 2) / 5 + 1;
    const long m = mp + (mp < 10 ? 3 : -9);
    const long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

CalibrationAge calibrationAge(long calibrationDay, long onDay) {
    if (onDay - 365 > calibrationDay) return CalibrationAge::Overdue;
    if (onDay - 335 > calibrationDay) return CalibrationAge::DueSoon;
    return CalibrationAge::Current;
}

long todayDayNumber() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localCalendar(now, local);
    return dayNumberFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

} // namespace qarn3
