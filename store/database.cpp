#include "store/database.h"

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/owners.h"
#include "platform/process.h"
#include "platform/textformat.h"
#include "records/model.h"
#include "store/pgprobe.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlRecord>

#include <algorithm>
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

// The driver's words on one line: a server's messages span several.
std::string sqlText(const QSqlError& e) {
    std::string s = e.databaseText().toStdString();
    if (s.empty()) s = e.text().toStdString();
    for (char& c : s)
        if (c == '\n' || c == '\t') c = ' ';
    return trimText(s);
}

// What the client library is given for a server: the location's fields and parameters, and
// defaults that keep an unreachable server or a dead network from hanging a connection: ten
// seconds to connect, and TCP keepalives that notice a vanished peer within a minute.
ConnectionParameters connectionParameters(const DatabaseLocation& w) {
    ConnectionParameters p;
    if (!w.host.empty()) p.emplace_back("host", w.host);
    if (w.port > 0) p.emplace_back("port", std::to_string(w.port));
    p.emplace_back("dbname", w.dbName);
    if (!w.user.empty()) p.emplace_back("user", w.user);
    for (const auto& option : w.options)
        p.push_back(option);
    const std::pair<const char*, const char*> defaults[] = {{"connect_timeout", "10"},
                                                            {"application_name", "qarn3"},
                                                            {"keepalives_idle", "30"},
                                                            {"keepalives_interval", "10"},
                                                            {"keepalives_count", "3"}};
    for (const auto& [key, value] : defaults) {
        bool given = false;
        for (const auto& option : w.options)
            given = given || option.first == key;
        if (!given) p.emplace_back(key, value);
    }
    return p;
}

// The driver's option text: key='value' joined by ';' (which it turns into blanks).
QString driverOptions(const ConnectionParameters& parameters) {
    std::string s;
    for (const auto& [key, value] : parameters) {
        std::string quoted;
        for (char c : value) {
            if (c == '\\' || c == '\'') quoted += '\\';
            quoted += c;
        }
        s += (s.empty() ? "" : ";") + key + "='" + quoted + "'";
    }
    return QString::fromStdString(s);
}

// How a Damaged error names its database, and the reason SQLite gave without it.
std::string damagedPrefix(const std::string& database) {
    return "The records database " + database + " is damaged: ";
}
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

} // namespace

RecordsDatabase::RecordsDatabase(DatabaseLocation where, OpenOptions options)
    : m_where(std::move(where)), m_options(options),
      m_dialect(m_where.kind == DatabaseLocation::Kind::Postgres ? SqlEngine::Postgres
                                                                 : SqlEngine::Sqlite),
      m_name("qarn3-records-" + newRecordId()) {}

RecordsDatabase::~RecordsDatabase() {
    close();
}

void RecordsDatabase::close() {
    disconnect();
    m_open = false;
    m_readOnly = false;
}

void RecordsDatabase::disconnect() {
    if (!QSqlDatabase::contains(QString::fromStdString(m_name))) return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QString::fromStdString(m_name));
}

bool RecordsDatabase::connect(bool readOnlyOpen, RecordsError& error) {
    disconnect();
    const QString name = QString::fromStdString(m_name);
    if (!QSqlDatabase::isDriverAvailable(m_dialect.driverName())) {
        error = {RecordsErrorKind::Failed,
                 {},
                 m_dialect.engine() == SqlEngine::Sqlite
                     ? "The SQLite driver of Qt SQL is not installed (libqt6sql6-sqlite)"
                     : "The PostgreSQL driver of Qt SQL is not installed (libqt6sql6-psql)"};
        return false;
    }
    m_db = QSqlDatabase::addDatabase(m_dialect.driverName(), name);
    if (m_dialect.engine() == SqlEngine::Postgres) return connectServer(error);
    // The driver hands SQLite its name as UTF-8; a file URI carries the name's bytes whatever
    // they are (percent escapes), so a name that is not UTF-8 names that very file.
    m_db.setDatabaseName(QString::fromLatin1(sqliteFileUri(m_file)));
    QString options =
        "QSQLITE_BUSY_TIMEOUT=" + QString::number(m_options.busyTimeoutMs) + ";QSQLITE_OPEN_URI";
    if (readOnlyOpen) options += ";QSQLITE_OPEN_READONLY";
    m_db.setConnectOptions(options);
    if (!m_db.open()) {
        error = errorOf(m_db.lastError(), "Cannot open the records database " + m_where.display());
        return false;
    }
    return true;
}

