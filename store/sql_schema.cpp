#include "store/sql.h"

#include <cctype>

namespace qarn3 {

namespace {

constexpr int kApplicationId = 0x51524E33; // "QRN3": file(1) and other programs know the file

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

// Version 1: sites, breakers, sessions, test points, shots and their waveforms.
const MigrationStep kVersion1{
    1,
    {
        R"(CREATE TABLE site (
            id TEXT PRIMARY KEY,
            name TEXT NOT NULL,
            notes TEXT NOT NULL DEFAULT '',
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL))",
        "CREATE INDEX site_name ON site (name)",
        R"(CREATE TABLE breaker (
            id TEXT PRIMARY KEY,
            site_id TEXT NOT NULL REFERENCES site (id),
            location TEXT NOT NULL DEFAULT '',
            designation TEXT NOT NULL,
            maker TEXT NOT NULL DEFAULT '',
            model TEXT NOT NULL DEFAULT '',
            serial TEXT NOT NULL DEFAULT '',
            rated_a {REAL} NOT NULL CHECK (rated_a > 0),
            settings TEXT NOT NULL DEFAULT '',
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL))",
        "CREATE INDEX breaker_site ON breaker (site_id, designation)",
        R"(CREATE TABLE session (
            id TEXT PRIMARY KEY,
            breaker_id TEXT NOT NULL REFERENCES breaker (id),
            started_at TEXT NOT NULL,
            operator_name TEXT NOT NULL DEFAULT '',
            condition TEXT NOT NULL CHECK (condition IN ('as-found', 'as-left', 'other')),
            analyzer_serial TEXT NOT NULL DEFAULT '',
            analyzer_cal_date TEXT,
            notes TEXT NOT NULL DEFAULT '',
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL))",
        "CREATE INDEX session_breaker ON session (breaker_id, started_at)",
        R"(CREATE TABLE test_point (
            id TEXT PRIMARY KEY,
            session_id TEXT NOT NULL REFERENCES session (id),
            pole TEXT NOT NULL CHECK (pole IN ('A', 'B', 'C', 'N')),
            kind TEXT NOT NULL CHECK (kind IN ('long-time', 'short-time', 'instantaneous',
                                               'ground-fault', 'other')),
            multiple {REAL} NOT NULL CHECK (multiple > 0),
            band_min_s {REAL} CHECK (band_min_s >= 0),
            band_max_s {REAL} CHECK (band_max_s > 0),
            must_not_trip INTEGER NOT NULL DEFAULT 0,
            hold_s {REAL},
            tolerance {REAL} NOT NULL DEFAULT 0.1 CHECK (tolerance >= 0),
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL,
            CHECK (band_min_s <= band_max_s)))",
        "CREATE INDEX test_point_session ON test_point (session_id)",
        R"(CREATE TABLE waveform (
            id TEXT PRIMARY KEY,
            size_bytes {BIGINT} NOT NULL,
            bytes {BLOB} NOT NULL))",
        R"(CREATE TABLE shot (
            id TEXT PRIMARY KEY,
            test_point_id TEXT NOT NULL REFERENCES test_point (id),
            taken_at TEXT NOT NULL,
            current_a {REAL} NOT NULL,
            current_decimals INTEGER NOT NULL,
            multiple {REAL} NOT NULL,
            seconds {REAL} NOT NULL,
            cycles {REAL} NOT NULL,
            suspect INTEGER NOT NULL,
            under_range INTEGER NOT NULL,
            cut_short INTEGER NOT NULL,
            data_errors {BIGINT} NOT NULL DEFAULT 0,
            band_min_s {REAL},
            band_max_s {REAL},
            verdict TEXT NOT NULL CHECK (verdict IN ('PASS', 'FAIL FAST', 'FAIL SLOW',
                                                     'NO TRIP', 'CHECK', 'NO BAND')),
            current_off_target INTEGER NOT NULL,
            range_index INTEGER NOT NULL DEFAULT 0,
            source TEXT NOT NULL DEFAULT '',
            pulse INTEGER NOT NULL DEFAULT 0,
            waveform_id TEXT REFERENCES waveform (id),
            created_at TEXT NOT NULL))",
        "CREATE INDEX shot_taken ON shot (taken_at, source, pulse)",
        "CREATE INDEX shot_point ON shot (test_point_id)",
        "CREATE INDEX shot_verdict ON shot (verdict, taken_at)",
    }};

