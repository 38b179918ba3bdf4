#include "link/usbreader.h"

#include "diag/debuglog.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>

namespace qarn3 {

struct UsbReader::Run {
    explicit Run(unsigned g) : generation(g) {}
    const unsigned generation;
    std::atomic<bool> stop{false};
    bool timedOut = false; // guarded by m_lock: the loop has ended for lack of data
    bool exited = false;   // guarded by m_lock: the thread function is returning
    std::thread thread;
};

UsbReader::UsbReader(UsbLink& link, QObject* parent) : QObject(parent), m_link(link) {}

UsbReader::~UsbReader() {
    shutdown(std::chrono::milliseconds(2000));
    // A thread still in a read after the bound is waited for all the same: it uses the link.
    std::vector<std::unique_ptr<Run>> all;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        all = std::move(m_old);
        if (m_current) all.push_back(std::move(m_current));
    }
    for (auto& r : all)
        if (r->thread.joinable()) r->thread.join();
}

void UsbReader::ensureRunning() {
    reap();
    std::lock_guard<std::mutex> guard(m_lock);
    // Under the lock, so that a thread deciding to end for lack of data sees the refill or
    // is seen to have ended.
    m_link.ReadLife = kReadLifeFull;
    if (m_current && !m_current->stop && !m_current->timedOut) return;
    if (m_current) m_old.push_back(std::move(m_current));
    m_current = std::make_unique<Run>(++m_generation);
    Run* r = m_current.get();
    r->thread = std::thread([this, r] { run(*r); });
}

void UsbReader::requestStop() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_current) return;
    m_current->stop = true;
    m_old.push_back(std::move(m_current));
}

bool UsbReader::running() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_current && !m_current->stop && !m_current->timedOut;
}

int UsbReader::threadsAlive() const {
    std::lock_guard<std::mutex> guard(m_lock);
    int n = m_current && !m_current->exited ? 1 : 0;
    for (const auto& r : m_old)
        n += r->exited ? 0 : 1;
    return n;
}

bool UsbReader::shutdown(std::chrono::milliseconds bound) {
    bool allEnded;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_current) {
            m_current->stop = true;
            m_old.push_back(std::move(m_current));
        }
        for (auto& r : m_old)
            r->stop = true;
        allEnded = m_anyEnded.wait_for(lock, bound, [this] {
            return std::all_of(m_old.begin(), m_old.end(),
                               [](const std::unique_ptr<Run>& r) { return r->exited; });
        });
    }
    reap();
    return allEnded;
}

void UsbReader::reap() {
    std::vector<std::unique_ptr<Run>> done;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = std::partition(m_old.begin(), m_old.end(),
                                 [](const std::unique_ptr<Run>& r) { return !r->exited; });
        std::move(it, m_old.end(), std::back_inserter(done));
        m_old.erase(it, m_old.end());
    }
    // These threads are past their last statement: joining only collects them.
    for (auto& r : done)
        r->thread.join();
}

void UsbReader::run(Run& r) {
    m_link.log().AddDebugLine("Thread Running ");
    QMetaObject::invokeMethod(
        this, [this] { m_link.view().addStatus("Thread Running"); }, Qt::QueuedConnection);
    bool timedOut = false;
    while (!r.stop) {
        if (m_link.ReadLife <= 0) {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_link.ReadLife > 0) continue; // refilled by a send just now
            r.timedOut = timedOut = true;
            break;
        }
        bool got;
        {
            std::lock_guard<std::mutex> turn(m_readTurn);
            if (r.stop) break;
            got = m_link.readerPoll();
        }
        if (!got) --m_link.ReadLife;
    }
    if (timedOut) {
        QMetaObject::invokeMethod(
            this, [this] { m_link.view().addStatus("Thread Timeout"); }, Qt::QueuedConnection);
        m_link.log().AddDebugLine("Thread Timeout ");
    }
    const unsigned generation = r.generation;
    QMetaObject::invokeMethod(
        this, [this, generation] { ended(generation); }, Qt::QueuedConnection);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        r.exited = true;
    }
    m_anyEnded.notify_all();
}

void UsbReader::ended(unsigned generation) {
    // Forget the ended thread, so that the next send creates a new one; a newer thread started
    // while this one wound down stays.
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_current && m_current->generation == generation) m_old.push_back(std::move(m_current));
    }
    reap();
    m_link.view().addStatus("Thread terminated and nil");
}

} // namespace qarn3
