// qarn3-records plans, approve, history and due: the test plans, a session's approval, a
// breaker's results over the years and the breakers due for a test.
#include "engine/analysis_output.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "records/history.h"
#include "recordstool/tool_commandline.h"
#include "store/approval.h"
#include "store/planlibrary.h"
#include "store/store.h"

#include <QDate>

#include <ostream>

namespace qarn3::recordstool {

namespace {

constexpr std::size_t kPlanCsvReadLimit = std::size_t{16} << 20;

// The breaker a command names: by designation on the site named, or on any site when that
// finds one only.
BreakerRecord breakerNamedFor(RecordsStore& store, const Options& o) {
    const std::string designation = trimText(o.required("breaker"));
    const std::string siteName = o.has("site") ? trimText(o.value("site")) : std::string();
    RecordsError e;
    std::vector<BreakerRecord> found;
    bool siteFound = false;
    for (const SiteRecord& site : store.sites(e)) {
        if (o.has("site") && site.name != siteName) continue;
        siteFound = true;
        for (BreakerRecord& b : store.breakersOf(site.id, e))
            if (b.designation == designation) found.push_back(std::move(b));
    }
    if (e) throw FieldRefused(e.message);
    if (o.has("site") && !siteFound) throw FieldRefused("site: no site " + siteName);
    if (found.empty())
        throw FieldRefused("breaker: no breaker " + designation +
                           (o.has("site") ? " on site " + siteName : std::string()));
    if (found.size() > 1)
        throw FieldRefused("breaker: " + designation + " is on " + std::to_string(found.size()) +
                           " sites or twice on one; name it with --site");
    return found.front();
}

std::string kindOrPole(const HistoryPoint& p) {
    return kindText(p.kind) + "," + poleText(p.pole);
}

} // namespace

int runPlans(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"output"});
    o.parse("plans", args);
    const std::vector<std::string> words = o.positional();
    if (words.empty()) throw UsageError("plans takes import FILE.csv, export or list");
    if (words[0] == "list" || words[0] == "export") {
        if (words.size() != 1) throw UsageError("plans " + words[0] + " takes no file");
        auto db = openDatabase(o, env, true);
        RecordsError e;
        const std::vector<TestPlan> plans = TestPlanLibrary(*db).plans(e);
        if (e) throw FieldRefused(e.message);
        if (words[0] == "export") {
            const std::string text = testPlanCsvText(plans);
            if (!o.has("output")) {
                env.out << text;
                return 0;
            }
            std::string error;
            if (!FileStore().replaceContents(o.value("output"), text, error))
                throw FieldRefused("Cannot write " + o.value("output") + ": " + error);
            return 0;
        }
        for (const TestPlan& p : plans)
            env.out << escapeControls(p.name) << "  " << p.points.size() << " points  "
                    << p.checklist.size() << " checks  cool-down "
                    << jsonNumberText(p.coolDownMinutes) << " min\n";
        return 0;
    }
    if (words[0] != "import") throw UsageError("unknown plans command " + words[0]);
    if (words.size() != 2) throw UsageError("plans import takes one CSV file");
    const std::string& file = words[1];
    const auto text = FileStore().readPrefix(file, kPlanCsvReadLimit + 1);
    if (!text) throw FieldRefused("Cannot read " + file);
    if (text->size() > kPlanCsvReadLimit)
        throw FieldRefused(file + " is larger than 16 MiB, more than any plan file; nothing"
                                  " imported");
    const TestPlanCsv csv = parseTestPlanCsv(*text);
    if (!csv.error.empty()) throw FieldRefused(file + " " + csv.error + "; nothing imported");
    if (csv.plans.empty()) throw FieldRefused(file + " holds no plan row; nothing imported");
    auto db = openDatabase(o, env, false);
    TestPlanImportSummary summary;
    if (RecordsError e = TestPlanLibrary(*db).importPlans(csv.plans, summary))
        throw FieldRefused(file + ": " + e.message + "; nothing imported");
    env.out << "Imported " << summary.added + summary.replaced << " test plans (" << summary.points
            << " points) from " << escapeControls(file) << ": " << summary.added << " new, "
            << summary.replaced << " replaced\n";
    return 0;
}

