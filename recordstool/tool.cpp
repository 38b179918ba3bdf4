#include "recordstool/tool.h"

#include "platform/files.h"
#include "platform/textformat.h"
#include "recordstool/importer.h"
#include "recordstool/tool_commandline.h"
#include "store/export.h"
#include "store/store.h"

#include <QCommandLineParser>
#include <QDateTime>

#include <algorithm>

#include <optional>
#include <ostream>
#include <stdexcept>

namespace qarn3 {

const char* const kRecordsUsage =
    "Usage: qarn3-records [--db FILE|URI] COMMAND ...\n"
    "Keeps test records (sites, breakers, sessions, test points, and shots with their\n"
    "verdicts and waveforms) in a database: QARN3.db in the data folder, made on first use,\n"
    "unless --db names another file or a server (postgresql://USER@HOST:PORT/DBNAME).\n"
    "\n"
    "qarn3-records import --site S --breaker B --rating AMPS --pole P --kind K --multiple M\n"
    "                     (--band MIN,MAX | --curve \"MAKER MODEL\" | --must-not-trip HOLD |\n"
    "                      --trip-unit \"MAKER MODEL\" --settings S)\n"
    "                     [--session ID|latest] [options] FILE|FOLDER...\n"
    "  Analyses waveform files (.owf) and COMTRADE recordings (.cfg with its .dat, or .cff)\n"
    "  exactly as qarn3-analyze does and stores each pulse as a shot of a new test point, in\n"
    "  a new session unless --session names one, with the file's bytes as its waveform (one\n"
    "  transaction per file); a recording's waveform is the waveform file of the counts\n"
    "  measured, and the samples clipped over range are told. The site and the breaker (its\n"
    "  designation B) are found by name and made when missing. A line per shot: file, pulse,\n"
    "  current, seconds, cycles, verdict and the shot's id.\n"
    "  --session ID|latest  add the test point to that session (latest: the breaker's\n"
    "                      newest, or a new one when it has none), so that the poles of one\n"
    "                      test imported one at a time share a session and a report; refused\n"
    "                      before anything is read when there is no such session, when it is\n"
    "                      of another site or breaker, or when --condition, --operator or\n"
    "                      --notes differ from the session's\n"
    "  --rating AMPS       the breaker's rated current In\n"
    "  --pole P            A, B, C or N\n"
    "  --kind K            long-time, short-time, instantaneous, ground-fault or other\n"
    "  --multiple M        the target current as a multiple of In, or of a setting:\n"
    "                      \"3xIr\", \"1.5xIsd\", \"1.1xIi\", \"1.5xIg\" (with --settings)\n"
    "  --band MIN,MAX      PASS when MIN <= seconds <= MAX, FAIL FAST below, FAIL SLOW above\n"
    "  --curve \"MAKER MODEL\"  the breaker names that family of the curve library; each\n"
    "                      shot's band is the band of its kind's curve at the shot's\n"
    "                      measured multiple (NO BAND outside the curve)\n"
    "  --trip-unit \"MAKER MODEL\"  the breaker's trip unit follows that profile of the\n"
    "                      trip-unit library; each shot's band is the one the settings give\n"
    "                      at its measured current (NO BAND below every pickup); with\n"
    "                      --band the typed band wins, with --curve the settings do\n"
    "  --settings LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=0.3,GFD=0.2,GFI2T=off\n"
    "                      the trip unit's settings as values, those of the session (and of\n"
    "                      a new breaker); names in any case, \"off\" for a pickup switched\n"
    "                      off; a bad name or value refused naming it (with --trip-unit;\n"
    "                      without it, text that is not values is a new breaker's note)\n"
    "  --must-not-trip HOLD  PASS when the breaker holds HOLD seconds or more\n"
    "  --tolerance PCT     the measured multiple may differ from the target by PCT % before\n"
    "                      the shot is marked \"current off target\" (default 10)\n"
    "  --condition C       as-found (a new session's default), as-left or other\n"
    "  --operator NAME, --notes TEXT             a new session's\n"
    "  --location, --maker, --model, --serial TEXT   a new breaker's details\n"
    "  --range N, --shunt-amps A, --shunt-mv MV, --max-on S, --max-off S, --mode MODE,\n"
    "  --setup FILE, --cal FILE, -j N, --channel NAME   as for qarn3-analyze (--channel: a\n"
    "                      recording's current channel); the calibration file\n"
    "                      also gives the session's analyzer serial number and date\n"
    "\n"
    "qarn3-records export [--format csv|jsonl] [--site S] [--since DATE] [--until DATE]\n"
    "                     [--verdict V[,V...]] [-o FILE]\n"
    "  One record per shot, oldest first, with its site, breaker, session and test point,\n"
    "  the band and the verdict. csv (the default): RFC 4180, '.' decimals, CR LF; jsonl: a\n"
    "  JSON object a line. DATE is YYYY-MM-DD (local time; --until takes the whole day) or\n"
    "  an ISO 8601 time. V: PASS, FAIL (both kinds), FAIL-FAST, FAIL-SLOW, NO-TRIP, CHECK,\n"
    "  NO-BAND.\n"
    "\n"
    "qarn3-records curves import FILE.csv\n"
    "qarn3-records curves list\n"
    "  The curve library: makers' time-current curves, one point a CSV row\n"
    "  (maker,model,kind,multiple,min_s,max_s; an optional header row of those names; '.'\n"
    "  decimals; blank rows and rows beginning with # skipped). A file is imported whole or\n"
    "  not at all: a bad row is refused with its line number. A curve of the same maker,\n"
    "  model and kind is replaced.\n"
    "\n"
    "qarn3-records trip-units import FILE.csv\n"
    "qarn3-records trip-units list\n"
    "  The trip-unit library: the tolerances a maker publishes for a family of electronic\n"
    "  trip units, one item a CSV row (maker,model,item,value,min_s,max_s; items lt_pick_min,\n"
    "  lt_pick_max, lt_tol_lo, lt_tol_hi, st_pick_tol, inst_pick_tol, gf_pick_tol,\n"
    "  inst_max_s, st_i2t_ref, gf_i2t_ref with a value, and st_delay, gf_delay rows of a\n"
    "  delay setting with its min_s and max_s). Imported whole or not at all; a profile of\n"
    "  the same maker and model is replaced whole.\n"
    "\n"
    "qarn3-records plans import FILE.csv | export [-o FILE.csv] | list\n"
    "  The test plans: an ordered list of test points (pole, kind, target as a multiple of\n"
    "  In or of a setting, the band's source: settings, curve, typed or must-not-trip with a\n"
    "  hold time, how many shots), a checklist and a cool-down in minutes; one item a CSV row\n"
    "  (plan,item,pole,kind,target,source,min_s,max_s,hold_s,shots,text). The built-in plan\n"
    "  \"LSIG three-pole\" is always listed. A plan of the same name is replaced whole.\n"
    "\n"
    "qarn3-records approve --session ID --by NAME\n"
    "  Approves the session: who approved it and when, kept apart from who tested. From then\n"
    "  on the database refuses every change of the session, its test points and shots.\n"
    "\n"
    "qarn3-records note --session ID --by NAME --text TEXT\n"
    "  Adds a dated note to the session, approved or not: how an approved session's results\n"
    "  are corrected.\n"
    "\n"
    "qarn3-records history --breaker NAME [--site S] [--format csv|jsonl]\n"
    "  Each test point kind's result per session and pole as the position in its band (0 at\n"
    "  the minimum, 1 at the maximum, outside below 0 or above 1), marked where it moved\n"
    "  towards an edge by more than a quarter of the band since the session before.\n"
    "\n"
    "qarn3-records due [--within DAYS]\n"
    "  The breakers due for a test within DAYS (31 by default), overdue or never tested: the\n"
    "  last session's day plus the breaker's test interval (36 months by default).\n"
    "\n"
    "qarn3-records report (--session ID | --session latest) -o FILE.pdf [--page a4|letter]\n"
    "  The session's test report as a PDF: the breaker, the session and the analyzer, the\n"
    "  results with their verdicts, the time-current plot, a waveform snapshot per shot and\n"
    "  signature lines. The page is A4 or Letter as the locale prints, unless --page says.\n"
    "\n"
    "qarn3-records waveform SHOT-ID -o FILE.owf\n"
    "qarn3-records waveform SHOT-ID --format comtrade -o BASE\n"
    "                       [--comtrade-format ascii|binary|binary32|float32]\n"
    "  Writes the shot's waveform file, byte for byte as it was imported or captured; or as\n"
    "  COMTRADE (revision 2013), BASE.cfg and BASE.dat (BINARY unless --comtrade-format\n"
    "  says): the station is the site, the phase the pole, the circuit the breaker, the\n"
    "  device the file's serial number (else the session's analyzer), the line frequency the\n"
    "  program's mains setting (QARN3Site.ini in the data folder; 60 Hz without it), the\n"
    "  first sample the pulse's start and length before the shot's time, the trigger at the\n"
    "  pulse's start and the digital channel ON the pulse's span; local time as this\n"
    "  computer's time zone had it then.\n"
    "\n"
    "qarn3-records [--db FILE] sync --to URI|FILE [--site NAME]... [--resend]\n"
    "  Sends a company's shared database (postgresql://USER@HOST:PORT/DBNAME?sslmode=...)\n"
    "  the records it does not have yet, and receives what other computers sent it for the\n"
    "  sites this database has and the sites named with --site, and the whole curve library\n"
    "  both ways. Shots are never edited; a site, breaker, session, test point or curve\n"
    "  edited (or imported again) on both sides keeps the newest change, and each such\n"
    "  conflict is listed. Records the shared database no longer has stay\n"
    "  here and are not sent again (--resend sends them, after a restore from a backup).\n"
    "  Each batch moves in one transaction: a sync cut off is completed by the next.\n"
    "\n"
    "qarn3-records [--db FILE|URI] schema\n"
    "  Makes the database's schema or brings it up to date (on a server, as the database's\n"
    "  owner) and prints its version.\n"
    "\n"
    "A server's password is never stored or given on the command line: the client library\n"
    "reads it from ~/.pgpass, the file PGPASSFILE names or PGPASSWORD, else it is asked for\n"
    "on the terminal.\n"
    "\n"
    "Exit status: 0 done, 1 a record, file or the database could not be read or written\n"
    "(named in the message), 2 a usage error.\n";

namespace {

using namespace recordstool;

// A number for a field: text that is not a number is a usage error naming the field.
double number(const Options& o, const std::string& name) {
    FieldError e;
    if (auto v = numberForField(name, o.value(name), e)) return *v;
    throw UsageError(e.message);
}

std::int32_t integer(const Options& o, const std::string& name) {
    try {
        return parseInteger(o.value(name));
    } catch (const ConvertError& e) {
        throw UsageError(name + ": " + e.what());
    }
}

void refuseIf(const std::optional<FieldError>& e) {
    if (e) throw FieldRefused(e->message);
}

// Writes to standard output, or collects for a file written whole at the end.
class Output {
public:
    Output(std::ostream& out, const Options& o)
        : m_out(out), m_file(o.has("output") ? std::optional(o.value("output")) : std::nullopt) {}
    void write(const std::string& s) {
        if (m_file)
            m_buffer += s;
        else
            m_out << s;
    }
    std::string finish() {
        if (!m_file) {
            m_out.flush();
            return m_out ? std::string() : "Cannot write the output";
        }
        std::string error;
        FileStore files;
        if (!files.replaceContents(*m_file, m_buffer, error))
            return "Cannot write " + *m_file + ": " + error;
        return {};
    }

private:
    std::ostream& m_out;
    std::optional<std::string> m_file;
    std::string m_buffer;
};

// The import's site and breaker, as the panel takes them.
void readImportBreaker(const Options& o, ImportRequest& r) {
    // A stray space makes no site or breaker of its own.
    r.siteName = trimText(o.required("site"));
    r.breaker.designation = trimText(o.required("breaker"));
    o.required("rating");
    r.breaker.ratedAmps = number(o, "rating");
    r.breaker.location = o.value("location");
    r.breaker.maker = o.value("maker");
    r.breaker.model = o.value("model");
    r.breaker.serial = o.value("serial");

    r.tripUnitName = trimText(o.value("trip-unit"));
    if (o.has("trip-unit") && r.tripUnitName.empty())
        throw UsageError("--trip-unit names no profile");
    if (!o.has("settings")) return;
    // Settings that read as values are the session's (and a new breaker's); with a profile
    // named they must. Other text is a new breaker's settings as read, as it always was.
    FieldError e;
    const auto values = parseTripUnitSettings(o.value("settings"), e);
    if (!values && o.has("trip-unit")) {
        if (e.notNumber) throw UsageError(e.message);
        throw FieldRefused(e.message);
    }
    if (!values) {
        r.breaker.settings = o.value("settings");
        return;
    }
    r.tripSettings = *values;
    r.session.tripSettings = r.breaker.tripSettings = tripUnitSettingsText(*values);
}

// The import's test point: pole, kind, multiple and what it is judged by.
void readImportTestPoint(const Options& o, ImportRequest& r) {
    const auto pole = poleFromText(o.required("pole"));
    if (!pole) throw UsageError("--pole takes A, B, C or N");
    const auto kind = kindFromText(o.required("kind"));
    if (!kind)
        throw UsageError(
            "--kind takes long-time, short-time, instantaneous, ground-fault or other");
    r.point.pole = *pole;
    r.point.kind = *kind;
    FieldError e;
    const auto target = parseTargetText(o.required("multiple"), '.', e);
    if (!target) throw UsageError(e.message);
    r.point.targetOf = target->of;
    r.point.targetFactor = target->factor;
    const auto multiple =
        targetMultiple(r.tripSettings.value_or(TripUnitSettings{}), target->of, target->factor, e);
    if (!multiple) throw FieldRefused(e.message + " (give it with --settings)");
    r.point.multiple = *multiple;
    // A profile goes alone or with one of the others: a typed band wins over it, it wins over
    // a curve.
    const int ways = o.has("band") + o.has("must-not-trip") + o.has("curve");
    if (ways > 1 || (ways == 0 && !o.has("trip-unit")))
        throw UsageError("give one of --band MIN,MAX, --curve \"MAKER MODEL\", --trip-unit"
                         " \"MAKER MODEL\" or --must-not-trip HOLD");
    r.curveName = trimText(o.value("curve"));
    if (o.has("curve") && r.curveName.empty()) throw UsageError("--curve names no curve");
    if (o.has("band")) {
        const auto band = bandFromText(o.value("band"), e);
        if (!band) {
            if (e.notNumber) throw UsageError(e.message);
            throw FieldRefused(e.message);
        }
        r.point.band = band;
    } else if (o.has("must-not-trip")) {
        r.point.mustNotTrip = true;
        r.point.holdSeconds = number(o, "must-not-trip");
    }
    if (o.has("tolerance")) r.point.tolerance = number(o, "tolerance") / 100;
}

// The import's session fields, and which of them were given.
void readImportSession(const Options& o, ImportRequest& r) {
    const auto condition =
        conditionFromText(o.has("condition") ? o.value("condition") : "as-found");
    if (!condition) throw UsageError("--condition takes as-found, as-left or other");
    r.session.condition = *condition;
    r.session.operatorName = o.value("operator");
    r.session.notes = o.value("notes");
    r.tripSettingsGiven = !r.session.tripSettings.empty();
    r.conditionGiven = o.has("condition");
    r.operatorGiven = o.has("operator");
    r.notesGiven = o.has("notes");
    if (o.has("session")) {
        r.sessionChoice = trimText(o.value("session"));
        if (r.sessionChoice.empty()) throw UsageError("--session takes an id or latest");
    }
}

// How the files are analysed, by how many workers, and which files.
void readImportAnalysis(const Options& o, const RecordsToolEnvironment& env, ImportRequest& r) {
    AnalysisOptions& a = r.analysis;
    if (o.has("range")) a.rangeIndex = integer(o, "range");
    if (o.has("shunt-amps")) a.shuntAmperes = number(o, "shunt-amps");
    if (o.has("shunt-mv")) a.shuntMillivolts = number(o, "shunt-mv");
    if (o.has("max-on")) a.maxOnTime = number(o, "max-on");
    if (o.has("max-off")) a.maxOffTime = number(o, "max-off");
    if (o.has("mode")) {
        const std::string m = o.value("mode");
        a.testMode = m == "pulse" ? 0 : m == "long" ? 1 : integer(o, "mode");
    }
    a.setupFile = o.value("setup");
    a.calFile = o.value("cal");
    a.channel = o.value("channel");
    a.decimalSeparator = env.decimalSeparator;
    r.workers = env.cores;
    if (o.has("jobs")) {
        const std::int32_t n = integer(o, "jobs");
        if (n < 1 || n > 256) throw UsageError("--jobs takes 1 to 256");
        r.workers = static_cast<unsigned>(n);
    }
    r.inputs = o.positional();
    if (r.inputs.empty()) throw UsageError("no waveform file given");
}

int runImport(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"site",  "breaker",       "rating",    "pole",      "kind",      "multiple",
               "band",  "must-not-trip", "tolerance", "condition", "operator",  "notes",
               "curve", "location",      "maker",     "model",     "serial",    "settings",
               "range", "shunt-amps",    "shunt-mv",  "max-on",    "max-off",   "mode",
               "setup", "cal",           "jobs",      "session",   "trip-unit", "channel"});
    o.parse("import", args);
    ImportRequest r;
    readImportBreaker(o, r);
    readImportTestPoint(o, r);
    readImportSession(o, r);
    readImportAnalysis(o, env, r);

