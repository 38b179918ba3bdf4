#pragma once

#include <ctime>

namespace qarn3 {

// The local calendar time of t (the system's time zone); false when it cannot be told.
bool localCalendar(std::time_t t, std::tm& out);
// The local time's offset from UTC at t, in minutes east; 0 when it cannot be told.
int localOffsetMinutesAt(std::time_t t);

} // namespace qarn3
