#include "store/backgroundjob.h"

#include <QThread>

namespace qarn3 {

struct BackgroundJob::State {
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> progress{0};
    std::string error; // written by the work's thread before it ends, read after
};

BackgroundJob::BackgroundJob(QObject* parent) : QObject(parent) {}

BackgroundJob::~BackgroundJob() {
    finish(std::chrono::seconds(2));
}

bool BackgroundJob::start(Work work, Done done) {
    if (m_thread) return false;
    auto state = std::make_shared<State>();
    m_state = state;
    m_thread = QThread::create(
        [state, w = std::move(work)] { state->error = w(state->cancel, state->progress); });
    m_thread->setObjectName("records job");
    QThread* thread = m_thread;
    // The thread object lives here: finished arrives queued, after the work's last write.
    connect(thread, &QThread::finished, this, [this, thread, state, d = std::move(done)] {
        if (m_thread == thread) m_thread = nullptr;
        d(state->error, state->cancel.load());
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return true;
}

void BackgroundJob::cancel() {
    if (m_state) m_state->cancel = true;
}

std::int64_t BackgroundJob::progress() const {
    return m_state ? m_state->progress.load() : 0;
}

bool BackgroundJob::finish(std::chrono::milliseconds bound) {
    if (!m_thread) return true;
    cancel();
    QThread* thread = m_thread;
    if (!thread->wait(static_cast<unsigned long>(bound.count()))) return false;
    // Ended: its queued finished call still reports it while this object lives; the thread
    // object goes by its own queued deleteLater.
    m_thread = nullptr;
    return true;
}

} // namespace qarn3
