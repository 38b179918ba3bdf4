#pragma once

#include "records/validation.h"

#include <string>

namespace qarn3 {

enum class RecordsErrorKind {
    None,
    Invalid,     // a value a record cannot hold; field names it
    Locked,      // another program holds the database longer than the busy timeout
    ReadOnly,    // opened read-only (newer schema, read-only file): nothing is written
    Damaged,     // not a database, or a damaged one
    NotFound,    // no such record
    Unreachable, // a server that cannot be reached, that refused the login or went away
    Denied,      // the server does not allow this role what was asked (a delete, the schema)
    Approved,    // the record belongs to an approved session: the database refuses any change
    Failed       // anything else: the driver's words are in the message
};

// Why an operation on the records did not happen, as a value: it crosses threads and reaches
// the operator as a message.
struct RecordsError {
    RecordsErrorKind kind = RecordsErrorKind::None;
    std::string field; // for Invalid
    std::string message;
    explicit operator bool() const { return kind != RecordsErrorKind::None; }
    static RecordsError invalid(const FieldError& e) {
        return {RecordsErrorKind::Invalid, e.field, e.message};
    }
};

} // namespace qarn3
