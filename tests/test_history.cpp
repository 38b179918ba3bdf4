// A breaker's history: where each session's shot lies in its band, which shot stands for a
// session, the drift toward a band's edge, and when the breaker is next due.
#include "records/history.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace qarn3;

namespace {

struct PositionCase {
    const char* name;
    double seconds, min, max;
    std::optional<double> position;
};

class BandPositions : public ::testing::TestWithParam<PositionCase> {};

TEST_P(BandPositions, RunFromZeroAtTheMinimumToOneAtTheMaximum) {
    const PositionCase& c = GetParam();
    const auto p = positionInBand(c.seconds, Band{c.min, c.max});
    ASSERT_EQ(p.has_value(), c.position.has_value());
    if (p) {
        EXPECT_NEAR(*p, *c.position, 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BandPositions,
                         ::testing::Values(PositionCase{"AtTheMinimum", 0.1, 0.1, 0.3, 0},
                                           PositionCase{"AtTheMaximum", 0.3, 0.1, 0.3, 1},
                                           PositionCase{"Midway", 0.2, 0.1, 0.3, 0.5},
                                           PositionCase{"BelowTheBand", 0.05, 0.1, 0.3, -0.25},
                                           PositionCase{"AboveTheBand", 0.4, 0.1, 0.3, 1.5},
                                           PositionCase{"EmptyBand", 0.2, 0.2, 0.2, std::nullopt},
                                           PositionCase{"UpsideDownBand", 0.2, 0.3, 0.1,
                                                        std::nullopt}),
                         [](const auto& i) { return std::string(i.param.name); });

// A shot of session s (started at its start) on pole and kind, taken at taken, lasting
// seconds in the band [0, 1] unless given none.
ShotRow shot(const std::string& s, const std::string& start, Pole pole, PointKind kind,
             const std::string& taken, double seconds, std::optional<Band> band = Band{0, 1}) {
    ShotRow r;
    r.session.id = s;
    r.session.startedAt = start;
    r.point.pole = pole;
    r.point.kind = kind;
    r.shot.reading.takenAt = taken;
    r.shot.reading.seconds = seconds;
    r.shot.band = band;
    return r;
}

const std::string kJan = "2025-01-10T09:00:00.000Z";
const std::string kFeb = "2026-02-10T09:00:00.000Z";
const std::string kMar = "2027-03-10T09:00:00.000Z";
constexpr auto LT = PointKind::LongTime;
constexpr auto ST = PointKind::ShortTime;

TEST(BreakerHistory, TakesEachSessionsLastShotWithABandInKindPoleTimeOrder) {
    ShotRow held = shot("s2", kFeb, Pole::A, LT, "2026-02-10T09:40:00.000Z", 0.9);
    held.point.mustNotTrip = true;
    const std::vector<ShotRow> rows{
        // Later session first in the rows, and a short-time point before long time.
        shot("s2", kFeb, Pole::A, ST, "2026-02-10T09:10:00.000Z", 0.5),
        shot("s2", kFeb, Pole::A, LT, "2026-02-10T09:30:00.000Z", 0.4),
        // An earlier shot listed after the later one does not stand for the session.
        shot("s2", kFeb, Pole::A, LT, "2026-02-10T09:20:00.000Z", 0.1),
        // Neither a shot without a band nor one of a must-not-trip point.
        shot("s2", kFeb, Pole::A, LT, "2026-02-10T09:50:00.000Z", 0.7, std::nullopt),
        held,
        shot("s1", kJan, Pole::B, LT, "2025-01-10T09:05:00.000Z", 0.3),
        shot("s1", kJan, Pole::A, LT, "2025-01-10T09:00:00.000Z", 0.2),
        // A retest at the same time later in the rows stands for it.
        shot("s1", kJan, Pole::A, LT, "2025-01-10T09:00:00.000Z", 0.25),
        shot("s3", kMar, Pole::A, LT, "2027-03-10T09:00:00.000Z", 0.6, Band{0.5, 0.5}),
    };
    const auto h = breakerHistory(rows);
    ASSERT_EQ(h.size(), 4u);
    const struct {
        const char* session;
        Pole pole;
        PointKind kind;
        double position;
    } want[] = {{"s1", Pole::A, LT, 0.25},
                {"s2", Pole::A, LT, 0.4},
                {"s1", Pole::B, LT, 0.3},
                {"s2", Pole::A, ST, 0.5}};
    for (std::size_t i = 0; i < h.size(); ++i) {
        EXPECT_EQ(h[i].sessionId, want[i].session) << i;
        EXPECT_EQ(h[i].pole, want[i].pole) << i;
        EXPECT_EQ(h[i].kind, want[i].kind) << i;
        EXPECT_NEAR(h[i].position, want[i].position, 1e-12) << i;
    }
    EXPECT_EQ(h[1].startedAt, kFeb);
}

struct DriftCase {
    const char* name;
    double before, after;
    bool moved;
};

class EdgeDrifts : public ::testing::TestWithParam<DriftCase> {};

TEST_P(EdgeDrifts, FlagAShrinkOfTheNearerEdgesDistanceOverAQuarter) {
    const DriftCase& c = GetParam();
    const auto h = breakerHistory({shot("s1", kJan, Pole::A, LT, kJan, c.before),
                                   shot("s2", kFeb, Pole::A, LT, kFeb, c.after),
                                   // Another pole between them in time is another series.
                                   shot("s3", kMar, Pole::B, LT, kMar, 0.99)});
    ASSERT_EQ(h.size(), 3u);
    EXPECT_FALSE(h[0].movedTowardEdge);
    EXPECT_EQ(h[1].movedTowardEdge, c.moved);
    EXPECT_FALSE(h[2].movedTowardEdge);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EdgeDrifts,
    ::testing::Values(DriftCase{"MiddleToNearTheMinimum", 0.5, 0.2, true},
                      DriftCase{"MiddleToNearTheMaximumJustOverAQuarter", 0.5, 0.7501, true},
                      DriftCase{"AQuarterExactlyIsNot", 0.5, 0.75, false},
                      DriftCase{"MiddleToOutsideTheBand", 0.5, 1.4, true},
                      DriftCase{"FromOneEdgeToTheOther", 0.1, 0.9, false},
                      DriftCase{"OutsideToOutsideIsNoShrink", -0.5, 1.5, false},
                      DriftCase{"TowardTheMiddle", 0.1, 0.5, false}),
    [](const auto& i) { return std::string(i.param.name); });

// ---- Due dates ----------------------------------------------------------------------------

struct DueCase {
    const char* name;
    const char* tested;
    int months;
    const char* today;
    DueState state;
    const char* due;
};

class DueStates : public ::testing::TestWithParam<DueCase> {};

TEST_P(DueStates, FollowTheLastTestsDatePlusTheInterval) {
    const DueCase& c = GetParam();
    std::string due = "stale";
    EXPECT_EQ(dueStateOf(c.tested, c.months, c.today, due), c.state);
    EXPECT_EQ(due, c.due);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DueStates,
    ::testing::Values(
        DueCase{"NeverTested", "", 36, "2026-12-09", DueState::Never, ""},
        DueCase{"UnreadableTimeIsNever", "last spring", 36, "2026-12-09", DueState::Never, ""},
        DueCase{"WellAhead", "2026-01-15T10:00:00.000Z", 36, "2026-12-09", DueState::NotDue,
                "2029-01-15"},
        DueCase{"ThirtyTwoDaysAhead", "2023-12-15", 36, "2026-11-13", DueState::NotDue,
                "2026-12-15"},
        DueCase{"ThirtyOneDaysAhead", "2023-12-15", 36, "2026-11-14", DueState::DueSoon,
                "2026-12-15"},
        DueCase{"DueToday", "2023-12-09", 36, "2026-12-09", DueState::DueSoon, "2026-12-09"},
        DueCase{"ADayPast", "2023-12-08", 36, "2026-12-09", DueState::Overdue, "2026-12-08"},
        DueCase{"ShortInterval", "2026-06-30", 12, "2026-12-09", DueState::NotDue, "2027-06-30"},
        DueCase{"EndOfMonthClamps", "2027-01-31", 1, "2026-12-09", DueState::NotDue, "2027-02-28"},
        DueCase{"LeapDayToAYearWithout", "2024-02-29", 36, "2027-02-01", DueState::DueSoon,
                "2027-02-28"},
        DueCase{"TodayNotADateStillGivesTheDate", "2023-12-08", 36, "09/12/2026", DueState::NotDue,
                "2026-12-08"}),
    [](const auto& i) { return std::string(i.param.name); });

// The local date of the last test decides, not its UTC date.
class DueInAZone : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_had = tz != nullptr;
        if (tz) m_tz = tz;
        setenv("TZ", "XYZ-13", 1); // UTC+13, named in POSIX form so that no zone files are read
        tzset();
    }
    void TearDown() override {
        if (m_had)
            setenv("TZ", m_tz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_tz;
};

TEST_F(DueInAZone, ALateEveningUtcTestIsTheNextLocalDay) {
    std::string due;
    EXPECT_EQ(dueStateOf("2023-12-08T12:30:00.000Z", 36, "2026-12-09", due), DueState::DueSoon);
    EXPECT_EQ(due, "2026-12-09");
    EXPECT_EQ(dueStateOf("2023-12-08T10:30:00.000Z", 36, "2026-12-09", due), DueState::Overdue);
    EXPECT_EQ(due, "2026-12-08");
}

} // namespace
