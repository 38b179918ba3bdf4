#include "app/startfacts.h"
#include "platform/fspath.h"

#include "diag/diaglog.h"
#include "diag/versioninfo.h"

#include <QLocale>

#include <filesystem>

namespace qarn3 {

namespace {

// A command line as a shell would take it back: arguments with blanks or quotes are quoted.
std::string commandLine(const QStringList& arguments) {
    std::string line;
    for (const QString& a : arguments) {
        std::string arg = a.toStdString();
        if (arg.empty() || arg.find_first_of(" \t\"'") != std::string::npos) {
            std::string quoted = "\"";
            for (const char c : arg)
                quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
            arg = quoted + "\"";
        }
        line += (line.empty() ? "" : " ") + arg;
    }
    return line;
}

} // namespace

SystemReportFacts startFacts(const QStringList& arguments, const std::string& modulePath,
                             const std::string& progFolder, const std::string& version,
                             char decimalSeparator, const std::string& viewerVersion,
                             const std::string& root) {
    namespace fs = std::filesystem;
    SystemReportFacts f;
    f.appTitle = "QARN3 Breaker Tester Analyzer";
    f.ModulePath = modulePath;
    const fs::path module = fsPath(modulePath);
    f.ModuleDir = withoutTrailingSlash(utf8Of(module.parent_path()));
    f.ModuleName = utf8Of(module.filename());
    f.exePath = arguments.isEmpty() ? modulePath : arguments.front().toStdString();
    for (qsizetype i = 1; i < arguments.size(); ++i)
        f.args.push_back(arguments[i].toStdString());
    f.rawCommandLine = commandLine(arguments);
    // A program found through PATH has no folder on its command line: it ran from its own.
    const std::string exeFolder = utf8Of(fsPath(f.exePath).parent_path());
    f.RunDir = exeFolder.empty() ? f.ModuleDir : withoutTrailingSlash(exeFolder);
    const ModuleFacts self{modulePath, fourPartVersion(version)};
    const std::string exeFile =
        exeFolder.empty() ? modulePath : f.exePath; // a bare name means the module itself
    f.exeVersion = FileVersionText(exeFile, self);
    f.moduleVersion = FileVersionText(modulePath, self);
    f.ProgFolder = withoutTrailingSlash(progFolder);
    f.DebugEnabled = debugModeOn(f.ProgFolder, f.args);
    f.os = readOsFacts(root);
    f.locale = localeFacts(QLocale::system());
    f.decimalSeparator = decimalSeparator;
    f.ViewerVerStr = viewerVersion.empty() ? std::string() : fourPartVersion(viewerVersion);
    f.BrowserVerStr = BrowserVerStr(""); // no such browser component on this platform
    return f;
}

} // namespace qarn3
