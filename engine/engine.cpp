#include "engine/engine.h"

#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "diag/debuglog.h"
#include "engine/ranges.h"
#include "link/analyzerlink.h"
#include "platform/textformat.h"
#include "waveform/waveform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qarn3 {

namespace {
constexpr std::uint32_t kCounterMax = UINT32_MAX;

// Status texts a running test shows at every tick, made once: a text of 16 characters or more
// is a heap allocation each time it is made.
const std::string kTestInProgress = "Test in progress";
const std::string kUnderrangeDetected = "Underrange Detected";

// The integer nearest to x, ties to even.
long nearest(double x) {
    if (!std::isfinite(x)) return 0;
    return std::lrint(std::clamp(x, -2.0e9, 2.0e9));
}
int percent(double x) {
    return static_cast<int>(std::clamp(nearest(x), 0L, 100L));
}

// sum + square rounded once to a 32-bit float. A square below 2^24 is exact as a float, so a
// float addition rounds the exact sum once; larger ones take the double path.
inline float addSquare(float sum, std::int32_t sample) {
    const std::int32_t sq = sample * sample;
    if (sq < (1 << 24)) return sum + static_cast<float>(sq);
    return static_cast<float>(static_cast<double>(sum) + sq);
}
} // namespace

TQARN3Update::TQARN3Update(EngineContext context)
    : DemoBuffer(new std::int16_t[kDemoBufferSlots]()), m_ctx(context) {}

TQARN3Update::TQARN3Update(EngineContext context, std::unique_ptr<std::int16_t[]> demoBuffer)
    : DemoBuffer(std::move(demoBuffer)), m_ctx(context) {}

void TQARN3Update::loadDemo(const std::int16_t* samples, int count) {
    count = std::clamp(count, 0, kDemoLength);
    std::copy(samples, samples + count, DemoBuffer.get());
    // Only the first 60000 slots are ever played, and only these are ever loaded: the slots
    // beyond stay as they were, zero.
    std::fill(DemoBuffer.get() + count, DemoBuffer.get() + kDemoLength, std::int16_t{0});
}

bool TQARN3Update::usbSource() const {
    return m_ctx.setup.SourceKind == kSourceUsb;
}

const std::string& TQARN3Update::comSourceName() const {
    return m_ctx.shared.SourceInUse.empty() ? m_ctx.setup.SourceName : m_ctx.shared.SourceInUse;
}

AnalyzerLink& TQARN3Update::selectedLink() const {
    return usbSource() ? m_ctx.usbLink : m_ctx.comLink;
}

std::string TQARN3Update::fmt(const std::string& format, double value) const {
    return formatNumber(format, value, m_ctx.decimalSeparator);
}

int TQARN3Update::nextNoise() {
    m_noiseState ^= m_noiseState << 13;
    m_noiseState ^= m_noiseState >> 17;
    m_noiseState ^= m_noiseState << 5;
    return 2 + static_cast<int>(m_noiseState % 5);
}

void TQARN3Update::ResetTest() {
    OnSamples = 0;
    OffSamples = 0;
    PulseAmps = 0;
    const double period = m_ctx.wave.SamplePeriod;
    m_ctx.display.setPulseCurrent(fmt(CurrentFormat, 0));
    m_ctx.display.setPulseSeconds(fmt(SecondsFormat, OnSamples * period));
    m_ctx.display.setPulseCycles(fmt(CyclesFormat, OnSamples * 60 * period));
    m_ctx.wave.clearSamples();
    RingSize = std::clamp(m_ctx.cal.OnDelay + 20, 0, static_cast<int>(Ring.size()) - 1);
    Ring.fill(0);
    RingPos = 0;
    LiveSumSq = 0;
    LiveAmps = 0;
    Rms20Count = 0;
    Rms20SumSq = 0;
    Rms20Amps = 0;
    PeakRms20Amps = 0;
    OnCounter = 0;
    NoDataTicks = 0;
    PulseSumSq = 0;
    SamplesTaken = 0;
    DemoIndex = 0;
    CurrentOn = false;
    TimedOut = false;
    Running = false;
    UnderRange = false;
    EndReason = 0;
    TickIdle = true;
    m_ctx.shared.DemoPlaying = false;
    m_dataErrorsAtReset = m_ctx.shared.DemoMode ? 0 : selectedLink().dataErrors();
    m_ctx.display.setStatusPanel(3, "");
    TestArm();
    ShowStatus();
}

