// qarn3-records waveform: a stored shot's waveform file as it was stored, or as COMTRADE.
#include "calsetup/setup.h"
#include "calsetup/sitesettings.h"
#include "platform/files.h"
#include "recordstool/tool_commandline.h"
#include "store/comtradeshot.h"
#include "store/store.h"

namespace qarn3::recordstool {

namespace {

// The program's mains frequency, from the site file beside its setup file in the data
// folder; 60 Hz when there is none or it cannot be read.
int programMainsHz(const RecordsToolEnvironment& env) {
    if (env.dataFolder.empty()) return 60;
    const std::string path = siteFileBeside(resolveInFolder(env.dataFolder, kSetupFileName));
    FileStore files;
    if (!files.exists(path)) return 60;
    const auto text = files.readPrefix(path, kSiteReadLimit);
    TSiteSettings site;
    if (text) parseSiteText(*text, site);
    return site.MainsHz;
}

ShotRow shotNamed(RecordsStore& store, const std::string& id) {
    ShotFilter f;
    f.shotId = id;
    std::optional<ShotRow> found;
    if (RecordsError e = store.forEachShot(f, ShotOrder::OldestFirst, [&](const ShotRow& row) {
            found = row;
            return false;
        }))
        throw FieldRefused(e.message);
    if (!found) throw FieldRefused("No shot " + id);
    return *found;
}

} // namespace

int runWaveform(const std::vector<std::string>& args, RecordsToolEnvironment& env) {
    Options o({"output", "format", "comtrade-format"});
    o.parse("waveform", args);
    const std::vector<std::string> ids = o.positional();
    if (ids.size() != 1) throw UsageError("waveform takes one shot id");
    const std::string format = o.has("format") ? o.value("format") : "owf";
    if (format != "owf" && format != "comtrade") throw UsageError("--format takes owf or comtrade");
    ComtradeShotOptions options;
    if (o.has("comtrade-format")) {
        if (format != "comtrade") throw UsageError("--comtrade-format goes with --format comtrade");
        const auto type = comtradeDataTypeNamed(o.value("comtrade-format"));
        if (!type) throw UsageError("--comtrade-format takes ascii, binary, binary32 or float32");
        options.type = *type;
    }
    const std::string file = o.required("output");
    auto db = openDatabase(o, env, true);
    RecordsStore store(*db);
    FileStore files;
    if (format == "comtrade") {
        options.lineHz = programMainsHz(env);
        const std::string error =
            writeShotComtrade(store, shotNamed(store, ids[0]), file, options, files);
        if (!error.empty()) throw FieldRefused(error);
        return 0;
    }
    RecordsError e;
    const auto bytes = store.waveformOf(ids[0], e);
    if (!bytes) throw FieldRefused(e.message);
    std::string error;
    if (!files.replaceContents(file, bytes->toStdString(), error))
        throw FieldRefused("Cannot write " + file + ": " + error);
    return 0;
}

} // namespace qarn3::recordstool
