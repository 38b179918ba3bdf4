#pragma once

#include "app/analyzerlinks.h"
#include "app/program.h"
#include "waveform/plotengine.h"

#include <QMainWindow>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace qarn3 {

class HelpKeyFilter;
class PlotWidget;
class StatusRow;
class TfmCal;
class TfmComm;
class TfmDebug;
class TfmSetup;
class TfmUSB;
class TfmWaveform;

// The main window: readings, range and limits, the RUN/STOP/RESET button, bars, the trace
// and the status bar. It shows what the program tells it and passes the operator's actions on.
class TfmQARN3 : public QMainWindow, public MainView {
    Q_OBJECT
public:
    TfmQARN3(const ProgramOptions& options, DialogService& dialogs, Waits& waits, DebugLog& log,
             FileStore& files, MpusbApi& usbApi, SerialPort* serialPort);
    ~TfmQARN3() override;

    Program& program() { return *m_program; }
    AnalyzerLinks& links() { return *m_links; }
    // The windows created after this one.
    void setDebugWindow(TfmDebug* window) { m_debugWindow = window; }
    void setSetupWindow(TfmSetup* window) { m_setupWindow = window; }
    void setUsbWindow(TfmUSB* window) { m_usbWindow = window; }
    void setCommWindow(TfmComm* window) { m_commWindow = window; }
    // The calibration window; F1 in it shows the calibration help.
    void setCalWindow(TfmCal* window);
    void setWaveformWindow(TfmWaveform* window) { m_waveformWindow = window; }

    // MainView
    void setCaption(const std::string& caption) override;
    std::string caption() const override;
    void showWindow() override;
    void focusRunButton() override;
    void setShuntText(const std::string& text) override;
    void setRangeLabels(const std::array<std::string, 8>& labels) override;
    void setMaxOnText(const std::string& text) override;
    void setMaxOffText(const std::string& text) override;
    void setCalPanel(const std::string& text, Colour colour) override;
    void setUpdateTimerEnabled(bool on) override;
    void repaintPlot() override;
    bool rangeListEnabled() const override;
    bool execSetupDialog() override;
    void showDebugWindow() override;
    void showUsbStatusWindow();
    void showCommStatus();
    void showWaveformWindow() override;
    std::string shortDate(long dayNumber) const override;
    std::unique_ptr<PasswordPrompt> createPasswordDialog() override;
    void execCalibrationWindow() override;
    void quit() override;

    // EngineDisplay
    void setPulseCurrent(const std::string& text) override;
    void setPulseCurrentColour(Colour colour) override;
    void setPulseSeconds(const std::string& text) override;
    void setPulseCycles(const std::string& text) override;
    void setLiveCurrent(const std::string& text, Colour colour) override;
    void setArmedRunningPanel(const std::string& text, Colour colour) override;
    void setRunButton(const std::string& caption, Colour font) override;
    void setAnalyzeEnabled(bool on) override;
    void setStatusPanel(int index, const std::string& text) override;
    void setStatusColour(Colour colour) override;
    void setRangeListEnabled(bool on) override;
    void selectRange(int itemIndex) override;
    void setCurrentBar(int percent) override;
    void setTimeBar(int percent, Colour bar) override;
    void setTimeBarColour(Colour bar) override;

    // Controls, named as the operator's guide names them.
    QLabel* PanelCal;
    QLineEdit* ebPulseCurr;
    QLineEdit* ebPulseSec;
    QLineEdit* ebCurrent;
    QLineEdit* ebPulseCyc;
    QLineEdit* ebShunt;
    QComboBox* ComboBoxRange;
    QLineEdit* ebMaxOn;
    QLineEdit* ebMaxOff;
    QToolButton* sbMaxOnUp;
    QToolButton* sbMaxOnDown;
    QToolButton* sbMaxOffUp;
    QToolButton* sbMaxOffDown;
    QProgressBar* ProgressBar1;
    QProgressBar* ProgressBar2;
    QLabel* PanelArmedRunning;
    QPushButton* BitBtnRunStopReset;
    QPushButton* btAnalyze;
    PlotWidget* PaintBox1;
    std::array<QLabel*, 4> StatusPanels{};
    // Panels 1 and 2, which share the bar's width by their texts.
    StatusRow* StatusTexts = nullptr;
    QTimer* UpdateTimer;

    // Draws the first 0.1 s of the capture (public for tests of the trace).
    void PaintBox1Paint(PlotCanvas& canvas);
    PlotEngine& plot() { return m_plot; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void layoutStretchingControls();
    QLineEdit* reading(const QString& label, const QString& text, const QString& hint, int y);

    DialogService& m_dialogs;
    std::unique_ptr<AnalyzerLinks> m_links;
    std::unique_ptr<Program> m_program;
    std::unique_ptr<HelpKeyFilter> m_helpKeys;
    PlotEngine m_plot;
    TfmDebug* m_debugWindow = nullptr;
    TfmSetup* m_setupWindow = nullptr;
    TfmUSB* m_usbWindow = nullptr;
    TfmComm* m_commWindow = nullptr;
    TfmCal* m_calWindow = nullptr;
    TfmWaveform* m_waveformWindow = nullptr;
    bool m_rangeListEnabled = false;
    bool m_firstPaintQueued = false;
    bool m_closing = false;
};

} // namespace qarn3
