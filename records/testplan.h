#pragma once

#include "records/model.h"
#include "records/verdict.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qarn3 {

// Where a planned point's band comes from: the trip unit's settings and profile, the maker's
// curve, a band typed in the plan, or none because the breaker must hold for a time.
enum class PlanBandSource { Settings, Curve, Typed, MustNotTrip };

// One point of a test plan: an injection on one pole at factor x of, and how it is judged.
struct PlanPoint {
    Pole pole = Pole::A;
    PointKind kind = PointKind::LongTime;
    TargetOf of = TargetOf::In;
    double factor = 0;
    PlanBandSource source = PlanBandSource::Settings;
    std::optional<Band> band; // Typed only
    double holdSeconds = 0;   // MustNotTrip only
    int shots = 1;            // shots the point asks for
};

// A named sequence of test points with what to see to before testing and the rest a pole's
// long-time element needs between its shots.
struct TestPlan {
    std::string id; // testPlanIdOf(name)
    std::string name;
    std::vector<PlanPoint> points;
    std::vector<std::string> checklist;
    double coolDownMinutes = 15;
};

// The most shots one point asks for, and the longest cool-down a plan asks for.
constexpr int kMostPlanShots = 20;
constexpr double kLongestCoolDownMinutes = 600;

// The id of a plan: a name-based UUID (version 5), so that the same plan imported on two
// computers has the same id.
std::string testPlanIdOf(const std::string& name);
// The id of a session's tick of a checklist item: ticked again, the same row.
std::string sessionCheckIdOf(const std::string& sessionId, const std::string& item);

// "LSIG three-pole": on poles A, B and C in turn long time at 3 x Ir, short time at 1.5 x Isd,
// instantaneous at 0.9 x Ii that must hold 0.5 s and instantaneous at 1.1 x Ii; then ground
// fault at 1.5 x Ig on pole A. One shot each, judged by the settings; a cool-down of 15 min.
TestPlan builtInPlan();

// Why a point cannot be kept, without saying which it is; empty when it can. The factor finite
// and within kLowestMultiple to kHighestMultiple; a band for a Typed point only, and there its
// minimum not negative, its maximum within kShortestSeconds to kLongestSeconds and not below
// the minimum; a hold time for a MustNotTrip point only, and there within kShortestSeconds to
// kLongestSeconds; shots 1 to kMostPlanShots.
std::string planPointProblem(const PlanPoint& p);
// Why a plan cannot be kept, naming the point ("point 3: ...", from 1) or the item at fault;
// empty when it can. An empty name, one longer than kNameCharacters, beginning or ending with
// a space or holding a control character; no points; planPointProblem of any; an empty
// checklist item or one holding a control character; a cool-down not within 0 to
// kLongestCoolDownMinutes.
std::string testPlanProblem(const TestPlan& plan);

// "settings" "curve" "typed" "must-not-trip", as the plan files write them.
std::string planBandSourceText(PlanBandSource s);
std::optional<PlanBandSource> planBandSourceFromText(const std::string& text);

// The plans of a CSV file, or the first line it refuses.
struct TestPlanCsv {
    std::vector<TestPlan> plans; // in the order their first rows come
    int errorLine = 0;           // 1-based; 0 when the file was taken
    std::string error;           // "line 7: point 2: shots 0 must be 1 to 20"
};

// Reads test plans from CSV text, one item a row:
// "plan,item,pole,kind,target,source,min_s,max_s,hold_s,shots,text", read as the curves'
// file is (RFC 4180 fields, CR LF or LF, '.' decimals, byte order mark, an optional header
// row, blank and '#' rows; a file without the header must begin with a row holding a
// number). The rows of one plan name are one plan, its points in the order of their rows.
// Items: "point" (pole A B C N, kind as kindText, target as typed ("3xIr", parseTargetText
// with '.'), source as planBandSourceText, min_s and max_s for typed only, hold_s for
// must-not-trip only, shots empty for 1; text empty); "check" (text a checklist item, every
// other column empty); "cool_down" (text the minutes, once a plan, every other column empty;
// without it 15). Refused with the row's line, nothing of the file taken: what the curves'
// file refuses of a row, a row not of 11 fields, an empty plan name, an item not known, a
// field that is not known or no number, a column filled that the item leaves empty, a point
// testPlanProblem refuses (naming its number in its plan), cool_down given twice; a plan
// testPlanProblem refuses (at its first row); a file without a plan.
TestPlanCsv parseTestPlanCsv(const std::string& text);
// The plans as such a file: the header, then each plan's points, checks and cool-down; rows end
// with CR LF; numbers are written so that they read back as the same values. Reads back as the
// same plans.
std::string testPlanCsvText(const std::vector<TestPlan>& plans);

// What has been done at one point of a plan. A retest is one more shot: every shot is kept and
// the last one decides.
struct PointResult {
    int shots = 0;                    // shots taken at the point
    int passed = 0;                   // of them in VerdictClass::Pass
    int failed = 0;                   // of them in VerdictClass::Fail
    std::optional<VerdictClass> last; // the class of the last shot; none before the first
    bool skipped = false;
    std::string skipReason;
};

// Where a plan stands. A point is done when it is skipped, or when it has at least as many
// shots as the plan asks of it. A done point that is not skipped is passed when its last shot
// is in VerdictClass::Pass, failed when it is in VerdictClass::Fail, and neither when it is
// doubtful (or unknown). done counts every done point (skipped ones too), left the others, so
// done + left is the plan's points; next is the first point not done, none when all are.
struct PlanWalk {
    std::optional<std::size_t> next;
    int done = 0, passed = 0, failed = 0, left = 0, skipped = 0;
};
// results[i] is point i's; a point without one has no shots yet, a result without a point is
// not counted.
PlanWalk walkPlan(const TestPlan& plan, const std::vector<PointResult>& results);

// The measuring range (1..8) a target current in amperes RMS is injected on: of the ranges
// whose full scale (amperes peak) is at least the target's peak (√2 x RMS), the one of the
// smallest full scale (the lower-numbered on a tie); none when no range covers it or the
// target is not above zero.
std::optional<int> rangeForTarget(const std::array<double, 8>& fullScaleAmps, double targetAmps);

// Whether a pole's next long-time shot must wait for its thermal element to cool.
struct CoolDown {
    bool waiting = false;
    double secondsLeft = 0;
};
// Wait until minutes after the latest of the pole's long-time shots (pole, ISO 8601 time
// taken); an earlier shot taken after now counts as taken now. No wait when the trip unit's
// thermal memory was reset, the pole has no earlier long-time shot, or the minutes are up;
// times that do not read as ISO 8601 are left out (a now that does not read: no wait).
CoolDown coolDownAt(const std::vector<std::pair<Pole, std::string>>& longTimeShots, Pole pole,
                    const std::string& nowIso, double minutes, bool thermalMemoryReset);

} // namespace qarn3
