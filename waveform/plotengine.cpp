#include "waveform/plotengine.h"

#include "platform/textformat.h"

#include <algorithm>
#include <cmath>

namespace qarn3 {

namespace {
// A label in fixed-point notation with the engine's separator; a value that rounds to zero
// is shown without a minus sign.
std::string fixed(double v, int decimals, char separator) {
    std::string s = formatFixed(v, 0, std::clamp(decimals, 0, 15), separator);
    if (s.size() > 1 && s[0] == '-' &&
        s.find_first_not_of(std::string("0") + separator, 1) == std::string::npos)
        s.erase(0, 1);
    return s;
}
} // namespace

void PlotCanvas::fillPolygon(const std::vector<PlotPoint>& points, std::uint32_t colour, double) {
    if (points.size() < 3) return;
    int top = points[0].y, bottom = points[0].y;
    for (const PlotPoint& p : points) {
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    setPen(colour, 1, false);
    std::vector<double> crossings;
    for (int y = top; y <= bottom; ++y) {
        // Edges crossing the row's middle, each counted once (half-open in y).
        const double row = y + 0.5;
        crossings.clear();
        for (std::size_t i = 0; i < points.size(); ++i) {
            const PlotPoint& a = points[i];
            const PlotPoint& b = points[(i + 1) % points.size()];
            if ((a.y <= row) == (b.y <= row)) continue;
            crossings.push_back(a.x + (row - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2)
            line(static_cast<int>(std::lround(crossings[i])), y,
                 static_cast<int>(std::lround(crossings[i + 1])), y);
    }
}

void PlotCanvas::fillEllipse(int x1, int y1, int x2, int y2, std::uint32_t colour) {
    const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
    const double rx = std::abs(x2 - x1) / 2.0, ry = std::abs(y2 - y1) / 2.0;
    setPen(colour, 1, false);
    for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y) {
        const double dy = ry > 0 ? (y - cy) / ry : 0;
        if (dy * dy > 1) continue;
        const double half = rx * std::sqrt(1 - dy * dy);
        line(static_cast<int>(std::lround(cx - half)), y, static_cast<int>(std::lround(cx + half)),
             y);
    }
}

PlotEngine::Area* PlotEngine::area() {
    if (m_areaInvalid || m_areaCount == 0) return nullptr;
    Area& a = m_areas[static_cast<std::size_t>(m_areaCount - 1)];
    return a.valid ? &a : nullptr;
}

const PlotEngine::Area* PlotEngine::currentArea() const {
    if (m_areaInvalid || m_areaCount == 0) return nullptr;
    const Area& a = m_areas[static_cast<std::size_t>(m_areaCount - 1)];
    return a.valid ? &a : nullptr;
}

void PlotEngine::PlotBegin(PlotCanvas* canvas, std::uint32_t background, std::uint32_t foreground,
                           double fontScale) {
    if (m_cross && m_canvas && m_canvas != canvas) m_canvas->invalidate();
    m_canvas = canvas;
    m_background = background;
    m_foreground = foreground;
    if (m_canvas) m_canvas->setCursorHidden(false);
    m_cross = m_band = false;
    m_marks.clear();
    m_areaCount = 0;
    m_areaInvalid = false;
    for (Area& a : m_areas) {
        const double zx0 = a.x.zoomFrom, zx1 = a.x.zoomTo;
        std::array<std::pair<double, double>, kMaxYAxes> zy;
        for (std::size_t i = 0; i < zy.size(); ++i)
            zy[i] = {a.y[i].zoomFrom, a.y[i].zoomTo};
        a = Area{};
        a.x.zoomFrom = zx0;
        a.x.zoomTo = zx1;
        for (std::size_t i = 0; i < zy.size(); ++i) {
            a.y[i].zoomFrom = zy[i].first;
            a.y[i].zoomTo = zy[i].second;
        }
    }
    if (fontScale == 0) fontScale = 1;
    const double size = fontScale * 8;
    m_fontPoints = static_cast<int>(std::lround(size));
    if (!m_canvas) return;
    m_canvas->setFontPoints(m_fontPoints);
    m_charW = std::max(1, m_canvas->textWidth("0"));
    m_charH = std::max(1, m_canvas->textHeight());
    m_majorTick = m_charW + 1;
    m_minorTick = (m_charW + 1) / 2 + 1;
    m_canvas->setXorMode(false);
    m_canvas->fill(background);
    setPen(foreground, 1);
}

void PlotEngine::setPen(std::uint32_t colour, int width) {
    m_penColour = colour;
    if (m_canvas) m_canvas->setPen(colour, width, false);
}

void PlotEngine::PlotArea(double xFrom, double xTo, double yFrom, double yTo, int leftMargin,
                          int rightMargin, int topMargin, int bottomMargin, bool) {
    if (!m_canvas) return;
    if (m_areaCount >= kMaxAreas) {
        m_areaInvalid = true;
        return;
    }
    if (xFrom > xTo) std::swap(xFrom, xTo);
    if (yFrom > yTo) std::swap(yFrom, yTo);
    xFrom = std::clamp(xFrom, 0.0, 100.0);
    xTo = std::clamp(xTo, 0.0, 100.0);
    yFrom = std::clamp(yFrom, 0.0, 100.0);
    yTo = std::clamp(yTo, 0.0, 100.0);
    const int px0 = static_cast<int>(std::lround(xFrom * m_canvas->width() / 100.0));
    const int px1 = static_cast<int>(std::lround(xTo * m_canvas->width() / 100.0));
    const int py0 = static_cast<int>(std::lround(yFrom * m_canvas->height() / 100.0));
    const int py1 = static_cast<int>(std::lround(yTo * m_canvas->height() / 100.0));
    Area& a = m_areas[static_cast<std::size_t>(m_areaCount++)];
    a.left = px0 + leftMargin;
    a.width = (px1 - rightMargin) - a.left;
    a.bottom = py1 - bottomMargin;
    a.height = a.bottom - topMargin - py0;
    a.valid = a.width >= 1 && a.height >= 1;
}

void PlotEngine::setVisible(Axis& ax) const {
    if (ax.logarithmic) {
        const double ratio = ax.maximum / ax.minimum;
        ax.visibleMin = ax.minimum * std::pow(ratio, ax.zoomFrom);
        ax.visibleMax = ax.minimum * std::pow(ratio, ax.zoomTo);
    } else {
        const double r = ax.maximum - ax.minimum;
        ax.visibleMin = ax.minimum + ax.zoomFrom * r;
        ax.visibleMax = ax.minimum + ax.zoomTo * r;
    }
}

// Sets an axis's range and scale. A logarithmic scale needs a positive minimum and a visible
// range of at least a factor of 2.
void PlotEngine::defineAxis(Axis& ax, std::uint32_t colour, double minimum, double maximum,
                            double minimumStep, double minimumZoomSpan, bool logarithmic) const {
    ax.colour = colour;
    ax.minimum = minimum;
    ax.maximum = maximum;
    ax.minStep = minimumStep;
    ax.minZoomFraction = std::max(0.001, minimumZoomSpan / (maximum - minimum));
    ax.logarithmic = false;
    if (logarithmic && minimum > 0) {
        ax.logarithmic = true;
        setVisible(ax);
        if (ax.visibleMax / ax.visibleMin < 2) ax.logarithmic = false;
    }
    setVisible(ax);
    ax.defined = true;
}

double PlotEngine::toFraction(const Axis& ax, double v) const {
    if (ax.logarithmic) {
        if (v <= 0) v = ax.visibleMin / 2;
        return std::log(v / ax.visibleMin) / std::log(ax.visibleMax / ax.visibleMin);
    }
    return (v - ax.visibleMin) / (ax.visibleMax - ax.visibleMin);
}

double PlotEngine::fromFraction(const Axis& ax, double f) const {
    if (ax.logarithmic)
        return ax.visibleMin * std::exp(f * std::log(ax.visibleMax / ax.visibleMin));
    return ax.visibleMin + f * (ax.visibleMax - ax.visibleMin);
}

int PlotEngine::xPixel(double x) const {
    const Area* a = currentArea();
    if (!a || !a->x.defined) return 0;
    return fractionToPixel(a->left, toFraction(a->x, x), a->width, false);
}

int PlotEngine::yPixel(double y, int axis) const {
    const Area* a = currentArea();
    if (!a) return 0;
    const Axis& ax = a->y[static_cast<std::size_t>(axis)];
    if (!ax.defined) return 0;
    return fractionToPixel(a->bottom, toFraction(ax, y), a->height, true);
}

// Every minor tick position of the axis's chosen steps, flagged when it is also a major one;
// a value within rounding of zero is passed as exactly 0.
void PlotEngine::forEachTick(const Axis& ax, const std::function<void(double, bool)>& fn) {
    if (!(ax.ticks.majorStep > 0)) return;
    const double minor = ax.ticks.minorStep;
    forEachMultiple(ax.visibleMin, ax.visibleMax, minor, [&](double v) {
        const double q = v / ax.ticks.majorStep;
        fn(std::fabs(v) < minor * 1e-6 ? 0.0 : v, std::fabs(q - std::round(q)) < 1e-6);
    });
}

void PlotEngine::PlotXAxis(std::uint32_t colour, const std::string& title, bool grid, float minimum,
                           float maximum, float minimumStep, float minimumZoomSpan,
                           bool logarithmic) {
    Area* a = area();
    if (!a || !(maximum > minimum)) return;
    Axis& ax = a->x;
    defineAxis(ax, colour, minimum, maximum, minimumStep, minimumZoomSpan, logarithmic);
    ax.origin = a->left;
    ax.length = a->width;
    m_canvas->setPen(colour, 1, false);
    m_canvas->line(a->left, a->bottom, a->left + a->width + 1, a->bottom);
    drawXTicks(*a, grid, title);
    setPen(m_penColour, 1);
}

void PlotEngine::drawXTicks(Area& a, bool grid, const std::string& title) {
    Axis& ax = a.x;
    if (ax.logarithmic) {
        ax.ticks = {};
        const int spacing = m_canvas->textWidth("0.001") + 2 * m_charW;
        for (const LogTick& t : chooseLogTicks(ax.visibleMin, ax.visibleMax, a.width, spacing)) {
            const int px = fractionToPixel(a.left, toFraction(ax, t.value), a.width, false);
            if (grid && px != a.left) {
                m_canvas->setPen(ax.colour, 1, !t.major);
                m_canvas->line(px, a.bottom, px, a.bottom - a.height);
                m_canvas->setPen(ax.colour, 1, false);
            }
            m_canvas->line(px, a.bottom, px, a.bottom + (t.major ? m_majorTick : m_minorTick));
            if (t.labelled) {
                const std::string label = fixed(t.value, logLabelDecimals(t.value), m_separator);
                m_canvas->text(px - m_canvas->textWidth(label) / 2, a.bottom + m_majorTick + 1,
                               label);
            }
        }
    } else {
        drawLinearXTicks(a, grid);
    }
    if (!title.empty())
        m_canvas->text(a.left + (a.width - m_canvas->textWidth(title)) / 2,
                       a.bottom + m_majorTick + 1 + 2 * m_charH, title);
}

void PlotEngine::drawLinearXTicks(Area& a, bool grid) {
    Axis& ax = a.x;
    const auto fits = [&](double step, int decimals) {
        int count = 0;
        forEachMultiple(ax.visibleMin, ax.visibleMax, step, [&](double v) {
            const int px = fractionToPixel(a.left, toFraction(ax, v), a.width, false);
            const int w = m_canvas->textWidth(fixed(v, decimals, m_separator));
            if (px - w / 2 >= a.left - m_charW && px + w / 2 <= a.left + a.width + m_charW) ++count;
        });
        return count;
    };
    ax.ticks = chooseLinearTicks(ax.visibleMin, ax.visibleMax, a.width, m_charW, ax.minStep, fits);
    ax.decimals = ax.ticks.decimals;
    forEachTick(ax, [&](double v, bool major) {
        const int px = fractionToPixel(a.left, toFraction(ax, v), a.width, false);
        if (grid && px != a.left) {
            m_canvas->setPen(ax.colour, 1, true);
            m_canvas->line(px, a.bottom, px, a.bottom - a.height);
            m_canvas->setPen(ax.colour, 1, false);
        }
        m_canvas->line(px, a.bottom, px, a.bottom + (major ? m_majorTick : m_minorTick));
        if (major) {
            // Centred under its tick, but never past the surface's edges: the last label may
            // stand out beyond a narrow margin ("0.10" would read "0.1").
            const std::string label = fixed(v, ax.decimals, m_separator);
            const int w = m_canvas->textWidth(label);
            const int x = std::clamp(px - w / 2, 0, std::max(0, m_canvas->width() - w));
            m_canvas->text(x, a.bottom + m_majorTick + 1, label);
        }
    });
}

void PlotEngine::PlotYAxis(std::uint32_t colour, const std::string& title, int position,
                           float minimum, float maximum, float minimumStep, float minimumZoomSpan,
                           bool grid, bool logarithmic) {
    Area* a = area();
    if (!a || !a->x.defined || !(maximum > minimum) || position < 1 || position > kMaxYAxes) return;
    Axis& ax = a->y[static_cast<std::size_t>(position - 1)];
    defineAxis(ax, colour, minimum, maximum, minimumStep, minimumZoomSpan, logarithmic);
    ax.origin = a->bottom;
    ax.length = a->height;
    const int right = a->left + a->width;
    const int axisX = position == 1   ? a->left
                      : position == 2 ? a->left + 1
                      : position == 3 ? right - 1
                                      : right;
    m_canvas->setPen(colour, 1, false);
    m_canvas->line(axisX, a->bottom, axisX, a->bottom - a->height - 1);
    drawYTicks(*a, ax, axisX, position <= 2, grid, title);
    setPen(m_penColour, 1);
}

void PlotEngine::drawYTicks(Area& a, Axis& ax, int axisX, bool leftSide, bool grid,
                            const std::string& title) {
    const int top = a.bottom - a.height;
    const int dir = leftSide ? -1 : 1;
    const int right = a.left + a.width;
    const auto label = [&](int py, const std::string& text) {
        const int w = m_canvas->textWidth(text);
        const int tx = leftSide ? axisX - m_majorTick - 2 - w : axisX + m_majorTick + 2;
        m_canvas->text(tx, py - m_charH / 2, text);
    };
    if (ax.logarithmic) {
        ax.ticks = {};
        for (const LogTick& t :
             chooseLogTicks(ax.visibleMin, ax.visibleMax, a.height, 2 * m_charH)) {
            const int py = fractionToPixel(a.bottom, toFraction(ax, t.value), a.height, true);
            if (grid && py != a.bottom) {
                m_canvas->setPen(ax.colour, 1, !t.major);
                m_canvas->line(a.left + 1, py, right, py);
                m_canvas->setPen(ax.colour, 1, false);
            }
            m_canvas->line(axisX, py, axisX + dir * (t.major ? m_majorTick : m_minorTick), py);
            if (t.labelled) label(py, fixed(t.value, logLabelDecimals(t.value), m_separator));
        }
    } else {
        drawLinearYTicks(a, ax, axisX, dir, grid, label);
    }
    if (!title.empty()) {
        const int tx = leftSide ? std::max(0, axisX - 5 * m_charW - m_canvas->textWidth(title))
                                : axisX + 6 * m_charW;
        m_canvas->text(tx, top - m_charH, title);
    }
}

void PlotEngine::drawLinearYTicks(Area& a, Axis& ax, int axisX, int dir, bool grid,
                                  const std::function<void(int, const std::string&)>& label) {
    const int top = a.bottom - a.height;
    const auto fits = [&](double step, int) {
        int count = 0;
        forEachMultiple(ax.visibleMin, ax.visibleMax, step, [&](double v) {
            const int py = fractionToPixel(a.bottom, toFraction(ax, v), a.height, true);
            if (py - m_charH / 2 >= top - m_charH && py + m_charH / 2 <= a.bottom + m_charH)
                ++count;
        });
        return count;
    };
    ax.ticks = chooseLinearTicks(ax.visibleMin, ax.visibleMax, a.height, m_charW, ax.minStep, fits);
    ax.decimals = ax.ticks.decimals;
    const int right = a.left + a.width;
    auto gridLine = [&](int py) {
        m_canvas->setPen(ax.colour, 1, true);
        m_canvas->line(a.left + 1, py, right, py);
        m_canvas->setPen(ax.colour, 1, false);
    };
    forEachTick(ax, [&](double v, bool major) {
        const int py = fractionToPixel(a.bottom, toFraction(ax, v), a.height, true);
        if (grid && py != a.bottom) gridLine(py);
        m_canvas->line(axisX, py, axisX + dir * (major ? m_majorTick : m_minorTick), py);
        if (major) label(py, fixed(v, ax.decimals, m_separator));
    });
    if (ax.visibleMin < 0 && ax.visibleMax > 0)
        gridLine(fractionToPixel(a.bottom, toFraction(ax, 0), a.height, true));
}

void PlotEngine::PlotMoveTo(float x, float y) {
    const Area* a = currentArea();
    if (!a || !a->y[0].defined) return;
    m_penX = xPixel(x);
    m_penY = yPixel(y);
}

void PlotEngine::drawClipped(const Area& a, int x1, int y1, int x2, int y2) {
    if (clipSegment(x1, y1, x2, y2, a.left, a.bottom - a.height, a.left + a.width, a.bottom))
        m_canvas->line(x1, y1, x2, y2);
}

void PlotEngine::PlotLineTo(float x, float y) {
    const Area* a = currentArea();
    if (!a || !a->y[0].defined) return;
    const int x1 = m_penX, y1 = m_penY;
    m_penX = xPixel(x);
    m_penY = yPixel(y);
    drawClipped(*a, x1, y1, m_penX, m_penY);
}

void PlotEngine::PlotTrace(const std::int16_t* samples, int first, int last, double sampleRate,
                           float yScale, bool marks) {
    const Area* a = currentArea();
    if (!a || !a->y[0].defined || last < first) return;
    const int top = a->bottom - a->height, right = a->left + a->width;
    // The mapping of xPixel and yPixel, with the area and axes looked up once.
    const Axis& ax = a->x;
    const Axis& ay = a->y[0];
    const auto pixel = [&](int i) {
        const float x = static_cast<float>(i / sampleRate);
        const float y = samples[i] * yScale;
        m_penX = fractionToPixel(a->left, toFraction(ax, x), a->width, false);
        m_penY = fractionToPixel(a->bottom, toFraction(ay, y), a->height, true);
    };
    // The column being gathered: its x, the extent of its points, and the extent of the places
    // where one of its segments, clipped, would have been a single dot. A vertical segment
    // covers the rows from its upper end to just above its lower end, whichever way it runs,
    // so a chain of them covers what one segment over their extent covers; a dot reaches one
    // row above its place, which the span covers except at its ends.
    struct Column {
        int x = 0, minY = 0, maxY = 0;
        bool span = false;
        bool dot = false;
        int dotMin = 0, dotMax = 0;
    } col;
    const auto startColumn = [&] { col = Column{m_penX, m_penY, m_penY}; };
    const auto flushColumn = [&] {
        if (!col.span || col.x < a->left || col.x > right || col.maxY < top || col.minY > a->bottom)
            return;
        m_canvas->line(col.x, std::max(col.minY, top), col.x, std::min(col.maxY, a->bottom));
        if (col.dot) {
            m_canvas->line(col.x, col.dotMin, col.x, col.dotMin);
            if (col.dotMax != col.dotMin) m_canvas->line(col.x, col.dotMax, col.x, col.dotMax);
        }
    };
    pixel(first);
    startColumn();
    for (int i = first + 1; i <= last; ++i) {
        const int px = m_penX, py = m_penY;
        pixel(i);
        if (m_penX == col.x) {
            col.span = true;
            col.minY = std::min(col.minY, m_penY);
            col.maxY = std::max(col.maxY, m_penY);
            const int lo = std::max(std::min(py, m_penY), top);
            const int hi = std::min(std::max(py, m_penY), a->bottom);
            if (lo == hi) {
                col.dotMin = col.dot ? std::min(col.dotMin, lo) : lo;
                col.dotMax = col.dot ? std::max(col.dotMax, lo) : lo;
                col.dot = true;
            }
        } else {
            flushColumn();
            drawClipped(*a, px, py, m_penX, m_penY);
            startColumn();
        }
        if (marks) PlotMark(1, 0);
    }
    flushColumn();
}

void PlotEngine::PlotMark(int symbol, int size) {
    const Area* a = currentArea();
    if (!a || !a->y[0].defined || symbol < 1 || symbol > 8) return;
    if (m_penX < a->left || m_penX > a->left + a->width || m_penY < a->bottom - a->height ||
        m_penY > a->bottom)
        return;
    const int r = std::max(1, (size > 0 ? size : m_fontPoints) / 4);
    const int x = m_penX, y = m_penY;
    switch (symbol) {
    case 1:
        m_canvas->line(x, y, x, y);
        break;
    case 2:
        m_canvas->line(x - r, y, x + r, y);
        m_canvas->line(x, y - r, x, y + r);
        break;
    case 3:
        m_canvas->line(x - r, y - r, x + r, y + r);
        m_canvas->line(x - r, y + r, x + r, y - r);
        break;
    case 4:
        m_canvas->rectangle(x - r, y - r, x + r, y + r);
        break;
    case 5:
        m_canvas->line(x, y - r, x + r, y);
        m_canvas->line(x + r, y, x, y + r);
        m_canvas->line(x, y + r, x - r, y);
        m_canvas->line(x - r, y, x, y - r);
        break;
    case 6:
        m_canvas->line(x, y - r, x + r, y + r);
        m_canvas->line(x + r, y + r, x - r, y + r);
        m_canvas->line(x - r, y + r, x, y - r);
        break;
    case 7:
        m_canvas->ellipse(x - r, y - r, x + r, y + r);
        break;
    default:
        m_canvas->line(x - r, y, x + r, y);
        m_canvas->line(x, y - r, x, y + r);
        m_canvas->line(x - r, y - r, x + r, y + r);
        m_canvas->line(x - r, y + r, x + r, y - r);
        break;
    }
    if (m_marks.size() < kMaxListedMarks) m_marks.push_back({x, y, symbol, m_penColour});
}

void PlotEngine::PlotScreenToData(int pixelX, int pixelY, float& x, float& y) const {
    const Area* a = currentArea();
    x = y = 0;
    if (!a || !a->x.defined || !m_canvas) return;
    pixelX = std::clamp(pixelX, 0, m_canvas->width());
    pixelY = std::clamp(pixelY, 0, m_canvas->height());
    x = static_cast<float>(fromFraction(a->x, (pixelX - a->left) / static_cast<double>(a->width)));
    if (a->y[0].defined)
        y = static_cast<float>(
            fromFraction(a->y[0], (a->bottom - pixelY) / static_cast<double>(a->height)));
}

int PlotEngine::selectedYAxis(const Area& a) const {
    for (int i = kMaxYAxes - 1; i >= 0; --i)
        if (a.y[static_cast<std::size_t>(i)].defined) return i;
    return -1;
}

void PlotEngine::drawCrossHair() {
    const Area& a = m_areas[static_cast<std::size_t>(m_crossArea)];
    m_canvas->setXorMode(true);
    m_canvas->setPen(m_foreground ^ m_background, 1, false);
    m_canvas->line(a.left, m_crossY, a.left + a.width, m_crossY);
    m_canvas->line(m_crossX, a.bottom - a.height, m_crossX, a.bottom);
    m_canvas->setXorMode(false);
    m_canvas->setPen(m_penColour, 1, false);
}

void PlotEngine::drawBand() {
    m_canvas->setXorMode(true);
    m_canvas->setPen(m_foreground ^ m_background, 1, false);
    m_canvas->line(m_bandX0, m_bandY0, m_bandX1, m_bandY0);
    m_canvas->line(m_bandX1, m_bandY0, m_bandX1, m_bandY1);
    m_canvas->line(m_bandX1, m_bandY1, m_bandX0, m_bandY1);
    m_canvas->line(m_bandX0, m_bandY1, m_bandX0, m_bandY0);
    m_canvas->setXorMode(false);
    m_canvas->setPen(m_penColour, 1, false);
}

void PlotEngine::PlotMouseDown(bool leftButton, bool ctrl, int px, int py) {
    if (!m_canvas) return;
    if (!leftButton) {
        if (m_cross) {
            const Area& a = m_areas[static_cast<std::size_t>(m_crossArea)];
            for (int k = 1; k <= kMaxYAxes; ++k) {
                const int next = (m_crossAxis + k) % kMaxYAxes;
                if (a.y[static_cast<std::size_t>(next)].defined) {
                    m_crossAxis = next;
                    break;
                }
            }
        }
        return;
    }
    for (int i = 0; i < m_areaCount; ++i) {
        const Area& a = m_areas[static_cast<std::size_t>(i)];
        if (!a.valid || !a.x.defined || px < a.left || px > a.left + a.width ||
            py < a.bottom - a.height || py > a.bottom)
            continue;
        if (ctrl) {
            m_band = true;
            m_bandArea = i;
            m_bandX0 = m_bandX1 = px;
            m_bandY0 = m_bandY1 = py;
            drawBand();
        } else {
            const int axis = selectedYAxis(a);
            if (axis < 0) return;
            m_cross = true;
            m_crossArea = i;
            m_crossAxis = axis;
            m_crossX = px;
            m_crossY = py;
            m_canvas->setCursorHidden(true);
            drawCrossHair();
        }
        return;
    }
}

void PlotEngine::PlotMouseMove(bool, int px, int py) {
    if (m_cross) {
        const Area& a = m_areas[static_cast<std::size_t>(m_crossArea)];
        drawCrossHair();
        m_crossX = std::clamp(px, a.left, a.left + a.width);
        m_crossY = std::clamp(py, a.bottom - a.height, a.bottom);
        drawCrossHair();
    } else if (m_band) {
        drawBand();
        m_bandX1 = px;
        m_bandY1 = py;
        drawBand();
    }
}

void PlotEngine::PlotMouseUp(bool leftButton, bool ctrl) {
    if (!leftButton) return;
    if (m_cross) {
        drawCrossHair();
        m_cross = false;
        m_canvas->setCursorHidden(false);
        return;
    }
    if (!m_band) return;
    drawBand();
    m_band = false;
    if (!ctrl) return;
    Area& a = m_areas[static_cast<std::size_t>(m_bandArea)];
    if (std::abs(m_bandX1 - m_bandX0) <= 1 && std::abs(m_bandY1 - m_bandY0) <= 1) {
        a.x.zoomFrom = 0;
        a.x.zoomTo = 1;
        for (Axis& y : a.y) {
            y.zoomFrom = 0;
            y.zoomTo = 1;
        }
    } else {
        auto narrow = [](Axis& ax, double e0, double e1) {
            if (e0 > e1) std::swap(e0, e1);
            const double span = ax.zoomTo - ax.zoomFrom;
            double from = std::clamp(ax.zoomFrom + span * e0, 0.0, 1.0);
            double to = std::clamp(ax.zoomFrom + span * e1, 0.0, 1.0);
            if (to - from < ax.minZoomFraction) {
                const double mid = (from + to) / 2;
                from = std::clamp(mid - ax.minZoomFraction / 2, 0.0, 1.0 - ax.minZoomFraction);
                to = from + ax.minZoomFraction;
            }
            ax.zoomFrom = from;
            ax.zoomTo = to;
        };
        narrow(a.x, (m_bandX0 - a.left) / static_cast<double>(a.width),
               (m_bandX1 - a.left) / static_cast<double>(a.width));
        for (Axis& y : a.y)
            if (y.defined)
                narrow(y, (a.bottom - m_bandY0) / static_cast<double>(a.height),
                       (a.bottom - m_bandY1) / static_cast<double>(a.height));
    }
    m_canvas->invalidate();
}

void PlotEngine::resetZoom() {
    for (Area& a : m_areas) {
        a.x.zoomFrom = 0;
        a.x.zoomTo = 1;
        for (Axis& y : a.y) {
            y.zoomFrom = 0;
            y.zoomTo = 1;
        }
    }
}

} // namespace qarn3
