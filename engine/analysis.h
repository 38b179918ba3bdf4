#pragma once

#include "engine/display.h"

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

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
};

struct AnalysisPulse {
    PulseResult result;
    std::string current; // in the range's format, "?" appended when suspect
    std::string seconds; // "%8.4f secs"
    std::string cycles;  // "%8.2f cycs"
};

// Everything one analysis found; plain values only, so that results of many files can be
// gathered and written in any form.
struct AnalysisResult {
    bool ok = false;
    std::string error; // why the analysis could not run
    std::string waveFile;
    int rangeIndex = 0;
    int testMode = 0; // 0 pulse test, 1 long test, as played
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
};

// Plays a waveform file through the measurement engine exactly as demonstration mode does
// after RUN (one 200 ms tick's worth of samples at a time), as fast as it can. After the
// file's samples the idle feed follows, as in the program, until the time limits end the test
// or nothing can end it any more. Each call has its own engine and records: calls may run on
// several threads at once.
AnalysisResult analyzeWaveform(const AnalysisOptions& options);

// Writes the built-in demonstration waveforms into the folder where they are missing;
// returns an error message, empty on success.
std::string makeDemoFiles(const std::string& folder);

// One line per pulse and the ending, or the same as JSON.
std::string formatAnalysisText(const AnalysisResult& r);
std::string formatAnalysisJson(const AnalysisResult& r);

} // namespace qarn3
