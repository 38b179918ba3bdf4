#include "records/syncrunner.h"

#include "records/guiprompt.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace qarn3 {

// One worker's state, shared by the worker and the runner: whichever lets go last frees it.
struct SharedDbRunner::Job {
    std::atomic<bool> cancel{false};
    std::mutex m;
    std::condition_variable ended;
    bool done = false;
    SharedDbRunner* owner = nullptr; // none once the runner no longer wants the outcome
    bool progressPosted = false;
    SyncProgress latest;
};

SharedDbRunner::SyncJob SharedDbRunner::syncJob(DatabaseLocation local, DatabaseLocation shared,
                                                SyncOptions options) {
    return [local = std::move(local), shared = std::move(shared),
            options = std::move(options)](const SyncHooks& hooks, const OpenOptions& open) {
        return syncRecords(local, shared, options, hooks, open);
    };
}

SharedDbRunner::CheckJob SharedDbRunner::checkJob(DatabaseLocation shared) {
    return [shared = std::move(shared)](const OpenOptions& open) {
        return checkSharedDatabase(shared, open);
    };
}

SharedDbRunner::SharedDbRunner(DialogService& dialogs, QObject* parent)
    : QObject(parent), m_prompt(std::make_shared<GuiPasswordPrompt>(dialogs)) {}

SharedDbRunner::~SharedDbRunner() {
    m_prompt->abandon();
    abandonAll();
}

// Hands a call to the runner's thread, unless the runner has let go of the job. The lock
// keeps the runner from going while the call is queued; a queued call dies with the runner.
void SharedDbRunner::post(const std::shared_ptr<Job>& job,
                          std::function<void(SharedDbRunner&)> onWindowThread) {
    std::lock_guard lock(job->m);
    if (!job->owner) return;
    QMetaObject::invokeMethod(
        job->owner, [owner = job->owner, f = std::move(onWindowThread)] { f(*owner); },
        Qt::QueuedConnection);
}

std::shared_ptr<SharedDbRunner::Job> SharedDbRunner::launch(Work work) {
    m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(),
                                [](const std::shared_ptr<Job>& j) {
                                    std::lock_guard lock(j->m);
                                    return j->done;
                                }),
                 m_jobs.end());
    auto job = std::make_shared<Job>();
    job->owner = this;
    try {
        std::thread([job, prompt = m_prompt, work = std::move(work)] {
            OpenOptions options;
            options.passwordPrompt = prompt.get();
            work(job, options);
            std::lock_guard lock(job->m);
            job->done = true;
            job->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    m_jobs.push_back(job);
    return job;
}

bool SharedDbRunner::startSync(SyncJob work) {
    if (m_sync) return false;
    m_sync = launch(
        [work = std::move(work)](const std::shared_ptr<Job>& job, const OpenOptions& options) {
            SyncHooks hooks;
            hooks.cancel = &job->cancel;
            hooks.progress = [&job](const SyncProgress& p) {
                {
                    std::lock_guard lock(job->m);
                    job->latest = p;
                    if (job->progressPosted) return;
                    job->progressPosted = true;
                }
                post(job, [job](SharedDbRunner& r) {
                    SyncProgress newest;
                    {
                        std::lock_guard lock(job->m);
                        newest = job->latest;
                        job->progressPosted = false;
                    }
                    if (r.m_sync == job) emit r.syncProgress(newest);
                });
            };
            SyncReport report = work(hooks, options);
            post(job, [job, report = std::move(report)](SharedDbRunner& r) {
                if (r.m_sync != job) return;
                r.m_sync.reset();
                emit r.syncFinished(report);
            });
        });
    if (m_sync) return true;
    SyncReport failed;
    failed.error = {RecordsErrorKind::Failed, {}, "The sync could not be started (no thread)"};
    QMetaObject::invokeMethod(
        this, [this, failed] { emit syncFinished(failed); }, Qt::QueuedConnection);
    return true;
}

void SharedDbRunner::startCheck(CheckJob work) {
    if (m_check) {
        std::lock_guard lock(m_check->m);
        m_check->owner = nullptr;
    }
    m_check = launch(
        [work = std::move(work)](const std::shared_ptr<Job>& job, const OpenOptions& options) {
            SharedDatabaseCheck check = work(options);
            post(job, [job, check = std::move(check)](SharedDbRunner& r) {
                if (r.m_check != job) return;
                r.m_check.reset();
                emit r.checkFinished(check);
            });
        });
    if (m_check) return;
    SharedDatabaseCheck failed;
    failed.opened.error = {
        RecordsErrorKind::Failed, {}, "The test could not be started (no thread)"};
    QMetaObject::invokeMethod(
        this, [this, failed] { emit checkFinished(failed); }, Qt::QueuedConnection);
}

void SharedDbRunner::cancelSync() {
    if (m_sync) m_sync->cancel = true;
}

bool SharedDbRunner::finish(std::chrono::milliseconds bound) {
    m_prompt->abandon();
    for (const auto& job : m_jobs)
        job->cancel = true;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    bool all = true;
    for (const auto& job : m_jobs) {
        std::unique_lock lock(job->m);
        all = job->ended.wait_until(lock, deadline, [&] { return job->done; }) && all;
    }
    abandonAll();
    return all;
}

void SharedDbRunner::abandonAll() {
    for (const auto& job : m_jobs) {
        job->cancel = true;
        std::lock_guard lock(job->m);
        job->owner = nullptr;
    }
    m_jobs.clear();
    m_sync.reset();
    m_check.reset();
}

} // namespace qarn3
