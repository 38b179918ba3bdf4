#pragma once

#include "link/usblink.h"

#include <QObject>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qarn3 {

// The USB reader thread: reads packets into the link's ring until ReadLife runs out or it is
// asked to stop. Status lines and the end notice reach the main thread as queued calls.
//
// Asking it to stop only sets its stop flag: the thread notices within one read time-out and
// ends by itself; nothing on the main thread waits for it. A send made meanwhile starts a new
// thread at once; the new one takes its first read only after the old one's last read has
// gone into the ring, so the stream stays in order. Only exit waits, with a bound.
class UsbReader : public QObject, public UsbReaderControl {
    Q_OBJECT
public:
    explicit UsbReader(UsbLink& link, QObject* parent = nullptr);
    // Stops every thread and collects them (after shutdown() they have all ended).
    ~UsbReader() override;

    void ensureRunning() override;
    void requestStop() override;

    // Program exit: asks every reader thread to stop and waits at most bound for them to end.
    // True when none is left.
    bool shutdown(std::chrono::milliseconds bound) override;

    // A thread is running that has not been asked to stop and has not timed out.
    bool running() const;
    // Threads started and not yet ended (the current one and any winding down).
    int threadsAlive() const;

private:
    struct Run;
    void run(Run& r);
    void ended(unsigned generation);
    // Collects the threads that have ended. Never waits on a running one.
    void reap();

    UsbLink& m_link;
    mutable std::mutex m_lock; // the runs and the ending decision; never held across I/O
    std::condition_variable m_anyEnded;
    std::mutex m_readTurn; // one read (and its ring put) at a time, old thread first
    std::unique_ptr<Run> m_current;
    std::vector<std::unique_ptr<Run>> m_old;
    unsigned m_generation = 0;
};

} // namespace qarn3
