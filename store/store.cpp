#include "store/store.h"

#include "records/shotjudging.h"
#include "records/validation.h"
#include "store/curvelibrary.h"
#include "store/tripunitlibrary.h"

#include <QCryptographicHash>
#include <QSqlError>

#include <unordered_map>

namespace qarn3 {

namespace {

RecordsError belongsElsewhere(const std::string& field, const std::string& what) {
    return {RecordsErrorKind::Invalid, field, field + ": belongs to another " + what};
}

RecordsError checkContext(const ShotContext& c) {
    if (auto e = validateSite(c.site)) return RecordsError::invalid(*e);
    if (auto e = validateBreaker(c.breaker)) return RecordsError::invalid(*e);
    if (auto e = validateSession(c.session)) return RecordsError::invalid(*e);
    if (auto e = validateTestPoint(c.point)) return RecordsError::invalid(*e);
    for (const std::string* id : {&c.site.id, &c.breaker.id, &c.session.id, &c.point.id})
        if (id->empty()) return {RecordsErrorKind::Invalid, "id", "id: a record has no id"};
    if (c.breaker.siteId != c.site.id) return belongsElsewhere("breaker", "site");
    if (c.session.breakerId != c.breaker.id) return belongsElsewhere("session", "breaker");
    if (c.point.sessionId != c.session.id) return belongsElsewhere("test point", "session");
    return {};
}

} // namespace

std::string waveformId(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

RecordsError RecordsStore::insertContext(const ShotContext& c, const std::string& now) {
    RecordsError e;
    QSqlQuery q = m_db.query();
    for (const BoundSql& s :
         {sql::insertSiteIfNew(c.site, now), sql::insertBreakerIfNew(c.breaker, now),
          sql::insertSessionIfNew(c.session, now), sql::insertTestPointIfNew(c.point, now)})
        if (!m_db.run(q, s, e)) return e;
    return e;
}

RecordsError RecordsStore::storeSessionPoints(const ShotContext& ctx,
                                              const std::vector<TestPointRecord>& points) {
    if (RecordsError e = m_db.beginWrite()) return e;
    const std::string now = isoUtcNow();
    RecordsError e;
    QSqlQuery q = m_db.query();
    std::vector<BoundSql> statements{sql::insertSiteIfNew(ctx.site, now),
                                     sql::insertBreakerIfNew(ctx.breaker, now),
                                     sql::insertSessionIfNew(ctx.session, now)};
    for (const TestPointRecord& p : points)
        statements.push_back(sql::insertTestPointIfNew(p, now));
    for (const BoundSql& s : statements)
        if (!m_db.run(q, s, e)) break;
    q.finish();
    if (e) {
        m_db.rollback();
        return e;
    }
    return m_db.commit();
}

RecordsError RecordsStore::storeShots(const ShotContext& ctx, const std::vector<NewShot>& shots,
                                      std::vector<ShotRecord>& stored) {
    ShotContext given = ctx;
    return storeShotsSettled(given, {}, shots, stored);
}

RecordsError RecordsStore::storeShotsSettled(ShotContext& ctx, const ContextSettler& settle,
                                             const std::vector<NewShot>& shots,
                                             std::vector<ShotRecord>& stored) {
    stored.clear();
    if (!settle)
        if (RecordsError e = checkContext(ctx)) return e;
    for (const NewShot& s : shots)
        if (auto e = validateReading(s.reading)) return RecordsError::invalid(*e);
    if (shots.empty()) return {};

    if (RecordsError e = m_db.beginWrite()) return e;
    // Everything below reads the rows as this transaction holds them.
    auto fail = [this](RecordsError e) {
        m_db.rollback();
        return e;
    };
    ShotContext c = ctx;
    if (settle) {
        RecordsError e;
        if (const std::string lock = m_db.dialect().namesLock();
            !lock.empty() && !m_db.run(lock, e))
            return fail(e);
        if ((e = settle(c))) return fail(e);
        if ((e = checkContext(c))) return fail(e);
    }
    BandSources sources;
    if (!c.point.band && !c.point.mustNotTrip) {
        RecordsError e;
        sources.curve = CurveLibrary(m_db).curveOf(c.breaker.id, c.point.kind, e);
        if (e) return fail(e);
        if (auto unit = TripUnitLibrary(m_db).byId(c.breaker.tripUnitId, e))
            sources.profile = std::move(unit->profile);
        if (e) return fail(e);
        sources.profileMissing = !c.breaker.tripUnitId.empty() && !sources.profile;
        sources.settings = settingsInForce(c.session, c.breaker);
    }

    const std::vector<ShotJudgement> judged =
        judgeShots(c.point, c.breaker.ratedAmps, sources, shots);
    std::vector<ShotRecord> records;
    records.reserve(shots.size());
    // The pulses of one file share their bytes: hashed once.
    const QByteArray* hashed = nullptr;
    std::string hashedId;
    for (std::size_t i = 0; i < shots.size(); ++i) {
        const NewShot& s = shots[i];
        ShotRecord r;
        r.id = newRecordId();
        r.testPointId = c.point.id;
        r.reading = s.reading;
        r.multiple = judged[i].multiple;
        r.band = judged[i].band;
        r.basis = judged[i].basis;
        r.judgement = judged[i].judgement;
        if (!s.waveform.isEmpty()) {
            if (!hashed || hashed->constData() != s.waveform.constData() ||
                hashed->size() != s.waveform.size()) {
                hashed = &s.waveform;
                hashedId = waveformId(s.waveform);
            }
            r.waveformId = hashedId;
        }
        records.push_back(std::move(r));
    }

    const std::string now = isoUtcNow();
    RecordsError e = insertContext(c, now);
    QSqlQuery q = m_db.query();
    for (std::size_t i = 0; !e && i < shots.size(); ++i) {
        const bool sameAsBefore = i > 0 && records[i].waveformId == records[i - 1].waveformId;
        if (!records[i].waveformId.empty() && !sameAsBefore &&
            !m_db.run(q, sql::insertWaveformIfNew(records[i].waveformId, shots[i].waveform), e))
            break;
        m_db.run(q, sql::insertShot(records[i], now), e);
    }
    q.finish();
    if (e) return fail(e);
    if ((e = m_db.commit())) return e;
    stored = std::move(records);
    ctx = std::move(c);
    return {};
}

RecordsError RecordsStore::storeShot(const ShotContext& ctx, const NewShot& shot,
                                     ShotRecord& stored) {
    std::vector<ShotRecord> out;
    RecordsError e = storeShots(ctx, {shot}, out);
    if (!e) stored = out.front();
    return e;
}

RecordsError RecordsStore::save(const BoundSql& statement) {
    if (RecordsError e = m_db.beginWrite()) return e;
    RecordsError e;
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, statement, e)) {
        q.finish();
        m_db.rollback();
        return e;
    }
    q.finish();
    return m_db.commit();
}

