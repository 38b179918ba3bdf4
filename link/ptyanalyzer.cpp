#include "link/ptyanalyzer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace qarn3 {

namespace {
// Output is taken from the simulator only while less than this waits to be written, so a
// program that stops reading makes the simulator drop stream, as the instrument would.
constexpr std::size_t kUnsentLimit = 4096;
} // namespace

PtyAnalyzer::PtyAnalyzer() {
    m_startMs = nowMs();
}

PtyAnalyzer::~PtyAnalyzer() {
    close();
}

std::int64_t PtyAnalyzer::nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() -
           m_startMs;
}

bool PtyAnalyzer::open(std::string& error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = std::string("Cannot create a pseudo-terminal: ") + std::strerror(errno);
        close();
        return false;
    }
    m_path = ::ptsname(m_master);
    m_slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &t) != 0) {
        error = "Cannot open " + m_path + ": " + std::strerror(errno);
        close();
        return false;
    }
    // Raw until the program sets its own line settings.
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B57600);
    ::cfsetospeed(&t, B57600);
    ::tcsetattr(m_slave, TCSANOW, &t);
    return true;
}

bool PtyAnalyzer::linkTerminal(const std::string& link, std::string& error,
                               const FileOwners& owners) const {
    namespace fs = std::filesystem;
    const fs::path name(link);
    std::string why;
    const std::optional<std::string> folder = followLinksSafely(
        name.has_parent_path() ? name.parent_path().string() : std::string("."), why, owners);
    if (!folder) {
        error = "cannot link " + link + ": " + why;
        return false;
    }
    const std::string place = *folder + "/" + name.filename().string();
    struct stat st {};
    std::error_code ec;
    if (owners.entry(place, st)) {
        if (!S_ISLNK(st.st_mode)) {
            error = "cannot link " + link + ": not a symbolic link, left as it is";
            return false;
        }
        // A link someone else put there (in the temporary folder, say) is theirs.
        if (st.st_uid != owners.user()) {
            error = "cannot link " + link + ": a link of another user (uid " +
                    std::to_string(st.st_uid) + "), left as it is";
            return false;
        }
        fs::remove(place, ec);
    }
    fs::create_symlink(m_path, place, ec);
    if (ec) {
        error = "cannot link " + link + ": " + ec.message();
        return false;
    }
    return true;
}

void PtyAnalyzer::close() {
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
    m_slave = m_master = -1;
}

void PtyAnalyzer::misbehave(std::int64_t now) {
    if (!m_sim.sampling) {
        m_streamStartMs = -1;
        return;
    }
    if (m_streamStartMs < 0) {
        m_streamStartMs = now;
        m_burstSent = false;
    }
    const double t = static_cast<double>(now - m_streamStartMs) / 1000.0;
    const SimMisbehaviour& m = misbehaviour;
    m_sim.brokenPairEvery = m.garbleEvery;
    const bool silent = m.silenceAt >= 0 && t >= m.silenceAt && t < m.silenceAt + m.silenceFor;
    if (silent != m_silenced) {
        m_sim.silent = silent;
        m_silenced = silent;
    }
    if (m.burstAt >= 0 && t >= m.burstAt && !m_burstSent) {
        m_burstSent = true;
        m_sim.inject(std::string(m.burstSize, '\x55'));
    }
    if (m.closeAt >= 0 && t >= m.closeAt) m_closeRequested = true;
}

bool PtyAnalyzer::step(int waitMs) {
    if (m_master < 0) return false;
    if (m_closeRequested) {
        close();
        return false;
    }
    const bool paced = chunkSize > 0 && intervalMs > 0;
    int wait = waitMs;
    if (paced && m_nextWriteMs >= 0)
        wait = static_cast<int>(std::clamp<std::int64_t>(m_nextWriteMs - nowMs(), 0, waitMs));
    const bool wantOut = !paced && !m_unsent.empty();
    pollfd p{m_master, static_cast<short>(POLLIN | (wantOut ? POLLOUT : 0)), 0};
    ::poll(&p, 1, wait);
    const std::int64_t now = nowMs();
    char buf[4096];
    ssize_t r;
    while ((r = ::read(m_master, buf, sizeof buf)) > 0) {
        m_bytesIn += r;
        m_sim.receive(std::string(buf, static_cast<std::size_t>(r)), now);
    }
    misbehave(now);
    m_sim.advance(now);
    if (paced)
        writePaced(now);
    else
        writeDue();
    return true;
}

void PtyAnalyzer::writeDue() {
    if (m_unsent.size() < kUnsentLimit) m_unsent += m_sim.take(2 * kUnsentLimit);
    if (m_unsent.empty()) return;
    const ssize_t w = ::write(m_master, m_unsent.data(), m_unsent.size());
    if (w > 0) {
        m_bytesOut += w;
        m_unsent.erase(0, static_cast<std::size_t>(w));
    }
}

// One piece of at most chunkSize characters per interval; a step that comes late writes the
// pieces it missed one by one, unless it is more than a second behind.
void PtyAnalyzer::writePaced(std::int64_t now) {
    if (m_nextWriteMs < 0 || now - m_nextWriteMs > 1000) m_nextWriteMs = now;
    while (now >= m_nextWriteMs) {
        m_nextWriteMs += intervalMs;
        if (m_unsent.empty()) m_unsent = m_sim.take(chunkSize);
        if (m_unsent.empty()) continue;
        const ssize_t w = ::write(m_master, m_unsent.data(), m_unsent.size());
        if (w <= 0) break;
        m_bytesOut += w;
        m_unsent.erase(0, static_cast<std::size_t>(w));
    }
}

void PtyAnalyzer::run(const std::atomic<bool>& stop) {
    while (!stop && step()) {
    }
}

} // namespace qarn3
