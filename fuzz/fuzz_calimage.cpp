// Parses arbitrary bytes as a calibration image; the default procedure is declined.
#include "calsetup/cal.h"
#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/files.h"
#include "platform/scripted_dialogs.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

using namespace qarn3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FileStore files;
    static DebugLog log;
    ScriptedDialogs dialogs;
    dialogs.answerList("OK,Cancel,Cancel");
    Services services{files, dialogs, log};
    TCalRecord cal;
    cal.CalImage.assign(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 128));
    double rate = size > 0 ? data[0] * 20.0 - 100 : 0;
    CalFile calFile{cal, rate, services, "/nonexistent-qarn3-fuzz"};
    calFile.ParseCalImage();
    // Values that do not fit the layout are refused on writing, never written out of place.
    try {
        if (buildCalImage(cal).size() != 128) std::abort();
    } catch (const std::out_of_range&) {
    }
    return 0;
}
