#pragma once

#include "platform/files.h"
#include "store/database.h"
#include "store/store.h"
#include "store/sync.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace qarn3::test {

// The throwaway server the CTest fixture started (tests/pg-fixture.sh): its socket folder,
// port and superuser, or why there is none.
struct PgServer {
    std::string host, port, admin;
    std::string skipReason;

    static PgServer fromFolder(const std::string& folder) {
        PgServer s;
        FileStore files;
        if (auto reason = files.readAll(folder + "/skip")) {
            s.skipReason = "no PostgreSQL server: " + *reason;
            return s;
        }
        const auto env = files.readAll(folder + "/env");
        if (!env) {
            s.skipReason = "no PostgreSQL server: " + folder +
                           "/env is missing (run the tests through ctest, whose fixture"
                           " pg_server starts one)";
            return s;
        }
        std::istringstream in(*env);
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "PGHOST") s.host = value;
            if (key == "PGPORT") s.port = value;
            if (key == "PGUSER") s.admin = value;
        }
        return s;
    }
};

// A database of its own on the fixture's server for each test (tests run in parallel), a
// folder for laptops' files, and the superuser's connection to the test's database.
class SharedDatabaseTest : public ::testing::Test {
public:
    void SetUp() override {
        char tmpl[] = "/tmp/qarn3-shared-XXXXXX";
        folder = ::mkdtemp(tmpl);
        // Passwords come only from what each test names.
        ::unsetenv("PGPASSWORD");
        ::unsetenv("PGPASSFILE");
        if (!needsServer()) return;
        server = PgServer::fromFolder(QARN3_PG_FIXTURE_DIR);
        if (!server.skipReason.empty()) GTEST_SKIP() << server.skipReason;
        dbName =
            "qarn3_t_" + std::to_string(::getpid()) + "_" + std::to_string(std::rand() % 100000);
        ASSERT_TRUE(openAdmin("postgres"));
        ASSERT_TRUE(admin("CREATE DATABASE " + dbName));
        closeAdmin();
        ASSERT_TRUE(openAdmin(dbName));
    }

    void TearDown() override {
        if (!dbName.empty()) {
            closeAdmin();
            if (openAdmin("postgres")) admin("DROP DATABASE IF EXISTS " + dbName + " WITH (FORCE)");
            closeAdmin();
        }
        std::filesystem::remove_all(folder);
    }

    // The test database as the role sees it; options are the URI's parameters.
    std::string uri(const std::string& role, const std::string& options = {}) const {
        return "postgresql://" + role + "@/" + dbName + "?host=" + server.host +
               "&port=" + server.port + (options.empty() ? "" : "&" + options);
    }
    std::string adminUri(const std::string& options = {}) const {
        return uri(server.admin, options);
    }
    DatabaseLocation location(const std::string& text) const {
        DatabaseLocation l;
        std::string error;
        EXPECT_TRUE(DatabaseLocation::parse(text, l, error)) << error;
        return l;
    }

    // A statement as the superuser on the test's database; false with the error recorded.
    bool admin(const std::string& statement) {
        QSqlQuery q(adminDb());
        const bool ok = q.exec(QString::fromStdString(statement));
        EXPECT_TRUE(ok) << statement << ": " << q.lastError().text().toStdString();
        return ok;
    }
    QVariant adminValue(const std::string& statement) {
        QSqlQuery q(adminDb());
        if (!q.exec(QString::fromStdString(statement)) || !q.next()) {
            ADD_FAILURE() << statement << ": " << q.lastError().text().toStdString();
            return {};
        }
        return q.value(0);
    }

    // A login role with a password (in the group role, when one is named), and a password
    // file (mode 0600) that gives it.
    std::string loginRole(const std::string& name, const std::string& group,
                          const std::string& password) {
        const std::string role = name + "_" + dbName;
        admin("CREATE ROLE " + role + " LOGIN PASSWORD '" + password + "'" +
              (group.empty() ? "" : " IN ROLE " + group));
        return role;
    }
    std::string passFile(const std::string& role, const std::string& password) const {
        const std::string file = folder + "/pgpass-" + role;
        std::ofstream(file) << "*:*:*:" << role << ":" << password << "\n";
        ::chmod(file.c_str(), 0600);
        return file;
    }

    // A test of a table that also runs without a server says so.
    virtual bool needsServer() const { return true; }

    PgServer server;
    std::string dbName;
    std::string folder;

private:
    QSqlDatabase adminDb() const {
        return QSqlDatabase::database(QString::fromStdString(connectionName()), false);
    }
    std::string connectionName() const { return "admin-" + dbName; }
    bool openAdmin(const std::string& database) {
        QSqlDatabase db =
            QSqlDatabase::addDatabase("QPSQL", QString::fromStdString(connectionName()));
        db.setConnectOptions(
            QString::fromStdString("host=" + server.host + ";port=" + server.port));
        db.setUserName(QString::fromStdString(server.admin));
        db.setDatabaseName(QString::fromStdString(database));
        const bool ok = db.open();
        EXPECT_TRUE(ok) << db.lastError().text().toStdString();
        return ok;
    }
    void closeAdmin() {
        {
            QSqlDatabase db = adminDb();
            db.close();
        }
        QSqlDatabase::removeDatabase(QString::fromStdString(connectionName()));
    }
};

} // namespace qarn3::test
