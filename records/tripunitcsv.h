#pragma once

#include "records/tripunit.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qarn3 {

// The id of a maker's profile of a family of trip units: a name-based UUID (version 5), so
// that the same profile imported on two computers has the same id.
std::string tripUnitIdOf(const std::string& maker, const std::string& model);

// Why a profile cannot be stored, naming the item at fault; empty when it can. An empty maker
// or model, or one longer than kNameCharacters; lt_pick_min at least 1 and below lt_pick_max,
// lt_pick_max at most 10; lt_tol_lo above -1 and at most 0, lt_tol_hi 0 to 10; each pickup's
// tolerance at least 0 and below 1; inst_max_s, and each delay row's setting, min_s and
// max_s, within kShortestSeconds to kLongestSeconds (validation.h), a row's min_s not above
// its max_s and the settings of a table rising; st_i2t_ref and gf_i2t_ref above 0 and at most
// 1000. A profile without short-time delay rows is allowed: short time then can't be judged.
std::string tripUnitProblem(const TripUnitProfile& p);

// The profiles of a CSV file, or the first line it refuses.
struct TripUnitCsv {
    std::vector<TripUnitProfile> profiles; // in the order their first rows come
    int rows = 0;
    int errorLine = 0; // 1-based; 0 when the file was taken
    std::string error; // "line 7: lt_tol_lo 0.5 must be above -1 and at most 0"
};

// Reads trip-unit profiles from CSV text: one item a row, "maker,model,item,value,min_s,max_s",
// the text read as the curves' file is (parseCurveCsv: RFC 4180 fields, CR LF or LF, '.'
// decimals, byte order mark, header row, blank and '#' rows). The rows of one maker and model
// are one profile. The items lt_pick_min, lt_pick_max, lt_tol_lo, lt_tol_hi, st_pick_tol,
// inst_pick_tol, gf_pick_tol, inst_max_s, st_i2t_ref and gf_i2t_ref take a value and leave
// min_s and max_s empty; st_delay and gf_delay rows give a delay setting (seconds) as value
// and its clearing times as min_s and max_s, by rising setting. Refused with the row's line,
// nothing of the file taken: what the curves' file refuses of a row, an empty or long maker or
// model, an item not known, an item given twice in its profile, min_s or max_s filled for an
// item of one value or empty for a delay row, a value that is no number or outside its range
// (tripUnitProblem's), a setting not above the one before; a profile lacking any of the
// items of one value (at its first row, naming every one missing); a file without a profile.
TripUnitCsv parseTripUnitCsv(const std::string& text);
// The most of a profile file that is read, as of a curve file.
constexpr std::size_t kTripUnitCsvReadLimit = std::size_t{16} << 20;

} // namespace qarn3
