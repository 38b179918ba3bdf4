#include "store/backgroundjob.h"

namespace qarn3 {

BackgroundJob::BackgroundJob(QObject* parent) : QObject(parent) {}

BackgroundJob::~BackgroundJob() {
    finish(std::chrono::seconds(2));
}

bool BackgroundJob::start(Work work, Done done) {
    if (m_running) return false;
    if (!m_worker)
        m_worker = std::make_unique<Worker>(*this, "records job", std::chrono::seconds(2));
    auto progress = std::make_shared<std::atomic<std::int64_t>>(0);
    const std::uint64_t serial = ++m_serial;
    m_progress = progress;
    m_cancelAsked = false;
    m_running = true;
    // This job is reached only from the call delivered to it, after the work's last write.
    m_worker->post([this, serial, progress, w = std::move(work),
                    d = std::move(done)](const Worker::Context& job) {
        std::string error = w(job, *progress);
        job.deliver([this, serial, error = std::move(error), d] {
            if (serial == m_serial) m_running = false;
            // A work before the newest one was ended by finish().
            d(error, serial != m_serial || m_cancelAsked);
        });
    });
    return true;
}

void BackgroundJob::cancel() {
    if (!m_running) return;
    m_cancelAsked = true;
    m_worker->cancel();
}

std::int64_t BackgroundJob::progress() const {
    return m_progress ? m_progress->load() : 0;
}

bool BackgroundJob::finish(std::chrono::milliseconds bound) {
    if (!m_running) return true;
    cancel();
    if (!m_worker->finish(bound)) return false;
    // Ended: its queued call still reports it while this object lives.
    m_running = false;
    m_worker.reset();
    return true;
}

} // namespace qarn3
