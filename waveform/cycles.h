#pragma once

#include <cstdint>
#include <vector>

namespace qarn3 {

// Cycle by cycle over a span of samples: where each mains cycle begins, its RMS current, its
// positive and negative peaks and its share of the span's I²t, and the span's totals.
//
// How the span is cut into cycles. A cycle begins where the current rises through zero: at a
// sample of zero or more after a negative one, where the current is above zero at that sample
// or the next (a current that falls to zero and stays there has ended, not begun a cycle).
// Two guards keep noise near zero from cutting cycles that are not there:
//  - hysteresis: since the previous cut the current must have fallen to -1/32 of the span's
//    largest magnitude or below (at least one count below zero);
//  - minimum length: a cut lies at least half the expected mains period (1 / mains frequency)
//    after the previous cut or the span's start; a crossing closer than that joins the cycle
//    before it. So a span that starts just before a crossing does not begin with a sliver.
// The first row runs from the span's start to the first cut and is partial unless the span
// starts on a rising crossing; the last row runs to the span's end and is partial unless the
// sample after the span would be the next cut (so the cycle a breaker interrupted is partial).
// A span without a crossing is one partial row. Rows hold whole samples: no interpolation
// between them.
//
// The arithmetic is the viewer's CursorRms: each sample's current is the count times the
// amperes per count in single precision, squared and summed in double precision in sample
// order, so the span's RMS is the one the viewer's panel shows for the same samples.

// The samples to cut into cycles: the span [first, first + count) of samples, which holds
// `available` samples from index 0 (the sample after the span is looked at when it exists).
struct CycleInput {
    const std::int16_t* samples = nullptr;
    std::int32_t available = 0;
    std::int32_t first = 0;
    std::int32_t count = 0;
    float ampsPerCount = 0;
    double sampleRate = 2400;
    double mainsHz = 60;
    // Time of sample 0, added to each row's start (a capture's place in its file, say).
    double timeOrigin = 0;
};

// One cycle (or the partial cycle at either end of the span).
struct CycleRow {
    std::int32_t first = 0; // index of its first sample
    std::int32_t count = 0; // samples in it
    double start = 0;       // seconds: timeOrigin + first / sampleRate
    double rms = 0;         // amperes
    double peakPos = 0;     // largest current of zero or more, amperes (0 when none)
    double peakNeg = 0;     // most negative current, amperes (0 when none)
    double i2t = 0;         // A²s
    double share = 0;       // of the span's I²t, 0..1 (0 when the span's I²t is 0)
    bool partial = false;
};

// The span as a whole.
struct CycleTotals {
    float rms = 0;             // as CursorRms gives it for the same samples
    double peak = 0;           // largest magnitude, amperes
    double i2t = 0;            // A²s
    double firstPeakRatio = 0; // first row's peak magnitude / (√2 × rms); 0 when rms is 0
    double seconds = 0;        // count / sampleRate
};

struct CycleTable {
    std::vector<CycleRow> rows;
    CycleTotals totals;
    double mainsHz = 60;
};

// Cuts the span into cycles. The rows vector is reused (cleared, its capacity kept): no other
// allocation, none per sample. A span clipped to the samples available; an empty one gives no
// rows and zero totals.
void computeCycles(const CycleInput& in, CycleTable& out);
CycleTable computeCycles(const CycleInput& in);

// The square of a sample's current as the viewer sums it.
inline double ampsSquared(std::int16_t count, float ampsPerCount) {
    const double a = static_cast<float>(count) * ampsPerCount;
    return a * a;
}

// RMS current of samples [first, first + count), summed as above; 0 for no samples.
float samplesRms(const std::int16_t* samples, long first, long count, float ampsPerCount);

} // namespace qarn3
