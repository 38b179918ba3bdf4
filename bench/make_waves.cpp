// make_waves: writes COUNT demonstration-size waveform files (59-byte header and 60000
// samples) of breaker tests with varied pulses into a folder, the same files for the same
// seed: amplitudes, lengths, phases, decays and gaps drawn for every file, pulse and long
// tests, now and then a pulse beyond the over-range limit or one still on at the end. With
// --demo it writes the demonstration waveforms instead.
#include "waveform/waveform.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

using namespace qarn3;

// A small deterministic generator, so that a seed gives the same files everywhere.
class Draw {
public:
    explicit Draw(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint32_t next() {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(m_state >> 33);
    }
    double between(double lo, double hi) { return lo + (hi - lo) * (next() / 2147483648.0); }
    bool oneIn(std::uint32_t n) { return next() % n == 0; }

private:
    std::uint64_t m_state;
};

std::string waveFile(std::uint64_t seed) {
    Draw d(seed);
    TWaveSegments segments{};
    const bool longTest = d.oneIn(5);
    const int pulses = 1 + static_cast<int>(d.next() % 5);
    for (int i = 0; i < pulses; ++i) {
        TWaveSegment& s = segments[static_cast<std::size_t>(i)];
        const bool rising = longTest && i == 0; // the slow rise of a long test
        s.Amplitude = d.oneIn(60) ? d.between(2010, 2400)
                      : rising    ? d.between(60, 180)
                                  : d.between(30, 1800);
        s.OnTime = d.between(0.01, rising ? 2.5 : 0.8);
        s.PhaseDeg = d.between(0, 360);
        s.EndRatio = rising ? d.between(1, 10) : d.between(0.4, 1.1);
        s.OffTime = d.between(0.05, 3.0);
    }
    // Now and then the last pulse runs to the end of the file.
    if (d.oneIn(10)) segments[static_cast<std::size_t>(pulses - 1)].OffTime = 0;
    const auto samples = generateWaveSamples(segments);
    if (segments[static_cast<std::size_t>(pulses - 1)].OffTime == 0) {
        int last = kWaveFileSamples - 1;
        while (last > 0 && samples[static_cast<std::size_t>(last)] == 0)
            --last;
        for (int i = last + 1; i < kWaveFileSamples; ++i)
            samples[static_cast<std::size_t>(i)] = samples[static_cast<std::size_t>(i - 40)];
    }
    TWaveFileHeader h;
    std::memcpy(h.Magic.data(), "WAVEFORM", 8);
    h.WaveType = longTest ? 'M' : d.oneIn(10) ? '?' : 'N';
    std::memcpy(h.SerialId.data(), "BENCH", 5);
    std::memcpy(h.Units.data(), "Amperes", 7);
    h.AmpsPerCount = 0.244140625f;
    h.SamplePeriod = 1.0f / 2400;
    h.ResolutionBits = 12;
    h.FullScale = 2048;
    h.SampleCount = kWaveFileSamples;
    std::string bytes = h.bytes();
    bytes.append(reinterpret_cast<const char*>(samples.get()), 2 * kWaveFileSamples);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "Usage: make_waves FOLDER COUNT [SEED]\n       make_waves FOLDER --demo\n";
        return 2;
    }
    const std::string folder = argv[1];
    // The demonstration waveforms, as the program writes them at its first start.
    if (std::strcmp(argv[2], "--demo") == 0) {
        const std::string error = makeDemoFiles(folder);
        if (!error.empty()) std::cerr << "make_waves: " << error << "\n";
        return error.empty() ? 0 : 1;
    }
    const long count = std::strtol(argv[2], nullptr, 10);
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    for (long i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/test%05ld.owf", i);
        std::ofstream out(folder + name, std::ios::binary);
        out << waveFile(seed * 1000003 + static_cast<std::uint64_t>(i));
        if (!out) {
            std::cerr << "make_waves: cannot write " << folder << name << "\n";
            return 1;
        }
    }
    return 0;
}
