#include "serial/workthread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>

namespace qarn3 {

SerialShared::SerialShared(std::shared_ptr<SerialOs> system) : os(std::move(system)) {
    wakeFd = os->makeWake();
    if (wakeFd < 0) {
        wakeError = -wakeFd;
        wakeFd = -1;
    }
}

SerialShared::~SerialShared() {
    if (portFd >= 0) os->closePort(portFd);
    if (wakeFd >= 0) os->closeWake(wakeFd);
}

void SerialShared::wake() {
    if (wakeFd >= 0) os->signalWake(wakeFd);
}

void SerialShared::post(WorkerNews&& news) {
    std::lock_guard<std::mutex> guard(m_postLock);
    if (!m_destroying && m_deliver) m_deliver(std::move(news));
}

void SerialShared::setDeliver(std::function<void(WorkerNews&&)> deliver) {
    std::lock_guard<std::mutex> guard(m_postLock);
    m_deliver = std::move(deliver);
}

void SerialShared::beginDestroy() {
    std::lock_guard<std::mutex> guard(m_postLock);
    m_destroying = true;
}

bool SerialShared::destroying() const {
    std::lock_guard<std::mutex> guard(m_postLock);
    return m_destroying;
}

namespace {

constexpr int kWaitMs = 75;
constexpr int kIdleMs = 200;
// While a stream flows, reads are at least this far apart. A USB-serial adapter hands the
// analyzer's stream over in pieces of a few dozen characters every 10 ms or so, and each
// read costs a wake-up of this thread and of the main thread, which takes the samples only
// every 200 ms anyway. The first data after a quiet spell are read as the cluster size says.
constexpr std::int64_t kStreamReadGapMs = 50;
constexpr std::uint32_t kHangUpPlace = 9920;

// One worker's own state: the descriptor it adopted and what it saw last.
class WorkerLoop {
public:
    explicit WorkerLoop(std::shared_ptr<SerialShared> shared)
        : m_shared(std::move(shared)), m_os(*m_shared->os) {}

    void run() {
        while (!m_shared->stop) {
            adopt();
            if (m_fd < 0) {
                m_shared->busy = false;
                waitIdle();
                continue;
            }
            m_shared->busy = true;
            WorkerNews news;
            news.generation = m_generation;
            news.quiet = m_shared->quiet;
            pass(news);
            if (!news.empty()) m_shared->post(std::move(news));
        }
        if (m_fd >= 0) m_os.closePort(m_fd);
        m_fd = -1;
        m_shared->busy = false;
        m_shared->finished = true;
    }

private:
    void adopt() {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        if (m_shared->generation == m_generation) return;
        if (m_fd >= 0) m_os.closePort(m_fd);
        m_generation = m_shared->generation;
        m_fd = m_shared->portFd;
        m_shared->portFd = -1;
        m_modemKnown = m_countersKnown = false;
        m_modemSupported = m_countersSupported = true;
        m_status = CommStatus{};
        m_errorsSinceRead = 0;
        m_lastReadMs = m_os.nowMs();
        m_lastChunkMs = m_lastReadMs - kStreamReadGapMs;
        m_polledAfterWait = false;
        m_silenced.clear();
    }

    void waitIdle() {
        pollfd p{m_shared->wakeFd, POLLIN, 0};
        m_os.waitFor(&p, 1, kIdleMs);
        drainWake();
    }

    void drainWake() {
        if (m_shared->wakeFd >= 0) m_os.drainWake(m_shared->wakeFd);
    }

    // A failing call is reported once, then not again until it has worked once more, so a
    // lasting fault cannot flood the main thread every 75 ms.
    void fail(WorkerNews& news, std::uint32_t place, int error, const std::string& msg) {
        if (!m_silenced.insert(place).second) return;
        news.reports.push_back({place, static_cast<std::uint32_t>(-error), msg, 0});
    }
    void worked(std::uint32_t place) { m_silenced.erase(place); }

    void pass(WorkerNews& news) {
        // The previous pass polled right after its wait; nothing has happened since.
        if (!m_polledAfterWait) pollStatus(news);
        m_polledAfterWait = false;
        checkWrite(news);
        const int dueInMs = readIfDue(news);
        if (m_fd < 0) return;

        pollfd fds[2];
        fds[0] = {m_shared->wakeFd, POLLIN, 0};
        short want = 0;
        // Data that is waiting but not yet due must not wake the poll again at once.
        if (dueInMs < 0) want |= POLLIN;
        if (m_shared->sendInProgress) want |= POLLOUT;
        fds[1] = {m_fd, want, 0};
        const int timeout = dueInMs < 0 ? kWaitMs : std::clamp(dueInMs, 1, kWaitMs);
        const int r = m_os.waitFor(fds, 2, timeout);
        if (r < 0 && r != -EINTR) {
            fail(news, 9911, r, "Error getting Overlappedresult");
        } else {
            worked(9911);
        }
        if (r > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            hangUp(news, 0);
            return;
        }
        if (fds[0].revents & POLLIN) drainWake();
        pollStatus(news);
        m_polledAfterWait = m_fd >= 0;
    }

