#pragma once

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace qarn3::test {

// A file store whose writes stop half-way with a full disk.
class FullDiskFileStore : public FileStore {
protected:
    ssize_t writeSome(int fd, const char* data, std::size_t n) override {
        if (m_written > 0) {
            errno = ENOSPC;
            return -1;
        }
        const ssize_t w = FileStore::writeSome(fd, data, n / 2 + 1);
        if (w > 0) m_written += static_cast<std::size_t>(w);
        return w;
    }

private:
    std::size_t m_written = 0;
};

// A fresh data folder per test, with the services the record routines use.
class RecordTest : public ::testing::Test {
protected:
    RecordTest() {
        char tmpl[] = "/tmp/qarn3-test-XXXXXX";
        folder = ::mkdtemp(tmpl);
        log.open();
    }
    ~RecordTest() override {
        std::error_code ec;
#ifdef _WIN32
        // Windows removes no file whose read-only attribute is set.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ec);
#endif
        std::filesystem::remove_all(folder, ec);
    }

    std::string file(const std::string& name) const { return folder + "/" + name; }
    std::string contents(const std::string& name) const {
        return files.readAll(file(name)).value_or("<missing>");
    }
    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(file(name), std::ios::binary) << bytes;
    }

    std::string folder;
    FileStore files;
    ScriptedDialogs dialogs;
    DebugLog log;
    Services services{files, dialogs, log};
};

} // namespace qarn3::test
