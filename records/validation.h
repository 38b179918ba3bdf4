#pragma once

#include "records/model.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qarn3 {

// The most characters a name holds (a maker's, a model's): more than any nameplate or drawing
// gives, and what a report's line and a window's column can show.
constexpr std::size_t kNameCharacters = 200;
// The multiples of In a test set injects and a maker draws a curve over.
constexpr double kLowestMultiple = 0.01;
constexpr double kHighestMultiple = 1000;
// Clearing times: the analyzer reads to a tenth of a millisecond, and the slowest band of a
// long-time curve is hours.
constexpr double kShortestSeconds = 0.0001;
constexpr double kLongestSeconds = 100000;

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
// The characters (code points) of UTF-8 text.
std::size_t characterCount(const std::string& text);
// A calendar date "YYYY-MM-DD".
bool isIsoDate(const std::string& text);

} // namespace qarn3
