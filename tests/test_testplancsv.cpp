// The test plans' file: a good file's plans come whole and in order, every refusal names its
// line and takes nothing, and what is written reads back as the same plans.
#include "records/testplan.h"

#include <gtest/gtest.h>

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

} // namespace
