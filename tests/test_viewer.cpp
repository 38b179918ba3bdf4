#include "waveform/plotwidget.h"
#include "waveform/viewer.h"

#include "platform/textformat.h"
#include "record_fixture.h"

#include <cmath>
#include <random>
#include <stdexcept>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// A canvas of any size that draws nothing and counts lines; characters 8 x 13 pixels.
struct CountingCanvas : PlotCanvas {
    int w = 643, h = 447;
    long lines = 0;
    int width() const override { return w; }
    int height() const override { return h; }
    void fill(std::uint32_t) override {}
    void setPen(std::uint32_t, int, bool) override {}
    void setXorMode(bool) override {}
    void line(int, int, int, int) override { ++lines; }
    void rectangle(int, int, int, int) override {}
    void ellipse(int, int, int, int) override {}
    void text(int, int, const std::string&) override {}
    int textWidth(const std::string& s) const override { return 8 * static_cast<int>(s.size()); }
    int textHeight() const override { return 13; }
    void setFontPoints(int) override {}
};

struct ThrowingCanvas : CountingCanvas {
    void line(int, int, int, int) override { throw std::runtime_error("surface lost"); }
};

// The window as the viewer sees it: records what it is shown and draws on request.
struct FakeView : WaveViewerView {
    WaveViewer* viewer = nullptr;
    PlotCanvas* canvas = nullptr;
    WaveViewTexts texts;
    CycleTableTexts cycleTexts;
    int cycleTables = 0; // tables handed over
    int track = -1;
    void showTexts(const WaveViewTexts& t) override { texts = t; }
    void showCycleTable(const CycleTable&, const CycleTableTexts& t) override {
        cycleTexts = t;
        ++cycleTables;
    }
    void setTrackPosition(int p) override { track = p; }
    void redrawSurface() override {
        if (canvas) viewer->drawSurface(*canvas);
    }
    void closeWindow() override {}
};

class ViewerTest : public RecordTest {
protected:
    ViewerTest() {
        store.AmpsPerCount = 0.25f;
        view.viewer = &viewer;
        view.canvas = &canvas;
        viewer.setView(&view);
        viewer.FormCreate();
        viewer.FormShow();
    }
    TWaveViewFields& f() { return viewer.fields(); }
    void cursorsOnSamples(int a, int b) {
        f().CursorStart = static_cast<float>(a * static_cast<double>(store.SamplePeriod));
        f().CursorEnd = static_cast<float>(b * static_cast<double>(store.SamplePeriod));
    }
    long sampleAt(float t) const { return std::lround(t * 2400.0); }
    // Views [start, end] on a surface whose area is areaWidth pixels wide.
    void showWindow(float start, float end, int areaWidth) {
        canvas.w = areaWidth + 60;
        f().ViewStart = start;
        f().ViewEnd = end;
        viewer.PaintBox1Paint();
    }

    TWaveformData store;
    int testMode = 0;
    WaveViewer viewer{store, services, folder, [this] { return testMode; }};
    FakeView view;
    CountingCanvas canvas;
};

TEST_F(ViewerTest, ShowingResetsTheViewToTheFirstSecondAtFullScale) {
    EXPECT_FLOAT_EQ(f().TotalTime, 25.0f);
    EXPECT_EQ(view.texts.TStart, "0.0000");
    EXPECT_EQ(view.texts.TEnd, "1.0000");
    EXPECT_EQ(view.texts.CurSpan, "1.0000");
    EXPECT_EQ(view.track, 0);
    EXPECT_FLOAT_EQ(f().YTop, 512.0f);
    EXPECT_EQ(f().LastIndex, 2400);
    viewer.UpDown1Click(3);
    f().ViewStart = 7;
    viewer.FormShow();
    EXPECT_FLOAT_EQ(f().ViewStart, 0);
    EXPECT_FLOAT_EQ(f().YTop, 512.0f); // the up-down acts again at its next click
    EXPECT_FLOAT_EQ(f().YZoom, 8.0f);
}

