// Reads arbitrary bytes as a setup file, with both decimal separators.
#include "calsetup/setup.h"
#include "platform/textformat.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace qarn3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (char sep : {'.', ','}) {
        TSetupRecord r;
        try {
            parseSetupText(text, r, sep);
            if (r.RangeIndex < 1 || r.RangeIndex > 8) std::abort();
            if (r.SourceKind > 2) std::abort();
            // What was read writes back and reads again to the same numbers.
            TSetupRecord again;
            parseSetupText(setupFileText(r, sep), again, sep);
        } catch (const ConvertError&) {
        }
    }
    return 0;
}
