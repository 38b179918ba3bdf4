#pragma once

#include "records/model.h"
#include "records/validation.h"

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// A pickup of an electronic trip unit: not given, switched off, or on at a value.
struct PickupSetting {
    enum class State { Unset, Off, On };
    State state = State::Unset;
    double value = 0;
    bool on() const { return state == State::On; }
};

// The settings of an electronic trip unit as values. Long-time pickup LTPU (Ir = LTPU x In),
// long-time delay LTD (seconds at 6 x Ir), short-time pickup STPU (Isd = STPU x Ir) with its
// delay STD and I²t ramp, instantaneous pickup INST (Ii = INST x In), ground-fault pickup GFPU
// (Ig = GFPU x In) with its delay GFD and I²t ramp. A setting not given is unknown.
struct TripUnitSettings {
    std::optional<double> ltpu, ltd;
    PickupSetting stpu;
    std::optional<double> stDelay; // STD
    std::optional<bool> stI2t;
    PickupSetting inst;
    PickupSetting gfpu;
    std::optional<double> gfDelay; // GFD
    std::optional<bool> gfI2t;
};

// The settings as one text, "LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=0.3,GFD=0.2,
// GFI2T=off": names in any case, spaces ignored, '.' as the decimal point, "off" for a pickup
// switched off, "on"/"off" for a ramp; an empty text gives nothing set. The rated (sensor)
// current In is the breaker's rating, not one of these. A name not known,
// given twice or without '=', or a value that is no number, not above zero or not "on"/"off"
// is refused naming it (the field is the setting's name).
std::optional<TripUnitSettings> parseTripUnitSettings(const std::string& text, FieldError& error);
// The settings in that form, in that order, only those given; reads back as the same values.
std::string tripUnitSettingsText(const TripUnitSettings& s);

// The clearing times a maker gives for one delay setting of short-time or ground fault.
struct DelayBand {
    double setting = 0; // STD or GFD, seconds
    double minSeconds = 0;
    double maxSeconds = 0;
};

// The tolerances a maker publishes for one family of trip units.
struct TripUnitProfile {
    std::string maker, model;
    double ltPickMin = 1.05, ltPickMax = 1.20; // long time trips between these x Ir
    double ltTolLo = -0.20, ltTolHi = 0;       // of the nominal long-time delay
    double stPickTol = 0.10, instPickTol = 0.10, gfPickTol = 0.10; // +/- of each pickup
    std::vector<DelayBand> stDelays, gfDelays;
    double instMaxSeconds = 0.05;
    double stI2tRef = 10; // x Ir: below it an I²t short-time band follows the ramp
    double gfI2tRef = 1;  // x In: the same for ground fault
};

// The functions of a trip unit, as flags.
enum TripFunction : unsigned {
    TripLongTime = 1,
    TripShortTime = 2,
    TripInstantaneous = 4,
    TripGroundFault = 8
};

// What a trip unit shows at a current.
struct TripUnitBand {
    std::optional<Band> band; // none: below every pickup, or no function sure to act
    unsigned sure = 0;        // functions sure to act (TripFunction flags)
    unsigned may = 0;         // functions whose pickup tolerance holds the current
    unsigned fastest = 0;     // the sure function whose maximum the band takes
    bool nearPickup = false;  // the current lies inside a pickup's tolerance
    std::string missing;      // a setting or a profile row a function needs and lacks
};

// The band at a current (amperes) for a breaker of rated current ratedAmps (In). Long time
// acts above ltPickMax x Ir, at LTD x (6 Ir / I)² widened by its tolerances; short time above
// Isd x (1 + tolerance), at its delay's row, which with I²t on below the reference follows
// (reference / I)², never under the flat band; instantaneous above Ii x (1 + tolerance), at
// [0, its maximum clearing time]; ground fault as short time. Where several are sure to act
// the breaker trips on the fastest: [the least minimum, the least maximum]. A function whose
// pickup tolerance holds the current may or may not act: it lowers the minimum, not the
// maximum, and flags the current as near a pickup. A function lacking a setting or its
// profile row is left out and named in missing.
TripUnitBand tripUnitBandAt(const TripUnitSettings& s, const TripUnitProfile& p, double ratedAmps,
                            double amps);

// What a test point's target is a multiple of, as a multiple of In from the settings: In 1,
// Ir LTPU, Isd STPU x LTPU, Ii INST, Ig GFPU. None, with the setting it needs named on error
// (field "target"), when the settings lack it or have it off.
std::optional<double> targetBaseMultiple(const TripUnitSettings& s, TargetOf of, FieldError& error);

// The target factor x of, as a multiple of In from the settings, to twelve significant digits
// (3 x Ir at LTPU 0.8 is 2.4, not 2.4000000000000004); none as targetBaseMultiple.
std::optional<double> targetMultiple(const TripUnitSettings& s, TargetOf of, double factor,
                                     FieldError& error);

// A target as typed: "3", "3 x Ir", "1.5×Isd", "1,1 * Ii", "1.5 Ig" (the factor with the
// program's separator or '.', the name in any case, spaces ignored); refused with the field
// "multiple" named.
struct TargetText {
    TargetOf of = TargetOf::In;
    double factor = 0;
};
std::optional<TargetText> parseTargetText(const std::string& text, char separator,
                                          FieldError& error);
// "3 × Ir" (the factor as typed back, with the separator); "3" for a multiple of In.
std::string targetTextOf(TargetOf of, double factor, char separator);

// "long-time", "short-time", "instantaneous", "ground-fault" for one flag.
std::string tripFunctionText(unsigned f);
// When a test point's function is not the one the band came from: "short-time acts at this
// current"; empty otherwise.
std::string otherFunctionNote(PointKind kind, const TripUnitBand& b);
// What a shot judged by the settings notes beside its band: otherFunctionNote, else "below
// pickup" when no function acts nor may act, else what the band lacks ("lacks STD"); empty
// when nothing.
std::string tripUnitNote(PointKind kind, const TripUnitBand& b);
// The setting a function's band follows, as in the settings text: "LTD=4", "STD=0.2,STI2T=on",
// "INST=10", "GFD=0.2"; empty when the settings lack it.
std::string settingOfFunction(const TripUnitSettings& s, unsigned function);

} // namespace qarn3
