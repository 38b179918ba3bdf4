#pragma once

#include <optional>
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

// Dates as the operator sees and types them: the system's short-date format.
class ShortDates {
public:
    virtual ~ShortDates() = default;
    virtual std::string format(long dayNumber) const = 0;
    // The day number of a typed date; nothing when the text is not a date.
    virtual std::optional<long> parse(const std::string& text) const = 0;
};

} // namespace qarn3