    void pollStatus(WorkerNews& news) {
        if (m_fd < 0) return;
        std::uint32_t errors = 0;
        if (m_modemSupported) {
            int bits = 0;
            const int r = m_os.modemBits(m_fd, bits);
            if (r < 0 && notSupported(r)) {
                m_modemSupported = false;
            } else if (r < 0) {
                fail(news, 9905, r, "Error getting ModemStatus");
            } else {
                worked(9905);
                const std::uint32_t modem =
                    ((bits & TIOCM_CTS) ? ms::Cts : 0) | ((bits & TIOCM_DSR) ? ms::Dsr : 0) |
                    ((bits & TIOCM_RNG) ? ms::Ring : 0) | ((bits & TIOCM_CAR) ? ms::Rlsd : 0);
                if (!m_modemKnown || modem != m_modem) {
                    if (m_modemKnown && ((modem ^ m_modem) & ms::Ring)) news.riChanged = true;
                    news.modemChanged = true;
                    news.modem = modem;
                    m_modem = modem;
                    m_modemKnown = true;
                }
            }
        }
        if (m_countersSupported) {
            LineCounters c;
            const int r = m_os.counters(m_fd, c);
            if (r < 0 && notSupported(r)) {
                m_countersSupported = false;
            } else if (r < 0) {
                fail(news, 9803, r, "Error ClearCommError");
            } else {
                worked(9803);
                if (m_countersKnown) errors = countEvents(c, news);
                m_counters = c;
                m_countersKnown = true;
            }
        }
        const int in = m_os.inQueue(m_fd);
        const int out = m_os.outQueue(m_fd);
        if (in == -EIO || out == -EIO) {
            hangUp(news, EIO);
            return;
        }
        if (in < 0 || out < 0) {
            fail(news, 9803, in < 0 ? in : out, "Error ClearCommError");
            return;
        }
        if (m_status.outQueue > 0 && out == 0) news.eventBits |= ev::TxEmpty;
        const CommStatus s{errors, 0, static_cast<std::uint32_t>(in),
                           static_cast<std::uint32_t>(out)};
        if (!(s == m_status)) {
            news.statusChanged = true;
            news.status = s;
            m_status = s;
        }
        m_errorsSinceRead |= errors;
    }

    // Turns the driver's counters into line events; returns the line error bits.
    std::uint32_t countEvents(const LineCounters& c, WorkerNews& news) const {
        const LineCounters& o = m_counters;
        std::uint32_t errors = 0;
        if (c.bufOverrun != o.bufOverrun) errors |= ce::RxOver;
        if (c.overrun != o.overrun) errors |= ce::Overrun;
        if (c.parity != o.parity) errors |= ce::RxParity;
        if (c.frame != o.frame) errors |= ce::Frame;
        if (c.brk != o.brk) errors |= ce::Break;
        if (c.brk != o.brk) news.eventBits |= ev::Break;
        if (errors & (ce::RxOver | ce::Overrun | ce::RxParity | ce::Frame))
            news.eventBits |= ev::Err;
        if (c.cts != o.cts) news.eventBits |= ev::Cts;
        if (c.dsr != o.dsr) news.eventBits |= ev::Dsr;
        if (c.rlsd != o.rlsd) news.eventBits |= ev::Rlsd;
        if (c.ring != o.ring) news.eventBits |= ev::Ring;
        return errors;
    }

    // Returns -1 when the next data may be read as they arrive, else milliseconds until a
    // read may be due.
    int readIfDue(WorkerNews& news) {
        if (m_fd < 0) return -1;
        const std::int64_t now = m_os.nowMs();
        const int w = m_os.inQueue(m_fd);
        // Within the gap after a read, what arrives waits for the gap's end, unless it is
        // asked for or a line error came with it.
        const std::int64_t gapLeft = m_lastChunkMs + kStreamReadGapMs - now;
        const bool urgent = m_shared->readRequest || (m_errorsSinceRead & ce::ReadNow);
        if (w <= 0) {
            m_lastReadMs = now;
            return gapLeft > 0 ? static_cast<int>(gapLeft) : -1;
        }
        if (gapLeft > 0 && !urgent) return static_cast<int>(gapLeft);
        const std::int64_t patience =
            static_cast<std::int64_t>(w) * m_shared->rtoCharUs / 1000 + m_shared->rtoExtraMs;
        const bool due = m_shared->readRequest ||
                         static_cast<std::uint32_t>(w) >= m_shared->clusterSize ||
                         now - m_lastReadMs > patience || urgent;
        if (!due) return static_cast<int>(m_lastReadMs + patience + 1 - now);

        if (m_buffer.size() < static_cast<std::size_t>(w)) m_buffer.resize(w);
        const long r = m_os.readSome(m_fd, m_buffer.data(), static_cast<std::size_t>(w));
        if (r > 0) {
            m_shared->readRequest = false;
            queueChunk(static_cast<std::size_t>(r), news);
            m_lastReadMs = m_lastChunkMs = now;
            worked(9804);
            return static_cast<int>(kStreamReadGapMs);
        } else if (r == -EIO || (r == 0 && hungUp())) {
            hangUp(news, r == 0 ? 0 : EIO);
        } else if (r != -EAGAIN && r != -EINTR) {
            m_shared->readRequest = false;
            fail(news, 9804, static_cast<int>(r), "Error reading Data");
        }
        return -1;
    }

