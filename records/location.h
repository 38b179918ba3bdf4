#pragma once

#include <string>

namespace qarn3 {

constexpr const char* kRecordsFileName = "QARN3.db";

// Where the records are kept: an embedded database file, or a PostgreSQL server named by a
// URI "postgresql://USER@HOST:PORT/DBNAME?sslmode=...".
struct DatabaseLocation {
    enum class Kind { SqliteFile, Postgres };
    Kind kind = Kind::SqliteFile;
    std::string path; // the file, for SqliteFile
    std::string user, password, host, dbName;
    int port = 5432;
    std::string connectOptions; // the URI's query as "key=value;key=value"

    // The file, or the URI without its password: for messages.
    std::string display() const;

    static DatabaseLocation file(const std::string& path);
    // A URI beginning "postgresql://" or "postgres://" names a server; anything else a file.
    // Returns false with the reason for a URI that cannot be read.
    static bool parse(const std::string& text, DatabaseLocation& out, std::string& error);
};

// QARN3.db in the data folder.
std::string defaultRecordsPath(const std::string& dataFolder);

} // namespace qarn3
