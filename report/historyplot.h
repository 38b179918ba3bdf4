#pragma once

#include "records/history.h"

#include <string>
#include <vector>

namespace qarn3 {

// One session's showing on a history line: where it is drawn and what it says.
struct HistoryMark {
    int session = 0;         // the session's place on the horizontal axis, oldest 0
    double percent = 0;      // its position in its band, 0 at the minimum, 100 at the maximum
    double shownPercent = 0; // percent held within the plot's vertical extent
    bool outside = false;    // below 0 % or above 100 %: labelled with its percent
    bool clipped = false;    // beyond the plot's extent: drawn at its edge
    bool movedTowardEdge = false;
    std::string label; // "-25 %", "132 %" for a point outside the band; else empty
};

// One pole's line of a kind's history.
struct HistoryLine {
    Pole pole = Pole::A;
    std::vector<HistoryMark> marks; // oldest first
};

// One kind's history: its lines on the sessions' axis, from low to high percent.
struct HistoryPanel {
    PointKind kind = PointKind::LongTime;
    std::string title; // "long-time"
    std::vector<HistoryLine> lines;
    double low = 0, high = 100; // the vertical extent, in percent
};

// A breaker's history as drawn: one panel a kind (in the order of the points), the sessions'
// labels (local dates "2026-12-08", oldest first) shared by the panels.
struct HistoryPlot {
    std::vector<std::string> sessions;
    std::vector<HistoryPanel> panels;
};

// The vertical extent always shows 0 to 100 % with a margin, widened in steps of 25 % to take
// the points outside, but never beyond kHistoryLowest and kHistoryHighest: a point further
// out is drawn at the edge (clipped) and its label says where it lies.
constexpr double kHistoryLowest = -100, kHistoryHighest = 200;
HistoryPlot historyPlotOf(const std::vector<HistoryPoint>& points);

// The pixel of a session's place in a plot area from left over width (a single session in the
// middle), and of a percent in an extent from top over height (low at the bottom).
double historyX(int session, int sessions, double left, double width);
double historyY(double percent, double low, double high, double top, double height);

} // namespace qarn3
