#include "store/comtradeshot.h"

#include "platform/textformat.h"
#include "store/store.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace qarn3 {

namespace {

// The names the program writes into a waveform file when nobody gave a serial number.
bool serialUnknown(const std::string& serial) {
    const std::string s = trimText(serial);
    return s.empty() || s == "DEFAULT" || s == "***DEFAULT***";
}

std::int64_t microsOfIso(const std::string& iso) {
    const QDateTime t = QDateTime::fromString(QString::fromStdString(iso), Qt::ISODateWithMs);
    return t.isValid() ? t.toMSecsSinceEpoch() * 1000 : 0;
}

std::int64_t micros(double seconds) {
    return std::llround(seconds * 1e6);
}

} // namespace

int machineOffsetMinutes(std::int64_t utcUs) {
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000).offsetFromUtc() / 60;
}

void fillComtradeFromShot(ComtradeExport& e, const ShotRow& row, int lineHz,
                          const LocalOffsetAt& offsetAt) {
    fillComtradeFromShot(e, row, {}, lineHz, offsetAt);
}

void fillComtradeFromShot(ComtradeExport& e, const ShotRow& row,
                          const std::vector<ShotRow>& sameWaveform, int lineHz,
                          const LocalOffsetAt& offsetAt) {
    e.stationName = row.site.name;
    e.phase = poleText(row.point.pole);
    e.circuit = row.breaker.designation;
    if (serialUnknown(e.deviceId)) e.deviceId = trimText(row.session.analyzerSerial);
    e.lineHz = lineHz == 50 ? 50 : 60;
    const ShotReading& r = row.shot.reading;
    // The values are the amperes the shot was measured in.
    if (r.ampsPerCount > 0) e.ampsPerCount = r.ampsPerCount;
    const double start = r.startSeconds.value_or(0);
    const std::int64_t taken = microsOfIso(r.takenAt);
    e.firstSampleUs = taken - micros(start + r.seconds);
    e.localOffsetMinutes = offsetAt ? offsetAt(e.firstSampleUs) : 0;
    e.onSpans.clear();
    e.withOn = r.startSeconds.has_value();
    e.triggerUs = e.firstSampleUs + micros(start);
    if (!e.withOn) return;
    // Every pulse the waveform holds that was measured as a shot: the shot's own, and those of
    // the shots of the same file; the trigger at the first of them.
    std::vector<std::pair<double, double>> pulses{{start, r.seconds}};
    for (const ShotRow& other : sameWaveform) {
        const ShotReading& o = other.shot.reading;
        if (other.shot.id != row.shot.id && other.shot.waveformId == row.shot.waveformId &&
            !row.shot.waveformId.empty() && o.startSeconds)
            pulses.emplace_back(*o.startSeconds, o.seconds);
    }
    std::sort(pulses.begin(), pulses.end());
    e.triggerUs = e.firstSampleUs + micros(pulses.front().first);
    const std::size_t n = e.counts.size();
    for (const auto& [pulseStart, seconds] : pulses) {
        const auto first = static_cast<std::size_t>(std::clamp<long long>(
            std::llround(pulseStart * e.sampleRate), 0, static_cast<long long>(n)));
        const auto count = static_cast<std::size_t>(std::clamp<long long>(
            std::llround(seconds * e.sampleRate), 0, static_cast<long long>(n - first)));
        if (!e.onSpans.empty() && e.onSpans.back().first == first) continue;
        e.onSpans.emplace_back(first, count);
    }
}

std::optional<ComtradeExport> comtradeExportOfShot(const std::string& waveBytes, const ShotRow& row,
                                                   const std::vector<ShotRow>& sameWaveform,
                                                   int lineHz, const LocalOffsetAt& offsetAt,
                                                   std::string& error) {
    std::optional<ComtradeExport> e = comtradeExportOfWaveFile(waveBytes, error);
    if (e) fillComtradeFromShot(*e, row, sameWaveform, lineHz, offsetAt);
    return e;
}

namespace {

// The session's shots, oldest first.
RecordsError sessionShots(RecordsStore& store, const std::string& sessionId,
                          std::vector<ShotRow>& rows) {
    ShotFilter f;
    f.sessionId = sessionId;
    return store.forEachShot(f, ShotOrder::OldestFirst, [&](const ShotRow& row) {
        rows.push_back(row);
        return true;
    });
}

std::string writeOne(RecordsStore& store, const ShotRow& row,
                     const std::vector<ShotRow>& sameWaveform, const std::string& base,
                     const ComtradeShotOptions& options, FileStore& files) {
    RecordsError e;
    const auto bytes = store.waveformOf(row.shot.id, e);
    if (!bytes) return e.message;
    std::string error;
    auto capture = comtradeExportOfShot(bytes->toStdString(), row, sameWaveform, options.lineHz,
                                        options.offsetAt, error);
    if (!capture) return "The waveform of shot " + row.shot.id + " cannot be read: " + error;
    capture->type = options.type;
    return writeComtradeFiles(comtradeBase(base), *capture, files);
}

} // namespace

std::string comtradeShotBase(const std::string& base, int number) {
    return comtradeBase(base) + "-" + std::to_string(number);
}

std::string writeShotComtrade(RecordsStore& store, const ShotRow& row, const std::string& base,
                              const ComtradeShotOptions& options, FileStore& files) {
    std::vector<ShotRow> session;
    if (RecordsError e = sessionShots(store, row.session.id, session)) return e.message;
    return writeOne(store, row, session, base, options, files);
}

std::string writeSessionComtrade(RecordsStore& store, const std::string& sessionId,
                                 const std::string& base, const ComtradeShotOptions& options,
                                 FileStore& files, const std::function<bool()>& each,
                                 int& written) {
    written = 0;
    std::vector<ShotRow> session;
    if (RecordsError e = sessionShots(store, sessionId, session)) return e.message;
    std::vector<ShotRow> rows;
    std::copy_if(session.begin(), session.end(), std::back_inserter(rows),
                 [](const ShotRow& row) { return !row.shot.waveformId.empty(); });
    if (rows.empty()) return "The session has no shot with a stored waveform";
    for (const ShotRow& row : rows) {
        if (each && !each()) return {};
        const std::string error = writeOne(store, row, session,
                                           comtradeShotBase(base, written + 1), options, files);
        if (!error.empty()) return error;
        ++written;
    }
    return {};
}

} // namespace qarn3
