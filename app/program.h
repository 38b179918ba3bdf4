#pragma once

#include "calsetup/cal.h"
#include "calsetup/calform.h"
#include "calsetup/setup.h"
#include "calsetup/sitesettings.h"
#include "diag/services.h"
#include "engine/display.h"
#include "engine/engine.h"
#include "engine/ranges.h"
#include "link/analyzerlink.h"
#include "link/demolink.h"
#include "platform/files.h"
#include "waveform/comtrade.h"
#include "waveform/waveform.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

class DebugLog;
class DialogService;
class HelpViewer;
class TDiagLogFile;
class THelpSystemHook;
class Waits;

// The main window as the program drives it: the engine's display plus the window's own
// fields, menus and timer.
class MainView : public EngineDisplay {
public:
    virtual void setCaption(const std::string& caption) = 0;
    virtual std::string caption() const = 0;
    virtual void showWindow() {}
    virtual void focusRunButton() {}
    virtual void setShuntText(const std::string& text) = 0;
    virtual void setRangeLabels(const std::array<std::string, 8>& labels) = 0;
    virtual void setMaxOnText(const std::string& text) = 0;
    virtual void setMaxOffText(const std::string& text) = 0;
    virtual void setCalPanel(const std::string& text, Colour colour) = 0;
    virtual void setUpdateTimerEnabled(bool on) = 0;
    virtual void repaintPlot() = 0;
    virtual bool rangeListEnabled() const = 0;
    // Shows the Setup dialog modally; true when it ended with OK.
    virtual bool execSetupDialog() = 0;
    virtual void showDebugWindow() {}
    // Shows the status window of the link (Hardware Status) without blocking.
    virtual void showLinkStatus(const AnalyzerLink& /*link*/) {}
    // Shows the waveform window modally; returns when it is closed.
    virtual void showWaveformWindow() {}
    // A day number in the system's short-date format.
    virtual std::string shortDate(long dayNumber) const = 0;
    // A new password dialog for one Calibrate command.
    virtual std::unique_ptr<PasswordPrompt> createPasswordDialog() = 0;
    // Shows the calibration window modally.
    virtual void execCalibrationWindow() = 0;
    // Ends the program.
    virtual void quit() = 0;
};

// What the program is started with.
struct ProgramOptions {
    std::vector<std::string> args; // command-line arguments after the program name
    ProgramFolders folders;
    std::string programFileDate; // short-date text of the program file's date
    std::string version = "0.0.0.0";
    std::string programName = "qarn3"; // the program file's name
    std::string appTitle = "QARN3 Breaker Tester Analyzer";
    HelpViewer* helpViewer = nullptr; // none: help requests say that no help is installed
    TDiagLogFile* helpLog = nullptr;  // the diagnostic log the help reports to
    char decimalSeparator = '.';
    int timerIntervalMs = 200;
};

// The application shell: start-up and shutdown, the main window's commands and the results
// file. Owns the setup and calibration records, the engine and the demonstration's playback;
// takes its samples from the link the setup's source chooses (or from the demonstration). The
// window, a thin view of it, attaches itself when it is made; nothing runs before.
class Program : public CalWindowHost {
public:
    Program(const ProgramOptions& options, DialogService& dialogs, Waits& waits, DebugLog& log,
            FileStore& files, LinkChoice& links);
    ~Program() override;

    // The main window shows the program from now on (it attaches itself when made).
    void attachView(MainView& view);

    // Start-up and shutdown.
    void FormCreate();
    void FormShow();
    void FormPaint();
    void ProgInit();
    // Plays a waveform file: file is its name (or a path), folder where a bare name lies when
    // it is not in the data folder (a file opened elsewhere).
    void SetDemo(const std::string& file = {}, const std::string& folder = {});
    void ResetData();
    void ProgExit();
    bool FormCloseQuery();
    // Releases the help hook, which closes the help windows.
    void FormDestroy();

    // The main window's controls and menus.
    void BitBtnRunStopResetClick();
    void ComboBoxRangeChange(int itemIndex);
    // Every typed character; true when it was consumed (always).
    bool FormKeyPress(char key);
    void sbMaxOnUpClick();
    void sbMaxOnDownClick();
    void sbMaxOffUpClick();
    void sbMaxOffDownClick();
    void UpdateTimerTick();
    void mCalibrateClick();
    void mHardwareClick();
    void mOpenClick();
    void mSaveClick();
    void mSetupClick();
    void mStopSamplingClick();
    void mAnalyzeClick();
    void mHardwareStatusClick();
    void mAboutClick();
    void mContentsClick();

    // Reads the analyzer's calibration (or the file without one); true on success.
    bool GetCalData() override;
    // What the calibration window needs besides.
    bool demoMode() const override { return m_demoMode; }
    std::array<std::string, 8> rangeLabels() const override { return ranges.RangeLabel; }
    void sendCalImage(const std::string& image) override;

    // Spin-button steps on a time limit.
    static double stepDown(double value);
    static double stepUp(double value);

    TSetupRecord setup;
    TSiteSettings site; // read with the setup, from the site file beside it
    TCalRecord cal;
    TWaveformData wave;
    RangeTables ranges;
    bool InitDone = false;
    bool exited = false;

    TQARN3Update& engine() { return *m_engine; }
    const EngineReadings& readings() const { return m_engine->readings(); }
    // Each measured pulse at its end (see PulseEnd).
    PulseEvents& pulseEnded() { return m_engine->pulseEnded(); }
    // The help hook, from FormCreate to FormDestroy.
    THelpSystemHook* helpHook() { return m_helpHook.get(); }
    // The help file beside the program.
    std::string helpFile() const;
    CalFile& calFile() { return *m_calFile; }
    const ProgramFolders& folders() const { return m_options.folders; }
    std::string dataPath(const std::string& name) const;

private:
    // ProgInit's steps.
    void readSetup();
    void showShuntAndRanges();
    void chooseSource();
    bool findAnalyzer();
    void resetAnalyzer();
    void startSampling();

    // Chooses the link of the setup's source kind.
    void chooseLink();
    // Plays the demonstration (true) or the source's link (false) into the engine.
    void setDemoMode(bool on);
    std::string defaultDemoFile() const;
    std::string wavePath(const std::string& name, const std::string& folder) const;
    void showLimits();

    bool m_inProgInit = false;
    ProgramOptions m_options;
    DialogService& m_dialogs;
    Waits& m_waits;
    DebugLog& m_log;
    FileStore& m_files;
    Services m_services;
    LinkChoice& m_links;
    MainView* m_view = nullptr;
    AnalyzerLink* m_link;
    DemoLink m_demo;
    bool m_demoMode = false; // the demonstration plays into the engine
    std::unique_ptr<CalFile> m_calFile;
    std::unique_ptr<WaveformFiles> m_waveFiles;
    // Loads a waveform file, or a COMTRADE recording (.cfg, .cff) in counts of the range
    // chosen; false, with a box, when it cannot be read.
    bool loadWave(const std::string& path);
    // A recording played in demonstration mode, in amperes: its counts are made again for
    // each range chosen, as the analyzer would have captured that current on it.
    void convertRecording(bool intoStore);
    std::optional<ComtradeCurrent> m_recording;
    std::string m_recordingName;
    std::unique_ptr<TQARN3Update> m_engine;
    std::unique_ptr<HelpViewer> m_noHelpViewer;
    std::unique_ptr<THelpSystemHook> m_helpHook;
    std::string m_waveFolder; // folder of wave.FileName when not the data folder
};

} // namespace qarn3
