#include "records/shotjudging.h"

namespace qarn3 {

ShotBand bandOfShot(const TestPointRecord& point, const BandSources& sources, double ratedAmps,
                    double amps) {
    ShotBand out;
    if (point.band) {
        out.band = point.band;
        out.basis.kind = BasisKind::Typed;
        return out;
    }
    if (point.mustNotTrip) {
        // Held or not, say when the settings would have the breaker trip at this current.
        if (sources.profile && sources.settings) {
            const TripUnitBand b =
                tripUnitBandAt(*sources.settings, *sources.profile, ratedAmps, amps);
            if (b.sure) out.basis.note = tripFunctionText(b.fastest) + " acts at this current";
            out.basis.nearPickup = b.nearPickup;
        }
        return out;
    }
    if (sources.profile && sources.settings) {
        const TripUnitSettings& s = *sources.settings;
        const TripUnitBand b = tripUnitBandAt(s, *sources.profile, ratedAmps, amps);
        out.band = b.band;
        out.basis.kind = BasisKind::Settings;
        out.basis.source = curveFamilyName(sources.profile->maker, sources.profile->model);
        out.basis.settings = tripUnitSettingsText(s);
        out.basis.function = b.fastest;
        if (s.ltpu && ratedAmps > 0) out.basis.timesIr = amps / (*s.ltpu * ratedAmps);
        out.basis.nearPickup = b.nearPickup;
        out.basis.note = tripUnitNote(point.kind, b);
        return out;
    }
    if (sources.curve && ratedAmps > 0) {
        out.band = curveBandAt(*sources.curve, amps / ratedAmps);
        out.basis.kind = BasisKind::Curve;
        out.basis.source = curveFamilyName(sources.curve->maker, sources.curve->model);
    }
    // Not judged by the settings, and not silently so.
    if (sources.profileMissing)
        out.basis.note = "trip-unit profile not in the library";
    else if (sources.profile && !out.band)
        out.basis.note = "no trip-unit settings";
    return out;
}

std::optional<TripUnitSettings> settingsInForce(const SessionRecord& session,
                                                const BreakerRecord& breaker) {
    const std::string& text =
        session.tripSettings.empty() ? breaker.tripSettings : session.tripSettings;
    if (text.empty()) return std::nullopt;
    FieldError e;
    return parseTripUnitSettings(text, e);
}

std::vector<ShotJudgement> judgeShots(const TestPointRecord& point, double ratedAmps,
                                      const BandSources& sources,
                                      const std::vector<NewShot>& shots) {
    std::vector<ShotJudgement> out;
    out.reserve(shots.size());
    for (const NewShot& s : shots) {
        ShotJudgement j;
        j.multiple = s.reading.currentAmps / ratedAmps;
        ShotBand b = bandOfShot(point, sources, ratedAmps, s.reading.currentAmps);
        j.band = b.band;
        j.basis = std::move(b.basis);
        j.judgement = judge(verdictInput(s.reading, point, ratedAmps, j.band));
        out.push_back(std::move(j));
    }
    return out;
}

} // namespace qarn3
