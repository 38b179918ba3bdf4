#include "support/pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qarn3::test {

Pty::Pty() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    m_slavePath = ::ptsname(m_master);
    m_keepSlave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(m_keepSlave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_keepSlave, TCSANOW, &t);
}

Pty::~Pty() {
    close();
}

void Pty::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
        } else {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

std::string Pty::read(int ms) {
    std::string out;
    QElapsedTimer t;
    t.start();
    do {
        char buf[4096];
        const ssize_t r = ::read(m_master, buf, sizeof buf);
        if (r > 0) {
            out.append(buf, static_cast<std::size_t>(r));
            continue;
        }
        if (ms > 0) QThread::msleep(5);
    } while (t.elapsed() < ms);
    return out;
}

void Pty::close() {
    if (m_keepSlave >= 0) ::close(m_keepSlave);
    if (m_master >= 0) ::close(m_master);
    m_keepSlave = m_master = -1;
}

bool pumpUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return done();
}

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

void ScriptedSerialOs::setModemBits(int bits) {
    std::lock_guard<std::mutex> g(m_lock);
    m_modem = bits;
}

void ScriptedSerialOs::bumpCounters(const std::function<void(LineCounters&)>& change) {
    std::lock_guard<std::mutex> g(m_lock);
    change(m_counters);
}

void ScriptedSerialOs::injectRead(std::vector<std::uint8_t> data) {
    std::lock_guard<std::mutex> g(m_lock);
    m_injected = std::move(data);
}

void ScriptedSerialOs::failCall(const std::string& call, int error) {
    std::lock_guard<std::mutex> g(m_lock);
    m_failures.emplace_back(call, error);
}

void ScriptedSerialOs::purgeBeforeNextRead() {
    std::lock_guard<std::mutex> g(m_lock);
    m_purgeBeforeRead = true;
}

bool ScriptedSerialOs::purgePending() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_purgeBeforeRead;
}

std::vector<std::string> ScriptedSerialOs::calls() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_calls;
}

int ScriptedSerialOs::failure(const std::string& call) {
    for (const auto& [name, error] : m_failures)
        if (name == call) return -error;
    return 0;
}

int ScriptedSerialOs::modemBits(int, int& bits) {
    std::lock_guard<std::mutex> g(m_lock);
    bits = m_modem;
    return 0;
}

int ScriptedSerialOs::counters(int, LineCounters& c) {
    std::lock_guard<std::mutex> g(m_lock);
    c = m_counters;
    return 0;
}

int ScriptedSerialOs::setModemBits(int, int bits, bool on) {
    std::lock_guard<std::mutex> g(m_lock);
    m_calls.push_back(std::string(on ? "set " : "clear ") + (bits == TIOCM_RTS   ? "RTS"
                                                             : bits == TIOCM_DTR ? "DTR"
                                                                                 : "?"));
    if (const int f = failure("setModemBits")) return f;
    if (on)
        m_modem |= bits;
    else
        m_modem &= ~bits;
    return 0;
}

int ScriptedSerialOs::setBreak(int, bool on) {
    std::lock_guard<std::mutex> g(m_lock);
    m_calls.push_back(on ? "set BREAK" : "clear BREAK");
    return failure("setBreak");
}

int ScriptedSerialOs::flush(int fd, int queues) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (const int f = failure("flush")) return f;
    }
    return PosixSerialOs::flush(fd, queues);
}

int ScriptedSerialOs::setAttributes(int fd, const termios& t) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_controlFlags = t.c_cflag;
    }
    return PosixSerialOs::setAttributes(fd, t);
}

tcflag_t ScriptedSerialOs::lastControlFlags() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_controlFlags;
}

void ScriptedSerialOs::setOutQueue(int count) {
    std::lock_guard<std::mutex> g(m_lock);
    m_outQueue = count;
}

int ScriptedSerialOs::outQueue(int fd) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_outQueue) return *m_outQueue;
    }
    return PosixSerialOs::outQueue(fd);
}

int ScriptedSerialOs::inQueue(int fd) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_injected.empty()) return static_cast<int>(m_injected.size());
    }
    return PosixSerialOs::inQueue(fd);
}

long ScriptedSerialOs::readSome(int fd, std::uint8_t* data, std::size_t n) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_injected.empty()) {
            const std::size_t k = std::min(n, m_injected.size());
            std::copy_n(m_injected.begin(), k, data);
            m_injected.erase(m_injected.begin(), m_injected.begin() + static_cast<long>(k));
            return static_cast<long>(k);
        }
        if (m_purgeBeforeRead) {
            m_purgeBeforeRead = false;
            PosixSerialOs::flush(fd, TCIFLUSH);
        }
    }
    return PosixSerialOs::readSome(fd, data, n);
}

int ScriptedSerialOs::waitFor(pollfd* fds, int count, int timeoutMs) {
    // Scripted data is not on the descriptor: let the worker look again soon.
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_injected.empty()) timeoutMs = std::min(timeoutMs, 5);
    }
    return PosixSerialOs::waitFor(fds, count, timeoutMs);
}

} // namespace qarn3::test
