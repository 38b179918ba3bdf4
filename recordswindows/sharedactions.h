#pragma once

#include "recordswindows/syncrunner.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <string>

class QAction;
class QWidget;

namespace qarn3 {

struct Services;
class SharedDatabaseDialog;
class SyncProgressDialog;
class SyncSummaryDialog;

// The Records menu's shared-database commands, for the main window: Records/Database… (the
// shared database's URI, kept in the data folder's QARN3Shared.ini, and a connection test)
// and Records/Sync (the records of QARN3.db in the data folder brought together with the
// shared database on a worker, a progress dialog on long syncs, a summary at the end). Made
// on the window's thread for the whole run; its destruction (at exit) cancels a sync and
// waits for it at most kExitBound.
class SharedDatabaseActions : public QObject {
    Q_OBJECT
public:
    static constexpr int kShowProgressAfterMs = 500;
    static constexpr std::chrono::milliseconds kExitBound{3000};

    // dataFolder holds QARN3.db and QARN3Shared.ini; services' dialogs tell the operator and
    // ask for passwords; window is the parent of the dialogs (and of this object when given).
    SharedDatabaseActions(std::string dataFolder, Services& services, QWidget* window);
    ~SharedDatabaseActions() override;

    // "&Database..." and "S&ync", connected to the commands below, for the Records menu.
    QAction* databaseAction() const { return m_databaseAction; }
    QAction* syncAction() const { return m_syncAction; }

    // Records/Database…: the dialog, modal; true when OK saved the URI.
    bool showDatabaseDialog();
    // The dialog of that command, not yet shown, with the URI set now in its field.
    SharedDatabaseDialog* makeDatabaseDialog();
    // Records/Sync: starts a sync on a worker; false when none was started (no shared
    // database set, or a sync already runs, whose progress is then shown).
    bool startSync();
    bool syncRunning() const;
    void cancelSync();
    // At exit: cancels a sync, hides its progress, declines a pending password question and
    // waits at most bound; true when no worker is left. No sync starts or reports after it.
    bool finish(std::chrono::milliseconds bound = kExitBound);

    // The shared database's URI as the settings file gives it now (empty: none); a file that
    // cannot be used is told through the dialogs.
    std::string sharedUri();
    const std::string& settingsPath() const { return m_settingsPath; }

    // What a sync runs, made from the local and the shared database: syncRecords unless
    // tests put their own in.
    using SyncJobMaker = std::function<SharedDatabaseRunner::SyncJob(const DatabaseLocation&,
                                                                     const DatabaseLocation&)>;
    void setSyncJobMaker(SyncJobMaker maker) { m_makeSyncJob = std::move(maker); }

    // Why no server can be reached from this build (empty: one can): the build's own
    // reason unless tests put theirs in. With a reason, Records/Sync is disabled and says it,
    // and the Database dialog only explains.
    void setUnavailable(std::string reason);

    SharedDatabaseRunner& runner() { return *m_runner; }
    // The running sync's progress dialog, and the last summary shown (tests, screenshots).
    SyncProgressDialog* progressDialog() const { return m_progress; }
    SyncSummaryDialog* summaryDialog() const { return m_summary; }

signals:
    // A sync ended (the records here may have changed): its report.
    void syncFinished(const qarn3::SyncReport& report);

private:
    void syncDone(const SyncReport& report);

    std::string m_dataFolder;
    std::string m_settingsPath;
    std::string m_unavailable;
    Services& m_services;
    QWidget* m_window;
    SharedDatabaseRunner* m_runner;
    QAction* m_databaseAction;
    QAction* m_syncAction;
    SyncJobMaker m_makeSyncJob;
    std::string m_syncingWith; // the shared database of the running sync
    QPointer<SyncProgressDialog> m_progress;
    QPointer<SyncSummaryDialog> m_summary;
    bool m_finished = false;
};

} // namespace qarn3
