#include "waveform/plotengine.h"
#include "waveform/plotwidget.h"

#include "locale_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace qarn3;

namespace {

// A canvas that records what is drawn; characters are 8 pixels wide and 13 high.
struct RecordingCanvas : PlotCanvas {
    int w = 640, h = 400;
    struct Line {
        int x1, y1, x2, y2;
        bool dotted;
    };
    std::vector<Line> lines;
    std::vector<std::pair<int, std::string>> texts;
    bool dotted = false;
    int width() const override { return w; }
    int height() const override { return h; }
    void fill(std::uint32_t) override {}
    void setPen(std::uint32_t, int, bool d) override { dotted = d; }
    void setXorMode(bool) override {}
    void line(int x1, int y1, int x2, int y2) override {
        lines.push_back({x1, y1, x2, y2, dotted});
    }
    void rectangle(int, int, int, int) override {}
    void ellipse(int, int, int, int) override {}
    void text(int x, int, const std::string& s) override { texts.emplace_back(x, s); }
    int textWidth(const std::string& s) const override { return 8 * static_cast<int>(s.size()); }
    int textHeight() const override { return 13; }
    void setFontPoints(int) override {}
};

TEST(PlotTicks, TenthOfASecondOver590PixelsGivesHundredthsWithTwoDecimals) {
    const TickChoice t = chooseLinearTicks(0, 0.1, 590, 8, 0, nullptr);
    EXPECT_DOUBLE_EQ(t.majorStep, 0.01);
    EXPECT_DOUBLE_EQ(t.minorStep, 0.002);
    EXPECT_EQ(t.decimals, 2);
}

TEST(PlotTicks, StepRulesAndShrinking) {
    // raw 4.18 (x100): major 500, minor 100.
    TickChoice t = chooseLinearTicks(-1254.4, 1254.4, 240, 8, 0, nullptr);
    EXPECT_DOUBLE_EQ(t.majorStep, 500);
    EXPECT_DOUBLE_EQ(t.minorStep, 100);
    EXPECT_EQ(t.decimals, 0);
    // raw 1.x: major 2s, minor s/2.
    t = chooseLinearTicks(0, 12, 400, 8, 0, nullptr);
    EXPECT_DOUBLE_EQ(t.majorStep, 2);
    EXPECT_DOUBLE_EQ(t.minorStep, 0.5);
    // Fewer than two labels fitting shrinks the step.
    int calls = 0;
    t = chooseLinearTicks(0, 10, 400, 8, 0, [&](double, int) { return ++calls >= 3 ? 2 : 1; });
    EXPECT_EQ(calls, 3);
    // Never below the minimum step.
    t = chooseLinearTicks(0, 0.1, 590, 8, 0.05, nullptr);
    EXPECT_DOUBLE_EQ(t.majorStep, 0.05);
    EXPECT_DOUBLE_EQ(t.minorStep, 0.05);
}

// The step search ends for every length, however the range and whatever fits: with no
// label fitting it keeps a step the area can draw, never more than a few hundred ticks.
TEST(PlotTicks, SearchIsBoundedForEveryLengthAndRange) {
    const std::pair<double, double> ranges[] = {
        {0, 0.1}, {-1e-30, 1e-30}, {-3.4e38, 3.4e38}, {1e6, 1e6 + 0.0625}, {-2048, 2048}};
    for (int length = 1; length <= 3000; ++length) {
        for (const auto& [lo, hi] : ranges) {
            int calls = 0;
            const TickChoice t = chooseLinearTicks(lo, hi, length, 8, 0, [&](double, int) {
                ++calls;
                return 0;
            });
            ASSERT_GT(t.minorStep, 0) << length;
            ASSERT_GE(t.majorStep, t.minorStep);
            ASSERT_LE((hi - lo) / t.minorStep, kMaxAxisTicks + 2) << length << " " << lo;
            ASSERT_LT(calls, 40) << length;
        }
    }
    // A step is made smaller to fit labels only while the area can draw its ticks.
    const TickChoice t = chooseLinearTicks(0, 1, 40, 8, 0, [](double, int) { return 0; });
    EXPECT_LE(1 / t.minorStep, maxTicksFor(40) + 0.001);
    EXPECT_EQ(chooseLinearTicks(1, 1, 100, 8, 0, nullptr).majorStep, 0);
    // A minimum step that holds the steps still ends the search too.
    EXPECT_DOUBLE_EQ(chooseLinearTicks(0, 1, 400, 8, 1, [](double, int) { return 1; }).majorStep,
                     1);
}

TEST(PlotTicks, ValueDecimals) {
    EXPECT_EQ(valueDecimals(0), 99);
    EXPECT_EQ(valueDecimals(1), 0);
    EXPECT_EQ(valueDecimals(0.01), 2);
    EXPECT_EQ(valueDecimals(0.05), 2);
    EXPECT_EQ(valueDecimals(250), 0);
}

struct LogCase {
    const char* name;
    double lo, hi;
    int length, spacing;
    std::vector<double> labelled;
    std::size_t ticks;
};

class LogTicks : public ::testing::TestWithParam<LogCase> {};

// Decades are the major ticks, the minors lie at 2..9 times a decade, in rising order; which
// are labelled depends on the room.
TEST_P(LogTicks, DecadesWithMinorsAtTwoToNine) {
    const LogCase& c = GetParam();
    const std::vector<LogTick> ticks = chooseLogTicks(c.lo, c.hi, c.length, c.spacing);
    EXPECT_EQ(ticks.size(), c.ticks);
    std::vector<double> labelled;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const double mantissa =
            ticks[i].value / std::pow(10, std::floor(std::log10(ticks[i].value * 1.000001)));
        EXPECT_NEAR(mantissa, std::round(mantissa), 1e-9) << ticks[i].value;
        EXPECT_EQ(ticks[i].major, std::round(mantissa) == 1) << ticks[i].value;
        if (i > 0) {
            EXPECT_GT(ticks[i].value, ticks[i - 1].value);
        }
        if (ticks[i].labelled) labelled.push_back(ticks[i].value);
    }
    ASSERT_EQ(labelled.size(), c.labelled.size());
    for (std::size_t i = 0; i < labelled.size(); ++i)
        EXPECT_NEAR(labelled[i], c.labelled[i], c.labelled[i] * 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, LogTicks,
    ::testing::Values(
        LogCase{"SecondsOverFiveDecades", 0.01, 1000, 600, 30, {0.01, 0.1, 1, 10, 100, 1000}, 46},
        LogCase{"CrowdedDecadesLabelEverySecond", 0.001, 1000, 120, 30, {0.01, 1, 100}, 55},
        LogCase{"ShortDecadesDropTheMinors", 0.01, 100, 60, 10, {0.01, 0.1, 1, 10, 100}, 5},
        LogCase{"UnderTwoDecadesLabelTwoAndFive", 2, 40, 300, 30, {2, 5, 10, 20}, 12},
        LogCase{"NoDecadeLabelsEveryMinor", 2.5, 4.5, 200, 30, {3, 4}, 2},
        // The plot's axes take floats: 0.1f lies just above 0.1 and 1e-4f just below 1e-4,
        // and their decades stay ticked and labelled.
        LogCase{"EndsThroughFloatsBottom", 0.1f, 100.0f, 600, 30, {0.1, 1, 10, 100}, 28},
        LogCase{"EndsThroughFloatsTop", 1e-6f, 1e-4f, 600, 30, {1e-6, 1e-5, 1e-4}, 19},
        LogCase{"NotPositive", 0, 10, 300, 30, {}, 0}, LogCase{"Falling", 10, 1, 300, 30, {}, 0}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(PlotMapping, ClampsTo16BitsAndClipsAtTheRightEdge) {
    EXPECT_EQ(fractionToPixel(50, 1e9, 580, false), 32767);
    EXPECT_EQ(fractionToPixel(50, -1e9, 580, false), -32768);
    EXPECT_EQ(fractionToPixel(350, 0.5, 300, true), 200);
    int x1 = 100, y1 = 100, x2 = 32767, y2 = 32767;
    ASSERT_TRUE(clipSegment(x1, y1, x2, y2, 50, 10, 630, 350));
    EXPECT_EQ(x2, 350);
    EXPECT_EQ(y2, 350);
    int a = 0, b = 0, c = 10, d = 0;
    EXPECT_FALSE(clipSegment(a, b, c, d, 50, 10, 630, 350)); // wholly left
    a = 60, b = -100, c = 60, d = 1000;
    ASSERT_TRUE(clipSegment(a, b, c, d, 50, 10, 630, 350)); // vertical: cut
    EXPECT_EQ(b, 10);
    EXPECT_EQ(d, 350);
}

class PlotEngineTest : public ::testing::Test {
protected:
    void begin() {
        plot.PlotBegin(&canvas, kPlotBlack, kPlotWhite, 1.1);
        plot.PlotArea(0, 100, 0, 100, 50, 10, 10, 50, false);
    }
    RecordingCanvas canvas;
    PlotEngine plot;
};

TEST_F(PlotEngineTest, AreaFromPercentagesAndMargins) {
    begin();
    const auto* a = plot.currentArea();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->left, 50);
    EXPECT_EQ(a->width, 580);
    EXPECT_EQ(a->bottom, 350);
    EXPECT_EQ(a->height, 340);
    EXPECT_EQ(plot.fontPoints(), 9);
    EXPECT_EQ(plot.charWidth(), 8);
}

TEST_F(PlotEngineTest, EqualMinimumAndMaximumDrawNothing) {
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 1, 1, 0, 0, false);
    plot.PlotYAxis(kPlotWhite, "", 1, -1, 1, 0, 0, true, false);
    plot.PlotMoveTo(0, 0);
    plot.PlotLineTo(1, 1);
    EXPECT_TRUE(canvas.lines.empty());
}

TEST_F(PlotEngineTest, NinthAreaDrawsNothingUntilTheNextBegin) {
    begin();
    for (int i = 0; i < 8; ++i)
        plot.PlotArea(0, 100, 0, 100, 50, 10, 10, 50, false);
    EXPECT_EQ(plot.currentArea(), nullptr);
    plot.PlotXAxis(kPlotWhite, "", true, 0, 1, 0, 0, false);
    EXPECT_TRUE(canvas.lines.empty());
    begin();
    EXPECT_NE(plot.currentArea(), nullptr);
}

TEST_F(PlotEngineTest, AxesLabelTicksAndTheTraceIsClipped) {
    canvas.w = 640; // area 580 wide
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 0, 0.1f, 0, 0, false);
    std::vector<std::string> labels;
    for (auto& t : canvas.texts)
        labels.push_back(t.second);
    ASSERT_GE(labels.size(), 11u);
    EXPECT_EQ(labels.front(), "0.00");
    EXPECT_EQ(labels[1], "0.01");
    EXPECT_EQ(labels[10], "0.10");
    for (const auto& [x, text] : canvas.texts) { // whole on the surface, the last one too
        EXPECT_GE(x, 0) << text;
        EXPECT_LE(x + canvas.textWidth(text), canvas.w) << text;
    }
    plot.PlotYAxis(kPlotWhite, "", 1, -1000, 1000, 0, 0, true, false);
    canvas.lines.clear();
    plot.PlotMoveTo(0.05f, 0);
    plot.PlotLineTo(0.05f, 1e9f); // far above: cut at the top of the area
    ASSERT_EQ(canvas.lines.size(), 1u);
    EXPECT_EQ(canvas.lines[0].y2, 10);
    float x, y;
    plot.PlotScreenToData(plot.xPixel(0.025), plot.yPixel(500), x, y);
    EXPECT_NEAR(x, 0.025, 0.0002);
    EXPECT_NEAR(y, 500, 5);
}

