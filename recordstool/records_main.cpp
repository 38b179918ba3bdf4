// qarn3-records: imports waveform files as test records, exports the records, writes a
// stored shot's waveform back to a file, keeps the curve library and writes reports.
#include "platform/files.h"
#include "platform/process.h"
#include "platform/textformat.h"
#include "recordstool/terminal_prompt.h"
#include "recordstool/tool.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QtMessageHandler g_qtMessages = nullptr;

// The server's driver warns when it cannot free a prepared statement in a transaction that a
// failed statement aborted. The command rolls the transaction back at once and tells the
// failure itself; the warning, printed before it, would only muddle the message.
void qtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith("Unable to free statement")) return;
    if (g_qtMessages) g_qtMessages(type, context, text);
}

} // namespace

int main(int argc, char** argv) {
    g_qtMessages = qInstallMessageHandler(qtMessage);
    qarn3::writeStandardStreamsAsBytes();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The database drivers are Qt plugins, found through the application; the report's fonts
    // come through a Gui application. It draws only into a file, so it needs no display: the
    // offscreen platform finds the fonts through fontconfig as a desktop's does.
    std::unique_ptr<QCoreApplication> app;
    if (qarn3::recordsCommandOf(args) == "report") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    qarn3::RecordsToolEnvironment env{std::cout, std::cerr, {}};
    // The folders as the program finds them, from the same variables.
    const auto variable = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    const qarn3::ProgramFolders folders =
        qarn3::platformFolders(QCoreApplication::applicationDirPath().toStdString(),
                               qarn3::folderEnvironment(variable));
    env.dataFolder = folders.dataFolder;
    env.dataFolderUse = folders.dataFolderUse;
    env.decimalSeparator = qarn3::decimalSeparatorOf(qarn3::environmentDecimalPoint());
    env.cores = std::max(1u, std::thread::hardware_concurrency());
    env.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    qarn3::TerminalPasswordPrompt prompt;
    if (qarn3::TerminalPasswordPrompt::available()) env.passwordPrompt = &prompt;
    return qarn3::runRecordsTool(args, env);
}
