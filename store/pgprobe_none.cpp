// A build without the PostgreSQL client (the Windows one): every server is out of reach, and
// the reason says why.
#include "store/pgprobe.h"

namespace qarn3 {

std::string sharedDatabaseUnavailable() {
    return "The shared PostgreSQL database is not part of the Windows build of the program";
}

ServerProbe probeServer(const ConnectionParameters&, const std::string&) {
    ServerProbe p;
    p.message = sharedDatabaseUnavailable();
    return p;
}

} // namespace qarn3