    void queueChunk(std::size_t n, WorkerNews& news) {
        if (m_shared->destroying()) return;
        TSerialCluster chunk;
        chunk.data.assign(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(n));
        if (m_shared->stripNulls) std::erase(chunk.data, static_cast<std::uint8_t>(0));
        const int eventChar = m_shared->eventChar;
        if (std::find(chunk.data.begin(), chunk.data.end(), eventChar) != chunk.data.end())
            news.eventBits |= ev::RxFlag;
        news.eventBits |= ev::RxChar;
        chunk.lineError = m_errorsSinceRead;
        m_errorsSinceRead = 0;
        bool overflow = false;
        {
            std::lock_guard<std::mutex> guard(m_shared->lock);
            if (m_shared->queuedBytes + chunk.data.size() > SerialShared::kMaxQueuedBytes) {
                overflow = !m_shared->queueOverflowed;
                m_shared->queueOverflowed = true;
                m_shared->droppedBytes += chunk.data.size();
            } else {
                if (m_shared->queueOverflowed) chunk.lineError |= ce::RxOver;
                m_shared->queueOverflowed = false;
                m_shared->queuedBytes += chunk.data.size();
                m_shared->queue.push_back(std::move(chunk));
                ++news.clusters;
            }
        }
        if (overflow) news.reports.push_back({9805, 0, "Error chunk queue full, data dropped", 0});
    }

    void checkWrite(WorkerNews& news) {
        if (!m_shared->sendInProgress || m_fd < 0) return;
        std::vector<std::uint8_t> rest;
        unsigned serial;
        std::int64_t deadline;
        std::size_t total;
        {
            std::lock_guard<std::mutex> guard(m_shared->lock);
            const PendingWrite& w = m_shared->write;
            if (!w.active) return;
            rest.assign(w.data.begin() + static_cast<std::ptrdiff_t>(w.done), w.data.end());
            serial = w.serial;
            deadline = w.startMs + w.timeoutMs;
            total = w.data.size();
        }
        const long r = m_os.writeSome(m_fd, rest.data(), rest.size());
        std::lock_guard<std::mutex> guard(m_shared->lock);
        PendingWrite& w = m_shared->write;
        if (!w.active || w.serial != serial) return; // purged meanwhile
        if (r > 0) w.done += static_cast<std::size_t>(r);
        const auto finish = [&] {
            w.active = false;
            m_shared->sendInProgress = false;
            news.writeDone = true;
            news.writtenBytes = static_cast<std::uint32_t>(w.done);
        };
        if (w.done >= total) {
            finish();
        } else if (r < 0 && r != -EAGAIN && r != -EINTR) {
            finish();
            news.reports.push_back(
                {9702, static_cast<std::uint32_t>(-r), "Error getting Overlapped Result", 0});
        } else if (m_os.nowMs() > deadline) {
            finish();
            news.reports.push_back({9701, 0, "Error write TimeOut", 0});
        }
    }

    // A read of nothing is a hang-up only when the descriptor says so: a terminal that
    // returns at once also reads nothing when its input was purged after it was counted.
    bool hungUp() {
        pollfd p{m_fd, POLLIN, 0};
        return m_os.waitFor(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
    }

    // The device went away (a pulled cable, the other end of a pseudo-terminal closed): the
    // worker lets go of the descriptor and the main thread closes the port.
    void hangUp(WorkerNews& news, int error) {
        m_os.closePort(m_fd);
        m_fd = -1;
        news.hungUp = true;
        news.reports.push_back(
            {kHangUpPlace, static_cast<std::uint32_t>(error), "Error Port hung up", 0});
    }

    std::shared_ptr<SerialShared> m_shared;
    SerialOs& m_os;
    int m_fd = -1;
    unsigned m_generation = 0;
    bool m_modemSupported = true, m_countersSupported = true;
    bool m_modemKnown = false, m_countersKnown = false;
    std::uint32_t m_modem = 0;
    LineCounters m_counters;
    CommStatus m_status;
    std::uint32_t m_errorsSinceRead = 0;
    std::int64_t m_lastReadMs = 0;
    std::int64_t m_lastChunkMs = 0;
    bool m_polledAfterWait = false;
    std::vector<std::uint8_t> m_buffer; // grows to the largest read, then stays
    std::set<std::uint32_t> m_silenced;
};

} // namespace

TWorkThread::TWorkThread(std::shared_ptr<SerialShared> shared) : m_shared(std::move(shared)) {
    m_thread = std::thread([s = m_shared] { WorkerLoop(s).run(); });
}

TWorkThread::~TWorkThread() {
    m_shared->stop = true;
    m_shared->wake();
    for (int step = 0; step < 10 * 15 && !m_shared->finished; ++step)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (m_shared->finished)
        m_thread.join();
    else
        m_thread.detach();
}

} // namespace qarn3
