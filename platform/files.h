#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>

namespace qarn3 {

// File operations the records need. Replacing a file is atomic: the new contents go to a
// file beside it, which is renamed over the old one only once it is complete, so a failed
// write never leaves a missing or half-written file.
class FileStore {
public:
    virtual ~FileStore() = default;

    bool exists(const std::string& path) const;
    // The whole file, or nothing when it cannot be opened or read.
    std::optional<std::string> readAll(const std::string& path) const;
    // Writes bytes as the new contents of path. On failure the old file is untouched and
    // error holds the reason.
    bool replaceContents(const std::string& path, const std::string& bytes, std::string& error);
    // Removes or restores the write permission bits (the read-only attribute).
    bool setReadOnly(const std::string& path, bool readOnly);
    bool isReadOnly(const std::string& path) const;

protected:
    // One write of the replacement file; the seam through which tests make writes fail.
    virtual ssize_t writeSome(int fd, const char* data, std::size_t n);
};

// Joins a bare file name to a folder; a name with a folder of its own is kept as it is.
std::string resolveInFolder(const std::string& folder, const std::string& name);
// The file name without its folder.
std::string bareFileName(const std::string& path);

// The program folder (its own installed files) and the data folder (setup, calibration,
// results and waveforms). QARN3_PROG_DIR and QARN3_DATA_DIR override them.
struct ProgramFolders {
    std::string progFolder;
    std::string dataFolder;
};
// exeDir: the folder of the running program, used to find the installed files.
ProgramFolders platformFolders(const std::string& exeDir);
// Creates the folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& folder);

} // namespace qarn3
