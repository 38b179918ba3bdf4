#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qarn3 {

// Where the analysis tool writes and what it knows of its surroundings.
struct ToolEnvironment {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;  // a progress line is shown only on a terminal
    char decimalSeparator = '.'; // of the setup file
    unsigned cores = 1;          // workers when --jobs is not given
};

// The usage text --help prints.
extern const char* const kAnalyzeUsage;

// qarn3-analyze with its arguments (without the program name); returns the exit status:
// 0 done, 1 a file, folder or setting could not be read or the output not written, 2 a
// usage error (the usage follows the message).
int runAnalyzeTool(const std::vector<std::string>& args, ToolEnvironment& env);

} // namespace qarn3
