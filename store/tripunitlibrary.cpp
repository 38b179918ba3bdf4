#include "store/tripunitlibrary.h"

#include "records/tripunitcsv.h"

namespace qarn3 {

std::vector<StoredTripUnit> TripUnitLibrary::read(const BoundSql& statement, RecordsError& error) {
    QSqlQuery q = m_db.query();
    std::vector<StoredTripUnit> out;
    if (!m_db.run(q, statement, error)) return out;
    for (auto& [id, profile] : sql::tripUnitsFrom(q))
        out.push_back({id, std::move(profile)});
    return out;
}

RecordsError TripUnitLibrary::importProfiles(const std::vector<TripUnitProfile>& profiles,
                                             TripUnitImportSummary& summary) {
    summary = {};
    for (const TripUnitProfile& p : profiles)
        if (const std::string why = tripUnitProblem(p); !why.empty())
            return {RecordsErrorKind::Invalid, "trip unit", why};
    if (profiles.empty()) return {};

    TripUnitImportSummary counted;
    if (RecordsError e = m_db.beginWrite()) return e;
    const std::string now = isoUtcNow();
    RecordsError e;
    QSqlQuery q = m_db.query();
    for (const TripUnitProfile& p : profiles) {
        const std::string id = tripUnitIdOf(p.maker, p.model);
        if (!m_db.run(q, sql::tripUnitExists(id), e) || !q.next()) break;
        const bool existed = q.value(0).toInt() > 0;
        if (!m_db.run(q, sql::saveTripUnit(p, id, now), e) ||
            !m_db.run(q, sql::deleteTripUnitDelays(id), e))
            break;
        for (const auto& [kind, rows] : {std::pair{PointKind::ShortTime, &p.stDelays},
                                         std::pair{PointKind::GroundFault, &p.gfDelays}})
            for (const DelayBand& row : *rows)
                if (!m_db.run(q, sql::insertTripUnitDelay(id, kind, row), e)) break;
        if (e) break;
        ++(existed ? counted.replaced : counted.added);
        counted.rows += static_cast<int>(p.stDelays.size() + p.gfDelays.size());
    }
    q.finish();
    if (e) {
        m_db.rollback();
        return e;
    }
    if ((e = m_db.commit())) return e;
    summary = counted;
    return {};
}

std::vector<StoredTripUnit> TripUnitLibrary::profiles(RecordsError& error) {
    return read(sql::allTripUnits(), error);
}

std::optional<StoredTripUnit> TripUnitLibrary::named(const std::string& name, RecordsError& error) {
    std::optional<StoredTripUnit> found;
    for (StoredTripUnit& u : profiles(error)) {
        if (u.name() != name) continue;
        if (found) {
            error = {RecordsErrorKind::Invalid, "trip unit",
                     "trip unit: \"" + name + "\" names two profiles (of maker " +
                         found->profile.maker + ", and of maker " + u.profile.maker + ")"};
            return std::nullopt;
        }
        found = std::move(u);
    }
    if (!found && !error)
        error = {RecordsErrorKind::NotFound, "trip unit", "trip unit: no profile \"" + name + "\""};
    return found;
}

std::optional<StoredTripUnit> TripUnitLibrary::byId(const std::string& id, RecordsError& error) {
    if (id.empty()) return std::nullopt;
    std::vector<StoredTripUnit> found = read(sql::tripUnitById(id), error);
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
}

RecordsError TripUnitLibrary::setBreakerTripUnitWithin(const std::string& breakerId,
                                                       const std::string& tripUnitId) {
    RecordsError e;
    QSqlQuery q = m_db.query();
    m_db.run(q, sql::setBreakerTripUnit(breakerId, tripUnitId, isoUtcNow()), e);
    return e;
}

} // namespace qarn3
