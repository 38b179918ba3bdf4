#include "link/demolink.h"

#include <algorithm>
#include <cmath>

namespace qarn3 {

DemoLink::DemoLink(const double& sampleRate, const std::string& fileName, int timerIntervalMs)
    : m_sampleRate(sampleRate), m_fileName(fileName), m_timerIntervalMs(timerIntervalMs) {}

void DemoLink::load(const std::int16_t* samples, int count) {
    count = std::clamp(count, 0, kDemoLength);
    std::copy(samples, samples + count, m_samples.get());
    std::fill(m_samples.get() + count, m_samples.get() + kDemoLength, std::int16_t{0});
}

void DemoLink::startAfresh() {
    testReset();
    m_noise = kNoiseSeed;
}

LinkStatus DemoLink::status(const std::string&, const std::string&) const {
    return {m_fileName, false};
}

// A tick's worth at the sample rate (480 at 200 ms and 2400 samples a second), the nearest
// whole number, ties to even.
int DemoLink::samplesWaiting() const {
    const double x = m_timerIntervalMs * m_sampleRate / 1000.0;
    if (!std::isfinite(x)) return 0;
    return static_cast<int>(std::lrint(std::clamp(x, -2.0e9, 2.0e9)));
}

} // namespace qarn3
