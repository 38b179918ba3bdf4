// The sync's plan without a database: for one table, what goes to which side, what stays, which
// change wins and what is reported; for tables in a tree, what a row kept on its side keeps
// with it; and a table of many rows of every kind.
#include "records/syncplan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qarn3 {

void PrintTo(const SyncEdit& e, std::ostream* os) {
    *os << e.id << " over " << e.expected;
}

void PrintTo(const SyncPlanConflict& c, std::ostream* os) {
    *os << c.id << " (" << c.label << ") here " << c.localUpdatedAt << " there "
        << c.sharedUpdatedAt << (c.localKept ? ", local kept" : ", shared kept");
}

} // namespace qarn3

using namespace qarn3;

namespace {

// Change markers as the editing laptops' clocks write them, oldest first.
const std::string t1 = "2026-03-02T09:15:00.120Z";
const std::string t2 = "2026-03-02T11:40:07.004Z";
const std::string t3 = "2026-03-05T08:02:59.990Z";

// A row on one side: id, change marker, parent, the row it names besides.
struct Row {
    std::string id{}, updatedAt{}, parent{}, reference{};
};

// Labels say which side they come from: a conflict names the local row.
SyncKeys keysOf(const std::vector<Row>& rows, const std::string& side) {
    SyncKeys keys;
    for (const Row& r : rows)
        keys[r.id] = {r.updatedAt, r.parent, side + " " + r.id, r.reference};
    return keys;
}

std::vector<std::string> sorted(const SyncIds& ids) {
    std::vector<std::string> out(ids.begin(), ids.end());
    std::sort(out.begin(), out.end());
    return out;
}

struct PlanCase {
    const char* name = "";
    std::vector<Row> local{}, shared{};
    SyncLastAgreed lastAgreed{};
    bool resend = false;
    // What each side will hold of the parent table and of the named one (none: no such table).
    std::optional<SyncIds> parentsLocal{}, parentsShared{}, referencedLocal{}, referencedShared{};

    std::vector<std::string> send{}, receive{};
    std::vector<SyncEdit> sendEdits{}, receiveEdits{};
    SyncAgreement agreed{};
    std::vector<SyncPlanConflict> conflicts{};
    std::int64_t deletedThere = 0, notSent = 0, deletedHere = 0;
    std::vector<std::string> heldLocal{}, heldShared{}; // in id order
};

void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}

SyncSide sideOf(const std::vector<Row>& rows, const std::string& label,
                const std::optional<SyncIds>& parents, const std::optional<SyncIds>& referenced) {
    SyncSide side;
    side.keys = keysOf(rows, label);
    side.parents = parents ? &*parents : nullptr;
    side.referenced = referenced ? &*referenced : nullptr;
    return side;
}

class OneTable : public ::testing::TestWithParam<PlanCase> {};

TEST_P(OneTable, PlansWhatGoesWhereAndWhatStays) {
    const PlanCase& c = GetParam();
    const SyncTablePlan p = planSyncTable(
        sideOf(c.local, "here", c.parentsLocal, c.referencedLocal),
        sideOf(c.shared, "there", c.parentsShared, c.referencedShared), c.lastAgreed, {c.resend});
    EXPECT_EQ(p.send, c.send);
    EXPECT_EQ(p.receive, c.receive);
    EXPECT_EQ(p.sendEdits, c.sendEdits);
    EXPECT_EQ(p.receiveEdits, c.receiveEdits);
    EXPECT_EQ(p.agreed, c.agreed);
    EXPECT_EQ(p.conflicts, c.conflicts);
    EXPECT_EQ(p.deletedThere, c.deletedThere);
    EXPECT_EQ(p.notSent, c.notSent);
    EXPECT_EQ(p.deletedHere, c.deletedHere);
    EXPECT_EQ(sorted(p.heldLocal), c.heldLocal);
    EXPECT_EQ(sorted(p.heldShared), c.heldShared);
}

const SyncIds none;

