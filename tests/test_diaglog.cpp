#include "diag/diaglog.h"
#include "diag/sysreport.h"
#include "platform/scripted_dialogs.h"

#include <QLocale>
#include <QString>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace qarn3;
namespace fs = std::filesystem;

namespace {

// A folder check that refuses the folders named, as an unwritable program folder would.
class RefusingFolders : public DiagFolders {
public:
    RefusingFolders(std::string refused, std::string temp)
        : m_refused(std::move(refused)), m_temp(std::move(temp)) {}
    bool IsFolderWritable(const std::string& folder) const override {
        return withoutTrailingSlash(folder) != m_refused && DiagFolders::IsFolderWritable(folder);
    }
    std::string TempFolder() const override { return m_temp; }

private:
    std::string m_refused;
    std::string m_temp;
};

class DiagLogTest : public ::testing::Test {
protected:
    DiagLogTest() {
        char tmpl[] = "/tmp/qarn3-diag-XXXXXX";
        folder = ::mkdtemp(tmpl);
        fs::create_directories(folder + "/prog");
        fs::create_directories(folder + "/temp");
        facts.appTitle = "QARN3 Breaker Tester Analyzer";
        facts.ModuleDir = folder + "/prog";
        facts.ProgFolder = folder + "/prog";
    }
    ~DiagLogTest() override { fs::remove_all(folder); }

    std::unique_ptr<TDiagLogFile> open(bool verbose, bool stamp = true, bool keepOld = false,
                                       bool report = false, const DiagFolders* f = nullptr) {
        return std::make_unique<TDiagLogFile>(logPath(), keepOld, report, stamp, verbose, facts,
                                              dialogs, f ? *f : folders, clock);
    }
    std::string logPath() const { return folder + "/prog/HelpDebug.txt"; }
    static std::vector<std::string> lines(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::string> out;
        std::string line;
        while (std::getline(in, line)) {
            EXPECT_FALSE(line.empty() || line.back() != '\r') << "line without CR LF: " << line;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out.push_back(line);
        }
        return out;
    }
    void put(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    std::string folder;
    SystemReportFacts facts;
    ScriptedDialogs dialogs;
    DiagFolders folders;
    LogClock clock{[] { return std::string("14:05:09"); },
                   [] { return std::string("Tuesday, 8 December 2026 14:05:09"); }};
};

TEST_F(DiagLogTest, SeparatorAndBangLinesCarryNoTimeOtherLinesDo) {
    auto log = open(true);
    log->WriteLogLine("-");
    log->WriteLogLine("=");
    log->WriteLogLine("!Report row");
    log->WriteLogLine("ShowContext(\"%s\", %d)", {std::string("x.qch"), 1000LL});
    log->WriteLogLine("");
    log->WriteLogLine("-dash first");
    const auto got = lines(logPath());
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0], std::string(79, '-'));
    EXPECT_EQ(got[1], std::string(79, '='));
    EXPECT_EQ(got[2], "Report row");
    EXPECT_EQ(got[3], "14:05:09   ShowContext(\"x.qch\", 1000)");
    EXPECT_EQ(got[4], "14:05:09   ");
    EXPECT_EQ(got[5], "dash first");
}

TEST_F(DiagLogTest, WithoutStampsLinesAreTheTextAlone) {
    auto log = open(true, false);
    log->WriteLogLine("plain");
    EXPECT_EQ(lines(logPath()), std::vector<std::string>{"plain"});
}

TEST_F(DiagLogTest, FormatTakesTextsAndNumbersInOrder) {
    EXPECT_EQ(formatLogText("100% done"), "100% done"); // no arguments: the format as it is
    EXPECT_EQ(formatLogText("%s=%d%%", {std::string("n"), -7LL}), "n=-7%");
    EXPECT_EQ(formatLogText("%s and %s", {std::string("one")}), "one and ");
    EXPECT_EQ(formatLogText("%x %s", {std::string("a")}), "%x a");
}

TEST_F(DiagLogTest, DebugLinesOnlyInDebugMode) {
    open(false)->DebugLogLine("quiet");
    EXPECT_FALSE(fs::exists(logPath()));
    open(true)->DebugLogLine("loud");
    EXPECT_EQ(lines(logPath()), std::vector<std::string>{"14:05:09   loud"});
}

