// The records window's commands on shots and sessions: a shot's waveform, the exports and
// the report, the long ones on the window's BackgroundJob.
#include "recordswindows/recordsbrowser.h"

#include "platform/bidicontrols.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "records/sessionreport.h"
#include "recordswindows/waveformopener.h"
#include "report/reportwriter.h"
#include "store/export.h"
#include "store/reportload.h"
#include "store/store.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <algorithm>

namespace qarn3 {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// A file name of the words, without what a file name cannot hold, nor a control that
// would make it read as another name in the file dialog.
std::string fileNameOf(std::string s) {
    s = showBidiControls(s);
    for (char& c : s)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) c = '_';
    return s;
}

std::string writeFile(const std::string& path, const std::string& bytes) {
    std::string error;
    FileStore files;
    if (!files.replaceContents(path, bytes, error)) return "Cannot write " + path + ": " + error;
    return {};
}

// How a job opens the records: it only reads, so a damaged file is left for the writer to
// set aside, and the job fails naming it rather than write an empty export.
OpenOptions onlyReading() {
    OpenOptions o;
    o.setAsideDamaged = false;
    return o;
}

} // namespace

void RecordsBrowser::openWaveform() {
    const QModelIndex current = ShotTable->currentIndex();
    if (!m_opener || !current.isValid()) return;
    const ShotRow row = m_model->rowAt(current.row());
    RecordsDatabase* db = database();
    if (!db) return;
    RecordsError e;
    const auto bytes = RecordsStore(*db).waveformOf(row.shot.id, e);
    if (!bytes) {
        status(e.kind == RecordsErrorKind::NotFound
                   ? QString("This shot has no stored waveform.")
                   : qs("The waveform cannot be read: " + e.message));
        return;
    }
    m_opener->openWaveform(*bytes, row);
}

void RecordsBrowser::exportSelection() {
    QModelIndexList chosen = ShotTable->selectionModel()->selectedRows();
    if (chosen.isEmpty() || m_job->running()) return;
    // The list is newest first; the export, as the command's, oldest first.
    std::sort(chosen.begin(), chosen.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() > b.row(); });
    std::vector<ShotRow> rows;
    rows.reserve(static_cast<std::size_t>(chosen.size()));
    for (const QModelIndex& i : chosen)
        rows.push_back(m_model->rowAt(i.row()));
    const auto path = m_host.dialogs.saveFileDialog(
        {"Export Shots", m_host.dataFolder, "shots.csv", "CSV files|*.csv", "csv"});
    if (!path) return;
    const std::int64_t total = static_cast<std::int64_t>(rows.size());
    runJob(
        QString("Exporting %1 shots").arg(total), *path, 0,
        [rows = std::move(rows), file = *path](const Worker::Context&, std::atomic<std::int64_t>&) {
            return writeFile(file, exportCsv(rows));
        });
}

void RecordsBrowser::exportList() {
    if (m_model->total() == 0 || m_job->running()) return;
    const auto path = m_host.dialogs.saveFileDialog(
        {"Export Shots", m_host.dataFolder, "shots.csv", "CSV files|*.csv", "csv"});
    if (!path) return;
    const std::int64_t total = m_model->total();
    runJob(QString("Exporting %1 shots").arg(total), *path, total,
           [where = m_host.database, f = filter(),
            file = *path](const Worker::Context& job, std::atomic<std::int64_t>& progress) {
               RecordsDatabase db(where, onlyReading());
               const OpenReport opened = db.open();
               if (!opened.ok) return opened.error.message;
               RecordsStore store(db);
               std::string out;
               bool header = true;
               const RecordsError e =
                   exportShots(store, f, ExportFormat::Csv, [&](const std::string& text) {
                       out += text;
                       if (!header) ++progress;
                       header = false;
                       return !job.cancelled();
                   });
               if (e) return e.message;
               if (job.cancelled()) return std::string();
               return writeFile(file, out);
           });
}

void RecordsBrowser::writeReport() {
    const std::string session = sessionId();
    if (session.empty() || m_job->running()) return;
    std::string name = "report.pdf";
    if (RecordsDatabase* db = database()) {
        RecordsError e;
        if (const auto c = RecordsStore(*db).sessionContext(session, e))
            name = fileNameOf(c->site.name + " " + c->breaker.designation + " " +
                              c->session.startedAt.substr(0, 10) + ".pdf");
    }
    const auto path = m_host.dialogs.saveFileDialog(
        {"Test Report", m_host.dataFolder, name, "PDF files|*.pdf", "pdf"});
    if (!path) return;
    ReportOptions options;
    options.pageSize = reportPageSize();
    options.decimalSeparator = m_host.decimalSeparator;
    runJob("Writing the report", *path, 0,
           [where = m_host.database, session, options, file = *path](const Worker::Context&,
                                                                     std::atomic<std::int64_t>&) {
               RecordsDatabase db(where, onlyReading());
               const OpenReport opened = db.open();
               if (!opened.ok) return opened.error.message;
               SessionReport r;
               if (const RecordsError e = loadSessionReport(db, session, true, r)) return e.message;
               return writeReportFile(r, options, file);
           });
}

void RecordsBrowser::runJob(const QString& what, const std::string& file, std::int64_t total,
                            BackgroundJob::Work work) {
    const QString target = qs(file);
    const bool started = m_job->start(
        std::move(work), [this, what, target](const std::string& error, bool cancelled) {
            m_progressTimer->stop();
            Progress->hide();
            btCancel->hide();
            updateActions();
            if (cancelled) {
                status(what + ": cancelled; nothing was written.");
            } else if (error.empty()) {
                status(what + ": written to " + target + ".");
            } else {
                status(what + ": failed.");
                m_host.dialogs.messageDlg(what.toStdString() + " failed: " + error, MsgKind::Error,
                                          {MsgButton::OK});
            }
            emit jobEnded(target, qs(error));
        });
    if (!started) return;
    status(what + " to " + target + "...");
    Progress->setRange(0, static_cast<int>(std::min<std::int64_t>(total, 1 << 30)));
    Progress->setValue(0);
    Progress->show();
    btCancel->setVisible(total > 0);
    m_progressTimer->start();
    updateActions();
}

} // namespace qarn3
