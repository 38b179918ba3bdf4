#pragma once

#include "store/sync.h"

#include <QDialog>

#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;
class QTimer;

namespace qarn3 {

// A table's records as the operator calls them ("test points" for test_point).
std::string syncTableLabel(const std::string& table);
// Whether the sync sent, received or updated any record.
bool syncMovedAnything(const SyncReport& r);
// The stage, table and counts of a sync in progress, one line.
std::string syncProgressText(const SyncProgress& p);
// What a sync did, as HTML: how it ended, the records sent and received per table with the
// waveforms, the conflicts (which record, when each side changed it, which side won) and the
// notes of opening the databases.
std::string syncSummaryHtml(const SyncReport& r, const std::string& sharedDisplay);

// A sync's progress: the stage, table and counts with a bar, and Cancel. It shows itself
// only when the sync lasts (showAfter), so that a quick sync flashes no window.
class SyncProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit SyncProgressDialog(const std::string& sharedDisplay, QWidget* parent = nullptr);

    // Shows the dialog after delayMs unless finish() came first.
    void showAfter(int delayMs);
    void setProgress(const SyncProgress& p);
    // The sync ended: no longer shown.
    void finish();

    QLabel* lbWhere;
    QLabel* lbStage;
    QProgressBar* pbSync;
    QPushButton* btCancel;

signals:
    void cancelRequested();

protected:
    // Esc and the window's close button ask to cancel as Cancel does; the dialog stays until
    // the sync has stopped.
    void reject() override;

private:
    void btCancelClick();
    QTimer* m_delay;
    bool m_finished = false;
};

// The summary at a sync's end (syncSummaryHtml), with OK.
class SyncSummaryDialog : public QDialog {
    Q_OBJECT
public:
    SyncSummaryDialog(const SyncReport& report, const std::string& sharedDisplay,
                      QWidget* parent = nullptr);

    QTextBrowser* tbSummary;
    QPushButton* btOK;
};

} // namespace qarn3
