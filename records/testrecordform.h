#pragma once

#include "records/model.h"
#include "records/validation.h"

#include <optional>
#include <string>

namespace qarn3 {

// A number typed in a field, with the program's decimal separator or '.'; refused with the
// field named.
std::optional<double> fieldNumber(const std::string& field, const std::string& text, char separator,
                                  FieldError& error);

// Where a test point's band comes from.
enum class BandSource { Typed, Curve, MustNotTrip };

// The test record panel's fields as the operator typed them.
struct TestRecordFields {
    std::string site;
    std::string designation, maker, model, serial, rating, settings, location;
    std::string curveFamily; // "MAKER MODEL" the breaker names; empty: none
    std::string operatorName;
    Condition condition = Condition::AsFound;
    std::string sessionNotes;
    Pole pole = Pole::A;
    PointKind kind = PointKind::LongTime;
    std::string multiple;
    BandSource bandSource = BandSource::Typed;
    std::string bandMin, bandMax, hold;
    std::string tolerance = "10"; // per cent of the target multiple
};

// The site and breaker of the fields, checked; a refusal names its field ("site",
// "breaker", "rating"). Numbers take the separator or '.'. Ids are left as given.
std::optional<FieldError> readBreakerFields(const TestRecordFields& f, char separator,
                                            SiteRecord& site, BreakerRecord& breaker);
// The session's own fields (operator, condition, notes).
void readSessionFields(const TestRecordFields& f, SessionRecord& session);
// The test point of the fields, checked: "multiple", "tolerance", "band minimum", "band
// maximum", "band" (minimum above maximum), "hold", or "curve" when the band is to come
// from a curve the breaker does not name. Ids are left as given.
std::optional<FieldError> readTestPointFields(const TestRecordFields& f, char separator,
                                              TestPointRecord& point);
// The same test point (ids aside): a new one is made only when the operator changed it.
bool sameTestPoint(const TestPointRecord& a, const TestPointRecord& b);
// "A long-time 3 x In, band 10 – 30 s" ("hold 5 s", "band from the curve").
std::string testPointSummary(const TestPointRecord& p, char separator);

} // namespace qarn3
