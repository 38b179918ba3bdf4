#include "store/pgprobe.h"

#include "platform/textformat.h"

#include <dlfcn.h>
#include <libpq-fe.h>

#include <mutex>

namespace qarn3 {

namespace {

// The client library's calls, loaded at the first probe: linked, it and what it pulls in
// (Kerberos, LDAP, TLS) would be loaded and bound at every start of the program, shared
// database or not. The server's driver loads the same library when it connects.
struct ClientLibrary {
    decltype(&PQconnectdbParams) connect = nullptr;
    decltype(&PQstatus) status = nullptr;
    decltype(&PQconnectionNeedsPassword) needsPassword = nullptr;
    decltype(&PQerrorMessage) errorMessage = nullptr;
    decltype(&PQfinish) finish = nullptr;
    std::string error; // why it could not be loaded; empty when it was

    ClientLibrary() {
        void* lib = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* why = ::dlerror();
            error = "the PostgreSQL client library cannot be loaded: " +
                    std::string(why ? why : "libpq.so.5 not found");
            return;
        }
        // Kept loaded for the rest of the run.
        connect = reinterpret_cast<decltype(connect)>(::dlsym(lib, "PQconnectdbParams"));
        status = reinterpret_cast<decltype(status)>(::dlsym(lib, "PQstatus"));
        needsPassword =
            reinterpret_cast<decltype(needsPassword)>(::dlsym(lib, "PQconnectionNeedsPassword"));
        errorMessage = reinterpret_cast<decltype(errorMessage)>(::dlsym(lib, "PQerrorMessage"));
        finish = reinterpret_cast<decltype(finish)>(::dlsym(lib, "PQfinish"));
        if (!connect || !status || !needsPassword || !errorMessage || !finish)
            error = "the PostgreSQL client library lacks a call this program uses";
    }
};

const ClientLibrary& clientLibrary() {
    static const ClientLibrary library; // made once, by the first thread to ask
    return library;
}

} // namespace

std::string sharedDatabaseUnavailable() {
    return {};
}

ServerProbe probeServer(const ConnectionParameters& parameters, const std::string& password) {
    ServerProbe p;
    const ClientLibrary& pq = clientLibrary();
    if (!pq.error.empty()) {
        p.message = pq.error;
        return p;
    }
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
    PGconn* conn = pq.connect(keys.data(), values.data(), 0);
    if (!conn) {
        p.message = "out of memory";
        return p;
    }
    p.connected = pq.status(conn) == CONNECTION_OK;
    p.needsPassword = !p.connected && pq.needsPassword(conn) != 0;
    p.message = trimText(pq.errorMessage(conn));
    pq.finish(conn);
    return p;
}

} // namespace qarn3
