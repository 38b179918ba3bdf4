#pragma once

#include "records/curve.h"
#include "records/rows.h"

#include <optional>
#include <vector>

namespace qarn3 {

// What a new shot is judged to be against its test point, before it is stored.
struct ShotJudgement {
    double multiple = 0;      // current / In
    std::optional<Band> band; // the band the verdict used, none when there was none
    Judgement judgement;
};

// The band a shot at that multiple is judged against: the test point's typed band, else the
// band at that multiple of the curve the breaker names for the point's kind (none outside
// the curve's range, and none without a curve or for a point that must not trip).
std::optional<Band> bandOfShot(const TestPointRecord& point, const std::optional<TripCurve>& curve,
                               double multiple);

// Each new shot judged against the test point (its band or hold time and its tolerance) and
// the breaker's rating, the curve of the point's kind given when the breaker names one; in
// the order of the shots.
std::vector<ShotJudgement> judgeShots(const TestPointRecord& point, double ratedAmps,
                                      const std::optional<TripCurve>& curve,
                                      const std::vector<NewShot>& shots);

} // namespace qarn3
