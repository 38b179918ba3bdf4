// A breaker's history as drawn: sessions on a shared axis, one line a pole in a panel a kind,
// the vertical extent widened for the points outside their band and held at its limits, and
// the mapping of a session and a percent to the plot's pixels.
#include "report/historyplot.h"

#include <gtest/gtest.h>

using namespace qarn3;

namespace {

HistoryPoint at(const std::string& session, const std::string& start, Pole pole, PointKind kind,
                double position, bool moved = false) {
    HistoryPoint p;
    p.sessionId = session;
    p.startedAt = start;
    p.pole = pole;
    p.kind = kind;
    p.position = position;
    p.movedTowardEdge = moved;
    return p;
}

const std::string k2024 = "2024-03-01T12:00:00.000Z", k2025 = "2025-03-01T12:00:00.000Z",
                  k2026 = "2026-03-01T12:00:00.000Z";

TEST(HistoryPlot, SessionsSharedByThePanelsAndOneLineAPoleInOrder) {
    // Given newest first and kinds interleaved: the short-time panel lacks 2025, and pole B
    // comes before A.
    const HistoryPlot plot =
        historyPlotOf({at("s3", k2026, Pole::B, PointKind::LongTime, 0.9, true),
                       at("s1", k2024, Pole::B, PointKind::LongTime, 0.5),
                       at("s3", k2026, Pole::A, PointKind::ShortTime, 0.4),
                       at("s2", k2025, Pole::A, PointKind::LongTime, 0.45),
                       at("s1", k2024, Pole::A, PointKind::ShortTime, 0.5),
                       at("s1", k2024, Pole::A, PointKind::LongTime, 0.5)});
    ASSERT_EQ(plot.sessions.size(), 3u);
    EXPECT_EQ(plot.sessions.front().size(), 10u); // a local date, "YYYY-MM-DD"
    ASSERT_EQ(plot.panels.size(), 2u);
    EXPECT_EQ(plot.panels[0].kind, PointKind::LongTime);
    EXPECT_EQ(plot.panels[1].kind, PointKind::ShortTime);
    const HistoryPanel& lt = plot.panels[0];
    ASSERT_EQ(lt.lines.size(), 2u);
    EXPECT_EQ(lt.lines[0].pole, Pole::A);
    EXPECT_EQ(lt.lines[1].pole, Pole::B);
    ASSERT_EQ(lt.lines[1].marks.size(), 2u);
    EXPECT_EQ(lt.lines[1].marks[0].session, 0);
    EXPECT_EQ(lt.lines[1].marks[1].session, 2);
    EXPECT_DOUBLE_EQ(lt.lines[1].marks[1].percent, 90);
    EXPECT_TRUE(lt.lines[1].marks[1].movedTowardEdge);
    EXPECT_FALSE(lt.lines[1].marks[0].movedTowardEdge);
    const HistoryPanel& st = plot.panels[1];
    ASSERT_EQ(st.lines.size(), 1u);
    ASSERT_EQ(st.lines[0].marks.size(), 2u);
    EXPECT_EQ(st.lines[0].marks[1].session, 2);
}

struct ExtentCase {
    const char* name;
    double position;
    double low, high; // the panel's extent, percent
    double shown;     // where the point is drawn
    bool outside, clipped;
    const char* label;
};

class HistoryExtent : public ::testing::TestWithParam<ExtentCase> {};

TEST_P(HistoryExtent, WidensForPointsOutsideUpToItsLimits) {
    const ExtentCase& c = GetParam();
    const HistoryPlot plot =
        historyPlotOf({at("s1", k2024, Pole::A, PointKind::LongTime, 0.5),
                       at("s2", k2025, Pole::A, PointKind::LongTime, c.position)});
    ASSERT_EQ(plot.panels.size(), 1u);
    const HistoryPanel& p = plot.panels[0];
    EXPECT_DOUBLE_EQ(p.low, c.low);
    EXPECT_DOUBLE_EQ(p.high, c.high);
    const HistoryMark& m = p.lines.at(0).marks.at(1);
    EXPECT_DOUBLE_EQ(m.shownPercent, c.shown);
    EXPECT_EQ(m.outside, c.outside);
    EXPECT_EQ(m.clipped, c.clipped);
    EXPECT_EQ(m.label, c.label);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HistoryExtent,
    ::testing::Values(ExtentCase{"Inside", 0.8, -10, 110, 80, false, false, ""},
                      ExtentCase{"AtTheMaximum", 1, -10, 110, 100, false, false, ""},
                      ExtentCase{"JustAbove", 1.05, -10, 110, 105, true, false, "105 %"},
                      ExtentCase{"AboveTheMargin", 1.3, -10, 150, 130, true, false, "130 %"},
                      ExtentCase{"BelowTheMargin", -0.3, -50, 110, -30, true, false, "-30 %"},
                      ExtentCase{"FarAboveIsHeldAtTheTop", 7.5, -10, 200, 200, true, true, "750 %"},
                      ExtentCase{"FarBelowIsHeldAtTheBottom", -4, -100, 110, -100, true, true,
                                 "-400 %"}),
    [](const auto& i) { return std::string(i.param.name); });

struct PixelCase {
    const char* name;
    int session, sessions;
    double percent, low, high;
    double x, y; // in a plot area from (100, 20), 400 wide and 200 high
};

class HistoryPixels : public ::testing::TestWithParam<PixelCase> {};

TEST_P(HistoryPixels, SessionsAcrossAndPercentUpward) {
    const PixelCase& c = GetParam();
    EXPECT_DOUBLE_EQ(historyX(c.session, c.sessions, 100, 400), c.x);
    EXPECT_DOUBLE_EQ(historyY(c.percent, c.low, c.high, 20, 200), c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HistoryPixels,
    ::testing::Values(PixelCase{"FirstAtTheLeftZeroAtTheBottom", 0, 3, 0, 0, 100, 100, 220},
                      PixelCase{"LastAtTheRightHundredAtTheTop", 2, 3, 100, 0, 100, 500, 20},
                      PixelCase{"MiddleSession", 1, 3, 50, 0, 100, 300, 120},
                      PixelCase{"OneSessionInTheMiddle", 0, 1, 50, -50, 150, 300, 120},
                      PixelCase{"BeyondTheExtentHeldAtItsEdge", 0, 2, 300, -10, 200, 100, 20},
                      PixelCase{"EmptyExtentInTheMiddle", 1, 2, 40, 100, 100, 500, 120}),
    [](const auto& i) { return std::string(i.param.name); });

} // namespace
