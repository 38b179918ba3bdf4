#pragma once

#include "calsetup/caldate.h"
#include "records/curve.h"
#include "records/rows.h"
#include "records/tripunit.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// Everything a session's report and its plot show, read from the records at once.
struct SessionReport {
    SiteRecord site;
    BreakerRecord breaker;
    SessionRecord session;
    std::vector<ShotRow> shots;              // oldest first; numbered from 1 in this order
    std::vector<TripCurve> curves;           // those the breaker names, by kind
    std::optional<TripUnitProfile> tripUnit; // the profile the breaker's trip unit follows
    // The as-left session that followed an as-found one, or the as-found one an as-left one
    // followed: the report shows its settings beside this session's.
    std::optional<SessionRecord> pairedSession;
    // For an as-left session, the shots of its as-found one (oldest first): each point's
    // as-found result is shown beside its as-left one.
    std::vector<ShotRow> pairedShots;
    std::vector<SessionNote> notes; // the dated notes added to the session, oldest first
    std::map<std::string, std::string> waveforms; // file bytes by waveform id
};

// Of a breaker's sessions (oldest first), the one paired with this one: for an as-found
// session the first as-left one started after it, for an as-left one the last as-found one
// started before it; none for another condition or when there is none.
std::optional<SessionRecord> pairedSessionOf(const SessionRecord& session,
                                             const std::vector<SessionRecord>& sessions);
// For each as-left shot, the as-found shot shown beside it (an index into asFound, none when its
// point has no as-found result): the last shot of the as-found point it matches. Points match
// by their number in the plan when both have one, else by pole and kind in order (the second
// as-left long-time point of pole A matches the second as-found one).
std::vector<std::optional<std::size_t>> asFoundBeside(const std::vector<ShotRow>& asLeft,
                                                      const std::vector<ShotRow>& asFound);
// "Approved by NAME on 2026-12-08 16:30" (the local time), or "Not approved".
std::string approvalText(const SessionRecord& session);
// The settings in force for the session, as stored: its own, else the breaker's.
const std::string& sessionSettingsText(const SessionRecord& session, const BreakerRecord& breaker);

// The overall verdict of a session: FAIL when a shot failed (FAIL FAST, FAIL SLOW, NO TRIP),
// else CHECK when a shot is doubtful or had no band, else PASS; NO SHOTS without a shot.
enum class SessionVerdict { Pass, Fail, Check, NoShots };
SessionVerdict sessionVerdict(const std::vector<ShotRow>& shots);
std::string sessionVerdictText(SessionVerdict v);

// The curve of a kind among a breaker's (null: none), and whether a point takes its band from
// its kind's curve (no typed band, not a "must not trip" point).
const TripCurve* curveOfKind(const std::vector<TripCurve>& curves, PointKind kind);
bool takesCurve(const TestPointRecord& p);

// Texts as the window shows them, with the program's decimal separator: "616.7 A" (the
// range's decimals, "?" when suspect), "0.3942 secs", "23.65 cycs".
std::string currentText(const ShotReading& r, char separator);
std::string secondsText(double seconds, char separator);
std::string cyclesText(double cycles, char separator);
// "3.20" (two decimals).
std::string multipleText(double multiple, char separator);
// A breaker's rating as the operator typed it: "1600", "12,5".
std::string ratingText(double amps, char separator);
// A time to three significant digits ("0.114", "12.5", "1500").
std::string significantText(double v, char separator);
// The band a shot was judged against: "0.114 – 0.329 s"; "hold 5.00 s" for a point that must
// not trip; "outside curve (2 – 20 x In)" when its kind's curve does not reach the multiple;
// "none" otherwise.
std::string bandText(const ShotRow& row, const std::vector<TripCurve>& curves, char separator);
// Where a shot's band came from: "settings LTD=4 at 3.57 × Ir, Generic Sample-ETU" (the
// setting the band's function follows and the current as a multiple of Ir; of In for
// instantaneous and ground fault), "curve Generic Sample-LSIG", "typed"; empty for a shot
// stored before the basis was kept, or judged with no band from anywhere.
std::string bandBasisText(const ShotRecord& shot, char separator);
// The settings as a report's header shows them: the text with the separator, or "none".
std::string settingsShownText(const std::string& settings, char separator);
// "LT", "ST", "I", "GF", "O": the short kinds of the labels.
std::string kindShortText(PointKind kind);

// The session's local start "2026-12-08 16:30" and its local day number.
std::string localTimeText(const std::string& isoUtc);
std::optional<long> localDayOf(const std::string& isoUtc);
// How old the analyzer's calibration was on the session's day (the main window's rule);
// none when either date is unknown.
std::optional<CalibrationAge> sessionCalibrationAge(const SessionRecord& session);

// The local time a shot was taken ("2026-12-08 16:30:12") and its flags as the records
// windows show them ("current off target", "current near pickup", both with a comma).
std::string shotTimeText(const std::string& isoUtc);
std::string offTargetText(const ShotRecord& shot);

} // namespace qarn3
