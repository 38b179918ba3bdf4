#include "engine/engine.h"

#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "diag/debuglog.h"
#include "engine/ranges.h"
#include "link/demolink.h"
#include "waveform/waveform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <vector>

using namespace qarn3;

namespace {

// Keeps the last value written to every display element.
struct RecordingDisplay : EngineDisplay {
    std::string pulseCurrent, pulseSeconds, pulseCycles, liveCurrent, panel, button;
    Colour pulseColour = Colour::ButtonFace, statusColour = Colour::ButtonFace,
           panelColour = Colour::ButtonFace, buttonFont = Colour::ButtonFace,
           timeBarColour = Colour::Blue;
    std::map<int, std::string> status;
    bool analyze = false, rangeList = false;
    int currentBar = -1, timeBar = -1, selected = -1;
    std::vector<PulseResult> pulses;

    void setPulseCurrent(const std::string& t) override { pulseCurrent = t; }
    void setPulseCurrentColour(Colour c) override { pulseColour = c; }
    void setPulseSeconds(const std::string& t) override { pulseSeconds = t; }
    void setPulseCycles(const std::string& t) override { pulseCycles = t; }
    void setLiveCurrent(const std::string& t, Colour) override { liveCurrent = t; }
    void setArmedRunningPanel(const std::string& t, Colour c) override {
        panel = t;
        panelColour = c;
    }
    void setRunButton(const std::string& caption, Colour font) override {
        button = caption;
        buttonFont = font;
    }
    void setAnalyzeEnabled(bool on) override { analyze = on; }
    void setStatusPanel(int i, const std::string& t) override { status[i] = t; }
    void setStatusColour(Colour c) override { statusColour = c; }
    void setRangeListEnabled(bool on) override { rangeList = on; }
    void selectRange(int i) override { selected = i; }
    void setCurrentBar(int p) override { currentBar = p; }
    void setTimeBar(int p, Colour c) override {
        timeBar = p;
        timeBarColour = c;
    }
};

// A link that hands out queued samples and describes itself as a serial port does.
struct QueueLink : AnalyzerLink {
    bool valid = true, sampling = true;
    std::deque<int> samples;
    int stops = 0, ranges = 0, lastRange = 0, starts = 0;
    std::vector<int> rangesSent;
    // Runs while the range goes out, as window messages handled during the link's waits do.
    std::function<void()> duringRangeSend;
    // Runs when a sample is taken (once).
    std::function<void()> duringGetSample;
    bool LinkValid() const override { return valid; }
    void clearLinkValid() override { valid = false; }
    bool Sampling() const override { return sampling; }
    LinkStatus status(const std::string& source, const std::string& serial) const override {
        if (valid) return {source + " on " + serial, false};
        return {"Error on " + source, true};
    }
    int samplesWaiting() const override { return static_cast<int>(samples.size()); }
    int GetSample() override {
        if (duringGetSample) std::exchange(duringGetSample, nullptr)();
        if (samples.empty()) return 0;
        const int s = samples.front();
        samples.pop_front();
        return s;
    }
    void stopSampling() override {
        ++stops;
        sampling = false;
    }
    void setRange(int r) override {
        ++ranges;
        if (duringRangeSend) std::exchange(duringRangeSend, nullptr)();
        lastRange = r;
        rangesSent.push_back(r);
    }
    void startForTest() override { ++starts; }
};

class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        log.open();
        setSetupDefaults(setup);
        setup.SourceName = "COM4";
        setup.SourceKind = kSourceCom;
        setCalDefaults(cal, 0);
        cal.AvgSamples = 240;
        cal.SerNum = "SN12345   ";
        engine.useRanges(formats, 0);
        engine.pulseEnded().connect([this](const PulseEnd& p) {
            display.pulses.push_back(p.result);
            EXPECT_EQ(&p.capture, &wave);
        });
        engine.SetRange();
        engine.ResetTest();
    }
    const EngineReadings& r() const { return engine.readings(); }
    // The counters as they are, with one of them preset.
    void preset(std::uint32_t EngineCounters::*counter, std::uint32_t value) {
        EngineCounters c{r().samplesTaken, r().onSamples, r().offSamples};
        c.*counter = value;
        engine.presetCounters(c);
    }

    // Feeds samples through live ticks of up to 480 samples.
    void feed(const std::vector<int>& s) {
        for (int v : s)
            com.samples.push_back(v);
        while (!com.samples.empty())
            tickLive(480);
    }
    void tickLive(std::size_t max) {
        std::deque<int> rest;
        while (com.samples.size() > max) {
            rest.push_front(com.samples.back());
            com.samples.pop_back();
        }
        engine.ProcessTick();
        for (int v : rest)
            com.samples.push_back(v);
    }
    void zeros(int n) { feed(std::vector<int>(static_cast<std::size_t>(n), 0)); }
    // The debug lines without their number and time stamp.
    const std::vector<std::string>& texts() {
        m_texts.clear();
        for (const auto& line : log.lines()) {
            const auto colon = line.find(": ");
            m_texts.push_back(line.substr(colon + 2, line.rfind(" at: ") - colon - 2));
        }
        return m_texts;
    }
    void pulse(int n, int value) { feed(std::vector<int>(static_cast<std::size_t>(n), value)); }

    TSetupRecord setup;
    TCalRecord cal;
    TWaveformData wave;
    const std::array<std::string, 8> formats = buildRangeTables(1000, 100).RangeFormat;
    QueueLink com;
    DemoLink demo{wave.SampleRate, wave.FileName};
    RecordingDisplay display;
    DebugLog log;
    TQARN3Update engine{EngineContext{setup, cal, wave, com, display, log}};

