// The records windows worked as a technician works them: only key presses and mouse clicks on
// the real windows of the whole program, from the main window's menus on. The test record
// panel through a demonstration test, the records window from the tree to the report, and
// the shared database's dialog and sync against the fixture's throwaway server.
#include "app/mainwindow.h"
#include "app/recordswiring.h"
#include "event_waits.h"
#include "platform/nodevice.h"
#include "program_fixture.h"
#include "records/location.h"
#include "records/verdict.h"
#include "records_fixture.h"
#include "recordswindows/recordsbrowser.h"
#include "recordswindows/sharedactions.h"
#include "recordswindows/shareddatabasedialog.h"
#include "recordswindows/syncdialogs.h"
#include "recordswindows/testrecordpanel.h"
#include "shared_database_fixture.h"
#include "store/database.h"
#include "store/store.h"
#include "support/fake_transports.h"
#include "waveform/waveformwindow.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/scripted_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <functional>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// The whole program on a fresh data folder, worked by keys and clicks. The folder (and, for
// the shared database's workflow, the server) come from the shared database's fixture.
class WorkflowTest : public SharedDatabaseTest {
protected:
    bool needsServer() const override { return false; }

    StartedProgram start() {
        log.open();
        ProgramOptions o;
        o.folders = {folder, folder};
        o.args = {"QARN3Pulse.owf"};
        o.programFileDate = "08/12/2026";
        StartedProgram w(ProgramAssembly::Platform(o, dialogs, waits, log, files, usbApi, nullptr));
        w->program().FormPaint();
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&*w));
        dialogs.clear(); // the first start's boxes (files made)
        return w;
    }

    static QWidget* focus() { return QApplication::focusWidget(); }
    static void type(const char* text) { QTest::keyClicks(focus(), text); }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(focus(), k, m); }

    // The window manager's part: the window a person clicks on, or a new one, is active once
    // the menu it came from has closed. The offscreen platform delivers a window's activation
    // a while after it was shown, so a popup already closed may still take it: wait until the
    // window has held it for a few rounds of events.
    static void activate(QWidget& window) {
        waitFor([] { return QApplication::activePopupWidget() == nullptr; }, 5000);
        int held = 0;
        waitFor(
            [&] {
                QCoreApplication::processEvents();
                if (QApplication::activeWindow() != &window) {
                    held = 0;
                    window.activateWindow();
                    return false;
                }
                return ++held >= 5;
            },
            5000);
        ASSERT_EQ(QApplication::activeWindow(), &window);
    }
    // The menu popup now open; nullptr when none opens.
    static QMenu* openMenu() {
        waitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }, 5000);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    static QAction* actionNamed(const QList<QAction*>& actions, const QString& text) {
        for (QAction* a : actions)
            if (a->text() == text) return a;
        return nullptr;
    }
    // A menu of a window's menu bar and one of its items, each by a mouse click.
    static void clickMenu(QMainWindow& window, const QString& title, const QString& item) {
        QMenuBar* bar = window.menuBar();
        QAction* menuAction = actionNamed(bar->actions(), title);
        ASSERT_NE(menuAction, nullptr) << title.toStdString();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
        QMenu* menu = openMenu();
        ASSERT_NE(menu, nullptr) << title.toStdString();
        QAction* itemAction = actionNamed(menu->actions(), item);
        ASSERT_NE(itemAction, nullptr) << item.toStdString();
        ASSERT_TRUE(itemAction->isEnabled()) << item.toStdString();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(itemAction).center());
    }
    // A menu opened by its Alt mnemonic and an item chosen by its letter.
    static void keyMenu(QWidget& window, Qt::Key menuKey, Qt::Key itemKey) {
        QTest::keyClick(&window, menuKey, Qt::AltModifier);
        QMenu* menu = openMenu();
        ASSERT_NE(menu, nullptr) << "no menu opened by its Alt mnemonic";
        QTest::keyClick(menu, itemKey);
    }
    // Runs steps once a modal dialog of type T is up (a dialog's exec() holds the click that
    // opened it until it ends).
    template <class T> void whenModal(std::function<void(T&)> steps) {
        auto* poll = new QTimer;
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, [poll, steps] {
            auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!d) return;
            poll->stop();
            poll->deleteLater();
            steps(*d);
        });
        poll->start();
    }

    // Records of two breakers, stored as an import would; the shots of the second carry the
    // demonstration's waveform.
    void seedRecords() {
        const auto wave = files.readAll(folder + "/QARN3Pulse.owf");
        ASSERT_TRUE(wave);
        RecordsDatabase db(DatabaseLocation::file(defaultRecordsPath(folder)));
        ASSERT_TRUE(db.open().ok);
        RecordsStore store(db);
        const SiteRecord site{newRecordId(), "MCC-3 feeder 12", ""};
        const char* const breakers[] = {"HW-100", "HW-200"};
        for (int b = 0; b < 2; ++b) {
            ShotContext c;
            c.site = site;
            c.breaker.id = newRecordId();
            c.breaker.siteId = site.id;
            c.breaker.designation = breakers[b];
            c.breaker.ratedAmps = 100;
            c.session.id = newRecordId();
            c.session.breakerId = c.breaker.id;
            c.session.startedAt = isoUtcFromMsecs(1767268800000LL + b * 86400000LL);
            c.session.operatorName = "J. Smith";
            c.point.id = newRecordId();
            c.point.sessionId = c.session.id;
            c.point.multiple = 3;
            c.point.band = Band{0.1, 0.5};
            std::vector<NewShot> shots;
            const double seconds[] = {0.3, 0.7, 0.05, 0.2};
            for (int i = 0; i < 4; ++i) {
                NewShot n;
                n.reading.takenAt = isoUtcFromMsecs(1767268800000LL + b * 86400000LL + i * 1000);
                n.reading.currentAmps = 300;
                n.reading.currentDecimals = 1;
                n.reading.seconds = seconds[i];
                n.reading.cycles = seconds[i] * 60;
                n.reading.pulse = i + 1;
                n.reading.rangeIndex = 3;
                n.reading.startSeconds = 0.5;
                if (b == 1) n.waveform = QByteArray::fromStdString(*wave);
                shots.push_back(n);
            }
            std::vector<ShotRecord> stored;
            ASSERT_FALSE(store.storeShots(c, shots, stored));
        }
    }

    VirtualWaits waits;
    NoDeviceMpusb usbApi;
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
};

