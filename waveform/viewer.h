#pragma once

#include "waveform/comtrade.h"
#include "waveform/cycles.h"
#include "waveform/plotengine.h"
#include "waveform/waveform.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace qarn3 {

struct Services;

// What the viewer shows in its edit fields, each formatted "0.0000" with '.'; CurCycles is the
// cursor span in mains cycles ("12.50 cycles at 50 Hz") where 50 Hz is chosen, else empty.
struct WaveViewTexts {
    std::string TStart, TEnd, CurStart, CurSpan, CurValue, CurCycles;
};

// The words around the cycle table: which span it covers, and the span's totals (two lines).
struct CycleTableTexts {
    std::string caption;
    std::string footer;
};

// The cycle table's columns: cycle number ("(partial)" after it where partial), start time in
// seconds, RMS, positive and negative peak in amperes (each "0.0000" like the panel), and the
// share of the span's I²t in percent ("0.00").
constexpr int kCycleColumns = 6;
extern const std::array<const char*, kCycleColumns> kCycleColumnTitles;
// The text of one cell; index counts the rows from 0.
std::string cycleCellText(const CycleRow& row, int index, int column);

// The waveform window as the viewer drives it.
class WaveViewerView {
public:
    virtual ~WaveViewerView() = default;
    virtual void showTexts(const WaveViewTexts& texts) = 0;
    // Moves the trackbar without reporting the move back as the user's.
    virtual void setTrackPosition(int position) = 0;
    // The drawing surface is to be drawn anew (drawSurface on its canvas).
    virtual void redrawSurface() = 0;
    virtual void closeWindow() = 0;
    // The cycle table has changed (a new span, mains frequency or waveform).
    virtual void showCycleTable(const CycleTable& /*table*/, const CycleTableTexts& /*texts*/) {}
};

enum class ViewerButton { Left, Right, Middle };

// The waveform viewer without its widgets: the time window, the two cursors on samples, the
// RMS current between them, the cycle table, the vertical scale, and saving the store to a
// file. Works on the store's view fields; every command that changes them ends by painting.
// The cycle table covers the span between the cursors once the user has placed or typed one
// since the window was shown; before that the last pulse the engine measured in the capture,
// or the whole waveform when there is none.
class WaveViewer {
public:
    static constexpr int kTrackMax = 1000;
    static constexpr int kUpDownMax = 6;
    static constexpr float kMinViewWidth = 0.02f; // seconds drawn at least

    // testMode gives the setup's test mode, which a saved file records.
    WaveViewer(TWaveformData& wave, Services& services, const std::string& dataFolder,
               std::function<int()> testMode);

    void setView(WaveViewerView* view) { m_view = view; }
    // The site's mains frequency (50 or 60 Hz) for the cycle table; 60 Hz when not given.
    void setMainsHz(std::function<int()> mainsHz) { m_mainsHz = std::move(mainsHz); }
    int mainsHz() const;
    // The table of the last paint.
    const CycleTable& cycleTable() const { return m_cycles; }
    const CycleTableTexts& cycleTexts() const { return m_cycleTexts; }
    TWaveViewFields& fields() { return m_wave.View; }
    const TWaveformData& wave() const { return m_wave; }
    PlotEngine& plot() { return m_plot; }

    void FormCreate();
    void FormShow();
    // Refreshes the edits and the trackbar from the view fields (applying the cursor limits)
    // and has the surface drawn anew.
    void PaintBox1Paint();
    // Draws the trace and the cursors of the current view on the canvas.
    void drawSurface(PlotCanvas& canvas);
    // RMS current of the samples from start up to (not including) end; the absolute current
    // at start when they are less than a sample apart.
    float CursorRms(float start, float end);

    void PaintBox1MouseDown(ViewerButton button, bool ctrl, int x, int y);
    void Expand();
    void Contract();
    void TrackToView(int trackPosition);
    void TrackBar1Change(int trackPosition);
    void TrackBar1EndDrag(int trackPosition);
    void TrackBar1Exit(int trackPosition);
    void TrackBar1KeyPress(int trackPosition);
    void Panel1MouseMove(int trackPosition);
    void Panel1MouseUp(int trackPosition);
    // The edits' texts, read as decimal numbers; text that is not one is refused with the
    // conversion message and changes nothing.
    void SetStart(const std::string& text);
    void SetEnd(const std::string& text);
    void SetCurStart(const std::string& text);
    void SetCurSpan(const std::string& text);
    void UpDown1Click(int position);
    void ExitButtonClick();
    void SaveButtonClick();
    // Save as COMTRADE: the span between the cursors or the whole waveform, as asked, to the
    // .cfg and .dat files named (viewer_comtrade.cpp).
    void SaveComtradeClick();
    // What a COMTRADE file of the waveform names beyond its samples (station, device, pole,
    // breaker, line frequency, times, the detector's spans), for as long as the store holds
    // the samples it was given for. Without it: the waveform file's serial and time, the
    // site's mains frequency and the pulse the engine measured in the capture.
    void setComtradeOrigin(const ComtradeExport& origin);
    // The capture Save as COMTRADE writes: the cursors' span or the whole waveform.
    ComtradeExport comtradeCapture(bool cursorSpan) const;

    // The view actually drawn: the start raised to 0, at least kMinViewWidth wide.
    void drawnRange(float& start, float& end) const;

private:
    // The samples of [start, end]: the nearest to each, within the store.
    void sampleRange(float start, float end, std::int32_t& first, std::int32_t& last) const;
    // The samples CursorRms takes for the cursor times start and end.
    void cursorSamples(float start, float end, long& first, long& count) const;
    bool readNumber(const std::string& text, float& value);
    void trackIfMoved(int trackPosition);
    // Computes the cycle table anew when its span, the mains frequency, the scale or the
    // samples changed, and hands it to the window.
    void refreshCycles();

    // What the cycle table was last computed for.
    struct CycleKey {
        long first = -1, count = -1;
        int kind = -1, mainsHz = 0;
        float ampsPerCount = 0;
        double sampleRate = 0;
        std::uint64_t revision = 0; // of the store's samples, and where a capture stands
        std::int32_t position = -1;
        bool operator==(const CycleKey&) const = default;
    };

    TWaveformData& m_wave;
    Services& m_services;
    std::string m_dataFolder;
    std::function<int()> m_testMode;
    std::function<int()> m_mainsHz;
    WaveViewerView* m_view = nullptr;
    PlotEngine m_plot;
    bool m_cursorsPlaced = false; // by the user since the window was shown
    CycleTable m_cycles;
    CycleTableTexts m_cycleTexts;
    CycleKey m_cycleKey;
    std::optional<ComtradeExport> m_origin;
    std::uint64_t m_originRevision = 0;
};

// Index of the sample nearest to t seconds at the given period, halves to even, clamped to
// the range of an int.
long nearestSample(double t, double period);

} // namespace qarn3
