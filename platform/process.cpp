#include "platform/process.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#elif defined(__linux__)
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

namespace qarn3 {

void keepOutOfCoreDumps() {
#if defined(__linux__)
    // Either alone leaves a way: a core limit raised again by the process's own code, or a
    // core-pattern pipe that ignores the limit. Not dumpable covers both, and ptrace too.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
#endif
}

void writeStandardStreamsAsBytes() {
#if defined(_WIN32)
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
}

void endProcessNow(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
#if defined(_WIN32)
    // _Exit would still run the DLLs' detach code.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
#endif
    std::_Exit(status);
}

} // namespace qarn3