bool RecordsDatabase::connectServer(RecordsError& error) {
    const std::string db = "the records database " + m_where.display();
    const ConnectionParameters parameters = connectionParameters(m_where);
    for (const auto& [key, value] : parameters) {
        if (value.find(';') == std::string::npos) continue;
        error = {RecordsErrorKind::Failed, {}, "Cannot open " + db + ": " + key + " holds a ';'"};
        return false;
    }
    // No password is handed to the driver: the client library looks in its own sources.
    m_db.setConnectOptions(driverOptions(parameters));
    if (m_db.open()) {
        forgetConnectOptions();
        return true;
    }
    // The driver only says that it failed; the client library tells whether a password is
    // wanted, which is when the operator is asked.
    ServerProbe probe = probeServer(parameters, {});
    if (probe.connected) {
        error = {RecordsErrorKind::Unreachable,
                 {},
                 "Cannot open " + db + ": " + sqlText(m_db.lastError())};
        return false;
    }
    const std::string whose = m_where.user.empty() ? "" : " of " + m_where.user;
    if (probe.needsPassword && m_options.passwordPrompt) {
        // Before the first character is typed: copies of it stay in the driver's and the
        // client library's memory, which a core file would show.
        keepOutOfCoreDumps();
        std::optional<std::string> password = m_options.passwordPrompt->askPassword(m_where);
        if (!password) {
            error = {
                RecordsErrorKind::Unreachable, {}, "Cannot open " + db + ": no password was given"};
            return false;
        }
        QString given = QString::fromStdString(*password);
        m_db.setPassword(given);
        const bool opened = m_db.open();
        m_db.setPassword({}); // forgotten: the connection is made or refused
        forgetConnectOptions();
        given.fill(QChar(u'\0')); // its only holder now
        if (!opened) probe = probeServer(parameters, *password);
        clearSecret(*password);
        if (opened) return true;
    }
    if (probe.needsPassword)
        error = {RecordsErrorKind::Unreachable,
                 {},
                 "Cannot open " + db + ": it wants the password" + whose +
                     " and none was found (~/.pgpass, the file PGPASSFILE names, or "
                     "PGPASSWORD)"};
    else
        error = {RecordsErrorKind::Unreachable, {}, "Cannot open " + db + ": " + probe.message};
    for (char& c : error.message)
        if (c == '\n' || c == '\t') c = ' ';
    return false;
}

void RecordsDatabase::forgetConnectOptions() {
    // An open connection no longer needs them; a later open sets them anew.
    QString options = m_db.connectOptions();
    m_db.setConnectOptions({});
    options.fill(QChar(u'\0'));
}

OpenReport RecordsDatabase::open() {
    close();
    OpenReport r =
        m_where.kind == DatabaseLocation::Kind::Postgres ? openServer() : openFile(false);
    m_open = r.ok;
    m_readOnly = r.ok && r.readOnly;
    if (!r.ok) disconnect();
    return r;
}

