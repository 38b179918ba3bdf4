#include "report/timecurrent.h"

#include <algorithm>
#include <cmath>

namespace qarn3 {

namespace {

struct Box {
    int left, top, right, bottom;
    bool overlaps(const Box& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
};

// The area's rectangle as a box.
Box areaBox(const PlotEngine::Area& a) {
    return {a.left, a.bottom - a.height, a.left + a.width, a.bottom};
}

bool inside(const Box& b, const Box& in) {
    return b.left >= in.left && b.right <= in.right && b.top >= in.top && b.bottom <= in.bottom;
}

void shadeBand(PlotEngine& plot, PlotCanvas& canvas, const TimeCurrentBand& band,
               const TimeCurrentStyle& style) {
    const std::vector<CurvePoint>& pts = band.points;
    if (pts.empty()) return;
    std::vector<PlotPoint> outline;
    if (pts.size() == 1) {
        // A typed band: a bar at its multiple.
        const int x = plot.xPixel(pts[0].multiple);
        const int half = std::max(2, plot.charWidth() / 2);
        const int top = plot.yPixel(pts[0].maxSeconds), bottom = plot.yPixel(pts[0].minSeconds);
        outline = {{x - half, top}, {x + half, top}, {x + half, bottom}, {x - half, bottom}};
        canvas.fillPolygon(outline, style.bandFill, style.bandOpacity);
        plot.setPen(style.bandEdge, 2);
        canvas.rectangle(x - half, top, x + half, bottom);
        return;
    }
    for (const CurvePoint& p : pts)
        outline.push_back({plot.xPixel(p.multiple), plot.yPixel(p.maxSeconds)});
    for (auto p = pts.rbegin(); p != pts.rend(); ++p)
        outline.push_back({plot.xPixel(p->multiple), plot.yPixel(p->minSeconds)});
    canvas.fillPolygon(outline, style.bandFill, style.bandOpacity);
    plot.setPen(style.bandEdge, 2);
    for (bool upper : {true, false}) {
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const auto y = static_cast<float>(upper ? pts[i].maxSeconds : pts[i].minSeconds);
            const auto x = static_cast<float>(pts[i].multiple);
            if (i == 0)
                plot.PlotMoveTo(x, y);
            else
                plot.PlotLineTo(x, y);
        }
    }
}

// The text cut short with an ellipsis where it is wider than width, at a character's end;
// its last word (a curve's kind) is kept where it takes less than half the width.
std::string fitText(const PlotCanvas& canvas, const std::string& text, int width) {
    if (canvas.textWidth(text) <= width) return text;
    const std::size_t space = text.rfind(' ');
    std::string tail;
    if (space != std::string::npos && canvas.textWidth(text.substr(space)) < width / 2)
        tail = text.substr(space);
    std::string s = text.substr(0, text.size() - tail.size());
    while (!s.empty()) {
        std::size_t last = s.size() - 1; // where the last character begins
        while (last > 0 && (static_cast<unsigned char>(s[last]) & 0xC0) == 0x80)
            --last;
        s.resize(last);
        if (canvas.textWidth(s + "\u2026" + tail) <= width) break;
    }
    return s + "\u2026" + tail;
}

// The settings' minimum and maximum lines, a minimum below the axis's floor (instantaneous
// from 0 s) drawn on it.
void drawSettingsCurve(PlotEngine& plot, const TimeCurrentSettingsCurve& curve, double floor,
                       const TimeCurrentStyle& style) {
    plot.setPen(style.settingsLine, 2);
    for (const std::vector<CurvePoint>& run : curve.runs) {
        if (run.size() < 2) continue;
        for (bool upper : {true, false})
            for (std::size_t i = 0; i < run.size(); ++i) {
                const double y = std::max(floor, upper ? run[i].maxSeconds : run[i].minSeconds);
                const auto x = static_cast<float>(run[i].multiple);
                if (i == 0)
                    plot.PlotMoveTo(x, static_cast<float>(y));
                else
                    plot.PlotLineTo(x, static_cast<float>(y));
            }
    }
}

// Each pickup a tick up from the current axis with its name above it, raised a line where it
// would cover the name before it.
void drawPickups(PlotEngine& plot, PlotCanvas& canvas, const TimeCurrentPlot& data,
                 const TimeCurrentStyle& style, const Box& area, std::vector<Box>& taken) {
    const int ch = plot.charHeight();
    std::vector<Box> labels;
    for (const TimeCurrentPickup& p : data.pickups) {
        if (!(p.multiple > 0)) continue;
        const int x = plot.xPixel(p.multiple);
        if (x < area.left || x > area.right) continue;
        plot.setPen(style.settingsLine, 2);
        canvas.line(x, area.bottom, x, area.bottom - ch);
        const int w = canvas.textWidth(p.label);
        const int left = std::clamp(x - w / 2, area.left, area.right - w);
        Box b{left, area.bottom - 2 * ch - ch / 4, left + w, area.bottom - ch - ch / 4};
        while (std::any_of(labels.begin(), labels.end(),
                           [&](const Box& o) { return o.overlaps(b); }) &&
               b.top - ch > area.top) {
            b.top -= ch;
            b.bottom -= ch;
        }
        plot.setPen(style.settingsLine, 1);
        canvas.text(b.left, b.top, p.label);
        labels.push_back(b);
        taken.push_back(b);
    }
}

void drawLegend(PlotEngine& plot, PlotCanvas& canvas, const TimeCurrentPlot& data,
                const TimeCurrentStyle& style, const Box& area, std::vector<Box>& taken) {
    const int cw = plot.charWidth(), ch = plot.charHeight();
    enum class Mark { Band, Line, Disc };
    struct Entry {
        std::string text;
        Mark mark;
        std::uint32_t colour;
    };
    std::vector<Entry> entries;
    // A long curve name is cut short rather than let the legend cover the plot.
    const int swatch = 2 * cw;
    const int widest = std::max(cw, (area.right - area.left) / 2 - swatch - 4 * cw);
    for (const TimeCurrentBand& b : data.bands)
        entries.push_back({fitText(canvas, b.label, widest), Mark::Band, style.bandFill});
    if (data.settingsCurve)
        entries.push_back(
            {fitText(canvas, data.settingsCurve->label, widest), Mark::Line, style.settingsLine});
    entries.push_back({"PASS", Mark::Disc, style.pass});
    entries.push_back({"FAIL FAST, FAIL SLOW, NO TRIP", Mark::Disc, style.fail});
    entries.push_back({"CHECK, NO BAND", Mark::Disc, style.doubtful});
    int width = 0;
    for (const Entry& e : entries)
        width = std::max(width, canvas.textWidth(e.text));
    const int boxW = width + swatch + 3 * cw, boxH = static_cast<int>(entries.size()) * ch + ch;
    const Box box{area.right - boxW - cw, area.top + cw, area.right - cw, area.top + cw + boxH};
    canvas.fillPolygon({{box.left, box.top},
                        {box.right, box.top},
                        {box.right, box.bottom},
                        {box.left, box.bottom}},
                       style.background, 1);
    plot.setPen(style.grid, 1);
    canvas.rectangle(box.left, box.top, box.right, box.bottom);
    int y = box.top + ch / 2;
    for (const Entry& e : entries) {
        const int x = box.left + cw;
        const int mid = y + ch / 2;
        if (e.mark == Mark::Line) {
            plot.setPen(e.colour, 2);
            canvas.line(x, mid - ch / 4, x + swatch, mid - ch / 4);
            canvas.line(x, mid + ch / 4, x + swatch, mid + ch / 4);
        } else if (e.mark == Mark::Band) {
            canvas.fillPolygon({{x, mid - ch / 3},
                                {x + swatch, mid - ch / 3},
                                {x + swatch, mid + ch / 3},
                                {x, mid + ch / 3}},
                               e.colour, style.bandOpacity);
            plot.setPen(style.bandEdge, 1);
            canvas.rectangle(x, mid - ch / 3, x + swatch, mid + ch / 3);
        } else {
            const int r = std::max(2, cw * 11 / 20);
            canvas.fillEllipse(x + swatch / 2 - r, mid - r, x + swatch / 2 + r, mid + r, e.colour);
            plot.setPen(style.foreground, 1);
            canvas.ellipse(x + swatch / 2 - r, mid - r, x + swatch / 2 + r, mid + r);
        }
        plot.setPen(style.foreground, 1);
        canvas.text(x + swatch + cw, y, e.text);
        y += ch;
    }
    taken.push_back(box);
}

} // namespace

TimeCurrentStyle paperStyle() {
    return {};
}

TimeCurrentStyle screenStyle() {
    TimeCurrentStyle s;
    s.background = kPlotBlack;
    s.foreground = kPlotWhite;
    s.grid = 0xC0C0C0;
    s.bandFill = 0xA06030;
    s.bandEdge = 0xFFC080;
    s.settingsLine = 0xFF80FF;
    s.pass = kPlotGreen;
    s.fail = kPlotRed;
    s.doubtful = kPlotYellow;
    s.fontScale = 1.1;
    return s;
}

std::uint32_t verdictPlotColour(Verdict v, const TimeCurrentStyle& style) {
    switch (verdictClass(v)) {
    case VerdictClass::Pass:
        return style.pass;
    case VerdictClass::Fail:
        return style.fail;
    case VerdictClass::Doubtful:
        break;
    }
    return style.doubtful;
}

DecadeRange decadeRangeOf(const std::vector<double>& values) {
    double lo = 0, hi = 0;
    for (double v : values) {
        if (!(v > 0) || !std::isfinite(v)) continue;
        lo = lo > 0 ? std::min(lo, v) : v;
        hi = std::max(hi, v);
    }
    if (!(lo > 0)) return {};
    // A value on a decade is kept off the plot's edge.
    DecadeRange r{std::pow(10.0, std::floor(std::log10(lo / 1.05))),
                  std::pow(10.0, std::ceil(std::log10(hi * 1.05)))};
    if (!(r.maximum > r.minimum)) r.maximum = r.minimum * 10;
    return r;
}

DecadeRange multipleRangeOf(const TimeCurrentPlot& data) {
    std::vector<double> xs;
    for (const TimeCurrentBand& b : data.bands)
        for (const CurvePoint& p : b.points)
            xs.push_back(p.multiple);
    for (const TimeCurrentShot& s : data.shots)
        xs.push_back(s.multiple);
    for (const TimeCurrentPickup& p : data.pickups)
        xs.push_back(p.multiple);
    return decadeRangeOf(xs);
}

void drawTimeCurrent(PlotEngine& plot, PlotCanvas& canvas, const TimeCurrentPlot& data,
                     const TimeCurrentStyle& style) {
    std::vector<double> ys;
    for (const TimeCurrentBand& b : data.bands)
        for (const CurvePoint& p : b.points) {
            ys.push_back(p.minSeconds);
            ys.push_back(p.maxSeconds);
        }
    if (data.settingsCurve)
        for (const std::vector<CurvePoint>& run : data.settingsCurve->runs)
            for (const CurvePoint& p : run) {
                ys.push_back(p.minSeconds);
                ys.push_back(p.maxSeconds);
            }
    for (const TimeCurrentShot& s : data.shots)
        ys.push_back(s.seconds);
    const DecadeRange xr = multipleRangeOf(data);
    DecadeRange yr = decadeRangeOf(ys);
    if (yr.maximum / yr.minimum < 100) yr.minimum = yr.maximum / 100; // room for the legend

    plot.PlotBegin(&canvas, style.background, style.foreground, style.fontScale);
    const int cw = plot.charWidth(), ch = plot.charHeight();
    plot.PlotArea(0, 100, 0, 100, 9 * cw, 3 * cw, 3 * ch, 4 * ch + cw, false);
    plot.PlotXAxis(style.grid, "Multiple of rated current (x In)", true,
                   static_cast<float>(xr.minimum), static_cast<float>(xr.maximum), 0, 0, true);
    plot.PlotYAxis(style.grid, "", 1, static_cast<float>(yr.minimum),
                   static_cast<float>(yr.maximum), 0, 0, true, true);
    const PlotEngine::Area* a = plot.currentArea();
    if (!a || !a->y[0].defined) return;
    const Box area = areaBox(*a);
    // The unit above the axis's labels, clear of the top one.
    plot.setPen(style.grid, 1);
    canvas.text(cw, area.top - 2 * ch - ch / 4, "Seconds");

    for (const TimeCurrentBand& b : data.bands)
        shadeBand(plot, canvas, b, style);
    if (data.settingsCurve) drawSettingsCurve(plot, *data.settingsCurve, yr.minimum, style);

    std::vector<Box> taken;
    drawPickups(plot, canvas, data, style, area, taken);
    drawLegend(plot, canvas, data, style, area, taken);
    const int r = std::max(2, cw * 11 / 20);
    std::vector<PlotPoint> at;
    for (const TimeCurrentShot& s : data.shots) {
        if (!(s.multiple > 0) || !(s.seconds > 0)) {
            at.push_back({-1, -1});
            continue;
        }
        const int x = plot.xPixel(s.multiple), y = plot.yPixel(s.seconds);
        canvas.fillEllipse(x - r, y - r, x + r, y + r, verdictPlotColour(s.verdict, style));
        plot.setPen(style.foreground, 1);
        canvas.ellipse(x - r, y - r, x + r, y + r);
        taken.push_back({x - r, y - r, x + r, y + r});
        at.push_back({x, y});
    }
    plot.setPen(style.foreground, 1);
    for (std::size_t i = 0; i < data.shots.size(); ++i) {
        const auto [x, y] = at[i];
        if (x < 0 || data.shots[i].label.empty()) continue;
        const int w = canvas.textWidth(data.shots[i].label), gap = cw / 2;
        const PlotPoint corners[] = {{x + r + gap, y - ch / 2},
                                     {x - r - gap - w, y - ch / 2},
                                     {x + r / 2, y - r - ch},
                                     {x + r / 2, y + r},
                                     {x - r / 2 - w, y - r - ch},
                                     {x - r / 2 - w, y + r},
                                     {x + r + gap, y - ch / 2 - ch},
                                     {x + r + gap, y + ch / 2},
                                     {x - r - gap - w, y - ch / 2 - ch},
                                     {x - r - gap - w, y + ch / 2}};
        Box chosen{corners[0].x, corners[0].y, corners[0].x + w, corners[0].y + ch};
        for (const PlotPoint& c : corners) {
            const Box b{c.x, c.y, c.x + w, c.y + ch};
            if (inside(b, area) && std::none_of(taken.begin(), taken.end(),
                                                [&](const Box& t) { return t.overlaps(b); })) {
                chosen = b;
                break;
            }
        }
        canvas.text(chosen.left, chosen.top, data.shots[i].label);
        taken.push_back(chosen);
    }
}

} // namespace qarn3
