#include "store/sql.h"

#include <QSqlQuery>

namespace qarn3 {

namespace {

QVariant text(const std::string& s) {
    return QString::fromStdString(s);
}

// A checklist kept in one column, an item a line (an item holds no line break).
std::string joinedLines(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& i : items)
        out += (out.empty() ? "" : "\n") + i;
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        out.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return out;
}

const char* const kPlanColumns =
    "t.id, t.name, t.checklist, t.cool_down_min, p.seq, p.pole, p.kind, p.target_of,"
    " p.target_factor, p.source, p.band_min_s, p.band_max_s, p.hold_s, p.shots";
const char* const kPlanFrom = " FROM test_plan t LEFT JOIN test_plan_point p ON p.plan_id = t.id";
const char* const kPlanOrder = " ORDER BY t.name, t.id, p.seq";

} // namespace

namespace sql {

BoundSql saveTestPlan(const TestPlan& p, const std::string& now) {
    return {"INSERT INTO test_plan (id, name, checklist, cool_down_min, created_at, updated_at)"
            " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO UPDATE SET checklist ="
            " excluded.checklist, cool_down_min = excluded.cool_down_min, updated_at ="
            " excluded.updated_at",
            {text(p.id), text(p.name), text(joinedLines(p.checklist)), p.coolDownMinutes, text(now),
             text(now)}};
}

BoundSql testPlanExists(const std::string& id) {
    return {"SELECT count(*) FROM test_plan WHERE id = ?", {text(id)}};
}

BoundSql deleteTestPlanPoints(const std::string& id) {
    return {"DELETE FROM test_plan_point WHERE plan_id = ?", {text(id)}};
}

BoundSql insertTestPlanPoint(const std::string& id, int seq, const PlanPoint& p) {
    const bool typed = p.source == PlanBandSource::Typed && p.band;
    return {"INSERT INTO test_plan_point (plan_id, seq, pole, kind, target_of, target_factor,"
            " source, band_min_s, band_max_s, hold_s, shots) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?,"
            " ?, ?)",
            {text(id), seq, text(poleText(p.pole)), text(kindText(p.kind)),
             text(targetOfText(p.of)), p.factor, text(planBandSourceText(p.source)),
             typed ? QVariant(p.band->minSeconds) : QVariant(),
             typed ? QVariant(p.band->maxSeconds) : QVariant(),
             p.source == PlanBandSource::MustNotTrip ? QVariant(p.holdSeconds) : QVariant(),
             p.shots}};
}

BoundSql allTestPlans() {
    return {std::string("SELECT ") + kPlanColumns + kPlanFrom + kPlanOrder, {}};
}

BoundSql testPlanById(const std::string& id) {
    return {std::string("SELECT ") + kPlanColumns + kPlanFrom + " WHERE t.id = ?" + kPlanOrder,
            {text(id)}};
}

std::vector<TestPlan> testPlansFrom(QSqlQuery& q) {
    std::vector<TestPlan> out;
    while (q.next()) {
        const std::string id = q.value(0).toString().toStdString();
        if (out.empty() || out.back().id != id) {
            TestPlan p;
            p.id = id;
            p.name = q.value(1).toString().toStdString();
            p.checklist = splitLines(q.value(2).toString().toStdString());
            p.coolDownMinutes = q.value(3).toDouble();
            out.push_back(std::move(p));
        }
        if (q.value(4).isNull()) continue;
        PlanPoint pt;
        pt.pole = poleFromText(q.value(5).toString().toStdString()).value_or(Pole::A);
        pt.kind = kindFromText(q.value(6).toString().toStdString()).value_or(PointKind::Other);
        pt.of = targetOfFromText(q.value(7).toString().toStdString()).value_or(TargetOf::In);
        pt.factor = q.value(8).toDouble();
        pt.source = planBandSourceFromText(q.value(9).toString().toStdString())
                        .value_or(PlanBandSource::Settings);
        if (!q.value(10).isNull() && !q.value(11).isNull())
            pt.band = Band{q.value(10).toDouble(), q.value(11).toDouble()};
        pt.holdSeconds = q.value(12).toDouble();
        pt.shots = q.value(13).toInt();
        out.back().points.push_back(pt);
    }
    return out;
}

BoundSql setBreakerPlan(const std::string& breakerId, const std::string& planId,
                        const std::string& now) {
    return {"UPDATE breaker SET plan_id = ?, updated_at = ? WHERE id = ? AND plan_id <> ?",
            {text(planId), text(now), text(breakerId), text(planId)}};
}

BoundSql approveSession(const std::string& sessionId, const std::string& by,
                        const std::string& at) {
    return {"UPDATE session SET approved_by = ?, approved_at = ?, updated_at = ? WHERE id = ? AND"
            " approved_at IS NULL",
            {text(by), text(at), text(at), text(sessionId)}};
}

BoundSql insertSessionNote(const std::string& id, const std::string& sessionId,
                           const std::string& author, const std::string& noteText,
                           const std::string& now) {
    return {"INSERT INTO session_note (id, session_id, written_at, author, text, created_at)"
            " VALUES (?, ?, ?, ?, ?, ?)",
            {text(id), text(sessionId), text(now), text(author), text(noteText), text(now)}};
}

BoundSql sessionNotes(const std::string& sessionId) {
    return {"SELECT written_at, author, text FROM session_note WHERE session_id = ? ORDER BY"
            " written_at, id",
            {text(sessionId)}};
}

BoundSql saveSessionCheck(const std::string& sessionId, const std::string& item,
                          const std::string& tickedAt) {
    return {"INSERT INTO session_check (id, session_id, item, ticked_at, created_at, updated_at)"
            " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO UPDATE SET ticked_at ="
            " excluded.ticked_at, updated_at = excluded.updated_at",
            {text(sessionCheckIdOf(sessionId, item)), text(sessionId), text(item), text(tickedAt),
             text(tickedAt), text(tickedAt)}};
}

BoundSql sessionChecks(const std::string& sessionId) {
    return {"SELECT item, ticked_at FROM session_check WHERE session_id = ? ORDER BY ticked_at,"
            " item",
            {text(sessionId)}};
}

} // namespace sql

} // namespace qarn3
