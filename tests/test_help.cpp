#include "diag/diaglog.h"
#include "diag/sysreport.h"
#include "help/helpsys.h"
#include "platform/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace qarn3;
namespace fs = std::filesystem;

namespace {

TEST(HelpUrl, SpacesSlashesWindowsAndPrefixes) {
    EXPECT_EQ(HelpUrl("/opt/My%20Help/QARN3.qch", "", "", ""), "/opt/My Help/QARN3.qch");
    EXPECT_EQ(HelpUrl("  a.qch  ", " %20x\\y.html ", "", ""), "a.qch::/x/y.html");
    EXPECT_EQ(HelpUrl("a.qch", "/top.html", "main", "ms-its:"), "ms-its:a.qch::/top.html>main");
    EXPECT_EQ(HelpUrl("a.qch", "", "%20w%20", "mk:@MSITStore:"), "mk:@MSITStore:a.qch>w");
    EXPECT_EQ(helpFileOfAddress("mk:@MSITStore:/x y/a.qch::/t.html>w"), "/x y/a.qch");
    EXPECT_EQ(helpFileOfAddress("/x/a.qch"), "/x/a.qch");
}

TEST(HelpUrl, ContextsOpenTheirPages) {
    EXPECT_EQ(helpPageForContext(1000), "main-window.html");
    EXPECT_EQ(helpPageForContext(2000), "calibration.html");
    EXPECT_EQ(helpPageForContext(0), "index.html");
    EXPECT_EQ(helpPageForContext(1), "index.html");
}

TEST(HelpUrl, CommandNames) {
    EXPECT_EQ(helpCommandName(1), "HELP_CONTEXT");
    EXPECT_EQ(helpCommandName(3), "HELP_INDEX or HELP_CONTENTS");
    EXPECT_EQ(helpCommandName(515), "HELP_SETWINPOS");
    EXPECT_EQ(helpCommandName(6), "??");
    EXPECT_EQ(helpCommandName(0), "??");
}

// A viewer that records what it was asked to show.
class RecordingViewer : public HelpViewer {
public:
    std::string version() const override { return installed ? "6.4.2" : ""; }
    bool showContext(const std::string& file, int context) override {
        shown.emplace_back(file, context);
        return opens;
    }
    void closeAll() override { ++closed; }

    bool installed = true;
    bool opens = true;
    std::vector<std::pair<std::string, int>> shown;
    int closed = 0;
};

class HelpHookTest : public ::testing::Test {
protected:
    HelpHookTest() {
        char tmpl[] = "/tmp/qarn3-help-XXXXXX";
        folder = ::mkdtemp(tmpl);
        helpFile = folder + "/QARN3.qch";
        std::ofstream(helpFile).put('x');
        facts.appTitle = "QARN3 Breaker Tester Analyzer";
        log = std::make_unique<TDiagLogFile>(folder + "/HelpDebug.txt", false, false, false, true,
                                             facts, dialogs, folders);
    }
    ~HelpHookTest() override { fs::remove_all(folder); }

    std::unique_ptr<THelpSystemHook> hook(int mode = 0,
                                          THelpSystemHook::HelpHandler previous = {}) {
        return std::make_unique<THelpSystemHook>(helpFile, "", mode, viewer, dialogs, log.get(),
                                                 facts.appTitle, std::move(previous));
    }
    std::vector<std::string> logLines() const {
        std::ifstream in(folder + "/HelpDebug.txt", std::ios::binary);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);)
            out.push_back(line.substr(0, line.size() - 1));
        return out;
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> out;
        for (const auto& r : dialogs.shown())
            out.push_back(r.caption + ": " + r.text);
        return out;
    }

    std::string folder;
    std::string helpFile;
    SystemReportFacts facts;
    ScriptedDialogs dialogs;
    DiagFolders folders;
    RecordingViewer viewer;
    std::unique_ptr<TDiagLogFile> log;
};

