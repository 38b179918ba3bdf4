#include "records/sessionreport.h"

#include "platform/textformat.h"
#include "records/tripunit.h"

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <cmath>

namespace qarn3 {

namespace {

// Three significant digits without the zeros at the end ("2", "0.5", "12.5").
std::string shortText(double v, char separator) {
    std::string s = significantText(v, separator);
    if (s.find(separator) == std::string::npos) return s;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == separator) s.pop_back();
    return s;
}

} // namespace

const TripCurve* curveOfKind(const std::vector<TripCurve>& curves, PointKind kind) {
    for (const TripCurve& c : curves)
        if (c.kind == kind) return &c;
    return nullptr;
}

bool takesCurve(const TestPointRecord& p) {
    return !p.band && !p.mustNotTrip;
}

SessionVerdict sessionVerdict(const std::vector<ShotRow>& shots) {
    if (shots.empty()) return SessionVerdict::NoShots;
    SessionVerdict v = SessionVerdict::Pass;
    for (const ShotRow& r : shots) {
        switch (verdictClass(r.shot.judgement.verdict)) {
        case VerdictClass::Fail:
            return SessionVerdict::Fail;
        case VerdictClass::Doubtful:
            v = SessionVerdict::Check;
            break;
        case VerdictClass::Pass:
            break;
        }
    }
    return v;
}

std::string sessionVerdictText(SessionVerdict v) {
    switch (v) {
    case SessionVerdict::Pass:
        return "PASS";
    case SessionVerdict::Fail:
        return "FAIL";
    case SessionVerdict::Check:
        return "CHECK";
    case SessionVerdict::NoShots:
        break;
    }
    return "NO SHOTS";
}

std::string currentText(const ShotReading& r, char separator) {
    const std::string format = "%5." + std::to_string(std::clamp(r.currentDecimals, 0, 6)) + "f A";
    return trimText(formatNumber(format, r.currentAmps, separator)) + (r.suspect ? "?" : "");
}

std::string secondsText(double seconds, char separator) {
    return trimText(formatNumber("%8.4f secs", seconds, separator));
}

std::string cyclesText(double cycles, char separator) {
    return trimText(formatNumber("%8.2f cycs", cycles, separator));
}

std::string multipleText(double multiple, char separator) {
    return formatFixed(multiple, 0, 2, separator);
}

std::string ratingText(double amps, char separator) {
    std::string s = QString::number(amps, 'g', 12).toStdString();
    std::replace(s.begin(), s.end(), '.', separator);
    return s;
}

std::string significantText(double v, char separator) {
    if (!(v > 0) || !std::isfinite(v)) return formatFixed(v, 0, 0, separator);
    const int magnitude = static_cast<int>(std::floor(std::log10(v * (1 + 1e-12))));
    return formatFixed(v, 0, std::clamp(2 - magnitude, 0, 4), separator);
}

std::string bandText(const ShotRow& row, const std::vector<TripCurve>& curves, char separator) {
    const TestPointRecord& p = row.point;
    if (p.mustNotTrip) return "hold " + formatFixed(p.holdSeconds, 0, 2, separator) + " s";
    if (!row.shot.band && row.shot.basis.kind == BasisKind::Settings &&
        !row.shot.basis.note.empty())
        return row.shot.basis.note;
    if (const auto& b = row.shot.band)
        return significantText(b->minSeconds, separator) + " – " +
               significantText(b->maxSeconds, separator) + " s";
    if (const TripCurve* c = takesCurve(p) ? curveOfKind(curves, p.kind) : nullptr;
        c && !c->points.empty())
        return "outside curve (" + shortText(c->points.front().multiple, separator) + " – " +
               shortText(c->points.back().multiple, separator) + " x In)";
    return "none";
}

std::string kindShortText(PointKind kind) {
    switch (kind) {
    case PointKind::LongTime:
        return "LT";
    case PointKind::ShortTime:
        return "ST";
    case PointKind::Instantaneous:
        return "I";
    case PointKind::GroundFault:
        return "GF";
    case PointKind::Other:
        break;
    }
    return "O";
}

std::string localTimeText(const std::string& isoUtc) {
    const QDateTime t = QDateTime::fromString(QString::fromStdString(isoUtc), Qt::ISODateWithMs);
    if (!t.isValid()) return isoUtc;
    return t.toLocalTime().toString("yyyy-MM-dd HH:mm").toStdString();
}

std::optional<long> localDayOf(const std::string& isoUtc) {
    const QDateTime t = QDateTime::fromString(QString::fromStdString(isoUtc), Qt::ISODateWithMs);
    if (!t.isValid()) return std::nullopt;
    const QDate d = t.toLocalTime().date();
    return dayNumberFromCivil(d.year(), d.month(), d.day());
}

std::optional<CalibrationAge> sessionCalibrationAge(const SessionRecord& s) {
    const QDate cal = QDate::fromString(QString::fromStdString(s.analyzerCalDate), Qt::ISODate);
    const auto day = localDayOf(s.startedAt);
    if (!cal.isValid() || !day) return std::nullopt;
    return calibrationAge(dayNumberFromCivil(cal.year(), cal.month(), cal.day()), *day);
}