TEST_F(ViewerTest, NarrowViewIsDrawnTwoHundredthsWideWithTheFieldsKept) {
    f().ViewStart = 1.0f;
    f().ViewEnd = 1.005f;
    viewer.PaintBox1Paint();
    EXPECT_FLOAT_EQ(f().ViewStart, 1.0f);
    EXPECT_FLOAT_EQ(f().ViewEnd, 1.005f);
    EXPECT_EQ(view.texts.TEnd, "1.0200");
    EXPECT_EQ(f().FirstIndex, 2400);
    EXPECT_EQ(f().LastIndex, 2448);
    EXPECT_NEAR(viewer.plot().currentArea()->x.visibleMax, 1.02, 1e-6);
    f().ViewStart = -3; // a start before the first sample is drawn from 0
    viewer.PaintBox1Paint();
    EXPECT_EQ(view.texts.TStart, "0.0000");
}

TEST_F(ViewerTest, ClicksSnapTheCursorsToTheNearestSample) {
    // 0.02 s over 20000 pixels: one pixel is a microsecond.
    showWindow(0.1f, 0.12f, 20000);
    viewer.PaintBox1MouseDown(ViewerButton::Left, false, 50 + 210, 100); // 0.10021 s
    EXPECT_EQ(sampleAt(f().CursorStart), 241);
    EXPECT_FLOAT_EQ(f().CursorStart, 241 * (1.0f / 2400));
    EXPECT_EQ(view.texts.CurStart, "0.1004");
    viewer.PaintBox1MouseDown(ViewerButton::Left, false, 50 + 200, 100); // 0.10020 s
    EXPECT_EQ(sampleAt(f().CursorStart), 240);

    cursorsOnSamples(300, 400);
    viewer.PaintBox1MouseDown(ViewerButton::Right, false, 50 + 100, 100); // sample 240
    EXPECT_EQ(sampleAt(f().CursorStart), 240);
    EXPECT_EQ(sampleAt(f().CursorEnd), 241);
    viewer.PaintBox1MouseDown(ViewerButton::Left, false, 50 + 8000, 100); // sample 259
    EXPECT_EQ(sampleAt(f().CursorStart), 259);
    EXPECT_EQ(sampleAt(f().CursorEnd), 260);
    // A click exactly on the other cursor moves that one a sample on.
    cursorsOnSamples(240, 250);
    viewer.PaintBox1MouseDown(ViewerButton::Left, false, 50 + 4167, 100); // sample 250
    EXPECT_EQ(sampleAt(f().CursorStart), 250);
    EXPECT_EQ(sampleAt(f().CursorEnd), 251);
    viewer.PaintBox1MouseDown(ViewerButton::Right, false, 50 + 4167, 100); // sample 250
    EXPECT_EQ(sampleAt(f().CursorStart), 250);
    EXPECT_EQ(sampleAt(f().CursorEnd), 251);
    viewer.PaintBox1MouseDown(ViewerButton::Middle, false, 50 + 19000, 100);
    EXPECT_EQ(sampleAt(f().CursorStart), 250);
    EXPECT_FALSE(viewer.plot().crossHairActive()); // the repaint cleared it
}

TEST_F(ViewerTest, CursorLimitsKeepTheStartBeforeTheEndAndBothInTheWaveform) {
    cursorsOnSamples(500, 400);
    viewer.PaintBox1Paint();
    EXPECT_EQ(sampleAt(f().CursorStart), 399);
    f().CursorStart = -2;
    f().CursorEnd = 30;
    viewer.PaintBox1Paint();
    EXPECT_FLOAT_EQ(f().CursorStart, 0);
    EXPECT_FLOAT_EQ(f().CursorEnd, 25);
    EXPECT_EQ(view.texts.CurSpan, "25.0000");
    // A view started beyond the end reaches past the waveform; a click there moves both
    // cursors back to its last sample rather than showing a negative span.
    viewer.SetStart("30");
    viewer.PaintBox1MouseDown(ViewerButton::Left, false, 50 + 290, 100); // about 25.025 s
    EXPECT_FLOAT_EQ(f().CursorEnd, 25);
    EXPECT_EQ(sampleAt(f().CursorStart), 59999);
    EXPECT_EQ(view.texts.CurStart, "24.9996");
    EXPECT_EQ(view.texts.CurSpan, "0.0004");
}

