// The test records in the whole program: the panel hidden at the start and shown beside the
// main window, the Records menu, the pulses of a demonstration test stored with their
// verdicts and captures, as the analysis tool measures them, and a technician's whole job on
// the demonstration waveform: the built-in plan as found and as left, approved, reported.
#include "app/mainwindow.h"
#include "app/recordswiring.h"
#include "engine/analysis.h"
#include "event_waits.h"
#include "platform/nodevice.h"
#include "program_fixture.h"
#include "record_fixture.h"
#include "records/location.h"
#include "records/sharedsettings.h"
#include "records/testplan.h"
#include "records/tripunitcsv.h"
#include "records/verdict.h"
#include "records_fixture.h"
#include "recordswindows/recordsbrowser.h"
#include "recordswindows/testrecordpanel.h"
#include "store/database.h"
#include "store/store.h"
#include "store/tripunitlibrary.h"
#include "support/fake_transports.h"
#include "tool_run.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QScreen>
#include <QTest>

#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class ProgramRecordsTest : public RecordTest {
protected:
    StartedProgram start(std::vector<std::string> args) {
        ProgramOptions o;
        o.folders = {folder, folder};
        o.args = std::move(args);
        o.programFileDate = "08/12/2026";
        StartedProgram w(ProgramAssembly::Platform(o, dialogs, waits, log, files, usbApi, nullptr));
        w->program().FormPaint();
        return w;
    }
    std::vector<std::string> menuTitles(TfmQARN3& w) {
        std::vector<std::string> titles;
        for (QAction* a : w.menuBar()->actions())
            titles.push_back(a->text().toStdString());
        return titles;
    }

    VirtualWaits waits;
    NoDeviceMpusb usbApi;
};

TEST_F(ProgramRecordsTest, ThePanelIsClosedAtTheStartAndOpensBesideTheReadings) {
    auto w = start({"QARN3Pulse.owf"});
    w->show();
    RecordsWiring& records = w.app().records();
    EXPECT_TRUE(records.dock().isHidden());
    EXPECT_EQ(menuTitles(*w),
              (std::vector<std::string>{"&File", "&Test", "&View", "&Records", "&Help"}));
    // A test without the panel writes no records: the database is made at its first use.
    w->BitBtnRunStopReset->click();
    for (int i = 0; i < 60; ++i)
        w->program().UpdateTimerTick();
    EXPECT_FALSE(std::filesystem::exists(defaultRecordsPath(folder)));
    const int width = w->width();
    const int readings = w->centralWidget()->width();
    // Near the screen's right edge, the window grown by the panel moves back onto the screen.
    const QRect room = w->screen()->availableGeometry();
    w->move(room.right() - w->frameGeometry().width() - 10, room.top() + 20);
    records.testRecordAction()->trigger();
    EXPECT_FALSE(records.dock().isHidden());
    EXPECT_TRUE(records.testRecordAction()->isChecked());
    EXPECT_GT(w->width(), width);
    const QRect frame = w->frameGeometry();
    EXPECT_EQ(frame.left(), std::max(room.left(), room.right() + 1 - frame.width()));
    EXPECT_EQ(frame.top(), room.top() + 20);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->centralWidget()->width(), readings) << "the readings keep their room";
    // Closed by its own button: the menu item follows and the window gives the room back.
    records.dock().close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(records.testRecordAction()->isChecked());
    EXPECT_EQ(w->width(), width);
}

