// qarn3-records: imports waveform files as test records, exports the records, and writes a
// stored shot's waveform back to a file.
#include "platform/files.h"
#include "platform/textformat.h"
#include "records/tool.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The database drivers are Qt plugins, found through the application.
    QCoreApplication app(argc, argv);
    qarn3::RecordsToolEnvironment env{std::cout, std::cerr, {}};
    // The folders as the program finds them, from the same variables.
    const auto variable = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    const qarn3::ProgramFolders folders =
        qarn3::platformFolders(QCoreApplication::applicationDirPath().toStdString(),
                               {variable("QARN3_PROG_DIR"), variable("QARN3_DATA_DIR"),
                                variable("XDG_DATA_HOME"), variable("HOME")});
    env.dataFolder = folders.dataFolder;
    env.dataFolderUse = folders.dataFolderUse;
    env.decimalSeparator = qarn3::decimalSeparatorOf(qarn3::environmentDecimalPoint());
    env.cores = std::max(1u, std::thread::hardware_concurrency());
    return qarn3::runRecordsTool(args, env);
}
