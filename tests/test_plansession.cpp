// A session's test points made from a plan, what a point's shots come to, and the texts the
// panel shows beside an as-left point.
#include "records/plansession.h"

#include <gtest/gtest.h>

using namespace qarn3;

namespace {

TripUnitSettings settingsOf(const char* text) {
    FieldError e;
    const auto s = parseTripUnitSettings(text, e);
    EXPECT_TRUE(s) << e.message;
    return s.value_or(TripUnitSettings{});
}

ShotRecord shot(Verdict v, double seconds) {
    ShotRecord s;
    s.judgement.verdict = v;
    s.reading.seconds = seconds;
    return s;
}

TEST(PlanTestPoints, BuiltInPlanTakesItsTargetsFromTheSessionsSettings) {
    const auto points = [] {
        FieldError e;
        auto p = planTestPoints(
            builtInPlan(), settingsOf("LTPU=0.8,LTD=4,STPU=4,STD=0.2,INST=8,GFPU=0.3"), "S1", e);
        EXPECT_EQ(e.message, "");
        return p;
    }();
    ASSERT_EQ(points.size(), 13u);
    struct Case {
        std::size_t index;
        Pole pole;
        PointKind kind;
        double multiple;
        bool mustNotTrip;
        double hold;
    };
    const Case cases[] = {
        {0, Pole::A, PointKind::LongTime, 2.4, false, 0},       // 3 x Ir, Ir = 0.8 In
        {1, Pole::A, PointKind::ShortTime, 4.8, false, 0},      // 1.5 x Isd, Isd = 4 Ir
        {2, Pole::A, PointKind::Instantaneous, 7.2, true, 0.5}, // 0.9 x Ii, must hold
        {3, Pole::A, PointKind::Instantaneous, 8.8, false, 0},  // 1.1 x Ii
        {4, Pole::B, PointKind::LongTime, 2.4, false, 0},
        {12, Pole::A, PointKind::GroundFault, 0.45, false, 0}, // 1.5 x Ig
    };
    for (const Case& c : cases) {
        const TestPointRecord& p = points[c.index];
        SCOPED_TRACE(c.index);
        EXPECT_EQ(p.planSeq, static_cast<int>(c.index + 1));
        EXPECT_EQ(p.sessionId, "S1");
        EXPECT_EQ(p.pole, c.pole);
        EXPECT_EQ(p.kind, c.kind);
        EXPECT_DOUBLE_EQ(p.multiple, c.multiple);
        EXPECT_EQ(p.mustNotTrip, c.mustNotTrip);
        EXPECT_DOUBLE_EQ(p.holdSeconds, c.hold);
        EXPECT_FALSE(p.band) << "a band from the settings is found when the shot is judged";
        EXPECT_FALSE(p.id.empty());
    }
    EXPECT_NE(points[0].id, points[1].id);
}

TEST(PlanTestPoints, KeepsATypedBandAndRefusesASettingTheSessionLacksByPoint) {
    TestPlan plan;
    plan.name = "typed";
    PlanPoint typed;
    typed.of = TargetOf::In;
    typed.factor = 3;
    typed.source = PlanBandSource::Typed;
    typed.band = Band{10, 30};
    PlanPoint ground;
    ground.kind = PointKind::GroundFault;
    ground.of = TargetOf::Ig;
    ground.factor = 1.5;
    plan.points = {typed, ground};

    FieldError e;
    const auto made = planTestPoints(plan, settingsOf("LTPU=0.8"), "S", e);
    EXPECT_TRUE(made.empty()) << "no point is made when one cannot be";
    EXPECT_EQ(e.message.rfind("point 2: ", 0), 0u) << e.message;

    plan.points.pop_back();
    e = {};
    const auto one = planTestPoints(plan, TripUnitSettings{}, "S", e);
    ASSERT_EQ(one.size(), 1u);
    ASSERT_TRUE(one[0].band);
    EXPECT_EQ(one[0].band->maxSeconds, 30);
    EXPECT_DOUBLE_EQ(one[0].multiple, 3) << "a multiple of In needs no settings";
}

TEST(PointResult, CountsEveryShotAndTheLastDecides) {
    TestPointRecord p;
    const PointResult r = pointResultOf(
        p, {shot(Verdict::FailSlow, 40), shot(Verdict::Check, 1), shot(Verdict::Pass, 14)});
    EXPECT_EQ(r.shots, 3);
    EXPECT_EQ(r.passed, 1);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.last, VerdictClass::Pass);
    EXPECT_FALSE(r.skipped);
    p.skipped = "no access to pole C";
    const PointResult s = pointResultOf(p, {});
    EXPECT_TRUE(s.skipped);
    EXPECT_EQ(s.skipReason, "no access to pole C");
    EXPECT_FALSE(s.last);
}

TEST(AsFoundText, SaysTheLastShotOrWhyThereIsNone) {
    TestPointRecord skipped;
    skipped.skipped = "no access";
    struct Case {
        TestPointRecord point;
        std::vector<ShotRecord> shots;
        char separator;
        const char* text;
    };
    const Case cases[] = {
        {{},
         {shot(Verdict::FailSlow, 31), shot(Verdict::Pass, 14.2)},
         ',',
         "as found: PASS 14,2 s"},
        {{}, {shot(Verdict::FailFast, 0.0125)}, '.', "as found: FAIL FAST 0.013 s"},
        {skipped, {}, '.', "as found: skipped (no access)"},
        {{}, {}, '.', "as found: not tested"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(asFoundText(c.point, c.shots, c.separator), c.text);
}

TEST(Checklist, ThermalMemoryItemFoundInAnyCaseAndAnsweredEitherWay) {
    const TestPlan plan = builtInPlan();
    const std::string thermal = plan.checklist.at(1);
    EXPECT_TRUE(thermalMemoryTicked(plan, {thermal}));
    EXPECT_FALSE(thermalMemoryTicked(plan, {plan.checklist.at(0), plan.checklist.at(2)}));
    EXPECT_FALSE(checklistComplete(plan, {plan.checklist.at(0), thermal}));
    EXPECT_TRUE(checklistComplete(plan, {plan.checklist.begin(), plan.checklist.end()}));
    EXPECT_TRUE(checklistComplete(plan, {plan.checklist.at(0), plan.checklist.at(2)}))
        << "the thermal memory left unticked keeps the cool-down";
    TestPlan none = plan;
    none.checklist = {"THERMAL MEMORY cleared"};
    EXPECT_TRUE(thermalMemoryTicked(none, {"THERMAL MEMORY cleared"}));
}

} // namespace
