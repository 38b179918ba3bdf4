#include "platform/textformat.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace qarn3 {

std::string trimText(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

std::size_t utf8Length(const std::string& s, std::size_t i) {
    const auto at = [&s](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's bounds
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;  // no overlong form
        if (lead == 0xED) high = 0x9F; // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;  // no overlong form
        if (lead == 0xF4) high = 0x8F; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + length > s.size() || at(i + 1) < low || at(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return length;
}

std::string escapeControls(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            escape(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = utf8Length(text, i);
        // A C1 control is two bytes in UTF-8; alone, its byte is one to an 8-bit terminal.
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (c1) {
            escape(c);
            escape(static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else if (length == 0 && c < 0xA0) {
            escape(c);
            ++i;
        } else {
            const std::size_t n = length == 0 ? 1 : length;
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

std::string jsonNumberText(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string formatFixed(double value, int width, int decimals, char separator) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string s(buf, r.ec == std::errc() ? r.ptr : buf);
    if (separator != '.')
        for (char& c : s)
            if (c == '.') c = separator;
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
    return s;
}

std::string formatInt(long long value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
    return s;
}

std::int32_t parseInteger(const std::string& text) {
    const auto bad = [&] { return ConvertError("'" + text + "' is not a valid integer value"); };
    std::string s = trimText(text);
    bool negative = false;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    // One sign only: the digits follow at once. from_chars into an unsigned type takes no
    // sign of its own, so "--5", "+-5", "$-1" and "0x-5" fail here.
    if (i >= s.size()) throw bad();
    unsigned long long magnitude = 0;
    auto r = std::from_chars(s.data() + i, s.data() + s.size(), magnitude, base);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) throw bad();
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<std::int32_t>::max());
    if (negative) {
        if (magnitude > kMax + 1) throw bad();
        return static_cast<std::int32_t>(-static_cast<long long>(magnitude));
    }
    // Hexadecimal may spell the bit pattern of a negative number ("$FFFFFFFF" is -1).
    if (base == 16 && magnitude > kMax && magnitude <= std::numeric_limits<std::uint32_t>::max())
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    if (magnitude > kMax) throw bad();
    return static_cast<std::int32_t>(magnitude);
}

double parseReal(const std::string& text, char separator) {
    const auto bad = [&] {
        return ConvertError("'" + text + "' is not a valid floating point value");
    };
    std::string s = trimText(text);
    if (separator != '.') {
        for (char& c : s) {
            if (c == '.') throw bad(); // only the locale's separator is a decimal point
            if (c == separator) c = '.';
        }
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || s[i] == '+' || s[i] == '-') throw bad();
    double v = 0;
    auto r = std::from_chars(s.data() + i, s.data() + s.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) throw bad();
    return negative ? -v : v;
}

char decimalSeparatorOf(const std::string& localeDecimalPoint) {
    if (localeDecimalPoint.size() != 1) return '.';
    const char c = localeDecimalPoint[0];
    // Only printable ASCII: a Latin-1 character above it is two bytes in UTF-8 and would be a
    // lone, invalid byte in the files and on the screen.
    const bool printable = c > ' ' && c < 0x7F;
    const bool numberPart = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E';
    return printable && !numberPart ? c : '.';
}

#ifdef _WIN32
std::string environmentDecimalPoint() {
    // A locale the environment names as on Linux ("de_DE.UTF-8" is Windows's "de-DE"), else
    // the user's regional settings, as Windows programs read them.
    std::wstring name;
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) continue;
        for (const char* c = value; *c && *c != '.' && *c != '@'; ++c)
            name += *c == '_' ? L'-' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
        break;
    }
    if (name == L"C" || name == L"POSIX") return ".";
    wchar_t point[8] = {};
    const wchar_t* locale = name.empty() ? LOCALE_NAME_USER_DEFAULT : name.c_str();
    if (::GetLocaleInfoEx(locale, LOCALE_SDECIMAL, point, 8) < 2) return ".";
    return point[1] == 0 && point[0] > 0 && point[0] < 0x80
               ? std::string(1, static_cast<char>(point[0]))
               : ".";
}
#else
std::string environmentDecimalPoint() {
    const locale_t numeric = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (numeric == static_cast<locale_t>(nullptr)) return ".";
    const char* point = ::nl_langinfo_l(RADIXCHAR, numeric);
    std::string text = point && *point ? point : ".";
    ::freelocale(numeric);
    return text;
}
#endif

} // namespace qarn3

namespace qarn3 {

std::string formatNumber(const std::string& format, double value, char separator) {
    const std::size_t pct = format.find('%');
    if (pct == std::string::npos) return format;
    std::size_t i = pct + 1;
    int width = 0, precision = 6;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9')
        width = width * 10 + (format[i++] - '0');
    if (i < format.size() && format[i] == '.') {
        precision = 0;
        ++i;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9')
            precision = precision * 10 + (format[i++] - '0');
    }
    if (i >= format.size() || format[i] != 'f') return format;
    return format.substr(0, pct) + formatFixed(value, width, precision, separator) +
           format.substr(i + 1);
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string s = "\"";
    for (char c : text) {
        if (c == '"') s += '"';
        s += c;
    }
    return s + '"';
}

} // namespace qarn3
