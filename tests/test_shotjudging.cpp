// The judging of new shots before they are stored: the band from the test point or the
// breaker's curve, the verdict and the current against its target.
#include "records/shotjudging.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace qarn3;

namespace {

// A long-time point at 3 x In (10 % tolerance) with no typed band, on a breaker of 100 A.
TestPointRecord basePoint() {
    TestPointRecord p;
    p.id = "point";
    p.kind = PointKind::LongTime;
    p.multiple = 3;
    return p;
}

// 300 A (3 x In) cleared in 2 s, a clean reading.
ShotReading baseReading() {
    ShotReading r;
    r.currentAmps = 300;
    r.seconds = 2;
    return r;
}

// From 100 to 200 s at 1 x In down to 1 to 2 s at 100 x In: 10 to 20 s at 10 x In in log-log.
TripCurve longTimeCurve() {
    TripCurve c;
    c.maker = "Maker";
    c.model = "Model";
    c.kind = PointKind::LongTime;
    c.points = {{1, 100, 200}, {100, 1, 2}};
    return c;
}

struct JudgingCase {
    const char* name;
    std::function<void(TestPointRecord&, ShotReading&)> change;
    bool withCurve;
    double rating;
    double multiple;
    std::optional<Band> band;
    Verdict verdict;
    bool offTarget;
};

class ShotJudgingTable : public ::testing::TestWithParam<JudgingCase> {};

TEST_P(ShotJudgingTable, JudgesTheShot) {
    const JudgingCase& c = GetParam();
    TestPointRecord point = basePoint();
    NewShot shot{baseReading(), {}};
    c.change(point, shot.reading);
    const std::optional<TripCurve> curve =
        c.withCurve ? std::optional<TripCurve>(longTimeCurve()) : std::nullopt;
    const std::vector<ShotJudgement> judged =
        judgeShots(point, c.rating, BandSources{curve, {}, {}}, {shot});
    ASSERT_EQ(judged.size(), 1u);
    const ShotJudgement& j = judged.front();
    if (std::isfinite(c.multiple))
        EXPECT_DOUBLE_EQ(j.multiple, c.multiple);
    else
        EXPECT_FALSE(std::isfinite(j.multiple));
    ASSERT_EQ(j.band.has_value(), c.band.has_value());
    if (c.band) {
        EXPECT_NEAR(j.band->minSeconds, c.band->minSeconds, 1e-9);
        EXPECT_NEAR(j.band->maxSeconds, c.band->maxSeconds, 1e-9);
    }
    EXPECT_EQ(verdictText(j.judgement.verdict), verdictText(c.verdict));
    EXPECT_EQ(j.judgement.currentOffTarget, c.offTarget);
}

const auto typed = [](double min, double max) {
    return [min, max](TestPointRecord& p, ShotReading&) { p.band = Band{min, max}; };
};
const auto atCurrent = [](double amps, double seconds) {
    return [amps, seconds](TestPointRecord& p, ShotReading& r) {
        p.multiple = amps / 100;
        r.currentAmps = amps;
        r.seconds = seconds;
    };
};
const auto holdFor = [](double hold, double seconds, bool cutShort) {
    return [hold, seconds, cutShort](TestPointRecord& p, ShotReading& r) {
        p.mustNotTrip = true;
        p.holdSeconds = hold;
        r.seconds = seconds;
        r.cutShort = cutShort;
    };
};

INSTANTIATE_TEST_SUITE_P(Shots, ShotJudgingTable,
                         ::testing::Values(
                             JudgingCase{"TypedBandPasses", typed(1, 5), false, 100, 3, Band{1, 5},
                                         Verdict::Pass, false},
                             JudgingCase{"TypedBandFailsFast", typed(2.5, 5), false, 100, 3,
                                         Band{2.5, 5}, Verdict::FailFast, false},
                             JudgingCase{"TypedBandFailsSlow", typed(0.5, 1.5), false, 100, 3,
                                         Band{0.5, 1.5}, Verdict::FailSlow, false},
                             // At 10 x In the curve says 10 to 20 s; the typed band is the one
                             // judged against.
                             JudgingCase{"TypedBandWinsOverTheCurve",
                                         [](TestPointRecord& p, ShotReading& r) {
                                             atCurrent(1000, 2)(p, r);
                                             p.band = Band{1, 5};
                                         },
                                         true, 100, 10, Band{1, 5}, Verdict::Pass, false},
                             JudgingCase{"CurveBandBetweenItsPoints", atCurrent(1000, 15), true,
                                         100, 10, Band{10, 20}, Verdict::Pass, false},
                             JudgingCase{"CurveBandOnItsFirstPoint", atCurrent(100, 90), true, 100,
                                         1, Band{100, 200}, Verdict::FailFast, false},
                             JudgingCase{"CurveBandOnItsLastPoint", atCurrent(10000, 2.5), true,
                                         100, 100, Band{1, 2}, Verdict::FailSlow, false},
                             JudgingCase{"BelowTheCurveHasNoBand", atCurrent(50, 2), true, 100, 0.5,
                                         std::nullopt, Verdict::NoBand, false},
                             JudgingCase{"AboveTheCurveHasNoBand", atCurrent(20000, 2), true, 100,
                                         200, std::nullopt, Verdict::NoBand, false},
                             JudgingCase{"NoCurveAndNoTypedBandHasNoBand",
                                         [](TestPointRecord&, ShotReading&) {}, false, 100, 3,
                                         std::nullopt, Verdict::NoBand, false},
                             // The curve would give a band at 3 x In; a point that must not trip
                             // takes none.
                             JudgingCase{"MustNotTripHeldTakesNoCurveBand", holdFor(1, 2, false),
                                         true, 100, 3, std::nullopt, Verdict::Pass, false},
                             JudgingCase{"MustNotTripCutShortHeld", holdFor(10, 2, true), true, 100,
                                         3, std::nullopt, Verdict::Pass, false},
                             JudgingCase{"MustNotTripTrippedBeforeTheHold", holdFor(10, 2, false),
                                         true, 100, 3, std::nullopt, Verdict::FailFast, false},
                             // 10 % of 3 x In is 0.3: 3.3 x In is inside, 3.31 x In off target.
                             JudgingCase{
                                 "CurrentAtTheToleranceIsOnTarget",
                                 [](TestPointRecord&, ShotReading& r) { r.currentAmps = 330; },
                                 false, 100, 3.3, std::nullopt, Verdict::NoBand, false},
                             JudgingCase{"CurrentBeyondTheToleranceIsOffTarget",
                                         [](TestPointRecord& p, ShotReading& r) {
                                             p.band = Band{1, 5};
                                             r.currentAmps = 331;
                                         },
                                         false, 100, 3.31, Band{1, 5}, Verdict::Pass, true},
                             JudgingCase{"TheTestPointsToleranceIsUsed",
                                         [](TestPointRecord& p, ShotReading& r) {
                                             p.tolerance = 0.2;
                                             r.currentAmps = 360;
                                         },
                                         false, 100, 3.6, std::nullopt, Verdict::NoBand, false},
                             JudgingCase{"SuspectReadingIsChecked",
                                         [](TestPointRecord& p, ShotReading& r) {
                                             p.band = Band{1, 5};
                                             r.suspect = true;
                                         },
                                         false, 100, 3, Band{1, 5}, Verdict::Check, false},
                             JudgingCase{
                                 "UnderRangeReadingIsChecked",
                                 [](TestPointRecord&, ShotReading& r) { r.underRange = true; },
                                 true, 100, 3, Band{100.0 / 3, 200.0 / 3}, Verdict::Check, false},
                             JudgingCase{"DataErrorsAreChecked",
                                         [](TestPointRecord& p, ShotReading& r) {
                                             p.band = Band{1, 5};
                                             r.dataErrors = 1;
                                         },
                                         false, 100, 3, Band{1, 5}, Verdict::Check, false},
                             JudgingCase{"CutShortIsNoTrip",
                                         [](TestPointRecord& p, ShotReading& r) {
                                             p.band = Band{1, 5};
                                             r.cutShort = true;
                                         },
                                         false, 100, 3, Band{1, 5}, Verdict::NoTrip, false},
                             // A rating of nothing finds no band on a curve, and no current is on
                             // target.
                             JudgingCase{"ZeroRatingFindsNoCurveBand",
                                         [](TestPointRecord&, ShotReading&) {}, true, 0,
                                         std::numeric_limits<double>::infinity(), std::nullopt,
                                         Verdict::NoBand, true}),
                         [](const auto& c) { return std::string(c.param.name); });

// One file's pulses are judged together, each at its own current, in the order given.
TEST(ShotJudging, SeveralShotsAreJudgedEachAtItsOwnMultiple) {
    TestPointRecord point = basePoint();
    point.multiple = 10;
    std::vector<NewShot> shots(3);
    shots[0].reading.currentAmps = 1000;
    shots[0].reading.seconds = 15;
    shots[1].reading.currentAmps = 100;
    shots[1].reading.seconds = 250;
    shots[2].reading.currentAmps = 50;
    shots[2].reading.seconds = 15;
    const auto judged = judgeShots(point, 100, BandSources{longTimeCurve(), {}, {}}, shots);
    ASSERT_EQ(judged.size(), 3u);
    EXPECT_DOUBLE_EQ(judged[0].multiple, 10);
    EXPECT_EQ(judged[0].judgement.verdict, Verdict::Pass);
    EXPECT_FALSE(judged[0].judgement.currentOffTarget);
    ASSERT_TRUE(judged[1].band);
    EXPECT_DOUBLE_EQ(judged[1].band->maxSeconds, 200);
    EXPECT_EQ(judged[1].judgement.verdict, Verdict::FailSlow);
    EXPECT_TRUE(judged[1].judgement.currentOffTarget);
    EXPECT_FALSE(judged[2].band);
    EXPECT_EQ(judged[2].judgement.verdict, Verdict::NoBand);
    EXPECT_TRUE(judgeShots(point, 100, BandSources{longTimeCurve(), {}, {}}, {}).empty());
}

// The band from the trip unit's settings, worked out by hand: In 1000 A, LTPU 0.8 (Ir 800 A),
// LTD 4 s at 6 x Ir, short time at 6 x Ir (4800 A) with STD 0.2 (0.15 to 0.25 s), instantaneous
// at 10 x In (10 kA, 50 ms).
struct SettingsCase {
    const char* name;
    double amps;
    double seconds;
    bool hasBand;
    double min, max;
    Verdict verdict;
    unsigned function;
    bool nearPickup;
    const char* note;
};

class JudgedBySettings : public ::testing::TestWithParam<SettingsCase> {};

BandSources settingsSources(bool withCurve) {
    BandSources s;
    s.profile = TripUnitProfile{};
    s.profile->maker = "Generic";
    s.profile->model = "Sample-ETU";
    s.profile->stDelays = {{0.2, 0.15, 0.25}};
    FieldError e;
    s.settings = parseTripUnitSettings("LTPU=0.8,LTD=4,STPU=6,STD=0.2,STI2T=off,INST=10", e);
    if (withCurve) s.curve = longTimeCurve();
    return s;
}

TEST_P(JudgedBySettings, TakesTheBandTheSettingsGiveAtTheMeasuredCurrent) {
    const SettingsCase& c = GetParam();
    TestPointRecord point = basePoint();
    point.multiple = 2.4; // 3 x Ir
    NewShot shot{baseReading(), {}};
    shot.reading.currentAmps = c.amps;
    shot.reading.seconds = c.seconds;
    // The breaker's curve is there too: the settings win over it.
    const auto judged = judgeShots(point, 1000, settingsSources(true), {shot});
    ASSERT_EQ(judged.size(), 1u);
    const ShotJudgement& j = judged.front();
    EXPECT_EQ(j.basis.kind, BasisKind::Settings);
    EXPECT_EQ(j.basis.source, "Generic Sample-ETU");
    EXPECT_EQ(j.basis.settings, "LTPU=0.8,LTD=4,STPU=6,STD=0.2,STI2T=off,INST=10");
    ASSERT_TRUE(j.basis.timesIr);
    EXPECT_DOUBLE_EQ(*j.basis.timesIr, c.amps / 800);
    ASSERT_EQ(j.band.has_value(), c.hasBand);
    if (c.hasBand) {
        EXPECT_NEAR(j.band->minSeconds, c.min, 1e-9);
        EXPECT_NEAR(j.band->maxSeconds, c.max, 1e-9);
    }
    EXPECT_EQ(j.judgement.verdict, c.verdict);
    EXPECT_EQ(j.basis.function, c.function);
    EXPECT_EQ(j.basis.nearPickup, c.nearPickup);
    EXPECT_EQ(j.basis.note, c.note);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JudgedBySettings,
    ::testing::Values(
        // 2400 A = 3 x Ir: 4 x (6 / 3)^2 = 16 s, -20 %: 12.8 to 16 s.
        SettingsCase{"LongTimeAtThreeTimesIr", 2400, 14, true, 12.8, 16, Verdict::Pass,
                     TripLongTime, false, ""},
        SettingsCase{"LongTimeTooSlow", 2400, 16.5, true, 12.8, 16, Verdict::FailSlow, TripLongTime,
                     false, ""},
        // 6000 A: above 6 x Ir x 1.1 = 5280 A, short time's row is faster than long time's
        // 4 x (4800 / 6000)^2 = 2.56 s.
        SettingsCase{"ShortTimeActsAndSaysSo", 6000, 0.2, true, 0.15, 0.25, Verdict::Pass,
                     TripShortTime, false, "short-time acts at this current"},
        // 5000 A: inside short time's pickup tolerance (4320..5280 A): long time's band
        // (4 x (4800/5000)^2 = 3.6864 s) keeps its maximum, short time lowers the minimum.
        SettingsCase{"NearShortTimePickup", 5000, 0.2, true, 0.15, 3.6864, Verdict::Pass,
                     TripLongTime, true, ""},
        // 12 kA: above 11 kA, instantaneous's 0 to 50 ms.
        SettingsCase{"InstantaneousActs", 12000, 0.03, true, 0, 0.05, Verdict::Pass,
                     TripInstantaneous, false, "instantaneous acts at this current"},
        // 700 A: below 1.05 x Ir = 840 A.
        SettingsCase{"BelowEveryPickup", 700, 100, false, 0, 0, Verdict::NoBand, 0, false,
                     "below pickup"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(JudgedBySettings, ATypedBandWinsAndAPointThatMustNotTripTakesNone) {
    TestPointRecord withBand = basePoint();
    withBand.band = Band{1, 2};
    const ShotBand t = bandOfShot(withBand, settingsSources(false), 1000, 2400);
    EXPECT_EQ(t.basis.kind, BasisKind::Typed);
    ASSERT_TRUE(t.band);
    EXPECT_DOUBLE_EQ(t.band->maxSeconds, 2);

    TestPointRecord hold = basePoint();
    hold.mustNotTrip = true;
    hold.holdSeconds = 5;
    const ShotBand h = bandOfShot(hold, settingsSources(true), 1000, 2400);
    EXPECT_FALSE(h.band);
    EXPECT_EQ(h.basis.kind, BasisKind::Unknown);
    EXPECT_EQ(h.basis.note, "long-time acts at this current") << "2400 A is 3 x Ir";
    EXPECT_EQ(bandOfShot(hold, settingsSources(true), 1000, 700).basis.note, "")
        << "below every pickup, as a must-not-trip point expects";

    // Without settings in force the curve gives the band, and says so.
    BandSources noSettings = settingsSources(true);
    noSettings.settings.reset();
    const ShotBand c = bandOfShot(basePoint(), noSettings, 100, 1000);
    EXPECT_EQ(c.basis.kind, BasisKind::Curve);
    EXPECT_EQ(c.basis.source, "Maker Model");
    ASSERT_TRUE(c.band);
    EXPECT_DOUBLE_EQ(c.band->maxSeconds, 20);

    // A profile the library lacks is said, whatever else gives the band.
    BandSources lost = noSettings;
    lost.profile.reset();
    lost.settings = settingsSources(false).settings;
    lost.profileMissing = true;
    const ShotBand m = bandOfShot(basePoint(), lost, 100, 1000);
    EXPECT_EQ(m.basis.kind, BasisKind::Curve);
    EXPECT_EQ(m.basis.note, "trip-unit profile not in the library");

    // A profile without settings in force judges nothing, and says why; a curve band that
    // stands in for it needs no note.
    BandSources unset = settingsSources(false);
    unset.settings.reset();
    const ShotBand u = bandOfShot(basePoint(), unset, 1000, 2400);
    EXPECT_FALSE(u.band);
    EXPECT_EQ(u.basis.note, "no trip-unit settings");
    EXPECT_EQ(bandOfShot(basePoint(), noSettings, 100, 1000).basis.note, "");
}

TEST(JudgedBySettings, TheSessionsSettingsComeBeforeTheBreakers) {
    SessionRecord session;
    BreakerRecord breaker;
    breaker.tripSettings = "LTPU=1,LTD=4";
    EXPECT_DOUBLE_EQ(*settingsInForce(session, breaker)->ltpu, 1);
    session.tripSettings = "LTPU=0.8";
    EXPECT_DOUBLE_EQ(*settingsInForce(session, breaker)->ltpu, 0.8);
    EXPECT_FALSE(settingsInForce(SessionRecord{}, BreakerRecord{}));
}

} // namespace
