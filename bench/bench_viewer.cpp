// Time to paint the waveform viewer offscreen: the whole 25 s capture (60000 samples) and a
// 0.1 s view, on a full-screen surface and on the window's default one, and for comparison
// the whole capture drawn a line per segment. Time to compute the cycle table of the whole
// capture, alone and as the viewer does when the cursors move.
#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"
#include "waveform/cycles.h"
#include "waveform/plotwidget.h"
#include "waveform/viewer.h"
#include "waveform/waveformwindow.h"

#include <QApplication>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

using namespace qarn3;

// The demonstration pulses with a few counts of noise on every sample, as a live capture has.
void fillCapture(TWaveformData& wave) {
    const auto pulses = generateWaveSamples(PulseSegments);
    std::mt19937 rng(7);
    for (int i = 0; i < kWaveFileSamples; ++i)
        wave.Samples[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(pulses[static_cast<std::size_t>(i)] + rng() % 9 - 4);
    wave.AmpsPerCount = 0.244140625f;
}

// A current flowing for the whole 25 s: 1500 cycles of a 60 Hz sine, with the same noise.
void fillContinuous(TWaveformData& wave) {
    std::mt19937 rng(7);
    for (int i = 0; i < kWaveFileSamples; ++i)
        wave.Samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
            std::lround(800 * std::sin(i * 3.14159265358979 / 20)) + rng() % 9 - 4);
    wave.AmpsPerCount = 0.244140625f;
}

struct Surface : WaveViewerView {
    WaveViewer* viewer = nullptr;
    ImageCanvas canvas;
    bool draw = true;
    void showTexts(const WaveViewTexts&) override {}
    void setTrackPosition(int) override {}
    void redrawSurface() override {
        if (!draw) return;
        viewer->drawSurface(canvas);
        canvas.image(); // finishes the drawing
    }
    void closeWindow() override {}
};

struct Fixture {
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
    TWaveformData wave;
    WaveViewer viewer{wave, services, "/tmp", [] { return 0; }};
    Surface surface;

    Fixture(int width, int height, float start, float end) {
        fillCapture(wave);
        surface.viewer = &viewer;
        surface.canvas.resize(width, height);
        viewer.setView(&surface);
        viewer.FormCreate();
        viewer.FormShow();
        viewer.fields().ViewStart = start;
        viewer.fields().ViewEnd = end;
    }
};

// Arguments: surface width, height, view in milliseconds.
void Paint(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 0,
              static_cast<float>(state.range(2)) / 1000);
    for (auto _ : state)
        f.viewer.PaintBox1Paint();
    state.counters["samples"] = f.viewer.fields().LastIndex - f.viewer.fields().FirstIndex + 1;
    state.counters["marks"] = static_cast<double>(f.viewer.plot().marks().size());
}
BENCHMARK(Paint)
    ->ArgNames({"w", "h", "ms"})
    ->Args({1920, 1080, 25000})
    ->Args({1920, 1080, 100})
    ->Args({643, 447, 25000})
    ->Args({643, 447, 100})
    ->Unit(benchmark::kMillisecond);

// The whole capture at full screen, every segment drawn as a line of its own.
void PaintEverySegment(benchmark::State& state) {
    Fixture f(1920, 1080, 0, 25);
    PlotEngine& plot = f.viewer.plot();
    ImageCanvas& canvas = f.surface.canvas;
    for (auto _ : state) {
        plot.PlotBegin(&canvas, kPlotBlack, kPlotWhite, 1.1);
        plot.PlotArea(0, 100, 0, 100, 50, 10, 10, 50, false);
        plot.PlotXAxis(kPlotWhite, "", true, 0, 25, 0, 0, false);
        plot.PlotYAxis(kPlotWhite, "", 1, -500, 500, 0, 0, true, false);
        plot.setPen(kPlotYellow, 2);
        plot.PlotMoveTo(0, f.wave.Samples[0] * f.wave.AmpsPerCount);
        for (int i = 1; i <= kWaveFileSamples; ++i)
            plot.PlotLineTo(static_cast<float>(i / 2400.0),
                            f.wave.Samples[static_cast<std::size_t>(i)] * f.wave.AmpsPerCount);
        canvas.image();
    }
}
BENCHMARK(PaintEverySegment)->Unit(benchmark::kMillisecond);

// Argument: 0 the demonstration pulses, 1 a current flowing for the whole 25 s.
void CycleTable25s(benchmark::State& state) {
    Fixture f(643, 447, 0, 25);
    if (state.range(0) == 1) fillContinuous(f.wave);
    CycleInput in;
    in.samples = f.wave.Samples.get();
    in.available = kWaveSlots;
    in.count = kWaveFileSamples;
    in.ampsPerCount = f.wave.AmpsPerCount;
    CycleTable table;
    for (auto _ : state) {
        computeCycles(in, table);
        benchmark::DoNotOptimize(table.rows.data());
    }
    state.counters["rows"] = static_cast<double>(table.rows.size());
}
BENCHMARK(CycleTable25s)->ArgName("continuous")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The viewer's path when a cursor moves over the whole capture: the panel's texts, the cycle
// table anew, its caption and footer (no drawing). The span alternates so that every
// iteration computes the table.
void CursorMoveWithCycleTable(benchmark::State& state) {
    Fixture f(643, 447, 0, 25);
    if (state.range(0) == 1) fillContinuous(f.wave);
    f.surface.draw = false;
    bool longer = false;
    for (auto _ : state) {
        f.viewer.SetCurSpan((longer = !longer) ? "25" : "24.99");
    }
    state.counters["rows"] = static_cast<double>(f.viewer.cycleTable().rows.size());
}
BENCHMARK(CursorMoveWithCycleTable)
    ->ArgName("continuous")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// The same in the window, with the cycle table shown: the cursor moved, then the table's pane
// drawn (which formats the rows it shows).
void CycleTableInTheWindow(benchmark::State& state) {
    Fixture f(643, 447, 0, 25);
    if (state.range(0) == 1) fillContinuous(f.wave);
    TfmWaveform window(f.wave, f.services, "/tmp", [] { return 0; });
    window.show();
    window.CyclesButton->click();
    bool longer = false;
    for (auto _ : state) {
        window.viewer().SetCurSpan((longer = !longer) ? "25" : "24.99");
        benchmark::DoNotOptimize(window.CyclePane->grab());
    }
    state.counters["rows"] = static_cast<double>(window.viewer().cycleTable().rows.size());
}
BENCHMARK(CycleTableInTheWindow)
    ->ArgName("continuous")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
