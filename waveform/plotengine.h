#pragma once

#include "waveform/plotmath.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qarn3 {

// Colours as 0x00BBGGRR.
constexpr std::uint32_t kPlotBlack = 0x000000;
constexpr std::uint32_t kPlotWhite = 0xFFFFFF;
constexpr std::uint32_t kPlotYellow = 0x00FFFF;
constexpr std::uint32_t kPlotGreen = 0x00FF00;
constexpr std::uint32_t kPlotRed = 0x0000FF;

// A pixel of a canvas.
struct PlotPoint {
    int x = 0, y = 0;
};

// A drawing surface with a pixel canvas: what the plot engine draws on.
class PlotCanvas {
public:
    virtual ~PlotCanvas() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void fill(std::uint32_t colour) = 0;
    virtual void setPen(std::uint32_t colour, int width, bool dotted) = 0;
    // XOR mode: drawing the same line twice erases it.
    virtual void setXorMode(bool on) = 0;
    virtual void line(int x1, int y1, int x2, int y2) = 0;
    virtual void rectangle(int x1, int y1, int x2, int y2) = 0;
    virtual void ellipse(int x1, int y1, int x2, int y2) = 0;
    // Text with its top-left corner at (x, y).
    virtual void text(int x, int y, const std::string& s) = 0;
    virtual int textWidth(const std::string& s) const = 0;
    virtual int textHeight() const = 0;
    // Font of the given point size: the engine picks the size, the canvas the face.
    virtual void setFontPoints(int points) = 0;
    virtual void invalidate() {}
    virtual void setCursorHidden(bool /*hidden*/) {}
    // Fills a polygon (even-odd) or the ellipse inside a rectangle in a colour, without an
    // outline; opacity 1 covers what is below, less lets it show through where the canvas
    // can. The pen is left as the fill's: set it again before drawing lines. The defaults
    // fill opaque with lines of the pen, one row at a time.
    virtual void fillPolygon(const std::vector<PlotPoint>& points, std::uint32_t colour,
                             double opacity);
    virtual void fillEllipse(int x1, int y1, int x2, int y2, std::uint32_t colour);
};

// The small XY plotting engine of the main trace, the waveform view and the time-current
// plot: areas, linear and logarithmic axes with ticks, labels and grid, clipped traces,
// marks, screen-to-data conversion, cross-hair and rubber-band zoom. One engine is used from
// one thread.
class PlotEngine {
public:
    static constexpr int kMaxAreas = 8;
    static constexpr int kMaxYAxes = 4;
    // The mark list keeps at most this many marks; further marks are drawn but not listed.
    static constexpr std::size_t kMaxListedMarks = 8192;

    struct Axis {
        bool defined = false;
        bool logarithmic = false;
        std::uint32_t colour = kPlotWhite;
        double minimum = 0, maximum = 1;
        double visibleMin = 0, visibleMax = 1;
        double origin = 0, length = 0; // pixels
        int decimals = 0;
        double minStep = 0;
        double minZoomFraction = 0.001;
        double zoomFrom = 0, zoomTo = 1; // kept from plot to plot
        TickChoice ticks;
    };
    struct Area {
        int left = 0, bottom = 0, width = 0, height = 0;
        bool valid = false;
        Axis x;
        std::array<Axis, kMaxYAxes> y;
    };
    struct Mark {
        int x, y, symbol;
        std::uint32_t colour;
    };

    // The decimal separator of the labels: the one the program writes numbers with.
    void setDecimalSeparator(char separator) { m_separator = separator; }