// Typed as a technician does: the menu opened by the mouse, the fields reached by a click and
// by their mnemonics. The panel's fields take every character, "-" and Esc included, and the
// range stays; the readings' own controls keep their "+", "-" and Esc.
TEST_F(ProgramRecordsTest, TypingInThePanelFillsItsFieldsAndLeavesTheRangeAlone) {
    auto w = start({"QARN3Pulse.owf"});
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&*w));
    auto& setup = w->program().setup;
    const int range = setup.RangeIndex;
    ASSERT_GE(range, 1);
    ASSERT_LE(range, 6);
    const auto clickMenu = [&](const QString& menuTitle, const QString& item) {
        QMenuBar* bar = w->menuBar();
        QAction* menuAction = nullptr;
        for (QAction* a : bar->actions())
            if (a->text() == menuTitle) menuAction = a;
        ASSERT_NE(menuAction, nullptr) << menuTitle.toStdString();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
        ASSERT_TRUE(waitFor([] { return QApplication::activePopupWidget() != nullptr; }));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction* itemAction = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == item) itemAction = a;
        ASSERT_NE(itemAction, nullptr) << item.toStdString();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(itemAction).center());
    };
    clickMenu("&View", "&Test Record");
    RecordsWiring& records = w.app().records();
    ASSERT_TRUE(waitFor([&] { return !records.dock().isHidden(); }));
    TestRecordPanel& panel = records.panel();
    const auto typed = [](const char* text) {
        QTest::keyClicks(QApplication::focusWidget(), text);
    };

    QTest::mouseClick(panel.cbSite->lineEdit(), Qt::LeftButton);
    typed("MCC-3 feeder 12");
    QTest::keyClick(&*w, Qt::Key_B, Qt::AltModifier);
    typed("HW-200");
    QTest::keyClick(&*w, Qt::Key_I, Qt::AltModifier);
    typed("125+5");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(panel.cbSite->currentText(), "MCC-3 feeder 12");
    EXPECT_EQ(panel.cbBreaker->currentText(), "HW-200");
    EXPECT_EQ(panel.ebRating->text(), "125");
    EXPECT_EQ(setup.RangeIndex, range) << "no character typed into the panel moves the range";
    EXPECT_EQ(w->ComboBoxRange->currentIndex(), range - 1);
    EXPECT_FALSE(w->program().exited) << "Esc in the panel ends nothing";

    // The readings' own controls: a click on the MaxOn field, then "+", "-" and Esc.
    QTest::mouseClick(w->ebMaxOn, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), w->ebMaxOn);
    typed("++");
    EXPECT_EQ(setup.RangeIndex, range + 2);
    typed("-");
    EXPECT_EQ(setup.RangeIndex, range + 1);
    EXPECT_EQ(w->ComboBoxRange->currentIndex(), range);
    // While a test runs the range list is off: the readings discard what is typed, the panel
    // still takes it.
    QTest::mouseClick(w->BitBtnRunStopReset, Qt::LeftButton);
    for (int i = 0; i < 200 && w->ComboBoxRange->isEnabled(); ++i)
        w->program().UpdateTimerTick();
    ASSERT_FALSE(w->ComboBoxRange->isEnabled());
    QTest::mouseClick(w->ebMaxOn, Qt::LeftButton);
    typed("+");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(setup.RangeIndex, range + 1);
    EXPECT_FALSE(w->program().exited);
    QTest::mouseClick(panel.ebRating, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    typed("-1");
    EXPECT_EQ(panel.ebRating->text(), "125-1");
    // STOP, then RESET arms the next test and gives the range list back.
    for (int i = 0; i < 3 && !w->ComboBoxRange->isEnabled(); ++i) {
        QTest::mouseClick(w->BitBtnRunStopReset, Qt::LeftButton);
        w->program().UpdateTimerTick();
    }
    ASSERT_TRUE(w->ComboBoxRange->isEnabled());
    QTest::mouseClick(w->ebMaxOn, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(w->program().exited);
}

TEST_F(ProgramRecordsTest, ADemonstrationTestStoresEachPulseWithItsVerdictAndCapture) {
    auto w = start({"QARN3Pulse.owf"});
    Program& program = w->program();
    program.cal.SerNum = "A-1017";
    TestRecordPanel& panel = w.app().records().panel();
    panel.cbSite->setCurrentText("North Plant");
    panel.cbBreaker->setCurrentText("Q7");
    panel.ebRating->setText("100");
    panel.ebMultiple->setText("3");
    panel.rbBandTyped->setChecked(true);
    panel.ebBandMin->setText("0.1");
    panel.ebBandMax->setText("0.2");
    ASSERT_TRUE(panel.startRecording()) << panel.lbMessage->text().toStdString();

    // Two tests (RUN; then RESET and RUN again): the pulses of each are numbered from 1.
    for (int test = 0; test < 2; ++test) {
        if (test > 0) w->BitBtnRunStopReset->click();
        w->BitBtnRunStopReset->click();
        for (int i = 0; i < 60; ++i)
            program.UpdateTimerTick();
        ASSERT_EQ(w->StatusPanels[1]->text(), "Test Timeout");
    }

    AnalysisOptions o;
    o.waveFile = file("QARN3Pulse.owf");
    const AnalysisResult expected = analyzeWaveform(o);
    ASSERT_TRUE(expected.ok) << expected.error;
    ASSERT_GE(expected.pulses.size(), 2u);
    ASSERT_TRUE(waitFor([&] {
        return panel.ShotList->rowCount() == 2 * static_cast<int>(expected.pulses.size());
    }));
    // The writer has reported every shot stored.
    ASSERT_TRUE(w.app().records().finish());

    const std::vector<ShotRow> rows = storedShots(folder);
    std::set<Verdict> verdicts;
    const std::size_t n = expected.pulses.size();
    ASSERT_EQ(rows.size(), 2 * n);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ShotReading& r = rows[i].shot.reading;
        const PulseResult& e = expected.pulses[i % n].result;
        SCOPED_TRACE(i);
        EXPECT_EQ(r.pulse, static_cast<int>(i % n + 1));
        EXPECT_FLOAT_EQ(static_cast<float>(r.currentAmps), e.pulseAmps);
        EXPECT_DOUBLE_EQ(r.seconds, e.seconds);
        EXPECT_EQ(r.rangeIndex, expected.rangeIndex);
        EXPECT_EQ(r.currentDecimals, expected.currentDecimals);
        EXPECT_EQ(rows[i].session.analyzerSerial, "A-1017");
        VerdictInput in;
        in.seconds = e.seconds;
        in.suspect = e.suspect;
        in.underRange = e.underRange;
        in.cutShort = e.cutShort;
        in.multiple = e.pulseAmps / 100.0;
        in.targetMultiple = 3;
        in.band = Band{0.1, 0.2};
        EXPECT_EQ(rows[i].shot.judgement.verdict, judge(in).verdict);
        verdicts.insert(judge(in).verdict);

        // The capture, as the viewer's Save writes it, with the pulse where the shot says.
        RecordsDatabase db(DatabaseLocation::file(defaultRecordsPath(folder)));
        ASSERT_TRUE(db.open().ok);
        RecordsError error;
        const std::optional<QByteArray> bytes = RecordsStore(db).waveformOf(rows[i].shot.id, error);
        ASSERT_TRUE(bytes) << error.message;
        ASSERT_EQ(bytes->size(), 120059);
        ASSERT_TRUE(r.startSeconds);
        const auto first = static_cast<int>(std::lround(*r.startSeconds * 2400));
        // The largest count of 24 samples from k (the file's samples follow its 59-byte head).
        const auto largest = [&](int from) {
            int most = 0;
            for (int k = std::max(0, from); k < from + 24; ++k) {
                std::int16_t v;
                std::memcpy(&v, bytes->constData() + 59 + 2 * k, sizeof v);
                most = std::max(most, std::abs(int{v}));
            }
            return most;
        };
        const int before = largest(first - 24), at = largest(first);
        EXPECT_GT(at, 4 * before + 10) << "the pulse begins at the shot's start";
    }

    EXPECT_GE(verdicts.size(), 2u) << "the band parts the pulses";

    // Records/Browse lists them.
    RecordsBrowser* browser = w.app().records().showBrowser();
    ASSERT_TRUE(browser);
    EXPECT_TRUE(
        waitFor([&] { return browser->shots().rowCount() == static_cast<int>(rows.size()); }));
}