TEST_F(DiagLogTest, ErrorLinesAreShownAlwaysAndLoggedInDebugMode) {
    open(false)->ErrorLogLine("Returned: %s", {std::string("50% [Error:2]")});
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "QARN3 Breaker Tester Analyzer");
    EXPECT_EQ(dialogs.shown()[0].text, "Returned: 50% [Error:2]");
    EXPECT_FALSE(fs::exists(logPath()));
    open(true)->ErrorLogLine("Returned: %s", {std::string("50%d")});
    EXPECT_EQ(lines(logPath()), std::vector<std::string>{"14:05:09   Returned: 50%d"});
}

TEST_F(DiagLogTest, OldLogIsDeletedAtStartAndNotRecreatedOutsideDebugMode) {
    put(logPath(), "old run\r\n");
    auto log = open(false, true, false, true);
    EXPECT_FALSE(fs::exists(logPath()));
    log->DebugLogLine("nothing");
    EXPECT_FALSE(fs::exists(logPath()));
}

TEST_F(DiagLogTest, DebugSwitchInCapitalsRecreatesTheLogWithTheReport) {
    put(logPath(), "old run\r\n");
    facts.args = {"-DEBUG"};
    const bool debug = debugModeOn(facts.ModuleDir, facts.args);
    ASSERT_TRUE(debug);
    open(debug, true, false, true);
    const auto got = lines(logPath());
    ASSERT_EQ(got.size(), 27u);
    EXPECT_EQ(got.front(), std::string(79, '='));
    EXPECT_EQ(got[1], "Log File:             \t" + logPath());
    EXPECT_EQ(got[11], "Cmdline Param(s) =  \t-DEBUG");
}

TEST_F(DiagLogTest, KeptOldLogGrowsAndAReadOnlyOldLogIsReplaced) {
    put(logPath(), "old run\r\n");
    open(true, false, true)->WriteLogLine("new run");
    EXPECT_EQ(lines(logPath()), (std::vector<std::string>{"old run", "new run"}));
    ::chmod(logPath().c_str(), 0444);
    open(true, false)->WriteLogLine("after");
    EXPECT_EQ(lines(logPath()), std::vector<std::string>{"after"});
}

