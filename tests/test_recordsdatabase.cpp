// The records database: made and migrated from what a data folder may hold, a locked, a
// damaged, a newer and a read-only file, and shots stored and read back.
#include "store/database.h"
#include "store/store.h"
#include "store/writer.h"

#include "fake_owners.h"
#include "records_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QStringList>
#include <QThread>

#include <filesystem>
#include <functional>
#include <map>
#include <sys/stat.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

struct StartCase {
    const char* name;
    std::function<void(RecordsDatabaseTest&)> make;
    int shotsKept = 0;
};

// A database as the first schema left it, with one shot.
void makeVersionOne(RecordsDatabaseTest& f) {
    const SqlDialect sqlite(SqlEngine::Sqlite);
    for (const std::string& statement : schemaSteps().front().statements)
        f.rawValue(sqlite.typed(statement));
    for (const char* row :
         {"INSERT INTO site VALUES ('s', 'Plant', '', 't', 't')",
          "INSERT INTO breaker VALUES ('b', 's', '', 'Q1', '', '', '', 400, '', 't', 't')",
          "INSERT INTO session VALUES ('e', 'b', 't', '', 'as-found', '', NULL, '', 't', 't')",
          "INSERT INTO test_point VALUES ('p', 'e', 'A', 'long-time', 3, 0.1, 0.5, 0, NULL, 0.1,"
          " 't', 't')",
          "INSERT INTO shot (id, test_point_id, taken_at, current_a, current_decimals, multiple,"
          " seconds, cycles, suspect, under_range, cut_short, verdict, current_off_target,"
          " created_at) VALUES ('x', 'p', 't', 1200, 1, 3, 0.3, 18, 0, 0, 0, 'PASS', 0, 't')",
          "PRAGMA application_id = 1364348467", "PRAGMA user_version = 1"})
        f.rawValue(row);
}

class Starts : public RecordsDatabaseTest, public ::testing::WithParamInterface<StartCase> {};

