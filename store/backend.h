#pragma once

#include "records/error.h"
#include "records/location.h"
#include "store/sql.h"

#include <QSqlDatabase>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSqlError;

namespace qarn3 {

class FileOwners;
class RecordsDatabase;

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

// The Qt SQL connection of one records database, under a name of its own: made anew for each
// attempt to open, removed when the database closes.
class SqlConnection {
public:
    explicit SqlConnection(std::string name) : m_name(std::move(name)) {}
    ~SqlConnection() { drop(); }
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    // A new connection of the dialect's driver, not yet open, in place of the last one;
    // nothing when Qt SQL lacks the driver (the error says which package holds it).
    QSqlDatabase* make(const SqlDialect& dialect, RecordsError& error);
    void drop();
    QSqlDatabase& db() { return m_db; }
    const QSqlDatabase& db() const { return m_db; }

private:
    std::string m_name;
    QSqlDatabase m_db;
};

// One database engine behind RecordsDatabase: how a connection is made, what opening checks
// and does, how the driver's errors are told apart, and the engine's SQL dialect. The
// backend runs its statements through the RecordsDatabase that holds it.
class DatabaseBackend {
public:
    virtual ~DatabaseBackend() = default;
    const SqlDialect& dialect() const { return m_dialect; }

    // Connects, checks what this engine checks at open and brings the schema up to date; the
    // caller drops the connection when the report is not ok.
    virtual OpenReport open(RecordsDatabase& db, SqlConnection& connection) = 0;
    // "ok", or Damaged with the first problem the engine reports (and the database named).
    virtual RecordsError integrityCheck(RecordsDatabase& db) = 0;
    // The driver's error in the records' words: refines the plain Failed error given.
    virtual RecordsError classify(const QSqlError& e, RecordsError plain) const = 0;
    // What names the database when its identity query failed with e; empty: nothing does.
    virtual std::string identityWithout(const RecordsError& e) const = 0;

protected:
    explicit DatabaseBackend(SqlEngine engine) : m_dialect(engine) {}

private:
    SqlDialect m_dialect;
};

// The backend of the location's engine (sqlitebackend.cpp, postgresbackend.cpp); each keeps
// references to where and options, which outlive it.
std::unique_ptr<DatabaseBackend> makeBackend(const DatabaseLocation& where,
                                             const OpenOptions& options);
std::unique_ptr<DatabaseBackend> makeSqliteBackend(const DatabaseLocation& where,
                                                   const OpenOptions& options);
std::unique_ptr<DatabaseBackend> makePostgresBackend(const DatabaseLocation& where,
                                                     const OpenOptions& options);

// The driver's words on one line: a server's messages span several.
std::string driverText(const QSqlError& e);
// How a Damaged error names its database: "The records database X is damaged: ".
std::string damagedPrefix(const std::string& database);

} // namespace qarn3