INSTANTIATE_TEST_SUITE_P(
    Rows, OneTable,
    ::testing::Values(
        PlanCase{.name = "EmptyOnBothSidesPlansNothing"},
        PlanCase{.name = "NewHereIsSent",
                 .local = {{"a", t1}},
                 .send = {"a"},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "NewThereIsReceived",
                 .shared = {{"a", t1}},
                 .receive = {"a"},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "AlikeNeverAgreedIsRecordedAsAgreed",
                 .local = {{"a", t1}},
                 .shared = {{"a", t1}},
                 .agreed = {{"a", t1}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "NeverEditedRowsAlikeAreAgreedWithAnEmptyMarker",
                 .local = {{"a", ""}},
                 .shared = {{"a", ""}},
                 .agreed = {{"a", ""}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "AlikeAndAgreedNeedsNothing",
                 .local = {{"a", t1}},
                 .shared = {{"a", t1}},
                 .lastAgreed = {{"a", t1}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "AlikeAfterTheSameChangeOnBothIsAgreedAgainNoConflict",
                 .local = {{"a", t2}},
                 .shared = {{"a", t2}},
                 .lastAgreed = {{"a", t1}},
                 .agreed = {{"a", t2}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "ChangedHereIsSentOverTheSharedVersion",
                 .local = {{"a", t2}},
                 .shared = {{"a", t1}},
                 .lastAgreed = {{"a", t1}},
                 .sendEdits = {{"a", t1}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "ChangedThereIsReceivedOverTheLocalVersion",
                 .local = {{"a", t1}},
                 .shared = {{"a", t2}},
                 .lastAgreed = {{"a", t1}},
                 .receiveEdits = {{"a", t1}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        // A laptop whose clock is behind: the side that changed wins, not the newer marker.
        PlanCase{.name = "ChangedHereWinsThoughItsClockIsBehind",
                 .local = {{"a", t1}},
                 .shared = {{"a", t2}},
                 .lastAgreed = {{"a", t2}},
                 .sendEdits = {{"a", t2}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "ChangedThereWinsThoughItsClockIsBehind",
                 .local = {{"a", t2}},
                 .shared = {{"a", t1}},
                 .lastAgreed = {{"a", t2}},
                 .receiveEdits = {{"a", t2}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "ChangedOnBothNewerHereWinsAndIsReported",
                 .local = {{"a", t3}},
                 .shared = {{"a", t2}},
                 .lastAgreed = {{"a", t1}},
                 .sendEdits = {{"a", t2}},
                 .conflicts = {{"a", "here a", t3, t2, true}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "ChangedOnBothNewerThereWinsAndIsReported",
                 .local = {{"a", t2}},
                 .shared = {{"a", t3}},
                 .lastAgreed = {{"a", t1}},
                 .receiveEdits = {{"a", t2}},
                 .conflicts = {{"a", "here a", t2, t3, false}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        // The same curve imported on two laptops before they ever synced.
        PlanCase{.name = "DifferentAndNeverAgreedIsAConflictTheNewerWins",
                 .local = {{"a", t1}},
                 .shared = {{"a", t2}},
                 .receiveEdits = {{"a", t1}},
                 .conflicts = {{"a", "here a", t1, t2, false}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "ConflictsAndEditsFollowTheIds",
                 .local = {{"b", t3}, {"a", t2}, {"c", t2}},
                 .shared = {{"c", t1}, {"a", t3}, {"b", t2}},
                 .lastAgreed = {{"a", t1}, {"b", t1}, {"c", t1}},
                 .sendEdits = {{"b", t2}, {"c", t1}},
                 .receiveEdits = {{"a", t2}},
                 .conflicts = {{"a", "here a", t2, t3, false}, {"b", "here b", t3, t2, true}},
                 .heldLocal = {"a", "b", "c"},
                 .heldShared = {"a", "b", "c"}},
        PlanCase{.name = "DeletedAtTheOfficeStaysHereOnly",
                 .local = {{"a", t1}},
                 .lastAgreed = {{"a", t1}},
                 .deletedThere = 1,
                 .heldLocal = {"a"}},
        PlanCase{.name = "DeletedAtTheOfficeAndEditedHereStaysHereOnly",
                 .local = {{"a", t2}},
                 .lastAgreed = {{"a", t1}},
                 .deletedThere = 1,
                 .heldLocal = {"a"}},
        PlanCase{.name = "ResendSendsWhatTheOfficeNoLongerHas",
                 .local = {{"a", t1}},
                 .lastAgreed = {{"a", t1}},
                 .resend = true,
                 .send = {"a"},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "ResendKeepsARowUnderAParentTheOfficeLacks",
                 .local = {{"a", t1, "p"}},
                 .lastAgreed = {{"a", t1}},
                 .resend = true,
                 .parentsLocal = SyncIds{"p"},
                 .parentsShared = none,
                 .notSent = 1,
                 .heldLocal = {"a"}},
        PlanCase{.name = "DeletedHereIsNotReceivedAgain",
                 .shared = {{"a", t1}},
                 .lastAgreed = {{"a", t1}},
                 .deletedHere = 1,
                 .heldShared = {"a"}},
        PlanCase{.name = "ResendReceivesNothingDeletedHere",
                 .shared = {{"a", t2}},
                 .lastAgreed = {{"a", t1}},
                 .resend = true,
                 .deletedHere = 1,
                 .heldShared = {"a"}},
        PlanCase{.name = "UnderAParentTheSharedSideLacksIsNotSent",
                 .local = {{"a", t1, "p"}},
                 .parentsLocal = SyncIds{"p"},
                 .parentsShared = none,
                 .notSent = 1,
                 .heldLocal = {"a"}},
        PlanCase{.name = "UnderAParentBothWillHoldIsSent",
                 .local = {{"a", t1, "p"}},
                 .parentsLocal = SyncIds{"p"},
                 .parentsShared = SyncIds{"p"},
                 .send = {"a"},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "UnderAParentThisSideLacksIsNotReceived",
                 .shared = {{"a", t1, "p"}},
                 .parentsLocal = none,
                 .parentsShared = SyncIds{"p"},
                 .deletedHere = 1,
                 .heldShared = {"a"}},
        PlanCase{.name = "NamingARowTheSharedSideLacksIsNotSent",
                 .local = {{"a", t1, "", "c"}},
                 .referencedLocal = SyncIds{"c"},
                 .referencedShared = none,
                 .notSent = 1,
                 .heldLocal = {"a"}},
        PlanCase{.name = "NamingARowThisSideLacksIsNotReceived",
                 .shared = {{"a", t1, "", "c"}},
                 .referencedLocal = none,
                 .referencedShared = SyncIds{"c"},
                 .deletedHere = 1,
                 .heldShared = {"a"}},
        PlanCase{.name = "NamingNoRowGoesWhateverTheOtherSideHolds",
                 .local = {{"a", t1}},
                 .shared = {{"b", t1}},
                 .referencedLocal = none,
                 .referencedShared = none,
                 .send = {"a"},
                 .receive = {"b"},
                 .heldLocal = {"a", "b"},
                 .heldShared = {"a", "b"}},
        PlanCase{.name = "EditHereNamingARowTheSharedSideLacksStaysHere",
                 .local = {{"a", t2, "", "c"}},
                 .shared = {{"a", t1, "", "d"}},
                 .lastAgreed = {{"a", t1}},
                 .referencedLocal = SyncIds{"c", "d"},
                 .referencedShared = SyncIds{"d"},
                 .notSent = 1,
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "EditThereNamingARowThisSideLacksStaysThere",
                 .local = {{"a", t1, "", "d"}},
                 .shared = {{"a", t2, "", "c"}},
                 .lastAgreed = {{"a", t1}},
                 .referencedLocal = SyncIds{"d"},
                 .referencedShared = SyncIds{"c", "d"},
                 .deletedHere = 1,
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "ConflictWonByAnEditNamingAMissingRowIsNeitherMovedNorReported",
                 .local = {{"a", t3, "", "c"}},
                 .shared = {{"a", t2, "", "d"}},
                 .lastAgreed = {{"a", t1}},
                 .referencedLocal = SyncIds{"c", "d"},
                 .referencedShared = SyncIds{"d"},
                 .notSent = 1,
                 .heldLocal = {"a"},
                 .heldShared = {"a"}},
        PlanCase{.name = "OnlyTheWinningEditsNamedRowCounts",
                 .local = {{"a", t1, "", "d"}},
                 .shared = {{"a", t2, "", "c"}},
                 .lastAgreed = {{"a", t1}},
                 .referencedLocal = SyncIds{"c", "d"},
                 .referencedShared = SyncIds{"c"},
                 .receiveEdits = {{"a", t1}},
                 .heldLocal = {"a"},
                 .heldShared = {"a"}}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(OneTableScope, ListsTheLocalIdsThenTheSharedSidesOthersWhateverBecomesOfThem) {
    SyncSide local, shared;
    local.keys = keysOf({{"d", t1}, {"b", t1}, {"a", t1}}, "here");
    shared.keys = keysOf({{"c", t1}, {"b", t2}, {"e", t1}}, "there");
    const SyncTablePlan p = planSyncTable(local, shared, {{"a", t1}, {"e", t1}}, {});
    EXPECT_EQ(p.scope, (std::vector<std::string>{"a", "b", "d", "c", "e"}));
}

// Tables one under another (or naming an earlier one), planned in order, each told what the
// sides will hold of the tables before it: what a row kept on its side keeps with it.
struct Table {
    std::vector<Row> local{}, shared{};
    SyncLastAgreed lastAgreed{};
    int parent = -1; // the earlier table its rows hang under
    int named = -1;  // the earlier table its rows name besides
};

struct TreeCase {
    const char* name = "";
    std::vector<Table> tables{};
    std::vector<std::string> expected{}; // of each table
    bool resend = false;
};

void PrintTo(const TreeCase& c, std::ostream* os) {
    *os << c.name;
}

std::string joined(const std::vector<std::string>& parts, const std::string& between) {
    std::string s;
    for (const std::string& part : parts)
        s += (s.empty() ? "" : between) + part;
    return s;
}

// What a plan moves and keeps, its parts that are not empty: "send b; not sent 1".
std::string summary(const SyncTablePlan& p) {
    std::vector<std::string> parts;
    if (!p.send.empty()) parts.push_back("send " + joined(p.send, ","));
    if (!p.receive.empty()) parts.push_back("receive " + joined(p.receive, ","));
    if (!p.sendEdits.empty() || !p.receiveEdits.empty()) parts.push_back("edits");
    for (const auto& [what, n] : {std::pair<std::string, std::int64_t>{"not sent", p.notSent},
                                  {"deleted there", p.deletedThere},
                                  {"deleted here", p.deletedHere}})
        if (n) parts.push_back(what + " " + std::to_string(n));
    return parts.empty() ? "nothing" : joined(parts, "; ");
}

class TreeOfTables : public ::testing::TestWithParam<TreeCase> {};

TEST_P(TreeOfTables, RowsKeptOnTheirSideKeepWhatHangsUnderThem) {
    const TreeCase& c = GetParam();
    std::vector<SyncTablePlan> plans;
    std::vector<std::string> got;
    plans.reserve(c.tables.size());
    for (const Table& t : c.tables) {
        SyncSide local, shared;
        local.keys = keysOf(t.local, "here");
        shared.keys = keysOf(t.shared, "there");
        if (t.parent >= 0) {
            local.parents = &plans[static_cast<std::size_t>(t.parent)].heldLocal;
            shared.parents = &plans[static_cast<std::size_t>(t.parent)].heldShared;
        }
        if (t.named >= 0) {
            local.referenced = &plans[static_cast<std::size_t>(t.named)].heldLocal;
            shared.referenced = &plans[static_cast<std::size_t>(t.named)].heldShared;
        }
        plans.push_back(planSyncTable(local, shared, t.lastAgreed, {c.resend}));
        got.push_back(summary(plans.back()));
    }
    EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SiteBreakerSession, TreeOfTables,
    ::testing::Values(
        TreeCase{"NewTreeGoesWhole",
                 {Table{.local = {{"s", t1}}}, Table{.local = {{"b", t1, "s"}}, .parent = 0},
                  Table{.local = {{"x", t1, "b"}}, .parent = 1}},
                 {"send s", "send b", "send x"}},
        TreeCase{"TreeFromThereArrivesWhole",
                 {Table{.shared = {{"s", t1}}}, Table{.shared = {{"b", t1, "s"}}, .parent = 0},
                  Table{.shared = {{"x", t1, "b"}}, .parent = 1}},
                 {"receive s", "receive b", "receive x"}},
        TreeCase{"SiteDeletedAtTheOfficeKeepsItsNewBreakerAndSessionHere",
                 {Table{.local = {{"s", t1}}, .lastAgreed = {{"s", t1}}},
                  Table{.local = {{"b", t1, "s"}}, .parent = 0},
                  Table{.local = {{"x", t1, "b"}}, .parent = 1}},
                 {"deleted there 1", "not sent 1", "not sent 1"}},
        TreeCase{"ResendSendsTheSiteAndEverythingUnderIt",
                 {Table{.local = {{"s", t1}}, .lastAgreed = {{"s", t1}}},
                  Table{.local = {{"b", t1, "s"}}, .lastAgreed = {{"b", t1}}, .parent = 0},
                  Table{.local = {{"x", t1, "b"}}, .parent = 1}},
                 {"send s", "send b", "send x"},
                 true},
        TreeCase{"SiteDeletedHereLeavesWhatOthersAddedUnderItThere",
                 {Table{.shared = {{"s", t1}}, .lastAgreed = {{"s", t1}}},
                  Table{.shared = {{"b", t1, "s"}}, .parent = 0},
                  Table{.shared = {{"x", t1, "b"}}, .parent = 1}},
                 {"deleted here 1", "deleted here 1", "deleted here 1"}},
        // Breaker, curve library, the breaker's curves, sessions: the naming of a curve the
        // office deleted stays here, the breaker's new session goes.
        TreeCase{"CurveDeletedAtTheOfficeKeepsOnlyTheNamingHere",
                 {Table{.local = {{"b", t1}}, .shared = {{"b", t1}}, .lastAgreed = {{"b", t1}}},
                  Table{.local = {{"c", t1}}, .lastAgreed = {{"c", t1}}},
                  Table{.local = {{"k", t1, "b", "c"}}, .parent = 0, .named = 1},
                  Table{.local = {{"x", t1, "b"}}, .parent = 0}},
                 {"nothing", "deleted there 1", "not sent 1", "send x"}},
        TreeCase{"CurveSentInTheSameSyncTakesTheNaming",
                 {Table{.local = {{"b", t1}}, .shared = {{"b", t1}}, .lastAgreed = {{"b", t1}}},
                  Table{.local = {{"c", t1}}},
                  Table{.local = {{"k", t1, "b", "c"}}, .parent = 0, .named = 1}},
                 {"nothing", "send c", "send k"}}),
    [](const auto& c) { return std::string(c.param.name); });

// Rows of every kind, n of each, ids interleaved: every list holds n, in id order.
struct Kind {
    std::string prefix;
    std::optional<std::string> here, there;
    bool agreed; // on t1
};

const std::vector<Kind> kinds{
    {"n", t1, {}, false}, // new here
    {"r", {}, t1, false}, // new there
    {"a", t1, t1, true},  // alike
    {"h", t3, t1, true},  // changed here
    {"t", t1, t2, true},  // changed there
    {"c", t3, t2, true},  // changed on both, won here
    {"d", t1, {}, true},  // deleted at the office
    {"e", {}, t1, true},  // deleted here
};

class ManyRows : public ::testing::TestWithParam<int> {};

TEST_P(ManyRows, EveryKindCountedAndListedInIdOrder) {
    const int n = GetParam();
    SyncSide local, shared;
    SyncLastAgreed agreed;
    for (int i = 0; i < n; ++i) {
        const std::string number = std::to_string(100000000 + (i * 7919) % 99999989);
        for (const Kind& k : kinds) {
            const std::string id = k.prefix + number;
            if (k.here) local.keys[id] = {*k.here, {}, "here " + id, {}};
            if (k.there) shared.keys[id] = {*k.there, {}, "there " + id, {}};
            if (k.agreed) agreed[id] = t1;
        }
    }
    const SyncTablePlan p = planSyncTable(local, shared, agreed, {});
    const auto count = static_cast<std::size_t>(n);
    EXPECT_EQ(p.send.size(), count);
    EXPECT_EQ(p.receive.size(), count);
    EXPECT_EQ(p.sendEdits.size(), 2 * count);
    EXPECT_EQ(p.receiveEdits.size(), count);
    EXPECT_EQ(p.conflicts.size(), count);
    EXPECT_TRUE(p.agreed.empty());
    EXPECT_EQ(p.deletedThere, n);
    EXPECT_EQ(p.deletedHere, n);
    EXPECT_EQ(p.notSent, 0);
    auto byId = [](const auto& a, const auto& b) { return a.id < b.id; };
    EXPECT_TRUE(std::is_sorted(p.send.begin(), p.send.end()));
    EXPECT_TRUE(std::is_sorted(p.receive.begin(), p.receive.end()));
    EXPECT_TRUE(std::is_sorted(p.sendEdits.begin(), p.sendEdits.end(), byId));
    EXPECT_TRUE(std::is_sorted(p.conflicts.begin(), p.conflicts.end(), byId));
    EXPECT_EQ(p.scope.size(), 8 * count);
    EXPECT_EQ(p.heldLocal.size(), 7 * count);  // all but the deleted here
    EXPECT_EQ(p.heldShared.size(), 7 * count); // all but the deleted at the office
}

INSTANTIATE_TEST_SUITE_P(Rows, ManyRows, ::testing::Values(0, 1, 5000),
                         [](const auto& c) { return "Of" + std::to_string(c.param); });

} // namespace
