#include "store/reportload.h"

#include "store/approval.h"
#include "store/curvelibrary.h"
#include "store/store.h"
#include "store/tripunitlibrary.h"

namespace qarn3 {

RecordsError loadSessionReport(RecordsDatabase& db, const std::string& sessionId,
                               bool withWaveforms, SessionReport& out) {
    out = {};
    RecordsStore store(db);
    RecordsError e;
    const auto context = store.sessionContext(sessionId, e);
    if (!context) return e;
    out.site = context->site;
    out.breaker = context->breaker;
    out.session = context->session;
    ShotFilter f;
    f.sessionId = sessionId;
    if ((e = store.forEachShot(f, ShotOrder::OldestFirst, [&](const ShotRow& r) {
            out.shots.push_back(r);
            return true;
        })))
        return e;
    out.curves = CurveLibrary(db).curvesOf(out.breaker.id, e);
    if (e) return e;
    if (auto unit = TripUnitLibrary(db).byId(out.breaker.tripUnitId, e))
        out.tripUnit = std::move(unit->profile);
    if (e) return e;
    const std::vector<SessionRecord> sessions = store.sessionsOf(out.breaker.id, e);
    if (e) return e;
    out.pairedSession = pairedSessionOf(out.session, sessions);
    if (const std::string& from = out.session.asFoundId; !from.empty())
        for (const SessionRecord& s : sessions)
            if (s.id == from) out.pairedSession = s;
    if (out.pairedSession && out.session.condition == Condition::AsLeft) {
        ShotFilter paired;
        paired.sessionId = out.pairedSession->id;
        if ((e = store.forEachShot(paired, ShotOrder::OldestFirst, [&](const ShotRow& r) {
                out.pairedShots.push_back(r);
                return true;
            })))
            return e;
    }
    out.notes = sessionNotesOf(db, sessionId, e);
    if (e || !withWaveforms) return e;
    for (const ShotRow& r : out.shots) {
        const std::string& id = r.shot.waveformId;
        if (id.empty() || out.waveforms.count(id)) continue;
        const auto bytes = store.waveformOf(r.shot.id, e);
        if (!bytes) return e;
        out.waveforms.emplace(id, bytes->toStdString());
    }
    return {};
}

} // namespace qarn3
