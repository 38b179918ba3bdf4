#include "records/testrecordform.h"

#include "platform/textformat.h"
#include "records/sessionreport.h"

namespace qarn3 {

std::optional<double> fieldNumber(const std::string& field, const std::string& text, char separator,
                                  FieldError& error) {
    std::string t = text;
    if (separator != '.')
        for (char& c : t)
            if (c == separator) c = '.';
    const auto v = numberForField(field, t, error);
    if (!v) error.message = field + ": '" + text + "' is not a number";
    return v;
}

std::optional<FieldError> readBreakerFields(const TestRecordFields& f, char separator,
                                            SiteRecord& site, BreakerRecord& breaker) {
    site.name = trimText(f.site);
    if (auto e = validateSite(site)) return e;
    breaker.designation = trimText(f.designation);
    breaker.maker = trimText(f.maker);
    breaker.model = trimText(f.model);
    breaker.serial = trimText(f.serial);
    breaker.settings = trimText(f.settings);
    breaker.location = trimText(f.location);
    if (breaker.designation.empty()) return validateBreaker(breaker);
    FieldError e;
    const auto rating = fieldNumber("rating", f.rating, separator, e);
    if (!rating) return e;
    breaker.ratedAmps = *rating;
    return validateBreaker(breaker);
}

void readSessionFields(const TestRecordFields& f, SessionRecord& session) {
    session.operatorName = trimText(f.operatorName);
    session.condition = f.condition;
    session.notes = trimText(f.sessionNotes);
}

std::optional<FieldError> readTripSettingsField(const TestRecordFields& f, TripUnitSettings& values,
                                                std::string& stored) {
    FieldError e;
    const auto read = parseTripUnitSettings(f.tripSettings, e);
    if (!read) {
        // The setting's own refusal ("LTPU: '0' must be above zero"), or the text's
        // ("settings: unknown setting 'LTX'"), said of this field.
        std::string why = e.message;
        if (e.field == "settings" && why.rfind("settings: ", 0) == 0) why.erase(0, 10);
        return FieldError{"trip settings", "trip-unit settings: " + why};
    }
    values = *read;
    stored = tripUnitSettingsText(values);
    return std::nullopt;
}

std::optional<FieldError> readTestPointFields(const TestRecordFields& f, char separator,
                                              const TripUnitSettings& settings,
                                              TestPointRecord& point) {
    FieldError e;
    point.pole = f.pole;
    point.kind = f.kind;
    const auto target = parseTargetText(f.multiple, separator, e);
    if (!target) return e;
    const auto multiple = targetMultiple(settings, target->of, target->factor, e);
    if (!multiple) return e;
    point.targetOf = target->of;
    point.targetFactor = target->factor;
    point.multiple = *multiple;
    const auto tolerance = fieldNumber("tolerance", f.tolerance, separator, e);
    if (!tolerance) return e;
    point.tolerance = *tolerance / 100;
    point.band.reset();
    point.mustNotTrip = false;
    point.holdSeconds = 0;
    switch (f.bandSource) {
    case BandSource::Typed: {
        const auto min = fieldNumber("band minimum", f.bandMin, separator, e);
        if (!min) return e;
        const auto max = fieldNumber("band maximum", f.bandMax, separator, e);
        if (!max) return e;
        point.band = Band{*min, *max};
        break;
    }
    case BandSource::MustNotTrip: {
        const auto hold = fieldNumber("hold", f.hold, separator, e);
        if (!hold) return e;
        point.mustNotTrip = true;
        point.holdSeconds = *hold;
        break;
    }
    case BandSource::Curve:
        if (trimText(f.curveFamily).empty() && trimText(f.tripUnit).empty())
            return FieldError{"curve", "curve: the breaker names no curve to take the band from"};
        break;
    }
    return validateTestPoint(point);
}

bool sameTestPoint(const TestPointRecord& a, const TestPointRecord& b) {
    const bool sameBand = a.band.has_value() == b.band.has_value() &&
                          (!a.band || (a.band->minSeconds == b.band->minSeconds &&
                                       a.band->maxSeconds == b.band->maxSeconds));
    return a.pole == b.pole && a.kind == b.kind && a.multiple == b.multiple &&
           a.targetOf == b.targetOf && a.targetFactor == b.targetFactor && sameBand &&
           a.mustNotTrip == b.mustNotTrip && a.holdSeconds == b.holdSeconds &&
           a.tolerance == b.tolerance;
}

std::string testPointSummary(const TestPointRecord& p, char separator) {
    std::string s = poleText(p.pole) + " " + kindText(p.kind) + " ";
    if (p.targetOf != TargetOf::In)
        s += targetTextOf(p.targetOf, p.targetFactor, separator) + " = ";
    s += significantText(p.multiple, separator) + " x In, ";
    if (p.mustNotTrip)
        s += "must not trip, hold " + significantText(p.holdSeconds, separator) + " s";
    else if (p.band)
        s += "band " + significantText(p.band->minSeconds, separator) + " – " +
             significantText(p.band->maxSeconds, separator) + " s";
    else
        s += "band from the curve or trip unit";
    return s;
}

TargetPreview targetPreview(const TestPointRecord& point, const BandSources& sources,
                            double ratedAmps, char separator) {
    TargetPreview t;
    if (!(ratedAmps > 0) || !(point.multiple > 0)) return t;
    const double amps = point.multiple * ratedAmps;
    t.amps = "target " + formatFixed(amps, 0, 1, separator) + " A";
    const ShotBand b = bandOfShot(point, sources, ratedAmps, amps);
    if (b.basis.kind != BasisKind::Settings) return t;
    ShotRow row;
    row.point = point;
    row.shot.multiple = point.multiple;
    row.shot.band = b.band;
    row.shot.basis = b.basis;
    t.band = bandText(row, {}, separator);
    if (b.band && !b.basis.note.empty()) t.band += ", " + b.basis.note;
    t.basis = bandBasisText(row.shot, separator);
    return t;
}

} // namespace qarn3
