// The records window: the filter and the lazily read list, a shot's waveform in the viewer,
// the CSV export of a selection and of the list as qarn3-records writes it, and the report.
#include "engine/analysis.h"
#include "records/tripunitcsv.h"
#include "recordstool/tool.h"
#include "recordswindows/historyview.h"
#include "recordswindows/recordsbrowser.h"
#include "recordswindows/shotlistmodel.h"
#include "recordswindows/timecurrentview.h"
#include "recordswindows/waveformopener.h"
#include "store/writer.h"
#include "waveform/waveformwindow.h"

#include "records_windows_fixture.h"
#include "waveform/waveform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <tuple>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class BrowserTest : public RecordsWindowTest {
public:
    // Shots of two sites, a session a day from 2026-01-01 (UTC noon) or firstDay days later,
    // four shots a session with the readings of a pass, a slow, a fast and a doubtful one.
    void generate(int sessions, const QByteArray& waveform = {}, int firstDay = 0) {
        OpenOptions quick;
        quick.fullSync = false;
        RecordsDatabase db(DatabaseLocation::file(path), quick);
        ASSERT_TRUE(db.open().ok);
        RecordsStore store(db);
        const SiteRecord sites[] = {{newRecordId(), "North Plant", ""},
                                    {newRecordId(), "South Yard", ""}};
        for (int s = 0; s < sessions; ++s) {
            ShotContext c = context;
            c.site = sites[s % 2];
            c.breaker.id = s % 2 ? breakerB : breakerA;
            c.breaker.siteId = c.site.id;
            c.breaker.designation = s % 2 ? "Q2" : "Q1";
            c.session.id = newRecordId();
            c.session.breakerId = c.breaker.id;
            const std::int64_t day = 1767268800000LL + (firstDay + s) * 86400000LL;
            c.session.startedAt = isoUtcFromMsecs(day);
            c.point.id = newRecordId();
            c.point.sessionId = c.session.id;
            std::vector<NewShot> shots;
            const double seconds[] = {0.3, 0.7, 0.05, 0.3};
            for (int i = 0; i < 4; ++i) {
                NewShot n = shot(seconds[i], waveform);
                n.reading.takenAt = isoUtcFromMsecs(day + i * 1000);
                n.reading.suspect = i == 3;
                n.reading.startSeconds = 0.5;
                shots.push_back(n);
            }
            std::vector<ShotRecord> stored;
            ASSERT_FALSE(store.storeShots(c, shots, stored));
            sessionIds.push_back(c.session.id);
        }
    }

    std::string command(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        RecordsToolEnvironment env{out, err, folder};
        EXPECT_EQ(runRecordsTool(args, env), 0) << err.str();
        return out.str();
    }

    // Runs an action whose file dialog the script answers with file; the job's error.
    std::string run(RecordsBrowser& b, void (RecordsBrowser::*action)(), const std::string& file) {
        dialogs.answer(file);
        QString error = "<not ended>";
        auto c = QObject::connect(&b, &RecordsBrowser::jobEnded,
                                  [&](const QString&, const QString& e) { error = e; });
        (b.*action)();
        waitFor([&] { return error != "<not ended>"; });
        QObject::disconnect(c);
        return error.toStdString();
    }

    std::string breakerA = newRecordId(), breakerB = newRecordId();
    std::vector<std::string> sessionIds;
};

