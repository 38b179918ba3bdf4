#include "app/recordswiring.h"

#include "app/program.h"
#include "diag/services.h"
#include "engine/ranges.h"
#include "records/location.h"
#include "recordstool/reading.h"
#include "recordswindows/recordsbrowser.h"
#include "recordswindows/sharedactions.h"
#include "recordswindows/syncdialogs.h"
#include "recordswindows/testrecordpanel.h"
#include "recordswindows/waveformopener.h"
#include "store/writer.h"
#include "waveform/waveform.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace qarn3 {

RecordsWiring::RecordsWiring(Program& program, QMainWindow& window, Services& services,
                             std::string dataFolder, char decimalSeparator)
    : m_program(program),
      m_window(window), m_host{DatabaseLocation::file(defaultRecordsPath(dataFolder)),
                               dataFolder,
                               services.dialogs,
                               decimalSeparator,
                               [&program] {
                                   return analyzerIdentityOf(program.cal.SerNum,
                                                             program.cal.CalDate);
                               },
                               [&program] {
                                   std::array<double, 8> scales{};
                                   for (int r = 1; r <= 8; ++r)
                                       scales[static_cast<std::size_t>(r - 1)] =
                                           rangeFullScale(r, program.setup.ShuntAmperes,
                                                          program.setup.ShuntMillivolts);
                                   return scales;
                               }},
      m_opener(std::make_unique<ViewerWaveformOpener>(
          services, dataFolder, decimalSeparator, [&program] { return program.site.MainsHz; },
          &window)),
      m_browser([this] {
          auto* b = new RecordsBrowser(m_host, m_opener.get(), &m_window);
          b->setMainsHz([this] { return m_program.site.MainsHz; });
          return b;
      }) {
    m_testRecordAction = new QAction("&Test Record", this);
    m_testRecordAction->setCheckable(true);
    connect(m_testRecordAction, &QAction::triggered, this, &RecordsWiring::setPanelShown);

    m_shared = new SharedDatabaseActions(dataFolder, services, &window);
    // A sync may have brought records of other laptops: the lists read them anew.
    connect(m_shared, &SharedDatabaseActions::syncFinished, this, [this] {
        if (m_panel) m_panel->reload();
        if (RecordsBrowser* b = m_browser.made()) b->refresh();
    });
    m_recordsMenu = new QMenu("&Records", &window);
    m_recordsMenu->addAction("&Browse", this, [this] { showBrowser(); });
    m_recordsMenu->addAction(m_shared->databaseAction());
    m_recordsMenu->addAction(m_shared->syncAction());

    m_listener = program.pulseEnded().connect([this](const PulseEnd& end) { onPulseEnd(end); });
}

RecordsWiring::~RecordsWiring() {
    m_program.pulseEnded().disconnect(m_listener);
    finish();
}

void RecordsWiring::makePanel() {
    if (m_dock) return;
    m_writer = std::make_unique<ShotWriter>(m_host.database);
    m_dock = new QDockWidget("Test Record", &m_window);
    m_dock->setObjectName("TestRecordDock");
    // Beside the readings, or closed: the window's width follows it.
    m_dock->setFeatures(QDockWidget::DockWidgetClosable);
    m_dock->setAllowedAreas(Qt::RightDockWidgetArea);
    m_panel = new TestRecordPanel(m_host, *m_writer, m_dock);
    // The plan's range for its point, chosen as from the range list, and only when the list
    // takes a choice (not during a test).
    connect(m_panel, &TestRecordPanel::rangeChosen, this, [this](int range) {
        auto* view = dynamic_cast<MainView*>(&m_window);
        if (!view || !view->rangeListEnabled()) return;
        view->selectRange(range - 1);
        m_program.ComboBoxRangeChange(range - 1);
    });
    m_dock->setWidget(m_panel);
    m_window.addDockWidget(Qt::RightDockWidgetArea, m_dock);
    m_dock->hide();
    // Closed by its own button (not hidden with a minimised window): the menu follows.
    connect(m_dock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!visible && m_dock->isHidden() && m_testRecordAction->isChecked()) setPanelShown(false);
    });
}

