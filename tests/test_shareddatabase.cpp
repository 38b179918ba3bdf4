// The records on a PostgreSQL server: the schema made on an empty database, every command of
// qarn3-records against it (the curve library and the report too), the two roles of
// store/roles.sql, and a wrong password, a missing one and an unreachable server told
// clearly with the laptop's records kept.
#include "engine/analysis.h"
#include "recordstool/tool.h"
#include "store/approval.h"

#include "csv_reader.h"
#include "schema_doc.h"
#include "shared_database_fixture.h"
#include "tool_run.h"
#include "waveform/waveform.h"

#include <QProcess>
#include <QSqlDatabase>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// Answers a password question as a test says, counting the questions.
class ScriptedPrompt : public DatabasePasswordPrompt {
public:
    explicit ScriptedPrompt(std::optional<std::string> answer) : m_answer(std::move(answer)) {}
    std::optional<std::string> askPassword(const DatabaseLocation&) override {
        ++asked;
        return m_answer;
    }
    int asked = 0;

private:
    std::optional<std::string> m_answer;
};

class SharedTool : public SharedDatabaseTest {
public:
    ToolRun run(const std::vector<std::string>& args, DatabasePasswordPrompt* prompt = nullptr) {
        return runRecords(args, folder + "/data", prompt, 1);
    }
    ToolRun import(const std::string& db, const std::string& file) {
        return run({"--db", db, "import", "--site", "Plant A", "--breaker", "Q1", "--rating", "400",
                    "--pole", "A", "--kind", "long-time", "--multiple", "3", "--band", "0.1,0.5",
                    file});
    }
    // Makes the schema as the superuser (the owner) and gives the roles their rights.
    void makeSchemaAndRoles() {
        RecordsDatabase owner(location(adminUri()));
        ASSERT_TRUE(owner.open().ok);
        const auto roles = FileStore().readAll(std::string(QARN3_SOURCE_DIR) + "/store/roles.sql");
        ASSERT_TRUE(roles);
        // Roles belong to the whole server: tests running at once take turns making them.
        adminValue("SELECT pg_advisory_lock(7)");
        admin(*roles);
        adminValue("SELECT pg_advisory_unlock(7)");
    }
};

const std::string kSampleCurves = std::string(QARN3_SOURCE_DIR) + "/records/curves/sample.csv";

std::string columnType(SharedTool& t, const std::string& table, const std::string& column) {
    return t
        .adminValue("SELECT data_type FROM information_schema.columns WHERE table_name = '" +
                    table + "' AND column_name = '" + column + "'")
        .toString()
        .toStdString();
}

