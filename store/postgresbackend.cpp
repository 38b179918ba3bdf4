#include "store/backend.h"
#include "store/database.h"

#include "platform/dialogs.h"
#include "platform/process.h"
#include "store/pgprobe.h"

#include <QSqlError>
#include <QSqlQuery>

namespace qarn3 {

namespace {

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

// Drops the driver's copy of the connection's options once it is open, wiped: an open
// connection no longer needs them; a later open sets them anew.
void forgetConnectOptions(QSqlDatabase& c) {
    QString options = c.connectOptions();
    c.setConnectOptions({});
    options.fill(QChar(u'\0'));
}

// A records database on a server, reached through the client library's parameters: the
// password looked for by the client library, else asked for; locks waited for at most the
// busy timeout; a role that may not change the schema told who does.
class PostgresBackend final : public DatabaseBackend {
public:
    PostgresBackend(const DatabaseLocation& where, const OpenOptions& options)
        : DatabaseBackend(SqlEngine::Postgres), m_where(where), m_options(options) {}

    OpenReport open(RecordsDatabase& db, SqlConnection& connection) override;
    // The server keeps its pages' checks to itself: there is nothing to read here.
    RecordsError integrityCheck(RecordsDatabase&) override { return {}; }
    RecordsError classify(const QSqlError& e, RecordsError plain) const override;
    // A server that keeps its identifier from this role is named by the way it is reached.
    std::string identityWithout(const RecordsError& e) const override {
        if (e.kind == RecordsErrorKind::Unreachable) return {};
        return "postgresql://" + m_where.host + ":" + std::to_string(m_where.port) + "/" +
               m_where.dbName;
    }

private:
    bool connect(SqlConnection& connection, RecordsError& error);
    // The operator asked for the password and the connection tried with it; probe becomes
    // the client library's answer to that password when it is refused.
    bool connectWithPassword(QSqlDatabase& c, const ConnectionParameters& parameters,
                             ServerProbe& probe, RecordsError& error);
    // The migration refused to a role that may not change the schema, in words that say who may.
    std::string mayNotMigrate(RecordsDatabase& db, int version) const;

