#pragma once

#include <functional>

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