// Whatever the folder holds at first use, the database opens at the newest schema with
// every table, in WAL mode with foreign keys on.
TEST_P(Starts, OpenAtTheNewestSchema) {
    GetParam().make(*this);
    RecordsDatabase db(DatabaseLocation::file(path));
    const OpenReport r = db.open();
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_FALSE(r.readOnly);
    EXPECT_TRUE(r.notes.empty());
    EXPECT_EQ(r.schemaVersion, 6);
    QSqlQuery q = db.query();
    ASSERT_TRUE(q.exec("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"));
    QStringList tables;
    while (q.next())
        tables << q.value(0).toString();
    for (const char* t : {"breaker", "session", "shot", "site", "test_point", "waveform", "curve",
                          "curve_point", "breaker_curve", "sync_state"})
        EXPECT_TRUE(tables.contains(t)) << t;
    // A shot of an older schema is kept, without the pulse's start it did not record.
    RecordsError e;
    const auto shots = RecordsStore(db).listShots({}, ShotOrder::OldestFirst, 0, 10, e);
    ASSERT_EQ(shots.size(), static_cast<std::size_t>(GetParam().shotsKept)) << e.message;
    for (const ShotRow& row : shots) {
        EXPECT_EQ(row.shot.reading.seconds, 0.3);
        EXPECT_FALSE(row.shot.reading.startSeconds);
    }
    ASSERT_TRUE(q.exec("PRAGMA journal_mode") && q.next());
    EXPECT_EQ(q.value(0).toString(), "wal");
    ASSERT_TRUE(q.exec("PRAGMA foreign_keys") && q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Folder, Starts,
    ::testing::Values(StartCase{"NoFile", [](RecordsDatabaseTest&) {}},
                      StartCase{"EmptyFile", [](RecordsDatabaseTest& f) { f.put(f.path, ""); }},
                      // A database whose first migration was cut off after the journal
                      // mode was set: SQLite holds nothing in it yet.
                      StartCase{
                          "StartedFile",
                          [](RecordsDatabaseTest& f) { f.rawValue("PRAGMA journal_mode = WAL"); }},
                      StartCase{"VersionOneFile", makeVersionOne, 1}),
    [](const auto& c) { return std::string(c.param.name); });

// The mechanism a later schema uses: pending steps only, in one transaction, and a failing
// step leaves the database as it was.
TEST_F(RecordsDatabaseTest, MigrationsApplyPendingStepsAllOrNothing) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    ShotRecord stored;
    ASSERT_FALSE(RecordsStore(db).storeShot(context, shot(), stored));

    const int next = newestSchemaVersion() + 1;
    std::vector<MigrationStep> steps = schemaSteps();
    steps.push_back({next,
                     {"CREATE TABLE extra (id TEXT PRIMARY KEY, maker TEXT NOT NULL)",
                      "ALTER TABLE breaker ADD COLUMN extra_id TEXT REFERENCES extra (id)"}});
    ASSERT_FALSE(db.migrate(steps));
    RecordsError e;
    EXPECT_EQ(db.schemaVersion(e), next);
    ASSERT_FALSE(db.migrate(steps)) << "a second run finds nothing to do";

    steps.push_back({next + 1,
                     {"CREATE TABLE extra_point (extra_id TEXT, multiple REAL)",
                      "CREATE TABLE extra (id TEXT)"}}); // fails: extra exists
    e = db.migrate(steps);
    EXPECT_TRUE(e);
    EXPECT_NE(e.message.find("schema version " + std::to_string(next + 1)), std::string::npos)
        << e.message;
    EXPECT_EQ(db.schemaVersion(e), next);
    QSqlQuery q = db.query();
    ASSERT_TRUE(q.exec("SELECT count(*) FROM sqlite_master WHERE name = 'extra_point'") &&
                q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
    EXPECT_EQ(RecordsStore(db).countShots({}, e), 1);
}

// Another program holds the write lock: the store waits the busy timeout, then says so; the
// database opens meanwhile, and stores once the lock is gone.
TEST_F(RecordsDatabaseTest, LockedDatabaseIsWaitedForThenReported) {
    OpenOptions options;
    options.busyTimeoutMs = 200;
    {
        RecordsDatabase first(DatabaseLocation::file(path));
        ASSERT_TRUE(first.open().ok); // made, in WAL mode
    }
    QSqlDatabase locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
    locker.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(locker.open());
    QSqlQuery lock(locker);
    ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE")) << lock.lastError().text().toStdString();
    ASSERT_TRUE(lock.exec("INSERT INTO site VALUES ('x', 'held', '', '', '')"));

    RecordsDatabase db(DatabaseLocation::file(path), options);
    const OpenReport r = db.open();
    ASSERT_TRUE(r.ok) << r.error.message;
    RecordsStore store(db);
    ShotRecord stored;
    RecordsError e = store.storeShot(context, shot(), stored);
    EXPECT_EQ(e.kind, RecordsErrorKind::Locked);
    EXPECT_NE(e.message.find("locked by another program"), std::string::npos) << e.message;

    ASSERT_TRUE(lock.exec("ROLLBACK"));
    lock = QSqlQuery();
    locker.close();
    locker = QSqlDatabase();
    QSqlDatabase::removeDatabase("locker");
    EXPECT_FALSE(store.storeShot(context, shot(), stored));
    EXPECT_EQ(store.countShots({}, e), 1);
}

// Garbage where the database should be: renamed aside with its journal files, the caller
// told, and a new database works.
TEST_F(RecordsDatabaseTest, DamagedFileIsSetAsideAndANewOneMade) {
    const std::string garbage(5000, '\x5a');
    put(path, garbage);
    put(path + "-wal", "old journal");
    RecordsDatabase db(DatabaseLocation::file(path));
    const OpenReport r = db.open();
    ASSERT_TRUE(r.ok) << r.error.message;
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("was damaged"), std::string::npos) << r.notes[0];
    std::string aside;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("QARN3.db.damaged-", 0) == 0 && name.find("-wal") == std::string::npos)
            aside = entry.path().generic_string();
    }
    ASSERT_FALSE(aside.empty());
    EXPECT_NE(r.notes[0].find(aside), std::string::npos);
    EXPECT_EQ(FileStore().readAll(aside), garbage);
    EXPECT_EQ(FileStore().readAll(aside + "-wal"), "old journal");
    ShotRecord stored;
    EXPECT_FALSE(RecordsStore(db).storeShot(context, shot(), stored));
}

struct LeftCase {
    const char* name;
    std::function<void(RecordsDatabaseTest&)> make;
    bool setAsideDamaged;
    const char* says;
};

