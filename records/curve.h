#pragma once

#include "records/model.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// One point of a maker's time-current curve: at this multiple of In the breaker must clear
// in no less than minSeconds and no more than maxSeconds.
struct CurvePoint {
    double multiple = 0;
    double minSeconds = 0;
    double maxSeconds = 0;
};

// A maker's time-current curve of one kind for one model: its points by rising multiple.
struct TripCurve {
    std::string id; // curveIdOf(maker, model, kind)
    std::string maker;
    std::string model;
    PointKind kind = PointKind::LongTime;
    std::vector<CurvePoint> points;
    std::string updatedAt; // as read from the database
};

// The band at a multiple of In: straight-line interpolation in log-log coordinates between
// the neighbouring points (a point's own band exactly on it); none outside the curve's range
// of multiples or for a curve of fewer than two points.
std::optional<Band> curveBandAt(const TripCurve& curve, double multiple);

// "MAKER MODEL", the name a curve family goes by on the command line and in reports.
std::string curveFamilyName(const std::string& maker, const std::string& model);

// The id of the curve of a maker, model and kind: a name-based UUID (version 5), so that the
// same curve imported on two computers has the same id and their records meet as one.
std::string curveIdOf(const std::string& maker, const std::string& model, PointKind kind);
// The id of a breaker's link to its curve of a kind, name-based for the same reason.
std::string breakerCurveIdOf(const std::string& breakerId, PointKind kind);

// Why a curve cannot be stored: fewer than two points, a multiple outside kLowestMultiple to
// kHighestMultiple or a time outside kShortestSeconds to kLongestSeconds (validation.h), a
// minimum above its maximum, multiples that do not rise, an empty maker or model or one longer
// than kNameCharacters, or the kind "other". Empty when it can.
std::string curveProblem(const TripCurve& curve);

// The curves of a CSV file, or the first line it refuses.
struct CurveCsv {
    std::vector<TripCurve> curves; // in the order their first rows come
    int points = 0;
    int errorLine = 0; // 1-based; 0 when the file was taken
    std::string error; // "line 7: min_s 0.5 is above max_s 0.3"
};

// Reads curves from CSV text: one point a row, "maker,model,kind,multiple,min_s,max_s",
// fields as RFC 4180 (quoted when they hold a comma), CR LF or LF line ends, '.' decimals
// whatever the locale, a byte order mark at the start ignored. A first row naming those
// columns is a header; blank rows and rows beginning with '#' are skipped. The rows of one maker,
// model and kind are one curve, in rising multiples. Refused, with the row's line number: a row
// that is not UTF-8 text or holds a control character, a first row without a number that is
// not that header, a row without six fields, an empty maker or model, or one longer than
// kNameCharacters, a kind other than long-time, short-time, instantaneous or ground-fault, a
// value that is no number or outside its range (as curveProblem's), min_s above max_s, a
// multiple not above the curve's one before (equal: a duplicate), and a curve of one point (at
// its row). A refusal quotes a field's text to a few dozen characters.
CurveCsv parseCurveCsv(const std::string& text);
// The most of a curve file that is read: tens of thousands of rows of the longest names.
constexpr std::size_t kCurveCsvReadLimit = std::size_t{16} << 20;

} // namespace qarn3
