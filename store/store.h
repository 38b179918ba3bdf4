#pragma once

#include "records/curve.h"
#include "records/rows.h"
#include "store/database.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// Reads and writes the records on one open database (and so on its thread).
class RecordsStore {
public:
    explicit RecordsStore(RecordsDatabase& db) : m_db(db) {}

    // Stores shots of one test point in one transaction: all of them or none. The site,
    // breaker, session and test point rows are made when their ids are new and left as they
    // are otherwise. Each shot gets an id and is judged (judgeShots) against the curve the
    // breaker names for the point's kind; stored receives them in order.
    RecordsError storeShots(const ShotContext& ctx, const std::vector<NewShot>& shots,
                            std::vector<ShotRecord>& stored);
    RecordsError storeShot(const ShotContext& ctx, const NewShot& shot, ShotRecord& stored);
    // As storeShots, the context settled first inside the same write transaction (settle
    // finds the rows it names, and may write under the transaction): two writers at once
    // never make the same site or breaker twice. ctx takes the settled rows once the shots
    // are stored; an error of settle stores nothing.
    using ContextSettler = std::function<RecordsError(ShotContext&)>;
    RecordsError storeShotsSettled(ShotContext& ctx, const ContextSettler& settle,
                                   const std::vector<NewShot>& shots,
                                   std::vector<ShotRecord>& stored);

    // A session's planned test points before its first shot, in one transaction: the site,
    // breaker and session rows made when their ids are new (the context's test point aside),
    // and each point made when its id is new.
    RecordsError storeSessionPoints(const ShotContext& ctx,
                                    const std::vector<TestPointRecord>& points);

    // An edit of a row: the new values and updated_at now.
    RecordsError saveSite(const SiteRecord& s);
    RecordsError saveBreaker(const BreakerRecord& b);
    RecordsError saveSession(const SessionRecord& s);
    RecordsError saveTestPoint(const TestPointRecord& p);

    // The first made of that name (names are not unique: records of many laptops meet).
    std::optional<SiteRecord> siteNamed(const std::string& name, RecordsError& error);
    std::optional<BreakerRecord> breakerNamed(const std::string& siteId,
                                              const std::string& designation, RecordsError& error);
    // The tree: sites by name, breakers of a site, sessions of a breaker, test points of a
    // session.
    std::vector<SiteRecord> sites(RecordsError& error);
    std::vector<BreakerRecord> breakersOf(const std::string& siteId, RecordsError& error);
    std::vector<SessionRecord> sessionsOf(const std::string& breakerId, RecordsError& error);
    std::vector<TestPointRecord> testPointsOf(const std::string& sessionId, RecordsError& error);

    // The browse list: a count and a page of shots with everything above them.
    std::int64_t countShots(const ShotFilter& f, RecordsError& error);
    std::vector<ShotRow> listShots(const ShotFilter& f, ShotOrder order, int offset, int limit,
                                   RecordsError& error);
    // Every shot the filter takes, one at a time (export); each returns false to stop.
    RecordsError forEachShot(const ShotFilter& f, ShotOrder order,
                             const std::function<bool(const ShotRow&)>& each);
    // A session with its breaker and site (the test point left empty), and the session
    // started last; NotFound when there is none.
    std::optional<ShotContext> sessionContext(const std::string& sessionId, RecordsError& error);
    std::optional<SessionRecord> latestSession(RecordsError& error);
    // The shot's waveform file, byte for byte; NotFound for no such shot or no waveform.
    std::optional<QByteArray> waveformOf(const std::string& shotId, RecordsError& error);

private:
    RecordsError insertContext(const ShotContext& ctx, const std::string& now);
    RecordsError save(const BoundSql& statement);
    template <typename T, typename From>
    std::vector<T> all(const BoundSql& statement, From from, RecordsError& error);

    RecordsDatabase& m_db;
};

// The id a waveform is kept under: the SHA-256 of its bytes, in hexadecimal.
std::string waveformId(const QByteArray& bytes);

} // namespace qarn3
