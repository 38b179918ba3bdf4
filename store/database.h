#pragma once

#include "records/error.h"
#include "records/location.h"
#include "records/validation.h"
#include "store/backend.h"
#include "store/sql.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <memory>
#include <string>
#include <vector>

namespace qarn3 {

// One connection to the records database, made, checked and brought to the newest schema
// when it opens. Qt SQL connections belong to one thread: use an object only on the thread
// that opened it (each thread opens its own). What differs between the engines (connecting,
// the checks at open, the errors, the dialect) is its backend's (store/backend.h).
class RecordsDatabase {
public:
    explicit RecordsDatabase(DatabaseLocation where, OpenOptions options = {});
    ~RecordsDatabase();
    RecordsDatabase(const RecordsDatabase&) = delete;
    RecordsDatabase& operator=(const RecordsDatabase&) = delete;

    // Opens the database, making it when missing. A file that is not a database, or a
    // damaged one, is renamed aside (QARN3.db.damaged-2026-12-08T153012Z, with its -wal and
    // -shm files) and a new one made; a newer schema or a file whose owner write bit is clear
    // opens read-only. Each of these leaves a note. A database file that is not the records'
    // own (another program's application id, or none in a file that holds tables or a
    // version) is refused before anything is written to it.
    OpenReport open();
    void close();
    bool isOpen() const { return m_open; }
    bool readOnly() const { return m_readOnly; }
    const DatabaseLocation& location() const { return m_where; }
    const SqlDialect& dialect() const { return m_backend->dialect(); }

    // Brings the schema to the last step's version, one transaction per run; public for tests
    // of the mechanism.
    RecordsError migrate(const std::vector<MigrationStep>& steps);
    // "ok", or Damaged with the first problem SQLite reports (and the database named).
    RecordsError integrityCheck();
    int schemaVersion(RecordsError& error);
    // The table's columns in their order; empty when there is no such table.
    std::vector<std::string> columnsOf(const std::string& table) const;
    // What names this database whatever the text that reached it: the file's absolute path,
    // or the server cluster's identifier and the database's name. Sync state is kept under it.
    std::string identity(RecordsError& error);

    // Statements on this connection.
    QSqlQuery query() const { return QSqlQuery(m_connection.db()); }
    bool run(QSqlQuery& q, const BoundSql& statement, RecordsError& error);
    bool run(const std::string& statement, RecordsError& error);
    RecordsError beginWrite();
    RecordsError commit();
    void rollback();
    // The driver's error as the records say it; doing names what was being done.
    RecordsError errorOf(const QSqlError& e, const std::string& doing) const;

private:
    DatabaseLocation m_where;
    OpenOptions m_options;
    std::unique_ptr<DatabaseBackend> m_backend; // holds references to m_where and m_options
    SqlConnection m_connection;
    bool m_open = false;
    bool m_readOnly = false;
};

} // namespace qarn3
