#include "records/tripunit.h"

#include "platform/textformat.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>

namespace qarn3 {

namespace {

// No pickup multiple nor delay of a trip unit comes near: the longest clearing time kept.
constexpr double kLargestSetting = kLongestSeconds;

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string withoutSpaces(const std::string& s) {
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c))) out += c;
    return out;
}

// A setting's value quoted in a refusal, cut to 40 characters (never inside one).
std::string quoted(const std::string& v) {
    std::size_t end = 0;
    for (int n = 0; n < 40 && end < v.size(); ++n)
        end += std::max<std::size_t>(1, utf8Length(v, end));
    return "'" + (end < v.size() ? v.substr(0, end) + "…" : v) + "'";
}

bool refuse(FieldError& error, const std::string& field, const std::string& why) {
    error = {field, field + ": " + why};
    return false;
}

bool readNumber(const std::string& name, const std::string& v, double& out, FieldError& error) {
    FieldError e;
    const auto n = numberForField(name, v, e);
    if (!n) {
        error = e;
        error.message = name + ": " + quoted(v) + " is not a number";
        return false;
    }
    if (!(*n > 0)) return refuse(error, name, quoted(v) + " must be above zero");
    if (*n > kLargestSetting) return refuse(error, name, quoted(v) + " is too large");
    // What any trip unit's dial can be set to, with room: a value outside is a slip of the
    // finger, and its band would be nonsense.
    struct Limit {
        const char* name;
        double lo, hi;
    };
    static constexpr Limit kLimits[] = {{"LTPU", 0.05, 2},  {"LTD", 0.1, 1000}, {"STPU", 1, 50},
                                        {"STD", 0.001, 10}, {"INST", 1, 100},   {"GFPU", 0.01, 5},
                                        {"GFD", 0.001, 10}};
    for (const Limit& l : kLimits)
        if (name == l.name && (*n < l.lo || *n > l.hi))
            return refuse(error, name,
                          quoted(v) + " must be " + jsonNumberText(l.lo) + " to " +
                              jsonNumberText(l.hi));
    out = *n;
    return true;
}

bool readPickup(const std::string& name, const std::string& v, PickupSetting& out,
                FieldError& error) {
    if (upper(v) == "OFF") {
        out.state = PickupSetting::State::Off;
        return true;
    }
    out.state = PickupSetting::State::On;
    return readNumber(name, v, out.value, error);
}

bool readSwitch(const std::string& name, const std::string& v, std::optional<bool>& out,
                FieldError& error) {
    const std::string u = upper(v);
    if (u != "ON" && u != "OFF") return refuse(error, name, quoted(v) + " is not on or off");
    out = u == "ON";
    return true;
}

bool readDelay(const std::string& name, const std::string& v, std::optional<double>& out,
               FieldError& error) {
    double d = 0;
    if (!readNumber(name, v, d, error)) return false;
    out = d;
    return true;
}

// One "NAME=value" of the text into the settings; seen keeps the names read so far.
bool readSetting(const std::string& item, TripUnitSettings& s, std::vector<std::string>& seen,
                 FieldError& error) {
    const auto eq = item.find('=');
    if (eq == std::string::npos) {
        refuse(error, "settings", quoted(item) + " is not NAME=value");
        error.notNumber = true;
        return false;
    }
    const std::string name = upper(item.substr(0, eq)), v = item.substr(eq + 1);
    if (std::find(seen.begin(), seen.end(), name) != seen.end())
        return refuse(error, name, "given twice");
    seen.push_back(name);
    if (name == "LTPU") return readDelay(name, v, s.ltpu, error);
    if (name == "LTD") return readDelay(name, v, s.ltd, error);
    if (name == "STPU") return readPickup(name, v, s.stpu, error);
    if (name == "STD") return readDelay(name, v, s.stDelay, error);
    if (name == "STI2T") return readSwitch(name, v, s.stI2t, error);
    if (name == "INST") return readPickup(name, v, s.inst, error);
    if (name == "GFPU") return readPickup(name, v, s.gfpu, error);
    if (name == "GFD") return readDelay(name, v, s.gfDelay, error);
    if (name == "GFI2T") return readSwitch(name, v, s.gfI2t, error);
    return refuse(error, "settings", "unknown setting " + quoted(item.substr(0, eq)));
}

