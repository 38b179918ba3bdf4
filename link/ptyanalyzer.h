#pragma once

#include "link/analyzersim.h"
#include "platform/owners.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace qarn3 {

// Ways the simulated analyzer misbehaves, in seconds since the stream last started (a
// negative time: never).
struct SimMisbehaviour {
    int garbleEvery = 0;           // every n-th pair has mismatched phase bits
    double silenceAt = -1;         // stops answering and streaming ...
    double silenceFor = 0;         // ... for this long
    double burstAt = -1;           // sends a burst of garbage ...
    std::size_t burstSize = 60000; // ... larger than the program's receive queue
    double closeAt = -1;           // closes the port mid-stream (a pulled cable)
};

// The analyzer simulator behind a pseudo-terminal: the program opens path() as its serial
// port. step() moves the program's bytes in and the simulator's answers and stream out in
// real time. Used from one thread; requestClose() may be called from any.
class PtyAnalyzer {
public:
    PtyAnalyzer();
    ~PtyAnalyzer();
    PtyAnalyzer(const PtyAnalyzer&) = delete;
    PtyAnalyzer& operator=(const PtyAnalyzer&) = delete;

    // Opens the pseudo-terminal; false with a message when the system has none.
    bool open(std::string& error);
    const std::string& path() const { return m_path; }
    // Makes link a symbolic link to the terminal. Only a symbolic link of the user's already
    // there is replaced; any other file, and another user's link, is left alone and refused
    // with a message, as is a folder reached through a link the kernel would not follow.
    bool linkTerminal(const std::string& link, std::string& error,
                      const FileOwners& owners = systemFileOwners()) const;
    bool isOpen() const { return m_master >= 0; }

    AnalyzerSimulator& analyzer() { return m_sim; }
    SimMisbehaviour misbehaviour;
    // Paced writes: chunkSize characters every intervalMs (as a USB-serial adapter delivers);
    // 0 writes whatever is due at each step.
    std::size_t chunkSize = 0;
    int intervalMs = 10;

    // Waits at most waitMs for the program's bytes, then answers and streams what is due.
    // False once the port is closed.
    bool step(int waitMs = 10);
    // Runs step() until the port is closed or stop is set.
    void run(const std::atomic<bool>& stop);
    void requestClose() { m_closeRequested = true; }
    void close();

    std::int64_t bytesReceived() const { return m_bytesIn; }
    std::int64_t bytesSent() const { return m_bytesOut; }

private:
    std::int64_t nowMs() const;
    void misbehave(std::int64_t now);
    void writeDue();
    void writePaced(std::int64_t now);

    AnalyzerSimulator m_sim;
    int m_master = -1;
    int m_slave = -1; // held open so the terminal keeps its settings between the program's opens
    std::string m_path;
    std::string m_unsent;
    std::int64_t m_startMs = 0;
    std::int64_t m_streamStartMs = -1;
    std::int64_t m_nextWriteMs = -1;
    bool m_silenced = false, m_burstSent = false;
    std::atomic<bool> m_closeRequested{false};
    std::int64_t m_bytesIn = 0, m_bytesOut = 0;
};

} // namespace qarn3