// View/Test Record from the menu, the breaker, session and test point typed and chosen by
// keys, Start recording, RUN, each shot listed with its verdict, End session.
TEST_F(WorkflowTest, ATechnicianRecordsADemonstrationTestThroughThePanel) {
    auto w = start();
    Program& program = w->program();
    program.cal.SerNum = "A-1017";
    const int range = program.setup.RangeIndex;
    keyMenu(*w, Qt::Key_V, Qt::Key_T);
    RecordsWiring& records = w.app().records();
    ASSERT_TRUE(waitFor([&] { return !records.dock().isHidden(); }));
    activate(*w);
    TestRecordPanel& panel = records.panel();

    // The breaker: Site by a click, the rest by Tab in the order they stand.
    QTest::mouseClick(panel.cbSite->lineEdit(), Qt::LeftButton);
    type("MCC-3 feeder 12");
    const std::pair<QWidget*, const char*> breakerFields[] = {
        {panel.cbBreaker, "HW-200"},
        {panel.ebMaker, "Hawke"},
        {panel.ebModel, "LS-4"},
        {panel.ebSerial, "77-0012"},
        {panel.ebRating, "100"},
        {panel.ebSettings, "Ir 1.0"},
        {panel.ebLocation, "Room 4, panel B"}};
    for (const auto& [field, text] : breakerFields) {
        key(Qt::Key_Tab);
        ASSERT_TRUE(field->isAncestorOf(focus()) || field == focus())
            << "Tab does not reach " << field->objectName().toStdString();
        type(text);
    }
    EXPECT_EQ(panel.cbSite->currentText(), "MCC-3 feeder 12");
    EXPECT_EQ(panel.cbBreaker->currentText(), "HW-200");
    EXPECT_EQ(panel.ebRating->text(), "100");
    EXPECT_EQ(panel.ebLocation->text(), "Room 4, panel B");

    // The session: its tab by Ctrl+Tab, the operator by its mnemonic, the condition by keys.
    key(Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(panel.Tabs->currentIndex(), 1);
    QTest::keyClick(&*w, Qt::Key_O, Qt::AltModifier);
    ASSERT_EQ(focus(), panel.ebOperator);
    type("J. Smith");
    key(Qt::Key_Tab);
    ASSERT_EQ(focus(), panel.cbCondition);
    key(Qt::Key_Down);
    EXPECT_EQ(panel.cbCondition->currentText(), "as-left");
    key(Qt::Key_Tab);
    ASSERT_EQ(focus(), panel.ebNotes);
    type("after the trip unit's repair");

    // The test point: the kind chosen by keys, the band typed, the band's button clicked.
    key(Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(panel.Tabs->currentIndex(), 2);
    QTest::keyClick(&*w, Qt::Key_K, Qt::AltModifier);
    ASSERT_EQ(focus(), panel.cbKind);
    key(Qt::Key_Down);
    EXPECT_EQ(panel.cbKind->currentText(), "short-time");
    QTest::keyClick(&*w, Qt::Key_A, Qt::AltModifier);
    ASSERT_EQ(focus(), panel.ebMultiple) << "Target is reached by its mnemonic";
    type("3");
    QTest::mouseClick(panel.rbMustNotTrip, Qt::LeftButton);
    QTest::mouseClick(panel.rbBandTyped, Qt::LeftButton);
    ASSERT_TRUE(panel.rbBandTyped->isChecked());
    key(Qt::Key_Tab);
    ASSERT_EQ(focus(), panel.ebBandMin) << "the band's fields follow its button";
    type("0.1");
    key(Qt::Key_Tab);
    ASSERT_EQ(focus(), panel.ebBandMax);
    type("0.2");
    EXPECT_EQ(program.setup.RangeIndex, range) << "nothing typed into the panel moves the range";

    // Start recording by its mnemonic (a button so pressed clicks a moment later).
    QTest::keyClick(&*w, Qt::Key_D, Qt::AltModifier);
    ASSERT_TRUE(waitFor([&] { return panel.isRecording(); }))
        << panel.lbMessage->text().toStdString();
    EXPECT_FALSE(panel.cbSite->isEnabled());
    EXPECT_TRUE(panel.lbState->text().contains("MCC-3 feeder 12 / HW-200 (In 100 A), as-left"))
        << panel.lbState->text().toStdString();

    // RUN by a click; the program's update timer brings the demonstration's pulses.
    QTest::mouseClick(w->BitBtnRunStopReset, Qt::LeftButton);
    for (int i = 0; i < 60; ++i)
        program.UpdateTimerTick();
    ASSERT_EQ(w->StatusPanels[1]->text(), "Test Timeout");
    ASSERT_TRUE(waitFor([&] {
        const int rows = panel.ShotList->rowCount();
        if (rows == 0) return false;
        for (int r = 0; r < rows; ++r)
            if (panel.ShotList->item(r, TestRecordPanel::ColVerdict)->text() == "storing…")
                return false;
        return true;
    }));
    const std::vector<ShotRow> stored = storedShots(folder);
    ASSERT_EQ(panel.ShotList->rowCount(), static_cast<int>(stored.size()));
    std::set<Verdict> verdicts;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(i);
        const int row = static_cast<int>(i);
        EXPECT_EQ(panel.ShotList->item(row, TestRecordPanel::ColNumber)->text().toInt(), row + 1);
        EXPECT_EQ(panel.ShotList->item(row, TestRecordPanel::ColVerdict)->text().toStdString(),
                  verdictText(stored[i].shot.judgement.verdict));
        verdicts.insert(stored[i].shot.judgement.verdict);
        EXPECT_EQ(stored[i].site.name, "MCC-3 feeder 12");
        EXPECT_EQ(stored[i].breaker.designation, "HW-200");
        EXPECT_EQ(stored[i].breaker.maker, "Hawke");
        EXPECT_EQ(stored[i].breaker.location, "Room 4, panel B");
        EXPECT_EQ(stored[i].session.operatorName, "J. Smith");
        EXPECT_EQ(stored[i].session.condition, Condition::AsLeft);
        EXPECT_EQ(stored[i].session.notes, "after the trip unit's repair");
        EXPECT_EQ(stored[i].point.kind, PointKind::ShortTime);
        EXPECT_EQ(stored[i].session.analyzerSerial, "A-1017");
    }
    EXPECT_GE(verdicts.size(), 2u) << "the band parts the pulses";

    // End session by its mnemonic: the fields are free again for the next breaker.
    QTest::keyClick(&*w, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return !panel.isRecording(); }));
    EXPECT_TRUE(panel.cbSite->isEnabled());
    EXPECT_FALSE(program.exited);
}

