#pragma once

#include <functional>
#include <vector>

namespace qarn3 {

// How a linear axis is divided: the result of the tick choice.
struct TickChoice {
    double majorStep = 0;
    double minorStep = 0;
    int decimals = 0; // places of the labels
};

// Decimal places a value needs: 99 for 0, 0 for |v| >= 1 (from the magnitude), else
// 1 - trunc(log10(|v| x 1.001)).
int valueDecimals(double v);

// At most this many labels are aimed at on an axis, and at most this many ticks (and grid
// lines) drawn, however large or small its area.
constexpr int kMaxAxisLabels = 60;
constexpr int kMaxAxisTicks = 300;
// The most ticks a smaller step may give on an axis lengthPx long: one every two pixels, at
// least 10, at most kMaxAxisTicks.
int maxTicksFor(int lengthPx);

// The tick choice for a visible range over lengthPx pixels with the given character width.
// labelFitCount(major, decimals) tells how many major tick labels fit inside the area; the
// choice shrinks the step until at least two fit, but never to more ticks than the area can
// draw (maxTicksFor). An empty or non-finite range gives steps of 0 (no ticks).
TickChoice chooseLinearTicks(double visibleMin, double visibleMax, int lengthPx, int charWidth,
                             double minStep, const std::function<int(double, int)>& labelFitCount);

// One tick of a logarithmic axis: a decade is a major tick.
struct LogTick {
    double value = 0;
    bool major = false;
    bool labelled = false;
};

// The ticks of a logarithmic axis from visibleMin to visibleMax, lengthPx long, as such axes
// are read: a major tick at every decade (0.01, 0.1, 1, 10, 100), minor ticks at 2..9 times
// each decade, in rising order. Decades are labelled, every second or further one when their
// labels would come closer than labelSpacingPx; the minors are left out where a decade is
// shorter than 20 pixels. When fewer than two decades are labelled the minors at 2 and 5 are
// labelled too, and every minor when even that gives fewer than two labels. Nothing for a
// range that is not positive and rising, or one of more decades than an axis draws.
std::vector<LogTick> chooseLogTicks(double visibleMin, double visibleMax, int lengthPx,
                                    int labelSpacingPx);
// Decimal places of a logarithmic axis's label: none from 1 up, else as valueDecimals
// ("0.01", "0.2", "5", "100").
int logLabelDecimals(double v);

// Calls fn with every whole multiple of step from `from` to `to` (within rounding), in
// order; nothing for an empty range, a step that is not positive, or a walk far longer than
// an axis draws.
void forEachMultiple(double from, double to, double step, const std::function<void(double)>& fn);

// Data fraction to pixel, clamped to the 16-bit range and rounded.
int fractionToPixel(double origin, double fraction, double length, bool downward);

// Clips the segment to the rectangle [left, right] x [top, bottom]; false when nothing of it
// is inside.
bool clipSegment(int& x1, int& y1, int& x2, int& y2, int left, int top, int right, int bottom);

} // namespace qarn3