TEST_F(PlotEngineTest, MarksInsideTheAreaAreListed) {
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 0, 1, 0, 0, false);
    plot.PlotYAxis(kPlotWhite, "", 1, 0, 1, 0, 0, true, false);
    plot.PlotMoveTo(0.5f, 0.5f);
    plot.PlotMark(1, 0);
    plot.PlotMoveTo(5, 5);
    plot.PlotMark(1, 0);
    plot.PlotMark(9, 0);
    EXPECT_EQ(plot.marks().size(), 1u);
}

TEST_F(PlotEngineTest, RubberBandZoomNarrowsAndATinyBandResets) {
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 0, 1, 0, 0, false);
    plot.PlotYAxis(kPlotWhite, "", 1, 0, 1, 0, 0, true, false);
    plot.PlotMouseDown(true, true, 50 + 145, 200);
    plot.PlotMouseMove(true, 50 + 435, 100);
    plot.PlotMouseUp(true, true);
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 0, 1, 0, 0, false);
    EXPECT_NEAR(plot.currentArea()->x.visibleMin, 0.25, 0.01);
    EXPECT_NEAR(plot.currentArea()->x.visibleMax, 0.75, 0.01);
    plot.PlotYAxis(kPlotWhite, "", 1, 0, 1, 0, 0, true, false);
    plot.PlotMouseDown(true, true, 300, 200);
    plot.PlotMouseUp(true, true);
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 0, 1, 0, 0, false);
    EXPECT_DOUBLE_EQ(plot.currentArea()->x.visibleMin, 0);
    EXPECT_DOUBLE_EQ(plot.currentArea()->x.visibleMax, 1);
}