// Records/Browse from the menu, the session picked in the tree by keys, the verdict filter,
// a shot's waveform, the list exported and the session's report.
TEST_F(WorkflowTest, ATechnicianFindsASessionAndReportsItInTheRecordsWindow) {
    auto w = start();
    seedRecords();
    keyMenu(*w, Qt::Key_R, Qt::Key_B);
    RecordsWiring& records = w.app().records();
    ASSERT_TRUE(waitFor([&] { return records.browser() && records.browser()->isVisible(); }));
    RecordsBrowser& b = *records.browser();
    activate(b);
    ASSERT_TRUE(waitFor([&] { return b.shots().total() == 8; }));

    // The tree: All records, its site, the breaker HW-200 and its session, by arrow keys.
    QTreeWidgetItem* all = b.Tree->topLevelItem(0);
    QTest::mouseClick(b.Tree->viewport(), Qt::LeftButton, {}, b.Tree->visualItemRect(all).center());
    ASSERT_EQ(focus(), b.Tree);
    key(Qt::Key_Down); // the site
    key(Qt::Key_Right);
    key(Qt::Key_Down); // HW-100
    key(Qt::Key_Down); // HW-200
    ASSERT_TRUE(b.Tree->currentItem()->text(0).startsWith("HW-200"))
        << b.Tree->currentItem()->text(0).toStdString();
    key(Qt::Key_Right);
    key(Qt::Key_Down); // its session
    ASSERT_TRUE(waitFor([&] { return b.shots().total() == 4; }));
    EXPECT_TRUE(b.lbPlotTitle->text().contains("HW-200")) << b.lbPlotTitle->text().toStdString();

    // The verdict filter by its mnemonic and the arrow keys.
    QTest::keyClick(&b, Qt::Key_E, Qt::AltModifier);
    ASSERT_EQ(focus(), b.cbVerdict);
    for (int i = 0; i < 4; ++i)
        key(Qt::Key_Down);
    ASSERT_EQ(b.cbVerdict->currentText(), "FAIL SLOW");
    ASSERT_TRUE(waitFor([&] { return b.shots().total() == 1; }));

    // The shot's waveform: the list by Tab, the shot by the arrow key, Return opens it.
    for (int i = 0; i < 10 && focus() != b.ShotTable; ++i)
        key(Qt::Key_Tab);
    ASSERT_EQ(focus(), b.ShotTable) << "Tab reaches the list";
    key(Qt::Key_Down);
    ASSERT_TRUE(b.ShotTable->currentIndex().isValid());
    const auto viewers = [&] {
        int n = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (qobject_cast<TfmWaveform*>(top) && top != w->waveformWindow() && top->isVisible())
                ++n;
        return n;
    };
    key(Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return viewers() == 1; })) << dialogs.shown().size();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<TfmWaveform*>(top) && top != w->waveformWindow()) top->close();
    activate(b);
    // and its shortcut (Ctrl+W closes the window, as everywhere).
    QTest::keyClick(&b, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(waitFor([&] { return viewers() == 1; })) << "Ctrl+O opens the shot's waveform";
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<TfmWaveform*>(top) && top != w->waveformWindow()) top->close();
    activate(b);
    ASSERT_TRUE(b.isVisible());

    // File/Export the List by keys; the file dialog answered through the dialog service.
    QSignalSpy ended(&b, &RecordsBrowser::jobEnded);
    const std::string csv = folder + "/slow shots.csv";
    dialogs.answer(csv);
    keyMenu(b, Qt::Key_F, Qt::Key_L);
    ASSERT_TRUE(waitFor([&] { return !ended.isEmpty(); }));
    EXPECT_EQ(ended.takeFirst().at(1).toString(), "");
    const auto text = files.readAll(csv);
    ASSERT_TRUE(text);
    EXPECT_EQ(std::count(text->begin(), text->end(), '\n'), 2) << *text;
    EXPECT_NE(text->find("HW-200"), std::string::npos) << *text;
    EXPECT_NE(text->find("FAIL SLOW"), std::string::npos) << *text;

    // File/Report… by clicks.
    const std::string pdf = folder + "/HW-200.pdf";
    dialogs.answer(pdf);
    clickMenu(b, "&File", "&Report...");
    ASSERT_TRUE(waitFor([&] { return !ended.isEmpty(); }, 60000));
    EXPECT_EQ(ended.takeFirst().at(1).toString(), "");
    const auto report = files.readAll(pdf);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->substr(0, 5), "%PDF-");
    EXPECT_EQ(dialogs.pendingAnswers(), 0u);
    EXPECT_FALSE(w->program().exited);
}

