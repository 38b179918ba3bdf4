#pragma once

#include "records/sessionreport.h"
#include "report/timecurrent.h"

namespace qarn3 {

// The plot of the session: the curves its test points take their bands from (the breaker's,
// of the kinds of points without a typed band), each typed band at its target multiple, and
// every shot labelled with its number, pole and kind ("3 A ST"); numbers in the labels with
// the program's decimal separator. With the breaker's trip-unit profile and the session's
// settings in force, their curve across the plot's multiples and their pickups.
TimeCurrentPlot timeCurrentOf(const SessionReport& report, char separator);

// The band the settings give, sampled at count multiples of In spaced evenly on the
// logarithmic axis from range.minimum to range.maximum (both included): each point
// tripUnitBandAt's band at that multiple of ratedAmps, a run ended where there is none.
TimeCurrentSettingsCurve settingsCurveOf(const TripUnitSettings& s, const TripUnitProfile& p,
                                         double ratedAmps, DecadeRange range, int count = 241);

// The pickups the settings switch on, as multiples of In: Ir (LTPU), Isd (STPU x LTPU),
// Ii (INST), Ig (GFPU).
std::vector<TimeCurrentPickup> pickupsOf(const TripUnitSettings& s);

} // namespace qarn3
