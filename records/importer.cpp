#include "records/importer.h"

#include "calsetup/cal.h"
#include "calsetup/caldate.h"
#include "diag/debuglog.h"
#include "diag/services.h"
#include "engine/bulk.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"
#include "platform/textformat.h"
#include "records/curvelibrary.h"

#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace qarn3 {

namespace {

// The database itself refused: the next file would fare no better.
struct StopImport {};

bool stopsImport(RecordsErrorKind k) {
    return k == RecordsErrorKind::Locked || k == RecordsErrorKind::ReadOnly ||
           k == RecordsErrorKind::Damaged || k == RecordsErrorKind::Failed ||
           k == RecordsErrorKind::Unreachable;
}

std::string amps(double a) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, a);
    return std::string(buf, r.ptr);
}

std::string modifiedAt(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return isoUtcFromMsecs(info.lastModified().toMSecsSinceEpoch());
}

std::string shotLine(const AnalysisResult& r, const AnalysisPulse& p, const ShotRecord& s) {
    std::string line = r.waveFile + "  pulse " + std::to_string(s.reading.pulse) + "  " +
                       trimText(p.current) + "  " + trimText(p.seconds) + "  " +
                       trimText(p.cycles) + "  " + verdictText(s.judgement.verdict);
    if (s.judgement.currentOffTarget) line += " (current off target)";
    // The file's name as the terminal should show it, not obey it.
    return escapeControls(line) + "  " + s.id + "\n";
}

// The breaker names the curve family; false (with the reason on err) when the family has no
// curve of the point's kind or the names cannot be stored.
bool nameCurves(const ImportRequest& request, RecordsDatabase& db, const ShotContext& ctx,
                std::ostream& err) {
    CurveLibrary library(db);
    RecordsError e;
    const std::vector<TripCurve> family = library.family(request.curveName, e);
    const bool hasKind = std::any_of(family.begin(), family.end(), [&](const TripCurve& c) {
        return c.kind == request.point.kind;
    });
    if (!e && !hasKind)
        e.message =
            "curve: " + request.curveName + " has no " + kindText(request.point.kind) + " curve";
    else if (!e)
        e = library.nameCurves(ctx.site, ctx.breaker, family);
    if (e.message.empty()) return true;
    err << "qarn3-records: " << escapeControls(e.message) << "\n";
    return false;
}

} // namespace

void calibrationFacts(const std::string& calText, std::string& serial, std::string& date) {
    TCalRecord cal;
    cal.CalImage = calText.substr(0, kCalImageSize);
    cal.CalImage.resize(kCalImageSize, ' ');
    FileStore files;
    ScriptedDialogs dialogs;
    dialogs.answerList("OK,Cancel,Cancel"); // never write a file here
    DebugLog log;
    Services services{files, dialogs, log};
    double rate = 2400;
    CalFile(cal, rate, services, "").ParseCalImage();
    serial = trimText(cal.SerNum);
    date.clear();
    if (!dialogs.shown().empty() || !(cal.CalDate > 0)) return;
    const CivilDate d = civilFromDayNumber(std::lround(cal.CalDate));
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    date = text;
}

ImportSummary importFiles(const ImportRequest& request, RecordsDatabase& db,
                          const AnalysisSettings& settings, std::ostream& out, std::ostream& err) {
    ImportSummary summary;
    RecordsStore store(db);
    RecordsError e;
    ShotContext ctx;
    if (auto site = store.siteNamed(request.siteName, e)) {
        ctx.site = *site;
    } else {
        ctx.site.id = newRecordId();
        ctx.site.name = request.siteName;
    }
    std::optional<BreakerRecord> breaker;
    if (!e) breaker = store.breakerNamed(ctx.site.id, request.breaker.designation, e);
    if (e) {
        err << "qarn3-records: " << escapeControls(e.message) << "\n";
        summary.failed = true;
        return summary;
    }
    if (breaker && breaker->ratedAmps != request.breaker.ratedAmps) {
        err << "qarn3-records: rating: breaker " << escapeControls(request.breaker.designation)
            << " of site " << escapeControls(request.siteName) << " is rated "
            << amps(breaker->ratedAmps) << " A in the records, not "
            << amps(request.breaker.ratedAmps) << " A\n";
        summary.failed = true;
        return summary;
    }
    ctx.breaker = breaker.value_or(request.breaker);
    if (!breaker) ctx.breaker.id = newRecordId();
    ctx.breaker.siteId = ctx.site.id;
    if (!request.curveName.empty() && !nameCurves(request, db, ctx, err)) {
        summary.failed = true;
        return summary;
    }
    ctx.session = request.session;
    ctx.session.id = newRecordId();
    ctx.session.breakerId = ctx.breaker.id;
    ctx.session.startedAt = isoUtcNow();
    if (settings.calText)
        calibrationFacts(*settings.calText, ctx.session.analyzerSerial,
                         ctx.session.analyzerCalDate);
    ctx.point = request.point;
    ctx.point.id = newRecordId();
    ctx.point.sessionId = ctx.session.id;
    summary.sessionId = ctx.session.id;

    std::vector<std::string> notes;
    const std::vector<InputFile> inputs = expandInputs(request.inputs, notes);
    for (const std::string& note : notes)
        err << "qarn3-records: " << escapeControls(note) << "\n";

    FileStore files;
    auto storeResult = [&](const AnalysisResult& r) {
        if (!r.ok) {
            err << "qarn3-records: " << escapeControls(r.error) << "\n" << std::flush;
            summary.failed = true;
            return;
        }
        if (r.pulses.empty()) {
            err << "qarn3-records: no pulse in " << escapeControls(r.waveFile) << "\n";
            return;
        }
        const auto bytes = files.readAll(r.waveFile);
        if (!bytes) {
            err << "qarn3-records: Cannot read " << escapeControls(r.waveFile) << "\n";
            summary.failed = true;
            return;
        }
        const QByteArray waveform(bytes->data(), static_cast<qsizetype>(bytes->size()));
        const std::string takenAt = modifiedAt(r.waveFile);
        std::vector<NewShot> shots;
        for (std::size_t i = 0; i < r.pulses.size(); ++i) {
            NewShot s{readingOf(r.pulses[i].result, r.currentDecimals, r.rangeIndex, takenAt),
                      waveform};
            s.reading.source = r.waveFile;
            s.reading.pulse = static_cast<int>(i + 1);
            s.reading.startSeconds = r.pulses[i].result.startSeconds;
            shots.push_back(std::move(s));
        }
        std::vector<ShotRecord> stored;
        if (RecordsError se = store.storeShots(ctx, shots, stored)) {
            err << "qarn3-records: " << escapeControls(r.waveFile + ": " + se.message) << "\n"
                << std::flush;
            summary.failed = true;
            if (stopsImport(se.kind)) throw StopImport{};
            return;
        }
        ++summary.files;
        for (std::size_t i = 0; i < stored.size(); ++i) {
            out << shotLine(r, r.pulses[i], stored[i]);
            ++summary.shots;
        }
        out << std::flush;
    };
    try {
        analyzeAll(inputs, request.analysis, settings, request.workers, storeResult);
    } catch (const StopImport&) {
        err << "qarn3-records: import stopped; " << summary.shots << " shots of " << summary.files
            << " files were stored\n";
    }
    return summary;
}

} // namespace qarn3
