// The capture in the waveform store clears only what was written since its last clear: what
// the viewer and a saved file see must be what clearing all 145001 slots gave.
#include "engine/analysis.h"
#include "engine/engine.h"

#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "engine/ranges.h"
#include "link/demolink.h"
#include "waveform/waveform.h"

#include "record_fixture.h"

#include <cstring>
#include <vector>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class CaptureTest : public RecordTest {
protected:
    CaptureTest() {
        setSetupDefaults(setup);
        setup.MaxOnTime = 0; // no limits: the capture runs on to the next pulse
        setup.MaxOffTime = 0;
        setCalDefaults(cal, 0);
        cal.AvgSamples = 240;
        engine.useRanges(buildRangeTables(1000, 100).RangeFormat, 0);
        engine.SetRange();
    }

    // Plays a demonstration of these (level, first, count) blocks on zero for ticks ticks.
    void play(const std::vector<std::array<int, 3>>& blocks, int ticks) {
        std::vector<std::int16_t> file(DemoLink::kDemoLength, 0);
        for (const auto& [level, first, count] : blocks)
            std::fill_n(file.begin() + first, count, static_cast<std::int16_t>(level));
        demo.load(file.data(), DemoLink::kDemoLength);
        engine.ResetTest();
        engine.Start();
        for (int i = 0; i < ticks; ++i)
            engine.ProcessTick();
    }

    // The first slot from `from` on that is not zero, or -1.
    int firstNonZero(int from) const {
        for (int i = from; i < kWaveSlots; ++i)
            if (wave.Samples[static_cast<std::size_t>(i)] != 0) return i;
        return -1;
    }

    TSetupRecord setup;
    TCalRecord cal;
    TWaveformData wave;
    DemoLink demo{wave.SampleRate, wave.FileName};
    EngineDisplay display;
    TQARN3Update engine{EngineContext{setup, cal, wave, demo, display, log}};
};

TEST_F(CaptureTest, AShortPulseAfterALongCaptureLeavesNothingOfItBehind) {
    // The first capture runs from 1000 to the second pulse at 40000; the second is checked a
    // few ticks after its start, far shorter.
    play({{1000, 1000, 12000}, {500, 40000, 240}}, 86);
    ASSERT_TRUE(engine.readings().running());
    ASSERT_GT(wave.Position, 240);
    ASSERT_LT(wave.Position, 2000);
    EXPECT_EQ(firstNonZero(wave.Position + 1), -1);
    for (int i = 0; i < wave.Position; ++i) {
        const int v = wave.Samples[static_cast<std::size_t>(i)];
        ASSERT_TRUE(v == 0 || v == 500) << "slot " << i << " holds " << v;
    }
    // The pre-trigger samples, then the pulse.
    EXPECT_EQ(wave.Samples[19], 0);
    EXPECT_EQ(wave.Samples[20], 500);
    EXPECT_EQ(wave.Samples[259], 500);
    EXPECT_EQ(wave.Samples[260], 0);
}

TEST_F(CaptureTest, ResetClearsALoadedFileAndTheCaptureBeyondIt) {
    // A capture that ran on to the last slot: the file, then the idle feed.
    play({{1000, 100, 2400}}, 320);
    ASSERT_EQ(wave.Position, kCaptureLimit);
    ASSERT_NE(wave.Samples[kCaptureLimit], 0);

    // A file read into the store clears slots 0..60000 only.
    TWaveFileHeader h;
    std::memcpy(h.Magic.data(), "WAVEFORM", 8);
    h.WaveType = 'N';
    h.SamplePeriod = 1.0f / 2400;
    h.SampleCount = kWaveFileSamples;
    put("seven.owf", h.bytes() + std::string(2 * kWaveFileSamples, '\x07'));
    WaveformFiles waveFiles(wave, services, folder);
    ASSERT_TRUE(waveFiles.ReadWaveform("seven.owf"));
    EXPECT_EQ(wave.Samples[0], 0x0707);
    EXPECT_NE(firstNonZero(kWaveFileSamples + 1), -1);

    engine.ResetTest();
    EXPECT_EQ(firstNonZero(0), -1);

    // A file over a cleared store leaves nothing for the next clear to miss either.
    ASSERT_TRUE(waveFiles.ReadWaveform("seven.owf"));
    engine.ResetTest();
    EXPECT_EQ(firstNonZero(0), -1);
}

// A worker analyses file after file with the same buffers; every result is the one a new
// analysis gives, whatever the files before left in them.
TEST_F(CaptureTest, AnalysesOneAfterAnotherGiveWhatAFreshOneGives) {
    auto putWave = [&](const std::string& name, char type, float period, int level, int first,
                       int count) {
        TWaveFileHeader h;
        std::memcpy(h.Magic.data(), "WAVEFORM", 8);
        h.WaveType = type;
        h.SamplePeriod = period;
        h.SampleCount = kWaveFileSamples;
        std::vector<std::int16_t> s(kWaveFileSamples, 0);
        std::fill_n(s.begin() + first, count, static_cast<std::int16_t>(level));
        put(name, h.bytes() + std::string(reinterpret_cast<const char*>(s.data()), 2 * s.size()));
    };
    putWave("long.owf", 'M', 1.0f / 4800, 900, 100, 59000); // on to the end, at 4800 a second
    putWave("pulse.owf", 'N', 1.0f / 2400, 700, 3000, 500);
    putWave("quiet.owf", '?', 1.0f / 2400, 0, 0, 0);
    const std::vector<std::string> order{"long.owf", "pulse.owf", "quiet.owf", "pulse.owf",
                                         "long.owf"};
    AnalysisOptions o;
    AnalysisSettings settings;
    ASSERT_EQ(prepareSettings(o, settings), "");
    WaveAnalyzer worker;
    for (const std::string& name : order) {
        o.waveFile = file(name);
        const AnalysisResult reused = worker.analyze(o, settings);
        const AnalysisResult fresh = analyzeWaveform(o);
        ASSERT_TRUE(reused.ok) << reused.error;
        EXPECT_EQ(reused.testMode, fresh.testMode) << name;
        EXPECT_EQ(reused.ending, fresh.ending) << name;
        EXPECT_EQ(reused.endSeconds, fresh.endSeconds) << name;
        ASSERT_EQ(reused.pulses.size(), fresh.pulses.size()) << name;
        for (std::size_t i = 0; i < fresh.pulses.size(); ++i) {
            EXPECT_EQ(reused.pulses[i].result.onSamples, fresh.pulses[i].result.onSamples);
            EXPECT_EQ(reused.pulses[i].result.pulseAmps, fresh.pulses[i].result.pulseAmps);
            EXPECT_EQ(reused.pulses[i].current, fresh.pulses[i].current);
        }
    }
}

} // namespace
