#pragma once

#include "records/model.h"
#include "report/timecurrent.h"
#include "waveform/plotengine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// The part of a shot's waveform a snapshot shows: the samples of its file, and the pulse with
// a margin on either side.
struct WaveformSnapshot {
    std::vector<std::int16_t> samples; // the file's, as the program reads them
    double sampleRate = 2400;
    float ampsPerCount = 0;
    double from = 0, to = 0; // seconds shown
    double pulseStart = 0, pulseEnd = 0;
    bool pulseKnown = false; // false: the busiest stretch is shown, without the pulse's marks
};

// The snapshot of a pulse in a waveform file's bytes: from its start a quarter of its length
// (at least two mains cycles) before it to as much after its end, in amperes of the reading
// (the scale that makes the RMS of the pulse's samples the reading's current, as the program
// shows a waveform it has measured). Where the start is not known, the stretch where the
// current reaches a quarter of its largest value, in the file's amperes. False, with the
// reason, for bytes that are not a waveform file.
bool snapshotOf(const std::string& fileBytes, const ShotReading& reading, WaveformSnapshot& out,
                std::string& error);

// Draws the snapshot over the whole canvas with the plot engine, as the waveform viewer draws
// a waveform (seconds across, amperes up, the trace with its marks where samples lie apart),
// the pulse's start and end marked green and red.
void drawSnapshot(PlotEngine& plot, PlotCanvas& canvas, const WaveformSnapshot& snapshot,
                  const TimeCurrentStyle& style);

} // namespace qarn3
