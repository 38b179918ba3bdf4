#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qarn3 {

// A text that does not convert to the number it should hold; the message names the text.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be opened or read; the message names the file.
class FileIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Removes leading and trailing blanks and control characters.
std::string trimText(const std::string& s);

// Whether two ASCII names are the same but for case ("mainshz", "MainsHz").
bool equalsIgnoringCase(const std::string& a, const std::string& b);

// The text with its control characters written as "\x1b": C0 controls but the tab, DEL, the
// C1 controls (U+0080 to U+009F) and stray bytes in that range. A name shown on a terminal
// or written as one line of a log can then neither steer the terminal nor start a line of
// its own. Every other byte stays as it is.
std::string escapeControls(const std::string& text);
// Length of the well-formed UTF-8 sequence that starts at text[i], or 0 when none does.
std::size_t utf8Length(const std::string& text, std::size_t i);

// Fixed-point text right-aligned in at least width characters, with the given decimal
// separator, independent of the process locale ("%4.2f" with ',' gives "5,00").
std::string formatFixed(double value, int width, int decimals, char separator = '.');
// The shortest text that reads back as the same value, '.' whatever the locale; "null" when
// not finite (a JSON number). Rounded to the decimals shown it gives the window's reading, as
// six significant digits would not (3.0250001 cycles, shown as 3.03, would become 3.025).
std::string jsonNumberText(double v);
// Decimal integer right-aligned in at least width characters ("%2d").
std::string formatInt(long long value, int width = 0);

// Integer as typed by a user or read from a file: optional sign, decimal digits, or
// hexadecimal after '$' or "0x". Throws ConvertError "'text' is not a valid integer value".
std::int32_t parseInteger(const std::string& text);
// Real number with the given decimal separator; an exponent is allowed. Throws ConvertError
// "'text' is not a valid floating point value".
double parseReal(const std::string& text, char separator = '.');

// The decimal separator numbers are written and read with: the locale's decimal point (UTF-8
// text) where it is a single printable Latin-1 character that is one byte in UTF-8 (ASCII)
// and not part of a number (digit, sign, exponent); otherwise '.'. A German ',' stays ',';
// the Arabic and Persian decimal point (U+066B) gives '.'.
char decimalSeparatorOf(const std::string& localeDecimalPoint);
// The decimal point of the numeric locale the environment names (LC_ALL, LC_NUMERIC, LANG),
// read without changing the process locale; "." when that locale is not installed.
std::string environmentDecimalPoint();

} // namespace qarn3

namespace qarn3 {

// Formats one number with a printf-style fixed format such as "%5.1f A", "%8.4f secs" or
// "%7.4f" (only %W.Pf is understood), using the given decimal separator whatever the
// process locale. Text around the conversion is kept.
std::string formatNumber(const std::string& format, double value, char separator = '.');

// One field of a CSV record: quoted when it holds a comma, a quote, CR or LF, with quotes
// doubled inside.
std::string csvField(const std::string& text);

} // namespace qarn3
