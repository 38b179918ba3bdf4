#include "platform/localtime.h"

namespace qarn3 {

bool localCalendar(std::time_t t, std::tm& out) {
#ifdef _WIN32
    return ::localtime_s(&out, &t) == 0;
#else
    return ::localtime_r(&t, &out) != nullptr;
#endif
}

int localOffsetMinutesAt(std::time_t t) {
    std::tm local{};
    if (!localCalendar(t, local)) return 0;
#ifdef _WIN32
    // The local calendar read back as if it were UTC, less the instant.
    return static_cast<int>((::_mkgmtime(&local) - t) / 60);
#else
    return static_cast<int>(local.tm_gmtoff / 60);
#endif
}

} // namespace qarn3
