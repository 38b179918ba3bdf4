#include "help/helpsys.h"
#include "platform/fspath.h"

#include "platform/dialogs.h"

#include <cerrno>
#include <filesystem>
#include <unistd.h>

namespace qarn3 {

std::string helpCommandName(unsigned command) {
    switch (command) {
    case HELP_CONTEXT:
        return "HELP_CONTEXT";
    case HELP_QUIT:
        return "HELP_QUIT";
    case HELP_INDEX:
        return "HELP_INDEX or HELP_CONTENTS";
    case HELP_HELPONHELP:
        return "HELP_HELPONHELP";
    case HELP_SETINDEX:
        return "HELP_SETINDEX or HELP_SETCONTENTS";
    case HELP_CONTEXTPOPUP:
        return "HELP_CONTEXTPOPUP";
    case HELP_FORCEFILE:
        return "HELP_FORCEFILE";
    case HELP_CONTEXTMENU:
        return "HELP_CONTEXTMENU";
    case HELP_FINDER:
        return "HELP_FINDER";
    case HELP_WM_HELP:
        return "HELP_WM_HELP";
    case HELP_SETPOPUP_POS:
        return "HELP_SETPOPUP_POS";
    case HELP_KEY:
        return "HELP_KEY";
    case HELP_COMMAND:
        return "HELP_COMMAND";
    case HELP_PARTIALKEY:
        return "HELP_PARTIALKEY";
    case HELP_MULTIKEY:
        return "HELP_MULTIKEY";
    case HELP_SETWINPOS:
        return "HELP_SETWINPOS";
    default:
        return "??";
    }
}

std::string helpErrorText(int code) {
    switch (code) {
    case 0:
        return {};
    case 1:
        return "MS Html Help is not installed on this PC.";
    case 2:
        return "System file KeyHH.EXE was not found in the Windows folder.";
    case 3:
        return "System file HH.EXE was not found in the Windows folder.";
    default:
        return "Unknown error returned by ShowHelpContext";
    }
}

std::string helpPageForContext(int context) {
    switch (context) {
    case kMainWindowHelpContext:
        return "main-window.html";
    case kCalibrationHelpContext:
        return "calibration.html";
    default:
        return kHelpStartPage;
    }
}

namespace {

std::string cleanPart(std::string s) {
    for (std::size_t at; (at = s.find("%20")) != std::string::npos;)
        s.replace(at, 3, 1, ' ');
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

constexpr const char* kPrefixes[] = {"mk:@MSITStore:", "ms-its:"};

} // namespace

std::string HelpUrl(const std::string& file, const std::string& topic, const std::string& window,
                    const std::string& prefix) {
    std::string address = cleanPart(file);
    if (std::string t = cleanPart(topic); !t.empty()) {
        for (char& c : t)
            if (c == '\\') c = '/';
        if (t.front() != '/') t.insert(t.begin(), '/');
        address += "::" + t;
    }
    if (const std::string w = cleanPart(window); !w.empty()) address += ">" + w;
    return prefix + address;
}

std::string helpFileOfAddress(const std::string& address) {
    std::string file = address;
    for (const char* prefix : kPrefixes) {
        const std::string p(prefix);
        if (file.compare(0, p.size(), p) == 0) {
            file.erase(0, p.size());
            break;
        }
    }
    return file.substr(0, std::min(file.find("::"), file.find('>')));
}

std::string shellErrorText(int code) {
    switch (code) {
    case 2:
        return "File Not Found";
    case 3:
        return "Path Not Found";
    case 5:
        return "Access Denied";
    case 8:
        return "Insufficient Memory";
    case 19:
        return "Media Is Write Protected";
    case 21:
        return "Device Not Ready";
    case 32:
    case 33:
        return "File In Use";
    case 39:
    case 112:
        return "Disk Full";
    case 276:
    case 1005:
    case 1392:
    case 1393:
        return "Corrupt File Or Disk";
    case 1009:
    case 1358:
        return "Corrupt Registry";
    case 1150:
        return "Windows Version Incorrect";
    case 1151:
        return "Not A Windows Or MSDos Program";
    default:
        return "General Failure";
    }
}

namespace {

// The failure number of a target the desktop would not open: what is wrong with a local file,
// else a general failure.
int shellFailure(const std::string& target) {
    const bool local =
        target.find("://") == std::string::npos && target.compare(0, 7, "mailto:") != 0;
    if (!local) return 31;
    std::error_code ec;
    const std::filesystem::path p = fsPath(target);
    if (!std::filesystem::exists(p, ec)) {
        const auto parent = p.parent_path();
        return parent.empty() || std::filesystem::is_directory(parent, ec) ? 2 : 3;
    }
    if (::access(target.c_str(), R_OK) != 0 && errno == EACCES) return 5;
    return 31;
}

} // namespace

bool OpenWithShell(ShellOpener& shell, TDiagLogFile& log, const std::string& file,
                   const std::string& parameters) {
    const std::string target = parameters.empty() ? file : file + " " + parameters;
    if (shell.open(target)) return true;
    const int code = shellFailure(file);
    log.ErrorLogLine(
        "Function ShellExecute(%s)\rReturned: %s",
        {file + ", " + parameters, "[Error:" + std::to_string(code) + "] " + shellErrorText(code)});
    return false;
}

void BrowserHelpViewer::setShell(ShellOpener* shell, TDiagLogFile* log) {
    m_shell = shell;
    m_log = log;
}

bool BrowserHelpViewer::showContext(const std::string& helpFile, int context) {
    const std::filesystem::path page =
        fsPath(helpFile).parent_path() / "guide" / fsPath(helpPageForContext(context));
    std::error_code ec;
    if (!m_shell || !std::filesystem::is_regular_file(page, ec)) return false;
    return m_log ? OpenWithShell(*m_shell, *m_log, genericUtf8Of(page), "")
                 : m_shell->open(genericUtf8Of(page));
}

THelpSystemHook::THelpSystemHook(std::string ChmFile, std::string WindowName, int ViewerMode,
                                 HelpViewer& viewer, DialogService& dialogs, TDiagLogFile* log,
                                 std::string appTitle, HelpHandler previous)
    : m_chmFile(std::move(ChmFile)), m_windowName(std::move(WindowName)), m_viewerMode(ViewerMode),
      m_viewer(viewer), m_dialogs(dialogs), m_log(log), m_appTitle(std::move(appTitle)),
      m_previous(std::move(previous)) {
    this->log("THelpSystemHook.Create(\"%s\",\"%s\", %d)",
              {m_chmFile, m_windowName, static_cast<long long>(m_viewerMode)});
}

THelpSystemHook::~THelpSystemHook() {
    if (m_viewerMode == 0) m_viewer.closeAll();
    log("THelpSystemHook.Destroy");
}

void THelpSystemHook::log(const std::string& format, const std::vector<LogArg>& args) {
    if (m_log) m_log->DebugLogLine(format, args);
}

bool THelpSystemHook::ViewerInstalled() const {
    return !m_viewer.version().empty();
}

bool THelpSystemHook::HelpHook(unsigned command, long data, bool& callHelp) {
    log("THelpSystemHook.HelpHook(%s, %d)",
        {std::to_string(command) + " (" + helpCommandName(command) + ")",
         static_cast<long long>(data)});
    callHelp = false;
    bool handled = true;
    if (m_previous) {
        bool ignored = false;
        handled = m_previous(command, data, ignored);
    }
    if (command == HELP_CONTEXT || command == HELP_CONTEXTPOPUP)
        ShowHelpError(
            ShowHelpContext(m_chmFile, static_cast<int>(data), m_windowName, m_viewerMode));
    else if (command == HELP_SETPOPUP_POS)
        m_popupPosition = data;
    else
        callHelp = true;
    return handled;
}

int THelpSystemHook::ShowHelpContext(const std::string& file, int context,
                                     const std::string& window, int mode) {
    log("ShowHelpContext(\"%s\", %d, \"%s\", %d)",
        {file, static_cast<long long>(context), window, static_cast<long long>(mode)});
    const std::string address = HelpUrl(file, "", window, mode == 2 ? "mk:@MSITStore:" : "");
    return ShowContext(address, context, mode);
}

int THelpSystemHook::ShowContext(const std::string& address, int context, int mode) {
    log("ShowContext(\"%s\", %d)", {address, static_cast<long long>(context)});
    int result = 0;
    if (!ViewerInstalled()) {
        result = 1;
    } else if (mode == 0) {
        // A help file that is missing or cannot be read counts as no help installed.
        const std::string file = helpFileOfAddress(address);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(fsPath(file), ec) ||
            !m_viewer.showContext(file, context))
            result = 1;
    } else {
        // The external viewer programs do not exist on this platform.
        result = mode == 1 ? 2 : 3;
    }
    log("  returned - %d", {static_cast<long long>(result)});
    return result;
}

void THelpSystemHook::ShowHelpError(int code) {
    if (code == 0) return;
    const std::string text = helpErrorText(code);
    m_dialogs.systemBox(text, m_appTitle, {MsgButton::OK});
    log("ShowHelpError(%d), \"%s\"", {static_cast<long long>(code), text});
}

void THelpSystemHook::showContents() {
    ShowHelpError(ShowContext(HelpUrl(m_chmFile, "", "", ""), 0, 0));
}

void THelpSystemHook::closeAll() {
    m_viewer.closeAll();
}

} // namespace qarn3