// An empty database takes the schema with the engine's types; every command works on it; and
// a laptop that received everything exports the very same text as the server.
TEST_F(SharedTool, SchemaOnAnEmptyServerAndEveryCommand) {
    ASSERT_EQ(makeDemoFiles(folder), "");
    const std::string db = adminUri();
    const ToolRun schema = run({"--db", db, "schema"});
    ASSERT_EQ(schema.status, 0) << schema.err;
    EXPECT_EQ(schema.out, "Schema version " + std::to_string(newestSchemaVersion()) + "\n");
    EXPECT_EQ(adminValue("SELECT count(*) FROM schema_version").toInt(), 1);
    EXPECT_EQ(columnType(*this, "breaker", "rated_a"), "double precision");
    EXPECT_EQ(columnType(*this, "waveform", "bytes"), "bytea");
    EXPECT_EQ(columnType(*this, "shot", "data_errors"), "bigint");
    EXPECT_EQ(columnType(*this, "curve_point", "max_s"), "double precision");

    ASSERT_EQ(import(db, folder + "/QARN3Pulse.owf").status, 0);
    ASSERT_EQ(import(db, folder + "/QARN3Long.owf").status, 0);
    const ToolRun csv = run({"--db", db, "export"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const std::vector<Record> records = parseCsv(csv.out);
    ASSERT_EQ(records.size(), 6u);
    const ToolRun jsonl = run(
        {"--db", db, "export", "--format", "jsonl", "--site", "Plant A", "--since", "2000-01-01"});
    EXPECT_EQ(std::count(jsonl.out.begin(), jsonl.out.end(), '\n'), 5) << jsonl.err;
    for (std::size_t i = 1; i < records.size(); ++i) {
        const std::string out = folder + "/back.owf";
        ASSERT_EQ(run({"--db", db, "waveform", records[i][0], "-o", out}).status, 0);
        EXPECT_EQ(FileStore().readAll(out), FileStore().readAll(records[i][37]));
    }

    const std::string laptop = folder + "/laptop.db";
    const ToolRun sync = run({"--db", laptop, "sync", "--to", db, "--site", "Plant A"});
    ASSERT_EQ(sync.status, 0) << sync.err;
    EXPECT_NE(sync.out.find("received: site 1, breaker 1, session 2, test_point 2, shot 5, "
                            "waveform 2"),
              std::string::npos)
        << sync.out;
    EXPECT_EQ(run({"--db", laptop, "export"}).out, csv.out);
    EXPECT_EQ(run({"--db", laptop, "sync", "--to", db}).out,
              "Nothing to sync: both databases hold the same records\n");
}

// The curve library and the report on a server as on a file: the sample curves imported (a
// second time: replaced), listed, named by an import whose shots take their bands from them,
// and the session's report written from the server's records.
TEST_F(SharedTool, CurvesAndTheReportOnAServer) {
    ASSERT_EQ(makeDemoFiles(folder), "");
    const std::string db = adminUri();
    ToolRun r = run({"--db", db, "curves", "import", kSampleCurves});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"--db", db, "curves", "import", kSampleCurves});
    EXPECT_NE(r.out.find(": 0 new, 4 replaced"), std::string::npos) << r.out;
    EXPECT_EQ(adminValue("SELECT count(DISTINCT curve_id) FROM curve_point").toInt(), 4);
    r = run({"--db", db, "curves", "list"});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
    EXPECT_NE(r.out.find("Generic Sample-LSIG  short-time"), std::string::npos) << r.out;

    r = run({"--db", db, "import", "--site", "North Plant", "--breaker", "Q7", "--rating", "100",
             "--pole", "A", "--kind", "short-time", "--multiple", "3", "--curve",
             "Generic Sample-LSIG", folder + "/QARN3Pulse.owf"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(adminValue("SELECT count(*) FROM breaker_curve").toInt(), 4);
    EXPECT_EQ(adminValue("SELECT string_agg(verdict, ',' ORDER BY pulse) FROM shot").toString(),
              "FAIL FAST,FAIL FAST,PASS,PASS");
    const std::string pdf = folder + "/report.pdf";
    r = run({"--db", db, "report", "--session", "latest", "-o", pdf});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("(4 shots)"), std::string::npos) << r.out;
    EXPECT_EQ(FileStore().readAll(pdf).value_or("").substr(0, 5), "%PDF-");
}

// A technician adds and edits records through a sync (curves imported again included, their
// points replaced) but deletes nothing else and changes no shot; the office deletes, and a
// laptop does not bring a deleted shot back.
TEST_F(SharedTool, TechnicianAddsAndEditsTheOfficeDeletes) {
    makeSchemaAndRoles();
    const std::string tech = loginRole("tech", "qarn3_technician", "t-pw");
    const std::string office = loginRole("office", "qarn3_office", "o-pw");
    const std::string techDb = uri(tech, "passfile=" + passFile(tech, "t-pw"));
    const std::string officeDb = uri(office, "passfile=" + passFile(office, "o-pw"));

    ASSERT_EQ(makeDemoFiles(folder), "");
    const std::string laptop = folder + "/laptop.db";
    ASSERT_EQ(import(laptop, folder + "/QARN3Pulse.owf").status, 0);
    ASSERT_EQ(run({"--db", laptop, "curves", "import", kSampleCurves}).status, 0);
    ToolRun r = run({"--db", laptop, "sync", "--to", techDb});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("curve 4"), std::string::npos) << r.out;
    {
        RecordsDatabase local(DatabaseLocation::file(laptop));
        ASSERT_TRUE(local.open().ok);
        RecordsStore store(local);
        RecordsError e;
        const auto site = store.siteNamed("Plant A", e);
        ASSERT_TRUE(site);
        BreakerRecord b = *store.breakerNamed(site->id, "Q1", e);
        b.serial = "SN-1";
        ASSERT_FALSE(store.saveBreaker(b));
    }
    ASSERT_EQ(run({"--db", laptop, "curves", "import", kSampleCurves}).status, 0);
    r = run({"--db", laptop, "sync", "--to", techDb});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("updated there: breaker 1, curve 4"), std::string::npos) << r.out;
    EXPECT_EQ(adminValue("SELECT serial FROM breaker").toString(), "SN-1");
    EXPECT_EQ(adminValue("SELECT count(*) FROM curve_point").toInt(), 17) << "replaced, not added";
    r = run({"--db", techDb, "curves", "import", kSampleCurves});
    EXPECT_EQ(r.status, 0) << r.err;

    RecordsDatabase asTech(location(techDb));
    ASSERT_TRUE(asTech.open().ok);
    for (const char* change :
         {"DELETE FROM shot", "UPDATE shot SET seconds = 0", "DELETE FROM breaker",
          "DELETE FROM waveform", "DELETE FROM breaker_curve", "DELETE FROM curve"}) {
        RecordsError e;
        EXPECT_FALSE(asTech.run(change, e)) << change;
        EXPECT_EQ(e.kind, RecordsErrorKind::Denied) << change << ": " << e.message;
    }
    EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 4);

    RecordsDatabase asOffice(location(officeDb));
    ASSERT_TRUE(asOffice.open().ok);
    RecordsError e;
    ASSERT_TRUE(asOffice.run("DELETE FROM shot WHERE pulse = 2", e)) << e.message;
    r = run({"--db", laptop, "sync", "--to", techDb});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("kept here, deleted on the shared database: shot 1"), std::string::npos)
        << r.out;
    EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 3);
    EXPECT_EQ(parseCsv(run({"--db", laptop, "export"}).out).size(), 5u);

    // The office deletes a curve (its points and the breakers' naming of it first); a breaker
    // the laptop then names the curve's family for reaches the shared database with its shots,
    // all but its naming of the deleted curve, sync after sync.
    for (const char* change : {"DELETE FROM breaker_curve WHERE curve_id IN (SELECT id FROM "
                               "curve WHERE kind = 'long-time')",
                               "DELETE FROM curve_point WHERE curve_id IN (SELECT id FROM curve "
                               "WHERE kind = 'long-time')",
                               "DELETE FROM curve WHERE kind = 'long-time'"})
        ASSERT_TRUE(asOffice.run(change, e)) << e.message;
    r = run({"--db", laptop, "import", "--site", "Plant A", "--breaker", "Q2", "--rating", "100",
             "--pole", "A", "--kind", "short-time", "--multiple", "3", "--curve",
             "Generic Sample-LSIG", folder + "/QARN3Pulse.owf"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (int round = 0; round < 2; ++round) {
        r = run({"--db", laptop, "sync", "--to", techDb});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("not sent, under a record deleted on the shared database: "
                             "breaker_curve 1\n"),
                  std::string::npos)
            << r.out;
    }
    EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 7);
    EXPECT_EQ(adminValue("SELECT count(*) FROM breaker_curve").toInt(), 3);
}