void addNumber(std::string& out, const char* name, const std::optional<double>& v) {
    if (v) out += std::string(out.empty() ? "" : ",") + name + "=" + jsonNumberText(*v);
}

void addPickup(std::string& out, const char* name, const PickupSetting& p) {
    if (p.state == PickupSetting::State::Unset) return;
    out += std::string(out.empty() ? "" : ",") + name + "=" +
           (p.on() ? jsonNumberText(p.value) : "off");
}

void addSwitch(std::string& out, const char* name, const std::optional<bool>& v) {
    if (v) out += std::string(out.empty() ? "" : ",") + name + "=" + (*v ? "on" : "off");
}

// What one function gives at the current: whether it is sure to act, may act, and its band.
struct FunctionBand {
    unsigned function = 0;
    bool sure = false, may = false;
    Band band;
};

const DelayBand* rowOf(const std::vector<DelayBand>& rows, double setting) {
    for (const DelayBand& r : rows)
        if (std::abs(r.setting - setting) <= 1e-9 * std::max(1.0, setting)) return &r;
    return nullptr;
}

// Where a pickup with a tolerance of +/- tol puts the current: sure above it, may within it
// (both ends included).
void placeAtPickup(double amps, double pickup, double tol, FunctionBand& f) {
    f.sure = amps > pickup * (1 + tol);
    f.may = !f.sure && amps >= pickup * (1 - tol);
}

// A delay function (short time, ground fault): its row, ramped below the reference.
bool delayBand(const std::vector<DelayBand>& rows, const std::optional<double>& setting,
               const std::optional<bool>& i2t, double refAmps, double amps, Band& out) {
    const DelayBand* row = setting ? rowOf(rows, *setting) : nullptr;
    if (!row) return false;
    out = {row->minSeconds, row->maxSeconds};
    if (i2t.value_or(false) && amps < refAmps) {
        const double k = (refAmps / amps) * (refAmps / amps);
        out = {std::max(row->minSeconds, row->minSeconds * k),
               std::max(row->maxSeconds, row->maxSeconds * k)};
    }
    return true;
}

} // namespace

std::optional<TripUnitSettings> parseTripUnitSettings(const std::string& text, FieldError& error) {
    TripUnitSettings s;
    std::vector<std::string> seen;
    std::string t = withoutSpaces(text);
    // Settings separated by ';' may write their decimals with a comma, as a report shows them
    // where the decimal separator is one.
    const bool semicolons = t.find(';') != std::string::npos;
    const char between = semicolons ? ';' : ',';
    const char* const empty =
        semicolons ? "an empty setting between semicolons" : "an empty setting between commas";
    std::size_t from = 0;
    while (from < t.size()) {
        const std::size_t end = std::min(t.find(between, from), t.size());
        std::string item = t.substr(from, end - from);
        if (semicolons) std::replace(item.begin(), item.end(), ',', '.');
        if (item.empty()) {
            refuse(error, "settings", empty);
            return std::nullopt;
        }
        if (!readSetting(item, s, seen, error)) {
            // "LTPU=0,8,LTD=4": the comma was meant as a decimal comma.
            const bool digitNext =
                end + 1 < t.size() && std::isdigit(static_cast<unsigned char>(t[end + 1]));
            if (!semicolons && (digitNext || std::isdigit(static_cast<unsigned char>(item[0]))))
                error.message += " (with a decimal comma, separate the settings with ';')";
            return std::nullopt;
        }
        from = end + 1;
        if (end + 1 == t.size()) {
            refuse(error, "settings", empty);
            return std::nullopt;
        }
    }
    return s;
}

std::string tripUnitSettingsText(const TripUnitSettings& s) {
    std::string out;
    addNumber(out, "LTPU", s.ltpu);
    addNumber(out, "LTD", s.ltd);
    addPickup(out, "STPU", s.stpu);
    addNumber(out, "STD", s.stDelay);
    addSwitch(out, "STI2T", s.stI2t);
    addPickup(out, "INST", s.inst);
    addPickup(out, "GFPU", s.gfpu);
    addNumber(out, "GFD", s.gfDelay);
    addSwitch(out, "GFI2T", s.gfI2t);
    return out;
}

