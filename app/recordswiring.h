#pragma once

#include "app/firstopen.h"
#include "recordswindows/recordshost.h"

#include <QObject>

#include <chrono>
#include <cstdint>
#include <memory>

class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;

namespace qarn3 {

class Program;
class RecordsBrowser;
class SharedDatabaseActions;
class ShotWriter;
class TestRecordPanel;
class ViewerWaveformOpener;
struct PulseEnd;
struct Services;

// The test records in the program: the test record panel beside the main window (View/Test
// Record, hidden at the start so the window looks as it always did), the Records menu
// (Browse, Database…, Sync), and each pulse's end handed to the panel, which stores it as a
// shot when a test point is set up. The records live in QARN3.db in the data folder; every
// write happens on the shot writer's worker, never on the window's thread. Made after the main
// window; finish() runs before the main window goes, the destructor after.
class RecordsWiring : public QObject {
    Q_OBJECT
public:
    RecordsWiring(Program& program, QMainWindow& window, Services& services, std::string dataFolder,
                  char decimalSeparator);
    ~RecordsWiring() override;
    RecordsWiring(const RecordsWiring&) = delete;
    RecordsWiring& operator=(const RecordsWiring&) = delete;

    // View/Test Record and the Records menu's commands, for the main window's menus.
    QAction* testRecordAction() const { return m_testRecordAction; }
    QMenu* recordsMenu() const { return m_recordsMenu; }

    // The panel, its dock and its shot writer, made when the panel is first shown (or asked
    // for here): a program that never records makes none of them.
    TestRecordPanel& panel();
    QDockWidget& dock();
    ShotWriter& writer();
    SharedDatabaseActions& shared() { return *m_shared; }
    // Records/Browse's window once it has been opened (none before).
    RecordsBrowser* browser();
    // Records/Browse: the window, made at its first opening.
    RecordsBrowser* showBrowser();

    // Shows or hides the panel; the window grows by the panel's width as it shows (and gives
    // it back as it hides), so the readings keep their room; grown past the screen's edge, it
    // moves back onto the screen.
    void setPanelShown(bool shown);

    // At exit, before the windows go: the queued shots are stored, an export or report and a
    // sync are ended, each waited for at most its bound. True when nothing was left running.
    bool finish(std::chrono::milliseconds writerBound = std::chrono::seconds(5),
                std::chrono::milliseconds browserBound = std::chrono::seconds(2));

private:
    void keepOnScreen();
    void makePanel();
    void onPulseEnd(const PulseEnd& end);

    Program& m_program;
    QMainWindow& m_window;
    RecordsHost m_host;
    std::unique_ptr<ShotWriter> m_writer;
    std::unique_ptr<ViewerWaveformOpener> m_opener;
    QDockWidget* m_dock = nullptr;
    TestRecordPanel* m_panel = nullptr;
    SharedDatabaseActions* m_shared = nullptr;
    FirstOpen<RecordsBrowser> m_browser;
    QAction* m_testRecordAction = nullptr;
    QMenu* m_recordsMenu = nullptr;
    int m_listener = 0;
    int m_pulseNumber = 0;
    std::uint32_t m_test = 0; // the engine's reset count of the pulses' test
    int m_grownBy = 0;
    bool m_finished = false;
};

} // namespace qarn3
