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
// that does not answer). On Windows no DLL's detach code runs either.
[[noreturn]] void endProcessNow(int status);

// Standard output and error written byte for byte, as on Linux: on Windows the C runtime
// would put a CR before each line feed of a report or export sent through a pipe or into a
// file. Nothing where the system writes bytes as they are. Call it before any output.
void writeStandardStreamsAsBytes();

} // namespace qarn3