TEST_F(BrowserTest, FiltersAndReadsTheListAPageAtATime) {
    generate(130); // 520 shots
    RecordsBrowser b(host(), nullptr);
    b.show();
    ShotListModel& m = b.shots();
    EXPECT_EQ(m.total(), 520);
    EXPECT_EQ(m.rowCount(), ShotListModel::kPageSize);
    // Newest first, each row in its verdict's colour.
    EXPECT_GT(m.shotAt(0).reading.takenAt, m.shotAt(1).reading.takenAt);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(m.data(m.index(r, 0), Qt::BackgroundRole).value<QBrush>().color(),
                  verdictRowColour(m.shotAt(r).judgement.verdict));

    // Shots stored meanwhile shift the pages: the next pages list none twice.
    generate(1, {}, 1000);
    QScrollBar* bar = b.ShotTable->verticalScrollBar();
    ASSERT_TRUE(waitFor([&] { return bar->maximum() > 0; })); // laid out
    bar->setValue(bar->maximum());
    ASSERT_TRUE(waitFor([&] { return m.rowCount() > ShotListModel::kPageSize; }));
    while (m.canFetchMore({}))
        m.fetchMore({});
    std::set<std::string> ids;
    for (int r = 0; r < m.rowCount(); ++r)
        ids.insert(m.shotAt(r).id);
    EXPECT_EQ(static_cast<int>(ids.size()), m.rowCount());
    EXPECT_EQ(m.rowCount(), 520);

    // The filter bar, each against the command's own count.
    b.refresh();
    const auto count = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--db", path, "export"});
        const std::string csv = command(args);
        return static_cast<std::int64_t>(std::count(csv.begin(), csv.end(), '\n')) - 1;
    };
    b.cbVerdict->setCurrentText("FAIL (fast or slow)");
    b.applyFilter();
    EXPECT_EQ(m.total(), count({"--verdict", "FAIL"}));
    EXPECT_EQ(m.total(), 262);
    b.cbSite->setCurrentText("South Yard");
    b.applyFilter();
    EXPECT_EQ(m.total(), count({"--verdict", "FAIL", "--site", "South Yard"}));
    b.cbVerdict->setCurrentIndex(0);
    b.cbSite->setCurrentIndex(0);
    b.deFrom->setDate(QDate(2026, 2, 1));
    b.deTo->setDate(QDate(2026, 2, 10));
    b.ckFrom->setChecked(true);
    b.ckTo->setChecked(true);
    EXPECT_EQ(m.total(), count({"--since", "2026-02-01", "--until", "2026-02-10"}));
    EXPECT_EQ(m.total(), 40);
    b.ckFrom->setChecked(false);
    b.ckTo->setChecked(false);

    // A session in the tree: its four shots and its plot.
    QTreeWidgetItem* site = b.Tree->topLevelItem(0)->child(0);
    site->setExpanded(true);
    QTreeWidgetItem* breaker = site->child(0);
    breaker->setExpanded(true);
    ASSERT_GT(breaker->childCount(), 0);
    b.Tree->setCurrentItem(breaker->child(0));
    EXPECT_EQ(m.total(), 4);
    EXPECT_EQ(b.sessionId(), m.rowAt(0).session.id);
    ASSERT_TRUE(b.Plot->hasPlot());
    EXPECT_EQ(b.Plot->plot()->shots.size(), 4u);
    EXPECT_TRUE(b.grab().width() > 0);
}

// Damage the window can only list as such; once the writer set the file aside and stored a
// shot in a new one, Refresh reads the new one.
TEST_F(BrowserTest, RefreshReadsTheDatabaseTheWriterMadeAfterDamage) {
    generate(2);
    const int pageSize = rawValue("PRAGMA page_size").toInt();
    const int shotRoot = rawValue("SELECT rootpage FROM sqlite_master WHERE name = 'shot'").toInt();
    ASSERT_GT(shotRoot, 1);
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(shotRoot - 1) * pageSize);
        const std::string garbage(static_cast<std::size_t>(pageSize), '\xff');
        f.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    RecordsBrowser b(host(), nullptr);
    b.show();
    EXPECT_NE(b.lbStatus->text().toStdString().find("The records database " + path + " is damaged"),
              std::string::npos)
        << b.lbStatus->text().toStdString();
    EXPECT_EQ(b.shots().rowCount(), 0);

    ShotWriter writer(DatabaseLocation::file(path));
    StoreOutcome outcome;
    outcome.ticket = 0;
    QObject::connect(&writer, &ShotWriter::stored, [&](const StoreOutcome& o) { outcome = o; });
    const std::uint64_t ticket = writer.submit({context, shot()});
    ASSERT_TRUE(waitFor([&] { return outcome.ticket == ticket; }));
    ASSERT_FALSE(outcome.error) << outcome.error.message;
    b.refresh();
    EXPECT_EQ(b.shots().total(), 1);
    EXPECT_EQ(b.lbCount->text(), "1 shots");
    EXPECT_TRUE(b.lbStatus->text().isEmpty()) << b.lbStatus->text().toStdString();
}

