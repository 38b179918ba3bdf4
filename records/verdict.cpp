#include "records/verdict.h"

#include <array>
#include <cmath>
#include <utility>

namespace qarn3 {

namespace {

constexpr std::array<std::pair<Verdict, const char*>, 6> kVerdicts{{
    {Verdict::Pass, "PASS"},
    {Verdict::FailFast, "FAIL FAST"},
    {Verdict::FailSlow, "FAIL SLOW"},
    {Verdict::NoTrip, "NO TRIP"},
    {Verdict::Check, "CHECK"},
    {Verdict::NoBand, "NO BAND"},
}};

// Seconds as the window shows them ("%8.4f secs").
double shownSeconds(double s) {
    return std::round(s * 1e4) / 1e4;
}

Verdict timeVerdict(const VerdictInput& in) {
    const double s = shownSeconds(in.seconds);
    if (in.mustNotTrip) {
        if (in.cutShort || s >= in.holdSeconds) return Verdict::Pass;
        return Verdict::FailFast;
    }
    if (in.cutShort) return Verdict::NoTrip;
    if (!in.band) return Verdict::NoBand;
    if (s < in.band->minSeconds) return Verdict::FailFast;
    if (s > in.band->maxSeconds) return Verdict::FailSlow;
    return Verdict::Pass;
}

} // namespace

Judgement judge(const VerdictInput& in) {
    Judgement j;
    const bool doubtful = in.suspect || in.underRange || in.dataErrors > 0;
    j.verdict = doubtful ? Verdict::Check : timeVerdict(in);
    // A relative slack keeps an exact 10 % (3.3 against 3 with 0.1) inside the tolerance.
    const double allowed = in.tolerance * in.targetMultiple * (1 + 1e-9);
    j.currentOffTarget = !(std::fabs(in.multiple - in.targetMultiple) <= allowed);
    return j;
}

VerdictInput verdictInput(const ShotReading& reading, const TestPointRecord& point,
                          double ratedAmps, std::optional<Band> band) {
    VerdictInput in;
    in.seconds = reading.seconds;
    in.suspect = reading.suspect;
    in.underRange = reading.underRange;
    in.cutShort = reading.cutShort;
    in.dataErrors = reading.dataErrors;
    in.multiple = ratedAmps > 0 ? reading.currentAmps / ratedAmps : 0;
    in.targetMultiple = point.multiple;
    in.tolerance = point.tolerance;
    in.mustNotTrip = point.mustNotTrip;
    in.holdSeconds = point.holdSeconds;
    in.band = band;
    return in;
}

std::string verdictText(Verdict v) {
    for (const auto& [value, text] : kVerdicts)
        if (value == v) return text;
    return {};
}

std::optional<Verdict> verdictFromText(const std::string& text) {
    for (const auto& [value, t] : kVerdicts)
        if (text == t) return value;
    return std::nullopt;
}

VerdictClass verdictClass(Verdict v) {
    switch (v) {
    case Verdict::Pass:
        return VerdictClass::Pass;
    case Verdict::FailFast:
    case Verdict::FailSlow:
    case Verdict::NoTrip:
        return VerdictClass::Fail;
    case Verdict::Check:
    case Verdict::NoBand:
        break;
    }
    return VerdictClass::Doubtful;
}

} // namespace qarn3