private:
    std::vector<std::string> m_texts;
};

TEST_F(EngineTest, SetRangeScalesTheDefaultRange) {
    EXPECT_DOUBLE_EQ(r().fullScaleAmps, 500);
    EXPECT_FLOAT_EQ(wave.AmpsPerCount, 0.6125f);
    EXPECT_EQ(r().currentFormat, "%5.1f A");
    EXPECT_EQ(com.lastRange, 4);
    EXPECT_EQ(display.selected, 3);
}

TEST_F(EngineTest, RangeOutsideOneToEightSelectsTheNearestRange) {
    setup.RangeIndex = 9;
    engine.SetRange();
    EXPECT_EQ(com.lastRange, 8);
    EXPECT_DOUBLE_EQ(r().fullScaleAmps, 10000);
    EXPECT_EQ(display.selected, 7);
    setup.RangeIndex = 0;
    engine.SetRange();
    EXPECT_EQ(com.lastRange, 1);
    EXPECT_DOUBLE_EQ(r().fullScaleAmps, 50);
    EXPECT_EQ(display.selected, 0);
}

// The link's range exchange waits handling window messages, so the operator's next '+' or
// a range picked from the list can arrive in the middle of it: the analyzer, the scale, the
// format and the list must all end on the newest range, not on the one the first call began.
TEST_F(EngineTest, RangeChosenWhileTheAnalyzerIsBeingToldAnotherEndsOnTheNewest) {
    com.rangesSent.clear();
    setup.RangeIndex = 6;
    com.duringRangeSend = [this] {
        setup.RangeIndex = 8;
        engine.SetRange();
    };
    engine.SetRange();
    EXPECT_EQ(com.lastRange, 8);
    EXPECT_EQ(com.rangesSent.back(), 8);
    EXPECT_DOUBLE_EQ(r().fullScaleAmps, 10000);
    EXPECT_FLOAT_EQ(wave.AmpsPerCount, static_cast<float>(10000 * cal.Factor[7]));
    EXPECT_EQ(r().currentFormat, formats[7]);
    EXPECT_EQ(display.selected, 7);
    // Once settled, a range goes out once.
    com.rangesSent.clear();
    setup.RangeIndex = 3;
    engine.SetRange();
    EXPECT_THAT(com.rangesSent, ::testing::ElementsAre(3));
}

