// qarn3-records curves, trip-units and report: the curve and trip-unit libraries and a
// session's test report.
#include "engine/analysis_output.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "records/tripunitcsv.h"
#include "recordstool/tool_commandline.h"
#include "report/reportwriter.h"
#include "store/curvelibrary.h"
#include "store/reportload.h"
#include "store/store.h"
#include "store/tripunitlibrary.h"

#include <QLocale>

#include <ostream>

namespace qarn3::recordstool {

int runCurves(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({});
    o.parse("curves", args);
    const std::vector<std::string> words = o.positional();
    if (words.empty()) throw UsageError("curves takes import FILE.csv or list");
    if (words[0] == "list") {
        if (words.size() != 1) throw UsageError("curves list takes no file");
        auto db = openDatabase(o, env, true);
        RecordsError e;
        const std::vector<TripCurve> curves = CurveLibrary(*db).curves(e);
        if (e) throw FieldRefused(e.message);
        for (const TripCurve& c : curves)
            env.out << escapeControls(curveFamilyName(c.maker, c.model)) << "  " << kindText(c.kind)
                    << "  " << c.points.size() << " points  "
                    << jsonNumberText(c.points.front().multiple) << " to "
                    << jsonNumberText(c.points.back().multiple) << " x In  " << c.updatedAt << "\n";
        return 0;
    }
    if (words[0] != "import") throw UsageError("unknown curves command " + words[0]);
    if (words.size() != 2) throw UsageError("curves import takes one CSV file");
    const std::string& file = words[1];
    const auto text = FileStore().readPrefix(file, kCurveCsvReadLimit + 1);
    if (!text) throw FieldRefused("Cannot read " + file);
    if (text->size() > kCurveCsvReadLimit)
        throw FieldRefused(file + " is larger than " + std::to_string(kCurveCsvReadLimit >> 20) +
                           " MiB, more than any curve file; nothing imported");
    const CurveCsv csv = parseCurveCsv(*text);
    if (!csv.error.empty()) throw FieldRefused(file + " " + csv.error + "; nothing imported");
    if (csv.curves.empty()) throw FieldRefused(file + " holds no curve row; nothing imported");
    auto db = openDatabase(o, env, false);
    CurveImportSummary summary;
    if (RecordsError e = CurveLibrary(*db).importCurves(csv.curves, summary))
        throw FieldRefused(file + ": " + e.message + "; nothing imported");
    env.out << "Imported " << summary.added + summary.replaced << " curves (" << summary.points
            << " points) from " << escapeControls(file) << ": " << summary.added << " new, "
            << summary.replaced << " replaced\n";
    return 0;
}

int runTripUnits(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({});
    o.parse("trip-units", args);
    const std::vector<std::string> words = o.positional();
    if (words.empty()) throw UsageError("trip-units takes import FILE.csv or list");
    if (words[0] == "list") {
        if (words.size() != 1) throw UsageError("trip-units list takes no file");
        auto db = openDatabase(o, env, true);
        RecordsError e;
        const std::vector<StoredTripUnit> units = TripUnitLibrary(*db).profiles(e);
        if (e) throw FieldRefused(e.message);
        for (const StoredTripUnit& u : units) {
            const TripUnitProfile& p = u.profile;
            env.out << escapeControls(u.name()) << "  long time " << jsonNumberText(p.ltPickMin)
                    << " to " << jsonNumberText(p.ltPickMax) << " x Ir  short-time rows "
                    << p.stDelays.size() << "  ground-fault rows " << p.gfDelays.size()
                    << "  instantaneous within " << jsonNumberText(p.instMaxSeconds) << " s\n";
        }
        return 0;
    }
    if (words[0] != "import") throw UsageError("unknown trip-units command " + words[0]);
    if (words.size() != 2) throw UsageError("trip-units import takes one CSV file");
    const std::string& file = words[1];
    const auto text = FileStore().readPrefix(file, kTripUnitCsvReadLimit + 1);
    if (!text) throw FieldRefused("Cannot read " + file);
    if (text->size() > kTripUnitCsvReadLimit)
        throw FieldRefused(file + " is larger than " + std::to_string(kTripUnitCsvReadLimit >> 20) +
                           " MiB, more than any trip-unit file; nothing imported");
    const TripUnitCsv csv = parseTripUnitCsv(*text);
    if (!csv.error.empty()) throw FieldRefused(file + " " + csv.error + "; nothing imported");
    if (csv.profiles.empty()) throw FieldRefused(file + " holds no profile row; nothing imported");
    auto db = openDatabase(o, env, false);
    TripUnitImportSummary summary;
    if (RecordsError e = TripUnitLibrary(*db).importProfiles(csv.profiles, summary))
        throw FieldRefused(file + ": " + e.message + "; nothing imported");
    env.out << "Imported " << summary.added + summary.replaced << " trip-unit profiles ("
            << summary.rows << " delay rows) from " << escapeControls(file) << ": " << summary.added
            << " new, " << summary.replaced << " replaced\n";
    return 0;
}

int runReport(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"session", "output", "page"});
    o.parse("report", args);
    if (!o.positional().empty()) throw UsageError("report takes no file but -o FILE.pdf");
    const std::string which = o.required("session");
    const std::string file = o.required("output");
    ReportOptions options;
    options.decimalSeparator = env.decimalSeparator;
    options.pageSize = pageSizeForLocale(QLocale::system());
    if (o.has("page")) {
        const QString page = QString::fromStdString(o.value("page")).toLower();
        if (page != "a4" && page != "letter") throw UsageError("--page takes a4 or letter");
        options.pageSize = page == "a4" ? QPageSize::A4 : QPageSize::Letter;
    }
    auto db = openDatabase(o, env, true);
    RecordsError e;
    std::string id = which;
    if (which == "latest") {
        const auto latest = RecordsStore(*db).latestSession(e);
        if (!latest) throw FieldRefused(e.message);
        id = latest->id;
    }
    SessionReport report;
    if ((e = loadSessionReport(*db, id, true, report))) throw FieldRefused(e.message);
    if (const std::string w = writeReportFile(report, options, file); !w.empty())
        throw FieldRefused(w);
    env.out << "Wrote the report of session " << id << " (" << report.shots.size() << " shots) to "
            << escapeControls(file) << "\n";
    return 0;
}

} // namespace qarn3::recordstool