std::uint64_t TQARN3Update::dataErrorsThisTest() const {
    if (m_ctx.shared.DemoMode) return 0;
    const std::uint64_t now = selectedLink().dataErrors();
    return now >= m_dataErrorsAtReset ? now - m_dataErrorsAtReset : now;
}

void TQARN3Update::TestArm() {
    if (Armed) return;
    m_ctx.log.AddDebugLine("Test Arm ");
    Armed = true;
    m_ctx.display.setStatusColour(Colour::ButtonFace);
    m_ctx.display.setArmedRunningPanel("ARMED", Colour::Lime);
    m_ctx.display.setPulseCurrentColour(Colour::ButtonFace);
    m_ctx.display.setAnalyzeEnabled(false);
    TimedOut = false;
    ShowStatus();
}

void TQARN3Update::TestStart() {
    m_ctx.log.AddDebugLine("Test Start ");
    Running = true;
    Armed = false;
    OnSamples = 0;
    PulseAmps = 0;
    LiveSumSq = 0;
    LiveAmps = 0;
    PeakCounts = 0;
    TriggerSample = SamplesTaken - 1;
    // Clears the slots the last capture (or a loaded file) wrote, not all 145001.
    m_ctx.wave.clearSamples();
    m_ctx.wave.Position = 0;
    ReplayPreTrigger();
    m_ctx.display.setRunButton("STOP", Colour::Red);
    m_ctx.display.setArmedRunningPanel("Running", Colour::Yellow);
}

void TQARN3Update::TestStop() {
    m_ctx.log.AddDebugLine("Test Stop ");
    TestArm();
    Ring.fill(0);
    RingPos = 0;
}

void TQARN3Update::TestEnd() {
    if (!Armed && !Running) return;
    m_ctx.log.AddDebugLine("Test End ");
    Armed = false;
    Running = false;
    m_ctx.shared.DemoPlaying = false;
    m_ctx.display.setArmedRunningPanel("Test Over", Colour::ButtonFace);
    m_ctx.display.setRunButton("RESET", Colour::Green);
    m_ctx.display.setAnalyzeEnabled(true);
    ShowStatus();
}

void TQARN3Update::TestTimeout() {
    m_ctx.log.AddDebugLine("Test Timeout ");
    TimedOut = true;
    EndReason = 1;
    TestEnd();
}

void TQARN3Update::TestAbort() {
    m_ctx.log.AddDebugLine("Test Abort ");
    CurrentOn = false;
    AccumulatePulse();
    EndReason = 2;
    TestEnd();
}

void TQARN3Update::CheckTimeouts() {
    const double p = m_ctx.wave.SamplePeriod;
    if (p <= 0) return;
    if (m_ctx.setup.MaxOnTime > 0.01 && CurrentOn && OnSamples > m_ctx.setup.MaxOnTime / p) {
        PulseAmps = static_cast<float>(std::sqrt(PulseSumSq / static_cast<double>(OnSamples)) *
                                       m_ctx.wave.AmpsPerCount);
        m_ctx.display.setPulseCurrent(fmt(CurrentFormat, PulseAmps));
        reportPulse(true);
        TestTimeout();
    } else if (m_ctx.setup.MaxOffTime > 0.01 && !CurrentOn &&
               OffSamples > m_ctx.setup.MaxOffTime / p) {
        TestTimeout();
    }
}

