#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace qarn3 {

struct Services;

constexpr int kWaveSlots = 145001;
// The last slot a capture writes: later samples keep overwriting it.
constexpr int kCaptureLimit = kWaveSlots - 1;
constexpr int kWaveFileSamples = 60000;
constexpr std::size_t kWaveHeaderSize = 59;
// The largest waveform file: the header and its samples (two bytes each); 120,059 bytes.
constexpr std::size_t kWaveFileBytes =
    kWaveHeaderSize + 2 * static_cast<std::size_t>(kWaveFileSamples);

// The 59-byte header of a waveform file (packed, little-endian on disk).
struct TWaveFileHeader {
    std::array<char, 8> Magic{};
    char WaveType = 0;
    std::array<char, 21> SerialId{};
    std::array<char, 13> Units{};
    float AmpsPerCount = 0;
    float SamplePeriod = 0;
    std::int16_t ResolutionBits = 0;
    std::int16_t FullScale = 0;
    std::int32_t SampleCount = 0;

    std::string bytes() const;                       // the 59 bytes as written
    static TWaveFileHeader fromBytes(const char* p); // from 59 bytes
};

// The waveform viewer's time window, cursors and vertical scale, kept beside the store:
// times in seconds from the first sample, currents in amperes. Reset when a file is loaded
// and each time the viewer is shown.
struct TWaveViewFields {
    float ViewStart = 0, ViewEnd = 1;
    float TotalTime = 0;
    float TimeOrigin = 0;
    std::int32_t FirstIndex = 0, LastIndex = 0; // samples drawn by the last paint
    float CursorStart = 0, CursorEnd = 1;
    float YTop = 2048, YBottom = -2048;
    float YZoom = 1; // 2 to the power of the up-down position
    std::int32_t LastTrackPos = 0;
};

// The one waveform in memory: the last capture, or a file loaded for playback.
struct TWaveformData {
    std::unique_ptr<std::int16_t[]> Samples{new std::int16_t[kWaveSlots]()};
    // Every slot from this one on holds zero, so that clearing the store touches only the
    // slots written since the last clear. Whatever writes Samples raises it past the slot.
    std::int32_t ZeroFrom = 0;
    std::int32_t Position = 0;
    std::int32_t SampleCount = 0;
    double SampleRate = 2400;
    float SamplePeriod = 1.0f / 2400;
    float AmpsPerCount = 0;
    std::string SerialId;
    std::string FileName;
    TWaveFileHeader Header;
    TWaveViewFields View;
    // The last pulse the engine measured in the capture: its first slot and its length in
    // samples; PulseCount 0 when there is none (after a clear, or a file was read).
    std::int32_t PulseFirst = 0;
    std::int32_t PulseCount = 0;
    // Raised when the slots are cleared or a file is read into them. With Position, which a
    // capture advances at every sample, it tells what was computed from the slots that it is
    // out of date: the engine may capture into the store while the viewer shows it.
    std::uint64_t Revision = 0;

    // Zeroes every slot: only those below ZeroFrom can hold anything else.
    void clearSamples() {
        std::fill(Samples.get(), Samples.get() + ZeroFrom, std::int16_t{0});
        ZeroFrom = 0;
        PulseFirst = 0;
        PulseCount = 0;
        ++Revision;
    }
    // Writes a captured sample at Position and moves on, up to the last slot (which later
    // samples keep overwriting); keeps ZeroFrom past the slot written.
    void capture(std::int16_t sample) {
        Samples[static_cast<std::size_t>(Position)] = sample;
        if (Position >= ZeroFrom) ZeroFrom = Position + 1;
        if (Position < kCaptureLimit) ++Position;
    }
    // Slots below count have been written by a reader of the store's own (a file).
    void filled(std::int32_t count) {
        if (count > ZeroFrom) ZeroFrom = count;
    }
};

// One segment of a generated waveform.
struct TWaveSegment {
    double Amplitude, OnTime, PhaseDeg, EndRatio, OffTime;
};
using TWaveSegments = std::array<TWaveSegment, 5>;
extern const TWaveSegments PulseSegments;
extern const TWaveSegments LongSegments;

// 'N' for a pulse test, 'M' for a long test, '?' otherwise.
char waveTypeOf(int testMode);

// The bytes of the waveform file WriteWaveform writes of the store (its first 60000 samples),
// with the given serial/ID; testMode chooses the wave type. Writes nothing.
std::string waveformFileBytes(const TWaveformData& w, const std::string& serialId, int testMode);

// The samples MakeWaveFile generates (60000 of them, the rest of the buffer zero).
std::unique_ptr<std::int16_t[]> generateWaveSamples(const TWaveSegments& segments);

// Writes the built-in demonstration waveforms QARN3Pulse.owf and QARN3Long.owf into the folder
// (made when missing) where they are missing; returns an error message, empty on success.
std::string makeDemoFiles(const std::string& folder);

// Reading and writing waveform files; bare names resolve against the data folder.
class WaveformFiles {
public:
    WaveformFiles(TWaveformData& store, Services& services, const std::string& dataFolder)
        : m_w(store), m_s(services), m_dataFolder(dataFolder) {}

    bool ReadWaveform(const std::string& fileName);
    bool LoadFile(const std::string& fileName);
    // testMode chooses the file's WaveType. fileName may be a path; the boxes show its name.
    bool WriteWaveform(const std::string& fileName, int testMode);
    bool MakeWaveFile(const std::string& fileName, bool longType, const TWaveSegments& segments);

private:
    std::string path(const std::string& fileName) const;
    bool confirmAndWrite(const std::string& fileName, const TWaveFileHeader& header,
                         const std::int16_t* samples);
    TWaveformData& m_w;
    Services& m_s;
    std::string m_dataFolder;
};

} // namespace qarn3
