#pragma once

#include "engine/analysis.h"
#include "records/tripunit.h"
#include "store/store.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace qarn3 {

// What an import stores and from which files: the site and breaker are looked up by name
// and made when missing; the test point is new, and so is the session unless one is chosen.
struct ImportRequest {
    std::string siteName;
    BreakerRecord breaker; // designation, rating and the details for a new breaker
    SessionRecord session; // operator, condition, notes
    // Empty: a new session. "latest": the breaker's newest session (a new one when it has
    // none), else a session's id. A chosen session must be of the site and breaker named,
    // and the session fields given (marked below) must be as it has them.
    std::string sessionChoice;
    bool conditionGiven = false;
    bool operatorGiven = false;
    bool notesGiven = false;
    TestPointRecord point; // pole, kind, multiple, band or hold, tolerance
    // "MAKER MODEL": the breaker names that family's curves, and a point without a typed
    // band takes each shot's band from the curve of its kind; empty: none named.
    std::string curveName;
    // "MAKER MODEL": the breaker's trip unit follows that profile of the trip-unit library;
    // with settings in force, a point without a typed band takes each shot's band from them.
    std::string tripUnitName;
    std::optional<TripUnitSettings> tripSettings; // as given (also in session.tripSettings)
    bool tripSettingsGiven = false;
    AnalysisOptions analysis;
    std::vector<std::string> inputs; // files and folders
    unsigned workers = 1;
};

// What an import did.
struct ImportSummary {
    int files = 0; // files whose pulses were stored
    int shots = 0;
    bool failed = false; // a file could not be read or analysed, or stored
    std::string sessionId;
};

// Analyses the files as qarn3-analyze does (the same engine path and folder walk) and stores
// each file's pulses as shots of the test point, each with the file's bytes as its waveform,
// one transaction per file. A line per shot goes to out, problems to err (named by file).
// Stops at the first error of the database itself (locked, read-only, damaged). A request
// the records refuse (a chosen session of another breaker, a rating the records do not
// have) is refused before any file is read. The site, breaker and session are found or made
// in the transaction of the first file stored.
ImportSummary importFiles(const ImportRequest& request, RecordsDatabase& db,
                          const AnalysisSettings& settings, std::ostream& out, std::ostream& err);

// The analyzer's serial number and calibration date ("YYYY-MM-DD") of a calibration file's
// text; empty where the image does not give them.
void calibrationFacts(const std::string& calText, std::string& serial, std::string& date);

} // namespace qarn3
