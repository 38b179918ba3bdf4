#pragma once

#include "records/model.h"
#include "records/verdict.h"

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// A finished shot to store: the reading and the bytes of its waveform file (.owf); empty
// bytes store no waveform.
struct NewShot {
    ShotReading reading;
    QByteArray waveform;
};

// The test point shots are stored under, with the rows above it.
struct ShotContext {
    SiteRecord site;
    BreakerRecord breaker;
    SessionRecord session;
    TestPointRecord point;
};

// Where the band a shot was judged against came from, stored with it so that a later change of
// a curve, a profile or the settings does not change a verdict given.
enum class BasisKind { Unknown, Typed, Curve, Settings }; // Unknown: stored before it was kept
struct BandBasis {
    BasisKind kind = BasisKind::Unknown;
    std::string source;            // the curve family or trip-unit profile, "MAKER MODEL"
    std::string settings;          // Settings: the settings text the band was worked out from
    unsigned function = 0;         // Settings: the function whose band it is (TripFunction)
    std::optional<double> timesIr; // Settings: the measured current / Ir
    bool nearPickup = false;       // the current lies inside a pickup's tolerance
    std::string note;              // "short-time acts at this current", "below pickup", ...
};

// One stored shot: the reading, what it was judged against and the verdict. Never edited.
struct ShotRecord {
    std::string id;
    std::string testPointId;
    ShotReading reading;
    double multiple = 0;      // current / In
    std::optional<Band> band; // the band the verdict used, none when there was none
    BandBasis basis;
    Judgement judgement;
    std::string waveformId; // empty when the shot has no waveform
};

// A shot with everything above it: one row of the browse list and of the export.
struct ShotRow {
    SiteRecord site;
    BreakerRecord breaker;
    SessionRecord session;
    TestPointRecord point;
    ShotRecord shot;
};

// Which shots a list, a count or an export takes; an empty field does not filter.
struct ShotFilter {
    std::string siteId;
    std::string siteName;
    std::string breakerId;
    std::string sessionId;
    std::string since; // ISO 8601 UTC, shots taken at or after
    std::string until; // ISO 8601 UTC, shots taken before
    std::vector<Verdict> verdicts;
    std::string shotId; // that shot alone
};

enum class ShotOrder { OldestFirst, NewestFirst };

} // namespace qarn3
