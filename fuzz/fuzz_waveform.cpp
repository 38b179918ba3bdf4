// Reads arbitrary bytes as a waveform file.
#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"
#include "waveform/waveform.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace qarn3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = "/tmp/qarn3-fuzz-" + std::to_string(::getpid());
    static const bool made = makeFolders(folder);
    (void)made;
    {
        // A new file each time: truncating and rewriting the same one makes the file system
        // flush it on close, which cost nine tenths of the fuzzer's time.
        ::unlink((folder + "/in.owf").c_str());
        std::ofstream out(folder + "/in.owf", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    static FileStore files;
    static DebugLog log;
    ScriptedDialogs dialogs;
    Services services{files, dialogs, log};
    static TWaveformData store;
    WaveformFiles wave{store, services, folder};
    if (wave.LoadFile("in.owf")) {
        if (store.SampleCount < 100 || store.SampleCount > 60000) std::abort();
        if (!(store.SampleRate >= 500 && store.SampleRate <= 5000)) std::abort();
        if (store.Samples[store.SampleCount - 1] != 0) std::abort();
    }
    return 0;
}
