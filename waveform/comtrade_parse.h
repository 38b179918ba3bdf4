#pragma once

// The pieces of the COMTRADE reader its .cff reader shares: not for use elsewhere.
#include "waveform/comtrade.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qarn3::comtrade_detail {

// An ASCII data file, or a single .cff file, of the most samples with many channels.
constexpr std::size_t kDatMostBytes = 256u << 20;

// Why a recording is refused: the file, the line and the reason.
struct Refusal {
    std::string message;
};

// An analog channel's line of the configuration.
struct AnalogChannel {
    std::string id, units;
    std::size_t line = 0; // in the file
    double a = 1, b = 0, primary = 1, secondary = 1;
    bool secondaryValues = false;
};

// What the configuration says; lines counted from lineOffset + 1.
struct Config {
    int revision = 1991;
    std::string station, device;
    std::size_t analogCount = 0, digitalCount = 0;
    std::vector<AnalogChannel> analog;
    double lineHz = 0;
    double rate = 0;
    std::size_t samples = 0;
    std::string first, trigger;
    std::int64_t firstMicros = 0;      // as written, on the recorder's clock
    std::optional<int> timeCodeMinutes; // that clock's offset from UTC (2013's time code)
    ComtradeDataType type = ComtradeDataType::Ascii;
    std::size_t chosen = 0;    // index in analog
    double amperesPerUnit = 1; // of its units: 1000 for kA
    std::string name;          // of the configuration
};

std::string lowered(std::string s);
// Without leading and trailing blanks, tabs and line breaks.
std::string trimmed(const std::string& s);
// An integer with an optional '+'; false for anything else.
bool readInt(const std::string& text, long long& v);
// Whether a line's fields are a date and time of the configuration: "dd/mm/yyyy" and
// "hh:mm:ss[.ssssss]"; revision 1991 writes the month first, "mm/dd/yy" (or "mm/dd/yyyy");
// 2013 may give nanoseconds (nine decimals).
bool isComtradeTime(const std::vector<std::string>& fields, int revision);
// Such a time, checked by isComtradeTime, as microseconds since 1970-01-01 on the clock it
// was written by (no offset applied).
std::int64_t comtradeTimeMicros(const std::vector<std::string>& fields, int revision);
// A time code or local code of revision 2013 ("0", "+1h00", "-5h30", "+10") in minutes east of
// UTC; none when it is not one.
std::optional<int> comtradeOffsetMinutes(const std::string& code);
// The configuration's lines checked, counted from lineOffset + 1, and the channel chosen;
// throws Refusal.
Config parseConfig(const std::string& text, const std::string& name, std::size_t lineOffset,
                   const std::string& channel);
// The chosen channel's raw values from the data; ASCII lines counted from lineOffset + 1,
// binary data by byte. Throw Refusal.
std::vector<double> asciiValues(const Config& c, const std::string& text, const std::string& name,
                                std::size_t lineOffset);
std::vector<double> binaryValues(const Config& c, const std::string& d, const std::string& name);
// The channel's amperes; throws Refusal when they make no number.
ComtradeRead currentOf(const Config& c, std::vector<double> x);
ComtradeRead refused(const std::string& message);

} // namespace qarn3::comtrade_detail
