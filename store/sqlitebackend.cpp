#include "store/backend.h"
#include "store/database.h"

#include "platform/files.h"
#include "platform/owners.h"
#include "platform/textformat.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace qarn3 {

namespace {

// SQLite's primary result codes the records tell apart.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteConstraint = 19;
constexpr int kSqliteNotADb = 26;
// The first 16 bytes of every SQLite database file.
constexpr char kSqliteMagic[] = "SQLite format 3";

int sqliteCode(const QSqlError& e) {
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xFF : -1;
}

bool isDamage(const QSqlError& e) {
    const int code = sqliteCode(e);
    return code == kSqliteCorrupt || code == kSqliteNotADb;
}

// The reason SQLite gave, without the words that name the database.
std::string damageReason(const std::string& message, const std::string& database) {
    const std::string prefix = damagedPrefix(database);
    return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
}

// "file:" and the absolute path, every byte but the unreserved ones percent-escaped.
std::string sqliteFileUri(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alnum || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += ch;
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

std::string errnoText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

// A records database in a file: its links followed only as the kernel would, kept private
// with its journals, set aside when damaged, read-only when its owner write bit is clear.
class SqliteBackend final : public DatabaseBackend {
public:
    SqliteBackend(const DatabaseLocation& where, const OpenOptions& options)
        : DatabaseBackend(SqlEngine::Sqlite), m_where(where), m_options(options) {}

    OpenReport open(RecordsDatabase& db, SqlConnection& connection) override {
        return openFile(db, connection, false);
    }
    RecordsError integrityCheck(RecordsDatabase& db) override;
    RecordsError classify(const QSqlError& e, RecordsError plain) const override;
    std::string identityWithout(const RecordsError&) const override { return {}; }

private:
    OpenReport openFile(RecordsDatabase& db, SqlConnection& connection, bool afterSetAside);
    // The file the links lead to, a regular one or none yet (then made, private), with its
    // journals private too; exists and size say what was there before.
    bool findFile(bool& exists, off_t& size, RecordsError& error);
    bool connect(RecordsDatabase& db, SqlConnection& connection, bool readOnlyOpen,
                 RecordsError& error);
    // The damaged file renamed aside with its journals, and a new database opened instead.
    OpenReport openInstead(RecordsDatabase& db, SqlConnection& connection,
                           const RecordsError& damage);
    // The notes on a read-only file or a newer schema, and the connection's settings.
    OpenReport finishOpen(RecordsDatabase& db, bool readOnlyFile, int version);
    // The connection's settings and, when writable, the schema brought up to date.
    bool setUp(RecordsDatabase& db, bool writable, int& version, RecordsError& error);
    bool setAside(std::string& newName, RecordsError& error);
    // Damaged, naming this database: "The records database X is damaged: reason".
    RecordsError damaged(const std::string& reason) const {
        return {RecordsErrorKind::Damaged, {}, damagedPrefix(m_where.display()) + reason};
    }
    // Refused when the file is not the records' own database; nothing of it is changed.
    RecordsError checkOwnFile(RecordsDatabase& db);

    const DatabaseLocation& m_where;
    const OpenOptions& m_options;
    // The database file with its links followed as the kernel allows (a SqliteFile's path).
    std::string m_file;
};

OpenReport SqliteBackend::openFile(RecordsDatabase& db, SqlConnection& connection,
                                   bool afterSetAside) {
    OpenReport r;
    bool exists = false;
    off_t size = 0;
    if (!findFile(exists, size, r.error)) return r;
    FileStore files;
    const bool readOnlyFile = exists && files.isReadOnly(m_file);
    // A file that does not begin as a database is set aside before SQLite opens it, which
    // could take a journal file beside it for its own.
    RecordsError probe;
    const auto head = exists && size > 0 ? files.readPrefix(m_file, 16) : std::nullopt;
    if (head && *head != std::string(kSqliteMagic, 16)) probe = damaged("file is not a database");
    int version = 0;
    if (!probe) {
        if (!connect(db, connection, readOnlyFile, r.error)) return r;
        // Reading the header and the schema finds most damage; a full check reads every page.
        version = db.schemaVersion(probe);
        if (!probe) db.run(sql::readSchemaTable(), probe);
        if (!probe) probe = checkOwnFile(db);
        if (!probe && m_options.fullCheck) probe = integrityCheck(db);
    }
    if (probe.kind == RecordsErrorKind::Damaged) {
        if (afterSetAside || readOnlyFile || !m_options.setAsideDamaged) {
            r.error = probe;
            return r;
        }
        return openInstead(db, connection, probe);
    }
    if (probe) {
        r.error = probe;
        return r;
    }
    return finishOpen(db, readOnlyFile, version);
}

bool SqliteBackend::findFile(bool& exists, off_t& size, RecordsError& error) {
    const std::string& path = m_where.path;
    // SQLite follows a link by itself, another user's in the temporary folder too: it is
    // given the file the links lead to where the kernel would follow them, and nothing else.
    std::string why;
    const FileOwners& owners = m_options.owners ? *m_options.owners : systemFileOwners();
    const std::optional<std::string> real = followLinksSafely(path, why, owners);
    if (!real) {
        error = {
            RecordsErrorKind::Failed, {}, "Cannot open the records database " + path + ": " + why};
        return false;
    }
    m_file = *real;
    struct stat st {};
    exists = ::stat(m_file.c_str(), &st) == 0;
    size = exists ? st.st_size : 0;
    if (exists && !S_ISREG(st.st_mode)) {
        error = {RecordsErrorKind::Failed, {}, "The records database " + path + " is not a file"};
        return false;
    }
    // The records are the user's alone, the journals SQLite keeps beside them too (it makes
    // those with the database file's mode): another user's file is not taken for the user's,
    // and one the user's umask left open to others is closed.
    why = keepFilesPrivate({m_file, m_file + "-wal", m_file + "-shm", m_file + "-journal"}, owners);
    if (!why.empty()) {
        error = {
            RecordsErrorKind::Failed, {}, "Cannot open the records database " + path + ": " + why};
        return false;
    }
    // SQLite would make it 0644 less the umask; where it cannot be made here, SQLite says why.
    if (!exists) makePrivateFile(m_file);
    return true;
}

bool SqliteBackend::connect(RecordsDatabase& db, SqlConnection& connection, bool readOnlyOpen,
                            RecordsError& error) {
    QSqlDatabase* c = connection.make(dialect(), error);
    if (!c) return false;
    // The driver hands SQLite its name as UTF-8; a file URI carries the name's bytes whatever
    // they are (percent escapes), so a name that is not UTF-8 names that very file.
    c->setDatabaseName(QString::fromLatin1(sqliteFileUri(m_file)));
    QString options =
        "QSQLITE_BUSY_TIMEOUT=" + QString::number(m_options.busyTimeoutMs) + ";QSQLITE_OPEN_URI";
    if (readOnlyOpen) options += ";QSQLITE_OPEN_READONLY";
    c->setConnectOptions(options);
    if (!c->open()) {
        error = db.errorOf(c->lastError(), "Cannot open the records database " + m_where.display());
        return false;
    }
    return true;
}

OpenReport SqliteBackend::openInstead(RecordsDatabase& db, SqlConnection& connection,
                                      const RecordsError& damage) {
    const std::string& path = m_where.path;
    connection.drop();
    OpenReport r;
    std::string aside;
    if (!setAside(aside, r.error)) return r;
    OpenReport fresh = openFile(db, connection, true);
    fresh.notes.insert(fresh.notes.begin(), "The records database " + path + " was damaged (" +
                                                damageReason(damage.message, path) +
                                                "); it was renamed " + aside +
                                                " and a new one made.");
    return fresh;
}

OpenReport SqliteBackend::finishOpen(RecordsDatabase& db, bool readOnlyFile, int version) {
    const std::string& path = m_where.path;
    OpenReport r;
    const int newest = newestSchemaVersion();
    r.readOnly = readOnlyFile || version > newest;
    if (readOnlyFile)
        r.notes.push_back("The records database " + path +
                          " is read-only: records are shown but none is stored.");
    else if (version > newest)
        r.notes.push_back("The records database " + path +
                          " was written by a newer version of the program (schema version " +
                          std::to_string(version) + ", this one knows " + std::to_string(newest) +
                          "): it is opened read-only.");
    // Two programs opening one new file at once: SQLite answers the switch to its write-ahead
    // log, or a write that would have to wait on the other's, with "busy" at once rather than
    // after its busy timeout. Such a step is tried again until that timeout has passed.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.busyTimeoutMs);
    for (;;) {
        r.error = {};
        if (setUp(db, !r.readOnly, version, r.error) || r.error.kind != RecordsErrorKind::Locked ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (r.error) return r;
    r.schemaVersion = version;
    r.ok = true;
    return r;
}

bool SqliteBackend::setUp(RecordsDatabase& db, bool writable, int& version, RecordsError& error) {
    for (const std::string& s : dialect().connectionSetup(writable, m_options.fullSync))
        if (!db.run(s, error)) return false;
    if (!writable) return true;
    if ((error = db.migrate(schemaSteps()))) return false;
    version = db.schemaVersion(error);
    return !error;
}

bool SqliteBackend::setAside(std::string& newName, RecordsError& error) {
    // The file itself, and its journals beside it, where SQLite keeps them.
    const std::string& path = m_file;
    const std::string stamp =
        QDateTime::currentDateTimeUtc().toString("yyyy-MM-ddTHHmmss").toStdString() + "Z";
    FileStore files;
    newName = path + ".damaged-" + stamp;
    for (int n = 2; files.exists(newName) || files.exists(newName + "-wal"); ++n)
        newName = path + ".damaged-" + stamp + "-" + std::to_string(n);
    if (std::rename(path.c_str(), newName.c_str()) != 0) {
        error = {RecordsErrorKind::Damaged,
                 {},
                 "The records database " + path +
                     " is damaged and cannot be renamed aside: " + errnoText(errno)};
        return false;
    }
    // The journal files belong to the old contents: a new database must not take them.
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        const std::string from = path + suffix;
        if (files.exists(from) && std::rename(from.c_str(), (newName + suffix).c_str()) != 0) {
            error = {RecordsErrorKind::Damaged,
                     {},
                     "Cannot rename " + from + " aside: " + errnoText(errno)};
            return false;
        }
    }
    return true;
}

RecordsError SqliteBackend::checkOwnFile(RecordsDatabase& db) {
    QSqlQuery q = db.query();
    RecordsError e;
    if (!db.run(q, {dialect().foreignFileQuery(), {}}, e) || !q.next()) return e;
    if (q.value(0).toInt() == 0) return {};
    return {RecordsErrorKind::Failed,
            {},
            "The records database " + m_where.display() +
                " is another program's database, not test records: it is left as it is"};
}

RecordsError SqliteBackend::integrityCheck(RecordsDatabase& db) {
    QSqlQuery q = db.query();
    RecordsError e;
    if (!db.run(q, sql::integrityCheck(), e)) return e;
    if (q.next() && q.value(0).toString() != "ok") {
        std::string problem = q.value(0).toString().toStdString();
        for (char& c : problem)
            if (c == '\n') c = ' ';
        return damaged(problem);
    }
    return {};
}

RecordsError SqliteBackend::classify(const QSqlError& e, RecordsError plain) const {
    const std::string db = "The records database " + m_where.display();
    const int code = sqliteCode(e);
    if (code == kSqliteBusy || code == kSqliteLocked)
        return {RecordsErrorKind::Locked,
                {},
                db + " is locked by another program (waited " +
                    formatFixed(m_options.busyTimeoutMs / 1000.0, 0, 1) + " s)"};
    if (code == kSqliteReadOnly)
        return {RecordsErrorKind::ReadOnly, {}, db + " cannot be written: " + driverText(e)};
    if (isDamage(e)) return damaged(driverText(e));
    if (code == kSqliteConstraint)
        plain.kind = driverText(e).find(kApprovedRefusal) != std::string::npos
                         ? RecordsErrorKind::Approved
                         : RecordsErrorKind::Invalid;
    return plain;
}

} // namespace

std::unique_ptr<DatabaseBackend> makeSqliteBackend(const DatabaseLocation& where,
                                                   const OpenOptions& options) {
    return std::make_unique<SqliteBackend>(where, options);
}

} // namespace qarn3
