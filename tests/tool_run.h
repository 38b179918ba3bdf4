#pragma once

#include "recordstool/tool.h"

#include <sstream>
#include <string>
#include <vector>

namespace qarn3::test {

// What a run of qarn3-records gave: its exit status and what it wrote.
struct ToolRun {
    int status = 0;
    std::string out, err;
};

// qarn3-records run in-process with the data folder given.
inline ToolRun runRecords(const std::vector<std::string>& args, const std::string& dataFolder,
                          DatabasePasswordPrompt* prompt = nullptr, unsigned cores = 2) {
    std::ostringstream out, err;
    RecordsToolEnvironment env{out, err, dataFolder};
    env.passwordPrompt = prompt;
    env.cores = cores;
    ToolRun r;
    r.status = runRecordsTool(args, env);
    r.out = out.str();
    r.err = err.str();
    return r;
}

} // namespace qarn3::test
