#pragma once

#include "calsetup/setup.h"
#include "engine/display.h"
#include "waveform/cycles.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

struct TWaveformData;

// What to analyse a waveform file with; unset values come from the setup and calibration
// files when given, else from their defaults. The test mode follows the file's wave type
// ('N' pulse test, 'M' long test) unless testMode is given.
struct AnalysisOptions {
    std::string waveFile;
    std::string setupFile;
    std::string calFile;
    std::optional<int> rangeIndex;
    std::optional<double> shuntAmperes, shuntMillivolts;
    std::optional<double> maxOnTime, maxOffTime;
    std::optional<int> testMode;
    char decimalSeparator = '.'; // of the setup file
    // A cycle table for each pulse, cut at the mains frequency given (50 or 60), else at the
    // one of the site file beside the setup file, else at 60 Hz.
    bool cycles = false;
    std::optional<int> mainsHz;
    // A COMTRADE recording's channel to measure (its id); empty: the only analog channel,
    // else the only one in amperes.
    std::string channel;
};

// The setup and calibration every file of a run is analysed with, read once: the setup record
// with the options applied, and the calibration file's text (none: the defaults).
struct AnalysisSettings {
    TSetupRecord setup;
    std::optional<std::string> calText;
    int mainsHz = 60; // for the cycle tables
};

struct AnalysisPulse {
    PulseResult result;
    std::string current; // in the range's format, "?" appended when suspect
    std::string seconds; // "%8.4f secs"
    std::string cycles;  // "%8.2f cycs"
    // With AnalysisOptions::cycles: the pulse's samples in the capture, cut into mains cycles
    // as the waveform viewer cuts them; row start times are the file's.
    std::optional<CycleTable> cycleTable;
};

// Everything one analysis found; plain values only, so that results of many files can be
// gathered and written in any form.
struct AnalysisResult {
    bool ok = false;
    std::string error; // why the analysis could not run
    std::string waveFile;
    int rangeIndex = 0;
    int currentDecimals = 1; // decimals of the range's current format ("%5.1f A": 1)
    int testMode = 0;        // 0 pulse test, 1 long test, as played
    double fullScaleAmps = 0;
    double sampleRate = 0;
    std::vector<AnalysisPulse> pulses;
    // "Test Timeout" or "Overrange Detected" when the test ended, else "Test not ended".
    std::string ending;
    bool ended = false;
    // Why a test did not end (empty when it did), in plain words.
    std::string notEndedReason;
    bool pulseOn = false;  // a pulse was still on when the analysis stopped
    double endSeconds = 0; // samples played until the test ended or the analysis stopped
    // The amperes per count the range measured with (the engine's, after choosing the range).
    double ampsPerCount = 0;
    // A COMTRADE recording only: the waveform file of the counts measured (as the analyzer
    // would have recorded them on the range), and how many of its samples were over the
    // range and clipped at +-2047.
    std::string convertedWaveform;
    std::size_t clippedSamples = 0;
    // A COMTRADE recording's first sample: its time on the recorder's clock (microseconds
    // since 1970) and that clock's offset from UTC in minutes where the file gives it.
    std::optional<std::int64_t> recordingStartMicros;
    std::optional<int> recordingTimeCodeMinutes;
};

// Plays a waveform file through the measurement engine exactly as demonstration mode does
// (a COMTRADE recording, .cfg or .cff, as if the analyzer had recorded its current on the
// range: see comtradeCounts; its test mode is the setup's or the option's)
// after RUN (one 200 ms tick's worth of samples at a time), as fast as it can. After the
// file's samples the idle feed follows, as in the program, until the time limits end the test
// or nothing can end it any more. Each call has its own engine and records: calls may run on
// several threads at once.
AnalysisResult analyzeWaveform(const AnalysisOptions& options);

// Analyses waveform files one after another with records and buffers allocated once: one
// per worker thread. Each analysis gives what a new engine would, whatever came before.
class WaveAnalyzer {
public:
    WaveAnalyzer();
    ~WaveAnalyzer();
    WaveAnalyzer(const WaveAnalyzer&) = delete;
    WaveAnalyzer& operator=(const WaveAnalyzer&) = delete;
    // As analyzeWaveform with prepared settings.
    AnalysisResult analyze(const AnalysisOptions& options, const AnalysisSettings& settings);

private:
    struct Buffers;
    std::unique_ptr<Buffers> m_buffers;
};

// Reads and checks the setup and calibration files the options name and applies the options;
// returns an error message, empty on success.
std::string prepareSettings(const AnalysisOptions& options, AnalysisSettings& settings);
// As above with settings prepared once for many files; only options.waveFile and
// options.testMode are taken from the options. Safe to call on several threads at once with
// the same settings.
AnalysisResult analyzeWaveform(const AnalysisOptions& options, const AnalysisSettings& settings);

// Reads a waveform file into the store as a demonstration loads it; returns the reader's
// message (with the reason when the file could not be read), empty on success.
std::string readWaveformFile(const std::string& path, TWaveformData& wave);

// One line per pulse and the ending, or the same as JSON.
std::string formatAnalysisText(const AnalysisResult& r);
std::string formatAnalysisJson(const AnalysisResult& r);

} // namespace qarn3
