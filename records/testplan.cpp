#include "records/testplan.h"

#include "platform/textformat.h"
#include "records/csvrows.h"
#include "records/validation.h"

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <cmath>

namespace qarn3 {

namespace {

constexpr std::array<std::pair<PlanBandSource, const char*>, 4> kSources{{
    {PlanBandSource::Settings, "settings"},
    {PlanBandSource::Curve, "curve"},
    {PlanBandSource::Typed, "typed"},
    {PlanBandSource::MustNotTrip, "must-not-trip"},
}};

bool holdsControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return (c < 0x20 && c != '\t') || c == 0x7F;
    });
}

std::string number(double v) {
    return jsonNumberText(v);
}

bool within(double v, double lowest, double highest) {
    return std::isfinite(v) && v >= lowest && v <= highest;
}

std::optional<QDateTime> isoTime(const std::string& text) {
    const QDateTime t = QDateTime::fromString(QString::fromStdString(text), Qt::ISODateWithMs);
    if (!t.isValid()) return std::nullopt;
    return t;
}

PlanPoint settingsPoint(Pole pole, PointKind kind, TargetOf of, double factor) {
    PlanPoint p;
    p.pole = pole;
    p.kind = kind;
    p.of = of;
    p.factor = factor;
    return p;
}

} // namespace

std::string sessionCheckIdOf(const std::string& sessionId, const std::string& item) {
    return nameBasedId("session check\n" + sessionId + "\n" + item);
}

std::string testPlanIdOf(const std::string& name) {
    return nameBasedId("test plan\n" + name);
}

TestPlan builtInPlan() {
    TestPlan plan;
    plan.name = "LSIG three-pole";
    plan.id = testPlanIdOf(plan.name);
    for (Pole pole : {Pole::A, Pole::B, Pole::C}) {
        plan.points.push_back(settingsPoint(pole, PointKind::LongTime, TargetOf::Ir, 3));
        plan.points.push_back(settingsPoint(pole, PointKind::ShortTime, TargetOf::Isd, 1.5));
        PlanPoint holds = settingsPoint(pole, PointKind::Instantaneous, TargetOf::Ii, 0.9);
        holds.source = PlanBandSource::MustNotTrip;
        holds.holdSeconds = 0.5;
        plan.points.push_back(holds);
        plan.points.push_back(settingsPoint(pole, PointKind::Instantaneous, TargetOf::Ii, 1.1));
    }
    plan.points.push_back(settingsPoint(Pole::A, PointKind::GroundFault, TargetOf::Ig, 1.5));
    plan.checklist = {"Zone-selective interlock defeated",
                      "Thermal memory reset (else the cool-down is counted)",
                      "Ground-fault wiring as the maker specifies"};
    plan.coolDownMinutes = 15;
    return plan;
}

std::string planPointProblem(const PlanPoint& p) {
    if (!within(p.factor, kLowestMultiple, kHighestMultiple))
        return "factor " + number(p.factor) + " must be " + boundText(kLowestMultiple) + " to " +
               boundText(kHighestMultiple);
    const bool typed = p.source == PlanBandSource::Typed;
    if (typed && !p.band) return "a typed point needs its band";
    if (!typed && p.band) return "only a typed point has a band of its own";
    if (p.band) {
        const Band& b = *p.band;
        if (!within(b.minSeconds, 0, kLongestSeconds))
            return "band minimum " + number(b.minSeconds) + " must be 0 to " +
                   boundText(kLongestSeconds) + " s";
        if (!inRange(b.maxSeconds, kCsvSeconds))
            return "band maximum " + number(b.maxSeconds) + " must be " + rangeText(kCsvSeconds);
        if (b.minSeconds > b.maxSeconds)
            return "band minimum " + number(b.minSeconds) + " is above its maximum " +
                   number(b.maxSeconds);
    }
    const bool holds = p.source == PlanBandSource::MustNotTrip;
    if (holds && !inRange(p.holdSeconds, kCsvSeconds))
        return "hold time " + number(p.holdSeconds) + " must be " + rangeText(kCsvSeconds);
    if (!holds && p.holdSeconds != 0) return "only a must-not-trip point has a hold time";
    if (p.shots < 1 || p.shots > kMostPlanShots)
        return "shots " + std::to_string(p.shots) + " must be 1 to " +
               std::to_string(kMostPlanShots);
    return {};
}

