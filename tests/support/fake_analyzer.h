#pragma once

#include "link/analyzersim.h"

#include <string>

namespace qarn3::test {

// The tests drive the links against the program's own analyzer simulator in virtual time.
using FakeAnalyzer = AnalyzerSimulator;

// The image the simulated analyzer holds until one is written into it.
inline std::string sampleCalImage() {
    return simulatorCalImage();
}

} // namespace qarn3::test
