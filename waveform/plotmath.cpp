#include "waveform/plotmath.h"

#include <algorithm>
#include <cmath>

namespace qarn3 {

int valueDecimals(double v) {
    const double a = std::fabs(v);
    if (a == 0) return 99;
    if (a > 1) return std::max(0, -static_cast<int>(std::trunc(std::log10(a * 1.001))));
    if (a == 1) return 0;
    return 1 - static_cast<int>(std::trunc(std::log10(a * 1.001)));
}

namespace {
// One step of the tick search: the steps for a target spacing raw.
TickChoice stepsFor(double raw, double minStep) {
    if (!(raw > 0) || !std::isfinite(raw)) return {};
    double s = 1;
    int d = 0;
    while (raw < 0.5) {
        raw *= 10;
        s /= 10;
        ++d;
    }
    while (raw >= 5) {
        raw /= 10;
        s *= 10;
    }
    TickChoice t;
    if (raw < 1) {
        t.majorStep = s;
        t.minorStep = s / 5;
    } else if (raw >= 2) {
        t.majorStep = 5 * s;
        t.minorStep = s;
    } else {
        t.majorStep = 2 * s;
        t.minorStep = s / 2;
    }
    t.majorStep = std::max(t.majorStep, minStep);
    t.minorStep = std::max(t.minorStep, minStep);
    t.decimals = std::min(d, valueDecimals(minStep));
    return t;
}
} // namespace

int maxTicksFor(int lengthPx) {
    return std::clamp(lengthPx / 2, 10, kMaxAxisTicks);
}

TickChoice chooseLinearTicks(double visibleMin, double visibleMax, int lengthPx, int charWidth,
                             double minStep, const std::function<int(double, int)>& labelFitCount) {
    const double range = visibleMax - visibleMin;
    const int n = std::clamp(lengthPx / std::max(1, 5 * charWidth), 1, kMaxAxisLabels);
    if (!(range > 0) || !std::isfinite(range)) return {};
    // The first choice never has more than 5 n + 2 ticks; a smaller step is taken only to fit
    // two labels, and only while the area can still draw its ticks (at most one every two
    // pixels, never more than a few hundred). When no labels fit at all, the last step the
    // area could draw stays. A minimum step can hold the steps still: the shrinking ends
    // well before it could matter otherwise (0.8^41, a ten-thousandth).
    const double maxTicks = maxTicksFor(lengthPx);
    TickChoice t = stepsFor(range / (n + 0.000001), minStep);
    for (double shrink = 0.8; shrink > 1e-4; shrink *= 0.8) {
        if (!labelFitCount || labelFitCount(t.majorStep, t.decimals) >= 2) break;
        const TickChoice smaller = stepsFor(range / (n + 0.000001) * shrink, minStep);
        if (!(range / smaller.minorStep <= maxTicks)) break;
        t = smaller;
    }
    return t;
}

std::vector<LogTick> chooseLogTicks(double visibleMin, double visibleMax, int lengthPx,
                                    int labelSpacingPx) {
    std::vector<LogTick> ticks;
    if (!(visibleMin > 0) || !(visibleMax > visibleMin) || !std::isfinite(visibleMax) ||
        lengthPx < 1)
        return ticks;
    const double decades = std::log10(visibleMax / visibleMin);
    if (!(decades * 9 <= kMaxAxisTicks)) return ticks;
    const double decadePx = lengthPx / decades;
    const bool minors = decadePx >= 20;
    const int labelEvery =
        std::max(1, static_cast<int>(std::ceil(labelSpacingPx / std::max(decadePx, 1e-9))));
    // Within rounding of the ends counts as inside: 0.1 of an axis from 0.1 is on it, also when
    // the end came through a float (0.1f is 0.10000000149).
    const double lo = visibleMin * (1 - 1e-6), hi = visibleMax * (1 + 1e-6);
    const int first = static_cast<int>(std::floor(std::log10(lo)));
    const int last = static_cast<int>(std::floor(std::log10(hi)));
    for (int k = first; k <= last; ++k) {
        const double decade = std::pow(10.0, k);
        for (int i = 1; i <= 9; ++i) {
            const double v = i * decade;
            if (v < lo || v > hi || (i > 1 && !minors)) continue;
            ticks.push_back({v, i == 1, i == 1 && k % labelEvery == 0});
        }
    }
    const auto labels = [&ticks] {
        return std::count_if(ticks.begin(), ticks.end(),
                             [](const LogTick& t) { return t.labelled; });
    };
    const auto labelMinors = [&ticks](bool all) {
        for (LogTick& t : ticks) {
            const double digit =
                std::round(t.value / std::pow(10.0, std::floor(std::log10(t.value * (1 + 1e-9)))));
            if (all || digit == 2 || digit == 5) t.labelled = true;
        }
    };
    if (labels() < 2) labelMinors(false);
    if (labels() < 2) labelMinors(true);
    return ticks;
}

int logLabelDecimals(double v) {
    return v >= 1 ? 0 : valueDecimals(v);
}

void forEachMultiple(double from, double to, double step, const std::function<void(double)>& fn) {
    if (!(step > 0) || !(to >= from)) return;
    // Whole multiples, counted rather than summed, so that rounding can neither stall nor
    // lengthen the walk.
    const double first = std::ceil(from / step - 1e-6);
    const double last = std::floor(to / step + 1e-6);
    if (!std::isfinite(first) || !std::isfinite(last) || last - first > 4 * kMaxAxisTicks) return;
    for (double k = first; k <= last; ++k)
        fn(k * step);
}

int fractionToPixel(double origin, double fraction, double length, bool downward) {
    double p = downward ? origin - fraction * length : origin + fraction * length;
    if (!std::isfinite(p)) p = p > 0 ? 32767 : -32768;
    p = std::clamp(p, -32768.0, 32767.0);
    return static_cast<int>(std::lround(p));
}

bool clipSegment(int& x1, int& y1, int& x2, int& y2, int left, int top, int right, int bottom) {
    if ((x1 < left && x2 < left) || (x1 > right && x2 > right) || (y1 < top && y2 < top) ||
        (y1 > bottom && y2 > bottom))
        return false;
    if (x1 == x2) {
        y1 = std::clamp(y1, top, bottom);
        y2 = std::clamp(y2, top, bottom);
        return true;
    }
    auto atX = [](int ax, int ay, int bx, int by, int x) {
        return static_cast<int>(
            std::lround(ay + static_cast<double>(by - ay) * (x - ax) / (bx - ax)));
    };
    auto atY = [](int ax, int ay, int bx, int by, int y) {
        return static_cast<int>(
            std::lround(ax + static_cast<double>(bx - ax) * (y - ay) / (by - ay)));
    };
    // Vertical edges first.
    for (int* px : {&x1, &x2}) {
        int* py = px == &x1 ? &y1 : &y2;
        const int ox = px == &x1 ? x2 : x1, oy = px == &x1 ? y2 : y1;
        if (*px < left) {
            *py = atX(*px, *py, ox, oy, left);
            *px = left;
        } else if (*px > right) {
            *py = atX(*px, *py, ox, oy, right);
            *px = right;
        }
    }
    // Then the horizontal edges.
    for (int* py : {&y1, &y2}) {
        int* px = py == &y1 ? &x1 : &x2;
        const int ox = py == &y1 ? x2 : x1, oy = py == &y1 ? y2 : y1;
        if (oy == *py) continue;
        if (*py < top) {
            *px = atY(*px, *py, ox, oy, top);
            *py = top;
        } else if (*py > bottom) {
            *px = atY(*px, *py, ox, oy, bottom);
            *py = bottom;
        }
    }
    return x1 >= left && x1 <= right && x2 >= left && x2 <= right && y1 >= top && y1 <= bottom &&
           y2 >= top && y2 <= bottom;
}

} // namespace qarn3