TripUnitBand tripUnitBandAt(const TripUnitSettings& s, const TripUnitProfile& p, double ratedAmps,
                            double amps) {
    TripUnitBand out;
    if (!(ratedAmps > 0) || !(amps > 0) || !std::isfinite(amps)) return out;
    auto lack = [&](const std::string& what) {
        out.missing += (out.missing.empty() ? "" : ", ") + what;
    };
    const double ir = s.ltpu.value_or(1) * ratedAmps;
    std::array<FunctionBand, 4> f{};
    f[0].function = TripLongTime;
    if (s.ltpu && s.ltd) {
        f[0].sure = amps > p.ltPickMax * ir;
        f[0].may = !f[0].sure && amps >= p.ltPickMin * ir;
        const double t = *s.ltd * (6 * ir / amps) * (6 * ir / amps);
        f[0].band = {t * (1 + p.ltTolLo), t * (1 + p.ltTolHi)};
    } else {
        lack(s.ltpu ? "LTD" : "LTPU");
    }
    f[1].function = TripShortTime;
    // Isd is a multiple of Ir: without LTPU (named above) short time cannot be placed.
    if (s.stpu.on() && s.ltpu) {
        placeAtPickup(amps, s.stpu.value * ir, p.stPickTol, f[1]);
        if (!delayBand(p.stDelays, s.stDelay, s.stI2t, p.stI2tRef * ir, amps, f[1].band)) {
            lack(s.stDelay ? "a short-time row for STD=" + jsonNumberText(*s.stDelay) : "STD");
            f[1].sure = f[1].may = false;
        }
    }
    f[2].function = TripInstantaneous;
    if (s.inst.on()) {
        placeAtPickup(amps, s.inst.value * ratedAmps, p.instPickTol, f[2]);
        f[2].band = {0, p.instMaxSeconds};
    }
    f[3].function = TripGroundFault;
    if (s.gfpu.on()) {
        placeAtPickup(amps, s.gfpu.value * ratedAmps, p.gfPickTol, f[3]);
        if (!delayBand(p.gfDelays, s.gfDelay, s.gfI2t, p.gfI2tRef * ratedAmps, amps, f[3].band)) {
            lack(s.gfDelay ? "a ground-fault row for GFD=" + jsonNumberText(*s.gfDelay) : "GFD");
            f[3].sure = f[3].may = false;
        }
    }
    double lo = std::numeric_limits<double>::infinity(), hi = lo;
    for (const FunctionBand& x : f) {
        if (x.sure) {
            out.sure |= x.function;
            lo = std::min(lo, x.band.minSeconds);
            if (x.band.maxSeconds < hi) {
                hi = x.band.maxSeconds;
                out.fastest = x.function;
            }
        } else if (x.may) {
            out.may |= x.function;
            out.nearPickup = true;
        }
    }
    if (!out.sure) return out;
    for (const FunctionBand& x : f)
        if (x.may) lo = std::min(lo, x.band.minSeconds);
    out.band = Band{lo, hi};
    return out;
}

std::optional<double> targetBaseMultiple(const TripUnitSettings& s, TargetOf of,
                                         FieldError& error) {
    auto needs = [&error, of](const char* setting) -> std::optional<double> {
        const std::string name = targetOfText(of);
        error = {"target", "target: " + name + " needs the setting " + setting};
        return std::nullopt;
    };
    switch (of) {
    case TargetOf::In:
        return 1.0;
    case TargetOf::Ir:
        if (!s.ltpu) return needs("LTPU");
        return *s.ltpu;
    case TargetOf::Isd:
        if (!s.ltpu) return needs("LTPU");
        if (!s.stpu.on()) return needs("STPU");
        return s.stpu.value * *s.ltpu;
    case TargetOf::Ii:
        if (!s.inst.on()) return needs("INST");
        return s.inst.value;
    case TargetOf::Ig:
        if (!s.gfpu.on()) return needs("GFPU");
        return s.gfpu.value;
    }
    return std::nullopt;
}

