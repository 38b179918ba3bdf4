#include "records/curve.h"

#include "platform/textformat.h"
#include "records/validation.h"

#include <QUuid>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>

namespace qarn3 {

namespace {

// The namespace of the curves' name-based ids.
const QUuid kCurveNamespace("{6f1c2b7e-4a53-4c0e-9d0e-51524e334355}");

std::string nameBasedId(const std::string& name) {
    return QUuid::createUuidV5(kCurveNamespace, QByteArray::fromStdString(name))
        .toString(QUuid::WithoutBraces)
        .toStdString();
}

constexpr std::array<const char*, 6> kColumns{"maker",    "model", "kind",
                                              "multiple", "min_s", "max_s"};

// One CSV row split into its fields; false for a quote left open or text after a closing
// quote.
bool splitRow(const std::string& line, std::vector<std::string>& fields) {
    fields.assign(1, {});
    bool quoted = false, wasQuoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"')
                fields.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else
                quoted = false;
        } else if (c == ',') {
            fields.emplace_back();
            wasQuoted = false;
        } else if (c == '"' && trimText(fields.back()).empty() && !wasQuoted) {
            fields.back().clear();
            quoted = wasQuoted = true;
        } else if (wasQuoted && c != ' ' && c != '\t') {
            return false;
        } else if (!wasQuoted) {
            fields.back() += c;
        }
    }
    for (std::string& f : fields)
        f = trimText(f);
    return !quoted;
}

// Why a row is not text a name can be made of: bytes that are not UTF-8 (a file saved in
// another encoding, or as UTF-16) or a control character; empty when it is.
std::string notText(const std::string& row) {
    for (std::size_t i = 0; i < row.size();) {
        const auto c = static_cast<unsigned char>(row[i]);
        const std::size_t length = c < 0x80 ? 1 : utf8Length(row, i);
        if (length == 0) return "the row is not UTF-8 text (save the file as CSV in UTF-8)";
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(row[i + 1]) < 0xA0;
        if ((c < 0x20 && c != '\t') || c == 0x7F || c1) return "the row holds a control character";
        i += length;
    }
    return {};
}

bool isNumber(const std::string& text) {
    try {
        parseReal(text);
        return true;
    } catch (const ConvertError&) {
        return false;
    }
}

