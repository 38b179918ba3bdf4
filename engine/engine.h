#pragma once

#include "engine/display.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qarn3 {

class AnalyzerLink;
class DebugLog;
struct TCalRecord;
struct TSetupRecord;
struct TWaveformData;

// What the engine works with, handed in by the program: the records, the link it takes its
// samples from (switched by useLink), the display and the debug log.
struct EngineContext {
    TSetupRecord& setup;
    TCalRecord& cal;
    TWaveformData& wave;
    AnalyzerLink& link;
    EngineDisplay& display;
    DebugLog& log;
    char decimalSeparator = '.';
};

constexpr int kOverRange = 2000;

// Where a test is (the sequencer's state): waiting for current; measuring a pulse; between
// pulses, re-armed (the next pulse starts a new measurement); over.
enum class TestState { Ended, Armed, Running, Rearmed };

// Why a test ended.
enum class EndReason : std::uint8_t { None = 0, Timeout = 1, Stopped = 2, OverRange = 3 };

// What the RUN/STOP/RESET button offers: RUN starts a demonstration, READY waits for current
// on a live analyzer (pressing it does nothing), STOP ends a running test, RESET arms again.
enum class RunButton { Run, Ready, Stop, Reset };

// The engine's readings and state as the window and the program read them.
struct EngineReadings {
    TestState state = TestState::Ended;
    EndReason endReason = EndReason::None;
    RunButton runButton = RunButton::Run;
    bool currentOn = false;  // the detector sees current
    bool timedOut = false;   // ended by a time limit
    bool underRange = false; // the last pulse was below 30 % of full scale (ranges 2..8)
    float liveAmps = 0;
    float pulseAmps = 0;            // RMS current of the last pulse
    std::uint32_t onSamples = 0;    // length of the last pulse (stops at its largest value)
    std::uint32_t offSamples = 0;   // samples off since the last pulse (likewise)
    double peakRms20Amps = 0;       // largest 20-sample RMS since the reset
    std::int64_t samplesTaken = 0;  // since the reset; 64 bits, for weeks of running
    std::int64_t triggerSample = 0; // the sample (from 0 at the reset) of the last trigger
    std::uint32_t resets = 0;       // ResetTest calls so far: a new count is a new test
    // The main window's trace shows the current pulse (the engine clears this as a pulse
    // goes on and when it ends; the program sets it once it has drawn the trace).
    bool plotShown = false;
    double fullScaleAmps = 0; // of the selected range
    std::string currentFormat = "%5.1f A";
    std::string secondsFormat = "%8.4f secs";
    std::string cyclesFormat = "%8.2f cycs";

    bool armed() const { return state == TestState::Armed || state == TestState::Rearmed; }
    bool running() const { return state == TestState::Running || state == TestState::Rearmed; }
};

// The listeners of the pulse-end event, called in the order they connected, on the thread
// that runs the engine, inside its tick. A listener keeps what it needs of the event.
class PulseEvents {
public:
    using Listener = std::function<void(const PulseEnd&)>;
    // Returns a handle for disconnect.
    int connect(Listener listener);
    void disconnect(int handle);
    void send(const PulseEnd& pulse) const;

private:
    std::vector<std::pair<int, Listener>> m_listeners;
    int m_next = 1;
};

// Counters a test of long runs presets near their limits (weeks of running are not played).
struct EngineCounters {
    std::int64_t samplesTaken = 0;
    std::uint32_t onSamples = 0;
    std::uint32_t offSamples = 0;
};

// The measurement engine: test states, the per-sample pipeline and the readings. It takes
// samples from one link (an analyzer or a demonstration playing a file); its state is its own,
// read through readings() and the pulse-end event.
class TQARN3Update {
public:
    explicit TQARN3Update(EngineContext context);

    // The link samples come from from now on (a demonstration starts or ends, or the source
    // changes).
    void useLink(AnalyzerLink& link) { m_link = &link; }

    // The range list's formats (the shunt's) and the full scale until the next SetRange.
    void useRanges(const std::array<std::string, 8>& formats, double fullScaleAmps);

    // Test sequencer.
    void ResetTest();
    void TestArm();
    void TestAbort();
    void ShowStatus();

    // The 200 ms tick and its per-sample pipeline.
    void ProcessTick();

    // Main-window routines that prepare the engine and the link.
    void SetRange();
    void Start();

    const EngineReadings& readings() const { return m_r; }
    // The program has drawn the trace (true), or wants it drawn again (false).
    void setPlotShown(bool shown) { m_r.plotShown = shown; }
    PulseEvents& pulseEnded() { return m_pulseEnded; }
    // Samples the link lost and pairs it rejected since ResetTest.
    std::uint64_t dataErrorsThisTest() const;
    void presetCounters(const EngineCounters& counters);

private:
    void TestStart();
    void TestStop();
    void TestEnd();
    void TestTimeout();
    void CheckTimeouts();
    void UpdateLiveCurrent();
    void TrackPeakRms();
    void DetectOnOff();
    void PushRing();
    void AccumulatePulse();
    void ReplayPreTrigger();

    void setState(TestState state) { m_r.state = state; }
    void showRunButton(RunButton button, Colour font);
    std::string fmt(const std::string& format, double value) const;
    void runSampleLoop(AnalyzerLink& link);
    // The per-sample steps, inlined into the sample loop.
    void processSample();
    void liveCurrentStep();
    void peakRmsStep();
    void detectStep();
    void pushRingStep();
    void accumulateStep();
    void showPulseReadings();
    void reportPulse(bool cutShort);

    // Calibration and setup values the detector uses, taken once per tick: they only change
    // between ticks, and locals of the engine stay in registers in the sample loop.
    struct DetectorSettings {
        std::int32_t onThreshold = 0, offThresh = 0, onDelay = 0, offDelay = 0, avgSamples = 0;
    };
    void takeSettings();

    EngineContext m_ctx;
    AnalyzerLink* m_link;
    EngineReadings m_r;
    PulseEvents m_pulseEnded;
    std::array<std::string, 8> m_rangeFormats{"%5.3f A", "%5.3f A", "%5.3f A", "%5.3f A",
                                              "%5.3f A", "%5.3f A", "%5.3f A", "%5.3f A"};
    DetectorSettings m_settings;

    // The pipeline's own state.
    std::int16_t RawSample = 0;
    std::int16_t Sample = 0;
    float LiveSumSq = 0;
    std::int32_t LiveCount = 0;
    std::int32_t Rms20Count = 0;
    std::int32_t Rms20SumSq = 0;
    double Rms20Amps = 0;
    std::int32_t OffCounter = 0;
    std::int32_t OnCounter = 0;
    std::int32_t PeakCounts = 0;
    std::int32_t SamplesThisTick = 0;
    std::int32_t Threshold = 0;
    float PulseSumSq = 0;
    bool TickIdle = true;
    std::int32_t RingSize = 0;
    std::array<std::int16_t, 128> Ring{};
    std::int32_t RingPos = 0;
    std::int32_t NoDataTicks = 0;

    std::uint64_t m_dataErrorsAtReset = 0;
    bool m_settingRange = false;     // a SetRange is telling the analyzer its range
    bool m_rangeChosenAgain = false; // another range was chosen meanwhile
};

} // namespace qarn3
