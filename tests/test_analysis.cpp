#include "engine/analysis.h"

#include "calsetup/cal.h"
#include "waveform/waveform.h"

#include "record_fixture.h"

#include <cstring>
#include <unistd.h>
#include <vector>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class AnalysisTest : public RecordTest {
protected:
    AnalysisTest() {
        TWaveformData store;
        WaveformFiles wave{store, services, folder};
        wave.MakeWaveFile("QARN3Pulse.owf", false, PulseSegments);
        wave.MakeWaveFile("QARN3Long.owf", true, LongSegments);
    }

    // A waveform file of 60000 samples at 2400 a second, zero but for level from the sample
    // index first on (to the end of the file when count is 0).
    void putWave(const std::string& name, char waveType, int first, int count, int level) {
        TWaveFileHeader h;
        std::memcpy(h.Magic.data(), "WAVEFORM", 8);
        h.WaveType = waveType;
        h.SamplePeriod = 1.0f / 2400;
        h.SampleCount = kWaveFileSamples;
        std::vector<std::int16_t> s(kWaveFileSamples, 0);
        const int last = count > 0 ? first + count : kWaveFileSamples;
        for (int i = first; i < last; ++i)
            s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(level);
        put(name, h.bytes() + std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2));
    }

    AnalysisResult run(const std::string& name, std::optional<double> maxOn = {},
                       std::optional<double> maxOff = {}) {
        AnalysisOptions o;
        o.waveFile = file(name);
        o.maxOnTime = maxOn;
        o.maxOffTime = maxOff;
        o.calFile = calFile;
        AnalysisResult r = analyzeWaveform(o);
        EXPECT_TRUE(r.ok) << r.error;
        return r;
    }

    std::string calFile;
};

std::vector<std::string> readings(const AnalysisResult& r) {
    std::vector<std::string> out;
    for (const AnalysisPulse& p : r.pulses)
        out.push_back(p.current + "|" + p.seconds + "|" + p.cycles);
    return out;
}

TEST_F(AnalysisTest, PulseDemonstrationGivesFourPulsesThenTimeout) {
    const AnalysisResult r = run("QARN3Pulse.owf");
    EXPECT_EQ(r.testMode, 0);
    EXPECT_EQ(readings(r), (std::vector<std::string>{
                               "331.3 A|  0.0504 secs|    3.03 cycs",
                               "318.4 A|  0.0604 secs|    3.63 cycs",
                               "320.3 A|  0.2300 secs|   13.80 cycs",
                               "312.2 A|  0.2496 secs|   14.98 cycs",
                           }));
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.ending, "Test Timeout");
    // The last pulse starts at 4.9433 s; 5 s after it ended, at the end of a 0.2 s tick.
    EXPECT_NEAR(r.endSeconds, 10.2, 1e-6);
    EXPECT_NEAR(r.pulses[0].result.startSeconds, 241 / 2400.0, 0.003);
    const std::string text = formatAnalysisText(r);
    EXPECT_NE(text.find("Pulse 4 at   4.9433 s: 312.2 A    0.2496 secs     14.98 cycs\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nTest Timeout at 10.2000 s\n"), std::string::npos);
    const std::string json = formatAnalysisJson(r);
    EXPECT_NE(json.find("\"ending\": \"Test Timeout\", \"ended\": true"), std::string::npos);
    EXPECT_NE(json.find("\"cutShort\": false"), std::string::npos);
}

TEST_F(AnalysisTest, ZeroLimitsRunToTheEndOfTheFile) {
    const AnalysisResult r = run("QARN3Pulse.owf", 0.0, 0.0);
    EXPECT_EQ(r.pulses.size(), 4u);
    EXPECT_FALSE(r.ended);
    EXPECT_EQ(r.ending, "Test not ended");
    EXPECT_NEAR(r.endSeconds, 25.0, 1e-6);
    EXPECT_NE(formatAnalysisText(r).find("\nTest not ended at 25.0000 s: the MaxOff limit is "
                                         "disabled, so only STOP would end it\n"),
              std::string::npos);
}