// Refresh opens the database anew; a read-only one is still told in one box.
TEST_F(BrowserTest, ReadOnlyDatabaseIsToldOnceWhateverTheRefreshes) {
    generate(1);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    RecordsBrowser b(host(), nullptr);
    b.show();
    b.refresh();
    b.refresh();
    EXPECT_EQ(b.shots().total(), 4);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_NE(dialogs.shown()[0].text.find("is read-only"), std::string::npos);
}

// A file found damaged when the export opens it is left as it is, and the export fails
// naming it rather than write the empty list of a new database.
TEST_F(BrowserTest, ExportFromADamagedFileFailsAndLeavesIt) {
    generate(1);
    RecordsBrowser b(host(), nullptr);
    b.show();
    ASSERT_EQ(b.shots().total(), 4);
    put(folder + "/garbage", std::string(5000, 'z'));
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    std::filesystem::rename(folder + "/garbage", path);
    const std::string error = run(b, &RecordsBrowser::exportList, folder + "/list.csv");
    EXPECT_NE(error.find("The records database " + path + " is damaged"), std::string::npos)
        << error;
    EXPECT_FALSE(files.exists(folder + "/list.csv"));
    EXPECT_EQ(files.readAll(path), std::string(5000, 'z'));
}

TEST_F(BrowserTest, OpensAShotsWaveformInAViewerOfItsOwn) {
    ASSERT_EQ(makeDemoFiles(folder + "/demo"), "");
    const auto bytes = files.readAll(folder + "/demo/QARN3Pulse.owf");
    ASSERT_TRUE(bytes);
    generate(1, QByteArray::fromStdString(*bytes));
    qputenv("TMPDIR", QByteArray::fromStdString(folder));
    ViewerWaveformOpener opener(services, folder, '.', [] { return 60; });
    RecordsBrowser b(host(), &opener);
    b.show();
    b.ShotTable->setCurrentIndex(b.shots().index(0, 0));
    b.openWaveform();
    qunsetenv("TMPDIR");
    ASSERT_NE(opener.window(), nullptr);
    EXPECT_TRUE(opener.window()->isVisible());
    EXPECT_TRUE(dialogs.shown().empty());
    // The file's samples in the opener's store, the view on the pulse (from 0.5 s).
    const TWaveformData& w = opener.store();
    for (int i = 0; i < 1000; ++i) {
        std::int16_t sample;
        std::memcpy(&sample, bytes->data() + kWaveHeaderSize + 2 * (1200 + i), 2);
        ASSERT_EQ(w.Samples[static_cast<std::size_t>(1200 + i)], sample) << i;
    }
    EXPECT_LT(w.View.ViewStart, 0.5f);
    EXPECT_GT(w.View.ViewEnd, 0.5f + 0.3f);
    EXPECT_LT(w.View.ViewEnd - w.View.ViewStart, 1.0f);
    EXPECT_EQ(w.PulseFirst, 1200);
    // Nothing of the bytes is left in the temporary folder.
    EXPECT_TRUE(QDir(QString::fromStdString(folder))
                    .entryList({"qarn3-waveform-*"}, QDir::AllEntries)
                    .isEmpty());
}

TEST_F(BrowserTest, ExportsTheSelectionAndTheListAsTheCommandDoes) {
    generate(60); // 240 shots, 120 at each site
    RecordsBrowser b(host(), nullptr);
    b.show();
    b.cbSite->setCurrentText("North Plant");
    b.applyFilter();
    while (b.shots().canFetchMore({}))
        b.shots().fetchMore({});
    ASSERT_EQ(b.shots().rowCount(), 120);
    b.ShotTable->selectAll();
    const std::string expected = command({"--db", path, "export", "--site", "North Plant"});
    ASSERT_EQ(run(b, &RecordsBrowser::exportSelection, folder + "/selection.csv"), "");
    EXPECT_EQ(files.readAll(folder + "/selection.csv"), expected);
    ASSERT_EQ(run(b, &RecordsBrowser::exportList, folder + "/list.csv"), "");
    EXPECT_EQ(files.readAll(folder + "/list.csv"), expected);
    EXPECT_EQ(b.job().progress(), 120);

    // Three rows picked apart come out oldest first, as the command lists them.
    b.ShotTable->clearSelection();
    for (int r : {7, 2, 30})
        b.ShotTable->selectionModel()->select(b.shots().index(r, 0), QItemSelectionModel::Select |
                                                                         QItemSelectionModel::Rows);
    ASSERT_EQ(run(b, &RecordsBrowser::exportSelection, folder + "/three.csv"), "");
    const std::string three = *files.readAll(folder + "/three.csv");
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = three.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(three.substr(at, end - at));
    ASSERT_EQ(lines.size(), 4u);
    const int order[] = {30, 7, 2};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lines[static_cast<std::size_t>(i + 1)].substr(0, 36),
                  b.shots().shotAt(order[i]).id);
}