class LeftAsItIs : public RecordsDatabaseTest, public ::testing::WithParamInterface<LeftCase> {};

// A file the open may not set aside or take for records: refused with the database named,
// and the folder holds the file as it was and nothing else.
TEST_P(LeftAsItIs, RefusedWithTheDatabaseNamed) {
    GetParam().make(*this);
    const auto before = FileStore().readAll(path);
    ASSERT_TRUE(before);
    OpenOptions options;
    options.setAsideDamaged = GetParam().setAsideDamaged;
    RecordsDatabase db(DatabaseLocation::file(path), options);
    const OpenReport r = db.open();
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.message.find("The records database " + path + " " + GetParam().says),
              std::string::npos)
        << r.error.message;
    db.close();
    EXPECT_EQ(FileStore().readAll(path), before);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(entry.path().generic_string(), path);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LeftAsItIs,
    ::testing::Values(
        LeftCase{"DamagedWhenOnlyReading",
                 [](RecordsDatabaseTest& f) { f.put(f.path, std::string(5000, 'z')); }, false,
                 "is damaged: file is not a database"},
        LeftCase{"DamagedAndReadOnly",
                 [](RecordsDatabaseTest& f) {
                     f.put(f.path, std::string(5000, 'z'));
                     ASSERT_EQ(::chmod(f.path.c_str(), 0444), 0);
                 },
                 true, "is damaged: file is not a database"},
        LeftCase{"AnotherProgramsDatabase",
                 [](RecordsDatabaseTest& f) {
                     f.rawValue("PRAGMA application_id = 1196444487"); // "GPKG"
                     f.rawValue("CREATE TABLE gpkg_contents (table_name TEXT)");
                 },
                 true, "is another program's database"},
        // Without an application id, a file holding a table or a version is
        // another program's: our schema is never added to it.
        LeftCase{"TablesWithoutOurId",
                 [](RecordsDatabaseTest& f) {
                     f.rawValue("CREATE TABLE notes (t TEXT)");
                     f.rawValue("INSERT INTO notes VALUES ('kept')");
                 },
                 true, "is another program's database"},
        LeftCase{"VersionTwoWithoutOurId",
                 [](RecordsDatabaseTest& f) {
                     f.rawValue("CREATE TABLE site (id TEXT PRIMARY KEY)");
                     f.rawValue("PRAGMA user_version = 2");
                 },
                 true, "is another program's database"},
        LeftCase{"VersionOnlyWithoutOurId",
                 [](RecordsDatabaseTest& f) { f.rawValue("PRAGMA user_version = 7"); }, true,
                 "is another program's database"}),
    [](const auto& c) { return std::string(c.param.name); });

struct ModeCase {
    const char* name;
    std::function<void(RecordsDatabaseTest&, FakeOwners&)> make;
    const char* refusal; // empty: opens, the file and its journals 0600
};

class PrivateFiles : public RecordsDatabaseTest, public ::testing::WithParamInterface<ModeCase> {};

mode_t modeOf(const std::string& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Under an open umask the database and the journals SQLite keeps beside it are the user's
// alone; a file of the user's that others may read is closed to them, another user's is
// refused and left as it is.
TEST_P(PrivateFiles, TheRecordsAreTheUsersAlone) {
    const mode_t umaskBefore = ::umask(0);
    FakeOwners owners;
    GetParam().make(*this, owners);
    std::map<std::string, mode_t> before;
    for (const char* suffix : {"", "-wal", "-shm"})
        before[suffix] = modeOf(path + suffix);
    OpenOptions options;
    options.owners = &owners;
    RecordsDatabase db(DatabaseLocation::file(path), options);
    const OpenReport r = db.open();
    if (*GetParam().refusal) {
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.message.find(GetParam().refusal), std::string::npos) << r.error.message;
        for (const auto& [suffix, mode] : before)
            EXPECT_EQ(modeOf(path + suffix), mode) << suffix;
    } else {
        ASSERT_TRUE(r.ok) << r.error.message;
        ShotRecord stored;
        ASSERT_FALSE(RecordsStore(db).storeShot(context, shot(), stored));
        for (const char* suffix : {"", "-wal", "-shm"})
            EXPECT_EQ(modeOf(path + suffix), 0600u) << suffix;
    }
    ::umask(umaskBefore);
}

