// The trip-unit library on the command line: profiles imported whole or not at all, and an
// import whose shots take the band the settings give at each one's measured current, worked
// out by hand, with its basis in the export.
#include "engine/analysis.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "recordstool/tool.h"
#include "waveform/waveform.h"

#include "csv_reader.h"
#include "records_fixture.h"
#include "tool_run.h"

#include <cmath>
#include <map>
#include <sstream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class TripUnitTool : public RecordsDatabaseTest {
public:
    TripUnitTool() { EXPECT_EQ(makeDemoFiles(folder), ""); }

    ToolRun run(const std::vector<std::string>& args) { return runRecords(args, folder + "/data"); }
    std::string file(const std::string& name, const std::string& text) {
        put(folder + "/" + name, text);
        return folder + "/" + name;
    }
    std::string sample() const {
        return std::string(QARN3_SOURCE_DIR) + "/records/tripunits/sample.csv";
    }
    std::vector<std::string> importArgs(std::vector<std::string> extra,
                                        const std::string& profile = "Generic Sample-ETU") const {
        std::vector<std::string> a{"--db",      path,     "import",    "--site",      "S",
                                   "--breaker", "Q1",     "--rating",  "100",         "--pole",
                                   "A",         "--kind", "long-time", "--trip-unit", profile};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
};

std::map<std::string, std::string> fieldsOf(const Record& header, const Record& r) {
    std::map<std::string, std::string> m;
    for (std::size_t i = 0; i < header.size() && i < r.size(); ++i)
        m[header[i]] = r[i];
    return m;
}

