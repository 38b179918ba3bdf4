#include "records/history.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <algorithm>
#include <map>
#include <tuple>

namespace qarn3 {

namespace {

// The distance to the band's nearer edge, 0 outside it.
double edgeDistance(double position) {
    return std::max(0.0, std::min(position, 1 - position));
}

// The local date of an ISO 8601 time, or a date given as such.
QDate localDateOf(const std::string& iso) {
    const QString text = QString::fromStdString(iso);
    if (text.size() == 10) return QDate::fromString(text, Qt::ISODate);
    const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    return t.isValid() ? t.toLocalTime().date() : QDate();
}

} // namespace

std::optional<double> positionInBand(double seconds, const Band& band) {
    if (!(band.maxSeconds > band.minSeconds)) return std::nullopt;
    return (seconds - band.minSeconds) / (band.maxSeconds - band.minSeconds);
}

std::vector<HistoryPoint> breakerHistory(const std::vector<ShotRow>& rows) {
    // The chosen row of each session, pole and kind.
    using Key = std::tuple<std::string, Pole, PointKind>;
    std::map<Key, std::size_t> last;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ShotRow& r = rows[i];
        const bool banded = r.shot.band && r.shot.band->maxSeconds > r.shot.band->minSeconds;
        if (r.point.mustNotTrip || !banded) continue;
        const auto [at, added] = last.emplace(Key{r.session.id, r.point.pole, r.point.kind}, i);
        if (!added && rows[at->second].shot.reading.takenAt <= r.shot.reading.takenAt)
            at->second = i;
    }
    std::vector<HistoryPoint> points;
    for (const auto& [key, i] : last) {
        const ShotRow& r = rows[i];
        points.push_back({r.session.id, r.session.startedAt, r.point.pole, r.point.kind,
                          *positionInBand(r.shot.reading.seconds, *r.shot.band)});
    }
    std::sort(points.begin(), points.end(), [](const HistoryPoint& a, const HistoryPoint& b) {
        return std::tie(a.kind, a.pole, a.startedAt, a.sessionId) <
               std::tie(b.kind, b.pole, b.startedAt, b.sessionId);
    });
    for (std::size_t i = 1; i < points.size(); ++i) {
        const HistoryPoint& before = points[i - 1];
        HistoryPoint& p = points[i];
        if (before.kind == p.kind && before.pole == p.pole)
            p.movedTowardEdge =
                edgeDistance(before.position) - edgeDistance(p.position) > kHistoryEdgeShift;
    }
    return points;
}

DueState dueStateOf(const std::string& lastTestedIso, int intervalMonths,
                    const std::string& todayIso, std::string& dueDate) {
    dueDate.clear();
    const QDate tested = localDateOf(lastTestedIso);
    if (!tested.isValid()) return DueState::Never;
    const QDate due = tested.addMonths(intervalMonths);
    dueDate = due.toString(Qt::ISODate).toStdString();
    const QDate today = QDate::fromString(QString::fromStdString(todayIso), Qt::ISODate);
    if (!today.isValid()) return DueState::NotDue;
    if (today > due) return DueState::Overdue;
    if (today.daysTo(due) <= kDueSoonDays) return DueState::DueSoon;
    return DueState::NotDue;
}

} // namespace qarn3
