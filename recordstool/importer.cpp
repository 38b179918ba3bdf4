#include "recordstool/importer.h"
#include "recordstool/reading.h"

#include "calsetup/caldate.h"
#include "calsetup/calimage.h"
#include "engine/bulk.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "records/resolver.h"
#include "records/sessionreport.h"
#include "store/curvelibrary.h"
#include "store/tripunitlibrary.h"
#include "waveform/comtrade.h"
#include "waveform/waveform.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <sys/stat.h>

namespace qarn3 {

namespace {

// The database itself refused: the next file would fare no better.
struct StopImport {};

bool stopsImport(RecordsErrorKind k) {
    return k == RecordsErrorKind::Locked || k == RecordsErrorKind::ReadOnly ||
           k == RecordsErrorKind::Damaged || k == RecordsErrorKind::Failed ||
           k == RecordsErrorKind::Unreachable;
}

// The file's time from the name as bytes: a name that is not UTF-8 is found as it is.
std::string modifiedAt(const std::string& path) {
    const std::optional<std::int64_t> modified = modifiedMicros(path);
    if (!modified) return isoUtcNow();
    // Whole milliseconds, before 1970 too.
    const std::int64_t us = *modified;
    return isoUtcFromMsecs(us / 1000 - (us % 1000 < 0 ? 1 : 0));
}

// A file larger than the format can hold is no waveform file: refused by its size, before
// a byte of it is read (reading it whole would take its size in memory).
std::string tooLarge(const std::string& path, std::uint64_t size) {
    return "Cannot import " + path + ": it is " + std::to_string(size) +
           " bytes, larger than a waveform file can be (" + std::to_string(kWaveFileBytes) +
           " bytes)";
}

std::vector<InputFile> boundedInputs(std::vector<InputFile> inputs) {
    for (InputFile& in : inputs) {
        struct stat st {};
        // A COMTRADE recording is bounded by its reader, which refuses more samples than a
        // waveform file holds.
        if (in.error.empty() && !isComtradeName(in.path) && ::stat(in.path.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > kWaveFileBytes)
            in.error = tooLarge(in.path, static_cast<std::uint64_t>(st.st_size));
    }
    return inputs;
}

std::string shotLine(const AnalysisResult& r, const AnalysisPulse& p, const ShotRecord& s) {
    std::string line = r.waveFile + "  pulse " + std::to_string(s.reading.pulse) + "  " +
                       trimText(p.current) + "  " + trimText(p.seconds) + "  " +
                       trimText(p.cycles) + "  " + verdictText(s.judgement.verdict);
    if (const std::string flags = offTargetText(s); !flags.empty()) line += " (" + flags + ")";
    if (!s.basis.note.empty()) line += " (" + s.basis.note + ")";
    // The file's name as the terminal should show it, not obey it.
    return escapeControls(line) + "  " + s.id + "\n";
}

// The curves of the family the request names; false (with the reason on err) when the
// family has no curve of the point's kind.
bool familyOf(const ImportRequest& request, RecordsDatabase& db, std::vector<TripCurve>& family,
              std::ostream& err) {
    RecordsError e;
    family = CurveLibrary(db).family(request.curveName, e);
    const bool hasKind = std::any_of(family.begin(), family.end(), [&](const TripCurve& c) {
        return c.kind == request.point.kind;
    });
    if (!e && !hasKind)
        e.message =
            "curve: " + request.curveName + " has no " + kindText(request.point.kind) + " curve";
    if (e.message.empty()) return true;
    err << "qarn3-records: " << escapeControls(e.message) << "\n";
    return false;
}

// What the records hold for the names the request gives (a session chosen by id: that
// session with its site and breaker). Only reads.
RecordsError findRecords(RecordsStore& store, const ImportRequest& r, FoundRecords& found) {
    RecordsError e;
    if (r.sessionChoice.empty() || r.sessionChoice == "latest") {
        found.site = store.siteNamed(r.siteName, e);
        if (e) return e;
        if (found.site)
            found.breaker = store.breakerNamed(found.site->id, r.breaker.designation, e);
        if (e || r.sessionChoice.empty() || !found.breaker) return e;
        std::vector<SessionRecord> sessions = store.sessionsOf(found.breaker->id, e);
        if (!e && !sessions.empty()) found.session = sessions.back();
        return e;
    }
    std::optional<ShotContext> chosen = store.sessionContext(r.sessionChoice, e);
    if (e.kind == RecordsErrorKind::NotFound) return {};
    if (chosen) {
        found.site = chosen->site;
        found.breaker = chosen->breaker;
        found.session = chosen->session;
    }
    return e;
}

// The request as typed fields: fresh holds the new rows (ids made once) for what is not
// found.
TypedContext typedOf(const ImportRequest& r, const ShotContext& fresh) {
    TypedContext t;
    t.fresh = fresh;
    t.choice = r.sessionChoice.empty()       ? SessionChoice::New
               : r.sessionChoice == "latest" ? SessionChoice::OfTheBreaker
                                             : SessionChoice::ById;
    t.sessionId = r.sessionChoice;
    t.conditionGiven = r.conditionGiven;
    t.operatorGiven = r.operatorGiven;
    t.notesGiven = r.notesGiven;
    t.tripSettingsGiven = r.tripSettingsGiven;
    t.overKnown = TypedOverKnown::Refused;
    return t;
}

// The context the request names as the records hold it now. Only reads.
RecordsError settle(RecordsStore& store, const ImportRequest& r, const TypedContext& typed,
                    ShotContext& ctx) {
    FoundRecords found;
    if (RecordsError e = findRecords(store, r, found)) return e;
    Resolution resolved = resolveContext(typed, found);
    if (resolved.refusal) return resolved.refusal;
    ctx = std::move(resolved.context);
    return {};
}

// The rows made when nothing of that name is found: their ids are made once, so that every
// file of the import lands under the same ones.
ShotContext freshContext(const ImportRequest& request, const AnalysisSettings& settings) {
    ShotContext fresh;
    fresh.site.id = newRecordId();
    fresh.site.name = request.siteName;
    fresh.breaker = request.breaker;
    fresh.breaker.id = newRecordId();
    fresh.session = request.session;
    fresh.session.id = newRecordId();
    fresh.session.startedAt = isoUtcNow();
    if (settings.calText)
        calibrationFacts(*settings.calText, fresh.session.analyzerSerial,
                         fresh.session.analyzerCalDate);
    fresh.point = request.point;
    fresh.point.id = newRecordId();
    return fresh;
}

// The bytes of an analysed file, bounded again: it may have grown since its size was looked
// at. None (with the reason on err) when it cannot be read or is too large.
std::optional<QByteArray> waveformOf(FileStore& files, const std::string& path, std::ostream& err) {
    const auto bytes = files.readPrefix(path, kWaveFileBytes + 1);
    if (!bytes) {
        err << "qarn3-records: Cannot read " << escapeControls(path) << "\n";
        return std::nullopt;
    }
    if (bytes->size() > kWaveFileBytes) {
        err << "qarn3-records: Cannot import " << escapeControls(path)
            << ": it grew past the size a waveform file can be (" << kWaveFileBytes << " bytes)\n";
        return std::nullopt;
    }
    return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
}

// A recording's first sample in microseconds since 1970 (UTC): its clock's offset from the
// file's time code, else the time is this computer's local time.
std::int64_t recordingStartUtcMicros(const AnalysisResult& r) {
    const std::int64_t wall = *r.recordingStartMicros;
    if (r.recordingTimeCodeMinutes)
        return wall - std::int64_t{*r.recordingTimeCodeMinutes} * 60000000;
    const std::int64_t wallMsecs = wall / 1000;
    const QDateTime asUtc = QDateTime::fromMSecsSinceEpoch(wallMsecs, QTimeZone::utc());
    const QDateTime local(asUtc.date(), asUtc.time(), QTimeZone::systemTimeZone());
    return wall + (local.toMSecsSinceEpoch() - wallMsecs) * 1000;
}

// When the shot of a pulse was taken: as a capture's, when the pulse ended. A waveform file
// gives only its own time (when it was saved); a COMTRADE recording its first sample's.
std::string takenAtOf(const AnalysisResult& r, const PulseResult& pulse, const std::string& fileTime) {
    if (!r.recordingStartMicros) return fileTime;
    const std::int64_t us =
        recordingStartUtcMicros(r) + std::llround((pulse.startSeconds + pulse.seconds) * 1e6);
    // To the nearest millisecond, as the records keep times.
    return isoUtcFromMsecs((us >= 0 ? us + 500 : us - 500) / 1000);
}

// A file's pulses as shots, each with the file's bytes as its waveform.
std::vector<NewShot> shotsOf(const AnalysisResult& r, const QByteArray& waveform) {
    const std::string fileTime = modifiedAt(r.waveFile);
    std::vector<NewShot> shots;
    for (std::size_t i = 0; i < r.pulses.size(); ++i) {
        const PulseResult& pulse = r.pulses[i].result;
        NewShot s{readingOf(pulse, r.currentDecimals, r.rangeIndex, takenAtOf(r, pulse, fileTime)),
                  waveform};
        s.reading.source = r.waveFile;
        s.reading.pulse = static_cast<int>(i + 1);
        s.reading.startSeconds = r.pulses[i].result.startSeconds;
        s.reading.ampsPerCount = r.ampsPerCount;
        shots.push_back(std::move(s));
    }
    return shots;
}

// One import's state across its files: the rows settled and what was stored.
class ImportRun {
public:
    ImportRun(const ImportRequest& request, RecordsDatabase& db, const AnalysisSettings& settings,
              std::ostream& out, std::ostream& err)
        : m_request(request), m_db(db), m_store(db), m_out(out), m_err(err),
          m_typed(typedOf(request, freshContext(request, settings))) {}

    // Settled now to refuse before any file is read, and again in the first file's write
    // transaction: another import may have made the site or breaker meanwhile.
    bool prepare() {
        RecordsError e = settle(m_store, m_request, m_typed, m_ctx);
        if (e) {
            m_err << "qarn3-records: " << escapeControls(e.message) << "\n";
        } else if (!m_request.curveName.empty() && !familyOf(m_request, m_db, m_family, m_err)) {
            e.kind = RecordsErrorKind::Invalid;
        } else if (!m_request.tripUnitName.empty()) {
            const auto unit = TripUnitLibrary(m_db).named(m_request.tripUnitName, e);
            if (unit) m_tripUnitId = unit->id;
            if (e) m_err << "qarn3-records: " << escapeControls(e.message) << "\n";
        }
        if (e) {
            m_summary.failed = true;
            return false;
        }
        if (!m_request.sessionChoice.empty() && m_ctx.session.id != m_typed.fresh.session.id)
            m_err << "qarn3-records: adding to session " << m_ctx.session.id << " started at "
                  << m_ctx.session.startedAt << "\n";
        return true;
    }

    void storeFile(const AnalysisResult& r);
    ImportSummary& summary() { return m_summary; }

private:
    RecordsError settleInTransaction(ShotContext& c) {
        if (m_settled) return {};
        if (RecordsError e = settle(m_store, m_request, m_typed, c)) return e;
        if (!m_tripUnitId.empty()) {
            // A new breaker is made with it; a known one follows it from now on.
            c.breaker.tripUnitId = m_tripUnitId;
            if (RecordsError e =
                    TripUnitLibrary(m_db).setBreakerTripUnitWithin(c.breaker.id, m_tripUnitId))
                return e;
        }
        if (m_family.empty()) return {};
        return CurveLibrary(m_db).nameCurvesWithin(c.site, c.breaker, m_family);
    }

    const ImportRequest& m_request;
    RecordsDatabase& m_db;
    RecordsStore m_store;
    std::ostream& m_out;
    std::ostream& m_err;
    const TypedContext m_typed;
    ShotContext m_ctx;
    std::vector<TripCurve> m_family;
    std::string m_tripUnitId;
    bool m_settled = false;
    FileStore m_files;
    ImportSummary m_summary;
};

void ImportRun::storeFile(const AnalysisResult& r) {
    if (!r.ok) {
        m_err << "qarn3-records: " << escapeControls(r.error) << "\n" << std::flush;
        m_summary.failed = true;
        return;
    }
    if (r.clippedSamples > 0)
        m_err << "qarn3-records: " << escapeControls(r.waveFile) << ": " << r.clippedSamples
              << " samples over range, clipped at 2047 counts\n";
    if (r.pulses.empty()) {
        m_err << "qarn3-records: no pulse in " << escapeControls(r.waveFile) << "\n";
        return;
    }
    // A recording from elsewhere is kept as the waveform file of the counts measured.
    const bool converted = isComtradeName(r.waveFile);
    const std::optional<QByteArray> waveform =
        converted ? std::optional(QByteArray::fromStdString(r.convertedWaveform))
                  : waveformOf(m_files, r.waveFile, m_err);
    if (!waveform) {
        m_summary.failed = true;
        return;
    }
    std::vector<ShotRecord> stored;
    const RecordsStore::ContextSettler settler = [this](ShotContext& c) {
        return settleInTransaction(c);
    };
    if (RecordsError e = m_store.storeShotsSettled(m_ctx, settler, shotsOf(r, *waveform), stored)) {
        m_err << "qarn3-records: " << escapeControls(r.waveFile + ": " + e.message) << "\n"
              << std::flush;
        m_summary.failed = true;
        if (stopsImport(e.kind)) throw StopImport{};
        return;
    }
    m_settled = true;
    m_summary.sessionId = m_ctx.session.id;
    ++m_summary.files;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        m_out << shotLine(r, r.pulses[i], stored[i]);
        ++m_summary.shots;
    }
    m_out << std::flush;
}

} // namespace

void calibrationFacts(const std::string& calText, std::string& serial, std::string& date) {
    const CalImageParse p = parseCalImage(calText, 2400);
    serial = p.ok() ? trimText(p.serNum) : std::string();
    date.clear();
    if (!p.ok() || !(*p.calDate > 0)) return;
    const CivilDate d = civilFromDayNumber(*p.calDate);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    date = text;
}

ImportSummary importFiles(const ImportRequest& request, RecordsDatabase& db,
                          const AnalysisSettings& settings, std::ostream& out, std::ostream& err) {
    ImportRun run(request, db, settings, out, err);
    if (!run.prepare()) return run.summary();

    std::vector<std::string> notes;
    const std::vector<InputFile> inputs = boundedInputs(expandInputs(request.inputs, notes));
    for (const std::string& note : notes)
        err << "qarn3-records: " << escapeControls(note) << "\n";
    try {
        analyzeAll(inputs, request.analysis, settings, request.workers,
                   [&run](const AnalysisResult& r) { run.storeFile(r); });
    } catch (const StopImport&) {
        err << "qarn3-records: import stopped; " << run.summary().shots << " shots of "
            << run.summary().files << " files were stored\n";
    }
    return run.summary();
}

} // namespace qarn3