TEST_F(ViewerTest, SpanShorterThanASampleShowsTheAbsoluteCurrentAtTheStartCursor) {
    store.Samples[241] = -400;
    store.Samples[242] = 1000;
    viewer.SetCurStart("0.10042");
    viewer.SetCurSpan("0.0001");
    EXPECT_EQ(view.texts.CurValue, "100.0000");
}

TEST_F(ViewerTest, RmsCountsTheSamplesFromTheStartCursorUpToTheEndCursor) {
    for (int i = 100; i < 200; ++i)
        store.Samples[i] = static_cast<std::int16_t>(i % 2 ? 200 : -200);
    store.Samples[200] = 1000; // under the end cursor: not counted
    cursorsOnSamples(100, 200);
    viewer.PaintBox1Paint();
    EXPECT_EQ(view.texts.CurValue, "50.0000");
    cursorsOnSamples(100, 300);
    viewer.PaintBox1Paint();
    EXPECT_EQ(view.texts.CurValue, formatFixed(std::sqrt((100 * 2500.0 + 62500) / 200), 0, 4));
}

TEST_F(ViewerTest, LongSpanAtTheEndOfTheWaveformCountsEverySampleOnce) {
    // A time kept in single precision and stepped 59000 times would drift by tens of samples.
    for (int i = 59990; i < 60000; ++i)
        store.Samples[i] = 1000;
    store.Samples[60000] = 2000;
    cursorsOnSamples(1000, 60000);
    viewer.PaintBox1Paint();
    const double expected = std::sqrt(10 * 250.0 * 250.0 / 59000);
    EXPECT_EQ(view.texts.CurValue, formatFixed(expected, 0, 4));
}

// The cycle table covers the captured pulse until a cursor is placed or typed, the span
// between the cursors from then on, and the pulse again at the next showing; without a pulse,
// the whole waveform. Its RMS is always the panel's.
TEST_F(ViewerTest, CycleTableFollowsThePulseThenTheCursorsUntilShownAgain) {
    for (int i = 1000; i < 1480; ++i) // twelve 60 Hz cycles from 0.4167 s
        store.Samples[i] = static_cast<std::int16_t>(std::lround(800 * std::sin(i * M_PI / 20)));
    store.PulseFirst = 1000;
    store.PulseCount = 480;
    viewer.FormShow();
    EXPECT_EQ(view.cycleTexts.caption,
              "Cycles of the captured pulse: 0.4167 s to 0.6167 s, 60 Hz mains");
    EXPECT_EQ(viewer.cycleTable().rows.size(), 12u);
    const std::string rms = formatFixed(samplesRms(store.Samples.get(), 1000, 480, 0.25f), 0, 4);
    EXPECT_EQ(view.cycleTexts.footer.rfind("RMS " + rms + " A   Peak 200.0000 A   I\u00b2t ", 0),
              0u)
        << view.cycleTexts.footer;

    viewer.SetCurStart("0.45");
    EXPECT_EQ(view.cycleTexts.caption,
              "Cycles between the cursors: 0.4500 s to 1.0000 s, 60 Hz mains");
    EXPECT_EQ(view.cycleTexts.footer.rfind("RMS " + view.texts.CurValue + " A", 0), 0u);
    viewer.FormShow();
    EXPECT_EQ(view.cycleTexts.caption.rfind("Cycles of the captured pulse", 0), 0u);

    store.clearSamples(); // a new test: no pulse yet
    viewer.FormShow();
    EXPECT_EQ(view.cycleTexts.caption,
              "Cycles of the whole waveform: 0.0000 s to 25.0000 s, 60 Hz mains");
}

