#pragma once

#include "records/model.h"
#include "store/database.h"

#include <string>
#include <vector>

namespace qarn3 {

// A checklist item ticked during a session, with the time it was ticked.
struct SessionCheck {
    std::string item;
    std::string tickedAt;
};

// The session's approval: who approved it (kept apart from who tested) and when. Refused for
// an empty name or one holding a line break or another control character, a session not there
// (NotFound), or one approved already (Approved, naming who and when). Once approved, the
// database itself refuses every change of the session, its test points, shots and checklist.
RecordsError approveSession(RecordsDatabase& db, const std::string& sessionId,
                            const std::string& approver, std::string& approvedAt);
// A note added to a session, approved or not, with who wrote it; refused when empty, and for an
// author as approveSession refuses an approver.
RecordsError addSessionNote(RecordsDatabase& db, const std::string& sessionId,
                            const std::string& author, const std::string& text);
std::vector<SessionNote> sessionNotesOf(RecordsDatabase& db, const std::string& sessionId,
                                        RecordsError& error);
// A checklist item ticked now (ticked again: the new time).
RecordsError tickSessionCheck(RecordsDatabase& db, const std::string& sessionId,
                              const std::string& item, const std::string& tickedAt);
std::vector<SessionCheck> sessionChecksOf(RecordsDatabase& db, const std::string& sessionId,
                                          RecordsError& error);

} // namespace qarn3
