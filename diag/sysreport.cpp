#include "diag/sysreport.h"
#include "platform/fspath.h"

#include "diag/diaglog.h"
#include "diag/versioninfo.h"

#include <QLocale>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace qarn3 {

namespace {

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text(64 * 1024, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The text cut to at most n characters of UTF-8, never inside one.
std::string firstCharacters(const std::string& s, std::size_t n) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue; // continuation byte
        if (count == n) return s.substr(0, i);
        ++count;
    }
    return s;
}

} // namespace

std::string osReleaseValue(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 ||
            line[key.size()] != '=')
            continue;
        const std::string raw = line.substr(key.size() + 1);
        if (raw.empty() || (raw[0] != '"' && raw[0] != '\'')) return raw;
        // A quoted value: backslash escapes in double quotes, none in single quotes.
        std::string value;
        const char quote = raw[0];
        for (std::size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
            if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
            value += raw[i];
        }
        return value;
    }
    return {};
}

OsFacts readOsFacts(const std::string& root) {
    OsFacts os;
    std::string text = readSmallFile(root + "/etc/os-release");
    if (text.empty()) text = readSmallFile(root + "/usr/lib/os-release");
    if (const std::string name = osReleaseValue(text, "NAME"); !name.empty()) os.name = name;
    const std::string version = osReleaseValue(text, "VERSION_ID");
    int* parts[] = {&os.major, &os.minor, &os.build};
    const char* p = version.data();
    const char* end = p + version.size();
    for (int* part : parts) {
        const auto [next, ec] = std::from_chars(p, end, *part);
        if (ec != std::errc() || next == end || *next != '.') break;
        p = next + 1;
    }
    const std::string kernel = trimmed(readSmallFile(root + "/proc/sys/kernel/osrelease"));
    os.extra = kernel.empty() ? "No Service Pack" : "Kernel " + kernel;
    return os;
}

LocaleFacts localeFacts(const QLocale& locale) {
    return {locale.name().toStdString(),
            locale.bcp47Name().toStdString(),
            QLocale::languageToString(locale.language()).toStdString(),
            QLocale::languageToCode(locale.language()).toStdString(),
            QLocale::territoryToString(locale.territory()).toStdString(),
            QLocale::territoryToCode(locale.territory()).toStdString()};
}

bool isDebugSwitch(const std::string& arg) {
    return strcasecmp(arg.c_str(), "/debug") == 0 || strcasecmp(arg.c_str(), "-debug") == 0;
}

bool debugModeOn(const std::string& progFolder, const std::vector<std::string>& args) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(fsPath(progFolder + "/debug.debug"), ec)) return true;
    for (const std::string& a : args)
        if (isDebugSwitch(a)) return true;
    return false;
}

std::string defaultLogPath(const std::string& progFolder, const DiagFolders& folders) {
    const std::string folder =
        folders.mayHoldLog(progFolder) ? withoutTrailingSlash(progFolder) : folders.TempFolder();
    return folder + "/HelpDebug.txt";
}

void writeSystemReport(TDiagLogFile& log, const SystemReportFacts& f) {
    auto tab = [](const std::string& s) { return LogArg("\t" + s); };
    auto yesNo = [](const std::string& s) { return s.empty() ? "NO" : "YES"; };
    std::string joined;
    for (std::size_t i = 0; i < f.args.size(); ++i)
        joined += (i ? " | " : "") + f.args[i];
    const std::string cmdline = firstCharacters("\t" + f.rawCommandLine, 255);

    log.WriteLogLine("=");
    log.WriteLogLine("!Log File:             %s", {tab(log.LogPath())});
    log.WriteLogLine("!Date:                 %s", {tab(log.dateTimeText())});
    log.WriteLogLine("!Operating System:      %s %d.%d (Build %d) %s",
                     {tab(f.os.name), static_cast<long long>(f.os.major),
                      static_cast<long long>(f.os.minor), static_cast<long long>(f.os.build),
                      f.os.extra});
    log.WriteLogLine("!SysLocale.DefaultLCID: %s (%s)", {tab(f.locale.name), f.locale.bcp47});
    log.WriteLogLine("!SysLocale.PriLangID:   %s (%s)",
                     {tab(f.locale.language), f.locale.languageCode});
    log.WriteLogLine("!SysLocale.SubLangID:   %s (%s)",
                     {tab(f.locale.territory), f.locale.territoryCode});
    log.WriteLogLine("!DecimalSeparator:      %s", {tab(std::string(1, f.decimalSeparator))});
    log.WriteLogLine("-");
    log.WriteLogLine("!EXE Path =          %s", {tab(f.exePath)});
    log.WriteLogLine("!EXE Version =       %s", {tab(f.exeVersion)});
    log.WriteLogLine("!Cmdline Param(s) =  %s", {tab(joined)});
    log.WriteLogLine("!Actual CmdLine =  %s", {cmdline});
    log.WriteLogLine("!RunDir =           %s", {tab(f.RunDir)});
    log.WriteLogLine("!ModuleName =       %s", {tab(f.ModuleName)});
    log.WriteLogLine("!ModuleDir =        %s", {tab(f.ModuleDir)});
    log.WriteLogLine("!ModulePath =        %s", {tab(f.ModulePath)});
    log.WriteLogLine("!Module Version =       %s", {tab(f.moduleVersion)});
    log.WriteLogLine("-");
    log.WriteLogLine("!ViewerInstalled =      %s", {tab(yesNo(f.ViewerVerStr))});
    log.WriteLogLine("!ViewerVerStr =         %s", {tab(f.ViewerVerStr)});
    log.WriteLogLine("!ViewerFriendlyVerStr = %s", {tab(ViewerFriendlyVerStr(f.ViewerVerStr))});
    log.WriteLogLine("-");
    log.WriteLogLine("!BrowserInstalled =      %s", {tab(yesNo(f.BrowserVerStr))});
    log.WriteLogLine("!BrowserVerStr =         %s", {tab(f.BrowserVerStr)});
    log.WriteLogLine("!BrowserFriendlyVerStr = %s", {tab(BrowserFriendlyVerStr(f.BrowserVerStr))});
    log.WriteLogLine("=");
}

} // namespace qarn3
