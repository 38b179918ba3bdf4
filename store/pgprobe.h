#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qarn3 {

// Client-library keywords and values of one server connection ("host", "/run/pg").
using ConnectionParameters = std::vector<std::pair<std::string, std::string>>;

// Why a connection to a server failed, as the client library itself tells it: the driver
// says only that it failed, in words that may be translated.
struct ServerProbe {
    bool connected = false;
    bool needsPassword = false; // the server wants a password and none was found or given
    std::string message;        // the client library's own words, trimmed
};

// Why this build of the program cannot reach a shared database (the Windows build has no
// PostgreSQL client); empty when it can.
std::string sharedDatabaseUnavailable();

// Connects once with the parameters (and the password, when one was given) and closes again.
ServerProbe probeServer(const ConnectionParameters& parameters, const std::string& password);

} // namespace qarn3
