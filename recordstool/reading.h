#pragma once

// Where the engine's pulses become records: the program's wiring and the import.
#include "engine/display.h"
#include "records/model.h"

#include <string>

namespace qarn3 {

// The reading of an engine pulse report.
ShotReading readingOf(const PulseResult& pulse, int currentDecimals, int rangeIndex,
                      const std::string& takenAt);

} // namespace qarn3
