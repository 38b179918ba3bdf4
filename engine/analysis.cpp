#include "engine/analysis.h"

#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "calsetup/sitesettings.h"
#include "diag/debuglog.h"
#include "diag/services.h"
#include "engine/engine.h"
#include "engine/ranges.h"
#include "link/demolink.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"
#include "platform/textformat.h"
#include "waveform/comtrade.h"
#include "waveform/waveform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace qarn3 {

namespace {

// Every pulse the engine measures, and with cycle tables asked for, each pulse's table.
class Collector {
public:
    std::vector<PulseResult> pulses;
    std::vector<CycleTable> cycles;
    bool withCycles = false;
    int mainsHz = 60;

    void pulseEnded(const PulseEnd& pulse) {
        pulses.push_back(pulse.result);
        if (withCycles) cycles.push_back(captureCycles(pulse));
    }

private:
    // The pulse the engine has just marked in the capture, timed as in the file.
    CycleTable captureCycles(const PulseEnd& pulse) const {
        const TWaveformData& wave = pulse.capture;
        CycleInput in;
        in.samples = wave.Samples.get();
        in.available = kWaveSlots;
        in.first = wave.PulseFirst;
        in.count = wave.PulseCount;
        in.ampsPerCount = wave.AmpsPerCount;
        in.sampleRate = wave.SampleRate;
        in.mainsHz = mainsHz;
        in.timeOrigin = static_cast<double>(pulse.captureStartSample) / wave.SampleRate;
        return computeCycles(in);
    }
};

std::string lastBoxText(const ScriptedDialogs& d, const std::string& fallback) {
    return d.shown().empty() ? fallback : d.shown().back().text;
}

bool limitOn(double seconds) {
    return seconds > 0.01; // as the engine's time-outs: 0.01 s or less disables a limit
}

// The idle feed after a file is played for at most the enabled limits and a second more
// (enough for any pulse still on to finish and the off limit to pass), and never more than a
// day, so that a huge limit cannot keep the analysis going for hours.
constexpr double kIdleMarginSeconds = 1.0;
constexpr double kIdleMostSeconds = 24 * 3600.0;

// Calibration and waveform as the program would hold them for the demonstration.
struct Inputs {
    TCalRecord cal;
    TWaveformData wave;
    // A COMTRADE recording's current, made counts once the range is chosen.
    std::optional<ComtradeCurrent> comtrade;
};

// Why a file the reader could not read was refused, in the system's words.
std::string readFailure(const std::string& path) {
    return FileStore().readFailure(path);
}

// LoadFile as a demonstration calls it; returns the reader's message, empty on success.
std::string loadWaveform(const std::string& path, TWaveformData& wave, Services& services,
                         ScriptedDialogs& dialogs) {
    WaveformFiles waveFiles(wave, services, "");
    if (waveFiles.LoadFile(path)) return {};
    std::string error = lastBoxText(dialogs, "Cannot open file " + path);
    // The reader's box names the file; the tool adds why it could not be read.
    if (error.rfind("Error reading file: ", 0) == 0) error += ": " + readFailure(path);
    return error;
}

// A COMTRADE recording's current into the store as a waveform file of unknown type would be
// read, its slots cleared but not yet filled; returns the reader's message, empty on success.
std::string loadComtrade(const std::string& path, const std::string& channel, Inputs& in,
                         FileStore& files) {
    ComtradeRead read = readComtradeFile(path, channel, files);
    if (!read.current) return read.error;
    TWaveformData& w = in.wave;
    std::fill(w.Samples.get(), w.Samples.get() + kWaveFileSamples + 1, std::int16_t{0});
    if (w.ZeroFrom <= kWaveFileSamples + 1) w.ZeroFrom = 0;
    w.PulseFirst = 0;
    w.PulseCount = 0;
    ++w.Revision;
    w.Header = TWaveFileHeader{};
    std::memcpy(w.Header.Magic.data(), "WAVEFORM", 8);
    w.Header.WaveType = '?';
    const std::size_t n = read.current->amps.size();
    // Playback takes SampleCount - 1 samples: all of the recording's.
    w.SampleCount = static_cast<std::int32_t>(n + 1);
    w.Header.SampleCount = w.SampleCount;
    w.SampleRate = read.current->sampleRate;
    w.SamplePeriod = static_cast<float>(1.0 / w.SampleRate);
    w.Header.SamplePeriod = w.SamplePeriod;
    w.SerialId = read.current->deviceId;
    in.comtrade = std::move(read.current);
    return {};
}

// The recording's amperes as the counts of the range the engine chose, in the store.
std::size_t fillComtradeCounts(const ComtradeCurrent& current, TWaveformData& w) {
    const ComtradeCounts c = comtradeCounts(current.amps, w.AmpsPerCount);
    std::copy(c.counts.begin(), c.counts.end(), w.Samples.get());
    w.filled(static_cast<std::int32_t>(c.counts.size()));
    w.Header.AmpsPerCount = w.AmpsPerCount;
    return c.clipped;
}

// The waveform file of the counts measured: the same samples played back.
std::string convertedWaveformBytes(const TWaveformData& w, int testMode) {
    std::string bytes = waveformFileBytes(w, w.SerialId, testMode);
    TWaveFileHeader h = TWaveFileHeader::fromBytes(bytes.data());
    // Playback fills a file's length with zeros after its samples, so a count below what a
    // reader accepts (100) may stand for the whole file; above it, a file holds no more.
    if (w.SampleCount >= 100) h.SampleCount = std::min(w.SampleCount, kWaveFileSamples);
    return h.bytes() + bytes.substr(kWaveHeaderSize);
}

// Parses a calibration file's text into the record for a file's sample rate; returns an error
// message, empty on success.
std::string parseCal(const std::string& text, const std::string& name, double sampleRate,
                     TCalRecord& cal, Services& services, ScriptedDialogs& dialogs) {
    cal.CalImage = text.substr(0, kCalImageSize);
    cal.CalImage.resize(kCalImageSize, ' ');
    dialogs.clear();
    dialogs.answerList("OK,Cancel,Cancel"); // never replace a file here
    CalFile calFile(cal, sampleRate, services, "");
    calFile.ParseCalImage();
    if (!dialogs.shown().empty())
        return "Calibration file " + name + ": " + dialogs.shown()[0].text;
    return {};
}

// Reads the waveform and the calibration for it; returns an error message, empty on success.
std::string loadInputs(const AnalysisOptions& o, const AnalysisSettings& settings, Inputs& in,
                       TSetupRecord& setup, Services& services, ScriptedDialogs& dialogs) {
    const std::string error = isComtradeName(o.waveFile)
                                  ? loadComtrade(o.waveFile, o.channel, in, services.files)
                                  : loadWaveform(o.waveFile, in.wave, services, dialogs);
    if (!error.empty()) return error;
    // The file's wave type sets the test mode as a demonstration does; the option overrides.
    if (in.wave.Header.WaveType == 'N')
        setup.TestMode = 0;
    else if (in.wave.Header.WaveType == 'M')
        setup.TestMode = 1;
    if (o.testMode) setup.TestMode = static_cast<std::uint8_t>(*o.testMode);

    TCalRecord& cal = in.cal;
    setCalDefaults(cal, 0);
    cal.AvgSamples = static_cast<std::int32_t>(std::lrint(in.wave.SampleRate * cal.AvgTime));
    if (settings.calText)
        return parseCal(*settings.calText, o.calFile, in.wave.SampleRate, cal, services, dialogs);
    return {};
}

// The store as a new one is, but for the samples: ReadWaveform and the engine's clears keep
// them right, and only what was written since the last clear is cleared again.
void resetStore(TWaveformData& w) {
    w.Position = 0;
    w.SampleCount = 0;
    w.SampleRate = 2400;
    w.SamplePeriod = 1.0f / 2400;
    w.AmpsPerCount = 0;
    w.SerialId.clear();
    w.FileName.clear();
    w.Header = TWaveFileHeader{};
    w.View = TWaveViewFields{};
}

// Why nothing more can happen to a test that has not ended.
std::string notEndedReason(const EngineReadings& engine, const TSetupRecord& setup) {
    if (engine.currentOn && engine.running()) return "a pulse is still on";
    if (!engine.running()) return "no pulse was seen";
    if (!limitOn(setup.MaxOffTime))
        return "the MaxOff limit is disabled, so only STOP would end it";
    return "the MaxOff limit had not passed when the analysis stopped";
}

// The mains frequency of the cycle tables: the option, else the site file beside the setup
// file (read only when tables are asked for), else 60 Hz.
std::string prepareMains(const AnalysisOptions& o, AnalysisSettings& settings, FileStore& files) {
    settings.mainsHz = 60;
    if (o.mainsHz) {
        if (*o.mainsHz != 50 && *o.mainsHz != 60) return "Mains frequency must be 50 or 60 Hz";
        settings.mainsHz = *o.mainsHz;
        return {};
    }
    if (!o.cycles || o.setupFile.empty()) return {};
    const std::string path = siteFileBeside(o.setupFile);
    if (!files.exists(path)) return {};
    const auto text = files.readPrefix(path, kSiteReadLimit);
    if (!text) return "Cannot open settings file " + path + ": " + readFailure(path);
    TSiteSettings site;
    if (const std::string problem = parseSiteText(*text, site); !problem.empty())
        return "Settings file " + path + ": " + problem;
    settings.mainsHz = site.MainsHz;
    return {};
}

} // namespace

