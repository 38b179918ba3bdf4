#pragma once

#include "calsetup/caldate.h"

#include <QLocale>

namespace qarn3 {

// Dates in a locale's short-date format (the system's by default). A two-digit year is read
// as the year nearest the current one (up to 20 years ahead, else in the past), and a date
// typed with four year digits is read too.
class QtShortDates : public ShortDates {
public:
    explicit QtShortDates(const QLocale& locale = QLocale::system(), int currentYear = 0);

    std::string format(long dayNumber) const override;
    std::optional<long> parse(const std::string& text) const override;

private:
    QLocale m_locale;
    int m_currentYear;
};

} // namespace qarn3
