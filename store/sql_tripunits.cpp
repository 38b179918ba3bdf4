#include "store/sql.h"

#include <QSqlQuery>

namespace qarn3 {

namespace {

QVariant text(const std::string& s) {
    return QString::fromStdString(s);
}

// The columns every profile query gives, in this order; the delay row's are NULL for a
// profile without one.
const char* const kTripUnitColumns =
    "u.id, u.maker, u.model, u.lt_pick_min, u.lt_pick_max, u.lt_tol_lo, u.lt_tol_hi,"
    " u.st_pick_tol, u.inst_pick_tol, u.gf_pick_tol, u.inst_max_s, u.st_i2t_ref, u.gf_i2t_ref,"
    " d.kind, d.setting_s, d.min_s, d.max_s";
const char* const kTripUnitFrom =
    " FROM trip_unit u LEFT JOIN trip_unit_delay d ON d.trip_unit_id = u.id";
const char* const kTripUnitOrder = " ORDER BY u.maker, u.model, u.id, d.kind, d.setting_s";

} // namespace

namespace sql {

BoundSql saveTripUnit(const TripUnitProfile& p, const std::string& id, const std::string& now) {
    return {"INSERT INTO trip_unit (id, maker, model, lt_pick_min, lt_pick_max, lt_tol_lo,"
            " lt_tol_hi, st_pick_tol, inst_pick_tol, gf_pick_tol, inst_max_s, st_i2t_ref,"
            " gf_i2t_ref, created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
            " ?, ?) ON CONFLICT (id) DO UPDATE SET lt_pick_min = excluded.lt_pick_min,"
            " lt_pick_max = excluded.lt_pick_max, lt_tol_lo = excluded.lt_tol_lo, lt_tol_hi ="
            " excluded.lt_tol_hi, st_pick_tol = excluded.st_pick_tol, inst_pick_tol ="
            " excluded.inst_pick_tol, gf_pick_tol = excluded.gf_pick_tol, inst_max_s ="
            " excluded.inst_max_s, st_i2t_ref = excluded.st_i2t_ref, gf_i2t_ref ="
            " excluded.gf_i2t_ref, updated_at = excluded.updated_at",
            {text(id), text(p.maker), text(p.model), p.ltPickMin, p.ltPickMax, p.ltTolLo, p.ltTolHi,
             p.stPickTol, p.instPickTol, p.gfPickTol, p.instMaxSeconds, p.stI2tRef, p.gfI2tRef,
             text(now), text(now)}};
}

BoundSql tripUnitExists(const std::string& id) {
    return {"SELECT count(*) FROM trip_unit WHERE id = ?", {text(id)}};
}

BoundSql deleteTripUnitDelays(const std::string& id) {
    return {"DELETE FROM trip_unit_delay WHERE trip_unit_id = ?", {text(id)}};
}

BoundSql insertTripUnitDelay(const std::string& id, PointKind kind, const DelayBand& row) {
    return {"INSERT INTO trip_unit_delay (trip_unit_id, kind, setting_s, min_s, max_s) VALUES"
            " (?, ?, ?, ?, ?)",
            {text(id), text(kindText(kind)), row.setting, row.minSeconds, row.maxSeconds}};
}

BoundSql allTripUnits() {
    return {std::string("SELECT ") + kTripUnitColumns + kTripUnitFrom + kTripUnitOrder, {}};
}

BoundSql tripUnitById(const std::string& id) {
    return {std::string("SELECT ") + kTripUnitColumns + kTripUnitFrom + " WHERE u.id = ?" +
                kTripUnitOrder,
            {text(id)}};
}

BoundSql setBreakerTripUnit(const std::string& breakerId, const std::string& tripUnitId,
                            const std::string& now) {
    return {"UPDATE breaker SET trip_unit_id = ?, updated_at = ? WHERE id = ? AND trip_unit_id"
            " <> ?",
            {text(tripUnitId), text(now), text(breakerId), text(tripUnitId)}};
}

std::vector<std::pair<std::string, TripUnitProfile>> tripUnitsFrom(QSqlQuery& q) {
    std::vector<std::pair<std::string, TripUnitProfile>> out;
    while (q.next()) {
        const std::string id = q.value(0).toString().toStdString();
        if (out.empty() || out.back().first != id) {
            TripUnitProfile p;
            p.maker = q.value(1).toString().toStdString();
            p.model = q.value(2).toString().toStdString();
            double* const values[] = {&p.ltPickMin, &p.ltPickMax,   &p.ltTolLo,   &p.ltTolHi,
                                      &p.stPickTol, &p.instPickTol, &p.gfPickTol, &p.instMaxSeconds,
                                      &p.stI2tRef,  &p.gfI2tRef};
            int column = 3;
            for (double* v : values)
                *v = q.value(column++).toDouble();
            out.emplace_back(id, std::move(p));
        }
        if (q.value(13).isNull()) continue;
        const DelayBand row{q.value(14).toDouble(), q.value(15).toDouble(), q.value(16).toDouble()};
        TripUnitProfile& p = out.back().second;
        (q.value(13).toString() == "ground-fault" ? p.gfDelays : p.stDelays).push_back(row);
    }
    return out;
}

} // namespace sql

} // namespace qarn3