std::string readWaveformFile(const std::string& path, TWaveformData& wave) {
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
    return loadWaveform(path, wave, services, dialogs);
}

std::string prepareSettings(const AnalysisOptions& o, AnalysisSettings& settings) {
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
    TSetupRecord& setup = settings.setup;
    setSetupDefaults(setup);
    setup.SourceName = "WAV";
    if (!o.setupFile.empty()) {
        // Only what the program itself would read: a huge file neither fills memory nor
        // holds the analysis up.
        const auto text = files.readPrefix(o.setupFile, kSetupReadLimit);
        if (!text) return "Cannot open setup file " + o.setupFile + ": " + readFailure(o.setupFile);
        try {
            parseSetupText(*text, setup, o.decimalSeparator);
        } catch (const ConvertError& e) {
            return "Setup file " + o.setupFile + ": " + e.what();
        }
    }
    if (o.rangeIndex) setup.RangeIndex = static_cast<std::int16_t>(*o.rangeIndex);
    if (o.shuntAmperes) setup.ShuntAmperes = *o.shuntAmperes;
    if (o.shuntMillivolts) setup.ShuntMillivolts = *o.shuntMillivolts;
    if (o.maxOnTime) setup.MaxOnTime = *o.maxOnTime;
    if (o.maxOffTime) setup.MaxOffTime = *o.maxOffTime;
    // The demonstration never talks to an analyzer.
    setup.SourceKind = kSourceNone;
    if (setup.RangeIndex < 1 || setup.RangeIndex > 8) return "Range must be 1 to 8";
    if (!(setup.ShuntMillivolts > 0) || !(setup.ShuntAmperes > 0))
        return "Shunt amperes and millivolts must be greater than zero";
    if (o.testMode && *o.testMode != 0 && *o.testMode != 1)
        return "Test mode must be 0 (pulse) or 1 (long)";
    if (const std::string e = prepareMains(o, settings, files); !e.empty()) return e;
    settings.calText.reset();
    if (!o.calFile.empty()) {
        const auto text = files.readPrefix(o.calFile, kCalImageSize);
        if (!text)
            return "Cannot open calibration file " + o.calFile + ": " + readFailure(o.calFile);
        // Checked once here; every file parses it again for its own sample rate.
        TCalRecord cal;
        setCalDefaults(cal, 0);
        const std::string error = parseCal(*text, o.calFile, 2400, cal, services, dialogs);
        if (!error.empty()) return error;
        settings.calText = *text;
    }
    return {};
}

