// qarn3-analyze: plays a waveform file through the measurement engine, as the program's
// demonstration mode does after RUN, and prints every pulse and how the test ended.
#include "engine/analysis.h"
#include "platform/textformat.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

const char* kUsage =
    "Usage: qarn3-analyze [options] WAVEFORM.owf\n"
    "Plays a waveform file through the measurement engine, as demonstration mode does after\n"
    "RUN, and prints one line per pulse (start, pulse current, seconds, cycles, under-range,\n"
    "cut short by the MaxOn limit) and how the test ended. After the file the idle feed\n"
    "follows until a time limit ends the test or nothing can end it any more.\n"
    "\n"
    "Options:\n"
    "  --range N         measuring range 1..8 (default 4)\n"
    "  --shunt-amps A    shunt rating, amperes (default 1000)\n"
    "  --shunt-mv MV     shunt rating, millivolts (default 100)\n"
    "  --max-on S        maximum on time, seconds; 0 disables (default 5)\n"
    "  --max-off S       maximum off time, seconds; 0 disables (default 5)\n"
    "  --mode MODE       test mode: pulse (0) or long (1) (default: the file's wave type,\n"
    "                    else the setup's mode)\n"
    "  --setup FILE      take range, times, mode and shunt from a setup file (QARN3.osf)\n"
    "  --cal FILE        take thresholds, delays and factors from a calibration file\n"
    "  --json            print the result as JSON\n"
    "  --make-demo DIR   write the built-in demonstration waveforms QARN3Pulse.owf and\n"
    "                    QARN3Long.owf into DIR (those missing), then analyse as asked\n"
    "  --help            show this text\n"
    "Options given after --setup override its values.\n";

int usageError(const std::string& message) {
    std::cerr << "qarn3-analyze: " << message << "\n" << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    qarn3::AnalysisOptions o;
    o.decimalSeparator = qarn3::decimalSeparatorOf(qarn3::environmentDecimalPoint());
    bool json = false;
    bool madeDemo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)name;
            return argv[++i];
        };
        try {
            if (arg == "--help" || arg == "-h") {
                std::cout << kUsage;
                return 0;
            } else if (arg == "--json") {
                json = true;
            } else if (arg == "--make-demo") {
                const char* v = value(arg.c_str());
                if (!v) return usageError(arg + " needs a folder");
                const std::string error = qarn3::makeDemoFiles(v);
                if (!error.empty()) {
                    std::cerr << "qarn3-analyze: " << error << "\n";
                    return 1;
                }
                madeDemo = true;
            } else if (arg == "--range" || arg == "--shunt-amps" || arg == "--shunt-mv" ||
                       arg == "--max-on" || arg == "--max-off" || arg == "--mode" ||
                       arg == "--setup" || arg == "--cal") {
                const char* v = value(arg.c_str());
                if (!v) return usageError(arg + " needs a value");
                if (arg == "--range")
                    o.rangeIndex = qarn3::parseInteger(v);
                else if (arg == "--shunt-amps")
                    o.shuntAmperes = qarn3::parseReal(v);
                else if (arg == "--shunt-mv")
                    o.shuntMillivolts = qarn3::parseReal(v);
                else if (arg == "--max-on")
                    o.maxOnTime = qarn3::parseReal(v);
                else if (arg == "--max-off")
                    o.maxOffTime = qarn3::parseReal(v);
                else if (arg == "--setup")
                    o.setupFile = v;
                else if (arg == "--cal")
                    o.calFile = v;
                else if (std::strcmp(v, "pulse") == 0)
                    o.testMode = 0;
                else if (std::strcmp(v, "long") == 0)
                    o.testMode = 1;
                else
                    o.testMode = qarn3::parseInteger(v);
            } else if (!arg.empty() && arg[0] == '-') {
                return usageError("unknown option " + arg);
            } else if (o.waveFile.empty()) {
                o.waveFile = arg;
            } else {
                return usageError("only one waveform file can be analysed");
            }
        } catch (const qarn3::ConvertError& e) {
            return usageError(arg + ": " + e.what());
        }
    }
    if (o.waveFile.empty()) {
        if (madeDemo) return 0;
        return usageError("no waveform file given");
    }

    const qarn3::AnalysisResult r = qarn3::analyzeWaveform(o);
    if (!r.ok) {
        std::cerr << "qarn3-analyze: " << r.error << "\n";
        return 1;
    }
    std::cout << (json ? qarn3::formatAnalysisJson(r) : qarn3::formatAnalysisText(r));
    return 0;
}