void madeLoose(RecordsDatabaseTest& f) {
    {
        RecordsDatabase db(DatabaseLocation::file(f.path));
        ASSERT_TRUE(db.open().ok);
    }
    ASSERT_EQ(::chmod(f.path.c_str(), 0666), 0);
    f.put(f.path + "-shm", "");
    ASSERT_EQ(::chmod((f.path + "-shm").c_str(), 0644), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PrivateFiles,
    ::testing::Values(ModeCase{"NewFile", [](RecordsDatabaseTest&, FakeOwners&) {}, ""},
                      ModeCase{"EmptyFileOpenToAll",
                               [](RecordsDatabaseTest& f, FakeOwners&) {
                                   f.put(f.path, "");
                                   ::chmod(f.path.c_str(), 0666);
                               },
                               ""},
                      ModeCase{"OwnFileOthersMayRead",
                               [](RecordsDatabaseTest& f, FakeOwners&) { madeLoose(f); }, ""},
                      ModeCase{"AnotherUsersFile",
                               [](RecordsDatabaseTest& f, FakeOwners& o) {
                                   madeLoose(f);
                                   o.ownerOf[f.path] = kOtherUser;
                               },
                               "QARN3.db belongs to another user (uid 4242)"},
                      ModeCase{"AnotherUsersJournal",
                               [](RecordsDatabaseTest& f, FakeOwners& o) {
                                   madeLoose(f);
                                   o.ownerOf[f.path + "-shm"] = kOtherUser;
                               },
                               "QARN3.db-shm belongs to another user (uid 4242)"}),
    [](const auto& c) { return std::string(c.param.name); });

// A newer program's database is read, never written: the schema version stays its own.
TEST_F(RecordsDatabaseTest, NewerSchemaOpensReadOnly) {
    {
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        ShotRecord stored;
        ASSERT_FALSE(RecordsStore(db).storeShot(context, shot(), stored));
    }
    rawValue("PRAGMA user_version = 99");
    RecordsDatabase db(DatabaseLocation::file(path));
    const OpenReport r = db.open();
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_TRUE(r.readOnly);
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("newer version"), std::string::npos);
    RecordsStore store(db);
    RecordsError e;
    EXPECT_EQ(store.listShots({}, ShotOrder::NewestFirst, 0, 10, e).size(), 1u);
    ShotRecord stored;
    EXPECT_EQ(store.storeShot(context, shot(), stored).kind, RecordsErrorKind::ReadOnly);
    db.close();
    EXPECT_EQ(rawValue("PRAGMA user_version").toInt(), 99);
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), 1);
}

// The owner write bit clear: read-only for the program, whoever runs it.
TEST_F(RecordsDatabaseTest, FileWithoutWriteBitOpensReadOnly) {
    {
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
    }
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const auto before = FileStore().readAll(path);
    RecordsDatabase db(DatabaseLocation::file(path));
    const OpenReport r = db.open();
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_TRUE(r.readOnly);
    ShotRecord stored;
    EXPECT_EQ(RecordsStore(db).storeShot(context, shot(), stored).kind, RecordsErrorKind::ReadOnly);
    db.close();
    EXPECT_EQ(FileStore().readAll(path), before);
}

