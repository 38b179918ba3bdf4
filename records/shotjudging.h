#pragma once

#include "records/curve.h"
#include "records/rows.h"
#include "records/tripunit.h"

#include <optional>
#include <vector>

namespace qarn3 {

// What a test point's band can come from besides its own typed band: the curve the breaker
// names for the point's kind, and the trip-unit profile the breaker follows with the settings
// in force (the session's, else the breaker's).
struct BandSources {
    std::optional<TripCurve> curve;
    std::optional<TripUnitProfile> profile;
    std::optional<TripUnitSettings> settings;
    // The breaker follows a profile the library does not hold (deleted, or not synced yet).
    bool profileMissing = false;
};

// The band a shot is judged against, and its basis.
struct ShotBand {
    std::optional<Band> band;
    BandBasis basis;
};

// What a new shot is judged to be against its test point, before it is stored.
struct ShotJudgement {
    double multiple = 0;      // current / In
    std::optional<Band> band; // the band the verdict used, none when there was none
    BandBasis basis;
    Judgement judgement;
};

// The band of a shot at that current: the test point's typed band; else, when the breaker's
// trip unit has a profile and settings, the band they give at the current (tripUnitBandAt:
// none below every pickup); else the band of the breaker's curve of the point's kind at the
// multiple (none outside it); none for a point that must not trip or without any of these.
// A breaker whose profile is missing, or whose profile has no settings in force and no curve
// band, says so in the basis's note.
ShotBand bandOfShot(const TestPointRecord& point, const BandSources& sources, double ratedAmps,
                    double amps);

// The settings in force for a session: its own, else its breaker's; none when neither gives
// any (or the stored text cannot be read).
std::optional<TripUnitSettings> settingsInForce(const SessionRecord& session,
                                                const BreakerRecord& breaker);

// Each new shot judged against the test point (its band or hold time and its tolerance) and
// the breaker's rating, in the order of the shots.
std::vector<ShotJudgement> judgeShots(const TestPointRecord& point, double ratedAmps,
                                      const BandSources& sources,
                                      const std::vector<NewShot>& shots);

} // namespace qarn3
