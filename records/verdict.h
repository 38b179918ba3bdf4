#pragma once

#include "records/model.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qarn3 {

// What a shot shows against its test point. Only Pass is a pass.
enum class Verdict {
    Pass,     // min <= seconds <= max; for a "must not trip" point: held
    FailFast, // tripped before the band's minimum (or before the hold time)
    FailSlow, // tripped after the band's maximum
    NoTrip,   // still on when the MaxOn limit cut the pulse short
    Check,    // the reading is doubtful ("?", under-range, data errors): look again
    NoBand    // there is no band to judge against (none typed, or outside a curve)
};

// Everything the verdict depends on; no database, no clock.
struct VerdictInput {
    double seconds = 0;
    bool suspect = false;
    bool underRange = false;
    bool cutShort = false;
    std::uint64_t dataErrors = 0;
    double multiple = 0;       // measured current / In
    double targetMultiple = 0; // the test point's
    double tolerance = 0.10;   // of the target
    bool mustNotTrip = false;
    double holdSeconds = 0;
    std::optional<Band> band; // none: NoBand (unless the point must not trip)
};

struct Judgement {
    Verdict verdict = Verdict::NoBand;
    // The measured multiple lies outside the tolerance of the target, whatever the verdict.
    bool currentOffTarget = false;
};

// The verdict of one shot. A doubtful reading gives Check whatever the times say; then a
// pulse cut short by MaxOn gives NoTrip (Pass for a "must not trip" point); then the band
// (or the hold time). Seconds are judged as shown, to 4 decimals, so that a reading shown as
// "0.1000 secs" passes a band ending at 0.1.
Judgement judge(const VerdictInput& in);

// The shot's facts against a test point and a rating.
VerdictInput verdictInput(const ShotReading& reading, const TestPointRecord& point,
                          double ratedAmps, std::optional<Band> band);

// "PASS" "FAIL FAST" "FAIL SLOW" "NO TRIP" "CHECK" "NO BAND": as stored and exported.
std::string verdictText(Verdict v);
std::optional<Verdict> verdictFromText(const std::string& text);

// What a verdict counts as: the session's verdict and every colour a verdict is shown in
// (green, red, yellow) follow it.
enum class VerdictClass {
    Pass,    // PASS
    Fail,    // FAIL FAST, FAIL SLOW, NO TRIP
    Doubtful // CHECK, NO BAND: look again
};
VerdictClass verdictClass(Verdict v);

} // namespace qarn3
