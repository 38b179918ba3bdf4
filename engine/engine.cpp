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

int PulseEvents::connect(Listener listener) {
    m_listeners.emplace_back(m_next, std::move(listener));
    return m_next++;
}

void PulseEvents::disconnect(int handle) {
    std::erase_if(m_listeners, [handle](const auto& l) { return l.first == handle; });
}

void PulseEvents::send(const PulseEnd& pulse) const {
    for (const auto& l : m_listeners)
        l.second(pulse);
}

TQARN3Update::TQARN3Update(EngineContext context) : m_ctx(context), m_link(&context.link) {}

void TQARN3Update::useRanges(const std::array<std::string, 8>& formats, double fullScaleAmps) {
    m_rangeFormats = formats;
    m_r.fullScaleAmps = fullScaleAmps;
}

void TQARN3Update::presetCounters(const EngineCounters& counters) {
    m_r.samplesTaken = counters.samplesTaken;
    m_r.onSamples = counters.onSamples;
    m_r.offSamples = counters.offSamples;
}

std::string TQARN3Update::fmt(const std::string& format, double value) const {
    return formatNumber(format, value, m_ctx.decimalSeparator);
}

void TQARN3Update::showRunButton(RunButton button, Colour font) {
    static const char* const kCaptions[] = {"RUN", "READY", "STOP", "RESET"};
    m_r.runButton = button;
    m_ctx.display.setRunButton(kCaptions[static_cast<int>(button)], font);
}

void TQARN3Update::ResetTest() {
    ++m_r.resets;
    m_r.onSamples = 0;
    m_r.offSamples = 0;
    m_r.pulseAmps = 0;
    const double period = m_ctx.wave.SamplePeriod;
    m_ctx.display.setPulseCurrent(fmt(m_r.currentFormat, 0));
    m_ctx.display.setPulseSeconds(fmt(m_r.secondsFormat, m_r.onSamples * period));
    m_ctx.display.setPulseCycles(fmt(m_r.cyclesFormat, m_r.onSamples * 60 * period));
    m_ctx.wave.clearSamples();
    RingSize = std::clamp(m_ctx.cal.OnDelay + 20, 0, static_cast<int>(Ring.size()) - 1);
    Ring.fill(0);
    RingPos = 0;
    LiveSumSq = 0;
    m_r.liveAmps = 0;
    Rms20Count = 0;
    Rms20SumSq = 0;
    Rms20Amps = 0;
    m_r.peakRms20Amps = 0;
    OnCounter = 0;
    NoDataTicks = 0;
    PulseSumSq = 0;
    m_r.samplesTaken = 0;
    m_r.currentOn = false;
    m_r.timedOut = false;
    setState(m_r.armed() ? TestState::Armed : TestState::Ended); // no longer running
    m_r.underRange = false;
    m_r.endReason = EndReason::None;
    TickIdle = true;
    m_link->testReset();
    m_dataErrorsAtReset = m_link->dataErrors();
    m_ctx.display.setStatusPanel(3, "");
    TestArm();
    ShowStatus();
}

std::uint64_t TQARN3Update::dataErrorsThisTest() const {
    const std::uint64_t now = m_link->dataErrors();
    return now >= m_dataErrorsAtReset ? now - m_dataErrorsAtReset : now;
}

void TQARN3Update::TestArm() {
    if (m_r.armed()) return;
    m_ctx.log.AddDebugLine("Test Arm ");
    setState(m_r.running() ? TestState::Rearmed : TestState::Armed);
    m_ctx.display.setStatusColour(Colour::ButtonFace);
    m_ctx.display.setArmedRunningPanel("ARMED", Colour::Lime);
    m_ctx.display.setPulseCurrentColour(Colour::ButtonFace);
    m_ctx.display.setAnalyzeEnabled(false);
    m_r.timedOut = false;
    ShowStatus();
}

void TQARN3Update::TestStart() {
    m_ctx.log.AddDebugLine("Test Start ");
    setState(TestState::Running);
    m_r.onSamples = 0;
    m_r.pulseAmps = 0;
    LiveSumSq = 0;
    m_r.liveAmps = 0;
    PeakCounts = 0;
    m_r.triggerSample = m_r.samplesTaken - 1;
    // Clears the slots the last capture (or a loaded file) wrote, not all 145001.
    m_ctx.wave.clearSamples();
    m_ctx.wave.Position = 0;
    ReplayPreTrigger();
    showRunButton(RunButton::Stop, Colour::Red);
    m_ctx.display.setArmedRunningPanel("Running", Colour::Yellow);
}

