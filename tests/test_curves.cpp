// The curve library: bands interpolated in log-log coordinates, the CSV file's refusals with
// their line numbers, and shots judged against the band of a breaker's curve at the multiple
// they measured.
#include "records/curve.h"
#include "recordstool/tool.h"
#include "store/curvelibrary.h"
#include "store/store.h"

#include "records_fixture.h"

#include <cmath>
#include <sstream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

TripCurve curveOf(std::vector<CurvePoint> points) {
    TripCurve c;
    c.maker = "Generic";
    c.model = "T1";
    c.kind = PointKind::ShortTime;
    c.points = std::move(points);
    return c;
}

struct BandCase {
    const char* name;
    std::vector<CurvePoint> points;
    double multiple;
    std::optional<Band> band;
};

class CurveBand : public ::testing::TestWithParam<BandCase> {};

TEST_P(CurveBand, IsTheLogLogLineBetweenNeighbours) {
    const BandCase& c = GetParam();
    const auto band = curveBandAt(curveOf(c.points), c.multiple);
    ASSERT_EQ(band.has_value(), c.band.has_value());
    if (!band) return;
    EXPECT_NEAR(band->minSeconds, c.band->minSeconds, c.band->minSeconds * 1e-12);
    EXPECT_NEAR(band->maxSeconds, c.band->maxSeconds, c.band->maxSeconds * 1e-12);
}

// (1, 100, 1000) to (10, 1, 10): t = 100 / m^2, so 2 x In gives 25 .. 250 s; (2, 10, 100) to
// (20, 1, 10) at the geometric mean sqrt(40) gives the geometric means of the times.
const std::vector<CurvePoint> kSquare{{1, 100, 1000}, {10, 1, 10}};
const std::vector<CurvePoint> kThree{{2, 10, 100}, {20, 1, 10}, {40, 0.5, 2}};

INSTANTIATE_TEST_SUITE_P(
    Worked, CurveBand,
    ::testing::Values(BandCase{"OnTheFirstPoint", kThree, 2, Band{10, 100}},
                      BandCase{"OnAMiddlePoint", kThree, 20, Band{1, 10}},
                      BandCase{"OnTheLastPoint", kThree, 40, Band{0.5, 2}},
                      BandCase{"InverseSquare", kSquare, 2, Band{25, 250}},
                      BandCase{"GeometricMean", kThree, std::sqrt(40.0),
                               Band{std::sqrt(10.0), std::sqrt(1000.0)}},
                      BandCase{"SecondSegment", kThree, std::sqrt(800.0),
                               Band{std::sqrt(0.5), std::sqrt(20.0)}},
                      BandCase{"BelowTheRange", kThree, 1.999, std::nullopt},
                      BandCase{"AboveTheRange", kThree, 40.001, std::nullopt},
                      BandCase{"OnePointIsNoCurve", {{2, 1, 2}}, 2, std::nullopt},
                      // Points whose ratio overflows a double: a curve of
                      // another program's database, or of an older import.
                      BandCase{"EndsFarApart",
                               {{0.001, 100, 200}, {1e308, 0.01, 0.02}},
                               0.47,
                               Band{92.3915348554898036, 184.783069710979607}},
                      BandCase{"TinyFirstPoint",
                               {{1e-310, 1, 10}, {1, 0.1, 1}},
                               0.5,
                               Band{0.100223846026666164, 1.00223846026666164}}),
    [](const auto& c) { return std::string(c.param.name); });

struct CsvCase {
    const char* name;
    std::string text;
    int line;
    const char* says;
};

class CurveCsvRefusal : public ::testing::TestWithParam<CsvCase> {};

// Each refusal names the line of the row at fault, and the parse gives no curve at all.
TEST_P(CurveCsvRefusal, NamesTheLineAndTakesNothing) {
    const CurveCsv csv = parseCurveCsv(GetParam().text);
    EXPECT_EQ(csv.errorLine, GetParam().line) << csv.error;
    EXPECT_NE(csv.error.find(GetParam().says), std::string::npos) << csv.error;
    EXPECT_EQ(csv.error.rfind("line " + std::to_string(GetParam().line) + ": ", 0), 0u);
    EXPECT_TRUE(csv.curves.empty());
    EXPECT_LT(csv.error.size(), 200u) << "a refusal quotes a field whole";
}

