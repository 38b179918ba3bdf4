#pragma once

#include <string>
#include <vector>

class QLocale;

namespace qarn3 {

class DiagFolders;
class TDiagLogFile;

// The operating system as the report names it: from the distribution's os-release file and
// the kernel's release.
struct OsFacts {
    std::string name = "Linux"; // NAME
    int major = 0;              // VERSION_ID, first number
    int minor = 0;              // second number
    int build = 0;              // third number
    std::string extra;          // "Kernel " + release, or "No Service Pack" when unknown
};

// Reads root + "/etc/os-release" (else root + "/usr/lib/os-release") and the kernel release
// root + "/proc/sys/kernel/osrelease"; root is "" on a running system, a folder in tests.
OsFacts readOsFacts(const std::string& root);
// One value of an os-release text (quotes and escapes removed); empty when absent.
std::string osReleaseValue(const std::string& text, const std::string& key);

// The user's locale as the report shows it.
struct LocaleFacts {
    std::string name;          // "de_DE"
    std::string bcp47;         // "de-DE"
    std::string language;      // "German"
    std::string languageCode;  // "de"
    std::string territory;     // "Germany"
    std::string territoryCode; // "DE"
};
LocaleFacts localeFacts(const QLocale& locale);

// Everything the system report prints, computed once at start before the log is opened.
struct SystemReportFacts {
    std::string appTitle;          // caption of the log's message boxes
    std::string exePath;           // the program path as the command line gave it
    std::vector<std::string> args; // arguments 1..n
    std::string rawCommandLine;    // the whole command line
    std::string ModulePath;        // full path of the program file
    std::string ModuleDir;         // its folder, no trailing '/'
    std::string ModuleName;        // its file name
    std::string RunDir;            // folder of exePath (ModuleDir when it has none)
    std::string ProgFolder;        // the program folder (QARN3_PROG_DIR): debug.debug, the log
    std::string exeVersion;        // FileVersionText of exePath
    std::string moduleVersion;     // FileVersionText of ModulePath
    bool DebugEnabled = false;
    OsFacts os;
    LocaleFacts locale;
    char decimalSeparator = '.';
    std::string ViewerVerStr;  // the help viewer's version, empty when none
    std::string BrowserVerStr; // empty on this platform
};

// "debug.debug" in the program folder, else an argument "/debug" or "-debug" in any case.
bool isDebugSwitch(const std::string& arg);
bool debugModeOn(const std::string& progFolder, const std::vector<std::string>& args);

// The default log: "HelpDebug.txt" in the program folder when it is the user's own and can be
// written, else in the user's folder in the temporary folder.
std::string defaultLogPath(const std::string& progFolder, const DiagFolders& folders);

// The 27 rows of the report.
void writeSystemReport(TDiagLogFile& log, const SystemReportFacts& facts);

} // namespace qarn3
