#pragma once

// Windows only: the program's paths are UTF-8 with '/' or '\' between the parts; the system's
// wide calls take UTF-16.
#ifdef _WIN32

#include <string>

namespace qarn3 {

std::wstring widePath(const std::string& utf8);
std::string narrowPath(const std::wstring& wide);
// The system's message for a Windows error code, without its line break.
std::string windowsErrorText(unsigned long code);

} // namespace qarn3

#endif
