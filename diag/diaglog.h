#pragma once

#include "platform/owners.h"

#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace qarn3 {

class DialogService;
struct SystemReportFacts;

// One argument of a log line's format: a text for %s, a whole number for %d.
using LogArg = std::variant<std::string, long long>;

// The format with its %s and %d replaced by the arguments in order ("%%" gives "%"); the
// format itself when there are no arguments. A missing argument leaves its place empty.
std::string formatLogText(const std::string& format, const std::vector<LogArg>& args = {});

// Where the diagnostic log may go. Tests replace the folder checks (the program runs as root in
// CI, where every folder can be written) or the owners the checks see.
class DiagFolders {
public:
    explicit DiagFolders(const FileOwners& owners = systemFileOwners()) : m_owners(owners) {}
    virtual ~DiagFolders() = default;
    // Creates and removes the probe file "$_Temp_$.$$$" in the folder.
    virtual bool IsFolderWritable(const std::string& folder) const;
    // The user's own folder in the temporary folder ("QARN3-<uid>" in $TMPDIR); the log
    // makes it, private, when it goes there.
    virtual std::string TempFolder() const;
    // A folder the log may be kept in: the user's own (no other user may write to it or
    // plant a file there), and writable.
    bool mayHoldLog(const std::string& folder) const;
    const FileOwners& owners() const { return m_owners; }

private:
    const FileOwners& m_owners;
};

// The folder without its trailing '/' characters ("/" stays "/").
std::string withoutTrailingSlash(const std::string& folder);

// The texts of the log's time stamps.
struct LogClock {
    std::function<std::string()> timeText;     // now, in the platform's long time format
    std::function<std::string()> dateTimeText; // now, date and time in the platform's format
};
// The system locale's formats (Qt's locale, not the C library's).
LogClock systemLogClock();

// The diagnostic log file "HelpDebug.txt": a text file headed by a system report, written
// only in debug mode. The file is opened once, at its first line, without following a link
// or waiting on a FIFO, and kept only when it is a regular file of the user's; every line is
// written at once, so the log survives a crash up to its last line.
class TDiagLogFile {
public:
    // Opens the log at once: an unusable folder, or one that is not the user's own, sends it
    // to the temporary folder (refused, with a box in verbose mode, when that is not the
    // user's either); an old log is made writable and (unless KeepOld) deleted, and in
    // verbose mode the report is written.
    TDiagLogFile(std::string path, bool KeepOld, bool WriteReport, bool StampLines, bool Verbose,
                 const SystemReportFacts& facts, DialogService& dialogs, const DiagFolders& folders,
                 LogClock clock = systemLogClock());

    ~TDiagLogFile();
    TDiagLogFile(const TDiagLogFile&) = delete;
    TDiagLogFile& operator=(const TDiagLogFile&) = delete;

    // Appends one line whatever the mode; a file that cannot be opened drops the line. Control
    // characters of the line (a line break in a file name) are written as "\x0a".
    void WriteLogLine(const std::string& format, const std::vector<LogArg>& args = {});
    // WriteLogLine in verbose (debug) mode only.
    void DebugLogLine(const std::string& format, const std::vector<LogArg>& args = {});
    // Shows the text in a box titled with the application title, then logs it when verbose.
    void ErrorLogLine(const std::string& format, const std::vector<LogArg>& args = {});

    const std::string& LogPath() const { return m_path; }
    // Now, as the report's date row shows it.
    std::string dateTimeText() const {
        return m_clock.dateTimeText ? m_clock.dateTimeText() : std::string();
    }
    bool Verbose() const { return m_verbose; }
    bool StampLines() const { return m_stampLines; }
    bool WriteReport() const { return m_writeReport; }
    bool KeepOld() const { return m_keepOld; }

private:
    // The open log, opened at the first line; -1 when it cannot be.
    int logFile();

    std::string m_path;
    std::string m_refused; // why the log's folder is not used; empty when it is
    const FileOwners& m_owners;
    int m_fd = -1;
    bool m_openTried = false;
    bool m_keepOld;
    bool m_writeReport;
    bool m_stampLines;
    bool m_verbose;
    DialogService& m_dialogs;
    LogClock m_clock;
    std::string m_appTitle;
};

} // namespace qarn3
