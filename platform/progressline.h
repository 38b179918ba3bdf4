#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string>

namespace qarn3 {

// A command's progress on one terminal line ("qarn3-analyze: 120 of 1000 files"): drawn after
// a carriage return, redrawn at most ten times a second, and taken away before any other
// line is written to the terminal. Shown only when standard error is a terminal.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool shown) : m_err(err), m_shown(shown) {}
    // Draws the text; between two draws a tenth of a second passes, unless last says this is
    // the final state. The text is shown as it is: escape names in it (escapeControls).
    void show(const std::string& text, bool last = false);
    void clear();

private:
    std::ostream& m_err;
    bool m_shown;
    std::size_t m_width = 0;
    std::chrono::steady_clock::time_point m_last{};
};

} // namespace qarn3