TEST_F(AnalysisTest, TheFilesWaveTypeSetsTheModeAndTheOptionOverridesIt) {
    AnalysisResult r = run("QARN3Long.owf");
    EXPECT_EQ(r.testMode, 1);
    EXPECT_EQ(readings(r), std::vector<std::string>{"185.7 A|  1.8721 secs|  112.33 cycs"});

    AnalysisOptions o;
    o.waveFile = file("QARN3Long.owf");
    o.testMode = 0; // the pulse threshold catches the low start of the long waveform
    r = analyzeWaveform(o);
    EXPECT_EQ(r.testMode, 0);
    EXPECT_EQ(readings(r), std::vector<std::string>{"180.0 A|  1.9983 secs|  119.90 cycs"});

    // Any other letter leaves the mode of the setup file.
    putWave("other.owf", '?', 1000, 240, 80); // above OnThresh 40, below MPUThresh 100
    put("QARN3.osf", "4\r\n5.00\r\n5.00\r\nx.odf\r\nWAV\r\n4\r\n1\r\n  1000\r\n100.00\r\n");
    o.waveFile = file("other.owf");
    o.testMode.reset();
    o.setupFile = file("QARN3.osf");
    r = analyzeWaveform(o);
    EXPECT_EQ(r.testMode, 1);
    EXPECT_TRUE(r.pulses.empty());
    o.setupFile.clear();
    r = analyzeWaveform(o);
    EXPECT_EQ(r.testMode, 0);
    EXPECT_EQ(r.pulses.size(), 1u);

    o.testMode = 2;
    r = analyzeWaveform(o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Test mode must be 0 (pulse) or 1 (long)");
}

TEST_F(AnalysisTest, APulseStillOnWhenTheFileEndsIsFinishedByTheIdleFeed) {
    // On for the last 1000 samples; the file's last sample is never played.
    putWave("tail.owf", 'N', 59000, 0, 1000);
    AnalysisResult r = run("tail.owf");
    ASSERT_EQ(r.pulses.size(), 1u);
    EXPECT_EQ(r.pulses[0].result.onSamples, 999u);
    EXPECT_FALSE(r.pulses[0].result.cutShort);
    EXPECT_EQ(r.ending, "Test Timeout");
    EXPECT_NEAR(r.endSeconds, 30.2, 1e-6);

    r = run("tail.owf", 0.0, 0.0);
    ASSERT_EQ(r.pulses.size(), 1u);
    EXPECT_EQ(r.pulses[0].result.onSamples, 999u);
    EXPECT_FALSE(r.ended);
    EXPECT_FALSE(r.pulseOn);
    EXPECT_EQ(r.ending, "Test not ended");
    EXPECT_EQ(formatAnalysisText(r).substr(formatAnalysisText(r).rfind("Test")),
              "Test not ended at 25.2000 s: the MaxOff limit is disabled, so only STOP would "
              "end it\n");
    EXPECT_NE(formatAnalysisJson(r).find(
                  "\"ending\": \"Test not ended\", \"ended\": false, \"notEndedReason\": \"the "
                  "MaxOff limit is disabled, so only STOP would end it\", \"pulseOn\": false"),
              std::string::npos);
}

TEST_F(AnalysisTest, APulseCutShortByMaxOnStaysListedAndFlagged) {
    putWave("long.owf", 'N', 2400, 4800, 1000);
    const AnalysisResult r = run("long.owf", 1.0);
    ASSERT_EQ(r.pulses.size(), 1u);
    EXPECT_TRUE(r.pulses[0].result.cutShort);
    // Cut at the end of the tick where it passed 1 s: sqrt((N + 4) / N) x 1000 counts.
    EXPECT_EQ(r.pulses[0].result.onSamples, 2876u);
    EXPECT_EQ(readings(r), std::vector<std::string>{"612.9 A|  1.1983 secs|   71.90 cycs"});
    EXPECT_EQ(r.ending, "Test Timeout");
    EXPECT_NE(formatAnalysisText(r).find("71.90 cycs  cut short by the MaxOn limit\n"),
              std::string::npos);
    EXPECT_NE(formatAnalysisJson(r).find("\"cutShort\": true"), std::string::npos);
}

TEST_F(AnalysisTest, APulseThatNeverGoesOffStopsTheAnalysisWithoutLimits) {
    // An off threshold of 0 that the idle feed never goes below.
    TCalRecord cal;
    setCalDefaults(cal, 45000);
    cal.OnThresh = 10;
    cal.OffThresh = 0;
    put("low.ocf", buildCalImage(cal));
    calFile = file("low.ocf");
    putWave("end.owf", 'N', 59000, 0, 20);
    AnalysisResult r = run("end.owf", 0.0, 0.0);
    EXPECT_TRUE(r.pulses.empty());
    EXPECT_FALSE(r.ended);
    EXPECT_TRUE(r.pulseOn);
    EXPECT_EQ(r.notEndedReason, "a pulse is still on");
    EXPECT_NE(formatAnalysisJson(r).find("\"pulseOn\": true"), std::string::npos);
    EXPECT_NEAR(r.endSeconds, 26.0, 1e-6); // one second of idle feed after the file

    r = run("end.owf", 2.0, 0.0);
    ASSERT_EQ(r.pulses.size(), 1u);
    EXPECT_TRUE(r.pulses[0].result.cutShort);
    EXPECT_TRUE(r.ended);
}

TEST_F(AnalysisTest, AFileWithoutPulsesEndsArmed) {
    putWave("quiet.owf", 'N', 0, 1, 0);
    const AnalysisResult r = run("quiet.owf");
    EXPECT_TRUE(r.pulses.empty());
    EXPECT_FALSE(r.ended);
    EXPECT_EQ(r.notEndedReason, "no pulse was seen");
    EXPECT_NEAR(r.endSeconds, 25.0, 1e-6);
}

TEST_F(AnalysisTest, MissingAndWrongFilesAreErrors) {
    AnalysisOptions o;
    o.waveFile = file("none.owf");
    AnalysisResult r = analyzeWaveform(o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "File: " + file("none.owf") + " Not Found");
    put("bad.owf", "hello");
    o.waveFile = file("bad.owf");
    r = analyzeWaveform(o);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Wrong File Type"), std::string::npos);
    o.waveFile = file("QARN3Pulse.owf");
    o.setupFile = file("missing.osf");
    EXPECT_FALSE(analyzeWaveform(o).ok);
    put("bad.osf", "x\n");
    o.setupFile = file("bad.osf");
    r = analyzeWaveform(o);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("'x' is not a valid integer value"), std::string::npos);
}

