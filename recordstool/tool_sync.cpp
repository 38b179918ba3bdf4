// qarn3-records sync and schema: a laptop's records and a company's shared database.
#include "platform/progressline.h"
#include "platform/textformat.h"
#include "recordstool/tool_commandline.h"
#include "store/sync.h"

#include <ostream>

namespace qarn3::recordstool {

namespace {

// "site 1, shot 8" for the tables with a count; empty when none has one.
std::string countsText(const SyncReport& r, std::int64_t SyncTableCounts::*field,
                       std::int64_t waveforms = 0) {
    std::string s;
    for (const SyncTableCounts& t : r.tables)
        if (t.*field > 0) s += (s.empty() ? "" : ", ") + t.table + " " + std::to_string(t.*field);
    if (waveforms > 0)
        s += (s.empty() ? "" : ", ") + std::string("waveform ") + std::to_string(waveforms);
    return s;
}

std::string progressText(const SyncProgress& p) {
    if (p.stage == SyncStage::Comparing) return "qarn3-records: comparing " + p.table;
    return "qarn3-records: " + std::to_string(p.done) + " of " + std::to_string(p.total) +
           " records sent or received";
}

void writeReport(const SyncReport& r, std::ostream& out) {
    const std::pair<const char*, std::int64_t SyncTableCounts::*> lines[] = {
        {"sent", &SyncTableCounts::sent},
        {"received", &SyncTableCounts::received},
        {"updated there", &SyncTableCounts::updatedThere},
        {"updated here", &SyncTableCounts::updatedHere},
        {"kept here, deleted on the shared database", &SyncTableCounts::deletedThere},
        {"not sent, under a record deleted on the shared database", &SyncTableCounts::notSent},
        {"not received, deleted here", &SyncTableCounts::deletedHere}};
    for (const auto& [what, field] : lines) {
        const std::int64_t waveforms = field == &SyncTableCounts::sent       ? r.waveformsSent
                                       : field == &SyncTableCounts::received ? r.waveformsReceived
                                                                             : 0;
        if (const std::string counts = countsText(r, field, waveforms); !counts.empty())
            out << what << ": " << counts << "\n";
    }
    for (const SyncConflict& c : r.conflicts)
        out << "conflict: " << c.table << " " << escapeControls(c.label) << " (" << c.id
            << ") edited here at " << escapeControls(c.localUpdatedAt)
            << " and on the shared database at " << escapeControls(c.sharedUpdatedAt)
            << ": kept the change made " << (c.localKept ? "here" : "there") << "\n";
    for (const SyncRefusal& f : r.refused)
        out << "refused " << (f.toShared ? "by the shared database" : "here") << ": " << f.table
            << " " << escapeControls(f.label) << " (" << f.id << "): " << escapeControls(f.reason)
            << "; its records can no longer be changed\n";
    if (r.ok && r.conflicts.empty() && r.refused.empty() &&
        countsText(r, &SyncTableCounts::sent).empty() &&
        countsText(r, &SyncTableCounts::received).empty() &&
        countsText(r, &SyncTableCounts::updatedThere).empty() &&
        countsText(r, &SyncTableCounts::updatedHere).empty())
        out << "Nothing to sync: both databases hold the same records\n";
}

} // namespace

int runSync(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"to", "site"}, {"resend"});
    o.parse("sync", args);
    if (!o.positional().empty()) throw UsageError("sync takes no file but --to");
    const std::string to = o.required("to");
    DatabaseLocation shared;
    std::string error;
    if (!DatabaseLocation::parse(to, shared, error)) throw UsageError("--to: " + error);
    if (o.has("db")) {
        DatabaseLocation local;
        if (DatabaseLocation::parse(o.value("db"), local, error) &&
            local.kind != DatabaseLocation::Kind::SqliteFile)
            throw UsageError("sync works from a database file (--db FILE), the laptop's");
    }
    SyncOptions options;
    options.siteNames = o.values("site");
    options.resend = o.has("resend");

    auto local = openDatabase(o, env, false);
    OpenOptions sharedOptions;
    sharedOptions.passwordPrompt = env.passwordPrompt;
    RecordsDatabase there(shared, sharedOptions);
    const OpenReport opened = there.open();
    for (const std::string& note : opened.notes)
        env.err << "qarn3-records: " << escapeControls(note) << "\n";
    if (!opened.ok)
        throw FieldRefused(escapeControls(opened.error.message) +
                           ". Nothing was synced; the records here are as they were.");

    ProgressLine progress(env.err, env.errIsTerminal);
    SyncHooks hooks;
    hooks.progress = [&](const SyncProgress& p) {
        progress.show(escapeControls(progressText(p)), p.done >= p.total);
    };
    const SyncReport r = syncDatabases(*local, there, options, hooks);
    progress.clear();
    writeReport(r, env.out);
    env.out.flush();
    if (!r.ok)
        throw FieldRefused(escapeControls(r.error.message) +
                           (r.cancelled ? ""
                                        : ". What was moved before is kept on both sides; the "
                                          "next sync carries on."));
    return 0;
}

int runSchema(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({});
    o.parse("schema", args);
    if (!o.positional().empty()) throw UsageError("schema takes no argument");
    auto db = openDatabase(o, env, false);
    RecordsError e;
    const int version = db->schemaVersion(e);
    if (e) throw FieldRefused(escapeControls(e.message));
    env.out << "Schema version " << version << (db->readOnly() ? " (read-only)" : "") << "\n";
    // A read-only file of an older schema was not brought up to date.
    if (version < newestSchemaVersion())
        throw FieldRefused(escapeControls("The records database " + db->location().display() +
                                          " was not brought to schema version " +
                                          std::to_string(newestSchemaVersion())));
    return 0;
}

} // namespace qarn3::recordstool