// Version 2: the makers' time-current curves, the curves a breaker names, and where a
// shot's pulse begins in its waveform.
const MigrationStep kVersion2{2,
                              {
                                  R"(CREATE TABLE curve (
            id TEXT PRIMARY KEY,
            maker TEXT NOT NULL,
            model TEXT NOT NULL,
            kind TEXT NOT NULL CHECK (kind IN ('long-time', 'short-time', 'instantaneous',
                                               'ground-fault')),
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL,
            UNIQUE (maker, model, kind)))",
                                  R"(CREATE TABLE curve_point (
            curve_id TEXT NOT NULL REFERENCES curve (id),
            multiple {REAL} NOT NULL CHECK (multiple > 0),
            min_s {REAL} NOT NULL CHECK (min_s > 0),
            max_s {REAL} NOT NULL,
            PRIMARY KEY (curve_id, multiple),
            CHECK (min_s <= max_s)))",
                                  R"(CREATE TABLE breaker_curve (
            id TEXT PRIMARY KEY,
            breaker_id TEXT NOT NULL REFERENCES breaker (id),
            kind TEXT NOT NULL CHECK (kind IN ('long-time', 'short-time', 'instantaneous',
                                               'ground-fault')),
            curve_id TEXT NOT NULL REFERENCES curve (id),
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL,
            UNIQUE (breaker_id, kind)))",
                                  "CREATE INDEX breaker_curve_curve ON breaker_curve (curve_id)",
                                  "ALTER TABLE shot ADD COLUMN start_s {REAL}",
                              }};

// Version 3: what this database and each shared database it syncs with last agreed on, so
// that a sync tells an edit on one side from edits on both, and a row deleted on one side
// from a row the other side never had.
const MigrationStep kVersion3{3,
                              {
                                  R"(CREATE TABLE sync_state (
            peer TEXT NOT NULL,
            table_name TEXT NOT NULL,
            id TEXT NOT NULL,
            updated_at TEXT NOT NULL,
            PRIMARY KEY (peer, table_name, id)))",
                              }};

// Version 4: electronic trip units. The profiles of their families (the tolerances a maker
// publishes, a delay table by setting), the profile a breaker's trip unit follows and its
// settings as values, the settings of each session, a test point's target as a multiple of
// a setting, and with each shot where its band came from.
const MigrationStep kVersion4{
    4,
    {
        R"(CREATE TABLE trip_unit (
            id TEXT PRIMARY KEY,
            maker TEXT NOT NULL,
            model TEXT NOT NULL,
            lt_pick_min {REAL} NOT NULL,
            lt_pick_max {REAL} NOT NULL,
            lt_tol_lo {REAL} NOT NULL,
            lt_tol_hi {REAL} NOT NULL,
            st_pick_tol {REAL} NOT NULL,
            inst_pick_tol {REAL} NOT NULL,
            gf_pick_tol {REAL} NOT NULL,
            inst_max_s {REAL} NOT NULL,
            st_i2t_ref {REAL} NOT NULL,
            gf_i2t_ref {REAL} NOT NULL,
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL,
            UNIQUE (maker, model),
            CHECK (lt_pick_min < lt_pick_max)))",
        R"(CREATE TABLE trip_unit_delay (
            trip_unit_id TEXT NOT NULL REFERENCES trip_unit (id),
            kind TEXT NOT NULL CHECK (kind IN ('short-time', 'ground-fault')),
            setting_s {REAL} NOT NULL CHECK (setting_s > 0),
            min_s {REAL} NOT NULL CHECK (min_s >= 0),
            max_s {REAL} NOT NULL,
            PRIMARY KEY (trip_unit_id, kind, setting_s),
            CHECK (min_s <= max_s)))",
        "ALTER TABLE breaker ADD COLUMN trip_unit_id TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE breaker ADD COLUMN trip_settings TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE session ADD COLUMN trip_settings TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE test_point ADD COLUMN target_of TEXT NOT NULL DEFAULT 'In' CHECK (target_of"
        " IN ('In', 'Ir', 'Isd', 'Ii', 'Ig'))",
        "ALTER TABLE test_point ADD COLUMN target_factor {REAL}",
        "ALTER TABLE shot ADD COLUMN band_basis TEXT NOT NULL DEFAULT '' CHECK (band_basis IN"
        " ('', 'typed', 'curve', 'settings'))",
        "ALTER TABLE shot ADD COLUMN band_source TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE shot ADD COLUMN band_settings TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE shot ADD COLUMN band_function TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE shot ADD COLUMN band_times_ir {REAL}",
        "ALTER TABLE shot ADD COLUMN near_pickup INTEGER NOT NULL DEFAULT 0",
        "ALTER TABLE shot ADD COLUMN band_note TEXT NOT NULL DEFAULT ''",
    }};