// The technician's job on the demonstration waveform, by keys and clicks in the panel: the
// breaker, its trip unit and settings typed; the built-in plan started and its checklist
// ticked; demonstration tests run until every point of the three poles has its shot; the
// as-left session made from it and run the same way; approved by someone else than who
// tested. The report of the as-left session shows the as-found results beside its own and
// the approval; history and due list the breaker.
TEST_F(ProgramRecordsTest, APlanRunAsFoundAndAsLeftIsApprovedAndReportedWithBoth) {
    {
        const auto csv = files.readAll(QARN3_SOURCE_DIR "/records/tripunits/sample.csv");
        ASSERT_TRUE(csv);
        const TripUnitCsv units = parseTripUnitCsv(*csv);
        ASSERT_TRUE(units.error.empty()) << units.error;
        std::filesystem::create_directories(
            std::filesystem::path(defaultRecordsPath(folder)).parent_path());
        RecordsDatabase db(DatabaseLocation::file(defaultRecordsPath(folder)));
        ASSERT_TRUE(db.open().ok);
        TripUnitImportSummary summary;
        ASSERT_FALSE(TripUnitLibrary(db).importProfiles(units.profiles, summary));
    }
    auto w = start({"QARN3Pulse.owf"});
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&*w));
    RecordsWiring& records = w.app().records();
    records.testRecordAction()->trigger();
    ASSERT_TRUE(waitFor([&] { return !records.dock().isHidden(); }));
    TestRecordPanel& p = records.panel();
    const auto focus = [] { return QApplication::focusWidget(); };
    const auto typed = [&](const char* text) { QTest::keyClicks(focus(), text); };
    const auto alt = [&](Qt::Key k) { QTest::keyClick(&*w, k, Qt::AltModifier); };
    const auto text = [](const QLabel* l) { return l->text().toStdString(); };

    QTest::mouseClick(p.cbSite->lineEdit(), Qt::LeftButton);
    typed("North Plant");
    QTest::keyClick(focus(), Qt::Key_Tab);
    typed("Q7");
    alt(Qt::Key_I);
    typed("100");
    alt(Qt::Key_L);
    ASSERT_EQ(focus(), p.cbTripUnit);
    QTest::keyClick(focus(), Qt::Key_Down);
    alt(Qt::Key_G);
    typed("LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=0.3,GFD=0.2,GFI2T=off");
    QTest::keyClick(focus(), Qt::Key_Tab, Qt::ControlModifier);
    alt(Qt::Key_O);
    ASSERT_EQ(focus(), p.ebOperator);
    typed("J. Smith");
    QTabBar* tabs = p.Tabs->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    ASSERT_EQ(p.cbPlan->currentText(), "LSIG three-pole");

    // Ticks every item (thermal memory reset: no cool-down), then demonstration tests until
    // the plan is done; a test's pulses go to the points in turn.
    const auto runPlan = [&] {
        for (QCheckBox* c : p.cbChecks) {
            QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(8, c->height() / 2));
            QCoreApplication::processEvents();
        }
        for (int test = 0; test < 13 && text(p.lbPlanPoint) != "Every point of the plan is done.";
             ++test) {
            for (int i = 0; i < 3 && !w->ComboBoxRange->isEnabled(); ++i) {
                QTest::mouseClick(w->BitBtnRunStopReset, Qt::LeftButton);
                w->program().UpdateTimerTick();
            }
            QTest::mouseClick(w->BitBtnRunStopReset, Qt::LeftButton);
            for (int i = 0; i < 60; ++i)
                w->program().UpdateTimerTick();
            ASSERT_EQ(w->StatusPanels[1]->text(), "Test Timeout");
            QCoreApplication::processEvents();
        }
        ASSERT_EQ(text(p.lbPlanPoint), "Every point of the plan is done.") << text(p.lbMessage);
        EXPECT_NE(text(p.lbProgress).find(", left 0"), std::string::npos) << text(p.lbProgress);
    };
    alt(Qt::Key_P);
    ASSERT_TRUE(waitFor([&] { return p.plan().has_value(); })) << text(p.lbMessage);
    ASSERT_EQ(p.planPoints().size(), 13u);
    runPlan();
    if (HasFatalFailure()) return;
    const std::string asFound = p.context()->session.id;
    ASSERT_TRUE(waitFor([&] { return storedShots(folder).size() == 13; }))
        << storedShots(folder).size();

    dialogs.answer("LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=0.3,GFD=0.2,GFI2T=off");
    alt(Qt::Key_A);
    ASSERT_TRUE(waitFor([&] { return p.context()->session.condition == Condition::AsLeft; }))
        << text(p.lbMessage);
    const std::string asLeft = p.context()->session.id;
    EXPECT_NE(text(p.lbPlanPoint).find("as found: "), std::string::npos) << text(p.lbPlanPoint);
    runPlan();
    if (HasFatalFailure()) return;
    dialogs.answer("R. Jones");
    alt(Qt::Key_S);
    ASSERT_TRUE(waitFor([&] {
        return text(p.lbApproval).rfind("Approved by R. Jones on ", 0) == 0;
    })) << text(p.lbApproval)
        << " / " << text(p.lbMessage);
    // QARN3_SCREENSHOT_DIR set (under Xvfb): the window as the technician leaves it.
    if (const char* shots = std::getenv("QARN3_SCREENSHOT_DIR"))
        w->grab().save(QString::fromLocal8Bit(shots) + "/plan-approved.png");
    ASSERT_TRUE(records.finish());

    const std::vector<ShotRow> rows = storedShots(folder);
    ASSERT_EQ(rows.size(), 26u);
    std::set<std::string> poles;
    for (const ShotRow& r : rows) {
        poles.insert(poleText(r.point.pole));
        EXPECT_EQ(r.session.id, r.session.condition == Condition::AsLeft ? asLeft : asFound);
    }
    EXPECT_EQ(poles, (std::set<std::string>{"A", "B", "C"}));

    const std::string db = defaultRecordsPath(folder), pdf = folder + "/as-left.pdf";
    ToolRun r = runRecords({"--db", db, "report", "--session", asLeft, "-o", pdf}, folder);
    ASSERT_EQ(r.status, 0) << r.err;
    if (QARN3_PDFTOTEXT[0]) {
        QProcess tool;
        tool.start(QARN3_PDFTOTEXT, {"-layout", QString::fromStdString(pdf), "-"});
        ASSERT_TRUE(tool.waitForFinished(30000));
        const QString report = QString::fromUtf8(tool.readAllStandardOutput())
                                   .replace(QRegularExpression("[ \\t]+"), " ");
        EXPECT_TRUE(report.contains("as-left")) << report.toStdString();
        EXPECT_TRUE(report.contains("Approved by R. Jones on ")) << report.toStdString();
        EXPECT_EQ(report.count("As found: "), 13) << report.toStdString();
        EXPECT_TRUE(report.contains("LSIG three-pole") || report.contains("Settings as left"))
            << report.toStdString();
    }
    r = runRecords({"--db", db, "history", "--breaker", "Q7"}, folder);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(asFound + ","), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(asLeft + ","), std::string::npos) << r.out;
    r = runRecords({"--db", db, "due"}, folder);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Q7"), std::string::npos) << "tested today, due in 36 months: " << r.out;
    r = runRecords({"--db", db, "due", "--within", "1200"}, folder);
    ASSERT_EQ(r.status, 0) << r.err;
    const QDate due = QDate::currentDate().addMonths(36);
    EXPECT_NE(r.out.find("North Plant  Q7  due "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(due.toString(Qt::ISODate).left(7).toStdString()), std::string::npos)
        << r.out;
}

