#pragma once

#include <array>
#include <string>

namespace qarn3 {

// Nominal full scale of ranges 1..8 for a 1000 A / 100 mV shunt.
constexpr std::array<double, 8> RangeNominal{50, 100, 250, 500, 1000, 2500, 5000, 10000};

// Full scale in amperes of range r (1..8) for the given shunt rating.
double rangeFullScale(int rangeIndex, double shuntAmperes, double shuntMillivolts);

// The display format of currents for a full scale F: "%5.3f A" up to 25 A, "%5.2f A" up to
// 250 A, "%5.1f A" up to 2500 A, "%5.0f A" above.
const char* rangeFormatFor(double fullScale);

// The range list's labels and formats for a shunt rating.
struct RangeTables {
    std::array<std::string, 8> RangeLabel;
    std::array<std::string, 8> RangeFormat;
};
RangeTables buildRangeTables(double shuntAmperes, double shuntMillivolts, char separator = '.');

// The decimals of a "%W.Pf" format ("%5.1f A": 1).
int formatDecimals(const std::string& format);

} // namespace qarn3