// SQLite: one trigger per table and change, refusing it while the session is approved.
std::string liteLock(const std::string& table, const std::string& change,
                     const std::string& approvedWhen) {
    std::string name = table + "_approved_" + change;
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "{SQLITE}CREATE TRIGGER " + name + " BEFORE " + change + " ON " + table + " WHEN " +
           approvedWhen + " BEGIN SELECT RAISE(ABORT, '" + std::string(kApprovedRefusal) +
           "'); END";
}

// The session a row of a table belongs to, as an expression of the row (NEW or OLD).
std::string sessionOf(const std::string& table, const std::string& row) {
    if (table == "session") return row + ".id";
    if (table == "shot")
        return "(SELECT session_id FROM test_point WHERE id = " + row + ".test_point_id)";
    return row + ".session_id";
}

// The row's session is approved. Nothing is added to an approved session, whenever it was
// made: a sync brings a session's rows first and its approval last.
std::string approvedCheck(const std::string& table, const std::string& row) {
    return "EXISTS (SELECT 1 FROM session WHERE id = " + sessionOf(table, row) +
           " AND approved_at IS NOT NULL)";
}

// SQLite: a row of an approved session already holds the id a row is inserted or changed to.
// INSERT OR REPLACE and UPDATE OR REPLACE delete such a row without its delete trigger firing
// (unless the connection turned recursive triggers on), so the row taking its id is refused.
std::string takesApprovedId(const std::string& table) {
    return "EXISTS (SELECT 1 FROM " + table + " AS taken WHERE taken.id = NEW.id AND " +
           approvedCheck(table, "taken") + ")";
}

