#include "recordstool/reading.h"

namespace qarn3 {

ShotReading readingOf(const PulseResult& pulse, int currentDecimals, int rangeIndex,
                      const std::string& takenAt) {
    ShotReading r;
    r.takenAt = takenAt;
    r.currentAmps = pulse.pulseAmps;
    r.currentDecimals = currentDecimals;
    r.seconds = pulse.seconds;
    r.cycles = pulse.cycles;
    r.suspect = pulse.suspect;
    r.underRange = pulse.underRange;
    r.cutShort = pulse.cutShort;
    r.dataErrors = pulse.dataErrors;
    r.rangeIndex = rangeIndex;
    return r;
}

} // namespace qarn3