// An approved session is refused every change by the server itself, whoever asks: the
// technician's direct statements, the office's, and a laptop's sync of an older copy, which
// reports it; a dated note still goes in.
TEST_F(SharedTool, AnApprovedSessionIsRefusedEveryChangeOnEveryPath) {
    makeSchemaAndRoles();
    const std::string tech = loginRole("tech", "qarn3_technician", "t-pw");
    const std::string office = loginRole("office", "qarn3_office", "o-pw");
    const std::string techDb = uri(tech, "passfile=" + passFile(tech, "t-pw"));
    const std::string officeDb = uri(office, "passfile=" + passFile(office, "o-pw"));
    ASSERT_EQ(makeDemoFiles(folder), "");
    const std::string a = folder + "/a.db", b = folder + "/b.db";
    ASSERT_EQ(import(a, folder + "/QARN3Pulse.owf").status, 0);
    ASSERT_EQ(run({"--db", a, "sync", "--to", techDb}).status, 0);
    ASSERT_EQ(run({"--db", b, "sync", "--to", techDb, "--site", "Plant A"}).status, 0);
    const std::string session = adminValue("SELECT id FROM session").toString().toStdString();

    ToolRun r = run({"--db", a, "approve", "--session", session, "--by", "Olga"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"--db", a, "approve", "--session", session, "--by", "Olga"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("was approved by Olga on "), std::string::npos) << r.err;
    r = run({"--db", a, "sync", "--to", techDb});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(adminValue("SELECT approved_by FROM session").toString(), "Olga");

    RecordsDatabase asTech(location(techDb)), asOffice(location(officeDb));
    ASSERT_TRUE(asTech.open().ok);
    ASSERT_TRUE(asOffice.open().ok);
    for (auto [db, change] : std::vector<std::pair<RecordsDatabase*, const char*>>{
             {&asTech, "UPDATE session SET notes = 'x'"},
             {&asTech, "UPDATE test_point SET tolerance = 0.5"},
             {&asOffice, "UPDATE shot SET seconds = 0"},
             {&asOffice, "DELETE FROM shot"},
             {&asOffice, "UPDATE session SET approved_at = NULL"},
             {&asOffice, "DELETE FROM test_point"},
             {&asOffice, "UPDATE waveform SET bytes = '\\x00'"},
             {&asOffice, "DELETE FROM waveform"}}) {
        RecordsError e;
        EXPECT_FALSE(db->run(change, e)) << change;
        EXPECT_EQ(e.kind, RecordsErrorKind::Approved) << change << ": " << e.message;
        EXPECT_NE(e.message.find("approved session"), std::string::npos) << e.message;
    }
    // The technician's role may not change a shot at all: refused by its grants first.
    {
        RecordsError e;
        EXPECT_FALSE(asTech.run("UPDATE shot SET seconds = 0", e));
        EXPECT_FALSE(e.message.empty());
    }
    EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 4);
    EXPECT_EQ(adminValue("SELECT count(*) FROM shot WHERE seconds = 0").toInt(), 0);

    // Laptop B still holds the session unapproved and edits it: the shared database refuses.
    {
        RecordsDatabase local(DatabaseLocation::file(b));
        ASSERT_TRUE(local.open().ok);
        RecordsError e;
        auto ctx = RecordsStore(local).sessionContext(session, e);
        ASSERT_TRUE(ctx) << e.message;
        ctx->session.notes = "changed on B";
        ASSERT_FALSE(RecordsStore(local).saveSession(ctx->session));
    }
    r = run({"--db", b, "sync", "--to", techDb});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("refused by the shared database: session"), std::string::npos) << r.out;
    EXPECT_EQ(adminValue("SELECT notes FROM session").toString(), "");
    EXPECT_EQ(adminValue("SELECT approved_by FROM session").toString(), "Olga");
    EXPECT_NE(r.out.find("kept the change made there"), std::string::npos) << r.out;
    {
        // B's copy gave way to the approved one.
        RecordsDatabase local(DatabaseLocation::file(b));
        ASSERT_TRUE(local.open().ok);
        RecordsError e;
        const auto ctx = RecordsStore(local).sessionContext(session, e);
        ASSERT_TRUE(ctx) << e.message;
        EXPECT_EQ(ctx->session.approvedBy, "Olga");
        EXPECT_EQ(ctx->session.notes, "");
    }
    r = run({"--db", b, "sync", "--to", techDb});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("refused"), std::string::npos) << r.out;

    // A row made to look older than the approval is refused as well.
    {
        RecordsError e;
        QSqlQuery q = asTech.query();
        EXPECT_FALSE(asTech.run(q,
                                {"INSERT INTO session_check (id, session_id, item, ticked_at,"
                                 " created_at, updated_at) VALUES ('x', ?, 'Late', '2000-01-01',"
                                 " '2000-01-01', '2000-01-01')",
                                 {QString::fromStdString(session)}},
                                e));
        EXPECT_EQ(e.kind, RecordsErrorKind::Approved) << e.message;
    }

    // A correction goes in as a dated note.
    {
        RecordsDatabase local(DatabaseLocation::file(a));
        ASSERT_TRUE(local.open().ok);
        ASSERT_FALSE(addSessionNote(local, session, "Olga", "Pole B retested on 12 Dec"));
    }
    ASSERT_EQ(run({"--db", a, "sync", "--to", techDb}).status, 0);
    EXPECT_EQ(adminValue("SELECT text FROM session_note").toString(), "Pole B retested on 12 Dec");
    RecordsError e;
    EXPECT_FALSE(asOffice.run("UPDATE session_note SET text = 'x'", e));
    EXPECT_EQ(e.kind, RecordsErrorKind::Approved) << e.message;
}