std::vector<std::string> approvalLocks() {
    std::vector<std::string> s;
    // A session is approved once: after that no column of it changes, nor does it go.
    s.push_back(liteLock("session", "INSERT", takesApprovedId("session")));
    s.push_back(liteLock("session", "UPDATE",
                         "OLD.approved_at IS NOT NULL OR " + takesApprovedId("session")));
    s.push_back(liteLock("session", "DELETE", "OLD.approved_at IS NOT NULL"));
    for (const char* table : {"test_point", "shot", "session_check"}) {
        s.push_back(liteLock(table, "INSERT",
                             approvedCheck(table, "NEW") + " OR " + takesApprovedId(table)));
        s.push_back(liteLock(table, "UPDATE",
                             approvedCheck(table, "OLD") + " OR " + approvedCheck(table, "NEW") +
                                 " OR " + takesApprovedId(table)));
        s.push_back(liteLock(table, "DELETE", approvedCheck(table, "OLD")));
    }
    // The dated notes that correct an approved session are added, never changed or taken out.
    s.push_back(liteLock("session_note", "INSERT", takesApprovedId("session_note")));
    s.push_back(liteLock("session_note", "UPDATE",
                         approvedCheck("session_note", "OLD") + " OR " +
                             takesApprovedId("session_note")));
    s.push_back(liteLock("session_note", "DELETE", approvedCheck("session_note", "OLD")));
    // A waveform a shot of an approved session names keeps its bytes and stays. The same
    // bytes inserted again (a file imported twice) are let through to find their row there.
    const std::string waveformOf = [](const std::string& row) {
        return "EXISTS (SELECT 1 FROM shot s JOIN test_point p ON p.id = s.test_point_id JOIN"
               " session x ON x.id = p.session_id WHERE s.waveform_id = " +
               row + ".id AND x.approved_at IS NOT NULL)";
    }("OLD");
    s.push_back(liteLock("waveform", "INSERT",
                         "EXISTS (SELECT 1 FROM waveform AS taken WHERE taken.id = NEW.id AND"
                         " taken.bytes IS NOT NEW.bytes AND EXISTS (SELECT 1 FROM shot s JOIN"
                         " test_point p ON p.id = s.test_point_id JOIN session x ON x.id ="
                         " p.session_id WHERE s.waveform_id = taken.id AND x.approved_at IS NOT"
                         " NULL))"));
    s.push_back(liteLock("waveform", "UPDATE",
                         waveformOf + " OR (NEW.id <> OLD.id AND EXISTS (SELECT 1 FROM shot s"
                                      " JOIN test_point p ON p.id = s.test_point_id JOIN session"
                                      " x ON x.id = p.session_id WHERE s.waveform_id = NEW.id"
                                      " AND x.approved_at IS NOT NULL))"));
    s.push_back(liteLock("waveform", "DELETE", waveformOf));
    s.push_back("{PG}CREATE FUNCTION qarn3_waveform_approved() RETURNS trigger LANGUAGE plpgsql"
                " AS $$ BEGIN IF " +
                waveformOf + " THEN RAISE EXCEPTION '" + kApprovedRefusal +
                "' USING ERRCODE = 'Q3A01'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF;"
                " RETURN NEW; END $$");
    s.push_back("{PG}CREATE TRIGGER waveform_approved BEFORE UPDATE OR DELETE ON waveform FOR"
                " EACH ROW EXECUTE FUNCTION qarn3_waveform_approved()");
    // PostgreSQL: a function per table (a trigger's condition may not read other tables),
    // raising the refusal under its own state, Q3A01.
    for (const std::string t : {"session", "test_point", "shot", "session_check", "session_note"}) {
        const bool own = t == "session";
        const std::string old = own ? "OLD.approved_at IS NOT NULL" : approvedCheck(t, "OLD");
        const std::string newRow = own || t == "session_note" ? "FALSE" : approvedCheck(t, "NEW");
        s.push_back("{PG}CREATE FUNCTION qarn3_" + t +
                    "_approved() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF (TG_OP <> 'INSERT'"
                    " AND " +
                    old + ") OR (TG_OP <> 'DELETE' AND " + newRow + ") THEN RAISE EXCEPTION '" +
                    kApprovedRefusal +
                    "' USING ERRCODE = 'Q3A01'; END IF; IF TG_OP = 'DELETE' THEN"
                    " RETURN OLD; END IF; RETURN NEW; END $$");
        s.push_back("{PG}CREATE TRIGGER " + t + "_approved BEFORE INSERT OR UPDATE OR DELETE ON " +
                    t + " FOR EACH ROW EXECUTE FUNCTION qarn3_" + t + "_approved()");
    }
    return s;
}

