#pragma once

#include "platform/owners.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace qarn3 {

class DatabasePasswordPrompt;

// Where qarn3-records writes and what it knows of its surroundings.
struct RecordsToolEnvironment {
    std::ostream& out;
    std::ostream& err;
    std::string dataFolder;                   // QARN3.db lives here unless --db names another
    FolderUse dataFolderUse = FolderUse::Own; // how the data folder is checked before use
    char decimalSeparator = '.';              // of a setup file
    unsigned cores = 1;                       // analysis workers when --jobs is not given
    bool errIsTerminal = false;               // a progress line is shown only on a terminal
    // Asks for a server's password the client library did not find; none: nobody is asked.
    DatabasePasswordPrompt* passwordPrompt = nullptr;
};

// The usage text --help prints.
extern const char* const kRecordsUsage;

// The command the arguments name (after the options before it), empty when none: main()
// makes a Gui application (fonts) only for the report.
std::string recordsCommandOf(const std::vector<std::string>& args);

// qarn3-records with its arguments (without the program name); returns the exit status:
// 0 done, 1 a record, file or the database could not be read or written (named in the
// message), 2 a usage error (the usage follows the message).
int runRecordsTool(const std::vector<std::string>& args, RecordsToolEnvironment& env);

} // namespace qarn3
