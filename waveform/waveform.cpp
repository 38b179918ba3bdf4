#include "waveform/waveform.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace qarn3 {

const TWaveSegments PulseSegments{{
    {850, 0.05, 30, 0.8, 1.5},
    {810, 0.06, 90, 0.8, 1.5},
    {820, 0.23, 0, 0.8, 1.5},
    {800, 0.25, 0, 0.8, 1.5},
    {0, 0, 0, 0, 0},
}};

const TWaveSegments LongSegments{{
    {60, 1.5, 0, 10, 0},
    {600, 0.5, 0, 0.8, 1.5},
    {0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0},
}};

namespace {

template <typename T> void putLE(std::string& out, T value) {
    unsigned char b[sizeof(T)];
    std::memcpy(b, &value, sizeof(T));
    // The host is little-endian (x86, ARM); the file is too.
    out.append(reinterpret_cast<const char*>(b), sizeof(T));
}

template <typename T> T getLE(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

template <std::size_t N> void setText(std::array<char, N>& field, const std::string& text) {
    field.fill('\0');
    std::memcpy(field.data(), text.data(), std::min(text.size(), N - 1));
}

TWaveFileHeader newHeader(char waveType, const std::string& serialId, float ampsPerCount,
                          float samplePeriod, std::int16_t resolutionBits) {
    TWaveFileHeader h;
    std::memcpy(h.Magic.data(), "WAVEFORM", 8);
    h.WaveType = waveType;
    setText(h.SerialId, serialId.substr(0, 20));
    setText(h.Units, "Amperes");
    h.AmpsPerCount = ampsPerCount;
    h.SamplePeriod = samplePeriod;
    h.ResolutionBits = resolutionBits;
    h.FullScale = 2048;
    h.SampleCount = kWaveFileSamples;
    return h;
}

std::string sampleBytes(const std::int16_t* samples, int count) {
    std::string s;
    s.reserve(static_cast<std::size_t>(count) * 2);
    for (int i = 0; i < count; ++i)
        putLE(s, samples[i]);
    return s;
}

} // namespace

std::string TWaveFileHeader::bytes() const {
    std::string s(Magic.data(), Magic.size());
    s += WaveType;
    s.append(SerialId.data(), SerialId.size());
    s.append(Units.data(), Units.size());
    putLE(s, AmpsPerCount);
    putLE(s, SamplePeriod);
    putLE(s, ResolutionBits);
    putLE(s, FullScale);
    putLE(s, SampleCount);
    return s;
}

TWaveFileHeader TWaveFileHeader::fromBytes(const char* p) {
    TWaveFileHeader h;
    std::memcpy(h.Magic.data(), p, 8);
    h.WaveType = p[8];
    std::memcpy(h.SerialId.data(), p + 9, 21);
    std::memcpy(h.Units.data(), p + 30, 13);
    h.AmpsPerCount = getLE<float>(p + 43);
    h.SamplePeriod = getLE<float>(p + 47);
    h.ResolutionBits = getLE<std::int16_t>(p + 51);
    h.FullScale = getLE<std::int16_t>(p + 53);
    h.SampleCount = getLE<std::int32_t>(p + 55);
    return h;
}

char waveTypeOf(int testMode) {
    return testMode == 0 ? 'N' : testMode == 1 ? 'M' : '?';
}

std::string WaveformFiles::path(const std::string& fileName) const {
    return resolveInFolder(m_dataFolder, fileName);
}

bool WaveformFiles::ReadWaveform(const std::string& fileName) {
    m_s.log.AddDebugLine("ReadWaveform");
    if (!m_s.files.exists(path(fileName))) {
        m_s.dialogs.messageDlg("File: " + fileName + " Not Found", MsgKind::Error, {MsgButton::OK});
        return false;
    }
    std::fill(m_w.Samples.get(), m_w.Samples.get() + kWaveFileSamples + 1, std::int16_t{0});
    if (m_w.ZeroFrom <= kWaveFileSamples + 1) m_w.ZeroFrom = 0;
    m_w.PulseFirst = 0;
    m_w.PulseCount = 0;
    ++m_w.Revision;
    // The header and at most 60000 samples are all a file can hold for the store: a longer
    // file is read no further, and a name that is not a regular file (a folder, a FIFO, a
    // device) is a reading error.
    const auto bytes = m_s.files.readPrefix(path(fileName), kWaveFileBytes);
    if (!bytes) {
        m_s.dialogs.messageDlg("Error reading file: " + fileName, MsgKind::Error,
                               {MsgButton::Abort});
        return false;
    }
    char raw[kWaveHeaderSize] = {}; // a short header reads as zeros past its end
    std::memcpy(raw, bytes->data(), std::min(bytes->size(), kWaveHeaderSize));
    m_w.Header = TWaveFileHeader::fromBytes(raw);
    m_s.log.AddDebugLine("Waveform Max Data = " + std::to_string(m_w.Header.SampleCount));
    if (m_w.Header.SampleCount > kWaveFileSamples || m_w.Header.SampleCount < 100)
        m_w.Header.SampleCount = kWaveFileSamples;
    m_w.SampleCount = m_w.Header.SampleCount;
    if (std::memcmp(m_w.Header.Magic.data(), "WAVEFORM", 8) != 0) {
        m_s.dialogs.messageDlg(fileName + " is Wrong File Type", MsgKind::Error, {MsgButton::OK});
        return false;
    }
    const double period = m_w.Header.SamplePeriod;
    double rate = period != 0 ? 1.0 / period : 0;
    if (!(rate >= 500 && rate <= 5000)) rate = 2400;
    m_w.SampleRate = rate;
    m_w.SamplePeriod = static_cast<float>(1.0 / rate);
    m_w.AmpsPerCount = m_w.Header.AmpsPerCount;

    // At most SampleCount - 1 samples: the last slot stays zero.
    const std::size_t inFile =
        bytes->size() > kWaveHeaderSize ? (bytes->size() - kWaveHeaderSize) / 2 : 0;
    const auto got = static_cast<int>(std::min<std::size_t>(inFile, m_w.SampleCount - 1));
    // The file's little-endian samples are the host's: one copy.
    static_assert(std::endian::native == std::endian::little);
    std::memcpy(m_w.Samples.get(), bytes->data() + kWaveHeaderSize,
                2 * static_cast<std::size_t>(std::max(got, 0)));
    m_w.filled(got);
    return true;
}

bool WaveformFiles::LoadFile(const std::string& fileName) {
    m_s.log.AddDebugLine("Waveform LoadFile");
    if (!ReadWaveform(fileName)) return false;
    TWaveViewFields& v = m_w.View;
    v.TotalTime = static_cast<float>(m_w.SampleCount * static_cast<double>(m_w.SamplePeriod));
    v.TimeOrigin = 0;
    v.ViewStart = 0;
    v.ViewEnd = 1;
    v.CursorStart = 0;
    v.CursorEnd = 1;
    v.YTop = 2048 * m_w.AmpsPerCount;
    v.YBottom = -v.YTop;
    return true;
}

std::string waveformFileBytes(const TWaveformData& w, const std::string& serialId, int testMode) {
    const TWaveFileHeader h = newHeader(waveTypeOf(testMode), serialId, w.AmpsPerCount,
                                        static_cast<float>(1.0 / w.SampleRate), 12);
    return h.bytes() + sampleBytes(w.Samples.get(), kWaveFileSamples);
}

bool WaveformFiles::WriteWaveform(const std::string& fileName, int testMode) {
    m_s.log.AddDebugLine("WriteWaveform");
    const auto answer =
        m_s.dialogs.inputBox("WaveFile Serial Number", "Enter Ser Num or ID:", "DEFAULT");
    m_w.SerialId = answer ? *answer : "DEFAULT";
    const TWaveFileHeader h = newHeader(waveTypeOf(testMode), m_w.SerialId, m_w.AmpsPerCount,
                                        static_cast<float>(1.0 / m_w.SampleRate), 12);
    if (m_s.files.exists(path(fileName)) &&
        m_s.dialogs.messageDlg("Waveform File: " + bareFileName(fileName) + " Exists. Overwrite?",
                               MsgKind::Warning,
                               {MsgButton::OK, MsgButton::Cancel}) != MsgButton::OK)
        return false;
    return confirmAndWrite(fileName, h, m_w.Samples.get());
}

// Asks "Writing Waveform File", then writes the header and 60000 samples in one piece and
// says how many bytes it wrote. Cancel writes nothing, not even an empty file.
bool WaveformFiles::confirmAndWrite(const std::string& fileName, const TWaveFileHeader& header,
                                    const std::int16_t* samples) {
    const std::string name = bareFileName(fileName);
    if (m_s.dialogs.messageDlg("Writing Waveform File: " + name, MsgKind::Warning,
                               {MsgButton::OK, MsgButton::Cancel}) != MsgButton::OK)
        return false;
    const std::string bytes = header.bytes() + sampleBytes(samples, kWaveFileSamples);
    std::string error;
    if (!m_s.files.replaceContents(path(fileName), bytes, error)) {
        m_s.log.AddDebugLine("Waveform write failed: " + error);
        m_s.dialogs.messageDlg("Error writing file: " + name, MsgKind::Error, {MsgButton::Abort});
        return false;
    }
    m_s.dialogs.messageDlg("Bytes written " + std::to_string(bytes.size()), MsgKind::Information,
                           {MsgButton::OK});
    return true;
}

std::unique_ptr<std::int16_t[]> generateWaveSamples(const TWaveSegments& segments) {
    std::unique_ptr<std::int16_t[]> buf(new std::int16_t[kWaveFileSamples]());
    // Degrees to radians in extended precision, then kept as doubles.
    const long double degToRad = 3.14159265358979323846264338327950288L / 180.0L;
    const double step = static_cast<double>(21600.0L / 2400.0L * degToRad);
    int i = static_cast<int>(2400 * 0.1) + 1; // leading zeros
    for (const TWaveSegment& seg : segments) {
        const double phase = static_cast<double>(seg.PhaseDeg * degToRad);
        const double on = 2400 * seg.OnTime;
        if (on >= 1) {
            const long last = static_cast<long>(on);
            for (long k = 0; k <= last && i < kWaveFileSamples; ++k) {
                const long double envelope =
                    (1.0L - (static_cast<long double>(k) / on) * (1.0L - seg.EndRatio)) *
                    seg.Amplitude;
                const long double v =
                    std::sin(static_cast<long double>(k) * step + phase) * envelope;
                buf[static_cast<std::size_t>(i++)] =
                    static_cast<std::int16_t>(static_cast<long>(std::trunc(v)));
            }
        }
        const double off = 2400 * seg.OffTime;
        if (off >= 1) i += static_cast<int>(off) + 1;
    }
    return buf;
}

bool WaveformFiles::MakeWaveFile(const std::string& fileName, bool longType,
                                 const TWaveSegments& segments) {
    m_s.log.AddDebugLine("MakeWaveFile");
    const TWaveFileHeader h =
        newHeader(longType ? 'M' : 'N', "***DEFAULT***", 0.244140625f, 1.0f / 2400, 10);
    const auto samples = generateWaveSamples(segments);
    return confirmAndWrite(fileName, h, samples.get());
}

std::string makeDemoFiles(const std::string& folder) {
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
    if (!makeFolders(folder)) return "Cannot create folder " + folder;
    TWaveformData store;
    WaveformFiles wave(store, services, folder);
    const std::pair<const char*, const TWaveSegments*> demos[] = {
        {"QARN3Pulse.owf", &PulseSegments}, {"QARN3Long.owf", &LongSegments}};
    for (const auto& [name, segments] : demos) {
        if (files.exists(resolveInFolder(folder, name))) continue;
        if (!wave.MakeWaveFile(name, segments == &LongSegments, *segments))
            return dialogs.shown().empty() ? std::string("Cannot write ") + name
                                           : dialogs.shown().back().text;
    }
    return {};
}

} // namespace qarn3
