#pragma once

#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace qarn3 {

#ifdef _WIN32
// Windows keeps owners as security identifiers; the checks here see every file as the user's.
using uid_t = unsigned int;
#endif

// What the ownership checks ask of the system: an entry's owner and mode, and the user the
// program acts for. The seam through which tests present a file of another user (the suite
// runs as root in CI, where a test cannot always make one).
class FileOwners {
public:
    virtual ~FileOwners() = default;
    // lstat(2): the entry itself, a link not followed; false when there is none.
    virtual bool entry(const std::string& path, struct stat& st) const;
    // The effective user id.
    virtual uid_t user() const;
};
// The system's answers.
const FileOwners& systemFileOwners();

// The path with its symbolic links followed, each only where the kernel follows it when it
// protects links in shared folders: a link in a sticky folder that every user may write
// (such as the temporary folder) is followed only when it belongs to the user or to the
// folder's owner. Another user's link there gives nothing, with the reason in why. The part
// of the path that does not exist is kept as it is; a relative path is taken from the current
// folder.
std::optional<std::string> followLinksSafely(const std::string& path, std::string& why,
                                             const FileOwners& owners = systemFileOwners());

// Which folders may hold the program's files.
enum class FolderUse {
    Own,     // the user's, and no other user may write to it (a group may: umask 002)
    Private, // made by the program in a shared place: the user's, and only theirs to write
};
// Empty when the folder may be used so, else why not, naming the folder.
std::string folderProblem(const std::string& folder, FolderUse use,
                          const FileOwners& owners = systemFileOwners());
// Empty when the file (its links followed as followLinksSafely does) is missing or is the
// user's, else why not, naming it: a file another user may replace or edit is not one whose
// contents the program may act on when they decide where a secret goes.
std::string ownFileProblem(const std::string& path, const FileOwners& owners = systemFileOwners());
// Creates the folder when it is missing (with its parents; the folder itself mode 0700 for
// Private), then checks it as folderProblem does.
std::string makeOwnFolder(const std::string& folder, FolderUse use,
                          const FileOwners& owners = systemFileOwners());

// Files the program keeps to the user alone (the records database and its journals). Each
// that exists must be the user's file; then, and only when all are, their group's and
// others' mode bits are cleared. Empty when they may be used so (or are missing), else why
// not, naming the file.
std::string keepFilesPrivate(const std::vector<std::string>& paths,
                             const FileOwners& owners = systemFileOwners());
// Makes the missing file empty with mode 0600 whatever the umask, never through a link; false
// (errno set) when it cannot be made. An existing file is left as it is (true).
bool makePrivateFile(const std::string& path);

// The temporary folder: tmpdir (the value of $TMPDIR, may be null) when it names a folder,
// else the system's; no trailing '/'.
std::string tempFolderFrom(const char* tmpdir);
// The user's folder in the temporary folder, the same name at every start: "QARN3-<uid>".
// Make it with makeOwnFolder(…, FolderUse::Private): another user may have taken the name.
std::string userTempFolder(const FileOwners& owners = systemFileOwners());

} // namespace qarn3