    refuseIf(validateSite(SiteRecord{{}, r.siteName, {}}));
    refuseIf(validateBreaker(r.breaker));
    refuseIf(validateTestPoint(r.point));
    AnalysisSettings settings;
    if (const std::string e = prepareSettings(r.analysis, settings); !e.empty())
        throw FieldRefused(e);

    auto db = openDatabase(o, env, false);
    if (db->readOnly()) throw FieldRefused("Nothing imported: the database is read-only");
    const ImportSummary s = importFiles(r, *db, settings, env.out, env.err);
    if (s.shots > 0)
        env.out << "Stored " << s.shots << " shots of " << s.files << " files in session "
                << s.sessionId << "\n";
    return s.failed ? 1 : 0;
}

// DATE as YYYY-MM-DD in local time (the next day's start when dayAfter) or an ISO 8601
// time, as ISO 8601 UTC.
std::string timeBound(const std::string& option, const std::string& text, bool dayAfter) {
    const QString t = QString::fromStdString(text);
    QDateTime when;
    if (text.size() == 10) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (d.isValid()) when = QDateTime(dayAfter ? d.addDays(1) : d, QTime(0, 0));
    } else {
        when = QDateTime::fromString(t, Qt::ISODateWithMs);
    }
    if (!when.isValid())
        throw UsageError("--" + option + ": '" + text + "' is not a date (YYYY-MM-DD)");
    return isoUtcFromMsecs(when.toMSecsSinceEpoch());
}

