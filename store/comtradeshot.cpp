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
    e.stationName = row.site.name;
    e.phase = poleText(row.point.pole);
    e.circuit = row.breaker.designation;
    if (serialUnknown(e.deviceId)) e.deviceId = trimText(row.session.analyzerSerial);
    e.lineHz = lineHz == 50 ? 50 : 60;
    const ShotReading& r = row.shot.reading;
    const double start = r.startSeconds.value_or(0);
    const std::int64_t taken = microsOfIso(r.takenAt);
    e.firstSampleUs = taken - micros(start + r.seconds);
    e.triggerUs = e.firstSampleUs + micros(start);
    e.localOffsetMinutes = offsetAt ? offsetAt(e.firstSampleUs) : 0;
    e.onSpans.clear();
    e.withOn = r.startSeconds.has_value();
    if (!e.withOn) return;
    const std::size_t n = e.counts.size();
    const auto first = static_cast<std::size_t>(
        std::clamp<long long>(std::llround(start * e.sampleRate), 0, static_cast<long long>(n)));
    const auto count = static_cast<std::size_t>(std::clamp<long long>(
        std::llround(r.seconds * e.sampleRate), 0, static_cast<long long>(n - first)));
    e.onSpans.emplace_back(first, count);
}

std::optional<ComtradeExport> comtradeExportOfShot(const std::string& waveBytes, const ShotRow& row,
                                                   int lineHz, const LocalOffsetAt& offsetAt,
                                                   std::string& error) {
    std::optional<ComtradeExport> e = comtradeExportOfWaveFile(waveBytes, error);
    if (e) fillComtradeFromShot(*e, row, lineHz, offsetAt);
    return e;
}

std::string comtradeShotBase(const std::string& base, int number) {
    return comtradeBase(base) + "-" + std::to_string(number);
}

std::string writeShotComtrade(RecordsStore& store, const ShotRow& row, const std::string& base,
                              const ComtradeShotOptions& options, FileStore& files) {
    RecordsError e;
    const auto bytes = store.waveformOf(row.shot.id, e);
    if (!bytes) return e.message;
    std::string error;
    auto capture =
        comtradeExportOfShot(bytes->toStdString(), row, options.lineHz, options.offsetAt, error);
    if (!capture) return "The waveform of shot " + row.shot.id + " cannot be read: " + error;
    capture->type = options.type;
    return writeComtradeFiles(comtradeBase(base), *capture, files);
}

std::string writeSessionComtrade(RecordsStore& store, const std::string& sessionId,
                                 const std::string& base, const ComtradeShotOptions& options,
                                 FileStore& files, const std::function<bool()>& each,
                                 int& written) {
    written = 0;
    ShotFilter f;
    f.sessionId = sessionId;
    std::vector<ShotRow> rows;
    if (RecordsError e = store.forEachShot(f, ShotOrder::OldestFirst, [&](const ShotRow& row) {
            if (!row.shot.waveformId.empty()) rows.push_back(row);
            return true;
        }))
        return e.message;
    if (rows.empty()) return "The session has no shot with a stored waveform";
    for (const ShotRow& row : rows) {
        if (each && !each()) return {};
        const std::string error =
            writeShotComtrade(store, row, comtradeShotBase(base, written + 1), options, files);
        if (!error.empty()) return error;
        ++written;
    }
    return {};
}

} // namespace qarn3
