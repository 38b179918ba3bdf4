// Which site, breaker and session the typed fields name: those the records hold are taken,
// the rest made new, and a typed field at odds with a record is refused (the import) or an
// edit of it (the panel).
#include "records/resolver.h"

#include <gtest/gtest.h>

#include <functional>

using namespace qarn3;

namespace {

// Typed: breaker Q1 (400 A, maker "New") of site Plant, a session by Ann as found.
TypedContext typedBase() {
    TypedContext in;
    in.fresh.site = {"new-site", "Plant", ""};
    in.fresh.breaker.id = "new-breaker";
    in.fresh.breaker.designation = "Q1";
    in.fresh.breaker.maker = "New";
    in.fresh.breaker.ratedAmps = 400;
    in.fresh.session.id = "new-session";
    in.fresh.session.operatorName = "Ann";
    in.fresh.session.condition = Condition::AsFound;
    in.fresh.point.id = "new-point";
    in.sessionId = "s-7";
    return in;
}

SiteRecord plant() {
    return {"site-1", "Plant", "north gate"};
}

BreakerRecord q1() {
    BreakerRecord b;
    b.id = "breaker-1";
    b.siteId = "site-1";
    b.designation = "Q1";
    b.maker = "Old";
    b.ratedAmps = 400;
    return b;
}

SessionRecord annsSession() {
    SessionRecord s;
    s.id = "session-1";
    s.breakerId = "breaker-1";
    s.operatorName = "Ann";
    s.condition = Condition::AsFound;
    return s;
}

// The whole breaker found, with the session asked for.
void allFound(TypedContext&, FoundRecords& f) {
    f.site = plant();
    f.breaker = q1();
    f.session = annsSession();
}

struct ResolveCase {
    const char* name;
    std::function<void(TypedContext&, FoundRecords&)> setUp;
    std::string refusal; // empty: taken
    std::string siteId;
    std::string breakerId;
    std::string sessionId;
    std::string maker;        // of the breaker the shots go under
    std::string operatorName; // of the session the shots go under
    bool breakerEdited = false;
    bool sessionEdited = false;
};

// A case the records refuse, with the refusal's words.
ResolveCase refusedCase(const char* name, std::function<void(TypedContext&, FoundRecords&)> setUp,
                        std::string refusal) {
    ResolveCase c{name, std::move(setUp), std::move(refusal), {}, {}, {}, {}, {}};
    return c;
}

class ResolverTable : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolverTable, ResolvesTheTypedFields) {
    const ResolveCase& c = GetParam();
    TypedContext typed = typedBase();
    FoundRecords found;
    c.setUp(typed, found);
    const Resolution r = resolveContext(typed, found);
    EXPECT_EQ(r.refusal.message, c.refusal);
    if (!c.refusal.empty()) {
        EXPECT_EQ(r.refusal.kind, RecordsErrorKind::Invalid);
        EXPECT_EQ(r.refusal.message.rfind(r.refusal.field + ": ", 0), 0u);
        return;
    }
    const ShotContext& ctx = r.context;
    EXPECT_EQ(ctx.site.id, c.siteId);
    EXPECT_EQ(ctx.breaker.id, c.breakerId);
    EXPECT_EQ(ctx.session.id, c.sessionId);
    EXPECT_EQ(ctx.breaker.maker, c.maker);
    EXPECT_EQ(ctx.session.operatorName, c.operatorName);
    EXPECT_EQ(r.breakerKnown, c.breakerId != "new-breaker");
    EXPECT_EQ(r.sessionKnown, c.sessionId != "new-session");
    EXPECT_EQ(r.breakerEdited, c.breakerEdited);
    EXPECT_EQ(r.sessionEdited, c.sessionEdited);
    // Each row under the one above it, the test point always new.
    EXPECT_EQ(ctx.breaker.siteId, ctx.site.id);
    EXPECT_EQ(ctx.session.breakerId, ctx.breaker.id);
    EXPECT_EQ(ctx.point.sessionId, ctx.session.id);
    EXPECT_EQ(ctx.point.id, "new-point");
}

