#include "engine/ranges.h"

#include "platform/textformat.h"

namespace qarn3 {

double rangeFullScale(int rangeIndex, double shuntAmperes, double shuntMillivolts) {
    if (rangeIndex < 1) rangeIndex = 1;
    if (rangeIndex > 8) rangeIndex = 8;
    return shuntAmperes / shuntMillivolts * 0.1 *
           RangeNominal[static_cast<std::size_t>(rangeIndex - 1)];
}

const char* rangeFormatFor(double f) {
    if (f <= 25) return "%5.3f A";
    if (f <= 250) return "%5.2f A";
    if (f <= 2500) return "%5.1f A";
    return "%5.0f A";
}

RangeTables buildRangeTables(double shuntAmperes, double shuntMillivolts, char separator) {
    RangeTables t;
    for (int r = 1; r <= 8; ++r) {
        const double f =
            0.1 * RangeNominal[static_cast<std::size_t>(r - 1)] * shuntAmperes / shuntMillivolts;
        const auto i = static_cast<std::size_t>(r - 1);
        t.RangeFormat[i] = rangeFormatFor(f);
        t.RangeLabel[i] = trimText(formatNumber(t.RangeFormat[i], f, separator));
    }
    return t;
}

// The decimals of a "%W.Pf" format.
int formatDecimals(const std::string& format) {
    const std::size_t dot = format.find('.', format.find('%'));
    if (dot == std::string::npos) return 0;
    int decimals = 0;
    for (std::size_t i = dot + 1; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i)
        decimals = decimals * 10 + (format[i] - '0');
    return decimals;
}

} // namespace qarn3
