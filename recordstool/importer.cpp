#include "recordstool/importer.h"
#include "recordstool/reading.h"

#include "calsetup/caldate.h"
#include "calsetup/calimage.h"
#include "engine/bulk.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "store/curvelibrary.h"
#include "waveform/waveform.h"

#include <algorithm>
#include <charconv>
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

std::string amps(double a) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, a);
    return std::string(buf, r.ptr);
}

// The file's time from the name as bytes: a name that is not UTF-8 is found as it is.
std::string modifiedAt(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return isoUtcNow();
    return isoUtcFromMsecs(static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 +
                           st.st_mtim.tv_nsec / 1000000);
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
        if (in.error.empty() && ::stat(in.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<std::uint64_t>(st.st_size) > kWaveFileBytes)
            in.error = tooLarge(in.path, static_cast<std::uint64_t>(st.st_size));
    }
    return inputs;
}

std::string shotLine(const AnalysisResult& r, const AnalysisPulse& p, const ShotRecord& s) {
    std::string line = r.waveFile + "  pulse " + std::to_string(s.reading.pulse) + "  " +
                       trimText(p.current) + "  " + trimText(p.seconds) + "  " +
                       trimText(p.cycles) + "  " + verdictText(s.judgement.verdict);
    if (s.judgement.currentOffTarget) line += " (current off target)";
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

RecordsError refused(const std::string& field, const std::string& why) {
    return {RecordsErrorKind::Invalid, field, field + ": " + why};
}

std::string breakerNamed(const std::string& designation, const std::string& site) {
    return "breaker " + designation + " of site " + site;
}

// The session the request chooses, when it chooses one that exists; nothing for a new one.
std::optional<SessionRecord> chosenSession(RecordsStore& store, const ImportRequest& r,
                                           bool knownBreaker, ShotContext& ctx, RecordsError& e) {
    if (r.sessionChoice.empty()) return std::nullopt;
    if (r.sessionChoice == "latest") {
        if (!knownBreaker) return std::nullopt;
        std::vector<SessionRecord> sessions = store.sessionsOf(ctx.breaker.id, e);
        if (e || sessions.empty()) return std::nullopt;
        return sessions.back();
    }
    std::optional<ShotContext> found = store.sessionContext(r.sessionChoice, e);
    if (!found) {
        if (e.kind == RecordsErrorKind::NotFound)
            e = refused("session", "there is no session " + r.sessionChoice);
        return std::nullopt;
    }
    if (found->site.name != r.siteName || found->breaker.designation != r.breaker.designation) {
        e = refused("session", "session " + r.sessionChoice + " is of " +
                                   breakerNamed(found->breaker.designation, found->site.name) +
                                   ", not of " + breakerNamed(r.breaker.designation, r.siteName));
        return std::nullopt;
    }
    ctx.site = found->site;
    ctx.breaker = found->breaker;
    return found->session;
}

// A chosen session's fields the request gives must be as the session has them: a pole of
// an as-left test does not join the as-found session.
RecordsError sameSessionFields(const ImportRequest& r, const SessionRecord& s) {
    const std::string of = "session " + s.id + " is ";
    if (r.conditionGiven && s.condition != r.session.condition)
        return refused("condition", of + conditionText(s.condition) + ", not " +
                                        conditionText(r.session.condition));
    if (r.operatorGiven && s.operatorName != r.session.operatorName)
        return refused("operator", of + "by \"" + s.operatorName + "\", not \"" +
                                       r.session.operatorName + "\"");
    if (r.notesGiven && s.notes != r.session.notes) return refused("notes", of + "noted otherwise");
    return {};
}

// The context the request names as the records hold it now: fresh holds the new rows (ids
// made once) for what is not found. Only reads.
RecordsError settle(RecordsStore& store, const ImportRequest& r, const ShotContext& fresh,
                    ShotContext& ctx) {
    ctx = fresh;
    RecordsError e;
    std::optional<SessionRecord> session;
    if (r.sessionChoice.empty() || r.sessionChoice == "latest") {
        if (auto site = store.siteNamed(r.siteName, e)) ctx.site = *site;
        if (e) return e;
        if (auto breaker = store.breakerNamed(ctx.site.id, r.breaker.designation, e))
            ctx.breaker = *breaker;
        if (e) return e;
    }
    session = chosenSession(store, r, ctx.breaker.id != fresh.breaker.id, ctx, e);
    if (e) return e;
    const bool knownBreaker = ctx.breaker.id != fresh.breaker.id;
    if (knownBreaker && ctx.breaker.ratedAmps != r.breaker.ratedAmps)
        return refused("rating", breakerNamed(r.breaker.designation, r.siteName) + " is rated " +
                                     amps(ctx.breaker.ratedAmps) + " A in the records, not " +
                                     amps(r.breaker.ratedAmps) + " A");
    ctx.breaker.siteId = ctx.site.id;
    if (session) {
        if ((e = sameSessionFields(r, *session))) return e;
        ctx.session = *session;
    }
    ctx.session.breakerId = ctx.breaker.id;
    ctx.point.sessionId = ctx.session.id;
    return {};
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
    ImportSummary summary;
    RecordsStore store(db);
    // The rows made when nothing of that name is found: their ids are made once, so that
    // every file of the import lands under the same ones.
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

    // Settled now to refuse before any file is read, and again in the first file's write
    // transaction: another import may have made the site or breaker meanwhile.
    ShotContext ctx;
    RecordsError e = settle(store, request, fresh, ctx);
    std::vector<TripCurve> family;
    if (e) {
        err << "qarn3-records: " << escapeControls(e.message) << "\n";
    } else if (!request.curveName.empty() && !familyOf(request, db, family, err)) {
        e.kind = RecordsErrorKind::Invalid;
    }
    if (e) {
        summary.failed = true;
        return summary;
    }
    bool settled = false;
    const RecordsStore::ContextSettler settleInTransaction = [&](ShotContext& c) {
        if (settled) return RecordsError{};
        if (RecordsError se = settle(store, request, fresh, c)) return se;
        if (family.empty()) return RecordsError{};
        return CurveLibrary(db).nameCurvesWithin(c.site, c.breaker, family);
    };
    if (!request.sessionChoice.empty() && ctx.session.id != fresh.session.id)
        err << "qarn3-records: adding to session " << ctx.session.id << " started at "
            << ctx.session.startedAt << "\n";

    std::vector<std::string> notes;
    const std::vector<InputFile> inputs = boundedInputs(expandInputs(request.inputs, notes));
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
        // Bounded again: the file may have grown since its size was looked at.
        const auto bytes = files.readPrefix(r.waveFile, kWaveFileBytes + 1);
        if (!bytes) {
            err << "qarn3-records: Cannot read " << escapeControls(r.waveFile) << "\n";
            summary.failed = true;
            return;
        }
        if (bytes->size() > kWaveFileBytes) {
            err << "qarn3-records: Cannot import " << escapeControls(r.waveFile)
                << ": it grew past the size a waveform file can be (" << kWaveFileBytes
                << " bytes)\n";
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
        if (RecordsError se = store.storeShotsSettled(ctx, settleInTransaction, shots, stored)) {
            err << "qarn3-records: " << escapeControls(r.waveFile + ": " + se.message) << "\n"
                << std::flush;
            summary.failed = true;
            if (stopsImport(se.kind)) throw StopImport{};
            return;
        }
        settled = true;
        summary.sessionId = ctx.session.id;
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
