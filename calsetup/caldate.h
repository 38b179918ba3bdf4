#pragma once

#include <string>

namespace qarn3 {

// Dates as whole day numbers counted from 30 December 1899 (day 0).
struct CivilDate {
    int year, month, day;
};
long dayNumberFromCivil(int year, int month, int day);
CivilDate civilFromDayNumber(long dayNumber);
// Today's local date as a day number.
long todayDayNumber();

} // namespace qarn3