OpenReport RecordsDatabase::openFile(bool afterSetAside) {
    OpenReport r;
    const std::string& path = m_where.path;
    // SQLite follows a link by itself, another user's in the temporary folder too: it is
    // given the file the links lead to where the kernel would follow them, and nothing else.
    std::string why;
    const FileOwners& owners = m_options.owners ? *m_options.owners : systemFileOwners();
    const std::optional<std::string> real = followLinksSafely(path, why, owners);
    if (!real) {
        r.error = {
            RecordsErrorKind::Failed, {}, "Cannot open the records database " + path + ": " + why};
        return r;
    }
    m_file = *real;
    struct stat st {};
    const bool exists = ::stat(m_file.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        r.error = {RecordsErrorKind::Failed, {}, "The records database " + path + " is not a file"};
        return r;
    }
    // The records are the user's alone, the journals SQLite keeps beside them too (it makes
    // those with the database file's mode): another user's file is not taken for the user's,
    // and one the user's umask left open to others is closed.
    why = keepFilesPrivate({m_file, m_file + "-wal", m_file + "-shm", m_file + "-journal"}, owners);
    if (!why.empty()) {
        r.error = {
            RecordsErrorKind::Failed, {}, "Cannot open the records database " + path + ": " + why};
        return r;
    }
    // SQLite would make it 0644 less the umask; where it cannot be made here, SQLite says why.
    if (!exists) makePrivateFile(m_file);
    FileStore files;
    const bool readOnlyFile = exists && files.isReadOnly(m_file);
    // A file that does not begin as a database is set aside before SQLite opens it, which
    // could take a journal file beside it for its own.
    RecordsError probe;
    const auto head = exists && st.st_size > 0 ? files.readPrefix(m_file, 16) : std::nullopt;
    if (head && *head != std::string(kSqliteMagic, 16)) probe = damaged("file is not a database");
    int version = 0;
    if (!probe) {
        if (!connect(readOnlyFile, r.error)) return r;
        // Reading the header and the schema finds most damage; a full check reads every page.
        version = schemaVersion(probe);
        if (!probe) run("SELECT count(*) FROM sqlite_master", probe);
        if (!probe) probe = checkOwnFile();
        if (!probe && m_options.fullCheck) probe = integrityCheck();
    }
    if (probe.kind == RecordsErrorKind::Damaged) {
        if (afterSetAside || readOnlyFile || !m_options.setAsideDamaged) {
            r.error = probe;
            return r;
        }
        disconnect();
        std::string aside;
        if (!setAside(aside, r.error)) return r;
        OpenReport fresh = openFile(true);
        fresh.notes.insert(fresh.notes.begin(), "The records database " + path + " was damaged (" +
                                                    damageReason(probe.message, path) +
                                                    "); it was renamed " + aside +
                                                    " and a new one made.");
        return fresh;
    }
    if (probe) {
        r.error = probe;
        return r;
    }

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
        if (setUp(!r.readOnly, version, r.error) || r.error.kind != RecordsErrorKind::Locked ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (r.error) return r;
    r.schemaVersion = version;
    r.ok = true;
    return r;
}

bool RecordsDatabase::setUp(bool writable, int& version, RecordsError& error) {
    for (const std::string& s : m_dialect.connectionSetup(writable, m_options.fullSync))
        if (!run(s, error)) return false;
    if (!writable) return true;
    if ((error = migrate(schemaSteps()))) return false;
    version = schemaVersion(error);
    return !error;
}

OpenReport RecordsDatabase::openServer() {
    OpenReport r;
    if (!connect(false, r.error)) return r;
    for (const std::string& s : m_dialect.connectionSetup(true, m_options.fullSync))
        if (!run(s, r.error)) return r;
    const std::string lockWait = "SET lock_timeout = " + std::to_string(m_options.busyTimeoutMs);
    if (!run(lockWait, r.error)) return r;
    const int version = schemaVersion(r.error);
    if (r.error) return r;
    const int newest = newestSchemaVersion();
    if (version > newest) {
        r.readOnly = true;
        r.notes.push_back("The records database " + m_where.display() +
                          " was written by a newer version of the program: it is opened"
                          " read-only.");
        if (!run("SET default_transaction_read_only = on", r.error)) return r;
    } else if ((r.error = migrate(schemaSteps()))) {
        // Only the schema's owner may make or change it; a technician's role may not.
        if (r.error.kind == RecordsErrorKind::Denied) {
            QSqlQuery q = query();
            RecordsError ignored;
            const std::string role = run(q, {"SELECT current_user", {}}, ignored) && q.next()
                                         ? q.value(0).toString().toStdString()
                                         : m_where.user;
            r.error.message =
                "The records database " + m_where.display() +
                (version == 0 ? " holds no records schema yet"
                              : " holds schema version " + std::to_string(version)) +
                " and this program needs version " + std::to_string(newest) + ". The role " + role +
                " may not change the schema: the database's owner brings it up to date"
                " with qarn3-records --db " +
                m_where.display() + " schema";
        }
        return r;
    }
    r.schemaVersion = schemaVersion(r.error);
    r.ok = !r.error;
    return r;
}

bool RecordsDatabase::setAside(std::string& newName, RecordsError& error) {
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

RecordsError RecordsDatabase::damaged(const std::string& reason) const {
    return {RecordsErrorKind::Damaged, {}, damagedPrefix(m_where.display()) + reason};
}

RecordsError RecordsDatabase::checkOwnFile() {
    QSqlQuery q = query();
    RecordsError e;
    if (!run(q, {m_dialect.foreignFileQuery(), {}}, e) || !q.next()) return e;
    if (q.value(0).toInt() == 0) return {};
    return {RecordsErrorKind::Failed,
            {},
            "The records database " + m_where.display() +
                " is another program's database, not test records: it is left as it is"};
}

RecordsError RecordsDatabase::migrate(const std::vector<MigrationStep>& steps) {
    if (steps.empty()) return {};
    // Up to date: no write lock is taken, so another program's long write does not stop
    // the database from opening.
    RecordsError e;
    if (schemaVersion(e) >= steps.back().version || e) return e;
    if ((e = beginWrite())) return e;
    if (const std::string lock = m_dialect.migrationLock(); !lock.empty() && !run(lock, e)) {
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
            if (run(m_dialect.typed(statement), e)) continue;
            rollback();
            if (e.kind == RecordsErrorKind::Denied) return e;
            e.message = "Cannot bring the records database " + m_where.display() +
                        " to schema version " + std::to_string(step.version) + ": " + e.message;
            return e;
        }
    }
    for (const std::string& s : m_dialect.writeVersion(steps.back().version)) {
        if (!run(s, e)) {
            rollback();
            return e;
        }
    }
    return commit();
}

int RecordsDatabase::schemaVersion(RecordsError& error) {
    QSqlQuery q = query();
    const std::string exists = m_dialect.versionTableExists();
    if (!exists.empty()) {
        if (!run(q, {exists, {}}, error) || !q.next()) return 0;
        if (q.value(0).toInt() == 0) return 0;
    }
    if (!run(q, {m_dialect.readVersion(), {}}, error)) return 0;
    return q.next() ? q.value(0).toInt() : 0;
}

RecordsError RecordsDatabase::integrityCheck() {
    QSqlQuery q = query();
    RecordsError e;
    if (!run(q, {"PRAGMA integrity_check", {}}, e)) return e;
    if (q.next() && q.value(0).toString() != "ok") {
        std::string problem = q.value(0).toString().toStdString();
        for (char& c : problem)
            if (c == '\n') c = ' ';
        return damaged(problem);
    }
    return {};
}

std::vector<std::string> RecordsDatabase::columnsOf(const std::string& table) const {
    std::vector<std::string> columns;
    const QSqlRecord record = m_db.record(QString::fromStdString(table));
    for (int i = 0; i < record.count(); ++i)
        columns.push_back(record.fieldName(i).toStdString());
    return columns;
}

std::string RecordsDatabase::identity(RecordsError& error) {
    QSqlQuery q = query();
    RecordsError e;
    if (run(q, {m_dialect.identityQuery(), {}}, e) && q.next())
        return q.value(0).toString().toStdString();
    // A server that keeps its identifier from this role is named by the way it is reached.
    if (m_dialect.engine() == SqlEngine::Postgres && e.kind != RecordsErrorKind::Unreachable)
        return "postgresql://" + m_where.host + ":" + std::to_string(m_where.port) + "/" +
               m_where.dbName;
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
    run(m_dialect.beginWrite(), e);
    return e;
}

RecordsError RecordsDatabase::commit() {
    RecordsError e;
    if (!run("COMMIT", e)) rollback();
    return e;
}

void RecordsDatabase::rollback() {
    RecordsError ignored;
    run("ROLLBACK", ignored);
}

RecordsError RecordsDatabase::errorOf(const QSqlError& e, const std::string& doing) const {
    RecordsError r{RecordsErrorKind::Failed, {}, doing + ": " + sqlText(e)};
    const std::string db = "The records database " + m_where.display();
    if (m_dialect.engine() == SqlEngine::Sqlite) {
        const int code = sqliteCode(e);
        if (code == kSqliteBusy || code == kSqliteLocked) {
            r = {RecordsErrorKind::Locked,
                 {},
                 db + " is locked by another program (waited " +
                     formatFixed(m_options.busyTimeoutMs / 1000.0, 0, 1) + " s)"};
        } else if (code == kSqliteReadOnly) {
            r = {RecordsErrorKind::ReadOnly, {}, db + " cannot be written: " + sqlText(e)};
        } else if (isDamage(e)) {
            r = damaged(sqlText(e));
        } else if (code == kSqliteConstraint) {
            r.kind = RecordsErrorKind::Invalid;
        }
    } else {
        const std::string state = e.nativeErrorCode().toStdString();
        if (state == "55P03" || state == "40P01" || state == "40001")
            r = {RecordsErrorKind::Locked, {}, db + " is locked by another session"};
        else if (state == "25006")
            r.kind = RecordsErrorKind::ReadOnly;
        else if (state.rfind("23", 0) == 0)
            r.kind = RecordsErrorKind::Invalid;
        else if (state == "42501")
            r.kind = RecordsErrorKind::Denied;
        // No state: the client library's own failure, a lost connection; class 08 and the
        // server's shutdown and termination of the session say the same.
        else if (state.empty() || state.rfind("08", 0) == 0 || state.rfind("57P0", 0) == 0)
            r = {RecordsErrorKind::Unreachable,
                 {},
                 "The connection to the records database " + m_where.display() +
                     " was lost: " + sqlText(e)};
    }
    return r;
}

} // namespace qarn3
