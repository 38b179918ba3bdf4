#pragma once

#include "records/model.h"
#include "records/shotjudging.h"
#include "records/tripunit.h"
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
    std::string curveFamily;  // "MAKER MODEL" the breaker names; empty: none
    std::string tripUnit;     // "MAKER MODEL" of the trip-unit profile it follows; empty: none
    std::string tripSettings; // the trip unit's settings as values ("LTPU=0.8,LTD=4,...")
    std::string operatorName;
    Condition condition = Condition::AsFound;
    std::string sessionNotes;
    Pole pole = Pole::A;
    PointKind kind = PointKind::LongTime;
    std::string multiple; // the target: "3", "3 x Ir", "1,5 × Isd"
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
// The trip-unit settings typed, as values and as stored (tripUnitSettingsText; empty when
// nothing is typed). A refusal names the setting at fault, with the field "trip settings".
std::optional<FieldError> readTripSettingsField(const TestRecordFields& f, TripUnitSettings& values,
                                                std::string& stored);
// The test point of the fields, checked: "multiple" (the target as typed), "target" (a
// setting the target is a multiple of that the settings lack), "tolerance", "band minimum",
// "band maximum", "band" (minimum above maximum), "hold", or "curve" when the band is to come
// from the breaker's curve or trip unit and it follows neither. The target's multiple of In
// is worked out from the settings. Ids are left as given.
std::optional<FieldError> readTestPointFields(const TestRecordFields& f, char separator,
                                              const TripUnitSettings& settings,
                                              TestPointRecord& point);
// The same test point (ids aside): a new one is made only when the operator changed it.
bool sameTestPoint(const TestPointRecord& a, const TestPointRecord& b);
// "A long-time 3 x In, band 10 – 30 s" ("hold 5 s", "band from the curve or trip unit"); a target
// of a setting as "A long-time 3 × Ir = 2.4 x In, ...".
std::string testPointSummary(const TestPointRecord& p, char separator);

// What the panel shows beside a test point's target: the current ("target 240.0 A"), and the
// band the trip unit's settings give there with its basis, when the point's band comes from
// them (no typed band, not must-not-trip, a profile and settings); band and basis are empty
// otherwise. A band with a note says it ("0.15 – 0.25 s, short-time acts at this current");
// none below every pickup shows the note alone ("below pickup").
struct TargetPreview {
    std::string amps;
    std::string band;
    std::string basis;
};
TargetPreview targetPreview(const TestPointRecord& point, const BandSources& sources,
                            double ratedAmps, char separator);

} // namespace qarn3
