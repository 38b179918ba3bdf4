#include "waveform/viewer.h"
#include "platform/fspath.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/textformat.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace qarn3 {

namespace {
constexpr const char* kWaveSaveFilter =
    "Velkorand Wave Files|*.owf|Recloser Wave Files|*.rwf|All Files|*.*";

std::string fixed4(double v) {
    return formatFixed(v, 0, 4, '.');
}

// A span in mains cycles where the site runs at 50 Hz: the extra reading beside the 60 Hz
// cycles the rest of the program shows.
std::string cyclesAt50(double seconds, int mainsHz) {
    if (mainsHz != 50) return {};
    return formatFixed(seconds * 50, 0, 2, '.') + " cycles at 50 Hz";
}

// Which span the cycle table covers.
enum CycleSpanKind { kSpanCursors, kSpanPulse, kSpanWhole };

// A file in the folder is known by its bare name; one elsewhere by its path, so that it is
// the file found again later.
std::string nameInFolder(const std::string& folder, const std::string& path) {
    const std::filesystem::path p = fsPath(path);
    std::error_code ec;
    const bool inFolder = p.parent_path().empty() ||
                          std::filesystem::equivalent(p.parent_path(), fsPath(folder), ec);
    return inFolder ? utf8Of(p.filename()) : path;
}
} // namespace

const std::array<const char*, kCycleColumns> kCycleColumnTitles = {
    "Cycle", "Start s", "RMS A", "+Peak A", "-Peak A", "I\u00b2t %"};

std::string cycleCellText(const CycleRow& row, int index, int column) {
    switch (column) {
    case 0:
        return std::to_string(index + 1) + (row.partial ? " (partial)" : "");
    case 1:
        return fixed4(row.start);
    case 2:
        return fixed4(row.rms);
    case 3:
        return fixed4(row.peakPos);
    case 4:
        return fixed4(row.peakNeg);
    case 5:
        return formatFixed(row.share * 100, 0, 2, '.');
    default:
        return {};
    }
}

long nearestSample(double t, double period) {
    const double q = t / period;
    if (!std::isfinite(q)) return q > 0 ? 2000000000L : -2000000000L;
    return static_cast<long>(std::nearbyint(std::clamp(q, -2.0e9, 2.0e9)));
}

WaveViewer::WaveViewer(TWaveformData& wave, Services& services, const std::string& dataFolder,
                       std::function<int()> testMode)
    : m_wave(wave), m_services(services), m_dataFolder(dataFolder),
      m_testMode(std::move(testMode)) {}

void WaveViewer::FormCreate() {
    m_services.log.AddDebugLine("Waveform Form Create");
    m_wave.SampleRate = 2400;
    m_wave.SamplePeriod = 1.0f / 2400;
}

void WaveViewer::FormShow() {
    m_services.log.AddDebugLine("Waveform FormShow");
    m_cursorsPlaced = false;
    m_cycleKey = CycleKey{}; // the store may hold another waveform since the last showing
    TWaveViewFields& v = m_wave.View;
    v.TotalTime = static_cast<float>(kWaveFileSamples / m_wave.SampleRate);
    v.TimeOrigin = 0;
    v.ViewStart = 0;
    v.ViewEnd = 1;
    m_wave.SamplePeriod = static_cast<float>(1.0 / m_wave.SampleRate);
    v.CursorStart = 0;
    v.CursorEnd = 1;
    v.YTop = 2048 * m_wave.AmpsPerCount;
    v.YBottom = -2048 * m_wave.AmpsPerCount;
    PaintBox1Paint();
}

void WaveViewer::drawnRange(float& start, float& end) const {
    const TWaveViewFields& v = m_wave.View;
    start = std::max(v.ViewStart, 0.0f);
    end = v.ViewEnd;
    if (end - start < kMinViewWidth) end = start + kMinViewWidth;
}

void WaveViewer::sampleRange(float start, float end, std::int32_t& first,
                             std::int32_t& last) const {
    const auto index = [this](float t) {
        return static_cast<std::int32_t>(
            std::clamp<long>(nearestSample(t, 1.0 / m_wave.SampleRate), 0, kWaveSlots - 1));
    };
    first = index(start);
    last = std::max(first, index(end));
}

