// Takes screenshots of Records/Database… and Records/Sync against a throwaway server: the
// password box (asked when the client library has none), the database dialog after its
// test, the sync's progress dialog, and the summary of a sync that sent, received, updated
// and met a conflict. Run under Xvfb by scripts/screenshot-sync.sh.
#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/files.h"
#include "platform/qt_dialogs.h"
#include "recordswindows/sharedactions.h"
#include "recordswindows/shareddatabasedialog.h"
#include "recordswindows/syncdialogs.h"
#include "store/store.h"

#include <QApplication>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <iostream>

using namespace qarn3;

namespace {

bool save(QWidget* w, const QString& file) {
    const bool ok = w->grab().save(file);
    std::cerr << (ok ? "saved " : "could not save ") << file.toStdString() << "\n";
    return ok;
}

DatabaseLocation at(const std::string& uri) {
    DatabaseLocation l;
    std::string error;
    if (!DatabaseLocation::parse(uri, l, error)) std::cerr << uri << ": " << error << "\n";
    return l;
}

// A session of shots of the breaker (every two share a waveform).
void record(RecordsDatabase& db, ShotContext c, int shots, const std::string& when) {
    c.session.id = newRecordId();
    c.session.breakerId = c.breaker.id;
    c.session.startedAt = when;
    c.session.operatorName = "Ann";
    c.point.id = newRecordId();
    c.point.sessionId = c.session.id;
    std::vector<NewShot> batch;
    for (int i = 0; i < shots; ++i) {
        NewShot s;
        s.reading.takenAt = isoUtcNow();
        s.reading.currentAmps = 1180 + 7 * i;
        s.reading.seconds = 0.21 + 0.01 * i;
        s.reading.cycles = s.reading.seconds * 60;
        s.reading.pulse = i + 1;
        s.waveform = QByteArray::fromStdString("WAVEFORM " + c.point.id + std::to_string(i / 2));
        batch.push_back(s);
    }
    std::vector<ShotRecord> stored;
    if (RecordsError e = RecordsStore(db).storeShots(c, batch, stored))
        std::cerr << "storing: " << e.message << "\n";
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 5) {
        std::cerr << "usage: qarn3-syncshot OUTDIR DATADIR ADMIN-URI ROLES.SQL\n";
        return 2;
    }
    const QString out = argv[1];
    const std::string data = argv[2], adminUri = argv[3];
    FileStore files;

    // The shared database with its roles and a technician's login.
    RecordsDatabase owner(at(adminUri));
    if (!owner.open().ok) return 1;
    RecordsError e;
    owner.run(*files.readAll(argv[4]), e);
    owner.run("CREATE ROLE ann LOGIN PASSWORD 'ann-pw' IN ROLE qarn3_technician", e);
    owner.close();
    const std::string techUri =
        "postgresql://ann@/postgres?host=" + at(adminUri).host + "&passfile=" + data + "/no-pgpass";

    // This laptop and another one that already synced the same breaker and changed it.
    const std::string laptop = defaultRecordsPath(data), other = data + "/../other.db";
    ShotContext c;
    c.site = {newRecordId(), "Riverside substation", ""};
    c.breaker.id = newRecordId();
    c.breaker.siteId = c.site.id;
    c.breaker.designation = "Q1 incomer";
    c.breaker.maker = "Generic";
    c.breaker.ratedAmps = 630;
    c.point.multiple = 3;
    c.point.band = Band{4, 12};
    {
        RecordsDatabase here(DatabaseLocation::file(laptop));
        here.open();
        record(here, c, 6, "2026-05-04T08:10:00.000Z");
    }
    syncRecords(DatabaseLocation::file(laptop), at(adminUri), {});
    SyncOptions take;
    take.siteNames = {c.site.name};
    syncRecords(DatabaseLocation::file(other), at(adminUri), take);
    {
        RecordsDatabase there(DatabaseLocation::file(other));
        there.open();
        BreakerRecord b = c.breaker;
        b.serial = "SN 4711";
        RecordsStore(there).saveBreaker(b);
        record(there, c, 4, "2026-05-05T09:30:00.000Z");
    }
    syncRecords(DatabaseLocation::file(other), at(adminUri), {});
    {
        RecordsDatabase here(DatabaseLocation::file(laptop));
        here.open();
        BreakerRecord b = c.breaker;
        b.serial = "SN 4711-B";
        b.settings = "Ir 0.9, tr 10 s";
        RecordsStore(here).saveBreaker(b);
        record(here, c, 8, "2026-05-06T13:45:00.000Z");
    }

    const auto dialogs = std::make_unique<QtDialogs>();
    DebugLog log;
    Services services{files, *dialogs, log};
    QWidget window;
    window.resize(900, 600);
    SharedDatabaseActions actions(data, services, &window);

    // The password box: typed into (shown masked), shot the first time, then accepted.
    bool passwordShot = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!box) return;
        box->findChild<QLineEdit*>()->setText("ann-pw");
        if (!passwordShot) passwordShot = save(box, out + "/ui-sync-password.png");
        box->accept();
    });
    answer.start(300);

    std::unique_ptr<SharedDatabaseDialog> d(actions.makeDatabaseDialog());
    d->ebUri->setText(QString::fromStdString(techUri));
    d->show();
    QSignalSpy tested(d.get(), &SharedDatabaseDialog::tested);
    d->btTestClick();
    if (!tested.wait(20000)) return 1;
    QApplication::processEvents();
    save(d.get(), out + "/ui-sync-database.png");
    d->btOKClick();

    SyncProgressDialog progress("postgresql://ann@db.example.com/qarn3?sslmode=verify-full");
    progress.setProgress({SyncStage::Sending, "shot", 640, 1500});
    progress.show();
    QApplication::processEvents();
    save(&progress, out + "/ui-sync-progress.png");
    progress.finish();

    QSignalSpy finished(&actions, &SharedDatabaseActions::syncFinished);
    actions.startSync();
    if (!finished.wait(30000) || !actions.summaryDialog()) return 1;
    QApplication::processEvents();
    const bool ok = save(actions.summaryDialog(), out + "/ui-sync-summary.png");
    return ok && passwordShot ? 0 : 1;
}
