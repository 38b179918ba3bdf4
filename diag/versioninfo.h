#pragma once

#include <optional>
#include <string>

namespace qarn3 {

// A four-part version major.minor.release.build, compared in that order.
struct FourPartVersion {
    int major = 0;
    int minor = 0;
    int release = 0;
    int build = 0;

    friend auto operator<=>(const FourPartVersion&, const FourPartVersion&) = default;
};

// "1", "1.2", "1.2.3" or "1.2.3.4" (missing parts are 0); nothing for any other text.
std::optional<FourPartVersion> parseVersion(const std::string& text);
// "%d.%d.%d.%d".
std::string versionText(const FourPartVersion& v);
// The program's version as four numbers from its project version ("0.1.0" gives "0.1.0.0");
// "0.0.0.0" when the text is not a version.
std::string fourPartVersion(const std::string& projectVersion);

// What the program knows of its own file.
struct ModuleFacts {
    std::string path;    // full path of the program file
    std::string version; // four-part version of the program
};

// The version text of a file: the program's own version for the program file, empty for a
// missing file or any other file (they carry no version the program can read).
std::string FileVersionText(const std::string& path, const ModuleFacts& module);

// The help viewer's version name from its version text; empty for an empty text.
std::string ViewerFriendlyVerStr(const std::string& versionText);

// The browser's version text from its file version: old 4.x numbers (minor at most 70,
// release 0) move their build number into the release place. Empty stays empty.
std::string BrowserVerStr(const std::string& fileVersion);
// The browser's version name from its (renumbered) version text; empty for an empty text.
std::string BrowserFriendlyVerStr(const std::string& versionText);

} // namespace qarn3
