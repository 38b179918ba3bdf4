// The file operations on Windows: the wide calls on UTF-8 paths, a replacement renamed over
// the old file by MoveFileEx, the read-only attribute as the owner's write bit.
#include "platform/files.h"
#include "platform/winpath.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <limits>
#include <process.h>
#include <sys/stat.h>
#include <system_error>
#include <windows.h>

namespace qarn3 {

namespace fs = std::filesystem;

namespace {

bool statOf(const std::string& path, struct _stat64& st) {
    return ::_wstat64(widePath(path).c_str(), &st) == 0;
}

bool isRegular(const struct _stat64& st) {
    return (st.st_mode & _S_IFMT) == _S_IFREG;
}

} // namespace

bool FileStore::exists(const std::string& path) const {
    struct _stat64 st {};
    return statOf(path, st);
}

std::optional<std::string> FileStore::readPrefix(const std::string& path,
                                                 std::size_t maxBytes) const {
    struct _stat64 st {};
    if (!statOf(path, st) || !isRegular(st)) return std::nullopt;
    const int fd = ::_wopen(widePath(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return std::nullopt;
    std::string out;
    out.reserve(std::min(maxBytes, static_cast<std::size_t>(std::max<__int64>(st.st_size, 0))));
    char buf[65536];
    while (out.size() < maxBytes) {
        const std::size_t want = std::min(sizeof buf, maxBytes - out.size());
        const int n = ::_read(fd, buf, static_cast<unsigned>(want));
        if (n < 0) {
            ::_close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::_close(fd);
    return out;
}

std::string FileStore::readFailure(const std::string& path) const {
    struct _stat64 st {};
    if (!statOf(path, st)) return std::generic_category().message(errno);
    if ((st.st_mode & _S_IFMT) == _S_IFDIR) return "it is a folder";
    if (!isRegular(st)) return "not a regular file";
    const int fd = ::_wopen(widePath(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return std::generic_category().message(errno);
    ::_close(fd);
    return "read error";
}

std::optional<std::string> FileStore::readAll(const std::string& path) const {
    return readPrefix(path, std::numeric_limits<std::size_t>::max());
}

ssize_t FileStore::writeSome(int fd, const char* data, std::size_t n) {
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}

int FileStore::openFile(const std::string& path, int flags, mode_t mode) {
    return ::_wopen(widePath(path).c_str(), flags | _O_BINARY | _O_NOINHERIT, mode);
}

bool FileStore::writeAll(int fd, const std::string& bytes, int& err) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = writeSome(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            err = errno;
            return false;
        }
        if (n == 0) {
            err = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::_commit(fd) != 0) {
        err = errno;
        return false;
    }
    return true;
}

bool FileStore::rewriteInPlace(const std::string& path, const std::string& bytes,
                               std::string& error, FileAccess) {
    const int fd = openFile(path, _O_WRONLY | _O_TRUNC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    int err = 0;
    const bool written = writeAll(fd, bytes, err);
    if (::_close(fd) != 0 && written) err = errno;
    if (!written || err != 0) {
        error = std::strerror(err);
        return false;
    }
    return true;
}

bool FileStore::replaceContents(const std::string& name, const std::string& bytes,
                                std::string& error, FileAccess access) {
    const std::optional<std::string> resolved = followLinksSafely(name, error, owners());
    if (!resolved) return false;
    const std::string& path = *resolved;
    struct _stat64 old {};
    const bool existing = statOf(path, old);
    if (existing && !isRegular(old)) {
        error = "not a regular file";
        return false;
    }
    if (existing && (old.st_mode & _S_IWRITE) == 0) {
        error = "the file is read-only";
        return false;
    }
    // The new file inherits the folder's access list, as the old one did.
    static std::atomic<unsigned> counter{0};
    const std::string tmp =
        path + ".tmp" + std::to_string(::_getpid()) + "-" + std::to_string(counter++);
    const int fd = openFile(tmp, _O_WRONLY | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        const int err = errno;
        if (existing && err == EACCES) return rewriteInPlace(path, bytes, error, access);
        error = std::strerror(err);
        return false;
    }
    int err = 0;
    if (!writeAll(fd, bytes, err)) {
        error = std::strerror(err);
        ::_close(fd);
        ::_wunlink(widePath(tmp).c_str());
        return false;
    }
    if (::_close(fd) != 0) {
        error = std::strerror(errno);
        ::_wunlink(widePath(tmp).c_str());
        return false;
    }
    if (!::MoveFileExW(widePath(tmp).c_str(), widePath(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = windowsErrorText(::GetLastError());
        ::_wunlink(widePath(tmp).c_str());
        return false;
    }
    return true;
}

std::string FileStore::makeOwnerOnly(const std::string&) {
    // The user's profile folders are the user's alone by their access lists.
    return {};
}

bool FileStore::setReadOnly(const std::string& path, bool readOnly) {
    struct _stat64 st {};
    if (!statOf(path, st) || !isRegular(st)) return false;
    return ::_wchmod(widePath(path).c_str(), readOnly ? _S_IREAD : _S_IREAD | _S_IWRITE) == 0;
}

bool FileStore::isReadOnly(const std::string& path) const {
    struct _stat64 st {};
    if (!statOf(path, st)) return false;
    return (st.st_mode & _S_IWRITE) == 0;
}

std::string resolveInFolder(const std::string& folder, const std::string& name) {
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos || folder.empty())
        return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

std::string bareFileName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ProgramFolders platformFolders(const std::string& exeDir, const FolderEnvironment& env) {
    ProgramFolders f;
    // The program's files sit beside the .exe.
    f.progFolder = !env.progFolder.empty() ? env.progFolder : exeDir;
    if (!env.dataFolder.empty())
        f.dataFolder = env.dataFolder;
    else if (env.allUsers && !env.programData.empty())
        f.dataFolder = env.programData + "/QARN3";
    else if (!env.localAppData.empty())
        f.dataFolder = env.localAppData + "/QARN3";
    else {
        f.dataFolder = userTempFolder();
        f.dataFolderUse = FolderUse::Private;
    }
    for (char& c : f.dataFolder)
        if (c == '\\') c = '/';
    return f;
}

std::optional<std::int64_t> modifiedMicros(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    // 100 ns steps since 1601.
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10) - 11644473600LL * 1000000;
}

void clearLogPlace(const std::string& path, bool keepOld, const FileOwners&) {
    struct _stat64 st {};
    if (!statOf(path, st)) return;
    if (isRegular(st)) ::_wchmod(widePath(path).c_str(), _S_IREAD | _S_IWRITE);
    if (!keepOld) ::_wunlink(widePath(path).c_str());
}

int openLogForAppend(const std::string& path, const FileOwners&) {
    struct _stat64 st {};
    if (statOf(path, st) && !isRegular(st)) return -1;
    return ::_wopen(widePath(path).c_str(),
                    _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

bool appendToLog(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const int n = ::_write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void closeLog(int fd) {
    if (fd >= 0) ::_close(fd);
}

std::optional<std::string> makeUniqueFolder(const std::string& prefix, std::string& error) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint64_t bits = ::GetTickCount64() * 6364136223846793005ULL +
                             static_cast<std::uint64_t>(::_getpid()) * 1442695040888963407ULL +
                             static_cast<std::uint64_t>(attempt) * 0x9E3779B97F4A7C15ULL;
        std::string name = prefix;
        for (int i = 0; i < 6; ++i, bits /= 36)
            name += kLetters[bits % 36];
        // The new folder takes the access list of the user's temporary folder.
        if (::CreateDirectoryW(widePath(name).c_str(), nullptr)) return name;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            error = windowsErrorText(::GetLastError());
            return std::nullopt;
        }
    }
    error = "no free name";
    return std::nullopt;
}

bool probeNewFile(const std::string& path) {
    const std::wstring wide = widePath(path);
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

bool makeFolders(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(fs::path(widePath(folder)), ec);
    return fs::is_directory(fs::path(widePath(folder)), ec);
}

} // namespace qarn3
