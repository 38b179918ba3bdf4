#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qarn3 {

class FileStore;

// COMTRADE recordings: a capture written as a configuration file and a data file (revision
// 2013, lines ending CR LF), and a recording from another instrument read for measurement
// (revisions 1991, 1999 and 2013; .cfg with its .dat in any of the four data types, or one
// .cff). Pure text and bytes here; the files are read and written through FileStore.

enum class ComtradeDataType { Ascii, Binary, Binary32, Float32 };

// "ascii", "binary", "binary32" or "float32", in any case.
std::optional<ComtradeDataType> comtradeDataTypeNamed(const std::string& name);
// "ASCII", "BINARY", "BINARY32", "FLOAT32", as the configuration file names it.
const char* comtradeDataTypeText(ComtradeDataType type);

// A capture to write. Times are UTC, in microseconds since 1970-01-01.
struct ComtradeExport {
    std::string stationName; // the site; empty: "QARN3"
    std::string deviceId;    // the analyzer's serial number
    std::string phase;       // the pole, empty when unknown
    std::string circuit;     // the breaker, empty when unknown
    double ampsPerCount = 0; // a: the amperes per count the reading used (b is 0)
    double sampleRate = 2400;
    int lineHz = 60; // the site's mains frequency
    std::vector<std::int16_t> counts;
    // The detector's state: sample spans [first, first + count) the engine counted the
    // current as on. Written as the digital channel "ON" when withOn (the engine's pass is
    // at hand); otherwise the file has no digital channel.
    bool withOn = false;
    std::vector<std::pair<std::size_t, std::size_t>> onSpans;
    std::int64_t firstSampleUs = 0;
    std::int64_t triggerUs = 0; // the first pulse's start, else the first sample
    int localOffsetMinutes = 0; // local time's offset from UTC where it was recorded
    ComtradeDataType type = ComtradeDataType::Binary;
};

// A waveform file's bytes (".owf") as a capture to write: its samples (SampleCount - 1 of
// them, as playback takes them), a from its header's AmpsPerCount, its rate as playback
// reads it and its serial/ID as the device; the rest left for the caller (site, pole,
// breaker, times, the detector's spans). Empty, with the reason, when the bytes are no
// waveform file.
std::optional<ComtradeExport> comtradeExportOfWaveFile(const std::string& bytes,
                                                       std::string& error);

// The single-precision period a waveform file holds for a recording's rate: the one nearest
// to 1 / rate whose rate as playback reads it (1 / period) stays within 500 to 5000 samples
// per second, as playback takes a file only there (float(1 / 500) alone reads as 499.99998,
// float(1 / 5000) as 5000.00013, and either would play at 2400).
// Any other rate: float(1 / rate).
float comtradeSamplePeriod(double rate);

// A time as the configuration file writes it, "dd/mm/yyyy,hh:mm:ss.ffffff" (UTC).
std::string comtradeTimeText(std::int64_t microsecondsSince1970);
// The local code of a time zone's offset: "0", "+1h00", "-5h30".
std::string comtradeLocalCode(int offsetMinutes);

// The two files' bytes.
struct ComtradeFiles {
    std::string cfg, dat;
};
ComtradeFiles comtradeFilesOf(const ComtradeExport& e);

// The base a name stands for: "run7.cfg", "run7.dat" and "run7" all give "run7".
std::string comtradeBase(const std::string& name);

// Writes BASE.cfg and BASE.dat, each replaced whole or left as it was; on a failure neither
// new file is left half written. Returns an error message naming the file, empty on success.
std::string writeComtradeFiles(const std::string& base, const ComtradeExport& e, FileStore& files);

// The current channel of a recording, in primary amperes.
struct ComtradeCurrent {
    std::string channel; // its id
    std::string stationName, deviceId;
    int revision = 1991;
    double sampleRate = 0; // as a waveform file's rate: 1 / comtradeSamplePeriod(rate)
    double lineHz = 0;
    std::vector<double> amps; // a × x + b, × primary / secondary for secondary values
    std::string firstSampleTime, triggerTime; // as the file gives them
    // The first sample's time in microseconds since 1970 on the recorder's clock, and that
    // clock's offset from UTC in minutes where the file says it (2013's time code).
    std::int64_t firstSampleMicros = 0;
    std::optional<int> timeCodeMinutes;
};

// What reading gave: the current, or why not, naming the file, the line and the reason.
struct ComtradeRead {
    std::optional<ComtradeCurrent> current;
    std::string error;
};

// The most samples a recording may hold to be measured: what a waveform file holds.
constexpr std::size_t kComtradeMostSamples = 60000;

// The channel measured: channel when given (by id), else the only analog one, else the only
// one whose units are amperes.
ComtradeRead parseComtrade(const std::string& cfgText, const std::string& cfgName,
                           const std::string& datBytes, const std::string& datName,
                           const std::string& channel);
// A single .cff file: its CFG and DAT sections (INF and HDR skipped).
ComtradeRead parseComtradeCff(const std::string& bytes, const std::string& name,
                              const std::string& channel);
// NAME.cfg with NAME.dat beside it (.dat or .DAT), or NAME.cff.
ComtradeRead readComtradeFile(const std::string& path, const std::string& channel,
                              FileStore& files);
// Whether a name is a COMTRADE recording's (.cfg or .cff, in any case).
bool isComtradeName(const std::string& path);

// The counts the analyzer would have given on a range of ampsPerCount: the amperes divided
// by it, rounded, clipped at ±2047 (each clipped sample counted: over range).
struct ComtradeCounts {
    std::vector<std::int16_t> counts;
    std::size_t clipped = 0;
};
ComtradeCounts comtradeCounts(const std::vector<double>& amps, double ampsPerCount);

} // namespace qarn3
