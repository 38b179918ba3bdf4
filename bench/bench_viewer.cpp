// Time to paint the waveform viewer offscreen: the whole 25 s capture (60000 samples) and a
// 0.1 s view, on a full-screen surface and on the window's default one, and for comparison
// the whole capture drawn a line per segment.
#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"
#include "waveform/plotwidget.h"
#include "waveform/viewer.h"

#include <QGuiApplication>

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

struct Surface : WaveViewerView {
    WaveViewer* viewer = nullptr;
    ImageCanvas canvas;
    void showTexts(const WaveViewTexts&) override {}
    void setTrackPosition(int) override {}
    void redrawSurface() override {
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
        plot.PlotXAxis(kPlotWhite, "", true, 0, 25, 0, 0, false, true);
        plot.PlotYAxis(kPlotWhite, "", 1, -500, 500, 0, 0, true, false, true);
        plot.setPen(kPlotYellow, 2);
        plot.PlotMoveTo(0, f.wave.Samples[0] * f.wave.AmpsPerCount);
        for (int i = 1; i <= kWaveFileSamples; ++i)
            plot.PlotLineTo(static_cast<float>(i / 2400.0),
                            f.wave.Samples[static_cast<std::size_t>(i)] * f.wave.AmpsPerCount);
        canvas.image();
    }
}
BENCHMARK(PaintEverySegment)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
