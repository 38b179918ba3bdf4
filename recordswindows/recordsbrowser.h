#pragma once

#include "recordswindows/recordshost.h"
#include "recordswindows/shotlistmodel.h"
#include "store/backgroundjob.h"
#include "store/store.h"

#include <QMainWindow>
#include <QPageSize>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QProgressBar;
class QTabWidget;
class QPushButton;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace qarn3 {

class HistoryView;
class TimeCurrentView;
class WaveformOpener;

// The records window (Records/Browse): the tree of sites, breakers and sessions; a filter by
// site, dates and verdict; the shots, newest first, read a page at a time and each in its
// verdict's colour; the time-current plot of the session chosen. A shot's waveform opens
// through the program's opener; the selection or the whole list is exported as CSV (as
// qarn3-records export writes it), a shot's or a session's waveforms written as COMTRADE and
// a session's report written as a PDF, each a
// BackgroundJob (on a worker) with progress in the status bar. Short reads run on this
// thread on a connection of its own.
class RecordsBrowser : public QMainWindow {
    Q_OBJECT
public:
    // opener: shows a shot's waveform; none: the command is disabled.
    RecordsBrowser(RecordsHost host, WaveformOpener* opener, QWidget* parent = nullptr);
    ~RecordsBrowser() override;

    ShotListModel& shots() { return *m_model; }
    // The filter the list shows: the tree's scope and the filter bar.
    ShotFilter filter() const;
    // The session of the plot and the report: the tree's, else the current shot's; empty
    // when none.
    std::string sessionId() const;
    BackgroundJob& job() { return *m_job; }
    // The report's page size; none: from the locale.
    void setReportPageSize(std::optional<QPageSize::PageSizeId> size);
    QPageSize::PageSizeId reportPageSize() const;
    // The site's mains frequency a COMTRADE file records; none: 60 Hz.
    void setMainsHz(std::function<int()> mainsHz) { m_mainsHz = std::move(mainsHz); }
    // Ends a running export or report at exit, waiting at most bound.
    bool finish(std::chrono::milliseconds bound) { return m_job->finish(bound); }

public slots:
    // Reads the tree and the list anew (shots stored since come in).
    void refresh();
    void applyFilter();
    void openWaveform();
    void exportSelection();
    void exportList();
    void writeReport();
    // The current shot's waveform, and every waveform of the session chosen (BASE-1,
    // BASE-2 ... oldest first), as COMTRADE files: on the job, like the exports.
    void saveShotComtrade();
    void saveSessionComtrade();

signals:
    // An export or report ended: its file, and the error (empty when written).
    void jobEnded(const QString& file, const QString& error);

public:
    QTreeWidget* Tree;
    QComboBox* cbSite;
    QCheckBox* ckFrom;
    QDateEdit* deFrom;
    QCheckBox* ckTo;
    QDateEdit* deTo;
    QComboBox* cbVerdict;
    QTableView* ShotTable;
    QLabel* lbCount;
    QLabel* lbPlotTitle;
    TimeCurrentView* Plot;
    // The time-current plot's tab, and the history's of the breaker chosen in the tree.
    QTabWidget* PlotTabs;
    QLabel* lbHistoryTitle;
    HistoryView* History;
    QLabel* lbStatus;
    QProgressBar* Progress;
    QPushButton* btCancel;
    QAction* actOpenWaveform;
    QAction* actExportSelection;
    QAction* actExportList;
    QAction* actReport;
    QAction* actShotComtrade;
    QAction* actSessionComtrade;
    QAction* actRefresh;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    QWidget* buildListPane();
    QWidget* buildPlotPane();
    void buildStatusBar();
    QWidget* buildFilterBar();
    void buildMenus();
    RecordsDatabase* database();
    void fillTree();
    void fillChildren(QTreeWidgetItem* item);
    void fillSites();
    void scopeChosen();
    void listed();
    void showPlot();
    void showHistory();
    // A breaker's node in the tree, marked when its next test is due within a month or past.
    QTreeWidgetItem* breakerNode(RecordsStore& store, const BreakerRecord& b, RecordsError& e);
    void updateActions();
    // Starts a job with its progress shown; total 0: a busy bar.
    void runJob(const QString& what, const std::string& file, std::int64_t total,
                BackgroundJob::Work work);
    void status(const QString& text);

    RecordsHost m_host;
    WaveformOpener* m_opener;
    std::unique_ptr<RecordsDatabase> m_db;
    ShotListModel* m_model;
    BackgroundJob* m_job;
    QTimer* m_progressTimer;
    std::optional<QPageSize::PageSizeId> m_pageSize;
    std::function<int()> m_mainsHz;
    QAction* m_pageActions[3] = {};
    bool m_loaded = false;
    std::string m_lastNotes; // of the last open, told in a box when they changed
    int m_scopeKind = 0;
    std::string m_scopeId;
    std::string m_plotSession;
};

} // namespace qarn3
