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

#include <cmath>
#include <cstdio>

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
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

} // namespace

AnalysisResult analyzeWaveform(const AnalysisOptions& o) {
    AnalysisResult result;
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};

    TSetupRecord setup;
    setSetupDefaults(setup);
    setup.SourceName = "WAV";
    if (!o.setupFile.empty()) {
        const auto text = files.readAll(o.setupFile);
        if (!text) {
            result.error = "Cannot open setup file " + o.setupFile;
            return result;
        }
        try {
            parseSetupText(*text, setup, o.decimalSeparator);
        } catch (const ConvertError& e) {
            result.error = "Setup file " + o.setupFile + ": " + e.what();
            return result;
        }
    }
    if (o.rangeIndex) setup.RangeIndex = static_cast<std::int16_t>(*o.rangeIndex);
    if (o.shuntAmperes) setup.ShuntAmperes = *o.shuntAmperes;
    if (o.shuntMillivolts) setup.ShuntMillivolts = *o.shuntMillivolts;
    if (o.maxOnTime) setup.MaxOnTime = *o.maxOnTime;
    if (o.maxOffTime) setup.MaxOffTime = *o.maxOffTime;
    if (o.testMode) setup.TestMode = static_cast<std::uint8_t>(*o.testMode);
    setup.SourceKind = kSourceNone;
    if (setup.RangeIndex < 1 || setup.RangeIndex > 8) {
        result.error = "Range must be 1 to 8";
        return result;
    }
    if (!(setup.ShuntMillivolts > 0) || !(setup.ShuntAmperes > 0)) {
        result.error = "Shunt amperes and millivolts must be greater than zero";
        return result;
    }

    TWaveformData wave;
    WaveformFiles waveFiles(wave, services, "");
    if (!waveFiles.LoadFile(o.waveFile)) {
        result.error = lastBoxText(dialogs, "Cannot open file " + o.waveFile);
        return result;
    }

    TCalRecord cal;
    setCalDefaults(cal, 0);
    cal.AvgSamples = static_cast<std::int32_t>(std::lrint(wave.SampleRate * cal.AvgTime));
    if (!o.calFile.empty()) {
        const auto text = files.readAll(o.calFile);
        if (!text) {
            result.error = "Cannot open calibration file " + o.calFile;
            return result;
        }
        cal.CalImage = text->substr(0, kCalImageSize);
        cal.CalImage.resize(kCalImageSize, ' ');
        dialogs.clear();
        dialogs.answerList("OK,Cancel,Cancel"); // never replace a file here
        CalFile calFile(cal, wave.SampleRate, services, "");
        calFile.ParseCalImage();
        if (!dialogs.shown().empty()) {
            result.error = "Calibration file " + o.calFile + ": " + dialogs.shown()[0].text;
            return result;
        }
    }

    SharedState shared;
    const RangeTables tables = buildRangeTables(setup.ShuntAmperes, setup.ShuntMillivolts);
    shared.RangeFormat = tables.RangeFormat;
    shared.DemoMode = true;
    wave.FileName = bareFileName(o.waveFile);
    NoAnalyzerLink usb, com;
    Collector display;
    EngineContext context{setup, cal, wave, shared, usb, com, display, log};
    TQARN3Update engine(context);
    engine.SetRange();
    engine.loadDemo(wave.Samples.get(), wave.SampleCount - 1);
    engine.ResetTest();
    engine.Start();
    while ((engine.Armed || engine.Running) && engine.DemoIndex < kDemoLength)
        engine.ProcessTick();

    result.ok = true;
    result.rangeIndex = setup.RangeIndex;
    result.fullScaleAmps = shared.FullScaleAmps;
    result.sampleRate = wave.SampleRate;
    result.endSeconds = engine.SamplesTaken / wave.SampleRate;
    switch (engine.EndReason) {
    case 1:
        result.ending = "Test Timeout";
        break;
    case 2:
        result.ending = "Test Stopped";
        break;
    case 3:
        result.ending = "Overrange Detected";
        break;
    default:
        result.ending = "Running";
        break;
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
             "  " + p.cycles + (p.result.underRange ? "  Underrange" : "") + "\n";
    }
    if (r.ending == "Running")
        s += "Test still running at the end of the file (" + formatNumber("%.4f", r.endSeconds) +
             " s)\n";
    else
        s += r.ending + " at " + formatNumber("%.4f", r.endSeconds) + " s\n";
    return s;
}

std::string formatAnalysisJson(const AnalysisResult& r) {
    std::string s = "{\"range\": " + std::to_string(r.rangeIndex) +
                    ", \"fullScaleAmps\": " + jsonNumber(r.fullScaleAmps) +
                    ", \"sampleRate\": " + jsonNumber(r.sampleRate) + ", \"pulses\": [";
    for (std::size_t i = 0; i < r.pulses.size(); ++i) {
        const PulseResult& p = r.pulses[i].result;
        s += std::string(i ? ", " : "") + "{\"start\": " + jsonNumber(p.startSeconds) +
             ", \"amps\": " + jsonNumber(p.pulseAmps) + ", \"current\": \"" +
             jsonEscape(trimText(r.pulses[i].current)) +
             "\", \"suspect\": " + (p.suspect ? "true" : "false") +
             ", \"seconds\": " + jsonNumber(p.seconds) + ", \"cycles\": " + jsonNumber(p.cycles) +
             ", \"onSamples\": " + std::to_string(p.onSamples) +
             ", \"underRange\": " + (p.underRange ? "true" : "false") + "}";
    }
    s += "], \"ending\": \"" +
         jsonEscape(r.ending == "Running" ? "Running at end of file" : r.ending) +
         "\", \"endSeconds\": " + jsonNumber(r.endSeconds) + "}\n";
    return s;
}

} // namespace qarn3
