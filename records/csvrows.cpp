#include "records/csvrows.h"

#include "platform/textformat.h"
#include "records/validation.h"

#include <QString>
#include <QUuid>

#include <algorithm>
#include <utility>

namespace qarn3 {

namespace {

// The namespace of the records' name-based ids (the curves' were the first).
const QUuid kRecordsNamespace("{6f1c2b7e-4a53-4c0e-9d0e-51524e334355}");

// One CSV row split into its fields; false for a quote left open or text after a closing
// quote.
bool splitRow(const std::string& line, std::vector<std::string>& fields) {
    fields.assign(1, {});
    bool quoted = false, wasQuoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"')
                fields.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else
                quoted = false;
        } else if (c == ',') {
            fields.emplace_back();
            wasQuoted = false;
        } else if (c == '"' && trimText(fields.back()).empty() && !wasQuoted) {
            fields.back().clear();
            quoted = wasQuoted = true;
        } else if (wasQuoted && c != ' ' && c != '\t') {
            return false;
        } else if (!wasQuoted) {
            fields.back() += c;
        }
    }
    for (std::string& f : fields)
        f = trimText(f);
    return !quoted;
}

// Why a row is not text a name can be made of: bytes that are not UTF-8 (a file saved in
// another encoding, or as UTF-16) or a control character; empty when it is.
std::string notText(const std::string& row) {
    for (std::size_t i = 0; i < row.size();) {
        const auto c = static_cast<unsigned char>(row[i]);
        const std::size_t length = c < 0x80 ? 1 : utf8Length(row, i);
        if (length == 0) return "the row is not UTF-8 text (save the file as CSV in UTF-8)";
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(row[i + 1]) < 0xA0;
        if ((c < 0x20 && c != '\t') || c == 0x7F || c1) return "the row holds a control character";
        i += length;
    }
    return {};
}

bool isNumber(const std::string& text) {
    try {
        parseReal(text);
        return true;
    } catch (const ConvertError&) {
        return false;
    }
}

bool isHeader(const std::vector<std::string>& fields, CsvColumnNames columns) {
    if (fields.size() != columns.size()) return false;
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (QString::fromStdString(fields[i]).compare(columns[i], Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

std::string columnsText(CsvColumnNames columns) {
    std::string text;
    for (const char* c : columns) {
        if (!text.empty()) text += ',';
        text += c;
    }
    return text;
}

} // namespace

std::string nameBasedId(const std::string& name) {
    return QUuid::createUuidV5(kRecordsNamespace, QByteArray::fromStdString(name))
        .toString(QUuid::WithoutBraces)
        .toStdString();
}

bool inRange(double v, const CsvRange& r) {
    return (r.lowestOpen ? v > r.lowest : v >= r.lowest) &&
           (r.highestOpen ? v < r.highest : v <= r.highest);
}

std::string boundText(double v) {
    std::string text = formatFixed(v, 0, 4, '.');
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

std::string rangeText(const CsvRange& r) {
    const std::string unit = *r.unit ? std::string(" ") + r.unit : "";
    if (!r.lowestOpen && !r.highestOpen)
        return boundText(r.lowest) + " to " + boundText(r.highest) + unit;
    return (r.lowestOpen ? "above " : "at least ") + boundText(r.lowest) + " and " +
           (r.highestOpen ? "below " : "at most ") + boundText(r.highest) + unit;
}

std::string quoted(const std::string& text) {
    constexpr std::size_t kShown = 40;
    if (characterCount(text) <= kShown) return text;
    std::size_t at = 0;
    for (std::size_t n = 0; n < kShown && at < text.size(); ++n)
        at += std::max<std::size_t>(1, utf8Length(text, at));
    return text.substr(0, at) + "\u2026";
}

std::string nameProblem(const std::string& column, const std::string& text) {
    if (text.size() <= kNameCharacters) return {};
    const std::size_t n = characterCount(text);
    if (n <= kNameCharacters) return {};
    return column + " is " + std::to_string(n) + " characters long, more than " +
           std::to_string(kNameCharacters);
}

std::string makerModelProblem(const std::string& maker, const std::string& model) {
    if (trimText(maker).empty() || trimText(model).empty())
        return "maker and model must not be empty";
    for (const auto& [column, text] : {std::pair{"maker", &maker}, std::pair{"model", &model}})
        if (std::string why = nameProblem(column, *text); !why.empty()) return why;
    return {};
}

bool numberField(const std::string& column, const std::string& text, double& value,
                 std::string& error) {
    try {
        value = parseReal(text);
        return true;
    } catch (const ConvertError&) {
        error = column + " '" + quoted(text) + "' is not a number";
        return false;
    }
}

std::string rowShapeProblem(const std::vector<std::string>& f, const CsvColumns& columns) {
    if (f.size() != columns.size())
        return std::to_string(f.size()) + " fields, " + std::to_string(columns.size()) +
               " expected (" + columnsText(columns) + ")";
    if (f[0].empty()) return "maker is empty";
    if (f[1].empty()) return "model is empty";
    for (int i : {0, 1})
        if (std::string why = nameProblem(columns[i], f[i]); !why.empty()) return why;
    return {};
}

std::string csvRowText(const std::vector<std::string>& fields) {
    std::string s;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) s += ',';
        s += csvField(fields[i]);
    }
    return s + "\r\n";
}

std::string refusalText(const CsvRefusal& r) {
    return "line " + std::to_string(r.line) + ": " + r.why;
}

CsvRefusal readCsvRows(const std::string& text, CsvColumnNames columns,
                       const CsvRowReader& reader) {
    std::vector<std::string> f;
    int line = 0;
    bool sawRow = false;
    // A spreadsheet's UTF-8 file may begin with a byte order mark.
    const std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (std::size_t at = start; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string row = text.substr(at, end - at);
        at = end + 1;
        ++line;
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (trimText(row).empty() || trimText(row)[0] == '#') continue;
        if (std::string why = notText(row); !why.empty()) return {line, why};
        if (!splitRow(row, f))
            return {line, "a quoted field is not closed, or text follows its closing quote"};
        if (!sawRow && isHeader(f, columns)) {
            sawRow = true;
            continue;
        }
        // A first row without a number names columns, but not these.
        if (!sawRow && std::none_of(f.begin(), f.end(), isNumber))
            return {line, "the header row differs from " + columnsText(columns)};
        sawRow = true;
        if (std::string why = reader(line, f); !why.empty()) return {line, why};
    }
    return {};
}

} // namespace qarn3
