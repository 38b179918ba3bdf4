// How a shot's band and its basis read in the windows, the report and the export.
#include "records/sessionreport.h"
#include "records/tripunit.h"

#include <gtest/gtest.h>

using namespace qarn3;

namespace {

struct BasisCase {
    const char* name;
    BasisKind kind;
    const char* source;
    const char* settings;
    unsigned function;
    double timesIr;  // 0: none
    double multiple; // of In
    char separator;
    const char* text;
};

class BandBasisTexts : public ::testing::TestWithParam<BasisCase> {};

TEST_P(BandBasisTexts, SayWhereTheBandCameFrom) {
    const BasisCase& c = GetParam();
    ShotRecord s;
    s.multiple = c.multiple;
    s.basis.kind = c.kind;
    s.basis.source = c.source;
    s.basis.settings = c.settings;
    s.basis.function = c.function;
    if (c.timesIr > 0) s.basis.timesIr = c.timesIr;
    EXPECT_EQ(bandBasisText(s, c.separator), c.text);
}

const char* const kSettings = "LTPU=0.8,LTD=4,STPU=6,STD=0.2,STI2T=on,INST=10,GFPU=0.3,GFD=0.4";

INSTANTIATE_TEST_SUITE_P(
    Cases, BandBasisTexts,
    ::testing::Values(
        BasisCase{"Typed", BasisKind::Typed, "", "", 0, 0, 3, '.', "typed"},
        BasisCase{"Curve", BasisKind::Curve, "Generic Sample-LSIG", "", 0, 0, 3, '.',
                  "curve Generic Sample-LSIG"},
        BasisCase{"StoredBeforeBasesWereKept", BasisKind::Unknown, "", "", 0, 0, 3, '.', ""},
        BasisCase{"LongTimeAtIr", BasisKind::Settings, "Generic Sample-ETU", kSettings,
                  TripLongTime, 3.5714, 2.857, '.',
                  "settings LTD=4 at 3.57 \u00d7 Ir, Generic Sample-ETU"},
        BasisCase{"ShortTimeWithRampAndComma", BasisKind::Settings, "Generic Sample-ETU", kSettings,
                  TripShortTime, 7.25, 5.8, ',',
                  "settings STD=0,2; STI2T=on at 7,25 \u00d7 Ir, Generic Sample-ETU"},
        BasisCase{"InstantaneousAtIn", BasisKind::Settings, "Generic Sample-ETU", kSettings,
                  TripInstantaneous, 15, 12, '.',
                  "settings INST=10 at 12.00 \u00d7 In, Generic Sample-ETU"},
        BasisCase{"GroundFaultAtIn", BasisKind::Settings, "Generic Sample-ETU", kSettings,
                  TripGroundFault, 0.5, 0.4, '.',
                  "settings GFD=0.4 at 0.40 \u00d7 In, Generic Sample-ETU"},
        BasisCase{"NoFunctionActs", BasisKind::Settings, "Generic Sample-ETU", kSettings, 0, 0.8,
                  0.64, '.', "settings at 0.80 \u00d7 Ir, Generic Sample-ETU"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(BandBasisTexts, FlagsAndBandShowNearPickupAndBelowPickup) {
    ShotRow row;
    row.shot.basis.kind = BasisKind::Settings;
    row.shot.basis.note = "below pickup";
    EXPECT_EQ(bandText(row, {}, '.'), "below pickup");
    row.shot.band = Band{0.15, 0.25};
    EXPECT_EQ(bandText(row, {}, ','), "0,150 – 0,250 s");
    row.shot.judgement.currentOffTarget = true;
    row.shot.basis.nearPickup = true;
    EXPECT_EQ(offTargetText(row.shot), "current off target, current near pickup");
    row.shot.judgement.currentOffTarget = false;
    EXPECT_EQ(offTargetText(row.shot), "current near pickup");
    EXPECT_EQ(settingsShownText("", ','), "none");
    EXPECT_EQ(settingsShownText("LTPU=0.8,LTD=4", ','), "LTPU=0,8; LTD=4");
    EXPECT_EQ(settingsShownText("LTPU=0.8,LTD=4", '.'), "LTPU=0.8, LTD=4");
}

} // namespace

namespace {

SessionRecord sessionAt(const char* id, Condition c, const char* startedAt) {
    SessionRecord s;
    s.id = id;
    s.condition = c;
    s.startedAt = startedAt;
    return s;
}

TEST(PairedSession, AsFoundMeetsTheNextAsLeftAndAsLeftThePreviousAsFound) {
    const std::vector<SessionRecord> sessions{
        sessionAt("f1", Condition::AsFound, "2025-01-01T10:00:00.000Z"),
        sessionAt("l1", Condition::AsLeft, "2025-01-01T12:00:00.000Z"),
        sessionAt("f2", Condition::AsFound, "2026-01-01T10:00:00.000Z"),
        sessionAt("o", Condition::Other, "2026-01-01T11:00:00.000Z"),
        sessionAt("l2", Condition::AsLeft, "2026-01-01T12:00:00.000Z")};
    EXPECT_EQ(pairedSessionOf(sessions[0], sessions)->id, "l1");
    EXPECT_EQ(pairedSessionOf(sessions[2], sessions)->id, "l2");
    EXPECT_EQ(pairedSessionOf(sessions[4], sessions)->id, "f2");
    EXPECT_EQ(pairedSessionOf(sessions[1], sessions)->id, "f1");
    EXPECT_FALSE(pairedSessionOf(sessions[3], sessions));
    EXPECT_FALSE(pairedSessionOf(sessions[0], {sessions[0]}));
}

} // namespace
