#pragma once

#include "platform/worker.h"
#include "store/sharedcheck.h"
#include "store/sync.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace qarn3 {

class BackgroundJob;
class DialogService;
class GuiPasswordPrompt;

// Runs the shared database's slow work off the window's thread: a connection test and a
// sync, each a BackgroundJob on a Worker of its own that the window's thread never joins.
// Progress and outcomes arrive as signals on the window's thread; a password the client
// library lacks is asked there. Only finish() (at exit) and the destructor wait for the
// workers, with a bound.
class SharedDatabaseRunner : public QObject {
    Q_OBJECT
public:
    // What a worker runs; tests put their own in.
    using SyncJob = std::function<SyncReport(const SyncHooks&, const OpenOptions&)>;
    using CheckJob = std::function<SharedDatabaseCheck(const OpenOptions&)>;
    // The program's: syncRecords from the local database to the shared one, and
    // checkSharedDatabase.
    static SyncJob syncJob(DatabaseLocation local, DatabaseLocation shared,
                           SyncOptions options = {});
    static CheckJob checkJob(DatabaseLocation shared);

    // Made on the window's thread; passwords are asked through dialogs.
    explicit SharedDatabaseRunner(DialogService& dialogs, QObject* parent = nullptr);
    ~SharedDatabaseRunner() override;

    // False (nothing started) while a sync runs.
    bool startSync(SyncJob job);
    // A check still running is asked to stop and left to end by itself; its outcome is
    // dropped.
    void startCheck(CheckJob job);
    bool syncRunning() const;
    bool checkRunning() const { return m_check != nullptr; }
    // Stops the sync before its next transaction; syncFinished follows.
    void cancelSync();
    // At exit: cancels, declines a password question, and waits at most bound for every
    // worker; true when all ended. Outcomes after this are dropped.
    bool finish(std::chrono::milliseconds bound);

    const GuiPasswordPrompt& prompt() const { return *m_prompt; }

signals:
    // The newest progress (several a worker reports between two window events arrive as one).
    void syncProgress(const qarn3::SyncProgress& progress);
    void syncFinished(const qarn3::SyncReport& report);
    void checkFinished(const qarn3::SharedDatabaseCheck& check);

private:
    struct Relay;
    // Made on the window's thread, run by a worker: what a job runs, given the password
    // question; it leaves its outcome in its relay.
    using Work = std::function<std::string(const Worker::Context& job, const OpenOptions&)>;
    void launch(BackgroundJob& job, Work work, std::function<void()> done);

    std::shared_ptr<GuiPasswordPrompt> m_prompt;
    BackgroundJob* m_syncJob;
    std::shared_ptr<Relay> m_syncRelay;
    BackgroundJob* m_check = nullptr; // the newest check, while it runs
    bool m_finished = false;
};

} // namespace qarn3
