#include "engine/analysis.h"

#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "diag/debuglog.h"
#include "diag/services.h"
#include "engine/engine.h"
#include "engine/ranges.h"
#include "link/analyzerlink.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"
#include "platform/textformat.h"
#include "waveform/waveform.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

namespace qarn3 {

namespace {

class Collector : public EngineDisplay {
public:
    std::vector<PulseResult> pulses;
    void pulseMeasured(const PulseResult& r) override { pulses.push_back(r); }
};

std::string lastBoxText(const ScriptedDialogs& d, const std::string& fallback) {
    return d.shown().empty() ? fallback : d.shown().back().text;
}

std::string jsonEscape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    // Six significant digits, always with '.', whatever the process locale.
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

bool limitOn(double seconds) {
    return seconds > 0.01; // as the engine's time-outs: 0.01 s or less disables a limit
}

// The idle feed after a file is played for at most the enabled limits and a second more
// (enough for any pulse still on to finish and the off limit to pass), and never more than a
// day, so that a huge limit cannot keep the analysis going for hours.
constexpr double kIdleMarginSeconds = 1.0;
constexpr double kIdleMostSeconds = 24 * 3600.0;

// Setup, calibration and waveform as the program would hold them for the demonstration.
struct Inputs {
    TSetupRecord setup;
    TCalRecord cal;
    TWaveformData wave;
};

// Reads what the options name into the records; returns an error message, empty on success.
std::string loadInputs(const AnalysisOptions& o, Inputs& in, Services& services,
                       ScriptedDialogs& dialogs) {
    TSetupRecord& setup = in.setup;
    setSetupDefaults(setup);
    setup.SourceName = "WAV";
    if (!o.setupFile.empty()) {
        // Only what the program itself would read: a huge file neither fills memory nor
        // holds the analysis up.
        const auto text = services.files.readPrefix(o.setupFile, kSetupReadLimit);
        if (!text) return "Cannot open setup file " + o.setupFile;
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

    WaveformFiles waveFiles(in.wave, services, "");
    if (!waveFiles.LoadFile(o.waveFile))
        return lastBoxText(dialogs, "Cannot open file " + o.waveFile);
    // The file's wave type sets the test mode as a demonstration does; the option overrides.
    if (in.wave.Header.WaveType == 'N')
        setup.TestMode = 0;
    else if (in.wave.Header.WaveType == 'M')
        setup.TestMode = 1;
    if (o.testMode) setup.TestMode = static_cast<std::uint8_t>(*o.testMode);

    TCalRecord& cal = in.cal;
    setCalDefaults(cal, 0);
    cal.AvgSamples = static_cast<std::int32_t>(std::lrint(in.wave.SampleRate * cal.AvgTime));
    if (!o.calFile.empty()) {
        const auto text = services.files.readPrefix(o.calFile, kCalImageSize);
        if (!text) return "Cannot open calibration file " + o.calFile;
        cal.CalImage = text->substr(0, kCalImageSize);
        cal.CalImage.resize(kCalImageSize, ' ');
        dialogs.clear();
        dialogs.answerList("OK,Cancel,Cancel"); // never replace a file here
        CalFile calFile(cal, in.wave.SampleRate, services, "");
        calFile.ParseCalImage();
        if (!dialogs.shown().empty())
            return "Calibration file " + o.calFile + ": " + dialogs.shown()[0].text;
    }
    return {};
}

// Why nothing more can happen to a test that has not ended.
std::string notEndedReason(const TQARN3Update& engine, const TSetupRecord& setup) {
    if (engine.CurrentOn && engine.Running) return "a pulse is still on";
    if (!engine.Running) return "no pulse was seen";
    if (!limitOn(setup.MaxOffTime))
        return "the MaxOff limit is disabled, so only STOP would end it";
    return "the MaxOff limit had not passed when the analysis stopped";
}

} // namespace

AnalysisResult analyzeWaveform(const AnalysisOptions& o) {
    AnalysisResult result;
    result.waveFile = o.waveFile;
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
    auto in = std::make_unique<Inputs>();
    result.error = loadInputs(o, *in, services, dialogs);
    if (!result.error.empty()) return result;
    TSetupRecord& setup = in->setup;
    TWaveformData& wave = in->wave;

    SharedState shared;
    const RangeTables tables = buildRangeTables(setup.ShuntAmperes, setup.ShuntMillivolts);
    shared.RangeFormat = tables.RangeFormat;
    shared.DemoMode = true;
    wave.FileName = bareFileName(o.waveFile);
    NoAnalyzerLink usb, com;
    Collector display;
    EngineContext context{setup, in->cal, wave, shared, usb, com, display, log};
    TQARN3Update engine(context);
    engine.SetRange();
    engine.loadDemo(wave.Samples.get(), wave.SampleCount - 1);
    engine.ResetTest();
    engine.Start();
    auto testOn = [&engine] { return engine.Armed || engine.Running; };
    while (testOn() && engine.DemoIndex < kDemoLength)
        engine.ProcessTick();

    // The file is played: the idle feed follows while a time limit can still end the test.
    double idleSeconds = kIdleMarginSeconds;
    if (limitOn(setup.MaxOnTime)) idleSeconds += setup.MaxOnTime;
    if (limitOn(setup.MaxOffTime)) idleSeconds += setup.MaxOffTime;
    const std::int64_t idleEnd =
        engine.SamplesTaken +
        std::llround(std::min(idleSeconds, kIdleMostSeconds) * wave.SampleRate);
    while (testOn() && engine.SamplesTaken < idleEnd) {
        const bool canEnd = engine.CurrentOn || (engine.Running && limitOn(setup.MaxOffTime));
        if (!canEnd) break;
        engine.ProcessTick();
    }

    result.ok = true;
    result.rangeIndex = setup.RangeIndex;
    result.testMode = setup.TestMode;
    result.fullScaleAmps = shared.FullScaleAmps;
    result.sampleRate = wave.SampleRate;
    result.endSeconds = static_cast<double>(engine.SamplesTaken) / wave.SampleRate;
    result.ended = !testOn();
    if (engine.EndReason == 3) {
        result.ending = "Overrange Detected";
    } else if (engine.EndReason == 1) {
        result.ending = "Test Timeout";
    } else {
        result.ending = "Test not ended";
        result.notEndedReason = notEndedReason(engine, setup);
        result.pulseOn = engine.CurrentOn && engine.Running;
    }
    for (const PulseResult& p : display.pulses) {
        AnalysisPulse a;
        a.result = p;
        a.current = formatNumber(engine.CurrentFormat, p.pulseAmps) + (p.suspect ? "?" : "");
        a.seconds = formatNumber(engine.SecondsFormat, p.seconds);
        a.cycles = formatNumber(engine.CyclesFormat, p.cycles);
        result.pulses.push_back(a);
    }
    return result;
}

std::string makeDemoFiles(const std::string& folder) {
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
    if (!makeFolders(folder)) return "Cannot create folder " + folder;
    TWaveformData store;
    WaveformFiles wave(store, services, folder);
    const std::pair<const char*, const TWaveSegments*> demos[] = {
        {"QARN3Pulse.owf", &PulseSegments}, {"QARN3Long.owf", &LongSegments}};
    for (const auto& [name, segments] : demos) {
        if (files.exists(resolveInFolder(folder, name))) continue;
        if (!wave.MakeWaveFile(name, segments == &LongSegments, *segments))
            return lastBoxText(dialogs, std::string("Cannot write ") + name);
    }
    return {};
}

std::string formatAnalysisText(const AnalysisResult& r) {
    std::string s;
    int n = 0;
    for (const AnalysisPulse& p : r.pulses) {
        s += "Pulse " + std::to_string(++n) + " at " +
             formatNumber("%8.4f", p.result.startSeconds) + " s: " + p.current + "  " + p.seconds +
             "  " + p.cycles + (p.result.underRange ? "  Underrange" : "") +
             (p.result.cutShort ? "  cut short by the MaxOn limit" : "") + "\n";
    }
    const std::string at = " at " + formatNumber("%.4f", r.endSeconds) + " s";
    if (r.ended)
        s += r.ending + at + "\n";
    else
        s += r.ending + at + ": " + r.notEndedReason + "\n";
    return s;
}

std::string formatAnalysisJson(const AnalysisResult& r) {
    auto flag = [](bool b) { return b ? "true" : "false"; };
    std::string s = "{\"file\": \"" + jsonEscape(r.waveFile) +
                    "\", \"range\": " + std::to_string(r.rangeIndex) +
                    ", \"testMode\": " + std::to_string(r.testMode) +
                    ", \"fullScaleAmps\": " + jsonNumber(r.fullScaleAmps) +
                    ", \"sampleRate\": " + jsonNumber(r.sampleRate) + ", \"pulses\": [";
    for (std::size_t i = 0; i < r.pulses.size(); ++i) {
        const PulseResult& p = r.pulses[i].result;
        s += std::string(i ? ", " : "") + "{\"start\": " + jsonNumber(p.startSeconds) +
             ", \"amps\": " + jsonNumber(p.pulseAmps) + ", \"current\": \"" +
             jsonEscape(trimText(r.pulses[i].current)) + "\", \"suspect\": " + flag(p.suspect) +
             ", \"seconds\": " + jsonNumber(p.seconds) + ", \"cycles\": " + jsonNumber(p.cycles) +
             ", \"onSamples\": " + std::to_string(p.onSamples) +
             ", \"underRange\": " + flag(p.underRange) + ", \"cutShort\": " + flag(p.cutShort) +
             "}";
    }
    s += "], \"ending\": \"" + jsonEscape(r.ending) + "\", \"ended\": " + flag(r.ended);
    if (!r.ended)
        s += ", \"notEndedReason\": \"" + jsonEscape(r.notEndedReason) +
             "\", \"pulseOn\": " + flag(r.pulseOn);
    s += ", \"endSeconds\": " + jsonNumber(r.endSeconds) + "}\n";
    return s;
}

} // namespace qarn3
