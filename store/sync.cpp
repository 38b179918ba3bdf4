#include "store/sync.h"

#include "records/syncplan.h"
#include "store/sql_sync.h"
#include "store/sync_dependents.h"

#include <QSqlQuery>

#include <algorithm>
#include <iterator>
#include <map>
#include <unordered_map>

namespace qarn3 {

namespace {

using syncdependents::chunks;
using syncdependents::kIdsPerQuery;

using Row = std::vector<QVariant>;

// What a sync does to one table: the plan, and the columns that carry its rows.
struct TablePlan {
    const SyncTable* table = nullptr;
    std::vector<std::string> columns, ownedColumns;
    SyncTablePlan rows;
};

class Syncer {
public:
    Syncer(RecordsDatabase& local, RecordsDatabase& shared, const SyncOptions& options,
           const SyncHooks& hooks)
        : m_local(local), m_shared(shared), m_options(options), m_hooks(hooks) {}

    SyncReport run() {
        if (!check()) return m_report;
        const auto& tables = syncTables();
        std::vector<TablePlan> plans(tables.size());
        for (std::size_t i = 0; i < tables.size(); ++i) {
            if (stopped()) return m_report;
            report({SyncStage::Comparing, tables[i].name, static_cast<std::int64_t>(i),
                    static_cast<std::int64_t>(tables.size())});
            m_report.tables.push_back({tables[i].name});
            if (!compare(tables[i], plans[i], m_report.tables.back())) return m_report;
        }
        for (const TablePlan& p : plans)
            m_total +=
                static_cast<std::int64_t>(p.rows.send.size() + p.rows.receive.size() +
                                          p.rows.sendEdits.size() + p.rows.receiveEdits.size());
        for (std::size_t i = 0; i < plans.size(); ++i) {
            TablePlan& p = plans[i];
            SyncTableCounts& counts = m_report.tables[i];
            if (!recordAgreement(p.table->name, p.rows.agreed) || !moveNew(p, true, counts.sent) ||
                !moveEdits(p, true, counts.updatedThere) || !moveNew(p, false, counts.received) ||
                !moveEdits(p, false, counts.updatedHere))
                return m_report;
        }
        for (const TablePlan& p : plans)
            if (p.table->name == "session" && !moveApprovals(p)) return m_report;
        m_report.ok = true;
        return m_report;
    }

private:
    bool check() {
        RecordsError e;
        for (RecordsDatabase* db : {&m_local, &m_shared})
            if (db->readOnly())
                return fail({RecordsErrorKind::ReadOnly,
                             {},
                             "The records database " + db->location().display() +
                                 " is open read-only: nothing was synced"});
        const int localVersion = m_local.schemaVersion(e),
                  sharedVersion = m_shared.schemaVersion(e);
        if (e) return fail(e);
        if (localVersion != sharedVersion)
            return fail({RecordsErrorKind::Failed,
                         {},
                         "The records databases have different schema versions (" +
                             std::to_string(localVersion) + " here, " +
                             std::to_string(sharedVersion) + " shared): nothing was synced"});
        m_peer = m_shared.identity(e);
        if (e) return fail(e);
        if (m_peer == m_local.identity(e))
            return fail({RecordsErrorKind::Failed, {}, "A database cannot sync with itself"});
        return !e || fail(e);
    }

    bool fail(const RecordsError& e) {
        m_report.error = e;
        return false;
    }

    bool stopped() {
        if (!m_hooks.cancel || !m_hooks.cancel->load()) return false;
        m_report.cancelled = true;
        fail({RecordsErrorKind::Failed,
              {},
              "The sync was cancelled; what it moved is kept and the next sync carries on"});
        return true;
    }

    void report(const SyncProgress& p) const {
        if (m_hooks.progress) m_hooks.progress(p);
    }