TEST_F(EngineTest, RectangularPulseOf240Samples) {
    zeros(100);
    pulse(240, 1000);
    zeros(100);
    EXPECT_EQ(r().onSamples, 240u);
    EXPECT_EQ(display.pulseSeconds, "  0.1000 secs");
    EXPECT_EQ(display.pulseCycles, "    6.00 cycs");
    EXPECT_NEAR(r().pulseAmps, std::sqrt(240.0 / 241.0) * 1000 * 0.6125, 0.01);
    EXPECT_EQ(display.pulseCurrent, "611.2 A");
    ASSERT_EQ(display.pulses.size(), 1u);
    EXPECT_NEAR(display.pulses[0].startSeconds, 100 / 2400.0, 1e-9);
    EXPECT_FALSE(r().underRange);
    // The capture starts with the OnDelay + 19 samples before the trigger.
    EXPECT_EQ(wave.Samples[19], 0);
    EXPECT_EQ(wave.Samples[20], 1000);
    EXPECT_EQ(wave.Samples[20 + 239], 1000);
    EXPECT_EQ(wave.Samples[20 + 240], 0);
    EXPECT_TRUE(r().running());
    EXPECT_TRUE(r().armed());
}

TEST_F(EngineTest, SteadySineReadsItsRmsLiveCurrent) {
    std::vector<int> sine;
    for (int i = 0; i < 2400; ++i)
        sine.push_back(static_cast<int>(std::lround(1000 * std::sin(2 * M_PI * 60 * i / 2400.0))));
    feed(sine);
    EXPECT_EQ(display.liveCurrent, "433.1 A");
}

TEST_F(EngineTest, OverRangeAbove2000EndsTheTest) {
    pulse(1, 2000);
    EXPECT_EQ(r().endReason, EndReason::None);
    EXPECT_TRUE(r().armed());
    pulse(1, -2001);
    EXPECT_EQ(r().endReason, EndReason::OverRange);
    EXPECT_FALSE(r().armed());
    EXPECT_EQ(display.status[1], "Overrange Detected");
    EXPECT_EQ(display.statusColour, Colour::Red);
    EXPECT_EQ(display.button, "RESET");
}

TEST_F(EngineTest, OverRangeWhileRunningEndsTheTest) {
    zeros(10);
    pulse(100, 1000);
    ASSERT_TRUE(r().running());
    pulse(1, 2001);
    EXPECT_FALSE(r().running());
    EXPECT_EQ(display.status[1], "Overrange Detected");
}

TEST_F(EngineTest, AlternatingSamplesNeverSwitchOn) {
    std::vector<int> alt;
    for (int i = 0; i < 2000; ++i)
        alt.push_back(i % 2 ? 1000 : 0);
    cal.OnDelay = 2;
    feed(alt);
    EXPECT_FALSE(r().currentOn);
    // The count is back at 0 after a low sample: two high ones then switch it on, not one.
    feed({0, 1000});
    EXPECT_FALSE(r().currentOn);
    feed({1000});
    EXPECT_TRUE(r().currentOn);
}

struct ThresholdCase {
    int testMode, level;
    bool switchesOn;
};

class OnThreshold : public EngineTest, public ::testing::WithParamInterface<ThresholdCase> {};

// The on test counts samples strictly above the threshold of the test mode.
TEST_P(OnThreshold, OnlySamplesAboveItCount) {
    setup.TestMode = static_cast<std::uint8_t>(GetParam().testMode);
    zeros(10);
    pulse(240, GetParam().level);
    EXPECT_EQ(r().running(), GetParam().switchesOn);
}

INSTANTIATE_TEST_SUITE_P(Modes, OnThreshold,
                         ::testing::Values(ThresholdCase{0, 40, false}, ThresholdCase{0, 41, true},
                                           ThresholdCase{0, -41, true},
                                           ThresholdCase{1, 100, false},
                                           ThresholdCase{1, 101, true}));

struct OffLevelCase {
    int peak, step;
    std::uint32_t onSamples; // the pulse ends in the step (240) or after it (480)
};

class OffLevel : public EngineTest, public ::testing::WithParamInterface<OffLevelCase> {};

// The pulse ends on samples strictly below the larger of OffThresh (20) and peak / 8.
TEST_P(OffLevel, EndsBelowTheLargerOfOffThreshAndAnEighthOfThePeak) {
    zeros(10);
    pulse(240, GetParam().peak);
    pulse(240, GetParam().step);
    zeros(100);
    ASSERT_FALSE(display.pulses.empty());
    EXPECT_EQ(display.pulses.front().onSamples, GetParam().onSamples);
}

INSTANTIATE_TEST_SUITE_P(Steps, OffLevel,
                         ::testing::Values(OffLevelCase{1000, 100, 240},
                                           OffLevelCase{1000, 124, 240},
                                           OffLevelCase{1000, 125, 480}, OffLevelCase{100, 19, 240},
                                           OffLevelCase{100, 20, 480}));