TEST_F(BrowserTest, WritesTheReportOfTheSessionChosen) {
    ASSERT_EQ(makeDemoFiles(folder + "/demo"), "");
    generate(2, QByteArray::fromStdString(*files.readAll(folder + "/demo/QARN3Pulse.owf")));
    RecordsBrowser b(host(), nullptr);
    b.show();
    b.ShotTable->setCurrentIndex(b.shots().index(0, 0));
    const std::string session = b.sessionId();
    EXPECT_EQ(session, sessionIds.back());
    const std::string pdf = folder + "/report.pdf";
    ASSERT_EQ(run(b, &RecordsBrowser::writeReport, pdf), "");
    const auto written = files.readAll(pdf);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->substr(0, 5), "%PDF-");
    if (!QARN3_PDFTOTEXT[0]) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    QProcess p;
    p.start(QARN3_PDFTOTEXT, {"-layout", QString::fromStdString(pdf), "-"});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    // Written on the job's thread, every reading is text in the PDF.
    for (const char* s : {"South Yard", "1200.0 A", "0.3000 secs", "0.7000 secs", "FAIL SLOW",
                          "FAIL FAST", "CHECK", "PASS", "Page 1 of"})
        EXPECT_TRUE(text.contains(s)) << s;
}

// A site crafted to print as another ("Plant Q-1" by a right-to-left override) shows its
// control written out in the tree, the list, the site filter and the plot's title; the filter
// chosen by its shown name still finds the site by its stored one.
TEST_F(BrowserTest, ACraftedSiteShowsItsControlsAndIsFoundByItsStoredName) {
    storeLookalikeSites();
    RecordsBrowser b(host(), nullptr);
    b.show();
    b.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&b));
    const QString shownSite = "<U+202E>1-Q tnalP", shownBreaker = "<U+202E>Q7";
    const QChar override(0x202E);

    // The tree, walked with the keys from a click on "All records".
    QTreeWidgetItem* all = b.Tree->topLevelItem(0);
    QTest::mouseClick(b.Tree->viewport(), Qt::LeftButton, {}, b.Tree->visualItemRect(all).center());
    QStringList sites;
    for (int i = 0; i < all->childCount(); ++i)
        sites << all->child(i)->text(0);
    EXPECT_TRUE(sites.contains("Plant Q-1"));
    EXPECT_TRUE(sites.contains(shownSite)) << sites.join(" | ").toStdString();
    for (int i = 0; i < 3 && b.Tree->currentItem()->text(0) != shownSite; ++i)
        QTest::keyClick(b.Tree, Qt::Key_Down);
    ASSERT_EQ(b.Tree->currentItem()->text(0), shownSite);
    QTest::keyClick(b.Tree, Qt::Key_Right); // opens the site
    QTest::keyClick(b.Tree, Qt::Key_Down);
    EXPECT_EQ(b.Tree->currentItem()->text(0), shownBreaker);
    QTest::keyClick(b.Tree, Qt::Key_Right);
    QTest::keyClick(b.Tree, Qt::Key_Down); // its session
    ShotListModel& m = b.shots();
    ASSERT_EQ(m.total(), 1);
    QAbstractItemModel* list = b.ShotTable->model();
    EXPECT_EQ(list->data(list->index(0, ShotListModel::Site)).toString(), shownSite);
    EXPECT_EQ(list->data(list->index(0, ShotListModel::Breaker)).toString(), shownBreaker);
    EXPECT_TRUE(b.lbPlotTitle->text().startsWith(shownSite + " / " + shownBreaker))
        << b.lbPlotTitle->text().toStdString();

    // The site filter, its list opened by the mouse, the site chosen with the keys.
    QTest::mouseClick(b.Tree->viewport(), Qt::LeftButton, {}, b.Tree->visualItemRect(all).center());
    EXPECT_EQ(m.total(), 2);
    const int crafted = b.cbSite->findText(shownSite);
    ASSERT_GT(crafted, 0);
    QTest::mouseClick(b.cbSite, Qt::LeftButton);
    QAbstractItemView* popup = b.cbSite->view();
    ASSERT_TRUE(waitFor([&] { return popup->isVisible(); }));
    for (int i = 0; i < crafted; ++i)
        QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return m.total() == 1; })) << m.total();
    EXPECT_EQ(m.rowAt(0).site.name, kCraftedSite);
    for (int c = 0; c < ShotListModel::ColumnCount; ++c)
        EXPECT_FALSE(list->data(list->index(0, c)).toString().contains(override)) << c;
}

