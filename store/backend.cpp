#include "store/backend.h"

#include "platform/textformat.h"

#include <QSqlError>

namespace qarn3 {

QSqlDatabase* SqlConnection::make(const SqlDialect& dialect, RecordsError& error) {
    drop();
    if (!QSqlDatabase::isDriverAvailable(dialect.driverName())) {
        error = {RecordsErrorKind::Failed,
                 {},
                 dialect.engine() == SqlEngine::Sqlite
                     ? "The SQLite driver of Qt SQL is not installed (libqt6sql6-sqlite)"
                     : "The PostgreSQL driver of Qt SQL is not installed (libqt6sql6-psql)"};
        return nullptr;
    }
    m_db = QSqlDatabase::addDatabase(dialect.driverName(), QString::fromStdString(m_name));
    return &m_db;
}

void SqlConnection::drop() {
    if (!QSqlDatabase::contains(QString::fromStdString(m_name))) return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QString::fromStdString(m_name));
}

std::unique_ptr<DatabaseBackend> makeBackend(const DatabaseLocation& where,
                                             const OpenOptions& options) {
    return where.kind == DatabaseLocation::Kind::Postgres ? makePostgresBackend(where, options)
                                                          : makeSqliteBackend(where, options);
}

std::string driverText(const QSqlError& e) {
    std::string s = e.databaseText().toStdString();
    if (s.empty()) s = e.text().toStdString();
    for (char& c : s)
        if (c == '\n' || c == '\t') c = ' ';
    return trimText(s);
}

std::string damagedPrefix(const std::string& database) {
    return "The records database " + database + " is damaged: ";
}

} // namespace qarn3