struct ShortPulseCase {
    int samples;
    const char* current;
};

class ShortPulse : public EngineTest, public ::testing::WithParamInterface<ShortPulseCase> {};

// A pulse whose RMS exceeds 1.2 x the largest 20-sample block is marked "?": short pulses
// share their blocks with the off delay's zeros.
TEST_P(ShortPulse, SuspectMarkAboveTwelveTenthsOfThePeakBlock) {
    zeros(100);
    pulse(GetParam().samples, 1000);
    zeros(100);
    EXPECT_EQ(display.pulseCurrent, GetParam().current);
    ASSERT_EQ(display.pulses.size(), 1u);
    EXPECT_EQ(display.pulses[0].suspect, display.pulseCurrent.back() == '?');
}

INSTANTIATE_TEST_SUITE_P(Lengths, ShortPulse,
                         ::testing::Values(ShortPulseCase{10, "584.0 A?"},
                                           ShortPulseCase{18, "596.2 A?"},
                                           ShortPulseCase{19, "597.0 A"},
                                           ShortPulseCase{240, "611.2 A"}));

TEST_F(EngineTest, PeakRmsIsTakenOverBlocksOfTwentySamplesAfterTheTrigger) {
    // The first block after the trigger holds exactly the 20 samples at 1000 counts; the
    // level after them keeps the pulse on (above 1000 / 8).
    zeros(10);
    pulse(5, 200);
    pulse(20, 1000);
    pulse(200, 200);
    zeros(100);
    EXPECT_NEAR(r().peakRms20Amps, 612.5, 0.01);
}

struct EarlyStopCase {
    int pulseSamples;
    std::uint32_t onSamples;
};

class EarlyStop : public EngineTest, public ::testing::WithParamInterface<EarlyStopCase> {};

// STOP right after the trigger: the count is corrected by OffDelay - OnDelay (10) only when it
// is larger than that.
TEST_P(EarlyStop, CorrectsOnlyACountLargerThanTheDelayDifference) {
    zeros(100);
    pulse(GetParam().pulseSamples, 1000);
    engine.TestAbort();
    zeros(1);
    EXPECT_EQ(r().onSamples, GetParam().onSamples);
    EXPECT_GT(r().pulseAmps, 0);
}

INSTANTIATE_TEST_SUITE_P(Counts, EarlyStop,
                         ::testing::Values(EarlyStopCase{13, 9}, EarlyStopCase{14, 10},
                                           EarlyStopCase{15, 1}, EarlyStopCase{30, 16}));

TEST_F(EngineTest, PulseSumTakesExactlyTheFourSamplesBeforeTheTrigger) {
    // A standing 38 counts, a rising edge above the on threshold, a short top, then off.
    zeros(100);
    feed({38, 38, 38, 38, 38, 38, 41, 42, 43, 44});
    pulse(6, 60);
    zeros(100);
    // sqrt((41² + 42² + 43² + 44² + 6 x 60²) / 11) x 0.6125 A; with 38² it would read 32.1 A,
    // without 41² 30.4 A.
    EXPECT_EQ(display.pulseCurrent, " 31.4 A?");
    EXPECT_EQ(r().onSamples, 10u);
}

TEST_F(EngineTest, LongTestModeUsesTheMpuThreshold) {
    setup.TestMode = 1;
    pulse(50, 80); // above OnThresh 40, below MPUThresh 100
    EXPECT_FALSE(r().currentOn);
    pulse(50, 120);
    EXPECT_TRUE(r().currentOn);
}

TEST_F(EngineTest, UnderRangeOnRangesTwoToEightOnly) {
    zeros(10);
    pulse(240, 100); // 61 A on a 500 A range
    zeros(100);
    EXPECT_TRUE(r().underRange);
    zeros(1);
    EXPECT_EQ(display.status[1], "Underrange Detected");
    EXPECT_EQ(display.statusColour, Colour::Yellow);
    EXPECT_EQ(display.pulseColour, Colour::Yellow);

    setup.RangeIndex = 1;
    engine.SetRange();
    engine.ResetTest();
    zeros(10);
    pulse(240, 20 + 30); // tiny on the smallest range
    zeros(100);
    EXPECT_FALSE(r().underRange);
}

