#pragma once

#include "engine/analysis.h"
#include "records/store.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace qarn3 {

// What an import stores and from which files: the site and breaker are looked up by name
// and made when missing; the session and the test point are new.
struct ImportRequest {
    std::string siteName;
    BreakerRecord breaker; // designation, rating and the details for a new breaker
    SessionRecord session; // operator, condition, notes
    TestPointRecord point; // pole, kind, multiple, band or hold, tolerance
    // "MAKER MODEL": the breaker names that family's curves, and a point without a typed
    // band takes each shot's band from the curve of its kind; empty: none named.
    std::string curveName;
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
// Stops at the first error of the database itself (locked, read-only, damaged).
ImportSummary importFiles(const ImportRequest& request, RecordsDatabase& db,
                          const AnalysisSettings& settings, std::ostream& out, std::ostream& err);

// The analyzer's serial number and calibration date ("YYYY-MM-DD") of a calibration file's
// text; empty where the image does not give them.
void calibrationFacts(const std::string& calText, std::string& serial, std::string& date);

} // namespace qarn3
