#include "store/approval.h"

#include "platform/textformat.h"
#include "records/validation.h"
#include "store/store.h"

#include <algorithm>

namespace qarn3 {

namespace {

// A name the report prints on one line: no line break or other control character in it.
bool holdsControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F;
    });
}

RecordsError writeOne(RecordsDatabase& db, const BoundSql& statement, int& affected) {
    if (RecordsError e = db.beginWrite()) return e;
    RecordsError e;
    QSqlQuery q = db.query();
    if (db.run(q, statement, e)) affected = q.numRowsAffected();
    q.finish();
    if (e) {
        db.rollback();
        return e;
    }
    return db.commit();
}

// Why a person's name (trimmed) cannot be kept as who approved or who wrote; none when it can.
RecordsError personProblem(const std::string& field, const std::string& name) {
    if (name.empty()) return {RecordsErrorKind::Invalid, field, field + ": give a name"};
    if (characterCount(name) > kNameCharacters)
        return {RecordsErrorKind::Invalid, field, field + ": the name is too long"};
    if (holdsControl(name))
        return {RecordsErrorKind::Invalid, field,
                field + ": the name holds a line break or another control character"};
    return {};
}

} // namespace

RecordsError approveSession(RecordsDatabase& db, const std::string& sessionId,
                            const std::string& approver, std::string& approvedAt) {
    const std::string by = trimText(approver);
    if (RecordsError e = personProblem("approver", by)) return e;
    const std::string at = isoUtcNow();
    int affected = 0;
    if (RecordsError e = writeOne(db, sql::approveSession(sessionId, by, at), affected)) return e;
    if (affected == 1) {
        approvedAt = at;
        return {};
    }
    RecordsError e;
    const auto ctx = RecordsStore(db).sessionContext(sessionId, e);
    if (!ctx)
        return e.kind == RecordsErrorKind::None
                   ? RecordsError{RecordsErrorKind::NotFound, "session",
                                  "session: there is no session " + sessionId}
                   : e;
    return {RecordsErrorKind::Approved, "session",
            "session " + sessionId + " was approved by " + ctx->session.approvedBy + " on " +
                ctx->session.approvedAt};
}

RecordsError addSessionNote(RecordsDatabase& db, const std::string& sessionId,
                            const std::string& author, const std::string& text) {
    if (RecordsError e = personProblem("author", trimText(author))) return e;
    if (trimText(text).empty()) return {RecordsErrorKind::Invalid, "note", "note: it is empty"};
    int affected = 0;
    return writeOne(
        db, sql::insertSessionNote(newRecordId(), sessionId, trimText(author), text, isoUtcNow()),
        affected);
}

std::vector<SessionNote> sessionNotesOf(RecordsDatabase& db, const std::string& sessionId,
                                        RecordsError& error) {
    std::vector<SessionNote> out;
    QSqlQuery q = db.query();
    if (!db.run(q, sql::sessionNotes(sessionId), error)) return out;
    while (q.next())
        out.push_back({q.value(0).toString().toStdString(), q.value(1).toString().toStdString(),
                       q.value(2).toString().toStdString()});
    return out;
}

RecordsError tickSessionCheck(RecordsDatabase& db, const std::string& sessionId,
                              const std::string& item, const std::string& tickedAt) {
    int affected = 0;
    return writeOne(db, sql::saveSessionCheck(sessionId, item, tickedAt), affected);
}

std::vector<SessionCheck> sessionChecksOf(RecordsDatabase& db, const std::string& sessionId,
                                          RecordsError& error) {
    std::vector<SessionCheck> out;
    QSqlQuery q = db.query();
    if (!db.run(q, sql::sessionChecks(sessionId), error)) return out;
    while (q.next())
        out.push_back({q.value(0).toString().toStdString(), q.value(1).toString().toStdString()});
    return out;
}

} // namespace qarn3