std::string testPlanProblem(const TestPlan& plan) {
    if (trimText(plan.name).empty()) return "the plan's name is empty";
    if (std::string why = nameProblem("the plan's name", plan.name); !why.empty()) return why;
    if (trimText(plan.name) != plan.name) return "the plan's name begins or ends with a space";
    if (holdsControl(plan.name)) return "the plan's name holds a control character";
    const std::string at = "plan " + plan.name + ": ";
    if (plan.points.empty()) return at + "it has no points";
    for (std::size_t i = 0; i < plan.points.size(); ++i)
        if (std::string why = planPointProblem(plan.points[i]); !why.empty())
            return at + "point " + std::to_string(i + 1) + ": " + why;
    for (std::size_t i = 0; i < plan.checklist.size(); ++i) {
        const std::string& item = plan.checklist[i];
        if (trimText(item).empty() || trimText(item) != item || holdsControl(item))
            return at + "checklist item " + std::to_string(i + 1) +
                   " is empty, begins or ends with a space, or holds a control character";
    }
    if (!within(plan.coolDownMinutes, 0, kLongestCoolDownMinutes))
        return at + "cool-down " + number(plan.coolDownMinutes) + " min must be 0 to " +
               boundText(kLongestCoolDownMinutes) + " min";
    return {};
}

std::string planBandSourceText(PlanBandSource s) {
    for (const auto& [v, t] : kSources)
        if (v == s) return t;
    return {};
}

std::optional<PlanBandSource> planBandSourceFromText(const std::string& text) {
    for (const auto& [v, t] : kSources)
        if (text == t) return v;
    return std::nullopt;
}

PlanWalk walkPlan(const TestPlan& plan, const std::vector<PointResult>& results) {
    PlanWalk w;
    for (std::size_t i = 0; i < plan.points.size(); ++i) {
        const PointResult r = i < results.size() ? results[i] : PointResult{};
        const bool done = r.skipped || r.shots >= plan.points[i].shots;
        if (!done) {
            ++w.left;
            if (!w.next) w.next = i;
            continue;
        }
        ++w.done;
        if (r.skipped)
            ++w.skipped;
        else if (r.last == VerdictClass::Pass)
            ++w.passed;
        else if (r.last == VerdictClass::Fail)
            ++w.failed;
    }
    return w;
}

std::optional<int> rangeForTarget(const std::array<double, 8>& fullScaleAmps, double targetAmps) {
    if (!std::isfinite(targetAmps) || !(targetAmps > 0)) return std::nullopt;
    const double peak = std::sqrt(2.0) * targetAmps;
    std::optional<int> best;
    for (std::size_t i = 0; i < fullScaleAmps.size(); ++i)
        if (fullScaleAmps[i] >= peak && (!best || fullScaleAmps[i] < fullScaleAmps[*best - 1]))
            best = static_cast<int>(i) + 1;
    return best;
}

CoolDown coolDownAt(const std::vector<std::pair<Pole, std::string>>& longTimeShots, Pole pole,
                    const std::string& nowIso, double minutes, bool thermalMemoryReset) {
    const auto now = isoTime(nowIso);
    if (thermalMemoryReset || !now || !(minutes > 0)) return {};
    std::optional<QDateTime> last;
    for (const auto& [p, taken] : longTimeShots) {
        if (p != pole) continue;
        const auto t = isoTime(taken);
        if (t && (!last || *t > *last)) last = t;
    }
    if (!last) return {};
    const double elapsed = std::max<double>(0, static_cast<double>(last->msecsTo(*now)) / 1000);
    const double left = minutes * 60 - elapsed;
    if (!(left > 0)) return {};
    return {true, left};
}

} // namespace qarn3