// Shots come back with every field; a waveform is kept once and returned byte for byte; the
// filters of the browse list take what they should.
TEST_F(RecordsDatabaseTest, ShotsReadBackWithTheirRowsAndFilters) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    QByteArray wave("WAVEFORM\0\x01\x02\xff", 12);
    std::vector<NewShot> shots{shot(0.3, wave), shot(0.05), shot(0.7, wave)};
    shots[0].reading.takenAt = "2026-01-10T08:00:00.000Z";
    shots[1].reading.takenAt = "2026-02-10T08:00:00.000Z";
    shots[2].reading.takenAt = "2026-03-10T08:00:00.000Z";
    shots[2].reading.dataErrors = 7;
    shots[2].reading.source = "bay1/T1.owf";
    shots[2].reading.pulse = 2;
    std::vector<ShotRecord> stored;
    ASSERT_FALSE(store.storeShots(context, shots, stored));
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].judgement.verdict, Verdict::Pass);
    EXPECT_EQ(stored[1].judgement.verdict, Verdict::FailFast);
    EXPECT_EQ(stored[2].judgement.verdict, Verdict::Check);
    EXPECT_EQ(rawValue("SELECT count(*) FROM waveform").toInt(), 1);

    RecordsError e;
    const auto rows = store.listShots({}, ShotOrder::NewestFirst, 0, 10, e);
    ASSERT_EQ(rows.size(), 3u);
    const ShotRow& r = rows[0];
    EXPECT_EQ(r.shot.id, stored[2].id);
    EXPECT_EQ(r.site.name, context.site.name);
    EXPECT_EQ(r.breaker.ratedAmps, 400);
    EXPECT_EQ(r.session.analyzerCalDate, "2026-03-01");
    EXPECT_EQ(r.point.band->maxSeconds, 0.5);
    EXPECT_EQ(r.shot.multiple, 3);
    EXPECT_EQ(r.shot.reading.dataErrors, 7u);
    EXPECT_EQ(r.shot.reading.source, "bay1/T1.owf");
    EXPECT_EQ(r.shot.reading.pulse, 2);
    EXPECT_EQ(r.shot.reading.seconds, 0.7);
    EXPECT_EQ(r.shot.judgement.verdict, Verdict::Check);
    EXPECT_EQ(r.shot.waveformId, waveformId(wave));

    EXPECT_EQ(store.waveformOf(stored[2].id, e), wave);
    EXPECT_FALSE(store.waveformOf(stored[1].id, e));
    EXPECT_EQ(e.kind, RecordsErrorKind::NotFound);
    e = {};

    auto count = [&](const std::function<void(ShotFilter&)>& set) {
        ShotFilter f;
        set(f);
        return store.countShots(f, e);
    };
    EXPECT_EQ(count([&](ShotFilter& f) { f.siteName = context.site.name; }), 3);
    EXPECT_EQ(count([](ShotFilter& f) { f.siteName = "elsewhere"; }), 0);
    EXPECT_EQ(count([&](ShotFilter& f) {
                  f.siteId = context.site.id;
                  f.since = "2026-02-10T08:00:00.000Z";
              }),
              2);
    EXPECT_EQ(count([](ShotFilter& f) { f.until = "2026-02-10T08:00:00.000Z"; }), 1);
    EXPECT_EQ(count([](ShotFilter& f) { f.verdicts = {Verdict::FailFast, Verdict::Check}; }), 2);
    EXPECT_EQ(store.listShots({}, ShotOrder::OldestFirst, 1, 1, e)[0].shot.id, stored[1].id);

    // An edit of the test point changes it and its updated_at, not the shots.
    TestPointRecord p = context.point;
    p.band = Band{0.2, 0.4};
    ASSERT_FALSE(store.saveTestPoint(p));
    EXPECT_EQ(store.testPointsOf(context.session.id, e)[0].band->minSeconds, 0.2);
    EXPECT_EQ(store.listShots({}, ShotOrder::OldestFirst, 0, 1, e)[0].shot.band->minSeconds, 0.1);
    EXPECT_EQ(store.sessionsOf(context.breaker.id, e).size(), 1u);
    EXPECT_EQ(store.breakersOf(context.site.id, e)[0].designation, "Q1");
    EXPECT_FALSE(e) << e.message;
}

// A batch is all there or not at all: when the database refuses the second shot (here a
// trigger another program left, as a full disk or a broken constraint would), the first shot
// and the site, breaker, session and test point made for the batch are not in the file.
TEST_F(RecordsDatabaseTest, BatchWhoseSecondShotIsRefusedStoresNothing) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    rawValue("CREATE TRIGGER second_shot_refused BEFORE INSERT ON shot WHEN EXISTS (SELECT 1 "
             "FROM shot) BEGIN SELECT RAISE(ABORT, 'second shot refused'); END");
    RecordsStore store(db);
    std::vector<ShotRecord> stored;
    const RecordsError e = store.storeShots(context, {shot(0.3), shot(0.4)}, stored);
    EXPECT_TRUE(e);
    EXPECT_NE(e.message.find("second shot refused"), std::string::npos) << e.message;
    EXPECT_TRUE(stored.empty());
    db.close();
    for (const char* table : {"shot", "site", "breaker", "session", "test_point"})
        EXPECT_EQ(rawValue(std::string("SELECT count(*) FROM ") + table).toInt(), 0) << table;
}

