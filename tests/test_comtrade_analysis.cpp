// COMTRADE recordings measured by the analysis tool: a waveform file exported in each data
// type and measured again gives the very same readings, and a recording made by hand is
// measured to its current and time.
#include "calsetup/setup.h"
#include "engine/analysis.h"
#include "engine/analyze_tool.h"
#include "waveform/comtrade.h"
#include "waveform/waveform.h"

#include "record_fixture.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <sys/stat.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

struct ToolRun {
    int status = 0;
    std::string out, err;
};

ToolRun runTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    ToolEnvironment env{out, err};
    ToolRun r;
    r.status = runAnalyzeTool(args, env);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// A waveform file: bursts of a 60 Hz sine of the given counts, on and off by turns.
struct WaveSource {
    const char* name;
    const char* demo; // a demonstration file, else generated
    double rate;
    int range;
    const char* mode;
    double amplitude;
    std::vector<double> onOff; // seconds on, off, on, ...
};

std::string generatedWave(const WaveSource& s) {
    TWaveFileHeader h;
    std::memcpy(h.Magic.data(), "WAVEFORM", 8);
    std::memcpy(h.SerialId.data(), "SN-41", 5);
    h.WaveType = 'N';
    h.AmpsPerCount = 0.25f;
    h.SamplePeriod = static_cast<float>(1.0 / s.rate);
    h.SampleCount = kWaveFileSamples;
    std::vector<std::int16_t> v(kWaveFileSamples);
    std::size_t i = static_cast<std::size_t>(0.1 * s.rate);
    for (std::size_t k = 0; k < s.onOff.size(); ++k) {
        const auto n = static_cast<std::size_t>(s.onOff[k] * s.rate);
        for (std::size_t j = 0; j < n && i < v.size(); ++j, ++i)
            if (k % 2 == 0)
                v[i] = static_cast<std::int16_t>(
                    std::lround(s.amplitude * std::sin(2 * M_PI * 60 * double(j) / s.rate + 0.3)));
    }
    return h.bytes() + std::string(reinterpret_cast<const char*>(v.data()), 2 * v.size());
}

class ComtradeRoundTrip
    : public RecordTest,
      public ::testing::WithParamInterface<std::tuple<WaveSource, ComtradeDataType>> {};

TEST_P(ComtradeRoundTrip, GivesTheSameReadingsAsTheWaveformFile) {
    const auto& [source, type] = GetParam();
    ASSERT_EQ(makeDemoFiles(folder), "");
    const std::string owf = source.demo ? file(source.demo) : file("made.owf");
    if (!source.demo) put("made.owf", generatedWave(source));
    const std::vector<std::string> on{"--range", std::to_string(source.range), "--mode",
                                      source.mode};
    auto with = [&on](std::vector<std::string> args) {
        args.insert(args.end(), on.begin(), on.end());
        return args;
    };
    const ToolRun original = runTool(with({owf}));
    ASSERT_EQ(original.status, 0) << original.err;
    ASSERT_NE(original.out.find("Pulse 1 at"), std::string::npos) << original.out;

    const ToolRun exported = runTool(with({"--export-comtrade", owf, "-o", file("rec.cfg"),
                                           "--comtrade-format", comtradeDataTypeText(type)}));
    ASSERT_EQ(exported.status, 0) << exported.err;
    const ToolRun measured = runTool(with({file("rec.cfg")}));
    ASSERT_EQ(measured.status, 0) << measured.err;
    EXPECT_EQ(measured.out, original.out);

    // The waveform file the records keep of a recording plays to the same readings.
    AnalysisOptions o;
    o.waveFile = file("rec.cfg");
    o.rangeIndex = source.range;
    o.testMode = std::string(source.mode) == "long" ? 1 : 0;
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.clippedSamples, 0u);
    put("kept.owf", r.convertedWaveform);
    EXPECT_EQ(runTool(with({file("kept.owf")})).out, original.out);
}

const WaveSource kSources[] = {
    {"DemoPulse", "QARN3Pulse.owf", 2400, 4, "pulse", 0, {}},
    {"DemoLong", "QARN3Long.owf", 2400, 4, "long", 0, {}},
    {"Made1200Range3", nullptr, 1200, 3, "pulse", 1500, {0.2, 0.6, 0.45, 1.0, 0.05}},
    {"Made4800Range6", nullptr, 4800, 6, "pulse", 900, {0.3, 0.5, 0.1}},
    {"Made2400Range1Long", nullptr, 2400, 1, "long", 2000, {1.2, 0.3, 0.4}},
};

INSTANTIATE_TEST_SUITE_P(
    Files, ComtradeRoundTrip,
    ::testing::Combine(::testing::ValuesIn(kSources),
                       ::testing::Values(ComtradeDataType::Ascii, ComtradeDataType::Binary,
                                         ComtradeDataType::Binary32, ComtradeDataType::Float32)),
    [](const auto& test) {
        return std::string(std::get<0>(test.param).name) +
               comtradeDataTypeText(std::get<1>(test.param));
    });

