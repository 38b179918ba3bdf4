#include "records/plansession.h"

#include "platform/textformat.h"

#include <algorithm>
#include <cctype>

namespace qarn3 {

std::vector<TestPointRecord> planTestPoints(const TestPlan& plan, const TripUnitSettings& settings,
                                            const std::string& sessionId, FieldError& error) {
    std::vector<TestPointRecord> points;
    for (std::size_t i = 0; i < plan.points.size(); ++i) {
        const PlanPoint& pp = plan.points[i];
        FieldError e;
        const std::optional<double> multiple = targetMultiple(settings, pp.of, pp.factor, e);
        if (!multiple) {
            error = {e.field, "point " + std::to_string(i + 1) + ": " + e.message, false};
            return {};
        }
        TestPointRecord p;
        p.id = newRecordId();
        p.sessionId = sessionId;
        p.pole = pp.pole;
        p.kind = pp.kind;
        p.targetOf = pp.of;
        p.targetFactor = pp.factor;
        p.multiple = *multiple;
        p.planSeq = static_cast<int>(i + 1);
        if (pp.source == PlanBandSource::Typed) p.band = pp.band;
        if (pp.source == PlanBandSource::MustNotTrip) {
            p.mustNotTrip = true;
            p.holdSeconds = pp.holdSeconds;
        }
        points.push_back(std::move(p));
    }
    return points;
}

PointResult pointResultOf(const TestPointRecord& point, const std::vector<ShotRecord>& shots) {
    PointResult r;
    r.skipped = !point.skipped.empty();
    r.skipReason = point.skipped;
    for (const ShotRecord& s : shots) {
        const VerdictClass c = verdictClass(s.judgement.verdict);
        ++r.shots;
        r.passed += c == VerdictClass::Pass;
        r.failed += c == VerdictClass::Fail;
        r.last = c;
    }
    return r;
}

std::string asFoundText(const TestPointRecord& point, const std::vector<ShotRecord>& shots,
                        char separator) {
    if (!shots.empty()) {
        const ShotRecord& last = shots.back();
        return "as found: " + verdictText(last.judgement.verdict) + " " +
               formatFixed(last.reading.seconds, 0, last.reading.seconds < 10 ? 3 : 1, separator) +
               " s";
    }
    if (!point.skipped.empty()) return "as found: skipped (" + point.skipped + ")";
    return "as found: not tested";
}

namespace {

bool aboutThermalMemory(std::string item) {
    std::transform(item.begin(), item.end(), item.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return item.find("thermal memory") != std::string::npos;
}

} // namespace

bool thermalMemoryTicked(const TestPlan& plan, const std::set<std::string>& ticked) {
    return std::any_of(plan.checklist.begin(), plan.checklist.end(), [&](const std::string& item) {
        return aboutThermalMemory(item) && ticked.count(item) > 0;
    });
}

bool checklistComplete(const TestPlan& plan, const std::set<std::string>& ticked) {
    return std::all_of(plan.checklist.begin(), plan.checklist.end(), [&](const std::string& item) {
        return aboutThermalMemory(item) || ticked.count(item) > 0;
    });
}

} // namespace qarn3