int runApprove(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"session", "by"});
    o.parse("approve", args);
    if (!o.positional().empty()) throw UsageError("approve takes --session ID --by NAME");
    const std::string id = trimText(o.required("session"));
    const std::string by = o.required("by");
    auto db = openDatabase(o, env, false);
    std::string at;
    if (RecordsError e = approveSession(*db, id, by, at)) throw FieldRefused(e.message);
    env.out << "Approved session " << id << " by " << escapeControls(trimText(by)) << " on " << at
            << "\n";
    return 0;
}

int runNote(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"session", "by", "text"});
    o.parse("note", args);
    if (!o.positional().empty()) throw UsageError("note takes --session ID --by NAME --text TEXT");
    const std::string id = trimText(o.required("session"));
    const std::string by = o.required("by");
    const std::string text = o.required("text");
    auto db = openDatabase(o, env, false);
    RecordsError e;
    if (!RecordsStore(*db).sessionContext(id, e)) throw FieldRefused(e.message);
    if ((e = addSessionNote(*db, id, by, text))) throw FieldRefused(e.message);
    env.out << "Added a note to session " << id << "\n";
    return 0;
}

int runHistory(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"breaker", "site", "format"});
    o.parse("history", args);
    if (!o.positional().empty())
        throw UsageError("history takes --breaker NAME [--site S] [--format csv|jsonl]");
    const std::string format = o.has("format") ? o.value("format") : "csv";
    if (format != "csv" && format != "jsonl") throw UsageError("--format takes csv or jsonl");
    auto db = openDatabase(o, env, true);
    RecordsStore store(*db);
    const BreakerRecord breaker = breakerNamedFor(store, o);
    std::vector<ShotRow> rows;
    ShotFilter f;
    f.breakerId = breaker.id;
    if (RecordsError e = store.forEachShot(f, ShotOrder::OldestFirst, [&](const ShotRow& r) {
            rows.push_back(r);
            return true;
        }))
        throw FieldRefused(e.message);
    const std::vector<HistoryPoint> history = breakerHistory(rows);
    if (format == "csv")
        env.out << "session_id,started_at,kind,pole,position,moved_toward_edge\r\n";
    for (const HistoryPoint& p : history) {
        if (format == "csv")
            env.out << p.sessionId << "," << p.startedAt << "," << kindOrPole(p) << ","
                    << jsonNumberText(p.position) << "," << (p.movedTowardEdge ? 1 : 0) << "\r\n";
        else
            env.out << "{\"session_id\":\"" << p.sessionId << "\",\"started_at\":\"" << p.startedAt
                    << "\",\"kind\":\"" << kindText(p.kind) << "\",\"pole\":\"" << poleText(p.pole)
                    << "\",\"position\":" << jsonNumberText(p.position)
                    << ",\"moved_toward_edge\":" << (p.movedTowardEdge ? "true" : "false") << "}\n";
    }
    return 0;
}

int runDue(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"within"});
    o.parse("due", args);
    if (!o.positional().empty()) throw UsageError("due takes [--within DAYS]");
    int within = kDueSoonDays;
    if (o.has("within")) {
        FieldError fe;
        const auto n = numberForField("within", o.value("within"), fe);
        if (!n || *n < 0 || *n > 36500 || *n != static_cast<int>(*n))
            throw UsageError("--within takes a number of days, 0 to 36500");
        within = static_cast<int>(*n);
    }
    auto db = openDatabase(o, env, true);
    RecordsStore store(*db);
    RecordsError e;
    const QDate today = QDate::currentDate();
    const std::string todayText = today.toString(Qt::ISODate).toStdString();
    for (const SiteRecord& site : store.sites(e)) {
        for (const BreakerRecord& b : store.breakersOf(site.id, e)) {
            const std::vector<SessionRecord> sessions = store.sessionsOf(b.id, e);
            const std::string last = sessions.empty() ? std::string() : sessions.back().startedAt;
            std::string dueDate;
            const DueState state = dueStateOf(last, b.testIntervalMonths, todayText, dueDate);
            const QDate due = QDate::fromString(QString::fromStdString(dueDate), Qt::ISODate);
            const bool listed = state == DueState::Never || state == DueState::Overdue ||
                                (due.isValid() && today.daysTo(due) <= within);
            if (!listed) continue;
            const char* word = state == DueState::Never     ? "never tested"
                               : state == DueState::Overdue ? "overdue"
                                                            : "due";
            env.out << escapeControls(site.name) << "  " << escapeControls(b.designation) << "  "
                    << word << (dueDate.empty() ? "" : " " + dueDate) << "\n";
        }
    }
    if (e) throw FieldRefused(e.message);
    return 0;
}

} // namespace qarn3::recordstool
