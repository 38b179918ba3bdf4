#include "store/sync_dependents.h"

#include <QSqlQuery>

#include <unordered_set>

namespace qarn3::syncdependents {

namespace {

// Waveform bytes one statement carries at most.
constexpr qint64 kWaveformBytesPerStatement = 16 << 20;

// Of the ids, those the target lacks.
RecordsError missingOn(RecordsDatabase& to, const std::vector<std::string>& ids,
                       std::vector<std::string>& missing) {
    RecordsError e;
    std::unordered_set<std::string> present;
    QSqlQuery q = to.query();
    if (!to.run(q, sql::waveformsPresent(ids), e)) return e;
    while (q.next())
        present.insert(q.value(0).toString().toStdString());
    for (const std::string& id : ids)
        if (!present.count(id)) missing.push_back(id);
    return e;
}

RecordsError readWaveforms(RecordsDatabase& from, const std::vector<std::string>& ids,
                           std::vector<WaveformRow>& rows) {
    RecordsError e;
    QSqlQuery read = from.query();
    if (!from.run(read, sql::waveformRows(ids), e)) return e;
    while (read.next())
        rows.push_back({read.value(0), read.value(1), read.value(2)});
    return e;
}

} // namespace

RecordsError fetchMissingWaveforms(RecordsDatabase& from, RecordsDatabase& to,
                                   const std::vector<std::string>& ids,
                                   std::vector<WaveformRow>& rows) {
    std::vector<std::string> missing;
    if (ids.empty()) return {};
    if (RecordsError e = missingOn(to, ids, missing)) return e;
    for (const auto& part : chunks(missing, 16))
        if (RecordsError e = readWaveforms(from, part, rows)) return e;
    return {};
}

RecordsError insertWaveformRows(RecordsDatabase& to, std::vector<WaveformRow>& rows,
                                std::int64_t& moved) {
    RecordsError e;
    std::vector<QVariant> values;
    qint64 bytes = 0;
    std::size_t count = 0;
    auto flush = [&] {
        if (count == 0) return true;
        QSqlQuery insert = to.query();
        if (!to.run(insert, sql::insertWaveforms(std::move(values), count), e)) return false;
        moved += static_cast<std::int64_t>(count);
        values.clear();
        bytes = 0;
        count = 0;
        return true;
    };
    for (WaveformRow& w : rows) {
        bytes += w[2].toByteArray().size();
        values.insert(values.end(), std::make_move_iterator(w.begin()),
                      std::make_move_iterator(w.end()));
        ++count;
        if (bytes >= kWaveformBytesPerStatement && !flush()) return e;
    }
    rows.clear();
    flush();
    return e;
}

RecordsError copyMissingWaveforms(RecordsDatabase& from, RecordsDatabase& to,
                                  const std::vector<std::string>& ids, std::int64_t& moved) {
    std::vector<std::string> missing;
    if (ids.empty()) return {};
    if (RecordsError e = missingOn(to, ids, missing)) return e;
    // Sixteen at a time, so that a batch's waveforms are never all in memory at once.
    for (const auto& part : chunks(missing, 16)) {
        std::vector<WaveformRow> rows;
        if (RecordsError e = readWaveforms(from, part, rows)) return e;
        if (RecordsError e = insertWaveformRows(to, rows, moved)) return e;
    }
    return {};
}

RecordsError replaceOwnedRows(RecordsDatabase& from, RecordsDatabase& to, const OwnedRows& owned,
                              const std::vector<std::string>& columns,
                              const std::vector<std::string>& ownerIds) {
    RecordsError e;
    if (owned.table.empty() || ownerIds.empty()) return e;
    const std::size_t width = columns.size();
    const std::size_t perStatement =
        std::max<std::size_t>(1, to.dialect().valuesPerStatement() / width);
    QSqlQuery read = from.query(), write = to.query();
    for (const auto& part : chunks(ownerIds, kIdsPerQuery)) {
        std::vector<QVariant> values;
        if (!from.run(read, sql::ownedRows(owned, columns, part), e) ||
            !to.run(write, sql::deleteOwnedRows(owned, part), e))
            return e;
        while (read.next())
            for (std::size_t c = 0; c < width; ++c)
                values.push_back(read.value(static_cast<int>(c)));
        for (std::size_t at = 0; at < values.size(); at += perStatement * width) {
            const std::size_t n = std::min(values.size() - at, perStatement * width);
            std::vector<QVariant> some(values.begin() + static_cast<std::ptrdiff_t>(at),
                                       values.begin() + static_cast<std::ptrdiff_t>(at + n));
            if (!to.run(write, sql::insertOwnedRows(owned, columns, std::move(some), n / width), e))
                return e;
        }
    }
    return e;
}

} // namespace qarn3::syncdependents