// A 50 Hz recording in secondary amperes (primary / secondary 100 / 1): a sine of 3 A RMS
// secondary, 300 A primary, on from 0.2 s for 0.5 s, in a 1.5 s recording.
std::string handRecordingCfg(int rate, bool twoCurrents) {
    const std::string channels = twoCurrents ? "2,2A,0D\r\n" : "1,1A,0D\r\n";
    std::string cfg = "Made Up Substation,REC-1,1999\r\n" + channels +
                      "1,IA,A,Feeder 3,A,0.0001,0,0,-99999,99999,100,1,S\r\n";
    if (twoCurrents) cfg += "2,IB,B,Feeder 3,A,0.0001,0,0,-99999,99999,100,1,S\r\n";
    cfg += "50\r\n1\r\n" + std::to_string(rate) + "," + std::to_string(rate * 3 / 2) +
           "\r\n01/06/2026,08:00:00.000000\r\n01/06/2026,08:00:00.200000\r\nASCII\r\n1\r\n";
    return cfg;
}

std::string handRecordingDat(int rate, bool twoCurrents) {
    std::string dat;
    const int n = rate * 3 / 2;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const bool on = i >= rate / 5 && i < rate / 5 + rate / 2;
        const double amps = on ? 3.0 * std::sqrt(2.0) * std::sin(2 * M_PI * 50 * t) : 0;
        const long x = std::lround(amps / 0.0001);
        dat += std::to_string(i + 1) + "," + std::to_string(std::lround(t * 1e6)) + "," +
               std::to_string(x) + (twoCurrents ? "," + std::to_string(x / 2) : "") + "\r\n";
    }
    return dat;
}

class HandRecording : public RecordTest, public ::testing::WithParamInterface<int> {
protected:
    void write(bool twoCurrents = false) {
        put("hand.cfg", handRecordingCfg(GetParam(), twoCurrents));
        put("hand.dat", handRecordingDat(GetParam(), twoCurrents));
    }
};

TEST_P(HandRecording, IsMeasuredToItsCurrentAndTime) {
    write();
    AnalysisOptions o;
    o.waveFile = file("hand.cfg");
    o.rangeIndex = 5;
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sampleRate, 1.0 / static_cast<double>(static_cast<float>(1.0 / GetParam())));
    ASSERT_EQ(r.pulses.size(), 1u);
    const PulseResult& p = r.pulses[0].result;
    EXPECT_NEAR(p.pulseAmps, 300, 300 * 0.002);
    // The detector misses the samples of the first and last half cycle that lie below its
    // threshold: under a millisecond.
    EXPECT_NEAR(p.seconds, 0.5, 0.001);
    EXPECT_LE(p.seconds, 0.5);
    EXPECT_NEAR(p.startSeconds, 0.2, 0.001);
    EXPECT_GE(p.startSeconds, 0.2);
    EXPECT_EQ(r.clippedSamples, 0u);
    EXPECT_FALSE(r.convertedWaveform.empty());
}

TEST_P(HandRecording, OnTooSmallARangeSaysHowManySamplesWereClipped) {
    write();
    const ToolRun run = runTool({"--range", "1", file("hand.cfg")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(" samples over the range, clipped at 2047 counts\n"), std::string::npos)
        << run.out;
}

TEST_P(HandRecording, WithTwoCurrentsTheChannelIsNamed) {
    write(true);
    const ToolRun unnamed = runTool({"--range", "5", file("hand.cfg")});
    EXPECT_EQ(unnamed.status, 1);
    EXPECT_NE(unnamed.err.find("hand.cfg line 2: 2 analog channels and 2 in amperes"),
              std::string::npos)
        << unnamed.err;
    AnalysisOptions o;
    o.waveFile = file("hand.cfg");
    o.rangeIndex = 5;
    o.channel = "IB";
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.pulses.size(), 1u);
    EXPECT_NEAR(r.pulses[0].result.pulseAmps, 150, 150 * 0.003);
}

TEST_P(HandRecording, InOneCffFileIsMeasuredAsInItsTwoFiles) {
    write();
    put("one.cff", "--- file type: CFG ---\r\n" + handRecordingCfg(GetParam(), false) +
                       "--- file type: HDR ---\r\nA fault made up for the test\r\n" +
                       "--- file type: DAT ASCII ---\r\n" + handRecordingDat(GetParam(), false));
    const ToolRun two = runTool({"--range", "5", file("hand.cfg")});
    const ToolRun one = runTool({"--range", "5", file("one.cff")});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.out.find("Pulse 1 at"), std::string::npos);
    EXPECT_EQ(one.out, two.out);
}

INSTANTIATE_TEST_SUITE_P(Rates, HandRecording, ::testing::Values(1200, 4800));

