#include "records/location.h"

#include "platform/files.h"

#include <QUrl>
#include <QUrlQuery>

namespace qarn3 {

std::string DatabaseLocation::display() const {
    if (kind == Kind::SqliteFile) return path;
    std::string s = "postgresql://";
    if (!user.empty()) s += user + "@";
    s += host + ":" + std::to_string(port) + "/" + dbName;
    if (!connectOptions.empty()) s += " (" + connectOptions + ")";
    return s;
}

DatabaseLocation DatabaseLocation::file(const std::string& path) {
    DatabaseLocation l;
    l.path = path;
    return l;
}

bool DatabaseLocation::parse(const std::string& text, DatabaseLocation& out, std::string& error) {
    const bool server = text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
    if (!server) {
        if (text.empty()) {
            error = "no database file named";
            return false;
        }
        out = file(text);
        return true;
    }
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid()) {
        error = "cannot read the database URI: " + url.errorString().toStdString();
        return false;
    }
    DatabaseLocation l;
    l.kind = Kind::Postgres;
    l.user = url.userName().toStdString();
    l.password = url.password().toStdString();
    l.host = url.host().toStdString();
    l.port = url.port(5432);
    l.dbName = url.path().mid(1).toStdString();
    if (l.dbName.empty() || l.dbName.find('/') != std::string::npos) {
        error = "the database URI names no database (postgresql://USER@HOST:PORT/DBNAME)";
        return false;
    }
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key.contains(';') || value.contains(';')) {
            error = "the database URI's option " + key.toStdString() + " holds a ';'";
            return false;
        }
        if (!l.connectOptions.empty()) l.connectOptions += ';';
        l.connectOptions += key.toStdString() + "=" + value.toStdString();
    }
    out = l;
    return true;
}

std::string defaultRecordsPath(const std::string& dataFolder) {
    return resolveInFolder(dataFolder, kRecordsFileName);
}

} // namespace qarn3