TEST_F(ViewerTest, FooterRmsIsThePanelsForAnyCursors) {
    std::mt19937 rng(11);
    for (int i = 0; i < 6000; ++i)
        store.Samples[i] = static_cast<std::int16_t>(static_cast<int>(rng() % 4001) - 2000);
    for (const auto& [start, span] : {std::pair{"0.1", "0.0001"},
                                      {"0.1001", "0.5"},
                                      {"1.23456", "0.01667"},
                                      {"0", "2.5"},
                                      {"2.4", "1"}}) {
        viewer.SetCurStart(start);
        viewer.SetCurSpan(span);
        EXPECT_EQ(viewer.cycleTable().totals.rms, viewer.CursorRms(f().CursorStart, f().CursorEnd))
            << start << " + " << span;
        EXPECT_EQ(view.cycleTexts.footer.rfind("RMS " + view.texts.CurValue + " A", 0), 0u);
    }
}

TEST_F(ViewerTest, CycleTableIsComputedAgainOnlyWhenItsSpanOrMainsChange) {
    const int atShow = view.cycleTables;
    viewer.TrackBar1Change(300);
    viewer.UpDown1Click(2);
    viewer.Contract();
    EXPECT_EQ(view.cycleTables, atShow);
    viewer.SetCurSpan("0.5");
    EXPECT_EQ(view.cycleTables, atShow + 1);
    int mains = 60;
    viewer.setMainsHz([&mains] { return mains; });
    viewer.PaintBox1Paint();
    EXPECT_EQ(view.cycleTables, atShow + 1);
    mains = 50;
    viewer.PaintBox1Paint();
    EXPECT_EQ(view.cycleTables, atShow + 2);
}

// The main window's update timer goes on under the modal viewer, so an armed test can capture
// a new pulse into the shown store: the next paint cuts the new samples, as the panel reads them.
TEST_F(ViewerTest, SamplesCapturedWhileShownAreCutAgain) {
    viewer.SetCurSpan("0.5");
    const auto capture = [this](int to, double amplitude) { // as the engine writes: at Position
        while (store.Position < to)
            store.capture(static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(store.Position * 0.16))));
    };
    const auto panelsRms = [this] {
        viewer.PaintBox1Paint();
        EXPECT_EQ(view.cycleTexts.footer.rfind("RMS " + view.texts.CurValue + " A", 0), 0u);
        return viewer.cycleTable().totals.rms == viewer.CursorRms(f().CursorStart, f().CursorEnd);
    };
    capture(600, 300); // the last test's capture
    EXPECT_TRUE(panelsRms());
    store.clearSamples(); // a new test, as long
    store.Position = 0;
    capture(600, 900);
    EXPECT_TRUE(panelsRms());
    capture(1200, 900); // which goes on
    EXPECT_TRUE(panelsRms());
}

// Where the site runs at 50 Hz the table is cut with its period and the cursor span and the
// table's span are also read in 50 Hz cycles; at 60 Hz there is no extra reading.
TEST_F(ViewerTest, FiftyHertzAddsCyclesAtFiftyHertz) {
    EXPECT_EQ(view.texts.CurCycles, "");
    EXPECT_EQ(view.cycleTexts.footer.find("cycles at"), std::string::npos);
    viewer.setMainsHz([] { return 50; });
    viewer.SetCurSpan("0.25");
    EXPECT_EQ(view.texts.CurCycles, "12.50 cycles at 50 Hz");
    EXPECT_NE(view.cycleTexts.caption.find(", 50 Hz mains"), std::string::npos);
    EXPECT_EQ(view.cycleTexts.footer.substr(view.cycleTexts.footer.size() - 21),
              "12.50 cycles at 50 Hz");
}

TEST_F(ViewerTest, ContractDoublesAroundTheCentreWithinTheWaveform) {
    f().ViewStart = 0;
    f().ViewEnd = 15;
    viewer.Contract();
    EXPECT_FLOAT_EQ(f().ViewStart, 0);
    EXPECT_FLOAT_EQ(f().ViewEnd, 25);
    f().ViewStart = 10;
    f().ViewEnd = 12;
    viewer.Contract();
    EXPECT_FLOAT_EQ(f().ViewStart, 9);
    EXPECT_FLOAT_EQ(f().ViewEnd, 13);
    // A view kept narrower than it is drawn, even an empty one, widens from what is drawn.
    viewer.SetStart("1");
    viewer.SetEnd("1");
    EXPECT_EQ(view.texts.TEnd, "1.0200");
    viewer.Contract();
    EXPECT_NEAR(f().ViewStart, 0.99f, 1e-6);
    EXPECT_NEAR(f().ViewEnd, 1.03f, 1e-6);
    EXPECT_EQ(view.texts.TEnd, "1.0300");
}

