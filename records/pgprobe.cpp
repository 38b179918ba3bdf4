#include "records/pgprobe.h"

#include "platform/textformat.h"

#include <libpq-fe.h>

namespace qarn3 {

ServerProbe probeServer(const ConnectionParameters& parameters, const std::string& password) {
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : parameters) {
        keys.push_back(key.c_str());
        values.push_back(value.c_str());
    }
    if (!password.empty()) {
        keys.push_back("password");
        values.push_back(password.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 0);
    ServerProbe p;
    if (!conn) {
        p.message = "out of memory";
        return p;
    }
    p.connected = PQstatus(conn) == CONNECTION_OK;
    p.needsPassword = !p.connected && PQconnectionNeedsPassword(conn) != 0;
    p.message = trimText(PQerrorMessage(conn));
    PQfinish(conn);
    return p;
}

} // namespace qarn3