struct UnderRangeCase {
    int range, counts;
    bool underRange;
};

class UnderRangeRule : public EngineTest, public ::testing::WithParamInterface<UnderRangeCase> {};

// Below 0.3 x full scale on ranges 2..8.
TEST_P(UnderRangeRule, BelowThreeTenthsOfFullScaleFromRangeTwo) {
    setup.RangeIndex = static_cast<std::int16_t>(GetParam().range);
    engine.SetRange();
    engine.ResetTest();
    zeros(10);
    pulse(240, GetParam().counts);
    zeros(100);
    ASSERT_EQ(display.pulses.size(), 1u);
    EXPECT_EQ(r().underRange, GetParam().underRange);
}

INSTANTIATE_TEST_SUITE_P(Ranges, UnderRangeRule,
                         ::testing::Values(UnderRangeCase{1, 50, false},    // 3.06 A of 50 A
                                           UnderRangeCase{2, 245, true},    // 29.95 A of 100 A
                                           UnderRangeCase{2, 250, false},   // 30.56 A
                                           UnderRangeCase{8, 244, true},    // 2982 A of 10000 A
                                           UnderRangeCase{8, 250, false})); // 3056 A

TEST_F(EngineTest, NoCorrectionWhenOnDelayExceedsOffDelay) {
    cal.OnDelay = 10;
    cal.OffDelay = 5;
    engine.ResetTest();
    zeros(50);
    pulse(240, 1000);
    zeros(50);
    // On at the 10th sample: 231 samples of the pulse, plus 4 of the 5 off-delay zeros.
    EXPECT_EQ(r().onSamples, 235u);
}

TEST_F(EngineTest, FourEmptyTicksEndTheTestAndDropTheLink) {
    for (int i = 0; i < 3; ++i)
        engine.ProcessTick();
    EXPECT_TRUE(com.valid);
    EXPECT_TRUE(r().armed());
    engine.ProcessTick();
    EXPECT_FALSE(com.valid);
    EXPECT_EQ(com.stops, 1);
    EXPECT_FALSE(r().armed());
    EXPECT_EQ(display.status[2], "Error on COM4");
    EXPECT_EQ(display.statusColour, Colour::Red);
    EXPECT_EQ(display.button, "RESET");
    const auto& lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                                return l.find(": RxDataCount <= 0  at:") != std::string::npos;
                            }),
              4);
}

TEST_F(EngineTest, LinkLostAfterTheTestEndedStillShowsTheError) {
    zeros(100);
    pulse(240, 1000);
    zeros(12100); // the MaxOff limit ends the test
    ASSERT_EQ(display.status[1], "Test Timeout");
    ASSERT_EQ(display.status[2], "COM4 on SN12345");
    for (int i = 0; i < 4; ++i)
        engine.ProcessTick();
    EXPECT_FALSE(com.valid);
    EXPECT_EQ(com.stops, 1);
    EXPECT_EQ(display.status[2], "Error on COM4");
    EXPECT_EQ(display.statusColour, Colour::Red);
    EXPECT_EQ(display.button, "RESET");
    EXPECT_EQ(display.status[1], "Test Timeout"); // why the test ended is still shown
}

TEST_F(EngineTest, DataBetweenEmptyTicksResetsTheWatchdog) {
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 3; ++i)
            engine.ProcessTick();
        zeros(10);
    }
    EXPECT_TRUE(com.valid);
}

TEST_F(EngineTest, SecondPulseReplacesTheFirstThenTimesOut) {
    zeros(100);
    pulse(240, 1000);
    zeros(2400);
    pulse(480, 800);
    zeros(15);
    EXPECT_EQ(display.pulses.size(), 2u);
    EXPECT_EQ(r().onSamples, 480u);
    EXPECT_EQ(display.pulseSeconds, "  0.2000 secs");
    // Ends 5 s (12000 samples) after the second pulse ended.
    zeros(11900);
    EXPECT_TRUE(r().running());
    zeros(480);
    EXPECT_FALSE(r().running());
    EXPECT_EQ(display.status[1], "Test Timeout");
    EXPECT_EQ(display.statusColour, Colour::Green);
    EXPECT_EQ(display.button, "RESET");
    EXPECT_TRUE(display.analyze);
    EXPECT_EQ(display.pulseSeconds, "  0.2000 secs");
}

