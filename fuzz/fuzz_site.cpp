// Reads arbitrary bytes as a site file: the mains frequency is always 50 or 60 Hz, and what
// was read writes back and reads again to the same value.
#include "calsetup/sitesettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace qarn3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    TSiteSettings s;
    parseSiteText(text, s);
    if (s.MainsHz != 50 && s.MainsHz != 60) std::abort();
    TSiteSettings again;
    again.MainsHz = 0;
    if (!parseSiteText(siteFileText(s), again).empty() || again.MainsHz != s.MainsHz) std::abort();
    return 0;
}
