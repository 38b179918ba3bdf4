#pragma once

#include "store/database.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qarn3 {

struct SyncOptions {
    // Sites of these names on the shared database join the sync (with everything under
    // them), besides the sites the local database has.
    std::vector<std::string> siteNames;
    // Rows the shared database once had and no longer has are sent again (after it was
    // restored from a backup); otherwise they are taken as deleted there and kept here only.
    bool resend = false;
    int batchRows = 200; // rows a transaction carries
};

enum class SyncStage { Comparing, Sending, Receiving };

// Where a sync is: comparing (done and total count tables), or moving rows (done and total
// count the rows to send and receive in all tables, known once comparing ends).
struct SyncProgress {
    SyncStage stage = SyncStage::Comparing;
    std::string table;
    std::int64_t done = 0;
    std::int64_t total = 0;
};

// Called on the syncing thread, between transactions; must not use either database.
struct SyncHooks {
    std::function<void(const SyncProgress&)> progress;
    // Set from any thread to stop the sync before its next transaction; what was sent or
    // received is kept, and the next sync carries on from there.
    const std::atomic<bool>* cancel = nullptr;
};

// A row edited on both sides since they last agreed: the newest change (updated_at) was kept.
struct SyncConflict {
    std::string table, id, label;
    std::string localUpdatedAt, sharedUpdatedAt;
    bool localKept = false; // the local change went to the shared database
};

// A row a side refused because its session was approved there: an edit of the approved
// session or its rows, or a row added to it (another laptop's older copy).
struct SyncRefusal {
    std::string table, id, label;
    bool toShared = false; // refused by the shared database (else by this one)
    std::string reason;    // "session … was approved at …"
};

struct SyncTableCounts {
    std::string table;
    std::int64_t sent = 0, received = 0; // new rows
    std::int64_t updatedThere = 0, updatedHere = 0;
    std::int64_t deletedThere = 0; // rows the shared database no longer has, kept here
    std::int64_t notSent = 0;      // new rows under a row the shared database no longer has
    std::int64_t deletedHere = 0;  // rows deleted here that the shared database still has
};

struct SyncReport {
    bool ok = false;
    bool cancelled = false;
    RecordsError error; // why the sync stopped; what it moved before stays
    std::vector<SyncTableCounts> tables;
    std::int64_t waveformsSent = 0, waveformsReceived = 0;
    std::vector<SyncConflict> conflicts;
    std::vector<SyncRefusal> refused;
    // What opening the databases found, for the operator (syncRecords): a damaged file set
    // aside, a database opened read-only.
    std::vector<std::string> notes;
};

// Brings a laptop's local database and a company's shared one together: sends the rows the
// shared database does not have, receives what others sent for the same sites, and takes the
// newest change of a row edited on both sides. Each batch of rows moves in one transaction;
// a sync cut off leaves both sides consistent and the next one completes it. Both databases
// must be open, writable, of the same schema version, and used on the calling thread (any
// thread: the window runs it on a worker).
SyncReport syncDatabases(RecordsDatabase& local, RecordsDatabase& shared,
                         const SyncOptions& options, const SyncHooks& hooks = {});

// Opens both (the shared one with the options' password prompt) and syncs. The local
// database is made when missing, like the program's.
SyncReport syncRecords(const DatabaseLocation& local, const DatabaseLocation& shared,
                       const SyncOptions& options, const SyncHooks& hooks = {},
                       const OpenOptions& sharedOptions = {});

} // namespace qarn3
