// The test report of a three-pole session of twelve shots (the demonstration pulse file's
// four pulses on each pole, spread apart, judged against the sample curve): read from the
// records and written as a PDF, and the same through the command as a user runs it.
#include "engine/analysis.h"
#include "platform/files.h"
#include "recordstool/reading.h"
#include "recordstool/tool.h"
#include "report/reportwriter.h"
#include "store/curvelibrary.h"
#include "store/reportload.h"
#include "store/store.h"
#include "waveform/waveform.h"

#include <QBuffer>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

using namespace qarn3;

namespace {

std::string g_folder, g_db, g_sessionId;

void prepare() {
    char tmpl[] = "/tmp/qarn3-bench-report-XXXXXX";
    g_folder = ::mkdtemp(tmpl);
    g_db = g_folder + "/QARN3.db";
    if (!makeDemoFiles(g_folder).empty()) std::abort();
    RecordsDatabase db(DatabaseLocation::file(g_db));
    if (!db.open().ok) std::abort();
    const auto csv = FileStore().readAll(QARN3_SOURCE_DIR "/records/curves/sample.csv");
    CurveImportSummary summary;
    const CurveCsv curves = parseCurveCsv(csv.value_or(""));
    if (CurveLibrary(db).importCurves(curves.curves, summary)) std::abort();

    ShotContext ctx;
    ctx.site = {newRecordId(), "North Plant", ""};
    ctx.breaker.id = newRecordId();
    ctx.breaker.siteId = ctx.site.id;
    ctx.breaker.designation = "Q7";
    ctx.breaker.ratedAmps = 100;
    ctx.session.id = g_sessionId = newRecordId();
    ctx.session.breakerId = ctx.breaker.id;
    ctx.session.startedAt = isoUtcNow();
    ctx.session.analyzerCalDate = "2026-01-15";
    if (CurveLibrary(db).nameCurves(ctx.site, ctx.breaker, curves.curves)) std::abort();

    AnalysisOptions o;
    o.waveFile = g_folder + "/QARN3Pulse.owf";
    const AnalysisResult r = analyzeWaveform(o);
    const auto bytes = FileStore().readAll(o.waveFile);
    // The poles measure apart from each other, as three poles do.
    const std::pair<Pole, double> poles[] = {{Pole::A, 1}, {Pole::B, 1.15}, {Pole::C, 0.85}};
    for (const auto& [pole, spread] : poles) {
        ctx.point = {};
        ctx.point.id = newRecordId();
        ctx.point.sessionId = ctx.session.id;
        ctx.point.pole = pole;
        ctx.point.kind = PointKind::ShortTime;
        ctx.point.multiple = 3;
        std::vector<NewShot> shots;
        for (std::size_t i = 0; i < r.pulses.size(); ++i) {
            NewShot s{readingOf(r.pulses[i].result, r.currentDecimals, r.rangeIndex, isoUtcNow()),
                      QByteArray::fromStdString(bytes.value_or(""))};
            s.reading.source = o.waveFile;
            s.reading.pulse = static_cast<int>(i + 1);
            s.reading.startSeconds = r.pulses[i].result.startSeconds;
            s.reading.currentAmps *= spread;
            s.reading.seconds *= spread * spread;
            s.reading.cycles *= spread * spread;
            shots.push_back(std::move(s));
        }
        std::vector<ShotRecord> stored;
        if (RecordsStore(db).storeShots(ctx, shots, stored) || stored.size() != 4) std::abort();
    }
}

// Reading the session and writing the PDF into memory.
void BM_ReportOfTwelveShots(benchmark::State& state) {
    RecordsDatabase db(DatabaseLocation::file(g_db));
    if (!db.open().ok) std::abort();
    qint64 size = 0;
    for (auto _ : state) {
        SessionReport report;
        if (loadSessionReport(db, g_sessionId, true, report) || report.shots.size() != 12)
            std::abort();
        QByteArray pdf;
        QBuffer out(&pdf);
        out.open(QIODevice::WriteOnly);
        if (!writeReportPdf(report, {}, out).empty()) std::abort();
        size = pdf.size();
    }
    state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_ReportOfTwelveShots)->Unit(benchmark::kMillisecond);

// The report command: opening the database, finding the latest session, writing the file
// (QARN3_BENCH_REPORT names a file to keep it in).
void BM_ReportCommand(benchmark::State& state) {
    const char* keep = std::getenv("QARN3_BENCH_REPORT");
    const std::string pdf = keep ? keep : g_folder + "/report.pdf";
    for (auto _ : state) {
        std::ostringstream out, err;
        RecordsToolEnvironment env{out, err, g_folder};
        if (runRecordsTool({"--db", g_db, "report", "--session", "latest", "-o", pdf}, env) != 0)
            std::abort();
    }
}
BENCHMARK(BM_ReportCommand)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    prepare();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_folder);
    return 0;
}
