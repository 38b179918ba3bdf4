#pragma once

// Inside records/ only: what the CSV files of curves and of trip-unit profiles share, the
// splitting of rows, the checks of names and numbers and the texts of their refusals.

#include "records/validation.h"

#include <array>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qarn3 {

// The six columns a file's rows hold, as its header row names them.
using CsvColumns = std::array<const char*, 6>;
// The columns of any file's rows, as its header row names them.
using CsvColumnNames = std::span<const char* const>;

// A name-based UUID (version 5) of the records' own namespace, so that the same item imported
// on two computers has the same id.
std::string nameBasedId(const std::string& name);

// The range a number of a file must lie in, as its refusal names it; an end marked open is
// not itself in the range.
struct CsvRange {
    double lowest, highest;
    const char* unit; // "x In", "s"; empty for a plain number
    bool lowestOpen = false, highestOpen = false;
};
// Clearing times: kShortestSeconds to kLongestSeconds.
inline constexpr CsvRange kCsvSeconds{kShortestSeconds, kLongestSeconds, "s"};
bool inRange(double v, const CsvRange& r);
// "0.01 to 1000 x In" for a closed range, "above -1 and at most 0" when an end is open.
std::string rangeText(const CsvRange& r);
// A number as the file writes it: '.' decimals, no exponent (0.0001, 100000).
std::string boundText(double v);

// A field's text as a message quotes it: a few dozen characters at most, so that a refusal
// of a huge field is not itself huge.
std::string quoted(const std::string& text);
// A name longer than the field holds, counted in characters as a person reads it; empty when
// it fits.
std::string nameProblem(const std::string& column, const std::string& text);
// Why a stored item's maker and model cannot be kept: either empty, or one longer than
// kNameCharacters; empty when they can.
std::string makerModelProblem(const std::string& maker, const std::string& model);
// The field's number, or "column 'text' is not a number" in error.
bool numberField(const std::string& column, const std::string& text, double& value,
                 std::string& error);
// Why a data row is not six fields whose first two are a maker and a model; empty when it is.
std::string rowShapeProblem(const std::vector<std::string>& fields, const CsvColumns& columns);

// The first line a file refuses and why; line 0 when it was taken.
struct CsvRefusal {
    int line = 0;
    std::string why;
};
// "line 7: why".
std::string refusalText(const CsvRefusal& r);

// Takes a data row's fields at its 1-based line; returns why the row is refused, or nothing.
using CsvRowReader = std::function<std::string(int line, const std::vector<std::string>& fields)>;

// Reads CSV text row by row: fields as RFC 4180 (quoted when they hold a comma), CR LF or LF
// line ends, a byte order mark at the start ignored. A first row naming the columns is a
// header; blank rows and rows beginning with '#' are skipped. Refused: a row that is not UTF-8
// text or holds a control character, a quote left open or text after a closing one, a first
// row without a number that is not the header, and whatever the reader refuses; reading stops
// at the first refusal.
CsvRefusal readCsvRows(const std::string& text, CsvColumnNames columns, const CsvRowReader& reader);

// One row of fields (each as platform/textformat's csvField writes it) ending with CR LF, as
// the program's other CSV exports end theirs.
std::string csvRowText(const std::vector<std::string>& fields);

} // namespace qarn3
