#pragma once

// What a sync does to one table, decided from the keys of its rows on both sides and what
// the two last agreed on; no database here (store/sync.cpp reads the keys, asks for the plan
// and applies it, table after table in the order rows must arrive).
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qarn3 {

// A row as the sync compares it.
struct SyncKey {
    std::string updatedAt; // the change marker, the editing side's clock: '' for a row never edited
    std::string parent;    // the id of the row it hangs under ('' for none)
    std::string label;     // what names it in a conflict
    std::string reference; // the id of the row it names besides its parent ('' for none)
};
// A table's rows in the sync on one side, by id: the plan lists ids in this order.
using SyncKeys = std::map<std::string, SyncKey>;
using SyncIds = std::unordered_set<std::string>;
// What both sides last held of a table's rows, as the local side recorded it: id, updated_at.
using SyncLastAgreed = std::unordered_map<std::string, std::string>;
// Rows both sides hold alike, to be recorded as agreed: id, updated_at.
using SyncAgreement = std::vector<std::pair<std::string, std::string>>;

// One side of a table.
struct SyncSide {
    SyncKeys keys;
    // The ids this side holds, once synced, of the table above (the rows' parents) and of the
    // table the rows name besides; null for a table with none. Earlier plans give them
    // (SyncTablePlan::heldLocal, heldShared).
    const SyncIds* parents = nullptr;
    const SyncIds* referenced = nullptr;
};

struct SyncPlanOptions {
    // Rows the shared database once had and no longer has are sent again (it was restored
    // from a backup); otherwise they were deleted there and stay here only.
    bool resend = false;
};

// A row changed on one side: the other side takes it only while it still holds `expected`.
struct SyncEdit {
    std::string id;
    std::string expected;
    bool operator==(const SyncEdit&) const = default;
};

// A row changed on both sides since they last agreed: the newest change wins.
struct SyncPlanConflict {
    std::string id, label; // the label the local row has
    std::string localUpdatedAt, sharedUpdatedAt;
    bool localKept = false; // the local change goes to the shared database
    bool operator==(const SyncPlanConflict&) const = default;
};

struct SyncTablePlan {
    std::vector<std::string> send, receive;        // rows the other side lacks
    std::vector<SyncEdit> sendEdits, receiveEdits; // rows the other side holds older
    SyncAgreement agreed;                          // alike on both sides, not yet recorded
    std::vector<SyncPlanConflict> conflicts;
    std::int64_t deletedThere = 0; // rows the shared database once had and lacks, kept here
    // Rows that would go to the shared database under or naming a row it lacks (it would
    // refuse them, and every batch after them): kept here, and with them what hangs under them.
    std::int64_t notSent = 0;
    // Rows of the shared database kept there: deleted here since the two agreed, or under or
    // naming a row this side lacks.
    std::int64_t deletedHere = 0;
    // Every id in the sync, the local side's then the shared side's others: the parents of
    // the next table's rows.
    std::vector<std::string> scope;
    // The ids each side holds once the plan is applied: the parents and named rows of later
    // tables.
    SyncIds heldLocal, heldShared;
};

// The plan for a table. A row one side lacks goes to it, unless both once agreed on it (it
// was deleted there: kept where it is, sent again with resend) or its parent or the row it
// names will be missing there. A row that differs goes from the side that changed it since
// they last agreed; changed on both (or never agreed), the newer updated_at wins and the
// conflict is reported. A winning edit naming a row the other side lacks stays where it is.
// Rows alike on both sides and not yet recorded so are to be recorded as agreed. Lists and
// conflicts follow the order of the ids.
SyncTablePlan planSyncTable(const SyncSide& local, const SyncSide& shared,
                            const SyncLastAgreed& lastAgreed, const SyncPlanOptions& options);

} // namespace qarn3