// Version 5: the technician's job. Test plans (ordered points, a checklist, a cool-down) and
// the plan a breaker follows, its test interval; a session's plan, the as-found session an
// as-left one was made from, its checklist ticked, its approval and the dated notes that
// correct an approved one; a test point's place in its plan or why it was skipped; a shot
// taken during a cool-down. An approved session, its test points, shots and checklist are
// refused any change by the database itself.
MigrationStep version5() {
    MigrationStep step{5,
                       {
                           R"(CREATE TABLE test_plan (
            id TEXT PRIMARY KEY,
            name TEXT NOT NULL UNIQUE,
            checklist TEXT NOT NULL DEFAULT '',
            cool_down_min {REAL} NOT NULL DEFAULT 15 CHECK (cool_down_min >= 0),
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL))",
                           R"(CREATE TABLE test_plan_point (
            plan_id TEXT NOT NULL REFERENCES test_plan (id),
            seq INTEGER NOT NULL,
            pole TEXT NOT NULL CHECK (pole IN ('A', 'B', 'C', 'N')),
            kind TEXT NOT NULL CHECK (kind IN ('long-time', 'short-time', 'instantaneous',
                                               'ground-fault', 'other')),
            target_of TEXT NOT NULL CHECK (target_of IN ('In', 'Ir', 'Isd', 'Ii', 'Ig')),
            target_factor {REAL} NOT NULL CHECK (target_factor > 0),
            source TEXT NOT NULL CHECK (source IN ('settings', 'curve', 'typed',
                                                   'must-not-trip')),
            band_min_s {REAL},
            band_max_s {REAL},
            hold_s {REAL},
            shots INTEGER NOT NULL DEFAULT 1 CHECK (shots >= 1),
            PRIMARY KEY (plan_id, seq)))",
                           "ALTER TABLE breaker ADD COLUMN plan_id TEXT NOT NULL DEFAULT ''",
                           "ALTER TABLE breaker ADD COLUMN test_interval_months INTEGER NOT NULL"
                           " DEFAULT 36 CHECK (test_interval_months > 0)",
                           "ALTER TABLE session ADD COLUMN plan_id TEXT NOT NULL DEFAULT ''",
                           "ALTER TABLE session ADD COLUMN as_found_id TEXT NOT NULL DEFAULT ''",
                           "ALTER TABLE session ADD COLUMN approved_by TEXT NOT NULL DEFAULT ''",
                           "ALTER TABLE session ADD COLUMN approved_at TEXT",
                           "ALTER TABLE test_point ADD COLUMN plan_seq INTEGER",
                           "ALTER TABLE test_point ADD COLUMN skipped TEXT NOT NULL DEFAULT ''",
                           "ALTER TABLE shot ADD COLUMN in_cool_down INTEGER NOT NULL DEFAULT 0",
                           R"(CREATE TABLE session_check (
            id TEXT PRIMARY KEY,
            session_id TEXT NOT NULL REFERENCES session (id),
            item TEXT NOT NULL,
            ticked_at TEXT NOT NULL,
            created_at TEXT NOT NULL,
            updated_at TEXT NOT NULL))",
                           "CREATE INDEX session_check_session ON session_check (session_id)",
                           R"(CREATE TABLE session_note (
            id TEXT PRIMARY KEY,
            session_id TEXT NOT NULL REFERENCES session (id),
            written_at TEXT NOT NULL,
            author TEXT NOT NULL DEFAULT '',
            text TEXT NOT NULL,
            created_at TEXT NOT NULL))",
                           "CREATE INDEX session_note_session ON session_note (session_id)",
                       }};
    for (std::string& lock : approvalLocks())
        step.statements.push_back(std::move(lock));
    return step;
}

} // namespace

const char* SqlDialect::driverName() const {
    return m_engine == SqlEngine::Sqlite ? "QSQLITE" : "QPSQL";
}