std::string shotTimeText(const std::string& isoUtc) {
    const QDateTime t = QDateTime::fromString(QString::fromStdString(isoUtc), Qt::ISODateWithMs);
    if (!t.isValid()) return isoUtc;
    return t.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

std::string offTargetText(const ShotRecord& shot) {
    std::string t = shot.judgement.currentOffTarget ? "current off target" : "";
    if (shot.basis.nearPickup) t += (t.empty() ? "" : ", ") + std::string("current near pickup");
    return t;
}

std::optional<SessionRecord> pairedSessionOf(const SessionRecord& session,
                                             const std::vector<SessionRecord>& sessions) {
    std::optional<SessionRecord> found;
    for (const SessionRecord& s : sessions) {
        if (s.id == session.id) continue;
        if (session.condition == Condition::AsFound && s.condition == Condition::AsLeft &&
            s.startedAt > session.startedAt)
            return s;
        if (session.condition == Condition::AsLeft && s.condition == Condition::AsFound &&
            s.startedAt < session.startedAt)
            found = s;
    }
    return found;
}

const std::string& sessionSettingsText(const SessionRecord& session, const BreakerRecord& breaker) {
    return session.tripSettings.empty() ? breaker.tripSettings : session.tripSettings;
}

std::string bandBasisText(const ShotRecord& shot, char separator) {
    const BandBasis& b = shot.basis;
    switch (b.kind) {
    case BasisKind::Typed:
        return "typed";
    case BasisKind::Curve:
        return "curve " + b.source;
    case BasisKind::Settings:
        break;
    case BasisKind::Unknown:
        return "";
    }
    FieldError e;
    const auto settings = parseTripUnitSettings(b.settings, e);
    std::string t = "settings";
    if (const std::string own = settings ? settingOfFunction(*settings, b.function) : "";
        !own.empty())
        t.append(" ").append(settingsShownText(own, separator));
    const bool ofIn = b.function == TripInstantaneous || b.function == TripGroundFault;
    if (ofIn || !b.timesIr)
        t.append(" at ").append(multipleText(shot.multiple, separator)).append(" \u00d7 In");
    else
        t.append(" at ").append(multipleText(*b.timesIr, separator)).append(" \u00d7 Ir");
    return t + ", " + b.source;
}

std::string settingsShownText(const std::string& settings, char separator) {
    if (settings.empty()) return "none";
    // A blank after each setting lets a line wrap between them; with a decimal comma the list
    // is separated by "; " so that the numbers read.
    std::string out;
    for (char c : settings)
        out += c == ','   ? std::string(separator == ',' ? "; " : ", ")
               : c == '.' ? std::string(1, separator)
                          : std::string(1, c);
    return out;
}

} // namespace qarn3

namespace qarn3 {

namespace {

// A session's points in the order of their first shot, each with its last shot and its place
// among the points of its pole and kind.
struct PointShots {
    const TestPointRecord* point = nullptr;
    std::size_t lastShot = 0;
    int ordinal = 0;
};

std::vector<PointShots> pointsOf(const std::vector<ShotRow>& shots) {
    std::vector<PointShots> out;
    for (std::size_t i = 0; i < shots.size(); ++i) {
        const TestPointRecord& p = shots[i].point;
        auto it = std::find_if(out.begin(), out.end(),
                               [&](const PointShots& s) { return s.point->id == p.id; });
        if (it != out.end()) {
            if (shots[i].shot.reading.takenAt >= shots[it->lastShot].shot.reading.takenAt)
                it->lastShot = i;
            continue;
        }
        const int ordinal = static_cast<int>(std::count_if(out.begin(), out.end(), [&](auto& s) {
            return s.point->pole == p.pole && s.point->kind == p.kind;
        }));
        out.push_back({&p, i, ordinal});
    }
    return out;
}

} // namespace

std::vector<std::optional<std::size_t>> asFoundBeside(const std::vector<ShotRow>& asLeft,
                                                      const std::vector<ShotRow>& asFound) {
    const std::vector<PointShots> found = pointsOf(asFound);
    const std::vector<PointShots> left = pointsOf(asLeft);
    std::vector<std::optional<std::size_t>> out(asLeft.size());
    for (std::size_t i = 0; i < asLeft.size(); ++i) {
        const auto self = std::find_if(left.begin(), left.end(), [&](const PointShots& s) {
            return s.point->id == asLeft[i].point.id;
        });
        const TestPointRecord& p = *self->point;
        const bool byPlan = p.planSeq && std::any_of(found.begin(), found.end(), [](auto& s) {
                                return s.point->planSeq.has_value();
                            });
        auto match = found.end();
        if (byPlan)
            match = std::find_if(found.begin(), found.end(), [&](const PointShots& s) {
                return s.point->planSeq == p.planSeq;
            });
        else
            match = std::find_if(found.begin(), found.end(), [&](const PointShots& s) {
                return s.point->pole == p.pole && s.point->kind == p.kind &&
                       s.ordinal == self->ordinal;
            });
        if (match != found.end()) out[i] = match->lastShot;
    }
    return out;
}

std::string approvalText(const SessionRecord& session) {
    if (session.approvedBy.empty()) return "Not approved";
    return "Approved by " + session.approvedBy + " on " + localTimeText(session.approvedAt);
}

} // namespace qarn3
