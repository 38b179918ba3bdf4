// The verdict of a shot against its test point, and the values a record refuses.
#include "records/verdict.h"

#include "records_fixture.h"

#include <cmath>
#include <functional>
#include <limits>

using namespace qarn3;
using namespace qarn3::test;

namespace {

struct VerdictCase {
    const char* name;
    std::function<void(VerdictInput&)> change;
    Verdict verdict;
    bool offTarget;
};

// A long-time point at 3 x In with a 0.1 to 0.5 s band, measured at 3 x In in 0.3 s.
VerdictInput base() {
    VerdictInput in;
    in.seconds = 0.3;
    in.multiple = 3;
    in.targetMultiple = 3;
    in.band = Band{0.1, 0.5};
    return in;
}

class VerdictTable : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictTable, JudgesTheShot) {
    VerdictInput in = base();
    GetParam().change(in);
    const Judgement j = judge(in);
    EXPECT_EQ(verdictText(j.verdict), verdictText(GetParam().verdict));
    EXPECT_EQ(j.currentOffTarget, GetParam().offTarget);
}

const float kPeriod = 1.0f / 2400; // the store's single-precision sample period

INSTANTIATE_TEST_SUITE_P(
    Shots, VerdictTable,
    ::testing::Values(
        VerdictCase{"InsideTheBand", [](VerdictInput&) {}, Verdict::Pass, false},
        VerdictCase{"OnTheMinimum", [](VerdictInput& i) { i.seconds = 0.1; }, Verdict::Pass, false},
        // 240 samples of the float period are 0.1000000015 s, shown as 0.1000.
        VerdictCase{"OnTheMaximumAsShown",
                    [](VerdictInput& i) {
                        i.band = Band{0.05, 0.1};
                        i.seconds = 240 * static_cast<double>(kPeriod);
                    },
                    Verdict::Pass, false},
        VerdictCase{"BelowTheMinimum", [](VerdictInput& i) { i.seconds = 0.0999; },
                    Verdict::FailFast, false},
        VerdictCase{"AboveTheMaximum", [](VerdictInput& i) { i.seconds = 0.5001; },
                    Verdict::FailSlow, false},
        VerdictCase{"CutShortByMaxOn",
                    [](VerdictInput& i) {
                        i.cutShort = true;
                        i.seconds = 5;
                    },
                    Verdict::NoTrip, false},
        VerdictCase{"CutShortInsideTheBandIsStillNoTrip",
                    [](VerdictInput& i) { i.cutShort = true; }, Verdict::NoTrip, false},
        VerdictCase{"SuspectCurrent", [](VerdictInput& i) { i.suspect = true; }, Verdict::Check,
                    false},
        VerdictCase{"UnderRange", [](VerdictInput& i) { i.underRange = true; }, Verdict::Check,
                    false},
        VerdictCase{"DataErrors", [](VerdictInput& i) { i.dataErrors = 1; }, Verdict::Check, false},
        VerdictCase{"DoubtfulAndSlowIsCheck",
                    [](VerdictInput& i) {
                        i.dataErrors = 3;
                        i.seconds = 9;
                    },
                    Verdict::Check, false},
        VerdictCase{"DoubtfulAndCutShortIsCheck",
                    [](VerdictInput& i) {
                        i.suspect = true;
                        i.cutShort = true;
                    },
                    Verdict::Check, false},
        VerdictCase{"NoBand", [](VerdictInput& i) { i.band.reset(); }, Verdict::NoBand, false},
        VerdictCase{"MustNotTripCutShortPasses",
                    [](VerdictInput& i) {
                        i.mustNotTrip = true;
                        i.holdSeconds = 10;
                        i.band.reset();
                        i.cutShort = true;
                        i.seconds = 5;
                    },
                    Verdict::Pass, false},
        VerdictCase{"MustNotTripHeldForTheHoldTime",
                    [](VerdictInput& i) {
                        i.mustNotTrip = true;
                        i.holdSeconds = 2;
                        i.seconds = 2;
                    },
                    Verdict::Pass, false},
        VerdictCase{"MustNotTripTrippedEarly",
                    [](VerdictInput& i) {
                        i.mustNotTrip = true;
                        i.holdSeconds = 2;
                        i.seconds = 1.9999;
                    },
                    Verdict::FailFast, false},
        VerdictCase{"ExactlyTenPercentIsOnTarget", [](VerdictInput& i) { i.multiple = 3.3; },
                    Verdict::Pass, false},
        VerdictCase{"OffTargetWhateverTheVerdict",
                    [](VerdictInput& i) {
                        i.multiple = 2.6;
                        i.seconds = 0.6;
                    },
                    Verdict::FailSlow, true},
        VerdictCase{"OffTargetAbove", [](VerdictInput& i) { i.multiple = 3.31; }, Verdict::Pass,
                    true},
        VerdictCase{"NoToleranceOnlyTheTarget",
                    [](VerdictInput& i) {
                        i.tolerance = 0;
                        i.multiple = 3.0001;
                    },
                    Verdict::Pass, true}),
    [](const auto& c) { return std::string(c.param.name); });

