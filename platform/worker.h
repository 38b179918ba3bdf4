#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QObject;
class QThread;

namespace qarn3 {

// A thread of its own that runs the tasks posted to it one after another, for work the
// owner's thread must never wait on. A task sees what it was given by copy or shared, a
// cancel flag, and a way to hand results back: queued calls on the owner, an object of the
// thread that made the worker. Only finish() waits, with a bound; a thread still inside a
// task then is left behind, not detached: its thread object stays until it ends (or the
// process does), it owns all it touches (the worker's state and the task are shared with
// it, the owner is no longer reached), and it ends once its task returns, running nothing
// more.
class Worker {
    struct State;

public:
    // What a task is handed on the worker's thread.
    class Context {
    public:
        // Set by cancel() and finish() for every task posted before them.
        const std::atomic<bool>& cancel() const { return *m_cancel; }
        bool cancelled() const { return m_cancel->load(); }
        // Queues onOwnerThread to run on the owner's thread, after what this worker queued
        // before. Dropped once finish() has returned or the worker has gone; a call queued
        // before then runs while the owner lives.
        void deliver(std::function<void()> onOwnerThread) const;

    private:
        friend class Worker;
        Context(State& state, const std::atomic<bool>& cancel)
            : m_state(state), m_cancel(&cancel) {}
        State& m_state;
        const std::atomic<bool>* m_cancel;
    };
    using Task = std::function<void(const Context&)>;

    // Starts the thread (named name). owner: where results are delivered; it outlives this
    // worker. atEnd runs on the worker's thread last, also when the worker was abandoned
    // (once the task in hand has returned): for what that thread made, its database
    // connection.
    Worker(QObject& owner, const QString& name, std::chrono::milliseconds boundAtDestruction,
           std::function<void()> atEnd = {});
    // finish(boundAtDestruction) unless finish() was called.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues the task behind the others; false (the task dropped) after finish().
    bool post(Task task);
    // Asks every task posted so far to stop; later ones start with a flag of their own.
    void cancel();
    // Lets the tasks posted so far run, asked to stop (after uncancelled as they were posted,
    // for the first that much of the bound), and waits at most bound for the thread to end.
    // True when it ended; false when a task was still running, which is then abandoned
    // with whatever is queued behind it. Later calls return the first's answer at once.
    bool finish(std::chrono::milliseconds bound,
                std::chrono::milliseconds uncancelled = std::chrono::milliseconds(0));

private:
    std::shared_ptr<State> m_state;
    QThread* m_thread;
    std::chrono::milliseconds m_boundAtDestruction;
    bool m_finished = false;
    bool m_endedInTime = false;
};

} // namespace qarn3
