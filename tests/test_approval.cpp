// A session's approval in a laptop's SQLite file: who and when kept, approved once, and from
// then on every change of the session, its test points, shots and checklist refused by the
// file itself, through the store as through a direct statement; a dated note still goes in.
// An approved session travels whole, and a laptop's older edited copy gives way to it.
#include "store/approval.h"
#include "store/store.h"
#include "store/sync.h"

#include "records_fixture.h"

using namespace qarn3;
using namespace qarn3::test;

namespace {

class Approval : public RecordsDatabaseTest {};

TEST_F(Approval, AnApprovedSessionCannotBeChangedByAnyPath) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    ShotRecord stored;
    ASSERT_FALSE(store.storeShot(context, shot(0.3, QByteArray("pulse file bytes")), stored));
    ASSERT_FALSE(tickSessionCheck(db, context.session.id, "Thermal memory reset", isoUtcNow()));

    std::string at;
    RecordsError e;
    for (const char* name : {"  ", "Olga\nPete", "Olga\tK", "O\x7Fga"}) {
        e = approveSession(db, context.session.id, name, at);
        EXPECT_EQ(e.kind, RecordsErrorKind::Invalid) << name;
    }
    e = approveSession(db, "no-such-session", "Olga", at);
    EXPECT_EQ(e.kind, RecordsErrorKind::NotFound) << e.message;
    ASSERT_FALSE(approveSession(db, context.session.id, " Olga ", at));
    EXPECT_FALSE(at.empty());
    e = approveSession(db, context.session.id, "Pete", at);
    EXPECT_EQ(e.kind, RecordsErrorKind::Approved);
    EXPECT_NE(e.message.find("was approved by Olga on "), std::string::npos) << e.message;

    const auto back = store.sessionContext(context.session.id, e);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->session.approvedBy, "Olga");
    EXPECT_EQ(back->session.approvedAt, at);
    EXPECT_EQ(back->session.operatorName, context.session.operatorName) << "kept apart";

    // Through the store: an edit of the session or its test point, another shot.
    SessionRecord session = back->session;
    session.notes = "changed";
    EXPECT_EQ(store.saveSession(session).kind, RecordsErrorKind::Approved);
    TestPointRecord point = context.point;
    point.tolerance = 0.5;
    EXPECT_EQ(store.saveTestPoint(point).kind, RecordsErrorKind::Approved);
    ShotContext later = context;
    later.session = back->session;
    e = store.storeShot(later, shot(), stored);
    EXPECT_EQ(e.kind, RecordsErrorKind::Approved) << e.message;
    EXPECT_EQ(tickSessionCheck(db, context.session.id, "Another", isoUtcNow()).kind,
              RecordsErrorKind::Approved);
    // Directly, as another program would.
    for (const char* change : {"UPDATE shot SET seconds = 0", "DELETE FROM shot",
                               "DELETE FROM test_point", "UPDATE session SET approved_at = NULL",
                               "DELETE FROM session", "DELETE FROM session_check"}) {
        RecordsError refused;
        EXPECT_FALSE(db.run(change, refused)) << change;
        EXPECT_EQ(refused.kind, RecordsErrorKind::Approved) << change << ": " << refused.message;
    }
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), 1);
    EXPECT_EQ(rawValue("SELECT notes FROM session").toString(), "");

    ASSERT_FALSE(addSessionNote(db, context.session.id, "Olga", "Pole A retested"));
    for (const auto& [author, note] : std::vector<std::pair<std::string, std::string>>{
             {"Olga", " "}, {"", "no one wrote it"}, {"  ", "no one"}, {"Olga\nPete", "two"}})
        EXPECT_EQ(addSessionNote(db, context.session.id, author, note).kind,
                  RecordsErrorKind::Invalid)
            << author << ": " << note;
    const auto notes = sessionNotesOf(db, context.session.id, e);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].text, "Pole A retested");
    for (const char* change : {"UPDATE session_note SET text = 'x'", "DELETE FROM session_note",
                               "UPDATE waveform SET bytes = X'00', size_bytes = 1",
                               "DELETE FROM waveform",
                               "INSERT OR REPLACE INTO waveform (id, size_bytes, bytes) SELECT id,"
                               " 1, X'00' FROM waveform"}) {
        RecordsError refused;
        EXPECT_FALSE(db.run(change, refused)) << change;
        EXPECT_EQ(refused.kind, RecordsErrorKind::Approved) << change << ": " << refused.message;
    }
    EXPECT_EQ(sessionChecksOf(db, context.session.id, e).size(), 1u);
    // The shot's waveform kept; its bytes inserted again are no change and are let through.
    ASSERT_EQ(rawValue("SELECT count(*) FROM waveform WHERE size_bytes > 1").toInt(), 1);
    EXPECT_TRUE(db.run("INSERT INTO waveform (id, size_bytes, bytes) SELECT id, size_bytes, bytes"
                       " FROM waveform WHERE true ON CONFLICT (id) DO NOTHING",
                       e))
        << e.message;
}