// The cursor limits are applied before the cursors are drawn, so the picture and the edits
// always show the same cursors. The end cursor is brought within the waveform before the start
// cursor is put before it: a start cursor placed beyond the end of the waveform (the view may
// reach past it) then moves back with it rather than leaving a negative span.
void WaveViewer::PaintBox1Paint() {
    try {
        TWaveViewFields& v = m_wave.View;
        float s = 0, e = 0;
        drawnRange(s, e);
        sampleRange(s, e, v.FirstIndex, v.LastIndex);
        if (v.CursorEnd > v.TotalTime) v.CursorEnd = v.TotalTime;
        if (v.CursorStart > v.CursorEnd) v.CursorStart = v.CursorEnd - m_wave.SamplePeriod;
        if (v.CursorStart < v.TimeOrigin) v.CursorStart = v.TimeOrigin;
        if (v.TotalTime > v.TimeOrigin) {
            const double f = static_cast<double>(s) / (v.TotalTime - v.TimeOrigin);
            v.LastTrackPos = static_cast<std::int32_t>(
                std::clamp<long>(nearestSample(f * kTrackMax, 1.0), 0, kTrackMax));
            if (m_view) m_view->setTrackPosition(v.LastTrackPos);
        }
        if (m_view) {
            const double span = static_cast<double>(v.CursorEnd) - v.CursorStart;
            m_view->showTexts({fixed4(s), fixed4(e), fixed4(v.CursorStart), fixed4(span),
                               fixed4(CursorRms(v.CursorStart, v.CursorEnd)),
                               cyclesAt50(span, mainsHz())});
            m_view->redrawSurface();
        }
        refreshCycles();
    } catch (...) {
        m_services.log.AddDebugLine("Waveform Paint Exception");
    }
}

void WaveViewer::drawSurface(PlotCanvas& canvas) {
    try {
        const TWaveViewFields& v = m_wave.View;
        float s = 0, e = 0;
        drawnRange(s, e);
        m_plot.PlotBegin(&canvas, kPlotBlack, kPlotWhite, 1.1);
        m_plot.PlotArea(0, 100, 0, 100, 50, 10, 10, 50, false);
        m_plot.PlotXAxis(kPlotWhite, "", true, s, e, 0, 0, false);
        m_plot.PlotYAxis(kPlotWhite, "", 1, v.YBottom, v.YTop, 0, 0, true, false);
        m_plot.setPen(kPlotYellow, 2);
        std::int32_t first = 0, last = 0;
        sampleRange(s, e, first, last);
        const PlotEngine::Area* area = m_plot.currentArea();
        // Marks only where the samples lie more than a pixel apart; closer, they would only
        // thicken the trace.
        const bool marks = area && area->width > last - first;
        m_plot.PlotTrace(m_wave.Samples.get(), first, last, m_wave.SampleRate, m_wave.AmpsPerCount,
                         marks);
        m_plot.PlotMoveTo(v.CursorStart, v.YTop);
        m_plot.setPen(kPlotGreen, 2);
        m_plot.PlotLineTo(v.CursorStart, v.YBottom);
        m_plot.PlotMoveTo(v.CursorEnd, v.YTop);
        m_plot.setPen(kPlotRed, 2);
        m_plot.PlotLineTo(v.CursorEnd, v.YBottom);
    } catch (...) {
        m_services.log.AddDebugLine("Waveform Paint Exception");
    }
}

// The samples counted are those one period apart from start that lie before end; an end
// within a hundredth of a period of a sample counts as on it, so that cursors placed on
// samples count the samples from the start cursor up to the one before the end cursor. Less
// than a period apart, the one sample at start.
void WaveViewer::cursorSamples(float start, float end, long& first, long& count) const {
    const double period = m_wave.SamplePeriod;
    first = std::clamp<long>(nearestSample(start, period), 0, kWaveSlots - 1);
    const double span = static_cast<double>(end) - start;
    if (span < period) {
        count = 1;
        return;
    }
    count =
        std::clamp<long>(static_cast<long>(std::ceil(span / period - 0.01)), 0, kWaveSlots - first);
}

// The RMS of one sample is its absolute current.
float WaveViewer::CursorRms(float start, float end) {
    if (m_wave.SamplePeriod <= 0) m_wave.SamplePeriod = static_cast<float>(1.0 / m_wave.SampleRate);
    long first = 0, count = 0;
    cursorSamples(start, end, first, count);
    return samplesRms(m_wave.Samples.get(), first, count, m_wave.AmpsPerCount);
}

int WaveViewer::mainsHz() const {
    return m_mainsHz && m_mainsHz() == 50 ? 50 : 60;
}

