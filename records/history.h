#pragma once

#include "records/model.h"
#include "records/rows.h"

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// Where a clearing time lies in its band: 0 at the minimum, 1 at the maximum, below 0 or above
// 1 outside; none when the band's maximum is not above its minimum.
std::optional<double> positionInBand(double seconds, const Band& band);

// One session's showing at one pole and kind of point, as a breaker's history draws it.
struct HistoryPoint {
    std::string sessionId;
    std::string startedAt; // the session's, ISO 8601 UTC
    Pole pole = Pole::A;
    PointKind kind = PointKind::LongTime;
    double position = 0; // positionInBand of the shot's time in its band
    // The distance to the nearer edge of the band (min(position, 1 - position), 0 outside the
    // band) shrank by more than kHistoryEdgeShift since the session before at this pole and kind.
    bool movedTowardEdge = false;
};

constexpr double kHistoryEdgeShift = 0.25;

// A breaker's history from its shots (of any sessions, in any order): for each session, pole
// and kind, the session's last shot (by time taken, then by place in rows) that was judged
// against a band whose maximum is above its minimum, leaving out must-not-trip points; ordered
// by kind, pole, then the session's start (then its id).
std::vector<HistoryPoint> breakerHistory(const std::vector<ShotRow>& rows);

// Whether a breaker is due for its next test.
enum class DueState { NotDue, DueSoon, Overdue, Never };
constexpr int kDefaultTestIntervalMonths = 36;
constexpr int kDueSoonDays = 31;

// The breaker is due on the local date of its last test (ISO 8601 time, or a "YYYY-MM-DD"
// date) plus intervalMonths (a day past the end of the month gives its last day: Jan 31 plus
// a month is Feb 28 or 29); dueDate is that date as "YYYY-MM-DD". Never, dueDate empty, when
// it was not tested (lastTestedIso empty or not a time); Overdue when today is past the due
// date; DueSoon when the due date is today or at most kDueSoonDays days after it; NotDue otherwise
// (also when today is not a date).
DueState dueStateOf(const std::string& lastTestedIso, int intervalMonths,
                    const std::string& todayIso, std::string& dueDate);

} // namespace qarn3