// Another session of the same breaker is not locked by this one's approval.
TEST_F(Approval, OnlyTheApprovedSessionIsLocked) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    ShotRecord stored;
    ASSERT_FALSE(store.storeShot(context, shot(), stored));
    std::string at;
    ASSERT_FALSE(approveSession(db, context.session.id, "Olga", at));
    ShotContext next = context;
    next.session.id = newRecordId();
    next.session.condition = Condition::AsLeft;
    next.point.id = newRecordId();
    next.point.sessionId = next.session.id;
    ASSERT_FALSE(store.storeShot(next, shot(), stored));
    next.session.notes = "as left";
    EXPECT_FALSE(store.saveSession(next.session));
}

// A REPLACE deletes the row it collides with without that row's delete trigger: a row of
// another, unapproved session given an approved row's id, or an approved session's row
// inserted over itself, is refused before it replaces anything.
TEST_F(Approval, NoRowOfAnApprovedSessionIsReplacedByAnother) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    ShotRecord approvedShot, openShot;
    ASSERT_FALSE(store.storeShot(context, shot(), approvedShot));
    ASSERT_FALSE(tickSessionCheck(db, context.session.id, "Zone interlock", isoUtcNow()));
    ASSERT_FALSE(addSessionNote(db, context.session.id, "Olga", "Pole A retested"));
    ShotContext open = context;
    open.session.id = newRecordId();
    open.point.id = newRecordId();
    open.point.sessionId = open.session.id;
    ASSERT_FALSE(store.storeShot(open, shot(), openShot));
    ASSERT_FALSE(tickSessionCheck(db, open.session.id, "Zone interlock", isoUtcNow()));
    ASSERT_FALSE(addSessionNote(db, open.session.id, "Pete", "open"));
    std::string at;
    ASSERT_FALSE(approveSession(db, context.session.id, "Olga", at));

    const std::string a = "'" + context.session.id + "'", b = "'" + open.session.id + "'";
    const std::string aPoint = "'" + context.point.id + "'", bPoint = "'" + open.point.id + "'";
    const std::string aShot = "'" + approvedShot.id + "'", bShot = "'" + openShot.id + "'";
    const std::string bCheck = "(SELECT id FROM session_check WHERE session_id = " + b + ")";
    const std::string aCheck = "(SELECT id FROM session_check WHERE session_id = " + a + ")";
    const std::string bNote = "(SELECT id FROM session_note WHERE session_id = " + b + ")";
    const std::string aNote = "(SELECT id FROM session_note WHERE session_id = " + a + ")";
    const std::vector<std::string> changes{
        // The session's row inserted over itself without its approval.
        "INSERT OR REPLACE INTO session (id, breaker_id, started_at, condition, created_at,"
        " updated_at) SELECT id, breaker_id, started_at, condition, created_at, updated_at FROM"
        " session WHERE id = " + a,
        "REPLACE INTO session (id, breaker_id, started_at, condition, created_at, updated_at)"
        " SELECT id, breaker_id, started_at, condition, created_at, updated_at FROM session"
        " WHERE id = " + a,
        // A row of the open session given the approved one's id.
        "UPDATE OR REPLACE session SET id = " + a + " WHERE id = " + b,
        "UPDATE OR REPLACE test_point SET id = " + aPoint + " WHERE id = " + bPoint,
        "UPDATE OR REPLACE shot SET id = " + aShot + " WHERE id = " + bShot,
        "UPDATE OR REPLACE session_check SET id = " + aCheck + " WHERE id = " + bCheck,
        "UPDATE OR REPLACE session_note SET id = " + aNote + " WHERE id = " + bNote,
        // Inserted anew under the approved row's id, of the open session.
        "INSERT OR REPLACE INTO test_point (id, session_id, pole, kind, multiple, created_at,"
        " updated_at) VALUES (" + aPoint + ", " + b + ", 'A', 'long-time', 3, 'x', 'x')",
        "INSERT OR REPLACE INTO session_check (id, session_id, item, ticked_at, created_at,"
        " updated_at) VALUES (" + aCheck + ", " + b + ", 'x', 'x', 'x', 'x')",
        "INSERT OR REPLACE INTO session_note (id, session_id, written_at, author, text,"
        " created_at) VALUES (" + aNote + ", " + a + ", 'x', 'Mallory', 'changed', 'x')",
    };
    for (const std::string& change : changes) {
        RecordsError refused;
        EXPECT_FALSE(db.run(change, refused)) << change;
        EXPECT_EQ(refused.kind, RecordsErrorKind::Approved) << change << ": " << refused.message;
    }
    // A shot's whole row copied under the approved shot's id, on the open session's point.
    RecordsError e;
    ASSERT_TRUE(db.run("CREATE TEMP TABLE copied AS SELECT * FROM shot WHERE id = " + bShot, e))
        << e.message;
    ASSERT_TRUE(db.run("UPDATE copied SET id = " + aShot, e)) << e.message;
    EXPECT_FALSE(db.run("INSERT OR REPLACE INTO shot SELECT * FROM copied", e));
    EXPECT_EQ(e.kind, RecordsErrorKind::Approved) << e.message;

    const auto back = store.sessionContext(context.session.id, e);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->session.approvedBy, "Olga");
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot WHERE test_point_id = " + aPoint).toInt(), 1);
    EXPECT_EQ(rawValue("SELECT count(*) FROM test_point WHERE session_id = " + a).toInt(), 1);
    EXPECT_EQ(rawValue("SELECT count(*) FROM session_check WHERE session_id = " + a).toInt(), 1);
    EXPECT_EQ(rawValue("SELECT text FROM session_note WHERE session_id = " + a).toString(),
              "Pole A retested");
    // The open session's rows are still its own to change, REPLACE or not.
    EXPECT_TRUE(db.run("UPDATE OR REPLACE shot SET seconds = 0.2 WHERE id = " + bShot, e))
        << e.message;
    EXPECT_TRUE(db.run("INSERT OR REPLACE INTO session_note (id, session_id, written_at, author,"
                       " text, created_at) VALUES ('n2', " + b + ", 'x', 'Pete', 'again', 'x')",
                       e))
        << e.message;
}

