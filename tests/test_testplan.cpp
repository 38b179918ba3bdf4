// Test plans: the checks of a plan, its file read and refused at the line at fault and written
// back to the same plans, the walk through its points, the range a target is injected on and
// the cool-down between a pole's long-time shots.
#include "records/testplan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace qarn3;

namespace {

bool operator==(const Band& a, const Band& b) {
    return a.minSeconds == b.minSeconds && a.maxSeconds == b.maxSeconds;
}

void expectSamePlans(const std::vector<TestPlan>& got, const std::vector<TestPlan>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        const TestPlan& g = got[i];
        const TestPlan& w = want[i];
        EXPECT_EQ(g.id, w.id);
        EXPECT_EQ(g.name, w.name);
        EXPECT_EQ(g.checklist, w.checklist);
        EXPECT_EQ(g.coolDownMinutes, w.coolDownMinutes);
        ASSERT_EQ(g.points.size(), w.points.size()) << w.name;
        for (std::size_t j = 0; j < g.points.size(); ++j) {
            const PlanPoint& a = g.points[j];
            const PlanPoint& b = w.points[j];
            EXPECT_EQ(a.pole, b.pole) << j;
            EXPECT_EQ(a.kind, b.kind) << j;
            EXPECT_EQ(a.of, b.of) << j;
            EXPECT_EQ(a.factor, b.factor) << j;
            EXPECT_EQ(a.source, b.source) << j;
            EXPECT_EQ(a.band.has_value(), b.band.has_value()) << j;
            if (a.band && b.band) {
                EXPECT_TRUE(*a.band == *b.band) << j;
            }
            EXPECT_EQ(a.holdSeconds, b.holdSeconds) << j;
            EXPECT_EQ(a.shots, b.shots) << j;
        }
    }
}

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

// ---- The plans' file -------------------------------------------------------------------

const std::string kHeader = "plan,item,pole,kind,target,source,min_s,max_s,hold_s,shots,text\n";
// A plan of one point at line 2.
const std::string kOnePoint = kHeader + "P,point,A,long-time,3xIr,settings,,,,1,\n";

TEST(TestPlanCsv, BuiltInPlanAndAnOddOneReadBackAsWritten) {
    TestPlan odd;
    odd.name = "Typed, \"quoted\" plan";
    odd.id = testPlanIdOf(odd.name);
    PlanPoint typed;
    typed.pole = Pole::N;
    typed.kind = PointKind::Other;
    typed.of = TargetOf::In;
    typed.factor = 2.0 / 3;
    typed.source = PlanBandSource::Typed;
    typed.band = Band{0.1 + 0.2, 12.345678901};
    typed.shots = 3;
    PlanPoint curve = typed;
    curve.source = PlanBandSource::Curve;
    curve.band.reset();
    curve.of = TargetOf::Isd;
    odd.points = {typed, curve};
    odd.checklist = {"Check, with a comma", "A \"quoted\" word"};
    odd.coolDownMinutes = 7.25;
    const std::vector<TestPlan> plans{builtInPlan(), odd};

    const std::string text = testPlanCsvText(plans);
    EXPECT_EQ(text.rfind("plan,item,pole,kind,target,source,min_s,max_s,hold_s,shots,text\r\n", 0),
              0u);
    EXPECT_NE(text.find("LSIG three-pole,point,A,instantaneous,0.9xIi,must-not-trip,,,0.5,1,\r\n"),
              std::string::npos);
    const TestPlanCsv back = parseTestPlanCsv(text);
    ASSERT_EQ(back.error, "");
    expectSamePlans(back.plans, plans);
    EXPECT_EQ(testPlanCsvText(back.plans), text);
}

TEST(TestPlanCsv, RowsOfOnePlanGatherInTheirOrderWithoutAHeader) {
    const TestPlanCsv r = parseTestPlanCsv("# plans\n"
                                           "P,point,A,long-time,3xIr,settings,,,,1,\n"
                                           "Q,point,B,instantaneous,8,typed,0,0.05,,2,\n"
                                           "\n"
                                           "P,check,,,,,,,,,Look\n"
                                           "P,point,C,short-time,1.5 x Isd,curve,,,,,\n"
                                           "Q,cool_down,,,,,,,,,0\n");
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.plans.size(), 2u);
    EXPECT_EQ(r.plans[0].name, "P");
    ASSERT_EQ(r.plans[0].points.size(), 2u);
    EXPECT_EQ(r.plans[0].points[1].shots, 1);
    EXPECT_EQ(r.plans[0].points[1].pole, Pole::C);
    EXPECT_EQ(r.plans[0].checklist, std::vector<std::string>{"Look"});
    EXPECT_EQ(r.plans[0].coolDownMinutes, 15);
    EXPECT_EQ(r.plans[1].coolDownMinutes, 0);
    EXPECT_EQ(r.plans[1].points[0].of, TargetOf::In);
    EXPECT_EQ(r.plans[1].points[0].factor, 8);
    EXPECT_EQ(r.plans[1].points[0].shots, 2);
}

struct CsvCase {
    const char* name;
    std::string text;
    int line;
    const char* why; // a part of the refusal
};

class TestPlanCsvRefusals : public ::testing::TestWithParam<CsvCase> {};