const std::string kHead = "maker,model,kind,multiple,min_s,max_s\r\n"
                          "G,T1,long-time,2,10,100\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, CurveCsvRefusal,
    ::testing::Values(
        CsvCase{"FiveFields", kHead + "G,T1,long-time,3,10\n", 3, "5 fields, 6 expected"},
        CsvCase{"NotANumber", kHead + "G,T1,long-time,3x,5,50\n", 3, "multiple '3x'"},
        CsvCase{"ZeroTime", kHead + "G,T1,long-time,3,0,50\n", 3, "min_s 0 is not above zero"},
        CsvCase{"NegativeMultiple", "G,T1,long-time,-1,5,50\n", 1, "multiple -1 is not above"},
        CsvCase{"MinAboveMax", kHead + "G,T1,long-time,3,60,50\n", 3, "min_s 60 is above"},
        CsvCase{"Falling", kHead + "G,T1,long-time,1.5,5,50\n", 3, "below the one before (2)"},
        CsvCase{"Duplicate", kHead + "G,T1,long-time,2,5,50\n", 3, "duplicate"},
        // Interleaved rows still belong to their own curve, in order.
        CsvCase{"FallingAcrossCurves",
                kHead + "G,T1,short-time,2,0.1,0.4\nG,T1,short-time,4,0.1,0.3\n"
                        "G,T1,long-time,1,50,500\n",
                5, "below the one before"},
        CsvCase{"OnePoint", kHead + "G,T1,long-time,3,5,50\n\nG,T2,long-time,3,5,50\n", 5,
                "has one point"},
        CsvCase{"KindOther", "G,T1,other,2,1,2\n", 1, "kind 'other'"},
        CsvCase{"EmptyMaker", kHead + " ,T1,long-time,3,5,50\n", 3, "maker is empty"},
        CsvCase{"OpenQuote", kHead + "\"G,T1,long-time,3,5,50\n", 3, "not closed"},
        CsvCase{"TextAfterQuote", kHead + "\"G\"x,T1,long-time,3,5,50\n", 3, "not closed"},
        // A header of other names, a file in another encoding, a name with a terminal's
        // escape in it.
        CsvCase{"OtherHeader", "\xEF\xBB\xBFmodel,maker,kind,multiple,min,max\r\n", 1,
                "header row differs"},
        CsvCase{"Latin1", kHead + "G\xE9,T1,long-time,3,5,50\n", 3, "not UTF-8"},
        CsvCase{"Utf16", std::string("\xFF\xFEG\0,\0T\0", 9), 1, "not UTF-8"},
        CsvCase{"Escape", kHead + "G\x1b[2J,T1,long-time,3,5,50\n", 3, "control character"},
        // Each name and number within what the field can use.
        CsvCase{"ModelOf201Characters",
                kHead + "G," + std::string(201, 'M') + ",long-time,3,5,50\n", 3,
                "model is 201 characters long, more than 200"},
        CsvCase{"MakerOfAMegabyte", kHead + std::string(1 << 20, 'G') + ",T1,long-time,3,5,50\n", 3,
                "maker is 1048576 characters long, more than 200"},
        CsvCase{"HugeMultiple", kHead + "G,T1,long-time,1e308,5,50\n", 3,
                "multiple 1e308 is outside 0.01 to 1000 x In"},
        CsvCase{"TinyMultiple", "G,T1,long-time,0.001,5,50\n", 1,
                "multiple 0.001 is outside 0.01 to 1000 x In"},
        CsvCase{"LongestTimeExceeded", kHead + "G,T1,long-time,3,5,1e9\n", 3,
                "max_s 1e9 is outside 0.0001 to 100000 s"},
        CsvCase{"ShortestTimeUndercut", kHead + "G,T1,long-time,3,1e-9,50\n", 3,
                "min_s 1e-9 is outside"},
        CsvCase{"NumberOfAHundredThousandDigits",
                kHead + "G,T1,long-time," + std::string(100000, '9') + ",5,50\n", 3,
                "multiple '9999"},
        CsvCase{"KindOfAMegabyte", kHead + "G,T1," + std::string(1 << 20, 'k') + ",3,5,50\n", 3,
                "kind 'kkkk"}),
    [](const auto& c) { return std::string(c.param.name); });

