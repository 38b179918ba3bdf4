// Laptops' records synced with a shared database: the union without duplicates whatever the
// order, the newest change of a record edited on two laptops, and syncs cut off halfway by a
// killed connection or a stopped server, completed by the next.
#include "store/curvelibrary.h"
#include "store/export.h"
#include "store/planlibrary.h"
#include "store/tripunitlibrary.h"

#include "records/tripunitcsv.h"

#include "shared_database_fixture.h"

#include <QThread>

#include <atomic>
#include <functional>
#include <thread>

using namespace qarn3;
using namespace qarn3::test;

namespace {

std::int64_t rows(RecordsDatabase& db, const std::string& table) {
    QSqlQuery q = db.query();
    EXPECT_TRUE(q.exec(QString::fromStdString("SELECT count(*) FROM " + table)) && q.next())
        << table << ": " << q.lastError().text().toStdString();
    return q.value(0).toLongLong();
}

// Every shot as the export writes it, in order: equal texts mean equal records.
std::string exported(RecordsDatabase& db) {
    std::string text;
    EXPECT_FALSE(RecordsStore(db).forEachShot({}, ShotOrder::OldestFirst, [&](const ShotRow& r) {
        text += exportCsvRecord(r);
        return true;
    }));
    return text;
}

// A laptop's database and what it records.
struct Laptop {
    explicit Laptop(const std::string& path) : db(DatabaseLocation::file(path)) {
        EXPECT_TRUE(db.open().ok);
    }
    // A new session of the breaker with its test point and shots; every two shots share a
    // waveform of their own.
    ShotContext session(const ShotContext& of, int shots) {
        ShotContext c = of;
        c.session.id = newRecordId();
        c.session.startedAt = isoUtcNow();
        c.point.id = newRecordId();
        c.point.sessionId = c.session.id;
        c.session.breakerId = c.breaker.id;
        std::vector<NewShot> batch;
        for (int i = 0; i < shots; ++i) {
            NewShot s;
            s.reading.takenAt = isoUtcNow();
            s.reading.currentAmps = 1200 + i;
            s.reading.seconds = 0.1 + 0.01 * i;
            s.reading.cycles = s.reading.seconds * 60;
            s.reading.pulse = i + 1;
            s.waveform =
                QByteArray::fromStdString("WAVEFORM " + c.session.id + " " + std::to_string(i / 2));
            batch.push_back(s);
        }
        std::vector<ShotRecord> stored;
        EXPECT_FALSE(RecordsStore(db).storeShots(c, batch, stored));
        return c;
    }
    RecordsDatabase db;
};

ShotContext firstSession(Laptop& laptop, int shots) {
    ShotContext c;
    c.site = {newRecordId(), "Plant A", ""};
    c.breaker.id = newRecordId();
    c.breaker.siteId = c.site.id;
    c.breaker.designation = "Q1";
    c.breaker.ratedAmps = 400;
    c.point.multiple = 3;
    c.point.band = Band{0.1, 0.5};
    return laptop.session(c, shots);
}

struct MatrixCase {
    const char* name;
    bool postgres;
    bool recordsA, recordsB; // a session of its own after both had the breaker
    int rounds;              // of A then B syncing
    // A names a curve family for the breaker before its first sync; once B has it, both
    // import its long-time curve again with other points, B later (so B's wins).
    bool curves;
};

void PrintTo(const MatrixCase& c, std::ostream* os) {
    *os << c.name;
}

class SyncMatrix : public SharedDatabaseTest, public ::testing::WithParamInterface<MatrixCase> {
public:
    bool needsServer() const override { return GetParam().postgres; }
    DatabaseLocation sharedLocation() const {
        return GetParam().postgres ? location(adminUri())
                                   : DatabaseLocation::file(folder + "/s.db");
    }
};

SyncReport synced(RecordsDatabase& local, RecordsDatabase& shared,
                  std::vector<std::string> sites = {}) {
    SyncOptions o;
    o.siteNames = std::move(sites);
    o.batchRows = 3;
    SyncReport r = syncDatabases(local, shared, o);
    EXPECT_TRUE(r.ok) << r.error.message;
    return r;
}

std::int64_t moved(const SyncReport& r) {
    std::int64_t n = r.waveformsSent + r.waveformsReceived;
    for (const SyncTableCounts& t : r.tables)
        n += t.sent + t.received + t.updatedHere + t.updatedThere;
    return n;
}

// A maker's curve of a kind with its points (multiple, min, max), imported into the laptop.
void importCurve(RecordsDatabase& db, PointKind kind, std::vector<CurvePoint> points) {
    CurveImportSummary summary;
    EXPECT_FALSE(
        CurveLibrary(db).importCurves({{{}, "Maker", "M1", kind, std::move(points), {}}}, summary));
}

// Every curve with its points and last import: equal texts mean equal libraries.
std::string curvesText(RecordsDatabase& db) {
    RecordsError e;
    std::string text;
    for (const TripCurve& c : CurveLibrary(db).curves(e)) {
        text += c.id + " " + kindText(c.kind) + " " + c.updatedAt + ":";
        for (const CurvePoint& p : c.points)
            text += " " + std::to_string(p.multiple) + "/" + std::to_string(p.minSeconds) + "/" +
                    std::to_string(p.maxSeconds);
        text += "\n";
    }
    EXPECT_FALSE(e) << e.message;
    return text;
}

// Laptop A makes the breaker and syncs; B takes its site from the shared database; then each
// records a session offline (or not) and they sync in turns. The shared database, and each
// laptop once it synced after the other's last change, hold the union; nothing is doubled;
// another sync moves nothing.
TEST_P(SyncMatrix, EndsWithTheUnionAndNothingTwice) {
    const MatrixCase& c = GetParam();
    Laptop a(folder + "/a.db"), b(folder + "/b.db");
    RecordsDatabase shared(sharedLocation());
    ASSERT_TRUE(shared.open().ok);
    const ShotContext first = firstSession(a, 3);
    if (c.curves) {
        importCurve(a.db, PointKind::LongTime, {{2, 20, 60}, {4, 5, 15}, {8, 1, 4}});
        importCurve(a.db, PointKind::ShortTime, {{2, 0.1, 0.3}, {10, 0.05, 0.2}});
        RecordsError e;
        const auto family = CurveLibrary(a.db).family("Maker M1", e);
        EXPECT_FALSE(CurveLibrary(a.db).nameCurves(first.site, first.breaker, family));
    }
    synced(a.db, shared);
    const SyncReport joined = synced(b.db, shared, {"Plant A"});
    EXPECT_EQ(joined.tables.back().received, 3);
    EXPECT_EQ(joined.waveformsReceived, 2);
    EXPECT_EQ(curvesText(b.db), curvesText(a.db));

    if (c.recordsA) a.session(first, 4);
    if (c.recordsB) b.session(first, 5);
    if (c.curves) {
        importCurve(a.db, PointKind::LongTime, {{1.5, 30, 90}, {3, 8, 25}, {6, 2, 7}, {9, 1, 3}});
        QThread::msleep(5);
        importCurve(b.db, PointKind::LongTime, {{2, 22, 66}, {6, 2, 6}});
    }
    const std::string newest = curvesText(b.db);
    std::vector<SyncConflict> conflicts;
    for (int round = 0; round < c.rounds; ++round) {
        for (Laptop* laptop : {&a, &b}) {
            const SyncReport r = synced(laptop->db, shared);
            conflicts.insert(conflicts.end(), r.conflicts.begin(), r.conflicts.end());
        }
    }
    if (c.curves) {
        ASSERT_EQ(conflicts.size(), 1u) << "both imported the long-time curve again";
        EXPECT_EQ(conflicts[0].table, "curve");
        EXPECT_TRUE(conflicts[0].localKept) << "B's import is the newer";
        for (RecordsDatabase* db : {&a.db, &b.db, &shared}) {
            EXPECT_EQ(curvesText(*db), newest);
            EXPECT_EQ(rows(*db, "curve_point"), 4) << "none of A's points left";
            EXPECT_EQ(rows(*db, "breaker_curve"), 2);
        }
    }
    const std::int64_t sessions = 1 + c.recordsA + c.recordsB;
    const std::int64_t shots = 3 + 4 * c.recordsA + 5 * c.recordsB;
    const std::int64_t waves = 2 + 2 * c.recordsA + 3 * c.recordsB;
    for (RecordsDatabase* db : {&shared, &b.db}) {
        EXPECT_EQ(rows(*db, "site"), 1);
        EXPECT_EQ(rows(*db, "breaker"), 1);
        EXPECT_EQ(rows(*db, "session"), sessions);
        EXPECT_EQ(rows(*db, "shot"), shots);
        EXPECT_EQ(rows(*db, "waveform"), waves);
    }
    const bool aHasAll = c.rounds > 1 || !c.recordsB;
    EXPECT_EQ(rows(a.db, "shot"), aHasAll ? shots : shots - 5);
    EXPECT_EQ(exported(shared), exported(b.db));
    if (aHasAll) {
        EXPECT_EQ(exported(a.db), exported(b.db));
        EXPECT_EQ(moved(synced(a.db, shared)), 0);
    }
    EXPECT_EQ(moved(synced(b.db, shared)), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Laptops, SyncMatrix,
    ::testing::Values(MatrixCase{"OnlyA", true, true, false, 1, false},
                      MatrixCase{"OnlyB", true, false, true, 1, false},
                      MatrixCase{"Both", true, true, true, 1, false},
                      MatrixCase{"BothTwice", true, true, true, 2, false},
                      MatrixCase{"BothTwiceToAFile", false, true, true, 2, false},
                      MatrixCase{"CurvesBothTwice", true, true, true, 2, true}),
    [](const auto& c) { return std::string(c.param.name); });

class TripUnitSync : public SharedDatabaseTest {};

// Every profile with its delay rows: equal texts mean equal libraries.
std::string tripUnitsText(RecordsDatabase& db) {
    RecordsError e;
    std::string text;
    for (const StoredTripUnit& u : TripUnitLibrary(db).profiles(e)) {
        text += u.id + " " + u.name() + " " + std::to_string(u.profile.ltTolLo) + ":";
        for (const auto* rows : {&u.profile.stDelays, &u.profile.gfDelays})
            for (const DelayBand& d : *rows)
                text += " " + std::to_string(d.setting) + "/" + std::to_string(d.minSeconds) + "/" +
                        std::to_string(d.maxSeconds);
        text += "\n";
    }
    EXPECT_FALSE(e) << e.message;
    return text;
}

TripUnitProfile sampleProfile(double stMax) {
    TripUnitProfile p;
    p.maker = "Maker";
    p.model = "ETU-1";
    p.stDelays = {{0.1, 0.06, 0.14}, {0.2, 0.15, stMax}};
    p.gfDelays = {{0.2, 0.15, 0.25}};
    return p;
}

// A profile, the breaker that follows it, its settings and the shots judged by them reach the
// shared database and the other laptop as they are; a profile imported again replaces its
// delay rows everywhere, and the shots keep the bands they were given.
TEST_F(TripUnitSync, ProfilesSettingsAndBasesTravelAndAReimportReplacesTheRows) {
    Laptop a(folder + "/a.db"), b(folder + "/b.db");
    RecordsDatabase shared(location(adminUri()));
    ASSERT_TRUE(shared.open().ok);
    TripUnitImportSummary summary;
    ASSERT_FALSE(TripUnitLibrary(a.db).importProfiles({sampleProfile(0.25)}, summary));
    ShotContext c;
    c.site = {newRecordId(), "Plant A", ""};
    c.breaker.id = newRecordId();
    c.breaker.siteId = c.site.id;
    c.breaker.designation = "Q1";
    c.breaker.ratedAmps = 400;
    c.breaker.tripUnitId = tripUnitIdOf("Maker", "ETU-1");
    c.breaker.tripSettings = "LTPU=1,LTD=4,STPU=2,STD=0.2,STI2T=off";
    c.point.multiple = 3;
    c.session.tripSettings = c.breaker.tripSettings;
    a.session(c, 3); // 1200 A and up: short time (above 880 A) at STD 0.2
    synced(a.db, shared);
    synced(b.db, shared, {"Plant A"});
    EXPECT_EQ(tripUnitsText(b.db), tripUnitsText(a.db));
    EXPECT_EQ(exported(b.db), exported(a.db));
    EXPECT_NE(exported(b.db).find("settings STD=0.2, STI2T=off at 3.00"), std::string::npos)
        << exported(b.db);
    EXPECT_EQ(rows(shared, "trip_unit_delay"), 3);

    const std::string before = exported(a.db);
    QThread::msleep(5);
    ASSERT_FALSE(TripUnitLibrary(a.db).importProfiles({sampleProfile(0.3)}, summary));
    synced(a.db, shared);
    synced(b.db, shared);
    for (RecordsDatabase* db : {&b.db, &shared}) {
        EXPECT_EQ(tripUnitsText(*db), tripUnitsText(a.db));
        EXPECT_EQ(rows(*db, "trip_unit_delay"), 3);
    }
    EXPECT_EQ(exported(b.db), before);
    EXPECT_EQ(moved(synced(b.db, shared)), 0);
}

// A test plan imported on a laptop reaches the shared database and another laptop with its
// points; imported again shorter, its points are replaced everywhere.
TEST_F(TripUnitSync, TestPlansTravelWithTheirPoints) {
    Laptop a(folder + "/a.db"), b(folder + "/b.db");
    RecordsDatabase shared(location(adminUri()));
    ASSERT_TRUE(shared.open().ok);
    TestPlan plan = builtInPlan();
    plan.name = "Quick";
    TestPlanImportSummary summary;
    ASSERT_FALSE(TestPlanLibrary(a.db).importPlans({plan}, summary));
    firstSession(a, 1);
    synced(a.db, shared);
    synced(b.db, shared, {"Plant A"});
    EXPECT_EQ(rows(b.db, "test_plan_point"), 13);
    RecordsError e;
    const auto got = TestPlanLibrary(b.db).named("Quick", e);
    ASSERT_TRUE(got) << e.message;
    EXPECT_EQ(testPlanCsvText({*got}), testPlanCsvText({plan}));
    QThread::msleep(5);
    plan.points.resize(2);
    ASSERT_FALSE(TestPlanLibrary(a.db).importPlans({plan}, summary));
    synced(a.db, shared);
    synced(b.db, shared);
    EXPECT_EQ(rows(shared, "test_plan_point"), 2);
    EXPECT_EQ(rows(b.db, "test_plan_point"), 2);
}

class OffTheWindowThread : public SharedDatabaseTest {
public:
    bool needsServer() const override { return false; }
};

// The window's way: a worker thread opens both databases itself and syncs, telling its
// progress up to every row moved.
TEST_F(OffTheWindowThread, SyncRecordsRunsOnAWorkerThread) {
    {
        Laptop a(folder + "/a.db");
        firstSession(a, 5);
    }
    SyncReport r;
    std::vector<SyncProgress> seen;
    SyncHooks hooks;
    hooks.progress = [&](const SyncProgress& p) { seen.push_back(p); };
    std::thread worker([&] {
        r = syncRecords(DatabaseLocation::file(folder + "/a.db"),
                        DatabaseLocation::file(folder + "/s.db"), {}, hooks);
    });
    worker.join();
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_EQ(r.tables.back().sent, 5);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().stage, SyncStage::Comparing);
    EXPECT_EQ(seen.back().stage, SyncStage::Sending);
    EXPECT_EQ(seen.back().done, 9) << "site, breaker, session, test point and 5 shots";
    EXPECT_EQ(seen.back().total, 9);
}

// Receiving, the laptop's database is not held while the server is slow to give the
// waveforms: the program's shot writer can store a shot meanwhile.
TEST_F(SharedDatabaseTest, ReceivingHoldsTheLaptopsDatabaseOnlyToWrite) {
    {
        Laptop a(folder + "/a.db");
        firstSession(a, 4);
        RecordsDatabase shared(location(adminUri()));
        ASSERT_TRUE(shared.open().ok);
        synced(a.db, shared);
    }
    const std::string laptop = folder + "/b.db";
    { Laptop b(laptop); }
    // The waveforms are held on the server until the laptop's shot writer had its turn.
    admin("BEGIN");
    admin("LOCK TABLE waveform IN ACCESS EXCLUSIVE MODE");
    SyncReport r;
    std::thread worker([&] {
        SyncOptions o;
        o.siteNames = {"Plant A"};
        OpenOptions patient;
        patient.busyTimeoutMs = 30000;
        r = syncRecords(DatabaseLocation::file(laptop), location(adminUri()), o, {}, patient);
    });
    {
        RecordsDatabase watch(location(adminUri()));
        ASSERT_TRUE(watch.open().ok);
        QSqlQuery q = watch.query();
        bool waiting = false;
        for (int i = 0; i < 500 && !waiting; ++i, QThread::msleep(10))
            waiting = q.exec("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = "
                             "'Lock' AND application_name = 'qarn3'"
                             " AND datname = current_database()") &&
                      q.next() && q.value(0).toInt() > 0;
        EXPECT_TRUE(waiting) << "the sync never waited for the waveforms";
    }
    {
        QSqlDatabase writer = QSqlDatabase::addDatabase("QSQLITE", "shot-writer");
        writer.setDatabaseName(QString::fromStdString(laptop));
        writer.setConnectOptions("QSQLITE_BUSY_TIMEOUT=300");
        ASSERT_TRUE(writer.open());
        QSqlQuery q(writer);
        EXPECT_TRUE(q.exec("BEGIN IMMEDIATE")) << q.lastError().text().toStdString();
        q.exec("ROLLBACK");
        q.finish();
        writer.close();
    }
    QSqlDatabase::removeDatabase("shot-writer");
    admin("COMMIT");
    worker.join();
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_EQ(r.tables.back().received, 4);
    EXPECT_EQ(r.waveformsReceived, 2);
}

struct ConflictCase {
    const char* name;
    bool aEditsFirst; // A's edit is the older one
    bool aSyncsFirst;
};

void PrintTo(const ConflictCase& c, std::ostream* os) {
    *os << c.name;
}

class EditedOnTwoLaptops : public SharedDatabaseTest,
                           public ::testing::WithParamInterface<ConflictCase> {};

// The breaker edited on both laptops: whichever syncs first, the newest edit ends on all three
// and the second sync reports the conflict; an edit on one side only is no conflict.
TEST_P(EditedOnTwoLaptops, NewestChangeWinsAndTheConflictIsReported) {
    const ConflictCase& c = GetParam();
    Laptop a(folder + "/a.db"), b(folder + "/b.db");
    RecordsDatabase shared(location(adminUri()));
    ASSERT_TRUE(shared.open().ok);
    const ShotContext first = firstSession(a, 1);
    synced(a.db, shared);
    synced(b.db, shared, {"Plant A"});

    Laptop* older = c.aEditsFirst ? &a : &b;
    Laptop* newer = c.aEditsFirst ? &b : &a;
    BreakerRecord edit = first.breaker;
    edit.serial = "older";
    ASSERT_FALSE(RecordsStore(older->db).saveBreaker(edit));
    QThread::msleep(5);
    edit.serial = "newer";
    ASSERT_FALSE(RecordsStore(newer->db).saveBreaker(edit));

    Laptop* firstToSync = c.aSyncsFirst ? &a : &b;
    Laptop* secondToSync = c.aSyncsFirst ? &b : &a;
    const SyncReport one = synced(firstToSync->db, shared);
    EXPECT_TRUE(one.conflicts.empty()) << "the shared database was as agreed";
    EXPECT_EQ(one.tables[1].updatedThere, 1);
    const SyncReport two = synced(secondToSync->db, shared);
    ASSERT_EQ(two.conflicts.size(), 1u);
    EXPECT_EQ(two.conflicts[0].table, "breaker");
    EXPECT_EQ(two.conflicts[0].label, "Q1");
    EXPECT_EQ(two.conflicts[0].localKept, secondToSync == newer);
    EXPECT_TRUE(synced(firstToSync->db, shared).conflicts.empty());
    for (RecordsDatabase* db : {&a.db, &b.db, &shared}) {
        RecordsError e;
        const auto breakers = RecordsStore(*db).breakersOf(first.site.id, e);
        ASSERT_EQ(breakers.size(), 1u);
        EXPECT_EQ(breakers[0].serial, "newer");
    }
}

INSTANTIATE_TEST_SUITE_P(Order, EditedOnTwoLaptops,
                         ::testing::Values(ConflictCase{"NewerSyncsLast", true, true},
                                           ConflictCase{"NewerSyncsFirst", true, false}),
                         [](const auto& c) { return std::string(c.param.name); });

struct CutCase {
    const char* name;
    bool sending; // cut while the laptop sends, or while it receives
    bool cancel;  // the operator cancels, rather than the connection being killed
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.name;
}

class CutOff : public SharedDatabaseTest, public ::testing::WithParamInterface<CutCase> {};

// The connection is killed on the server after the first batch, or the operator cancels: the
// sync says so, both sides hold whole batches only, and the next sync completes the rest
// without doubling anything.
TEST_P(CutOff, NextSyncCompletes) {
    Laptop a(folder + "/a.db"), b(folder + "/b.db");
    const ShotContext first = firstSession(a, 12);
    const bool sending = GetParam().sending;
    if (!sending) {
        RecordsDatabase shared(location(adminUri()));
        ASSERT_TRUE(shared.open().ok);
        synced(a.db, shared);
    }
    Laptop& laptop = sending ? a : b;
    const std::vector<std::string> sites =
        sending ? std::vector<std::string>{} : std::vector<std::string>{"Plant A"};
    SyncOptions o;
    o.siteNames = sites;
    o.batchRows = 4;
    SyncHooks hooks;
    std::atomic<bool> cancel{false};
    hooks.cancel = &cancel;
    int batches = 0;
    hooks.progress = [&](const SyncProgress& p) {
        if (p.stage == SyncStage::Comparing || p.table != "shot" || ++batches != 1) return;
        if (GetParam().cancel) {
            cancel = true;
            return;
        }
        // Only this test's session: the other cases run at the same time on the same server
        // with the same application name. The call returns once the session is gone.
        EXPECT_TRUE(adminValue("SELECT pg_terminate_backend(pid, 60000) FROM pg_stat_activity"
                               " WHERE datname = current_database()"
                               " AND application_name = 'qarn3-cut'")
                        .toBool());
    };
    {
        RecordsDatabase shared(location(adminUri("application_name=qarn3-cut")));
        ASSERT_TRUE(shared.open().ok);
        const SyncReport cut = syncDatabases(laptop.db, shared, o, hooks);
        EXPECT_FALSE(cut.ok);
        EXPECT_EQ(cut.cancelled, GetParam().cancel);
        EXPECT_EQ(cut.error.kind,
                  GetParam().cancel ? RecordsErrorKind::Failed : RecordsErrorKind::Unreachable);
        EXPECT_NE(cut.error.message.find(GetParam().cancel ? "cancelled" : "was lost"),
                  std::string::npos)
            << cut.error.message;
    }
    EXPECT_FALSE(laptop.db.integrityCheck());
    const std::int64_t arrived =
        sending ? adminValue("SELECT count(*) FROM shot").toLongLong() : rows(b.db, "shot");
    EXPECT_EQ(arrived, 4) << "one batch of four, whole";

    RecordsDatabase shared(location(adminUri()));
    ASSERT_TRUE(shared.open().ok);
    const SyncReport rest = syncDatabases(laptop.db, shared, o);
    ASSERT_TRUE(rest.ok) << rest.error.message;
    EXPECT_EQ(sending ? rest.tables.back().sent : rest.tables.back().received, 8);
    EXPECT_EQ(rows(shared, "shot"), 12);
    EXPECT_EQ(rows(laptop.db, "shot"), 12);
    EXPECT_EQ(rows(shared, "waveform"), 6);
    EXPECT_EQ(exported(shared), exported(laptop.db));
    EXPECT_EQ(moved(synced(laptop.db, shared)), 0);
}

INSTANTIATE_TEST_SUITE_P(Direction, CutOff,
                         ::testing::Values(CutCase{"WhileSending", true, false},
                                           CutCase{"WhileReceiving", false, false},
                                           CutCase{"CancelledWhileReceiving", false, true}),
                         [](const auto& c) { return std::string(c.param.name); });

// A server of its own, stopped at once after the first batch the laptop sent, as a crash or
// a pulled cable would: the laptop's records are as they were, and once the server is back
// the next sync completes.
TEST_F(SharedDatabaseTest, ServerStoppedMidSyncCompletesOnTheNextRun) {
    const std::string dir =
        std::string(QARN3_PG_FIXTURE_DIR) + "/halt-" + std::to_string(::getpid());
    const std::string script = QARN3_PG_SERVER_SCRIPT;
    auto serverDo = [&](const std::string& what) {
        return std::system(
            ("bash '" + script + "' " + what + " '" + dir + "' >/dev/null 2>&1").c_str());
    };
    if (serverDo("start") != 0) GTEST_SKIP() << "no second server could be started";
    struct Stop {
        std::function<void()> f;
        ~Stop() { f(); }
    } stop{[&] { serverDo("stop"); }};
    const PgServer own = PgServer::fromFolder(dir);
    const DatabaseLocation where =
        location("postgresql://" + own.admin + "@/postgres?host=" + own.host + "&port=" + own.port);
    Laptop a(folder + "/a.db");
    firstSession(a, 9);
    SyncOptions o;
    o.batchRows = 3;
    SyncHooks hooks;
    bool halted = false;
    hooks.progress = [&](const SyncProgress& p) {
        if (p.stage == SyncStage::Sending && p.table == "shot" && !halted)
            halted = serverDo("halt") == 0;
    };
    {
        RecordsDatabase shared(where);
        ASSERT_TRUE(shared.open().ok);
        const SyncReport cut = syncDatabases(a.db, shared, o, hooks);
        ASSERT_TRUE(halted);
        EXPECT_FALSE(cut.ok);
        EXPECT_EQ(cut.error.kind, RecordsErrorKind::Unreachable) << cut.error.message;
    }
    EXPECT_FALSE(a.db.integrityCheck());
    EXPECT_EQ(rows(a.db, "shot"), 9);
    {
        RecordsDatabase shared(where);
        EXPECT_EQ(shared.open().error.kind, RecordsErrorKind::Unreachable);
    }
    ASSERT_EQ(serverDo("resume"), 0);
    RecordsDatabase shared(where);
    ASSERT_TRUE(shared.open().ok);
    const SyncReport rest = syncDatabases(a.db, shared, o);
    ASSERT_TRUE(rest.ok) << rest.error.message;
    EXPECT_EQ(rows(shared, "shot"), 9);
    EXPECT_EQ(exported(shared), exported(a.db));
    EXPECT_EQ(moved(synced(a.db, shared)), 0);
}

} // namespace
