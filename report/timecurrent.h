#pragma once

#include "records/curve.h"
#include "records/verdict.h"
#include "waveform/plotengine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// A band the time-current plot shades: a curve (two or more points), or a typed band of one
// test point (one point, at its target multiple).
struct TimeCurrentBand {
    std::string label; // "Generic Sample-100 short-time", "Band A long-time 3 x In"
    std::vector<CurvePoint> points;
};

// A shot as the plot shows it.
struct TimeCurrentShot {
    double multiple = 0; // measured current / In
    double seconds = 0;
    Verdict verdict = Verdict::NoBand;
    std::string label; // its test point's ("1 A ST")
};

// The band a trip unit's settings give, sampled across the plot: runs of points, a run broken
// where the settings give no band (below every pickup, or inside a pickup's tolerance).
struct TimeCurrentSettingsCurve {
    std::string label; // "Generic Sample-ETU settings as found"
    std::vector<std::vector<CurvePoint>> runs;
};

// A pickup marked on the current axis.
struct TimeCurrentPickup {
    std::string label;   // "Ir", "Isd", "Ii", "Ig"
    double multiple = 0; // x In
};

// What the time-current plot of a session shows.
struct TimeCurrentPlot {
    std::vector<TimeCurrentBand> bands;
    std::vector<TimeCurrentShot> shots;
    std::optional<TimeCurrentSettingsCurve> settingsCurve;
    std::vector<TimeCurrentPickup> pickups;
};

// Colours (0x00BBGGRR) and sizes of the plot: paper for a report, screen for a window.
struct TimeCurrentStyle {
    std::uint32_t background = kPlotWhite;
    std::uint32_t foreground = kPlotBlack;
    std::uint32_t grid = 0x808080;
    std::uint32_t bandFill = 0xE0B080; // light blue
    std::uint32_t bandEdge = 0xA05010; // dark blue
    double bandOpacity = 0.45;
    std::uint32_t settingsLine = 0x900090; // purple: the settings' minimum and maximum
    std::uint32_t pass = 0x00A000, fail = 0x0000D8, doubtful = 0x00B0E8; // green, red, amber
    double fontScale = 1.1;
};
TimeCurrentStyle paperStyle();
TimeCurrentStyle screenStyle();
std::uint32_t verdictPlotColour(Verdict v, const TimeCurrentStyle& style);

// An axis's range in whole decades that holds every value given (1..100 when none is above
// zero).
struct DecadeRange {
    double minimum = 1, maximum = 100;
};
DecadeRange decadeRangeOf(const std::vector<double>& values);
// The multiples the plot spans: those of its bands, shots and pickups. The settings' curve is
// sampled across this range and does not widen it.
DecadeRange multipleRangeOf(const TimeCurrentPlot& data);

// Draws the plot over the whole canvas: logarithmic axes with multiples of In across and
// seconds up, each band shaded between its minimum and maximum lines, the settings' curve as
// its minimum and maximum lines (a minimum of 0 s on the axis's floor), each pickup a tick
// on the current axis with its name, each shot a disc in
// its verdict's colour with its label beside it (moved clear of the labels and discs drawn
// before it where it can), and a legend. Widget-free: the report and the records window draw
// the same plot.
void drawTimeCurrent(PlotEngine& plot, PlotCanvas& canvas, const TimeCurrentPlot& data,
                     const TimeCurrentStyle& style);

} // namespace qarn3
