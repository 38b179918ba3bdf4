#include "store/planlibrary.h"

#include <algorithm>

namespace qarn3 {

RecordsError TestPlanLibrary::storeWithin(const TestPlan& given, bool& existed) {
    TestPlan p = given;
    p.id = testPlanIdOf(p.name);
    RecordsError e;
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, sql::testPlanExists(p.id), e) || !q.next()) return e;
    existed = q.value(0).toInt() > 0;
    const std::string now = isoUtcNow();
    if (!m_db.run(q, sql::saveTestPlan(p, now), e) ||
        !m_db.run(q, sql::deleteTestPlanPoints(p.id), e))
        return e;
    for (std::size_t i = 0; i < p.points.size(); ++i)
        if (!m_db.run(q, sql::insertTestPlanPoint(p.id, static_cast<int>(i + 1), p.points[i]), e))
            return e;
    return e;
}

RecordsError TestPlanLibrary::importPlans(const std::vector<TestPlan>& plans,
                                          TestPlanImportSummary& summary) {
    summary = {};
    for (const TestPlan& p : plans)
        if (const std::string why = testPlanProblem(p); !why.empty())
            return {RecordsErrorKind::Invalid, "plan", why};
    if (plans.empty()) return {};
    if (RecordsError e = m_db.beginWrite()) return e;
    TestPlanImportSummary counted;
    for (const TestPlan& p : plans) {
        bool existed = false;
        if (RecordsError e = storeWithin(p, existed)) {
            m_db.rollback();
            return e;
        }
        ++(existed ? counted.replaced : counted.added);
        counted.points += static_cast<int>(p.points.size());
    }
    if (RecordsError e = m_db.commit()) return e;
    summary = counted;
    return {};
}

std::vector<TestPlan> TestPlanLibrary::plans(RecordsError& error) {
    QSqlQuery q = m_db.query();
    std::vector<TestPlan> out;
    if (!m_db.run(q, sql::allTestPlans(), error)) return out;
    out = sql::testPlansFrom(q);
    TestPlan builtIn = builtInPlan();
    if (std::none_of(out.begin(), out.end(),
                     [&](const TestPlan& p) { return p.name == builtIn.name; })) {
        out.push_back(std::move(builtIn));
        std::sort(out.begin(), out.end(),
                  [](const TestPlan& a, const TestPlan& b) { return a.name < b.name; });
    }
    return out;
}

std::optional<TestPlan> TestPlanLibrary::named(const std::string& name, RecordsError& error) {
    for (TestPlan& p : plans(error))
        if (p.name == name) return std::move(p);
    if (!error) error = {RecordsErrorKind::NotFound, "plan", "plan: no test plan \"" + name + "\""};
    return std::nullopt;
}

std::optional<TestPlan> TestPlanLibrary::byId(const std::string& id, RecordsError& error) {
    if (id.empty()) return std::nullopt;
    for (TestPlan& p : plans(error))
        if (p.id == id) return std::move(p);
    return std::nullopt;
}

RecordsError TestPlanLibrary::setBreakerPlan(const std::string& breakerId, const TestPlan& plan) {
    if (RecordsError e = m_db.beginWrite()) return e;
    RecordsError e;
    QSqlQuery q = m_db.query();
    const std::string id = testPlanIdOf(plan.name);
    // A plan already stored is named as it is: naming it is no edit of it.
    if (m_db.run(q, sql::testPlanExists(id), e) && q.next() && q.value(0).toInt() == 0) {
        bool existed = false;
        e = storeWithin(plan, existed);
    }
    if (!e) m_db.run(q, sql::setBreakerPlan(breakerId, id, isoUtcNow()), e);
    q.finish();
    if (e) {
        m_db.rollback();
        return e;
    }
    return m_db.commit();
}

} // namespace qarn3
