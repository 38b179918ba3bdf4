// The trip unit's settings as one text, and the band its settings give at a current, as tables
// computed by hand.
#include "records/sessionreport.h"
#include "records/tripunit.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace qarn3;

namespace {

// A made-up profile: long time between 1.05 and 1.20 x Ir at -20 %..0 of its delay, pickups
// +/- 10 %, two short-time rows, one ground-fault row, instantaneous within 50 ms.
TripUnitProfile profile() {
    TripUnitProfile p;
    p.stDelays = {{0.1, 0.06, 0.14}, {0.2, 0.15, 0.25}};
    p.gfDelays = {{0.2, 0.14, 0.24}};
    return p;
}

TripUnitSettings settingsOf(const std::string& text) {
    FieldError e;
    const auto s = parseTripUnitSettings(text, e);
    EXPECT_TRUE(s) << e.message;
    return s.value_or(TripUnitSettings{});
}

struct BandCase {
    const char* name;
    const char* settings;
    double amps; // In is 1000 A throughout
    bool hasBand;
    double min, max;
    unsigned sure, may, fastest;
    bool near;
    const char* missing;
};

class TripUnitBands : public ::testing::TestWithParam<BandCase> {};

TEST_P(TripUnitBands, GiveTheBandOfTheFunctionsThatAct) {
    const BandCase& c = GetParam();
    const TripUnitBand b = tripUnitBandAt(settingsOf(c.settings), profile(), 1000, c.amps);
    ASSERT_EQ(b.band.has_value(), c.hasBand);
    if (c.hasBand) {
        EXPECT_NEAR(b.band->minSeconds, c.min, 1e-4);
        EXPECT_NEAR(b.band->maxSeconds, c.max, 1e-4);
    }
    EXPECT_EQ(b.sure, c.sure);
    EXPECT_EQ(b.may, c.may);
    EXPECT_EQ(b.fastest, c.fastest);
    EXPECT_EQ(b.nearPickup, c.near);
    EXPECT_EQ(b.missing, c.missing);
}

// Ir = 800 A, Isd = 3200 A, Ii = 8000 A; the long-time delay 4 s at 4800 A.
constexpr const char* kLsi = "LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=off,INST=8";
constexpr const char* kLsiRamp = "LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8";
constexpr const char* kLsRamp = "LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=off";
constexpr const char* kGf = "LTPU=0.8,LTD=4,STPU=off,INST=off,GFPU=0.3,GFD=0.2,GFI2T=off";
constexpr const char* kGfRamp = "LTPU=0.8,LTD=4,STPU=off,INST=off,GFPU=0.3,GFD=0.2,GFI2T=on";

INSTANTIATE_TEST_SUITE_P(
    Table, TripUnitBands,
    ::testing::Values(
        BandCase{"BelowEveryPickupNoBand", kLsi, 800, false, 0, 0, 0, 0, 0, false, ""},
        BandCase{"InsideTheLongTimePickupOnlyMayAct", kLsi, 900, false, 0, 0, 0, TripLongTime, 0,
                 true, ""},
        // t = 4 x (4800 / 961)² = 99.792 s
        BandCase{"JustAboveTheLongTimePickupActs", kLsi, 961, true, 79.8336, 99.7920, TripLongTime,
                 0, TripLongTime, false, ""},
        // t = 4 x (4800 / 2400)² = 16 s
        BandCase{"LongTimeAloneFollowsTheSquareLaw", kLsi, 2400, true, 12.8, 16, TripLongTime, 0,
                 TripLongTime, false, ""},
        // Long time 5.76 s nominal; short time sure above 3520 A
        BandCase{"ShortTimeSureTakesTheFasterBand", kLsi, 4000, true, 0.15, 0.25,
                 TripLongTime | TripShortTime, 0, TripShortTime, false, ""},
        // t = 4 x (4800 / 3300)² = 8.4628 s; short time within 2880..3520 A lowers the minimum
        BandCase{"InsideTheShortTimePickupLowersOnlyTheMinimum", kLsi, 3300, true, 0.15, 8.4628,
                 TripLongTime, TripShortTime, TripLongTime, true, ""},
        BandCase{"ShortTimeRampBelowTheReferenceScalesBothEnds", kLsiRamp, 4000, true, 0.6, 1.0,
                 TripLongTime | TripShortTime, 0, TripShortTime, false, ""},
        BandCase{"ShortTimeRampAboveTheReferenceIsTheFlatBand", kLsRamp, 9000, true, 0.15, 0.25,
                 TripLongTime | TripShortTime, 0, TripShortTime, false, ""},
        BandCase{"InstantaneousSureClearsWithinItsMaximum", kLsi, 9000, true, 0, 0.05,
                 TripLongTime | TripShortTime | TripInstantaneous, 0, TripInstantaneous, false, ""},
        BandCase{"InsideTheInstantaneousPickupLowersTheMinimumToZero", kLsi, 8000, true, 0, 0.25,
                 TripLongTime | TripShortTime, TripInstantaneous, TripShortTime, true, ""},
        BandCase{"ShortTimeOffLeavesLongTime", "LTPU=0.8,LTD=4,STPU=off,INST=off", 4000, true,
                 4.608, 5.76, TripLongTime, 0, TripLongTime, false, ""},
        BandCase{"GroundFaultActsBelowTheLongTimePickup", kGf, 500, true, 0.14, 0.24,
                 TripGroundFault, 0, TripGroundFault, false, ""},
        BandCase{"GroundFaultRampBelowItsReference", kGfRamp, 500, true, 0.56, 0.96,
                 TripGroundFault, 0, TripGroundFault, false, ""},
        BandCase{"ADelayWithoutItsRowIsLeftOutAndNamed", "LTPU=0.8,LTD=4,STPU=4,STD=0.25,INST=off",
                 4000, true, 4.608, 5.76, TripLongTime, 0, TripLongTime, false,
                 "a short-time row for STD=0.25"},
        // The tolerances' edges, both ends inside: 840 and 960 A for long time, 2880 and
        // 3520 A for short time, 7200 and 8800 A for instantaneous.
        BandCase{"AtTheLongTimePickupMinimumMayAct", kLsi, 840, false, 0, 0, 0, TripLongTime, 0,
                 true, ""},
        BandCase{"AtTheLongTimePickupMaximumStillOnlyMayAct", kLsi, 960, false, 0, 0, 0,
                 TripLongTime, 0, true, ""},
        // t = 4 x (4800 / 2880)² = 11.1111 s
        BandCase{"AtTheShortTimeToleranceLowEdgeMayAct", kLsi, 2880, true, 0.15, 11.1111,
                 TripLongTime, TripShortTime, TripLongTime, true, ""},
        // t = 4 x (4800 / 3520)² = 7.4380 s
        BandCase{"AtTheShortTimeToleranceHighEdgeStillOnlyMayAct", kLsi, 3520, true, 0.15, 7.4380,
                 TripLongTime, TripShortTime, TripLongTime, true, ""},
        BandCase{"AtTheInstantaneousToleranceLowEdgeMayAct", kLsi, 7200, true, 0, 0.25,
                 TripLongTime | TripShortTime, TripInstantaneous, TripShortTime, true, ""},
        BandCase{"AtTheInstantaneousToleranceHighEdgeStillOnlyMayAct", kLsi, 8800, true, 0, 0.25,
                 TripLongTime | TripShortTime, TripInstantaneous, TripShortTime, true, ""},
        // At the ramp's reference (10 x Ir = 8000 A) the band is the flat row.
        BandCase{"AtTheRampReferenceTheFlatBand", kLsRamp, 8000, true, 0.15, 0.25,
                 TripLongTime | TripShortTime, 0, TripShortTime, false, ""},
        // Inside the short-time tolerance with the ramp on: k = (8000 / 3300)² = 5.8770
        BandCase{"InsideTheShortTimePickupWithTheRampLowersTheMinimumByTheRamp", kLsRamp, 3300,
                 true, 0.8815, 8.4628, TripLongTime, TripShortTime, TripLongTime, true, ""},
        BandCase{"GroundFaultWithThePhaseFunctionsTheFastestWins",
                 "LTPU=0.8,LTD=4,STPU=4,STD=0.2,INST=8,GFPU=0.3,GFD=0.2", 4000, true, 0.14, 0.24,
                 TripLongTime | TripShortTime | TripGroundFault, 0, TripGroundFault, false, ""},
        BandCase{"GroundFaultWithoutItsRowAndShortTimeWithoutItsDelayAreBothNamed",
                 "LTPU=0.8,LTD=4,STPU=4,INST=off,GFPU=0.3,GFD=0.5", 4000, true, 4.608, 5.76,
                 TripLongTime, 0, TripLongTime, false, "STD, a ground-fault row for GFD=0.5"},
        BandCase{"ShortTimeWithoutLongTimePickupIsLeftOut", "LTD=4,STPU=4,STD=0.2,INST=off", 4000,
                 false, 0, 0, 0, 0, 0, false, "LTPU"},
        BandCase{"LongTimeWithoutItsDelayIsNamed", "LTPU=0.8,STPU=off,INST=off", 2400, false, 0, 0,
                 0, 0, 0, false, "LTD"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(TripUnitBand, NoCurrentOrNoRatingGivesNothing) {
    const TripUnitSettings s = settingsOf(kLsi);
    EXPECT_FALSE(tripUnitBandAt(s, profile(), 1000, 0).band);
    EXPECT_FALSE(tripUnitBandAt(s, profile(), 0, 4000).band);
    EXPECT_FALSE(tripUnitBandAt(s, profile(), 1000, NAN).band);
}

TEST(TripUnitBand, APointOfAnotherFunctionSaysWhichActs) {
    const TripUnitBand st = tripUnitBandAt(settingsOf(kLsi), profile(), 1000, 4000);
    EXPECT_EQ(otherFunctionNote(PointKind::LongTime, st), "short-time acts at this current");
    EXPECT_EQ(otherFunctionNote(PointKind::ShortTime, st), "");
    EXPECT_EQ(otherFunctionNote(PointKind::Other, st), "");
    const TripUnitBand inst = tripUnitBandAt(settingsOf(kLsi), profile(), 1000, 9000);
    EXPECT_EQ(otherFunctionNote(PointKind::LongTime, inst), "instantaneous acts at this current");
    const TripUnitBand none = tripUnitBandAt(settingsOf(kLsi), profile(), 1000, 800);
    EXPECT_EQ(otherFunctionNote(PointKind::LongTime, none), "");
}

struct SettingsRefusal {
    const char* name;
    const char* text;
    const char* field;
    const char* message;
};

class TripUnitSettingsText : public ::testing::TestWithParam<SettingsRefusal> {};

TEST_P(TripUnitSettingsText, RefusesNamingTheSetting) {
    FieldError e;
    EXPECT_FALSE(parseTripUnitSettings(GetParam().text, e));
    EXPECT_EQ(e.field, GetParam().field);
    EXPECT_EQ(e.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, TripUnitSettingsText,
    ::testing::Values(
        SettingsRefusal{"NotANumber", "LTPU=abc", "LTPU", "LTPU: 'abc' is not a number"},
        SettingsRefusal{"UnknownName", "LTPU=0.8,XYZ=1", "settings",
                        "settings: unknown setting 'XYZ'"},
        SettingsRefusal{"GivenTwiceInAnyCase", "LTPU=0.8, ltpu=0.9", "LTPU", "LTPU: given twice"},
        SettingsRefusal{"WithoutEquals", "LTPU", "settings", "settings: 'LTPU' is not NAME=value"},
        SettingsRefusal{"RampNotOnOrOff", "STI2T=yes", "STI2T", "STI2T: 'yes' is not on or off"},
        SettingsRefusal{"ZeroDelay", "LTD=0", "LTD", "LTD: '0' must be above zero"},
        SettingsRefusal{"LeadingComma", ",LTPU=0.8", "settings",
                        "settings: an empty setting between commas"},
        SettingsRefusal{"EmptyValue", "LTD=", "LTD", "LTD: '' is not a number"},
        SettingsRefusal{"Infinite", "LTD=inf", "LTD", "LTD: 'inf' is not a number"},
        SettingsRefusal{"LongValueCutBetweenCharacters",
                        "LTPU=ééééééééééééééééééééééééééééééééééééééééééé", "LTPU",
                        "LTPU: 'éééééééééééééééééééééééééééééééééééééééé…' is not a number"},
        SettingsRefusal{"TooLarge", "LTD=200000", "LTD", "LTD: '200000' is too large"},
        SettingsRefusal{"NegativePickup", "INST=-2", "INST", "INST: '-2' must be above zero"},
        SettingsRefusal{"OffOnlyForAPickup", "LTD=off", "LTD", "LTD: 'off' is not a number"},
        SettingsRefusal{"EmptyBetweenCommas", "LTPU=0.8,,LTD=4", "settings",
                        "settings: an empty setting between commas"},
        SettingsRefusal{"TrailingComma", "LTPU=0.8,", "settings",
                        "settings: an empty setting between commas"},
        SettingsRefusal{"OutsideWhatADialGives", "LTPU=5", "LTPU", "LTPU: '5' must be 0.05 to 2"},
        SettingsRefusal{"DelayBelowItsRange", "STD=0.0001", "STD",
                        "STD: '0.0001' must be 0.001 to 10"},
        SettingsRefusal{"InstantaneousAboveItsRange", "INST=100000", "INST",
                        "INST: '100000' must be 1 to 100"},
        SettingsRefusal{"DecimalCommaGetsAHint", "LTPU=0,8,LTD=4", "LTPU",
                        "LTPU: '0' must be above zero (with a decimal comma, separate the "
                        "settings with ';')"},
        SettingsRefusal{"EmptyBetweenSemicolons", "LTPU=0,8;;LTD=4", "settings",
                        "settings: an empty setting between semicolons"},
        SettingsRefusal{"LongValueQuotedShort", "LTPU=x2345678901234567890123456789012345678901234",
                        "LTPU",
                        "LTPU: 'x234567890123456789012345678901234567890…' is not a number"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(TripUnitSettingsText, SemicolonsLetTheDecimalsBeCommasAsAReportShowsThem) {
    EXPECT_EQ(tripUnitSettingsText(settingsOf("LTPU=0,8; LTD=4; STPU=2,5; STI2T=on")),
              "LTPU=0.8,LTD=4,STPU=2.5,STI2T=on");
    EXPECT_EQ(tripUnitSettingsText(settingsOf(settingsShownText("LTPU=0.8,LTD=4", ','))),
              "LTPU=0.8,LTD=4");
}

TEST(TripUnitSettingsText, ReadsAnyCaseWithoutSpacesAndWritesBackInOrder) {
    const TripUnitSettings s =
        settingsOf(" sti2t = ON , ltpu=0.8,LTD = 4 ,stpu=4,std=0.2,inst=8,gfpu=off ");
    EXPECT_EQ(tripUnitSettingsText(s), "LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=off");
    EXPECT_EQ(tripUnitSettingsText(settingsOf(tripUnitSettingsText(s))), tripUnitSettingsText(s));
    EXPECT_EQ(tripUnitSettingsText(settingsOf("")), "");
}

} // namespace

namespace {

struct TargetCase {
    const char* name;
    const char* text;
    char separator;
    bool ok;
    TargetOf of;
    double factor;
    const char* settings; // for the multiple of In; "" : none
    double multiple;      // 0: the settings lack what the target needs
    const char* refusal;  // part of the message
};

class TargetTexts : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetTexts, ReadTheTargetAndItsMultipleOfIn) {
    const TargetCase& c = GetParam();
    FieldError e;
    const auto t = parseTargetText(c.text, c.separator, e);
    ASSERT_EQ(t.has_value(), c.ok) << e.message;
    if (!c.ok) {
        EXPECT_EQ(e.field, "multiple");
        EXPECT_NE(e.message.find(c.refusal), std::string::npos) << e.message;
        return;
    }
    EXPECT_EQ(t->of, c.of);
    EXPECT_DOUBLE_EQ(t->factor, c.factor);
    FieldError baseError;
    const auto base = targetBaseMultiple(settingsOf(c.settings), t->of, baseError);
    if (c.multiple == 0) {
        EXPECT_FALSE(base);
        EXPECT_EQ(baseError.field, "target");
        EXPECT_NE(baseError.message.find(c.refusal), std::string::npos) << baseError.message;
        return;
    }
    ASSERT_TRUE(base) << baseError.message;
    EXPECT_NEAR(t->factor * *base, c.multiple, 1e-12);
}

const char* const kAll = "LTPU=0.8,LTD=4,STPU=4,STD=0.2,INST=8,GFPU=0.3,GFD=0.2";

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetTexts,
    ::testing::Values(
        TargetCase{"PlainNumberIsOfIn", "3", '.', true, TargetOf::In, 3, "", 3, ""},
        TargetCase{"TimesSignAndSpaces", " 3 \xC3\x97 Ir ", '.', true, TargetOf::Ir, 3, kAll, 2.4,
                   ""},
        TargetCase{"LetterXNoSpaces", "1.5xIsd", '.', true, TargetOf::Isd, 1.5, kAll, 4.8, ""},
        TargetCase{"StarAndCommaSeparator", "1,1*Ii", ',', true, TargetOf::Ii, 1.1, kAll, 8.8, ""},
        TargetCase{"NameAloneAnyCase", "1.5 IG", '.', true, TargetOf::Ig, 1.5, kAll, 0.45, ""},
        TargetCase{"InNamed", "2xin", '.', true, TargetOf::In, 2, "", 2, ""},
        TargetCase{"IsdNeedsStpu", "1.5xIsd", '.', true, TargetOf::Isd, 1.5, "LTPU=1", 0, "STPU"},
        TargetCase{"IsdNeedsLtpu", "1.5xIsd", '.', true, TargetOf::Isd, 1.5, "STPU=4", 0, "LTPU"},
        TargetCase{"IiOffIsLacking", "1.1xIi", '.', true, TargetOf::Ii, 1.1, "INST=off", 0, "INST"},
        TargetCase{"UnknownName", "3xIq", '.', false, TargetOf::In, 0, "", 0, "not a number"},
        TargetCase{"NoNumber", "xIr", '.', false, TargetOf::In, 0, "", 0, "not a number"},
        TargetCase{"Zero", "0xIr", '.', false, TargetOf::In, 0, "", 0, "above zero"},
        TargetCase{"Negative", "-2", '.', false, TargetOf::In, 0, "", 0, "above zero"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(TargetText, MultipleOfASettingKeepsTwelveDigitsAndStaysANumberAtTheExtremes) {
    FieldError e;
    EXPECT_EQ(targetMultiple(settingsOf("LTPU=0.8"), TargetOf::Ir, 3, e), 2.4);
    // Where rounding to twelve digits would scale past the largest double.
    // (Settings stored by another program: the text refuses such values.)
    for (const double ltpu : {1e-300, 1e-320}) {
        TripUnitSettings tiny;
        tiny.ltpu = ltpu;
        const auto m = targetMultiple(tiny, TargetOf::Ir, 3, e);
        ASSERT_TRUE(m) << ltpu;
        EXPECT_TRUE(std::isfinite(*m) && *m > 0) << ltpu << ": " << *m;
    }
    TripUnitSettings huge;
    huge.ltpu = 100000;
    const auto big = targetMultiple(huge, TargetOf::Ir, 1e300, e);
    ASSERT_TRUE(big);
    EXPECT_TRUE(std::isfinite(*big)) << *big;
}

TEST(TargetText, WritesBackWhatReadsTheSame) {
    EXPECT_EQ(targetTextOf(TargetOf::Isd, 1.5, ','), "1,5 \xC3\x97 Isd");
    EXPECT_EQ(targetTextOf(TargetOf::In, 3, '.'), "3");
    FieldError e;
    const auto t = parseTargetText(targetTextOf(TargetOf::Ig, 0.25, ','), ',', e);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->of, TargetOf::Ig);
    EXPECT_DOUBLE_EQ(t->factor, 0.25);
}

TEST(TripUnitNote, NamesBelowPickupAndWhatIsLacking) {
    const TripUnitProfile p = profile();
    // 500 A on 1000 A with Ir 800 A: below 1.05 x Ir.
    EXPECT_EQ(tripUnitNote(PointKind::LongTime,
                           tripUnitBandAt(settingsOf("LTPU=0.8,LTD=4"), p, 1000, 500)),
              "below pickup");
    // Inside long time's pickup band: may trip, no band, no note (the flag says it).
    const TripUnitBand near = tripUnitBandAt(settingsOf("LTPU=0.8,LTD=4"), p, 1000, 900);
    EXPECT_TRUE(near.nearPickup);
    EXPECT_EQ(tripUnitNote(PointKind::LongTime, near), "");
    EXPECT_EQ(tripUnitNote(PointKind::ShortTime,
                           tripUnitBandAt(settingsOf("LTPU=0.8,STPU=2,STD=0.3"), p, 1000, 5000)),
              "lacks LTD, a short-time row for STD=0.3");
    EXPECT_EQ(settingOfFunction(settingsOf(kAll), TripShortTime), "STD=0.2");
    EXPECT_EQ(settingOfFunction(settingsOf("STD=0.1,STI2T=on,LTD=3"), TripShortTime),
              "STD=0.1,STI2T=on");
    EXPECT_EQ(settingOfFunction(settingsOf(kAll), TripInstantaneous), "INST=8");
}

} // namespace
