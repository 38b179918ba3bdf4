#include "app/program.h"
#include "platform/fspath.h"

#include "app/datafile.h"
#include "calsetup/caldate.h"
#include "diag/debuglog.h"
#include "diag/waits.h"
#include "help/helpsys.h"
#include "link/protocol.h"
#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "waveform/comtradestore.h"

#include <chrono>
#include <cmath>
#include <filesystem>

namespace qarn3 {

namespace {
constexpr const char* kPulseFile = "QARN3Pulse.owf";
constexpr const char* kLongFile = "QARN3Long.owf";
constexpr const char* kDataFilter = "Velkorand Data Files|*.odf|Old Data Files|*.dat";
constexpr const char* kWaveFilter =
    "Velkorand Wave Files|*.owf|Old Wave Files|*.wav|Wave Files|*.wv|"
    "COMTRADE Recordings|*.cfg;*.cff|All Files|*.*";
} // namespace

Program::Program(const ProgramOptions& options, DialogService& dialogs, Waits& waits, DebugLog& log,
                 FileStore& files, LinkChoice& links)
    : m_options(options), m_dialogs(dialogs), m_waits(waits), m_log(log),
      m_files(files), m_services{files, dialogs, log}, m_links(links),
      m_link(&links.forSource(setup.SourceKind)),
      m_demo(wave.SampleRate, wave.FileName, options.timerIntervalMs) {
    m_calFile =
        std::make_unique<CalFile>(cal, wave.SampleRate, m_services, m_options.folders.dataFolder);
    m_waveFiles = std::make_unique<WaveformFiles>(wave, m_services, m_options.folders.dataFolder);
}

void Program::attachView(MainView& view) {
    m_view = &view;
    m_engine = std::make_unique<TQARN3Update>(
        EngineContext{setup, cal, wave, *m_link, view, m_log, m_options.decimalSeparator});
}

Program::~Program() {
    FormDestroy();
}

void Program::FormDestroy() {
    m_helpHook.reset();
}

std::string Program::helpFile() const {
    return resolveInFolder(m_options.folders.progFolder, "QARN3.qch");
}

std::string Program::dataPath(const std::string& name) const {
    return resolveInFolder(m_options.folders.dataFolder, name);
}

std::string Program::wavePath(const std::string& name, const std::string& folder) const {
    return resolveInFolder(folder.empty() ? m_options.folders.dataFolder : folder, name);
}

std::string Program::defaultDemoFile() const {
    return setup.TestMode == 1 ? kLongFile : kPulseFile;
}

void Program::FormCreate() {
    m_log.AddDebugLine("FormCreate QARN ");
    std::error_code ec;
    m_log.AddDebugLine("CurrDir: " + utf8Of(std::filesystem::current_path(ec)));
    makeFolders(m_options.folders.progFolder);
    m_log.AddDebugLine("ProgFolder: " + m_options.folders.progFolder);
    makeFolders(m_options.folders.dataFolder);
    m_log.AddDebugLine("DataFolder: " + m_options.folders.dataFolder);
    m_log.AddDebugLine("CurrDir: " + m_options.folders.dataFolder);
    HelpViewer* viewer = m_options.helpViewer;
    if (!viewer) {
        m_noHelpViewer = std::make_unique<NoHelpViewer>();
        viewer = m_noHelpViewer.get();
    }
    m_helpHook = std::make_unique<THelpSystemHook>(helpFile(), "", 0, *viewer, m_dialogs,
                                                   m_options.helpLog, m_options.appTitle);
    m_view->setCaption(m_view->caption() + " Rev: " + m_options.programFileDate);
    if (!m_files.exists(dataPath(kPulseFile)))
        m_waveFiles->MakeWaveFile(kPulseFile, false, PulseSegments);
    if (!m_files.exists(dataPath(kLongFile)))
        m_waveFiles->MakeWaveFile(kLongFile, true, LongSegments);
    m_log.AddDebugLine("End FormCreate QARN3 ");
}

void Program::FormShow() {
    m_log.AddDebugLine("Form Show");
    m_view->focusRunButton();
}

void Program::FormPaint() {
    if (!InitDone) ProgInit();
}

void Program::chooseLink() {
    m_link = &m_links.forSource(setup.SourceKind);
    if (!m_demoMode) m_engine->useLink(*m_link);
}

void Program::setDemoMode(bool on) {
    // Entering it, the playback starts from where a test's reset leaves it.
    if (on && !m_demoMode) m_demo.testReset();
    m_demoMode = on;
    m_engine->useLink(on ? static_cast<AnalyzerLink&>(m_demo) : *m_link);
}

void Program::ProgInit() {
    // Its waits let clicks through: a RESET, Hardware or Setup that arrives meanwhile must not
    // start a second initialisation inside the first.
    if (m_inProgInit) {
        m_log.AddDebugLine("ProgInit already running ");
        return;
    }
    struct Running {
        bool& flag;
        explicit Running(bool& f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running(m_inProgInit);
    m_log.AddDebugLine("ProgInit ");
    m_view->showWindow();
    readSetup();
    showShuntAndRanges();
    chooseSource();
    const bool found = findAnalyzer();
    if (cal.CalError && found) {
        resetAnalyzer();
        GetCalData();
    }
    startSampling();
    InitDone = true;
    m_log.AddDebugLine("End ProgInit ");
}

void Program::readSetup() {
    setup.SetupFileName = dataPath(kSetupFileName);
    setup.DataFileName = dataPath("QARN3.odf");
    // Defaults first, so that a damaged line leaves sound values in the fields after it.
    setSetupDefaults(setup);
    setup.SourceKind = sourceKindOf(setup.SourceName);
    try {
        ReadSetupFile(setup, m_services, m_options.decimalSeparator);
    } catch (const std::exception& e) {
        m_dialogs.messageDlg(std::string(e.what()) + "\n(" + setup.SetupFileName + ")",
                             MsgKind::Error, {MsgButton::OK});
    }
    ReadSiteFile(site, siteFileBeside(setup.SetupFileName), m_services);
}

void Program::showShuntAndRanges() {
    if (const std::string problem = shuntProblem(setup); !problem.empty()) {
        // A hand-edited file may hold a rating that cannot scale the ranges.
        m_dialogs.messageDlg(problem + "; using 1000 A / 100 mV.", MsgKind::Error, {MsgButton::OK});
        setup.ShuntAmperes = 1000.0;
        setup.ShuntMillivolts = 100.0;
    }
    ranges =
        buildRangeTables(setup.ShuntAmperes, setup.ShuntMillivolts, m_options.decimalSeparator);
    m_engine->useRanges(ranges.RangeFormat,
                        rangeFullScale(8, setup.ShuntAmperes, setup.ShuntMillivolts));
    m_view->setRangeLabels(ranges.RangeLabel);
    m_view->setShuntText(
        formatNumber("Shunt: %5.0f A   ", setup.ShuntAmperes, m_options.decimalSeparator) +
        formatNumber("%5.2f mV ", setup.ShuntMillivolts, m_options.decimalSeparator));
}

// The source's name chooses the link; any other name keeps the kind the setup file gave it
// (none).
void Program::chooseSource() {
    const std::optional<std::uint8_t> kind = sourceKindChosen(setup.SourceName);
    if (kind) setup.SourceKind = *kind;
    chooseLink();
    if (kind) m_link->chosen();
}

// A waveform file on the command line plays at once, without a hardware check; otherwise the
// analyzer is looked for until it is found or the operator gives up (a demonstration then).
// True when the analyzer was found.
bool Program::findAnalyzer() {
    m_view->setStatusColour(Colour::Yellow);
    m_view->setStatusPanel(1, "Checking Hardware " + setup.SourceName);
    bool found = m_link->LinkValid();
    bool keepTrying = !found;
    if (found) {
        wave.FileName.clear();
        m_waveFolder.clear();
    }

    if (!m_options.args.empty()) {
        const std::string& file = m_options.args.front();
        if (m_files.exists(dataPath(file))) {
            wave.FileName = file;
            SetDemo(file);
        }
        return found;
    }
    if (!wave.FileName.empty() && m_files.exists(wavePath(wave.FileName, m_waveFolder))) {
        SetDemo(wave.FileName, m_waveFolder);
    } else {
        m_view->setStatusColour(Colour::Yellow);
        m_view->setStatusPanel(1, "Checking Hardware ");
        m_view->setStatusPanel(2, setup.SourceName);
    }
    while (keepTrying && !found) {
        cal.CalError = true;
        const FoundAnalyzer pass = m_link->findAnalyzer(setup.SourceName);
        found = pass.found;
        if (pass.sourceName) setup.SourceName = *pass.sourceName;
        if (found) break;
        m_log.AddDebugLine("Hardware not found on port: " + m_link->sourceInUse(setup.SourceName));
        // Cancel is the default, so that an unattended run never loops here.
        if (m_dialogs.systemBox("Hardware Not Found. Try again?", "Hardware Check",
                                {MsgButton::Retry, MsgButton::Cancel},
                                MsgButton::Cancel) == MsgButton::Retry) {
            m_dialogs.systemBox("Turn Analyzer off, remove USB cable", "Retry", {MsgButton::OK});
            m_waits.BusyWaitShown(4000, "Wait 4 Seconds");
            m_dialogs.systemBox("Turn Analyzer on and replace USB cable", "Retry", {MsgButton::OK});
            m_waits.BusyWaitShown(4000, "Wait 4 Seconds");
        } else {
            keepTrying = false;
            setup.SourceKind = kSourceNone;
            chooseLink();
            SetDemo();
        }
    }
    return found;
}

// The analyzer found is reset (it then holds its calibration afresh); the calibration is read
// back after.
void Program::resetAnalyzer() {
    setDemoMode(false);
    m_log.AddDebugLine("Reset PIC ");
    m_link->reset();
    m_waits.BusyWait(1000);
    m_log.AddDebugLine("End delay Reset PIC ");
}

void Program::startSampling() {
    wave.SamplePeriod = static_cast<float>(1.0 / wave.SampleRate);
    m_engine->SetRange();
    ResetData();
    showLimits();

    m_view->setUpdateTimerEnabled(true);
    // A demonstration plays its file: whatever source the setup names (a waveform file on the
    // command line keeps it), no analyzer is started.
    if (!m_demoMode) m_link->startSampling();
    m_engine->ShowStatus();
}

void Program::SetDemo(const std::string& file, const std::string& folder) {
    m_log.AddDebugLine("SetDemo ");
    setDemoMode(true);
    wave.FileName = file.empty() ? defaultDemoFile() : file;
    m_waveFolder = file.empty() ? std::string() : folder;
    for (AnalyzerLink* link : m_links.analyzers())
        link->quiet();

    if (!loadWave(resolveInFolder(m_waveFolder, wave.FileName))) {
        wave.FileName = defaultDemoFile();
        m_waveFolder.clear();
        if (!m_waveFiles->LoadFile(wave.FileName))
            m_dialogs.messageDlg("Error loading: " + wave.FileName, MsgKind::Error,
                                 {MsgButton::OK});
    }
    m_demo.load(wave.Samples.get(), wave.SampleCount - 1);
    wave.Position = 0;
    if (wave.Header.WaveType == 'N')
        setup.TestMode = 0;
    else if (wave.Header.WaveType == 'M')
        setup.TestMode = 1;

    try {
        m_calFile->ReadCalFile();
    } catch (const std::exception& e) {
        m_dialogs.messageDlg(e.what(), MsgKind::Error, {MsgButton::OK});
    }
    m_engine->SetRange();
    convertRecording(true);
    ResetData();
    m_view->setUpdateTimerEnabled(true);
    m_log.AddDebugLine("End SetDemo ");
}

bool Program::loadWave(const std::string& path) {
    m_recording.reset();
    if (!isComtradeName(path)) return m_waveFiles->LoadFile(path);
    // A bare name is in the data folder, as the waveform files' loader takes it.
    const std::string full = dataPath(path);
    ComtradeRead read = readComtradeFile(full, "", m_files);
    if (!read.current) {
        m_dialogs.messageDlg("Cannot open " + full + ": " + read.error, MsgKind::Error,
                             {MsgButton::OK});
        return false;
    }
    m_recording = std::move(read.current);
    m_recordingName = bareFileName(path);
    // Counts for now; convertRecording makes them again once the range's scale is known.
    storeComtradeCurrent(wave, *m_recording, 1.0);
    return true;
}

void Program::convertRecording(bool intoStore) {
    if (!m_recording || !m_demoMode) return;
    // As the analyzer would have captured the current on the range chosen, at the scale the
    // engine measures with, so that the counts are the analysis tool's. The store shows the
    // recording when it is opened; later it holds the captures, and only what is played
    // changes with the range.
    const double ampsPerCount = wave.AmpsPerCount;
    const ComtradeCounts c = comtradeCounts(m_recording->amps, ampsPerCount);
    const int n = static_cast<int>(std::min<std::size_t>(c.counts.size(), DemoLink::kDemoLength));
    if (intoStore) {
        storeComtradeCurrent(wave, *m_recording, ampsPerCount);
        m_demo.load(wave.Samples.get(), wave.SampleCount - 1);
    } else {
        m_demo.load(c.counts.data(), n);
    }
    m_log.AddDebugLine("COMTRADE " + m_recordingName + ": " + std::to_string(c.clipped) +
                       " samples clipped");
    if (c.clipped > 0)
        m_dialogs.messageDlg(std::to_string(c.clipped) + " samples of " + m_recordingName +
                                 " are beyond the range and clipped at 2047 counts",
                             MsgKind::Warning, {MsgButton::OK});
}

void Program::ResetData() {
    m_log.AddDebugLine("ResetData ");
    m_engine->ResetTest();
    m_view->setRangeListEnabled(true);
    const long day = static_cast<long>(std::llround(cal.CalDate));
    const long today = todayDayNumber();
    // A date beside a calibration in error (defaults, a failed read) is never shown as sound.
    const Colour c = cal.CalError || today - 365 > day ? Colour::Red
                     : today - 335 > day               ? Colour::Yellow
                                                       : Colour::Lime;
    m_view->setCalPanel("Calibration Date " + m_view->shortDate(day), c);
    wave.Position = 0;
    for (AnalyzerLink* link : m_links.analyzers())
        link->clearErrorCount();
    m_engine->setPlotShown(false);
    m_engine->TestArm();
    m_view->repaintPlot();
    m_log.AddDebugLine("End ResetData ");
}

bool Program::FormCloseQuery() {
    m_log.AddDebugLine("FormCloseQuery ");
    if (m_helpHook) m_helpHook->closeAll();
    if (m_link->Sampling()) {
        m_link->stopSampling();
        m_waits.BusyWait(300);
    }
    return true;
}

void Program::ProgExit() {
    if (exited) return;
    exited = true;
    m_log.AddDebugLine("ProgExit");
    m_link->shutDown();
    // The links' threads end now, waited for with a bound.
    for (AnalyzerLink* link : m_links.analyzers())
        link->finish(1000);
    if (!setup.SetupFileName.empty()) WriteSetupFile(setup, m_services, m_options.decimalSeparator);
    // A dump that cannot be written is said so; the program still ends.
    const std::string dump = dataPath(debugFileName(m_options.programName));
    if (!m_log.SaveDebugLog(dump, m_files))
        m_dialogs.messageDlg("Error writing file: " + dump, MsgKind::Error, {MsgButton::Abort});
    m_view->setUpdateTimerEnabled(false);
    m_waits.BusyWait(100);
    m_view->quit();
}

void Program::BitBtnRunStopResetClick() {
    m_log.AddDebugLine("BitBtnRunStopResetClick ");
    switch (readings().runButton) {
    case RunButton::Run:
        if (m_demoMode) {
            ResetData();
            m_engine->Start();
        }
        break;
    case RunButton::Stop:
        if (readings().endReason == EndReason::None) m_engine->TestAbort();
        break;
    case RunButton::Reset:
        // A lost link is looked for again first.
        if (m_link->reachesAnalyzer() && !m_link->LinkValid()) ProgInit();
        ResetData();
        break;
    case RunButton::Ready: // the test starts by itself when current flows
        break;
    }
}

void Program::ComboBoxRangeChange(int itemIndex) {
    m_log.AddDebugLine("cbRangeChange ");
    setup.RangeIndex = static_cast<std::int16_t>(std::clamp(itemIndex + 1, 1, 8));
    m_engine->SetRange();
    convertRecording(false);
    ResetData();
}

bool Program::FormKeyPress(char key) {
    if (!m_view->rangeListEnabled()) return true;
    if (key == '+' && setup.RangeIndex < 8) {
        ++setup.RangeIndex;
        m_engine->SetRange();
        convertRecording(false);
    } else if (key == '-' && setup.RangeIndex > 1) {
        --setup.RangeIndex;
        m_engine->SetRange();
        convertRecording(false);
    } else if (key == 27) {
        ProgExit();
    }
    return true;
}

// The limits move in whole tenths: above 10 s by 10, above 1 s by 1, else by 0.1, and down
// from 0.1 to 0.0, which switches the limit off.
double Program::stepDown(double value) {
    const long t = std::lround(value * 10);
    if (t > 100) return static_cast<double>(t - 100) / 10;
    if (t > 10) return static_cast<double>(t - 10) / 10;
    if (t >= 1) return static_cast<double>(t - 1) / 10;
    return value;
}

double Program::stepUp(double value) {
    const long t = std::lround(value * 10);
    if (t <= 9) return static_cast<double>(t + 1) / 10;
    if (t > 90) return static_cast<double>(t + 100) / 10;
    return static_cast<double>(t + 10) / 10;
}

void Program::showLimits() {
    m_view->setMaxOnText(formatNumber("%4.1f", setup.MaxOnTime, m_options.decimalSeparator));
    m_view->setMaxOffText(formatNumber("%4.1f", setup.MaxOffTime, m_options.decimalSeparator));
}

void Program::sbMaxOnUpClick() {
    setup.MaxOnTime = stepUp(setup.MaxOnTime);
    showLimits();
}
void Program::sbMaxOnDownClick() {
    setup.MaxOnTime = stepDown(setup.MaxOnTime);
    showLimits();
}
void Program::sbMaxOffUpClick() {
    setup.MaxOffTime = stepUp(setup.MaxOffTime);
    showLimits();
}
void Program::sbMaxOffDownClick() {
    setup.MaxOffTime = stepDown(setup.MaxOffTime);
    showLimits();
}

void Program::UpdateTimerTick() {
    m_engine->ProcessTick();
    const double tenth = 0.1 / wave.SamplePeriod;
    const EngineReadings& r = readings();
    if (!r.plotShown && (r.onSamples > tenth || r.offSamples > tenth)) {
        m_view->repaintPlot();
        m_engine->setPlotShown(true);
    }
}

bool Program::GetCalData() {
    m_log.AddDebugLine("GetCalData ");
    std::string image;
    bool ok = false;
    if (m_link->reachesAnalyzer()) {
        ok = m_link->receiveCalibration(image);
    } else {
        try {
            m_calFile->ReadCalFile();
            ok = true;
        } catch (const std::exception& e) {
            m_dialogs.messageDlg(e.what(), MsgKind::Error, {MsgButton::OK});
        }
        cal.CalError = !ok;
        return ok;
    }
    cal.CalError = true;
    if (ok) {
        cal.CalImage = calImageForSending(image);
        cal.CalImage.resize(kCalImageSize, '\0');
        m_calFile->ParseCalImage();
        cal.CalError = false;
    } else {
        m_calFile->SetDefaultCal();
    }
    return ok;
}

void Program::mCalibrateClick() {
    m_log.AddDebugLine("CalibrateClick ");
    // Start-up's waits let the menu through: a calibration read or write inside the hardware
    // check would talk to the analyzer between the check's own commands, and a failed read
    // there offers to overwrite the calibration file with the defaults.
    if (m_inProgInit) {
        m_log.AddDebugLine("End CalibrateClick ");
        return;
    }
    m_link->stopForCalibration();
    {
        const std::unique_ptr<PasswordPrompt> password = m_view->createPasswordDialog();
        const std::string calDateText = m_view->shortDate(std::lround(cal.CalDate));
        if (password->execute(calDateText)) m_view->execCalibrationWindow();
    }
    // Whether or not the window was opened: a factor changed in it takes effect now.
    m_engine->SetRange();
    ResetData();
    m_log.AddDebugLine("End CalibrateClick ");
}

// SAVE's image goes to the analyzer on the active link; a demonstration sends nothing, even
// with an analyzer attached, since its calibration came from the file.
// A live analyzer that is gone by then is named: the new calibration is in the file only, and
// the next start-up would read the analyzer's old one.
void Program::sendCalImage(const std::string& image) {
    if (m_demoMode) return;
    if (!m_link->sendCalibration(image))
        m_dialogs.messageDlg(std::string("Analyzer not connected: the calibration was saved to ") +
                                 kCalFileName + " only.",
                             MsgKind::Warning, {MsgButton::OK});
}

void Program::mHardwareClick() {
    m_log.AddDebugLine("HardwareClick ");
    WriteSetupFile(setup, m_services, m_options.decimalSeparator);
    try {
        ReadSetupFile(setup, m_services, m_options.decimalSeparator);
    } catch (const std::exception& e) {
        m_dialogs.messageDlg(e.what(), MsgKind::Error, {MsgButton::OK});
    }
    wave.FileName.clear();
    m_waveFolder.clear();
    ProgInit();
    m_log.AddDebugLine("End HardwareClick ");
}

void Program::mSetupClick() {
    if (m_view->execSetupDialog()) ProgInit();
}

void Program::mStopSamplingClick() {
    m_link->stopOnCommand();
}

void Program::mSaveClick() {
    m_log.AddDebugLine("SaveButtonClick ");
    if (setup.DataFileName.empty()) setup.DataFileName = "QARN3.odf";
    FileDialogRequest request{"Select Data File", m_options.folders.dataFolder, setup.DataFileName,
                              kDataFilter, "*.odf"};
    if (const auto chosen = m_dialogs.saveFileDialog(request)) {
        // The readings of the moment the file is written: the engine goes on during the wait
        // before it.
        const auto shown = [this] {
            const EngineReadings& r = readings();
            return DataFileReadings{r.pulseAmps,
                                    r.onSamples * static_cast<double>(wave.SamplePeriod)};
        };
        WriteDataFile(dataPath(*chosen), *chosen, shown, m_options.decimalSeparator, m_services,
                      m_waits);
    }
}

void Program::mOpenClick() {
    m_log.AddDebugLine("OpenClick ");
    FileDialogRequest request{"Select Waveform File", m_options.folders.dataFolder,
                              defaultDemoFile(), kWaveFilter, ""};
    if (const auto chosen = m_dialogs.openFileDialog(request)) {
        // A recording that cannot be read is refused before anything changes: the waveform
        // played so far stays.
        if (isComtradeName(*chosen)) {
            const ComtradeRead read = readComtradeFile(*chosen, "", m_files);
            if (!read.current) {
                m_dialogs.messageDlg("Cannot open " + *chosen + ": " + read.error, MsgKind::Error,
                                     {MsgButton::OK});
                return;
            }
        }
        // The store keeps the file's name; a folder other than the data folder is kept
        // beside it for loading.
        const std::filesystem::path p = fsPath(*chosen);
        std::error_code ec;
        const bool inDataFolder = std::filesystem::equivalent(
            p.parent_path().empty() ? fsPath(m_options.folders.dataFolder) : p.parent_path(),
            fsPath(m_options.folders.dataFolder), ec);
        wave.FileName = utf8Of(p.filename());
        m_waveFolder = inDataFolder ? std::string() : utf8Of(p.parent_path());
    }
    SetDemo(wave.FileName, m_waveFolder);
}

void Program::mAnalyzeClick() {
    m_log.AddDebugLine("mAnalyzeClick ");
    wave.SerialId = cal.SerNum;
    const std::string shownFile = wave.FileName;
    m_view->showWaveformWindow();
    // A waveform saved from the window is named by its path, or by its bare name in the data
    // folder: no longer relative to the folder a file was opened from.
    if (wave.FileName != shownFile) m_waveFolder.clear();
    m_log.AddDebugLine("End mAnalyzeClick ");
}

void Program::mHardwareStatusClick() {
    m_view->showLinkStatus(*m_link);
}

void Program::mAboutClick() {
    m_dialogs.systemBox("Serial port component TSerialPortAsync\n"
                        "written for the QARN-3 by the QARN-3 developers\n"
                        "Velkorand Test Instruments\n"
                        "Service and calibration: service@velkorand.example\n"
                        "\n"
                        "Version: " +
                            m_options.version,
                        "QARN3", {MsgButton::OK, MsgButton::Cancel});
}

void Program::mContentsClick() {
    if (m_helpHook) m_helpHook->showContents();
}

} // namespace qarn3
