#pragma once

#include "engine/display.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace qarn3 {

class AnalyzerLink;
class DebugLog;
struct TCalRecord;
struct TSetupRecord;
struct TWaveformData;

// Program-wide values the engine shares with the main window.
struct SharedState {
    bool DemoMode = false;
    bool DemoPlaying = false;
    bool PlotShown = false;
    double FullScaleAmps = 0;
    // The serial source this run uses when it is not the setup's SourceName (empty: it is):
    // "COM" while a port the operator named does not answer, then the port the search found.
    std::string SourceInUse;
    std::array<std::string, 8> RangeFormat{"%5.3f A", "%5.3f A", "%5.3f A", "%5.3f A",
                                           "%5.3f A", "%5.3f A", "%5.3f A", "%5.3f A"};
};

// What the engine works with, handed in by the program.
struct EngineContext {
    TSetupRecord& setup;
    TCalRecord& cal;
    TWaveformData& wave;
    SharedState& shared;
    AnalyzerLink& usbLink;
    AnalyzerLink& comLink;
    EngineDisplay& display;
    DebugLog& log;
    int timerIntervalMs = 200;
    char decimalSeparator = '.';
};

constexpr int kDemoLength = 60000;
constexpr int kDemoBufferSlots = 145002;
constexpr int kOverRange = 2000;

// The measurement engine: test states, the per-sample pipeline and the readings.
class TQARN3Update {
public:
    explicit TQARN3Update(EngineContext context);
    // Takes over a demonstration buffer of kDemoBufferSlots slots that an earlier engine
    // left (whose slots from 60000 on are zero), so that a run of analyses allocates it once.
    TQARN3Update(EngineContext context, std::unique_ptr<std::int16_t[]> demoBuffer);

    // Test sequencer.
    void ResetTest();
    void TestArm();
    void TestStart();
    void TestStop();
    void TestEnd();
    void TestTimeout();
    void TestAbort();
    void CheckTimeouts();
    void ShowStatus();

    // The 200 ms tick and its per-sample pipeline.
    void ProcessTick();
    void UpdateLiveCurrent();
    void TrackPeakRms();
    void DetectOnOff();
    void PushRing();
    void AccumulatePulse();
    void ReplayPreTrigger();

    // Main-window routines that prepare the engine and the link.
    void SetRange();
    void Start();

    // Demonstration samples from the store, at most 60000 from slot 0; the slots after them
    // are cleared, so nothing of an earlier, longer file is played.
    void loadDemo(const std::int16_t* samples, int count);

    std::int16_t RawSample = 0;
    float LiveAmps = 0;
    float LiveSumSq = 0;
    std::int16_t Sample = 0;
    bool CurrentOn = false;
    std::int32_t Rms20Count = 0;
    std::int32_t Rms20SumSq = 0;
    double Rms20Amps = 0;
    std::int32_t OffCounter = 0;
    std::int32_t OnCounter = 0;
    std::int32_t PeakCounts = 0;
    std::int32_t SamplesThisTick = 0;
    std::int32_t LiveCount = 0;
    std::int32_t Threshold = 0;
    bool TimedOut = false;
    // 64 bits, so that weeks of running never overflow it (2400 samples a second fill 31 bits
    // in ten days).
    std::int64_t SamplesTaken = 0;
    float PulseSumSq = 0;
    bool UnderRange = false;
    bool TickIdle = true;
    bool Armed = false;
    std::string CurrentFormat = "%5.1f A";
    std::string SecondsFormat = "%8.4f secs";
    std::string CyclesFormat = "%8.2f cycs";
    std::unique_ptr<std::int16_t[]> DemoBuffer;
    std::int32_t DemoIndex = 0;
    double PeakRms20Amps = 0;
    // Both stop at their largest value instead of wrapping round to zero.
    std::uint32_t OffSamples = 0;
    std::uint32_t OnSamples = 0;
    std::int32_t RingSize = 0;
    std::array<std::int16_t, 128> Ring{};
    std::int32_t RingPos = 0;
    std::int32_t NoDataTicks = 0;
    bool Running = false;
    std::uint8_t EndReason = 0;
    float PulseAmps = 0;

    // The sample index (counting from 0 at reset) of the last trigger.
    std::int64_t TriggerSample = 0;

    // Samples the selected link lost and pairs it rejected since ResetTest.
    std::uint64_t dataErrorsThisTest() const;

private:
    AnalyzerLink& selectedLink() const;
    const std::string& comSourceName() const;
    bool usbSource() const;
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
    int nextNoise();

    // Calibration and setup values the detector uses, taken once per tick: they only change
    // between ticks, and locals of the engine stay in registers in the sample loop.
    struct DetectorSettings {
        std::int32_t onThreshold = 0, offThresh = 0, onDelay = 0, offDelay = 0, avgSamples = 0;
    };
    void takeSettings();

    EngineContext m_ctx;
    DetectorSettings m_settings;
    std::uint32_t m_noiseState = 0x2545F491u;
    std::uint64_t m_dataErrorsAtReset = 0;
    bool m_settingRange = false;     // a SetRange is telling the analyzer its range
    bool m_rangeChosenAgain = false; // another range was chosen meanwhile
};

} // namespace qarn3
