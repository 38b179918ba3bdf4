// The ownership checks on Windows. A user's folders there (the profile, its application data
// and temporary folder) are kept to the user by their access lists, which the system sets;
// there is no shared temporary folder whose links another user could plant. So every entry is
// taken as the user's, a path is made absolute without following links, and a folder is fit
// when it is a folder.
#include "platform/owners.h"
#include "platform/winpath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <windows.h>

namespace qarn3 {

namespace fs = std::filesystem;

bool FileOwners::entry(const std::string& path, struct stat& st) const {
    struct _stat64 s {};
    if (::_wstat64(widePath(path).c_str(), &s) != 0) return false;
    st = {};
    // The owner's bits only: the system repeats them for the group and others.
    st.st_mode = static_cast<decltype(st.st_mode)>(s.st_mode & ~077);
    st.st_size = static_cast<decltype(st.st_size)>(s.st_size);
    st.st_mtime = static_cast<decltype(st.st_mtime)>(s.st_mtime);
    return true;
}

uid_t FileOwners::user() const {
    return 0;
}

const FileOwners& systemFileOwners() {
    static const FileOwners owners;
    return owners;
}

std::optional<std::string> followLinksSafely(const std::string& path, std::string& why,
                                             const FileOwners&) {
    if (path.empty()) return path;
    std::error_code ec;
    const fs::path absolute = fs::absolute(fs::path(widePath(path)), ec);
    if (ec) {
        why = ec.message();
        return std::nullopt;
    }
    std::string out = narrowPath(absolute.lexically_normal().wstring());
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

std::string folderProblem(const std::string& folder, FolderUse, const FileOwners& owners) {
    struct stat st {};
    if (!owners.entry(folder, st)) return folder + " does not exist";
    if ((st.st_mode & S_IFMT) != S_IFDIR) return folder + " is not a folder";
    return {};
}

std::string ownFileProblem(const std::string&, const FileOwners&) {
    return {};
}

std::string makeOwnFolder(const std::string& folder, FolderUse use, const FileOwners& owners) {
    std::error_code ec;
    fs::create_directories(fs::path(widePath(folder)), ec);
    if (ec && !fs::is_directory(fs::path(widePath(folder)), ec))
        return "cannot create " + folder + ": " + ec.message();
    return folderProblem(folder, use, owners);
}

std::string keepFilesPrivate(const std::vector<std::string>& paths, const FileOwners& owners) {
    for (const std::string& path : paths) {
        struct stat st {};
        if (owners.entry(path, st) && (st.st_mode & S_IFMT) != S_IFREG)
            return path + " is not a file";
    }
    return {};
}

bool makePrivateFile(const std::string& path) {
    const int fd = ::_wopen(widePath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) return errno == EEXIST;
    ::_close(fd);
    return true;
}

std::string tempFolderFrom(const char* tmpdir) {
    std::error_code ec;
    std::string folder;
    if (tmpdir && *tmpdir && fs::is_directory(fs::path(widePath(tmpdir)), ec)) {
        folder = tmpdir;
    } else {
        wchar_t buf[MAX_PATH + 1];
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
        folder = n ? narrowPath(std::wstring(buf, n)) : std::string("C:/Windows/Temp");
    }
    for (char& c : folder)
        if (c == '\\') c = '/';
    while (folder.size() > 3 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string userTempFolder(const FileOwners&) {
    wchar_t name[257];
    DWORD n = 257;
    const std::string user = ::GetUserNameW(name, &n) && n > 1
                                 ? narrowPath(std::wstring(name, n - 1))
                                 : std::string("user");
    return tempFolderFrom(std::getenv("TMPDIR")) + "/QARN3-" + user;
}

} // namespace qarn3