void TQARN3Update::ShowStatus() {
    Colour c = Colour::ButtonFace;
    std::string panel1;
    if (EndReason == 3) {
        panel1 = "Overrange Detected";
        c = Colour::Red;
    } else if (m_ctx.cal.CalError) {
        panel1 = "CALIBRATION ERROR";
        m_ctx.display.setRunButton("RESET", Colour::Green);
        c = Colour::Red;
    } else if (EndReason == 2) {
        panel1 = "Test Stopped";
        c = Colour::Green;
    } else if (EndReason == 1) {
        panel1 = "Test Timeout";
        c = Colour::Green;
    } else if (Running) {
        panel1 = "Running";
        m_ctx.display.setArmedRunningPanel("Running", Colour::Yellow);
        m_ctx.display.setRunButton("STOP", Colour::Red);
    } else if (Armed && m_ctx.shared.DemoMode) {
        panel1 = "Press RUN to start DEMO";
        m_ctx.display.setRunButton("RUN", Colour::Green);
    } else if (Armed) {
        panel1 = "Armed - Initiate test current";
        m_ctx.display.setRunButton("READY", Colour::Green);
    } else if (UnderRange) {
        panel1 = "Underrange detected";
        c = Colour::Yellow;
    } else {
        panel1 = "Test Over";
    }
    m_ctx.display.setStatusPanel(1, panel1);

    const std::string serNum = trimText(m_ctx.cal.SerNum);
    if (m_ctx.shared.DemoMode) {
        m_ctx.display.setStatusPanel(2, m_ctx.wave.FileName);
    } else if (usbSource()) {
        if (m_ctx.usbLink.LinkValid()) {
            m_ctx.display.setStatusPanel(2, serNum + " on USB port");
        } else {
            m_ctx.display.setStatusPanel(2, "Error on USB port");
            m_ctx.display.setRunButton("RESET", Colour::Green);
            c = Colour::Red;
        }
    } else if (m_ctx.comLink.LinkValid()) {
        m_ctx.display.setStatusPanel(2, comSourceName() + " on " + serNum);
    } else {
        m_ctx.display.setStatusPanel(2, "Error on " + comSourceName());
        m_ctx.display.setRunButton("RESET", Colour::Green);
        c = Colour::Red;
    }
    m_ctx.display.setStatusColour(c);
}

void TQARN3Update::ProcessTick() {
    if (!TickIdle) {
        m_ctx.log.AddDebugLine("*Update Error ");
        return;
    }
    TickIdle = false;
    m_ctx.display.setRangeListEnabled(Armed);
    AnalyzerLink& link = selectedLink();
    const double period = m_ctx.wave.SamplePeriod;
    const double rate = m_ctx.wave.SampleRate;

    if (m_ctx.shared.DemoMode || link.Sampling()) {
        m_ctx.display.setStatusPanel(
            0, fmt("%7.4f", rate > 0 ? static_cast<double>(SamplesTaken) / rate : 0));
        m_ctx.display.setCurrentBar(m_ctx.shared.FullScaleAmps > 0
                                        ? percent(LiveAmps * 100.0 / m_ctx.shared.FullScaleAmps)
                                        : 0);
    }
    const Colour barColour = TimedOut ? Colour::Red : Colour::Blue;
    if (Running && CurrentOn) {
        m_ctx.display.setTimeBar(
            percent(OnSamples * 100.0 * period / (m_ctx.setup.MaxOnTime + 0.01)), barColour);
    } else if (Running) {
        m_ctx.display.setTimeBar(
            percent(OffSamples * 100.0 * period / (m_ctx.setup.MaxOffTime + 0.01)), barColour);
    } else if (Armed) {
        m_ctx.display.setTimeBar(0, barColour);
    } else {
        m_ctx.display.setTimeBarColour(barColour);
    }
    // A lost link has no live current: its last value would read as a steady one.
    if (!m_ctx.shared.DemoMode && !link.LinkValid())
        m_ctx.display.setLiveCurrent("---", Colour::ButtonFace);
    else
        m_ctx.display.setLiveCurrent(fmt(CurrentFormat, LiveAmps), Colour::ButtonFace);
    if (Running) {
        if (UnderRange) {
            m_ctx.display.setStatusColour(Colour::Yellow);
            m_ctx.display.setPulseCurrentColour(Colour::Yellow);
            m_ctx.display.setStatusPanel(1, kUnderrangeDetected);
        } else {
            m_ctx.display.setStatusColour(Colour::ButtonFace);
            m_ctx.display.setPulseCurrentColour(Colour::ButtonFace);
            m_ctx.display.setStatusPanel(1, kTestInProgress);
        }
    }

    if (m_ctx.shared.DemoMode) {
        SamplesThisTick = static_cast<std::int32_t>(nearest(m_ctx.timerIntervalMs * rate / 1000.0));
    } else {
        SamplesThisTick = link.LinkValid() && link.Sampling() ? link.samplesWaiting() : 0;
        if (link.Sampling()) {
            if (SamplesThisTick <= 0) {
                m_ctx.log.AddDebugLine("RxDataCount <= 0 ");
                ++NoDataTicks;
                if (NoDataTicks > 3) {
                    const bool testActive = Armed || Running;
                    link.clearLinkValid();
                    link.stopSampling();
                    m_ctx.display.setLiveCurrent("---", Colour::ButtonFace);
                    TestEnd();
                    // A test that had already ended refreshes nothing in TestEnd; the lost
                    // link must still show, or the status would go on naming a live port.
                    if (!testActive) ShowStatus();
                }
            } else {
                NoDataTicks = 0;
            }
        } else {
            NoDataTicks = 0;
        }
    }

    runSampleLoop(link);

    showPulseReadings();
    if (EndReason == 0) CheckTimeouts();
    TickIdle = true;
}