struct EditCase {
    const char* name;
    std::function<void(ShotContext&)> edit;
};

class Edits : public RecordsDatabaseTest, public ::testing::WithParamInterface<EditCase> {};

// A record edited after its first shot reads back with every field as edited, the last
// column of its table included, whether read alone or with a shot's row.
TEST_P(Edits, EveryFieldReadsBackAsSaved) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    ShotRecord first;
    ASSERT_FALSE(store.storeShot(context, shot(), first));
    ShotContext c = context;
    GetParam().edit(c);
    ASSERT_FALSE(store.saveSite(c.site));
    ASSERT_FALSE(store.saveBreaker(c.breaker));
    ASSERT_FALSE(store.saveSession(c.session));
    ASSERT_FALSE(store.saveTestPoint(c.point));

    RecordsError e;
    const auto sites = store.sites(e);
    const auto breakers = store.breakersOf(c.site.id, e);
    const auto sessions = store.sessionsOf(c.breaker.id, e);
    const auto points = store.testPointsOf(c.session.id, e);
    const auto rows = store.listShots({}, ShotOrder::OldestFirst, 0, 10, e);
    ASSERT_FALSE(e) << e.message;
    ASSERT_EQ(sites.size(), 1u);
    ASSERT_EQ(breakers.size(), 1u);
    ASSERT_EQ(sessions.size(), 1u);
    ASSERT_EQ(points.size(), 1u);
    ASSERT_EQ(rows.size(), 1u);
    const auto same = [&](const SiteRecord& s, const BreakerRecord& b, const SessionRecord& n,
                          const TestPointRecord& p, const char* read) {
        EXPECT_EQ(s.name, c.site.name) << read;
        EXPECT_EQ(s.notes, c.site.notes) << read;
        EXPECT_EQ(b.designation, c.breaker.designation) << read;
        EXPECT_EQ(b.ratedAmps, c.breaker.ratedAmps) << read;
        EXPECT_EQ(b.settings, c.breaker.settings) << read;
        EXPECT_EQ(n.condition, c.session.condition) << read;
        EXPECT_EQ(n.notes, c.session.notes) << read;
        EXPECT_EQ(p.multiple, c.point.multiple) << read;
        EXPECT_EQ(p.band.has_value(), c.point.band.has_value()) << read;
        if (p.band && c.point.band) {
            EXPECT_EQ(p.band->minSeconds, c.point.band->minSeconds) << read;
            EXPECT_EQ(p.band->maxSeconds, c.point.band->maxSeconds) << read;
        }
        EXPECT_EQ(p.mustNotTrip, c.point.mustNotTrip) << read;
        if (c.point.mustNotTrip) {
            EXPECT_EQ(p.holdSeconds, c.point.holdSeconds) << read;
        }
        EXPECT_EQ(p.tolerance, c.point.tolerance) << read;
    };
    same(sites[0], breakers[0], sessions[0], points[0], "alone");
    same(rows[0].site, rows[0].breaker, rows[0].session, rows[0].point, "with the shot");
}

INSTANTIATE_TEST_SUITE_P(Records, Edits,
                         ::testing::Values(EditCase{"SiteNotes",
                                                    [](ShotContext& c) {
                                                        c.site.notes = "gate code 4711";
                                                    }},
                                           EditCase{"SiteNameAndNotes",
                                                    [](ShotContext& c) {
                                                        c.site.name = "South Plant";
                                                        c.site.notes = "moved";
                                                    }},
                                           EditCase{"BreakerSettings",
                                                    [](ShotContext& c) {
                                                        c.breaker.ratedAmps = 630;
                                                        c.breaker.settings = "Ir 0.9 tr 10 s";
                                                    }},
                                           EditCase{"SessionNotes",
                                                    [](ShotContext& c) {
                                                        c.session.condition = Condition::AsLeft;
                                                        c.session.notes =
                                                            "after cleaning the contacts";
                                                    }},
                                           EditCase{"TestPointTolerance",
                                                    [](ShotContext& c) {
                                                        c.point.band = Band{0.2, 0.4};
                                                        c.point.tolerance = 0.25;
                                                    }},
                                           EditCase{"TestPointMustNotTripWithAHoldUnderOneSecond",
                                                    [](ShotContext& c) {
                                                        c.point.band.reset();
                                                        c.point.mustNotTrip = true;
                                                        c.point.holdSeconds = 0.4;
                                                        c.point.tolerance = 0.05;
                                                    }},
                                           EditCase{"TestPointMustNotTripWithALongerHold",
                                                    [](ShotContext& c) {
                                                        c.point.band.reset();
                                                        c.point.mustNotTrip = true;
                                                        c.point.holdSeconds = 2.5;
                                                    }}),
                         [](const auto& c) { return std::string(c.param.name); });

