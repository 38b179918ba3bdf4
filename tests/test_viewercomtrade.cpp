// The waveform viewer's Save as COMTRADE, clicked as a person does (cursors by mouse, the
// button, the boxes answered), a capture's span cut from the store, and a recording put into
// the store as the analyzer would have captured it.
#include "waveform/comtradestore.h"
#include "waveform/waveformwindow.h"

#include "event_waits.h"
#include "record_fixture.h"
#include "waveform/plotwidget.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <cmath>

using namespace qarn3;
using namespace qarn3::test;

namespace {

struct SpanCase {
    const char* name;
    std::size_t first, count;
    std::vector<std::pair<std::size_t, std::size_t>> on; // the capture's
    std::vector<std::pair<std::size_t, std::size_t>> expectedOn;
    std::int64_t firstUs, triggerUs; // expected, the capture beginning at 1 s, trigger 1.5 s
    std::size_t expectedCount;
};

class StoreSpan : public ::testing::TestWithParam<SpanCase> {};

TEST_P(StoreSpan, TimesAndDetectorSpansMoveWithTheFirstSample) {
    const SpanCase& c = GetParam();
    TWaveformData w;
    w.SampleCount = 2401; // one second at 2400 samples per second
    w.SampleRate = 2400;
    w.AmpsPerCount = 0.5f;
    for (int i = 0; i < 2400; ++i)
        w.Samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i % 100);
    ComtradeExport origin;
    origin.firstSampleUs = 1000000;
    origin.triggerUs = 1500000;
    origin.withOn = true;
    origin.onSpans = c.on;
    const ComtradeExport e = comtradeOfStore(w, origin, c.first, c.count);
    ASSERT_EQ(e.counts.size(), c.expectedCount);
    if (!e.counts.empty()) {
        EXPECT_EQ(e.counts[0], static_cast<std::int16_t>(c.first % 100));
    }
    EXPECT_EQ(e.onSpans, c.expectedOn);
    EXPECT_EQ(e.firstSampleUs, c.firstUs);
    EXPECT_EQ(e.triggerUs, c.triggerUs);
    EXPECT_EQ(e.ampsPerCount, 0.5);
    EXPECT_EQ(e.sampleRate, 2400);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoreSpan,
    ::testing::Values(
        SpanCase{"Whole", 0, 2400, {{1200, 240}}, {{1200, 240}}, 1000000, 1500000, 2400},
        SpanCase{"PulseInside", 1000, 600, {{1200, 240}}, {{200, 240}}, 1416667, 1500000, 600},
        SpanCase{"PulseCutAtBothEnds", 1300, 100, {{1200, 240}}, {{0, 100}}, 1541667, 1541667, 100},
        SpanCase{"PulseOutside", 0, 1000, {{1200, 240}}, {}, 1000000, 1500000, 1000},
        SpanCase{"PastTheEndIsCut", 2300, 500, {{2350, 500}}, {{50, 50}}, 1958333, 1958333, 100}),
    [](const ::testing::TestParamInfo<SpanCase>& i) { return std::string(i.param.name); });

TEST(StoreRecording, CountsOnTheRangeClippedAndTheViewAsALoadedFile) {
    TWaveformData w;
    w.Samples[5000] = 77; // of an earlier waveform: cleared
    w.filled(5001);
    ComtradeCurrent c;
    c.sampleRate = 1200;
    c.deviceId = "REL-1";
    c.amps = {0, 10.2, -10.3, 5000, -5000, 1023.5};
    const std::size_t clipped = storeComtradeCurrent(w, c, 0.5);
    EXPECT_EQ(clipped, 2u);
    const std::int16_t expected[] = {0, 20, -21, 2047, -2047, 2047};
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(w.Samples[i], expected[i]) << i;
    EXPECT_EQ(w.Samples[5000], 0);
    EXPECT_EQ(w.SampleCount, 7); // playback takes SampleCount - 1
    EXPECT_EQ(w.SampleRate, 1200);
    EXPECT_FLOAT_EQ(w.SamplePeriod, 1.0f / 1200);
    EXPECT_FLOAT_EQ(w.AmpsPerCount, 0.5f);
    EXPECT_EQ(w.SerialId, "REL-1");
    EXPECT_FLOAT_EQ(w.View.YTop, 1024);
    EXPECT_FLOAT_EQ(w.View.TotalTime, 7.0f / 1200);
}

