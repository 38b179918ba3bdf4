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

// One stored shot: the reading, what it was judged against and the verdict. Never edited.
struct ShotRecord {
    std::string id;
    std::string testPointId;
    ShotReading reading;
    double multiple = 0;      // current / In
    std::optional<Band> band; // the band the verdict used, none when there was none
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
};

enum class ShotOrder { OldestFirst, NewestFirst };

} // namespace qarn3
