#include "store/sharedcheck.h"

#include "store/sql_sync.h"

namespace qarn3 {

SharedDatabaseCheck checkSharedDatabase(const DatabaseLocation& where, const OpenOptions& options) {
    SharedDatabaseCheck c;
    RecordsDatabase db(where, options);
    c.opened = db.open();
    if (!c.opened.ok) return c;
    if (where.kind != DatabaseLocation::Kind::Postgres) {
        c.mayAdd = c.mayEdit = c.mayDelete = !c.opened.readOnly;
        return c;
    }
    RecordsError e;
    QSqlQuery q = db.query();
    if (!db.run(q, sql::roleRights(), e) || !q.next()) {
        c.opened.ok = false;
        c.opened.error = e ? e
                           : RecordsError{RecordsErrorKind::Failed,
                                          {},
                                          "The server did not say what the role may do"};
        return c;
    }
    c.role = q.value(0).toString().toStdString();
    c.mayAdd = q.value(1).toBool() && !c.opened.readOnly;
    c.mayEdit = q.value(2).toBool() && !c.opened.readOnly;
    c.mayDelete = q.value(3).toBool() && !c.opened.readOnly;
    return c;
}

std::string sharedCheckText(const DatabaseLocation& where, const SharedDatabaseCheck& c) {
    if (!c.opened.ok) return c.opened.error.message;
    std::string text = "Connected to " + where.display() + ": records schema version " +
                       std::to_string(c.opened.schemaVersion) + ".";
    for (const std::string& note : c.opened.notes)
        text += " " + note;
    const std::string role = c.role.empty() ? "This login" : "The role " + c.role;
    if (c.mayAdd && c.mayEdit && c.mayDelete)
        text += " " + role + " may read, add, edit and delete records (the office's rights).";
    else if (c.mayAdd && c.mayEdit)
        text += " " + role + " may read and add records and edit sites, breakers, sessions " +
                "and test points (a technician's rights).";
    else if (c.mayAdd)
        text += " " + role + " may read and add records but edit none: a sync cannot send " +
                "this computer's edits.";
    else
        text +=
            " " + role + " may only read records: a sync cannot send this computer's " + "records.";
    return text;
}

} // namespace qarn3