AnalysisResult analyzeWaveform(const AnalysisOptions& o) {
    AnalysisSettings settings;
    const std::string error = prepareSettings(o, settings);
    if (!error.empty()) {
        AnalysisResult result;
        result.waveFile = o.waveFile;
        result.error = error;
        return result;
    }
    return analyzeWaveform(o, settings);
}

AnalysisResult analyzeWaveform(const AnalysisOptions& o, const AnalysisSettings& settings) {
    return WaveAnalyzer().analyze(o, settings);
}

// The records and buffers a run of analyses reuses.
struct WaveAnalyzer::Buffers {
    Inputs in;
    DemoLink demo{in.wave.SampleRate, in.wave.FileName};
};

WaveAnalyzer::WaveAnalyzer() : m_buffers(std::make_unique<Buffers>()) {}
WaveAnalyzer::~WaveAnalyzer() = default;

AnalysisResult WaveAnalyzer::analyze(const AnalysisOptions& o, const AnalysisSettings& settings) {
    AnalysisResult result;
    result.waveFile = o.waveFile;
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
    Inputs& in = m_buffers->in;
    resetStore(in.wave);
    in.cal = TCalRecord{};
    in.comtrade.reset();
    TSetupRecord setup = settings.setup;
    result.error = loadInputs(o, settings, in, setup, services, dialogs);
    if (!result.error.empty()) return result;
    TWaveformData& wave = in.wave;

    const RangeTables tables = buildRangeTables(setup.ShuntAmperes, setup.ShuntMillivolts);
    wave.FileName = bareFileName(o.waveFile);
    // The demonstration plays as a new one would.
    DemoLink& demo = m_buffers->demo;
    demo.startAfresh();
    EngineDisplay display;
    TQARN3Update engine(EngineContext{setup, in.cal, wave, demo, display, log});
    engine.useRanges(tables.RangeFormat, 0);
    Collector pulses;
    pulses.withCycles = o.cycles;
    pulses.mainsHz = settings.mainsHz;
    engine.pulseEnded().connect([&pulses](const PulseEnd& p) { pulses.pulseEnded(p); });
    engine.SetRange();
    if (in.comtrade) {
        result.recordingStartMicros = in.comtrade->firstSampleMicros;
        result.recordingTimeCodeMinutes = in.comtrade->timeCodeMinutes;
        result.clippedSamples = fillComtradeCounts(*in.comtrade, wave);
        // Before the test's reset clears the store for the capture.
        result.convertedWaveform = convertedWaveformBytes(wave, setup.TestMode);
    }
    result.ampsPerCount = wave.AmpsPerCount;
    demo.load(wave.Samples.get(), wave.SampleCount - 1);
    engine.ResetTest();
    engine.Start();
    const EngineReadings& r = engine.readings();
    auto testOn = [&r] { return r.state != TestState::Ended; };
    while (testOn() && demo.played() < DemoLink::kDemoLength)
        engine.ProcessTick();

    // The file is played: the idle feed follows while a time limit can still end the test.
    double idleSeconds = kIdleMarginSeconds;
    if (limitOn(setup.MaxOnTime)) idleSeconds += setup.MaxOnTime;
    if (limitOn(setup.MaxOffTime)) idleSeconds += setup.MaxOffTime;
    const std::int64_t idleEnd =
        r.samplesTaken + std::llround(std::min(idleSeconds, kIdleMostSeconds) * wave.SampleRate);
    while (testOn() && r.samplesTaken < idleEnd) {
        const bool canEnd = r.currentOn || (r.running() && limitOn(setup.MaxOffTime));
        if (!canEnd) break;
        engine.ProcessTick();
    }

    result.ok = true;
    result.rangeIndex = setup.RangeIndex;
    result.currentDecimals = formatDecimals(r.currentFormat);
    result.testMode = setup.TestMode;
    result.fullScaleAmps = r.fullScaleAmps;
    result.sampleRate = wave.SampleRate;
    result.endSeconds = static_cast<double>(r.samplesTaken) / wave.SampleRate;
    result.ended = !testOn();
    if (r.endReason == EndReason::OverRange) {
        result.ending = "Overrange Detected";
    } else if (r.endReason == EndReason::Timeout) {
        result.ending = "Test Timeout";
    } else {
        result.ending = "Test not ended";
        result.notEndedReason = notEndedReason(r, setup);
        result.pulseOn = r.currentOn && r.running();
    }
    for (std::size_t i = 0; i < pulses.pulses.size(); ++i) {
        const PulseResult& p = pulses.pulses[i];
        AnalysisPulse a;
        a.result = p;
        if (i < pulses.cycles.size()) a.cycleTable = std::move(pulses.cycles[i]);
        a.current = formatNumber(r.currentFormat, p.pulseAmps) + (p.suspect ? "?" : "");
        a.seconds = formatNumber(r.secondsFormat, p.seconds);
        a.cycles = formatNumber(r.cyclesFormat, p.cycles);
        result.pulses.push_back(a);
    }
    return result;
}

} // namespace qarn3