// Waits for pred, handling the event loop, for at most ms milliseconds.
bool waitFor(const std::function<bool()>& pred, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

// Shots handed over on this thread are stored by the worker and reported back on this
// thread, in order, with their verdicts, or with the refused field.
TEST_F(RecordsDatabaseTest, WriterStoresOffTheCallingThreadAndReportsBack) {
    ShotWriter writer(DatabaseLocation::file(path));
    std::vector<StoreOutcome> outcomes;
    std::vector<OpenReport> opens;
    bool onThisThread = true;
    QObject::connect(&writer, &ShotWriter::stored, [&](const StoreOutcome& o) {
        onThisThread = onThisThread && QThread::currentThread() == qApp->thread();
        outcomes.push_back(o);
    });
    QObject::connect(&writer, &ShotWriter::opened,
                     [&](const OpenReport& r) { opens.push_back(r); });
    EXPECT_EQ(writer.submit({context, shot(0.3, "bytes")}), 1u);
    EXPECT_EQ(writer.submit({context, shot(0.9)}), 2u);
    ShotContext bad = context;
    bad.breaker.ratedAmps = 0;
    EXPECT_EQ(writer.submit({bad, shot()}), 3u);
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 3; }));
    EXPECT_TRUE(onThisThread);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_TRUE(opens[0].ok);
    EXPECT_EQ(outcomes[0].ticket, 1u);
    EXPECT_FALSE(outcomes[0].error);
    EXPECT_EQ(outcomes[0].shot.judgement.verdict, Verdict::Pass);
    EXPECT_EQ(outcomes[1].shot.judgement.verdict, Verdict::FailSlow);
    EXPECT_EQ(outcomes[2].error.field, "rating");
    EXPECT_TRUE(writer.finish(std::chrono::seconds(5)));
    EXPECT_EQ(writer.submit({context, shot()}), 0u);
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), 2);
    EXPECT_EQ(rawValue("SELECT id FROM shot WHERE seconds = 0.3").toString().toStdString(),
              outcomes[0].shot.id);
}

// A database locked by another program: handing a shot over does not wait for it, the
// outcome says locked, and the exit's wait ends at its bound.
TEST_F(RecordsDatabaseTest, WriterNeverWaitsForALockedDatabase) {
    {
        RecordsDatabase first(DatabaseLocation::file(path));
        ASSERT_TRUE(first.open().ok);
    }
    QSqlDatabase locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
    locker.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(locker.open());
    QSqlQuery lock(locker);
    ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE"));
    OpenOptions options;
    options.busyTimeoutMs = 1500;
    auto writer = std::make_unique<ShotWriter>(DatabaseLocation::file(path), options);
    std::vector<StoreOutcome> outcomes;
    QObject::connect(writer.get(), &ShotWriter::stored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 3; ++i)
        writer->submit({context, shot()});
    EXPECT_LT(t.elapsed(), 1000) << "submit waited for the database";
    ASSERT_TRUE(waitFor([&] { return !outcomes.empty(); }));
    EXPECT_EQ(outcomes[0].error.kind, RecordsErrorKind::Locked);
    t.restart();
    writer->finish(std::chrono::milliseconds(400));
    EXPECT_LT(t.elapsed(), 1400) << "finish waited past its bound for a locked store";
    writer.reset();
    lock.exec("ROLLBACK");
    lock = QSqlQuery();
    locker.close();
    locker = QSqlDatabase();
    QSqlDatabase::removeDatabase("locker");
    // The worker left behind stores the shot in hand once the lock is gone; the one still
    // queued was dropped.
    QThread::msleep(2000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the thread object
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), 1);
}

} // namespace
