#pragma once

#include "records/rows.h"
#include "store/database.h"

#include <functional>
#include <string>
#include <vector>

namespace qarn3 {

// The export's columns, the same in CSV and JSON Lines: shot_id, taken_at, site, site_notes,
// location, breaker, maker, model, serial, rated_a, settings, session_id, session_start,
// operator, condition, analyzer_serial, analyzer_cal_date, session_notes, test_point_id,
// pole, kind, target_multiple, band_min_s, band_max_s, must_not_trip, hold_s, tolerance,
// current_a, multiple, seconds, cycles, suspect, under_range, cut_short, data_errors,
// verdict, current_off_target, source, pulse.
//
// CSV as the analysis tool writes it: RFC 4180 quoting, records ending CR LF, '.' decimals
// whatever the locale; the readings with the decimals the window shows (current as its
// range, seconds 4, cycles 2, multiple 3), flags 1 or 0, an empty field for no value.
std::string exportCsvHeader();
std::string exportCsvRecord(const ShotRow& r);
// One JSON object on one line with the same keys in the same order: numbers as stored (the
// shortest text that reads back as the same value), flags true or false, null for no value;
// written with the analysis tool's JSON escaping (a byte that is not UTF-8 becomes U+FFFD).
std::string exportJsonLine(const ShotRow& r);

class RecordsStore;

enum class ExportFormat { Csv, JsonLines };

// The export of every shot the filter takes, oldest first, as qarn3-records writes it: the
// CSV header (for CSV), then one record a shot, each handed to write; write returns false to
// stop (the export then ends without an error). The command and the records window share it.
RecordsError exportShots(RecordsStore& store, const ShotFilter& f, ExportFormat format,
                         const std::function<bool(const std::string&)>& write);
// The CSV of these shots, header first, in the order given.
std::string exportCsv(const std::vector<ShotRow>& rows);

} // namespace qarn3
