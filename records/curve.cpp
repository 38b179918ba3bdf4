#include "records/curve.h"

#include "platform/textformat.h"
#include "records/csvrows.h"
#include "records/validation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>

namespace qarn3 {

namespace {

constexpr CsvColumns kColumns{"maker", "model", "kind", "multiple", "min_s", "max_s"};

constexpr CsvRange kMultiples{kLowestMultiple, kHighestMultiple, "x In"};

// A number of a column within its range; the message names the column and the text.
bool boundedField(const std::string& column, const std::string& text, const CsvRange& range,
                  double& value, std::string& error) {
    if (!numberField(column, text, value, error)) return false;
    if (!(value > 0)) {
        error = column + " " + quoted(text) + " is not above zero";
        return false;
    }
    if (!inRange(value, range)) {
        error = column + " " + quoted(text) + " is outside " + rangeText(range);
        return false;
    }
    return true;
}

} // namespace

std::optional<Band> curveBandAt(const TripCurve& curve, double multiple) {
    const std::vector<CurvePoint>& p = curve.points;
    if (p.size() < 2 || !(multiple >= p.front().multiple) || !(multiple <= p.back().multiple))
        return std::nullopt;
    std::size_t i = 1;
    while (i + 1 < p.size() && p[i].multiple < multiple)
        ++i;
    const CurvePoint& a = p[i - 1];
    const CurvePoint& b = p[i];
    if (multiple == a.multiple) return Band{a.minSeconds, a.maxSeconds};
    if (multiple == b.multiple) return Band{b.minSeconds, b.maxSeconds};
    // In logs throughout: a ratio of multiples far apart (a curve read from another program's
    // database) would overflow and put the band of one end everywhere between.
    const double logA = std::log(a.multiple);
    const double t = (std::log(multiple) - logA) / (std::log(b.multiple) - logA);
    const auto along = [t](double from, double to) {
        return std::exp(std::log(from) + t * (std::log(to) - std::log(from)));
    };
    return Band{along(a.minSeconds, b.minSeconds), along(a.maxSeconds, b.maxSeconds)};
}

std::string curveFamilyName(const std::string& maker, const std::string& model) {
    return maker + " " + model;
}

std::string curveIdOf(const std::string& maker, const std::string& model, PointKind kind) {
    return nameBasedId("curve\n" + maker + "\n" + model + "\n" + kindText(kind));
}

std::string breakerCurveIdOf(const std::string& breakerId, PointKind kind) {
    return nameBasedId("breaker curve\n" + breakerId + "\n" + kindText(kind));
}

std::string curveProblem(const TripCurve& c) {
    const std::string name = curveFamilyName(c.maker, c.model) + " " + kindText(c.kind);
    if (std::string why = makerModelProblem(c.maker, c.model); !why.empty()) return "curve: " + why;
    if (c.kind == PointKind::Other) return "curve " + name + ": no curve is of kind other";
    if (c.points.size() < 2) return "curve " + name + ": a curve needs two or more points";
    for (std::size_t i = 0; i < c.points.size(); ++i) {
        const CurvePoint& p = c.points[i];
        if (!inRange(p.multiple, kMultiples))
            return "curve " + name + ": multiples must be " + rangeText(kMultiples);
        if (!inRange(p.minSeconds, kCsvSeconds) || !inRange(p.maxSeconds, kCsvSeconds))
            return "curve " + name + ": times must be " + rangeText(kCsvSeconds);
        if (p.minSeconds > p.maxSeconds)
            return "curve " + name + ": a minimum time is above its maximum";
        if (i > 0 && !(p.multiple > c.points[i - 1].multiple))
            return "curve " + name + ": multiples must rise";
    }
    return {};
}

namespace {

using CurveIndex = std::map<std::tuple<std::string, std::string, PointKind>, std::size_t>;

// The kind and point of a data row's fields, or why the row is refused.
std::string pointOfRow(const std::vector<std::string>& f, PointKind& kind, CurvePoint& p) {
    if (std::string why = rowShapeProblem(f, kColumns); !why.empty()) return why;
    const auto k = kindFromText(f[2]);
    if (!k || *k == PointKind::Other)
        return "kind '" + quoted(f[2]) +
               "' is not long-time, short-time, instantaneous or "
               "ground-fault";
    kind = *k;
    std::string why;
    if (!boundedField("multiple", f[3], kMultiples, p.multiple, why) ||
        !boundedField("min_s", f[4], kCsvSeconds, p.minSeconds, why) ||
        !boundedField("max_s", f[5], kCsvSeconds, p.maxSeconds, why))
        return why;
    if (p.minSeconds > p.maxSeconds)
        return "min_s " + quoted(f[4]) + " is above max_s " + quoted(f[5]);
    return {};
}

// Adds the row's point to the curve of its maker, model and kind (made at its first row,
// whose line firstLine keeps), or says why the point does not follow the curve's last.
std::string addPoint(CurveCsv& out, CurveIndex& index, std::vector<int>& firstLine, int line,
                     const std::vector<std::string>& f, PointKind kind, const CurvePoint& p) {
    const auto key = std::make_tuple(f[0], f[1], kind);
    auto found = index.find(key);
    if (found == index.end()) {
        TripCurve c;
        c.maker = f[0];
        c.model = f[1];
        c.kind = kind;
        c.id = curveIdOf(c.maker, c.model, c.kind);
        found = index.emplace(key, out.curves.size()).first;
        out.curves.push_back(std::move(c));
        firstLine.push_back(line);
    }
    TripCurve& c = out.curves[found->second];
    if (!c.points.empty()) {
        const double before = c.points.back().multiple;
        if (p.multiple == before)
            return "multiple " + quoted(f[3]) + " is a duplicate in the curve " +
                   curveFamilyName(c.maker, c.model) + " " + kindText(c.kind);
        if (p.multiple < before)
            return "multiple " + quoted(f[3]) + " is below the one before (" +
                   jsonNumberText(before) + "): multiples must rise";
    }
    c.points.push_back(p);
    ++out.points;
    return {};
}

} // namespace

CurveCsv parseCurveCsv(const std::string& text) {
    CurveCsv out;
    CurveIndex index;
    std::vector<int> firstLine;
    CsvRefusal refusal =
        readCsvRows(text, kColumns, [&](int line, const std::vector<std::string>& f) {
            PointKind kind{};
            CurvePoint p;
            std::string why = pointOfRow(f, kind, p);
            return why.empty() ? addPoint(out, index, firstLine, line, f, kind, p) : why;
        });
    for (std::size_t i = 0; i < out.curves.size() && refusal.line == 0; ++i)
        if (out.curves[i].points.size() < 2)
            refusal = {firstLine[i], "the curve " +
                                         curveFamilyName(out.curves[i].maker, out.curves[i].model) +
                                         " " + kindText(out.curves[i].kind) +
                                         " has one point; a curve needs two or more"};
    if (refusal.line == 0) return out;
    return CurveCsv{{}, 0, refusal.line, refusalText(refusal)};
}

} // namespace qarn3
