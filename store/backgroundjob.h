#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QThread;

namespace qarn3 {

// One long piece of the records' work (an export, a report, a sync, a connection test) on a
// thread of its own: the records' one worker, never detached. The work sees only what it was
// given by copy, a cancel flag and a progress counter; its result comes back as a queued call
// on the thread that started it, so that thread never waits for it. One at a time.
class BackgroundJob : public QObject {
    Q_OBJECT
public:
    // The work: returns an error text, empty when done. Reads cancel now and then; counts
    // what it did in progress.
    using Work = std::function<std::string(const std::atomic<bool>& cancel,
                                           std::atomic<std::int64_t>& progress)>;
    // Called on the starting thread when the work ended: its error, and whether it was asked
    // to stop.
    using Done = std::function<void(const std::string& error, bool cancelled)>;

    explicit BackgroundJob(QObject* parent = nullptr);
    // Asks a running work to stop and waits for it at most two seconds (at exit).
    ~BackgroundJob() override;

    // False when a work is still running.
    bool start(Work work, Done done);
    bool running() const { return m_thread != nullptr; }
    void cancel();
    std::int64_t progress() const;
    // Asks a running work to stop and waits at most bound for it; true when none runs then.
    bool finish(std::chrono::milliseconds bound);

private:
    struct State;
    QThread* m_thread = nullptr;
    std::shared_ptr<State> m_state;
};

} // namespace qarn3
