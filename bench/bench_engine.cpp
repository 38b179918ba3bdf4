// Throughput of the measurement engine's tick over the per-sample pipeline, with the number
// of heap allocations per sample.
#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "diag/debuglog.h"
#include "engine/engine.h"
#include "engine/ranges.h"
#include "link/analyzerlink.h"
#include "waveform/waveform.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
} // namespace

// Counting replacements of the global allocation functions, on malloc and free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace qarn3;

// A breaker test: pulses of 0.1 s to 1 s at about 1000 counts, 1.5 s apart.
void fillDemo(TQARN3Update& engine) {
    std::unique_ptr<std::int16_t[]> s(new std::int16_t[kDemoLength]());
    int i = 0;
    for (int burst = 0; i < kDemoLength; ++burst) {
        const int on = 240 * (1 + burst % 10);
        for (int k = 0; k < on && i < kDemoLength; ++k, ++i)
            s[static_cast<std::size_t>(i)] =
                static_cast<std::int16_t>(1000 * std::sin(k * 2 * M_PI / 40));
        i += 3600;
    }
    engine.loadDemo(s.get(), kDemoLength);
}

void ProcessTick(benchmark::State& state) {
    TSetupRecord setup;
    setSetupDefaults(setup);
    setup.MaxOnTime = 0; // no timeouts: the test runs on and on
    setup.MaxOffTime = 0;
    TCalRecord cal;
    setCalDefaults(cal, 0);
    cal.AvgSamples = 240;
    TWaveformData wave;
    SharedState shared;
    shared.DemoMode = true;
    shared.RangeFormat = buildRangeTables(1000, 100).RangeFormat;
    NoAnalyzerLink usb, com;
    EngineDisplay display;
    DebugLog log; // closed: trace lines cost nothing
    const int interval = static_cast<int>(state.range(0));
    TQARN3Update engine(EngineContext{setup, cal, wave, shared, usb, com, display, log, interval});
    fillDemo(engine);
    engine.SetRange();
    engine.ResetTest();
    engine.Start();

    long samples = 0;
    const long allocationsBefore = g_allocations;
    for (auto _ : state) {
        if (engine.DemoIndex >= kDemoLength) engine.DemoIndex = 0;
        const std::int64_t before = engine.SamplesTaken;
        engine.ProcessTick();
        samples += engine.SamplesTaken - before;
    }
    state.SetItemsProcessed(samples);
    state.counters["samples_per_tick"] =
        static_cast<double>(samples) / static_cast<double>(state.iterations());
    state.counters["allocs_per_tick"] = static_cast<double>(g_allocations - allocationsBefore) /
                                        static_cast<double>(state.iterations());
}
// 200 ms ticks (480 samples, as live), and long ticks that measure the pipeline alone.
BENCHMARK(ProcessTick)->Arg(200)->Arg(25000);

} // namespace

BENCHMARK_MAIN();
