#pragma once

#include "app/firstopen.h"
#include "app/program.h"
#include "waveform/plotengine.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace qarn3 {

class HelpKeyFilter;
class PlotWidget;
class StatusRow;
class TfmCal;
class TfmDebug;
class TfmSetup;
class TfmWaveform;

// How the main window makes the windows it opens, each when it is first opened (main says
// how; a window given no way is not opened). A new window is hooked in here, made in
// ProgramAssembly and opened from a menu item in buildMenus.
struct SecondaryWindows {
    std::function<TfmDebug*()> debug; // View/Debug Info (a window of its own)
    // Dialogs of the main window, made with it as their parent.
    std::function<TfmSetup*(QWidget* parent)> setup;
    std::function<TfmCal*(QWidget* parent)> calibration;
    std::function<TfmWaveform*(QWidget* parent)> waveform;
    // Hardware Status: how the status window of each link is shown.
    std::vector<std::pair<const AnalyzerLink*, std::function<void()>>> linkStatus;
};

// The main window: readings, range and limits, the RUN/STOP/RESET button, bars, the trace
// and the status bar. It shows what the program tells it (it attaches itself as the program's
// view) and passes the operator's actions on. Runs the program's FormCreate when it is made.
class TfmQARN3 : public QMainWindow, public MainView {
    Q_OBJECT
public:
    TfmQARN3(Program& program, DialogService& dialogs, SecondaryWindows windows,
             char decimalSeparator);
    ~TfmQARN3() override;

    Program& program() { return m_program; }
    // The windows it opens (made now if they were not yet; tests reach them here).
    TfmWaveform* waveformWindow();
    TfmSetup* setupWindow();
    TfmCal* calibrationWindow();
    // Adds an item at the end of the View menu and a menu before Help (the test records').
    void addRecordsMenus(QAction* viewItem, QMenu* menu);

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
    void showLinkStatus(const AnalyzerLink& link) override;
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
    bool isOwnControl(const QWidget& w) const;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    QMenu* m_viewMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    void layoutStretchingControls();
    QLineEdit* reading(const QString& label, const QString& text, const QString& hint, int y);

    Program& m_program;
    DialogService& m_dialogs;
    std::unique_ptr<HelpKeyFilter> m_helpKeys;
    PlotEngine m_plot;
    FirstOpen<TfmDebug> m_debug;
    FirstOpen<TfmSetup> m_setup;
    FirstOpen<TfmCal> m_calibration;
    FirstOpen<TfmWaveform> m_waveform;
    std::vector<std::pair<const AnalyzerLink*, std::function<void()>>> m_linkStatus;
    bool m_rangeListEnabled = false;
    bool m_shown = false;
    bool m_firstPaintQueued = false;
    bool m_closing = false;
};

} // namespace qarn3