// The per-sample pipeline over this tick's samples. The source is chosen once: the mode and
// the link's sampling state do not change inside a tick's loop.
void TQARN3Update::runSampleLoop(AnalyzerLink& link) {
    takeSettings();
    if (m_ctx.shared.DemoMode) {
        do {
            if (m_ctx.shared.DemoPlaying && DemoIndex < kDemoLength)
                RawSample = DemoBuffer[static_cast<std::size_t>(DemoIndex++)];
            else
                RawSample = static_cast<std::int16_t>(nextNoise());
            ++SamplesTaken;
            --SamplesThisTick;
            processSample();
        } while (SamplesThisTick >= 1);
    } else if (link.Sampling()) {
        do {
            RawSample = static_cast<std::int16_t>(link.GetSample());
            ++SamplesTaken;
            --SamplesThisTick;
            link.sampleTaken();
            processSample();
        } while (SamplesThisTick >= 1);
    } else {
        RawSample = 0;
        SamplesThisTick = 0;
        processSample();
    }
}

void TQARN3Update::takeSettings() {
    m_settings.onThreshold = m_ctx.setup.TestMode == 1 ? m_ctx.cal.MPUThresh : m_ctx.cal.OnThresh;
    m_settings.offThresh = m_ctx.cal.OffThresh;
    m_settings.onDelay = m_ctx.cal.OnDelay;
    m_settings.offDelay = m_ctx.cal.OffDelay;
    m_settings.avgSamples = m_ctx.cal.AvgSamples;
}

inline void TQARN3Update::processSample() {
    Sample = RawSample;
    liveCurrentStep();
    peakRmsStep();
    detectStep();
    if (Running) accumulateStep();
}

void TQARN3Update::showPulseReadings() {
    std::string current = fmt(CurrentFormat, PulseAmps);
    if (PeakRms20Amps * 1.2 < PulseAmps) current += "?";
    m_ctx.display.setPulseCurrent(current);
    const double period = m_ctx.wave.SamplePeriod;
    m_ctx.display.setPulseSeconds(fmt(SecondsFormat, OnSamples * period));
    m_ctx.display.setPulseCycles(fmt(CyclesFormat, OnSamples * period * 60));
}

void TQARN3Update::UpdateLiveCurrent() {
    takeSettings();
    liveCurrentStep();
}

inline void TQARN3Update::liveCurrentStep() {
    const std::int32_t n = m_settings.avgSamples;
    if (LiveCount < n) {
        ++LiveCount;
        if (std::abs(Sample) > kOverRange) {
            EndReason = 3;
            TestEnd();
        } else {
            LiveSumSq = addSquare(LiveSumSq, Sample);
        }
    }
    if (LiveCount >= n && n > 0) {
        LiveAmps = static_cast<float>(m_ctx.wave.AmpsPerCount *
                                      std::sqrt(static_cast<double>(LiveSumSq) / LiveCount));
        LiveSumSq = 0;
        LiveCount = 0;
    }
}

void TQARN3Update::TrackPeakRms() {
    takeSettings();
    peakRmsStep();
}

