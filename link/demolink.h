#pragma once

#include "link/analyzerlink.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qarn3 {

// Demonstration playback behind the analyzer interface: a waveform file's samples, played
// from RUN at the sample rate in real time (a timer tick's worth a tick), and before RUN,
// after the test ends and once the file is played, the idle feed of 2 to 6 counts. The file's
// name is what the status bar shows for it.
class DemoLink : public AnalyzerLink {
public:
    // Samples played from a file, at most.
    static constexpr int kDemoLength = 60000;

    // sampleRate and fileName are the waveform store's, read when used.
    DemoLink(const double& sampleRate, const std::string& fileName, int timerIntervalMs = 200);

    // The file's samples from slot 0 (at most kDemoLength); the slots after them are cleared,
    // so nothing of an earlier, longer file is played.
    void load(const std::int16_t* samples, int count);
    // As a new link: the idle feed's sequence starts again and nothing plays (an analysis of
    // another file gives what a new engine would).
    void startAfresh();
    bool playing() const { return m_playing; }
    // Samples of the file played since the test's reset.
    int played() const { return m_index; }

    bool LinkValid() const override { return true; }
    bool Sampling() const override { return true; }
    bool reachesAnalyzer() const override { return false; }
    bool realTime() const override { return false; }
    bool startsOnRun() const override { return true; }
    LinkStatus status(const std::string& sourceName,
                      const std::string& serialNumber) const override;
    int samplesWaiting() const override;
    int GetSample() override {
        if (m_playing && m_index < kDemoLength) return m_samples[m_index++];
        return nextNoise();
    }
    void startForTest() override { m_playing = true; }
    void testEnded() override { m_playing = false; }
    void testReset() override {
        m_playing = false;
        m_index = 0;
    }

private:
    int nextNoise() {
        m_noise ^= m_noise << 13;
        m_noise ^= m_noise >> 17;
        m_noise ^= m_noise << 5;
        return 2 + static_cast<int>(m_noise % 5);
    }

    static constexpr std::uint32_t kNoiseSeed = 0x2545F491u;
    const double& m_sampleRate;
    const std::string& m_fileName;
    int m_timerIntervalMs;
    std::unique_ptr<std::int16_t[]> m_samples{new std::int16_t[kDemoLength]()};
    int m_index = 0;
    bool m_playing = false;
    std::uint32_t m_noise = kNoiseSeed;
};

} // namespace qarn3
