// Reads arbitrary bytes as a CSV file of curves: either a refusal with a line number and no
// curve, or curves that can be stored, whose bands on their points are those points' and
// between them lie between their neighbours'.
#include "records/curve.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace qarn3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CurveCsv csv = parseCurveCsv(std::string(reinterpret_cast<const char*>(data), size));
    if (!csv.error.empty()) {
        if (csv.errorLine < 1 || !csv.curves.empty()) std::abort();
        return 0;
    }
    for (const TripCurve& c : csv.curves) {
        if (!curveProblem(c).empty()) std::abort();
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            const CurvePoint& p = c.points[i];
            const auto on = curveBandAt(c, p.multiple);
            if (!on || on->minSeconds != p.minSeconds || on->maxSeconds != p.maxSeconds)
                std::abort();
            if (i == 0) continue;
            const CurvePoint& a = c.points[i - 1];
            const double between =
                std::clamp(std::sqrt(a.multiple) * std::sqrt(p.multiple), a.multiple, p.multiple);
            const auto mid = curveBandAt(c, between);
            if (!mid || !(mid->minSeconds <= mid->maxSeconds * (1 + 1e-9)) ||
                !(mid->minSeconds >= std::min(a.minSeconds, p.minSeconds) * (1 - 1e-9)) ||
                !(mid->maxSeconds <= std::max(a.maxSeconds, p.maxSeconds) * (1 + 1e-9)))
                std::abort();
        }
    }
    return 0;
}