    void PlotBegin(PlotCanvas* canvas, std::uint32_t background, std::uint32_t foreground,
                   double fontScale);
    void PlotArea(double xFromPercent, double xToPercent, double yFromPercent, double yToPercent,
                  int leftMargin, int rightMargin, int topMargin, int bottomMargin, bool zoomable);
    // Labels are decimal (fixed point with the axis's decimals).
    void PlotXAxis(std::uint32_t colour, const std::string& title, bool grid, float minimum,
                   float maximum, float minimumStep, float minimumZoomSpan, bool logarithmic);
    void PlotYAxis(std::uint32_t colour, const std::string& title, int position, float minimum,
                   float maximum, float minimumStep, float minimumZoomSpan, bool grid,
                   bool logarithmic);
    void setPen(std::uint32_t colour, int width);
    void PlotMoveTo(float x, float y);
    void PlotLineTo(float x, float y);
    void PlotMark(int symbol, int size);
    // Draws the trace of samples first..last, sample i at x = i / sampleRate and
    // y = samples[i] x yScale, as PlotMoveTo on the first and PlotLineTo on each further one
    // would, and with marks PlotMark(1, 0) on each further one. Where consecutive samples
    // fall in one pixel column, the column is drawn as the vertical span of its points joined
    // to its neighbours: the same pixels as a line per segment, at a few lines per column
    // however many samples there are.
    void PlotTrace(const std::int16_t* samples, int first, int last, double sampleRate,
                   float yScale, bool marks);
    void PlotScreenToData(int pixelX, int pixelY, float& x, float& y) const;
    void PlotMouseDown(bool leftButton, bool ctrl, int pixelX, int pixelY);
    void PlotMouseMove(bool ctrl, int pixelX, int pixelY);
    void PlotMouseUp(bool leftButton, bool ctrl);

    // Pixels of a value on the current area's X axis and on its first Y axis.
    int xPixel(double x) const;
    int yPixel(double y, int axis = 0) const;

    // For inspection: the current area, the font cell, the marks.
    int areaCount() const { return m_areaCount; }
    const Area* currentArea() const;
    int charWidth() const { return m_charW; }
    int charHeight() const { return m_charH; }
    int fontPoints() const { return m_fontPoints; }
    const std::vector<Mark>& marks() const { return m_marks; }
    bool crossHairActive() const { return m_cross; }
    bool rubberBandActive() const { return m_band; }
    void resetZoom();

private:
    Area* area();
    static void forEachTick(const Axis& ax, const std::function<void(double, bool)>& fn);
    void drawXTicks(Area& a, bool grid, const std::string& title);
    void drawLinearXTicks(Area& a, bool grid);
    void drawYTicks(Area& a, Axis& ax, int axisX, bool leftSide, bool grid,
                    const std::string& title);
    void drawLinearYTicks(Area& a, Axis& ax, int axisX, int dir, bool grid,
                          const std::function<void(int, const std::string&)>& label);
    double toFraction(const Axis& ax, double v) const;
    double fromFraction(const Axis& ax, double f) const;
    void setVisible(Axis& ax) const;
    void defineAxis(Axis& ax, std::uint32_t colour, double minimum, double maximum,
                    double minimumStep, double minimumZoomSpan, bool logarithmic) const;
    void drawClipped(const Area& a, int x1, int y1, int x2, int y2);
    void drawCrossHair();
    void drawBand();
    int selectedYAxis(const Area& a) const;

    PlotCanvas* m_canvas = nullptr;
    char m_separator = '.';
    std::uint32_t m_background = kPlotBlack, m_foreground = kPlotWhite, m_penColour = kPlotWhite;
    int m_charW = 8, m_charH = 13, m_fontPoints = 8;
    int m_majorTick = 9, m_minorTick = 5;
    std::array<Area, kMaxAreas> m_areas{};
    int m_areaCount = 0;
    bool m_areaInvalid = false;
    int m_penX = 0, m_penY = 0;
    std::vector<Mark> m_marks = [] {
        std::vector<Mark> v;
        v.reserve(kMaxListedMarks);
        return v;
    }();
    bool m_cross = false, m_band = false;
    int m_crossX = 0, m_crossY = 0, m_crossArea = 0, m_crossAxis = 0;
    int m_bandX0 = 0, m_bandY0 = 0, m_bandX1 = 0, m_bandY1 = 0, m_bandArea = 0;
};

} // namespace qarn3
