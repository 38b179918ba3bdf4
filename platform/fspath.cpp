#include "platform/fspath.h"

#ifdef _WIN32
#include "platform/winpath.h"
#endif

namespace qarn3 {

namespace fs = std::filesystem;

#ifdef _WIN32
// Through the system's own conversions, which never fail: a byte that is no UTF-8, or half a
// UTF-16 pair in a name the system lists, becomes U+FFFD.
fs::path fsPath(const std::string& utf8) {
    return fs::path(widePath(utf8));
}

std::string utf8Of(const fs::path& path) {
    return narrowPath(path.native());
}

std::string genericUtf8Of(const fs::path& path) {
    return narrowPath(path.generic_wstring());
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