TEST_F(TripUnitTool, ProfilesImportWholeAndAreListed) {
    ToolRun r = run({"--db", path, "trip-units", "import", sample()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 new, 0 replaced"), std::string::npos) << r.out;
    r = run({"--db", path, "trip-units", "import", sample()});
    EXPECT_NE(r.out.find("0 new, 1 replaced"), std::string::npos) << r.out;
    const std::string listed = run({"--db", path, "trip-units", "list"}).out;
    EXPECT_EQ(listed.rfind("Generic Sample-ETU  long time 1.05 to 1.2 x Ir  short-time rows 4", 0),
              0u)
        << listed;

    // A bad row of a second profile takes nothing of the file, not even its good profile.
    std::string text = *FileStore().readAll(sample());
    for (std::size_t at = text.find("Sample-ETU"); at != std::string::npos;
         at = text.find("Sample-ETU", at + 1))
        text.replace(at, 10, "Other-ETU1");
    text += "Generic,Other-ETU1,st_delay,0.5,0.6,0.4\n";
    r = run({"--db", path, "trip-units", "import", file("bad.csv", text)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.csv line "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; nothing imported"), std::string::npos) << r.err;
    EXPECT_EQ(run({"--db", path, "trip-units", "list"}).out, listed);
    EXPECT_EQ(rawValue("SELECT count(*) FROM trip_unit").toInt(), 1);
}

// In 100 A, LTPU 0.5 (Ir 50 A), LTD 4 s, short time at 6 x Ir (300 A, +/- 10 %) with STD 0.2
// (0.15 to 0.25 s in the sample), instantaneous at 10 x In.
TEST_F(TripUnitTool, EachShotTakesTheBandOfTheSettingsAtItsMeasuredCurrent) {
    ASSERT_EQ(run({"--db", path, "trip-units", "import", sample()}).status, 0);
    const std::string settings = "ltpu = 0.5, LTD=4,STPU=6,STD=0.2,STI2T=off,INST=10";
    const ToolRun imported =
        run(importArgs({"--multiple", "3xIr", "--settings", settings, folder + "/QARN3Pulse.owf",
                        folder + "/QARN3Long.owf"}));
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("(short-time acts at this current)"), std::string::npos)
        << imported.out;
    EXPECT_NE(imported.out.find("current near pickup"), std::string::npos) << imported.out;

    std::map<std::string, double> amps;
    for (const char* name : {"QARN3Pulse.owf", "QARN3Long.owf"}) {
        AnalysisOptions o;
        o.waveFile = folder + "/" + name;
        const AnalysisResult a = analyzeWaveform(o);
        ASSERT_TRUE(a.ok);
        for (std::size_t i = 0; i < a.pulses.size(); ++i)
            amps[o.waveFile + "#" + std::to_string(i + 1)] = a.pulses[i].result.pulseAmps;
    }
    const ToolRun csv = run({"--db", path, "export"});
    const std::vector<Record> records = parseCsv(csv.out);
    ASSERT_EQ(records.size(), 6u) << csv.err;
    int shortTime = 0, near = 0, longTime = 0;
    for (std::size_t i = 1; i < records.size(); ++i) {
        auto f = fieldsOf(records[0], records[i]);
        const double I = amps.at(f["source"] + "#" + f["pulse"]);
        const double t = 4 * (300 / I) * (300 / I); // LTD x (6 Ir / I)^2
        EXPECT_EQ(f["target"], "3 \u00d7 Ir");
        EXPECT_EQ(f["target_multiple"], "1.5");
        EXPECT_EQ(f["trip_settings"], "LTPU=0.5,LTD=4,STPU=6,STD=0.2,STI2T=off,INST=10");
        const double lo = parseReal(f["band_min_s"]), hi = parseReal(f["band_max_s"]);
        const std::string ir = formatFixed(I / 50, 0, 2); // '.' whatever the locale
        if (I > 330) { // short time sure to act, and faster
            ++shortTime;
            EXPECT_DOUBLE_EQ(lo, 0.15);
            EXPECT_DOUBLE_EQ(hi, 0.25);
            EXPECT_EQ(f["band_basis"], "settings STD=0.2, STI2T=off at " + ir +
                                           " \u00d7 Ir, Generic Sample-ETU");
            EXPECT_EQ(f["band_note"], "short-time acts at this current");
        } else if (I >= 270) { // within short time's pickup tolerance
            ++near;
            EXPECT_DOUBLE_EQ(lo, 0.15);
            EXPECT_NEAR(hi, t, 1e-12 * t);
            EXPECT_EQ(f["near_pickup"], "1");
            EXPECT_EQ(f["band_basis"],
                      "settings LTD=4 at " + ir + " \u00d7 Ir, Generic Sample-ETU");
        } else {
            ++longTime;
            EXPECT_NEAR(lo, 0.8 * t, 1e-12 * t);
            EXPECT_NEAR(hi, t, 1e-12 * t);
            EXPECT_EQ(f["near_pickup"], "0");
            EXPECT_EQ(f["band_note"], "");
        }
    }
    EXPECT_EQ(shortTime, 1);
    EXPECT_EQ(near, 3);
    EXPECT_EQ(longTime, 1);

    // A later profile import does not change the verdicts or bands given.
    std::string text = *FileStore().readAll(sample());
    text.replace(text.find("lt_tol_lo,-0.2"), 14, "lt_tol_lo,-0.5");
    ASSERT_EQ(run({"--db", path, "trip-units", "import", file("changed.csv", text)}).status, 0);
    EXPECT_EQ(run({"--db", path, "export"}).out, csv.out);
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* says;
    const char* profile = "Generic Sample-ETU";
};

class TripUnitImportRefusal : public TripUnitTool,
                              public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(TripUnitImportRefusal, StoresNothingAndSaysWhy) {
    ASSERT_EQ(run({"--db", path, "trip-units", "import", sample()}).status, 0);
    std::vector<std::string> args = GetParam().args;
    args.push_back(folder + "/QARN3Pulse.owf");
    const ToolRun r = run(importArgs(args, GetParam().profile));
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TripUnitImportRefusal,
    ::testing::Values(RefusalCase{"UnknownSetting",
                                  {"--multiple", "3", "--settings", "LTPU=0.8,LTX=4"},
                                  1,
                                  "unknown setting 'LTX'"},
                      RefusalCase{"BadValue",
                                  {"--multiple", "3", "--settings", "LTPU=0.8,LTD=soon"},
                                  2,
                                  "LTD: 'soon' is not a number"},
                      RefusalCase{"TargetNeedsTheSetting",
                                  {"--multiple", "1.5xIsd", "--settings", "LTPU=0.8"},
                                  1,
                                  "target: Isd needs the setting STPU"},
                      RefusalCase{"UnknownTarget",
                                  {"--multiple", "3xIq", "--settings", "LTPU=0.8"},
                                  2,
                                  "multiple: '3xIq' is not a number"},
                      RefusalCase{"NoSuchProfile",
                                  {"--multiple", "3", "--settings", "LTPU=0.8"},
                                  1,
                                  "no profile \"Generic None\"",
                                  "Generic None"}),
    [](const auto& c) { return std::string(c.param.name); });

} // namespace
