#pragma once

#include "engine/analysis.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qarn3 {

// One entry of a run: a waveform file to analyse, or a folder that could not be listed (the
// reason in error), kept at its place in the order.
struct InputFile {
    std::string path;
    std::string error;
};

// The files the command-line arguments name, in order. A file is taken as it is named; a
// folder gives its waveform files and COMTRADE recordings (isInputFileName; a .cfg's data
// file is read with it) and those of its subfolders, sorted by name (byte order), subfolders
// at their place among the files. Hidden entries (names beginning with '.') and symbolic
// links to folders inside a folder are skipped. notes receives a line for each folder without
// any; a folder named as a recording (".cfg", ".cff") is an entry with its error.
std::vector<InputFile> expandInputs(const std::vector<std::string>& args,
                                    std::vector<std::string>& notes);

// True for a name the folder walk takes: ".owf", ".cfg" or ".cff" in any case, after at least
// one character.
bool isInputFileName(const std::string& name);

// Analyses the inputs on `workers` threads (each with its own engine and records; the
// settings are only read) and hands every result to emit on the calling thread, in the order
// of the inputs, as soon as it and all before it are done. progress, when given, is called on
// the calling thread with the count of finished files whenever it grows.
void analyzeAll(const std::vector<InputFile>& inputs, const AnalysisOptions& options,
                const AnalysisSettings& settings, unsigned workers,
                const std::function<void(const AnalysisResult&)>& emit,
                const std::function<void(std::size_t done, std::size_t total)>& progress = {});

} // namespace qarn3
