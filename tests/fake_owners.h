#pragma once

#include "platform/files.h"
#include "platform/owners.h"

#include <map>
#include <optional>
#include <string>

namespace qarn3::test {

// A user id no account of a test machine has.
constexpr uid_t kOtherUser = 4242;

// Owners as a test wants the checks to see them: entries shown as another user's, or the
// program acting for another user. Real files are made as whoever runs the suite (root in CI).
class FakeOwners : public FileOwners {
public:
    std::map<std::string, uid_t> ownerOf; // entries (as the checks name them) and their owner
    std::optional<uid_t> actingUser;

    bool entry(const std::string& path, struct stat& st) const override {
        if (!FileOwners::entry(path, st)) return false;
        if (const auto it = ownerOf.find(path); it != ownerOf.end()) st.st_uid = it->second;
        return true;
    }
    uid_t user() const override { return actingUser.value_or(FileOwners::user()); }
};

// A file store that sees owners through a fake.
class SeenFileStore : public FileStore {
public:
    explicit SeenFileStore(const FileOwners& owners) : m_owners(owners) {}

protected:
    const FileOwners& owners() const override { return m_owners; }

private:
    const FileOwners& m_owners;
};

} // namespace qarn3::test
