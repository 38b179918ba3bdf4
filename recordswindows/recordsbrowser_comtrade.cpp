// The records window's COMTRADE commands: the current shot's waveform, or every waveform of
// the session chosen, written on the window's BackgroundJob as the exports are.
#include "recordswindows/recordsbrowser.h"

#include "platform/bidicontrols.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "store/comtradeshot.h"
#include "store/store.h"

#include <QTableView>

#include <algorithm>

namespace qarn3 {

namespace {

constexpr const char* kComtradeFilter = "COMTRADE configuration files|*.cfg";

// A file name of the words, without what a file name cannot hold, nor a control that would
// make it read as another name in the file dialog.
std::string fileNameOf(std::string s) {
    s = showBidiControls(s);
    for (char& c : s)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) c = '_';
    return s;
}

// The day and time of an ISO 8601 time as a file name takes them: "2026-01-01 120000".
std::string timeInName(const std::string& iso) {
    std::string t = iso.substr(0, 19);
    for (char& c : t)
        if (c == 'T') c = ' ';
    t.erase(std::remove(t.begin(), t.end(), ':'), t.end());
    return t;
}

OpenOptions onlyReading() {
    OpenOptions o;
    o.setAsideDamaged = false;
    return o;
}

} // namespace

void RecordsBrowser::saveShotComtrade() {
    const QModelIndex current = ShotTable->currentIndex();
    if (!current.isValid() || m_job->running()) return;
    const ShotRow row = m_model->rowAt(current.row());
    if (row.shot.waveformId.empty()) {
        status("This shot has no stored waveform.");
        return;
    }
    const std::string name =
        fileNameOf(row.site.name + " " + row.breaker.designation + " " + poleText(row.point.pole) +
                   " " + timeInName(row.shot.reading.takenAt) + ".cfg");
    const auto path = m_host.dialogs.saveFileDialog(
        {"Save Waveform as COMTRADE", m_host.dataFolder, name, kComtradeFilter, "cfg"});
    if (!path) return;
    ComtradeShotOptions options;
    options.lineHz = m_mainsHz ? m_mainsHz() : 60;
    const std::string base = comtradeBase(*path);
    runJob("Saving the waveform as COMTRADE", base + ".cfg", 0,
           [where = m_host.database, row, base, options](const Worker::Context&,
                                                         std::atomic<std::int64_t>&) {
               RecordsDatabase db(where, onlyReading());
               const OpenReport opened = db.open();
               if (!opened.ok) return opened.error.message;
               RecordsStore store(db);
               FileStore files;
               return writeShotComtrade(store, row, base, options, files);
           });
}

void RecordsBrowser::saveSessionComtrade() {
    const std::string session = sessionId();
    if (session.empty() || m_job->running()) return;
    std::string name = "session.cfg";
    std::int64_t total = 0;
    if (RecordsDatabase* db = database()) {
        RecordsStore store(*db);
        RecordsError e;
        if (const auto c = store.sessionContext(session, e))
            name = fileNameOf(c->site.name + " " + c->breaker.designation + " " +
                              c->session.startedAt.substr(0, 10) + ".cfg");
        ShotFilter f;
        f.sessionId = session;
        total = store.countShots(f, e);
    }
    const auto path =
        m_host.dialogs.saveFileDialog({"Save the Session's Waveforms as COMTRADE",
                                       m_host.dataFolder, name, kComtradeFilter, "cfg"});
    if (!path) return;
    ComtradeShotOptions options;
    options.lineHz = m_mainsHz ? m_mainsHz() : 60;
    const std::string base = comtradeBase(*path);
    runJob("Saving the session's waveforms as COMTRADE", base + "-N.cfg", total,
           [where = m_host.database, session, base, options](const Worker::Context& job,
                                                             std::atomic<std::int64_t>& progress) {
               RecordsDatabase db(where, onlyReading());
               const OpenReport opened = db.open();
               if (!opened.ok) return opened.error.message;
               RecordsStore store(db);
               FileStore files;
               int written = 0;
               const std::string error = writeSessionComtrade(
                   store, session, base, options, files,
                   [&] {
                       progress = written;
                       return !job.cancelled();
                   },
                   written);
               progress = written;
               return error;
           });
}

} // namespace qarn3