TEST_F(AnalysisTest, LongTestUsesTheSetupAndCalibrationFiles) {
    put("QARN3.osf", "5\r\n5.00\r\n5.00\r\nx.odf\r\nCOM\r\n4\r\n1\r\n  1000\r\n100.00\r\n");
    AnalysisOptions o;
    o.waveFile = file("QARN3Long.owf");
    o.setupFile = file("QARN3.osf");
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.rangeIndex, 5);
    EXPECT_DOUBLE_EQ(r.fullScaleAmps, 1000);
    EXPECT_GE(r.pulses.size(), 1u);
}

// The tool reads the setup and calibration files no further than the program does: what lies
// beyond the nine lines and the 128-character image is never read into memory.
TEST_F(AnalysisTest, HugeSetupAndCalibrationFilesAreReadOnlyAsFarAsTheyAreUsed) {
    put("QARN3.osf", "5\r\n5.00\r\n5.00\r\nx.odf\r\nCOM\r\n4\r\n1\r\n  1000\r\n100.00\r\n");
    TCalRecord cal;
    setCalDefaults(cal, 45000);
    cal.MPUThresh = 500; // reached late in the long file's rising first segment
    put("QARN3.ocf", buildCalImage(cal));
    for (const char* name : {"QARN3.osf", "QARN3.ocf"})
        ASSERT_EQ(::truncate(file(name).c_str(), 4LL << 30), 0); // sparse, 4 GiB
    AnalysisOptions o;
    o.waveFile = file("QARN3Long.owf");
    o.setupFile = file("QARN3.osf");
    o.calFile = file("QARN3.ocf");
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.rangeIndex, 5);
    ASSERT_EQ(r.pulses.size(), 1u);
    EXPECT_GT(r.pulses[0].result.startSeconds, 1.0); // the threshold came from the file
}

} // namespace
