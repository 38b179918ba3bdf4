#include "records/sharedsettings.h"

#include "platform/files.h"
#include "platform/textformat.h"
#include "records/location.h"

#include <vector>

namespace qarn3 {

namespace {

constexpr const char* kName = "SharedDatabase";
constexpr const char* kHeading =
    "; QARN-3 shared records database: a PostgreSQL URI, never a password";

// The text's lines without their line ends and without a leading byte order mark.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = nl + 1;
    }
    return lines;
}

// The value when the line sets the shared database.
bool settingOf(const std::string& line, std::string& value) {
    const std::string trimmed = trimText(line);
    const std::size_t eq = trimmed.find('=');
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#' || trimmed[0] == '[' ||
        eq == std::string::npos || !equalsIgnoringCase(trimText(trimmed.substr(0, eq)), kName))
        return false;
    value = trimText(trimmed.substr(eq + 1));
    return true;
}

} // namespace

std::string sharedSettingsPath(const std::string& dataFolder) {
    return resolveInFolder(dataFolder, kSharedSettingsFileName);
}

std::string sharedUriProblem(const std::string& uri) {
    for (unsigned char c : uri)
        if (c < 0x20 || c == 0x7F) return "the URI holds a control character";
    DatabaseLocation where;
    std::string error;
    if (!DatabaseLocation::parse(uri, where, error)) return error;
    if (where.kind != DatabaseLocation::Kind::Postgres)
        return "the shared database is a PostgreSQL server, named by a URI beginning "
               "postgresql://";
    return {};
}

std::string parseSharedSettings(const std::string& text, SharedSettings& s) {
    s = SharedSettings{};
    std::string problem;
    for (const std::string& line : linesOf(text)) {
        std::string value;
        if (!settingOf(line, value)) continue;
        problem = value.empty() ? std::string() : sharedUriProblem(value);
        s.databaseUri = problem.empty() ? value : std::string();
    }
    return problem;
}

std::string sharedSettingsText(const SharedSettings& s, const std::string& previous) {
    const std::string setting = std::string(kName) + "=" + s.databaseUri;
    std::string text;
    bool placed = false;
    for (const std::string& line : linesOf(previous)) {
        std::string value;
        if (!settingOf(line, value)) {
            text += line + "\r\n";
        } else if (!placed) {
            text += setting + "\r\n";
            placed = true;
        }
    }
    if (text.empty()) text = std::string(kHeading) + "\r\n";
    if (!placed) text += setting + "\r\n";
    return text;
}

SharedSettings readSharedSettings(FileStore& files, const std::string& path, std::string& problem) {
    problem.clear();
    SharedSettings s;
    if (!files.exists(path)) return s;
    // The file chooses the server a typed password goes to: another user's is not followed,
    // and one of the user's made readable to others (an open umask) is made private.
    if (const std::string why = files.makeOwnerOnly(path); !why.empty()) {
        problem = "The file " + path +
                  " is not read, as it names the server a password is given to: " + why;
        return s;
    }
    const auto text = files.readPrefix(path, kSharedSettingsReadLimit + 1);
    if (!text) {
        problem = "Error reading file: " + path;
    } else if (text->size() > kSharedSettingsReadLimit) {
        problem = "The file " + path + " is longer than " +
                  std::to_string(kSharedSettingsReadLimit) + " bytes";
    } else if (const std::string bad = parseSharedSettings(*text, s); !bad.empty()) {
        problem = "The shared database set in " + path + " cannot be used: " + bad;
    }
    return s;
}

bool writeSharedSettings(FileStore& files, const std::string& path, const SharedSettings& s,
                         std::string& error) {
    std::string previous;
    if (files.exists(path)) {
        const auto text = files.readPrefix(path, kSharedSettingsReadLimit + 1);
        if (text && text->size() > kSharedSettingsReadLimit) {
            error = "the file is longer than " + std::to_string(kSharedSettingsReadLimit) +
                    " bytes and is left as it is";
            return false;
        }
        if (text) previous = *text;
    }
    return files.replaceContents(path, sharedSettingsText(s, previous), error,
                                 FileAccess::OwnerOnly);
}

} // namespace qarn3