TEST_F(EngineTest, StopWhilePulseOnFinishesThePulse) {
    zeros(100);
    pulse(960, 1000);
    engine.TestAbort();
    // 956 counted samples, corrected by OffDelay - OnDelay = 10; the sum holds the 4 samples
    // before the trigger too: sqrt(960 / 947) x 1000 counts x 0.6125 A.
    EXPECT_EQ(r().onSamples, 946u);
    EXPECT_EQ(r().endReason, EndReason::Stopped);
    EXPECT_EQ(display.status[1], "Test Stopped");
    EXPECT_EQ(display.statusColour, Colour::Green);
    ASSERT_EQ(display.pulses.size(), 1u);
    zeros(1); // the next tick shows the readings
    EXPECT_EQ(display.pulseCurrent, "616.7 A");
    EXPECT_EQ(display.pulseSeconds, "  0.3942 secs");
    EXPECT_EQ(display.pulseCycles, "   23.65 cycs");
    EXPECT_EQ(display.pulses.size(), 1u);
}

TEST_F(EngineTest, StopInTheOffPeriodKeepsTheLastPulse) {
    zeros(100);
    pulse(240, 1000);
    zeros(100);
    ASSERT_TRUE(r().running());
    ASSERT_FALSE(r().currentOn);
    engine.TestAbort();
    zeros(1);
    EXPECT_EQ(r().endReason, EndReason::Stopped);
    EXPECT_FALSE(r().running());
    EXPECT_EQ(display.status[1], "Test Stopped");
    EXPECT_EQ(display.statusColour, Colour::Green);
    EXPECT_EQ(display.button, "RESET");
    EXPECT_EQ(display.pulseCurrent, "611.2 A");
    EXPECT_EQ(display.pulseSeconds, "  0.1000 secs");
    EXPECT_EQ(display.pulseCycles, "    6.00 cycs");
    EXPECT_EQ(display.pulses.size(), 1u);
}

TEST_F(EngineTest, OverRangeWhileEndedIsNotedAndChangesNothingShown) {
    zeros(100);
    pulse(240, 1000);
    zeros(100);
    engine.TestAbort();
    const auto ends = [this] { return std::count(texts().begin(), texts().end(), "Test End "); };
    ASSERT_EQ(ends(), 1);
    pulse(1, 2001);
    zeros(2400);
    EXPECT_EQ(r().endReason, EndReason::OverRange);
    EXPECT_EQ(ends(), 1);
    EXPECT_EQ(display.button, "RESET");
    EXPECT_EQ(display.panel, "Test Over");
    EXPECT_EQ(display.pulseCurrent, "611.2 A");
    EXPECT_EQ(display.pulses.size(), 1u);
    engine.ResetTest();
    EXPECT_EQ(r().endReason, EndReason::None);
    EXPECT_EQ(display.status[1], "Armed - Initiate test current");
}

TEST_F(EngineTest, ZeroLimitsNeverTimeOut) {
    setup.MaxOnTime = 0.0;
    setup.MaxOffTime = 0.0;
    zeros(10);
    pulse(24000, 1000); // 10 s on
    zeros(48000);       // 20 s off
    EXPECT_TRUE(r().running());
    EXPECT_EQ(display.status[1], "Test in progress");
}

TEST_F(EngineTest, MaxOnTimeEndsALongPulse) {
    setup.MaxOnTime = 1.0;
    zeros(10);
    pulse(4800, 1000);
    EXPECT_FALSE(r().running());
    EXPECT_EQ(r().endReason, EndReason::Timeout);
    ASSERT_EQ(display.pulses.size(), 1u);
    EXPECT_TRUE(display.pulses[0].cutShort);
    // Cut at the end of the tick that passed 1 s, without the off-delay correction and over
    // the counted samples alone: sqrt(2880 / 2876) x 1000 counts x 0.6125 A.
    EXPECT_EQ(r().onSamples, 2876u);
    EXPECT_EQ(display.pulseCurrent, "612.9 A");
    EXPECT_EQ(display.pulseSeconds, "  1.1983 secs");
}

