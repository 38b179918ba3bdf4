#include "records/recordsui.h"

#include "records/database.h"

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
    switch (verdictColour(v)) {
    case Colour::Green:
        return QColor(0xC8, 0xEE, 0xC8);
    case Colour::Red:
        return QColor(0xF6, 0xC4, 0xC4);
    default:
        return QColor(0xF8, 0xEC, 0xA8);
    }
}

QColor verdictMarkColour(Verdict v) {
    switch (verdictColour(v)) {
    case Colour::Green:
        return QColor(0x00, 0x80, 0x00);
    case Colour::Red:
        return QColor(0xC8, 0x00, 0x00);
    default:
        return QColor(0x9A, 0x74, 0x00);
    }
}

std::optional<double> fieldNumber(const std::string& field, const std::string& text, char separator,
                                  FieldError& error) {
    std::string t = text;
    if (separator != '.')
        for (char& c : t)
            if (c == separator) c = '.';
    const auto v = numberForField(field, t, error);
    if (!v) error.message = field + ": '" + text + "' is not a number";
    return v;
}

std::string shotTimeText(const std::string& isoUtc) {
    const QDateTime t = QDateTime::fromString(QString::fromStdString(isoUtc), Qt::ISODateWithMs);
    if (!t.isValid()) return isoUtc;
    return t.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

std::string offTargetText(const ShotRecord& shot) {
    return shot.judgement.currentOffTarget ? "current off target" : "";
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