std::vector<Verdict> verdictsOf(const std::string& text) {
    std::vector<Verdict> out;
    for (QString v : QString::fromStdString(text).split(',', Qt::SkipEmptyParts)) {
        v = v.trimmed().toUpper().replace('-', ' ').replace('_', ' ');
        if (v == "FAIL") {
            out.push_back(Verdict::FailFast);
            out.push_back(Verdict::FailSlow);
        } else if (auto verdict = verdictFromText(v.toStdString())) {
            out.push_back(*verdict);
        } else {
            throw UsageError("--verdict: unknown verdict " + v.toStdString());
        }
    }
    return out;
}

int runExport(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"format", "site", "since", "until", "verdict", "output"});
    o.parse("export", args);
    if (!o.positional().empty()) throw UsageError("export takes no file but -o FILE");
    const std::string format = o.has("format") ? o.value("format") : "csv";
    if (format != "csv" && format != "jsonl") throw UsageError("--format takes csv or jsonl");
    ShotFilter f;
    f.siteName = trimText(o.value("site"));
    if (o.has("since")) f.since = timeBound("since", o.value("since"), false);
    if (o.has("until")) f.until = timeBound("until", o.value("until"), true);
    if (o.has("verdict")) f.verdicts = verdictsOf(o.value("verdict"));

    auto db = openDatabase(o, env, true);
    Output out(env.out, o);
    RecordsStore store(*db);
    const RecordsError e =
        exportShots(store, f, format == "csv" ? ExportFormat::Csv : ExportFormat::JsonLines,
                    [&](const std::string& text) {
                        out.write(text);
                        return true;
                    });
    if (e) throw FieldRefused(e.message);
    if (const std::string w = out.finish(); !w.empty()) throw FieldRefused(w);
    return 0;
}