TEST_F(ViewerTest, ExpandZoomsToTheCursorsWithFiveSamplesEachSide) {
    f().CursorStart = f().CursorEnd = 0;
    viewer.Expand();
    EXPECT_FLOAT_EQ(f().ViewStart, 0);
    EXPECT_FLOAT_EQ(f().ViewEnd, 0.01f + 5 * store.SamplePeriod);
    EXPECT_EQ(view.texts.TEnd, "0.0200"); // drawn at least 0.02 s wide
    cursorsOnSamples(1000, 1200);
    viewer.Expand();
    EXPECT_EQ(sampleAt(f().ViewStart), 995);
    EXPECT_EQ(sampleAt(f().ViewEnd), 1205);
}

TEST_F(ViewerTest, UpDownSixShowsThirtyTwoCounts) {
    viewer.UpDown1Click(6);
    EXPECT_FLOAT_EQ(f().YTop, 32 * 0.25f);
    EXPECT_FLOAT_EQ(f().YBottom, -32 * 0.25f);
    EXPECT_FLOAT_EQ(static_cast<float>(viewer.plot().currentArea()->y[0].visibleMax), 8.0f);
    viewer.UpDown1Click(0);
    EXPECT_FLOAT_EQ(f().YTop, 512.0f);
}

TEST_F(ViewerTest, TimeEditsKeepTheViewInsideTheWaveform) {
    viewer.SetEnd("0");
    EXPECT_FLOAT_EQ(f().ViewEnd, 0.05f);
    viewer.SetStart("30");
    EXPECT_FLOAT_EQ(f().ViewStart, 25);
    EXPECT_FLOAT_EQ(f().ViewEnd, 25.05f);
    viewer.SetStart("-1");
    EXPECT_FLOAT_EQ(f().ViewStart, 0);
    viewer.SetEnd("99");
    EXPECT_FLOAT_EQ(f().ViewEnd, 25);
    viewer.SetStart("2,5"); // a comma for the point is read too
    EXPECT_FLOAT_EQ(f().ViewStart, 2.5f);
    viewer.SetEnd("1e300"); // far too large: the end of the waveform
    EXPECT_FLOAT_EQ(f().ViewEnd, 25);
}

TEST_F(ViewerTest, TextThatIsNotANumberIsRefusedAndChangesNothing) {
    const TWaveViewFields before = f();
    viewer.SetStart("abc");
    viewer.SetCurSpan("1..2");
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[0].text, "'abc' is not a valid floating point value");
    EXPECT_EQ(dialogs.shown()[0].caption, "Error");
    EXPECT_EQ(dialogs.shown()[1].text, "'1..2' is not a valid floating point value");
    EXPECT_FLOAT_EQ(f().ViewStart, before.ViewStart);
    EXPECT_FLOAT_EQ(f().CursorEnd, before.CursorEnd);
    EXPECT_EQ(view.texts.TStart, "0.0000"); // shown again
}

TEST_F(ViewerTest, TrackbarMovesTheViewAndItsOwnPositionDoesNotMoveItAgain) {
    f().ViewStart = 1.23f;
    f().ViewEnd = 2.23f;
    viewer.PaintBox1Paint();
    EXPECT_EQ(view.track, 49);
    viewer.TrackBar1Change(view.track); // the position the paint set
    EXPECT_FLOAT_EQ(f().ViewStart, 1.23f);
    viewer.TrackBar1Change(400);
    EXPECT_FLOAT_EQ(f().ViewStart, 10);
    EXPECT_FLOAT_EQ(f().ViewEnd, 11);
    EXPECT_EQ(f().LastTrackPos, 400);
    viewer.TrackBar1EndDrag(1000); // the window keeps its width at the end
    EXPECT_FLOAT_EQ(f().ViewStart, 24);
    EXPECT_FLOAT_EQ(f().ViewEnd, 25);
    viewer.TrackBar1Exit(500); // leaving the trackbar moves the view to it always
    EXPECT_FLOAT_EQ(f().ViewStart, 12.5f);
}