inline void TQARN3Update::peakRmsStep() {
    if (!CurrentOn) return;
    ++Rms20Count;
    // A 32-bit block sum; out-of-range file samples wrap it rather than overflow.
    Rms20SumSq = static_cast<std::int32_t>(static_cast<std::uint32_t>(Rms20SumSq) +
                                           static_cast<std::uint32_t>(Sample * Sample));
    if (Rms20Count >= 20) {
        Rms20Amps =
            std::sqrt(static_cast<double>(Rms20SumSq) / Rms20Count) * m_ctx.wave.AmpsPerCount;
        if (Rms20Amps > PeakRms20Amps) PeakRms20Amps = Rms20Amps;
        Rms20Count = 0;
        Rms20SumSq = 0;
    }
}

void TQARN3Update::PushRing() {
    takeSettings();
    pushRingStep();
}

inline void TQARN3Update::pushRingStep() {
    Ring[static_cast<std::size_t>(RingPos)] = RawSample;
    RingPos = RingPos < RingSize ? RingPos + 1 : 0;
}

void TQARN3Update::DetectOnOff() {
    takeSettings();
    detectStep();
}

inline void TQARN3Update::detectStep() {
    const std::int32_t mag = std::abs(Sample);
    if (!CurrentOn) {
        Threshold = m_settings.onThreshold;
        PeakCounts = 0;
        OffCounter = m_settings.offDelay;
        pushRingStep();
        if (mag > Threshold) {
            if (OnCounter < m_settings.onDelay) ++OnCounter;
        } else if (OnCounter > 0) {
            --OnCounter;
        }
        if (OnCounter >= m_settings.onDelay) {
            CurrentOn = true;
            OnCounter = 0;
            if (Armed) TestStart();
        }
    } else {
        Threshold = m_settings.offThresh;
        if (mag > PeakCounts) PeakCounts = mag;
        if (PeakCounts / 8 > Threshold) Threshold = PeakCounts / 8;
        if (mag < Threshold) {
            --OffCounter;
        } else if (OffCounter < m_settings.offDelay) {
            OffCounter = m_settings.offDelay;
        }
        if (OffCounter <= 0) {
            CurrentOn = false;
            Ring.fill(0);
            RingPos = 0;
            OnCounter = 0;
            if (Running) TestStop();
            OffCounter = m_settings.offDelay;
        }
    }
}

void TQARN3Update::AccumulatePulse() {
    takeSettings();
    accumulateStep();
}

inline void TQARN3Update::accumulateStep() {
    if (CurrentOn) {
        PulseSumSq = addSquare(PulseSumSq, Sample);
        if (OnSamples < kCounterMax) ++OnSamples;
        m_ctx.shared.PlotShown = false;
        OffSamples = 0;
    } else if (PulseSumSq > 0) {
        const std::int32_t d = m_settings.offDelay - m_settings.onDelay;
        if (d >= 0 && static_cast<std::uint32_t>(d) < OnSamples)
            OnSamples -= static_cast<std::uint32_t>(d);
        if (OnSamples > 0) {
            PulseAmps =
                static_cast<float>(std::sqrt(PulseSumSq / (static_cast<double>(OnSamples) + 1)) *
                                   m_ctx.wave.AmpsPerCount);
            UnderRange =
                m_ctx.setup.RangeIndex >= 2 && 0.3 * m_ctx.shared.FullScaleAmps > PulseAmps;
        } else {
            PulseAmps = 0;
        }
        PulseSumSq = 0;
        m_ctx.shared.PlotShown = false;
        reportPulse(false);
    } else if (OffSamples < kCounterMax) {
        ++OffSamples;
    }
    m_ctx.wave.capture(Sample);
}

void TQARN3Update::ReplayPreTrigger() {
    m_ctx.wave.Position = 0;
    for (std::int32_t i = 1; i <= RingSize; ++i) {
        RingPos = RingPos < RingSize ? RingPos + 1 : 0;
        Sample = Ring[static_cast<std::size_t>(RingPos)];
        if (RingSize - m_ctx.cal.OnDelay < i && i < RingSize)
            PulseSumSq = addSquare(PulseSumSq, Sample);
        m_ctx.wave.capture(Ring[static_cast<std::size_t>(RingPos)]);
    }
    Sample = m_ctx.wave.Samples[static_cast<std::size_t>(std::max(m_ctx.wave.Position - 1, 0))];
    m_ctx.wave.Position = m_ctx.wave.Position > 0 ? m_ctx.wave.Position - 1 : 0;
}