void TQARN3Update::TestStop() {
    m_ctx.log.AddDebugLine("Test Stop ");
    TestArm();
    Ring.fill(0);
    RingPos = 0;
}

void TQARN3Update::TestEnd() {
    if (m_r.state == TestState::Ended) return;
    m_ctx.log.AddDebugLine("Test End ");
    setState(TestState::Ended);
    m_link->testEnded();
    m_ctx.display.setArmedRunningPanel("Test Over", Colour::ButtonFace);
    showRunButton(RunButton::Reset, Colour::Green);
    m_ctx.display.setAnalyzeEnabled(true);
    ShowStatus();
}

void TQARN3Update::TestTimeout() {
    m_ctx.log.AddDebugLine("Test Timeout ");
    m_r.timedOut = true;
    m_r.endReason = EndReason::Timeout;
    TestEnd();
}

void TQARN3Update::TestAbort() {
    m_ctx.log.AddDebugLine("Test Abort ");
    m_r.currentOn = false;
    AccumulatePulse();
    m_r.endReason = EndReason::Stopped;
    TestEnd();
}

void TQARN3Update::CheckTimeouts() {
    const double p = m_ctx.wave.SamplePeriod;
    if (p <= 0) return;
    if (m_ctx.setup.MaxOnTime > 0.01 && m_r.currentOn &&
        m_r.onSamples > m_ctx.setup.MaxOnTime / p) {
        m_r.pulseAmps = static_cast<float>(
            std::sqrt(PulseSumSq / static_cast<double>(m_r.onSamples)) * m_ctx.wave.AmpsPerCount);
        m_ctx.display.setPulseCurrent(fmt(m_r.currentFormat, m_r.pulseAmps));
        reportPulse(true);
        TestTimeout();
    } else if (m_ctx.setup.MaxOffTime > 0.01 && !m_r.currentOn &&
               m_r.offSamples > m_ctx.setup.MaxOffTime / p) {
        TestTimeout();
    }
}