RecordsError RecordsStore::saveSite(const SiteRecord& s) {
    if (auto e = validateSite(s)) return RecordsError::invalid(*e);
    return save(sql::saveSite(s, isoUtcNow()));
}

RecordsError RecordsStore::saveBreaker(const BreakerRecord& b) {
    if (auto e = validateBreaker(b)) return RecordsError::invalid(*e);
    return save(sql::saveBreaker(b, isoUtcNow()));
}

RecordsError RecordsStore::saveSession(const SessionRecord& s) {
    if (auto e = validateSession(s)) return RecordsError::invalid(*e);
    return save(sql::saveSession(s, isoUtcNow()));
}

RecordsError RecordsStore::saveTestPoint(const TestPointRecord& p) {
    if (auto e = validateTestPoint(p)) return RecordsError::invalid(*e);
    return save(sql::saveTestPoint(p, isoUtcNow()));
}

template <typename T, typename From>
std::vector<T> RecordsStore::all(const BoundSql& statement, From from, RecordsError& error) {
    std::vector<T> out;
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, statement, error)) return out;
    while (q.next())
        out.push_back(from(q));
    return out;
}

std::optional<SiteRecord> RecordsStore::siteNamed(const std::string& name, RecordsError& error) {
    auto found = all<SiteRecord>(sql::siteNamed(name), sql::siteFrom, error);
    if (found.empty()) return std::nullopt;
    return found.front();
}