std::optional<double> targetMultiple(const TripUnitSettings& s, TargetOf of, double factor,
                                     FieldError& error) {
    const auto base = targetBaseMultiple(s, of, error);
    if (!base) return std::nullopt;
    const double m = factor * *base;
    if (!(m > 0) || !std::isfinite(m)) return m;
    const double scale = std::pow(10.0, 11 - std::floor(std::log10(m)));
    // Far below one the scale itself overflows: such a multiple is kept as it is.
    if (!std::isfinite(scale)) return m;
    return std::round(m * scale) / scale;
}

std::optional<TargetText> parseTargetText(const std::string& text, char separator,
                                          FieldError& error) {
    std::string t = withoutSpaces(text);
    TargetText out;
    // The name of what it multiplies ends the text: "Ir", "Isd".
    const std::string u = upper(t);
    for (const char* name : {"ISD", "IN", "IR", "II", "IG"}) {
        const std::size_t n = std::char_traits<char>::length(name);
        if (u.size() <= n || u.compare(u.size() - n, n, name) != 0) continue;
        out.of = *targetOfFromText(name);
        t.erase(t.size() - n);
        for (const std::string times : {"\xC3\x97", "x", "X", "*"})
            if (t.size() > times.size() &&
                t.compare(t.size() - times.size(), times.size(), times) == 0) {
                t.erase(t.size() - times.size());
                break;
            }
        break;
    }
    if (separator != '.') std::replace(t.begin(), t.end(), separator, '.');
    FieldError e;
    const auto n = numberForField("multiple", t, e);
    if (!n) {
        error = e;
        error.message = "multiple: " + quoted(text) +
                        " is not a number, nor one times In, Ir, "
                        "Isd, Ii or Ig";
        return std::nullopt;
    }
    if (!(*n > 0)) {
        refuse(error, "multiple", "must be above zero");
        return std::nullopt;
    }
    out.factor = *n;
    return out;
}

std::string targetTextOf(TargetOf of, double factor, char separator) {
    std::string n = jsonNumberText(factor);
    if (separator != '.') std::replace(n.begin(), n.end(), '.', separator);
    if (of == TargetOf::In) return n;
    return n + " \xC3\x97 " + targetOfText(of);
}

std::string tripFunctionText(unsigned f) {
    switch (f) {
    case TripLongTime:
        return "long-time";
    case TripShortTime:
        return "short-time";
    case TripInstantaneous:
        return "instantaneous";
    case TripGroundFault:
        return "ground-fault";
    default:
        break;
    }
    return "";
}

std::string otherFunctionNote(PointKind kind, const TripUnitBand& b) {
    unsigned own = 0;
    switch (kind) {
    case PointKind::LongTime:
        own = TripLongTime;
        break;
    case PointKind::ShortTime:
        own = TripShortTime;
        break;
    case PointKind::Instantaneous:
        own = TripInstantaneous;
        break;
    case PointKind::GroundFault:
        own = TripGroundFault;
        break;
    case PointKind::Other:
        return "";
    }
    if (!b.band || b.fastest == own) return "";
    return tripFunctionText(b.fastest) + " acts at this current";
}

std::string tripUnitNote(PointKind kind, const TripUnitBand& b) {
    if (std::string note = otherFunctionNote(kind, b); !note.empty()) return note;
    if (b.band) return "";
    if (!b.missing.empty()) return "lacks " + b.missing;
    if (!b.may) return "below pickup";
    return "";
}

std::string settingOfFunction(const TripUnitSettings& s, unsigned function) {
    TripUnitSettings only;
    switch (function) {
    case TripLongTime:
        only.ltd = s.ltd;
        break;
    case TripShortTime:
        only.stDelay = s.stDelay;
        only.stI2t = s.stI2t;
        break;
    case TripInstantaneous:
        only.inst = s.inst;
        break;
    case TripGroundFault:
        only.gfDelay = s.gfDelay;
        only.gfI2t = s.gfI2t;
        break;
    default:
        break;
    }
    return tripUnitSettingsText(only);
}

} // namespace qarn3
