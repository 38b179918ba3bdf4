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

namespace {

std::string nameOf(const fs::path& path, bool generic) {
    try {
        const std::u8string s = generic ? path.generic_u8string() : path.u8string();
        return std::string(s.begin(), s.end());
    } catch (const std::exception&) {
        return generic ? path.generic_string() : path.string();
    }
}

} // namespace

std::string utf8Of(const fs::path& path) {
    return nameOf(path, false);
}

std::string genericUtf8Of(const fs::path& path) {
    return nameOf(path, true);
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