// The options before the command; the command's own parser takes the rest.
void globalOptions(QCommandLineParser& global) {
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    global.addOption(QCommandLineOption("db", {}, "value"));
    global.addOption(QCommandLineOption(QStringList{"h", "help"}));
}

} // namespace

std::string recordsCommandOf(const std::vector<std::string>& args) {
    QCommandLineParser global;
    globalOptions(global);
    if (!global.parse(toQt("qarn3-records", args)) || global.positionalArguments().isEmpty())
        return {};
    return argBytes(global.positionalArguments().front());
}

namespace recordstool {

std::string databasePath(const Options& o, const RecordsToolEnvironment& env) {
    return o.has("db") ? o.value("db") : defaultRecordsPath(env.dataFolder);
}

// Opens the database the options name.
std::unique_ptr<RecordsDatabase> openDatabase(const Options& o, RecordsToolEnvironment& env,
                                              bool mustExist) {
    DatabaseLocation where;
    std::string error;
    if (!DatabaseLocation::parse(databasePath(o, env), where, error)) throw UsageError(error);
    if (where.kind == DatabaseLocation::Kind::SqliteFile) {
        if (mustExist && !FileStore().exists(where.path))
            throw FieldRefused("No records database " + where.path);
        // The default database lives in the data folder, which must be the user's own, as
        // the program requires: another user's folder would hand them the records.
        if (!o.has("db")) {
            if (const std::string why = makeOwnFolder(env.dataFolder, env.dataFolderUse);
                !why.empty())
                throw FieldRefused("The data folder cannot be used: " + why);
        }
    }
    OpenOptions options;
    options.passwordPrompt = env.passwordPrompt;
    // A command that only reads leaves a damaged file as it is and says so, rather than
    // reading an empty new database as if it were the records.
    options.setAsideDamaged = !mustExist;
    auto db = std::make_unique<RecordsDatabase>(where, options);
    const OpenReport report = db->open();
    for (const std::string& note : report.notes)
        env.err << "qarn3-records: " << escapeControls(note) << "\n";
    if (!report.ok) throw FieldRefused(escapeControls(report.error.message));
    return db;
}

} // namespace recordstool

