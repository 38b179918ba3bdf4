#pragma once

// store/SCHEMA.md as the tests read it (its path is the compile definition QARN3_SCHEMA_DOC).
#include <fstream>
#include <sstream>
#include <string>

namespace qarn3::test {

inline std::string schemaDoc() {
    std::ifstream in(QARN3_SCHEMA_DOC);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text of a "### `name`" section, up to the next heading; empty when there is none.
inline std::string sectionOf(const std::string& doc, const std::string& heading) {
    const std::string start = "\n### " + heading + "\n";
    const std::size_t at = doc.find(start);
    if (at == std::string::npos) return {};
    const std::size_t end = doc.find("\n#", at + start.size());
    return doc.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

} // namespace qarn3::test
