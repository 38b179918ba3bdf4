#pragma once

// The SQL texts of the sync (store/sync.h): which tables it carries and in what order, and
// the statements that read keys and rows and write them on the other side.
#include "store/sql.h"

#include <string>
#include <vector>

namespace qarn3 {

// Which rows of a table a sync looks at.
enum class SyncScope {
    Sites,       // the top of the tree: every row of the local database, and the shared
                 // database's rows of the same ids or of the names asked for
    UnderParent, // the rows whose parentColumn names a row of parentTable in the sync
    Everything,  // every row on both sides (a library shared by every site)
};

// Rows that belong to a row of a synced table and have no id of their own (a curve's
// points): whenever the row is sent or received, its rows are replaced as a whole in the same
// transaction, so that the row's updated_at also speaks for them.
struct OwnedRows {
    std::string table;  // none when empty
    std::string column; // names the owning row's id
};

// A row of an earlier table that a row names besides its parent (a breaker's curve names a
// curve): a row naming one the other side no longer has (deleted there) stays on its side.
struct ReferencedRow {
    std::string table;  // none when empty
    std::string column; // names the row's id
};

// A table the sync carries. Its columns are read from the database (both sides have the
// same schema version), so a column a later version adds travels without a change here.
struct SyncTable {
    std::string name;
    SyncScope scope = SyncScope::UnderParent;
    std::string parentTable;    // for UnderParent
    std::string parentColumn;   // for UnderParent
    std::string label;          // the column that names a row in a report
    bool editable = true;       // has updated_at and the newest change wins; else never edited
    std::string waveformColumn; // names a row of waveform, which travels with it (once)
    OwnedRows owned;            // rows replaced with each row moved
    ReferencedRow reference;    // a row it names besides its parent
};

// The tables in the order rows must arrive: a row's parent (and anything it names) first.
const std::vector<SyncTable>& syncTables();

namespace sql {

// A row's key as a sync compares it: id, updated_at ('' for a row never edited), the id of
// its parent ('' for none), its label and the row it names besides ('' for none); of the rows under
// the parent ids (not empty), of the ids or the labels (names) given, or of every row.
BoundSql syncKeysUnder(const SyncTable& t, const std::vector<std::string>& parentIds);
BoundSql syncKeysOf(const SyncTable& t, const std::vector<std::string>& ids,
                    const std::vector<std::string>& names);
BoundSql syncKeysAll(const SyncTable& t);
// The named rows, every column in the order given.
BoundSql syncRows(const SyncTable& t, const std::vector<std::string>& columns,
                  const std::vector<std::string>& ids);
// New rows, values row after row; an id already there is left as it is.
BoundSql syncInsert(const SyncTable& t, const std::vector<std::string>& columns,
                    std::vector<QVariant> values, std::size_t rows);
// The row takes the values, when it still has the updated_at the sync saw.
BoundSql syncUpdate(const SyncTable& t, const std::vector<std::string>& columns,
                    std::vector<QVariant> values, const std::string& expectedUpdatedAt);
// A session row takes the values, approval and all, while it is not approved; which of the
// sessions named are approved.
BoundSql syncApproval(const std::vector<std::string>& columns, std::vector<QVariant> values);
BoundSql approvedSessions(const std::vector<std::string>& ids);

// The rows the owners own, every column in the order given; those rows deleted; new ones,
// values row after row.
BoundSql ownedRows(const OwnedRows& o, const std::vector<std::string>& columns,
                   const std::vector<std::string>& ownerIds);
BoundSql deleteOwnedRows(const OwnedRows& o, const std::vector<std::string>& ownerIds);
BoundSql insertOwnedRows(const OwnedRows& o, const std::vector<std::string>& columns,
                         std::vector<QVariant> values, std::size_t rows);

// What this database and the peer last agreed on for a table: id, updated_at.
BoundSql syncStateOf(const std::string& peer, const std::string& table);
// Records agreement for (id, updated_at) pairs, written in pairs in values.
BoundSql saveSyncState(const std::string& peer, const std::string& table,
                       const std::vector<std::pair<std::string, std::string>>& rows);

// Which of the waveforms are there; their bytes; new ones (id, size, bytes per row).
BoundSql waveformsPresent(const std::vector<std::string>& ids);
BoundSql waveformRows(const std::vector<std::string>& ids);
BoundSql insertWaveforms(std::vector<QVariant> values, std::size_t rows);

// One row on a server: the role connected, whether it may add rows to every table a sync
// writes, edit the rows a sync edits, and delete records (shots).
BoundSql roleRights();
// When a session was approved (NULL: not, no row: not there); the session a test point is of.
BoundSql sessionApprovedAt(const std::string& sessionId);
BoundSql sessionOfTestPoint(const std::string& testPointId);

} // namespace sql

} // namespace qarn3
