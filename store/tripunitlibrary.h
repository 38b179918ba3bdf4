#pragma once

#include "records/tripunit.h"
#include "store/database.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qarn3 {

// What an import of trip-unit profiles did.
struct TripUnitImportSummary {
    int added = 0;
    int replaced = 0;
    int rows = 0; // delay rows
};

// A profile as the library keeps it: its id (tripUnitIdOf its maker and model) and its name.
struct StoredTripUnit {
    std::string id;
    TripUnitProfile profile;
    std::string name() const { return curveFamilyName(profile.maker, profile.model); }
};

// The trip-unit profiles kept in the records database, on one open database (and so on its
// thread). A breaker follows one of them by id (BreakerRecord::tripUnitId).
class TripUnitLibrary {
public:
    explicit TripUnitLibrary(RecordsDatabase& db) : m_db(db) {}

    // Stores the profiles in one transaction: all of them or none. A profile of a maker and
    // model already there is replaced whole: the new tolerances and delay rows, updated_at now.
    RecordsError importProfiles(const std::vector<TripUnitProfile>& profiles,
                                TripUnitImportSummary& summary);
    // Every profile, by maker and model.
    std::vector<StoredTripUnit> profiles(RecordsError& error);
    // The profile "MAKER MODEL": NotFound when none, Invalid when the name fits two.
    std::optional<StoredTripUnit> named(const std::string& name, RecordsError& error);
    // The profile of an id; none when the library has none of it.
    std::optional<StoredTripUnit> byId(const std::string& id, RecordsError& error);
    // Inside the caller's write transaction: the breaker follows the profile of that id.
    RecordsError setBreakerTripUnitWithin(const std::string& breakerId,
                                          const std::string& tripUnitId);

private:
    std::vector<StoredTripUnit> read(const BoundSql& statement, RecordsError& error);

    RecordsDatabase& m_db;
};

} // namespace qarn3
