#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qarn3 {

constexpr const char* kRecordsFileName = "QARN3.db";

// Where the records are kept: an embedded database file, or a PostgreSQL server named by a
// URI "postgresql://USER@HOST:PORT/DBNAME?sslmode=...". A location never holds a password:
// the server's client library finds it (~/.pgpass, PGPASSFILE, PGPASSWORD) or the operator
// is asked and the answer is forgotten once the connection is made.
struct DatabaseLocation {
    enum class Kind { SqliteFile, Postgres };
    Kind kind = Kind::SqliteFile;
    std::string path; // the file, for SqliteFile
    // Empty (0 for the port): the client library's default (PGUSER, PGHOST, PGPORT, ...). A
    // host beginning with '/' is the folder of the server's Unix socket.
    std::string user, host, dbName;
    int port = 0;
    // The URI's other parameters, client-library keywords in the URI's order ("sslmode",
    // "require").
    std::vector<std::pair<std::string, std::string>> options;

    // The file, or the URI (which holds no password): for messages and settings.
    std::string display() const;

    static DatabaseLocation file(const std::string& path);
    // A text beginning "postgresql://" or "postgres://" names a server; anything else a file.
    // Returns false with the reason for a URI that cannot be read, or that holds a password.
    static bool parse(const std::string& text, DatabaseLocation& out, std::string& error);
};

// QARN3.db in the data folder.
std::string defaultRecordsPath(const std::string& dataFolder);

} // namespace qarn3
