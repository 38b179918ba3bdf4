// Reads arbitrary bytes as a COMTRADE recording: a .cff file, or a configuration and its data
// file split where the first two bytes say.
#include "waveform/comtrade.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace qarn3;

namespace {

void check(const ComtradeRead& r) {
    if (r.current.has_value() != r.error.empty()) std::abort();
    if (!r.current) return;
    const ComtradeCurrent& c = *r.current;
    if (c.amps.empty() || c.amps.size() > kComtradeMostSamples) std::abort();
    if (!(c.sampleRate >= 499.99 && c.sampleRate <= 5000.01)) std::abort();
    for (double a : c.amps)
        if (!std::isfinite(a)) std::abort();
    const ComtradeCounts counts = comtradeCounts(c.amps, 0.25);
    if (counts.counts.size() != c.amps.size()) std::abort();
    for (std::int16_t x : counts.counts)
        if (x < -2047 || x > 2047) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t split =
        (static_cast<std::size_t>(data[0]) << 8 | data[1]) % (bytes.size() + 1);
    if (data[0] & 0x80) {
        check(parseComtradeCff(bytes, "in.cff", ""));
        return 0;
    }
    check(parseComtrade(bytes.substr(0, split), "in.cfg", bytes.substr(split), "in.dat",
                        data[1] & 1 ? "I" : ""));
    return 0;
}
