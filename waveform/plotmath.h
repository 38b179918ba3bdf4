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

// The tick choice for a visible range over lengthPx pixels with the given character width.
// labelFitCount(major, decimals) tells how many major tick labels fit inside the area; the
// choice shrinks the step until at least two fit.
TickChoice chooseLinearTicks(double visibleMin, double visibleMax, int lengthPx, int charWidth,
                             double minStep, const std::function<int(double, int)>& labelFitCount);

// Data fraction to pixel, clamped to the 16-bit range and rounded.
int fractionToPixel(double origin, double fraction, double length, bool downward);

// Clips the segment to the rectangle [left, right] x [top, bottom]; false when nothing of it
// is inside.
bool clipSegment(int& x1, int& y1, int& x2, int& y2, int left, int top, int right, int bottom);

} // namespace qarn3