TEST_F(HelpHookTest, ContextRequestShowsTheHelpFileAtThatContext) {
    auto h = hook();
    bool callHelp = true;
    EXPECT_TRUE(h->HelpHook(HELP_CONTEXT, 2000, callHelp));
    EXPECT_FALSE(callHelp);
    ASSERT_EQ(viewer.shown.size(), 1u);
    EXPECT_EQ(viewer.shown[0], std::make_pair(helpFile, 2000));
    EXPECT_TRUE(dialogs.shown().empty());
    const auto lines = logLines();
    EXPECT_EQ(lines.at(0), "THelpSystemHook.Create(\"" + helpFile + "\",\"\", 0)");
    EXPECT_EQ(lines.at(1), "THelpSystemHook.HelpHook(1 (HELP_CONTEXT), 2000)");
    EXPECT_EQ(lines.at(2), "ShowHelpContext(\"" + helpFile + "\", 2000, \"\", 0)");
    EXPECT_EQ(lines.at(3), "ShowContext(\"" + helpFile + "\", 2000)");
    EXPECT_EQ(lines.at(4), "  returned - 0");
}

TEST_F(HelpHookTest, MissingHelpFileSaysNotInstalledAndNothingElse) {
    fs::remove(helpFile);
    auto h = hook();
    bool callHelp = true;
    h->HelpHook(HELP_CONTEXT, 1000, callHelp);
    h->showContents();
    EXPECT_TRUE(viewer.shown.empty());
    EXPECT_EQ(boxes(),
              (std::vector<std::string>{
                  "QARN3 Breaker Tester Analyzer: MS Html Help is not installed on this PC.",
                  "QARN3 Breaker Tester Analyzer: MS Html Help is not installed on this PC."}));
    EXPECT_EQ(logLines().back(), "ShowHelpError(1), \"MS Html Help is not installed on this PC.\"");
}

TEST_F(HelpHookTest, ViewerThatCannotOpenTheFileOrIsMissingSaysNotInstalled) {
    viewer.opens = false;
    auto h = hook();
    bool callHelp = false;
    h->HelpHook(HELP_CONTEXTPOPUP, 1000, callHelp);
    viewer.installed = false;
    h->HelpHook(HELP_CONTEXT, 1000, callHelp);
    EXPECT_EQ(viewer.shown.size(), 1u); // the uninstalled viewer is not asked
    EXPECT_EQ(dialogs.shown().size(), 2u);
}

TEST_F(HelpHookTest, ExternalViewerModesReportTheirMissingPrograms) {
    auto h = hook(1);
    bool callHelp = false;
    h->HelpHook(HELP_CONTEXT, 1000, callHelp);
    auto h2 = hook(2);
    h2->HelpHook(HELP_CONTEXT, 1000, callHelp);
    EXPECT_EQ(h2->ShowContext("x", 1, 7), 3);
    h->ShowHelpError(9);
    EXPECT_EQ(boxes(),
              (std::vector<std::string>{
                  "QARN3 Breaker Tester Analyzer: System file KeyHH.EXE was not found in the "
                  "Windows folder.",
                  "QARN3 Breaker Tester Analyzer: System file HH.EXE was not found in the Windows "
                  "folder.",
                  "QARN3 Breaker Tester Analyzer: Unknown error returned by ShowHelpContext"}));
    EXPECT_TRUE(viewer.shown.empty());
    EXPECT_NE(std::find(logLines().begin(), logLines().end(),
                        "ShowHelpContext(\"" + helpFile + "\", 1000, \"\", 2)"),
              logLines().end());
}

TEST_F(HelpHookTest, UnlistedCommandIsLoggedAsUnknownAndLeftToThePlatform) {
    auto h = hook();
    bool callHelp = false;
    EXPECT_TRUE(h->HelpHook(77, 5, callHelp));
    EXPECT_TRUE(callHelp);
    EXPECT_TRUE(viewer.shown.empty());
    EXPECT_EQ(logLines().back(), "THelpSystemHook.HelpHook(77 (?"
                                 "?), 5)");
    h->HelpHook(HELP_SETPOPUP_POS, 0x00200010, callHelp);
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(h->popupPosition(), 0x00200010);
}

