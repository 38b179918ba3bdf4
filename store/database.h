#pragma once

#include "records/error.h"
#include "records/location.h"
#include "records/validation.h"
#include "store/sql.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

class FileOwners;

// Asks the operator for a server's password when the client library found none in its own
// sources (~/.pgpass, PGPASSFILE, PGPASSWORD). Called on the thread that opens the database,
// which waits for the answer: a window asks on its own thread and hands the answer back (a
// blocking queued call from the worker). The answer serves one connection and is forgotten.
class DatabasePasswordPrompt {
public:
    virtual ~DatabasePasswordPrompt() = default;
    // The password of the location's user, or nothing when the operator declines.
    virtual std::optional<std::string> askPassword(const DatabaseLocation& where) = 0;
};

struct OpenOptions {
    // A damaged file is renamed aside and a new database made; false: the open fails with
    // Damaged and the file is left as it is (a command that only reads makes no new file).
    bool setAsideDamaged = true;
    int busyTimeoutMs = 5000; // how long a database locked by another program is waited for
    bool fullSync = true;     // every commit reaches the disk before it returns
    bool fullCheck = false;   // read every page at open (after a write found damage)
    DatabasePasswordPrompt* passwordPrompt =
        nullptr; // for a server; none: no password is asked for
    // Who owns the file and its journals, and for whom the program acts; none: the system's.
    const FileOwners* owners = nullptr;
};

// What opening found; notes are for the operator (a damaged file set aside, read-only).
struct OpenReport {
    bool ok = false;
    bool readOnly = false;
    int schemaVersion = 0;
    std::vector<std::string> notes;
    RecordsError error;
};

// One connection to the records database, made, checked and brought to the newest schema
// when it opens. Qt SQL connections belong to one thread: use an object only on the thread
// that opened it (each thread opens its own).
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
    const SqlDialect& dialect() const { return m_dialect; }

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
    QSqlQuery query() const { return QSqlQuery(m_db); }
    bool run(QSqlQuery& q, const BoundSql& statement, RecordsError& error);
    bool run(const std::string& statement, RecordsError& error);
    RecordsError beginWrite();
    RecordsError commit();
    void rollback();
    // The driver's error as the records say it; doing names what was being done.
    RecordsError errorOf(const QSqlError& e, const std::string& doing) const;

private:
    bool connect(bool readOnlyOpen, RecordsError& error);
    bool connectServer(RecordsError& error);
    // Drops the driver's copy of the connection's options once it is open, wiped.
    void forgetConnectOptions();
    void disconnect();
    OpenReport openFile(bool afterSetAside);
    // The connection's settings and, when writable, the schema brought up to date.
    bool setUp(bool writable, int& version, RecordsError& error);
    OpenReport openServer();
    bool setAside(std::string& newName, RecordsError& error);
    // Damaged, naming this database: "The records database X is damaged: reason".
    RecordsError damaged(const std::string& reason) const;
    // Refused when the file is not the records' own database; nothing of it is changed.
    RecordsError checkOwnFile();

    DatabaseLocation m_where;
    // The database file with its links followed as the kernel allows (a SqliteFile's path).
    std::string m_file;
    OpenOptions m_options;
    SqlDialect m_dialect;
    std::string m_name; // the Qt connection's
    QSqlDatabase m_db;
    bool m_open = false;
    bool m_readOnly = false;
};

} // namespace qarn3
