#include "platform/bidicontrols.h"

#include <cstdio>

namespace qarn3 {

namespace {

// The code point of the bidirectional control encoded at text[i], or 0 when there is none.
char32_t bidiControlAt(const std::string& text, std::size_t i) {
    const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    if (byte(i) == 0xD8 && i + 1 < text.size() && byte(i + 1) == 0x9C) return 0x061C;
    if (byte(i) != 0xE2 || i + 2 >= text.size()) return 0;
    const char32_t c = 0x2000 | ((byte(i + 1) & 0x3Fu) << 6) | (byte(i + 2) & 0x3Fu);
    if (byte(i + 1) < 0x80 || byte(i + 1) > 0xBF || byte(i + 2) < 0x80 || byte(i + 2) > 0xBF)
        return 0;
    const bool control =
        c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    return control ? c : 0;
}

} // namespace

std::string showBidiControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (const char32_t c = bidiControlAt(text, i)) {
            char name[16]; // room for any unsigned value, though a control is four digits
            std::snprintf(name, sizeof name, "<U+%04X>", static_cast<unsigned>(c));
            out += name;
            i += c == 0x061C ? 2 : 3;
        } else {
            out += text[i++];
        }
    }
    return out;
}

} // namespace qarn3
