// Reads arbitrary bytes as a CSV file of trip-unit profiles: either a refusal with a line
// number and no profile, or profiles that can be stored, whose delay rows give their own
// bands at a current well above every pickup.
#include "records/tripunitcsv.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace qarn3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const TripUnitCsv csv =
        parseTripUnitCsv(std::string(reinterpret_cast<const char*>(data), size));
    if (!csv.error.empty()) {
        if (csv.errorLine < 1 || !csv.profiles.empty() || csv.rows != 0) std::abort();
        return 0;
    }
    if (csv.profiles.empty() || csv.errorLine != 0) std::abort();
    for (const TripUnitProfile& p : csv.profiles) {
        if (!tripUnitProblem(p).empty()) std::abort();
        for (const DelayBand& row : p.stDelays) {
            // Short time alone, its ramp off, at ten times its pickup.
            TripUnitSettings s;
            s.ltpu = 1;
            s.ltd = 1;
            s.stpu = {PickupSetting::State::On, 2};
            s.stDelay = row.setting;
            s.stI2t = false;
            s.inst = {PickupSetting::State::Off, 0};
            s.gfpu = {PickupSetting::State::Off, 0};
            const TripUnitBand b = tripUnitBandAt(s, p, 100, 2000);
            if (!b.band || !(b.band->minSeconds <= b.band->maxSeconds)) std::abort();
        }
    }
    return 0;
}
