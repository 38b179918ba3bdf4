#pragma once

#include "waveform/plotengine.h"
#include "waveform/waveform.h"

#include <functional>
#include <string>

namespace qarn3 {

struct Services;

// What the viewer shows in its edit fields, each formatted "0.0000" with '.'.
struct WaveViewTexts {
    std::string TStart, TEnd, CurStart, CurSpan, CurValue;
};

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
};

enum class ViewerButton { Left, Right, Middle };

// The waveform viewer without its widgets: the time window, the two cursors on samples, the
// RMS current between them, the vertical scale, and saving the store to a file. Works on the
// store's view fields; every command that changes them ends by painting.
class WaveViewer {
public:
    static constexpr int kTrackMax = 1000;
    static constexpr int kUpDownMax = 6;
    static constexpr float kMinViewWidth = 0.02f; // seconds drawn at least

    // testMode gives the setup's test mode, which a saved file records.
    WaveViewer(TWaveformData& wave, Services& services, const std::string& dataFolder,
               std::function<int()> testMode);

    void setView(WaveViewerView* view) { m_view = view; }
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

    // The view actually drawn: the start raised to 0, at least kMinViewWidth wide.
    void drawnRange(float& start, float& end) const;

private:
    // The samples of [start, end]: the nearest to each, within the store.
    void sampleRange(float start, float end, std::int32_t& first, std::int32_t& last) const;
    bool readNumber(const std::string& text, float& value);
    void trackIfMoved(int trackPosition);
    float sampleAmps(long index) const;

    TWaveformData& m_wave;
    Services& m_services;
    std::string m_dataFolder;
    std::function<int()> m_testMode;
    WaveViewerView* m_view = nullptr;
    PlotEngine m_plot;
};

// Index of the sample nearest to t seconds at the given period, halves to even, clamped to
// the range of an int.
long nearestSample(double t, double period);

} // namespace qarn3