// The viewer can be shrunk to any size: every area from one pixel up draws its axes at once,
// with at most a few hundred grid lines and ticks per axis.
TEST_F(PlotEngineTest, AreasOfAnySizeDrawAFewHundredLinesAtMost) {
    std::vector<std::pair<int, int>> sizes;
    for (int w = 1; w <= 700; ++w)
        sizes.emplace_back(w, 1 + w % 97);
    for (int h = 1; h <= 700; ++h)
        sizes.emplace_back(3 + h % 53, h);
    sizes.insert(sizes.end(), {{5000, 20}, {20, 5000}, {20000, 20000}});
    const std::pair<float, float> ranges[] = {
        {0, 0.1f}, {-1e-30f, 1e-30f}, {-3.4e38f, 3.4e38f}, {1e6f, 1e6f + 0.0625f}};
    for (const auto& [w, h] : sizes) {
        for (const auto& [lo, hi] : ranges) {
            canvas.w = w;
            canvas.h = h;
            canvas.lines.clear();
            plot.PlotBegin(&canvas, kPlotBlack, kPlotWhite, 1.1);
            plot.PlotArea(0, 100, 0, 100, 0, 0, 0, 0, false);
            plot.PlotXAxis(kPlotWhite, "", true, lo, hi, 0, 0, false);
            plot.PlotYAxis(kPlotWhite, "", 1, lo, hi, 0, 0, true, false);
            // Per axis: its line, a tick and a grid line at each position, the zero line.
            ASSERT_LE(canvas.lines.size(), 2u * (2 * (kMaxAxisTicks + 2) + 2)) << w << "x" << h;
        }
    }
}