// Laptops a and b and a shared file s. a's session is approved after b took a copy; b then
// edits its copy and adds a shot. The approved session arrives whole wherever it goes, b's
// edit and shot are refused by s and reported, and b's copy becomes the approved one: the
// conflict names the shared change as kept, and b refuses further shots.
TEST_F(Approval, AnApprovedSessionTravelsWholeAndAnOlderEditedCopyGivesWay) {
    const std::string a = folder + "/a.db", b = folder + "/b.db", s = folder + "/s.db",
                      c = folder + "/c.db";
    RecordsDatabase dbA(DatabaseLocation::file(a)), dbB(DatabaseLocation::file(b)),
        dbS(DatabaseLocation::file(s)), dbC(DatabaseLocation::file(c));
    for (RecordsDatabase* db : {&dbA, &dbB, &dbS, &dbC})
        ASSERT_TRUE(db->open().ok);
    auto sync = [](RecordsDatabase& local, RecordsDatabase& shared) {
        SyncOptions o;
        o.siteNames = {"Plant \"A\", north"};
        o.batchRows = 1;
        SyncReport r = syncDatabases(local, shared, o);
        EXPECT_TRUE(r.ok) << r.error.message;
        return r;
    };
    auto count = [](RecordsDatabase& db, const std::string& table) {
        RecordsError e;
        QSqlQuery q = db.query();
        EXPECT_TRUE(db.run(q, {"SELECT count(*) FROM " + table, {}}, e)) << e.message;
        return q.next() ? q.value(0).toInt() : -1;
    };
    ShotRecord stored;
    ASSERT_FALSE(RecordsStore(dbA).storeShot(context, shot(0.3), stored));
    ASSERT_FALSE(RecordsStore(dbA).storeShot(context, shot(0.31), stored));
    ASSERT_FALSE(tickSessionCheck(dbA, context.session.id, "Breaker isolated", isoUtcNow()));
    sync(dbA, dbS);
    sync(dbB, dbS);
    ASSERT_EQ(count(dbB, "shot"), 2);

    std::string at;
    ASSERT_FALSE(approveSession(dbA, context.session.id, "Olga", at));
    // b's edit comes after the approval, not within its millisecond.
    while (isoUtcNow() <= at) {
    }
    RecordsError e;
    auto copy = RecordsStore(dbB).sessionContext(context.session.id, e);
    ASSERT_TRUE(copy) << e.message;
    copy->session.notes = "changed on B";
    ASSERT_FALSE(RecordsStore(dbB).saveSession(copy->session));
    ShotContext onB = context;
    onB.session = copy->session;
    ASSERT_FALSE(RecordsStore(dbB).storeShot(onB, shot(0.32), stored));
    const std::string lateShot = stored.id;

    sync(dbA, dbS);
    SyncReport r = sync(dbB, dbS);
    std::vector<std::string> refused;
    for (const SyncRefusal& x : r.refused) {
        EXPECT_TRUE(x.toShared);
        EXPECT_NE(x.reason.find("was approved at " + at), std::string::npos) << x.reason;
        refused.push_back(x.table + " " + x.id);
    }
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(refused,
              (std::vector<std::string>{"session " + context.session.id, "shot " + lateShot}));
    ASSERT_EQ(r.conflicts.size(), 1u);
    EXPECT_EQ(r.conflicts[0].table, "session");
    EXPECT_FALSE(r.conflicts[0].localKept) << "the shared, approved copy was kept";
    const auto back = RecordsStore(dbB).sessionContext(context.session.id, e);
    ASSERT_TRUE(back) << e.message;
    EXPECT_EQ(back->session.approvedBy, "Olga");
    EXPECT_EQ(back->session.approvedAt, at);
    EXPECT_EQ(back->session.notes, "");
    EXPECT_EQ(RecordsStore(dbB).storeShot(onB, shot(0.33), stored).kind,
              RecordsErrorKind::Approved);
    EXPECT_EQ(count(dbS, "shot"), 2);

    // Converged: only the shot b took after the approval is still its own, and said so.
    r = sync(dbB, dbS);
    ASSERT_EQ(r.refused.size(), 1u);
    EXPECT_EQ(r.refused[0].id, lateShot);
    EXPECT_TRUE(r.conflicts.empty());

    // A laptop new to the site receives the session approved, with every row of it.
    sync(dbC, dbS);
    const auto onC = RecordsStore(dbC).sessionContext(context.session.id, e);
    ASSERT_TRUE(onC) << e.message;
    EXPECT_EQ(onC->session.approvedAt, at);
    EXPECT_EQ(count(dbC, "shot"), 2);
    EXPECT_EQ(count(dbC, "session_check"), 1);

    // A row made to look older than the approval is refused all the same.
    RecordsError late;
    QSqlQuery q = dbS.query();
    EXPECT_FALSE(dbS.run(q,
                         {"INSERT INTO session_check (id, session_id, item, ticked_at,"
                          " created_at, updated_at) VALUES ('x', ?, 'Late', '2000-01-01T00:00:00Z',"
                          " '2000-01-01T00:00:00Z', '2000-01-01T00:00:00Z')",
                          {QString::fromStdString(context.session.id)}},
                         late));
    EXPECT_EQ(late.kind, RecordsErrorKind::Approved) << late.message;
}

} // namespace
