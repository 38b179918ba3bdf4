// qarn3-analyzer-sim: the analyzer on a pseudo-terminal. It prints the terminal's path, which
// the program takes as its serial port, and answers as the instrument does, streaming a
// waveform file's samples at 2400 per second in real time; switches make it misbehave.
#include "diag/debuglog.h"
#include "diag/services.h"
#include "link/ptyanalyzer.h"
#include "platform/commandline.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"
#include "platform/textformat.h"
#include "waveform/waveform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

const char* kUsage =
    "Usage: qarn3-analyzer-sim [options]\n"
    "Opens a pseudo-terminal, prints its path and behaves as the QARN-3 analyzer on it: echo,\n"
    "calibration image in and out, discovery reply, reset, range codes and, after the start\n"
    "command, a waveform's samples at 2400 per second. Name the printed path as the source in\n"
    "the program's Setup (or in QARN3.osf). Ends on Ctrl+C.\n"
    "\n"
    "Options:\n"
    "  --wave FILE        waveform file to stream (default: the built-in pulse waveform)\n"
    "  --loop             start the waveform again when it ends (default: zeros after it)\n"
    "  --link PATH        also make PATH a symbolic link to the terminal\n"
    "  --garble N         every N-th sample pair is garbled (mismatched phase bits)\n"
    "  --silence-at S     fall silent S seconds after the stream starts ...\n"
    "  --silence-for S    ... for S seconds (default 2)\n"
    "  --burst-at S       S seconds into the stream, send a burst of garbage ...\n"
    "  --burst-size N     ... of N characters (default 60000, more than the receive queue)\n"
    "  --close-at S       close the terminal S seconds into the stream (a pulled cable)\n"
    "  --chunk N          write N characters at a time, one piece per interval (default: what\n"
    "                     is due every 10 ms or so)\n"
    "  --interval MS      ... every MS milliseconds (default 10; 48 characters every 10 ms\n"
    "                     is the stream's rate, as USB-serial adapters deliver it)\n"
    "  --command-log FILE list every byte received in FILE, one a line: its number and\n"
    "                     its value in hexadecimal (to compare the exchanges of two runs)\n"
    "  --help             show this text\n";

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop = true;
}

// A message on standard error, its control characters (from a file name) shown, not obeyed.
void say(const std::string& message) {
    std::cerr << "qarn3-analyzer-sim: " << qarn3::escapeControls(message) << "\n";
}

int usageError(const std::string& message) {
    say(message);
    std::cerr << kUsage;
    return 2;
}

