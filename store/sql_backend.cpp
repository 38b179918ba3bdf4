#include "store/sql.h"

namespace qarn3::sql {

std::string commit() {
    return "COMMIT";
}

std::string rollback() {
    return "ROLLBACK";
}

std::string readSchemaTable() {
    return "SELECT count(*) FROM sqlite_master";
}

BoundSql integrityCheck() {
    return {"PRAGMA integrity_check", {}};
}

std::string lockTimeout(int ms) {
    return "SET lock_timeout = " + std::to_string(ms);
}

std::string readOnlySession() {
    return "SET default_transaction_read_only = on";
}

BoundSql currentRole() {
    return {"SELECT current_user", {}};
}

} // namespace qarn3::sql
