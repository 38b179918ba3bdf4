#include "platform/owners.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace qarn3 {

namespace fs = std::filesystem;

bool FileOwners::entry(const std::string& path, struct stat& st) const {
    return ::lstat(path.c_str(), &st) == 0;
}

uid_t FileOwners::user() const {
    return ::geteuid();
}

const FileOwners& systemFileOwners() {
    static const FileOwners owners;
    return owners;
}

namespace {

// The kernel's own limit on links followed in one path.
constexpr int kMaxLinks = 40;

std::deque<std::string> components(const std::string& path) {
    std::deque<std::string> out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        if (slash > start) out.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return out;
}

std::optional<std::string> readLink(const std::string& path) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// The kernel's rule (fs.protected_symlinks): a link in a sticky, world-writable folder is
// followed only by its owner, or when the folder's owner made it.
bool mayFollow(const struct stat& link, const std::string& folder, const FileOwners& owners) {
    if (link.st_uid == owners.user()) return true;
    struct stat dir {};
    if (!owners.entry(folder, dir)) return true;
    const mode_t shared = S_ISVTX | S_IWOTH;
    if ((dir.st_mode & shared) != shared) return true;
    return link.st_uid == dir.st_uid;
}

std::string modeText(mode_t mode) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(mode & 07777));
    return buf;
}

std::string anotherUsers(const std::string& path, const struct stat& st) {
    return path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
}

} // namespace

std::optional<std::string> followLinksSafely(const std::string& path, std::string& why,
                                             const FileOwners& owners) {
    if (path.empty()) return path;
    std::string done; // resolved so far, without links; "" stands for "/"
    if (path[0] != '/') {
        std::error_code ec;
        done = fs::current_path(ec).string();
        if (ec) {
            why = ec.message();
            return std::nullopt;
        }
        if (done == "/") done.clear();
    }
    std::deque<std::string> todo = components(path);
    int links = 0;
    while (!todo.empty()) {
        const std::string part = todo.front();
        todo.pop_front();
        if (part == ".") continue;
        if (part == "..") {
            done.resize(done.empty() ? 0 : done.rfind('/'));
            continue;
        }
        const std::string next = done + "/" + part;
        struct stat st {};
        if (!owners.entry(next, st)) {
            // Missing (or not reachable): the rest is taken as it is; what is made there is
            // made by name, and opening it fails where the kernel would fail.
            done = next;
            for (const std::string& rest : todo)
                done += "/" + rest;
            return done;
        }
        if (!S_ISLNK(st.st_mode)) {
            done = next;
            continue;
        }
        const std::string folder = done.empty() ? "/" : done;
        if (!mayFollow(st, folder, owners)) {
            why = next + " is a link that another user (uid " + std::to_string(st.st_uid) +
                  ") made in the shared folder " + folder;
            return std::nullopt;
        }
        if (++links > kMaxLinks) {
            why = std::strerror(ELOOP);
            return std::nullopt;
        }
        const std::optional<std::string> target = readLink(next);
        if (!target) {
            why = std::strerror(errno);
            return std::nullopt;
        }
        std::deque<std::string> parts = components(*target);
        todo.insert(todo.begin(), parts.begin(), parts.end());
        if (!target->empty() && (*target)[0] == '/') done.clear();
    }
    return done.empty() ? "/" : done;
}

std::string folderProblem(const std::string& folder, FolderUse use, const FileOwners& owners) {
    std::string why;
    const std::optional<std::string> real = followLinksSafely(folder, why, owners);
    if (!real) return why;
    struct stat st {};
    if (!owners.entry(*real, st)) return folder + " does not exist";
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
    if (st.st_uid != owners.user()) return anotherUsers(folder, st);
    const mode_t othersWrite = use == FolderUse::Own ? S_IWOTH : S_IWGRP | S_IWOTH;
    if (st.st_mode & othersWrite)
        return "other users may write to " + folder + " (mode " + modeText(st.st_mode) + ")";
    return {};
}

std::string ownFileProblem(const std::string& path, const FileOwners& owners) {
    std::string why;
    const std::optional<std::string> real = followLinksSafely(path, why, owners);
    if (!real) return why;
    struct stat st {};
    if (!owners.entry(*real, st)) return {};
    if (st.st_uid != owners.user()) return anotherUsers(path, st);
    return {};
}

std::string makeOwnFolder(const std::string& folder, FolderUse use, const FileOwners& owners) {
    struct stat st {};
    std::string why;
    const std::optional<std::string> real = followLinksSafely(folder, why, owners);
    if (!real) return why;
    if (!owners.entry(*real, st)) {
        std::error_code ec;
        const fs::path parent = fs::path(*real).parent_path();
        if (!parent.empty()) fs::create_directories(parent, ec);
        // Made private from the start: with a mode that others may use for a moment, one of
        // them could put a file into it first. The user's own folder may take a group (umask
        // 002), never every user, which an open umask (000) would give and the check refuse.
        const mode_t mode = use == FolderUse::Private ? 0700 : 0775;
        if (::mkdir(real->c_str(), mode) != 0 && errno != EEXIST)
            return "cannot create " + folder + ": " + std::strerror(errno);
    }
    return folderProblem(folder, use, owners);
}

std::string keepFilesPrivate(const std::vector<std::string>& paths, const FileOwners& owners) {
    std::vector<std::pair<std::string, mode_t>> open;
    for (const std::string& path : paths) {
        struct stat st {};
        if (!owners.entry(path, st)) continue;
        if (!S_ISREG(st.st_mode)) return path + " is not a file";
        if (st.st_uid != owners.user())
            return path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
        if ((st.st_mode & 077) != 0) open.emplace_back(path, st.st_mode);
    }
    // The user's own files, made before the program kept them private (or copied in): the
    // records are nobody else's to read.
    for (const auto& [path, mode] : open)
        if (::chmod(path.c_str(), mode & 07700) != 0)
            return "cannot make " + path + " private (mode " + modeText(mode) +
                   "): " + std::strerror(errno);
    return {};
}

bool makePrivateFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST;
    // The umask may also have taken the owner's bits (0200 would make it read-only).
    const bool ok = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return ok;
}

std::string tempFolderFrom(const char* tmpdir) {
    std::error_code ec;
    std::string folder = tmpdir && *tmpdir && fs::is_directory(tmpdir, ec) ? tmpdir : P_tmpdir;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string userTempFolder(const FileOwners& owners) {
    return tempFolderFrom(std::getenv("TMPDIR")) + "/QARN3-" + std::to_string(owners.user());
}

} // namespace qarn3
