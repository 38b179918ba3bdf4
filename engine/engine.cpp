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
    : DemoBuffer(new std::int16_t[kDemoBufferSlots]()), m(context) {}

void TQARN3Update::loadDemo(const std::int16_t* samples, int count) {
    count = std::clamp(count, 0, kDemoLength);
    std::copy(samples, samples + count, DemoBuffer.get());
}

bool TQARN3Update::usbSource() const {
    return m.setup.SourceKind == kSourceUsb;
}

AnalyzerLink& TQARN3Update::selectedLink() const {
    return usbSource() ? m.usbLink : m.comLink;
}

std::string TQARN3Update::fmt(const std::string& format, double value) const {
    return formatNumber(format, value, m.decimalSeparator);
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
    const double period = m.wave.SamplePeriod;
    m.display.setPulseCurrent(fmt(CurrentFormat, 0));
    m.display.setPulseSeconds(fmt(SecondsFormat, OnSamples * period));
    m.display.setPulseCycles(fmt(CyclesFormat, OnSamples * 60 * period));
    std::fill(m.wave.Samples.get(), m.wave.Samples.get() + kWaveSlots, std::int16_t{0});
    RingSize = std::clamp(m.cal.OnDelay + 20, 0, static_cast<int>(Ring.size()) - 1);
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
    m.shared.DemoPlaying = false;
    TestArm();
    ShowStatus();
}

void TQARN3Update::TestArm() {
    if (Armed) return;
    m.log.AddDebugLine("Test Arm ");
    Armed = true;
    m.display.setStatusColour(Colour::ButtonFace);
    m.display.setArmedRunningPanel("ARMED", Colour::Lime);
    m.display.setPulseCurrentColour(Colour::ButtonFace);
    m.display.setAnalyzeEnabled(false);
    TimedOut = false;
    ShowStatus();
}

void TQARN3Update::TestStart() {
    m.log.AddDebugLine("Test Start ");
    Running = true;
    Armed = false;
    OnSamples = 0;
    PulseAmps = 0;
    LiveSumSq = 0;
    LiveAmps = 0;
    PeakCounts = 0;
    TriggerSample = SamplesTaken - 1;
    std::fill(m.wave.Samples.get(), m.wave.Samples.get() + kWaveSlots, std::int16_t{0});
    m.wave.Position = 0;
    ReplayPreTrigger();
    m.display.setRunButton("STOP", Colour::Red);
    m.display.setArmedRunningPanel("Running", Colour::Yellow);
}

void TQARN3Update::TestStop() {
    m.log.AddDebugLine("Test Stop ");
    TestArm();
    Ring.fill(0);
    RingPos = 0;
}

void TQARN3Update::TestEnd() {
    if (!Armed && !Running) return;
    m.log.AddDebugLine("Test End ");
    Armed = false;
    Running = false;
    m.shared.DemoPlaying = false;
    m.display.setArmedRunningPanel("Test Over", Colour::ButtonFace);
    m.display.setRunButton("RESET", Colour::Green);
    m.display.setAnalyzeEnabled(true);
    ShowStatus();
}

void TQARN3Update::TestTimeout() {
    m.log.AddDebugLine("Test Timeout ");
    TimedOut = true;
    EndReason = 1;
    TestEnd();
}

void TQARN3Update::TestAbort() {
    m.log.AddDebugLine("Test Abort ");
    CurrentOn = false;
    AccumulatePulse();
    EndReason = 2;
    TestEnd();
}

void TQARN3Update::CheckTimeouts() {
    const double p = m.wave.SamplePeriod;
    if (p <= 0) return;
    if (m.setup.MaxOnTime > 0.01 && CurrentOn && OnSamples > m.setup.MaxOnTime / p) {
        PulseAmps = static_cast<float>(std::sqrt(PulseSumSq / static_cast<double>(OnSamples)) *
                                       m.wave.AmpsPerCount);
        m.display.setPulseCurrent(fmt(CurrentFormat, PulseAmps));
        reportPulse();
        TestTimeout();
    } else if (m.setup.MaxOffTime > 0.01 && !CurrentOn && OffSamples > m.setup.MaxOffTime / p) {
        TestTimeout();
    }
}