// Every verdict text is one the database takes: a shot of each kind is stored and read back.
TEST(Verdicts, TextsReadBackAndOnlyPassCountsAsPass) {
    for (Verdict v : {Verdict::Pass, Verdict::FailFast, Verdict::FailSlow, Verdict::NoTrip,
                      Verdict::Check, Verdict::NoBand}) {
        EXPECT_EQ(verdictFromText(verdictText(v)), v);
        EXPECT_EQ(verdictClass(v) == VerdictClass::Pass, v == Verdict::Pass);
    }
    EXPECT_EQ(verdictClass(Verdict::NoTrip), VerdictClass::Fail);
    EXPECT_EQ(verdictClass(Verdict::FailFast), VerdictClass::Fail);
    EXPECT_EQ(verdictClass(Verdict::Check), VerdictClass::Doubtful);
    EXPECT_EQ(verdictClass(Verdict::NoBand), VerdictClass::Doubtful);
}

struct RefusalCase {
    const char* name;
    std::function<void(ShotContext&, NewShot&)> change;
    const char* field;
};

class Refusals : public RecordsDatabaseTest, public ::testing::WithParamInterface<RefusalCase> {};

// The store refuses the value with its field named, and writes nothing at all.
TEST_P(Refusals, NameTheFieldAndStoreNothing) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    NewShot s = shot();
    GetParam().change(context, s);
    ShotRecord stored;
    const RecordsError e = store.storeShot(context, s, stored);
    EXPECT_EQ(e.kind, RecordsErrorKind::Invalid);
    EXPECT_EQ(e.field, GetParam().field);
    EXPECT_EQ(e.message.rfind(std::string(GetParam().field) + ": ", 0), 0u) << e.message;
    RecordsError q;
    EXPECT_EQ(store.countShots({}, q), 0);
    EXPECT_TRUE(store.sites(q).empty());
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Records, Refusals,
    ::testing::Values(
        RefusalCase{"NoSiteName", [](ShotContext& c, NewShot&) { c.site.name = " "; }, "site"},
        RefusalCase{"NoDesignation", [](ShotContext& c, NewShot&) { c.breaker.designation = ""; },
                    "breaker"},
        RefusalCase{"RatingZero", [](ShotContext& c, NewShot&) { c.breaker.ratedAmps = 0; },
                    "rating"},
        RefusalCase{"RatingNegative", [](ShotContext& c, NewShot&) { c.breaker.ratedAmps = -5; },
                    "rating"},
        RefusalCase{"RatingNotANumber",
                    [](ShotContext& c, NewShot&) { c.breaker.ratedAmps = kNaN; }, "rating"},
        RefusalCase{"MultipleZero", [](ShotContext& c, NewShot&) { c.point.multiple = 0; },
                    "multiple"},
        RefusalCase{"ToleranceNegative", [](ShotContext& c, NewShot&) { c.point.tolerance = -0.1; },
                    "tolerance"},
        RefusalCase{"BandMinimumNegative",
                    [](ShotContext& c, NewShot&) {
                        c.point.band = Band{-0.1, 1};
                    },
                    "band minimum"},
        RefusalCase{"BandMaximumZero",
                    [](ShotContext& c, NewShot&) {
                        c.point.band = Band{0, 0};
                    },
                    "band maximum"},
        RefusalCase{"BandMinimumAboveMaximum",
                    [](ShotContext& c, NewShot&) {
                        c.point.band = Band{0.6, 0.5};
                    },
                    "band"},
        RefusalCase{"HoldZero",
                    [](ShotContext& c, NewShot&) {
                        c.point.mustNotTrip = true;
                        c.point.holdSeconds = 0;
                    },
                    "hold"},
        RefusalCase{"CalibrationDateNotADate",
                    [](ShotContext& c, NewShot&) { c.session.analyzerCalDate = "2026-13-01"; },
                    "calibration date"},
        RefusalCase{"CurrentNegative", [](ShotContext&, NewShot& s) { s.reading.currentAmps = -1; },
                    "current"},
        RefusalCase{"SecondsNotANumber", [](ShotContext&, NewShot& s) { s.reading.seconds = kNaN; },
                    "seconds"},
        RefusalCase{"SessionOfAnotherBreaker",
                    [](ShotContext& c, NewShot&) { c.session.breakerId = newRecordId(); },
                    "session"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(FieldText, NumbersAndBandsAreReadWithTheFieldNamed) {
    FieldError e;
    EXPECT_FALSE(numberForField("rating", "63O", e));
    EXPECT_EQ(e.message, "rating: '63O' is not a number");
    EXPECT_TRUE(e.notNumber);
    EXPECT_FALSE(bandFromText("0.1;0.5", e));
    EXPECT_EQ(e.field, "band");
    EXPECT_FALSE(bandFromText("x,0.5", e));
    EXPECT_EQ(e.field, "band minimum");
    EXPECT_FALSE(bandFromText("0.6,0.5", e));
    EXPECT_EQ(e.message, "band: minimum is above maximum");
    EXPECT_FALSE(e.notNumber);
    const auto b = bandFromText(" 0.1 , 2.5e-1 ", e);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->minSeconds, 0.1);
    EXPECT_EQ(b->maxSeconds, 0.25);
    // A band of one time (a maker's single figure) is a band, not a minimum above its maximum.
    const auto one = bandFromText("0.2,0.2", e);
    ASSERT_TRUE(one) << e.message;
    EXPECT_EQ(one->minSeconds, 0.2);
    EXPECT_EQ(one->maxSeconds, 0.2);
}

} // namespace
