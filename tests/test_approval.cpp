// A session's approval in a laptop's SQLite file: who and when kept, approved once, and from
// then on every change of the session, its test points, shots and checklist refused by the
// file itself, through the store as through a direct statement; a dated note still goes in.
#include "store/approval.h"
#include "store/store.h"

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
    ASSERT_FALSE(store.storeShot(context, shot(), stored));
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
    EXPECT_EQ(addSessionNote(db, context.session.id, "Olga", " ").kind, RecordsErrorKind::Invalid);
    const auto notes = sessionNotesOf(db, context.session.id, e);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].text, "Pole A retested");
    EXPECT_EQ(sessionChecksOf(db, context.session.id, e).size(), 1u);
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

} // namespace
