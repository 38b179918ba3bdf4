#include "recordswindows/sharedactions.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "records/sharedsettings.h"
#include "recordswindows/shareddatabasedialog.h"
#include "recordswindows/syncdialogs.h"
#include "recordswindows/syncrunner.h"
#include "store/pgprobe.h"

#include <QAction>
#include <QWidget>

namespace qarn3 {

SharedDatabaseActions::SharedDatabaseActions(std::string dataFolder, Services& services,
                                             QWidget* window)
    : QObject(window), m_dataFolder(std::move(dataFolder)),
      m_settingsPath(sharedSettingsPath(m_dataFolder)), m_services(services), m_window(window),
      m_runner(new SharedDatabaseRunner(services.dialogs, this)),
      m_databaseAction(new QAction("&Database...", this)), m_syncAction(new QAction("S&ync", this)),
      m_makeSyncJob([](const DatabaseLocation& local, const DatabaseLocation& shared) {
          return SharedDatabaseRunner::syncJob(local, shared);
      }) {
    m_databaseAction->setStatusTip("The company's shared records database and a connection test");
    m_syncAction->setStatusTip(
        "Sends the records of this computer to the shared database and receives what others "
        "sent for the same sites");
    connect(m_databaseAction, &QAction::triggered, this, [this] { showDatabaseDialog(); });
    connect(m_syncAction, &QAction::triggered, this, [this] { startSync(); });
    connect(m_runner, &SharedDatabaseRunner::syncFinished, this, &SharedDatabaseActions::syncDone);
    setUnavailable(sharedDatabaseUnavailable());
}

void SharedDatabaseActions::setUnavailable(std::string reason) {
    m_unavailable = std::move(reason);
    m_syncAction->setEnabled(m_unavailable.empty());
    if (!m_unavailable.empty()) m_syncAction->setStatusTip(QString::fromStdString(m_unavailable));
}

SharedDatabaseActions::~SharedDatabaseActions() {
    if (!m_finished) finish();
}

std::string SharedDatabaseActions::sharedUri() {
    std::string problem;
    const SharedSettings s = readSharedSettings(m_services.files, m_settingsPath, problem);
    if (!problem.empty())
        m_services.dialogs.messageDlg(problem + "; no shared database is set.", MsgKind::Warning,
                                      {MsgButton::OK});
    return s.databaseUri;
}

SharedDatabaseDialog* SharedDatabaseActions::makeDatabaseDialog() {
    auto* dialog = new SharedDatabaseDialog(m_services, m_settingsPath, *m_runner, m_window);
    dialog->setUri(sharedUri());
    if (!m_unavailable.empty()) dialog->setUnavailable(m_unavailable);
    return dialog;
}

bool SharedDatabaseActions::showDatabaseDialog() {
    m_services.log.AddDebugLine("SharedDatabaseClick ");
    SharedDatabaseDialog* dialog = makeDatabaseDialog();
    const bool saved = dialog->exec() == QDialog::Accepted;
    delete dialog;
    return saved;
}

bool SharedDatabaseActions::syncRunning() const {
    return m_runner->syncRunning();
}

void SharedDatabaseActions::cancelSync() {
    m_runner->cancelSync();
}

bool SharedDatabaseActions::startSync() {
    m_services.log.AddDebugLine("SyncClick ");
    if (m_finished || !m_unavailable.empty()) return false;
    if (m_runner->syncRunning()) {
        if (m_progress) {
            m_progress->show();
            m_progress->raise();
            m_progress->activateWindow();
        }
        return false;
    }
    const std::string uri = sharedUri();
    if (uri.empty()) {
        m_services.dialogs.messageDlg(
            "No shared database is set: Records/Database... names the company's shared "
            "records database.",
            MsgKind::Information, {MsgButton::OK});
        return false;
    }
    DatabaseLocation shared;
    std::string error;
    DatabaseLocation::parse(uri, shared, error); // the settings file takes none it cannot read
    m_syncingWith = shared.display();
    m_services.log.AddDebugLine("SyncRecords " + escapeControls(m_syncingWith));

    if (m_progress) m_progress->deleteLater();
    m_progress = new SyncProgressDialog(m_syncingWith, m_window);
    connect(m_progress, &SyncProgressDialog::cancelRequested, m_runner,
            &SharedDatabaseRunner::cancelSync);
    connect(m_runner, &SharedDatabaseRunner::syncProgress, m_progress,
            &SyncProgressDialog::setProgress);
    m_progress->showAfter(kShowProgressAfterMs);
    m_runner->startSync(
        m_makeSyncJob(DatabaseLocation::file(defaultRecordsPath(m_dataFolder)), shared));
    return true;
}

void SharedDatabaseActions::syncDone(const SyncReport& report) {
    m_services.log.AddDebugLine(std::string("End SyncRecords ") + (report.ok          ? "ok"
                                                                   : report.cancelled ? "cancelled"
                                                                                      : "failed"));
    if (m_progress) {
        m_progress->finish();
        m_progress->deleteLater();
    }
    if (!report.ok && !report.cancelled && !syncMovedAnything(report)) {
        std::string text = report.error.message +
                           ".\nNothing was synced; the records on this computer are as they were.";
        for (const std::string& note : report.notes)
            text += "\n" + note;
        m_services.dialogs.messageDlg(text, MsgKind::Error, {MsgButton::OK});
    } else {
        if (m_summary) m_summary->deleteLater();
        m_summary = new SyncSummaryDialog(report, m_syncingWith, m_window);
        m_summary->setAttribute(Qt::WA_DeleteOnClose);
        m_summary->show();
    }
    emit syncFinished(report);
}

bool SharedDatabaseActions::finish(std::chrono::milliseconds bound) {
    m_finished = true;
    // The progress dialog refuses to close while its sync runs: it goes first, so that no
    // window holds the exit up, and no summary follows.
    if (m_progress) m_progress->finish();
    return m_runner->finish(bound);
}

} // namespace qarn3