TEST_F(EngineTest, EachTimeLimitIsSwitchedOffByItsOwnValue) {
    setup.MaxOnTime = 0.0;
    setup.MaxOffTime = 1.0;
    zeros(10);
    pulse(4800, 1000); // 2 s on: no on limit
    ASSERT_TRUE(r().running());
    zeros(2400 + 480);
    EXPECT_EQ(r().endReason, EndReason::Timeout);
    EXPECT_EQ(display.pulses.size(), 1u);
    EXPECT_FALSE(display.pulses[0].cutShort);

    setup.MaxOnTime = 1.0;
    setup.MaxOffTime = 0.0;
    engine.ResetTest();
    zeros(10);
    pulse(240, 1000);
    zeros(12000); // 5 s off: no off limit
    EXPECT_TRUE(r().running());
    EXPECT_EQ(r().endReason, EndReason::None);
}

TEST_F(EngineTest, CountersStayDefinedPastThirtyTwoBits) {
    // Ten days of running: the sample count passes 2^31 in the middle of the pulse.
    engine.presetCounters({INT32_MAX - 301, 0, 0});
    zeros(100);
    pulse(240, 1000);
    zeros(100);
    ASSERT_EQ(display.pulses.size(), 1u);
    EXPECT_EQ(display.pulses[0].onSamples, 240u);
    EXPECT_DOUBLE_EQ(display.pulses[0].startSeconds, (INT32_MAX - 201.0) / 2400);
    zeros(1); // the panel shows the samples before this tick
    EXPECT_EQ(display.status[0], "894784.9108");

    // Weeks on or off without a limit: the pulse and off counts stop at their largest value.
    setup.MaxOnTime = 0;
    setup.MaxOffTime = 0;
    preset(&EngineCounters::offSamples, UINT32_MAX - 100);
    zeros(480);
    EXPECT_EQ(r().offSamples, UINT32_MAX);
    EXPECT_EQ(display.timeBar, 100);
    pulse(10, 1000);
    preset(&EngineCounters::onSamples, UINT32_MAX - 100);
    pulse(480, 1000);
    EXPECT_EQ(r().onSamples, UINT32_MAX);
    EXPECT_EQ(display.pulseSeconds, "1789569.7496 secs"); // the period is a 32-bit float
    zeros(100);
    EXPECT_EQ(display.pulses.back().onSamples, UINT32_MAX - 10);
}

// The time bar measures the pulse against MaxOn while the current is on, and the pause
// against MaxOff while it is off.
TEST_F(EngineTest, TheTimeBarMeasuresEachStateAgainstItsOwnLimit) {
    setup.MaxOnTime = 2.0;
    setup.MaxOffTime = 8.0;
    zeros(100);
    pulse(1200, 1000); // 0.5 s on
    engine.ProcessTick();
    EXPECT_NEAR(display.timeBar, 25, 1); // 0.5 s of 2 s
    zeros(2400 + 20);                    // 1 s off, once the pulse has ended
    engine.ProcessTick();
    EXPECT_NEAR(display.timeBar, 12, 1); // 1 s of 8 s
}

// A wait inside a tick handles window messages, among them the next tick's.
TEST_F(EngineTest, ReentrantTickIsRefused) {
    com.duringGetSample = [this] { engine.ProcessTick(); };
    feed({0});
    EXPECT_EQ(std::count(texts().begin(), texts().end(), "*Update Error "), 1);
    feed({0}); // the tick after is taken
    EXPECT_EQ(std::count(texts().begin(), texts().end(), "*Update Error "), 1);
}

TEST_F(EngineTest, ArmedStatusLiveAndDemo) {
    com.valid = true;
    engine.ShowStatus();
    EXPECT_EQ(display.status[1], "Armed - Initiate test current");
    EXPECT_EQ(display.button, "READY");
    EXPECT_EQ(r().runButton, RunButton::Ready);
    EXPECT_EQ(display.status[2], "COM4 on SN12345");
    engine.useLink(demo);
    wave.FileName = "QARN3Pulse.owf";
    engine.ShowStatus();
    EXPECT_EQ(display.status[1], "Press RUN to start DEMO");
    EXPECT_EQ(display.button, "RUN");
    EXPECT_EQ(r().runButton, RunButton::Run);
    EXPECT_EQ(display.status[2], "QARN3Pulse.owf");
    cal.CalError = true;
    engine.ShowStatus();
    EXPECT_EQ(display.status[1], "CALIBRATION ERROR");
    EXPECT_EQ(display.statusColour, Colour::Red);
    EXPECT_EQ(r().runButton, RunButton::Reset);
}

