// The test plans' CSV file: reading and writing.
#include "records/testplan.h"

#include "platform/textformat.h"
#include "records/csvrows.h"
#include "records/tripunit.h"

#include <cmath>
#include <map>

namespace qarn3 {

namespace {

constexpr std::array<const char*, 11> kColumns{"plan",   "item",   "pole",  "kind",
                                               "target", "source", "min_s", "max_s",
                                               "hold_s", "shots",  "text"};
enum Column { Plan, Item, PoleColumn, Kind, Target, Source, MinS, MaxS, HoldS, Shots, Text };

// Why a check or a cool-down row fills a column between pole and shots; empty when it does not.
std::string onlyTextProblem(const std::vector<std::string>& f) {
    for (int c = PoleColumn; c <= Shots; ++c)
        if (!f[c].empty()) return f[Item] + " takes its text only: " + kColumns[c] + " stays empty";
    return {};
}

// The reading of a file: its plans so far and where each began.
struct PlanReader {
    std::vector<TestPlan> plans;
    std::vector<int> firstLines;    // beside plans
    std::vector<int> coolDownLines; // beside plans, 0 until a cool_down row
    std::map<std::string, std::size_t> index;

    std::size_t planOf(int line, const std::string& name) {
        const auto [found, added] = index.emplace(name, plans.size());
        if (added) {
            TestPlan p;
            p.name = name;
            p.id = testPlanIdOf(name);
            plans.push_back(std::move(p));
            firstLines.push_back(line);
            coolDownLines.push_back(0);
        }
        return found->second;
    }

    static std::string pointRow(TestPlan& plan, const std::vector<std::string>& f) {
        if (!f[Text].empty()) return "point leaves text empty";
        const std::string at = "point " + std::to_string(plan.points.size() + 1) + ": ";
        PlanPoint p;
        const auto pole = poleFromText(f[PoleColumn]);
        if (!pole) return at + "pole '" + quoted(f[PoleColumn]) + "' is not A, B, C or N";
        p.pole = *pole;
        const auto kind = kindFromText(f[Kind]);
        if (!kind)
            return at + "kind '" + quoted(f[Kind]) +
                   "' is not long-time, short-time, instantaneous, ground-fault or other";
        p.kind = *kind;
        FieldError e;
        const auto target = parseTargetText(f[Target], '.', e);
        if (!target) return at + "target " + e.message;
        p.of = target->of;
        p.factor = target->factor;
        const auto source = planBandSourceFromText(f[Source]);
        if (!source)
            return at + "source '" + quoted(f[Source]) +
                   "' is not settings, curve, typed or must-not-trip";
        p.source = *source;
        std::string why;
        if (!f[MinS].empty() || !f[MaxS].empty()) {
            if (f[MinS].empty() || f[MaxS].empty()) return at + "a band needs both min_s and max_s";
            Band b;
            if (!numberField("min_s", f[MinS], b.minSeconds, why) ||
                !numberField("max_s", f[MaxS], b.maxSeconds, why))
                return at + why;
            p.band = b;
        }
        if (!f[HoldS].empty() && !numberField("hold_s", f[HoldS], p.holdSeconds, why))
            return at + why;
        if (!f[Shots].empty()) {
            double shots = 0;
            if (!numberField("shots", f[Shots], shots, why)) return at + why;
            if (shots != std::floor(shots) || !(std::abs(shots) <= kMostPlanShots + 1))
                return at + "shots " + quoted(f[Shots]) + " must be a whole number 1 to " +
                       std::to_string(kMostPlanShots);
            p.shots = static_cast<int>(shots);
        }
        if (why = planPointProblem(p); !why.empty()) return at + why;
        plan.points.push_back(p);
        return {};
    }

    std::string coolDownRow(int line, std::size_t at, const std::vector<std::string>& f) {
        if (coolDownLines[at] != 0)
            return "cool_down is given twice for " + plans[at].name + " (first at line " +
                   std::to_string(coolDownLines[at]) + ")";
        double minutes = 0;
        std::string why;
        if (!numberField("cool_down", f[Text], minutes, why)) return why;
        if (!(std::isfinite(minutes) && minutes >= 0 && minutes <= kLongestCoolDownMinutes))
            return "cool_down " + quoted(f[Text]) + " must be 0 to " +
                   boundText(kLongestCoolDownMinutes) + " min";
        plans[at].coolDownMinutes = minutes;
        coolDownLines[at] = line;
        return {};
    }

    std::string row(int line, const std::vector<std::string>& f) {
        if (f.size() != kColumns.size()) {
            std::string names;
            for (const char* c : kColumns) {
                if (!names.empty()) names += ',';
                names += c;
            }
            return std::to_string(f.size()) + " fields, " + std::to_string(kColumns.size()) +
                   " expected (" + names + ")";
        }
        if (f[Plan].empty()) return "plan is empty";
        if (std::string why = nameProblem("plan", f[Plan]); !why.empty()) return why;
        const std::string& item = f[Item];
        if (item != "point" && item != "check" && item != "cool_down")
            return "item '" + quoted(item) + "' is not known; the items: point, check, cool_down";
        const std::size_t at = planOf(line, f[Plan]);
        if (item == "point") return pointRow(plans[at], f);
        if (std::string why = onlyTextProblem(f); !why.empty()) return why;
        if (item == "cool_down") return coolDownRow(line, at, f);
        if (f[Text].empty()) return "check needs its text";
        plans[at].checklist.push_back(f[Text]);
        return {};
    }
};

std::string targetField(const PlanPoint& p) {
    const std::string n = jsonNumberText(p.factor);
    return p.of == TargetOf::In ? n : n + "x" + targetOfText(p.of);
}

} // namespace

TestPlanCsv parseTestPlanCsv(const std::string& text) {
    PlanReader reader;
    CsvRefusal refusal =
        readCsvRows(text, kColumns, [&reader](int line, const std::vector<std::string>& f) {
            return reader.row(line, f);
        });
    for (std::size_t i = 0; i < reader.plans.size() && refusal.line == 0; ++i)
        if (std::string why = testPlanProblem(reader.plans[i]); !why.empty())
            refusal = {reader.firstLines[i], why};
    if (refusal.line == 0 && reader.plans.empty())
        refusal = {1, "the file holds no test plan (rows of "
                      "plan,item,pole,kind,target,source,min_s,max_s,hold_s,shots,text)"};
    if (refusal.line != 0) return {{}, refusal.line, refusalText(refusal)};
    return {std::move(reader.plans), 0, {}};
}

std::string testPlanCsvText(const std::vector<TestPlan>& plans) {
    std::string s = csvRowText({kColumns.begin(), kColumns.end()});
    for (const TestPlan& plan : plans) {
        for (const PlanPoint& p : plan.points) {
            const bool band = p.band.has_value();
            const bool holds = p.source == PlanBandSource::MustNotTrip;
            s += csvRowText(
                {plan.name, "point", poleText(p.pole), kindText(p.kind), targetField(p),
                 planBandSourceText(p.source), band ? jsonNumberText(p.band->minSeconds) : "",
                 band ? jsonNumberText(p.band->maxSeconds) : "",
                 holds ? jsonNumberText(p.holdSeconds) : "", std::to_string(p.shots), ""});
        }
        for (const std::string& check : plan.checklist)
            s += csvRowText({plan.name, "check", "", "", "", "", "", "", "", "", check});
        s += csvRowText({plan.name, "cool_down", "", "", "", "", "", "", "", "",
                         jsonNumberText(plan.coolDownMinutes)});
    }
    return s;
}

} // namespace qarn3
