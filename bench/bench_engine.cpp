// Throughput of the measurement engine's tick over the per-sample pipeline, with the number
// of heap allocations per sample.
#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "diag/debuglog.h"
#include "engine/engine.h"
#include "engine/ranges.h"
#include "link/demolink.h"
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
void fillDemo(DemoLink& demo) {
    constexpr int kLength = DemoLink::kDemoLength;
    std::unique_ptr<std::int16_t[]> s(new std::int16_t[kLength]());
    int i = 0;
    for (int burst = 0; i < kLength; ++burst) {
        const int on = 240 * (1 + burst % 10);
        for (int k = 0; k < on && i < kLength; ++k, ++i)
            s[static_cast<std::size_t>(i)] =
                static_cast<std::int16_t>(1000 * std::sin(k * 2 * M_PI / 40));
        i += 3600;
    }
    demo.load(s.get(), kLength);
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
    const int interval = static_cast<int>(state.range(0));
    DemoLink demo(wave.SampleRate, wave.FileName, interval);
    EngineDisplay display;
    DebugLog log; // closed: trace lines cost nothing
    TQARN3Update engine(EngineContext{setup, cal, wave, demo, display, log});
    engine.useRanges(buildRangeTables(1000, 100).RangeFormat, 0);
    fillDemo(demo);
    engine.SetRange();
    engine.ResetTest();
    engine.Start();

    long samples = 0;
    const long allocationsBefore = g_allocations;
    const EngineReadings& r = engine.readings();
    for (auto _ : state) {
        if (demo.played() >= DemoLink::kDemoLength) { // the file again, from its start
            demo.testReset();
            demo.startForTest();
        }
        const std::int64_t before = r.samplesTaken;
        engine.ProcessTick();
        samples += r.samplesTaken - before;
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
