#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qarn3 {

// Where a breaker stands: a plant, a substation, a customer's building.
struct SiteRecord {
    std::string id; // UUID text
    std::string name;
    std::string notes;
};

// One circuit breaker, identified on its site by its designation.
struct BreakerRecord {
    std::string id;
    std::string siteId;
    std::string location;
    std::string designation;
    std::string maker;
    std::string model;
    std::string serial;
    double ratedAmps = 0; // rated current In, amperes
    std::string settings; // the trip unit's settings as the technician reads them
    // The trip-unit profile its electronic trip unit follows (tripUnitIdOf), empty: none; and
    // the trip unit's settings as values ("LTPU=0.8,LTD=4,...", tripUnitSettingsText), the ones
    // a new session starts from.
    std::string tripUnitId;
    std::string tripSettings;
    std::string planId;          // the test plan it is tested by (testPlanIdOf), empty: none
    int testIntervalMonths = 36; // a test is due this long after the last one
};

enum class Condition { AsFound, AsLeft, Other };

// One visit to a breaker: who tested it, when, in which state, with which analyzer.
struct SessionRecord {
    std::string id;
    std::string breakerId;
    std::string startedAt; // ISO 8601 UTC
    std::string operatorName;
    Condition condition = Condition::AsFound;
    std::string analyzerSerial;  // from the calibration record
    std::string analyzerCalDate; // "YYYY-MM-DD" from the calibration record, empty if unknown
    std::string notes;
    // The trip unit's settings in force during this session (as found, as left), in the text
    // of tripUnitSettingsText; empty: the breaker's.
    std::string tripSettings;
    std::string planId;    // the test plan the session follows; empty: none
    std::string asFoundId; // for an as-left session made from an as-found one: that one
    // Who approved the results and when (ISO 8601 UTC); empty: not approved. Once approved,
    // the session, its test points and shots are refused any change by the database.
    std::string approvedBy;
    std::string approvedAt;
};

// A dated note added to a session: how an approved session's results are corrected.
struct SessionNote {
    std::string writtenAt; // ISO 8601 UTC
    std::string author;
    std::string text;
};

enum class Pole { A, B, C, N };
enum class PointKind { LongTime, ShortTime, Instantaneous, GroundFault, Other };
// What a test point's target is a multiple of: the rated current In, or a pickup of the
// trip unit's settings (Ir = LTPU x In, Isd = STPU x Ir, Ii = INST x In, Ig = GFPU x In).
enum class TargetOf { In, Ir, Isd, Ii, Ig };

// A time band in seconds the breaker must clear within.
struct Band {
    double minSeconds = 0;
    double maxSeconds = 0;
};

// What one injection on one pole must show: a band at a multiple of In, or that the
// breaker holds (does not trip) for a hold time.
struct TestPointRecord {
    std::string id;
    std::string sessionId;
    Pole pole = Pole::A;
    PointKind kind = PointKind::LongTime;
    double multiple = 0; // target current as a multiple of In
    // The target as typed: factor x targetOf ("1.5 x Isd"); multiple is it in In, from the
    // session's settings when the point was made. For In, factor is multiple.
    TargetOf targetOf = TargetOf::In;
    double targetFactor = 0;
    std::optional<Band> band; // typed band; none: no band (or one from elsewhere)
    bool mustNotTrip = false;
    double holdSeconds = 0;     // for a "must not trip" point
    double tolerance = 0.10;    // of the target multiple the measured one may be off (0.10: 10 %)
    std::optional<int> planSeq; // its point's number in the session's plan, from 1
    std::string skipped;        // why the plan's point was skipped; empty: not skipped
};

// The engine's reading of one pulse, as the program shows it.
struct ShotReading {
    std::string takenAt; // ISO 8601 UTC
    double currentAmps = 0;
    int currentDecimals = 1; // of the range's current format ("%5.1f A": 1)
    double seconds = 0;
    double cycles = 0;
    bool suspect = false; // the "?" after the current
    bool underRange = false;
    bool cutShort = false; // still on when the MaxOn limit ended the test
    std::uint64_t dataErrors = 0;
    int rangeIndex = 0; // measuring range 1..8, 0 when unknown
    std::string source; // the waveform file a shot was imported from; empty for a capture
    int pulse = 0;      // the pulse's number in its test or file, from 1; 0 when unknown
    // Where the pulse begins in the shot's waveform, seconds from its first sample; none when
    // unknown (shots stored before it was kept).
    std::optional<double> startSeconds;
    bool inCoolDown = false; // taken before the plan's cool-down after a long-time shot ended
    // The amperes per count the current was measured with (the range's full scale times its
    // calibration factor); 0 when unknown (shots stored before it was kept). A waveform file's
    // header may hold another: an imported file's own.
    double ampsPerCount = 0;
};

// Texts as stored and exported: "A" "B" "C" "N"; "long-time" "short-time" "instantaneous"
// "ground-fault" "other"; "as-found" "as-left" "other".
std::string poleText(Pole p);
std::string kindText(PointKind k);
std::string conditionText(Condition c);
std::optional<Pole> poleFromText(const std::string& text);
std::optional<PointKind> kindFromText(const std::string& text);
std::optional<Condition> conditionFromText(const std::string& text);
// "In" "Ir" "Isd" "Ii" "Ig", as stored and typed (in any case when read).
std::string targetOfText(TargetOf t);
std::optional<TargetOf> targetOfFromText(const std::string& text);

// A new random UUID as text without braces.
std::string newRecordId();
// The time now, and a time in milliseconds since 1970, as ISO 8601 UTC with milliseconds
// ("2026-12-08T15:30:12.345Z"): text order is time order.
std::string isoUtcNow();
std::string isoUtcFromMsecs(std::int64_t msecs);

} // namespace qarn3
