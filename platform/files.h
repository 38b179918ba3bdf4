#pragma once

#include "platform/owners.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace qarn3 {

// Who may read a file the program writes.
enum class FileAccess {
    AsUmask,   // a new file as the umask makes it; a replaced one keeps its permissions
    OwnerOnly, // 0600 whatever the umask, from the moment the file is made
};

// File operations the records need. Replacing a file is atomic where the folder allows it:
// the new contents go to a file beside it, which is renamed over the old one only once it is
// complete, so a failed write never leaves a missing or half-written file. A file whose owner
// write bit is clear is read-only for the program, whoever runs it (root included).
class FileStore {
public:
    virtual ~FileStore() = default;

    // True when anything of that name exists: a regular file, a folder, a FIFO, a device.
    bool exists(const std::string& path) const;
    // At most maxBytes from the start of a regular file, or nothing when the name is not a
    // regular file or cannot be opened or read. Never blocks on a FIFO or a device.
    std::optional<std::string> readPrefix(const std::string& path, std::size_t maxBytes) const;
    // Why readPrefix gives nothing for a name: "it is a folder", "not a regular file", or the
    // system's reason (no such file, permission denied); "read error" when it opens now.
    std::string readFailure(const std::string& path) const;
    // The whole of a regular file (for small files and tests).
    std::optional<std::string> readAll(const std::string& path) const;
    // Writes bytes as the new contents of path; the replacement keeps the old file's
    // permissions; a symbolic link stays a link and its target takes the new contents. Links
    // are followed only as the kernel follows them in shared folders (followLinksSafely):
    // another user's link in the temporary folder is refused and nothing is written.
    // Refuses a read-only file and a name that is not a regular file. Where no
    // temporary file can be created beside a writable file, the file is rewritten in place.
    // On failure error holds the reason; a refused or failed atomic write leaves the old file
    // as it was. OwnerOnly: the new contents are never readable by others, not for a moment.
    bool replaceContents(const std::string& path, const std::string& bytes, std::string& error,
                         FileAccess access = FileAccess::AsUmask);
    // For a file only its user may read or change: empty when it is missing or is the user's,
    // its group and others' permissions then cleared (a file made under an open umask); else
    // why not, naming it (another user's file, or the tightening failed), the file untouched.
    std::string makeOwnerOnly(const std::string& path);
    // Clears all write permission bits of a regular file (read-only) or restores the owner's;
    // false for anything else, and for a link the kernel would not follow.
    bool setReadOnly(const std::string& path, bool readOnly);
    // The owner's write bit is clear.
    bool isReadOnly(const std::string& path) const;

protected:
    // One write; the seam through which tests make writes fail.
    virtual ssize_t writeSome(int fd, const char* data, std::size_t n);
    // open(2); the seam through which tests refuse the temporary file beside a target.
    virtual int openFile(const std::string& path, int flags, mode_t mode);
    // Owners and modes as the link rule sees them; the seam through which tests present a
    // link of another user.
    virtual const FileOwners& owners() const { return systemFileOwners(); }

private:
    bool writeAll(int fd, const std::string& bytes, int& err);
    bool rewriteInPlace(const std::string& path, const std::string& bytes, std::string& error,
                        FileAccess access);
};

// Joins a bare file name to a folder; a name with a folder of its own is kept as it is.
std::string resolveInFolder(const std::string& folder, const std::string& name);
// The file name without its folder.
std::string bareFileName(const std::string& path);

// The program folder (its own installed files) and the data folder (setup, calibration,
// results and waveforms); the program's entry may override both (FolderEnvironment).
struct ProgramFolders {
    std::string progFolder;
    std::string dataFolder;
    // How the data folder is made and checked: Private for the user's folder in the
    // temporary folder, where the data go when there is no home.
    FolderUse dataFolderUse = FolderUse::Own;
};
// exeDir: the folder of the running program, used to find the installed files.
// What the environment says of the folders, as the program's entry read it (empty: not set):
// the program's own overrides of the program and data folders, and the system's.
struct FolderEnvironment {
    std::string progFolder; // the program folder, when set
    std::string dataFolder; // the data folder, when set
    std::string xdgDataHome;
    std::string home;
    // Windows: the user's application data (%LOCALAPPDATA%), and the all-users one
    // (%PROGRAMDATA%), taken when allUsers says the program was set up for every user.
    std::string localAppData;
    std::string programData;
    bool allUsers = false;
};
ProgramFolders platformFolders(const std::string& exeDir, const FolderEnvironment& env);
// The environment's variables that say where the folders are: QARN3_PROG_DIR and
// QARN3_DATA_DIR (tests, portable use), XDG_DATA_HOME and HOME; on Windows LOCALAPPDATA,
// PROGRAMDATA and QARN3_ALL_USERS ("1" when the program was set up for every user).
FolderEnvironment folderEnvironment(const std::function<std::string(const char*)>& variable);
// When the file was last written, in microseconds since 1970 UTC; nothing when it is missing.
std::optional<std::int64_t> modifiedMicros(const std::string& path);

// A log the program appends lines to, kept to the user: the old one made ready to be
// replaced (writable again; removed unless keepOld, a link in its place only removed), then
// opened for appending at the first line, never through a link nor waiting on a FIFO, and
// kept only when it is a regular file of the user's with no other name. -1 when it cannot.
void clearLogPlace(const std::string& path, bool keepOld, const FileOwners& owners);
int openLogForAppend(const std::string& path, const FileOwners& owners);
// The whole of bytes at the end of the log in one write; false when it failed.
bool appendToLog(int fd, const std::string& bytes);
void closeLog(int fd);

// A new folder of a name no one had, made private: prefix + six characters chosen here.
// Nothing, with the reason in error, when none could be made.
std::optional<std::string> makeUniqueFolder(const std::string& prefix, std::string& error);

// Makes the file and removes it again: true when its folder takes a new file. Never through
// a link, never waiting on a FIFO of that name.
bool probeNewFile(const std::string& path);

// Creates the folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& folder);

} // namespace qarn3
