#include "waveform/cycles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qarn3 {

namespace {

// The rows and sums of one cycle as the span is walked.
struct RowSums {
    double sum = 0;
    float high = 0, low = 0; // largest and most negative current seen, 0 when none
};

void closeRow(const CycleInput& in, std::int32_t first, std::int32_t end, const RowSums& r,
              CycleTable& out) {
    CycleRow row;
    row.first = first;
    row.count = end - first;
    row.start = in.timeOrigin + first / in.sampleRate;
    row.rms = std::sqrt(r.sum / row.count);
    row.peakPos = r.high;
    row.peakNeg = r.low;
    row.i2t = r.sum / in.sampleRate;
    out.rows.push_back(row);
}

} // namespace

float samplesRms(const std::int16_t* samples, long first, long count, float ampsPerCount) {
    if (count <= 0) return 0;
    double sum = 0;
    for (long k = first; k < first + count; ++k)
        sum += ampsSquared(samples[k], ampsPerCount);
    return static_cast<float>(std::sqrt(sum / static_cast<double>(count)));
}

void computeCycles(const CycleInput& in, CycleTable& out) {
    out.rows.clear();
    out.totals = CycleTotals{};
    out.mainsHz = in.mainsHz > 0 ? in.mainsHz : 60;
    if (!in.samples || !(in.sampleRate > 0) || in.available <= 0) return;
    const std::int32_t first = std::clamp(in.first, 0, in.available);
    const std::int32_t end =
        first + static_cast<std::int32_t>(std::clamp<long>(in.count, 0, in.available - first));
    if (end <= first) return;
    const std::int16_t* s = in.samples;
    const float apc = in.ampsPerCount;
    const std::int32_t available = in.available;
    // The current rises through zero at sample i, and goes on above it.
    const auto risesAt = [s, available](std::int32_t i) {
        return i > 0 && i < available && s[i - 1] < 0 && s[i] >= 0 &&
               (s[i] > 0 || (i + 1 < available && s[i + 1] > 0));
    };

    int largest = 0;
    for (std::int32_t i = first; i < end; ++i)
        largest = std::max(largest, std::abs(int{s[i]}));
    const int hysteresis = std::max(1, largest / 32);
    const double minLength = 0.5 * in.sampleRate / out.mainsHz;
    out.rows.reserve(static_cast<std::size_t>((end - first) / std::max(1.0, minLength)) + 2);

    double total = 0;
    RowSums row;
    std::int32_t rowFirst = first;
    bool armed = false; // the current fell to -hysteresis or below since the last cut
    for (std::int32_t i = first; i < end; ++i) {
        const std::int16_t v = s[i];
        if (armed && v >= 0 && i > first && i - rowFirst >= minLength && risesAt(i)) {
            closeRow(in, rowFirst, i, row, out);
            row = RowSums{};
            rowFirst = i;
            armed = false;
        }
        if (v <= -hysteresis) armed = true;
        const float a = static_cast<float>(v) * apc;
        const double sq = static_cast<double>(a) * a;
        row.sum += sq;
        total += sq;
        row.high = std::max(row.high, a);
        row.low = std::min(row.low, a);
    }
    closeRow(in, rowFirst, end, row, out);

    const bool startsOnCrossing = risesAt(first);
    const bool endsOnCrossing = armed && end - rowFirst >= minLength && risesAt(end);
    out.rows.front().partial = !startsOnCrossing;
    if (!endsOnCrossing) out.rows.back().partial = true;

    CycleTotals& t = out.totals;
    const std::int32_t count = end - first;
    t.rms = static_cast<float>(std::sqrt(total / static_cast<double>(count)));
    t.i2t = total / in.sampleRate;
    t.seconds = count / in.sampleRate;
    for (CycleRow& r : out.rows) {
        r.share = t.i2t > 0 ? r.i2t / t.i2t : 0;
        t.peak = std::max({t.peak, r.peakPos, -r.peakNeg});
    }
    const CycleRow& head = out.rows.front();
    const double firstPeak = std::max(head.peakPos, -head.peakNeg);
    t.firstPeakRatio = t.rms > 0 ? firstPeak / (std::sqrt(2.0) * t.rms) : 0;
}

CycleTable computeCycles(const CycleInput& in) {
    CycleTable t;
    computeCycles(in, t);
    return t;
}

} // namespace qarn3
