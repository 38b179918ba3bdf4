// Files in places other users can write to: the writers follow links only as the kernel does
// in shared folders, the data and log folders must be the user's own, the diagnostic log is
// opened once and never through a planted link or FIFO, and names with control characters
// cannot forge a log line or steer a terminal.
#include "diag/diaglog.h"
#include "diag/sysreport.h"
#include "engine/analyze_tool.h"
#include "waveform/waveform.h"

#include "fake_owners.h"
#include "record_fixture.h"

#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;
namespace fs = std::filesystem;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// A data folder with a sticky folder every user may write to ("shared", as the temporary
// folder is) and a file of the user's that a planted link would aim at.
class SharedFolderTest : public RecordTest {
protected:
    SharedFolderTest() {
        fs::create_directory(shared());
        ::chmod(shared().c_str(), 01777);
        put("victim.txt", "precious");
        ::chmod(file("victim.txt").c_str(), 0644);
    }
    std::string shared() const { return file("shared"); }
    int runTool(const std::vector<std::string>& args, std::string& err) {
        std::ostringstream out, errs;
        ToolEnvironment env{out, errs};
        const int status = runAnalyzeTool(args, env);
        err = errs.str();
        return status;
    }
};

struct LinkCase {
    const char* name;
    mode_t folderMode;
    bool linkOfOther;   // the link belongs to another user
    bool folderOfOther; // the shared folder belongs to that user too
    bool folderLink;    // the link stands for a folder on the way, not for the file
    bool followed;
};

class LinkRuleTest : public SharedFolderTest, public ::testing::WithParamInterface<LinkCase> {};

