// Test plans: the checks of a plan, the walk through its points, the range a target is
// injected on and the cool-down between a pole's long-time shots.
#include "records/testplan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace qarn3;

namespace {

TEST(BuiltInPlan, WalksThreePolesThenGroundFaultOnA) {
    const TestPlan p = builtInPlan();
    EXPECT_EQ(p.name, "LSIG three-pole");
    EXPECT_EQ(p.id, testPlanIdOf("LSIG three-pole"));
    EXPECT_EQ(testPlanProblem(p), "");
    ASSERT_EQ(p.points.size(), 13u);
    const Pole poles[] = {Pole::A, Pole::B, Pole::C};
    for (int i = 0; i < 3; ++i) {
        const PlanPoint* q = &p.points[4 * i];
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(q[j].pole, poles[i]);
        EXPECT_EQ(q[0].of, TargetOf::Ir);
        EXPECT_EQ(q[0].kind, PointKind::LongTime);
        EXPECT_EQ(q[1].of, TargetOf::Isd);
        EXPECT_EQ(q[2].source, PlanBandSource::MustNotTrip);
        EXPECT_EQ(q[2].factor, 0.9);
        EXPECT_EQ(q[2].holdSeconds, 0.5);
        EXPECT_EQ(q[3].source, PlanBandSource::Settings);
        EXPECT_EQ(q[3].factor, 1.1);
    }
    EXPECT_EQ(p.points[12].pole, Pole::A);
    EXPECT_EQ(p.points[12].kind, PointKind::GroundFault);
    EXPECT_EQ(p.points[12].of, TargetOf::Ig);
    EXPECT_EQ(p.checklist.size(), 3u);
}

TEST(TestPlanId, SameNameSameIdOtherNameOtherId) {
    EXPECT_EQ(testPlanIdOf("Plan"), testPlanIdOf("Plan"));
    EXPECT_NE(testPlanIdOf("Plan"), testPlanIdOf("Plan 2"));
    EXPECT_EQ(testPlanIdOf("Plan").size(), 36u);
}

struct ProblemCase {
    const char* name;
    std::function<void(TestPlan&)> change;
    const char* problem; // a part of the refusal; empty: taken
};

class TestPlanProblems : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(TestPlanProblems, NameThePointAtFault) {
    TestPlan p = builtInPlan();
    GetParam().change(p);
    const std::string why = testPlanProblem(p);
    if (*GetParam().problem == '\0')
        EXPECT_EQ(why, "");
    else
        EXPECT_NE(why.find(GetParam().problem), std::string::npos) << why;
}

Band band(double lo, double hi) {
    return Band{lo, hi};
}

INSTANTIATE_TEST_SUITE_P(
    Table, TestPlanProblems,
    ::testing::Values(
        ProblemCase{"EmptyName", [](TestPlan& p) { p.name = " "; }, "name is empty"},
        ProblemCase{"NameWithSpaceAround", [](TestPlan& p) { p.name = "LSIG "; }, "space"},
        ProblemCase{"NameWithLineBreak", [](TestPlan& p) { p.name = "a\nb"; }, "control"},
        ProblemCase{"NoPoints", [](TestPlan& p) { p.points.clear(); }, "no points"},
        ProblemCase{"ZeroFactor", [](TestPlan& p) { p.points[1].factor = 0; },
                    "point 2: factor 0 must be"},
        ProblemCase{"NotANumberFactor", [](TestPlan& p) { p.points[0].factor = std::nan(""); },
                    "point 1: factor"},
        ProblemCase{"TypedWithoutBand",
                    [](TestPlan& p) { p.points[4].source = PlanBandSource::Typed; },
                    "point 5: a typed point needs its band"},
        ProblemCase{"TypedBandTaken",
                    [](TestPlan& p) {
                        p.points[4].source = PlanBandSource::Typed;
                        p.points[4].band = band(0, 0.05);
                    },
                    ""},
        ProblemCase{"TypedBandUpsideDown",
                    [](TestPlan& p) {
                        p.points[4].source = PlanBandSource::Typed;
                        p.points[4].band = band(0.3, 0.2);
                    },
                    "point 5: band minimum 0.3 is above its maximum 0.2"},
        ProblemCase{"TypedBandMaximumZero",
                    [](TestPlan& p) {
                        p.points[4].source = PlanBandSource::Typed;
                        p.points[4].band = band(0, 0);
                    },
                    "point 5: band maximum 0 must be"},
        ProblemCase{"TypedBandNegativeMinimum",
                    [](TestPlan& p) {
                        p.points[4].source = PlanBandSource::Typed;
                        p.points[4].band = band(-0.1, 0.2);
                    },
                    "point 5: band minimum -0.1"},
        ProblemCase{"BandOnASettingsPoint", [](TestPlan& p) { p.points[0].band = band(1, 2); },
                    "point 1: only a typed point"},
        ProblemCase{"MustNotTripWithoutHold", [](TestPlan& p) { p.points[2].holdSeconds = 0; },
                    "point 3: hold time 0 must be"},
        ProblemCase{"HoldOnASettingsPoint", [](TestPlan& p) { p.points[3].holdSeconds = 1; },
                    "point 4: only a must-not-trip point"},
        ProblemCase{"NoShots", [](TestPlan& p) { p.points[12].shots = 0; },
                    "point 13: shots 0 must be 1 to 20"},
        ProblemCase{"TwentyShotsTaken", [](TestPlan& p) { p.points[12].shots = 20; }, ""},
        ProblemCase{"TwentyOneShots", [](TestPlan& p) { p.points[12].shots = 21; },
                    "point 13: shots 21"},
        ProblemCase{"EmptyCheck", [](TestPlan& p) { p.checklist.push_back(""); },
                    "checklist item 4"},
        ProblemCase{"NegativeCoolDown", [](TestPlan& p) { p.coolDownMinutes = -1; },
                    "cool-down -1 min must be 0 to 600"},
        ProblemCase{"NoCoolDownTaken", [](TestPlan& p) { p.coolDownMinutes = 0; }, ""},
        ProblemCase{"LongestCoolDownTaken", [](TestPlan& p) { p.coolDownMinutes = 600; }, ""},
        ProblemCase{"CoolDownTooLong", [](TestPlan& p) { p.coolDownMinutes = 600.5; },
                    "cool-down 600.5"}),
    [](const auto& i) { return std::string(i.param.name); });

// ---- The walk ---------------------------------------------------------------------------

PointResult shots(std::initializer_list<VerdictClass> classes) {
    PointResult r;
    for (VerdictClass c : classes) {
        ++r.shots;
        r.passed += c == VerdictClass::Pass;
        r.failed += c == VerdictClass::Fail;
        r.last = c;
    }
    return r;
}

PointResult skipped() {
    PointResult r;
    r.skipped = true;
    r.skipReason = "no ground-fault function";
    return r;
}

// A plan of three points, the second asking for two shots.
TestPlan threePoints() {
    TestPlan p = builtInPlan();
    p.points.resize(3);
    p.points[1].shots = 2;
    return p;
}

struct WalkCase {
    const char* name;
    std::vector<PointResult> results;
    std::optional<std::size_t> next;
    int done, passed, failed, left, skipped;
};

class PlanWalks : public ::testing::TestWithParam<WalkCase> {};

TEST_P(PlanWalks, CountByTheLastShotOfEachDonePoint) {
    const WalkCase& c = GetParam();
    const PlanWalk w = walkPlan(threePoints(), c.results);
    EXPECT_EQ(w.next, c.next);
    EXPECT_EQ(w.done, c.done);
    EXPECT_EQ(w.passed, c.passed);
    EXPECT_EQ(w.failed, c.failed);
    EXPECT_EQ(w.left, c.left);
    EXPECT_EQ(w.skipped, c.skipped);
}

using V = VerdictClass;
INSTANTIATE_TEST_SUITE_P(
    Table, PlanWalks,
    ::testing::Values(
        WalkCase{"Fresh", {}, 0, 0, 0, 0, 3, 0},
        WalkCase{"FirstShotPassed", {shots({V::Pass})}, 1, 1, 1, 0, 2, 0},
        WalkCase{"OneOfTwoShotsIsNotDone", {shots({V::Pass}), shots({V::Pass})}, 1, 1, 1, 0, 2, 0},
        WalkCase{"FailedPointIsDoneAndFailed", {shots({V::Fail})}, 1, 1, 0, 1, 2, 0},
        WalkCase{"RetestAfterAFailPasses", {shots({V::Fail, V::Pass})}, 1, 1, 1, 0, 2, 0},
        WalkCase{"RetestAfterAPassFails", {shots({V::Pass, V::Fail})}, 1, 1, 0, 1, 2, 0},
        WalkCase{
            "DoubtfulLastShotIsDoneButNeither", {shots({V::Pass, V::Doubtful})}, 1, 1, 0, 0, 2, 0},
        WalkCase{"SkipCountsAsDone", {skipped()}, 1, 1, 0, 0, 2, 1},
        WalkCase{"SkippedWithShotsIsStillSkipped",
                 {[] {
                     PointResult r = shots({V::Fail});
                     r.skipped = true;
                     return r;
                 }()},
                 1,
                 1,
                 0,
                 0,
                 2,
                 1},
        WalkCase{
            "NextIsTheFirstNotDone", {shots({}), skipped(), shots({V::Pass})}, 0, 2, 1, 0, 1, 1},
        WalkCase{"AllDone",
                 {shots({V::Pass}), shots({V::Fail, V::Pass}), shots({V::Fail})},
                 std::nullopt,
                 3,
                 2,
                 1,
                 0,
                 0},
        WalkCase{"ResultsBeyondThePlanLeftOut",
                 {shots({V::Pass}), shots({V::Pass, V::Pass}), skipped(), shots({V::Fail})},
                 std::nullopt,
                 3,
                 2,
                 0,
                 0,
                 1}),
    [](const auto& i) { return std::string(i.param.name); });

// ---- The range a target is injected on ---------------------------------------------------

constexpr std::array<double, 8> kScales{50, 100, 250, 500, 1000, 2500, 5000, 10000};

struct RangeCase {
    const char* name;
    std::array<double, 8> scales;
    double amps;
    std::optional<int> range;
};

class TargetRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(TargetRanges, TakeTheSmallestFullScaleAboveThePeak) {
    EXPECT_EQ(rangeForTarget(GetParam().scales, GetParam().amps), GetParam().range);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TargetRanges,
    ::testing::Values(
        RangeCase{"SmallTargetOnRangeOne", kScales, 1, 1},
        // 35.3553 A RMS is 50 A peak.
        RangeCase{"PeakAtFullScaleFits", kScales, 50 / std::sqrt(2.0), 1},
        RangeCase{"PeakJustAboveGoesUp", kScales, 35.4, 2},
        // 40 A RMS would fit 50 A only as RMS: its peak is 56.6 A.
        RangeCase{"RmsBelowButPeakAbove", kScales, 40, 2},
        RangeCase{"PeakAtTheLastFullScale", kScales, 10000 / std::sqrt(2.0), 8},
        RangeCase{"BeyondTheLastRange", kScales, 7072, std::nullopt},
        RangeCase{"ZeroTarget", kScales, 0, std::nullopt},
        RangeCase{"ScalesOutOfOrder", {10000, 5000, 2500, 1000, 500, 250, 100, 50}, 100, 6}),
    [](const auto& i) { return std::string(i.param.name); });

// ---- The cool-down ------------------------------------------------------------------------

struct CoolCase {
    const char* name;
    std::vector<std::pair<Pole, std::string>> shots;
    Pole pole;
    const char* now;
    double minutes;
    bool reset;
    bool waiting;
    double secondsLeft;
};

class CoolDowns : public ::testing::TestWithParam<CoolCase> {};

TEST_P(CoolDowns, WaitFromThePolesLastLongTimeShot) {
    const CoolCase& c = GetParam();
    const CoolDown d = coolDownAt(c.shots, c.pole, c.now, c.minutes, c.reset);
    EXPECT_EQ(d.waiting, c.waiting);
    EXPECT_NEAR(d.secondsLeft, c.secondsLeft, 1e-6);
}

const std::vector<std::pair<Pole, std::string>> kShots{
    {Pole::A, "2026-12-08T10:00:00.000Z"},
    {Pole::B, "2026-12-08T10:05:00.000Z"},
    {Pole::A, "2026-12-08T10:20:00.000Z"},
    {Pole::A, "2026-12-08T10:10:00.000Z"},
};

INSTANTIATE_TEST_SUITE_P(
    Table, CoolDowns,
    ::testing::Values(
        CoolCase{"NoEarlierShot", {}, Pole::A, "2026-12-08T10:00:00.000Z", 15, false, false, 0},
        CoolCase{"OtherPoleOnly", kShots, Pole::C, "2026-12-08T10:21:00.000Z", 15, false, false, 0},
        CoolCase{"FromTheLatestShotNotTheLastListed", kShots, Pole::A, "2026-12-08T10:30:00.000Z",
                 15, false, true, 300},
        CoolCase{"MillisecondsCount", kShots, Pole::A, "2026-12-08T10:34:59.500Z", 15, false, true,
                 0.5},
        CoolCase{"MinutesUp", kShots, Pole::A, "2026-12-08T10:35:00.000Z", 15, false, false, 0},
        CoolCase{"ThermalMemoryReset", kShots, Pole::A, "2026-12-08T10:21:00.000Z", 15, true, false,
                 0},
        CoolCase{"NoCoolDownAsked", kShots, Pole::A, "2026-12-08T10:21:00.000Z", 0, false, false,
                 0},
        CoolCase{"OtherZoneSameInstant", kShots, Pole::B, "2026-12-08T11:10:00.000+01:00", 15,
                 false, true, 600},
        CoolCase{"ShotAfterNowCountsAsNow", kShots, Pole::A, "2026-12-08T10:00:00.000Z", 15, false,
                 true, 900},
        CoolCase{"UnreadableShotLeftOut",
                 {{Pole::A, "yesterday"}, {Pole::A, "2026-12-08T10:00:00.000Z"}},
                 Pole::A,
                 "2026-12-08T10:10:00.000Z",
                 15,
                 false,
                 true,
                 300},
        CoolCase{"UnreadableNowNoWait", kShots, Pole::A, "now", 15, false, false, 0}),
    [](const auto& i) { return std::string(i.param.name); });

} // namespace
