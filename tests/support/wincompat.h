#pragma once

// Windows only, for the tests' own set-up: the few POSIX calls they make their temporary
// folders and environment with. Included before every test source of the Windows build.
#ifdef _WIN32

#include <cstdlib>
#include <cstring>
#include <direct.h>
#include <io.h>

inline char* mkdtemp(char* pattern) {
    if (::_mktemp_s(pattern, std::strlen(pattern) + 1) != 0) return nullptr;
    return ::_mkdir(pattern) == 0 ? pattern : nullptr;
}

inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    return ::_putenv_s(name, value);
}

inline int unsetenv(const char* name) {
    return ::_putenv_s(name, "");
}

#endif