TEST_F(ViewerTest, PaintFailureIsLoggedAndGoesNoFurther) {
    ThrowingCanvas broken;
    view.canvas = &broken;
    EXPECT_NO_THROW(viewer.PaintBox1Paint());
    EXPECT_NE(log.lines().back().find("Waveform Paint Exception"), std::string::npos);
    EXPECT_EQ(view.texts.TEnd, "1.0000"); // the fields were refreshed before the drawing
}

TEST_F(ViewerTest, AnySurfaceSizeDrawsABoundedNumberOfLines) {
    // The full 25 s view and a 0.1 s view, on surfaces from a pixel to a screen.
    const std::pair<int, int> sizes[] = {{1, 1},   {3, 2},   {61, 61},   {62, 62},    {70, 64},
                                         {120, 9}, {9, 300}, {643, 447}, {1920, 1080}};
    for (const auto& [w, h] : sizes) {
        for (const float end : {25.0f, 0.1f}) {
            canvas.w = w;
            canvas.h = h;
            canvas.lines = 0;
            f().ViewStart = 0;
            f().ViewEnd = end;
            viewer.PaintBox1Paint();
            EXPECT_LT(canvas.lines, 12000) << w << "x" << h << " " << end;
        }
    }
}

TEST_F(ViewerTest, SaveWritesThePathChosenAndNamesTheFileInTheBoxes) {
    const std::string elsewhere = folder + "/captures";
    makeFolders(elsewhere);
    store.Samples[5] = 1234;
    testMode = 1;
    dialogs.answer(elsewhere + "/breaker.owf");
    dialogs.answer("SN-42");
    viewer.SaveButtonClick();
    const auto& shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].caption, "Save Waveform File");
    EXPECT_EQ(shown[0].text, "Test.owf");
    EXPECT_EQ(shown[0].folder, folder);
    EXPECT_EQ(shown[0].filter,
              "Velkorand Wave Files|*.owf|Recloser Wave Files|*.rwf|All Files|*.*");
    EXPECT_EQ(shown[2].text, "Writing Waveform File: breaker.owf");
    EXPECT_EQ(shown[3].text, "Bytes written 120059");
    const std::string bytes = contents("captures/breaker.owf");
    ASSERT_EQ(bytes.size(), 120059u);
    EXPECT_EQ(bytes[8], 'M');
    EXPECT_EQ(bytes.substr(9, 6), std::string("SN-42\0", 6));
    EXPECT_EQ(static_cast<unsigned char>(bytes[59 + 10]), 1234 & 0xFF);
    EXPECT_EQ(store.SerialId, "SN-42");
    // Saved outside the data folder, the file is known by its path; inside, by its name.
    EXPECT_EQ(store.FileName, elsewhere + "/breaker.owf");
    dialogs.answer(file("Test.owf"));
    viewer.SaveButtonClick();
    EXPECT_EQ(store.FileName, "Test.owf");
    EXPECT_TRUE(files.exists(file("Test.owf")));
    dialogs.clear();
    dialogs.answer("<cancel>");
    viewer.SaveButtonClick();
    EXPECT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(store.FileName, "Test.owf");
}

// The trace drawn a line per segment and drawn by columns gives the same image.
struct TraceCase {
    int width, height;
    float yRange; // the Y axis runs from -yRange to +yRange counts
    int points;
    bool marks;
};

void PrintTo(const TraceCase& c, std::ostream* os) {
    *os << c.width << "x" << c.height << " +-" << c.yRange << " counts, " << c.points << " points"
        << (c.marks ? ", marks" : "");
}

