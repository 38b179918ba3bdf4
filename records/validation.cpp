#include "records/validation.h"

#include "platform/textformat.h"
#include "records/tripunit.h"

#include <QDate>
#include <QString>

#include <cmath>

namespace qarn3 {

namespace {

FieldError refused(const std::string& field, const std::string& why) {
    return {field, field + ": " + why};
}

std::optional<FieldError> finite(const std::string& field, double v) {
    if (!std::isfinite(v)) return refused(field, "is not a number");
    return std::nullopt;
}

std::optional<FieldError> positive(const std::string& field, double v) {
    if (auto e = finite(field, v)) return e;
    if (!(v > 0)) return refused(field, "must be above zero");
    return std::nullopt;
}

std::optional<FieldError> notNegative(const std::string& field, double v) {
    if (auto e = finite(field, v)) return e;
    if (v < 0) return refused(field, "must not be negative");
    return std::nullopt;
}

std::optional<FieldError> required(const std::string& field, const std::string& text) {
    if (trimText(text).empty()) return refused(field, "is empty");
    return std::nullopt;
}

std::optional<FieldError> checkBand(const Band& b) {
    if (auto e = notNegative("band minimum", b.minSeconds)) return e;
    if (auto e = positive("band maximum", b.maxSeconds)) return e;
    if (b.minSeconds > b.maxSeconds) return refused("band", "minimum is above maximum");
    return std::nullopt;
}

} // namespace

std::optional<FieldError> validateSite(const SiteRecord& s) {
    return required("site", s.name);
}

// Settings stored as values must read back.
static std::optional<FieldError> tripSettingsProblem(const std::string& text) {
    FieldError e;
    if (text.empty() || parseTripUnitSettings(text, e)) return std::nullopt;
    return e;
}

std::optional<FieldError> validateBreaker(const BreakerRecord& b) {
    if (auto e = required("breaker", b.designation)) return e;
    if (auto e = positive("rating", b.ratedAmps)) return e;
    return tripSettingsProblem(b.tripSettings);
}

std::optional<FieldError> validateSession(const SessionRecord& s) {
    if (!s.analyzerCalDate.empty() && !isIsoDate(s.analyzerCalDate))
        return refused("calibration date", "'" + s.analyzerCalDate + "' is not a date");
    return tripSettingsProblem(s.tripSettings);
}

std::optional<FieldError> validateTestPoint(const TestPointRecord& p) {
    if (auto e = positive("multiple", p.multiple)) return e;
    if (auto e = notNegative("tolerance", p.tolerance)) return e;
    if (p.mustNotTrip) return positive("hold", p.holdSeconds);
    if (p.band) return checkBand(*p.band);
    return std::nullopt;
}

std::optional<FieldError> validateReading(const ShotReading& r) {
    if (auto e = notNegative("current", r.currentAmps)) return e;
    if (auto e = notNegative("seconds", r.seconds)) return e;
    if (r.startSeconds)
        if (auto e = notNegative("start", *r.startSeconds)) return e;
    return notNegative("cycles", r.cycles);
}

std::optional<double> numberForField(const std::string& field, const std::string& text,
                                     FieldError& error) {
    try {
        const double v = parseReal(trimText(text));
        if (auto e = finite(field, v)) {
            error = *e;
            return std::nullopt;
        }
        return v;
    } catch (const ConvertError&) {
        error = refused(field, "'" + text + "' is not a number");
        error.notNumber = true;
        return std::nullopt;
    }
}

std::optional<Band> bandFromText(const std::string& text, FieldError& error) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) {
        error = refused("band", "'" + text + "' is not MIN,MAX");
        error.notNumber = true;
        return std::nullopt;
    }
    const auto min = numberForField("band minimum", text.substr(0, comma), error);
    if (!min) return std::nullopt;
    const auto max = numberForField("band maximum", text.substr(comma + 1), error);
    if (!max) return std::nullopt;
    const Band b{*min, *max};
    if (auto e = checkBand(b)) {
        error = *e;
        return std::nullopt;
    }
    return b;
}

std::size_t characterCount(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        n += (c & 0xC0) != 0x80;
    return n;
}

bool isIsoDate(const std::string& text) {
    return text.size() == 10 &&
           QDate::fromString(QString::fromStdString(text), Qt::ISODate).isValid();
}

} // namespace qarn3
