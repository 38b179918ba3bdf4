#pragma once

#include "records/sharedcheck.h"
#include "records/sync.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace qarn3 {

class DialogService;
class GuiPasswordPrompt;

// Runs the shared database's slow work off the window's thread: a connection test and a
// sync, each on a thread of its own that the window's thread never joins. Progress and
// outcomes arrive as signals on the window's thread; a password the client library lacks is
// asked there. Destroyed, it leaves what still runs to end by itself (cancelled, its outcome
// dropped); only finish(), at exit, waits for it, with a bound.
class SharedDbRunner : public QObject {
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
    explicit SharedDbRunner(DialogService& dialogs, QObject* parent = nullptr);
    ~SharedDbRunner() override;

    // False (nothing started) while a sync runs.
    bool startSync(SyncJob job);
    // A check still running is left to end by itself; its outcome is dropped.
    void startCheck(CheckJob job);
    bool syncRunning() const { return m_sync != nullptr; }
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
    struct Job;
    using Work = std::function<void(const std::shared_ptr<Job>&, const OpenOptions&)>;
    std::shared_ptr<Job> launch(Work work);
    static void post(const std::shared_ptr<Job>& job,
                     std::function<void(SharedDbRunner&)> onWindowThread);
    void abandonAll();

    std::shared_ptr<GuiPasswordPrompt> m_prompt;
    std::shared_ptr<Job> m_sync, m_check;
    std::vector<std::shared_ptr<Job>> m_jobs; // every worker not known to have ended
};

} // namespace qarn3
