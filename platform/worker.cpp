#include "platform/worker.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace qarn3 {

// Shared by the worker and its thread, so that whichever goes last frees it: a thread left
// behind at finish() touches nothing else of the worker.
struct Worker::State {
    using Flag = std::shared_ptr<std::atomic<bool>>;
    struct Posted {
        Task task;
        Flag cancel;
    };

    std::mutex m;
    std::condition_variable wake;
    std::deque<Posted> queue;
    Flag cancel = std::make_shared<std::atomic<bool>>(false); // of the tasks posted from now
    bool stopping = false;                                    // end once the queue is empty
    bool abandoned = false;   // end after the task in hand, running nothing more
    QObject* owner = nullptr; // none once finish() has returned
    std::function<void()> atEnd;

    void cancelPosted() {
        cancel->store(true);
        cancel = std::make_shared<std::atomic<bool>>(false);
    }

    // The thread: every task is run and freed here, also those dropped when abandoned.
    void run() {
        std::deque<Posted> dropped;
        for (;;) {
            Posted next;
            {
                std::unique_lock lock(m);
                wake.wait(lock, [this] { return !queue.empty() || stopping || abandoned; });
                if (abandoned) {
                    dropped.swap(queue);
                    break;
                }
                if (queue.empty()) break;
                next = std::move(queue.front());
                queue.pop_front();
            }
            next.task(Context(*this, *next.cancel));
        }
        dropped.clear();
        if (atEnd) atEnd();
    }
};

void Worker::Context::deliver(std::function<void()> onOwnerThread) const {
    std::lock_guard lock(m_state.m);
    if (m_state.owner)
        QMetaObject::invokeMethod(m_state.owner, std::move(onOwnerThread), Qt::QueuedConnection);
}

Worker::Worker(QObject& owner, const QString& name, std::chrono::milliseconds boundAtDestruction,
               std::function<void()> atEnd)
    : m_state(std::make_shared<State>()), m_boundAtDestruction(boundAtDestruction) {
    m_state->owner = &owner;
    m_state->atEnd = std::move(atEnd);
    m_thread = QThread::create([state = m_state] { state->run(); });
    m_thread->setObjectName(name);
    // The thread object lives on this thread. When finish() leaves its thread behind, it
    // goes once that thread has ended (or with the process).
    QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
}

Worker::~Worker() {
    finish(m_boundAtDestruction);
}

bool Worker::post(Task task) {
    if (m_finished) return false;
    {
        std::lock_guard lock(m_state->m);
        m_state->queue.push_back({std::move(task), m_state->cancel});
    }
    m_state->wake.notify_one();
    return true;
}

void Worker::cancel() {
    std::lock_guard lock(m_state->m);
    m_state->cancelPosted();
}

bool Worker::finish(std::chrono::milliseconds bound, std::chrono::milliseconds uncancelled) {
    if (m_finished) return m_endedInTime;
    m_finished = true;
    bound = std::max(bound, std::chrono::milliseconds(0));
    const QDeadlineTimer deadline(bound);
    {
        std::lock_guard lock(m_state->m);
        m_state->stopping = true;
    }
    m_state->wake.notify_all();
    bool ended =
        uncancelled.count() > 0 && m_thread->wait(QDeadlineTimer(std::min(uncancelled, bound)));
    if (!ended) {
        cancel();
        ended = m_thread->wait(deadline);
    }
    {
        std::lock_guard lock(m_state->m);
        m_state->owner = nullptr;
        m_state->abandoned = !ended;
    }
    m_state->wake.notify_all();
    m_endedInTime = ended;
    if (ended) delete m_thread;
    m_thread = nullptr;
    return ended;
}

} // namespace qarn3
