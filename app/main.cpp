// QARN-3 Breaker Tester Analyzer: program entry. Creates the windows in their order and runs
// the message loop.
#include "app/mainwindow.h"
#include "app/startfacts.h"
#include "app/usbchoice.h"
#include "calsetup/calwindow.h"
#include "calsetup/qtdates.h"
#include "calsetup/setupdialog.h"
#include "diag/busywindow.h"
#include "diag/debuglog.h"
#include "diag/debugwindow.h"
#include "diag/diaglog.h"
#include "diag/qtwaits.h"
#include "diag/services.h"
#include "diag/versioninfo.h"
#include "help/qthelpviewer.h"
#include "link/commwindow.h"
#include "link/usbsim.h"
#include "link/usbwindow.h"
#include "platform/files.h"
#include "platform/qt_dialogs.h"
#include "platform/registry.h"
#include "platform/textformat.h"
#include "serial/serialasync.h"
#include "waveform/waveformwindow.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>

namespace {

// The simulated analyzer's cable: SIGUSR1 pulls it, SIGUSR2 plugs it in again.
std::atomic<bool> g_cablePulled{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void cableSignal(int signal) {
    g_cablePulled = signal == SIGUSR1;
}

qarn3::ProgramOptions programOptions(const QStringList& arguments) {
    qarn3::ProgramOptions o;
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    o.folders = qarn3::platformFolders(exe.absolutePath().toStdString());
    o.programName = exe.fileName().toStdString();
    o.programFileDate =
        QLocale::system().toString(exe.lastModified().date(), QLocale::ShortFormat).toStdString();
    o.version = qarn3::fourPartVersion(QARN3_VERSION);
    o.decimalSeparator = qarn3::decimalSeparatorOf(QLocale::system().decimalPoint().toStdString());
    for (int i = 1; i < arguments.size(); ++i) {
        const QString a = arguments[i];
        // The debug switches are not file names.
        if (qarn3::isDebugSwitch(a.toStdString())) continue;
        o.args.push_back(a.toStdString());
    }
    return o;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("QARN3 Breaker Tester Analyzer");
    QApplication::setDesktopFileName("qarn3");

    qarn3::ProgramOptions options = programOptions(QCoreApplication::arguments());
    qarn3::DebugLog log;
    log.setDecimalSeparator(options.decimalSeparator);
    qarn3::FileStore files;
    const auto dialogs = qarn3::makeDialogService();
    // A data folder another user can write to, or one they made first in a shared place, is
    // never used: its setup, calibration and files at exit would be theirs to steer.
    if (const std::string why =
            qarn3::makeOwnFolder(options.folders.dataFolder, options.folders.dataFolderUse);
        !why.empty()) {
        dialogs->messageDlg("The data folder cannot be used: " + why + ".", qarn3::MsgKind::Error,
                            {qarn3::MsgButton::Abort});
        return 1;
    }
    qarn3::QtBusyWindowFactory busyFactory;
    qarn3::QtWaits waits(&busyFactory);
    waits.setDecimalSeparator(options.decimalSeparator);
    // The analyzer over USB, or the simulated one playing the waveform file the variable names.
    const char* simulated = std::getenv("QARN3_SIMULATED_ANALYZER");
    qarn3::UsbLibrary usb = qarn3::makeUsbLibrary(simulated, &g_cablePulled);
    // QARN3_SIMULATED_ANALYZER_LOG names a file the simulated analyzer lists every packet
    // it receives in, to compare the exchanges of two runs.
    std::ofstream commandLog;
    if (usb.simulator) {
        std::signal(SIGUSR1, cableSignal);
        std::signal(SIGUSR2, cableSignal);
        if (const char* logFile = std::getenv("QARN3_SIMULATED_ANALYZER_LOG");
            logFile && *logFile) {
            commandLog.open(logFile, std::ios::binary | std::ios::trunc);
            if (commandLog) usb.simulator->setCommandLog(&commandLog);
        }
    }
    qarn3::SysfsRegistry registry;
    qarn3::TSerialPortAsync serialPort;

    // The help viewer and the diagnostic log exist before any window.
    qarn3::QtHelpViewer helpViewer(
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/qarn3/help");
    const qarn3::SystemReportFacts facts = qarn3::startFacts(
        QCoreApplication::arguments(), QCoreApplication::applicationFilePath().toStdString(),
        options.folders.progFolder, QARN3_VERSION, options.decimalSeparator, helpViewer.version());
    const qarn3::DiagFolders diagFolders;
    qarn3::TDiagLogFile HelpLog(qarn3::defaultLogPath(facts.ProgFolder, diagFolders), false, true,
                                true, facts.DebugEnabled, facts, *dialogs, diagFolders);
    qarn3::DesktopShellOpener shell;
    helpViewer.setShell(&shell, &HelpLog);
    options.helpViewer = &helpViewer;
    options.helpLog = &HelpLog;

    qarn3::TfmQARN3 fmQARN3(options, *dialogs, waits, log, files, *usb.api, &serialPort);
    fmQARN3.links().com().setRegistry(&registry);
    if (auto* qtDialogs = dynamic_cast<qarn3::QtDialogs*>(dialogs.get()))
        qtDialogs->setParent(&fmQARN3);
    qarn3::TfmDebug fmDebug(log);
    qarn3::TfmDelay fmDelay;
    waits.setIdleBusyWindow(&fmDelay);
    qarn3::TfmComm fmComm(fmQARN3.links().com());
    qarn3::Services services{files, *dialogs, log};
    qarn3::TfmSetup fmSetup(fmQARN3.program().setup, fmQARN3.program().site, services,
                            options.decimalSeparator, &fmQARN3);
    const qarn3::QtShortDates shortDates;
    qarn3::TfmCal fmCal(fmQARN3.program().cal, fmQARN3.program().calFile(), fmQARN3.program(),
                        shortDates, services, &fmQARN3);
    qarn3::Program& program = fmQARN3.program();
    qarn3::TfmWaveform fmWaveform(
        program.wave, services, options.folders.dataFolder,
        [&program] { return int{program.setup.TestMode}; }, &fmQARN3);
    fmWaveform.viewer().plot().setDecimalSeparator(options.decimalSeparator);
    fmWaveform.viewer().setMainsHz([&program] { return program.site.MainsHz; });
    fmQARN3.setDebugWindow(&fmDebug);
    fmQARN3.setSetupWindow(&fmSetup);
    fmQARN3.setCalWindow(&fmCal);
    fmQARN3.setCommWindow(&fmComm);
    qarn3::TfmUSB fmUSB(fmQARN3.links().usb(), options.decimalSeparator);
    fmQARN3.setUsbWindow(&fmUSB);
    fmQARN3.links().usb().setRegistry(&registry);
    // The demonstration files exist now, so the simulator may play one of them.
    if (usb.simulator)
        qarn3::loadSimulatedWaveform(*usb.simulator, simulated, services,
                                     options.folders.dataFolder);
    fmQARN3.setWaveformWindow(&fmWaveform);

    fmQARN3.show();
    return QApplication::exec();
}
