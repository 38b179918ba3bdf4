// The date and time lines of a COMTRADE configuration, as each revision writes them.
#include "waveform/comtrade_parse.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qarn3::comtrade_detail {

namespace {

// Whether text[at, at + n) holds digits only; their value in v.
bool digitsAt(const std::string& text, std::size_t at, std::size_t n, int& v) {
    if (at + n > text.size()) return false;
    v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    return true;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

} // namespace

std::int64_t comtradeTimeMicros(const std::vector<std::string>& f, int revision) {
    const std::string& date = f[0];
    const std::string& time = f[1];
    int first = 0, second = 0, year = 0, hour = 0, minute = 0, sec = 0;
    const std::size_t yearDigits = date.size() == 8 && revision == 1991 ? 2 : 4;
    digitsAt(date, 0, 2, first);
    digitsAt(date, 3, 2, second);
    digitsAt(date, 6, yearDigits, year);
    if (yearDigits == 2) year += year < 70 ? 2000 : 1900;
    const int day = revision == 1991 ? second : first;
    const int month = revision == 1991 ? first : second;
    digitsAt(time, 0, 2, hour);
    digitsAt(time, 3, 2, minute);
    digitsAt(time, 6, 2, sec);
    std::int64_t micros = 0;
    for (std::size_t i = 9, scale = 100000; i < time.size() && scale > 0; ++i, scale /= 10)
        micros += (time[i] - '0') * static_cast<std::int64_t>(scale);
    const std::int64_t seconds =
        daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + sec;
    return seconds * 1000000 + micros;
}

std::optional<int> comtradeOffsetMinutes(const std::string& code) {
    const std::string t = trimmed(code);
    std::size_t at = 0;
    int sign = 1;
    if (at < t.size() && (t[at] == '+' || t[at] == '-')) sign = t[at++] == '-' ? -1 : 1;
    int hours = 0, minutes = 0;
    std::size_t digits = 0;
    while (at < t.size() && t[at] >= '0' && t[at] <= '9' && digits < 2) {
        hours = hours * 10 + (t[at++] - '0');
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (at < t.size()) {
        if ((t[at] != 'h' && t[at] != 'H') || !digitsAt(t, at + 1, 2, minutes) ||
            at + 3 != t.size() || minutes > 59)
            return std::nullopt;
    }
    if (hours > 23) return std::nullopt;
    return sign * (hours * 60 + minutes);
}

// A two-digit year of 1991 is 1970 to 2069.
bool isComtradeTime(const std::vector<std::string>& f, int revision) {
    if (f.size() != 2) return false;
    const std::string& date = f[0];
    const std::string& time = f[1];
    int first = 0, second = 0, year = 0, hour = 0, minute = 0, sec = 0;
    const std::size_t yearDigits = date.size() == 8 && revision == 1991 ? 2 : 4;
    if (date.size() != 6 + yearDigits || date[2] != '/' || date[5] != '/' ||
        !digitsAt(date, 0, 2, first) || !digitsAt(date, 3, 2, second) ||
        !digitsAt(date, 6, yearDigits, year))
        return false;
    const int day = revision == 1991 ? second : first;
    const int month = revision == 1991 ? first : second;
    if (yearDigits == 2) year += year < 70 ? 2000 : 1900;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap) return false;
    if (time.size() < 8 || time[2] != ':' || time[5] != ':' || !digitsAt(time, 0, 2, hour) ||
        !digitsAt(time, 3, 2, minute) || !digitsAt(time, 6, 2, sec))
        return false;
    // A leap second is second 60.
    if (hour > 23 || minute > 59 || sec > 60) return false;
    if (time.size() == 8) return true;
    const std::size_t fraction = time.size() - 9;
    int ignored = 0;
    return time[8] == '.' && fraction >= 1 && fraction <= (revision == 2013 ? 9u : 6u) &&
           digitsAt(time, 9, fraction, ignored);
}

} // namespace qarn3::comtrade_detail
