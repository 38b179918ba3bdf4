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

// How old a calibration is on a day: Overdue more than 365 days after it (the main window
// shows its date in red), DueSoon in its last 30 days (yellow), else Current (green).
enum class CalibrationAge { Current, DueSoon, Overdue };
CalibrationAge calibrationAge(long calibrationDay, long onDay);

// Dates as the operator sees and types them: the system's short-date format.
class ShortDates {
public:
    virtual ~ShortDates() = default;
    virtual std::string format(long dayNumber) const = 0;
    // The day number of a typed date; nothing when the text is not a date.
    virtual std::optional<long> parse(const std::string& text) const = 0;
};

} // namespace qarn3