void TQARN3Update::ShowStatus() {
    Colour c = Colour::ButtonFace;
    std::string panel1;
    if (EndReason == 3) {
        panel1 = "Overrange Detected";
        c = Colour::Red;
    } else if (m.cal.CalError) {
        panel1 = "CALIBRATION ERROR";
        m.display.setRunButton("RESET", Colour::Green);
        c = Colour::Red;
    } else if (EndReason == 2) {
        panel1 = "Test Stopped";
        c = Colour::Green;
    } else if (EndReason == 1) {
        panel1 = "Test Timeout";
        c = Colour::Green;
    } else if (Running) {
        panel1 = "Running";
        m.display.setArmedRunningPanel("Running", Colour::Yellow);
        m.display.setRunButton("STOP", Colour::Red);
    } else if (Armed && m.shared.DemoMode) {
        panel1 = "Press RUN to start DEMO";
        m.display.setRunButton("RUN", Colour::Green);
    } else if (Armed) {
        panel1 = "Armed - Initiate test current";
        m.display.setRunButton("READY", Colour::Green);
    } else if (UnderRange) {
        panel1 = "Underrange detected";
        c = Colour::Yellow;
    } else {
        panel1 = "Test Over";
    }
    m.display.setStatusPanel(1, panel1);

    const std::string serNum = trimText(m.cal.SerNum);
    if (m.shared.DemoMode) {
        m.display.setStatusPanel(2, m.wave.FileName);
    } else if (usbSource()) {
        if (m.usbLink.LinkValid()) {
            m.display.setStatusPanel(2, serNum + " on USB port");
        } else {
            m.display.setStatusPanel(2, "Error on USB port");
            m.display.setRunButton("RESET", Colour::Green);
            c = Colour::Red;
        }
    } else if (m.comLink.LinkValid()) {
        m.display.setStatusPanel(2, m.setup.SourceName + " on " + serNum);
    } else {
        m.display.setStatusPanel(2, "Error on " + m.setup.SourceName);
        m.display.setRunButton("RESET", Colour::Green);
        c = Colour::Red;
    }
    m.display.setStatusColour(c);
}

