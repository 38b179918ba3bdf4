#pragma once

#include "records/rows.h"
#include "waveform/comtrade.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

class RecordsStore;

// Local time's offset from UTC, in minutes, at a time in microseconds since 1970 (UTC).
using LocalOffsetAt = std::function<int(std::int64_t utcUs)>;
// The machine's own time zone.
int machineOffsetMinutes(std::int64_t utcUs);

// A stored shot's waveform file as a COMTRADE capture, with what its records know: the
// station is the site, the phase the test point's pole, the circuit the breaker; the device
// the file's serial, else (blank or the program's placeholder) the session's analyzer. The
// pulse ended when the shot was taken: the first sample lies the pulse's start and length
// before the shot's time, the trigger at the pulse's start, and the detector's channel "ON"
// is the pulse's own span. A shot stored before its pulse's start was kept has no "ON"
// channel, and its pulse is taken to begin at the first sample. a is the amperes per count
// the shot was measured with where it is kept, else the file's own.
void fillComtradeFromShot(ComtradeExport& e, const ShotRow& row, int lineHz,
                          const LocalOffsetAt& offsetAt);
// The same, with "ON" over the pulses of every shot of sameWaveform that names the shot's
// waveform (the pulses of one imported file), the trigger at the first of them.
void fillComtradeFromShot(ComtradeExport& e, const ShotRow& row,
                          const std::vector<ShotRow>& sameWaveform, int lineHz,
                          const LocalOffsetAt& offsetAt);

// The shot's waveform bytes as a capture to write (comtradeExportOfWaveFile, then the shot's
// records); empty, with the reason, when the bytes are no waveform file.
std::optional<ComtradeExport> comtradeExportOfShot(const std::string& waveBytes, const ShotRow& row,
                                                   const std::vector<ShotRow>& sameWaveform,
                                                   int lineHz, const LocalOffsetAt& offsetAt,
                                                   std::string& error);

// How a session's shots are named on export: BASE-1, BASE-2 ... in the order taken.
std::string comtradeShotBase(const std::string& base, int number);

// What writing COMTRADE files of stored shots takes beside the shots.
struct ComtradeShotOptions {
    int lineHz = 60;
    ComtradeDataType type = ComtradeDataType::Binary;
    LocalOffsetAt offsetAt = machineOffsetMinutes;
};

// Writes the shot's waveform as BASE.cfg and BASE.dat; an error message naming the shot or
// the file, empty on success.
std::string writeShotComtrade(RecordsStore& store, const ShotRow& row, const std::string& base,
                              const ComtradeShotOptions& options, FileStore& files);
// Writes every shot of the session that has a waveform, oldest first, as BASE-1, BASE-2 ...;
// each returns false to stop (between shots). written: how many were written.
std::string writeSessionComtrade(RecordsStore& store, const std::string& sessionId,
                                 const std::string& base, const ComtradeShotOptions& options,
                                 FileStore& files, const std::function<bool()>& each, int& written);

} // namespace qarn3
