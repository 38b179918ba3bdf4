#pragma once

#include "waveform/comtrade.h"

#include <cstddef>
#include <cstdint>

namespace qarn3 {

struct TWaveformData;

// A recording's current in the store as the analyzer would have captured it on a range of
// ampsPerCount (comtradeCounts), its rate and samples as a waveform file's, the view reset as
// LoadFile resets it. Returns the samples clipped at the range's end.
std::size_t storeComtradeCurrent(TWaveformData& w, const ComtradeCurrent& current,
                                 double ampsPerCount);

// The store's waveform as a capture to write: its samples as a waveform file of it holds
// them (SampleCount - 1), a its amperes per count, its rate and serial number; the names and
// times from origin (its counts and scale ignored). With first and count, only those
// samples: the times and the detector's spans move with the first.
ComtradeExport comtradeOfStore(const TWaveformData& w, const ComtradeExport& origin);
ComtradeExport comtradeOfStore(const TWaveformData& w, const ComtradeExport& origin,
                               std::size_t first, std::size_t count);

} // namespace qarn3