void TQARN3Update::ProcessTick() {
    if (!TickIdle) {
        m.log.AddDebugLine("*Update Error ");
        return;
    }
    TickIdle = false;
    m.display.setRangeListEnabled(Armed);
    AnalyzerLink& link = selectedLink();
    const double period = m.wave.SamplePeriod;
    const double rate = m.wave.SampleRate;

    if (m.shared.DemoMode || link.Sampling()) {
        m.display.setStatusPanel(0, fmt("%7.4f", rate > 0 ? SamplesTaken / rate : 0));
        m.display.setCurrentBar(
            m.shared.FullScaleAmps > 0 ? percent(LiveAmps * 100.0 / m.shared.FullScaleAmps) : 0);
    }
    const Colour barColour = TimedOut ? Colour::Red : Colour::Blue;
    if (Running && CurrentOn) {
        m.display.setTimeBar(percent(OnSamples * 100.0 * period / (m.setup.MaxOnTime + 0.01)),
                             barColour);
    } else if (Running) {
        m.display.setTimeBar(percent(OffSamples * 100.0 * period / (m.setup.MaxOffTime + 0.01)),
                             barColour);
    } else if (Armed) {
        m.display.setTimeBar(0, barColour);
    } else {
        m.display.setTimeBarColour(barColour);
    }
    m.display.setLiveCurrent(fmt(CurrentFormat, LiveAmps), Colour::ButtonFace);
    if (Running) {
        if (UnderRange) {
            m.display.setStatusColour(Colour::Yellow);
            m.display.setPulseCurrentColour(Colour::Yellow);
            m.display.setStatusPanel(1, "Underrange Detected");
        } else {
            m.display.setStatusColour(Colour::ButtonFace);
            m.display.setPulseCurrentColour(Colour::ButtonFace);
            m.display.setStatusPanel(1, "Test in progress");
        }
    }

    if (m.shared.DemoMode) {
        SamplesThisTick = static_cast<std::int32_t>(nearest(m.timerIntervalMs * rate / 1000.0));
    } else {
        SamplesThisTick = link.LinkValid() && link.Sampling() ? link.samplesWaiting() : 0;
        if (link.Sampling()) {
            if (SamplesThisTick <= 0) {
                m.log.AddDebugLine("RxDataCount <= 0 ");
                ++NoDataTicks;
                if (NoDataTicks > 3) {
                    link.clearLinkValid();
                    link.stopSampling();
                    TestEnd();
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
    if (m.shared.DemoMode) {
        do {
            if (m.shared.DemoPlaying && DemoIndex < kDemoLength)
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
    k.onThreshold = m.setup.TestMode == 1 ? m.cal.MPUThresh : m.cal.OnThresh;
    k.offThresh = m.cal.OffThresh;
    k.onDelay = m.cal.OnDelay;
    k.offDelay = m.cal.OffDelay;
    k.avgSamples = m.cal.AvgSamples;
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
    m.display.setPulseCurrent(current);
    const double period = m.wave.SamplePeriod;
    m.display.setPulseSeconds(fmt(SecondsFormat, OnSamples * period));
    m.display.setPulseCycles(fmt(CyclesFormat, OnSamples * period * 60));
}

void TQARN3Update::UpdateLiveCurrent() {
    takeSettings();
    liveCurrentStep();
}

inline void TQARN3Update::liveCurrentStep() {
    const std::int32_t n = k.avgSamples;
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
        LiveAmps = static_cast<float>(m.wave.AmpsPerCount *
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
        Rms20Amps = std::sqrt(static_cast<double>(Rms20SumSq) / Rms20Count) * m.wave.AmpsPerCount;
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
        Threshold = k.onThreshold;
        PeakCounts = 0;
        OffCounter = k.offDelay;
        pushRingStep();
        if (mag > Threshold) {
            if (OnCounter < k.onDelay) ++OnCounter;
        } else if (OnCounter > 0) {
            --OnCounter;
        }
        if (OnCounter >= k.onDelay) {
            CurrentOn = true;
            OnCounter = 0;
            if (Armed) TestStart();
        }
    } else {
        Threshold = k.offThresh;
        if (mag > PeakCounts) PeakCounts = mag;
        if (PeakCounts / 8 > Threshold) Threshold = PeakCounts / 8;
        if (mag < Threshold) {
            --OffCounter;
        } else if (OffCounter < k.offDelay) {
            OffCounter = k.offDelay;
        }
        if (OffCounter <= 0) {
            CurrentOn = false;
            Ring.fill(0);
            RingPos = 0;
            OnCounter = 0;
            if (Running) TestStop();
            OffCounter = k.offDelay;
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
        ++OnSamples;
        m.shared.PlotShown = false;
        OffSamples = 0;
    } else if (PulseSumSq > 0) {
        const std::int32_t d = k.offDelay - k.onDelay;
        if (d >= 0 && static_cast<std::uint32_t>(d) < OnSamples)
            OnSamples -= static_cast<std::uint32_t>(d);
        if (OnSamples > 0) {
            PulseAmps = static_cast<float>(
                std::sqrt(PulseSumSq / (static_cast<double>(OnSamples) + 1)) * m.wave.AmpsPerCount);
            UnderRange = m.setup.RangeIndex >= 2 && 0.3 * m.shared.FullScaleAmps > PulseAmps;
        } else {
            PulseAmps = 0;
        }
        PulseSumSq = 0;
        m.shared.PlotShown = false;
        reportPulse();
    } else {
        ++OffSamples;
    }
    m.wave.Samples[static_cast<std::size_t>(m.wave.Position)] = Sample;
    if (m.wave.Position < kCaptureLimit) ++m.wave.Position;
}

void TQARN3Update::ReplayPreTrigger() {
    m.wave.Position = 0;
    for (std::int32_t i = 1; i <= RingSize; ++i) {
        RingPos = RingPos < RingSize ? RingPos + 1 : 0;
        Sample = Ring[static_cast<std::size_t>(RingPos)];
        if (RingSize - m.cal.OnDelay < i && i < RingSize)
            PulseSumSq = addSquare(PulseSumSq, Sample);
        m.wave.Samples[static_cast<std::size_t>(m.wave.Position)] =
            Ring[static_cast<std::size_t>(RingPos)];
        if (m.wave.Position < kCaptureLimit) ++m.wave.Position;
    }
    Sample = m.wave.Samples[static_cast<std::size_t>(std::max(m.wave.Position - 1, 0))];
    m.wave.Position = m.wave.Position > 0 ? m.wave.Position - 1 : 0;
}

void TQARN3Update::reportPulse() {
    PulseResult r;
    const double rate = m.wave.SampleRate > 0 ? m.wave.SampleRate : 2400;
    r.startSeconds = std::max(0, TriggerSample - (m.cal.OnDelay - 1)) / rate;
    r.pulseAmps = PulseAmps;
    r.onSamples = OnSamples;
    r.seconds = OnSamples * static_cast<double>(m.wave.SamplePeriod);
    r.cycles = r.seconds * 60;
    r.suspect = PeakRms20Amps * 1.2 < PulseAmps;
    r.underRange = UnderRange;
    m.display.pulseMeasured(r);
}

void TQARN3Update::SetRange() {
    m.log.AddDebugLine("SetRange ");
    SecondsFormat = "%8.4f secs";
    CyclesFormat = "%8.2f cycs";
    const int r = std::clamp<int>(m.setup.RangeIndex, 1, 8);
    CurrentFormat = m.shared.RangeFormat[static_cast<std::size_t>(r - 1)];
    if (m.setup.SourceKind == kSourceUsb)
        m.usbLink.sendRange(r);
    else if (m.setup.SourceKind == kSourceCom)
        m.comLink.sendRange(r);
    m.shared.FullScaleAmps = rangeFullScale(r, m.setup.ShuntAmperes, m.setup.ShuntMillivolts);
    m.wave.AmpsPerCount =
        static_cast<float>(m.shared.FullScaleAmps * m.cal.Factor[static_cast<std::size_t>(r - 1)]);
    m.display.selectRange(r - 1);
    m.log.AddDebugLine("End SetRange ");
}

void TQARN3Update::Start() {
    m.log.AddDebugLine("Start ");
    if (m.shared.DemoMode)
        m.shared.DemoPlaying = true;
    else if (usbSource())
        m.usbLink.startForTest();
    else
        m.comLink.startForTest();
    m.log.AddDebugLine("End Start ");
}

} // namespace qarn3