TEST_F(DiagLogTest, LinkInTheLogsPlaceIsRemovedAndWhatItPointsAtLeftAlone) {
    const std::string other = folder + "/other.txt";
    put(other, "not a log\r\n");
    ::chmod(other.c_str(), 0444);
    fs::create_symlink(other, logPath());
    open(true, false)->WriteLogLine("new run");
    EXPECT_FALSE(fs::is_symlink(logPath()));
    EXPECT_EQ(lines(logPath()), std::vector<std::string>{"new run"});
    EXPECT_EQ(lines(other), std::vector<std::string>{"not a log"});
    EXPECT_EQ(fs::status(other).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(DiagLogTest, UnwritableFolderSendsTheLogToTheTemporaryFolder) {
    const RefusingFolders refusing(folder + "/prog", folder + "/temp");
    auto log = open(true, true, false, false, &refusing);
    EXPECT_EQ(log->LogPath(), folder + "/temp/HelpDebug.txt");
    log->WriteLogLine("moved");
    EXPECT_TRUE(fs::exists(folder + "/temp/HelpDebug.txt"));
    EXPECT_FALSE(fs::exists(logPath()));
    EXPECT_EQ(defaultLogPath(folder + "/prog/", refusing), folder + "/temp/HelpDebug.txt");
    EXPECT_EQ(defaultLogPath(folder + "/temp/", refusing), folder + "/temp/HelpDebug.txt");
}

TEST_F(DiagLogTest, MissingFolderSendsTheLogToTheTemporaryFolder) {
    const RefusingFolders temp("", folder + "/temp");
    TDiagLogFile log(folder + "/gone/HelpDebug.txt", false, false, true, true, facts, dialogs, temp,
                     clock);
    EXPECT_EQ(log.LogPath(), folder + "/temp/HelpDebug.txt");
}

TEST_F(DiagLogTest, EmptyPathIsTheDefaultBesideTheProgram) {
    TDiagLogFile log("", false, false, true, true, facts, dialogs, folders, clock);
    EXPECT_EQ(log.LogPath(), logPath());
}

TEST_F(DiagLogTest, LineThatCannotBeWrittenIsDroppedSilently) {
    auto log = open(true);
    fs::remove_all(folder + "/prog");
    log->WriteLogLine("lost");
    log->ErrorLogLine("still shown");
    EXPECT_FALSE(fs::exists(logPath()));
    EXPECT_EQ(dialogs.shown().size(), 1u);
}

TEST_F(DiagLogTest, FolderProbeLeavesNothingBehind) {
    EXPECT_TRUE(folders.IsFolderWritable(folder + "/prog///"));
    EXPECT_TRUE(fs::is_empty(folder + "/prog"));
    EXPECT_FALSE(folders.IsFolderWritable(folder + "/none"));
    // A probe left behind by a crash does not make the folder look read-only.
    put(folder + "/prog/$_Temp_$.$$$", "stale");
    EXPECT_TRUE(folders.IsFolderWritable(folder + "/prog"));
    EXPECT_TRUE(fs::is_empty(folder + "/prog"));
    EXPECT_EQ(tempFolderFrom((folder + "/temp/").c_str()), folder + "/temp");
    EXPECT_EQ(tempFolderFrom((folder + "/missing").c_str()), "/tmp");
    EXPECT_EQ(tempFolderFrom(nullptr), "/tmp");
    EXPECT_EQ(withoutTrailingSlash("/"), "/");
}

TEST(DebugMode, MarkerFileOrSwitchInAnyCase) {
    EXPECT_TRUE(isDebugSwitch("-debug"));
    EXPECT_TRUE(isDebugSwitch("/DeBuG"));
    EXPECT_FALSE(isDebugSwitch("--debug"));
    EXPECT_FALSE(isDebugSwitch("-debugger"));
    char tmpl[] = "/tmp/qarn3-marker-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    EXPECT_FALSE(debugModeOn(dir, {"QARN3Pulse.owf"}));
    std::ofstream(dir + "/debug.debug").put('\n');
    EXPECT_TRUE(debugModeOn(dir, {}));
    fs::remove_all(dir);
}

// A system folder tree standing in for "/".
class OsReleaseTest : public ::testing::Test {
protected:
    OsReleaseTest() {
        char tmpl[] = "/tmp/qarn3-root-XXXXXX";
        root = ::mkdtemp(tmpl);
    }
    ~OsReleaseTest() override { fs::remove_all(root); }
    void put(const std::string& name, const std::string& text) {
        fs::create_directories(fs::path(root + name).parent_path());
        std::ofstream(root + name, std::ios::binary) << text;
    }
    // The rows of the report a new diagnostic log starts with, without their CR.
    std::vector<std::string> reportRows(const SystemReportFacts& f) const {
        ScriptedDialogs dialogs;
        const RefusingFolders folders("", root);
        TDiagLogFile log(
            root + "/HelpDebug.txt", false, true, true, true, f, dialogs, folders,
            {[] { return std::string("9:00:00"); }, [] { return std::string("today"); }});
        std::ifstream in(root + "/HelpDebug.txt", std::ios::binary);
        std::vector<std::string> rows;
        for (std::string line; std::getline(in, line);)
            rows.push_back(line.substr(0, line.size() - 1));
        return rows;
    }
    std::string root;
};

TEST_F(OsReleaseTest, NameVersionAndKernelFromTheFiles) {
    put("/etc/os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                           "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nID=debian\n");
    put("/proc/sys/kernel/osrelease", "6.1.0-18-amd64\n");
    const OsFacts os = readOsFacts(root);
    EXPECT_EQ(os.name, "Debian GNU/Linux");
    EXPECT_EQ(os.major, 12);
    EXPECT_EQ(os.minor, 0);
    EXPECT_EQ(os.extra, "Kernel 6.1.0-18-amd64");
}

TEST_F(OsReleaseTest, VendorFileQuotesAndDottedVersions) {
    put("/usr/lib/os-release", "NAME='Ubuntu'\nVERSION_ID=22.04.3\n");
    const OsFacts os = readOsFacts(root);
    EXPECT_EQ(os.name, "Ubuntu");
    EXPECT_EQ(os.major, 22);
    EXPECT_EQ(os.minor, 4);
    EXPECT_EQ(os.build, 3);
    EXPECT_EQ(os.extra, "No Service Pack");
    EXPECT_EQ(osReleaseValue("NAME=\"A \\\"B\\\"\"\n", "NAME"), "A \"B\"");
    EXPECT_EQ(osReleaseValue("XNAME=no\n", "NAME"), "");
}

TEST_F(OsReleaseTest, NothingKnownGivesLinux) {
    const OsFacts os = readOsFacts(root);
    EXPECT_EQ(os.name, "Linux");
    EXPECT_EQ(os.major, 0);
}

TEST_F(OsReleaseTest, ReportRowsShowTheFacts) {
    put("/etc/os-release", "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
    put("/proc/sys/kernel/osrelease", "6.1.0-test\n");
    SystemReportFacts f;
    f.appTitle = "QARN3";
    f.os = readOsFacts(root);
    f.locale = localeFacts(QLocale(QLocale::German, QLocale::Germany));
    f.decimalSeparator = ',';
    f.exePath = "/usr/bin/qarn3";
    f.args = {"Test.owf", "-debug"};
    f.rawCommandLine = "qarn3 " + std::string(300, 'x');
    f.RunDir = "/usr/bin";
    f.ModulePath = "/usr/bin/qarn3";
    f.ModuleDir = "/usr/bin";
    f.ModuleName = "qarn3";
    f.moduleVersion = "0.1.0.0";
    f.ViewerVerStr = "6.4.2.0";
    const std::vector<std::string> rows = reportRows(f);
    ASSERT_EQ(rows.size(), 27u);
    EXPECT_EQ(rows[2], "Date:                 \ttoday");
    EXPECT_EQ(rows[3],
              "Operating System:      \tDebian GNU/Linux 12.0 (Build 0) Kernel 6.1.0-test");
    EXPECT_EQ(rows[4], "SysLocale.DefaultLCID: \tde_DE (de)");
    EXPECT_EQ(rows[5], "SysLocale.PriLangID:   \tGerman (de)");
    EXPECT_EQ(rows[6], "SysLocale.SubLangID:   \tGermany (DE)");
    EXPECT_EQ(rows[7], "DecimalSeparator:      \t,");
    EXPECT_EQ(rows[8], std::string(79, '-'));
    EXPECT_EQ(rows[11], "Cmdline Param(s) =  \tTest.owf | -debug");
    EXPECT_EQ(rows[12].size(), std::string("Actual CmdLine =  ").size() + 255);
    EXPECT_EQ(rows[16], "ModulePath =        \t/usr/bin/qarn3");
    EXPECT_EQ(rows[17], "Module Version =       \t0.1.0.0");
    EXPECT_EQ(rows[19], "ViewerInstalled =      \tYES");
    EXPECT_EQ(rows[21], "ViewerFriendlyVerStr = \t> 1.4a");
    EXPECT_EQ(rows[23], "BrowserInstalled =      \tNO");
    EXPECT_EQ(rows[24], "BrowserVerStr =         \t");
    EXPECT_EQ(rows[25], "BrowserFriendlyVerStr = \t");
    EXPECT_EQ(rows[26], std::string(79, '='));
}

// The command line is cut to 255 characters, not bytes: a file name with letters outside ASCII
// keeps whole letters and its full length.
TEST_F(OsReleaseTest, LongCommandLineIsCutBetweenCharacters) {
    SystemReportFacts f;
    std::string name;
    for (int i = 0; i < 300; ++i)
        name += "\xc3\xbc"; // u with diaeresis
    f.rawCommandLine = "qarn3 " + name;
    const std::vector<std::string> rows = reportRows(f);
    ASSERT_EQ(rows.size(), 27u);
    const QString row = QString::fromUtf8(rows[12]);
    EXPECT_FALSE(row.contains(QChar::ReplacementCharacter));
    EXPECT_EQ(row.toStdString(),
              ("Actual CmdLine =  \tqarn3 " + QString(248, QChar(0xfc))).toStdString());
}

} // namespace
