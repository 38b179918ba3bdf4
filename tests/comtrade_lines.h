#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace qarn3::test {

// A COMTRADE file's lines without their CR LF ends.
inline std::vector<std::string> comtradeLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

} // namespace qarn3::test