    // The keys of a table's rows in scope on one side; on the shared side, the top of the
    // tree is what the local side has (local) and the sites named.
    bool keys(RecordsDatabase& db, const SyncTable& t, const SyncKeys* local, SyncKeys& out) {
        std::vector<BoundSql> statements;
        if (t.scope == SyncScope::Everything || (t.scope == SyncScope::Sites && !local)) {
            statements.push_back(sql::syncKeysAll(t));
        } else if (t.scope == SyncScope::Sites) {
            std::vector<std::string> ids;
            for (const auto& [id, key] : *local)
                ids.push_back(id);
            if (ids.empty()) ids.push_back({}); // the names alone
            for (const auto& part : chunks(ids, kIdsPerQuery))
                statements.push_back(sql::syncKeysOf(t, part, m_options.siteNames));
        } else {
            for (const auto& part : chunks(m_scope[t.parentTable], kIdsPerQuery))
                statements.push_back(sql::syncKeysUnder(t, part));
        }
        RecordsError e;
        QSqlQuery q = db.query();
        for (const BoundSql& s : statements) {
            if (!db.run(q, s, e)) return fail(e);
            while (q.next())
                out[q.value(0).toString().toStdString()] = {
                    q.value(1).toString().toStdString(), q.value(2).toString().toStdString(),
                    q.value(3).toString().toStdString(), q.value(4).toString().toStdString()};
        }
        return true;
    }

    // The columns of a table in the local database's order, when both sides have the same.
    bool sameColumns(const std::string& table, std::vector<std::string>& columns) {
        columns = m_local.columnsOf(table);
        std::vector<std::string> here = columns, there = m_shared.columnsOf(table);
        std::sort(here.begin(), here.end());
        std::sort(there.begin(), there.end());
        if (!here.empty() && here == there) return true;
        return fail({RecordsErrorKind::Failed,
                     {},
                     "The table " + table + " differs between the records databases"});
    }

    bool lastAgreed(const SyncTable& t, SyncLastAgreed& out) {
        RecordsError e;
        QSqlQuery q = m_local.query();
        if (!m_local.run(q, sql::syncStateOf(m_peer, t.name), e)) return fail(e);
        while (q.next())
            out[q.value(0).toString().toStdString()] = q.value(1).toString().toStdString();
        return true;
    }

    // A table's side as the plan sees it; its keys are read next.
    SyncSide side(const SyncTable& t, bool shared) {
        SyncSide s;
        if (!t.parentTable.empty()) s.parents = &m_present[{t.parentTable, shared}];
        if (!t.reference.table.empty()) s.referenced = &m_present[{t.reference.table, shared}];
        return s;
    }

    bool compare(const SyncTable& t, TablePlan& plan, SyncTableCounts& counts) {
        plan.table = &t;
        if (!sameColumns(t.name, plan.columns) ||
            (!t.owned.table.empty() && !sameColumns(t.owned.table, plan.ownedColumns)))
            return false;
        SyncSide local = side(t, false), shared = side(t, true);
        SyncLastAgreed agreed;
        if (!keys(m_local, t, nullptr, local.keys) ||
            !keys(m_shared, t, &local.keys, shared.keys) || !lastAgreed(t, agreed))
            return false;
        plan.rows = planSyncTable(local, shared, agreed, {m_options.resend});
        SyncTablePlan& p = plan.rows;
        counts.deletedThere = p.deletedThere;
        counts.notSent = p.notSent;
        counts.deletedHere = p.deletedHere;
        for (const SyncPlanConflict& c : p.conflicts)
            m_report.conflicts.push_back(
                {t.name, c.id, c.label, c.localUpdatedAt, c.sharedUpdatedAt, c.localKept});
        std::vector<std::string>& scope = m_scope[t.name];
        scope.insert(scope.end(), std::make_move_iterator(p.scope.begin()),
                     std::make_move_iterator(p.scope.end()));
        p.scope.clear();
        m_present[{t.name, false}].merge(p.heldLocal);
        m_present[{t.name, true}].merge(p.heldShared);
        return true;
    }