// The bounds are the field's own: a name of 200 characters (of two bytes each) and the ends of
// the ranges are taken.
TEST(CurveCsv, TakesNamesAndNumbersUpToTheirBounds) {
    std::string model;
    for (int i = 0; i < 200; ++i)
        model += "\xC3\x89";
    const CurveCsv csv = parseCurveCsv("G," + model + ",long-time,0.01,10000,100000\n" + "G," +
                                       model + ",long-time,1000,0.0001,0.001\n");
    ASSERT_TRUE(csv.error.empty()) << csv.error;
    ASSERT_EQ(csv.curves.size(), 1u);
    EXPECT_EQ(csv.curves[0].model, model);
    EXPECT_EQ(curveProblem(csv.curves[0]), "");
    TripCurve beyond = csv.curves[0];
    beyond.points.back().multiple = 1e308;
    EXPECT_NE(curveProblem(beyond).find("multiples must be 0.01 to 1000 x In"), std::string::npos);
}

TEST(CurveCsv, HeaderCommentsQuotesAndInterleavedRows) {
    const CurveCsv csv =
        parseCurveCsv("\xEF\xBB\xBF# a comment\r\n\r\nmaker,model,kind,multiple,min_s,max_s\r\n"
                      "\"Acme, Inc.\",\"T \"\"1\"\"\",long-time,2,10,100\r\n"
                      "G,T2,instantaneous,8,0.01,0.05\r\n"
                      "\"Acme, Inc.\",\"T \"\"1\"\"\",long-time,1e1,1,10\r\n"
                      "G,T2,instantaneous,20,0.01,0.03");
    ASSERT_TRUE(csv.error.empty()) << csv.error;
    ASSERT_EQ(csv.curves.size(), 2u);
    EXPECT_EQ(csv.points, 4);
    EXPECT_EQ(csv.curves[0].maker, "Acme, Inc.");
    EXPECT_EQ(csv.curves[0].model, "T \"1\"");
    EXPECT_EQ(csv.curves[0].points.back().multiple, 10);
    EXPECT_EQ(csv.curves[0].id, curveIdOf("Acme, Inc.", "T \"1\"", PointKind::LongTime));
    EXPECT_EQ(csv.curves[1].kind, PointKind::Instantaneous);
}

// A shot without a typed band takes the band of the curve the breaker names for its kind, at
// the multiple it measured (not the target), and keeps that band with its verdict.
struct CurveVerdictCase {
    const char* name;
    double amps;
    double seconds;
    std::optional<Band> typed;
    std::optional<Band> band;
    Verdict verdict;
};

class CurveVerdict : public RecordsDatabaseTest,
                     public ::testing::WithParamInterface<CurveVerdictCase> {};