bool isHeader(const std::vector<std::string>& fields) {
    if (fields.size() != kColumns.size()) return false;
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (QString::fromStdString(fields[i]).compare(kColumns[i], Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

// A field's text as a message quotes it: a few dozen characters at most, so that a refusal
// of a huge field is not itself huge.
std::string quoted(const std::string& text) {
    constexpr std::size_t kShown = 40;
    if (characterCount(text) <= kShown) return text;
    std::size_t at = 0;
    for (std::size_t n = 0; n < kShown && at < text.size(); ++n)
        at += std::max<std::size_t>(1, utf8Length(text, at));
    return text.substr(0, at) + "\u2026";
}

// The range a number of a curve must lie in, as its refusal names it.
struct Range {
    double lowest, highest;
    const char* unit;
};
constexpr Range kMultiples{kLowestMultiple, kHighestMultiple, "x In"};
constexpr Range kSeconds{kShortestSeconds, kLongestSeconds, "s"};

// A bound as the CSV file writes it: '.' decimals, no exponent (0.0001, 100000).
std::string boundText(double v) {
    std::string text = formatFixed(v, 0, 4, '.');
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

std::string rangeText(const Range& r) {
    return boundText(r.lowest) + " to " + boundText(r.highest) + " " + r.unit;
}

// A name longer than the field holds, counted in characters as a person reads it.
std::string nameProblem(const std::string& column, const std::string& text) {
    if (text.size() <= kNameCharacters) return {};
    const std::size_t n = characterCount(text);
    if (n <= kNameCharacters) return {};
    return column + " is " + std::to_string(n) + " characters long, more than " +
           std::to_string(kNameCharacters);
}

bool inRange(double v, const Range& r) {
    return v >= r.lowest && v <= r.highest;
}

// A number of a column within its range; the message names the column and the text.
bool boundedField(const std::string& column, const std::string& text, const Range& range,
                  double& value, std::string& error) {
    try {
        value = parseReal(text);
    } catch (const ConvertError&) {
        error = column + " '" + quoted(text) + "' is not a number";
        return false;
    }
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
    if (trimText(c.maker).empty() || trimText(c.model).empty())
        return "curve: maker and model must not be empty";
    if (c.kind == PointKind::Other) return "curve " + name + ": no curve is of kind other";
    for (const auto& [column, text] : {std::pair{"maker", &c.maker}, std::pair{"model", &c.model}})
        if (std::string why = nameProblem(column, *text); !why.empty()) return "curve: " + why;
    if (c.points.size() < 2) return "curve " + name + ": a curve needs two or more points";
    for (std::size_t i = 0; i < c.points.size(); ++i) {
        const CurvePoint& p = c.points[i];
        if (!inRange(p.multiple, kMultiples))
            return "curve " + name + ": multiples must be " + rangeText(kMultiples);
        if (!inRange(p.minSeconds, kSeconds) || !inRange(p.maxSeconds, kSeconds))
            return "curve " + name + ": times must be " + rangeText(kSeconds);
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
    if (f.size() != kColumns.size())
        return std::to_string(f.size()) + " fields, 6 expected (" +
               "maker,model,kind,multiple,min_s,max_s)";
    if (f[0].empty()) return "maker is empty";
    if (f[1].empty()) return "model is empty";
    for (int i : {0, 1})
        if (std::string why = nameProblem(kColumns[i], f[i]); !why.empty()) return why;
    const auto k = kindFromText(f[2]);
    if (!k || *k == PointKind::Other)
        return "kind '" + quoted(f[2]) +
               "' is not long-time, short-time, instantaneous or "
               "ground-fault";
    kind = *k;
    std::string why;
    if (!boundedField("multiple", f[3], kMultiples, p.multiple, why) ||
        !boundedField("min_s", f[4], kSeconds, p.minSeconds, why) ||
        !boundedField("max_s", f[5], kSeconds, p.maxSeconds, why))
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
    const auto refuse = [&out](int line, const std::string& why) {
        out.curves.clear();
        out.points = 0;
        out.errorLine = line;
        out.error = "line " + std::to_string(line) + ": " + why;
        return out;
    };
    std::vector<std::string> f;
    int line = 0;
    bool sawRow = false;
    // A spreadsheet's UTF-8 file may begin with a byte order mark.
    const std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (std::size_t at = start; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string row = text.substr(at, end - at);
        at = end + 1;
        ++line;
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (trimText(row).empty() || trimText(row)[0] == '#') continue;
        if (const std::string why = notText(row); !why.empty()) return refuse(line, why);
        if (!splitRow(row, f))
            return refuse(line, "a quoted field is not closed, or text follows its closing quote");
        if (!sawRow && isHeader(f)) {
            sawRow = true;
            continue;
        }
        // A first row without a number names columns, but not these.
        if (!sawRow && std::none_of(f.begin(), f.end(), isNumber))
            return refuse(line,
                          "the header row differs from maker,model,kind,multiple,min_s,max_s");
        sawRow = true;
        PointKind kind{};
        CurvePoint p;
        std::string why = pointOfRow(f, kind, p);
        if (why.empty()) why = addPoint(out, index, firstLine, line, f, kind, p);
        if (!why.empty()) return refuse(line, why);
    }
    for (std::size_t i = 0; i < out.curves.size(); ++i)
        if (out.curves[i].points.size() < 2)
            return refuse(firstLine[i],
                          "the curve " + curveFamilyName(out.curves[i].maker, out.curves[i].model) +
                              " " + kindText(out.curves[i].kind) +
                              " has one point; a curve needs two or more");
    return out;
}

} // namespace qarn3