std::string SqlDialect::typed(const std::string& statement) const {
    std::string s = statement;
    const bool lite = m_engine == SqlEngine::Sqlite;
    // A statement of one engine only is nothing on the other.
    for (const auto& [tag, own] : {std::pair{"{SQLITE}", lite}, std::pair{"{PG}", !lite}}) {
        if (s.rfind(tag, 0) != 0) continue;
        if (!own) return {};
        s.erase(0, std::char_traits<char>::length(tag));
    }
    replaceAll(s, "{REAL}", lite ? "REAL" : "DOUBLE PRECISION");
    replaceAll(s, "{BLOB}", lite ? "BLOB" : "BYTEA");
    replaceAll(s, "{BIGINT}", lite ? "INTEGER" : "BIGINT");
    return s;
}

std::string SqlDialect::beginWrite() const {
    return m_engine == SqlEngine::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN";
}

std::vector<std::string> SqlDialect::connectionSetup(bool writable, bool fullSync) const {
    // A commit the server confirmed survives its crash: a sync counts it as arrived.
    if (m_engine != SqlEngine::Sqlite)
        return {fullSync ? "SET synchronous_commit = on" : "SET synchronous_commit = off"};
    std::vector<std::string> s{"PRAGMA foreign_keys = ON"};
    if (writable) {
        s.push_back("PRAGMA journal_mode = WAL");
        s.push_back(fullSync ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL");
    } else {
        s.push_back("PRAGMA query_only = ON");
    }
    return s;
}

std::string SqlDialect::readVersion() const {
    return m_engine == SqlEngine::Sqlite ? "PRAGMA user_version"
                                         : "SELECT coalesce(max(version), 0) FROM schema_version";
}

std::string SqlDialect::versionTableExists() const {
    if (m_engine == SqlEngine::Sqlite) return {};
    return "SELECT count(*) FROM information_schema.tables WHERE table_schema = current_schema()"
           " AND table_name = 'schema_version'";
}

std::vector<std::string> SqlDialect::writeVersion(int version) const {
    const std::string v = std::to_string(version);
    if (m_engine == SqlEngine::Sqlite)
        return {"PRAGMA application_id = " + std::to_string(kApplicationId),
                "PRAGMA user_version = " + v};
    return {"CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)",
            "DELETE FROM schema_version",
            "INSERT INTO schema_version (version) VALUES (" + v + ")"};
}

std::string SqlDialect::migrationLock() const {
    if (m_engine == SqlEngine::Sqlite) return {};
    return "SELECT pg_advisory_xact_lock(" + std::to_string(kApplicationId) + ")";
}

std::string SqlDialect::namesLock() const {
    if (m_engine == SqlEngine::Sqlite) return {};
    return "SELECT pg_advisory_xact_lock(" + std::to_string(kApplicationId) + ", 1)";
}

std::string SqlDialect::identityQuery() const {
    if (m_engine == SqlEngine::Sqlite) return "SELECT file FROM pragma_database_list WHERE seq = 0";
    return "SELECT system_identifier || '/' || current_database() FROM pg_control_system()";
}

std::string SqlDialect::foreignFileQuery() const {
    if (m_engine != SqlEngine::Sqlite) return {};
    // Every version of the schema stamps the id with its version, in one transaction; a file
    // without it is ours only while SQLite holds nothing in it (a new file, or one whose first
    // migration was cut off).
    return "SELECT a.application_id <> " + std::to_string(kApplicationId) +
           " AND (a.application_id <> 0 OR v.user_version <> 0 OR"
           " (SELECT count(*) FROM sqlite_master) > 0)"
           " FROM pragma_application_id a, pragma_user_version v";
}

// The scale a shot was measured with, so that its waveform is written in the amperes of its
// reading whatever its file's header says.
const MigrationStep kVersion6{
    6, {"ALTER TABLE shot ADD COLUMN amps_per_count {REAL} CHECK (amps_per_count > 0)"}};

const std::vector<MigrationStep>& schemaSteps() {
    static const std::vector<MigrationStep> steps{kVersion1, kVersion2, kVersion3, kVersion4,
                                                  version5(), kVersion6};
    return steps;
}

int newestSchemaVersion() {
    return schemaSteps().back().version;
}

} // namespace qarn3
