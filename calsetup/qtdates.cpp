#include "calsetup/qtdates.h"

#include <QDate>
#include <QRegularExpression>

namespace qarn3 {

namespace {
const QDate kDayZero(1899, 12, 30);

// A format whose year has only two digits ("M/d/yy").
bool hasShortYear(const QString& format) {
    static const QRegularExpression shortYear("(?<!y)yy(?!y)");
    return format.contains(shortYear);
}

QString withLongYear(QString format) {
    static const QRegularExpression shortYear("(?<!y)yy(?!y)");
    return format.replace(shortYear, "yyyy");
}
} // namespace

QtShortDates::QtShortDates(const QLocale& locale, int currentYear)
    : m_locale(locale), m_currentYear(currentYear > 0 ? currentYear : QDate::currentDate().year()) {
}

std::string QtShortDates::format(long dayNumber) const {
    return m_locale.toString(kDayZero.addDays(dayNumber), QLocale::ShortFormat).toStdString();
}

std::optional<long> QtShortDates::parse(const std::string& text) const {
    const QString t = QString::fromStdString(text).trimmed();
    const QString format = m_locale.dateFormat(QLocale::ShortFormat);
    QDate d;
    if (hasShortYear(format)) {
        d = m_locale.toDate(t, withLongYear(format));
        if (!d.isValid()) {
            // Qt reads "yy" as 19yy: move it to the century that puts it nearest today.
            d = m_locale.toDate(t, format);
            if (d.isValid()) {
                int year = m_currentYear / 100 * 100 + d.year() % 100;
                if (year > m_currentYear + 20) year -= 100;
                d = QDate(year, d.month(), d.day());
            }
        }
    } else {
        d = m_locale.toDate(t, format);
    }
    if (!d.isValid()) return std::nullopt;
    return static_cast<long>(kDayZero.daysTo(d));
}

} // namespace qarn3