// At the ends of the rates measured, the waveform file the records keep of a recording plays
// back at the recording's rate, not at the 2400 a file out of range is taken at.
class EdgeRateRecording : public RecordTest, public ::testing::WithParamInterface<int> {};
TEST_P(EdgeRateRecording, KeepsItsRateInTheConvertedWaveform) {
    const int rate = GetParam();
    put("edge.cfg", handRecordingCfg(rate, false));
    put("edge.dat", handRecordingDat(rate, false));
    AnalysisOptions o;
    o.waveFile = file("edge.cfg");
    o.rangeIndex = 5;
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_NEAR(r.sampleRate, rate, rate * 1e-6);
    put("kept.owf", r.convertedWaveform);
    o.waveFile = file("kept.owf");
    const AnalysisResult kept = analyzeWaveform(o);
    ASSERT_TRUE(kept.ok) << kept.error;
    EXPECT_EQ(kept.sampleRate, r.sampleRate);
    std::string error;
    const auto exported = comtradeExportOfWaveFile(r.convertedWaveform, error);
    ASSERT_TRUE(exported) << error;
    EXPECT_EQ(exported->sampleRate, r.sampleRate);
    // Written again, the rate is the recording's own figure.
    EXPECT_NE(comtradeFilesOf(*exported).cfg.find("\r\n" + std::to_string(rate) + ","),
              std::string::npos);
}
INSTANTIATE_TEST_SUITE_P(Rates, EdgeRateRecording, ::testing::Values(500, 5000));

class ComtradeExportTool : public RecordTest {};

TEST_F(ComtradeExportTool, WritesBesideTheFileTimedByItsModification) {
    ASSERT_EQ(makeDemoFiles(folder), "");
    const ToolRun run = runTool({"--export-comtrade", file("QARN3Pulse.owf")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::optional<std::int64_t> modified = modifiedMicros(file("QARN3Pulse.owf"));
    ASSERT_TRUE(modified);
    const std::int64_t us = *modified;
    const std::string cfg = contents("QARN3Pulse.cfg");
    EXPECT_EQ(cfg.rfind("QARN3,***DEFAULT***,2013\r\n2,1A,1D\r\n", 0), 0u) << cfg;
    EXPECT_NE(cfg.find("\r\n" + comtradeTimeText(us) + "\r\n"), std::string::npos) << cfg;
    EXPECT_NE(cfg.find("\r\nBINARY\r\n"), std::string::npos);
    EXPECT_TRUE(files.exists(file("QARN3Pulse.dat")));

    // The site file beside the setup gives the line frequency; the trigger is the first
    // pulse's start; ON is set for each pulse's samples.
    put("QARN3Site.ini", "MainsHz=50\r\n");
    TSetupRecord setup;
    setSetupDefaults(setup);
    put("QARN3.osf", setupFileText(setup, '.'));
    const ToolRun ascii =
        runTool({"--export-comtrade", file("QARN3Pulse.owf"), "--setup", file("QARN3.osf"),
                 "--range", "4", "--comtrade-format", "ascii", "-o", file("a")});
    ASSERT_EQ(ascii.status, 0) << ascii.err;
    const std::string a = contents("a.cfg");
    EXPECT_NE(a.find("\r\n50\r\n1\r\n2400,59999\r\n"), std::string::npos) << a;
    AnalysisOptions o;
    o.waveFile = file("QARN3Pulse.owf");
    o.rangeIndex = 4;
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_FALSE(r.pulses.empty());
    const PulseResult& first = r.pulses[0].result;
    EXPECT_NE(
        a.find(comtradeTimeText(us + std::llround(first.startSeconds * 1e6)) + "\r\nASCII\r\n"),
        std::string::npos)
        << a;
    std::size_t onLines = 0;
    const std::string dat = contents("a.dat");
    for (std::size_t at = dat.find(",1\r\n"); at != std::string::npos;
         at = dat.find(",1\r\n", at + 1))
        ++onLines;
    std::size_t onSamples = 0;
    for (const AnalysisPulse& p : r.pulses)
        onSamples += p.result.onSamples;
    EXPECT_EQ(onLines, onSamples);
    const auto firstOn =
        "\r\n" + std::to_string(std::llround(first.startSeconds * r.sampleRate) + 1) + ",";
    const std::size_t line = dat.find(firstOn);
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(dat.substr(dat.find("\r\n", line + 2) - 2, 2), ",1");
    EXPECT_EQ(dat.substr(line - 2, 2), ",0");
}

TEST_F(ComtradeExportTool, RefusesOptionsThatDoNotGoWithIt) {
    EXPECT_EQ(runTool({"--comtrade-format", "ascii", "x.owf"}).status, 2);
    EXPECT_EQ(runTool({"--export-comtrade", "a.owf", "--comtrade-format", "csv"}).status, 2);
    EXPECT_EQ(runTool({"--export-comtrade", "a.owf", "b.owf"}).status, 2);
    EXPECT_EQ(runTool({"--export-comtrade", "a.owf", "--cycles"}).status, 2);
    const ToolRun missing = runTool({"--export-comtrade", file("none.owf")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.owf"), std::string::npos) << missing.err;
}

} // namespace