void TQARN3Update::ShowStatus() {
    Colour c = Colour::ButtonFace;
    std::string panel1;
    if (m_r.endReason == EndReason::OverRange) {
        panel1 = "Overrange Detected";
        c = Colour::Red;
    } else if (m_ctx.cal.CalError) {
        panel1 = "CALIBRATION ERROR";
        showRunButton(RunButton::Reset, Colour::Green);
        c = Colour::Red;
    } else if (m_r.endReason == EndReason::Stopped) {
        panel1 = "Test Stopped";
        c = Colour::Green;
    } else if (m_r.endReason == EndReason::Timeout) {
        panel1 = "Test Timeout";
        c = Colour::Green;
    } else if (m_r.running()) {
        panel1 = "Running";
        m_ctx.display.setArmedRunningPanel("Running", Colour::Yellow);
        showRunButton(RunButton::Stop, Colour::Red);
    } else if (m_r.armed() && m_link->startsOnRun()) {
        panel1 = "Press RUN to start DEMO";
        showRunButton(RunButton::Run, Colour::Green);
    } else if (m_r.armed()) {
        panel1 = "Armed - Initiate test current";
        showRunButton(RunButton::Ready, Colour::Green);
    } else if (m_r.underRange) {
        panel1 = "Underrange detected";
        c = Colour::Yellow;
    } else {
        panel1 = "Test Over";
    }
    m_ctx.display.setStatusPanel(1, panel1);

    const LinkStatus link = m_link->status(m_ctx.setup.SourceName, trimText(m_ctx.cal.SerNum));
    m_ctx.display.setStatusPanel(2, link.text);
    if (link.error) {
        showRunButton(RunButton::Reset, Colour::Green);
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
    m_ctx.display.setRangeListEnabled(m_r.armed());
    AnalyzerLink& link = *m_link;
    const double period = m_ctx.wave.SamplePeriod;
    const double rate = m_ctx.wave.SampleRate;

    if (link.Sampling()) {
        m_ctx.display.setStatusPanel(
            0, fmt("%7.4f", rate > 0 ? static_cast<double>(m_r.samplesTaken) / rate : 0));
        m_ctx.display.setCurrentBar(
            m_r.fullScaleAmps > 0 ? percent(m_r.liveAmps * 100.0 / m_r.fullScaleAmps) : 0);
    }
    const Colour barColour = m_r.timedOut ? Colour::Red : Colour::Blue;
    if (m_r.running() && m_r.currentOn) {
        m_ctx.display.setTimeBar(
            percent(m_r.onSamples * 100.0 * period / (m_ctx.setup.MaxOnTime + 0.01)), barColour);
    } else if (m_r.running()) {
        m_ctx.display.setTimeBar(
            percent(m_r.offSamples * 100.0 * period / (m_ctx.setup.MaxOffTime + 0.01)), barColour);
    } else if (m_r.armed()) {
        m_ctx.display.setTimeBar(0, barColour);
    } else {
        m_ctx.display.setTimeBarColour(barColour);
    }
    // A lost link has no live current: its last value would read as a steady one.
    if (!link.LinkValid())
        m_ctx.display.setLiveCurrent("---", Colour::ButtonFace);
    else
        m_ctx.display.setLiveCurrent(fmt(m_r.currentFormat, m_r.liveAmps), Colour::ButtonFace);
    if (m_r.running()) {
        if (m_r.underRange) {
            m_ctx.display.setStatusColour(Colour::Yellow);
            m_ctx.display.setPulseCurrentColour(Colour::Yellow);
            m_ctx.display.setStatusPanel(1, kUnderrangeDetected);
        } else {
            m_ctx.display.setStatusColour(Colour::ButtonFace);
            m_ctx.display.setPulseCurrentColour(Colour::ButtonFace);
            m_ctx.display.setStatusPanel(1, kTestInProgress);
        }
    }

    SamplesThisTick = link.LinkValid() && link.Sampling() ? link.samplesWaiting() : 0;
    // A stream that stops while sampling is a lost link; a demonstration's never stops.
    if (link.realTime()) {
        if (link.Sampling()) {
            if (SamplesThisTick <= 0) {
                m_ctx.log.AddDebugLine("RxDataCount <= 0 ");
                ++NoDataTicks;
                if (NoDataTicks > 3) {
                    const bool testActive = m_r.state != TestState::Ended;
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
    if (m_r.endReason == EndReason::None) CheckTimeouts();
    TickIdle = true;
}

// The per-sample pipeline over this tick's samples. The link's sampling state does not
// change inside a tick's loop.
void TQARN3Update::runSampleLoop(AnalyzerLink& link) {
    takeSettings();
    if (link.Sampling()) {
        do {
            RawSample = static_cast<std::int16_t>(link.GetSample());
            ++m_r.samplesTaken;
            --SamplesThisTick;
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
    if (m_r.running()) accumulateStep();
}

void TQARN3Update::showPulseReadings() {
    std::string current = fmt(m_r.currentFormat, m_r.pulseAmps);
    if (m_r.peakRms20Amps * 1.2 < m_r.pulseAmps) current += "?";
    m_ctx.display.setPulseCurrent(current);
    const double period = m_ctx.wave.SamplePeriod;
    m_ctx.display.setPulseSeconds(fmt(m_r.secondsFormat, m_r.onSamples * period));
    m_ctx.display.setPulseCycles(fmt(m_r.cyclesFormat, m_r.onSamples * period * 60));
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
            m_r.endReason = EndReason::OverRange;
            TestEnd();
        } else {
            LiveSumSq = addSquare(LiveSumSq, Sample);
        }
    }
    if (LiveCount >= n && n > 0) {
        m_r.liveAmps = static_cast<float>(m_ctx.wave.AmpsPerCount *
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
    if (!m_r.currentOn) return;
    ++Rms20Count;
    // A 32-bit block sum; out-of-range file samples wrap it rather than overflow.
    Rms20SumSq = static_cast<std::int32_t>(static_cast<std::uint32_t>(Rms20SumSq) +
                                           static_cast<std::uint32_t>(Sample * Sample));
    if (Rms20Count >= 20) {
        Rms20Amps =
            std::sqrt(static_cast<double>(Rms20SumSq) / Rms20Count) * m_ctx.wave.AmpsPerCount;
        if (Rms20Amps > m_r.peakRms20Amps) m_r.peakRms20Amps = Rms20Amps;
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
    if (!m_r.currentOn) {
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
            m_r.currentOn = true;
            OnCounter = 0;
            if (m_r.armed()) TestStart();
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
            m_r.currentOn = false;
            Ring.fill(0);
            RingPos = 0;
            OnCounter = 0;
            if (m_r.running()) TestStop();
            OffCounter = m_settings.offDelay;
        }
    }
}

void TQARN3Update::AccumulatePulse() {
    takeSettings();
    accumulateStep();
}

inline void TQARN3Update::accumulateStep() {
    if (m_r.currentOn) {
        PulseSumSq = addSquare(PulseSumSq, Sample);
        if (m_r.onSamples < kCounterMax) ++m_r.onSamples;
        m_r.plotShown = false;
        m_r.offSamples = 0;
    } else if (PulseSumSq > 0) {
        const std::int32_t d = m_settings.offDelay - m_settings.onDelay;
        if (d >= 0 && static_cast<std::uint32_t>(d) < m_r.onSamples)
            m_r.onSamples -= static_cast<std::uint32_t>(d);
        if (m_r.onSamples > 0) {
            m_r.pulseAmps = static_cast<float>(
                std::sqrt(PulseSumSq / (static_cast<double>(m_r.onSamples) + 1)) *
                m_ctx.wave.AmpsPerCount);
            m_r.underRange = m_ctx.setup.RangeIndex >= 2 && 0.3 * m_r.fullScaleAmps > m_r.pulseAmps;
        } else {
            m_r.pulseAmps = 0;
        }
        PulseSumSq = 0;
        m_r.plotShown = false;
        reportPulse(false);
    } else if (m_r.offSamples < kCounterMax) {
        ++m_r.offSamples;
    }
    m_ctx.wave.capture(Sample);
}

void TQARN3Update::ReplayPreTrigger() {
    TWaveformData& wave = m_ctx.wave;
    wave.Position = 0;
    for (std::int32_t i = 1; i <= RingSize; ++i) {
        RingPos = RingPos < RingSize ? RingPos + 1 : 0;
        Sample = Ring[static_cast<std::size_t>(RingPos)];
        if (RingSize - m_ctx.cal.OnDelay < i && i < RingSize)
            PulseSumSq = addSquare(PulseSumSq, Sample);
        wave.capture(Ring[static_cast<std::size_t>(RingPos)]);
    }
    Sample = wave.Samples[static_cast<std::size_t>(std::max(wave.Position - 1, 0))];
    wave.Position = wave.Position > 0 ? wave.Position - 1 : 0;
}

void TQARN3Update::reportPulse(bool cutShort) {
    PulseResult r;
    const double rate = m_ctx.wave.SampleRate > 0 ? m_ctx.wave.SampleRate : 2400;
    const std::int64_t first = m_r.triggerSample - (m_ctx.cal.OnDelay - 1);
    r.startSeconds = static_cast<double>(std::max<std::int64_t>(0, first)) / rate;
    r.cutShort = cutShort;
    r.pulseAmps = m_r.pulseAmps;
    r.onSamples = m_r.onSamples;
    r.seconds = m_r.onSamples * static_cast<double>(m_ctx.wave.SamplePeriod);
    r.cycles = r.seconds * 60;
    r.suspect = m_r.peakRms20Amps * 1.2 < m_r.pulseAmps;
    r.underRange = m_r.underRange;
    // Where the pulse lies in the capture, for the viewer's cycle table: the trigger sample is
    // in slot RingSize - 1 and the pulse began OnDelay - 1 samples before it.
    TWaveformData& wave = m_ctx.wave;
    wave.PulseFirst = std::max(0, RingSize - m_ctx.cal.OnDelay);
    wave.PulseCount = static_cast<std::int32_t>(
        std::min<std::int64_t>(m_r.onSamples, std::max(0, wave.Position - wave.PulseFirst)));
    r.dataErrors = dataErrorsThisTest();
    // Beside the reading, so that nobody takes a reading from a damaged stream for a clean one.
    if (r.dataErrors > 0)
        m_ctx.display.setStatusPanel(3, "Data errors during this test: " +
                                            std::to_string(r.dataErrors));
    m_pulseEnded.send(PulseEnd{r, wave, m_r.triggerSample - (RingSize - 1)});
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
        m_r.secondsFormat = "%8.4f secs";
        m_r.cyclesFormat = "%8.2f cycs";
        r = std::clamp<int>(m_ctx.setup.RangeIndex, 1, 8);
        m_r.currentFormat = m_rangeFormats[static_cast<std::size_t>(r - 1)];
        // The link tells the analyzer; a demonstration plays a file and tells nothing.
        m_link->setRange(r);
    } while (m_rangeChosenAgain);
    m_settingRange = false;
    m_r.fullScaleAmps = rangeFullScale(r, m_ctx.setup.ShuntAmperes, m_ctx.setup.ShuntMillivolts);
    m_ctx.wave.AmpsPerCount =
        static_cast<float>(m_r.fullScaleAmps * m_ctx.cal.Factor[static_cast<std::size_t>(r - 1)]);
    m_ctx.display.selectRange(r - 1);
    m_ctx.log.AddDebugLine("End SetRange ");
}

void TQARN3Update::Start() {
    m_ctx.log.AddDebugLine("Start ");
    m_link->startForTest();
    m_ctx.log.AddDebugLine("End Start ");
}

} // namespace qarn3