// The status, the range and the stream are the link's the engine uses now.
TEST_F(EngineTest, TheLinkInUseReportsItsPortAndTakesTheRange) {
    QueueLink other;
    engine.useLink(other);
    setup.SourceName = "/dev/ttyUSB0";
    other.valid = false;
    engine.ShowStatus();
    EXPECT_EQ(display.status[2], "Error on /dev/ttyUSB0");
    EXPECT_EQ(r().runButton, RunButton::Reset);
    other.valid = true;
    engine.ShowStatus();
    EXPECT_EQ(display.status[2], "/dev/ttyUSB0 on SN12345");
    com.ranges = 0;
    engine.SetRange();
    EXPECT_EQ(other.lastRange, 4);
    EXPECT_EQ(com.ranges, 0);
}

TEST_F(EngineTest, DemoModeSendsNoRangeAndPlaysTheBuffer) {
    engine.useLink(demo);
    com.ranges = 0;
    engine.SetRange();
    engine.Start();
    EXPECT_EQ(com.ranges, 0);
    EXPECT_EQ(com.starts, 0);
    EXPECT_EQ(display.selected, 3);
    demo.testEnded();
    std::vector<std::int16_t> file(60000, 0);
    for (int i = 1000; i < 1240; ++i)
        file[static_cast<std::size_t>(i)] = 1000;
    demo.load(file.data(), 60000);
    engine.ResetTest();
    engine.ProcessTick(); // idle noise, before RUN
    EXPECT_EQ(demo.played(), 0);
    EXPECT_EQ(r().samplesTaken, 480);
    engine.Start();
    EXPECT_TRUE(demo.playing());
    for (int i = 0; i < 5; ++i)
        engine.ProcessTick();
    EXPECT_EQ(demo.played(), 2400);
    EXPECT_EQ(r().onSamples, 240u);
    // Shown at the start of a tick: the samples of the five ticks before it.
    EXPECT_EQ(display.status[0], " 1.0000");
    // The test's end stops the file; the idle feed never ends the test.
    engine.TestAbort();
    EXPECT_FALSE(demo.playing());
    engine.ProcessTick();
    EXPECT_EQ(demo.played(), 2400);
}

TEST_F(EngineTest, AShorterDemonstrationPlaysNothingOfTheOneBefore) {
    engine.useLink(demo);
    std::vector<std::int16_t> longer(60000, 0);
    std::fill(longer.begin() + 10000, longer.begin() + 10240, std::int16_t{1000});
    demo.load(longer.data(), 60000);
    const std::vector<std::int16_t> shorter(5000, 0);
    demo.load(shorter.data(), 5000);
    engine.ResetTest();
    engine.Start();
    for (int i = 0; i < 125; ++i) // the 60000 samples of a demonstration
        engine.ProcessTick();
    EXPECT_EQ(demo.played(), 60000);
    EXPECT_TRUE(display.pulses.empty());
    EXPECT_FALSE(r().running());
}

TEST_F(EngineTest, ResetWhileArmedKeepsTheArmedDisplay) {
    const auto before = std::count_if(log.lines().begin(), log.lines().end(), [](auto& l) {
        return l.find("Test Arm ") != std::string::npos;
    });
    engine.TestArm();
    const auto after = std::count_if(log.lines().begin(), log.lines().end(), [](auto& l) {
        return l.find("Test Arm ") != std::string::npos;
    });
    EXPECT_EQ(before, after);
    EXPECT_EQ(display.panel, "ARMED");
    EXPECT_EQ(display.panelColour, Colour::Lime);
}

TEST(Ranges, LabelsForTheDefaultShunt) {
    const RangeTables t = buildRangeTables(1000, 100);
    EXPECT_THAT(t.RangeLabel, ::testing::ElementsAre("50.00 A", "100.00 A", "250.00 A", "500.0 A",
                                                     "1000.0 A", "2500.0 A", "5000 A", "10000 A"));
    EXPECT_EQ(buildRangeTables(1000, 1000).RangeFormat[0], "%5.3f A");
}

} // namespace