    bool readRows(RecordsDatabase& from, const TablePlan& p, const std::vector<std::string>& ids,
                  std::vector<Row>& rows) {
        rows.clear();
        RecordsError e;
        QSqlQuery q = from.query();
        if (!from.run(q, sql::syncRows(*p.table, p.columns, ids), e)) return fail(e);
        while (q.next()) {
            Row r;
            for (std::size_t c = 0; c < p.columns.size(); ++c)
                r.push_back(q.value(static_cast<int>(c)));
            rows.push_back(std::move(r));
        }
        return true;
    }

    // The column's place among the plan's, or npos.
    static std::size_t columnOf(const TablePlan& p, const std::string& name) {
        const auto c = std::find(p.columns.begin(), p.columns.end(), name);
        return c == p.columns.end() ? std::string::npos
                                    : static_cast<std::size_t>(c - p.columns.begin());
    }

    // When the session on the receiving side was approved (empty: it was not, or is not there).
    bool approvedAtOf(RecordsDatabase& db, const std::string& sessionId, std::string& at) {
        RecordsError e;
        QSqlQuery q = db.query();
        at.clear();
        if (!db.run(q, sql::sessionApprovedAt(sessionId), e)) return fail(e);
        if (q.next() && !q.value(0).isNull()) at = q.value(0).toString().toStdString();
        return true;
    }

    // The rows the receiving side's approval refuses, taken out of rows and reported: an edit of
    // an approved session, a row added to it or changed in it. The database would refuse them
    // itself (and, on PostgreSQL, the whole batch with them). A session's rows travel without
    // its approval, which goes last (moveApprovals), so that its own rows can still arrive.
    bool takeOutApproved(RecordsDatabase& from, RecordsDatabase& to, const TablePlan& p,
                         std::vector<Row>& rows, bool toShared) {
        const std::string& table = p.table->name;
        const bool own = table == "session";
        if (!own && table != "test_point" && table != "shot" && table != "session_check")
            return true;
        const std::size_t label = columnOf(p, p.table->label);
        std::vector<Row> kept;
        for (Row& r : rows) {
            std::string session = r[0].toString().toStdString();
            if (table == "shot") {
                RecordsError e;
                QSqlQuery q = from.query();
                if (!from.run(q,
                              sql::sessionOfTestPoint(
                                  r[columnOf(p, "test_point_id")].toString().toStdString()),
                              e))
                    return fail(e);
                session = q.next() ? q.value(0).toString().toStdString() : std::string();
            } else if (!own) {
                session = r[columnOf(p, "session_id")].toString().toStdString();
            }
            std::string at;
            if (!approvedAtOf(to, session, at)) return false;
            if (at.empty()) {
                kept.push_back(std::move(r));
                continue;
            }
            m_report.refused.push_back(
                {table, r[0].toString().toStdString(),
                 label == std::string::npos ? std::string() : r[label].toString().toStdString(),
                 toShared, "session " + session + " was approved at " + at});
        }
        rows = std::move(kept);
        if (own) {
            const std::size_t by = columnOf(p, "approved_by"), at = columnOf(p, "approved_at");
            for (Row& r : rows) {
                r[by] = QStringLiteral("");
                r[at] = QVariant(QMetaType(QMetaType::QString));
            }
        }
        return true;
    }

    // The sessions approved on one side of those in the sync.
    bool approvedIn(RecordsDatabase& db, const std::vector<std::string>& ids, SyncIds& out) {
        RecordsError e;
        QSqlQuery q = db.query();
        for (const auto& part : chunks(ids, kIdsPerQuery)) {
            if (!db.run(q, sql::approvedSessions(part), e)) return fail(e);
            while (q.next())
                out.insert(q.value(0).toString().toStdString());
        }
        return true;
    }

