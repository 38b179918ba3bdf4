// The trip-unit profiles' file: every refusal names its line and takes nothing, a good file's
// profiles come whole and in order, a profile's own checks name the item at fault, and the
// shipped sample reads as the values it documents.
#include "records/curve.h"
#include "records/tripunitcsv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

using namespace qarn3;

namespace {

const char* const kScalarRows[][2] = {{"lt_pick_min", "1.05"}, {"lt_pick_max", "1.2"},
                                      {"lt_tol_lo", "-0.2"},   {"lt_tol_hi", "0"},
                                      {"st_pick_tol", "0.1"},  {"inst_pick_tol", "0.1"},
                                      {"gf_pick_tol", "0.1"},  {"inst_max_s", "0.05"},
                                      {"st_i2t_ref", "10"},    {"gf_i2t_ref", "1"}};

// The ten rows of one value of a profile G,T1, but those named in except.
std::string scalars(const std::string& except = "") {
    std::string text;
    for (const auto& [item, value] : kScalarRows)
        if ((" " + except + " ").find(std::string(" ") + item + " ") == std::string::npos)
            text += std::string("G,T1,") + item + "," + value + ",,\n";
    return text;
}

// The header at line 1 and every item of one value of G,T1 at lines 2 to 11.
const std::string kHead = "maker,model,item,value,min_s,max_s\n";
const std::string kWhole = kHead + scalars();
const std::string kDelay = kWhole + "G,T1,st_delay,0.2,0.15,0.25\n"; // at line 12

struct CsvCase {
    const char* name;
    std::string text;
    int line;
    const char* says;
};

class TripUnitCsvRefusal : public ::testing::TestWithParam<CsvCase> {};

TEST_P(TripUnitCsvRefusal, NamesTheLineAndTakesNothing) {
    const TripUnitCsv csv = parseTripUnitCsv(GetParam().text);
    EXPECT_EQ(csv.errorLine, GetParam().line) << csv.error;
    EXPECT_NE(csv.error.find(GetParam().says), std::string::npos) << csv.error;
    EXPECT_EQ(csv.error.rfind("line " + std::to_string(GetParam().line) + ": ", 0), 0u);
    EXPECT_TRUE(csv.profiles.empty());
    EXPECT_EQ(csv.rows, 0);
    EXPECT_LT(csv.error.size(), 300u) << "a refusal quotes a field whole";
}

INSTANTIATE_TEST_SUITE_P(
    Text, TripUnitCsvRefusal,
    ::testing::Values(
        CsvCase{"Latin1", kWhole + "G\xE9,T1,st_delay,0.2,0.15,0.25\n", 12, "not UTF-8"},
        CsvCase{"Escape", kWhole + "G\x1b[2J,T1,st_delay,0.2,0.1,0.2\n", 12, "control character"},
        CsvCase{"OpenQuote", kWhole + "\"G,T1,st_delay,0.2,0.1,0.2\n", 12, "not closed"},
        CsvCase{"FiveFields", kWhole + "G,T1,st_delay,0.2,0.1\n", 12,
                "5 fields, 6 expected (maker,model,item,value,min_s,max_s)"},
        CsvCase{"CurvesHeader", "maker,model,kind,multiple,min_s,max_s\n" + scalars(), 1,
                "header row differs from maker,model,item,value,min_s,max_s"},
        CsvCase{"EmptyMaker", kWhole + " ,T1,st_delay,0.2,0.1,0.2\n", 12, "maker is empty"},
        CsvCase{"EmptyModel", kWhole + "G,,st_delay,0.2,0.1,0.2\n", 12, "model is empty"},
        CsvCase{"ModelOf201Characters",
                kWhole + "G," + std::string(201, 'M') + ",st_delay,0.2,0.1,0.2\n", 12,
                "model is 201 characters long, more than 200"},
        CsvCase{"NoProfileRow", kHead + "# nothing yet\n", 1, "holds no trip-unit profile"},
        CsvCase{"Empty", "", 1, "holds no trip-unit profile"}),
    [](const auto& c) { return std::string(c.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Items, TripUnitCsvRefusal,
    ::testing::Values(
        CsvCase{"UnknownItem", kWhole + "G,T1,lt_pick_mid,1.1,,\n", 12,
                "item 'lt_pick_mid' is not known; the items: lt_pick_min, lt_pick_max"},
        CsvCase{"ItemsAreCaseSensitive", kWhole + "G,T1,ST_DELAY,0.2,0.1,0.2\n", 12,
                "item 'ST_DELAY' is not known"},
        CsvCase{"ItemOfAMegabyte", kWhole + "G,T1," + std::string(1 << 20, 'i') + ",1,,\n", 12,
                "item 'iiii"},
        CsvCase{"GivenTwice", kWhole + "G,T1,lt_tol_lo,-0.1,,\n", 12,
                "lt_tol_lo is given twice for G T1 (first at line 4)"},
        CsvCase{"ScalarWithMinimum", kHead + scalars("inst_max_s") + "G,T1,inst_max_s,0.05,0.01,\n",
                11, "inst_max_s takes a value only"},
        CsvCase{"ScalarWithMaximum", kHead + scalars("gf_i2t_ref") + "G,T1,gf_i2t_ref,1,,2\n", 11,
                "gf_i2t_ref takes a value only"},
        CsvCase{"DelayWithoutMaximum", kWhole + "G,T1,gf_delay,0.2,0.15,\n", 12,
                "gf_delay needs its clearing times"},
        CsvCase{"DelayWithoutTimes", kWhole + "G,T1,st_delay,0.2,,\n", 12,
                "st_delay needs its clearing times"},
        // Every item of one value must be given: no silent defaults.
        CsvCase{"ProfileLacksItems",
                kHead + scalars("lt_tol_hi inst_max_s") + "G,T1,st_delay,0.2,0.15,0.25\n", 2,
                "profile G T1 lacks lt_tol_hi, inst_max_s"},
        CsvCase{"SecondProfileLacksEverything", kDelay + "\nG,T2,st_delay,0.2,0.15,0.25\n", 14,
                "profile G T2 lacks lt_pick_min, lt_pick_max, lt_tol_lo, lt_tol_hi, "
                "st_pick_tol, inst_pick_tol, gf_pick_tol, inst_max_s, st_i2t_ref, gf_i2t_ref"}),
    [](const auto& c) { return std::string(c.param.name); });

// A value row by row, each refused at its own line with the profile's rule.
CsvCase valueCase(const char* name, const char* item, const std::string& value, const char* says) {
    return {name, kHead + scalars(item) + "G,T1," + item + "," + value + ",,\n", 11, says};
}

INSTANTIATE_TEST_SUITE_P(
    Values, TripUnitCsvRefusal,
    ::testing::Values(
        valueCase("NotANumber", "inst_max_s", "fast", "inst_max_s 'fast' is not a number"),
        valueCase("EmptyValue", "st_pick_tol", "", "st_pick_tol '' is not a number"),
        valueCase("CommaDecimal", "lt_tol_lo", "\"-0,2\"", "lt_tol_lo '-0,2' is not a number"),
        valueCase("HugeNumber", "gf_i2t_ref", std::string(100000, '9'), "gf_i2t_ref '9999"),
        valueCase("PickMinBelowOne", "lt_pick_min", "0.99",
                  "lt_pick_min 0.99 must be at least 1 and below 10 x Ir"),
        valueCase("PickMaxAboveTen", "lt_pick_max", "10.5",
                  "lt_pick_max 10.5 must be above 1 and at most 10 x Ir"),
        valueCase("TolLoOfAll", "lt_tol_lo", "-1", "lt_tol_lo -1 must be above -1 and at most 0"),
        valueCase("TolLoAboveZero", "lt_tol_lo", "0.01", "lt_tol_lo 0.01 must be above -1"),
        valueCase("TolHiNegative", "lt_tol_hi", "-0.01", "lt_tol_hi -0.01 must be 0 to 10"),
        valueCase("TolHiAboveTen", "lt_tol_hi", "10.01", "lt_tol_hi 10.01 must be 0 to 10"),
        valueCase("PickTolOfOne", "st_pick_tol", "1",
                  "st_pick_tol 1 must be at least 0 and below 1"),
        valueCase("PickTolNegative", "gf_pick_tol", "-0.1", "gf_pick_tol -0.1 must be at least"),
        valueCase("InstPickTolAboveOne", "inst_pick_tol", "1.5", "inst_pick_tol 1.5 must be"),
        valueCase("InstMaxZero", "inst_max_s", "0", "inst_max_s 0 must be 0.0001 to 100000 s"),
        valueCase("InstMaxTooLong", "inst_max_s", "1e6", "inst_max_s 1e6 must be 0.0001 to"),
        valueCase("StRefZero", "st_i2t_ref", "0",
                  "st_i2t_ref 0 must be above 0 and at most 1000 x Ir"),
        valueCase("GfRefAboveThousand", "gf_i2t_ref", "1000.5",
                  "gf_i2t_ref 1000.5 must be above 0 and at most 1000 x In"),
        // The pickups' order is judged at the second of the two rows, whichever it is.
        CsvCase{"PickMaxNotAboveMin", kHead + scalars("lt_pick_max") + "G,T1,lt_pick_max,1.05,,\n",
                11, "lt_pick_min 1.05 is not below lt_pick_max 1.05"},
        CsvCase{"PickMinAboveMaxGivenFirst",
                kHead + "G,T1,lt_pick_max,1.2,,\n" + scalars("lt_pick_min lt_pick_max") +
                    "G,T1,lt_pick_min,1.3,,\n",
                11, "lt_pick_min 1.3 is not below lt_pick_max 1.2"}),
    [](const auto& c) { return std::string(c.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Delays, TripUnitCsvRefusal,
    ::testing::Values(CsvCase{"SettingNotANumber", kWhole + "G,T1,st_delay,0.2s,0.15,0.25\n", 12,
                              "st_delay '0.2s' is not a number"},
                      CsvCase{"MinimumNotANumber", kWhole + "G,T1,gf_delay,0.2,x,0.25\n", 12,
                              "min_s 'x' is not a number"},
                      CsvCase{"SettingZero", kWhole + "G,T1,st_delay,0,0.15,0.25\n", 12,
                              "st_delay setting 0 must be 0.0001 to 100000 s"},
                      CsvCase{"MaximumTooLong", kWhole + "G,T1,gf_delay,0.2,0.15,1e9\n", 12,
                              "gf_delay max_s 1e9 must be 0.0001 to 100000 s"},
                      CsvCase{"MinimumAboveMaximum", kWhole + "G,T1,st_delay,0.2,0.3,0.25\n", 12,
                              "st_delay min_s 0.3 is above max_s 0.25"},
                      CsvCase{"Duplicate", kDelay + "G,T1,st_delay,0.2,0.16,0.26\n", 13,
                              "st_delay setting 0.2 is a duplicate"},
                      CsvCase{
                          "Falling", kDelay + "G,T1,st_delay,0.1,0.06,0.14\n", 13,
                          "st_delay setting 0.1 is below the one before (0.2): settings must rise"},
                      // Each table and each profile has its own order, whatever rows come between.
                      CsvCase{"FallingAcrossInterleavedRows",
                              kDelay + "G,T1,gf_delay,0.4,0.3,0.5\nG,T2,st_delay,0.1,0.06,0.14\n"
                                       "G,T1,gf_delay,0.3,0.2,0.4\n",
                              15, "gf_delay setting 0.3 is below the one before (0.4)"}),
    [](const auto& c) { return std::string(c.param.name); });

// Rows of two profiles interleaved, a byte order mark, CR LF line ends, a header in capitals,
// comments, blank rows, quoted names holding a comma and a quote.
TEST(TripUnitCsv, TakesTwoInterleavedProfilesWhole) {
    std::string text =
        "\xEF\xBB\xBF# made up for the test\r\n\r\nMAKER,Model,item,value,min_s,max_s\r\n";
    const std::string acme = "\"Acme, Inc.\",\"U \"\"2\"\"\",";
    for (const auto& [item, value] : kScalarRows) {
        text += std::string("G,T1,") + item + "," + value + ",,\r\n";
        text += acme + item + ",\"" + value + "\",\"\",\r\n";
    }
    text += "G,T1,st_delay,0.1,0.06,0.14\r\n  # indented comment\r\n" + acme +
            "gf_delay,0.5,0.4,0.6\r\nG,T1,st_delay,0.3,0.24,0.36\r\n" + acme +
            "lt_tol_hi_not,1,,\r\n";
    // The last row is an unknown item: without it the file is taken.
    const TripUnitCsv refused = parseTripUnitCsv(text);
    EXPECT_EQ(refused.errorLine, 28) << refused.error;
    text.erase(text.rfind(acme));

    const TripUnitCsv csv = parseTripUnitCsv(text);
    ASSERT_TRUE(csv.error.empty()) << csv.error;
    EXPECT_EQ(csv.errorLine, 0);
    EXPECT_EQ(csv.rows, 23);
    ASSERT_EQ(csv.profiles.size(), 2u);
    const TripUnitProfile& g = csv.profiles[0];
    const TripUnitProfile& a = csv.profiles[1];
    EXPECT_EQ(g.model, "T1");
    EXPECT_EQ(a.maker, "Acme, Inc.");
    EXPECT_EQ(a.model, "U \"2\"");
    EXPECT_EQ(a.ltTolLo, -0.2);
    EXPECT_EQ(a.ltPickMax, 1.2);
    ASSERT_EQ(g.stDelays.size(), 2u);
    EXPECT_EQ(g.stDelays[1].setting, 0.3);
    EXPECT_EQ(g.stDelays[1].minSeconds, 0.24);
    EXPECT_TRUE(g.gfDelays.empty());
    EXPECT_TRUE(a.stDelays.empty()) << "a profile without short-time rows is allowed";
    ASSERT_EQ(a.gfDelays.size(), 1u);
    EXPECT_EQ(a.gfDelays[0].maxSeconds, 0.6);
    for (const TripUnitProfile& p : csv.profiles)
        EXPECT_EQ(tripUnitProblem(p), "") << p.model;
}

TEST(TripUnitCsv, ShippedSampleGivesItsDocumentedValues) {
    std::ifstream in(QARN3_SOURCE_DIR "/records/tripunits/sample.csv", std::ios::binary);
    ASSERT_TRUE(in) << "records/tripunits/sample.csv";
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("made-up"), std::string::npos);
    const TripUnitCsv csv = parseTripUnitCsv(text.str());
    ASSERT_TRUE(csv.error.empty()) << csv.error;
    ASSERT_EQ(csv.profiles.size(), 1u);
    const TripUnitProfile& p = csv.profiles[0];
    EXPECT_EQ(p.maker, "Generic");
    EXPECT_EQ(p.model, "Sample-ETU");
    EXPECT_EQ(
        std::vector<double>({p.ltPickMin, p.ltPickMax, p.ltTolLo, p.ltTolHi, p.stPickTol,
                             p.instPickTol, p.gfPickTol, p.instMaxSeconds, p.stI2tRef, p.gfI2tRef}),
        std::vector<double>({1.05, 1.20, -0.20, 0, 0.10, 0.10, 0.10, 0.05, 10, 1}));
    const std::vector<std::array<double, 3>> rows{
        {0.1, 0.06, 0.14}, {0.2, 0.15, 0.25}, {0.3, 0.24, 0.36}, {0.4, 0.33, 0.48}};
    for (const auto* table : {&p.stDelays, &p.gfDelays}) {
        ASSERT_EQ(table->size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(
                (std::array{(*table)[i].setting, (*table)[i].minSeconds, (*table)[i].maxSeconds}),
                rows[i]);
    }
    EXPECT_EQ(tripUnitProblem(p), "");
    EXPECT_EQ(csv.rows, 18);
}

// The same names give the same id on any computer; other names, or a curve of the same
// names, another.
TEST(TripUnitCsv, IdIsNameBased) {
    const std::string id = tripUnitIdOf("Generic", "Sample-ETU");
    EXPECT_EQ(id, tripUnitIdOf("Generic", "Sample-ETU"));
    ASSERT_EQ(id.size(), 36u);
    EXPECT_EQ(id[14], '5') << id;
    EXPECT_NE(id, tripUnitIdOf("Generic", "Sample-ETU2"));
    EXPECT_NE(id, tripUnitIdOf("Generic ", "Sample-ETU"));
    EXPECT_NE(id, curveIdOf("Generic", "Sample-ETU", PointKind::ShortTime));
}

// A profile's own checks, as the store would call them on a profile from anywhere.
struct ProblemCase {
    const char* name;
    std::function<void(TripUnitProfile&)> change;
    const char* says; // empty: the profile can be stored
};

class TripUnitProblem : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(TripUnitProblem, NamesTheItemAtFault) {
    TripUnitProfile p;
    p.maker = "G";
    p.model = "T1";
    p.stDelays = {{0.1, 0.06, 0.14}, {0.2, 0.15, 0.25}};
    p.gfDelays = {{0.1, 0.06, 0.14}};
    GetParam().change(p);
    const std::string why = tripUnitProblem(p);
    if (*GetParam().says == '\0')
        EXPECT_EQ(why, "");
    else
        EXPECT_NE(why.find(GetParam().says), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, TripUnitProblem,
    ::testing::Values(
        ProblemCase{"Good", [](TripUnitProfile&) {}, ""},
        ProblemCase{"NoShortTimeRows", [](TripUnitProfile& p) { p.stDelays.clear(); }, ""},
        ProblemCase{"EdgesTaken",
                    [](TripUnitProfile& p) {
                        p.ltPickMin = 1;
                        p.ltPickMax = 10;
                        p.ltTolHi = 10;
                        p.stI2tRef = 1000;
                        p.stDelays.front().minSeconds = 0.0001;
                        p.stDelays.back().maxSeconds = 100000;
                    },
                    ""},
        ProblemCase{"BlankMaker", [](TripUnitProfile& p) { p.maker = " "; },
                    "trip unit: maker and model must not be empty"},
        ProblemCase{"LongModel", [](TripUnitProfile& p) { p.model = std::string(201, 'M'); },
                    "trip unit: model is 201 characters long"},
        ProblemCase{"PickMinBelowOne", [](TripUnitProfile& p) { p.ltPickMin = 0.9; },
                    "trip unit G T1: lt_pick_min 0.9 must be at least 1"},
        ProblemCase{"PickMinEqualsMax", [](TripUnitProfile& p) { p.ltPickMin = p.ltPickMax; },
                    "lt_pick_min 1.2 is not below lt_pick_max 1.2"},
        ProblemCase{"PickMaxAboveTen", [](TripUnitProfile& p) { p.ltPickMax = 11; },
                    "lt_pick_max 11 must be"},
        ProblemCase{"TolLoOfAll", [](TripUnitProfile& p) { p.ltTolLo = -1; },
                    "lt_tol_lo -1 must be above -1"},
        ProblemCase{"TolHiAboveTen", [](TripUnitProfile& p) { p.ltTolHi = 10.5; },
                    "lt_tol_hi 10.5"},
        ProblemCase{"GfPickTolOfOne", [](TripUnitProfile& p) { p.gfPickTol = 1; },
                    "gf_pick_tol 1 must be at least 0 and below 1"},
        ProblemCase{"InstPickTolNotANumber",
                    [](TripUnitProfile& p) { p.instPickTol = std::nan(""); },
                    "inst_pick_tol nan must be"},
        ProblemCase{"InstMaxInfinite", [](TripUnitProfile& p) { p.instMaxSeconds = HUGE_VAL; },
                    "inst_max_s inf must be 0.0001 to 100000 s"},
        ProblemCase{"GfRefZero", [](TripUnitProfile& p) { p.gfI2tRef = 0; },
                    "gf_i2t_ref 0 must be above 0"},
        ProblemCase{"DelayMinAboveMax", [](TripUnitProfile& p) { p.gfDelays[0].minSeconds = 0.2; },
                    "gf_delay min_s 0.2 is above max_s 0.14"},
        ProblemCase{"DelaySettingTooLong",
                    [](TripUnitProfile& p) { p.stDelays[1].setting = 150000; },
                    "st_delay setting 150000 must be 0.0001 to 100000 s"},
        ProblemCase{"DelaysDuplicate", [](TripUnitProfile& p) { p.stDelays[1].setting = 0.1; },
                    "st_delay setting 0.1 is a duplicate"},
        ProblemCase{"DelaysFalling",
                    [](TripUnitProfile& p) { std::swap(p.stDelays[0], p.stDelays[1]); },
                    "st_delay setting 0.1 is below the one before (0.2)"}),
    [](const auto& c) { return std::string(c.param.name); });

} // namespace
