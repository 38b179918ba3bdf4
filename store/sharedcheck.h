#pragma once

#include "store/database.h"

#include <string>

namespace qarn3 {

// What a connection to a shared database found: whether it opened (the schema made or
// brought up to date when the role may), its schema version, and what the role may do.
struct SharedDatabaseCheck {
    OpenReport opened;
    std::string role;       // the role the server took the login for
    bool mayAdd = false;    // rows into every table a sync writes: a sync can send
    bool mayEdit = false;   // a laptop's edits reach the shared database
    bool mayDelete = false; // the office's rights
};

// Connects to the database as a sync would (the options' password prompt asked when the
// client library finds no password) and reads what the role may do. Call it on a worker
// thread: a connection may wait up to its connect_timeout (10 s unless the URI says).
SharedDatabaseCheck checkSharedDatabase(const DatabaseLocation& where,
                                        const OpenOptions& options = {});

// What the check found, in a few sentences for the operator.
std::string sharedCheckText(const DatabaseLocation& where, const SharedDatabaseCheck& check);

} // namespace qarn3
