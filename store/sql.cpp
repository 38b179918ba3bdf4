#include "store/sql.h"

#include "records/tripunit.h"

#include <QSqlQuery>

#include <limits>

namespace qarn3 {

namespace {

const char* const kSiteColumns[] = {"id", "name", "notes"};
const char* const kBreakerColumns[] = {"id",
                                       "site_id",
                                       "location",
                                       "designation",
                                       "maker",
                                       "model",
                                       "serial",
                                       "rated_a",
                                       "settings",
                                       "trip_unit_id",
                                       "trip_settings",
                                       "plan_id",
                                       "test_interval_months"};
const char* const kSessionColumns[] = {"id",
                                       "breaker_id",
                                       "started_at",
                                       "operator_name",
                                       "condition",
                                       "analyzer_serial",
                                       "analyzer_cal_date",
                                       "notes",
                                       "trip_settings",
                                       "plan_id",
                                       "as_found_id",
                                       "approved_by",
                                       "approved_at"};
const char* const kPointColumns[] = {"id",       "session_id", "pole",       "kind",
                                     "multiple", "band_min_s", "band_max_s", "must_not_trip",
                                     "hold_s",   "tolerance",  "target_of",  "target_factor",
                                     "plan_seq", "skipped"};
const char* const kShotColumns[] = {"id",
                                    "test_point_id",
                                    "taken_at",
                                    "current_a",
                                    "current_decimals",
                                    "multiple",
                                    "seconds",
                                    "cycles",
                                    "suspect",
                                    "under_range",
                                    "cut_short",
                                    "data_errors",
                                    "band_min_s",
                                    "band_max_s",
                                    "verdict",
                                    "current_off_target",
                                    "range_index",
                                    "source",
                                    "pulse",
                                    "waveform_id",
                                    "start_s",
                                    "band_basis",
                                    "band_source",
                                    "band_settings",
                                    "band_function",
                                    "band_times_ir",
                                    "near_pickup",
                                    "band_note",
                                    "in_cool_down",
                                    "amps_per_count"};

template <std::size_t N>
std::string columns(const char* const (&names)[N], const std::string& prefix = {}) {
    std::string s;
    for (std::size_t i = 0; i < N; ++i)
        s += (i ? ", " : "") + prefix + names[i];
    return s;
}

template <std::size_t N> std::string placeholders(const char* const (&)[N], int extra = 0) {
    std::string s;
    for (std::size_t i = 0; i < N + static_cast<std::size_t>(extra); ++i)
        s += i ? ", ?" : "?";
    return s;
}

// "SET name = excluded.name, ..." for every column but the id and the creation time.
template <std::size_t N> std::string updateAll(const char* const (&names)[N]) {
    std::string s;
    for (std::size_t i = 1; i < N; ++i)
        s += std::string(i > 1 ? ", " : "") + names[i] + " = excluded." + names[i];
    return s + ", updated_at = excluded.updated_at";
}

QVariant text(const std::string& s) {
    return QString::fromStdString(s);
}
QVariant textOrNull(const std::string& s) {
    return s.empty() ? QVariant() : text(s);
}
QVariant flag(bool b) {
    return b ? 1 : 0;
}
std::string str(const QSqlQuery& q, int i) {
    return q.value(i).toString().toStdString();
}
std::optional<Band> bandAt(const QSqlQuery& q, int i) {
    if (q.value(i).isNull() || q.value(i + 1).isNull()) return std::nullopt;
    return Band{q.value(i).toDouble(), q.value(i + 1).toDouble()};
}

std::vector<QVariant> siteValues(const SiteRecord& s) {
    return {text(s.id), text(s.name), text(s.notes)};
}
std::vector<QVariant> breakerValues(const BreakerRecord& b) {
    return {text(b.id),          text(b.siteId),     text(b.location),     text(b.designation),
            text(b.maker),       text(b.model),      text(b.serial),       b.ratedAmps,
            text(b.settings),    text(b.tripUnitId), text(b.tripSettings), text(b.planId),
            b.testIntervalMonths};
}
std::vector<QVariant> sessionValues(const SessionRecord& s) {
    return {text(s.id),
            text(s.breakerId),
            text(s.startedAt),
            text(s.operatorName),
            text(conditionText(s.condition)),
            text(s.analyzerSerial),
            textOrNull(s.analyzerCalDate),
            text(s.notes),
            text(s.tripSettings),
            text(s.planId),
            text(s.asFoundId),
            text(s.approvedBy),
            textOrNull(s.approvedAt)};
}
std::vector<QVariant> pointValues(const TestPointRecord& p) {
    return {text(p.id),
            text(p.sessionId),
            text(poleText(p.pole)),
            text(kindText(p.kind)),
            p.multiple,
            p.band ? QVariant(p.band->minSeconds) : QVariant(),
            p.band ? QVariant(p.band->maxSeconds) : QVariant(),
            flag(p.mustNotTrip),
            p.mustNotTrip ? QVariant(p.holdSeconds) : QVariant(),
            p.tolerance,
            text(targetOfText(p.targetOf)),
            p.targetOf == TargetOf::In ? QVariant() : QVariant(p.targetFactor),
            p.planSeq ? QVariant(*p.planSeq) : QVariant(),
            text(p.skipped)};
}

// An insert of the values and the two times; onConflict says what an existing id does.
template <std::size_t N>
BoundSql insertRow(const char* table, const char* const (&names)[N], std::vector<QVariant> values,
                   const std::string& now, const std::string& onConflict) {
    BoundSql b;
    b.text = std::string("INSERT INTO ") + table + " (" + columns(names) +
             ", created_at, updated_at) VALUES (" + placeholders(names, 2) +
             ") ON CONFLICT (id) DO " + onConflict;
    b.values = std::move(values);
    b.values.push_back(text(now));
    b.values.push_back(text(now));
    return b;
}

BoundSql select(std::string text, std::vector<QVariant> values = {}) {
    return {std::move(text), std::move(values)};
}

// The joins and conditions a filter needs; all joins when the rows are listed.
std::string fromWhere(const ShotFilter& f, bool allJoins, std::vector<QVariant>& values) {
    const bool needSite = allJoins || !f.siteName.empty();
    const bool needBreaker = needSite || !f.siteId.empty();
    const bool needSession = needBreaker || !f.breakerId.empty();
    const bool needPoint = needSession || !f.sessionId.empty();
    std::string s = " FROM shot s";
    if (needPoint) s += " JOIN test_point p ON p.id = s.test_point_id";
    if (needSession) s += " JOIN session e ON e.id = p.session_id";
    if (needBreaker) s += " JOIN breaker b ON b.id = e.breaker_id";
    if (needSite) s += " JOIN site t ON t.id = b.site_id";
    std::string where;
    auto add = [&](const std::string& condition, const std::string& value) {
        if (value.empty()) return;
        where += (where.empty() ? " WHERE " : " AND ") + condition;
        values.push_back(text(value));
    };
    add("s.id = ?", f.shotId);
    add("t.name = ?", f.siteName);
    add("b.site_id = ?", f.siteId);
    add("e.breaker_id = ?", f.breakerId);
    add("p.session_id = ?", f.sessionId);
    add("s.taken_at >= ?", f.since);
    add("s.taken_at < ?", f.until);
    if (!f.verdicts.empty()) {
        where += where.empty() ? " WHERE s.verdict IN (" : " AND s.verdict IN (";
        for (std::size_t i = 0; i < f.verdicts.size(); ++i) {
            where += i ? ", ?" : "?";
            values.push_back(text(verdictText(f.verdicts[i])));
        }
        where += ")";
    }
    return s + where;
}

// The columns of a shot's site, breaker, session and test point, in that order.
std::string contextColumns() {
    return columns(kSiteColumns, "t.") + ", " + columns(kBreakerColumns, "b.") + ", " +
           columns(kSessionColumns, "e.") + ", " + columns(kPointColumns, "p.");
}

std::string orderBy(ShotOrder order) {
    const std::string dir = order == ShotOrder::OldestFirst ? "" : " DESC";
    return " ORDER BY s.taken_at" + dir + ", s.source" + dir + ", s.pulse" + dir + ", s.id" + dir;
}

const char* basisText(BasisKind k) {
    switch (k) {
    case BasisKind::Typed:
        return "typed";
    case BasisKind::Curve:
        return "curve";
    case BasisKind::Settings:
        return "settings";
    case BasisKind::Unknown:
        break;
    }
    return "";
}

unsigned functionOf(const std::string& text) {
    for (unsigned f : {TripLongTime, TripShortTime, TripInstantaneous, TripGroundFault})
        if (tripFunctionText(f) == text) return f;
    return 0;
}

BandBasis basisAt(const QSqlQuery& q, int i) {
    BandBasis b;
    const std::string kind = str(q, i);
    for (BasisKind k : {BasisKind::Typed, BasisKind::Curve, BasisKind::Settings})
        if (kind == basisText(k)) b.kind = k;
    b.source = str(q, i + 1);
    b.settings = str(q, i + 2);
    b.function = functionOf(str(q, i + 3));
    if (!q.value(i + 4).isNull()) b.timesIr = q.value(i + 4).toDouble();
    b.nearPickup = q.value(i + 5).toInt() != 0;
    b.note = str(q, i + 6);
    return b;
}

SiteRecord siteAt(const QSqlQuery& q, int i) {
    return {str(q, i), str(q, i + 1), str(q, i + 2)};
}

BreakerRecord breakerAt(const QSqlQuery& q, int i) {
    BreakerRecord b;
    b.id = str(q, i);
    b.siteId = str(q, i + 1);
    b.location = str(q, i + 2);
    b.designation = str(q, i + 3);
    b.maker = str(q, i + 4);
    b.model = str(q, i + 5);
    b.serial = str(q, i + 6);
    b.ratedAmps = q.value(i + 7).toDouble();
    b.settings = str(q, i + 8);
    b.tripUnitId = str(q, i + 9);
    b.tripSettings = str(q, i + 10);
    b.planId = str(q, i + 11);
    b.testIntervalMonths = q.value(i + 12).toInt();
    return b;
}

SessionRecord sessionAt(const QSqlQuery& q, int i) {
    SessionRecord s;
    s.id = str(q, i);
    s.breakerId = str(q, i + 1);
    s.startedAt = str(q, i + 2);
    s.operatorName = str(q, i + 3);
    s.condition = conditionFromText(str(q, i + 4)).value_or(Condition::Other);
    s.analyzerSerial = str(q, i + 5);
    s.analyzerCalDate = str(q, i + 6);
    s.notes = str(q, i + 7);
    s.tripSettings = str(q, i + 8);
    s.planId = str(q, i + 9);
    s.asFoundId = str(q, i + 10);
    s.approvedBy = str(q, i + 11);
    s.approvedAt = str(q, i + 12);
    return s;
}

TestPointRecord pointAt(const QSqlQuery& q, int i) {
    TestPointRecord p;
    p.id = str(q, i);
    p.sessionId = str(q, i + 1);
    p.pole = poleFromText(str(q, i + 2)).value_or(Pole::A);
    p.kind = kindFromText(str(q, i + 3)).value_or(PointKind::Other);
    p.multiple = q.value(i + 4).toDouble();
    p.band = bandAt(q, i + 5);
    p.mustNotTrip = q.value(i + 7).toInt() != 0;
    p.holdSeconds = q.value(i + 8).toDouble();
    p.tolerance = q.value(i + 9).toDouble();
    p.targetOf = targetOfFromText(str(q, i + 10)).value_or(TargetOf::In);
    p.targetFactor = p.targetOf == TargetOf::In ? p.multiple : q.value(i + 11).toDouble();
    if (!q.value(i + 12).isNull()) p.planSeq = q.value(i + 12).toInt();
    p.skipped = str(q, i + 13);
    return p;
}

ShotRecord shotAt(const QSqlQuery& q, int i) {
    ShotRecord s;
    ShotReading& r = s.reading;
    s.id = str(q, i);
    s.testPointId = str(q, i + 1);
    r.takenAt = str(q, i + 2);
    r.currentAmps = q.value(i + 3).toDouble();
    r.currentDecimals = q.value(i + 4).toInt();
    s.multiple = q.value(i + 5).toDouble();
    r.seconds = q.value(i + 6).toDouble();
    r.cycles = q.value(i + 7).toDouble();
    r.suspect = q.value(i + 8).toInt() != 0;
    r.underRange = q.value(i + 9).toInt() != 0;
    r.cutShort = q.value(i + 10).toInt() != 0;
    r.dataErrors = static_cast<std::uint64_t>(q.value(i + 11).toLongLong());
    s.band = bandAt(q, i + 12);
    s.judgement.verdict = verdictFromText(str(q, i + 14)).value_or(Verdict::Check);
    s.judgement.currentOffTarget = q.value(i + 15).toInt() != 0;
    r.rangeIndex = q.value(i + 16).toInt();
    r.source = str(q, i + 17);
    r.pulse = q.value(i + 18).toInt();
    s.waveformId = str(q, i + 19);
    if (!q.value(i + 20).isNull()) r.startSeconds = q.value(i + 20).toDouble();
    s.basis = basisAt(q, i + 21);
    r.inCoolDown = q.value(i + 28).toInt() != 0;
    if (!q.value(i + 29).isNull()) r.ampsPerCount = q.value(i + 29).toDouble();
    return s;
}

template <std::size_t N> constexpr int count(const char* const (&)[N]) {
    return static_cast<int>(N);
}

} // namespace

namespace sql {

BoundSql insertSiteIfNew(const SiteRecord& s, const std::string& now) {
    return insertRow("site", kSiteColumns, siteValues(s), now, "NOTHING");
}
BoundSql insertBreakerIfNew(const BreakerRecord& b, const std::string& now) {
    return insertRow("breaker", kBreakerColumns, breakerValues(b), now, "NOTHING");
}
BoundSql insertSessionIfNew(const SessionRecord& s, const std::string& now) {
    return insertRow("session", kSessionColumns, sessionValues(s), now, "NOTHING");
}
BoundSql insertTestPointIfNew(const TestPointRecord& p, const std::string& now) {
    return insertRow("test_point", kPointColumns, pointValues(p), now, "NOTHING");
}
BoundSql saveSite(const SiteRecord& s, const std::string& now) {
    return insertRow("site", kSiteColumns, siteValues(s), now,
                     "UPDATE SET " + updateAll(kSiteColumns));
}
BoundSql saveBreaker(const BreakerRecord& b, const std::string& now) {
    return insertRow("breaker", kBreakerColumns, breakerValues(b), now,
                     "UPDATE SET " + updateAll(kBreakerColumns));
}
BoundSql saveSession(const SessionRecord& s, const std::string& now) {
    return insertRow("session", kSessionColumns, sessionValues(s), now,
                     "UPDATE SET " + updateAll(kSessionColumns));
}
BoundSql saveTestPoint(const TestPointRecord& p, const std::string& now) {
    return insertRow("test_point", kPointColumns, pointValues(p), now,
                     "UPDATE SET " + updateAll(kPointColumns));
}

BoundSql insertWaveformIfNew(const std::string& id, const QByteArray& bytes) {
    return {"INSERT INTO waveform (id, size_bytes, bytes) VALUES (?, ?, ?) ON CONFLICT (id) DO "
            "NOTHING",
            {text(id), static_cast<qlonglong>(bytes.size()), bytes}};
}

BoundSql insertShot(const ShotRecord& s, const std::string& now) {
    const ShotReading& r = s.reading;
    const auto errors = static_cast<qlonglong>(
        std::min<std::uint64_t>(r.dataErrors, std::numeric_limits<qlonglong>::max()));
    return {"INSERT INTO shot (" + columns(kShotColumns) + ", created_at) VALUES (" +
                placeholders(kShotColumns, 1) + ")",
            {text(s.id),
             text(s.testPointId),
             text(r.takenAt),
             r.currentAmps,
             r.currentDecimals,
             s.multiple,
             r.seconds,
             r.cycles,
             flag(r.suspect),
             flag(r.underRange),
             flag(r.cutShort),
             errors,
             s.band ? QVariant(s.band->minSeconds) : QVariant(),
             s.band ? QVariant(s.band->maxSeconds) : QVariant(),
             text(verdictText(s.judgement.verdict)),
             flag(s.judgement.currentOffTarget),
             r.rangeIndex,
             text(r.source),
             r.pulse,
             textOrNull(s.waveformId),
             r.startSeconds ? QVariant(*r.startSeconds) : QVariant(),
             text(basisText(s.basis.kind)),
             text(s.basis.source),
             text(s.basis.settings),
             text(tripFunctionText(s.basis.function)),
             s.basis.timesIr ? QVariant(*s.basis.timesIr) : QVariant(),
             flag(s.basis.nearPickup),
             text(s.basis.note),
             flag(r.inCoolDown),
             r.ampsPerCount > 0 ? QVariant(r.ampsPerCount) : QVariant(),
             text(now)}};
}

BoundSql siteNamed(const std::string& name) {
    return select("SELECT " + columns(kSiteColumns) +
                      " FROM site WHERE name = ? ORDER BY created_at, id LIMIT 1",
                  {text(name)});
}
BoundSql breakerNamed(const std::string& siteId, const std::string& designation) {
    return select("SELECT " + columns(kBreakerColumns) +
                      " FROM breaker WHERE site_id = ? AND designation = ?"
                      " ORDER BY created_at, id LIMIT 1",
                  {text(siteId), text(designation)});
}
BoundSql testPointById(const std::string& id) {
    return select("SELECT " + columns(kPointColumns) + " FROM test_point WHERE id = ?", {text(id)});
}
BoundSql breakerOfSession(const std::string& sessionId) {
    return select("SELECT " + columns(kBreakerColumns, "b.") +
                      " FROM session e JOIN breaker b ON b.id = e.breaker_id WHERE e.id = ?",
                  {text(sessionId)});
}
BoundSql sites() {
    return select("SELECT " + columns(kSiteColumns) + " FROM site ORDER BY name, created_at, id");
}
BoundSql breakersOf(const std::string& siteId) {
    return select("SELECT " + columns(kBreakerColumns) +
                      " FROM breaker WHERE site_id = ? ORDER BY location, designation, id",
                  {text(siteId)});
}
BoundSql sessionsOf(const std::string& breakerId) {
    return select("SELECT " + columns(kSessionColumns) +
                      " FROM session WHERE breaker_id = ? ORDER BY started_at, id",
                  {text(breakerId)});
}
BoundSql testPointsOf(const std::string& sessionId) {
    return select("SELECT " + columns(kPointColumns) +
                      " FROM test_point WHERE session_id = ? ORDER BY created_at, id",
                  {text(sessionId)});
}
BoundSql waveformOfShot(const std::string& shotId) {
    return select("SELECT s.waveform_id, w.bytes FROM shot s LEFT JOIN waveform w ON w.id ="
                  " s.waveform_id WHERE s.id = ?",
                  {text(shotId)});
}

BoundSql sessionContext(const std::string& sessionId) {
    return select("SELECT " + columns(kSiteColumns, "t.") + ", " + columns(kBreakerColumns, "b.") +
                      ", " + columns(kSessionColumns, "e.") +
                      " FROM session e JOIN breaker b ON b.id = e.breaker_id JOIN site t ON t.id ="
                      " b.site_id WHERE e.id = ?",
                  {text(sessionId)});
}
BoundSql latestSession() {
    return select("SELECT " + columns(kSessionColumns) +
                  " FROM session ORDER BY started_at DESC, id DESC LIMIT 1");
}

BoundSql shotRows(const ShotFilter& f, ShotOrder order, int limit, int offset) {
    BoundSql b;
    b.text = "SELECT " + contextColumns() + ", " + columns(kShotColumns, "s.") +
             fromWhere(f, true, b.values) + orderBy(order);
    if (limit >= 0) {
        b.text += " LIMIT ? OFFSET ?";
        b.values.push_back(limit);
        b.values.push_back(offset);
    }
    return b;
}

BoundSql shotsOnly(const ShotFilter& f, ShotOrder order) {
    BoundSql b;
    b.text =
        "SELECT " + columns(kShotColumns, "s.") + fromWhere(f, false, b.values) + orderBy(order);
    return b;
}

BoundSql contextsOfShots(const ShotFilter& f) {
    BoundSql b;
    b.text = "SELECT " + contextColumns() +
             " FROM test_point p JOIN session e ON e.id = p.session_id JOIN breaker b"
             " ON b.id = e.breaker_id JOIN site t ON t.id = b.site_id WHERE p.id IN (SELECT"
             " s.test_point_id" +
             fromWhere(f, false, b.values) + ")";
    return b;
}

BoundSql shotCount(const ShotFilter& f) {
    BoundSql b;
    b.text = "SELECT count(*)" + fromWhere(f, false, b.values);
    return b;
}

SiteRecord siteFrom(const QSqlQuery& q) {
    return siteAt(q, 0);
}
BreakerRecord breakerFrom(const QSqlQuery& q) {
    return breakerAt(q, 0);
}
SessionRecord sessionFrom(const QSqlQuery& q) {
    return sessionAt(q, 0);
}
TestPointRecord testPointFrom(const QSqlQuery& q) {
    return pointAt(q, 0);
}

ShotRow contextFrom(const QSqlQuery& q) {
    ShotRow r;
    int i = 0;
    r.site = siteAt(q, i);
    r.breaker = breakerAt(q, i += count(kSiteColumns));
    r.session = sessionAt(q, i += count(kBreakerColumns));
    r.point = pointAt(q, i += count(kSessionColumns));
    return r;
}

ShotRow sessionContextFrom(const QSqlQuery& q) {
    ShotRow r;
    int i = 0;
    r.site = siteAt(q, i);
    r.breaker = breakerAt(q, i += count(kSiteColumns));
    r.session = sessionAt(q, i += count(kBreakerColumns));
    return r;
}

ShotRow shotRowFrom(const QSqlQuery& q) {
    ShotRow r = contextFrom(q);
    r.shot = shotAt(q, count(kSiteColumns) + count(kBreakerColumns) + count(kSessionColumns) +
                           count(kPointColumns));
    return r;
}

ShotRecord shotFrom(const QSqlQuery& q) {
    return shotAt(q, 0);
}

} // namespace sql

} // namespace qarn3
