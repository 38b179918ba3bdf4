#include "store/sql_sync.h"

namespace qarn3 {

namespace {

QVariant text(const std::string& s) {
    return QString::fromStdString(s);
}

std::string joined(const std::vector<std::string>& names, const std::string& prefix = {}) {
    std::string s;
    for (std::size_t i = 0; i < names.size(); ++i)
        s += (i ? ", " : "") + prefix + names[i];
    return s;
}

// "(?, ?, ?)" for a row of n values.
std::string row(std::size_t n) {
    std::string s = "(";
    for (std::size_t i = 0; i < n; ++i)
        s += i ? ", ?" : "?";
    return s + ")";
}

// " IN (?, ?, ...)" with the values appended.
std::string in(const std::vector<std::string>& ids, std::vector<QVariant>& values) {
    for (const std::string& id : ids)
        values.push_back(text(id));
    return " IN " + row(ids.size());
}

std::string keyColumns(const SyncTable& t) {
    return "SELECT id, " + std::string(t.editable ? "updated_at" : "''") + ", " +
           (t.parentColumn.empty() ? std::string("''") : t.parentColumn) + ", " + t.label + ", " +
           (t.reference.column.empty() ? std::string("''") : t.reference.column) + " FROM " +
           t.name;
}

} // namespace

const std::vector<SyncTable>& syncTables() {
    static const std::vector<SyncTable> tables{
        {"site", SyncScope::Sites, {}, {}, "name", true, {}, {}, {}},
        {"breaker", SyncScope::UnderParent, "site", "site_id", "designation", true, {}, {}, {}},
        // The curve library is every site's; a curve's id comes from its maker, model and
        // kind, so the same curve imported on two laptops is one row.
        {"curve",
         SyncScope::Everything,
         {},
         {},
         "model",
         true,
         {},
         {"curve_point", "curve_id"},
         {}},
        // The trip-unit profiles too; a profile's id comes from its maker and model. A breaker
        // names its profile by that id, which needs no row: a profile not there is reported
        // when a band is wanted from it.
        {"trip_unit",
         SyncScope::Everything,
         {},
         {},
         "model",
         true,
         {},
         {"trip_unit_delay", "trip_unit_id"},
         {}},
        // The test plans too, by a name-based id; their points go with them.
        {"test_plan",
         SyncScope::Everything,
         {},
         {},
         "name",
         true,
         {},
         {"test_plan_point", "plan_id"},
         {}},
        // The curve a breaker names may be gone from the other side (the office deleted it).
        {"breaker_curve",
         SyncScope::UnderParent,
         "breaker",
         "breaker_id",
         "kind",
         true,
         {},
         {},
         {"curve", "curve_id"}},
        {"session",
         SyncScope::UnderParent,
         "breaker",
         "breaker_id",
         "started_at",
         true,
         {},
         {},
         {}},
        {"test_point", SyncScope::UnderParent, "session", "session_id", "kind", true, {}, {}, {}},
        // A session's checklist ticks and the dated notes that correct it (never edited).
        {"session_check",
         SyncScope::UnderParent,
         "session",
         "session_id",
         "item",
         true,
         {},
         {},
         {}},
        {"session_note",
         SyncScope::UnderParent,
         "session",
         "session_id",
         "written_at",
         false,
         {},
         {},
         {}},
        {"shot",
         SyncScope::UnderParent,
         "test_point",
         "test_point_id",
         "taken_at",
         false,
         "waveform_id",
         {},
         {}},
    };
    return tables;
}

namespace sql {

BoundSql syncKeysUnder(const SyncTable& t, const std::vector<std::string>& parentIds) {
    BoundSql b;
    b.text = keyColumns(t) + " WHERE " + t.parentColumn + in(parentIds, b.values);
    return b;
}

BoundSql syncKeysOf(const SyncTable& t, const std::vector<std::string>& ids,
                    const std::vector<std::string>& names) {
    BoundSql b;
    std::string where;
    if (!ids.empty()) where = "id" + in(ids, b.values);
    if (!names.empty()) where += (where.empty() ? "" : " OR ") + t.label + in(names, b.values);
    b.text = keyColumns(t) + " WHERE " + (where.empty() ? "1 = 0" : where);
    return b;
}

BoundSql syncKeysAll(const SyncTable& t) {
    return {keyColumns(t), {}};
}

BoundSql syncRows(const SyncTable& t, const std::vector<std::string>& columns,
                  const std::vector<std::string>& ids) {
    BoundSql b;
    b.text = "SELECT " + joined(columns) + " FROM " + t.name + " WHERE id" + in(ids, b.values);
    return b;
}

BoundSql syncInsert(const SyncTable& t, const std::vector<std::string>& columns,
                    std::vector<QVariant> values, std::size_t rows) {
    BoundSql b;
    b.text = "INSERT INTO " + t.name + " (" + joined(columns) + ") VALUES ";
    for (std::size_t i = 0; i < rows; ++i)
        b.text += (i ? ", " : "") + row(columns.size());
    b.text += " ON CONFLICT (id) DO NOTHING";
    b.values = std::move(values);
    return b;
}

namespace {

// Every column but the id takes its value, where the id and the condition hold; the
// condition's values follow the id's.
BoundSql updateWhere(const std::string& table, const std::vector<std::string>& columns,
                     std::vector<QVariant> values, const std::string& condition) {
    BoundSql b;
    b.text = "UPDATE " + table + " SET ";
    QVariant id;
    std::vector<QVariant> set;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i] == "id") {
            id = values[i];
            continue;
        }
        b.text += std::string(set.empty() ? "" : ", ") + columns[i] + " = ?";
        set.push_back(values[i]);
    }
    b.text += " WHERE id = ? AND " + condition;
    b.values = std::move(set);
    b.values.push_back(id);
    return b;
}

} // namespace