// Only the owner makes or changes the schema: a technician who meets an empty database, or
// one of an older version, is told what to do, and nothing is changed.
TEST_F(SharedTool, TechnicianMeetingAnOlderSchemaIsToldWhoUpdatesIt) {
    const SqlDialect pg(SqlEngine::Postgres);
    adminValue("SELECT pg_advisory_lock(7)");
    admin("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'qarn3_technician')"
          " THEN CREATE ROLE qarn3_technician NOLOGIN; END IF; END $$");
    adminValue("SELECT pg_advisory_unlock(7)");
    const std::string tech = loginRole("tech", "qarn3_technician", "pw");
    const std::string db = uri(tech, "passfile=" + passFile(tech, "pw"));

    ToolRun r = run({"--db", db, "export"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds no records schema yet"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("The role " + tech + " may not change the schema"), std::string::npos);

    for (const std::string& statement : schemaSteps().front().statements)
        admin(pg.typed(statement));
    for (const std::string& statement : pg.writeVersion(schemaSteps().front().version))
        admin(statement);
    admin("GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO qarn3_technician");
    r = run({"--db", db, "export"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds schema version 1 and this program needs version " +
                         std::to_string(newestSchemaVersion())),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("qarn3-records --db postgresql://"), std::string::npos) << r.err;
    EXPECT_EQ(adminValue("SELECT max(version) FROM schema_version").toInt(), 1);
}

struct LoginCase {
    const char* name;
    std::function<std::string(SharedTool&, const std::string& role)> options;
    std::optional<std::string> promptAnswer;
    int asks;
    const char* says; // empty: the sync succeeds
};

void PrintTo(const LoginCase& c, std::ostream* os) {
    *os << c.name;
}

class Login : public SharedTool, public ::testing::WithParamInterface<LoginCase> {};

// What the client library finds decides: a password file's password is used as it is (a wrong
// one is refused with the server's words), the operator is asked only when no password was
// found at all, and a server that cannot be reached is named. A failed sync leaves the
// laptop's records as they were.
TEST_P(Login, IsToldClearlyAndKeepsTheLocalRecords) {
    const LoginCase& c = GetParam();
    RecordsDatabase owner(location(adminUri()));
    ASSERT_TRUE(owner.open().ok);
    const std::string role = loginRole("ann", "", "right");
    admin("GRANT SELECT, INSERT, UPDATE ON ALL TABLES IN SCHEMA public TO " + role);
    ASSERT_EQ(makeDemoFiles(folder), "");
    const std::string laptop = folder + "/laptop.db";
    ASSERT_EQ(import(laptop, folder + "/QARN3Pulse.owf").status, 0);
    const std::string before = run({"--db", laptop, "export"}).out;

    ScriptedPrompt prompt(c.promptAnswer);
    const ToolRun r =
        run({"--db", laptop, "sync", "--to", uri(role, c.options(*this, role))}, &prompt);
    EXPECT_EQ(prompt.asked, c.asks);
    if (std::string(c.says).empty()) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 4);
        return;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open the records database postgresql://" + role + "@"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Nothing was synced; the records here are as they were."),
              std::string::npos);
    EXPECT_EQ(r.err.find("right"), std::string::npos) << "a password in a message";
    EXPECT_EQ(run({"--db", laptop, "export"}).out, before);
    EXPECT_EQ(adminValue("SELECT count(*) FROM shot").toInt(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, Login,
    ::testing::Values(LoginCase{"FromThePasswordFile",
                                [](SharedTool& f, const std::string& r) {
                                    return "passfile=" + f.passFile(r, "right");
                                },
                                std::nullopt, 0, ""},
                      LoginCase{"WrongOneInThePasswordFile",
                                [](SharedTool& f, const std::string& r) {
                                    return "passfile=" + f.passFile(r, "wrong");
                                },
                                std::string("right"), 0, "password authentication failed"},
                      LoginCase{"NoneFoundAndTheOperatorDeclines",
                                [](SharedTool& f, const std::string&) {
                                    return "passfile=" + f.folder + "/none";
                                },
                                std::nullopt, 1, "no password was given"},
                      LoginCase{"AskedAndGiven",
                                [](SharedTool& f, const std::string&) {
                                    return "passfile=" + f.folder + "/none";
                                },
                                std::string("right"), 1, ""},
                      LoginCase{"UnreachableServerIsNotAskedFor",
                                [](SharedTool& f, const std::string&) {
                                    return "host=" + f.folder + "/no-server";
                                },
                                std::string("right"), 0, "/no-server"}),
    [](const auto& c) { return std::string(c.param.name); });

struct SecretCase {
    const char* name;
    bool passwordFile; // the password in a password file; else typed into the prompt
    bool dumpsOff;     // the process writes no core file afterwards
};

class Secrets : public SharedTool, public ::testing::WithParamInterface<SecretCase> {};

// Once a connection is open, no Qt SQL connection keeps its options (where the driver's
// connection string comes from) or a password; a password the program took makes the process
// undumpable, with no core limit left, for the rest of its run. Run in a process of its own
// (the whole test again), which ends in the check: this one stays as it was.
TEST_P(Secrets, OpenConnectionsKeepNoneAndATypedPasswordKeepsCoresOff) {
    const SecretCase& c = GetParam();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    {
        RecordsDatabase owner(location(adminUri()));
        ASSERT_TRUE(owner.open().ok);
    }
    const std::string role = loginRole("ann", "", "Typed-pw-81");
    admin("GRANT SELECT, INSERT, UPDATE ON ALL TABLES IN SCHEMA public TO " + role);
    const std::string where = uri(
        role, "passfile=" + (c.passwordFile ? passFile(role, "Typed-pw-81") : folder + "/none"));
    EXPECT_EXIT(
        {
            ScriptedPrompt prompt(std::string("Typed-pw-81"));
            OpenOptions o;
            o.passwordPrompt = &prompt;
            RecordsDatabase db(location(where), o);
            const OpenReport r = db.open();
            std::string wrong = r.ok ? "" : "not opened: " + r.error.message + "\n";
            if (prompt.asked != (c.passwordFile ? 0 : 1))
                wrong += "asked " + std::to_string(prompt.asked) + "\n";
            for (const QString& name : QSqlDatabase::connectionNames()) {
                if (name.startsWith("admin-")) continue; // the test's own
                const QSqlDatabase kept = QSqlDatabase::database(name, false);
                if (!kept.connectOptions().isEmpty())
                    wrong += "options kept: " + kept.connectOptions().toStdString() + "\n";
                if (!kept.password().isEmpty()) wrong += "a password kept\n";
            }
            rlimit core{};
            ::getrlimit(RLIMIT_CORE, &core);
            const bool off = ::prctl(PR_GET_DUMPABLE) == 0 && core.rlim_cur == 0;
            if (off != c.dumpsOff) wrong += off ? "cores off\n" : "cores still written\n";
            db.close();
            TearDown(); // the database and folder this process made
            std::cerr << wrong;
            std::_Exit(wrong.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Passwords, Secrets,
                         ::testing::Values(SecretCase{"TypedIntoThePrompt", false, true},
                                           SecretCase{"FromThePasswordFile", true, false}),
                         [](const auto& c) { return std::string(c.param.name); });

// Without a prompt (a script), a password nowhere to be found is named with where it is looked
// for: the command itself, without a terminal to ask on, says so too.
TEST_F(SharedTool, MissingPasswordWithoutAPromptSaysWhereItIsLookedFor) {
    RecordsDatabase owner(location(adminUri()));
    ASSERT_TRUE(owner.open().ok);
    const std::string role = loginRole("bob", "", "pw");
    const std::string db = uri(role, "passfile=" + folder + "/none");
    const std::string says = "wants the password of " + role +
                             " and none was found (~/.pgpass, the file PGPASSFILE names, or "
                             "PGPASSWORD)";
    const ToolRun r = run({"--db", db, "export"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;

    QProcess p;
    p.setChildProcessModifier([] { ::setsid(); }); // no controlling terminal
    p.setProcessEnvironment([this] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QARN3_DATA_DIR", QString::fromStdString(folder + "/data"));
        return env;
    }());
    p.start(QARN3_RECORDS_TOOL, {"--db", QString::fromStdString(db), "export"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_NE(err.find(says), std::string::npos) << err;
}

// store/SCHEMA.md gives each column's type on a server as the schema's steps made it there,
// and the table that keeps the version.
TEST_F(SharedDatabaseTest, SchemaDocumentGivesTheServersTypes) {
    RecordsDatabase owner(location(adminUri()));
    ASSERT_TRUE(owner.open().ok);
    const std::string doc = schemaDoc();
    ASSERT_FALSE(doc.empty()) << "cannot read " << QARN3_SCHEMA_DOC;
    QSqlQuery q = owner.query();
    ASSERT_TRUE(q.exec("SELECT table_name, column_name, upper(data_type)"
                       " FROM information_schema.columns WHERE table_schema = current_schema()"
                       " ORDER BY table_name, ordinal_position"));
    int columns = 0;
    while (q.next()) {
        ++columns;
        const std::string table = q.value(0).toString().toStdString();
        const std::string name = q.value(1).toString().toStdString();
        const std::string type = q.value(2).toString().toStdString();
        const std::string section = sectionOf(doc, "`" + table + "`");
        ASSERT_FALSE(section.empty()) << "SCHEMA.md has no section for the table " << table;
        const std::size_t row = section.find("\n| `" + name + "` | ");
        ASSERT_NE(row, std::string::npos) << table << "." << name;
        const std::string line = section.substr(row + 1, section.find('\n', row + 1) - row - 1);
        const std::size_t second = line.find(" | ", line.find(" | ") + 3);
        EXPECT_EQ(line.substr(second, type.size() + 6), " | " + type + " | ")
            << "SCHEMA.md's " << table << "." << name << " on a server is " << type << ": " << line;
    }
    EXPECT_GT(columns, 0);
}

} // namespace
