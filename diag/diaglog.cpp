#include "diag/diaglog.h"
#include "platform/fspath.h"

#include "diag/sysreport.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/textformat.h"

#include <QDateTime>
#include <QLocale>

#include <filesystem>

namespace qarn3 {

namespace fs = std::filesystem;

std::string formatLogText(const std::string& format, const std::vector<LogArg>& args) {
    if (args.empty()) return format;
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        const char conversion = format[i + 1];
        if (conversion == '%') {
            out += '%';
            ++i;
        } else if (conversion == 's' || conversion == 'd') {
            if (next < args.size()) {
                const LogArg& a = args[next];
                if (const auto* s = std::get_if<std::string>(&a))
                    out += *s;
                else
                    out += std::to_string(std::get<long long>(a));
            }
            ++next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string withoutTrailingSlash(const std::string& folder) {
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    return f;
}

bool DiagFolders::IsFolderWritable(const std::string& folder) const {
    const std::string probe = withoutTrailingSlash(folder) + "/$_Temp_$.$$$";
    return probeNewFile(probe);
}

std::string DiagFolders::TempFolder() const {
    return userTempFolder(m_owners);
}

bool DiagFolders::mayHoldLog(const std::string& folder) const {
    std::error_code ec;
    return fs::is_directory(fsPath(folder), ec) &&
           folderProblem(folder, FolderUse::Own, m_owners).empty() && IsFolderWritable(folder);
}

namespace {

// The locale's long time format without its time zone: the stamp is read beside the report,
// which gives the date and zone once.
QString longTimeFormat(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == '\'') quoted = !quoted;
        if (!quoted && c == 't') continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

LogClock systemLogClock() {
    return {[] {
                const QLocale locale = QLocale::system();
                return locale.toString(QTime::currentTime(), longTimeFormat(locale)).toStdString();
            },
            [] {
                return QLocale::system()
                    .toString(QDateTime::currentDateTime(), QLocale::LongFormat)
                    .toStdString();
            }};
}

TDiagLogFile::TDiagLogFile(std::string path, bool KeepOld, bool WriteReport, bool StampLines,
                           bool Verbose, const SystemReportFacts& facts, DialogService& dialogs,
                           const DiagFolders& folders, LogClock clock)
    : m_owners(folders.owners()), m_keepOld(KeepOld), m_writeReport(WriteReport),
      m_stampLines(StampLines), m_verbose(Verbose), m_dialogs(dialogs), m_clock(std::move(clock)),
      m_appTitle(facts.appTitle) {
    if (path.empty()) path = defaultLogPath(facts.ProgFolder, folders);
    const fs::path p = fsPath(path);
    std::string folder = withoutTrailingSlash(utf8Of(p.parent_path()));
    const std::string temp = folders.TempFolder();
    if (folder.empty() || folder == temp || !folders.mayHoldLog(folder)) {
        // The temporary folder is shared: the log goes into the user's own folder there, made
        // private, and nowhere when another user has taken that name.
        folder = temp;
        m_refused = makeOwnFolder(folder, FolderUse::Private, m_owners);
    }
    m_path = folder + "/" + utf8Of(p.filename());
    if (!m_refused.empty()) {
        m_openTried = true; // nothing is written
        if (m_verbose)
            m_dialogs.systemBox("The diagnostic log " + m_path + " is not written: " + m_refused,
                                m_appTitle, {MsgButton::OK});
        return;
    }

    clearLogPlace(m_path, m_keepOld, m_owners);
    if (m_verbose && m_writeReport) writeSystemReport(*this, facts);
}

TDiagLogFile::~TDiagLogFile() {
    closeLog(m_fd);
}

int TDiagLogFile::logFile() {
    if (m_openTried) return m_fd;
    m_openTried = true;
    m_fd = openLogForAppend(m_path, m_owners);
    return m_fd;
}

void TDiagLogFile::WriteLogLine(const std::string& format, const std::vector<LogArg>& args) {
    const int fd = logFile();
    if (fd < 0) return;
    // One line stays one line: a line break in a file name or an argument is shown, not
    // obeyed (the report's tabs stay).
    std::string text = escapeControls(formatLogText(format, args));
    if (text == "-" || text == "=") text.assign(80, text[0]);
    std::string line;
    if (!text.empty() && (text[0] == '!' || text[0] == '-' || text[0] == '=')) {
        line = text.substr(1);
    } else {
        if (m_stampLines && m_clock.timeText) line = m_clock.timeText() + "   ";
        line += text;
    }
    line += "\r\n";
    // A whole line in one write, as the old append-and-close wrote it.
    appendToLog(fd, line);
}

void TDiagLogFile::DebugLogLine(const std::string& format, const std::vector<LogArg>& args) {
    if (m_verbose) WriteLogLine(format, args);
}

void TDiagLogFile::ErrorLogLine(const std::string& format, const std::vector<LogArg>& args) {
    const std::string text = formatLogText(format, args);
    m_dialogs.systemBox(text, m_appTitle, {MsgButton::OK});
    // Already formatted: a '%' in an argument must not be read as a format again.
    if (m_verbose) WriteLogLine(text);
}

} // namespace qarn3
