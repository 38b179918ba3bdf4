#include "records/shotjudging.h"

namespace qarn3 {

std::optional<Band> bandOfShot(const TestPointRecord& point, const std::optional<TripCurve>& curve,
                               double multiple) {
    if (point.band || point.mustNotTrip || !curve) return point.band;
    return curveBandAt(*curve, multiple);
}

std::vector<ShotJudgement> judgeShots(const TestPointRecord& point, double ratedAmps,
                                      const std::optional<TripCurve>& curve,
                                      const std::vector<NewShot>& shots) {
    std::vector<ShotJudgement> out;
    out.reserve(shots.size());
    for (const NewShot& s : shots) {
        ShotJudgement j;
        j.multiple = s.reading.currentAmps / ratedAmps;
        j.band = bandOfShot(point, curve, j.multiple);
        j.judgement = judge(verdictInput(s.reading, point, ratedAmps, j.band));
        out.push_back(j);
    }
    return out;
}

} // namespace qarn3
