// The records at a company's scale: 100,000 generated shots, the browse list's query (a
// count and the first page) under its filters, the export of them all, and what handing a
// shot to the writer costs the calling thread at a pulse's end; then the same through the
// windows, offscreen: the records window opened until its first page is shown, its export of
// the whole list, and the test record panel's work at a pulse's end.
#include "platform/scripted_dialogs.h"
#include "recordstool/tool.h"
#include "recordswindows/recordsbrowser.h"
#include "recordswindows/testrecordpanel.h"
#include "store/store.h"
#include "store/writer.h"
#include "waveform/waveform.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>

using namespace qarn3;

namespace {

constexpr int kShots = 100000;
constexpr int kSites = 20, kBreakersPerSite = 10, kSessionsPerBreaker = 5, kPointsPerSession = 4;
constexpr int kShotsPerPoint =
    kShots / (kSites * kBreakersPerSite * kSessionsPerBreaker * kPointsPerSession); // 25

std::string g_folder;
std::string g_db;
std::string g_siteId;

std::string folder() {
    if (g_folder.empty()) {
        char tmpl[] = "/tmp/qarn3-bench-records-XXXXXX";
        g_folder = ::mkdtemp(tmpl);
    }
    return g_folder;
}

// A session's waveform file: demonstration-size, its own bytes.
QByteArray waveformBytes(int n) {
    TWaveformData w;
    w.AmpsPerCount = 0.6125f;
    for (int i = 0; i < 16000; ++i)
        w.Samples[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>((i * 37 + n) % 1600 - 800);
    return QByteArray::fromStdString(waveformFileBytes(w, "SN-" + std::to_string(n), 0));
}

// 100,000 shots over three years: sites, breakers, sessions of four poles on random days,
// 25 shots a point within a day of the session's start, times between the band's edges and
// beyond, now and then a doubtful reading. QARN3_BENCH_RECORDS names a database file to keep
// them in for later runs (made when missing).
void generate() {
    OpenOptions quick;
    quick.fullSync = false;
    RecordsDatabase db(DatabaseLocation::file(g_db), quick);
    if (!db.open().ok) std::abort();
    RecordsStore store(db);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> seconds(0.05, 0.6);
    const std::int64_t start = 1704067200000; // 2024-01-01
    int session = 0;
    std::uniform_int_distribution<std::int64_t> when(0, 3 * 365 * 86400000LL);
    for (int s = 0; s < kSites; ++s) {
        ShotContext c;
        c.site = {newRecordId(), "Site " + std::to_string(s), ""};
        if (s == 3) g_siteId = c.site.id;
        for (int b = 0; b < kBreakersPerSite; ++b) {
            c.breaker = {};
            c.breaker.id = newRecordId();
            c.breaker.siteId = c.site.id;
            c.breaker.designation = std::string("Q").append(std::to_string(b));
            c.breaker.ratedAmps = 400;
            for (int e = 0; e < kSessionsPerBreaker; ++e, ++session) {
                c.session = {};
                c.session.id = newRecordId();
                c.session.breakerId = c.breaker.id;
                const std::int64_t sessionTime = start + when(random);
                c.session.startedAt = isoUtcFromMsecs(sessionTime);
                const QByteArray wave = waveformBytes(session);
                for (Pole pole : {Pole::A, Pole::B, Pole::C, Pole::N}) {
                    c.point = {};
                    c.point.id = newRecordId();
                    c.point.sessionId = c.session.id;
                    c.point.pole = pole;
                    c.point.multiple = 3;
                    c.point.band = Band{0.1, 0.5};
                    std::vector<NewShot> shots(kShotsPerPoint);
                    for (NewShot& n : shots) {
                        n.reading.takenAt = isoUtcFromMsecs(sessionTime + when(random) / 1000);
                        n.reading.currentAmps = 1200;
                        n.reading.seconds = seconds(random);
                        n.reading.cycles = n.reading.seconds * 60;
                        n.reading.suspect = random() % 50 == 0;
                        n.waveform = wave;
                    }
                    std::vector<ShotRecord> stored;
                    if (store.storeShots(c, shots, stored)) std::abort();
                }
            }
        }
    }
}

// The browse list's query: the count under the filter and its first page, newest first.
void BM_BrowseFirstPage(benchmark::State& state) {
    RecordsDatabase db(DatabaseLocation::file(g_db));
    if (!db.open().ok) std::abort();
    RecordsStore store(db);
    ShotFilter f;
    const int kind = static_cast<int>(state.range(0));
    if (kind == 1 || kind == 4) f.siteId = g_siteId;
    if (kind == 2 || kind == 4) {
        f.since = "2025-01-01T00:00:00.000Z";
        f.until = "2026-01-01T00:00:00.000Z";
    }
    if (kind == 3 || kind == 4) f.verdicts = {Verdict::FailFast, Verdict::FailSlow};
    std::int64_t count = 0;
    for (auto _ : state) {
        RecordsError e;
        count = store.countShots(f, e);
        auto page = store.listShots(f, ShotOrder::NewestFirst, 0, 200, e);
        benchmark::DoNotOptimize(page);
    }
    state.counters["shots"] = static_cast<double>(count);
    state.SetLabel(std::vector<const char*>{"all", "site", "one year", "FAIL",
                                            "site+year+FAIL"}[static_cast<std::size_t>(kind)]);
}
BENCHMARK(BM_BrowseFirstPage)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// qarn3-records export of all 100,000 shots into a file, as the command runs it.
void BM_ExportAll(benchmark::State& state) {
    const std::string format = state.range(0) == 0 ? "csv" : "jsonl";
    const std::string out = folder() + "/export." + format;
    for (auto _ : state) {
        std::ostringstream o, e;
        RecordsToolEnvironment env{o, e, folder()};
        if (runRecordsTool({"--db", g_db, "export", "--format", format, "-o", out}, env) != 0)
            std::abort();
    }
    state.SetLabel(format + ", " + std::to_string(std::filesystem::file_size(out) >> 20) + " MiB");
}
BENCHMARK(BM_ExportAll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// At a pulse's end on the GUI thread: the capture's waveform file bytes made and the shot
// handed to the writer (the store itself runs on the writer's thread).
void BM_PulseEndHandOver(benchmark::State& state) {
    const bool withBytes = state.range(0) == 1;
    ShotWriter writer(DatabaseLocation::file(folder() + "/writer.db"));
    TWaveformData capture;
    capture.AmpsPerCount = 0.6125f;
    ShotContext c;
    c.site = {newRecordId(), "Bench", ""};
    c.breaker.id = newRecordId();
    c.breaker.siteId = c.site.id;
    c.breaker.designation = "Q1";
    c.breaker.ratedAmps = 400;
    c.session.id = newRecordId();
    c.session.breakerId = c.breaker.id;
    c.point.id = newRecordId();
    c.point.sessionId = c.session.id;
    c.point.multiple = 3;
    c.point.band = Band{0.1, 0.5};
    const QByteArray shared = waveformBytes(1);
    for (auto _ : state) {
        NewShot s;
        s.reading.takenAt = isoUtcNow();
        s.reading.currentAmps = 1200;
        s.reading.seconds = 0.3;
        s.waveform =
            withBytes ? QByteArray::fromStdString(waveformFileBytes(capture, "SN", 0)) : shared;
        writer.submit({c, std::move(s)});
    }
    state.SetLabel(withBytes ? "waveform bytes made + submit" : "submit");
    writer.finish(std::chrono::seconds(1)); // what is still queued is dropped
}
BENCHMARK(BM_PulseEndHandOver)->Arg(0)->Arg(1)->Iterations(300)->Unit(benchmark::kMicrosecond);

// From the hand-over to the outcome on the calling thread: one shot stored with every commit
// on the disk (the operator's panel shows the verdict after this).
void BM_StoredAndReported(benchmark::State& state) {
    ShotWriter writer(DatabaseLocation::file(folder() + "/latency.db"));
    ShotContext c;
    c.site = {newRecordId(), "Bench", ""};
    c.breaker = {newRecordId(), c.site.id, "", "Q1", "", "", "", 400, "", "", "", "", 36};
    c.session.id = newRecordId();
    c.session.breakerId = c.breaker.id;
    c.point.id = newRecordId();
    c.point.sessionId = c.session.id;
    c.point.multiple = 3;
    c.point.band = Band{0.1, 0.5};
    int done = 0;
    QObject::connect(&writer, &ShotWriter::stored, [&](const StoreOutcome&) { ++done; });
    const QByteArray wave = waveformBytes(2);
    for (auto _ : state) {
        NewShot s;
        s.reading.takenAt = isoUtcNow();
        s.reading.currentAmps = 1200;
        s.reading.seconds = 0.3;
        s.waveform = wave;
        const int before = done;
        writer.submit({c, s});
        while (done == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}
BENCHMARK(BM_StoredAndReported)->Iterations(50)->Unit(benchmark::kMillisecond);

// Sees the first paint of a widget.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// The records window made and shown on the 100,000 shots (its connection opened, the tree
// read, the shots counted and the first page read) until the list's first paint.
void BM_BrowseWindowFirstPage(benchmark::State& state) {
    ScriptedDialogs dialogs;
    const RecordsHost host{DatabaseLocation::file(g_db), folder(), dialogs, '.', {}, {}};
    std::int64_t listed = 0;
    for (auto _ : state) {
        RecordsBrowser window(host, nullptr);
        PaintWatch watch;
        window.ShotTable->viewport()->installEventFilter(&watch);
        window.show();
        while (!watch.painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        listed = window.shots().rowCount();
        state.counters["shots"] = static_cast<double>(window.shots().total());
    }
    state.counters["listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_BrowseWindowFirstPage)->Unit(benchmark::kMillisecond)->Iterations(5);

// File/Export the List to CSV of all 100,000 shots, from the command until its end is
// reported on the window's thread (read and written on the job's thread).
void BM_BrowseWindowExportList(benchmark::State& state) {
    ScriptedDialogs dialogs;
    const RecordsHost host{DatabaseLocation::file(g_db), folder(), dialogs, '.', {}, {}};
    RecordsBrowser window(host, nullptr);
    window.show();
    QCoreApplication::processEvents();
    const std::string out = folder() + "/window-export.csv";
    for (auto _ : state) {
        QEventLoop loop;
        auto c = QObject::connect(&window, &RecordsBrowser::jobEnded,
                                  [&](const QString&, const QString& e) {
                                      if (!e.isEmpty()) std::abort();
                                      loop.quit();
                                  });
        dialogs.answer(out);
        window.exportList();
        loop.exec();
        QObject::disconnect(c);
    }
    state.SetLabel(std::to_string(std::filesystem::file_size(out) >> 20) + " MiB");
}
BENCHMARK(BM_BrowseWindowExportList)->Unit(benchmark::kMillisecond)->Iterations(3);

// The test record panel's pulseEnded on the window's thread, the capture's waveform file made
// beforehand (the host's part): the shot handed to the writer and listed as being stored.
void BM_PanelPulseEnd(benchmark::State& state) {
    ScriptedDialogs dialogs;
    const std::string db = folder() + "/panel.db";
    const RecordsHost host{DatabaseLocation::file(db), folder(), dialogs, '.', {}, {}};
    ShotWriter writer(DatabaseLocation::file(db));
    TestRecordPanel panel(host, writer);
    panel.cbSite->setCurrentText("Bench");
    panel.cbBreaker->setCurrentText("Q1");
    panel.ebRating->setText("400");
    panel.ebMultiple->setText("3");
    panel.ebBandMin->setText("0.1");
    panel.ebBandMax->setText("0.5");
    if (!panel.startRecording()) std::abort();
    RecordedPulse end;
    end.reading.currentAmps = 1200;
    end.reading.seconds = 0.3;
    end.reading.cycles = 18;
    end.waveform = waveformBytes(3);
    for (auto _ : state)
        panel.pulseEnded(end);
    state.SetLabel("pulseEnded with a 120 KB waveform");
    writer.finish(std::chrono::seconds(1));
}
BENCHMARK(BM_PanelPulseEnd)->Iterations(300)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QElapsedTimer t;
    t.start();
    const char* keep = std::getenv("QARN3_BENCH_RECORDS");
    g_db = keep && *keep ? keep : folder() + "/QARN3.db";
    if (!std::filesystem::exists(g_db)) {
        generate();
    } else {
        RecordsDatabase records(DatabaseLocation::file(g_db));
        if (!records.open().ok) std::abort();
        RecordsError e;
        g_siteId = RecordsStore(records).sites(e).at(3).id;
    }
    std::cerr << "generated " << kShots << " shots in " << static_cast<double>(t.elapsed()) / 1000
              << " s, " << (std::filesystem::file_size(g_db) >> 20) << " MiB\n";
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!g_folder.empty()) std::filesystem::remove_all(g_folder);
    return 0;
}