TEST_F(PlotEngineTest, LabelsUseTheEngineSeparatorWhateverTheProcessLocale) {
    test::CommaNumericLocale comma;
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 0, 0.1f, 0, 0, false);
    ASSERT_GE(canvas.texts.size(), 2u);
    EXPECT_EQ(canvas.texts[1].second, "0.01");
    canvas.texts.clear();
    plot.setDecimalSeparator(',');
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 0, 0.1f, 0, 0, false);
    EXPECT_EQ(canvas.texts[1].second, "0,01");
    canvas.texts.clear();
    plot.PlotYAxis(kPlotWhite, "", 1, -1, 1, 0, 0, true, false);
    std::vector<std::string> labels;
    for (auto& t : canvas.texts)
        labels.push_back(t.second);
    EXPECT_NE(std::find(labels.begin(), labels.end(), "0,0"), labels.end());
    EXPECT_EQ(std::find(labels.begin(), labels.end(), "-0,0"), labels.end());
}

// Logarithmic axes label their decades with the engine's separator, grid the decades solid
// and the minors dotted.
TEST_F(PlotEngineTest, LogarithmicAxesLabelDecades) {
    plot.setDecimalSeparator(',');
    begin();
    plot.PlotXAxis(kPlotWhite, "", true, 0.01f, 100, 0, 0, true);
    std::vector<std::string> labels;
    for (auto& t : canvas.texts)
        labels.push_back(t.second);
    EXPECT_EQ(labels, (std::vector<std::string>{"0,01", "0,1", "1", "10", "100"}));
    int solid = 0, dotted = 0;
    for (const auto& l : canvas.lines)
        if (l.x1 == l.x2 && l.y1 == 350 && l.y2 == 10) ++(l.dotted ? dotted : solid);
    EXPECT_EQ(solid, 4); // every decade but the one on the axis
    EXPECT_EQ(dotted, 32);
    EXPECT_EQ(plot.xPixel(1), 50 + 290);
}

TEST(PlotXor, CrossHairDrawnTwiceLeavesTheImageAsItWas) {
    ImageCanvas canvas;
    canvas.resize(300, 200);
    PlotEngine plot;
    plot.PlotBegin(&canvas, kPlotBlack, kPlotWhite, 1.1);
    plot.PlotArea(0, 100, 0, 100, 50, 10, 10, 50, false);
    plot.PlotXAxis(kPlotWhite, "", true, 0, 1, 0, 0, false);
    plot.PlotYAxis(kPlotWhite, "", 1, -1, 1, 0, 0, true, false);
    const QImage before = canvas.image().copy();
    plot.PlotMouseDown(true, false, 150, 80);
    EXPECT_TRUE(plot.crossHairActive());
    EXPECT_NE(canvas.image(), before);
    plot.PlotMouseMove(false, 170, 90);
    plot.PlotMouseUp(true, false);
    EXPECT_FALSE(plot.crossHairActive());
    EXPECT_EQ(canvas.image(), before);
}

} // namespace
