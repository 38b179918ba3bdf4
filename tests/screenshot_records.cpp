// Screenshots of the records windows under Xvfb: the test record panel docked beside a
// stand-in of the main window after a demonstration test on three poles, and the records
// window showing that session's time-current plot. Run by scripts/screenshot-records.sh.
// With a trip-unit profiles' file and a third picture, also an as-found and an as-left
// session of another breaker judged by its trip unit's settings, the records window on the
// as-found one and its report as SETTINGS.pdf beside SETTINGS.png.
// With a fourth picture, the records window on a breaker tested over four years: its history.
//   qarn3-records-shot PANEL.png BROWSER.png DATAFOLDER CURVES.csv [TRIPUNITS.csv SETTINGS.png
//   [HISTORY.png]]
#include "diag/debuglog.h"
#include "diag/services.h"
#include "engine/analysis.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"
#include "recordstool/reading.h"
#include "recordstool/tool.h"
#include "recordswindows/recordsbrowser.h"
#include "recordswindows/testrecordpanel.h"
#include "recordswindows/waveformopener.h"
#include "store/curvelibrary.h"
#include "store/store.h"
#include "waveform/waveform.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>
#include <QTableView>
#include <QTreeWidget>

#include <iostream>
#include <sstream>

using namespace qarn3;