TEST_P(CurveVerdict, JudgesAgainstTheCurveAtTheMeasuredMultiple) {
    const CurveVerdictCase& c = GetParam();
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    CurveLibrary library(db);
    TripCurve curve = curveOf({{2, 0.15, 0.4}, {4, 0.1, 0.3}, {10, 0.08, 0.25}});
    curve.id = curveIdOf(curve.maker, curve.model, curve.kind);
    CurveImportSummary summary;
    ASSERT_FALSE(library.importCurves({curve}, summary));
    ASSERT_FALSE(library.nameCurves(context.site, context.breaker, {curve}));
    context.point.kind = PointKind::ShortTime;
    context.point.band = c.typed;
    NewShot s = shot(c.seconds);
    s.reading.currentAmps = c.amps; // In is 400 A; the target 3 x In
    ShotRecord stored;
    ASSERT_FALSE(RecordsStore(db).storeShot(context, s, stored));

    RecordsError e;
    const auto rows = RecordsStore(db).listShots({}, ShotOrder::OldestFirst, 0, 10, e);
    ASSERT_EQ(rows.size(), 1u) << e.message;
    const ShotRecord& back = rows[0].shot;
    EXPECT_EQ(back.judgement.verdict, c.verdict) << verdictText(back.judgement.verdict);
    ASSERT_EQ(back.band.has_value(), c.band.has_value());
    if (c.band) {
        EXPECT_NEAR(back.band->minSeconds, c.band->minSeconds, 5e-5);
        EXPECT_NEAR(back.band->maxSeconds, c.band->maxSeconds, 5e-5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shots, CurveVerdict,
    ::testing::Values(
        // 3 x In: 0.15 (2/3)^0.585 .. 0.4 (3/4)^0.585
        CurveVerdictCase{"BetweenPoints", 1200, 0.2, {}, Band{0.11833, 0.33805}, Verdict::Pass},
        // 3.2 x In, not the target's 3: the band moves with the current.
        CurveVerdictCase{
            "AtTheMeasuredMultiple", 1280, 0.1170, {}, Band{0.11394, 0.32911}, Verdict::Pass},
        CurveVerdictCase{"OnAPointFast", 1600, 0.0999, {}, Band{0.1, 0.3}, Verdict::FailFast},
        CurveVerdictCase{"OnAPointSlow", 1600, 0.3001, {}, Band{0.1, 0.3}, Verdict::FailSlow},
        CurveVerdictCase{"BelowTheCurve", 700, 0.2, {}, std::nullopt, Verdict::NoBand},
        CurveVerdictCase{"AboveTheCurve", 4400, 0.2, {}, std::nullopt, Verdict::NoBand},
        CurveVerdictCase{"TypedBandWins", 1200, 0.2, Band{0.5, 0.6}, Band{0.5, 0.6},
                         Verdict::FailFast}),
    [](const auto& c) { return std::string(c.param.name); });

struct ToolRun {
    int status = 0;
    std::string out, err;
};

class CurvesTool : public RecordsDatabaseTest {
public:
    ToolRun run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        RecordsToolEnvironment env{out, err, folder + "/data"};
        ToolRun r;
        r.status = runRecordsTool(args, env);
        r.out = out.str();
        r.err = err.str();
        return r;
    }
    std::string csv(const std::string& name, const std::string& text) {
        put(folder + "/" + name, text);
        return folder + "/" + name;
    }
};

// A file with one bad row imports nothing, not even its good curves; a good file imports
// whole, and again replaces each curve's points rather than adding to them.
TEST_F(CurvesTool, BadRowImportsNothingAndAReimportReplaces) {
    const std::string good =
        csv("good.csv", "G,T1,long-time,2,10,100\nG,T1,long-time,3,5,50\nG,T1,long-time,4,3,30\n");
    ToolRun r = run({"--db", path, "curves", "import", good});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 new, 0 replaced"), std::string::npos) << r.out;
    const std::string listed = run({"--db", path, "curves", "list"}).out;
    EXPECT_EQ(listed.rfind("G T1  long-time  3 points  2 to 4 x In  ", 0), 0u) << listed;

    const std::string bad = csv("bad.csv", "G,T1,long-time,2,10,100\nG,T1,long-time,3,5,50\n"
                                           "G,T2,long-time,2,10,100\nG,T2,long-time,3,50,5\n");
    r = run({"--db", path, "curves", "import", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.csv line 4: min_s 50 is above max_s 5; nothing imported"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(run({"--db", path, "curves", "list"}).out, listed);
    r = run({"--db", path, "curves", "import", csv("empty.csv", "# only a comment\n")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("empty.csv holds no curve row; nothing imported"), std::string::npos)
        << r.err;

    const std::string fewer = csv("fewer.csv", "G,T1,long-time,2,12,100\nG,T1,long-time,5,1,9\n");
    r = run({"--db", path, "curves", "import", fewer});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("0 new, 1 replaced"), std::string::npos) << r.out;
    r = run({"--db", path, "curves", "list"});
    EXPECT_EQ(r.out.rfind("G T1  long-time  2 points  2 to 5 x In  ", 0), 0u) << r.out;
    EXPECT_EQ(rawValue("SELECT count(*) FROM curve_point").toInt(), 2);
    EXPECT_EQ(rawValue("SELECT min_s FROM curve_point WHERE multiple = 2").toDouble(), 12);

    // Naming a family that has no curve of the point's kind stores nothing.
    r = run({"--db", path, "import", "--site", "S", "--breaker", "B", "--rating", "100", "--pole",
             "A", "--kind", "short-time", "--multiple", "3", "--curve", "G T1", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("curve: G T1 has no short-time curve"), std::string::npos) << r.err;
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), 0);
    r = run({"--db", path, "import", "--site", "S", "--breaker", "B", "--rating", "100", "--pole",
             "A", "--kind", "long-time", "--multiple", "3", "--curve", "G T9", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no curve \"G T9\""), std::string::npos) << r.err;
}

} // namespace
