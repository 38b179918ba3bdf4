#pragma once

#include <functional>
#include <string>

namespace qarn3 {

struct Services;
class Waits;

// The results data file: pulse current "%8.2f", pulse seconds "%8.3f" and a third value,
// always 0, "%8.3f", each line ended by CR LF, in the locale's decimal separator.
std::string dataFileText(double pulseAmps, double pulseSeconds, char decimalSeparator);

// The results a data file holds.
struct DataFileReadings {
    double pulseAmps = 0;
    double pulseSeconds = 0;
};

// Writes the results to the file, replacing it whole, after a 500 ms wait during which the
// engine goes on: readings is asked for the values at the moment of writing. A failure shows
// "Error writing file: " + name and leaves any old file as it was.
bool WriteDataFile(const std::string& path, const std::string& shownName,
                   const std::function<DataFileReadings()>& readings, char decimalSeparator,
                   Services& services, Waits& waits);

} // namespace qarn3
