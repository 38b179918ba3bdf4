#pragma once

#include "serial/serialos.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qarn3::test {

// A pseudo-terminal whose master end the test holds; the component opens slavePath().
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return m_slavePath; }
    int master() const { return m_master; }
    void write(const std::string& bytes);
    // Everything readable within ms (at least what is there now).
    std::string read(int ms = 0);
    // Closes the master end: the slave sees a hang-up.
    void close();

private:
    int m_master = -1;
    int m_keepSlave = -1; // keeps the slave configured while the component reopens it
    std::string m_slavePath;
};

// Runs the Qt event loop until done() holds or limitMs passes; returns done().
bool pumpUntil(const std::function<bool()>& done, int limitMs = 5000);
// Runs the Qt event loop for ms.
void pumpFor(int ms);

// The POSIX calls on a pseudo-terminal with what it lacks played by the test: modem lines,
// line error and break counters, a scripted block of received data, and failures.
class ScriptedSerialOs : public PosixSerialOs {
public:
    void setModemBits(int bits);
    void bumpCounters(const std::function<void(LineCounters&)>& change);
    void injectRead(std::vector<std::uint8_t> data);
    // The transmit queue's count from now on (a pseudo-terminal's drains at once).
    void setOutQueue(int count);
    // The line flags last set (a pseudo-terminal keeps 8 data bits whatever it is given).
    tcflag_t lastControlFlags() const;
    void failCall(const std::string& call, int error); // "flush", "setModemBits", "setBreak"
    // The next read finds the receive queue purged after it was counted, as when the main
    // thread discards input at that moment.
    void purgeBeforeNextRead();
    bool purgePending() const;
    std::vector<std::string> calls() const;

    int modemBits(int fd, int& bits) override;
    int counters(int fd, LineCounters& c) override;
    int setModemBits(int fd, int bits, bool on) override;
    int setBreak(int fd, bool on) override;
    int flush(int fd, int queues) override;
    int setAttributes(int fd, const termios& t) override;
    int inQueue(int fd) override;
    int outQueue(int fd) override;
    long readSome(int fd, std::uint8_t* data, std::size_t n) override;
    int waitFor(pollfd* fds, int count, int timeoutMs) override;

private:
    int failure(const std::string& call);

    mutable std::mutex m_lock;
    int m_modem = 0;
    LineCounters m_counters;
    std::vector<std::uint8_t> m_injected;
    bool m_purgeBeforeRead = false;
    std::optional<int> m_outQueue;
    tcflag_t m_controlFlags = 0;
    std::vector<std::pair<std::string, int>> m_failures;
    std::vector<std::string> m_calls;
};

} // namespace qarn3::test