class TraceEnvelope : public ::testing::TestWithParam<TraceCase> {
protected:
    // A noisy breaker current: noise at full scale, a pulse of a sine with noise on it, flat
    // stretches, steps and single spikes.
    static std::vector<std::int16_t> noisyWave(int n) {
        std::mt19937 rng(12345);
        std::vector<std::int16_t> s(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const int part = (i / 997) % 5;
            const int noise = static_cast<int>(rng() % 4096) - 2048;
            int v = 0;
            if (part == 0) v = noise;
            if (part == 1) v = static_cast<int>(1500 * std::sin(i * 0.157)) + noise / 16;
            if (part == 2) v = 0;
            if (part == 3) v = (i / 40) % 2 ? 700 : -700;
            if (part == 4) v = rng() % 50 == 0 ? noise : 3;
            s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::clamp(v, -2048, 2047));
        }
        return s;
    }
    static QImage draw(const TraceCase& c, const std::vector<std::int16_t>& s, bool byColumns,
                       std::size_t& markCount) {
        ImageCanvas canvas;
        canvas.resize(c.width, c.height);
        PlotEngine plot;
        plot.PlotBegin(&canvas, kPlotBlack, kPlotWhite, 1.1);
        plot.PlotArea(0, 100, 0, 100, 50, 10, 10, 50, false);
        plot.PlotXAxis(kPlotWhite, "", true, 0, static_cast<float>(c.points / 2400.0), 0, 0, false);
        plot.PlotYAxis(kPlotWhite, "", 1, -c.yRange, c.yRange, 0, 0, true, false);
        plot.setPen(kPlotYellow, 2);
        if (byColumns) {
            plot.PlotTrace(s.data(), 0, c.points - 1, 2400, 1, c.marks);
        } else {
            plot.PlotMoveTo(0, s[0]);
            for (int i = 1; i < c.points; ++i) {
                plot.PlotLineTo(static_cast<float>(i / 2400.0), s[static_cast<std::size_t>(i)]);
                if (c.marks) plot.PlotMark(1, 0);
            }
        }
        markCount = plot.marks().size();
        return canvas.image().copy();
    }
};

TEST_P(TraceEnvelope, ColumnsDrawTheSamePixelsAsEverySegment) {
    const TraceCase c = GetParam();
    const auto s = noisyWave(c.points);
    std::size_t marksBySegment = 0, marksByColumn = 0;
    const QImage bySegment = draw(c, s, false, marksBySegment);
    const QImage byColumn = draw(c, s, true, marksByColumn);
    ASSERT_EQ(bySegment.size(), byColumn.size());
    long differing = 0;
    for (int y = 0; y < bySegment.height(); ++y)
        for (int x = 0; x < bySegment.width(); ++x)
            if (bySegment.pixel(x, y) != byColumn.pixel(x, y)) ++differing;
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(marksByColumn, marksBySegment);
}

INSTANTIATE_TEST_SUITE_P(
    Views, TraceEnvelope,
    ::testing::Values(TraceCase{643, 447, 2048, 60000, false},   // full view, default window
                      TraceCase{1920, 1080, 2048, 60000, false}, // full view, full screen
                      TraceCase{643, 447, 256, 60000, false},    // zoomed up: clipped
                      TraceCase{300, 120, 64, 2400, false},      // clipped at the edges
                      TraceCase{643, 447, 2048, 700, false},     // one or two per column
                      TraceCase{1920, 1080, 1024, 240, true},    // sparse, with marks
                      TraceCase{64, 62, 2048, 60000, false}));   // a tiny surface

TEST(PlotMarks, TheMarkListStaysBounded) {
    CountingCanvas canvas;
    PlotEngine plot;
    plot.PlotBegin(&canvas, kPlotBlack, kPlotWhite, 1.1);
    plot.PlotArea(0, 100, 0, 100, 50, 10, 10, 50, false);
    plot.PlotXAxis(kPlotWhite, "", true, 0, 1, 0, 0, false);
    plot.PlotYAxis(kPlotWhite, "", 1, -1, 1, 0, 0, true, false);
    plot.PlotMoveTo(0.5f, 0);
    const long before = canvas.lines;
    for (std::size_t i = 0; i < 3 * PlotEngine::kMaxListedMarks; ++i)
        plot.PlotMark(1, 0);
    EXPECT_EQ(plot.marks().size(), PlotEngine::kMaxListedMarks);
    EXPECT_EQ(canvas.lines - before, static_cast<long>(3 * PlotEngine::kMaxListedMarks));
}

} // namespace