BoundSql syncUpdate(const SyncTable& t, const std::vector<std::string>& columns,
                    std::vector<QVariant> values, const std::string& expectedUpdatedAt) {
    BoundSql b = updateWhere(t.name, columns, std::move(values), "updated_at = ?");
    b.values.push_back(text(expectedUpdatedAt));
    return b;
}

BoundSql syncApproval(const std::vector<std::string>& columns, std::vector<QVariant> values) {
    return updateWhere("session", columns, std::move(values), "approved_at IS NULL");
}

BoundSql approvedSessions(const std::vector<std::string>& ids) {
    BoundSql b;
    b.text = "SELECT id FROM session WHERE approved_at IS NOT NULL AND id" + in(ids, b.values);
    return b;
}

BoundSql ownedRows(const OwnedRows& o, const std::vector<std::string>& columns,
                   const std::vector<std::string>& ownerIds) {
    BoundSql b;
    b.text = "SELECT " + joined(columns) + " FROM " + o.table + " WHERE " + o.column +
             in(ownerIds, b.values);
    return b;
}

BoundSql deleteOwnedRows(const OwnedRows& o, const std::vector<std::string>& ownerIds) {
    BoundSql b;
    b.text = "DELETE FROM " + o.table + " WHERE " + o.column + in(ownerIds, b.values);
    return b;
}

BoundSql insertOwnedRows(const OwnedRows& o, const std::vector<std::string>& columns,
                         std::vector<QVariant> values, std::size_t rows) {
    BoundSql b;
    b.text = "INSERT INTO " + o.table + " (" + joined(columns) + ") VALUES ";
    for (std::size_t i = 0; i < rows; ++i)
        b.text += (i ? ", " : "") + row(columns.size());
    b.values = std::move(values);
    return b;
}

BoundSql syncStateOf(const std::string& peer, const std::string& table) {
    return {"SELECT id, updated_at FROM sync_state WHERE peer = ? AND table_name = ?",
            {text(peer), text(table)}};
}

BoundSql saveSyncState(const std::string& peer, const std::string& table,
                       const std::vector<std::pair<std::string, std::string>>& rows) {
    BoundSql b;
    b.text = "INSERT INTO sync_state (peer, table_name, id, updated_at) VALUES ";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        b.text += (i ? ", " : "") + row(4);
        b.values.insert(b.values.end(),
                        {text(peer), text(table), text(rows[i].first), text(rows[i].second)});
    }
    b.text += " ON CONFLICT (peer, table_name, id) DO UPDATE SET updated_at = excluded.updated_at";
    return b;
}

BoundSql waveformsPresent(const std::vector<std::string>& ids) {
    BoundSql b;
    b.text = "SELECT id FROM waveform WHERE id" + in(ids, b.values);
    return b;
}

BoundSql waveformRows(const std::vector<std::string>& ids) {
    BoundSql b;
    b.text = "SELECT id, size_bytes, bytes FROM waveform WHERE id" + in(ids, b.values);
    return b;
}

BoundSql insertWaveforms(std::vector<QVariant> values, std::size_t rows) {
    BoundSql b;
    b.text = "INSERT INTO waveform (id, size_bytes, bytes) VALUES ";
    for (std::size_t i = 0; i < rows; ++i)
        b.text += (i ? ", " : "") + row(3);
    b.text += " ON CONFLICT (id) DO NOTHING";
    b.values = std::move(values);
    return b;
}

BoundSql roleRights() {
    std::vector<std::string> adds{"waveform"}, edits;
    for (const SyncTable& t : syncTables()) {
        adds.push_back(t.name);
        if (!t.owned.table.empty()) adds.push_back(t.owned.table);
        if (t.editable) edits.push_back(t.name);
    }
    auto all = [](const std::vector<std::string>& tables, const char* right) {
        std::string s;
        for (const std::string& t : tables)
            s += (s.empty() ? "(" : " AND ") + std::string("has_table_privilege('") + t + "', '" +
                 right + "')";
        return s + ")";
    };
    return {"SELECT current_user, " + all(adds, "INSERT") + ", " + all(edits, "UPDATE") +
                ", has_table_privilege('shot', 'DELETE')",
            {}};
}

BoundSql sessionApprovedAt(const std::string& sessionId) {
    return {"SELECT approved_at FROM session WHERE id = ?", {QString::fromStdString(sessionId)}};
}

BoundSql sessionOfTestPoint(const std::string& testPointId) {
    return {"SELECT session_id FROM test_point WHERE id = ?",
            {QString::fromStdString(testPointId)}};
}

} // namespace sql

} // namespace qarn3
