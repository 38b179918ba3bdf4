#include "recordswindows/syncrunner.h"

#include "recordswindows/guiprompt.h"
#include "store/backgroundjob.h"

#include <algorithm>
#include <mutex>

namespace qarn3 {

// What a worker hands to the window's thread, shared by the worker and the runner.
struct SharedDatabaseRunner::Relay {
    std::mutex m;
    bool progressPosted = false;
    SyncProgress latest;
    // Written by the worker before its job ends, read on the window's thread after.
    SyncReport report;
    SharedDatabaseCheck check;
};

SharedDatabaseRunner::SyncJob SharedDatabaseRunner::syncJob(DatabaseLocation local,
                                                            DatabaseLocation shared,
                                                            SyncOptions options) {
    return [local = std::move(local), shared = std::move(shared),
            options = std::move(options)](const SyncHooks& hooks, const OpenOptions& open) {
        return syncRecords(local, shared, options, hooks, open);
    };
}

SharedDatabaseRunner::CheckJob SharedDatabaseRunner::checkJob(DatabaseLocation shared) {
    return [shared = std::move(shared)](const OpenOptions& open) {
        return checkSharedDatabase(shared, open);
    };
}

SharedDatabaseRunner::SharedDatabaseRunner(DialogService& dialogs, QObject* parent)
    : QObject(parent), m_prompt(std::make_shared<GuiPasswordPrompt>(dialogs)),
      m_syncJob(new BackgroundJob(this)) {}

SharedDatabaseRunner::~SharedDatabaseRunner() {
    // The jobs, children of this object, wait for their workers with their own bound.
    m_prompt->abandon();
}

void SharedDatabaseRunner::launch(BackgroundJob& job, Work work, std::function<void()> done) {
    job.start(
        [prompt = m_prompt, w = std::move(work)](const Worker::Context& context,
                                                 std::atomic<std::int64_t>&) {
            OpenOptions options;
            options.passwordPrompt = prompt.get();
            return w(context, options);
        },
        [this, d = std::move(done)](const std::string&, bool) {
            // After finish (at exit) nobody wants an outcome.
            if (!m_finished) d();
        });
}

bool SharedDatabaseRunner::syncRunning() const {
    return m_syncJob->running();
}

bool SharedDatabaseRunner::startSync(SyncJob work) {
    if (m_finished || m_syncJob->running()) return false;
    auto relay = std::make_shared<Relay>();
    m_syncRelay = relay;
    // The runner is reached only from calls delivered to its job, a child of it.
    launch(
        *m_syncJob,
        [relay, runner = this, work = std::move(work)](const Worker::Context& job,
                                                       const OpenOptions& options) {
            SyncHooks hooks;
            hooks.cancel = &job.cancel();
            // Several reports between two window events arrive as the newest one.
            hooks.progress = [relay, runner, &job](const SyncProgress& p) {
                {
                    std::lock_guard lock(relay->m);
                    relay->latest = p;
                    if (relay->progressPosted) return;
                    relay->progressPosted = true;
                }
                job.deliver([relay, runner] {
                    SyncProgress newest;
                    {
                        std::lock_guard lock(relay->m);
                        newest = relay->latest;
                        relay->progressPosted = false;
                    }
                    if (runner->m_syncRelay == relay && runner->m_syncJob->running())
                        emit runner->syncProgress(newest);
                });
            };
            relay->report = work(hooks, options);
            return std::string();
        },
        [this, relay] {
            if (m_syncRelay == relay) m_syncRelay.reset();
            emit syncFinished(relay->report);
        });
    return true;
}

void SharedDatabaseRunner::startCheck(CheckJob work) {
    if (m_finished) return;
    if (m_check) {
        // Left to end by itself, and then to go.
        m_check->cancel();
        m_check = nullptr;
    }
    auto* job = new BackgroundJob(this);
    m_check = job;
    auto relay = std::make_shared<Relay>();
    launch(
        *job,
        [relay, work = std::move(work)](const Worker::Context&, const OpenOptions& options) {
            relay->check = work(options);
            return std::string();
        },
        [this, job, relay] {
            job->deleteLater();
            if (m_check != job) return;
            m_check = nullptr;
            emit checkFinished(relay->check);
        });
}

void SharedDatabaseRunner::cancelSync() {
    m_syncJob->cancel();
}

bool SharedDatabaseRunner::finish(std::chrono::milliseconds bound) {
    m_finished = true;
    m_prompt->abandon();
    const auto jobs = findChildren<BackgroundJob*>(Qt::FindDirectChildrenOnly);
    for (BackgroundJob* job : jobs)
        job->cancel();
    const auto deadline = std::chrono::steady_clock::now() + bound;
    bool all = true;
    for (BackgroundJob* job : jobs) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        all = job->finish(std::max(left, std::chrono::milliseconds(0))) && all;
    }
    m_syncRelay.reset();
    m_check = nullptr;
    return all;
}

} // namespace qarn3
