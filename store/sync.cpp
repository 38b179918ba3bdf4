#include "store/sync.h"

#include "store/sql_sync.h"
#include "store/sync_dependents.h"

#include <QSqlQuery>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace qarn3 {

namespace {

using syncdependents::chunks;
using syncdependents::kIdsPerQuery;

struct Key {
    std::string updatedAt; // '' for a row never edited
    std::string parent;
    std::string label;
    std::string reference; // the row it names besides its parent ('' for none)
};
using Keys = std::map<std::string, Key>; // by id: batches come in a stable order
using Row = std::vector<QVariant>;
using Agreement = std::vector<std::pair<std::string, std::string>>; // id, updated_at

// A row edited on one side: the target must still hold `expected` for the edit to land.
struct Edit {
    std::string id;
    std::string expected;
};

// What a sync does to one table, decided by comparing both sides with what they last
// agreed on.
struct TablePlan {
    const SyncTable* table = nullptr;
    std::vector<std::string> columns, ownedColumns;
    std::vector<std::string> send, receive;
    std::vector<Edit> sendEdits, receiveEdits;
    Agreement agreed; // equal on both sides, not yet recorded as agreed
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
            m_total += static_cast<std::int64_t>(p.send.size() + p.receive.size() +
                                                 p.sendEdits.size() + p.receiveEdits.size());
        for (std::size_t i = 0; i < plans.size(); ++i) {
            TablePlan& p = plans[i];
            SyncTableCounts& counts = m_report.tables[i];
            if (!recordAgreement(p.table->name, p.agreed) || !moveNew(p, true, counts.sent) ||
                !moveEdits(p, true, counts.updatedThere) || !moveNew(p, false, counts.received) ||
                !moveEdits(p, false, counts.updatedHere))
                return m_report;
        }
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
    bool keys(RecordsDatabase& db, const SyncTable& t, const Keys* local, Keys& out) {
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

    bool compare(const SyncTable& t, TablePlan& plan, SyncTableCounts& counts) {
        plan.table = &t;
        plan.columns = m_local.columnsOf(t.name);
        std::vector<std::string> sharedColumns = m_shared.columnsOf(t.name);
        std::vector<std::string> sorted = plan.columns;
        std::sort(sorted.begin(), sorted.end());
        std::sort(sharedColumns.begin(), sharedColumns.end());
        if (plan.columns.empty() || sorted != sharedColumns)
            return fail({RecordsErrorKind::Failed,
                         {},
                         "The table " + t.name + " differs between the records databases"});
        if (!t.owned.table.empty()) {
            plan.ownedColumns = m_local.columnsOf(t.owned.table);
            sorted = plan.ownedColumns;
            sharedColumns = m_shared.columnsOf(t.owned.table);
            std::sort(sorted.begin(), sorted.end());
            std::sort(sharedColumns.begin(), sharedColumns.end());
            if (sorted.empty() || sorted != sharedColumns)
                return fail(
                    {RecordsErrorKind::Failed,
                     {},
                     "The table " + t.owned.table + " differs between the records databases"});
        }
        Keys local, shared;
        if (!keys(m_local, t, nullptr, local) || !keys(m_shared, t, &local, shared)) return false;
        std::unordered_map<std::string, std::string> base;
        {
            RecordsError e;
            QSqlQuery q = m_local.query();
            if (!m_local.run(q, sql::syncStateOf(m_peer, t.name), e)) return fail(e);
            while (q.next())
                base[q.value(0).toString().toStdString()] = q.value(1).toString().toStdString();
        }
        auto& onShared = m_present[{t.name, true}];
        auto& onLocal = m_present[{t.name, false}];
        const auto* parentsShared =
            t.parentTable.empty() ? nullptr : &m_present[{t.parentTable, true}];
        const auto* parentsLocal =
            t.parentTable.empty() ? nullptr : &m_present[{t.parentTable, false}];
        // A row naming a row the side it would go to lacks (a curve the office deleted) would
        // be refused there, and with it every later batch: it stays where it is.
        auto namedRowMissing = [&](const Key& k, bool onSharedSide) {
            if (t.reference.table.empty() || k.reference.empty()) return false;
            return !m_present[{t.reference.table, onSharedSide}].count(k.reference);
        };
        std::vector<std::string>& scope = m_scope[t.name];

        for (const auto& [id, l] : local) {
            scope.push_back(id);
            onLocal.insert(id);
            const auto s = shared.find(id);
            const auto b = base.find(id);
            if (s == shared.end()) {
                if (b != base.end() && !m_options.resend) {
                    ++counts.deletedThere;
                } else if ((parentsShared && !parentsShared->count(l.parent)) ||
                           namedRowMissing(l, true)) {
                    ++counts.notSent;
                } else {
                    plan.send.push_back(id);
                    onShared.insert(id);
                }
                continue;
            }
            onShared.insert(id);
            if (l.updatedAt == s->second.updatedAt) {
                if (b == base.end() || b->second != l.updatedAt)
                    plan.agreed.emplace_back(id, l.updatedAt);
                continue;
            }
            const bool changedHere = b == base.end() || b->second != l.updatedAt;
            const bool changedThere = b == base.end() || b->second != s->second.updatedAt;
            const bool localWins =
                changedHere && (!changedThere || l.updatedAt > s->second.updatedAt);
            if (localWins ? namedRowMissing(l, true) : namedRowMissing(s->second, false)) {
                ++(localWins ? counts.notSent : counts.deletedHere);
                continue;
            }
            if (changedHere && changedThere)
                m_report.conflicts.push_back(
                    {t.name, id, l.label, l.updatedAt, s->second.updatedAt, localWins});
            if (localWins)
                plan.sendEdits.push_back({id, s->second.updatedAt});
            else
                plan.receiveEdits.push_back({id, l.updatedAt});
        }
        for (const auto& [id, s] : shared) {
            if (local.count(id)) continue;
            scope.push_back(id);
            onShared.insert(id);
            if (base.count(id) || (parentsLocal && !parentsLocal->count(s.parent)) ||
                namedRowMissing(s, false)) {
                ++counts.deletedHere;
                continue;
            }
            plan.receive.push_back(id);
            onLocal.insert(id);
        }
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
    bool recordAgreement(const std::string& table, const Agreement& rows,
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
                       const std::function<bool(RecordsDatabase&, Agreement&)>& apply) {
        RecordsDatabase& to = toShared ? m_shared : m_local;
        RecordsError e;
        if ((e = to.beginWrite())) return fail(e);
        Agreement agreed;
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
             chunks(toShared ? p.send : p.receive,
                    static_cast<std::size_t>(std::max(1, m_options.batchRows)))) {
            if (stopped()) return false;
            std::vector<Row> rows;
            if (!readRows(from, p, part, rows)) return false;
            std::vector<syncdependents::WaveformRow> fetched;
            if (!toShared) {
                if (RecordsError e = syncdependents::fetchMissingWaveforms(
                        from, m_local, waveformsOf(p, rows), fetched))
                    return fail(e);
            }
            std::int64_t movedWaveforms = 0;
            const bool ok =
                inTransaction(toShared, p.table->name, [&](RecordsDatabase& to, Agreement& agreed) {
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
             chunks(toShared ? p.sendEdits : p.receiveEdits,
                    static_cast<std::size_t>(std::max(1, m_options.batchRows)))) {
            if (stopped()) return false;
            std::vector<std::string> ids;
            std::unordered_map<std::string, std::string> expected;
            for (const Edit& edit : part) {
                ids.push_back(edit.id);
                expected[edit.id] = edit.expected;
            }
            std::vector<Row> rows;
            if (!readRows(from, p, ids, rows)) return false;
            const bool ok =
                inTransaction(toShared, p.table->name, [&](RecordsDatabase& to, Agreement& agreed) {
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
    std::map<std::pair<std::string, bool>, std::unordered_set<std::string>> m_present;
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
