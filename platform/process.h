#pragma once

namespace qarn3 {

// Keeps a secret the process holds (a password typed in, and the copies a client library
// makes of it) out of a core file: from the first call on the process writes none and may
// not be attached to by another of the user's processes. Nothing where the system has no
// such switch. Lasts for the rest of the process.
void keepOutOfCoreDumps();

// Ends the process with status now, its C and C++ streams flushed, running no destructors
// of static objects and no exit handlers: the way out when a worker thread is still inside a
// call that static destruction would pull the ground from under (a database call on a server
// that does not answer).
[[noreturn]] void endProcessNow(int status);

} // namespace qarn3