// The counts of a waveform file; the built-in pulse waveform when none is named.
bool loadCounts(std::string file, std::vector<std::int16_t>& counts, std::string& error) {
    qarn3::FileStore files;
    qarn3::ScriptedDialogs dialogs;
    qarn3::DebugLog log;
    qarn3::Services services{files, dialogs, log};
    std::filesystem::path temp;
    if (file.empty()) {
        // A fresh private folder of its own: a name chosen in advance could be another
        // user's folder, with their file in it.
        const std::string prefix =
            qarn3::tempFolderFrom(std::getenv("TMPDIR")) + "/qarn3-analyzer-sim-";
        const std::optional<std::string> work = qarn3::makeUniqueFolder(prefix, error);
        if (!work) {
            error = "cannot create a work folder in " + prefix + "XXXXXX: " + error;
            return false;
        }
        temp = *work;
        error = qarn3::makeDemoFiles(temp.string());
        if (!error.empty()) return false;
        file = (temp / "QARN3Pulse.owf").string();
    }
    qarn3::TWaveformData wave;
    qarn3::WaveformFiles waveFiles(wave, services, "");
    const bool ok = waveFiles.LoadFile(file);
    if (!temp.empty()) std::filesystem::remove_all(temp);
    if (!ok) {
        error = dialogs.shown().empty() ? "Cannot open file " + file : dialogs.shown().back().text;
        return false;
    }
    counts.assign(wave.Samples.get(), wave.Samples.get() + wave.SampleCount);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string waveFile, link, commandLogFile;
    bool loop = false;
    int chunk = 0, interval = 10;
    qarn3::SimMisbehaviour m;
    m.silenceFor = 2;
    static const std::vector<qarn3::OptionSpec> options{
        {{"h", "help"}, false},  {{"wave"}, true},     {{"loop"}, false},
        {{"link"}, true},        {{"garble"}, true},   {{"silence-at"}, true},
        {{"silence-for"}, true}, {{"burst-at"}, true}, {{"burst-size"}, true},
        {{"close-at"}, true},    {{"chunk"}, true},    {{"interval"}, true},
        {{"command-log"}, true}};
    const qarn3::CommandLine line =
        qarn3::parseCommandLine({argv + 1, argv + argc}, options, false);
    for (const qarn3::GivenOption& given : line.options) {
        const std::string& arg = given.spelling;
        const std::string value = given.value.value_or("");
        try {
            if (arg == "--help" || arg == "-h") {
                std::cout << kUsage;
                return 0;
            } else if (arg == "--wave") {
                waveFile = value;
            } else if (arg == "--loop") {
                loop = true;
            } else if (arg == "--link") {
                link = value;
            } else if (arg == "--garble") {
                m.garbleEvery = qarn3::parseInteger(value);
            } else if (arg == "--silence-at") {
                m.silenceAt = qarn3::parseReal(value, '.');
            } else if (arg == "--silence-for") {
                m.silenceFor = qarn3::parseReal(value, '.');
            } else if (arg == "--burst-at") {
                m.burstAt = qarn3::parseReal(value, '.');
            } else if (arg == "--burst-size") {
                m.burstSize = static_cast<std::size_t>(std::max(0, qarn3::parseInteger(value)));
            } else if (arg == "--close-at") {
                m.closeAt = qarn3::parseReal(value, '.');
            } else if (arg == "--chunk") {
                chunk = std::max(0, qarn3::parseInteger(value));
            } else if (arg == "--interval") {
                interval = std::max(1, qarn3::parseInteger(value));
            } else if (arg == "--command-log") {
                commandLogFile = value;
            }
        } catch (const qarn3::ConvertError& e) {
            return usageError(e.what());
        }
    }
    if (!line.error.empty()) return usageError(line.error);

    std::vector<std::int16_t> counts;
    std::string error;
    if (!loadCounts(waveFile, counts, error)) {
        say(error);
        return 1;
    }
    qarn3::PtyAnalyzer pty;
    if (!pty.open(error)) {
        say(error);
        return 1;
    }
    std::ofstream commandLog;
    if (!commandLogFile.empty()) {
        commandLog.open(commandLogFile, std::ios::binary | std::ios::trunc);
        if (!commandLog) {
            say("cannot write " + commandLogFile);
            return 1;
        }
        pty.analyzer().commandLog = &commandLog;
    }
    pty.misbehaviour = m;
    pty.chunkSize = static_cast<std::size_t>(chunk);
    pty.intervalMs = interval;
    if (loop && !counts.empty()) {
        auto shared = std::make_shared<const std::vector<std::int16_t>>(std::move(counts));
        pty.analyzer().sample = [shared](std::int64_t i) {
            return (*shared)[static_cast<std::size_t>(i) % shared->size()];
        };
    } else {
        pty.analyzer().sample = qarn3::playCounts(std::move(counts));
    }
    if (!link.empty() && !pty.linkTerminal(link, error)) {
        say(error);
        link.clear(); // not ours to remove at the end
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::cout << pty.path() << std::endl;
    pty.run(g_stop);
    if (!link.empty()) {
        // Only the link this run made: one put in its place meanwhile is not ours to remove.
        std::error_code ec;
        if (std::filesystem::read_symlink(link, ec) == pty.path())
            std::filesystem::remove(link, ec);
    }
    std::cerr << "qarn3-analyzer-sim: closed after " << pty.bytesSent() << " characters sent, "
              << pty.bytesReceived() << " received\n";
    return 0;
}
