#pragma once

#include "records/sessionreport.h"
#include "store/database.h"

#include <string>

namespace qarn3 {

// Reads the session, its shots (with their waveforms when asked) and the breaker's curves.
// NotFound for no such session.
RecordsError loadSessionReport(RecordsDatabase& db, const std::string& sessionId,
                               bool withWaveforms, SessionReport& out);

} // namespace qarn3