void WaveViewer::refreshCycles() {
    const TWaveViewFields& v = m_wave.View;
    CycleKey key;
    if (m_cursorsPlaced) {
        key.kind = kSpanCursors;
        cursorSamples(v.CursorStart, v.CursorEnd, key.first, key.count);
    } else if (m_wave.PulseCount > 0) {
        key.kind = kSpanPulse;
        key.first = m_wave.PulseFirst;
        key.count = m_wave.PulseCount;
    } else {
        key.kind = kSpanWhole;
        key.first = 0;
        key.count =
            std::clamp<long>(nearestSample(v.TotalTime, 1.0 / m_wave.SampleRate), 0, kWaveSlots);
    }
    key.mainsHz = mainsHz();
    key.ampsPerCount = m_wave.AmpsPerCount;
    key.sampleRate = m_wave.SampleRate;
    key.revision = m_wave.Revision;
    key.position = m_wave.Position;
    if (key == m_cycleKey) return;
    m_cycleKey = key;

    CycleInput in;
    in.samples = m_wave.Samples.get();
    in.available = kWaveSlots;
    in.first = static_cast<std::int32_t>(key.first);
    in.count = static_cast<std::int32_t>(key.count);
    in.ampsPerCount = m_wave.AmpsPerCount;
    in.sampleRate = m_wave.SampleRate;
    in.mainsHz = key.mainsHz;
    computeCycles(in, m_cycles);

    const char* what = key.kind == kSpanCursors ? "Cycles between the cursors"
                       : key.kind == kSpanPulse ? "Cycles of the captured pulse"
                                                : "Cycles of the whole waveform";
    const double from = static_cast<double>(key.first) / m_wave.SampleRate;
    const CycleTotals& t = m_cycles.totals;
    m_cycleTexts.caption = std::string(what) + ": " + fixed4(from) + " s to " +
                           fixed4(from + t.seconds) + " s, " + std::to_string(key.mainsHz) +
                           " Hz mains";
    m_cycleTexts.footer =
        "RMS " + fixed4(t.rms) + " A   Peak " + fixed4(t.peak) + " A   I\u00b2t " + fixed4(t.i2t) +
        " A\u00b2s\nFirst peak / (\u221a2 \u00d7 RMS) " + fixed4(t.firstPeakRatio);
    if (const std::string c = cyclesAt50(t.seconds, key.mainsHz); !c.empty())
        m_cycleTexts.footer += "   " + c;
    if (m_view) m_view->showCycleTable(m_cycles, m_cycleTexts);
}

void WaveViewer::PaintBox1MouseDown(ViewerButton button, bool ctrl, int x, int y) {
    m_plot.PlotMouseDown(button == ViewerButton::Left, ctrl, x, y);
    TWaveViewFields& v = m_wave.View;
    float t = 0, amps = 0;
    if (button == ViewerButton::Left) {
        m_plot.PlotScreenToData(x, y, t, amps);
        v.CursorStart = t;
        m_cursorsPlaced = true;
    } else if (button == ViewerButton::Right) {
        m_plot.PlotScreenToData(x, y, t, amps);
        v.CursorEnd = t;
        m_cursorsPlaced = true;
    }
    double period = m_wave.SamplePeriod;
    if (!(period > 0)) period = 1.0 / m_wave.SampleRate;
    long a = nearestSample(v.CursorStart, period);
    long b = nearestSample(v.CursorEnd, period);
    if (b <= a) {
        if (button == ViewerButton::Right) a = b;
        b = a + 1;
    }
    v.CursorStart = static_cast<float>(static_cast<double>(a) * period);
    v.CursorEnd = static_cast<float>(static_cast<double>(b) * period);
    PaintBox1Paint();
}

void WaveViewer::Expand() {
    TWaveViewFields& v = m_wave.View;
    const float margin = 5 * m_wave.SamplePeriod;
    v.ViewStart = v.CursorStart - margin;
    if (!(v.ViewStart > 0)) v.ViewStart = 0;
    if (v.ViewStart + kMinViewWidth < v.CursorEnd)
        v.ViewEnd = v.CursorEnd + margin;
    else
        v.ViewEnd = v.ViewStart + 0.01f + margin;
    PaintBox1Paint();
}

// Doubles the view as drawn: a view kept narrower than the drawn minimum (or empty, after equal
// times were typed) would otherwise take several presses, or never, to widen visibly.
void WaveViewer::Contract() {
    TWaveViewFields& v = m_wave.View;
    float s = 0, e = 0;
    drawnRange(s, e);
    const float w = std::min(2 * (e - s), v.TotalTime);
    v.ViewStart = (s + e) / 2 - w / 2;
    if (v.ViewStart < 0) v.ViewStart = 0;
    v.ViewEnd = v.ViewStart + w;
    if (v.ViewEnd > v.TotalTime) v.ViewEnd = v.TotalTime;
    PaintBox1Paint();
}

