#include "platform/files.h"
#include "platform/fspath.h"

#include "record_fixture.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// A folder that takes no new files: the temporary file beside a target cannot be created.
class NoNewFilesStore : public FileStore {
public:
    int temporaryRefusals = 0;

protected:
    int openFile(const std::string& path, int flags, mode_t mode) override {
        if (flags & O_CREAT) {
            ++temporaryRefusals;
            errno = EACCES;
            return -1;
        }
        return FileStore::openFile(path, flags, mode);
    }
};

class FileStoreTest : public RecordTest {
protected:
    mode_t mode(const std::string& name) const {
        struct stat st {};
        ::stat(file(name).c_str(), &st);
        return st.st_mode & 07777;
    }
    int entries() const {
        int n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder))
            ++n;
        return n;
    }
};

// Names beyond ASCII are UTF-8 everywhere in the program: a file the store writes under one is
// the file the C++ library's calls find through fsPath, and a folder's listing gives its name
// back, on Windows as on Linux.
TEST_F(FileStoreTest, NamesBeyondAsciiAreOneFileForEveryCall) {
    std::vector<std::string> names = {"Prüfung.owf", "Тест 試験.owf", "ℹ 𝄞.osf"};
    std::filesystem::create_directory(fsPath(file("Prüfdir")));
    for (const std::string& name : names) {
        std::string error;
        ASSERT_TRUE(files.replaceContents(file("Prüfdir/" + name), name, error)) << error;
        EXPECT_TRUE(std::filesystem::is_regular_file(fsPath(file("Prüfdir/" + name)))) << name;
        EXPECT_EQ(files.readAll(file("Prüfdir/" + name)).value_or(""), name);
    }
    std::vector<std::string> listed;
    for (const auto& e : std::filesystem::directory_iterator(fsPath(file("Prüfdir"))))
        listed.push_back(utf8Of(e.path().filename()));
    std::sort(names.begin(), names.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, names);
    EXPECT_EQ(genericUtf8Of(fsPath(file("Prüfdir")) / fsPath(names[0])),
              genericUtf8Of(fsPath(file("Prüfdir/" + names[0]))));
    EXPECT_EQ(utf8Of(fsPath(file("Prüfdir/" + names[1])).filename()), names[1]);
}

// The program honours the owner's write bit itself, so this holds for root as for a user.
TEST_F(FileStoreTest, ReadOnlyFileKeepsItsBytesAndMode) {
    for (const mode_t readOnly : {0444, 0464, 0404}) {
        put("r.osf", "old");
        ::chmod(file("r.osf").c_str(), readOnly);
        std::string error;
        EXPECT_FALSE(files.replaceContents(file("r.osf"), "new", error)) << readOnly;
        EXPECT_EQ(error, "the file is read-only");
        EXPECT_EQ(contents("r.osf"), "old");
#ifndef _WIN32 // Windows keeps the read-only attribute, not the group's and others' modes
        EXPECT_EQ(mode("r.osf"), readOnly);
#endif
        EXPECT_TRUE(files.isReadOnly(file("r.osf")));
        ::chmod(file("r.osf").c_str(), 0644);
    }
    EXPECT_EQ(entries(), 1); // no temporary file left
}

TEST_F(FileStoreTest, ReplacementKeepsTheOldPermissions) {
    put("w.odf", "old");
    ::chmod(file("w.odf").c_str(), 0640);
    std::string error;
    ASSERT_TRUE(files.replaceContents(file("w.odf"), "new", error)) << error;
    EXPECT_EQ(contents("w.odf"), "new");
    EXPECT_EQ(mode("w.odf"), 0640u);
}

TEST_F(FileStoreTest, WithoutATemporaryFileAWritableFileIsRewrittenInPlace) {
    put("w.osf", "a longer old content");
    ::chmod(file("w.osf").c_str(), 0604);
    NoNewFilesStore store;
    std::string error;
    ASSERT_TRUE(store.replaceContents(file("w.osf"), "new", error)) << error;
    EXPECT_EQ(store.temporaryRefusals, 1);
    EXPECT_EQ(contents("w.osf"), "new"); // truncated, not overlaid
    EXPECT_EQ(mode("w.osf"), 0604u);
    // A new file has nowhere to go, and a read-only one is still refused.
    EXPECT_FALSE(store.replaceContents(file("new.osf"), "x", error));
    EXPECT_FALSE(files.exists(file("new.osf")));
    files.setReadOnly(file("w.osf"), true);
    EXPECT_FALSE(store.replaceContents(file("w.osf"), "other", error));
    EXPECT_EQ(contents("w.osf"), "new");
}

// A setup file linked to a shared one stays linked: the link's target is written, and a
// read-only target is refused through the link as well.
TEST_F(FileStoreTest, ReplacingALinkWritesItsTargetAndKeepsTheLink) {
    put("shared.osf", "old");
    std::filesystem::create_symlink(file("shared.osf"), file("QARN3.osf"));
    std::string error;
    ASSERT_TRUE(files.replaceContents(file("QARN3.osf"), "new", error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(file("QARN3.osf")));
    EXPECT_EQ(contents("shared.osf"), "new");

    files.setReadOnly(file("shared.osf"), true);
    EXPECT_FALSE(files.replaceContents(file("QARN3.osf"), "newer", error));
    EXPECT_TRUE(std::filesystem::is_symlink(file("QARN3.osf")));
    EXPECT_EQ(contents("shared.osf"), "new");
}

TEST_F(FileStoreTest, NamesThatAreNoRegularFileAreNeitherReadNorReplaced) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs nor /dev/zero";
#else
    ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0644), 0);
    std::filesystem::create_directory(file("dir"));
    std::filesystem::create_symlink("/dev/zero", file("zero"));
    for (const char* name : {"fifo", "dir", "zero"}) {
        EXPECT_TRUE(files.exists(file(name))) << name;
        // Opening the FIFO without a writer would block a plain open; /dev/zero never ends.
        EXPECT_FALSE(files.readPrefix(file(name), 128).has_value()) << name;
        std::string error;
        EXPECT_FALSE(files.replaceContents(file(name), "x", error)) << name;
        EXPECT_EQ(error, "not a regular file");
        EXPECT_FALSE(files.setReadOnly(file(name), true)) << name;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(file("fifo")));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/zero"));
    EXPECT_FALSE(files.exists(file("none")));
#endif
}

TEST_F(FileStoreTest, ReadingAHugeFileStopsAtWhatIsWanted) {
    put("huge", "WAVEFORM");
    // A sparse file of 4 GiB: reading it whole would fill memory.
    ASSERT_EQ(::truncate(file("huge").c_str(), 4LL << 30), 0);
    const auto head = files.readPrefix(file("huge"), 120059);
    ASSERT_TRUE(head.has_value());
    EXPECT_EQ(head->size(), 120059u);
    EXPECT_EQ(head->substr(0, 8), "WAVEFORM");
    put("small", "abc");
    EXPECT_EQ(files.readPrefix(file("small"), 128), "abc");
}

} // namespace
