#pragma once

#include "records/model.h"
#include "records/rows.h"
#include "records/testplan.h"
#include "records/tripunit.h"
#include "records/validation.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qarn3 {

// The test points a session following the plan starts with, in the plan's order (planSeq 1
// to n, new ids, of the session): each target worked out as a multiple of In from the
// session's settings; a typed band kept; a must-not-trip point with its hold; a band from the
// settings or the curve left for the shot's judging to find. A target of a setting the
// settings lack is refused, naming the point ("point 2: ..."), and no point is made.
std::vector<TestPointRecord> planTestPoints(const TestPlan& plan, const TripUnitSettings& settings,
                                            const std::string& sessionId, FieldError& error);

// What the shots taken at a point (in the order taken) and its skip come to for the walk.
PointResult pointResultOf(const TestPointRecord& point, const std::vector<ShotRecord>& shots);

// A point's result as it is shown beside the as-left one: "as found: PASS 14.2 s" (the last
// shot's verdict and seconds, with the separator), "as found: skipped (no access)", "as
// found: not tested".
std::string asFoundText(const TestPointRecord& point, const std::vector<ShotRecord>& shots,
                        char separator);

// Whether the plan's checklist item about the trip unit's thermal memory (one naming
// "thermal memory", in any case) is among the ticked ones.
bool thermalMemoryTicked(const TestPlan& plan, const std::set<std::string>& ticked);

// Whether the checklist lets the plan's first shot be taken: every item ticked but the thermal
// memory's, which is answered either way: ticked, the memory was reset and a pole's long-time
// shots follow each other at once; left, the cool-down between them is counted down.
bool checklistComplete(const TestPlan& plan, const std::set<std::string>& ticked);

} // namespace qarn3
