#pragma once

#include "records/model.h"

#include <optional>
#include <string>

namespace qarn3 {

// A value a record cannot hold, with the field it belongs to ("rating", "band", ...).
struct FieldError {
    std::string field;
    std::string message;    // "rating: must be above zero"
    bool notNumber = false; // the text was no number (a usage error on a command line)
};

// Each check names the first field that is refused. Numbers must be finite; a rating, a
// target multiple and a band maximum above zero; band minimum, hold time, tolerance and the
// readings not negative; a band minimum not above its maximum.
std::optional<FieldError> validateSite(const SiteRecord& s);
std::optional<FieldError> validateBreaker(const BreakerRecord& b);
std::optional<FieldError> validateSession(const SessionRecord& s);
std::optional<FieldError> validateTestPoint(const TestPointRecord& p);
std::optional<FieldError> validateReading(const ShotReading& r);

// A number typed for a field, '.' as the decimal point whatever the locale; refuses text
// that is not a number with the field named.
std::optional<double> numberForField(const std::string& field, const std::string& text,
                                     FieldError& error);
// "MIN,MAX" in seconds, checked as a band.
std::optional<Band> bandFromText(const std::string& text, FieldError& error);
// A calendar date "YYYY-MM-DD".
bool isIsoDate(const std::string& text);

} // namespace qarn3