// A server that takes connections and never says a word: a listening socket on the loopback
// whose handshakes the kernel completes, nothing ever read or written.
class SilentServer {
public:
    SilentServer() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        auto* any = reinterpret_cast<sockaddr*>(&a);
        socklen_t size = sizeof a;
        if (m_fd >= 0 && ::bind(m_fd, any, size) == 0 && ::listen(m_fd, 64) == 0 &&
            ::getsockname(m_fd, any, &size) == 0)
            port = ntohs(a.sin_port);
    }
    ~SilentServer() {
        if (m_fd >= 0) ::close(m_fd);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    int port = 0;

private:
    int m_fd = -1;
};

// File/Exit while a sync waits on a server that never answers ends the program within the
// exit's bound, in twenty runs of the whole program in processes of its own: Exit from at
// once to after the sync's progress would show, and while that progress dialog (which
// refuses to close while its sync runs) is up.
TEST_F(ProgramRecordsTest, ExitDuringASyncWhoseServerNeverAnswersEndsTheProgram) {
    if (!QSqlDatabase::isDriverAvailable("QPSQL")) GTEST_SKIP() << "no PostgreSQL driver";
    SilentServer server;
    ASSERT_GT(server.port, 0);
    struct Run {
        QString mode;
        int delayMs;
        std::unique_ptr<QProcess> process;
    };
    std::vector<Run> runs;
    for (int i = 0; i < 10; ++i) {
        runs.push_back({"after-sync", i * 100, std::make_unique<QProcess>()});
        runs.push_back({"after-progress", i * 50, std::make_unique<QProcess>()});
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::string data = file("run" + std::to_string(i));
        std::filesystem::create_directory(data);
        SharedSettings shared;
        shared.databaseUri = "postgresql://ann@127.0.0.1:" + std::to_string(server.port) + "/qarn3";
        std::string error;
        ASSERT_TRUE(writeSharedSettings(files, sharedSettingsPath(data), shared, error)) << error;
        runs[i].process->start(QARN3_SYNC_EXIT_CHILD, {QString::fromStdString(data), runs[i].mode,
                                                       QString::number(runs[i].delayMs)});
    }
    int ended = 0;
    for (Run& r : runs) {
        QProcess& p = *r.process;
        SCOPED_TRACE(r.mode.toStdString() + " " + std::to_string(r.delayMs) + " ms");
        // The child's own watchdog ends it (a crash) soon after the bound.
        const bool finished = p.waitForFinished(60000);
        if (!finished) p.kill();
        const std::string out = p.readAllStandardOutput().toStdString();
        const std::string err = p.readAllStandardError().toStdString();
        EXPECT_TRUE(finished);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "still running past the bound\n" << err;
        EXPECT_EQ(p.exitCode(), 0) << err;
        if (r.mode == "after-progress") {
            EXPECT_NE(out.find("progress shown"), std::string::npos) << out;
        }
        ended += finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    EXPECT_EQ(ended, static_cast<int>(runs.size()));
}

} // namespace