class ViewerComtradeTest : public RecordTest {
protected:
    ViewerComtradeTest() {
        EXPECT_EQ(makeDemoFiles(folder), "");
        EXPECT_TRUE(WaveformFiles(store, services, folder).LoadFile("QARN3Pulse.owf"));
        dialogs.clear();
    }
    void click(Qt::MouseButton button, float seconds) {
        PlotWidget* p = window.PaintBox1;
        // The plot area spans the surface less its margins: find the pixel of the time.
        for (int x = 0; x < p->width(); ++x) {
            float t = 0, amps = 0;
            window.viewer().plot().PlotScreenToData(x, p->height() / 2, t, amps);
            if (t >= seconds) {
                QTest::mouseClick(p, button, {}, QPoint(x, p->height() / 2));
                return;
            }
        }
        ADD_FAILURE() << "no pixel at " << seconds << " s";
    }
    ComtradeRead readBack(const std::string& name) {
        return readComtradeFile(file(name), "", files);
    }

    TWaveformData store;
    TfmWaveform window{store, services, folder, [] { return 0; }};
};

TEST_F(ViewerComtradeTest, SavesTheCursorsSpanOrTheWholeWaveformAsAsked) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.PaintBox1->repaint(); // the plot's areas are laid out by a paint
    click(Qt::LeftButton, 0.3f);
    click(Qt::RightButton, 0.4f);
    const TWaveViewFields& v = store.View;
    const long first = std::lround(v.CursorStart * 2400);
    const long count = std::lround((v.CursorEnd - v.CursorStart) * 2400);
    ASSERT_GT(count, 100);

    dialogs.answer(MsgButton::Yes);
    dialogs.answer(file("span.cfg"));
    QTest::mouseClick(window.ComtradeButton, Qt::LeftButton);
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.shown()[1].caption, "Save as COMTRADE");
    EXPECT_EQ(dialogs.shown()[2].kind, MsgKind::Information) << dialogs.shown()[2].text;
    const ComtradeRead span = readBack("span.cfg");
    ASSERT_TRUE(span.current) << span.error;
    ASSERT_EQ(span.current->amps.size(), static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        const double amps = static_cast<double>(store.AmpsPerCount) *
                            store.Samples[static_cast<std::size_t>(first + i)];
        ASSERT_NEAR(span.current->amps[static_cast<std::size_t>(i)], amps, 1e-9) << i;
    }
    EXPECT_NEAR(span.current->sampleRate, 2400, 1e-3); // as a waveform file gives it

    // The whole waveform, by the button's mnemonic; the button shows its whole caption.
    EXPECT_GE(window.ComtradeButton->width(), window.ComtradeButton->sizeHint().width());
    dialogs.clear();
    dialogs.answer(MsgButton::No);
    dialogs.answer(file("whole.cfg"));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(waitFor([&] { return dialogs.shown().size() == 3u; })); // the button's click
    const ComtradeRead whole = readBack("whole.cfg");
    ASSERT_TRUE(whole.current) << whole.error;
    EXPECT_EQ(whole.current->amps.size(), static_cast<std::size_t>(kWaveFileSamples - 1));
    // The waveform's own Save is untouched: the view and the samples are as they were.
    EXPECT_EQ(store.View.CursorStart, v.CursorStart);
    window.hide();
}

TEST_F(ViewerComtradeTest, CancelAsksNoFileAndAFailedWriteIsToldAndLeavesNothing) {
    window.show();
    dialogs.answer(MsgButton::Cancel);
    QTest::mouseClick(window.ComtradeButton, Qt::LeftButton);
    ASSERT_EQ(dialogs.shown().size(), 1u);

    dialogs.clear();
    dialogs.answer(MsgButton::No);
    dialogs.answer(folder + "/no such folder/run.cfg");
    QTest::mouseClick(window.ComtradeButton, Qt::LeftButton);
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.shown()[2].kind, MsgKind::Error);
    EXPECT_NE(dialogs.shown()[2].text.find("run."), std::string::npos) << dialogs.shown()[2].text;
    EXPECT_FALSE(files.exists(folder + "/no such folder/run.cfg"));

    // Both cursors on the last sample: no file is asked for.
    dialogs.clear();
    store.View.CursorStart = store.View.CursorEnd = store.View.TotalTime;
    dialogs.answer(MsgButton::Yes);
    QTest::mouseClick(window.ComtradeButton, Qt::LeftButton);
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_NE(dialogs.shown()[1].text.find("holds no sample"), std::string::npos);
    window.hide();
}

} // namespace
