#include "report/sessionplot.h"

#include "platform/bidicontrols.h"

#include <set>

namespace qarn3 {

TimeCurrentPlot timeCurrentOf(const SessionReport& report, char separator) {
    TimeCurrentPlot plot;
    std::set<PointKind> curveKinds;
    std::set<std::string> typed;
    for (const ShotRow& r : report.shots) {
        const TestPointRecord& p = r.point;
        if (takesCurve(p)) curveKinds.insert(p.kind);
        if (p.band && typed.insert(p.id).second)
            plot.bands.push_back({"Band " + poleText(p.pole) + " " + kindShortText(p.kind) +
                                      " at " + multipleText(p.multiple, separator) + " x In",
                                  {{p.multiple, p.band->minSeconds, p.band->maxSeconds}}});
    }
    for (const TripCurve& c : report.curves)
        if (curveKinds.count(c.kind))
            plot.bands.insert(
                plot.bands.begin(),
                {showBidiControls(curveFamilyName(c.maker, c.model)) + " " + kindText(c.kind),
                 c.points});
    int n = 0;
    for (const ShotRow& r : report.shots)
        plot.shots.push_back({r.shot.multiple, r.shot.reading.seconds, r.shot.judgement.verdict,
                              std::to_string(++n) + " " + poleText(r.point.pole) + " " +
                                  kindShortText(r.point.kind)});
    return plot;
}

} // namespace qarn3