    // Last, each approval one side lacks: the approved session's row as it stands, over any
    // edit of it there (the approved copy wins; the edit was refused or is reported).
    bool moveApprovals(const TablePlan& p) {
        const auto found = m_scope.find("session");
        if (found == m_scope.end()) return true;
        SyncIds here, there;
        if (!approvedIn(m_local, found->second, here) ||
            !approvedIn(m_shared, found->second, there))
            return false;
        for (const bool toShared : {true, false}) {
            std::vector<std::string> ids;
            for (const std::string& id : toShared ? here : there)
                if (!(toShared ? there : here).count(id)) ids.push_back(id);
            std::sort(ids.begin(), ids.end());
            SyncIds moved;
            for (const auto& part : chunks(ids, kIdsPerQuery)) {
                std::vector<Row> rows;
                if (!readRows(toShared ? m_local : m_shared, p, part, rows)) return false;
                const bool ok = inTransaction(
                    toShared, p.table->name, [&](RecordsDatabase& to, SyncAgreement& agreed) {
                        RecordsError e;
                        QSqlQuery q = to.query();
                        for (const Row& r : rows) {
                            if (!to.run(q, sql::syncApproval(p.columns, r), e)) return fail(e);
                            if (q.numRowsAffected() != 1)
                                continue; // not there, or approved meanwhile
                            const std::string id = r[0].toString().toStdString();
                            agreed.emplace_back(id, updatedAtOf(p, r));
                            moved.insert(id);
                        }
                        return true;
                    });
                if (!ok) return false;
            }
            for (SyncConflict& c : m_report.conflicts)
                if (c.table == p.table->name && moved.count(c.id)) c.localKept = toShared;
        }
        return true;
    }

    // The waveforms the rows name, each once.
    static std::vector<std::string> waveformsOf(const TablePlan& p, const std::vector<Row>& rows) {
        std::vector<std::string> wanted;
        const auto column = std::find(p.columns.begin(), p.columns.end(), p.table->waveformColumn);
        if (column == p.columns.end()) return wanted;
        const auto at = static_cast<std::size_t>(column - p.columns.begin());
        for (const Row& r : rows)
            if (!r[at].isNull() && !r[at].toString().isEmpty())
                wanted.push_back(r[at].toString().toStdString());
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
        return wanted;
    }

    // Sending, the waveforms the rows name that the shared database lacks, copied inside its
    // open transaction. Receiving, they were read from the server before the local
    // transaction began (fetched): the laptop's database is not held while the network
    // carries them, so that the program's shot writer never waits for a slow link.
    bool moveWaveforms(RecordsDatabase& from, RecordsDatabase& to, const TablePlan& p,
                       const std::vector<Row>& rows,
                       std::vector<syncdependents::WaveformRow>& fetched, std::int64_t& moved) {
        RecordsError e =
            &to == &m_local
                ? syncdependents::insertWaveformRows(to, fetched, moved)
                : syncdependents::copyMissingWaveforms(from, to, waveformsOf(p, rows), moved);
        return !e || fail(e);
    }

    bool replaceOwned(RecordsDatabase& from, RecordsDatabase& to, const TablePlan& p,
                      const std::vector<std::string>& ownerIds) {
        if (RecordsError e = syncdependents::replaceOwnedRows(from, to, p.table->owned,
                                                              p.ownedColumns, ownerIds))
            return fail(e);
        return true;
    }

    // Of the rows just inserted, those the target now holds as they were sent (not a row of
    // the same id that arrived there meanwhile, whose owned rows are its own).
    bool insertedAsSent(RecordsDatabase& to, const TablePlan& p, const std::vector<Row>& rows,
                        std::vector<std::string>& ids) {
        if (p.table->owned.table.empty()) return true;
        std::unordered_map<std::string, std::string> sent;
        for (const Row& r : rows)
            sent[r[0].toString().toStdString()] = updatedAtOf(p, r);
        std::vector<std::string> all;
        for (const auto& [id, updatedAt] : sent)
            all.push_back(id);
        RecordsError e;
        QSqlQuery q = to.query();
        for (const auto& part : chunks(all, kIdsPerQuery)) {
            if (!to.run(q, sql::syncKeysOf(*p.table, part, {}), e)) return fail(e);
            while (q.next()) {
                const std::string id = q.value(0).toString().toStdString();
                if (sent[id] == q.value(1).toString().toStdString()) ids.push_back(id);
            }
        }
        return true;
    }