// The kernel's rule for links in shared folders, applied by the writers themselves (the
// system may not apply it, and the writers resolve links by hand to keep them).
TEST_P(LinkRuleTest, AnotherUsersLinkInAStickyFolderIsNotFollowed) {
    const LinkCase& c = GetParam();
    ::chmod(shared().c_str(), c.folderMode);
    const std::string link = shared() + (c.folderLink ? "/dir" : "/report.csv");
    fs::create_symlink(c.folderLink ? folder : file("victim.txt"), link);
    const std::string target = c.folderLink ? link + "/victim.txt" : link;
    FakeOwners owners;
    if (c.linkOfOther) owners.ownerOf[link] = kOtherUser;
    if (c.folderOfOther) owners.ownerOf[shared()] = kOtherUser;
    SeenFileStore store(owners);

    std::string error;
    EXPECT_EQ(store.replaceContents(target, "planted", error), c.followed) << error;
    EXPECT_EQ(contents("victim.txt"), c.followed ? "planted" : "precious");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(store.setReadOnly(target, true), c.followed);
    EXPECT_EQ(modeOf(file("victim.txt")), c.followed ? 0444u : 0644u);
    if (!c.followed) {
        EXPECT_EQ(error, link +
                             " is a link that another user (uid 4242) made in the shared "
                             "folder " +
                             shared());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writers, LinkRuleTest,
    ::testing::Values(LinkCase{"OtherUsersLink", 01777, true, false, false, false},
                      LinkCase{"OtherUsersFolderLinkOnTheWay", 01777, true, false, true, false},
                      LinkCase{"OwnLink", 01777, false, false, false, true},
                      LinkCase{"FolderOwnersLink", 01777, true, true, false, true},
                      LinkCase{"NotSticky", 0777, true, false, false, true},
                      LinkCase{"OnlyItsOwnerWrites", 01755, true, false, false, true}),
    [](const ::testing::TestParamInfo<LinkCase>& p) { return std::string(p.param.name); });

// End to end, without the seam: a link or FIFO another user planted where the analysis tool
// is to write (root in CI may give the link to another user; others skip that row).
class PlantedOutputTest : public SharedFolderTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(PlantedOutputTest, ToolRefusesItAndWritesNothing) {
    ASSERT_EQ(makeDemoFiles(folder), "");
    const std::string out = shared() + "/report.csv";
    const bool fifo = std::string(GetParam()) == "Fifo";
    if (fifo)
        ASSERT_EQ(::mkfifo(out.c_str(), 0666), 0);
    else
        fs::create_symlink(file("victim.txt"), out);
    if (::lchown(out.c_str(), kOtherUser, kOtherUser) != 0 && !fifo)
        GTEST_SKIP() << "cannot give a link to another user here";
    std::string err;
    EXPECT_EQ(runTool({"--format", "csv", "-o", out, file("QARN3Pulse.owf")}, err), 1);
    EXPECT_NE(err.find("qarn3-analyze: Cannot write " + out + ": "), std::string::npos) << err;
    EXPECT_EQ(contents("victim.txt"), "precious");
    EXPECT_TRUE(fifo ? fs::is_fifo(out) : fs::is_symlink(out));
}

INSTANTIATE_TEST_SUITE_P(Tool, PlantedOutputTest, ::testing::Values("Link", "Fifo"));

enum class Entry { Folder, Missing, File, PlantedLink };

struct FolderCase {
    const char* name;
    Entry entry;
    mode_t mode;
    bool ofOther;
    FolderUse use;
    const char* problem; // the reason after the folder's name; empty: accepted
};

class FolderCheckTest : public SharedFolderTest,
                        public ::testing::WithParamInterface<FolderCase> {};

TEST_P(FolderCheckTest, OnlyTheUsersOwnFolderIsUsed) {
    const FolderCase& c = GetParam();
    const std::string place = shared() + "/QARN3-" + std::to_string(::geteuid());
    FakeOwners owners;
    if (c.entry == Entry::Folder) {
        fs::create_directory(place);
        ::chmod(place.c_str(), c.mode);
        if (c.ofOther) owners.ownerOf[place] = kOtherUser;
    } else if (c.entry == Entry::File) {
        put("shared/QARN3-" + std::to_string(::geteuid()), "");
    } else if (c.entry == Entry::PlantedLink) {
        // Another user's link to a folder of the user's: the program would take that folder.
        fs::create_directory(file("mine"));
        fs::create_symlink(file("mine"), place);
        owners.ownerOf[place] = kOtherUser;
    }
    // A missing folder is made under the umask the row gives.
    const mode_t saved = ::umask(0);
    ::umask(c.entry == Entry::Missing ? c.mode : saved);
    const std::string why = makeOwnFolder(place, c.use, owners);
    ::umask(saved);
    if (*c.problem == '\0') {
        EXPECT_EQ(why, "");
        EXPECT_TRUE(fs::is_directory(place));
    } else {
        EXPECT_NE(why.find(place), std::string::npos) << why;
        EXPECT_NE(why.find(c.problem), std::string::npos) << why;
    }
    if (c.entry == Entry::Missing) {
        EXPECT_EQ(modeOf(place), c.use == FolderUse::Private ? 0700u : 0775u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderCheckTest,
    ::testing::Values(
        FolderCase{"Own", Entry::Folder, 0755, false, FolderUse::Own, ""},
        FolderCase{"GroupWritableInTheHome", Entry::Folder, 0775, false, FolderUse::Own, ""},
        FolderCase{"MissingIsMadePrivate", Entry::Missing, 0, false, FolderUse::Private, ""},
        FolderCase{"MissingIsMadeUsableUnderAnOpenUmask", Entry::Missing, 0, false, FolderUse::Own,
                   ""},
        FolderCase{"GroupWritableWhereItMustBePrivate", Entry::Folder, 0770, false,
                   FolderUse::Private, " (mode 0770)"},
        FolderCase{"WritableByEveryone", Entry::Folder, 0777, false, FolderUse::Own,
                   " (mode 0777)"},
        FolderCase{"StickyForEveryone", Entry::Folder, 01777, false, FolderUse::Own,
                   " (mode 1777)"},
        FolderCase{"AnotherUsers", Entry::Folder, 0700, true, FolderUse::Private,
                   " belongs to another user (uid 4242)"},
        FolderCase{"AFile", Entry::File, 0, false, FolderUse::Own, " is not a folder"},
        FolderCase{"PlantedLink", Entry::PlantedLink, 0, false, FolderUse::Private,
                   " is a link that another user (uid 4242) made in the shared folder"}),
    [](const ::testing::TestParamInfo<FolderCase>& p) { return std::string(p.param.name); });

// Without a home, the data go to the user's own folder in the temporary folder: private,
// and refused when another user made that name first.
TEST_F(SharedFolderTest, WithoutAHomeTheDataFolderIsPrivateInTheTemporaryFolder) {
    const char* tmp = std::getenv("TMPDIR");
    const std::optional<std::string> saved = tmp ? std::optional<std::string>(tmp) : std::nullopt;
    ::setenv("TMPDIR", shared().c_str(), 1);
    const ProgramFolders f = platformFolders("/usr/bin", {}); // no home, nor any override
    saved ? ::setenv("TMPDIR", saved->c_str(), 1) : ::unsetenv("TMPDIR");

    EXPECT_EQ(f.dataFolder, shared() + "/QARN3-" + std::to_string(::geteuid()));
    EXPECT_EQ(f.dataFolderUse, FolderUse::Private);
    FakeOwners another;
    fs::create_directory(f.dataFolder);
    another.ownerOf[f.dataFolder] = kOtherUser;
    EXPECT_NE(makeOwnFolder(f.dataFolder, f.dataFolderUse, another), "");
}

// Log folders: the program folder and the temporary one, seen through the owners given.
class LogFolders : public DiagFolders {
public:
    LogFolders(std::string temp, const FileOwners& owners)
        : DiagFolders(owners), m_temp(std::move(temp)) {}
    std::string TempFolder() const override { return m_temp; }

private:
    std::string m_temp;
};

class DiagLogPlaceTest : public SharedFolderTest {
protected:
    DiagLogPlaceTest() {
        fs::create_directory(file("prog"));
        facts.appTitle = "QARN3";
        facts.ProgFolder = file("prog");
    }
    std::unique_ptr<TDiagLogFile> open(bool keepOld, const FileOwners& seen) {
        const LogFolders folders(file("temp"), seen);
        return std::make_unique<TDiagLogFile>(logPath(), keepOld, false, true, true, facts, dialogs,
                                              folders, clock);
    }
    std::string logPath() const { return file("prog/HelpDebug.txt"); }
    SystemReportFacts facts;
    FakeOwners owners;
    LogClock clock{[] { return std::string("14:05:09"); }, [] { return std::string("now"); }};
};

class PlantedLogTest : public DiagLogPlaceTest,
                       public ::testing::WithParamInterface<const char*> {};

// Kept old logs are opened as they are: what was planted in the log's place must not take
// its lines, and a FIFO must not hang the start.
TEST_P(PlantedLogTest, PlantedEntryTakesNoLine) {
    const std::string kind = GetParam();
    int reader = -1;
    if (kind == "Fifo") {
        ASSERT_EQ(::mkfifo(logPath().c_str(), 0600), 0);
        reader = ::open(logPath().c_str(), O_RDONLY | O_NONBLOCK);
    } else if (kind == "Link") {
        fs::create_symlink(file("victim.txt"), logPath());
    } else if (kind == "HardLink") {
        fs::create_hard_link(file("victim.txt"), logPath());
    } else {
        put("prog/HelpDebug.txt", "precious");
        if (::chown(logPath().c_str(), kOtherUser, kOtherUser) != 0)
            GTEST_SKIP() << "cannot give a file to another user here";
    }
    auto diag = open(true, owners);
    diag->WriteLogLine("line 1");
    diag->WriteLogLine("line 2");
    EXPECT_EQ(contents("victim.txt"), "precious");
    if (kind == "Fifo") {
        char buf[16];
        EXPECT_EQ(::read(reader, buf, sizeof buf), 0) << "no line reached the FIFO";
        ::close(reader);
    } else if (kind == "OtherUsersFile") {
        EXPECT_EQ(contents("prog/HelpDebug.txt"), "precious");
    }
}

INSTANTIATE_TEST_SUITE_P(DiagLog, PlantedLogTest,
                         ::testing::Values("Fifo", "Link", "HardLink", "OtherUsersFile"));

// A folder that is not the user's own holds no log, and one in the temporary folder that
// another user made, or that every user may write to, is refused with a box saying why.
TEST_F(DiagLogPlaceTest, FoldersNotTheUsersOwnHoldNoLog) {
    fs::create_directory(file("temp"));
    FakeOwners anotherUser;
    anotherUser.actingUser = kOtherUser;
    for (int row = 0; row < 2; ++row) {
        const mode_t mode = row == 0 ? 0755 : 0777;
        ::chmod(file("prog").c_str(), mode);
        ::chmod(file("temp").c_str(), mode);
        auto diag = open(false, row == 0 ? static_cast<const FileOwners&>(anotherUser) : owners);
        diag->WriteLogLine("line");
        EXPECT_EQ(diag->LogPath(), file("temp/HelpDebug.txt"));
        EXPECT_TRUE(fs::is_empty(file("prog")));
        EXPECT_TRUE(fs::is_empty(file("temp")));
        ASSERT_EQ(dialogs.shown().size(), static_cast<std::size_t>(row + 1));
        const std::string text = dialogs.shown().back().text;
        EXPECT_NE(text.find("is not written: "), std::string::npos) << text;
        EXPECT_NE(text.find(file("temp")), std::string::npos) << text;
        EXPECT_NE(text.find(row == 0 ? "belongs to another user" : "(mode 0777)"),
                  std::string::npos)
            << text;
    }
}

// A line break in a file name cannot add a line of its own to the log.
TEST_F(DiagLogPlaceTest, ControlCharactersInArgumentsStayOnTheirLine) {
    auto diag = open(false, owners);
    diag->WriteLogLine("Open %s", {std::string("a.qch\r\n14:00:00   Forged\x1b[2J")});
    diag->ErrorLogLine("Missing: %s", {std::string("b\n.qch")});
    EXPECT_EQ(contents("prog/HelpDebug.txt"),
              "14:05:09   Open a.qch\\x0d\\x0a14:00:00   Forged\\x1b[2J\r\n"
              "14:05:09   Missing: b\\x0a.qch\r\n");
}

// Names reach the terminal with their control characters shown; the CSV keeps the name.
TEST_F(SharedFolderTest, ControlCharactersInNamesAreShownNotObeyedOnTheTerminal) {
    ASSERT_EQ(makeDemoFiles(folder), "");
    const std::string odd = file("bay\x1b]0;owned\x07\n7.owf");
    fs::copy_file(file("QARN3Pulse.owf"), odd);
    const std::string gone = file("gone\x1b[2J.owf");
    std::ostringstream out, err;
    ToolEnvironment env{out, err};
    EXPECT_EQ(runAnalyzeTool({odd, gone}, env), 1);
    EXPECT_NE(out.str().find("==> " + file("bay\\x1b]0;owned\\x07\\x0a7.owf") + " <==\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(err.str().find(file("gone\\x1b[2J.owf")), std::string::npos) << err.str();
    EXPECT_EQ((out.str() + err.str()).find('\x1b'), std::string::npos);
    std::ostringstream csv;
    ToolEnvironment csvEnv{csv, err};
    EXPECT_EQ(runAnalyzeTool({"--format", "csv", odd}, csvEnv), 0);
    EXPECT_NE(csv.str().find("\"" + odd + "\",1,"), std::string::npos);
}

} // namespace
