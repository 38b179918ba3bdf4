#pragma once

#include <cstddef>
#include <string>

namespace qarn3 {

class FileStore;

// The program's setting for a company's shared records database: its URI, which never holds
// a password. Kept in a small file of "Name=value" lines in the data folder, of its own so
// that the setup and site files stay as other programs read them.
struct SharedSettings {
    std::string databaseUri; // empty: no shared database set
};

constexpr const char* kSharedSettingsFileName = "QARN3Shared.ini";
// The most of the file that is read: a few short lines, with room to spare.
constexpr std::size_t kSharedSettingsReadLimit = 8192;

std::string sharedSettingsPath(const std::string& dataFolder);

// Why a URI cannot be the shared database (empty when it can): one that cannot be read,
// holds a password, or names a file rather than a PostgreSQL server. The text never quotes
// the URI, which may hold a password.
std::string sharedUriProblem(const std::string& uri);

// Reads the file's text into the settings. A UTF-8 byte order mark, blank lines, comments
// (';' or '#'), section headings and names it does not know are passed over; names are taken
// in any case, the last of a name wins. A value that cannot be used leaves the setting empty
// and the result says why; else it is empty.
std::string parseSharedSettings(const std::string& text, SharedSettings& s);

// The file's new text: the lines of the previous text that are not the setting (comments, a
// later version's names) kept in their order, the setting where it was or at the end. Lines
// end with CR LF.
std::string sharedSettingsText(const SharedSettings& s, const std::string& previous = {});

// Reads the file: a missing one gives no setting without a word; another user's, one that
// cannot be read, is longer than the read limit or holds a value that cannot be used gives no
// setting and problem names the file and the reason. The user's own file readable by others
// is made 0600 first.
SharedSettings readSharedSettings(FileStore& files, const std::string& path, std::string& problem);
// Writes the setting, keeping the file's other lines; atomic, mode 0600 whatever the umask, a
// read-only file refused. False with the reason on failure, the old file as it was.
bool writeSharedSettings(FileStore& files, const std::string& path, const SharedSettings& s,
                         std::string& error);

} // namespace qarn3
