#include "records/resolver.h"

#include <charconv>

namespace qarn3 {

namespace {

std::string amps(double a) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, a);
    return std::string(buf, r.ptr);
}

RecordsError refused(const std::string& field, const std::string& why) {
    return {RecordsErrorKind::Invalid, field, field + ": " + why};
}

std::string breakerNamed(const std::string& designation, const std::string& site) {
    return "breaker " + designation + " of site " + site;
}

bool sameBreakerFields(const BreakerRecord& a, const BreakerRecord& b) {
    return a.maker == b.maker && a.model == b.model && a.serial == b.serial &&
           a.ratedAmps == b.ratedAmps && a.settings == b.settings && a.location == b.location &&
           a.tripUnitId == b.tripUnitId && a.tripSettings == b.tripSettings;
}

// A chosen session's fields typed must be as the session has them: a pole of an as-left
// test does not join the as-found session.
RecordsError sameSessionFields(const TypedContext& t, const SessionRecord& s) {
    const SessionRecord& typed = t.fresh.session;
    const std::string of = "session " + s.id + " is ";
    if (t.conditionGiven && s.condition != typed.condition)
        return refused("condition",
                       of + conditionText(s.condition) + ", not " + conditionText(typed.condition));
    if (t.operatorGiven && s.operatorName != typed.operatorName)
        return refused("operator",
                       of + "by \"" + s.operatorName + "\", not \"" + typed.operatorName + "\"");
    if (t.notesGiven && s.notes != typed.notes) return refused("notes", of + "noted otherwise");
    if (t.tripSettingsGiven && s.tripSettings != typed.tripSettings)
        return refused("settings",
                       of +
                           (s.tripSettings.empty() ? "without settings" : "set " + s.tripSettings) +
                           ", not " + typed.tripSettings);
    return {};
}

// The session chosen by id must be of the site and breaker typed.
RecordsError chosenById(const TypedContext& t, const FoundRecords& found) {
    const std::string& site = t.fresh.site.name;
    const std::string& designation = t.fresh.breaker.designation;
    if (!found.session) return refused("session", "there is no session " + t.sessionId);
    if (!found.site || !found.breaker || found.site->name != site ||
        found.breaker->designation != designation)
        return refused("session", "session " + t.sessionId + " is of " +
                                      breakerNamed(found.breaker ? found.breaker->designation : "",
                                                   found.site ? found.site->name : "") +
                                      ", not of " + breakerNamed(designation, site));
    return {};
}

// The known breaker as the shots take it; a refusal of its rating.
RecordsError takeBreaker(const TypedContext& t, const BreakerRecord& known, Resolution& r) {
    const BreakerRecord& typed = t.fresh.breaker;
    r.breakerKnown = true;
    if (t.overKnown == TypedOverKnown::Edits) {
        r.context.breaker.id = known.id;
        r.breakerEdited = !sameBreakerFields(known, typed);
        return {};
    }
    if (known.ratedAmps != typed.ratedAmps)
        return refused("rating", breakerNamed(typed.designation, t.fresh.site.name) + " is rated " +
                                     amps(known.ratedAmps) + " A in the records, not " +
                                     amps(typed.ratedAmps) + " A");
    r.context.breaker = known;
    return {};
}

// The known session as the shots take it; a refusal of a field typed otherwise.
RecordsError takeSession(const TypedContext& t, const SessionRecord& known, Resolution& r) {
    const SessionRecord& typed = t.fresh.session;
    r.sessionKnown = true;
    r.context.session = known;
    if (t.overKnown == TypedOverKnown::Refused) return sameSessionFields(t, known);
    SessionRecord& s = r.context.session;
    if (t.operatorGiven) s.operatorName = typed.operatorName;
    if (t.conditionGiven) s.condition = typed.condition;
    if (t.notesGiven) s.notes = typed.notes;
    if (t.tripSettingsGiven) s.tripSettings = typed.tripSettings;
    r.sessionEdited = s.operatorName != known.operatorName || s.condition != known.condition ||
                      s.notes != known.notes || s.tripSettings != known.tripSettings;
    return {};
}

} // namespace

Resolution resolveContext(const TypedContext& typed, const FoundRecords& found) {
    Resolution r;
    r.context = typed.fresh;
    ShotContext& c = r.context;
    if (typed.choice == SessionChoice::ById)
        if ((r.refusal = chosenById(typed, found))) return r;
    if (found.site) c.site = *found.site;
    if (found.breaker)
        if ((r.refusal = takeBreaker(typed, *found.breaker, r))) return r;
    c.breaker.siteId = c.site.id;
    if (typed.choice != SessionChoice::New && found.session)
        if ((r.refusal = takeSession(typed, *found.session, r))) return r;
    c.session.breakerId = c.breaker.id;
    c.point.sessionId = c.session.id;
    return r;
}

} // namespace qarn3