void TQARN3Update::reportPulse(bool cutShort) {
    PulseResult r;
    const double rate = m_ctx.wave.SampleRate > 0 ? m_ctx.wave.SampleRate : 2400;
    const std::int64_t first = TriggerSample - (m_ctx.cal.OnDelay - 1);
    r.startSeconds = static_cast<double>(std::max<std::int64_t>(0, first)) / rate;
    r.cutShort = cutShort;
    r.pulseAmps = PulseAmps;
    r.onSamples = OnSamples;
    r.seconds = OnSamples * static_cast<double>(m_ctx.wave.SamplePeriod);
    r.cycles = r.seconds * 60;
    r.suspect = PeakRms20Amps * 1.2 < PulseAmps;
    r.underRange = UnderRange;
    // Where the pulse lies in the capture, for the viewer's cycle table: the trigger sample is
    // in slot RingSize - 1 and the pulse began OnDelay - 1 samples before it.
    TWaveformData& wave = m_ctx.wave;
    wave.PulseFirst = std::max(0, RingSize - m_ctx.cal.OnDelay);
    wave.PulseCount = static_cast<std::int32_t>(
        std::min<std::int64_t>(OnSamples, std::max(0, wave.Position - wave.PulseFirst)));
    r.dataErrors = dataErrorsThisTest();
    // Beside the reading, so that nobody takes a reading from a damaged stream for a clean one.
    if (r.dataErrors > 0)
        m_ctx.display.setStatusPanel(3, "Data errors during this test: " +
                                            std::to_string(r.dataErrors));
    m_ctx.display.pulseMeasured(r);
}

void TQARN3Update::SetRange() {
    m_ctx.log.AddDebugLine("SetRange ");
    // Telling the analyzer waits handling window messages, so another range may be chosen
    // meanwhile. That call only leaves its choice in the setup: the call already running sends
    // it after its own exchange, so that the analyzer, the scale and the list all end on the
    // newest range rather than on the one this call began with.
    if (m_settingRange) {
        m_rangeChosenAgain = true;
        m_ctx.log.AddDebugLine("End SetRange ");
        return;
    }
    m_settingRange = true;
    int r;
    do {
        m_rangeChosenAgain = false;
        SecondsFormat = "%8.4f secs";
        CyclesFormat = "%8.2f cycs";
        r = std::clamp<int>(m_ctx.setup.RangeIndex, 1, 8);
        CurrentFormat = m_ctx.shared.RangeFormat[static_cast<std::size_t>(r - 1)];
        // A demonstration plays a file: whatever source the setup names, no analyzer is told.
        if (!m_ctx.shared.DemoMode) {
            if (m_ctx.setup.SourceKind == kSourceUsb)
                m_ctx.usbLink.sendRange(r);
            else if (m_ctx.setup.SourceKind == kSourceCom)
                m_ctx.comLink.sendRange(r);
        }
    } while (m_rangeChosenAgain);
    m_settingRange = false;
    m_ctx.shared.FullScaleAmps =
        rangeFullScale(r, m_ctx.setup.ShuntAmperes, m_ctx.setup.ShuntMillivolts);
    m_ctx.wave.AmpsPerCount = static_cast<float>(m_ctx.shared.FullScaleAmps *
                                                 m_ctx.cal.Factor[static_cast<std::size_t>(r - 1)]);
    m_ctx.display.selectRange(r - 1);
    m_ctx.log.AddDebugLine("End SetRange ");
}

void TQARN3Update::Start() {
    m_ctx.log.AddDebugLine("Start ");
    if (m_ctx.shared.DemoMode)
        m_ctx.shared.DemoPlaying = true;
    else if (usbSource())
        m_ctx.usbLink.startForTest();
    else
        m_ctx.comLink.startForTest();
    m_ctx.log.AddDebugLine("End Start ");
}

} // namespace qarn3
