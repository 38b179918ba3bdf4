// The whole program run as main runs it (ProgramAssembly::run), driven by the mouse as an
// operator would: Records/Sync against the shared database the data folder's setting names,
// then File/Exit, either a delay after Sync or that delay after the sync's progress has
// shown. A watchdog started at Exit ends the process by SIGALRM when the program has not
// ended within the exit's bound and some slack, which its parent sees as a crash.
//
//   qarn3-sync-exit-child DATA_FOLDER after-sync|after-progress DELAY_MS
//
// Exit status 0: the program ended as Exit ends it; 3: the sync had ended before Exit (the
// case asked for was not the one run); 4: the menus could not be used. On standard output:
// "progress shown" when the sync's progress dialog was up at Exit.
#include "app/assembly.h"
#include "app/recordswiring.h"
#include "diag/debuglog.h"
#include "platform/files.h"
#include "platform/nodevice.h"
#include "platform/scripted_dialogs.h"
#include "recordswindows/sharedactions.h"
#include "recordswindows/syncdialogs.h"
#include "support/fake_transports.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

using namespace qarn3;

namespace {

// Clicks menuTitle on the main window's menu bar, then item in the menu that opens.
bool clickMenu(TfmQARN3& w, const QString& menuTitle, const QString& item) {
    QMenuBar* bar = w.menuBar();
    QAction* menuAction = nullptr;
    for (QAction* a : bar->actions())
        if (a->text() == menuTitle) menuAction = a;
    if (!menuAction) return false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
    if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000))
        return false;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return false;
    QAction* itemAction = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == item) itemAction = a;
    if (!itemAction) return false;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(itemAction).center());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: qarn3-sync-exit-child DATA_FOLDER after-sync|after-progress "
                     "DELAY_MS\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string folder = argv[1];
    const bool afterProgress = std::string(argv[2]) == "after-progress";
    const int delayMs = std::atoi(argv[3]);

    ProgramOptions o;
    o.folders = {folder, folder};
    o.args = {"QARN3Pulse.owf"};
    ScriptedDialogs dialogs(&std::cerr);
    test::VirtualWaits waits;
    DebugLog log;
    FileStore files;
    NoDeviceMpusb usb;
    ProgramAssembly program(ProgramAssembly::Platform(o, dialogs, waits, log, files, usb, nullptr));
    TfmQARN3& w = program.window();
    SharedDatabaseActions& shared = program.records().shared();

    QTimer::singleShot(0, &w, [&] {
        if (!QTest::qWaitForWindowExposed(&w) || !clickMenu(w, "&Records", "S&ync")) {
            std::_Exit(4);
        }
        if (afterProgress &&
            !QTest::qWaitFor(
                [&] { return shared.progressDialog() && shared.progressDialog()->isVisible(); },
                10000))
            std::_Exit(3);
        QTest::qWait(delayMs);
        if (!shared.syncRunning()) std::_Exit(3);
        if (shared.progressDialog() && shared.progressDialog()->isVisible())
            std::cout << "progress shown" << std::endl;
        const auto bound =
            std::chrono::ceil<std::chrono::seconds>(SharedDatabaseActions::kExitBound);
        ::alarm(static_cast<unsigned>(bound.count()) + 5);
        if (!clickMenu(w, "&File", "E&xit")) std::_Exit(4);
    });
    return program.run();
}
