#include "store/sql.h"

#include <QSqlQuery>

namespace qarn3 {

namespace {

QVariant text(const std::string& s) {
    return QString::fromStdString(s);
}

// The columns every curve query gives, in this order.
const char* const kCurveColumns =
    "c.id, c.maker, c.model, c.kind, c.updated_at, p.multiple, p.min_s, p.max_s";
const char* const kCurveOrder = " ORDER BY c.maker, c.model, c.kind, p.multiple";

} // namespace

namespace sql {

BoundSql saveCurve(const TripCurve& c, const std::string& now) {
    return {
        "INSERT INTO curve (id, maker, model, kind, created_at, updated_at) VALUES (?, ?, ?, "
        "?, ?, ?) ON CONFLICT (id) DO UPDATE SET updated_at = excluded.updated_at",
        {text(c.id), text(c.maker), text(c.model), text(kindText(c.kind)), text(now), text(now)}};
}

BoundSql curveExists(const std::string& id) {
    return {"SELECT count(*) FROM curve WHERE id = ?", {text(id)}};
}

BoundSql deleteCurvePoints(const std::string& curveId) {
    return {"DELETE FROM curve_point WHERE curve_id = ?", {text(curveId)}};
}

BoundSql insertCurvePoint(const std::string& curveId, const CurvePoint& p) {
    return {"INSERT INTO curve_point (curve_id, multiple, min_s, max_s) VALUES (?, ?, ?, ?)",
            {text(curveId), p.multiple, p.minSeconds, p.maxSeconds}};
}

BoundSql saveBreakerCurve(const std::string& breakerId, PointKind kind, const std::string& curveId,
                          const std::string& now) {
    return {"INSERT INTO breaker_curve (id, breaker_id, kind, curve_id, created_at, updated_at)"
            " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO UPDATE SET curve_id ="
            " excluded.curve_id, updated_at = excluded.updated_at",
            {text(breakerCurveIdOf(breakerId, kind)), text(breakerId), text(kindText(kind)),
             text(curveId), text(now), text(now)}};
}

BoundSql allCurves() {
    return {std::string("SELECT ") + kCurveColumns +
                " FROM curve c JOIN curve_point p ON p.curve_id = c.id" + kCurveOrder,
            {}};
}

BoundSql curvesOfBreaker(const std::string& breakerId) {
    return {std::string("SELECT ") + kCurveColumns +
                " FROM breaker_curve l JOIN curve c ON c.id = l.curve_id JOIN curve_point p ON"
                " p.curve_id = c.id WHERE l.breaker_id = ?" +
                kCurveOrder,
            {text(breakerId)}};
}

BoundSql curveOfBreaker(const std::string& breakerId, PointKind kind) {
    return {std::string("SELECT ") + kCurveColumns +
                " FROM breaker_curve l JOIN curve c ON c.id = l.curve_id JOIN curve_point p ON"
                " p.curve_id = c.id WHERE l.breaker_id = ? AND l.kind = ?" +
                kCurveOrder,
            {text(breakerId), text(kindText(kind))}};
}

std::vector<TripCurve> curvesFrom(QSqlQuery& q) {
    std::vector<TripCurve> out;
    while (q.next()) {
        const std::string id = q.value(0).toString().toStdString();
        if (out.empty() || out.back().id != id) {
            TripCurve c;
            c.id = id;
            c.maker = q.value(1).toString().toStdString();
            c.model = q.value(2).toString().toStdString();
            c.kind = kindFromText(q.value(3).toString().toStdString()).value_or(PointKind::Other);
            c.updatedAt = q.value(4).toString().toStdString();
            out.push_back(std::move(c));
        }
        out.back().points.push_back(
            {q.value(5).toDouble(), q.value(6).toDouble(), q.value(7).toDouble()});
    }
    return out;
}

} // namespace sql

} // namespace qarn3
