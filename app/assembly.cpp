#include "app/assembly.h"

#include "app/recordswiring.h"
#include "calsetup/calform.h"
#include "calsetup/calwindow.h"
#include "calsetup/setupdialog.h"
#include "calsetup/setupform.h"
#include "diag/debuglog.h"
#include "diag/debugwindow.h"
#include "link/commpanel.h"
#include "link/commwindow.h"
#include "link/usbstatus.h"
#include "link/usbwindow.h"
#include "platform/process.h"
#include "waveform/viewer.h"
#include "waveform/waveformwindow.h"

#include <QApplication>

namespace qarn3 {

namespace {
AnalyzerLinks::Parts linkParts(const ProgramAssembly::Platform& p) {
    AnalyzerLinks::Parts parts(p.usbApi, p.serialPort, p.waits, p.log, p.dialogs);
    parts.registry = p.registry;
    parts.usbReader = p.usbReader;
    return parts;
}
} // namespace

ProgramAssembly::ProgramAssembly(const Platform& platform)
    : m_platform(platform), m_services{platform.files, platform.dialogs, platform.log},
      m_links(linkParts(platform)), m_program(m_platform.options, platform.dialogs, platform.waits,
                                              platform.log, platform.files, m_links),
      m_usbWindow([this] { return new TfmUSB(*m_usbPanel); }),
      m_commWindow([this] { return new TfmComm(*m_commPanel); }) {
    const char separator = m_platform.options.decimalSeparator;
    // The USB link reports its status lines from the start-up on, window or not.
    m_usbPanel = std::make_unique<UsbTestPanel>(m_links.usb(), separator);
    m_window =
        std::make_unique<TfmQARN3>(m_program, platform.dialogs, secondaryWindows(), separator);
    // The trace lines are kept from here on (the main window's creation is not in them), on
    // the debug window's clock, whether or not that window is ever shown.
    platform.log.open();
    platform.log.startClock();
    m_commPanel = std::make_unique<CommStatusPanel>(m_links.com());
    m_setupForm =
        std::make_unique<SetupForm>(m_program.setup, m_program.site, m_services, separator);
    m_calForm = std::make_unique<CalForm>(m_program.cal, m_program.calFile(), m_program,
                                          m_shortDates, platform.dialogs, platform.log);
    m_program.calFile().setView(m_calForm.get());
    m_viewer = std::make_unique<WaveViewer>(m_program.wave, m_services,
                                            m_platform.options.folders.dataFolder,
                                            [this] { return int{m_program.setup.TestMode}; });
    m_viewer->plot().setDecimalSeparator(separator);
    m_viewer->setMainsHz([this] { return m_program.site.MainsHz; });
    m_viewer->FormCreate();
    m_records = std::make_unique<RecordsWiring>(m_program, *m_window, m_services,
                                                m_platform.options.folders.dataFolder, separator);
    m_window->addRecordsMenus(m_records->testRecordAction(), m_records->recordsMenu());
}

ProgramAssembly::~ProgramAssembly() {
    // The shots still queued are stored (bounded) while the panel can still hear of them.
    finish();
    m_window.reset();
    m_records.reset();
    m_program.calFile().setView(nullptr);
}

int ProgramAssembly::run(const std::function<void()>& beforeEnd) {
    m_window->show();
    const int status = QApplication::exec();
    if (!finish()) {
        if (beforeEnd) beforeEnd();
        endProcessNow(status);
    }
    return status;
}

bool ProgramAssembly::finish() {
    return !m_records || m_records->finish();
}

TfmUSB* ProgramAssembly::usbWindow() {
    return m_usbWindow.made();
}

TfmComm* ProgramAssembly::commWindow() {
    return m_commWindow.made();
}

SecondaryWindows ProgramAssembly::secondaryWindows() {
    SecondaryWindows w;
    w.debug = [this] { return new TfmDebug(m_platform.log); };
    w.setup = [this](QWidget* parent) { return new TfmSetup(*m_setupForm, parent); };
    w.calibration = [this](QWidget* parent) {
        return new TfmCal(*m_calForm, m_shortDates, parent);
    };
    w.waveform = [this](QWidget* parent) { return new TfmWaveform(*m_viewer, parent); };
    w.linkStatus = {{&m_links.forSource(kSourceUsb),
                     [this] {
                         TfmUSB* usb = m_usbWindow.get();
                         usb->show();
                         usb->raise();
                     }},
                    {&m_links.forSource(kSourceCom), [this] { m_commWindow.get()->show(); }}};
    return w;
}

} // namespace qarn3