TEST_F(HelpHookTest, PreviousHandlerAnswersFirst) {
    std::vector<unsigned> seen;
    auto h = hook(0, [&](unsigned command, long, bool&) {
        seen.push_back(command);
        return false;
    });
    bool callHelp = false;
    EXPECT_FALSE(h->HelpHook(HELP_CONTEXT, 1000, callHelp));
    EXPECT_EQ(seen, std::vector<unsigned>{HELP_CONTEXT});
    EXPECT_EQ(viewer.shown.size(), 1u);
}

TEST_F(HelpHookTest, DestroyingTheHookClosesTheHelpWindows) {
    hook().reset();
    EXPECT_EQ(viewer.closed, 1);
    EXPECT_EQ(logLines().back(), "THelpSystemHook.Destroy");
    hook(1).reset();
    EXPECT_EQ(viewer.closed, 1);
}

class FailingShell : public ShellOpener {
public:
    bool open(const std::string& target) override {
        opened.push_back(target);
        return succeed;
    }
    bool succeed = false;
    std::vector<std::string> opened;
};

TEST_F(HelpHookTest, ShellFailureShowsTheCallAndTheReason) {
    FailingShell shell;
    EXPECT_FALSE(OpenWithShell(shell, *log, folder + "/manual.pdf", ""));
    EXPECT_FALSE(OpenWithShell(shell, *log, folder + "/none/manual.pdf", "-p 2"));
    EXPECT_FALSE(OpenWithShell(shell, *log, helpFile, ""));
    EXPECT_FALSE(OpenWithShell(shell, *log, "https://example.org/x", ""));
    EXPECT_EQ(shell.opened[1], folder + "/none/manual.pdf -p 2");
    const std::string t = facts.appTitle + ": Function ShellExecute(";
    EXPECT_EQ(boxes(),
              (std::vector<std::string>{
                  t + folder + "/manual.pdf, )\rReturned: [Error:2] File Not Found",
                  t + folder + "/none/manual.pdf, -p 2)\rReturned: [Error:3] Path Not Found",
                  t + helpFile + ", )\rReturned: [Error:31] General Failure",
                  t + "https://example.org/x, )\rReturned: [Error:31] General Failure"}));
    shell.succeed = true;
    EXPECT_TRUE(OpenWithShell(shell, *log, helpFile, ""));
    EXPECT_EQ(dialogs.shown().size(), 4u);
}

// Without the help engine the guide's page of the context opens in the browser; a guide
// that is not there is no page shown.
TEST_F(HelpHookTest, BrowserViewerOpensTheContextsPageOfTheGuideBesideTheHelpFile) {
    FailingShell shell;
    shell.succeed = true;
    BrowserHelpViewer browser;
    browser.setShell(&shell, log.get());
    EXPECT_FALSE(browser.showContext(helpFile, 1000)) << "no guide folder yet";
    fs::create_directories(folder + "/guide");
    for (const char* page : {"main-window.html", "index.html"})
        std::ofstream(folder + "/guide/" + page) << "<html></html>";
    EXPECT_TRUE(browser.showContext(helpFile, 1000));
    EXPECT_FALSE(browser.showContext(helpFile, 2000)) << "calibration.html is missing";
    EXPECT_TRUE(browser.showContext(helpFile, 0));
    EXPECT_EQ(shell.opened, (std::vector<std::string>{folder + "/guide/main-window.html",
                                                      folder + "/guide/index.html"}));
    shell.succeed = false;
    EXPECT_FALSE(browser.showContext(helpFile, 0));
    EXPECT_EQ(boxes().size(), 1u) << "the failure is shown as the shell's";
}

} // namespace