    const DatabaseLocation& m_where;
    const OpenOptions& m_options;
};

bool PostgresBackend::connect(SqlConnection& connection, RecordsError& error) {
    if (const std::string missing = sharedDatabaseUnavailable(); !missing.empty()) {
        error = {RecordsErrorKind::Unreachable,
                 {},
                 "Cannot open the records database " + m_where.display() + ": " + missing};
        return false;
    }
    QSqlDatabase* c = connection.make(dialect(), error);
    if (!c) return false;
    const std::string db = "the records database " + m_where.display();
    const ConnectionParameters parameters = connectionParameters(m_where);
    for (const auto& [key, value] : parameters) {
        if (value.find(';') == std::string::npos) continue;
        error = {RecordsErrorKind::Failed, {}, "Cannot open " + db + ": " + key + " holds a ';'"};
        return false;
    }
    // No password is handed to the driver: the client library looks in its own sources.
    c->setConnectOptions(driverOptions(parameters));
    if (c->open()) {
        forgetConnectOptions(*c);
        return true;
    }
    // The driver only says that it failed; the client library tells whether a password is
    // wanted, which is when the operator is asked.
    ServerProbe probe = probeServer(parameters, {});
    if (probe.connected) {
        error = {RecordsErrorKind::Unreachable,
                 {},
                 "Cannot open " + db + ": " + driverText(c->lastError())};
        return false;
    }
    const std::string whose = m_where.user.empty() ? "" : " of " + m_where.user;
    if (probe.needsPassword && m_options.passwordPrompt) {
        if (connectWithPassword(*c, parameters, probe, error)) return true;
        if (error) return false;
    }
    if (probe.needsPassword)
        error = {RecordsErrorKind::Unreachable,
                 {},
                 "Cannot open " + db + ": it wants the password" + whose +
                     " and none was found (~/.pgpass, the file PGPASSFILE names, or "
                     "PGPASSWORD)"};
    else
        error = {RecordsErrorKind::Unreachable, {}, "Cannot open " + db + ": " + probe.message};
    for (char& ch : error.message)
        if (ch == '\n' || ch == '\t') ch = ' ';
    return false;
}

bool PostgresBackend::connectWithPassword(QSqlDatabase& c, const ConnectionParameters& parameters,
                                          ServerProbe& probe, RecordsError& error) {
    // Before the first character is typed: copies of it stay in the driver's and the
    // client library's memory, which a core file would show.
    keepOutOfCoreDumps();
    std::optional<std::string> password = m_options.passwordPrompt->askPassword(m_where);
    if (!password) {
        error = {RecordsErrorKind::Unreachable,
                 {},
                 "Cannot open the records database " + m_where.display() +
                     ": no password was given"};
        return false;
    }
    QString given = QString::fromStdString(*password);
    c.setPassword(given);
    const bool opened = c.open();
    c.setPassword({}); // forgotten: the connection is made or refused
    forgetConnectOptions(c);
    given.fill(QChar(u'\0')); // its only holder now
    if (!opened) probe = probeServer(parameters, *password);
    clearSecret(*password);
    return opened;
}

OpenReport PostgresBackend::open(RecordsDatabase& db, SqlConnection& connection) {
    OpenReport r;
    if (!connect(connection, r.error)) return r;
    for (const std::string& s : dialect().connectionSetup(true, m_options.fullSync))
        if (!db.run(s, r.error)) return r;
    if (!db.run(sql::lockTimeout(m_options.busyTimeoutMs), r.error)) return r;
    const int version = db.schemaVersion(r.error);
    if (r.error) return r;
    if (version > newestSchemaVersion()) {
        r.readOnly = true;
        r.notes.push_back("The records database " + m_where.display() +
                          " was written by a newer version of the program: it is opened"
                          " read-only.");
        if (!db.run(sql::readOnlySession(), r.error)) return r;
    } else if ((r.error = db.migrate(schemaSteps()))) {
        // Only the schema's owner may make or change it; a technician's role may not.
        if (r.error.kind == RecordsErrorKind::Denied) r.error.message = mayNotMigrate(db, version);
        return r;
    }
    r.schemaVersion = db.schemaVersion(r.error);
    r.ok = !r.error;
    return r;
}

std::string PostgresBackend::mayNotMigrate(RecordsDatabase& db, int version) const {
    QSqlQuery q = db.query();
    RecordsError ignored;
    const std::string role = db.run(q, sql::currentRole(), ignored) && q.next()
                                 ? q.value(0).toString().toStdString()
                                 : m_where.user;
    return "The records database " + m_where.display() +
           (version == 0 ? " holds no records schema yet"
                         : " holds schema version " + std::to_string(version)) +
           " and this program needs version " + std::to_string(newestSchemaVersion()) +
           ". The role " + role +
           " may not change the schema: the database's owner brings it up to date"
           " with qarn3-records --db " +
           m_where.display() + " schema";
}

RecordsError PostgresBackend::classify(const QSqlError& e, RecordsError plain) const {
    const std::string state = e.nativeErrorCode().toStdString();
    if (state == "55P03" || state == "40P01" || state == "40001")
        return {RecordsErrorKind::Locked,
                {},
                "The records database " + m_where.display() + " is locked by another session"};
    if (state == "Q3A01")
        plain.kind = RecordsErrorKind::Approved;
    else if (state == "25006")
        plain.kind = RecordsErrorKind::ReadOnly;
    else if (state.rfind("23", 0) == 0)
        plain.kind = RecordsErrorKind::Invalid;
    else if (state == "42501")
        plain.kind = RecordsErrorKind::Denied;
    // No state: the client library's own failure, a lost connection; class 08 and the
    // server's shutdown and termination of the session say the same.
    else if (state.empty() || state.rfind("08", 0) == 0 || state.rfind("57P0", 0) == 0)
        return {RecordsErrorKind::Unreachable,
                {},
                "The connection to the records database " + m_where.display() +
                    " was lost: " + driverText(e)};
    return plain;
}

} // namespace

std::unique_ptr<DatabaseBackend> makePostgresBackend(const DatabaseLocation& where,
                                                     const OpenOptions& options) {
    return std::make_unique<PostgresBackend>(where, options);
}

} // namespace qarn3
