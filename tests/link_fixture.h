#pragma once

#include "diag/debuglog.h"
#include "platform/scripted_dialogs.h"
#include "support/fake_analyzer.h"
#include "support/fake_transports.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qarn3::test {

// The debug lines without their "n: " number and " at: t" stamp.
inline std::vector<std::string> texts(const DebugLog& log) {
    std::vector<std::string> out;
    for (const auto& line : log.lines()) {
        const auto colon = line.find(": ");
        const auto at = line.rfind(" at: ");
        out.push_back(line.substr(colon + 2, at - colon - 2));
    }
    return out;
}

inline bool logged(const DebugLog& log, const std::string& text) {
    const auto t = texts(log);
    return std::find(t.begin(), t.end(), text) != t.end();
}

} // namespace qarn3::test