namespace {

void waitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget& w, const QString& file) {
    const bool ok = w.grab().save(file);
    std::cerr << (ok ? "saved " : "could not save ") << file.toStdString() << "\n";
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 5) {
        std::cerr << "usage: qarn3-records-shot PANEL.png BROWSER.png DATAFOLDER CURVES.csv\n";
        return 2;
    }
    const std::string data = argv[3];
    makeFolders(data);
    if (!makeDemoFiles(data).empty()) return 1;
    const std::string dbPath = data + "/QARN3.db";
    {
        RecordsDatabase db(DatabaseLocation::file(dbPath));
        if (!db.open().ok) return 1;
        CurveImportSummary summary;
        const CurveCsv curves = parseCurveCsv(FileStore().readAll(argv[4]).value_or(""));
        if (CurveLibrary(db).importCurves(curves.curves, summary)) return 1;
    }
    ScriptedDialogs dialogs(&std::cerr);
    const RecordsHost host{DatabaseLocation::file(dbPath),
                           data,
                           dialogs,
                           '.',
                           [] {
                               return AnalyzerIdentity{"SN-4711", "2026-03-01"};
                           },
                           {}};
    ShotWriter writer(DatabaseLocation::file(dbPath));

    // The main window's size, with the panel docked on its right.
    QMainWindow main;
    main.setWindowTitle("QARN-3");
    auto* stand = new QLabel("main window");
    stand->setAlignment(Qt::AlignCenter);
    stand->setMinimumSize(525, 470);
    stand->setStyleSheet("background: #d8d8d8; color: #909090;");
    main.setCentralWidget(stand);
    auto* dock = new QDockWidget("Test Record", &main);
    auto* panel = new TestRecordPanel(host, writer, dock);
    dock->setWidget(panel);
    main.addDockWidget(Qt::RightDockWidgetArea, dock);
    main.resize(525 + 450, 560);
    main.show();
    waitFor([&] { return panel->isVisible(); });

    panel->cbSite->setCurrentText("North Plant");
    panel->cbBreaker->setCurrentText("Q7");
    panel->ebMaker->setText("Generic");
    panel->ebModel->setText("Sample-100");
    panel->ebSerial->setText("G100-20451");
    panel->ebRating->setText("100");
    panel->ebSettings->setText("Ir 1.0, tsd 0.3 s");
    panel->ebLocation->setText("MCC-2, bay 4");
    panel->cbCurve->setCurrentText("Generic Sample-LSIG");
    panel->ebOperator->setText("J. Smith");
    panel->cbKind->setCurrentText("short-time");
    panel->ebMultiple->setText("3");
    panel->rbBandCurve->setChecked(true);
    if (!panel->startRecording()) return 1;

    AnalysisOptions o;
    o.waveFile = data + "/QARN3Pulse.owf";
    const AnalysisResult r = analyzeWaveform(o);
    const QByteArray bytes =
        QByteArray::fromStdString(FileStore().readAll(o.waveFile).value_or(""));
    int stored = 0;
    QObject::connect(panel, &TestRecordPanel::shotStored, [&] { ++stored; });
    int fed = 0;
    for (const char* pole : {"A", "B", "C"}) {
        panel->cbPole->setCurrentText(pole);
        panel->useTestPoint();
        for (const AnalysisPulse& p : r.pulses) {
            RecordedPulse end;
            end.reading = readingOf(p.result, r.currentDecimals, r.rangeIndex, {});
            end.reading.startSeconds = p.result.startSeconds;
            end.reading.pulse = ++fed;
            end.waveform = bytes;
            panel->pulseEnded(end);
        }
    }
    waitFor([&] { return stored == fed; });
    panel->Tabs->setCurrentIndex(2);
    const std::string session = panel->context()->session.id;
    QCoreApplication::processEvents();
    bool ok = save(main, argv[1]);

    FileStore files;
    DebugLog log;
    Services services{files, dialogs, log};
    ViewerWaveformOpener opener(services, data, '.', [] { return 60; });
    RecordsBrowser browser(host, &opener);
    browser.show();
    waitFor([&] { return browser.Tree->topLevelItemCount() > 0; });
    QTreeWidgetItem* site = browser.Tree->topLevelItem(0)->child(0);
    site->setExpanded(true);
    site->child(0)->setExpanded(true);
    browser.Tree->setCurrentItem(site->child(0)->child(0));
    browser.ShotTable->selectRow(2);
    QCoreApplication::processEvents();
    ok = save(browser, argv[2]) && ok;

    if (argc >= 7) {
        const auto tool = [&](std::vector<std::string> args) {
            std::ostringstream out, err;
            RecordsToolEnvironment env{out, err, data};
            args.insert(args.begin(), {"--db", dbPath});
            const bool done = runRecordsTool(args, env) == 0;
            if (!done) std::cerr << err.str();
            return done;
        };
        const std::string pulse = data + "/QARN3Pulse.owf";
        // clang-format off
        const auto importSession = [&](const char* condition, const char* settings) {
            return tool({"import", "--site", "North Plant", "--breaker", "Q8", "--rating", "100",
                         "--pole", "A", "--kind", "short-time", "--multiple", "3",
                         "--operator", "J. Smith", "--trip-unit", "Generic Sample-ETU",
                         "--condition", condition, "--settings", settings, pulse});
        };
        // clang-format on
        const std::string pdf = QString(argv[6]).replace(".png", ".pdf").toStdString();
        ok = tool({"trip-units", "import", argv[5]}) &&
             importSession("as-found", "LTPU=0.8,LTD=4,STPU=3,STD=0.2,INST=8") &&
             importSession("as-left", "LTPU=0.9,LTD=4,STPU=4,STD=0.2,INST=10") &&
             tool({"report", "--session", "latest", "-o", pdf}) && ok;
        browser.refresh();
        waitFor([&] { return browser.Tree->topLevelItemCount() > 0; });
        QTreeWidgetItem* top = browser.Tree->topLevelItem(0)->child(0);
        top->setExpanded(true);
        for (int i = 0; i < top->childCount(); ++i)
            if (top->child(i)->text(0).startsWith("Q8")) {
                top->child(i)->setExpanded(true);
                // The as-found session, listed first.
                browser.Tree->setCurrentItem(top->child(i)->child(0));
            }
        browser.resize(1200, 700);
        QCoreApplication::processEvents();
        ok = save(browser, argv[6]) && ok;
    }
    if (argc >= 8) {
        // A breaker tested every year for four years and due within the month: its history.
        {
            RecordsDatabase db(DatabaseLocation::file(dbPath));
            if (!db.open().ok) return 1;
            RecordsStore store(db);
            const QDateTime last = QDateTime::currentDateTimeUtc().addMonths(-36).addDays(20);
            ShotContext c;
            c.site = {newRecordId(), "East Works", ""};
            c.breaker.id = newRecordId();
            c.breaker.siteId = c.site.id;
            c.breaker.designation = "Q9";
            c.breaker.ratedAmps = 400;
            c.breaker.location = "MCC-1";
            const double seconds[4][3][2] = {{{12, 0.20}, {11, 0.22}, {12.5, 0.21}},
                                             {{13, 0.21}, {11.5, 0.24}, {12, 0.22}},
                                             {{17.5, 0.23}, {12, 0.25}, {12.5, 0.25}},
                                             {{21, 0.26}, {12.5, 0.31}, {13, 0.24}}};
            for (int y = 0; y < 4; ++y) {
                const QDateTime start = last.addYears(y - 3);
                c.session.id = newRecordId();
                c.session.breakerId = c.breaker.id;
                c.session.startedAt = isoUtcFromMsecs(start.toMSecsSinceEpoch());
                c.session.operatorName = "J. Smith";
                for (int pole = 0; pole < 3; ++pole)
                    for (int k = 0; k < 2; ++k) {
                        c.point.id = newRecordId();
                        c.point.sessionId = c.session.id;
                        c.point.pole = static_cast<Pole>(pole);
                        c.point.kind = k == 0 ? PointKind::LongTime : PointKind::ShortTime;
                        c.point.multiple = k == 0 ? 3 : 6;
                        c.point.band = k == 0 ? Band{8, 20} : Band{0.15, 0.3};
                        NewShot shot;
                        shot.reading.takenAt =
                            isoUtcFromMsecs(start.toMSecsSinceEpoch() + (pole * 2 + k + 1) * 60000);
                        shot.reading.currentAmps = c.point.multiple * 400;
                        shot.reading.seconds = seconds[y][pole][k];
                        shot.reading.cycles = shot.reading.seconds * 60;
                        std::vector<ShotRecord> storedShots;
                        if (store.storeShots(c, {shot}, storedShots)) return 1;
                    }
            }
        }
        browser.refresh();
        waitFor([&] { return browser.Tree->topLevelItemCount() > 0; });
        QTreeWidgetItem* all = browser.Tree->topLevelItem(0);
        for (int n = 0; n < all->childCount(); ++n) {
            QTreeWidgetItem* place = all->child(n);
            place->setExpanded(true);
            for (int i = 0; i < place->childCount(); ++i)
                if (place->child(i)->text(0).startsWith("Q9"))
                    browser.Tree->setCurrentItem(place->child(i));
        }
        browser.resize(1200, 800);
        QCoreApplication::processEvents();
        ok = save(browser, argv[7]) && ok;
    }
    writer.finish(std::chrono::seconds(5));
    return ok ? 0 : 1;
}
