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

std::optional<FieldError> readTestPointFields(const TestRecordFields& f, char separator,
                                              TestPointRecord& point) {
    FieldError e;
    point.pole = f.pole;
    point.kind = f.kind;
    const auto multiple = fieldNumber("multiple", f.multiple, separator, e);
    if (!multiple) return e;
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
        if (trimText(f.curveFamily).empty())
            return FieldError{"curve", "curve: the breaker names no curve to take the band from"};
        break;
    }
    return validateTestPoint(point);
}

bool sameTestPoint(const TestPointRecord& a, const TestPointRecord& b) {
    const bool sameBand = a.band.has_value() == b.band.has_value() &&
                          (!a.band || (a.band->minSeconds == b.band->minSeconds &&
                                       a.band->maxSeconds == b.band->maxSeconds));
    return a.pole == b.pole && a.kind == b.kind && a.multiple == b.multiple && sameBand &&
           a.mustNotTrip == b.mustNotTrip && a.holdSeconds == b.holdSeconds &&
           a.tolerance == b.tolerance;
}

std::string testPointSummary(const TestPointRecord& p, char separator) {
    std::string s = poleText(p.pole) + " " + kindText(p.kind) + " " +
                    significantText(p.multiple, separator) + " x In, ";
    if (p.mustNotTrip)
        s += "must not trip, hold " + significantText(p.holdSeconds, separator) + " s";
    else if (p.band)
        s += "band " + significantText(p.band->minSeconds, separator) + " – " +
             significantText(p.band->maxSeconds, separator) + " s";
    else
        s += "band from the curve";
    return s;
}

} // namespace qarn3