const auto panel = [](std::function<void(TypedContext&, FoundRecords&)> more) {
    return [more](TypedContext& in, FoundRecords& f) {
        in.overKnown = TypedOverKnown::Edits;
        in.choice = SessionChoice::OfTheBreaker;
        more(in, f);
    };
};

INSTANTIATE_TEST_SUITE_P(
    Import, ResolverTable,
    ::testing::Values(
        ResolveCase{"NothingFoundMakesAllNew", [](TypedContext&, FoundRecords&) {}, "", "new-site",
                    "new-breaker", "new-session", "New", "Ann"},
        ResolveCase{"KnownSiteTakesANewBreaker",
                    [](TypedContext&, FoundRecords& f) { f.site = plant(); }, "", "site-1",
                    "new-breaker", "new-session", "New", "Ann"},
        ResolveCase{"KnownBreakerIsTakenAsRecorded",
                    [](TypedContext&, FoundRecords& f) {
                        f.site = plant();
                        f.breaker = q1();
                    },
                    "", "site-1", "breaker-1", "new-session", "Old", "Ann"},
        refusedCase(
            "KnownBreakerRatedOtherwiseIsRefused",
            [](TypedContext& in, FoundRecords& f) {
                f.site = plant();
                f.breaker = q1();
                in.fresh.breaker.ratedAmps = 12.5;
            },
            "rating: breaker Q1 of site Plant is rated 400 A in the records, not 12.5 A"),
        ResolveCase{"NewChoiceLeavesTheFoundSession", allFound, "", "site-1", "breaker-1",
                    "new-session", "Old", "Ann"},
        ResolveCase{"LatestSessionIsJoined",
                    [](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        in.choice = SessionChoice::OfTheBreaker;
                    },
                    "", "site-1", "breaker-1", "session-1", "Old", "Ann"},
        ResolveCase{"LatestOfABreakerWithoutSessionsIsNew",
                    [](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        f.session.reset();
                        in.choice = SessionChoice::OfTheBreaker;
                    },
                    "", "site-1", "breaker-1", "new-session", "Old", "Ann"},
        refusedCase(
            "SessionByIdNotThereIsRefused",
            [](TypedContext& in, FoundRecords&) { in.choice = SessionChoice::ById; },
            "session: there is no session s-7"),
        refusedCase(
            "SessionByIdOfAnotherBreakerIsRefused",
            [](TypedContext& in, FoundRecords& f) {
                allFound(in, f);
                f.breaker->designation = "Q2";
                in.choice = SessionChoice::ById;
            },
            "session: session s-7 is of breaker Q2 of site Plant, not of breaker Q1 of "
            "site Plant"),
        refusedCase(
            "SessionByIdOfAnotherSiteIsRefused",
            [](TypedContext& in, FoundRecords& f) {
                allFound(in, f);
                f.site->name = "Mill";
                in.choice = SessionChoice::ById;
            },
            "session: session s-7 is of breaker Q1 of site Mill, not of breaker Q1 of "
            "site Plant"),
        ResolveCase{"SessionByIdTakesItsSiteAndBreaker",
                    [](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        in.choice = SessionChoice::ById;
                    },
                    "", "site-1", "breaker-1", "session-1", "Old", "Ann"},
        refusedCase(
            "SessionByIdIsRefusedBeforeTheRating",
            [](TypedContext& in, FoundRecords&) {
                in.choice = SessionChoice::ById;
                in.fresh.breaker.ratedAmps = 250;
            },
            "session: there is no session s-7"),
        refusedCase(
            "RatingIsRefusedBeforeTheSessionFields",
            [](TypedContext& in, FoundRecords& f) {
                allFound(in, f);
                in.choice = SessionChoice::OfTheBreaker;
                in.fresh.breaker.ratedAmps = 250;
                in.fresh.session.operatorName = "Bob";
            },
            "rating: breaker Q1 of site Plant is rated 400 A in the records, not 250 A"),
        refusedCase(
            "ChosenSessionOfAnotherConditionIsRefused",
            [](TypedContext& in, FoundRecords& f) {
                allFound(in, f);
                in.choice = SessionChoice::OfTheBreaker;
                in.fresh.session.condition = Condition::AsLeft;
            },
            "condition: session session-1 is as-found, not as-left"),
        refusedCase(
            "ChosenSessionOfAnotherOperatorIsRefused",
            [](TypedContext& in, FoundRecords& f) {
                allFound(in, f);
                in.choice = SessionChoice::OfTheBreaker;
                in.fresh.session.operatorName = "Bob";
            },
            "operator: session session-1 is by \"Ann\", not \"Bob\""),
        refusedCase(
            "ChosenSessionNotedOtherwiseIsRefused",
            [](TypedContext& in, FoundRecords& f) {
                allFound(in, f);
                in.choice = SessionChoice::OfTheBreaker;
                in.fresh.session.notes = "after the repair";
            },
            "notes: session session-1 is noted otherwise"),
        ResolveCase{"SessionFieldsNotGivenMayDiffer",
                    [](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        in.choice = SessionChoice::OfTheBreaker;
                        in.fresh.session.operatorName = "Bob";
                        in.fresh.session.condition = Condition::AsLeft;
                        in.operatorGiven = false;
                        in.conditionGiven = false;
                        in.notesGiven = false;
                        in.fresh.session.notes = "after the repair";
                    },
                    "", "site-1", "breaker-1", "session-1", "Old", "Ann"}),
    [](const auto& c) { return std::string(c.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Panel, ResolverTable,
    ::testing::Values(
        ResolveCase{"TypedBreakerFieldsAreAnEditOfTheRecord", panel(allFound), "", "site-1",
                    "breaker-1", "session-1", "New", "Ann", true},
        ResolveCase{"BreakerAsRecordedIsNoEdit", panel([](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        in.fresh.breaker.maker = "Old";
                    }),
                    "", "site-1", "breaker-1", "session-1", "Old", "Ann"},
        ResolveCase{"AnotherRatingIsAnEditNotARefusal",
                    panel([](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        in.fresh.breaker.maker = "Old";
                        in.fresh.breaker.ratedAmps = 250;
                    }),
                    "", "site-1", "breaker-1", "session-1", "Old", "Ann", true},
        ResolveCase{"TypedSessionFieldsAreAnEditOfTheSession",
                    panel([](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        in.fresh.breaker.maker = "Old";
                        in.fresh.session.operatorName = "Bob";
                    }),
                    "", "site-1", "breaker-1", "session-1", "Old", "Bob", false, true},
        ResolveCase{"AnotherConditionIsAnEditOfTheSession",
                    panel([](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        in.fresh.breaker.maker = "Old";
                        in.fresh.session.condition = Condition::AsLeft;
                    }),
                    "", "site-1", "breaker-1", "session-1", "Old", "Ann", false, true},
        ResolveCase{"NoSessionPickedIsANewOne", panel([](TypedContext& in, FoundRecords& f) {
                        allFound(in, f);
                        f.session.reset();
                    }),
                    "", "site-1", "breaker-1", "new-session", "New", "Ann", true},
        ResolveCase{"UnknownBreakerOfAKnownSiteIsNew",
                    panel([](TypedContext&, FoundRecords& f) { f.site = plant(); }), "", "site-1",
                    "new-breaker", "new-session", "New", "Ann"}),
    [](const auto& c) { return std::string(c.param.name); });

// A session picked from the list joins the breaker the shots go under, whichever that is.
TEST(Resolver, APickedSessionIsMovedUnderTheBreakerTaken) {
    TypedContext in = typedBase();
    in.overKnown = TypedOverKnown::Edits;
    in.choice = SessionChoice::OfTheBreaker;
    FoundRecords f;
    f.session = annsSession();
    const Resolution r = resolveContext(in, f);
    EXPECT_FALSE(r.refusal);
    EXPECT_EQ(r.context.session.id, "session-1");
    EXPECT_EQ(r.context.session.breakerId, "new-breaker");
    EXPECT_EQ(r.context.site.id, "new-site");
}

} // namespace
