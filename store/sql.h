#pragma once

// Every SQL text of the records lives here, in sql_schema.cpp (the schema's migration steps
// and where SQLite and PostgreSQL differ), in sql.cpp (the statements), in sql_curves.cpp
// (the curves' statements) and in sql_backend.cpp (what opening a database runs).
#include "records/curve.h"
#include "records/rows.h"
#include "records/testplan.h"
#include "records/tripunit.h"

#include <QVariant>

#include <string>
#include <vector>

class QSqlQuery;

namespace qarn3 {

enum class SqlEngine { Sqlite, Postgres };

// What differs between the two database engines: type names, how a writing transaction
// starts, and where the schema version is kept.
class SqlDialect {
public:
    explicit SqlDialect(SqlEngine engine) : m_engine(engine) {}
    SqlEngine engine() const { return m_engine; }
    const char* driverName() const; // the Qt SQL driver
    // A statement with its type placeholders {REAL} {BLOB} {BIGINT} replaced.
    std::string typed(const std::string& statement) const;
    // Takes the write lock at once, so that two writers never deadlock upgrading it.
    std::string beginWrite() const;
    // Statements run on every new connection before anything else (pragmas).
    std::vector<std::string> connectionSetup(bool writable, bool fullSync) const;
    // The query that gives the schema version (one row, one column), and whether it needs
    // versionTableExists to say the version is kept at all (PostgreSQL: no table, version 0).
    std::string readVersion() const;
    std::string versionTableExists() const; // empty for SQLite
    std::vector<std::string> writeVersion(int version) const;
    // Taken after beginWrite by a migration, so that two programs never migrate at once
    // (empty where beginWrite already excludes other writers).
    std::string migrationLock() const;
    // Taken after beginWrite by a writer that finds rows by name before making them, so
    // that two writers never both miss a site and make it twice (empty where beginWrite
    // already excludes other writers).
    std::string namesLock() const;
    // One row, one column: what names the database whatever the way it was reached.
    std::string identityQuery() const;
    // One row, one column, 1 when the file is not the records' own: another program's
    // application id, or none in a file that holds something; empty for a server.
    std::string foreignFileQuery() const;
    // Values one statement binds at most: the embedded engine's driver looks each bound
    // value's name up among all of them (the time grows with the square of their number),
    // while a server is best given many rows in one round trip.
    std::size_t valuesPerStatement() const { return m_engine == SqlEngine::Sqlite ? 240 : 8000; }

private:
    SqlEngine m_engine;
};

// One step of the schema: the statements that take it from version - 1 to version.
struct MigrationStep {
    int version;
    std::vector<std::string> statements; // with type placeholders
};
// What the database answers to a change of an approved session's records, whoever asks (a
// window, the tool, a sync, a direct SQL statement): on PostgreSQL under the state Q3A01.
inline constexpr char kApprovedRefusal[] =
    "approved session: its records can no longer be changed; add a dated note";

// Every step from an empty database to the newest schema, in order.
const std::vector<MigrationStep>& schemaSteps();
int newestSchemaVersion();

// A statement with its values, in the order of its placeholders.
struct BoundSql {
    std::string text;
    std::vector<QVariant> values;
};

namespace sql {

// Rows written by the records: each takes the record's fields and the time of the write.
BoundSql insertSiteIfNew(const SiteRecord& s, const std::string& now);
BoundSql insertBreakerIfNew(const BreakerRecord& b, const std::string& now);
BoundSql insertSessionIfNew(const SessionRecord& s, const std::string& now);
BoundSql insertTestPointIfNew(const TestPointRecord& p, const std::string& now);
// As above, but an existing row takes the new values and updated_at.
BoundSql saveSite(const SiteRecord& s, const std::string& now);
BoundSql saveBreaker(const BreakerRecord& b, const std::string& now);
BoundSql saveSession(const SessionRecord& s, const std::string& now);
BoundSql saveTestPoint(const TestPointRecord& p, const std::string& now);
// A waveform is kept once, under the SHA-256 of its bytes.
BoundSql insertWaveformIfNew(const std::string& id, const QByteArray& bytes);
BoundSql insertShot(const ShotRecord& s, const std::string& now);

// Lookups.
BoundSql siteNamed(const std::string& name);
BoundSql breakerNamed(const std::string& siteId, const std::string& designation);
BoundSql testPointById(const std::string& id);
BoundSql breakerOfSession(const std::string& sessionId);
BoundSql sites();
BoundSql breakersOf(const std::string& siteId);
BoundSql sessionsOf(const std::string& breakerId);
BoundSql testPointsOf(const std::string& sessionId);
BoundSql waveformOfShot(const std::string& shotId);
BoundSql sessionContext(const std::string& sessionId); // the session, its breaker and site
BoundSql latestSession();                              // the one started last

// Shots with everything above them, filtered; limit < 0 takes all.
BoundSql shotRows(const ShotFilter& f, ShotOrder order, int limit, int offset);
BoundSql shotCount(const ShotFilter& f);
// The same shots without the rows above them (shotFrom), and those rows for every test point
// of those shots (contextFrom): a long list reads each test point's rows once.
BoundSql shotsOnly(const ShotFilter& f, ShotOrder order);
BoundSql contextsOfShots(const ShotFilter& f);

// Rows of the queries above into records.
SiteRecord siteFrom(const QSqlQuery& q);
BreakerRecord breakerFrom(const QSqlQuery& q);
SessionRecord sessionFrom(const QSqlQuery& q);
TestPointRecord testPointFrom(const QSqlQuery& q);
ShotRow shotRowFrom(const QSqlQuery& q);
ShotRecord shotFrom(const QSqlQuery& q);
ShotRow contextFrom(const QSqlQuery& q);        // all but the shot
ShotRow sessionContextFrom(const QSqlQuery& q); // site, breaker and session only

// The curve library: a curve row kept under its id (an existing one takes updated_at), its
// points replaced as a whole, and the curve a breaker names for a kind.
BoundSql saveCurve(const TripCurve& c, const std::string& now);
BoundSql curveExists(const std::string& id);
BoundSql deleteCurvePoints(const std::string& curveId);
BoundSql insertCurvePoint(const std::string& curveId, const CurvePoint& p);
BoundSql saveBreakerCurve(const std::string& breakerId, PointKind kind, const std::string& curveId,
                          const std::string& now);
// Curves with their points, one row per point, by maker, model, kind and multiple: every
// curve, or those a breaker names (of one kind, or all).
BoundSql allCurves();
BoundSql curvesOfBreaker(const std::string& breakerId);
BoundSql curveOfBreaker(const std::string& breakerId, PointKind kind);
// The rows of those queries gathered into curves.
std::vector<TripCurve> curvesFrom(QSqlQuery& q);

// The trip-unit profiles (sql_tripunits.cpp): a profile row kept under its id (an existing
// one takes the new tolerances and updated_at), its delay rows replaced as a whole; every
// profile with its rows (one row per delay row, a profile without any once), by maker and
// model; the profile a breaker follows set.
BoundSql saveTripUnit(const TripUnitProfile& p, const std::string& id, const std::string& now);
BoundSql tripUnitExists(const std::string& id);
BoundSql deleteTripUnitDelays(const std::string& id);
BoundSql insertTripUnitDelay(const std::string& id, PointKind kind, const DelayBand& row);
BoundSql allTripUnits();
BoundSql tripUnitById(const std::string& id);
BoundSql setBreakerTripUnit(const std::string& breakerId, const std::string& tripUnitId,
                            const std::string& now);
// The rows of those queries gathered into profiles, with their ids.
std::vector<std::pair<std::string, TripUnitProfile>> tripUnitsFrom(QSqlQuery& q);

// Test plans (sql_plans.cpp): a plan row kept under its id, its points replaced as a whole;
// every plan with its points (a plan without any once), by name; the plan a breaker follows.
BoundSql saveTestPlan(const TestPlan& p, const std::string& now);
BoundSql testPlanExists(const std::string& id);
BoundSql deleteTestPlanPoints(const std::string& id);
BoundSql insertTestPlanPoint(const std::string& id, int seq, const PlanPoint& p);
BoundSql allTestPlans();
BoundSql testPlanById(const std::string& id);
std::vector<TestPlan> testPlansFrom(QSqlQuery& q);
BoundSql setBreakerPlan(const std::string& breakerId, const std::string& planId,
                        const std::string& now);
// A session approved (only while it is not), its dated notes, its checklist's ticks.
BoundSql approveSession(const std::string& sessionId, const std::string& by, const std::string& at);
BoundSql insertSessionNote(const std::string& id, const std::string& sessionId,
                           const std::string& author, const std::string& noteText,
                           const std::string& now);
BoundSql sessionNotes(const std::string& sessionId);
BoundSql saveSessionCheck(const std::string& sessionId, const std::string& item,
                          const std::string& tickedAt);
BoundSql sessionChecks(const std::string& sessionId);

// What opening and writing a database runs besides the dialect's statements.
std::string commit();
std::string rollback();
// SQLite: reads the schema table, which finds most damage a header check misses; and every
// page's check (one row "ok", or a row per problem).
std::string readSchemaTable();
BoundSql integrityCheck();
// PostgreSQL: how long a statement waits for a lock another session holds, milliseconds;
// every later transaction of the session read-only; the session's role.
std::string lockTimeout(int ms);
std::string readOnlySession();
BoundSql currentRole();

} // namespace sql

} // namespace qarn3
