#include "engine/analyze_tool.h"

#include "calsetup/sitesettings.h"
#include "engine/analysis.h"
#include "engine/analysis_output.h"
#include "engine/bulk.h"
#include "platform/commandline.h"
#include "platform/files.h"
#include "platform/localtime.h"
#include "platform/progressline.h"
#include "platform/textformat.h"
#include "waveform/comtrade.h"
#include "waveform/waveform.h"

#include <cmath>
#include <ctime>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <sys/stat.h>

namespace qarn3 {

const char* const kAnalyzeUsage =
    "Usage: qarn3-analyze [options] FILE|FOLDER...\n"
    "       qarn3-analyze --export-csv FILE.owf [-o OUT.csv]\n"
    "       qarn3-analyze --export-comtrade FILE.owf [-o BASE] [--comtrade-format TYPE]\n"
    "Plays waveform files through the measurement engine, as demonstration mode does after\n"
    "RUN, and reports every pulse (start, pulse current, seconds, cycles, under-range, cut\n"
    "short by the MaxOn limit) and how the test ended. After a file's samples the idle feed\n"
    "follows until a time limit ends the test or nothing can end it any more. A folder stands\n"
    "for its waveform files and COMTRADE recordings (*.owf, *.cfg, *.cff, the extension in\n"
    "any case) and those of its subfolders, sorted by name; hidden entries and links to\n"
    "folders inside it are skipped. The files are analysed on all cores; the results come in\n"
    "the order given.\n"
    "A COMTRADE recording (NAME.cfg with NAME.dat, or NAME.cff; revision 1991, 1999 or 2013)\n"
    "is measured as if the analyzer had recorded its current on the range: each sample in\n"
    "amperes divided by the range's amperes per count, rounded, clipped at +-2047 (a note\n"
    "says how many were); its sampling rate must be 500 to 5000 per second.\n"
    "\n"
    "Options, the same for every file:\n"
    "  --range N         measuring range 1..8 (default 4)\n"
    "  --shunt-amps A    shunt rating, amperes (default 1000)\n"
    "  --shunt-mv MV     shunt rating, millivolts (default 100)\n"
    "  --max-on S        maximum on time, seconds; 0 disables (default 5)\n"
    "  --max-off S       maximum off time, seconds; 0 disables (default 5)\n"
    "  --mode MODE       test mode: pulse (0) or long (1) (default: the file's wave type,\n"
    "                    else the setup's mode)\n"
    "  --setup FILE      take range, times, mode and shunt from a setup file (QARN3.osf)\n"
    "  --cal FILE        take thresholds, delays and factors from a calibration file\n"
    "  --cycles          add each pulse's cycle table: one row per mains cycle (cut where\n"
    "                    the current rises through zero) with its start, RMS, positive and\n"
    "                    negative peak and share of I2t, and the pulse's RMS, peak, I2t and\n"
    "                    first peak / (sqrt 2 x RMS), as the waveform view shows them\n"
    "  --mains HZ        mains frequency of the cycle tables, 50 or 60 (default: that of the\n"
    "                    site file QARN3Site.ini beside the --setup file, else 60); the\n"
    "                    cycles reading of each pulse stays in 60 Hz cycles\n"
    "  --channel NAME    the COMTRADE channel to measure (default: the only analog one, else\n"
    "                    the only one in amperes)\n"
    "Options given after --setup override its values.\n"
    "\n"
    "Output:\n"
    "  --format FORMAT   text (the default), json (one array with an object per file),\n"
    "                    jsonl (one object per file, one a line) or csv (one record a pulse)\n"
    "  --json            the same as --format jsonl: for one file, the one object it gives\n"
    "  -o, --output FILE write the output to FILE instead of standard output\n"
    "  -j, --jobs N      analyse on N threads (default: one per core)\n"
    "  --export-csv FILE.owf\n"
    "                    write the samples the program plays from FILE.owf as CSV instead:\n"
    "                    comment lines (\"# ...\") with its serial/ID, wave type, sample rate and\n"
    "                    amperes per count, then \"time_s,current_a\" and a record a sample\n"
    "  --export-comtrade FILE.owf\n"
    "                    analyse FILE.owf (with --range, --setup, --cal...) and write it as\n"
    "                    COMTRADE instead: BASE.cfg and BASE.dat, BASE given by -o, else the\n"
    "                    file's name without .owf beside it; a is the amperes per count\n"
    "                    measured with, the digital channel ON the pulses found, the first\n"
    "                    sample's time the file's modification time\n"
    "  --comtrade-format ascii|binary|binary32|float32\n"
    "                    the data file's type (default binary)\n"
    "  --make-demo DIR   write the built-in demonstration waveforms QARN3Pulse.owf and\n"
    "                    QARN3Long.owf into DIR (those missing), then analyse as asked\n"
    "  --help            show this text\n"
    "\n"
    "CSV columns: file, pulse, start_s, current_a, suspect, seconds, cycles, on_samples,\n"
    "under_range, cut_short, ending, end_s, error. Readings have the decimals the window shows\n"
    "them with, flags are 1 or 0, numbers use '.' whatever the locale; a field holding a\n"
    "comma, a quote or a line break is quoted, its quotes doubled; records end with CR LF. A\n"
    "file without a pulse gives one record with the pulse fields empty.\n"
    "--cycles adds the columns cycle, cycle_start_s, cycle_rms_a, cycle_peak_pos_a,\n"
    "cycle_peak_neg_a, cycle_i2t_a2s, cycle_i2t_pct, cycle_partial, span_rms_a, span_peak_a,\n"
    "span_i2t_a2s, first_peak_ratio and mains_hz, and gives one record per cycle, the pulse's\n"
    "fields repeated; json and jsonl get a \"cycleTable\" object in each pulse, text a table\n"
    "under each pulse's line. Cycle start times are the file's, like start_s.\n"
    "A file that cannot be read is named on standard error with the reason, the others are\n"
    "still analysed and the exit status is 1. It gives nothing in text, {\"file\", \"error\"} in\n"
    "json and jsonl, and a record with only the file and the error in csv.\n"
    "Exit status: 0 done, 1 a file, folder or setting could not be read or the output not\n"
    "written, 2 a usage error.\n";

namespace {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the command line asks for.
struct Command {
    AnalysisOptions options;
    OutputFormat format = OutputFormat::Text;
    std::vector<std::string> inputs;
    std::vector<std::string> makeDemo;
    std::optional<std::string> exportFile;
    std::optional<std::string> comtradeFile;
    std::optional<ComtradeDataType> comtradeType;
    std::optional<std::string> outputFile;
    std::optional<unsigned> jobs;
    std::vector<std::string> analysisOptions; // given, to refuse them with --export-csv
    bool help = false;
};

OutputFormat formatNamed(const std::string& name) {
    if (name == "text") return OutputFormat::Text;
    if (name == "json") return OutputFormat::Json;
    if (name == "jsonl") return OutputFormat::JsonLines;
    if (name == "csv") return OutputFormat::Csv;
    throw UsageError("unknown format " + name + " (text, json, jsonl or csv)");
}

// Every option the tool takes (see kAnalyzeUsage).
const std::vector<OptionSpec>& toolOptions() {
    static const std::vector<OptionSpec> options{{{"h", "help"}, false},
                                                 {{"json"}, false},
                                                 {{"format"}, true},
                                                 {{"o", "output"}, true},
                                                 {{"j", "jobs"}, true},
                                                 {{"export-csv"}, true},
                                                 {{"make-demo"}, true},
                                                 {{"range"}, true},
                                                 {{"shunt-amps"}, true},
                                                 {{"shunt-mv"}, true},
                                                 {{"max-on"}, true},
                                                 {{"max-off"}, true},
                                                 {{"setup"}, true},
                                                 {{"cal"}, true},
                                                 {{"cycles"}, false},
                                                 {{"mains"}, true},
                                                 {{"mode"}, true},
                                                 {{"channel"}, true},
                                                 {{"export-comtrade"}, true},
                                                 {{"comtrade-format"}, true}};
    return options;
}

Command parseCommand(const std::vector<std::string>& args) {
    const CommandLine line = parseCommandLine(args, toolOptions());
    Command c;
    c.inputs = line.arguments;
    AnalysisOptions& o = c.options;
    for (const GivenOption& given : line.options) {
        const std::string& arg = given.spelling;
        const std::string value = given.value.value_or("");
        try {
            if (arg == "--help" || arg == "-h") {
                c.help = true;
            } else if (arg == "--json") {
                c.format = OutputFormat::JsonLines;
            } else if (arg == "--format") {
                c.format = formatNamed(value);
            } else if (arg == "-o" || arg == "--output") {
                c.outputFile = value;
            } else if (arg == "-j" || arg == "--jobs") {
                const std::int32_t n = parseInteger(value);
                if (n < 1 || n > 256) throw UsageError(arg + " takes 1 to 256");
                c.jobs = static_cast<unsigned>(n);
            } else if (arg == "--export-csv") {
                if (c.exportFile) throw UsageError("--export-csv takes one file");
                c.exportFile = value;
            } else if (arg == "--export-comtrade") {
                if (c.comtradeFile) throw UsageError("--export-comtrade takes one file");
                c.comtradeFile = value;
            } else if (arg == "--comtrade-format") {
                c.comtradeType = comtradeDataTypeNamed(value);
                if (!c.comtradeType)
                    throw UsageError("unknown COMTRADE data type " + value +
                                     " (ascii, binary, binary32 or float32)");
            } else if (arg == "--channel") {
                o.channel = value;
            } else if (arg == "--make-demo") {
                c.makeDemo.push_back(value);
            } else if (arg == "--range") {
                o.rangeIndex = parseInteger(value);
            } else if (arg == "--shunt-amps") {
                o.shuntAmperes = parseReal(value);
            } else if (arg == "--shunt-mv") {
                o.shuntMillivolts = parseReal(value);
            } else if (arg == "--max-on") {
                o.maxOnTime = parseReal(value);
            } else if (arg == "--max-off") {
                o.maxOffTime = parseReal(value);
            } else if (arg == "--setup") {
                o.setupFile = value;
            } else if (arg == "--cal") {
                o.calFile = value;
            } else if (arg == "--cycles") {
                o.cycles = true;
            } else if (arg == "--mains") {
                o.mainsHz = parseInteger(value);
            } else if (arg == "--mode") {
                o.testMode = value == "pulse" ? 0 : value == "long" ? 1 : parseInteger(value);
            } else {
                throw UsageError("unknown option " + arg);
            }
        } catch (const ConvertError& e) {
            throw UsageError(arg + ": " + e.what());
        }
        if (arg != "--help" && arg != "-h" && arg != "-o" && arg != "--output" &&
            arg != "--export-csv" && arg != "--export-comtrade" && arg != "--comtrade-format")
            c.analysisOptions.push_back(arg);
    }
    if (!line.error.empty()) throw UsageError(line.error);
    return c;
}

// Standard output as the results come, or the whole output into a file at the end.
class Output {
public:
    Output(std::ostream& out, std::optional<std::string> file) : m_out(out), m_file(file) {}
    void write(const std::string& s) {
        if (m_file)
            m_buffer += s;
        else
            m_out << s;
    }
    // Hands what was written to standard output on at once.
    void flush() {
        if (!m_file) m_out.flush();
    }
    // Returns an error message, empty when everything was written.
    std::string finish() {
        if (m_file) {
            FileStore files;
            std::string error;
            if (!files.replaceContents(*m_file, m_buffer, error))
                return "Cannot write " + *m_file + ": " + error;
            return {};
        }
        m_out.flush();
        return m_out ? std::string() : "Cannot write the output";
    }

private:
    std::ostream& m_out;
    std::optional<std::string> m_file;
    std::string m_buffer;
};

// More files than this show a progress line.
constexpr std::size_t kProgressFrom = 5;

long long fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

int exportWaveform(const Command& c, ToolEnvironment& env) {
    const std::string& path = *c.exportFile;
    auto wave = std::make_unique<TWaveformData>();
    const std::string error = readWaveformFile(path, *wave);
    if (!error.empty()) {
        env.err << "qarn3-analyze: " << escapeControls(error) << "\n";
        return 1;
    }
    Output out(env.out, c.outputFile);
    out.write(waveformCsv(path, *wave, fileSize(path)));
    if (const std::string e = out.finish(); !e.empty()) {
        env.err << "qarn3-analyze: " << escapeControls(e) << "\n";
        return 1;
    }
    return 0;
}

// The mains frequency the analysis uses: the option, else the site file beside the setup
// file, else 60 Hz.
int exportMainsHz(const AnalysisOptions& o) {
    if (o.mainsHz) return *o.mainsHz;
    if (o.setupFile.empty()) return 60;
    FileStore files;
    const auto text = files.readPrefix(siteFileBeside(o.setupFile), kSiteReadLimit);
    TSiteSettings site;
    if (text) parseSiteText(*text, site);
    return site.MainsHz;
}

// The base of the files written: -o's, else the waveform file's name without .owf.
std::string exportBase(const Command& c) {
    if (c.outputFile) return comtradeBase(*c.outputFile);
    const std::string& path = *c.comtradeFile;
    if (path.size() > 4 && equalsIgnoringCase(path.substr(path.size() - 4), ".owf"))
        return path.substr(0, path.size() - 4);
    return path;
}

int exportComtrade(const Command& c, ToolEnvironment& env) {
    const std::string& path = *c.comtradeFile;
    AnalysisOptions o = c.options;
    o.waveFile = path;
    auto fail = [&env](const std::string& e) {
        env.err << "qarn3-analyze: " << escapeControls(e) << "\n";
        return 1;
    };
    if (isComtradeName(path)) return fail(path + " is a COMTRADE recording already");
    const AnalysisResult r = analyzeWaveform(o);
    if (!r.ok) return fail(r.error);
    FileStore files;
    const auto bytes = files.readPrefix(path, kWaveFileBytes);
    if (!bytes) return fail("Cannot read " + path);
    std::string error;
    std::optional<ComtradeExport> e = comtradeExportOfWaveFile(*bytes, error);
    if (!e) return fail(path + ": " + error);
    e->ampsPerCount = r.ampsPerCount;
    e->sampleRate = r.sampleRate;
    e->lineHz = exportMainsHz(o);
    e->withOn = true;
    for (const AnalysisPulse& p : r.pulses)
        e->onSpans.emplace_back(
            static_cast<std::size_t>(std::llround(p.result.startSeconds * r.sampleRate)),
            p.result.onSamples);
    if (const std::optional<std::int64_t> modified = modifiedMicros(path)) {
        e->firstSampleUs = *modified;
        e->localOffsetMinutes =
            localOffsetMinutesAt(static_cast<std::time_t>(*modified / 1000000));
    }
    e->triggerUs = e->firstSampleUs;
    if (!r.pulses.empty()) e->triggerUs += std::llround(r.pulses.front().result.startSeconds * 1e6);
    e->type = c.comtradeType.value_or(ComtradeDataType::Binary);
    if (const std::string w = writeComtradeFiles(exportBase(c), *e, files); !w.empty())
        return fail(w);
    return 0;
}

int analyzeFiles(const Command& c, ToolEnvironment& env) {
    std::vector<std::string> notes;
    const std::vector<InputFile> inputs = expandInputs(c.inputs, notes);
    for (const std::string& note : notes)
        env.err << "qarn3-analyze: " << escapeControls(note) << "\n";

    AnalysisSettings settings;
    if (const std::string e = prepareSettings(c.options, settings); !e.empty()) {
        env.err << "qarn3-analyze: " << escapeControls(e) << "\n";
        return 1;
    }

    Output out(env.out, c.outputFile);
    const bool showProgress = env.errIsTerminal && inputs.size() >= kProgressFrom;
    ProgressLine progress(env.err, showProgress);
    // Standard output may go to the same terminal as the progress line: the line is taken
    // away before results are written there, and they are out before it is drawn again.
    const bool sharesScreen = showProgress && !c.outputFile;
    auto write = [&](const std::string& s) {
        if (sharesScreen) progress.clear();
        out.write(s);
        if (sharesScreen) out.flush();
    };
    // Headings name the files when there may be more than one.
    const bool headings =
        c.inputs.size() != 1 || inputs.size() != 1 || inputs[0].path != c.inputs[0];
    bool failed = false;
    std::size_t written = 0;
    if (c.format == OutputFormat::Csv) write(csvHeader(c.options.cycles));
    // The array's text up to the last object is held back until the next object or the end
    // says what follows it, so that every write ends a line.
    std::string jsonHeld = "[";
    auto emit = [&](const AnalysisResult& r) {
        if (!r.ok) {
            failed = true;
            progress.clear();
            env.err << "qarn3-analyze: " << escapeControls(r.error) << "\n" << std::flush;
        }
        switch (c.format) {
        case OutputFormat::Text:
            if (r.ok) {
                std::string block(written++ ? 1 : 0, '\n');
                write(block += textBlock(r, headings));
            }
            break;
        case OutputFormat::Json: {
            write(jsonHeld + (written++ ? ",\n" : "\n"));
            jsonHeld = jsonLine(r);
            jsonHeld.pop_back(); // the line break
            break;
        }
        case OutputFormat::JsonLines:
            write(jsonLine(r));
            break;
        case OutputFormat::Csv:
            write(csvRecords(r, c.options.cycles));
            break;
        }
    };
    const unsigned workers = c.jobs.value_or(env.cores);
    analyzeAll(inputs, c.options, settings, workers, emit,
               [&](std::size_t done, std::size_t total) {
                   progress.show("qarn3-analyze: " + std::to_string(done) + " of " +
                                     std::to_string(total) + " files",
                                 done >= total);
               });
    progress.clear();
    if (c.format == OutputFormat::Json) write(jsonHeld + (written ? "\n]\n" : "]\n"));
    if (const std::string e = out.finish(); !e.empty()) {
        env.err << "qarn3-analyze: " << escapeControls(e) << "\n";
        return 1;
    }
    return failed ? 1 : 0;
}

} // namespace

int runAnalyzeTool(const std::vector<std::string>& args, ToolEnvironment& env) {
    Command c;
    try {
        c = parseCommand(args);
        if (c.help) {
            env.out << kAnalyzeUsage;
            return 0;
        }
        if (c.exportFile && !c.inputs.empty())
            throw UsageError("--export-csv takes one file and no other");
        if (c.exportFile && !c.analysisOptions.empty())
            throw UsageError("--export-csv takes no option but -o (" + c.analysisOptions[0] +
                             " given)");
        if (c.comtradeFile && (c.exportFile || !c.inputs.empty()))
            throw UsageError("--export-comtrade takes one file and no other");
        if (c.comtradeType && !c.comtradeFile)
            throw UsageError("--comtrade-format goes with --export-comtrade");
        if (c.comtradeFile)
            for (const std::string& given : c.analysisOptions)
                if (given == "--format" || given == "--json" || given == "--cycles" ||
                    given == "-j" || given == "--jobs")
                    throw UsageError("--export-comtrade takes no " + given);
        if (!c.exportFile && !c.comtradeFile && c.inputs.empty() && c.makeDemo.empty())
            throw UsageError("no waveform file given");
    } catch (const UsageError& e) {
        env.err << "qarn3-analyze: " << escapeControls(e.what()) << "\n" << kAnalyzeUsage;
        return 2;
    }
    c.options.decimalSeparator = env.decimalSeparator;
    for (const std::string& folder : c.makeDemo) {
        if (const std::string e = makeDemoFiles(folder); !e.empty()) {
            env.err << "qarn3-analyze: " << escapeControls(e) << "\n";
            return 1;
        }
    }
    if (c.exportFile) return exportWaveform(c, env);
    if (c.comtradeFile) return exportComtrade(c, env);
    if (c.inputs.empty()) return 0; // only --make-demo
    return analyzeFiles(c, env);
}

} // namespace qarn3
