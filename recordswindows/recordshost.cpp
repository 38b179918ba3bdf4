#include "recordswindows/recordshost.h"

#include "store/database.h"

#include "platform/bidicontrols.h"

#include "calsetup/caldate.h"

#include <QDateTime>

#include <cstdio>

namespace qarn3 {

AnalyzerIdentity analyzerIdentityOf(const std::string& serialNumber, double calDate) {
    AnalyzerIdentity a;
    a.serial = serialNumber;
    if (calDate >= 1) {
        const CivilDate d = civilFromDayNumber(static_cast<long>(calDate));
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
        a.calDate = text;
    }
    return a;
}

QColor verdictRowColour(Verdict v) {
    switch (verdictClass(v)) {
    case VerdictClass::Pass:
        return QColor(0xC8, 0xEE, 0xC8);
    case VerdictClass::Fail:
        return QColor(0xF6, 0xC4, 0xC4);
    case VerdictClass::Doubtful:
        break;
    }
    return QColor(0xF8, 0xEC, 0xA8);
}

QColor verdictMarkColour(Verdict v) {
    switch (verdictClass(v)) {
    case VerdictClass::Pass:
        return QColor(0x00, 0x80, 0x00);
    case VerdictClass::Fail:
        return QColor(0xC8, 0x00, 0x00);
    case VerdictClass::Doubtful:
        break;
    }
    return QColor(0x9A, 0x74, 0x00);
}

WindowConnection openWindowConnection(const DatabaseLocation& where) {
    OpenOptions options;
    options.busyTimeoutMs = 1000; // a short wait: this is the window's thread
    WindowConnection c;
    c.db = std::make_unique<RecordsDatabase>(where, options);
    const OpenReport report = c.db->open();
    for (const std::string& note : report.notes)
        c.notes += (c.notes.empty() ? "" : "\n") + note;
    if (!report.ok) {
        c.db.reset();
        c.error = report.error.message;
    }
    return c;
}

QString shownText(const std::string& stored) {
    return QString::fromStdString(showBidiControls(stored));
}

} // namespace qarn3