TEST_P(TestPlanCsvRefusals, NameTheLineAndTakeNothing) {
    const CsvCase& c = GetParam();
    const TestPlanCsv r = parseTestPlanCsv(c.text);
    EXPECT_TRUE(r.plans.empty());
    EXPECT_EQ(r.errorLine, c.line) << r.error;
    EXPECT_EQ(r.error.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << r.error;
    EXPECT_NE(r.error.find(c.why), std::string::npos) << r.error;
}

const std::string kPointA = "P,point,A,long-time,3xIr,settings,,,,1,\n";

INSTANTIATE_TEST_SUITE_P(
    Table, TestPlanCsvRefusals,
    ::testing::Values(
        CsvCase{"Empty", "", 1, "no test plan"}, CsvCase{"HeaderOnly", kHeader, 1, "no test plan"},
        CsvCase{"OtherHeader", "plan,item,pole\n", 1, "header row differs"},
        CsvCase{"TenFields", kOnePoint + "P,check,,,,,,,,Look\n", 3, "10 fields, 11 expected"},
        CsvCase{"EmptyPlanName", kHeader + ",point,A,long-time,3xIr,settings,,,,1,\n", 2,
                "plan is empty"},
        CsvCase{"UnknownItem", kOnePoint + "P,note,,,,,,,,,x\n", 3, "item 'note' is not known"},
        CsvCase{"UnknownPole", kHeader + "P,point,D,long-time,3xIr,settings,,,,1,\n", 2,
                "point 1: pole 'D'"},
        CsvCase{"UnknownKind", kHeader + "P,point,A,long,3xIr,settings,,,,1,\n", 2,
                "point 1: kind 'long'"},
        CsvCase{"BadTarget", kHeader + "P,point,A,long-time,3xIq,settings,,,,1,\n", 2,
                "point 1: target multiple"},
        CsvCase{"ZeroTarget", kHeader + "P,point,A,long-time,0xIr,settings,,,,1,\n", 2,
                "point 1: target multiple: must be above zero"},
        CsvCase{"UnknownSource", kHeader + "P,point,A,long-time,3xIr,maker,,,,1,\n", 2,
                "point 1: source 'maker'"},
        CsvCase{"TypedWithoutBand", kOnePoint + "P,point,A,instantaneous,8,typed,,,,1,\n", 3,
                "point 2: a typed point needs its band"},
        CsvCase{"TypedHalfABand", kOnePoint + "P,point,A,instantaneous,8,typed,0,,,1,\n", 3,
                "point 2: a band needs both"},
        CsvCase{"TypedBandNotANumber", kOnePoint + "P,point,A,instantaneous,8,typed,0,fast,,1,\n",
                3, "point 2: max_s 'fast' is not a number"},
        CsvCase{"TypedBandUpsideDown", kOnePoint + "P,point,A,instantaneous,8,typed,0.2,0.1,,1,\n",
                3, "point 2: band minimum 0.2 is above"},
        CsvCase{"BandOnSettingsPoint", kHeader + "P,point,A,long-time,3xIr,settings,1,2,,1,\n", 2,
                "only a typed point"},
        CsvCase{"MustNotTripWithoutHold",
                kOnePoint + "P,point,A,instantaneous,0.9xIi,must-not-trip,,,,1,\n", 3,
                "point 2: hold time 0"},
        CsvCase{"HalfAShot", kHeader + "P,point,A,long-time,3xIr,settings,,,,1.5,\n", 2,
                "point 1: shots 1.5 must be a whole number"},
        CsvCase{"ManyShots", kHeader + "P,point,A,long-time,3xIr,settings,,,,21,\n", 2,
                "point 1: shots 21 must be 1 to 20"},
        CsvCase{"HugeShots", kHeader + "P,point,A,long-time,3xIr,settings,,,,1e300,\n", 2,
                "point 1: shots 1e300 must be"},
        CsvCase{"PointWithText", kHeader + "P,point,A,long-time,3xIr,settings,,,,1,x\n", 2,
                "point leaves text empty"},
        CsvCase{"CheckWithPole", kOnePoint + "P,check,A,,,,,,,,Look\n", 3,
                "check takes its text only: pole stays empty"},
        CsvCase{"EmptyCheck", kOnePoint + "P,check,,,,,,,,,\n", 3, "check needs its text"},
        CsvCase{"CoolDownInHold", kOnePoint + "P,cool_down,,,,,,,15,,\n", 3, "hold_s stays empty"},
        CsvCase{"CoolDownNotANumber", kOnePoint + "P,cool_down,,,,,,,,,long\n", 3,
                "cool_down 'long' is not a number"},
        CsvCase{"CoolDownTooLong", kOnePoint + "P,cool_down,,,,,,,,,601\n", 3,
                "cool_down 601 must be 0 to 600"},
        CsvCase{"CoolDownTwice", kOnePoint + "P,cool_down,,,,,,,,,5\nP,cool_down,,,,,,,,,6\n", 4,
                "given twice for P (first at line 3)"},
        CsvCase{"PlanOfChecksOnly", kOnePoint + "Q,check,,,,,,,,,Look\n", 3,
                "plan Q: it has no points"},
        CsvCase{"QuoteLeftOpen", kOnePoint + "P,check,,,,,,,,,\"Look\n", 3, "not closed"},
        CsvCase{"LaterPlanRefusedTakesNothing",
                kOnePoint + "Q,point,A,long-time,3xIr,settings,,,,1,\nQ,check,,,,,,,,, \n", 4,
                "check needs its text"}),
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
