#include "calsetup/qtdates.h"

#include <QDate>
#include <QRegularExpression>

namespace qarn3 {

namespace {
const QDate kDayZero(1899, 12, 30);

const QRegularExpression& shortYearPattern() {
    static const QRegularExpression shortYear("(?<!y)yy(?!y)");
    return shortYear;
}

// Directional marks some locales put between the parts of a date; nobody types them.
QString withoutMarks(QString s) {
    static const QRegularExpression marks("[\\x{200E}\\x{200F}\\x{061C}]");
    return s.remove(marks);
}

// The format with one-letter day and month, which read one or two digits.
QString withShortDayMonth(QString format) {
    static const QRegularExpression day("(?<!d)dd(?!d)");
    static const QRegularExpression month("(?<!M)MM(?!M)");
    return format.replace(day, "d").replace(month, "M");
}

// A date in the format, its year typed with four digits or with two; two digits are read in
// the century that puts the year nearest the current one (up to 20 years ahead).
QDate readDate(const QLocale& locale, const QString& text, const QString& format, int currentYear) {
    QString longYear = format, shortYear = format;
    if (format.contains(shortYearPattern()))
        longYear.replace(shortYearPattern(), "yyyy");
    else
        shortYear.replace("yyyy", "yy");
    QDate d = locale.toDate(text, longYear);
    if (d.isValid() || shortYear == longYear) return d;
    // Qt reads "yy" as 19yy: move it to the century that puts it nearest today.
    d = locale.toDate(text, shortYear);
    if (!d.isValid()) return d;
    int year = currentYear / 100 * 100 + d.year() % 100;
    if (year > currentYear + 20) year -= 100;
    return QDate(year, d.month(), d.day());
}
} // namespace

QtShortDates::QtShortDates(const QLocale& locale, int currentYear)
    : m_locale(locale), m_currentYear(currentYear > 0 ? currentYear : QDate::currentDate().year()) {
}

std::string QtShortDates::format(long dayNumber) const {
    return m_locale.toString(kDayZero.addDays(dayNumber), QLocale::ShortFormat).toStdString();
}

// The date as shown, or as typed: one-digit days and months, no directional marks, and the
// digits 0-9 also where the locale shows others.
std::optional<long> QtShortDates::parse(const std::string& text) const {
    const QString t = QString::fromStdString(text).trimmed();
    const QString format = m_locale.dateFormat(QLocale::ShortFormat);
    const QString typed = withoutMarks(t);
    const QString relaxed = withShortDayMonth(withoutMarks(format));
    QDate d = readDate(m_locale, t, format, m_currentYear);
    if (!d.isValid()) d = readDate(m_locale, typed, relaxed, m_currentYear);
    if (!d.isValid()) d = readDate(QLocale::c(), typed, relaxed, m_currentYear);
    if (!d.isValid()) return std::nullopt;
    return static_cast<long>(kDayZero.daysTo(d));
}

} // namespace qarn3
