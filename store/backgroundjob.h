#pragma once

#include "platform/worker.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qarn3 {

// One long piece of the records' work (an export, a report, a sync, a connection test) at a
// time, on a Worker of its own made at the first start. The work sees only what it was
// given by copy or shared, its job (the cancel flag, and queued calls to this object) and a
// progress counter; its result comes back as a queued call on the thread that started it,
// so that thread never waits for it.
class BackgroundJob : public QObject {
    Q_OBJECT
public:
    // The work: returns an error text, empty when done. Reads job.cancel() now and then;
    // counts what it did in progress.
    using Work =
        std::function<std::string(const Worker::Context& job, std::atomic<std::int64_t>& progress)>;
    // Called on the starting thread when the work ended: its error, and whether it was asked
    // to stop.
    using Done = std::function<void(const std::string& error, bool cancelled)>;

    explicit BackgroundJob(QObject* parent = nullptr);
    // Asks a running work to stop and waits for it at most two seconds (at exit).
    ~BackgroundJob() override;

    // False when a work is still running.
    bool start(Work work, Done done);
    bool running() const { return m_running; }
    void cancel();
    std::int64_t progress() const;
    // Asks a running work to stop and waits at most bound for it; true when none runs then.
    // A work still running then is left behind, and this job stays running.
    bool finish(std::chrono::milliseconds bound);

private:
    std::unique_ptr<Worker> m_worker; // none before the first start, and after a finish
    std::shared_ptr<std::atomic<std::int64_t>> m_progress;
    std::uint64_t m_serial = 0; // of the newest work
    bool m_running = false;
    bool m_cancelAsked = false; // of the newest work
};

} // namespace qarn3