TestRecordPanel& RecordsWiring::panel() {
    makePanel();
    return *m_panel;
}

QDockWidget& RecordsWiring::dock() {
    makePanel();
    return *m_dock;
}

ShotWriter& RecordsWiring::writer() {
    makePanel();
    return *m_writer;
}

RecordsBrowser* RecordsWiring::browser() {
    return m_browser.made();
}

RecordsBrowser* RecordsWiring::showBrowser() {
    RecordsBrowser* b = m_browser.get();
    b->show();
    b->raise();
    b->activateWindow();
    return b;
}

// Grown past its screen's right edge, the window moves left until the panel is in view, as
// far as the screen's left edge.
void RecordsWiring::keepOnScreen() {
    const QScreen* screen = m_window.screen();
    if (!screen || m_window.isMaximized() || m_window.isFullScreen()) return;
    const QRect room = screen->availableGeometry();
    const QRect frame = m_window.frameGeometry();
    if (frame.right() <= room.right()) return;
    m_window.move(std::max(room.left(), room.right() + 1 - frame.width()), frame.top());
}

void RecordsWiring::setPanelShown(bool shown) {
    m_testRecordAction->setChecked(shown);
    // The main window keeps a fixed width of its own: it takes the panel's on top.
    const auto setWidth = [this](int width) {
        if (m_window.minimumWidth() == m_window.maximumWidth())
            m_window.setFixedWidth(width);
        else if (!m_window.isMaximized() && !m_window.isFullScreen())
            m_window.resize(width, m_window.height());
    };
    if (shown) {
        makePanel();
        if (!m_dock->isHidden()) return;
        m_grownBy =
            m_dock->sizeHint().width() +
            m_window.style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, &m_window);
        setWidth(m_window.width() + m_grownBy);
        m_dock->show();
        keepOnScreen();
    } else {
        if (!m_dock) return;
        m_dock->hide();
        if (m_grownBy > 0) setWidth(m_window.width() - m_grownBy);
        m_grownBy = 0;
    }
}

void RecordsWiring::onPulseEnd(const PulseEnd& end) {
    // Pulses are numbered from 1 in their test; each test begins with the engine's reset.
    const EngineReadings& r = m_program.engine().readings();
    if (r.resets != m_test) m_pulseNumber = 0;
    m_test = r.resets;
    ++m_pulseNumber;
    // Nothing is recorded before the panel has been opened once.
    if (m_finished || !m_panel) return;

    RecordedPulse pulse;
    pulse.reading = readingOf(end.result, formatDecimals(r.currentFormat),
                              m_program.setup.RangeIndex, isoUtcNow());
    pulse.reading.pulse = m_pulseNumber;
    pulse.reading.startSeconds = end.result.startSeconds;
    pulse.reading.ampsPerCount = end.capture.AmpsPerCount;
    // The capture's file bytes cost about a tenth of a millisecond: made only when kept. The
    // shot's start is then where the pulse begins in that file, not in the test.
    if (m_panel->isRecording()) {
        pulse.waveform = QByteArray::fromStdString(
            waveformFileBytes(end.capture, m_program.cal.SerNum, m_program.setup.TestMode));
        if (end.capture.SampleRate > 0)
            pulse.reading.startSeconds = end.capture.PulseFirst / end.capture.SampleRate;
    }
    m_panel->pulseEnded(pulse);
}

bool RecordsWiring::finish(std::chrono::milliseconds writerBound,
                           std::chrono::milliseconds browserBound) {
    if (m_finished) return true;
    m_finished = true;
    bool all = m_shared->finish();
    if (RecordsBrowser* b = m_browser.made()) all = b->finish(browserBound) && all;
    return (!m_writer || m_writer->finish(writerBound)) && all;
}

} // namespace qarn3
