#include "store/curvelibrary.h"

#include "records/validation.h"

namespace qarn3 {

std::vector<TripCurve> CurveLibrary::read(const BoundSql& statement, RecordsError& error) {
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, statement, error)) return {};
    return sql::curvesFrom(q);
}

RecordsError CurveLibrary::write(const std::vector<BoundSql>& statements) {
    if (RecordsError e = m_db.beginWrite()) return e;
    RecordsError e;
    QSqlQuery q = m_db.query();
    for (const BoundSql& s : statements)
        if (!m_db.run(q, s, e)) break;
    q.finish();
    if (e) {
        m_db.rollback();
        return e;
    }
    return m_db.commit();
}

RecordsError CurveLibrary::importCurves(const std::vector<TripCurve>& curves,
                                        CurveImportSummary& summary) {
    summary = {};
    for (const TripCurve& c : curves)
        if (const std::string why = curveProblem(c); !why.empty())
            return {RecordsErrorKind::Invalid, "curve", why};
    if (curves.empty()) return {};

    CurveImportSummary counted;
    if (RecordsError e = m_db.beginWrite()) return e;
    const std::string now = isoUtcNow();
    RecordsError e;
    QSqlQuery q = m_db.query();
    for (const TripCurve& given : curves) {
        TripCurve c = given;
        c.id = curveIdOf(c.maker, c.model, c.kind);
        if (!m_db.run(q, sql::curveExists(c.id), e) || !q.next()) break;
        const bool existed = q.value(0).toInt() > 0;
        if (!m_db.run(q, sql::saveCurve(c, now), e) ||
            !m_db.run(q, sql::deleteCurvePoints(c.id), e))
            break;
        for (const CurvePoint& p : c.points)
            if (!m_db.run(q, sql::insertCurvePoint(c.id, p), e)) break;
        if (e) break;
        ++(existed ? counted.replaced : counted.added);
        counted.points += static_cast<int>(c.points.size());
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

std::vector<TripCurve> CurveLibrary::curves(RecordsError& error) {
    return read(sql::allCurves(), error);
}

std::vector<TripCurve> CurveLibrary::family(const std::string& name, RecordsError& error) {
    std::vector<TripCurve> found;
    std::string familyMaker, familyModel;
    for (TripCurve& c : curves(error)) {
        if (curveFamilyName(c.maker, c.model) != name) continue;
        if (!found.empty() && (c.maker != familyMaker || c.model != familyModel)) {
            error = {RecordsErrorKind::Invalid, "curve",
                     "curve: \"" + name + "\" names two curve families (" +
                         curveFamilyName(familyMaker, familyModel) + " of maker " + familyMaker +
                         ", and of maker " + c.maker + ")"};
            return {};
        }
        familyMaker = c.maker;
        familyModel = c.model;
        found.push_back(std::move(c));
    }
    if (found.empty() && !error)
        error = {RecordsErrorKind::NotFound, "curve", "curve: no curve \"" + name + "\""};
    return found;
}

namespace {

RecordsError namingStatements(const SiteRecord& site, const BreakerRecord& breaker,
                              const std::vector<TripCurve>& curves,
                              std::vector<BoundSql>& statements) {
    if (auto e = validateSite(site)) return RecordsError::invalid(*e);
    if (auto e = validateBreaker(breaker)) return RecordsError::invalid(*e);
    if (site.id.empty() || breaker.id.empty() || breaker.siteId != site.id)
        return {RecordsErrorKind::Invalid, "breaker", "breaker: belongs to another site"};
    const std::string now = isoUtcNow();
    statements = {sql::insertSiteIfNew(site, now), sql::insertBreakerIfNew(breaker, now)};
    for (const TripCurve& c : curves)
        statements.push_back(sql::saveBreakerCurve(breaker.id, c.kind, c.id, now));
    return {};
}

} // namespace

RecordsError CurveLibrary::nameCurves(const SiteRecord& site, const BreakerRecord& breaker,
                                      const std::vector<TripCurve>& curves) {
    std::vector<BoundSql> statements;
    if (RecordsError e = namingStatements(site, breaker, curves, statements)) return e;
    return write(statements);
}

RecordsError CurveLibrary::nameCurvesWithin(const SiteRecord& site, const BreakerRecord& breaker,
                                            const std::vector<TripCurve>& curves) {
    std::vector<BoundSql> statements;
    if (RecordsError e = namingStatements(site, breaker, curves, statements)) return e;
    RecordsError e;
    QSqlQuery q = m_db.query();
    for (const BoundSql& s : statements)
        if (!m_db.run(q, s, e)) break;
    return e;
}

std::vector<TripCurve> CurveLibrary::curvesOf(const std::string& breakerId, RecordsError& error) {
    return read(sql::curvesOfBreaker(breakerId), error);
}

std::optional<TripCurve> CurveLibrary::curveOf(const std::string& breakerId, PointKind kind,
                                               RecordsError& error) {
    std::vector<TripCurve> found = read(sql::curveOfBreaker(breakerId, kind), error);
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
}

} // namespace qarn3
