#include "report/snapshot.h"

#include "waveform/cycles.h"
#include "waveform/waveform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qarn3 {

bool snapshotOf(const std::string& bytes, const ShotReading& reading, WaveformSnapshot& out,
                std::string& error) {
    out = {};
    if (bytes.size() < kWaveHeaderSize || bytes.compare(0, 8, "WAVEFORM") != 0) {
        error = "the stored waveform is not a waveform file";
        return false;
    }
    // Read as the program reads a waveform file: at most 60000 samples, the last slot
    // empty, the rate of the header when it is a plausible one.
    const TWaveFileHeader h = TWaveFileHeader::fromBytes(bytes.data());
    const int count =
        h.SampleCount > kWaveFileSamples || h.SampleCount < 100 ? kWaveFileSamples : h.SampleCount;
    const double rate = h.SamplePeriod != 0 ? 1.0 / h.SamplePeriod : 0;
    out.sampleRate = rate >= 500 && rate <= 5000 ? rate : 2400;
    out.ampsPerCount = h.AmpsPerCount;
    const std::size_t got = std::min<std::size_t>((bytes.size() - kWaveHeaderSize) / 2,
                                                  static_cast<std::size_t>(count - 1));
    out.samples.resize(got);
    std::memcpy(out.samples.data(), bytes.data() + kWaveHeaderSize, 2 * got);
    if (got == 0) {
        error = "the stored waveform holds no samples";
        return false;
    }
    const double total = static_cast<double>(got - 1) / out.sampleRate;

    if (reading.startSeconds) {
        out.pulseKnown = true;
        out.pulseStart = *reading.startSeconds;
        out.pulseEnd = *reading.startSeconds + reading.seconds;
        const long first = std::lround(out.pulseStart * out.sampleRate);
        const long span =
            std::min(std::lround(reading.seconds * out.sampleRate), static_cast<long>(got) - first);
        const float rms =
            first >= 0 && span > 0 ? samplesRms(out.samples.data(), first, span, 1.0f) : 0.0f;
        if (rms > 0 && reading.currentAmps > 0)
            out.ampsPerCount = static_cast<float>(reading.currentAmps / rms);
    } else {
        int peak = 0;
        for (std::int16_t s : out.samples)
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        std::size_t first = 0, last = got - 1;
        const int busy = std::max(1, peak / 4);
        while (first < last && std::abs(static_cast<int>(out.samples[first])) < busy)
            ++first;
        while (last > first && std::abs(static_cast<int>(out.samples[last])) < busy)
            --last;
        out.pulseStart = static_cast<double>(first) / out.sampleRate;
        out.pulseEnd = static_cast<double>(last) / out.sampleRate;
    }
    const double margin = std::max(2.0 / 60, (out.pulseEnd - out.pulseStart) / 4);
    out.from = std::clamp(out.pulseStart - margin, 0.0, total);
    out.to = std::clamp(out.pulseEnd + margin, out.from, total);
    if (!(out.to > out.from)) out.to = std::min(total, out.from + 4.0 / 60);
    return true;
}

void drawSnapshot(PlotEngine& plot, PlotCanvas& canvas, const WaveformSnapshot& w,
                  const TimeCurrentStyle& style) {
    const int last = static_cast<int>(w.samples.size()) - 1;
    const int first = std::clamp(static_cast<int>(std::floor(w.from * w.sampleRate)), 0, last);
    const int end = std::clamp(static_cast<int>(std::ceil(w.to * w.sampleRate)), first, last);
    int peak = 0;
    for (int i = first; i <= end; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(w.samples[static_cast<std::size_t>(i)])));
    const double amps = std::max(1e-6, peak * std::fabs(static_cast<double>(w.ampsPerCount)));
    const auto top = static_cast<float>(amps * 1.1);

    plot.PlotBegin(&canvas, style.background, style.foreground, style.fontScale * 0.9);
    const int cw = plot.charWidth(), ch = plot.charHeight();
    plot.PlotArea(0, 100, 0, 100, 8 * cw, 2 * cw, 2 * ch, 3 * ch + cw, false);
    plot.PlotXAxis(style.grid, "Seconds", true, static_cast<float>(w.from),
                   static_cast<float>(w.to), 0, 0, false);
    plot.PlotYAxis(style.grid, "", 1, -top, top, 0, 0, true, false);
    const PlotEngine::Area* a = plot.currentArea();
    // The unit above the axis's labels, clear of the top one ("20000").
    if (a) {
        plot.setPen(style.grid, 1);
        canvas.text(cw, a->bottom - a->height - 2 * ch, "Amperes");
    }
    plot.setPen(style.bandEdge, 2);
    plot.PlotTrace(w.samples.data(), first, end, w.sampleRate, w.ampsPerCount,
                   a && a->width > end - first);
    if (!w.pulseKnown) return;
    plot.setPen(style.pass, 2);
    plot.PlotMoveTo(static_cast<float>(w.pulseStart), top);
    plot.PlotLineTo(static_cast<float>(w.pulseStart), -top);
    plot.setPen(style.fail, 2);
    plot.PlotMoveTo(static_cast<float>(w.pulseEnd), top);
    plot.PlotLineTo(static_cast<float>(w.pulseEnd), -top);
}

} // namespace qarn3
