#include "engine/analysis.h"
#include "waveform/waveform.h"

#include "record_fixture.h"

#include <cstdio>

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
};

TEST_F(AnalysisTest, PulseDemonstrationGivesFourPulsesThenTimeout) {
    AnalysisOptions o;
    o.waveFile = file("QARN3Pulse.owf");
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.pulses.size(), 4u);
    EXPECT_EQ(r.ending, "Test Timeout");
    // Bursts of 0.05, 0.06, 0.23 and 0.25 s, 1.5 s apart.
    EXPECT_NEAR(r.pulses[0].result.seconds, 0.05, 0.005);
    EXPECT_NEAR(r.pulses[3].result.seconds, 0.25, 0.005);
    EXPECT_NEAR(r.pulses[0].result.startSeconds, 241 / 2400.0, 0.003);
    const std::string text = formatAnalysisText(r);
    EXPECT_NE(text.find("Pulse 4 at"), std::string::npos);
    EXPECT_NE(text.find("Test Timeout at"), std::string::npos);
    const std::string json = formatAnalysisJson(r);
    EXPECT_NE(json.find("\"ending\": \"Test Timeout\""), std::string::npos);
}

TEST_F(AnalysisTest, ZeroLimitsRunToTheEndOfTheFile) {
    AnalysisOptions o;
    o.waveFile = file("QARN3Pulse.owf");
    o.maxOnTime = 0;
    o.maxOffTime = 0;
    const AnalysisResult r = analyzeWaveform(o);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.ending, "Running");
    EXPECT_NE(formatAnalysisText(r).find("still running"), std::string::npos);
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

} // namespace
