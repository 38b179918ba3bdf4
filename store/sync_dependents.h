#pragma once

// What travels with the rows a sync moves (store/sync.h): the waveforms they name and the
// rows they own. Both are written inside the target's open transaction.
#include "store/database.h"
#include "store/sql_sync.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qarn3::syncdependents {

// Ids a statement's IN list takes at most.
constexpr std::size_t kIdsPerQuery = 500;

template <typename T> std::vector<std::vector<T>> chunks(const std::vector<T>& all, std::size_t n) {
    std::vector<std::vector<T>> out;
    for (std::size_t i = 0; i < all.size(); i += n)
        out.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(i),
                         all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), i + n)));
    return out;
}

// A waveform row as both sides keep it: id, size_bytes, bytes.
using WaveformRow = std::vector<QVariant>;

// Copies the waveforms of these ids (distinct) that the target lacks; moved counts them.
RecordsError copyMissingWaveforms(RecordsDatabase& from, RecordsDatabase& to,
                                  const std::vector<std::string>& ids, std::int64_t& moved);
// The two halves of that: the rows of the waveforms the target lacks, read from the source
// (before the target's transaction, so that a slow source holds no lock on the target), and
// those rows written (in it; one that arrived meanwhile is left as it is).
RecordsError fetchMissingWaveforms(RecordsDatabase& from, RecordsDatabase& to,
                                   const std::vector<std::string>& ids,
                                   std::vector<WaveformRow>& rows);
RecordsError insertWaveformRows(RecordsDatabase& to, std::vector<WaveformRow>& rows,
                                std::int64_t& moved);

// The rows the owners own on the target are replaced by the source's (columns in the order
// given). Call it after the owning rows were read from the source: a row changed there in
// between then arrives with newer owned rows under its older updated_at, which the next sync
// takes for a change and moves again; read the other way round, a new updated_at with the
// old rows would pass for agreement.
RecordsError replaceOwnedRows(RecordsDatabase& from, RecordsDatabase& to, const OwnedRows& owned,
                              const std::vector<std::string>& columns,
                              const std::vector<std::string>& ownerIds);

} // namespace qarn3::syncdependents
