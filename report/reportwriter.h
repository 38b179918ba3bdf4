#pragma once

#include "records/sessionreport.h"

#include <QPageSize>

#include <string>

class QIODevice;
class QLocale;

namespace qarn3 {

// How a report is written.
struct ReportOptions {
    QPageSize::PageSizeId pageSize = QPageSize::A4;
    char decimalSeparator = '.'; // the program's, as the window shows readings
    std::string writtenAt;       // ISO 8601 UTC of the writing, shown in the header; empty: now
};

// Letter where the locale measures in US units or is of a country that prints on Letter
// (the Americas that do, the Philippines), else A4.
QPageSize::PageSizeId pageSizeForLocale(const QLocale& locale);

// The test report of a session as a PDF: a header with the site, the breaker and its
// rating, the session, its condition, date and operator, the analyzer's serial number and
// calibration date (warned of when it was more than a year old on the day of the test, or
// due within a month, as the main window colours it); the results table (pole, kind,
// multiple, band at that multiple, current, seconds, cycles, verdict) with the overall
// verdict; the time-current plot; one waveform snapshot per shot with its reading; signature
// lines; "Page n of m" on every page. Every text is text in the PDF, readings as the window
// shows them. Needs a QGuiApplication (fonts). Returns the error, empty when written.
std::string writeReportPdf(const SessionReport& report, const ReportOptions& options,
                           QIODevice& out);
// The same into a file, replaced whole only once written (a read-only file is refused).
std::string writeReportFile(const SessionReport& report, const ReportOptions& options,
                            const std::string& path);

} // namespace qarn3
