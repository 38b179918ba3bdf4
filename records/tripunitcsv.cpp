#include "records/tripunitcsv.h"

#include "platform/textformat.h"
#include "records/csvrows.h"
#include "records/curve.h"

#include <array>
#include <cmath>
#include <map>
#include <utility>

namespace qarn3 {

namespace {

constexpr CsvColumns kColumns{"maker", "model", "item", "value", "min_s", "max_s"};

// An item of one value, the profile's member it sets and the range it must lie in.
struct ScalarItem {
    const char* name;
    double TripUnitProfile::*field;
    CsvRange range;
};

constexpr CsvRange kTolerance{0, 1, "", false, true};
const std::array<ScalarItem, 10> kScalars{{
    {"lt_pick_min", &TripUnitProfile::ltPickMin, {1, 10, "x Ir", false, true}},
    {"lt_pick_max", &TripUnitProfile::ltPickMax, {1, 10, "x Ir", true, false}},
    {"lt_tol_lo", &TripUnitProfile::ltTolLo, {-1, 0, "", true, false}},
    {"lt_tol_hi", &TripUnitProfile::ltTolHi, {0, 10, ""}},
    {"st_pick_tol", &TripUnitProfile::stPickTol, kTolerance},
    {"inst_pick_tol", &TripUnitProfile::instPickTol, kTolerance},
    {"gf_pick_tol", &TripUnitProfile::gfPickTol, kTolerance},
    {"inst_max_s", &TripUnitProfile::instMaxSeconds, kCsvSeconds},
    {"st_i2t_ref", &TripUnitProfile::stI2tRef, {0, 1000, "x Ir", true, false}},
    {"gf_i2t_ref", &TripUnitProfile::gfI2tRef, {0, 1000, "x In", true, false}},
}};

// An item of a table of delay rows and the table it adds to.
struct TableItem {
    const char* name;
    std::vector<DelayBand> TripUnitProfile::*rows;
};

const std::array<TableItem, 2> kTables{{
    {"st_delay", &TripUnitProfile::stDelays},
    {"gf_delay", &TripUnitProfile::gfDelays},
}};

std::vector<const char*> itemNames() {
    std::vector<const char*> names;
    for (const ScalarItem& s : kScalars)
        names.push_back(s.name);
    for (const TableItem& t : kTables)
        names.push_back(t.name);
    return names;
}

// A number as a refusal of a profile's own value shows it.
std::string valueText(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    return jsonNumberText(v);
}

// The rules a profile's values keep, each as the refusal that names the item, the text of the
// value (the field as the file wrote it, or the stored number) and what it must be.
std::string rangeProblem(const std::string& label, const std::string& text, const CsvRange& r) {
    return label + " " + text + " must be " + rangeText(r);
}

std::string pickupOrderProblem(const std::string& minText, const std::string& maxText) {
    return "lt_pick_min " + minText + " is not below lt_pick_max " + maxText;
}

// A delay row's own values, then its place after the row before it in its table (none for
// the first); texts are those of its setting, min_s and max_s.
std::string delayRowProblem(const std::string& item, const DelayBand& row, const DelayBand* before,
                            const std::array<std::string, 3>& texts) {
    const std::array<std::pair<const char*, double>, 3> values{
        {{"setting", row.setting}, {"min_s", row.minSeconds}, {"max_s", row.maxSeconds}}};
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!inRange(values[i].second, kCsvSeconds))
            return rangeProblem(item + " " + values[i].first, texts[i], kCsvSeconds);
    if (row.minSeconds > row.maxSeconds)
        return item + " min_s " + texts[1] + " is above max_s " + texts[2];
    if (before && row.setting == before->setting)
        return item + " setting " + texts[0] + " is a duplicate";
    if (before && row.setting < before->setting)
        return item + " setting " + texts[0] + " is below the one before (" +
               valueText(before->setting) + "): settings must rise";
    return {};
}

} // namespace

std::string tripUnitIdOf(const std::string& maker, const std::string& model) {
    return nameBasedId("trip unit\n" + maker + "\n" + model);
}

std::string tripUnitProblem(const TripUnitProfile& p) {
    if (std::string why = makerModelProblem(p.maker, p.model); !why.empty())
        return "trip unit: " + why;
    const std::string at = "trip unit " + curveFamilyName(p.maker, p.model) + ": ";
    for (const ScalarItem& s : kScalars)
        if (!inRange(p.*s.field, s.range))
            return at + rangeProblem(s.name, valueText(p.*s.field), s.range);
    if (!(p.ltPickMin < p.ltPickMax))
        return at + pickupOrderProblem(valueText(p.ltPickMin), valueText(p.ltPickMax));
    for (const TableItem& t : kTables) {
        const std::vector<DelayBand>& rows = p.*t.rows;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const DelayBand& r = rows[i];
            const std::string why = delayRowProblem(
                t.name, r, i > 0 ? &rows[i - 1] : nullptr,
                {valueText(r.setting), valueText(r.minSeconds), valueText(r.maxSeconds)});
            if (!why.empty()) return at + why;
        }
    }
    return {};
}

