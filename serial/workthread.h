#pragma once

#include "serial/serialos.h"
#include "serial/serialport.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qarn3 {

// Line event bits (CommEvent).
namespace ev {
constexpr std::uint32_t RxChar = 0x01;
constexpr std::uint32_t RxFlag = 0x02;
constexpr std::uint32_t TxEmpty = 0x04;
constexpr std::uint32_t Cts = 0x08;
constexpr std::uint32_t Dsr = 0x10;
constexpr std::uint32_t Rlsd = 0x20;
constexpr std::uint32_t Break = 0x40;
constexpr std::uint32_t Err = 0x80;
constexpr std::uint32_t Ring = 0x100;
constexpr std::uint32_t All = 0x1FF;
} // namespace ev

// Line error bits (CommError).
namespace ce {
constexpr std::uint32_t RxOver = 0x01;
constexpr std::uint32_t Overrun = 0x02;
constexpr std::uint32_t RxParity = 0x04;
constexpr std::uint32_t Frame = 0x08;
constexpr std::uint32_t Break = 0x10;
constexpr std::uint32_t ReadNow = 0x1F; // any of these makes the worker read at once
} // namespace ce

// Modem status bits (ModemState).
namespace ms {
constexpr std::uint32_t Cts = 0x10;
constexpr std::uint32_t Dsr = 0x20;
constexpr std::uint32_t Ring = 0x40;
constexpr std::uint32_t Rlsd = 0x80;
} // namespace ms

// One report for OnProcessError.
struct SerialReport {
    std::uint32_t place = 0;
    std::uint32_t code = 0;
    std::string msg;
    std::uint8_t noise = 0;
};

// Line errors, status flags and queue fill of one status poll.
struct CommStatus {
    std::uint32_t error = 0;
    std::uint32_t flags = 0;
    std::uint32_t inQueue = 0;
    std::uint32_t outQueue = 0;
    bool operator==(const CommStatus&) const = default;
};

// What one pass of the worker hands to the main thread.
struct WorkerNews {
    unsigned generation = 0;
    bool quiet = false; // ThreadQuietMode was set: update the states, raise nothing
    bool statusChanged = false;
    CommStatus status;
    bool modemChanged = false;
    std::uint32_t modem = 0;
    bool riChanged = false;
    std::uint32_t eventBits = 0;
    bool writeDone = false;
    std::uint32_t writtenBytes = 0;
    int clusters = 0;
    bool hungUp = false;
    std::vector<SerialReport> reports;

    bool empty() const {
        return !statusChanged && !modemChanged && !riChanged && eventBits == 0 && !writeDone &&
               clusters == 0 && !hungUp && reports.empty();
    }
};

// The rest of a write that did not go out at once; the worker finishes it.
struct PendingWrite {
    bool active = false;
    unsigned serial = 0; // changes with every new write or purge
    std::vector<std::uint8_t> data;
    std::size_t done = 0;
    std::int64_t startMs = 0;
    std::int64_t timeoutMs = 0;
};

// Everything the component and its worker share. The chunk queue, the port handed to the
// worker and the pending write are guarded by the queue lock; the settings the worker needs
// are atomics. The worker holds this by shared pointer, so a worker that outlives its
// component at exit never touches freed memory.
class SerialShared {
public:
    explicit SerialShared(std::shared_ptr<SerialOs> os);
    ~SerialShared();
    SerialShared(const SerialShared&) = delete;
    SerialShared& operator=(const SerialShared&) = delete;

    // Wakes the worker from its wait.
    void wake();
    // Hands news to the main thread, unless the component is being destroyed.
    void post(WorkerNews&& news);
    void setDeliver(std::function<void(WorkerNews&&)> deliver);
    void beginDestroy();
    bool destroying() const;

    const std::shared_ptr<SerialOs> os;
    int wakeFd = -1;
    int wakeError = 0; // why there is no wake-up

    std::mutex lock; // the queue lock
    std::deque<TSerialCluster> queue;
    std::size_t queuedBytes = 0;
    bool queueOverflowed = false;
    std::uint64_t droppedBytes = 0; // dropped because the queue was full
    int portFd = -1;                // the worker's descriptor, until the worker adopts it
    unsigned generation = 0;        // changes with every open and close
    PendingWrite write;

    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> busy{false};
    std::atomic<bool> quiet{false};
    std::atomic<bool> readRequest{false};
    std::atomic<bool> stripNulls{false};
    std::atomic<bool> sendInProgress{false};
    std::atomic<int> eventChar{0};
    std::atomic<std::uint32_t> clusterSize{3072};
    std::atomic<std::uint32_t> rtoCharUs{1100};
    std::atomic<std::uint32_t> rtoExtraMs{250};

    // A chunk queue holding more than this is not fed further until the main thread catches
    // up: the data are dropped and the next chunk carries a receive overrun.
    static constexpr std::size_t kMaxQueuedBytes = 1 << 20;

private:
    mutable std::mutex m_postLock;
    bool m_destroying = false;
    std::function<void(WorkerNews&&)> m_deliver;
};

// The worker thread: reads, watches the lines and finishes writes of the open port, and
// hands what it saw to the main thread. It never touches the component itself.
class TWorkThread {
public:
    explicit TWorkThread(std::shared_ptr<SerialShared> shared);
    // Asks the worker to stop and waits for it at most 10 x 75 ms; a worker still running
    // then is left to end on its own.
    ~TWorkThread();
    TWorkThread(const TWorkThread&) = delete;
    TWorkThread& operator=(const TWorkThread&) = delete;

private:
    std::thread m_thread;
    std::shared_ptr<SerialShared> m_shared;
};

} // namespace qarn3
