#pragma once

#include "diag/diaglog.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qarn3 {

class DialogService;

// Commands of the application's help event.
enum HelpCommand : unsigned {
    HELP_CONTEXT = 1,
    HELP_QUIT = 2,
    HELP_INDEX = 3,
    HELP_HELPONHELP = 4,
    HELP_SETINDEX = 5,
    HELP_CONTEXTPOPUP = 8,
    HELP_FORCEFILE = 9,
    HELP_CONTEXTMENU = 10,
    HELP_FINDER = 11,
    HELP_WM_HELP = 12,
    HELP_SETPOPUP_POS = 13,
    HELP_KEY = 257,
    HELP_COMMAND = 258,
    HELP_PARTIALKEY = 261,
    HELP_MULTIKEY = 513,
    HELP_SETWINPOS = 515,
};

// Help contexts of the windows.
constexpr int kMainWindowHelpContext = 1000;
constexpr int kCalibrationHelpContext = 2000;

// "HELP_CONTEXT", "HELP_INDEX or HELP_CONTENTS", ...; "??" for a number not listed.
std::string helpCommandName(unsigned command);
// The message of a ShowHelpContext result (empty for 0).
std::string helpErrorText(int code);
// The page a help context opens: the main window's, the calibration window's, else the start
// page.
std::string helpPageForContext(int context);
constexpr const char* kHelpStartPage = "index.html";

// The address of a help topic: "%20" becomes a space and the parts are trimmed; a topic is
// joined with "::" and a leading '/', a window with '>'; the prefix goes in front.
std::string HelpUrl(const std::string& file, const std::string& topic, const std::string& window,
                    const std::string& prefix);
// The help file named by an address (prefix, topic and window removed).
std::string helpFileOfAddress(const std::string& address);

// The program's own help window, reached through the hook.
class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    // The viewer's version text; empty when there is no viewer.
    virtual std::string version() const = 0;
    // Shows the help file at the page of the context; false when the file cannot be shown.
    virtual bool showContext(const std::string& helpFile, int context) = 0;
    virtual void closeAll() = 0;
};

// No help viewer: every help request gets the "not installed" message.
class NoHelpViewer : public HelpViewer {
public:
    std::string version() const override { return {}; }
    bool showContext(const std::string&, int) override { return false; }
    void closeAll() override {}
};

// Opens documents and links with the desktop's chosen application.
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    // True when the desktop took the document.
    virtual bool open(const std::string& target) = 0;
};

// The operator's guide as HTML pages in the user's web browser, for a build without the Qt
// help engine: the context's page in the folder "guide" beside the help file, opened through
// the shell (a failure is reported as OpenWithShell reports it).
class BrowserHelpViewer : public HelpViewer {
public:
    std::string version() const override { return "web browser"; }
    bool showContext(const std::string& helpFile, int context) override;
    void closeAll() override {}
    void setShell(ShellOpener* shell, TDiagLogFile* log);

private:
    ShellOpener* m_shell = nullptr;
    TDiagLogFile* m_log = nullptr;
};

// Opens file (with its parameters) through the desktop; on failure shows and logs the call
// and the reason. True on success.
bool OpenWithShell(ShellOpener& shell, TDiagLogFile& log, const std::string& file,
                   const std::string& parameters);
// "File Not Found", "Access Denied", ... for a failure number; "General Failure" otherwise.
std::string shellErrorText(int code);

// Takes over the application's help requests and shows them in the help viewer. One instance,
// created with the main window and destroyed with it.
class THelpSystemHook {
public:
    // Answers a help request; sets callHelp when the platform's own help should go on.
    using HelpHandler = std::function<bool(unsigned command, long data, bool& callHelp)>;

    THelpSystemHook(std::string ChmFile, std::string WindowName, int ViewerMode, HelpViewer& viewer,
                    DialogService& dialogs, TDiagLogFile* log, std::string appTitle,
                    HelpHandler previous = {});
    ~THelpSystemHook();
    THelpSystemHook(const THelpSystemHook&) = delete;
    THelpSystemHook& operator=(const THelpSystemHook&) = delete;

    // The application's help event; the answer is the handled flag.
    bool HelpHook(unsigned command, long data, bool& callHelp);
    int ShowHelpContext(const std::string& file, int context, const std::string& window, int mode);
    void ShowHelpError(int code);
    int ShowContext(const std::string& address, int context, int mode);
    // Help/Contents: the help file at its start page.
    void showContents();
    void closeAll();

    bool ViewerInstalled() const;
    const std::string& ChmFile() const { return m_chmFile; }
    long popupPosition() const { return m_popupPosition; }

private:
    void log(const std::string& format, const std::vector<LogArg>& args = {});

    std::string m_chmFile;
    std::string m_windowName;
    int m_viewerMode;
    HelpViewer& m_viewer;
    DialogService& m_dialogs;
    TDiagLogFile* m_log;
    std::string m_appTitle;
    HelpHandler m_previous;
    long m_popupPosition = 0;
};

} // namespace qarn3
