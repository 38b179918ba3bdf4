#pragma once

#include "records/error.h"
#include "records/rows.h"

#include <optional>
#include <string>

namespace qarn3 {

// Which session the shots join.
enum class SessionChoice {
    New,          // a new one
    OfTheBreaker, // the breaker's session found (the newest, or the one picked); new if none
    ById          // the session of an id, which must be of the site and breaker typed
};

// What the typed fields do to a breaker or session already in the records. The import
// keeps the records as they are and refuses a breaker rated otherwise or a chosen session's
// given field that differs; the panel takes the typed fields, to be saved as edits.
enum class TypedOverKnown { Refused, Edits };

// What was typed: the rows to make for what the records do not hold (typed fields, ids made
// by the caller), and how the session is chosen.
struct TypedContext {
    ShotContext fresh;
    SessionChoice choice = SessionChoice::New;
    std::string sessionId; // for ById
    // Which of the session's fields were typed (the import's options; the panel types all).
    bool conditionGiven = true;
    bool operatorGiven = true;
    bool notesGiven = true;
    bool tripSettingsGiven = true;
    TypedOverKnown overKnown = TypedOverKnown::Refused;
};

// What the records hold for the typed names, as the caller read them. For a session chosen
// by id: the session of that id with its own site and breaker (nothing looked up by name),
// none when there is no such session.
struct FoundRecords {
    std::optional<SiteRecord> site;       // the first site of the typed name
    std::optional<BreakerRecord> breaker; // of the typed designation on that site
    std::optional<SessionRecord> session; // the session chosen, when there is one
};

// The rows the shots go under: those found taken, the fresh ones for the rest. Edits never
// refuse; Refused refuses a session chosen by id that is not there or is of another site or
// breaker, then a breaker rated otherwise, then a chosen session's given field, in that order.
struct Resolution {
    ShotContext context;
    RecordsError refusal; // why the records refuse the typed fields; then nothing is stored
    bool breakerKnown = false;
    bool sessionKnown = false;
    bool breakerEdited = false; // Edits: the typed breaker fields differ from the record's
    bool sessionEdited = false; // Edits: the typed session fields differ from the record's
};

Resolution resolveContext(const TypedContext& typed, const FoundRecords& found);

} // namespace qarn3
