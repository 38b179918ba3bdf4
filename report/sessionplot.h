#pragma once

#include "records/sessionreport.h"
#include "report/timecurrent.h"

namespace qarn3 {

// The plot of the session: the curves its test points take their bands from (the breaker's,
// of the kinds of points without a typed band), each typed band at its target multiple, and
// every shot labelled with its number, pole and kind ("3 A ST"); numbers in the labels with
// the program's decimal separator.
TimeCurrentPlot timeCurrentOf(const SessionReport& report, char separator);

} // namespace qarn3