// The list's Basis column, after the band, says where each band came from with the list's
// separator, and the flags say when a current lay near a pickup.
TEST_F(BrowserTest, BasisColumnAndNearPickupFlag) {
    std::string settingsSession;
    command(
        {"--db", path, "trip-units", "import", QARN3_SOURCE_DIR "/records/tripunits/sample.csv"});
    {
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        RecordsStore store(db);
        std::vector<ShotRecord> stored;
        NewShot typed = shot(0.3);
        typed.reading.takenAt = "2026-12-01T10:00:00.000Z";
        ASSERT_FALSE(store.storeShots(context, {typed}, stored)); // a typed band
        ShotContext c = context;
        c.breaker.id = newRecordId();
        c.breaker.designation = "Q2";
        c.breaker.tripUnitId = tripUnitIdOf("Generic", "Sample-ETU");
        c.session.id = newRecordId();
        c.session.breakerId = c.breaker.id;
        c.point.id = newRecordId();
        c.point.sessionId = c.session.id;
        c.point.band.reset();
        // 3 x In is 3.75 x Ir, inside short time's pickup tolerance (2.8 x In +/- 10 %).
        c.session.tripSettings = "LTPU=0.8,LTD=4,STPU=3.5,STD=0.2";
        NewShot later = shot(9);
        later.reading.takenAt = "2026-12-01T10:00:01.000Z";
        ASSERT_FALSE(store.storeShots(c, {later}, stored));
        // 1500 A, above short time's pickup tolerance: the long-time point says so.
        NewShot faster = shot(0.2);
        faster.reading.takenAt = "2026-12-01T09:59:59.000Z";
        faster.reading.currentAmps = 1500;
        ASSERT_FALSE(store.storeShots(c, {faster}, stored));
        settingsSession = c.session.id;
    }
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    ShotListModel m(',');
    ASSERT_FALSE(m.setFilter(db, {}));
    ASSERT_EQ(m.rowCount(), 3);
    EXPECT_EQ(m.headerData(ShotListModel::Band + 1, Qt::Horizontal, Qt::DisplayRole).toString(),
              "Basis");
    const auto cell = [&](int row, int column) {
        return m.data(m.index(row, column), Qt::DisplayRole).toString().toStdString();
    };
    // Newest first.
    EXPECT_EQ(cell(0, ShotListModel::Basis),
              "settings LTD=4 at 3,75 \u00d7 Ir, Generic Sample-ETU");
    EXPECT_EQ(m.data(m.index(0, ShotListModel::Basis), Qt::ToolTipRole).toString().toStdString(),
              cell(0, ShotListModel::Basis));
    EXPECT_EQ(cell(0, ShotListModel::OffTarget), "current near pickup");
    EXPECT_TRUE(m.data(m.index(0, ShotListModel::OffTarget), Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(cell(1, ShotListModel::Basis), "typed");
    EXPECT_EQ(cell(1, ShotListModel::OffTarget), "");
    EXPECT_EQ(cell(2, ShotListModel::Band), "0,150 – 0,250 s, short-time acts at this current");
    EXPECT_EQ(cell(2, ShotListModel::Basis), "settings STD=0,2 at 4,69 × Ir, Generic Sample-ETU");

    // The session clicked in the tree plots its settings' curve and their pickups.
    RecordsBrowser b(host(), nullptr);
    b.show();
    QTreeWidgetItem* site = b.Tree->topLevelItem(0)->child(0);
    site->setExpanded(true);
    for (int k = 0; k < site->childCount(); ++k) {
        QTreeWidgetItem* breaker = site->child(k);
        if (!breaker->text(0).startsWith("Q2")) continue;
        breaker->setExpanded(true);
        ASSERT_EQ(breaker->childCount(), 1);
        QTest::mouseClick(b.Tree->viewport(), Qt::LeftButton, {},
                          b.Tree->visualItemRect(breaker->child(0)).center());
    }
    ASSERT_EQ(b.sessionId(), settingsSession);
    ASSERT_TRUE(b.Plot->hasPlot());
    ASSERT_TRUE(b.Plot->plot()->settingsCurve);
    EXPECT_FALSE(b.Plot->plot()->settingsCurve->runs.empty());
    std::vector<std::string> pickups;
    for (const TimeCurrentPickup& p : b.Plot->plot()->pickups)
        pickups.push_back(p.label);
    EXPECT_EQ(pickups, (std::vector<std::string>{"Ir", "Isd"}));
}

// A breaker clicked in the tree shows its history: a line a pole across its sessions, the
// result that moved toward the band's edge marked and the one outside labelled. The tree
// marks the breaker due within a month and the overdue one, not the one tested today.
TEST_F(BrowserTest, BreakersHistoryAndDueDatesInTheTree) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Q1 every year, last 36 months less ten days ago; Q2 40 months ago; Q3 today.
    const QDateTime q1Last = now.addMonths(-36).addDays(10), q2Last = now.addMonths(-40);
    {
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        RecordsStore store(db);
        const SiteRecord site{newRecordId(), "North Plant", ""};
        const auto session = [&](const std::string& breakerId, const std::string& name,
                                 const QDateTime& start,
                                 const std::vector<std::tuple<Pole, double, PointKind>>& shots) {
            ShotContext c = context;
            c.site = site;
            c.breaker.id = breakerId;
            c.breaker.siteId = site.id;
            c.breaker.designation = name;
            c.session.id = newRecordId();
            c.session.breakerId = breakerId;
            c.session.startedAt = isoUtcFromMsecs(start.toMSecsSinceEpoch());
            int n = 0;
            for (const auto& [pole, seconds, kind] : shots) {
                c.point.id = newRecordId();
                c.point.sessionId = c.session.id;
                c.point.pole = pole;
                c.point.kind = kind;
                NewShot one = shot(seconds);
                one.reading.takenAt = isoUtcFromMsecs(start.toMSecsSinceEpoch() + 1000 * ++n);
                std::vector<ShotRecord> stored;
                ASSERT_FALSE(store.storeShots(c, {one}, stored));
            }
        };
        // The band is 0.1 to 0.5 s: pole A at 50 %, 87.5 % (toward the edge) and 125 %.
        constexpr auto LT = PointKind::LongTime, ST = PointKind::ShortTime;
        session(breakerA, "Q1", q1Last.addMonths(-24), {{Pole::A, 0.3, LT}, {Pole::B, 0.2, LT}});
        session(breakerA, "Q1", q1Last.addMonths(-12), {{Pole::A, 0.45, LT}, {Pole::B, 0.2, LT}});
        session(breakerA, "Q1", q1Last,
                {{Pole::A, 0.6, LT}, {Pole::B, 0.25, LT}, {Pole::A, 0.3, ST}});
        session(breakerB, "Q2", q2Last, {{Pole::A, 0.3, LT}});
        session(newRecordId(), "Q3", now, {{Pole::A, 0.3, LT}});
    }
    RecordsBrowser b(host(), nullptr);
    b.resize(1100, 800);
    b.show();
    QTreeWidgetItem* site = b.Tree->topLevelItem(0)->child(0);
    site->setExpanded(true);
    ASSERT_EQ(site->childCount(), 3);
    std::map<std::string, QTreeWidgetItem*> breakers;
    for (int k = 0; k < site->childCount(); ++k)
        breakers[site->child(k)->text(0).left(2).toStdString()] = site->child(k);
    const auto localDate = [](const QDateTime& t) {
        return t.toLocalTime().date().addMonths(36).toString(Qt::ISODate);
    };
    EXPECT_EQ(breakers.at("Q1")->text(0), "Q1 \u2014 due " + localDate(q1Last));
    EXPECT_EQ(breakers.at("Q2")->text(0), "Q2 \u2014 overdue since " + localDate(q2Last));
    EXPECT_EQ(breakers.at("Q3")->text(0), "Q3");
    EXPECT_NE(breakers.at("Q1")->foreground(0).color(), breakers.at("Q3")->foreground(0).color());
    EXPECT_NE(breakers.at("Q2")->foreground(0).color(), breakers.at("Q1")->foreground(0).color());

    EXPECT_FALSE(b.History->hasPlot());
    QTest::mouseClick(b.Tree->viewport(), Qt::LeftButton, {},
                      b.Tree->visualItemRect(breakers.at("Q1")).center());
    ASSERT_EQ(b.PlotTabs->currentIndex(), 1);
    ASSERT_TRUE(b.History->isVisible());
    ASSERT_TRUE(b.History->hasPlot());
    const HistoryPlot& plot = *b.History->plot();
    EXPECT_EQ(plot.sessions.size(), 3u);
    ASSERT_EQ(plot.panels.size(), 2u); // long-time, then short-time
    EXPECT_EQ(plot.panels[1].kind, PointKind::ShortTime);
    ASSERT_EQ(plot.panels[0].lines.size(), 2u);
    const HistoryLine& a = plot.panels[0].lines[0];
    EXPECT_EQ(a.pole, Pole::A);
    ASSERT_EQ(a.marks.size(), 3u);
    EXPECT_NEAR(a.marks[0].percent, 50, 1e-9);
    EXPECT_NEAR(a.marks[1].percent, 87.5, 1e-9);
    EXPECT_TRUE(a.marks[1].movedTowardEdge);
    EXPECT_FALSE(a.marks[2].movedTowardEdge); // outside already counts as at the edge
    EXPECT_EQ(a.marks[2].label, "125 %");
    EXPECT_EQ(plot.panels[0].lines[1].pole, Pole::B);
    EXPECT_TRUE(b.lbHistoryTitle->text().contains("3 sessions"));
    // The lines are drawn: pole A's red and pole B's blue are on the view.
    const QImage image = b.History->grab().toImage();
    const auto pixels = [&](QColor c) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixelColor(x, y) == c;
        return n;
    };
    EXPECT_GT(pixels(QColor(200, 40, 40)), 50);
    EXPECT_GT(pixels(QColor(30, 110, 200)), 50);
    // ... as lines and points, not filling a panel.
    EXPECT_LT(pixels(QColor(200, 40, 40)), image.width() * image.height() / 50);
    EXPECT_LT(pixels(QColor(30, 110, 200)), image.width() * image.height() / 50);

    // A session clicked shows its time-current plot again; another breaker its own history.
    breakers.at("Q1")->setExpanded(true);
    ASSERT_EQ(breakers.at("Q1")->childCount(), 3);
    QTest::mouseClick(b.Tree->viewport(), Qt::LeftButton, {},
                      b.Tree->visualItemRect(breakers.at("Q1")->child(0)).center());
    EXPECT_EQ(b.PlotTabs->currentIndex(), 0);
    EXPECT_FALSE(b.History->hasPlot());
    QTest::mouseClick(b.Tree->viewport(), Qt::LeftButton, {},
                      b.Tree->visualItemRect(breakers.at("Q2")).center());
    EXPECT_EQ(b.PlotTabs->currentIndex(), 1);
    ASSERT_TRUE(b.History->hasPlot());
    EXPECT_EQ(b.History->plot()->sessions.size(), 1u);
}

} // namespace
