#pragma once

#include "app/analyzerlinks.h"
#include "app/firstopen.h"
#include "app/mainwindow.h"
#include "app/program.h"
#include "calsetup/qtdates.h"
#include "diag/services.h"

#include <functional>
#include <memory>

namespace qarn3 {

class CalForm;
class CommStatusPanel;
class RecordsWiring;
class SetupForm;
class TfmComm;
class TfmUSB;
class UsbTestPanel;
class WaveViewer;

// The program as main puts it together (the tests that run the whole window too): the links,
// the program, the main window, and the logic of the other windows, made at the start-up in
// the order their debug lines have always come (lines logged before the main window is made
// are dropped); every other window is made when it is first opened.
class ProgramAssembly {
public:
    // What the platform gives: main's real ones, a test's fakes.
    struct Platform {
        Platform(const ProgramOptions& o, DialogService& d, Waits& w, DebugLog& l, FileStore& f,
                 MpusbApi& usb, SerialPort* serial)
            : options(o), dialogs(d), waits(w), log(l), files(f), usbApi(usb), serialPort(serial) {}
        ProgramOptions options;
        DialogService& dialogs;
        Waits& waits;
        DebugLog& log;
        FileStore& files;
        MpusbApi& usbApi;
        SerialPort* serialPort;                 // none: the COM link has no port
        const RegistryView* registry = nullptr; // where the analyzer is looked up
        UsbReaderControl* usbReader = nullptr;  // none: a reader thread of the links' own
    };

    explicit ProgramAssembly(const Platform& platform);
    ~ProgramAssembly();
    ProgramAssembly(const ProgramAssembly&) = delete;
    ProgramAssembly& operator=(const ProgramAssembly&) = delete;

    // The run as main makes it: the main window shown and the message loop until the
    // program ends (File/Exit), then the records' workers ended within their bounds. One still
    // inside a database call past its bound (a server that never answers) would outlive main
    // into the static destructors: the process then ends here, at once, with the loop's
    // status, after beforeEnd (what must still reach its file). Returns the loop's status.
    int run(const std::function<void()>& beforeEnd = {});
    // At exit: the records' workers ended, each waited for at most its bound; true when none
    // is left running. Once only; later calls return true.
    bool finish();

    AnalyzerLinks& links() { return m_links; }
    Program& program() { return m_program; }
    TfmQARN3& window() { return *m_window; }
    WaveViewer& viewer() { return *m_viewer; }
    // The test records: the panel beside the main window and the Records menu.
    RecordsWiring& records() { return *m_records; }
    UsbTestPanel& usbPanel() { return *m_usbPanel; }
    CommStatusPanel& commPanel() { return *m_commPanel; }
    // The links' status windows once Hardware Status has made them (none before).
    TfmUSB* usbWindow();
    TfmComm* commWindow();

private:
    SecondaryWindows secondaryWindows();

    Platform m_platform;
    Services m_services;
    QtShortDates m_shortDates;
    AnalyzerLinks m_links;
    Program m_program;
    // Made after the main window, destroyed after it.
    std::unique_ptr<UsbTestPanel> m_usbPanel;
    std::unique_ptr<CommStatusPanel> m_commPanel;
    std::unique_ptr<SetupForm> m_setupForm;
    std::unique_ptr<CalForm> m_calForm;
    std::unique_ptr<WaveViewer> m_viewer;
    FirstOpen<TfmUSB> m_usbWindow;
    FirstOpen<TfmComm> m_commWindow;
    std::unique_ptr<TfmQARN3> m_window;
    // Finished before the main window goes, destroyed after it.
    std::unique_ptr<RecordsWiring> m_records;
};

} // namespace qarn3
