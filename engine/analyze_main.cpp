// qarn3-analyze: plays waveform files through the measurement engine, as the program's
// demonstration mode does after RUN, and reports every pulse and how each test ended.
#include "engine/analyze_tool.h"
#include "platform/process.h"
#include "platform/textformat.h"

#include <algorithm>
#include <iostream>
#include <cstdio>
#include <malloc.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    // The records and file buffers of one file are freed before the next is read: keep the
    // freed memory for it instead of handing it back to the system and faulting it in again.
#ifdef __GLIBC__
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
#endif
    qarn3::writeStandardStreamsAsBytes();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    qarn3::ToolEnvironment env{std::cout, std::cerr};
    env.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    env.decimalSeparator = qarn3::decimalSeparatorOf(qarn3::environmentDecimalPoint());
    env.cores = std::max(1u, std::thread::hardware_concurrency());
    return qarn3::runAnalyzeTool(args, env);
}
