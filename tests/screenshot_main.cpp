// Takes a screenshot of the main window during a demonstration test: starts the program's
// windows on the pulse waveform, presses RUN, lets the test run for the given seconds in real
// time and saves the window as a PNG. Run under Xvfb by scripts/screenshot.sh.
#include "app/mainwindow.h"
#include "diag/debuglog.h"
#include "diag/debugwindow.h"
#include "diag/qtwaits.h"
#include "platform/files.h"
#include "platform/nodevice.h"
#include "platform/scripted_dialogs.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::cerr << "usage: qarn3-screenshot OUT.png SECONDS [DATAFOLDER]\n";
        return 2;
    }
    const QString out = argv[1];
    const double seconds = std::atof(argv[2]);
    qarn3::ProgramOptions o;
    const std::string data = argc > 3 ? argv[3] : "/tmp/qarn3-screenshot";
    qarn3::makeFolders(data);
    o.folders = {data, data};
    o.args = {"QARN3Pulse.owf"};
    o.programFileDate = "08/12/2026";
    qarn3::DebugLog log;
    qarn3::FileStore files;
    qarn3::ScriptedDialogs dialogs(&std::cerr);
    qarn3::QtWaits waits;
    qarn3::NoDeviceMpusb usb;
    qarn3::TfmQARN3 window(o, dialogs, waits, log, files, usb, nullptr);
    qarn3::TfmDebug debug(log);
    window.setDebugWindow(&debug);
    window.show();
    QTimer::singleShot(500, [&] { window.BitBtnRunStopReset->click(); });
    QTimer::singleShot(500 + static_cast<int>(seconds * 1000), [&] {
        const bool ok = window.grab().save(out);
        std::cerr << (ok ? "saved " : "could not save ") << out.toStdString() << "\n";
        QApplication::exit(ok ? 0 : 1);
    });
    return QApplication::exec();
}
