// A company's shared records database at scale, on the server bench/shared.sh starts and fills
// with one million shots (bench/shared_data.sql): the browse list's query (count and first
// page of 200) under its filters, a laptop receiving a site's records, and a sync of 1,000 new
// shots from a laptop, each with a waveform of its own. QARN3_BENCH_PG names the database.
#include "store/store.h"
#include "store/sync.h"
#include "waveform/waveform.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>

using namespace qarn3;

namespace {

DatabaseLocation g_shared;
std::string g_folder;

DatabaseLocation laptop() {
    return DatabaseLocation::file(g_folder + "/laptop.db");
}

void open(RecordsDatabase& db) {
    const OpenReport r = db.open();
    if (!r.ok) {
        std::cerr << r.error.message << "\n";
        std::abort();
    }
}

// The browse list's query, newest first: the count under the filter and its first page.
void BM_SharedBrowse(benchmark::State& state) {
    RecordsDatabase db(g_shared);
    open(db);
    RecordsStore store(db);
    ShotFilter f;
    const int kind = static_cast<int>(state.range(0));
    if (kind != 1) f.siteName = "Site 17";
    if (kind != 0) {
        f.since = "2025-01-01T00:00:00.000Z";
        f.until = kind == 1 ? "2025-02-01T00:00:00.000Z" : "2025-07-01T00:00:00.000Z";
    }
    std::int64_t count = 0;
    for (auto _ : state) {
        RecordsError e;
        count = store.countShots(f, e);
        auto page = store.listShots(f, ShotOrder::NewestFirst, 0, 200, e);
        if (e || page.empty()) std::abort();
        benchmark::DoNotOptimize(page);
    }
    state.counters["shots"] = static_cast<double>(count);
    state.SetLabel(std::vector<const char*>{"site", "one month, all sites",
                                            "site, half a year"}[static_cast<std::size_t>(kind)]);
}
BENCHMARK(BM_SharedBrowse)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// A new laptop taking a site's records from the shared database: the shots it receives.
std::int64_t receiveTheSite() {
    std::filesystem::remove(laptop().path);
    RecordsDatabase local(laptop());
    open(local);
    RecordsDatabase shared(g_shared);
    open(shared);
    SyncOptions o;
    o.siteNames = {"Site 17"};
    const SyncReport r = syncDatabases(local, shared, o);
    if (!r.ok) std::abort();
    return r.tables.back().received;
}

// A laptop taking a site's records (5,000 shots, 50 sessions) from the shared database.
void BM_ReceiveASite(benchmark::State& state) {
    std::int64_t shots = 0;
    for (auto _ : state)
        shots = receiveTheSite();
    state.counters["shots"] = static_cast<double>(shots);
}
BENCHMARK(BM_ReceiveASite)->Iterations(2)->Unit(benchmark::kMillisecond);

// 1,000 new shots of a new session of one of the site's breakers, each with a capture's
// waveform file of its own (16,000 samples), sent by the laptop that holds the site.
void BM_SyncThousandNewShots(benchmark::State& state) {
    if (!std::filesystem::exists(laptop().path)) receiveTheSite();
    RecordsDatabase local(laptop());
    open(local);
    RecordsStore store(local);
    RecordsError e;
    const auto site = store.siteNamed("Site 17", e);
    if (!site) std::abort();
    ShotContext c;
    c.site = *site;
    c.breaker = store.breakersOf(site->id, e).at(0);
    TWaveformData capture;
    capture.AmpsPerCount = 0.6125f;
    for (int i = 0; i < 16000; ++i)
        capture.Samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i % 1600 - 800);
    int serial = 0;
    for (auto _ : state) {
        state.PauseTiming();
        c.session = {};
        c.session.id = newRecordId();
        c.session.breakerId = c.breaker.id;
        c.session.startedAt = isoUtcNow();
        c.point = {};
        c.point.id = newRecordId();
        c.point.sessionId = c.session.id;
        c.point.multiple = 3;
        c.point.band = Band{0.1, 0.5};
        std::vector<NewShot> shots(1000);
        for (NewShot& n : shots) {
            // A capture of its own: the first samples count the shots of all runs.
            ++serial;
            capture.Samples[0] = static_cast<std::int16_t>(serial & 0x7FFF);
            capture.Samples[1] = static_cast<std::int16_t>((std::rand() ^ serial) & 0x7FFF);
            n.reading.takenAt = isoUtcNow();
            n.reading.currentAmps = 1200;
            n.reading.seconds = 0.3;
            n.reading.cycles = 18;
            n.waveform = QByteArray::fromStdString(waveformFileBytes(capture, "SN-4711", 0));
        }
        std::vector<ShotRecord> stored;
        if (store.storeShots(c, shots, stored)) std::abort();
        state.ResumeTiming();
        RecordsDatabase shared(g_shared);
        open(shared);
        const SyncReport r = syncDatabases(local, shared, {});
        if (!r.ok || r.tables.back().sent != 1000 || r.waveformsSent != 1000) {
            std::cerr << "sent " << r.tables.back().sent << " shots, " << r.waveformsSent
                      << " waveforms: " << r.error.message << "\n";
            std::abort();
        }
    }
}
BENCHMARK(BM_SyncThousandNewShots)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const char* uri = std::getenv("QARN3_BENCH_PG");
    std::string error;
    if (!uri || !DatabaseLocation::parse(uri, g_shared, error) ||
        g_shared.kind != DatabaseLocation::Kind::Postgres) {
        std::cerr << "bench_shared runs from bench/shared.sh, which starts and fills a server"
                     " (QARN3_BENCH_PG names its database)\n";
        return 2;
    }
    // New captures each run, whatever an earlier run left on the server.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    char tmpl[] = "/tmp/qarn3-bench-shared-XXXXXX";
    g_folder = ::mkdtemp(tmpl);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_folder);
    return 0;
}
