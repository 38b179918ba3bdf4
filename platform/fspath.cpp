#include "platform/fspath.h"

namespace qarn3 {

namespace fs = std::filesystem;

#ifdef _WIN32
// A name that is no UTF-8 (or a path holding half a UTF-16 pair) cannot be converted; it is
// passed on narrow, and the call that uses it then fails as for any name not there.
fs::path fsPath(const std::string& utf8) {
    try {
        return fs::path(std::u8string(utf8.begin(), utf8.end()));
    } catch (const std::exception&) {
        return fs::path(utf8);
    }
}

std::string utf8Of(const fs::path& path) {
    try {
        const std::u8string s = path.u8string();
        return std::string(s.begin(), s.end());
    } catch (const std::exception&) {
        return path.string();
    }
}

std::string genericUtf8Of(const fs::path& path) {
    try {
        const std::u8string s = path.generic_u8string();
        return std::string(s.begin(), s.end());
    } catch (const std::exception&) {
        return path.generic_string();
    }
}
#else
fs::path fsPath(const std::string& utf8) {
    return fs::path(utf8);
}

std::string utf8Of(const fs::path& path) {
    return path.string();
}

std::string genericUtf8Of(const fs::path& path) {
    return path.generic_string();
}
#endif

} // namespace qarn3
