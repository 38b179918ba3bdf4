#pragma once

#include "engine/display.h"

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// What to analyse a waveform file with; unset values come from the setup and calibration
// files when given, else from their defaults.
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

struct AnalysisResult {
    bool ok = false;
    std::string error; // why the analysis could not run
    int rangeIndex = 0;
    double fullScaleAmps = 0;
    double sampleRate = 0;
    std::vector<AnalysisPulse> pulses;
    std::string ending; // "Test Timeout", "Test Stopped", "Overrange Detected", "Running"
    double endSeconds = 0;
};

// Plays a waveform file through the measurement engine exactly as demonstration mode does
// after RUN (one 200 ms tick's worth of samples at a time), as fast as it can.
AnalysisResult analyzeWaveform(const AnalysisOptions& options);

// Writes the built-in demonstration waveforms into the folder where they are missing;
// returns an error message, empty on success.
std::string makeDemoFiles(const std::string& folder);

// One line per pulse and the ending, or the same as JSON.
std::string formatAnalysisText(const AnalysisResult& r);
std::string formatAnalysisJson(const AnalysisResult& r);

} // namespace qarn3
