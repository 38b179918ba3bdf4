#include "store/export.h"

#include "engine/analysis_output.h"
#include "platform/textformat.h"
#include "records/history.h"
#include "records/sessionreport.h"
#include "records/tripunit.h"
#include "store/store.h"

#include <array>
#include <optional>

namespace qarn3 {

namespace {

constexpr std::array<const char*, 46> kColumns{"shot_id",
                                               "taken_at",
                                               "site",
                                               "site_notes",
                                               "location",
                                               "breaker",
                                               "maker",
                                               "model",
                                               "serial",
                                               "rated_a",
                                               "settings",
                                               "session_id",
                                               "session_start",
                                               "operator",
                                               "condition",
                                               "analyzer_serial",
                                               "analyzer_cal_date",
                                               "session_notes",
                                               "test_point_id",
                                               "pole",
                                               "kind",
                                               "target_multiple",
                                               "band_min_s",
                                               "band_max_s",
                                               "must_not_trip",
                                               "hold_s",
                                               "tolerance",
                                               "current_a",
                                               "multiple",
                                               "seconds",
                                               "cycles",
                                               "suspect",
                                               "under_range",
                                               "cut_short",
                                               "data_errors",
                                               "verdict",
                                               "current_off_target",
                                               "source",
                                               "pulse",
                                               "trip_settings",
                                               "target",
                                               "band_basis",
                                               "band_settings",
                                               "near_pickup",
                                               "band_note",
                                               "band_position"};

// One exported value: text, a number (with the decimals shown, or -1 for the shortest text
// that reads back), a flag, or nothing.
struct Value {
    enum class Type { Text, Number, Integer, Flag, None } type = Type::None;
    std::string text;
    double number = 0;
    int decimals = -1;
    long long integer = 0;
    bool flag = false;
};

Value text(const std::string& s) {
    Value v;
    v.type = Value::Type::Text;
    v.text = s;
    return v;
}
Value textOrNone(const std::string& s) {
    return s.empty() ? Value{} : text(s);
}
Value number(double d, int decimals = -1) {
    Value v;
    v.type = Value::Type::Number;
    v.number = d;
    v.decimals = decimals;
    return v;
}
Value integer(long long i) {
    Value v;
    v.type = Value::Type::Integer;
    v.integer = i;
    return v;
}
Value flag(bool b) {
    Value v;
    v.type = Value::Type::Flag;
    v.flag = b;
    return v;
}

std::array<Value, kColumns.size()> valuesOf(const ShotRow& r) {
    const ShotReading& g = r.shot.reading;
    const TestPointRecord& p = r.point;
    const std::optional<Band>& band = r.shot.band;
    // Where the time lies in its band, as a breaker's history draws it.
    const std::optional<double> bandPosition =
        band ? positionInBand(g.seconds, *band) : std::nullopt;
    return {text(r.shot.id),
            text(g.takenAt),
            text(r.site.name),
            text(r.site.notes),
            text(r.breaker.location),
            text(r.breaker.designation),
            text(r.breaker.maker),
            text(r.breaker.model),
            text(r.breaker.serial),
            number(r.breaker.ratedAmps),
            text(r.breaker.settings),
            text(r.session.id),
            text(r.session.startedAt),
            text(r.session.operatorName),
            text(conditionText(r.session.condition)),
            text(r.session.analyzerSerial),
            textOrNone(r.session.analyzerCalDate),
            text(r.session.notes),
            text(p.id),
            text(poleText(p.pole)),
            text(kindText(p.kind)),
            number(p.multiple),
            band ? number(band->minSeconds) : Value{},
            band ? number(band->maxSeconds) : Value{},
            flag(p.mustNotTrip),
            p.mustNotTrip ? number(p.holdSeconds) : Value{},
            number(p.tolerance),
            number(g.currentAmps, g.currentDecimals),
            number(r.shot.multiple, 3),
            number(g.seconds, 4),
            number(g.cycles, 2),
            flag(g.suspect),
            flag(g.underRange),
            flag(g.cutShort),
            integer(static_cast<long long>(g.dataErrors)),
            text(verdictText(r.shot.judgement.verdict)),
            flag(r.shot.judgement.currentOffTarget),
            text(g.source),
            integer(g.pulse),
            text(r.session.tripSettings.empty() ? r.breaker.tripSettings : r.session.tripSettings),
            text(targetTextOf(p.targetOf, p.targetOf == TargetOf::In ? p.multiple : p.targetFactor,
                              '.')),
            text(bandBasisText(r.shot, '.')),
            text(r.shot.basis.settings),
            flag(r.shot.basis.nearPickup),
            text(r.shot.basis.note),
            bandPosition ? number(*bandPosition, 4) : Value{}};
}

std::string csvText(const Value& v) {
    switch (v.type) {
    case Value::Type::Text:
        return csvField(v.text);
    case Value::Type::Number:
        return v.decimals < 0 ? jsonNumberText(v.number) : formatFixed(v.number, 0, v.decimals);
    case Value::Type::Integer:
        return std::to_string(v.integer);
    case Value::Type::Flag:
        return v.flag ? "1" : "0";
    case Value::Type::None:
        break;
    }
    return {};
}

std::string jsonText(const Value& v) {
    switch (v.type) {
    case Value::Type::Text:
        return '"' + jsonEscaped(v.text) + '"';
    case Value::Type::Number:
        return jsonNumberText(v.number);
    case Value::Type::Integer:
        return std::to_string(v.integer);
    case Value::Type::Flag:
        return v.flag ? "true" : "false";
    case Value::Type::None:
        break;
    }
    return "null";
}

} // namespace

std::string exportCsvHeader() {
    std::string s;
    for (std::size_t i = 0; i < kColumns.size(); ++i)
        s += std::string(i ? "," : "") + kColumns[i];
    return s + "\r\n";
}

std::string exportCsvRecord(const ShotRow& r) {
    const auto values = valuesOf(r);
    std::string s;
    s.reserve(512);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) s += ',';
        s += csvText(values[i]);
    }
    s += "\r\n";
    return s;
}

std::string exportJsonLine(const ShotRow& r) {
    const auto values = valuesOf(r);
    std::string s;
    s.reserve(1024);
    for (std::size_t i = 0; i < values.size(); ++i) {
        s += i ? ",\"" : "{\"";
        s += kColumns[i];
        s += "\":";
        s += jsonText(values[i]);
    }
    s += "}\n";
    return s;
}

RecordsError exportShots(RecordsStore& store, const ShotFilter& f, ExportFormat format,
                         const std::function<bool(const std::string&)>& write) {
    const bool csv = format == ExportFormat::Csv;
    if (csv && !write(exportCsvHeader())) return {};
    return store.forEachShot(f, ShotOrder::OldestFirst, [&](const ShotRow& r) {
        return write(csv ? exportCsvRecord(r) : exportJsonLine(r));
    });
}

std::string exportCsv(const std::vector<ShotRow>& rows) {
    std::string out = exportCsvHeader();
    for (const ShotRow& r : rows)
        out += exportCsvRecord(r);
    return out;
}

} // namespace qarn3
