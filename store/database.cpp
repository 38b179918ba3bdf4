#include "store/database.h"

#include "records/model.h"

#include <QSqlError>
#include <QSqlRecord>

namespace qarn3 {

RecordsDatabase::RecordsDatabase(DatabaseLocation where, OpenOptions options)
    : m_where(std::move(where)), m_options(options), m_backend(makeBackend(m_where, m_options)),
      m_connection("qarn3-records-" + newRecordId()) {}

RecordsDatabase::~RecordsDatabase() {
    close();
}

void RecordsDatabase::close() {
    m_connection.drop();
    m_open = false;
    m_readOnly = false;
}

OpenReport RecordsDatabase::open() {
    close();
    OpenReport r = m_backend->open(*this, m_connection);
    m_open = r.ok;
    m_readOnly = r.ok && r.readOnly;
    if (!r.ok) m_connection.drop();
    return r;
}

RecordsError RecordsDatabase::migrate(const std::vector<MigrationStep>& steps) {
    if (steps.empty()) return {};
    // Up to date: no write lock is taken, so another program's long write does not stop
    // the database from opening.
    RecordsError e;
    if (schemaVersion(e) >= steps.back().version || e) return e;
    if ((e = beginWrite())) return e;
    if (const std::string lock = dialect().migrationLock(); !lock.empty() && !run(lock, e)) {
        rollback();
        return e;
    }
    // Read again under the write lock: another program may have brought it up meanwhile.
    const int version = schemaVersion(e);
    if (e || version >= steps.back().version) {
        rollback();
        return e;
    }
    for (const MigrationStep& step : steps) {
        if (step.version <= version) continue;
        for (const std::string& statement : step.statements) {
            const std::string typed = dialect().typed(statement);
            if (typed.empty() || run(typed, e)) continue;
            rollback();
            if (e.kind == RecordsErrorKind::Denied) return e;
            e.message = "Cannot bring the records database " + m_where.display() +
                        " to schema version " + std::to_string(step.version) + ": " + e.message;
            return e;
        }
    }
    for (const std::string& s : dialect().writeVersion(steps.back().version)) {
        if (!run(s, e)) {
            rollback();
            return e;
        }
    }
    return commit();
}

int RecordsDatabase::schemaVersion(RecordsError& error) {
    QSqlQuery q = query();
    const std::string exists = dialect().versionTableExists();
    if (!exists.empty()) {
        if (!run(q, {exists, {}}, error) || !q.next()) return 0;
        if (q.value(0).toInt() == 0) return 0;
    }
    if (!run(q, {dialect().readVersion(), {}}, error)) return 0;
    return q.next() ? q.value(0).toInt() : 0;
}

RecordsError RecordsDatabase::integrityCheck() {
    return m_backend->integrityCheck(*this);
}

std::vector<std::string> RecordsDatabase::columnsOf(const std::string& table) const {
    std::vector<std::string> columns;
    const QSqlRecord record = m_connection.db().record(QString::fromStdString(table));
    for (int i = 0; i < record.count(); ++i)
        columns.push_back(record.fieldName(i).toStdString());
    return columns;
}

std::string RecordsDatabase::identity(RecordsError& error) {
    QSqlQuery q = query();
    RecordsError e;
    if (run(q, {dialect().identityQuery(), {}}, e) && q.next())
        return q.value(0).toString().toStdString();
    if (std::string named = m_backend->identityWithout(e); !named.empty()) return named;
    error = e;
    return {};
}

bool RecordsDatabase::run(QSqlQuery& q, const BoundSql& statement, RecordsError& error) {
    q.setForwardOnly(true);
    bool ok = false;
    // A server prepares only queries and changes of rows, not SET or BEGIN: a statement
    // without values runs as it is.
    if (statement.values.empty()) {
        ok = q.exec(QString::fromStdString(statement.text));
    } else if ((ok = q.prepare(QString::fromStdString(statement.text)))) {
        for (const QVariant& v : statement.values)
            q.addBindValue(v);
        ok = q.exec();
    }
    if (!ok) error = errorOf(q.lastError(), "The records database " + m_where.display());
    return ok;
}

bool RecordsDatabase::run(const std::string& statement, RecordsError& error) {
    QSqlQuery q = query();
    return run(q, {statement, {}}, error);
}

RecordsError RecordsDatabase::beginWrite() {
    RecordsError e;
    if (m_readOnly)
        return {RecordsErrorKind::ReadOnly,
                {},
                "The records database " + m_where.display() + " is open read-only"};
    run(dialect().beginWrite(), e);
    return e;
}

RecordsError RecordsDatabase::commit() {
    RecordsError e;
    if (!run(sql::commit(), e)) rollback();
    return e;
}

void RecordsDatabase::rollback() {
    RecordsError ignored;
    run(sql::rollback(), ignored);
}

RecordsError RecordsDatabase::errorOf(const QSqlError& e, const std::string& doing) const {
    return m_backend->classify(e, {RecordsErrorKind::Failed, {}, doing + ": " + driverText(e)});
}

} // namespace qarn3
