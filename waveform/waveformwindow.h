#pragma once

#include "waveform/viewer.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTableView;
class QToolButton;

namespace qarn3 {

class PlotWidget;
class CycleTableModel;

// An up-down control: two arrow buttons stepping a position within a range, no wrap.
class UpDownControl : public QWidget {
public:
    UpDownControl(int minimum, int maximum, QWidget* parent = nullptr);
    int position() const { return m_position; }
    void setPosition(int position);
    // Called after each step with the new position.
    std::function<void(int)> onClick;
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

private:
    void step(int by);
    int m_minimum, m_maximum, m_position;
    QToolButton* m_up;
    QToolButton* m_down;
};

// The waveform window ("Waveform View"): the trace with its cursors above, the panel with the
// zoom buttons, the edits, the trackbar and the vertical scale below, and between them, shown
// by the Cycles button, the cycle table. Shown modally by Analyze. A thin view of WaveViewer:
// the program's, made at the start-up (the window when first shown), or one of its own.
class TfmWaveform : public QDialog, public WaveViewerView {
    Q_OBJECT
public:
    explicit TfmWaveform(WaveViewer& viewer, QWidget* parent = nullptr);
    TfmWaveform(TWaveformData& wave, Services& services, const std::string& dataFolder,
                std::function<int()> testMode, QWidget* parent = nullptr);
    ~TfmWaveform() override;

    WaveViewer& viewer() { return m_viewer; }

    // WaveViewerView
    void showTexts(const WaveViewTexts& texts) override;
    void setTrackPosition(int position) override;
    void redrawSurface() override;
    void closeWindow() override;
    void showCycleTable(const CycleTable& table, const CycleTableTexts& texts) override;

    PlotWidget* PaintBox1;
    QWidget* Panel1;
    QPushButton* ContractButton;
    QPushButton* ExpandButton;
    QPushButton* SaveButton;
    QPushButton* ComtradeButton; // Save as COMTRADE
    QPushButton* ExitButton;
    QLineEdit* TStart;
    QLineEdit* TEnd;
    QLineEdit* CurStart;
    QLineEdit* CurSpan;
    QLineEdit* CurValue;
    QSlider* TrackBar1;
    UpDownControl* UpDown1;
    QLabel* CurCycles;         // the cursor span in cycles at 50 Hz, where chosen
    QPushButton* CyclesButton; // shows and hides the cycle table
    QWidget* CyclePane;
    QLabel* CycleCaption;
    QTableView* CycleTableView;
    QLabel* CycleFooter;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildCyclePane();
    // Shows or hides the cycle table, growing or shrinking the window by its height.
    void showCyclePane(bool shown);
    // Applies an edit's text: always on a double click, on leaving it or Return only when
    // the text was changed.
    void applyEdit(QLineEdit* edit, bool always);

    void build();

    std::unique_ptr<WaveViewer> m_ownViewer;
    WaveViewer& m_viewer;
    CycleTableModel* m_cycleModel = nullptr;
    WaveViewTexts m_shown;
    bool m_applying = false;
};

} // namespace qarn3
