#include "report/sessionplot.h"

#include "platform/bidicontrols.h"

#include <cmath>
#include <set>

namespace qarn3 {

TimeCurrentSettingsCurve settingsCurveOf(const TripUnitSettings& s, const TripUnitProfile& p,
                                         double ratedAmps, DecadeRange range, int count) {
    TimeCurrentSettingsCurve curve;
    if (!(ratedAmps > 0) || !(range.minimum > 0) || !(range.maximum > range.minimum) || count < 2)
        return curve;
    const double lo = std::log10(range.minimum), hi = std::log10(range.maximum);
    bool inRun = false;
    for (int i = 0; i < count; ++i) {
        const double multiple = std::pow(10.0, lo + (hi - lo) * i / (count - 1));
        const TripUnitBand b = tripUnitBandAt(s, p, ratedAmps, multiple * ratedAmps);
        if (!b.band) {
            inRun = false;
            continue;
        }
        if (!inRun) curve.runs.emplace_back();
        inRun = true;
        curve.runs.back().push_back({multiple, b.band->minSeconds, b.band->maxSeconds});
    }
    return curve;
}

std::vector<TimeCurrentPickup> pickupsOf(const TripUnitSettings& s) {
    std::vector<TimeCurrentPickup> pickups;
    const std::pair<TargetOf, const char*> kinds[] = {
        {TargetOf::Ir, "Ir"}, {TargetOf::Isd, "Isd"}, {TargetOf::Ii, "Ii"}, {TargetOf::Ig, "Ig"}};
    for (const auto& [of, name] : kinds) {
        FieldError e;
        if (const auto m = targetBaseMultiple(s, of, e)) pickups.push_back({name, *m});
    }
    return pickups;
}

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
    FieldError e;
    const std::string& text = sessionSettingsText(report.session, report.breaker);
    const auto settings = text.empty() ? std::nullopt : parseTripUnitSettings(text, e);
    if (report.tripUnit && settings && report.breaker.ratedAmps > 0) {
        plot.pickups = pickupsOf(*settings);
        TimeCurrentSettingsCurve curve = settingsCurveOf(
            *settings, *report.tripUnit, report.breaker.ratedAmps, multipleRangeOf(plot));
        curve.label =
            showBidiControls(curveFamilyName(report.tripUnit->maker, report.tripUnit->model)) +
            " settings " + conditionText(report.session.condition);
        plot.settingsCurve = std::move(curve);
    }
    return plot;
}

} // namespace qarn3
