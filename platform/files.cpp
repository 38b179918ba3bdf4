#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qarn3 {

namespace fs = std::filesystem;

bool FileStore::exists(const std::string& path) const {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::optional<std::string> FileStore::readPrefix(const std::string& path,
                                                 std::size_t maxBytes) const {
    // Non-blocking, so that opening a FIFO without a writer returns at once; what is not a
    // regular file (a FIFO, /dev/zero, a folder) is refused before anything is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string out;
    // One allocation of the file's size (what a file that grows meanwhile adds is appended).
    out.reserve(std::min(maxBytes, static_cast<std::size_t>(std::max<off_t>(st.st_size, 0))));
    char buf[65536];
    while (out.size() < maxBytes) {
        const std::size_t want = std::min(sizeof buf, maxBytes - out.size());
        const ssize_t n = ::read(fd, buf, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

std::string FileStore::readFailure(const std::string& path) const {
    struct stat st {};
    // std::strerror is not safe on the analysis's worker threads.
    if (::stat(path.c_str(), &st) != 0) return std::generic_category().message(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::generic_category().message(errno);
    ::close(fd);
    return "read error";
}

std::optional<std::string> FileStore::readAll(const std::string& path) const {
    return readPrefix(path, std::numeric_limits<std::size_t>::max());
}

ssize_t FileStore::writeSome(int fd, const char* data, std::size_t n) {
    return ::write(fd, data, n);
}

int FileStore::openFile(const std::string& path, int flags, mode_t mode) {
    return ::open(path.c_str(), flags, mode);
}

bool FileStore::writeAll(int fd, const std::string& bytes, int& err) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = writeSome(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        if (n == 0) {
            err = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        err = errno;
        return false;
    }
    return true;
}

// Truncate, write, flush: for a writable file in a folder that takes no new files.
bool FileStore::rewriteInPlace(const std::string& path, const std::string& bytes,
                               std::string& error, FileAccess access) {
    // The links are resolved: one in the file's place now was put there meanwhile.
    const int fd = openFile(path, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (access == FileAccess::OwnerOnly && ::fchmod(fd, 0600) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    int err = 0;
    const bool written = writeAll(fd, bytes, err);
    if (::close(fd) != 0 && written) err = errno;
    if (!written || err != 0) {
        error = std::strerror(err);
        return false;
    }
    return true;
}

bool FileStore::replaceContents(const std::string& name, const std::string& bytes,
                                std::string& error, FileAccess access) {
    // The file a symbolic link names, so that replacing it keeps the link (a setup file
    // linked to a shared one stays shared); a link another user planted in a shared folder
    // is not followed, and nothing is written.
    const std::optional<std::string> resolved = followLinksSafely(name, error, owners());
    if (!resolved) return false;
    const std::string& path = *resolved;
    struct stat old {};
    const bool existing = ::stat(path.c_str(), &old) == 0;
    if (existing && !S_ISREG(old.st_mode)) {
        error = "not a regular file";
        return false;
    }
    if (existing && (old.st_mode & S_IWUSR) == 0) {
        error = "the file is read-only";
        return false;
    }
    // A name of its own beside the target; created 0666 so the process umask applies to a
    // new file as it would to any other, or 0600 for the user alone (an open umask could only
    // narrow that, and the mode is set exactly before a byte is written).
    const bool ownerOnly = access == FileAccess::OwnerOnly;
    static std::atomic<unsigned> counter{0};
    const std::string tmp =
        path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = openFile(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
    if (fd < 0) {
        const int err = errno;
        if (existing && (err == EACCES || err == EPERM))
            return rewriteInPlace(path, bytes, error, access);
        error = std::strerror(err);
        return false;
    }
    auto fail = [&](int err) {
        error = std::strerror(err);
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    };
    if (ownerOnly && ::fchmod(fd, 0600) != 0) return fail(errno);
    int err = 0;
    if (!writeAll(fd, bytes, err)) return fail(err);
    // The replacement takes the old file's permissions.
    if (existing && !ownerOnly && ::fchmod(fd, old.st_mode & 07777) != 0) return fail(errno);
    if (::close(fd) != 0) {
        error = std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::string FileStore::makeOwnerOnly(const std::string& name) {
    if (std::string why = ownFileProblem(name, owners()); !why.empty()) return why;
    std::string why;
    const std::optional<std::string> resolved = followLinksSafely(name, why, owners());
    if (!resolved) return why;
    struct stat st {};
    if (!owners().entry(*resolved, st) || (st.st_mode & 077) == 0) return {};
    // Through the file opened without following a link, so that a link put in its place
    // meanwhile does not carry the change elsewhere; a FIFO is not waited on.
    const int fd = openFile(*resolved, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) return "cannot make " + name + " private: " + std::strerror(errno);
    const int rc = ::fchmod(fd, st.st_mode & 0700);
    const int err = errno;
    ::close(fd);
    if (rc != 0) return "cannot make " + name + " private: " + std::strerror(err);
    return {};
}

bool FileStore::setReadOnly(const std::string& name, bool readOnly) {
    std::string why;
    const std::optional<std::string> resolved = followLinksSafely(name, why, owners());
    if (!resolved) return false;
    const std::string& path = *resolved;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    mode_t mode = st.st_mode & 07777;
    if (readOnly)
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    else
        mode |= S_IWUSR;
    return ::chmod(path.c_str(), mode) == 0;
}

bool FileStore::isReadOnly(const std::string& path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return (st.st_mode & S_IWUSR) == 0;
}

std::string resolveInFolder(const std::string& folder, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string bareFileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ProgramFolders platformFolders(const std::string& exeDir, const FolderEnvironment& env) {
    ProgramFolders f;
    if (!env.progFolder.empty()) {
        f.progFolder = env.progFolder;
    } else {
        // Installed: <prefix>/bin/qarn3 with its files in <prefix>/share/qarn3; in a build
        // tree the files sit beside the program.
        const fs::path shared = fs::path(exeDir) / ".." / "share" / "qarn3";
        std::error_code ec;
        f.progFolder =
            fs::is_directory(shared, ec) ? fs::weakly_canonical(shared, ec).string() : exeDir;
    }
    if (!env.dataFolder.empty()) {
        f.dataFolder = env.dataFolder;
    } else if (!env.xdgDataHome.empty()) {
        f.dataFolder = env.xdgDataHome + "/QARN3";
    } else if (!env.home.empty()) {
        f.dataFolder = env.home + "/.local/share/QARN3";
    } else {
        // No home: the user's own folder in the temporary folder, private and checked,
        // never a name another user could make first and have the program accept.
        f.dataFolder = userTempFolder();
        f.dataFolderUse = FolderUse::Private;
    }
    return f;
}

std::optional<std::int64_t> modifiedMicros(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000 + st.st_mtim.tv_nsec / 1000;
}

void clearLogPlace(const std::string& path, bool keepOld, const FileOwners& owners) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    // A read-only log is made writable first, so that it can be replaced. A link in the
    // log's place is only removed: the file it points at is not the log's to change.
    if (S_ISREG(st.st_mode) && st.st_uid == owners.user())
        ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
    if (!keepOld) ::unlink(path.c_str());
}

int openLogForAppend(const std::string& path, const FileOwners& owners) {
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != owners.user() ||
        st.st_nlink != 1) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool appendToLog(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void closeLog(int fd) {
    if (fd >= 0) ::close(fd);
}

std::optional<std::string> makeUniqueFolder(const std::string& prefix, std::string& error) {
    std::string name = prefix + "XXXXXX";
    if (!::mkdtemp(name.data())) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    return name;
}

bool probeNewFile(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(path.c_str());
    return true;
}

bool makeFolders(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    return fs::is_directory(folder, ec);
}

} // namespace qarn3
