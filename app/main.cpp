// QARN-3 Breaker Tester Analyzer: program entry. Reads the environment, makes the platform's
// services, the links, the program and its main window, and runs the message loop.
#include "app/assembly.h"
#include "app/startfacts.h"
#include "app/usbchoice.h"
#include "diag/busywindow.h"
#include "diag/debuglog.h"
#include "diag/diaglog.h"
#include "diag/qtwaits.h"
#include "diag/services.h"
#include "diag/versioninfo.h"
#include "help/qthelpviewer.h"
#include "link/usbsim.h"
#include "platform/files.h"
#include "platform/owners.h"
#include "platform/qt_dialogs.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/scripted_dialogs.h"
#include "platform/textformat.h"
#include "serial/serialasync.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace {

// The simulated analyzer's cable: SIGUSR1 pulls it, SIGUSR2 plugs it in again.
std::atomic<bool> g_cablePulled{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef SIGUSR1
extern "C" void cableSignal(int signal) {
    g_cablePulled = signal == SIGUSR1;
}
#endif

// An environment variable's value, empty when it is not set.
std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

qarn3::ProgramOptions programOptions(const QStringList& arguments) {
    qarn3::ProgramOptions o;
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    o.folders = qarn3::platformFolders(exe.absolutePath().toStdString(),
                                       qarn3::folderEnvironment(variable));
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

int runProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("QARN3 Breaker Tester Analyzer");
    QApplication::setDesktopFileName("qarn3");

    qarn3::ProgramOptions options = programOptions(QCoreApplication::arguments());
    qarn3::DebugLog log;
    log.setDecimalSeparator(options.decimalSeparator);
    qarn3::FileStore files;
    // QARN3_UNATTENDED: no box waits for a user; each is written to standard error and
    // answered from the variable's list (empty: every box takes its default).
    std::unique_ptr<qarn3::DialogService> dialogs;
    qarn3::QtDialogs* qtDialogs = nullptr;
    if (const char* answers = std::getenv("QARN3_UNATTENDED")) {
        auto scripted = std::make_unique<qarn3::ScriptedDialogs>(&std::cerr);
        scripted->answerList(answers);
        dialogs = std::move(scripted);
    } else {
        auto qt = std::make_unique<qarn3::QtDialogs>();
        qtDialogs = qt.get();
        dialogs = std::move(qt);
    }
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
    // The analyzer over USB, or the simulated one playing the waveform file that
    // QARN3_SIMULATED_ANALYZER names; QARN3_SIMULATED_ANALYZER_LOG names a file the simulated
    // analyzer lists every packet it receives in, to compare the exchanges of two runs.
    const std::string simulated = variable("QARN3_SIMULATED_ANALYZER");
    qarn3::UsbLibrary usb = qarn3::makeUsbLibrary(simulated.c_str(), &g_cablePulled);
    std::ofstream commandLog;
    if (usb.simulator) {
#ifdef SIGUSR1
        std::signal(SIGUSR1, cableSignal);
        std::signal(SIGUSR2, cableSignal);
#endif
        if (const std::string logFile = variable("QARN3_SIMULATED_ANALYZER_LOG");
            !logFile.empty()) {
            commandLog.open(logFile, std::ios::binary | std::ios::trunc);
            if (commandLog) usb.simulator->setCommandLog(&commandLog);
        }
    }
    qarn3::SystemRegistry registry;
    qarn3::TSerialPortAsync serialPort;

    // The help viewer and the diagnostic log exist before any window.
#ifdef QARN3_QT_HELP
    qarn3::QtHelpViewer helpViewer(
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/qarn3/help");
#else
    qarn3::BrowserHelpViewer helpViewer;
#endif
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

    qarn3::ProgramAssembly::Platform platform(options, *dialogs, waits, log, files, *usb.api,
                                              &serialPort);
    platform.registry = &registry;
    qarn3::ProgramAssembly program(platform);
    // Boxes are centred on the main window.
    if (qtDialogs) qtDialogs->setParent(&program.window());
    // The demonstration files exist now, so the simulator may play one of them.
    if (usb.simulator) {
        qarn3::Services services{files, *dialogs, log};
        qarn3::loadSimulatedWaveform(*usb.simulator, simulated.c_str(), services,
                                     options.folders.dataFolder);
    }

    // The simulated analyzer's packets reach their file even when the process ends at once.
    return program.run([&commandLog] { commandLog.flush(); });
}

} // namespace

int main(int argc, char** argv) {
    const int status = runProgram(argc, argv);
#ifdef _WIN32
    // Everything the program keeps is stored and closed by now. Windows would go on to run
    // each DLL's detach code after ending the other threads wherever they were, Qt's and the
    // runtime's among them, and a lock one of them held then never comes free.
    qarn3::endProcessNow(status);
#endif
    return status;
}