int runRecordsTool(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    try {
        QCommandLineParser global;
        globalOptions(global);
        if (!global.parse(toQt("qarn3-records", args)))
            throw UsageError(argBytes(global.errorText()));
        std::vector<std::string> rest = fromQt(global.positionalArguments());
        if (global.isSet("help")) {
            env.out << kRecordsUsage;
            return 0;
        }
        if (rest.empty())
            throw UsageError(
                "no command given (import, export, waveform, curves, trip-units, plans, approve,\n"
                "history, due, report, sync or schema)");
        const std::string command = rest.front();
        rest.erase(rest.begin());
        if (global.isSet("db")) rest.insert(rest.begin(), {"--db", argBytes(global.value("db"))});
        if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
            env.out << kRecordsUsage;
            return 0;
        }
        if (command == "import") return runImport(rest, env);
        if (command == "export") return runExport(rest, env);
        if (command == "waveform") return runWaveform(rest, env);
        if (command == "curves") return runCurves(rest, env);
        if (command == "trip-units") return runTripUnits(rest, env);
        if (command == "plans") return runPlans(rest, env);
        if (command == "approve") return runApprove(rest, env);
        if (command == "note") return runNote(rest, env);
        if (command == "history") return runHistory(rest, env);
        if (command == "due") return runDue(rest, env);
        if (command == "report") return runReport(rest, env);
        if (command == "sync") return runSync(rest, env);
        if (command == "schema") return runSchema(rest, env);
        throw UsageError(
            "unknown command " + command +
            " (import, export, waveform, curves, trip-units, plans, approve, history, due,\n"
            " report, sync or schema)");
    } catch (const UsageError& e) {
        env.err << "qarn3-records: " << escapeControls(e.what()) << "\n" << kRecordsUsage;
        return 2;
    } catch (const FieldRefused& e) {
        env.err << "qarn3-records: " << escapeControls(e.what()) << "\n";
        return 1;
    }
}

} // namespace qarn3
