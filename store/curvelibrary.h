#pragma once

#include "records/curve.h"
#include "store/database.h"

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// What an import of curves did.
struct CurveImportSummary {
    int added = 0;
    int replaced = 0;
    int points = 0;
};

// The makers' time-current curves kept in the records database, and the curves a breaker
// names (one per kind), on one open database (and so on its thread).
class CurveLibrary {
public:
    explicit CurveLibrary(RecordsDatabase& db) : m_db(db) {}

    // Stores the curves in one transaction: all of them or none. A curve of a maker, model
    // and kind already there is replaced: it keeps its id, takes the new points as a whole
    // and updated_at now, and the breakers that name it keep naming it.
    RecordsError importCurves(const std::vector<TripCurve>& curves, CurveImportSummary& summary);

    // Every curve, by maker, model and kind.
    std::vector<TripCurve> curves(RecordsError& error);
    // The curves of the family "MAKER MODEL" (the maker, a blank, the model), one per kind;
    // NotFound when none, Invalid when the name fits two families.
    std::vector<TripCurve> family(const std::string& name, RecordsError& error);

    // The breaker names these curves, each for its kind (replacing the one it named for that
    // kind); its site and breaker rows are made when new. One transaction.
    RecordsError nameCurves(const SiteRecord& site, const BreakerRecord& breaker,
                            const std::vector<TripCurve>& curves);
    // The same inside the caller's write transaction (which it leaves open, whatever the
    // outcome: the caller commits or rolls back).
    RecordsError nameCurvesWithin(const SiteRecord& site, const BreakerRecord& breaker,
                                  const std::vector<TripCurve>& curves);
    // The curves the breaker names, by kind; the one of a kind, none when it names none.
    std::vector<TripCurve> curvesOf(const std::string& breakerId, RecordsError& error);
    std::optional<TripCurve> curveOf(const std::string& breakerId, PointKind kind,
                                     RecordsError& error);

private:
    std::vector<TripCurve> read(const BoundSql& statement, RecordsError& error);
    RecordsError write(const std::vector<BoundSql>& statements);

    RecordsDatabase& m_db;
};

} // namespace qarn3