void WaveViewer::TrackToView(int trackPosition) {
    TWaveViewFields& v = m_wave.View;
    const float w = v.ViewEnd - v.ViewStart;
    v.ViewStart = static_cast<float>(trackPosition) / kTrackMax * v.TotalTime;
    v.ViewEnd = v.ViewStart + w;
    if (v.ViewEnd > v.TotalTime) {
        v.ViewEnd = v.TotalTime;
        v.ViewStart = v.TotalTime - w;
    }
    PaintBox1Paint();
}

void WaveViewer::trackIfMoved(int trackPosition) {
    if (trackPosition == m_wave.View.LastTrackPos) return;
    TrackToView(trackPosition);
    m_wave.View.LastTrackPos = trackPosition;
}

void WaveViewer::TrackBar1Change(int trackPosition) {
    trackIfMoved(trackPosition);
}
void WaveViewer::Panel1MouseMove(int trackPosition) {
    trackIfMoved(trackPosition);
}
void WaveViewer::Panel1MouseUp(int trackPosition) {
    trackIfMoved(trackPosition);
}
void WaveViewer::TrackBar1EndDrag(int trackPosition) {
    TrackToView(trackPosition);
}
void WaveViewer::TrackBar1Exit(int trackPosition) {
    TrackToView(trackPosition);
}
void WaveViewer::TrackBar1KeyPress(int trackPosition) {
    TrackToView(trackPosition);
}

// The edits show '.'; a ',' in place of it is read as the same decimal point.
bool WaveViewer::readNumber(const std::string& text, float& value) {
    try {
        const bool comma =
            text.find(',') != std::string::npos && text.find('.') == std::string::npos;
        const double d = parseReal(text, comma ? ',' : '.');
        // Far beyond any waveform's length; keeps the conversion to single precision finite.
        value = static_cast<float>(std::clamp(d, -1.0e9, 1.0e9));
        return true;
    } catch (const ConvertError& e) {
        m_services.dialogs.messageDlg(e.what(), MsgKind::Error, {MsgButton::OK});
        PaintBox1Paint(); // the edit shows the value in force again
        return false;
    }
}

void WaveViewer::SetStart(const std::string& text) {
    float value = 0;
    if (!readNumber(text, value)) return;
    TWaveViewFields& v = m_wave.View;
    v.ViewStart = std::max(value, 0.0f);
    if (v.ViewStart >= v.TotalTime) v.ViewStart = v.TotalTime;
    if (v.ViewStart > v.ViewEnd) v.ViewEnd = v.ViewStart + 0.05f;
    PaintBox1Paint();
}

void WaveViewer::SetEnd(const std::string& text) {
    float value = 0;
    if (!readNumber(text, value)) return;
    TWaveViewFields& v = m_wave.View;
    v.ViewEnd = value;
    if (v.ViewEnd > v.TotalTime)
        v.ViewEnd = v.TotalTime;
    else if (v.ViewEnd <= 0.05f)
        v.ViewEnd = 0.05f;
    if (v.ViewEnd < v.ViewStart) v.ViewEnd = v.ViewStart + 0.05f;
    PaintBox1Paint();
}

void WaveViewer::SetCurStart(const std::string& text) {
    float value = 0;
    if (!readNumber(text, value)) return;
    m_wave.View.CursorStart = value;
    m_cursorsPlaced = true;
    PaintBox1Paint();
}

void WaveViewer::SetCurSpan(const std::string& text) {
    float value = 0;
    if (!readNumber(text, value)) return;
    m_wave.View.CursorEnd = m_wave.View.CursorStart + value;
    m_cursorsPlaced = true;
    PaintBox1Paint();
}

void WaveViewer::UpDown1Click(int position) {
    TWaveViewFields& v = m_wave.View;
    v.YZoom = std::ldexp(1.0f, std::clamp(position, 0, kUpDownMax));
    v.YTop = m_wave.AmpsPerCount * 2048 / v.YZoom;
    v.YBottom = -v.YTop;
    PaintBox1Paint();
}

void WaveViewer::ExitButtonClick() {
    if (m_view) m_view->closeWindow();
}

void WaveViewer::SaveButtonClick() {
    const FileDialogRequest request{"Save Waveform File", m_dataFolder, "Test.owf", kWaveSaveFilter,
                                    ".owf"};
    const auto chosen = m_services.dialogs.saveFileDialog(request);
    if (!chosen) return;
    m_wave.FileName = nameInFolder(m_dataFolder, *chosen);
    WaveformFiles(m_wave, m_services, m_dataFolder)
        .WriteWaveform(*chosen, m_testMode ? m_testMode() : 0);
}

} // namespace qarn3