    // Records in the local database that both sides hold the rows as they are now.
    bool recordAgreement(const std::string& table, const SyncAgreement& rows,
                         bool inTransaction = false) {
        if (rows.empty()) return true;
        RecordsError e;
        if (!inTransaction && (e = m_local.beginWrite())) return fail(e);
        QSqlQuery q = m_local.query();
        for (const auto& part : chunks(rows, m_local.dialect().valuesPerStatement() / 4)) {
            if (m_local.run(q, sql::saveSyncState(m_peer, table, part), e)) continue;
            if (!inTransaction) m_local.rollback();
            return fail(e);
        }
        q.finish();
        if (!inTransaction && (e = m_local.commit())) return fail(e);
        return true;
    }

    std::string updatedAtOf(const TablePlan& p, const Row& r) const {
        const auto at = std::find(p.columns.begin(), p.columns.end(), "updated_at");
        if (!p.table->editable || at == p.columns.end()) return {};
        return r[static_cast<std::size_t>(at - p.columns.begin())].toString().toStdString();
    }

    // Applies a batch in the target's transaction; sending, the agreement is recorded after
    // the shared database committed, receiving in the same local transaction.
    bool inTransaction(bool toShared, const std::string& table,
                       const std::function<bool(RecordsDatabase&, SyncAgreement&)>& apply) {
        RecordsDatabase& to = toShared ? m_shared : m_local;
        RecordsError e;
        if ((e = to.beginWrite())) return fail(e);
        SyncAgreement agreed;
        if (!apply(to, agreed) || (!toShared && !recordAgreement(table, agreed, true))) {
            to.rollback();
            return false;
        }
        if ((e = to.commit())) return fail(e);
        return !toShared || recordAgreement(table, agreed);
    }

    bool moveNew(const TablePlan& p, bool toShared, std::int64_t& counted) {
        RecordsDatabase& from = toShared ? m_local : m_shared;
        const SyncStage stage = toShared ? SyncStage::Sending : SyncStage::Receiving;
        std::int64_t& waveforms = toShared ? m_report.waveformsSent : m_report.waveformsReceived;
        for (const auto& part :
             chunks(toShared ? p.rows.send : p.rows.receive,
                    static_cast<std::size_t>(std::max(1, m_options.batchRows)))) {
            if (stopped()) return false;
            std::vector<Row> rows;
            if (!readRows(from, p, part, rows) ||
                !takeOutApproved(from, toShared ? m_shared : m_local, p, rows, toShared))
                return false;
            std::vector<syncdependents::WaveformRow> fetched;
            if (!toShared) {
                if (RecordsError e = syncdependents::fetchMissingWaveforms(
                        from, m_local, waveformsOf(p, rows), fetched))
                    return fail(e);
            }
            std::int64_t movedWaveforms = 0;
            const bool ok = inTransaction(
                toShared, p.table->name, [&](RecordsDatabase& to, SyncAgreement& agreed) {
                    if (!moveWaveforms(from, to, p, rows, fetched, movedWaveforms)) return false;
                    const std::size_t perStatement = std::max<std::size_t>(
                        1, to.dialect().valuesPerStatement() / p.columns.size());
                    RecordsError e;
                    QSqlQuery q = to.query();
                    for (const auto& some : chunks(rows, perStatement)) {
                        std::vector<QVariant> values;
                        for (const Row& r : some) {
                            values.insert(values.end(), r.begin(), r.end());
                            agreed.emplace_back(r[0].toString().toStdString(), updatedAtOf(p, r));
                        }
                        if (!to.run(q,
                                    sql::syncInsert(*p.table, p.columns, std::move(values),
                                                    some.size()),
                                    e))
                            return fail(e);
                    }
                    std::vector<std::string> owners;
                    return insertedAsSent(to, p, rows, owners) && replaceOwned(from, to, p, owners);
                });
            if (!ok) return false;
            waveforms += movedWaveforms;
            counted += static_cast<std::int64_t>(rows.size());
            m_done += static_cast<std::int64_t>(part.size());
            report({stage, p.table->name, m_done, m_total});
        }
        return true;
    }

