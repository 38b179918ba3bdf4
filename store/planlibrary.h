#pragma once

#include "records/testplan.h"
#include "store/database.h"

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// What an import of test plans did.
struct TestPlanImportSummary {
    int added = 0;
    int replaced = 0;
    int points = 0;
};

// The test plans kept in the records database, on one open database (and so on its thread).
// A session copies its plan's points into test points when it starts, so a plan edited later
// does not change a session that used it.
class TestPlanLibrary {
public:
    explicit TestPlanLibrary(RecordsDatabase& db) : m_db(db) {}

    // Stores the plans in one transaction: all of them or none. A plan of a name already there
    // is replaced whole (its checklist, cool-down and points).
    RecordsError importPlans(const std::vector<TestPlan>& plans, TestPlanImportSummary& summary);
    // Every plan by name, the built-in one among them even when the database has no row of it
    // (it is written there the first time a plan is imported or a breaker is given it).
    std::vector<TestPlan> plans(RecordsError& error);
    // The plan of a name; NotFound when none.
    std::optional<TestPlan> named(const std::string& name, RecordsError& error);
    std::optional<TestPlan> byId(const std::string& id, RecordsError& error);
    // The breaker follows the plan (stored first when it is the built-in one not yet stored).
    RecordsError setBreakerPlan(const std::string& breakerId, const TestPlan& plan);

private:
    RecordsError storeWithin(const TestPlan& plan, bool& existed);

    RecordsDatabase& m_db;
};

} // namespace qarn3