class SharedWorkflowTest : public WorkflowTest {
protected:
    bool needsServer() const override { return true; }
};

// Records/Database… by keys: the URI typed, Test Connection clicked, OK by Return; then
// Records/Sync by clicks sends the laptop's records to the server.
TEST_F(SharedWorkflowTest, ATechnicianNamesTheSharedDatabaseAndSyncsWithIt) {
    auto w = start();
    seedRecords();
    const std::string shared = adminUri();
    QString status;
    bool tested = false;
    whenModal<SharedDatabaseDialog>([&](SharedDatabaseDialog& d) {
        QTest::mouseClick(d.ebUri, Qt::LeftButton);
        EXPECT_EQ(focus(), d.ebUri);
        type(shared.c_str());
        QTest::mouseClick(d.btTest, Qt::LeftButton);
        tested = waitFor([&] {
            return d.btTest->isEnabled() && !d.lbStatus->text().isEmpty() &&
                   !d.lbStatus->text().startsWith("Connecting");
        });
        status = d.lbStatus->text();
        QTest::mouseClick(d.ebUri, Qt::LeftButton);
        key(Qt::Key_Return);
        if (d.isVisible()) d.reject(); // so that a failure does not hang the test
    });
    keyMenu(*w, Qt::Key_R, Qt::Key_D);
    ASSERT_TRUE(tested);
    EXPECT_TRUE(status.contains("schema")) << status.toStdString();
    ASSERT_TRUE(files.readAll(folder + "/QARN3Shared.ini")) << "OK keeps the URI";

    SharedDatabaseActions& actions = w.app().records().shared();
    QSignalSpy finished(&actions, &SharedDatabaseActions::syncFinished);
    clickMenu(*w, "&Records", "S&ync");
    ASSERT_TRUE(finished.wait(60000));
    const SyncReport report = finished.takeFirst().at(0).value<SyncReport>();
    EXPECT_TRUE(report.ok) << report.error.message;
    EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 8);
    ASSERT_TRUE(
        waitFor([&] { return actions.summaryDialog() && actions.summaryDialog()->isVisible(); }));
    SyncSummaryDialog& summary = *actions.summaryDialog();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&summary));
    QTest::keyClick(&summary, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] {
        return !actions.summaryDialog() || !actions.summaryDialog()->isVisible();
    })) << "Esc closes the summary";
    EXPECT_FALSE(w->program().exited) << "Esc in the summary ends nothing";
    for (const DialogRecord& r : dialogs.shown())
        ADD_FAILURE() << "a box: " << r.text;
}

} // namespace