std::optional<BreakerRecord> RecordsStore::breakerNamed(const std::string& siteId,
                                                        const std::string& designation,
                                                        RecordsError& error) {
    auto found =
        all<BreakerRecord>(sql::breakerNamed(siteId, designation), sql::breakerFrom, error);
    if (found.empty()) return std::nullopt;
    return found.front();
}

std::vector<SiteRecord> RecordsStore::sites(RecordsError& error) {
    return all<SiteRecord>(sql::sites(), sql::siteFrom, error);
}

std::vector<BreakerRecord> RecordsStore::breakersOf(const std::string& siteId,
                                                    RecordsError& error) {
    return all<BreakerRecord>(sql::breakersOf(siteId), sql::breakerFrom, error);
}

std::vector<SessionRecord> RecordsStore::sessionsOf(const std::string& breakerId,
                                                    RecordsError& error) {
    return all<SessionRecord>(sql::sessionsOf(breakerId), sql::sessionFrom, error);
}

std::vector<TestPointRecord> RecordsStore::testPointsOf(const std::string& sessionId,
                                                        RecordsError& error) {
    return all<TestPointRecord>(sql::testPointsOf(sessionId), sql::testPointFrom, error);
}

std::int64_t RecordsStore::countShots(const ShotFilter& f, RecordsError& error) {
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, sql::shotCount(f), error) || !q.next()) return 0;
    return q.value(0).toLongLong();
}

std::vector<ShotRow> RecordsStore::listShots(const ShotFilter& f, ShotOrder order, int offset,
                                             int limit, RecordsError& error) {
    return all<ShotRow>(sql::shotRows(f, order, std::max(limit, 0), std::max(offset, 0)),
                        sql::shotRowFrom, error);
}

RecordsError RecordsStore::forEachShot(const ShotFilter& f, ShotOrder order,
                                       const std::function<bool(const ShotRow&)>& each) {
    RecordsError e;
    // The rows above the shots first, once per test point (a test point has many shots),
    // then the shots as they come: a server's connection streams one query at a time.
    std::unordered_map<std::string, ShotRow> contexts;
    {
        QSqlQuery above = m_db.query();
        if (!m_db.run(above, sql::contextsOfShots(f), e)) return e;
        while (above.next()) {
            ShotRow row = sql::contextFrom(above);
            contexts.emplace(row.point.id, std::move(row));
        }
    }
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, sql::shotsOnly(f, order), e)) return e;
    while (q.next()) {
        ShotRecord shot = sql::shotFrom(q);
        const auto at = contexts.find(shot.testPointId);
        // A shot stored since the rows above were read: its test point is new too.
        if (at == contexts.end()) continue;
        ShotRow& row = at->second;
        row.shot = std::move(shot);
        if (!each(row)) break;
    }
    if (q.lastError().isValid())
        return m_db.errorOf(q.lastError(), "The records database " + m_db.location().display());
    return {};
}

std::optional<ShotContext> RecordsStore::sessionContext(const std::string& sessionId,
                                                        RecordsError& error) {
    auto found = all<ShotRow>(sql::sessionContext(sessionId), sql::sessionContextFrom, error);
    if (found.empty()) {
        if (!error) error = {RecordsErrorKind::NotFound, {}, "No session " + sessionId};
        return std::nullopt;
    }
    return ShotContext{found.front().site, found.front().breaker, found.front().session, {}};
}

std::optional<SessionRecord> RecordsStore::latestSession(RecordsError& error) {
    auto found = all<SessionRecord>(sql::latestSession(), sql::sessionFrom, error);
    if (found.empty()) {
        if (!error) error = {RecordsErrorKind::NotFound, {}, "No session in the records"};
        return std::nullopt;
    }
    return found.front();
}

std::optional<QByteArray> RecordsStore::waveformOf(const std::string& shotId, RecordsError& error) {
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, sql::waveformOfShot(shotId), error)) return std::nullopt;
    if (!q.next()) {
        error = {RecordsErrorKind::NotFound, {}, "No shot " + shotId};
        return std::nullopt;
    }
    if (q.value(1).isNull()) {
        error = {RecordsErrorKind::NotFound, {}, "Shot " + shotId + " has no waveform"};
        return std::nullopt;
    }
    return q.value(1).toByteArray();
}

} // namespace qarn3
