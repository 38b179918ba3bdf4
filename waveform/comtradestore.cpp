#include "waveform/comtradestore.h"

#include "waveform/waveform.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qarn3 {

namespace {

std::size_t samplesInStore(const TWaveformData& w) {
    const std::int32_t n = w.SampleCount > 1 ? w.SampleCount - 1 : kWaveFileSamples - 1;
    return static_cast<std::size_t>(std::clamp<std::int32_t>(n, 0, kWaveSlots));
}

} // namespace

std::size_t storeComtradeCurrent(TWaveformData& w, const ComtradeCurrent& current,
                                 double ampsPerCount) {
    const ComtradeCounts c = comtradeCounts(current.amps, ampsPerCount);
    const std::size_t n = std::min<std::size_t>(c.counts.size(), kWaveFileSamples - 1);
    w.clearSamples();
    std::copy_n(c.counts.begin(), n, w.Samples.get());
    w.filled(static_cast<std::int32_t>(n));
    w.SampleCount = static_cast<std::int32_t>(n + 1);
    w.SampleRate = current.sampleRate;
    w.SamplePeriod = static_cast<float>(1.0 / current.sampleRate);
    w.AmpsPerCount = static_cast<float>(ampsPerCount);
    w.SerialId = current.deviceId;
    w.Header = TWaveFileHeader{};
    std::memcpy(w.Header.Magic.data(), "WAVEFORM", 8);
    w.Header.AmpsPerCount = w.AmpsPerCount;
    w.Header.SamplePeriod = w.SamplePeriod;
    w.Header.SampleCount = w.SampleCount;
    TWaveViewFields& v = w.View;
    v = TWaveViewFields{};
    v.TotalTime = static_cast<float>(w.SampleCount * static_cast<double>(w.SamplePeriod));
    v.YTop = 2048 * w.AmpsPerCount;
    v.YBottom = -v.YTop;
    return c.clipped;
}

ComtradeExport comtradeOfStore(const TWaveformData& w, const ComtradeExport& origin) {
    return comtradeOfStore(w, origin, 0, samplesInStore(w));
}

ComtradeExport comtradeOfStore(const TWaveformData& w, const ComtradeExport& origin,
                               std::size_t first, std::size_t count) {
    ComtradeExport e = origin;
    const std::size_t n = samplesInStore(w);
    first = std::min(first, n);
    count = std::min(count, n - first);
    e.counts.assign(w.Samples.get() + first, w.Samples.get() + first + count);
    e.ampsPerCount = w.AmpsPerCount;
    e.sampleRate = w.SampleRate;
    if (e.deviceId.empty()) e.deviceId = w.SerialId;
    const auto us = [&](std::size_t samples) {
        return static_cast<std::int64_t>(
            std::llround(static_cast<double>(samples) * 1e6 / w.SampleRate));
    };
    e.firstSampleUs = origin.firstSampleUs + us(first);
    e.triggerUs = std::max(origin.triggerUs, e.firstSampleUs);
    e.onSpans.clear();
    for (const auto& [at, length] : origin.onSpans) {
        const std::size_t from = std::max(at, first), to = std::min(at + length, first + count);
        if (from < to) e.onSpans.emplace_back(from - first, to - from);
    }
    return e;
}

} // namespace qarn3