namespace {

// A profile being read: where its first row was and the line of each item of one value given.
struct ProfileRows {
    int firstLine = 0;
    std::array<int, kScalars.size()> givenAt{};
};

// The reading of a file: its profiles and their rows so far.
struct ProfileReader {
    TripUnitCsv out;
    std::vector<ProfileRows> rows; // beside out.profiles
    std::map<std::pair<std::string, std::string>, std::size_t> index;

    std::size_t profileOf(int line, const std::vector<std::string>& f) {
        const auto [found, added] = index.emplace(std::pair{f[0], f[1]}, out.profiles.size());
        if (added) {
            TripUnitProfile p;
            p.maker = f[0];
            p.model = f[1];
            out.profiles.push_back(std::move(p));
            rows.push_back({line, {}});
        }
        return found->second;
    }

    std::string scalarRow(int line, std::size_t at, std::size_t item,
                          const std::vector<std::string>& f) {
        const ScalarItem& s = kScalars[item];
        TripUnitProfile& p = out.profiles[at];
        if (!f[4].empty() || !f[5].empty())
            return std::string(s.name) + " takes a value only: min_s and max_s stay empty";
        int& givenAt = rows[at].givenAt[item];
        if (givenAt != 0)
            return std::string(s.name) + " is given twice for " +
                   curveFamilyName(p.maker, p.model) + " (first at line " +
                   std::to_string(givenAt) + ")";
        double v = 0;
        std::string why;
        if (!numberField(s.name, f[3], v, why)) return why;
        if (!inRange(v, s.range)) return rangeProblem(s.name, quoted(f[3]), s.range);
        p.*s.field = v;
        givenAt = line;
        const auto& given = rows[at].givenAt;
        if (given[0] != 0 && given[1] != 0 && !(p.ltPickMin < p.ltPickMax))
            return pickupOrderProblem(valueText(p.ltPickMin), valueText(p.ltPickMax));
        return {};
    }

    std::string tableRow(std::size_t at, const TableItem& t, const std::vector<std::string>& f) {
        if (f[4].empty() || f[5].empty())
            return std::string(t.name) + " needs its clearing times in min_s and max_s";
        DelayBand r;
        std::string why;
        if (!numberField(t.name, f[3], r.setting, why) ||
            !numberField("min_s", f[4], r.minSeconds, why) ||
            !numberField("max_s", f[5], r.maxSeconds, why))
            return why;
        std::vector<DelayBand>& table = out.profiles[at].*t.rows;
        why = delayRowProblem(t.name, r, table.empty() ? nullptr : &table.back(),
                              {quoted(f[3]), quoted(f[4]), quoted(f[5])});
        if (why.empty()) table.push_back(r);
        return why;
    }

    std::string row(int line, const std::vector<std::string>& f) {
        if (std::string why = rowShapeProblem(f, kColumns); !why.empty()) return why;
        std::string why = "item '" + quoted(f[2]) + "' is not known; the items:";
        bool known = false;
        for (std::size_t i = 0; i < kScalars.size() && !known; ++i)
            if ((known = f[2] == kScalars[i].name)) why = scalarRow(line, profileOf(line, f), i, f);
        for (const TableItem& t : kTables)
            if (!known && (known = f[2] == t.name)) why = tableRow(profileOf(line, f), t, f);
        if (!known)
            for (const char* name : itemNames())
                why += std::string(why.back() == ':' ? " " : ", ") + name;
        if (why.empty()) ++out.rows;
        return why;
    }

    // The first profile lacking an item of one value, at its first row, naming every one.
    CsvRefusal missing() const {
        for (std::size_t at = 0; at < rows.size(); ++at) {
            std::string lacks;
            for (std::size_t i = 0; i < kScalars.size(); ++i)
                if (rows[at].givenAt[i] == 0)
                    lacks += (lacks.empty() ? "" : ", ") + std::string(kScalars[i].name);
            if (!lacks.empty())
                return {rows[at].firstLine,
                        "profile " +
                            curveFamilyName(out.profiles[at].maker, out.profiles[at].model) +
                            " lacks " + lacks};
        }
        return {};
    }
};

} // namespace

TripUnitCsv parseTripUnitCsv(const std::string& text) {
    ProfileReader reader;
    CsvRefusal refusal =
        readCsvRows(text, kColumns, [&reader](int line, const std::vector<std::string>& f) {
            return reader.row(line, f);
        });
    if (refusal.line == 0) refusal = reader.missing();
    if (refusal.line == 0 && reader.out.profiles.empty())
        refusal = {1, "the file holds no trip-unit profile (rows of " +
                          std::string("maker,model,item,value,min_s,max_s)")};
    if (refusal.line == 0) return reader.out;
    return TripUnitCsv{{}, 0, refusal.line, refusalText(refusal)};
}

} // namespace qarn3