    bool moveEdits(const TablePlan& p, bool toShared, std::int64_t& counted) {
        RecordsDatabase& from = toShared ? m_local : m_shared;
        const SyncStage stage = toShared ? SyncStage::Sending : SyncStage::Receiving;
        for (const auto& part :
             chunks(toShared ? p.rows.sendEdits : p.rows.receiveEdits,
                    static_cast<std::size_t>(std::max(1, m_options.batchRows)))) {
            if (stopped()) return false;
            std::vector<std::string> ids;
            std::unordered_map<std::string, std::string> expected;
            for (const SyncEdit& edit : part) {
                ids.push_back(edit.id);
                expected[edit.id] = edit.expected;
            }
            std::vector<Row> rows;
            if (!readRows(from, p, ids, rows) ||
                !takeOutApproved(from, toShared ? m_shared : m_local, p, rows, toShared))
                return false;
            const bool ok = inTransaction(
                toShared, p.table->name, [&](RecordsDatabase& to, SyncAgreement& agreed) {
                    RecordsError e;
                    QSqlQuery q = to.query();
                    std::vector<std::string> owners;
                    for (const Row& r : rows) {
                        const std::string id = r[0].toString().toStdString();
                        if (!to.run(q, sql::syncUpdate(*p.table, p.columns, r, expected[id]), e))
                            return fail(e);
                        // Changed again meanwhile: the next sync compares anew.
                        if (q.numRowsAffected() != 1) continue;
                        agreed.emplace_back(id, updatedAtOf(p, r));
                        owners.push_back(id);
                        ++counted;
                    }
                    return replaceOwned(from, to, p, owners);
                });
            if (!ok) return false;
            m_done += static_cast<std::int64_t>(part.size());
            report({stage, p.table->name, m_done, m_total});
        }
        return true;
    }

    RecordsDatabase& m_local;
    RecordsDatabase& m_shared;
    const SyncOptions& m_options;
    const SyncHooks& m_hooks;
    SyncReport m_report;
    std::string m_peer;
    // Ids of each table in the sync (on either side): the parents of the next table's rows.
    std::unordered_map<std::string, std::vector<std::string>> m_scope;
    // Ids each side holds once the sync is done, by table and side (true: shared).
    std::map<std::pair<std::string, bool>, SyncIds> m_present;
    std::int64_t m_done = 0, m_total = 0;
};

} // namespace

SyncReport syncDatabases(RecordsDatabase& local, RecordsDatabase& shared,
                         const SyncOptions& options, const SyncHooks& hooks) {
    return Syncer(local, shared, options, hooks).run();
}

SyncReport syncRecords(const DatabaseLocation& local, const DatabaseLocation& shared,
                       const SyncOptions& options, const SyncHooks& hooks,
                       const OpenOptions& sharedOptions) {
    SyncReport r;
    RecordsDatabase here(local);
    OpenReport opened = here.open();
    r.notes = opened.notes;
    if (!opened.ok) {
        r.error = opened.error;
        return r;
    }
    RecordsDatabase there(shared, sharedOptions);
    opened = there.open();
    r.notes.insert(r.notes.end(), opened.notes.begin(), opened.notes.end());
    if (!opened.ok) {
        r.error = opened.error;
        return r;
    }
    std::vector<std::string> notes = std::move(r.notes);
    r = syncDatabases(here, there, options, hooks);
    r.notes = std::move(notes);
    return r;
}

} // namespace qarn3
